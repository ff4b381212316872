// loadstar-cli's sector commands end to end: the real program on a pseudo-terminal to kel-emulator.

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
#include "TempDir.h"

namespace loadstar {
namespace {

using testing::contentsOf;
using testing::ProgramResult;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Runs a command in another working folder for the life of the object.
class WorkingFolder {
  public:
    explicit WorkingFolder(const std::filesystem::path& folder)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() { std::filesystem::current_path(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

  private:
    std::filesystem::path previous_;
};

class CliSectorCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(board.started()) << board.startupError(); }

    ProgramResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", board.devicePath()});
        return testing::runProgram(testing::cliPath(), args);
    }
    // The same, on boot sector 1 (8 KB at 0xA000).
    ProgramResult boot1(std::vector<std::string> args) {
        args.insert(args.begin(), {"--flash", "boot", "--sector", "1"});
        return cli(std::move(args));
    }

    testing::EmulatorProcess board;
    testing::TempDir folder;
};

TEST_F(CliSectorCommandsTest, PassesReportTheirOutcomeInTextAndExitStatus) {
    std::string image;
    for (int i = 0; i < 1500; ++i) {
        image.push_back(static_cast<char>(i * 7));
    }
    const std::string bin = folder.write("image.bin", image);

    auto run = boot1({"blank-check"});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "Blank Check done.\n");
    EXPECT_TRUE(contains(run.errors, "Blank check result: The sector is blank")) << run.errors;

    run = boot1({"program", bin});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_TRUE(std::regex_match(
        run.output, std::regex("Program Sector done\\. Time consumed is \\d+ ms\\.\n")))
        << run.output;

    run = boot1({"blank-check"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(contains(run.errors, "Some data found at address 0xA000")) << run.errors;

    run = boot1({"verify", bin});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "Verify Sector done.\n");
    EXPECT_TRUE(contains(run.errors, "Verify result: Data Verify OK")) << run.errors;

    image[2] = static_cast<char>(image[2] ^ 0x40);
    run = boot1({"verify", folder.write("other.bin", image)});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(contains(run.errors, "Data do not match at address 0xA002")) << run.errors;
}

TEST_F(CliSectorCommandsTest, UploadSavesTheProposedNameOrTheGivenFile) {
    const std::string image = folder.write("image.bin", std::string("\x41\x42\x00\x7F", 4));
    ASSERT_EQ(boot1({"program", image}).exitStatus, 0);
    std::string sector(0x2000, '\xFF');
    sector.replace(0, 4, "\x41\x42\x00\x7F", 4);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(sector.data()),
                                              sector.size());
    {
        const WorkingFolder inFolder(folder.path());
        const auto run = boot1({"upload"});
        EXPECT_EQ(run.exitStatus, 0) << run.errors;
        EXPECT_EQ(run.output, "Upload done.\n");
    }
    EXPECT_TRUE(folder.read("KEL520_seg(CSBOOT1).hex") == intelHexDump(bytes));

    EXPECT_EQ(boot1({"upload", folder.file("dump.TXT")}).exitStatus, 0);
    EXPECT_TRUE(folder.read("dump.TXT") == textMemoryDump(bytes));
    EXPECT_EQ(boot1({"upload", folder.file("raw.bin")}).exitStatus, 0);
    EXPECT_TRUE(folder.read("raw.bin") == sector);
}

TEST_F(CliSectorCommandsTest, FailuresExitWith2AndTheirMessages) {
    folder.write("empty.hex", ":00000001FF\n");
    folder.write("image.bin", "\x01");
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> messages;
    } cases[] = {
        {{"program", folder.file("missing.hex")},
         {"Data load error: Error opening file !", "Error while programming of the sector."}},
        {{"program", folder.file("empty.hex")},
         {"File contains no data", "Error while programming of the sector."}},
        {{"verify", folder.file("empty.hex")},
         {"File contains no data", "Error while verifying of the sector."}},
        {{"--flash", "boot", "--sector", "4", "verify", folder.file("image.bin")},
         {"Secondary/boot flash sector can not be > 3."}},
        {{"--flash", "boot", "upload", folder.file("missing/sector.hex")},
         {"Uploaded data save error: Error creating file !", "Upload operation unsuccessful."}},
        {{"program"}, {"FILE"}},
    };
    for (const auto& c : cases) {
        const auto run = cli(c.args);
        EXPECT_EQ(run.exitStatus, 2) << run.errors;
        for (const auto& message : c.messages) {
            EXPECT_TRUE(contains(run.errors, message)) << message << " in: " << run.errors;
        }
    }
}

// Ctrl-C in the middle of an upload: the pass stops before its next block and nothing is saved.
TEST_F(CliSectorCommandsTest, InterruptStopsTheUploadAndSavesNothing) {
    const std::string errors = folder.file("stderr");
    const std::string target = folder.file("never.hex");
    testing::ChildProcess cli(testing::cliPath(), {"--port", board.devicePath(), "upload", target},
                              "/dev/null", errors);
    ASSERT_TRUE(cli.started());
    // The first status line comes after the first block; a main sector takes 136.
    for (int i = 0; i < 1000 && !contains(contentsOf(errors), "Reading flash, "); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    cli.signal(SIGINT);
    const int status = cli.waitForExit(std::chrono::seconds(30));
    ASSERT_FALSE(cli.endedBySignal()) << "it exits by itself after the interrupt";
    EXPECT_EQ(status, 130);
    EXPECT_TRUE(contains(contentsOf(errors), "Upload cancelled.")) << contentsOf(errors);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(folder.fileCount(), 1);  // only the stderr file
}

TEST(CliSectorCommands, HelpNamesTheSectorCommands) {
    const auto help = testing::runProgram(testing::cliPath(), {"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* command : {"blank-check", "program", "verify", "upload"}) {
        EXPECT_TRUE(contains(help.output, command))
            << command << " is missing: main.cpp must call addSectorCommands (SectorCommands.h)";
    }
}

}  // namespace
}  // namespace loadstar
