// loadstar-cli's board commands end to end: the real program, a real pseudo-terminal, kel-emulator.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EmulatorProcess.h"
#include "PosixSerialPort.h"
#include "ProgramRunner.h"

namespace loadstar {
namespace {

using testing::EmulatorProcess;
using testing::ProgramResult;
using testing::runProgram;

class CliMemoryCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(board.started()) << board.startupError(); }

    ProgramResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", board.devicePath()});
        return runProgram(testing::cliPath(), args);
    }

    EmulatorProcess board;
};

std::string ffBytes(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        text += (i ? " FF" : "FF");
    }
    return text + "\n";
}

TEST_F(CliMemoryCommandsTest, IdentifyReadWriteEraseRoundTrip) {
    const auto identify = cli({"identify"});
    EXPECT_EQ(identify.exitStatus, 0) << identify.errors;
    EXPECT_EQ(identify.output.rfind("KEL520 on ", 0), 0u) << identify.output;

    EXPECT_EQ(cli({"--sector", "3", "read", "8000", "10"}).output, ffBytes(16));
    const auto write = cli({"--sector", "3", "write", "0x8000", "12", "3", "ab"});
    EXPECT_EQ(write.exitStatus, 0) << write.errors;
    EXPECT_EQ(cli({"--sector", "3", "read", "8000", "4"}).output, "12 03 AB FF\n");
    EXPECT_EQ(cli({"--sector", "2", "read", "8000", "3"}).output, ffBytes(3))
        << "another page shows another sector";

    // Programming cannot turn a 0 back into a 1: the board writes nothing and says so.
    const auto rewrite = cli({"--sector", "3", "write", "8000", "FF"});
    EXPECT_EQ(rewrite.exitStatus, 2);
    EXPECT_NE(rewrite.errors.find("Error writing data, target memory space probably not blank."),
              std::string::npos)
        << rewrite.errors;

    EXPECT_EQ(cli({"--sector", "3", "erase"}).exitStatus, 0);
    EXPECT_EQ(cli({"--sector", "3", "read", "8000", "3"}).output, ffBytes(3));
}

TEST_F(CliMemoryCommandsTest, BootSectorsLieAtTheirOwnAddresses) {
    EXPECT_EQ(cli({"--flash", "boot", "--sector", "2", "write", "C000", "55"}).exitStatus, 0);
    EXPECT_EQ(cli({"--flash", "boot", "--sector", "0", "read", "C000", "1"}).output, "55\n");
    EXPECT_EQ(cli({"--flash", "main", "read", "C000", "1"}).output, "FF\n");
    EXPECT_EQ(cli({"--flash", "boot", "--sector", "2", "erase"}).exitStatus, 0);
    EXPECT_EQ(cli({"--flash", "boot", "read", "C000", "1"}).output, "FF\n");
}

TEST_F(CliMemoryCommandsTest, BadInputIsRefusedWithTheWindowsMessages) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } const cases[] = {
        {{"read", "8000", "F1"}, "Invalid byte count field value"},
        {{"read", "8000", "g1"}, "Invalid byte count field value"},
        {{"read", "8000", "-1"}, "Invalid byte count field value"},
        {{"read", "zz", "10"}, "Invalid address field value: not a numeric value."},
        {{"read", "10000", "10"}, "Invalid address field value"},
        {{"write", "zz", "12"}, "Offset value is incorrect."},
        {{"write", "8000", "12", "345"}, "Data to write is invalid."},
        {{"write", "8000", "G1"}, "Data to write is invalid."},
        {{"--flash", "boot", "--sector", "5", "select"},
         "Secondary/boot flash sector can not be > 3."},
        {{"--sector", "9", "select"}, "--sector"},
        {{"--flash", "rom", "select"}, "--flash"},
        {{"frobnicate"}, "frobnicate"},
    };
    for (const auto& c : cases) {
        const auto result = cli(c.args);
        EXPECT_EQ(result.exitStatus, 2) << c.args[0];
        EXPECT_NE(result.errors.find(c.message), std::string::npos)
            << c.args[0] << ": " << result.errors;
        EXPECT_EQ(result.output, "") << c.args[0];
    }
}

TEST_F(CliMemoryCommandsTest, TooManyBytesForOneWriteAreRefused) {
    std::vector<std::string> args = {"write", "8000"};
    args.insert(args.end(), 256, "00");
    const auto result = cli(args);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.errors.find("Data to write is too long"), std::string::npos) << result.errors;
    EXPECT_EQ(cli({"read", "8000", "1"}).output, "FF\n") << "nothing was written";
}

TEST_F(CliMemoryCommandsTest, MirrorSelectAndReset) {
    const auto mirror = cli({"mirror"});
    EXPECT_EQ(mirror.exitStatus, 0);
    EXPECT_NE(mirror.output.find("KEL520"), std::string::npos) << mirror.output;
    const auto select = cli({"--sector", "4", "select"});
    EXPECT_EQ(select.output, "Execution page changed...\n");
    const auto reset = cli({"reset"});
    EXPECT_EQ(reset.exitStatus, 0);
    EXPECT_EQ(reset.output, "Board reset command sent.\n");
}

TEST_F(CliMemoryCommandsTest, HeldPortIsRefusedWithTheReason) {
    PosixSerialPort holder;
    ASSERT_TRUE(holder.open(board.devicePath(), 1600, 1600, 19200)) << holder.lastError();
    const auto result = cli({"identify"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.errors.find("Can't open COM1, port does not exist or is already allocated."),
              std::string::npos)
        << result.errors;
    EXPECT_NE(result.errors.find("in use by another program"), std::string::npos) << result.errors;
}

TEST(CliMemoryCommands, MissingDeviceNamesCom1AndTheReason) {
    const auto result =
        runProgram(testing::cliPath(), {"--port", "/dev/loadstar-missing", "read", "8000", "1"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.errors.find("Can't open COM1"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("No such file or directory"), std::string::npos) << result.errors;
}

TEST(CliMemoryCommands, SilentBoardFailsTheConnection) {
    EmulatorProcess silent({"--no-link", "--baud", "0", "--silent"});
    ASSERT_TRUE(silent.started()) << silent.startupError();
    const auto result = runProgram(testing::cliPath(), {"--port", silent.devicePath(), "identify"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.errors.find("Failed to open connection to Merova demo board."),
              std::string::npos)
        << result.errors;
}

TEST(CliMemoryCommands, HelpExplainsEveryCommand) {
    const auto help = runProgram(testing::cliPath(), {"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* command :
         {"identify", "read", "write", "erase", "reset", "select", "mirror"}) {
        EXPECT_NE(help.output.find(command), std::string::npos) << command;
    }
}

}  // namespace
}  // namespace loadstar
