// loadstar-cli test end to end: the real program, a real pseudo-terminal, kel-emulator.

#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "Descriptor.h"
#include "EmulatorProcess.h"
#include "FileContents.h"
#include "ProgramRunner.h"
#include "RandomReadLog.h"
#include "RandomReadTest.h"
#include "TempDir.h"
#include "TextLines.h"

namespace loadstar {
namespace {

using testing::ChildProcess;
using testing::contentsOf;
using testing::Descriptor;
using testing::EmulatorProcess;
using testing::linesOf;
using testing::ProgramResult;
using testing::runProgram;
using testing::TempDir;

const std::regex cycleLine(testing::cycleLinePattern);

std::vector<std::string> cycleLinesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (const auto& line : linesOf(text)) {
        if (testing::isCycleLine(line)) {
            lines.push_back(line);
        }
    }
    return lines;
}

// "kind,sector,address,size" of a log line or of a draw.
std::string drawsOf(const std::string& line) {
    std::smatch match;
    if (!std::regex_match(line, match, cycleLine)) {
        return "bad line: " + line;
    }
    return match[1].str() + "," + match[2].str() + "," + match[4].str() + "," + match[5].str();
}

std::string drawsOf(const RandomReadCycle& cycle) {
    char text[32];
    std::snprintf(text, sizeof text, "%d,%d,%04x,%d", cycle.kind, cycle.sector,
                  static_cast<unsigned>(cycle.address), cycle.blockSize);
    return text;
}

// Waits until `path` holds at least `count` cycle lines (or some of them match `needle`).
bool waitForCycleLines(const std::string& path, std::size_t count, const std::string& needle = "") {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
        std::size_t matching = 0;
        for (const auto& line : cycleLinesOf(contentsOf(path))) {
            matching += needle.empty() || line.find(needle) != std::string::npos ? 1 : 0;
        }
        if (matching >= count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class CliRandomReadTestTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(board.started()) << board.startupError(); }

    std::vector<std::string> withPort(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", board.devicePath()});
        return args;
    }
    ProgramResult cli(std::vector<std::string> args) {
        return runProgram(testing::cliPath(), withPort(std::move(args)));
    }

    EmulatorProcess board;
    TempDir folder;
};

TEST_F(CliRandomReadTestTest, CyclesGoToStdoutAndToTheLogWithCrLf) {
    const std::string log = folder.file("test.log");
    const auto run = cli({"test", "--cycles", "6", "--log", log});
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    const auto lines = linesOf(run.output);
    ASSERT_EQ(lines.size(), 6U + 6U + 5U) << run.output;
    EXPECT_EQ(lines[0], "The format is: SelectFlash(flash,sector)[OK/failed],");
    EXPECT_EQ(lines[4], "");
    EXPECT_TRUE(std::regex_match(
        lines[5], std::regex(R"(Testing started \d{1,2}-[A-Z][a-z]{2}-\d{4}, \d\d:\d\d:\d\d)")));
    // The window's first run draws these same cycles.
    RandomReadTest reference;
    int bytes = 0;
    for (std::size_t i = 6; i < 12; ++i) {
        const RandomReadCycle cycle = reference.drawCycle();
        EXPECT_EQ(drawsOf(lines[i]), drawsOf(cycle));
        EXPECT_NE(lines[i].find(") OK, ReadFlash("), std::string::npos) << lines[i];
        bytes += cycle.blockSize;
    }
    EXPECT_EQ(lines[12].rfind("Testing stopped ", 0), 0U);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 13, lines.end()),
              (std::vector<std::string>{
                  "Total cycles: 6", "SelectFlash failed: 0 times", "ReadFlash failed: 0 times",
                  "Total of " + std::to_string(bytes) + " bytes read successfully"}));
    std::string withCrLf;
    for (const auto& line : lines) {
        withCrLf += line + "\r\n";
    }
    EXPECT_EQ(contentsOf(log), withCrLf);
    // Not a terminal: no statistics on stderr.
    EXPECT_EQ(run.errors.find("Total cycles"), std::string::npos) << run.errors;
}

TEST_F(CliRandomReadTestTest, EveryProgramStartDrawsTheSameCycles) {
    const auto first = cli({"test", "--cycles", "4"});
    const auto second = cli({"test", "--cycles", "4"});
    ASSERT_EQ(first.exitStatus, 0) << first.errors;
    ASSERT_EQ(second.exitStatus, 0) << second.errors;
    std::vector<std::string> a;
    std::vector<std::string> b;
    for (const auto& line : cycleLinesOf(first.output)) {
        a.push_back(drawsOf(line));
    }
    for (const auto& line : cycleLinesOf(second.output)) {
        b.push_back(drawsOf(line));
    }
    EXPECT_EQ(a.size(), 4U);
    EXPECT_EQ(a, b);
}

TEST_F(CliRandomReadTestTest, BadOptionsAndUnwritableLogAreRefused) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"test", "--cycles", "0"}, "--cycles"},
        {{"test", "--cycles", "x"}, "--cycles"},
        {{"test", "--duration", "0"}, "--duration"},
        {{"test", "--cycles", "2", "--duration", "1"}, "excludes"},
        {{"test", "--cycles", "2", "--log", folder.file("missing/folder/test.log")},
         "Cannot create file " + folder.file("missing/folder/test.log")},
    };
    for (const auto& c : cases) {
        const auto run = cli(c.args);
        EXPECT_EQ(run.exitStatus, 2) << c.args.back();
        EXPECT_NE((run.errors + run.output).find(c.message), std::string::npos)
            << run.errors << run.output;
        EXPECT_EQ(run.output.find("SelectFlash("), std::string::npos);
    }
}

TEST_F(CliRandomReadTestTest, CtrlCEndsAfterTheCurrentCycleWithTheSummary) {
    const std::string out = folder.file("out");
    const std::string log = folder.file("interrupted.log");
    ChildProcess cli(testing::cliPath(), withPort({"test", "--log", log}), out, folder.file("err"));
    ASSERT_TRUE(cli.started());
    ASSERT_TRUE(waitForCycleLines(out, 3));
    cli.signal(SIGINT);
    EXPECT_EQ(cli.waitForExit(std::chrono::seconds(20)), 130);
    const std::string output = contentsOf(out);
    const auto lines = linesOf(output);
    ASSERT_GE(lines.size(), 6U + 3U + 5U);
    const std::size_t cycles = cycleLinesOf(output).size();
    EXPECT_EQ(lines[lines.size() - 5].rfind("Testing stopped ", 0), 0U);
    EXPECT_EQ(lines[lines.size() - 4], "Total cycles: " + std::to_string(cycles));
    EXPECT_EQ(lines[lines.size() - 3], "SelectFlash failed: 0 times");
    // The log holds the same lines.
    const std::string saved = contentsOf(log);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), static_cast<long>(lines.size()));
    EXPECT_EQ(saved.rfind(" bytes read successfully\r\n"), saved.size() - 26);
}

TEST_F(CliRandomReadTestTest, SilentBoardCountsFailuresAndExitsWithOne) {
    const std::string out = folder.file("out");
    ChildProcess cli(testing::cliPath(), withPort({"test", "--duration", "2"}), out,
                     folder.file("err"));
    ASSERT_TRUE(cli.started());
    ASSERT_TRUE(waitForCycleLines(out, 2));
    board.control("silent on");
    EXPECT_EQ(cli.waitForExit(std::chrono::seconds(30)), 1);
    const std::string output = contentsOf(out);
    const auto cycles = cycleLinesOf(output);
    int silent = 0;
    for (const auto& line : cycles) {
        if (line.find(") failed, ReadFlash(") != std::string::npos) {
            EXPECT_NE(line.find(") failed.t="), std::string::npos) << line;
            ++silent;
        }
    }
    EXPECT_GE(silent, 1);
    const auto lines = linesOf(output);
    ASSERT_GE(lines.size(), 5U);
    EXPECT_NE(lines[lines.size() - 3], "SelectFlash failed: 0 times");
    EXPECT_EQ(contentsOf(folder.file("err")).find("Error"), std::string::npos)
        << "no error boxes during the run";
}

TEST_F(CliRandomReadTestTest, TerminalShowsTheStatistics) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    Descriptor masterFd(master);
    Descriptor slaveFd(slave);
    ChildProcess cli(testing::cliPath(), withPort({"test", "--cycles", "3"}), folder.file("out"),
                     slaveFd.get());
    ASSERT_TRUE(cli.started());
    EXPECT_EQ(cli.waitForExit(std::chrono::seconds(20)), 0);
    slaveFd.reset();
    std::string shown;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(masterFd.get(), buffer, sizeof buffer);
        if (n > 0) {
            shown.append(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // EIO once the terminal's other side is closed and drained
        }
    }
    EXPECT_NE(shown.find("Total cycles: 3, SelectFlash failed: 0 times, ReadFlash failed: 0 "
                         "times, Total of "),
              std::string::npos)
        << shown;
}

}  // namespace
}  // namespace loadstar
