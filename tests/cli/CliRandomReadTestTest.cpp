// loadstar-cli test end to end: the real program, a real pseudo-terminal, kel-emulator.

#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/Descriptor.h"
#include "support/EmulatorProcess.h"
#include "support/ProgramRunner.h"
#include "support/TempDir.h"

namespace loadstar {
namespace {

using testing::contentsOf;
using testing::linesOf;

// The lines of `text`, each ended by CR LF as in a log file.
std::string withCrLf(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

class CliRandomReadTestTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(board.started()) << board.startupError(); }

    std::vector<std::string> withPort(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", board.devicePath()});
        return args;
    }

    testing::EmulatorProcess board;
    testing::TempDir folder;
};

TEST_F(CliRandomReadTestTest, BadOptionsAndUnwritableLogAreRefused) {
    const std::string unwritable = folder.file("missing/folder/test.log");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"test", "--cycles", "0"}, "--cycles"},
        {{"test", "--duration", "nan"}, "--duration"},
        {{"test", "--duration", "inf"}, "--duration"},
        {{"test", "--cycles", "2", "--duration", "1"}, "excludes"},
        {{"test", "--cycles", "2", "--log", unwritable}, "Cannot create file " + unwritable},
    };
    for (const auto& [args, message] : cases) {
        const auto run = testing::runProgram(testing::cliPath(), withPort(args));
        EXPECT_EQ(run.exitStatus, 2) << args.back();
        EXPECT_NE((run.errors + run.output).find(message), std::string::npos) << run.errors;
        EXPECT_EQ(run.output.find("SelectFlash("), std::string::npos);
    }
}

// The run goes to stdout, and to the log with CR LF; Ctrl-C ends it after its cycle.
TEST_F(CliRandomReadTestTest, CtrlCEndsARunWhoseLinesGoToStdoutAndToTheLog) {
    const std::string log = folder.file("interrupted.log");
    testing::ChildProcess cli(testing::cliPath(), withPort({"test", "--log", log}),
                              folder.file("out"), folder.file("err"));
    // Three cycles after the six lines of the header.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (linesOf(contentsOf(folder.file("out"))).size() < 9 &&
           std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    cli.signal(SIGINT);
    EXPECT_EQ(cli.waitForExit(std::chrono::seconds(20)), 130);
    const auto lines = linesOf(contentsOf(folder.file("out")));
    ASSERT_GE(lines.size(), 6U + 3U + 5U);
    EXPECT_EQ(lines[0], "The format is: SelectFlash(flash,sector)[OK/failed],");
    EXPECT_EQ(lines[6].rfind("SelectFlash(", 0), 0U);
    EXPECT_EQ(lines[lines.size() - 5].rfind("Testing stopped ", 0), 0U);
    EXPECT_EQ(lines[lines.size() - 4], "Total cycles: " + std::to_string(lines.size() - 11));
    EXPECT_EQ(contentsOf(log), withCrLf(lines));
    EXPECT_EQ(folder.read("err").find("Total cycles"), std::string::npos) << "not a terminal";
}

TEST_F(CliRandomReadTestTest, TerminalShowsTheStatistics) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    testing::Descriptor masterFd(master);
    testing::Descriptor slaveFd(slave);
    testing::ChildProcess cli(testing::cliPath(), withPort({"test", "--cycles", "3"}),
                              folder.file("out"), slaveFd.get());
    EXPECT_EQ(cli.waitForExit(std::chrono::seconds(20)), 0);
    EXPECT_EQ(linesOf(folder.read("out")).at(6 + 3 + 1), "Total cycles: 3");
    slaveFd.reset();
    std::string shown;
    char buffer[4096];
    ssize_t n = 0;
    // Read until EIO: the terminal's other side is closed and drained.
    while ((n = ::read(masterFd.get(), buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        shown.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    }
    EXPECT_NE(shown.find("Total cycles: 3, SelectFlash failed: 0 times, ReadFlash failed: 0 "
                         "times, Total of "),
              std::string::npos)
        << shown;
}

}  // namespace
}  // namespace loadstar
