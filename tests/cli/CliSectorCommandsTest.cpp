// loadstar-cli's sector commands end to end: the real program on a pseudo-terminal to kel-emulator.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "DumpWriters.h"
#include "EmulatorProcess.h"
#include "FileContents.h"
#include "ProgramRunner.h"
#include "RandomBytes.h"
#include "TempDir.h"

namespace loadstar {
namespace {

using testing::contentsOf;
using testing::ProgramResult;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliSectorCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(board.started()) << board.startupError(); }

    // Runs loadstar-cli on boot sector `sector` (8 KB at 0x8000 + sector * 0x2000).
    ProgramResult boot(int sector, std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", board.devicePath(), "--flash", "boot", "--sector",
                                   std::to_string(sector)});
        return testing::runProgram(testing::cliPath(), args);
    }

    testing::EmulatorProcess board;
    testing::TempDir folder;
};

TEST_F(CliSectorCommandsTest, PassesReportTheirOutcomeInTextAndExitStatus) {
    std::string image(1500, '\x4C');
    const std::string bin = folder.write("image.bin", image);
    auto run = boot(1, {"blank-check"});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "Blank Check done.\n");
    EXPECT_TRUE(contains(run.errors, "Blank check result: The sector is blank")) << run.errors;

    run = boot(1, {"program", bin});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_TRUE(std::regex_match(
        run.output, std::regex("Program Sector done\\. Time consumed is \\d+ ms\\.\n")))
        << run.output;

    run = boot(1, {"blank-check"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(contains(run.errors, "Some data found at address 0xA000")) << run.errors;

    run = boot(1, {"verify", bin});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "Verify Sector done.\n");
    EXPECT_TRUE(contains(run.errors, "Verify result: Data Verify OK")) << run.errors;

    image[2] = '\x4D';
    run = boot(1, {"verify", folder.write("other.bin", image)});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(contains(run.errors, "Data do not match at address 0xA002")) << run.errors;
}

// Upload in every format, program what was uploaded into other sectors, verify them.
TEST_F(CliSectorCommandsTest, UploadProgramAndVerifyRoundTrip) {
    auto bytes = testing::randomBytes(3000, 3);
    bytes[0] = 0x4C;  // so that an erased sector differs at its first byte
    std::fill(bytes.begin() + 100, bytes.begin() + 400, 0xFF);  // an erased run inside
    const std::string source = folder.write("source.bin", std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(boot(1, {"program", source}).exitStatus, 0);
    bytes.resize(0x2000, 0xFF);
    const std::string sector(bytes.begin(), bytes.end());

    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const auto run = boot(1, {"upload"});  // the proposed name, as Intel HEX
    std::filesystem::current_path(previous);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "Upload done.\n");
    EXPECT_EQ(folder.read("KEL520_seg(CSBOOT1).hex"), intelHexDump(bytes));
    EXPECT_EQ(boot(1, {"upload", folder.file("dump.TXT")}).exitStatus, 0);
    EXPECT_EQ(folder.read("dump.TXT"), textMemoryDump(bytes));
    EXPECT_EQ(boot(1, {"upload", folder.file("raw.bin")}).exitStatus, 0);
    EXPECT_TRUE(folder.read("raw.bin") == sector);

    ASSERT_EQ(boot(2, {"program", folder.file("KEL520_seg(CSBOOT1).hex")}).exitStatus, 0);
    ASSERT_EQ(boot(3, {"program", folder.file("raw.bin")}).exitStatus, 0);
    EXPECT_EQ(boot(2, {"verify", source}).exitStatus, 0);
    EXPECT_EQ(boot(3, {"verify", folder.file("KEL520_seg(CSBOOT1).hex")}).exitStatus, 0);
    EXPECT_EQ(boot(0, {"verify", source}).exitStatus, 1) << "sector 0 was never programmed";
}

TEST_F(CliSectorCommandsTest, FailuresExitWith2AndTheirMessages) {
    folder.write("empty.hex", ":00000001FF\n");
    folder.write("keep.dat", "kept");
    ASSERT_EQ(::mkfifo(folder.file("pipe.hex").c_str(), 0666), 0);  // would block an open
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"program", folder.file("missing.hex")},
         {"Data load error: Error opening file !", "Error while programming of the sector."}},
        {{"program", folder.file("empty.hex")},
         {"File contains no data", "Error while programming of the sector."}},
        {{"verify", folder.file("empty.hex")},
         {"File contains no data", "Error while verifying of the sector."}},
        {{"program", folder.file("pipe.hex")},
         {"Data load error: Error opening file !", "Error while programming of the sector."}},
        {{"upload", folder.file("keep.dat")},
         {"Uploaded data save error: Unknown file type", "Upload operation unsuccessful."}},
        {{"upload", folder.file("missing/sector.hex")},
         {"Uploaded data save error: Error creating file !", "Upload operation unsuccessful."}},
        {{"program"}, {"FILE"}},
    };
    for (const auto& [args, messages] : cases) {
        const auto run = boot(0, args);
        EXPECT_EQ(run.exitStatus, 2) << run.errors;
        for (const auto& message : messages) {
            EXPECT_TRUE(contains(run.errors, message)) << message << " in: " << run.errors;
        }
    }
    EXPECT_EQ(folder.read("keep.dat"), "kept");
}

// Ctrl-C or SIGTERM in the middle of an upload: the pass stops before its next block and nothing
// is saved.
TEST_F(CliSectorCommandsTest, InterruptStopsTheUploadAndSavesNothing) {
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signalNumber);
        const std::string errors = folder.file("stderr");
        testing::ChildProcess cli(
            testing::cliPath(), {"--port", board.devicePath(), "upload", folder.file("never.hex")},
            "/dev/null", errors);
        ASSERT_TRUE(cli.started());
        // The first status line comes after the first block; a main sector takes 136.
        for (int i = 0; i < 1000 && !contains(contentsOf(errors), "Reading flash, "); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        cli.signal(signalNumber);
        EXPECT_EQ(cli.waitForExit(std::chrono::seconds(30)), 130);
        EXPECT_FALSE(cli.endedBySignal()) << "it exits by itself after the interrupt";
        EXPECT_TRUE(contains(contentsOf(errors), "Upload cancelled.")) << contentsOf(errors);
        EXPECT_EQ(folder.fileCount(), 1);  // only the stderr file
    }
}

}  // namespace
}  // namespace loadstar
