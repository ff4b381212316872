// The child-process plumbing the end-to-end tests stand on: exit codes, signals, time limits and
// where a child's output goes.

#include "ChildProcess.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "Descriptor.h"
#include "ProgramRunner.h"
#include "TempDir.h"

namespace loadstar {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::TempDir;

TEST(ChildProcessTest, OutputGoesToFilesOrDescriptorsAndTheExitCodeComesBack) {
    TempDir folder;
    const std::string script = "echo out; echo err >&2; read line; echo \"[$line]\"; exit 3";
    {
        ChildProcess child("/bin/sh", {"-c", script}, folder.file("out"), folder.file("err"));
        ASSERT_TRUE(child.started());
        EXPECT_EQ(child.waitForExit(10s), 3);
        EXPECT_FALSE(child.endedBySignal());
        EXPECT_FALSE(child.running());
        EXPECT_EQ(child.waitForExit(0ms), 3) << "the status stays";
    }
    EXPECT_EQ(folder.read("out"), "out\n[]\n") << "stdin is empty";
    EXPECT_EQ(folder.read("err"), "err\n");

    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    const testing::Descriptor readEnd(fds[0]);
    {
        const testing::Descriptor writeEnd(fds[1]);
        ChildProcess child("/bin/sh", {"-c", script}, folder.file("out"), writeEnd.get());
        EXPECT_EQ(child.waitForExit(10s), 3);
    }
    char buffer[16] = {};
    EXPECT_EQ(::read(readEnd.get(), buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer), "err\n");
}

TEST(ChildProcessTest, ASignalEndsItWith128PlusTheSignal) {
    ChildProcess child("/bin/sleep", {"30"}, "/dev/null", "/dev/null");
    ASSERT_TRUE(child.started());
    child.signal(SIGTERM);
    EXPECT_EQ(child.waitForExit(10s), 128 + SIGTERM);
    EXPECT_TRUE(child.endedBySignal());
}

TEST(ChildProcessTest, OneStillRunningAfterTheWaitIsLeftToKill) {
    ChildProcess child("/bin/sleep", {"30"}, "/dev/null", "/dev/null");
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.waitForExit(20ms), -1);
    EXPECT_TRUE(child.running());
    child.kill();
    EXPECT_FALSE(child.running());
    EXPECT_EQ(child.waitForExit(0ms), -1) << "killed, not ended";
}

TEST(ChildProcessTest, AMissingProgramDoesNotStart) {
    ChildProcess child("/no/such/program", {}, "/dev/null", "/dev/null");
    EXPECT_FALSE(child.started());
    EXPECT_EQ(child.waitForExit(0ms), -1);
    const auto run = testing::runProgram("/no/such/program", {});
    EXPECT_EQ(run.exitStatus, -1);
    EXPECT_EQ(run.errors, "cannot start /no/such/program");
}

TEST(ChildProcessTest, AGivenEnvironmentReplacesTheTestsOwn) {
    ASSERT_EQ(::setenv("CHILD_PROCESS_TEST", "inherited", 1), 0);
    const std::vector<std::string> args = {"-c", "echo \"[$ONLY][$CHILD_PROCESS_TEST]\""};
    const auto own =
        testing::runProgram("/bin/sh", args, 10s, std::vector<std::string>{"ONLY=this"});
    EXPECT_EQ(own.output, "[this][]\n") << own.errors;
    const auto inherited = testing::runProgram("/bin/sh", args, 10s);
    EXPECT_EQ(inherited.output, "[][inherited]\n") << inherited.errors;
}

TEST(ChildProcessTest, RunProgramKillsWhatOutlivesItsTime) {
    const auto run = testing::runProgram("/bin/sleep", {"30"}, 100ms);
    EXPECT_EQ(run.exitStatus, -1);
}

}  // namespace
}  // namespace loadstar
