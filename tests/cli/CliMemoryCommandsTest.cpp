// loadstar-cli's board commands end to end: the real program, a real pseudo-terminal, kel-emulator.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/OpenFailure.h"
#include "link/PosixSerialPort.h"
#include "support/EmulatorProcess.h"
#include "support/ProgramRunner.h"

namespace loadstar {
namespace {

using testing::ProgramResult;
using testing::runProgram;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliMemoryCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(board.started()) << board.startupError(); }

    ProgramResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", board.devicePath()});
        return runProgram(testing::cliPath(), args);
    }

    testing::EmulatorProcess board;
};

TEST_F(CliMemoryCommandsTest, EachBoardCommandActsOnTheSelectedSector) {
    const auto identify = cli({"identify"});
    EXPECT_EQ(identify.exitStatus, 0) << identify.errors;
    EXPECT_EQ(identify.output.rfind("KEL520 on ", 0), 0u) << identify.output;
    EXPECT_EQ(cli({"--sector", "3", "write", "0x8000", "12", "3", "ab"}).exitStatus, 0);
    EXPECT_EQ(cli({"--sector", "3", "read", "8000", "4"}).output, "12 03 AB FF\n");
    EXPECT_EQ(cli({"--sector", "2", "read", "8000", "2"}).output, "FF FF\n") << "another page";
    EXPECT_EQ(cli({"--sector", "3", "write", "8000", "FF"}).exitStatus, 2) << "0 cannot become 1";
    EXPECT_EQ(cli({"--sector", "3", "erase"}).output, "erase: OK, FS3 erased\n");
    EXPECT_EQ(cli({"--sector", "3", "read", "8000", "2"}).output, "FF FF\n");

    EXPECT_EQ(cli({"--flash", "boot", "--sector", "2", "write", "C000", "55"}).exitStatus, 0);
    EXPECT_EQ(cli({"--flash", "boot", "read", "C000", "1"}).output, "55\n");
    EXPECT_EQ(cli({"--flash", "main", "read", "C000", "1"}).output, "FF\n");
    EXPECT_NE(cli({"mirror"}).output.find("KEL520"), std::string::npos);
    EXPECT_EQ(cli({"--sector", "4", "select"}).output, "Execution page changed...\n");
    EXPECT_EQ(cli({"reset"}).output, "Board reset command sent.\n");
}

TEST_F(CliMemoryCommandsTest, BadInputIsRefusedWithTheWindowsMessagesAndNothingIsSent) {
    // What the field checks refuse is left to their fuzz target; here, that the tool refuses.
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"read", "8000", "F1"}, "Invalid byte count field value"},
        {{"write", "8000", "12", "345"}, "Data to write is invalid."},
        {{"--flash", "boot", "--sector", "5", "select"}, "boot flash sector can not be > 3."},
        {{"--sector", "9", "select"}, "--sector"},
        {{"--flash", "boot", "--sector", "2", "write", "8000", "12"},
         "8000 is in boot flash sector 0 (CSBOOT0), not in the selected sector 2 (CSBOOT2, "
         "C000-DFFF): give --sector 0"},
        {{"--flash", "boot", "--sector", "0", "read", "9FFF", "2"},
         "The 2 bytes from 9FFF run past the end"},
        {{"frobnicate"}, "frobnicate"},
    };
    for (const auto& [args, message] : cases) {
        const auto result = cli(args);
        EXPECT_EQ(result.exitStatus, 2) << args[0];
        EXPECT_TRUE(contains(result.errors, message)) << args[0] << ": " << result.errors;
        EXPECT_EQ(result.output, "") << args[0];
    }
    EXPECT_EQ(cli({"read", "8000", "1"}).output, "FF\n") << "nothing was written";
}

// ports tells what stands for COM1; a port that cannot be opened is named with the system's reason.
TEST_F(CliMemoryCommandsTest, PortsAndPortErrorsNameTheDeviceAndTheReason) {
    const auto ports = runProgram(testing::cliPath(), {"ports"});
    EXPECT_TRUE(contains(ports.output, "\nCOM1 is ")) << ports.output << ports.errors;
    PosixSerialPort holder;
    ASSERT_TRUE(holder.open(board.devicePath(), 1600, 1600, 19200))
        << portFaultReason(holder.lastFault());
    const std::pair<std::string, std::string> cases[] = {
        {board.devicePath(), "in use by another program"},
        {"/dev/loadstar-missing", "No such file or directory"},
    };
    for (const auto& [device, reason] : cases) {
        const auto result = runProgram(testing::cliPath(), {"--port", device, "identify"});
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_TRUE(contains(result.errors, "Can't open " + device + ": ")) << result.errors;
        EXPECT_TRUE(contains(result.errors, reason)) << result.errors;
        EXPECT_FALSE(contains(result.errors, "dialout")) << "no group would let anyone in";
    }
    // A device that answers but is no board: the failure names it too.
    holder.close();
    board.control("silent on");
    const auto silent = runProgram(testing::cliPath(), {"--port", board.devicePath(), "identify"});
    EXPECT_EQ(silent.exitStatus, 2);
    EXPECT_TRUE(contains(silent.errors, "No KEL520/KEL620 board answered on " + board.devicePath()))
        << silent.errors;
}

// LOADSTAR_PORT stands in for --port, which wins; -v tells how long each step took.
TEST_F(CliMemoryCommandsTest, LoadstarPortStandsInForPortAndVerboseTimesEachStep) {
    const testing::ChildEnvironment environment =
        std::vector<std::string>{"LOADSTAR_PORT=" + board.devicePath()};
    const auto verbose =
        runProgram(testing::cliPath(), {"-v", "identify"}, std::chrono::seconds(30), environment);
    EXPECT_EQ(verbose.exitStatus, 0) << verbose.errors;
    for (const std::string& step : {"Opening " + board.devicePath(), std::string("Identifying")}) {
        EXPECT_TRUE(contains(verbose.errors, step)) << verbose.errors;
    }
    EXPECT_TRUE(contains(verbose.errors, " ms\n")) << verbose.errors;
    const auto quiet =
        runProgram(testing::cliPath(), {"identify"}, std::chrono::seconds(30), environment);
    EXPECT_EQ(quiet.exitStatus, 0);
    EXPECT_EQ(quiet.errors, "");
    const auto overridden =
        runProgram(testing::cliPath(), {"--port", "/dev/loadstar-missing", "identify"},
                   std::chrono::seconds(30), environment);
    EXPECT_TRUE(contains(overridden.errors, "Can't open /dev/loadstar-missing"))
        << overridden.errors;
}

}  // namespace
}  // namespace loadstar
