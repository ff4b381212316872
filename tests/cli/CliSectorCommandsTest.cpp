// loadstar-cli's sector commands end to end: the real program on a pseudo-terminal to kel-emulator.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <pty.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "iap/DumpWriters.h"
#include "support/ChildProcess.h"
#include "support/Descriptor.h"
#include "support/EmulatorProcess.h"
#include "support/ProgramRunner.h"
#include "support/RandomBytes.h"
#include "support/TempDir.h"

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
    image[2] = 0x12;
    image[7] = 0x34;
    Bytes inverted = image;
    for (auto& byte : inverted) {
        byte = static_cast<std::uint8_t>(~byte | 0x01);  // needs a 0 -> 1 change in every byte
    }
    Bytes changed = image;
    changed[2] ^= 0x10;
    changed[7] ^= 0x01;
    const std::string hex = folder.write("image.hex", hexAt(image, 0));
    const std::string linked = folder.write("linked.hex", hexAt(image, 0x8000));
    const std::string over = folder.write("over.bin", std::string(0x2001, '\x01'));
    const std::string boot = folder.write("boot.bin", textOf(image));
    const std::string other = folder.write("other.hex", hexAt(inverted, 0));
    const std::string differing = folder.write("changed.hex", hexAt(changed, 0));
    const std::string keep = folder.write("keep.dat", "kept");
    const std::string missing = folder.file("missing.hex");
    const std::string ihx = folder.write("image.ihx", hexAt(image, 0));
    const std::string notes = folder.write("notes.txt", "not an image");
    // Written-out 0xFF at offsets 2 and 7, where the image holds other bytes.
    const std::string erasedBytes =
        folder.write("ff.hex", ":01000200FFFE\n:01000700FFF9\n:00000001FF\n");
    // The image with the checksum of its third record spoilt.
    auto records = testing::linesOf(hexAt(image, 0));
    std::string checksum = records[2].substr(records[2].size() - 2);
    records[2].replace(records[2].size() - 2, 2, checksum == "00" ? "01" : "00");
    std::string spoilt;
    for (const auto& line : records) {
        spoilt += line + "\n";
    }
    const std::string bad = folder.write("bad.hex", spoilt);
    std::transform(checksum.begin(), checksum.end(), checksum.begin(), ::toupper);
    // A restore folder with one good file and one whose second record is broken.
    std::filesystem::create_directory(folder.file("refused"));
    folder.write("refused/KEL520_seg(FS7).bin", std::string(0x8000, '\x01'));
    const std::string refused =
        folder.write("refused/KEL520_seg(FS3).hex", ":0100000001FE\n:0100000101FF\n:00000001FF\n");
    const std::string oneObject = "\\{\"[^\n]*\\}\n";  // one JSON object alone on stdout
    using nlohmann::json;
    const struct {
        std::string control;  // emulator control line sent first
        std::vector<std::string> args;
        int exitStatus;
        std::string output;                      // regex for the whole of stdout
        std::vector<std::string> messages = {};  // regexes, each found on stderr
        json fields = nullptr;                   // with --json: fields of the object on stdout
    } steps[] = {
        {"", {"blank-check"}, 0, "blank-check: blank, 8192 bytes\n"},
        {"",
         {"flash", hex},
         0,
         "flash: OK, 304 bytes erased, programmed and verified in \\d+ ms\n",
         {"Erasing 100%", "Programming 100% \\(300 of 300 bytes", "Verifying 100%"}},
        {"",
         {"blank-check"},
         1,
         "blank-check: not blank, \\d+ of 8192 bytes used, first at 0x8000\n"},
        {"", {"flash", "--no-erase", other}, 2, "flash: failed at program\n"},
        // After a failure past the erase, the result line says what the sector holds.
        {"ignore EB",
         {"flash", hex},
         2,
         "flash: failed at erase; the sector may be partly erased: its old contents may be gone\n"},
        // With --json the result line moves to stderr and stdout holds one object.
        {"ignore WFP",
         {"flash", hex, "--json"},
         2,
         oneObject,
         {"flash: failed at program; the sector is erased: its old contents are gone\n"},
         {{"result", "failed"},
          {"exit_status", 2},
          {"failing_step", "program"},
          {"board_holds", "erased"},
          {"first_difference", nullptr}}},
        {"ignore RRD",
         {"flash", hex},
         2,
         "flash: failed at verify; the sector holds the new image, not verified\n"},
        // A file that cannot be loaded costs the sector nothing: the next verify still passes.
        {"",
         {"flash", missing},
         2,
         "flash: failed\n",
         {"loadstar-cli: " + missing + ": No such file or directory"}},
        {"", {"verify", hex}, 0, "verify: OK, 304 bytes match\n"},
        {"", {"verify", ihx}, 0, "verify: OK, 304 bytes match\n"},
        {"",
         {"--json", "verify", differing},
         1,
         oneObject,
         {"verify: 2 of 304 bytes differ, first at 0x8002\n"},
         {{"result", "different"},
          {"exit_status", 1},
          {"bytes", 304},
          {"differences", 2},
          {"first_difference", 0x8002},
          {"failing_step", nullptr}}},
        {"",
         {"read", "--json", "8000", "1"},
         0,
         oneObject,
         {},
         {{"result", "ok"},
          {"address", 0x8000},
          {"data", json::array({0x4C})},
          {"board", "KEL520"}}},
        {"",
         {"--json", "restore", folder.file("refused")},
         2,
         oneObject,
         {"restore: failed, nothing was changed"},
         {{"failing_step", "load"}, {"file", refused}, {"line", 2}, {"board_holds", "untouched"}}},
        {"", {"--json", "ports"}, 0, oneObject, {}, {{"result", "ok"}, {"failing_step", nullptr}}},
        // Every written-out 0xFF is compared and every difference counted, also by flash.
        {"",
         {"flash", "--no-erase", erasedBytes},
         1,
         "flash: 2 of 2 bytes differ after programming, first at 0x8002\n"},
        {"",
         {"--json", "verify", bad},
         2,
         oneObject,
         {"bad.hex:3: checksum 0[01], but the record's bytes give " + checksum + "\n",
          "verify: failed\n"},
         {{"result", "failed"},
          {"failing_step", "load"},
          {"file", bad},
          {"line", 3},
          {"reason", "checksum " + records[2].substr(records[2].size() - 2) +
                         ", but the record's bytes give " + checksum}}},
        {"",
         {"verify", notes},
         2,
         "verify: failed\n",
         {"notes.txt: neither Intel HEX .* Images are Intel HEX \\(any name\\) or raw binary"}},
        {"", {"verify", "--format", "hex", keep}, 2, "verify: failed\n", {"keep.dat:1: "}},
        {"",
         {"verify", linked},
         2,
         "verify: failed\n",
         {"linked.hex holds data outside the sector: its data lie at 8000-.*the sector takes "
          "0000-1FFF. .*add --base 8000; nothing was sent"}},
        {"", {"verify", "--base", "0x8000", linked}, 0, "verify: OK, 304 bytes match\n"},
        // Data the sector cannot take fail the command: a script would take the rest for all.
        {"",
         {"flash", over},
         2,
         "flash: failed\n",
         {"over.bin is longer than the sector's 8192 bytes.*nothing was sent"}},
        {"",
         {"verify", "--base", "8100", linked},
         2,
         "verify: failed\n",
         {"linked.hex holds data outside the sector: its data lie at 8000-.*the sector takes "
          "8100-A0FF"}},
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
        {"",
         {"upload", "--format", "hex", folder.path().string()},
         2,
         "upload: failed\n",
         {"is a folder: upload replaces only regular files", "^(?![\\s\\S]*Reading)"}},
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
        if (!step.fields.is_null()) {
            json object = json::parse(run.output, nullptr, false);
            ASSERT_TRUE(object.is_object()) << what << run.output;
            EXPECT_EQ(object["schema"], 1) << what;
            EXPECT_EQ(object["command"],
                      *std::find_if(step.args.begin(), step.args.end(),
                                    [](const std::string& arg) { return arg[0] != '-'; }))
                << what;
            EXPECT_GE(object["duration_ms"], 0) << what;
            for (const auto& [key, value] : step.fields.items()) {
                EXPECT_EQ(object[key], value) << what << ": " << key << " in " << run.output;
            }
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
    // "-" reads the image from standard input: Intel HEX by its content, raw with --format bin.
    for (const auto& [format, file, length] :
         {std::tuple{"", hex, 304}, std::tuple{"bin", boot, 300}}) {
        std::vector<std::string> args = {"-c",
                                         "exec \"$0\" \"$@\" < \"" + file + "\"",
                                         testing::cliPath(),
                                         "--port",
                                         board.devicePath(),
                                         "--flash=boot",
                                         "verify",
                                         "-"};
        if (*format != '\0') {
            args.insert(args.end(), {"--format", format});
        }
        const auto piped = testing::runProgram("/bin/sh", args);
        EXPECT_EQ(piped.exitStatus, 0) << piped.errors;
        EXPECT_EQ(piped.output, "verify: OK, " + std::to_string(length) + " bytes match\n");
    }
}

// Ctrl-C during a backup keeps the sectors saved before it, whole, and nothing of the one being
// read; restore flashes what the folder holds and names the sectors it has no file for. A boot
// file linked at its board addresses is read at them; an erased sector's file erases the sector.
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
    const Bytes boot = testing::randomBytes(0x2000, 4);
    folder.write("boot.bin", textOf(boot));
    folder.write("backup/KEL520_seg(CSBOOT2).hex", hexAt(boot, 0xC000));
    folder.write("backup/KEL520_seg(CSBOOT1).hex", intelHexDump(Bytes(0x2000, 0xFF)));
    ASSERT_EQ(cli({"--flash=boot", "--sector=1", "flash", folder.file("boot.bin")}).exitStatus, 0);
    const auto restore = cli({"restore", backup});
    EXPECT_EQ(restore.exitStatus, 0) << restore.errors;
    EXPECT_EQ(restore.output, "restore: OK, 3 sectors restored, 9 skipped\n");
    EXPECT_NE(restore.errors.find("KEL520_seg(FS1).hex or .bin: sector FS1 is left as it is."),
              std::string::npos)
        << restore.errors;
    EXPECT_EQ(cli({"verify", folder.file("image.bin")}).exitStatus, 0);
    EXPECT_EQ(cli({"--flash=boot", "--sector=2", "verify", folder.file("boot.bin")}).exitStatus, 0);
    EXPECT_EQ(cli({"--flash=boot", "--sector=1", "blank-check"}).exitStatus, 0);
}

// A restore checks every file before it touches the board: any file it cannot write back as it
// is refuses the whole restore, and not one byte goes to the line (the test holds the other end
// of the port).
TEST(CliRestore, RefusesEveryFileItCannotWriteBackBeforeSendingAnything) {
    const std::string end = ":00000001FF\n";
    const struct {
        std::string file;  // in the folder; empty: no file
        std::string content;
        std::string message;  // found on stderr
    } cases[] = {
        {"KEL520_seg(CSBOOT1).bin", "",
         "(CSBOOT1).bin: 0 bytes, but a .bin must be exactly its "
         "sector's size, 8192 bytes"},
        {"KEL520_seg(FS2).bin", std::string(100, 'x'), "(FS2).bin: 100 bytes, but a .bin"},
        {"KEL520_seg(CSBOOT0).bin", std::string(0x8000, 'x'),
         "(CSBOOT0).bin: more than 8192 bytes"},
        {"KEL520_seg(FS0).hex", end, "(FS0).hex: holds no data"},
        {"KEL520_seg(CSBOOT1).hex", hexAt({0x01}, 0x8000),
         "(CSBOOT1).hex: data outside the sector: its records must lie at offsets 0000-1FFF, or "
         "at its board addresses A000-BFFF"},
        {"KEL520_seg(FS3).hex", ":0100000001FE\n:0100000101FF\n" + end,
         "(FS3).hex:2: checksum FF, but the record's bytes give FD"},
        {"", "", "restore-folder: the folder does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        testing::TempDir folder;
        // Another sector's good file: refused all the same, nothing is erased.
        folder.write("KEL520_seg(FS7).bin", std::string(0x8000, '\x01'));
        if (!c.file.empty()) {
            folder.write(c.file, c.content);
        }
        int master = -1;
        int slave = -1;
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        const testing::Descriptor masterEnd(master);
        const testing::Descriptor slaveEnd(slave);
        const std::string target = c.file.empty() ? folder.file("restore-folder") : folder.file("");
        const auto run = testing::runProgram(testing::cliPath(),
                                             {"--port", ::ptsname(master), "restore", target});
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.output, "restore: failed, nothing was changed\n");
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
        ASSERT_EQ(::fcntl(master, F_SETFL, O_NONBLOCK), 0);
        char byte = 0;
        EXPECT_EQ(::read(master, &byte, 1), -1) << "something was sent to the board";
    }
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
