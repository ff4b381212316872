// loadstar-cli's sector commands end to end: the real program on a pseudo-terminal to kel-emulator.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "DumpWriters.h"
#include "EmulatorProcess.h"
#include "ProgramRunner.h"
#include "RandomBytes.h"
#include "TempDir.h"

namespace loadstar {
namespace {

using testing::ProgramResult;
using Bytes = std::vector<std::uint8_t>;

std::string textOf(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

// Intel HEX of `bytes` starting at `address`, without records before them.
std::string hexAt(const Bytes& bytes, int address) {
    Bytes space(0x10000, 0xFF);
    std::copy(bytes.begin(), bytes.end(), space.begin() + address);
    std::istringstream dump(intelHexDump(space));
    std::string hex;
    for (std::string line; std::getline(dump, line);) {
        if (line.size() != 43 || line.compare(9, 32, std::string(32, 'f')) != 0) {
            hex += line + "\n";
        }
    }
    return hex;
}

class CliSectorCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(board.started()) << board.startupError(); }

    ProgramResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", board.devicePath()});
        return testing::runProgram(testing::cliPath(), args);
    }
    // On boot sector 0: 8 KB at 0x8000, quicker to read than a main sector.
    ProgramResult boot0(std::vector<std::string> args) {
        args.insert(args.begin(), "--flash=boot");
        return cli(args);
    }

    testing::EmulatorProcess board;
    testing::TempDir folder;
};

// Every sector command in one walk over the board: its result line on stdout agrees with its exit
// status, and what only the tool adds (progress, hints, reasons, options) reaches stderr. The
// passes' own messages are the sector operations' tests' business.
TEST_F(CliSectorCommandsTest, EachPassEndsWithOneResultLineThatAgreesWithItsExitStatus) {
    Bytes image = testing::randomBytes(300, 7);
    image[0] = 0x4C;
    Bytes inverted = image;
    for (auto& byte : inverted) {
        byte = static_cast<std::uint8_t>(~byte | 0x01);  // needs a 0 -> 1 change in every byte
    }
    Bytes changed = image;
    changed[2] ^= 0x10;
    changed[7] ^= 0x01;
    const std::string hex = folder.write("image.hex", hexAt(image, 0));
    const std::string linked = folder.write("linked.hex", hexAt(image, 0x8000));
    const std::string boot = folder.write("boot.bin", textOf(image));
    const std::string other = folder.write("other.hex", hexAt(inverted, 0));
    const std::string differing = folder.write("changed.hex", hexAt(changed, 0));
    const std::string keep = folder.write("keep.dat", "kept");
    const std::string missing = folder.file("missing.hex");
    const struct {
        std::string control;  // emulator control line sent first
        std::vector<std::string> args;
        int exitStatus;
        std::string output;                      // regex for the whole of stdout
        std::vector<std::string> messages = {};  // regexes, each found on stderr
    } steps[] = {
        {"", {"blank-check"}, 0, "blank-check: blank, 8192 bytes\n"},
        {"",
         {"flash", hex},
         0,
         "flash: OK, 300 bytes erased, programmed and verified in \\d+ ms\n",
         {"Erasing 100%", "Programming 100% \\(300 of 300 bytes", "Verifying 100%"}},
        {"",
         {"blank-check"},
         1,
         "blank-check: not blank, \\d+ of 8192 bytes used, first at 0x8000\n"},
        {"", {"flash", "--no-erase", other}, 2, "flash: failed at program\n"},
        {"ignore EB", {"flash", hex}, 2, "flash: failed at erase\n"},
        {"ignore RRD", {"flash", hex}, 2, "flash: failed at verify\n"},
        // A file that cannot be loaded costs the sector nothing: the next verify still passes.
        {"",
         {"flash", missing},
         2,
         "flash: failed\n",
         {"Error opening file ! \\(" + missing + ": No such file or directory\\)"}},
        {"", {"verify", hex}, 0, "verify: OK, 300 bytes match\n"},
        {"", {"verify", differing}, 1, "verify: 2 of 300 bytes differ, first at 0x8002\n"},
        {"",
         {"verify", linked},
         2,
         "verify: failed\n",
         {"linked.hex lies at 8000 or above.*add --base 8000"}},
        {"", {"verify", "--base", "0x8000", linked}, 0, "verify: OK, 300 bytes match\n"},
        {"",
         {"program", "--base", "8000", boot},
         2,
         "program: failed\n",
         {"--base applies to Intel HEX files"}},
        {"",
         {"-q", "--sector=3", "flash", "--no-verify", boot},
         0,
         "flash: OK, 300 bytes erased, programmed in \\d+ ms\n",
         {"^(?![\\s\\S]*%)"}},  // quiet: no progress line anywhere
        {"",
         {"--trace", "identify"},
         0,
         "KEL520 on .*\n",
         {"\\d\\d:\\d\\d:\\d\\d\\.\\d{3} > 21 00 09 F7 42 52 44 D8 54\n",
          "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} < 42 52 44 20 4B 45 4C 35 32 30\n"}},
        {"", {"upload", keep}, 2, "upload: failed\n", {"Unknown file type.*--format hex"}},
        // A folder that cannot take the dump is found before the sector is read.
        {"",
         {"upload", folder.file("missing/x.hex")},
         2,
         "upload: failed\n",
         {"the folder .*missing does not exist", "^(?![\\s\\S]*Reading)"}},
        {"", {"upload", keep + "/x.hex"}, 2, "upload: failed\n", {"keep.dat is not a folder"}},
        {"ignore EB", {"erase"}, 2, "erase: failed\n"},
        {"",
         {"upload", "--format", "txt", folder.file("sector.dat")},
         0,
         "upload: OK, 8192 bytes of CSBOOT0 saved to .*sector.dat as text dump\n"},
        // Without a name: the proposed one, in the current folder, as Intel HEX.
        {"",
         {"upload"},
         0,
         "upload: OK, 8192 bytes of CSBOOT0 saved to KEL520_seg\\(CSBOOT0\\)\\.hex as Intel HEX\n"},
    };
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    for (const auto& step : steps) {
        const std::string what = step.control + " " + step.args[0] + " " + step.args.back();
        ASSERT_TRUE(board.control(step.control.empty() ? "clear" : step.control));
        const auto run = boot0(step.args);
        EXPECT_EQ(run.exitStatus, step.exitStatus) << what << "\n" << run.errors;
        EXPECT_TRUE(std::regex_match(run.output, std::regex(step.output))) << what << run.output;
        for (const auto& message : step.messages) {
            EXPECT_TRUE(std::regex_search(run.errors, std::regex(message)))
                << what << ": " << message << " in:\n"
                << run.errors;
        }
    }
    std::filesystem::current_path(previous);
    Bytes sector = image;
    sector.resize(0x2000, 0xFF);
    EXPECT_EQ(folder.read("sector.dat"), textMemoryDump(sector));
    EXPECT_EQ(folder.read("KEL520_seg(CSBOOT0).hex"), intelHexDump(sector));
    EXPECT_EQ(folder.read("keep.dat"), "kept");
    const auto raw = boot0({"upload", "--format", "bin", "-"});
    EXPECT_EQ(raw.exitStatus, 0);
    EXPECT_TRUE(raw.output == textOf(sector)) << "the sector's bytes alone on stdout";
    EXPECT_NE(raw.errors.find("upload: OK, 8192 bytes of CSBOOT0 saved to standard output as raw"),
              std::string::npos)
        << raw.errors;
}

// Ctrl-C during a backup keeps the sectors saved before it, whole, and nothing of the one being
// read; restore flashes what the folder holds and names the sectors it has no file for.
TEST_F(CliSectorCommandsTest, BackupStopsCleanlyOnCtrlCAndRestoreSkipsMissingFiles) {
    const Bytes image = testing::randomBytes(500, 9);
    ASSERT_EQ(cli({"flash", folder.write("image.bin", textOf(image))}).exitStatus, 0);
    const std::string backup = folder.file("backup");
    const std::string firstFile = backup + "/KEL520_seg(FS0).hex";
    testing::ChildProcess running(testing::cliPath(),
                                  {"--port", board.devicePath(), "backup", backup},
                                  folder.file("out"), folder.file("err"));
    for (int i = 0; i < 3000 && !std::filesystem::exists(firstFile); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    running.signal(SIGINT);
    EXPECT_EQ(running.waitForExit(std::chrono::seconds(30)), 130);
    EXPECT_EQ(folder.read("out"),
              "backup: interrupted at FS1, 1 of 12 sectors saved in " + backup + "\n");
    EXPECT_NE(folder.read("err").find("Backup FS0 "), std::string::npos) << "overall progress";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(backup),
                            std::filesystem::directory_iterator()),
              1);
    Bytes sector = image;
    sector.resize(0x8000, 0xFF);
    EXPECT_EQ(testing::contentsOf(firstFile), intelHexDump(sector));

    ASSERT_EQ(cli({"erase"}).exitStatus, 0);
    const std::string bootFile = folder.write("backup/KEL520_seg(CSBOOT2).bin", "boot image");
    const auto restore = cli({"restore", backup});
    EXPECT_EQ(restore.exitStatus, 0) << restore.errors;
    EXPECT_EQ(restore.output, "restore: OK, 2 sectors restored, 10 skipped\n");
    EXPECT_NE(restore.errors.find("KEL520_seg(FS1).hex or .bin: sector FS1 is left as it is."),
              std::string::npos)
        << restore.errors;
    EXPECT_EQ(cli({"verify", folder.file("image.bin")}).exitStatus, 0);
    EXPECT_EQ(cli({"--flash=boot", "--sector=2", "verify", bootFile}).exitStatus, 0);
}

// The noisy-line rule end to end (its statistics are AgreedReadTest's): a board whose reply bytes
// have one bit flipped at 2 % gives an exact copy or a loud failure, never a wrong one.
TEST(CliNoisyLineTest, UploadReadingUntilAgreedIsExactOrFails) {
    testing::EmulatorProcess board(
        {"--no-link", "--baud", "0", "--corrupt-rate", "0.02", "--corrupt-bits", "--seed", "7"});
    ASSERT_TRUE(board.started()) << board.startupError();
    const auto copy =
        testing::runProgram(testing::cliPath(), {"--port", board.devicePath(), "--flash=boot",
                                                 "upload", "--read-twice", "--format", "bin", "-"});
    const bool exact = copy.exitStatus == 0 && copy.output == std::string(0x2000, '\xFF');
    const bool loud =
        copy.exitStatus == 2 && std::regex_search(copy.errors, std::regex("too noisy|READ FLASH"));
    EXPECT_TRUE(exact || loud) << copy.exitStatus << ": " << copy.errors;
}

}  // namespace
}  // namespace loadstar
