// The three programs started with standard streams they cannot use: closed, as a service manager
// or a script's `>&-` may leave them, or a pipe whose reader has stopped.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "../emulator/FrameBytes.h"
#include "ChildProcess.h"
#include "Descriptor.h"
#include "EmulatorProcess.h"
#include "ProgramRunner.h"
#include "RandomBytes.h"
#include "TempDir.h"

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Where descriptor `fd` of process `pid` leads; empty while it is closed.
std::string descriptorTarget(const std::string& pid, int fd) {
    std::error_code error;
    const auto target =
        std::filesystem::read_symlink("/proc/" + pid + "/fd/" + std::to_string(fd), error);
    return error ? std::string() : target.string();
}

// `args` run as the shell runs `program args <redirections>`: the program itself, with the
// descriptors closed that `redirections` close ("<&- >&- 2>&-"). Its process id goes to `pidFile`.
std::vector<std::string> shellArgs(const std::string& setup, const std::string& program,
                                   const std::vector<std::string>& args,
                                   const std::string& redirections, const std::string& pidFile) {
    std::vector<std::string> words = {
        "-c", setup + "echo $$ > '" + pidFile + "'; exec \"$0\" \"$@\" " + redirections, program};
    words.insert(words.end(), args.begin(), args.end());
    return words;
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
    Bytes image = emulator::testing::frameOf(Bytes{'E', 'B', 0x80, 0x00});
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
    const struct {
        const char* name;
        std::string setup;  // shell commands before the program starts
        std::string program;
        std::vector<std::string> args;
        std::string redirections;
        bool readerStopped = false;  // stdout is a pipe nobody reads any more
        bool runsOn = false;         // runs until stopped; its descriptors are looked at meanwhile
        int exitStatus = 0;          // of one that ends by itself
        std::string errors = "";     // regex found on its stderr, when that is open
    } rows[] = {
        {"upload - with stdout closed", "", testing::cliPath(),
         cli({"upload", "--format", "bin", "-"}), ">&-", false, false, 0,
         "upload: OK, 8192 bytes of CSBOOT0 saved to standard output"},
        {"upload with stderr closed", "", testing::cliPath(),
         cli({"upload", "--format", "bin", folder.file("copy.bin")}), "2>&-"},
        {"upload - to a reader that stopped", "", testing::cliPath(),
         cli({"upload", "--format", "bin", "-"}), "", true, false, 2,
         "Broken pipe[\\s\\S]*upload: failed\n$"},
        {"blank-check to a reader that stopped", "", testing::cliPath(), cli({"blank-check"}), "",
         true, false, 2,
         "blank-check: not blank, .*\nloadstar-cli: standard output could not be written"},
        // Ends at its first log line, long before its 50 s or the 30 s this test waits.
        {"a test run to a reader that stopped", "", testing::cliPath(),
         cli({"test", "--duration", "50"}), "", true, false, 2,
         "standard output could not be written"},
        {"loadstar-cli", "", testing::cliPath(), cli({"mirror", "--follow"}), allClosed, false,
         true},
        {"kel-emulator",
         "",
         testing::EmulatorProcess::programPath(),
         {"--no-link", "--baud", "0"},
         allClosed,
         false,
         true},
#ifdef LOADSTAR_PROGRAM
        {"loadstar",
         "export QT_QPA_PLATFORM=offscreen; ",
         LOADSTAR_PROGRAM,
         {},
         allClosed,
         false,
         true},
#endif
    };
    for (const auto& row : rows) {
        const testing::TempDir run;
        int pipeEnds[2] = {-1, -1};
        ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
        testing::Descriptor reader(pipeEnds[0]);
        const testing::Descriptor writer(pipeEnds[1]);
        testing::ChildOutput output = run.file("out");
        if (row.readerStopped) {
            reader.reset();
            output = writer.get();
        }
        testing::ChildProcess child(
            "/bin/sh",
            shellArgs(row.setup, row.program, row.args, row.redirections, run.file("pid")), output,
            run.file("err"));
        ASSERT_TRUE(child.started()) << row.name;
        if (!row.runsOn) {
            EXPECT_EQ(child.waitForExit(std::chrono::seconds(30)), row.exitStatus)
                << row.name << ": " << run.read("err");
            EXPECT_TRUE(std::regex_search(run.read("err"), std::regex(row.errors)))
                << row.name << ": " << run.read("err");
            continue;
        }
        // Until it has filled descriptors 0-2, or ended.
        std::vector<std::string> targets(3);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (child.running() && std::chrono::steady_clock::now() < deadline) {
            const std::string pid = run.read("pid");
            for (int fd = 0; fd < 3 && !pid.empty(); ++fd) {
                targets[static_cast<std::size_t>(fd)] =
                    descriptorTarget(pid.substr(0, pid.find('\n')), fd);
            }
            if (targets[0] != "" && targets[1] != "" && targets[2] != "") {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            (void)child.waitForExit(std::chrono::milliseconds(0));
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
