// The three programs started with standard streams they cannot use: closed, as a service manager
// or a script's `>&-` may leave them, or a pipe whose reader has stopped.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "../emulator/FrameBytes.h"
#include "support/ChildProcess.h"
#include "support/Descriptor.h"
#include "support/EmulatorProcess.h"
#include "support/ProgramRunner.h"
#include "support/RandomBytes.h"
#include "support/TempDir.h"

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;

// What descriptors 0-2 of process `pid` lead to ("" while closed).
std::vector<std::string> standardTargets(const std::string& pid) {
    std::vector<std::string> targets;
    for (const char* fd : {"0", "1", "2"}) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink("/proc/" + pid + "/fd/" + fd, error);
        targets.push_back(error || pid.empty() ? "" : target.string());
    }
    return targets;
}

class StandardStreamsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(board.started()) << board.startupError(); }

    testing::EmulatorProcess board;
    testing::TempDir folder;
};

// Without a stream of its own a program would hand its number to the next file it opens: the
// serial device would become "standard output" and the dump would be sent to the board as commands
// (the sector holds a frame that erases it). Every closed one is the null device instead; a reader
// that stopped gives exit 2 and the result line on stderr, not a death by SIGPIPE.
TEST_F(StandardStreamsTest, ClosedOrBrokenStreamsNeverReachTheBoardAndFailuresStayLoud) {
    Bytes image = testing::frameOf(Bytes{'E', 'B', 0x80, 0x00});
    const Bytes rest = testing::randomBytes(300, 5);
    image.insert(image.end(), rest.begin(), rest.end());
    const std::string imageFile =
        folder.write("image.bin", std::string(image.begin(), image.end()));
    const std::vector<std::string> boot0 = {"--port", board.devicePath(), "--flash=boot"};
    auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), boot0.begin(), boot0.end());
        return args;
    };
    ASSERT_EQ(testing::runProgram(testing::cliPath(), cli({"flash", imageFile})).exitStatus, 0);

    const std::string allClosed = "<&- >&- 2>&-";
    const std::string cliPath = testing::cliPath();
    constexpr int runsOn = -1;  // until stopped: its descriptors are looked at while it runs
    const struct {
        const char* name;
        std::string program;
        std::vector<std::string> args;
        std::string redirections;  // as the shell takes them
        bool readerStopped;        // stdout is a pipe nobody reads any more
        int exitStatus;
        std::string errors = "";  // regex found on its stderr, when that is open
    } rows[] = {
        // Its dump would go nowhere: refused before the board is read.
        {"upload - with stdout closed", cliPath, cli({"upload", "--format", "bin", "-"}), ">&-",
         false, 2, "standard output is closed[\\s\\S]*upload: failed\n$"},
        {"upload with stderr closed", cliPath,
         cli({"upload", "--format", "bin", folder.file("copy.bin")}), "2>&-", false, 0},
        {"upload - to a reader that stopped", cliPath, cli({"upload", "--format", "bin", "-"}), "",
         true, 2, "Broken pipe[\\s\\S]*upload: failed\n$"},
        {"blank-check to a reader that stopped", cliPath, cli({"blank-check"}), "", true, 2,
         "blank-check: not blank, .*\nloadstar-cli: standard output could not be written"},
        // Ends at its first log line, long before its 50 s or the 30 s this test waits.
        {"a test run to a reader that stopped", cliPath, cli({"test", "--duration", "50"}), "",
         true, 2, "standard output could not be written"},
        {"loadstar-cli", cliPath, cli({"mirror", "--follow"}), allClosed, false, runsOn},
        {"kel-emulator",
         testing::EmulatorProcess::programPath(),
         {"--no-link", "--baud", "0"},
         allClosed,
         false,
         runsOn},
#ifdef LOADSTAR_PROGRAM
        {"loadstar", LOADSTAR_PROGRAM, {}, allClosed, false, runsOn},
#endif
    };
    for (const auto& row : rows) {
        const testing::TempDir run;
        int pipeEnds[2] = {-1, -1};
        ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
        testing::Descriptor reader(pipeEnds[0]);
        const testing::Descriptor writer(pipeEnds[1]);
        if (row.readerStopped) {
            reader.reset();
        }
        // The shell closes what the row says, notes its process id and becomes the program.
        std::vector<std::string> shellArgs = {"-c",
                                              "export QT_QPA_PLATFORM=offscreen; echo $$ > " +
                                                  run.file("pid") + "; exec \"$0\" \"$@\" " +
                                                  row.redirections,
                                              row.program};
        shellArgs.insert(shellArgs.end(), row.args.begin(), row.args.end());
        testing::ChildProcess child(
            "/bin/sh", shellArgs,
            row.readerStopped ? testing::ChildOutput(writer.get()) : run.file("out"),
            run.file("err"));
        if (row.exitStatus != runsOn) {
            EXPECT_EQ(child.waitForExit(std::chrono::seconds(30)), row.exitStatus) << row.name;
            EXPECT_TRUE(std::regex_search(run.read("err"), std::regex(row.errors)))
                << row.name << ": " << run.read("err");
            continue;
        }
        // Once it has filled descriptors 0-2 (or ended), each must be the null device.
        std::vector<std::string> targets;
        for (int i = 0; i < 1000 && child.waitForExit(std::chrono::milliseconds(20)) < 0; ++i) {
            targets = standardTargets(run.read("pid").substr(0, run.read("pid").find('\n')));
            if (std::count(targets.begin(), targets.end(), "") == 0) {
                break;
            }
        }
        EXPECT_TRUE(child.running()) << row.name << " ended";
        EXPECT_EQ(targets, std::vector<std::string>(3, "/dev/null")) << row.name;
    }
    const auto verify = testing::runProgram(testing::cliPath(), cli({"verify", imageFile}));
    EXPECT_EQ(verify.exitStatus, 0) << "the sector kept its frame: " << verify.output;
    Bytes sector = image;
    sector.resize(0x2000, 0xFF);
    EXPECT_TRUE(folder.read("copy.bin") == std::string(sector.begin(), sector.end()))
        << "the upload with stderr closed";
}

}  // namespace
}  // namespace loadstar
