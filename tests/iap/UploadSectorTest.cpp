#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "DumpWriters.h"
#include "EmulatedBoard.h"
#include "FileSizeLimit.h"
#include "RandomBytes.h"
#include "TempDir.h"

namespace loadstar {
namespace {

constexpr int mainSize = 0x8000;
constexpr int bootSize = 0x2000;
const std::string createError = "Error creating file !";
const std::string writeError = "Error writing file !";

class UploadSectorTest : public testing::EmulatedBoard {
  protected:
    void fillRandomly(std::span<std::uint8_t> sector, unsigned seed) {
        const auto bytes = testing::randomBytes(static_cast<int>(sector.size()), seed);
        std::copy(bytes.begin(), bytes.end(), sector.begin());
    }
    [[nodiscard]] std::string contentOf(std::span<const std::uint8_t> sector,
                                        DumpFormat format) const {
        return formatDump(format, sector);
    }
    testing::TempDir folder;
};

TEST_F(UploadSectorTest, ReadsTheWholeSectorThenWritesTheFormatTheNameAsksFor) {
    fillRandomly(bootSector(1), 5);
    const struct {
        const char* name;
        DumpFormat format;
    } cases[] = {
        {"sector.hex", DumpFormat::intelHex}, {"sector.bin", DumpFormat::rawBinary},
        {"sector.txt", DumpFormat::textDump}, {"SECTOR.TXT", DumpFormat::textDump},
        {"sector.dat", DumpFormat::none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.proposedNames.clear();
        ui.statusTexts.clear();
        board.clearPayloads();
        ui.saveFileAnswer = folder.file(c.name);
        EXPECT_EQ(operations.uploadSector(1, 1, 0xA000, bootSize, "CSBOOT1"), 1);
        EXPECT_EQ(ui.proposedNames, std::vector<std::string>{"KEL520_seg(CSBOOT1)"});
        EXPECT_EQ(folder.read(c.name), contentOf(bootSector(1), c.format));
        EXPECT_EQ(payloadsOf("RRD").size(), 34u);
        EXPECT_EQ(ui.statusTexts.back(), "Reading flash, 0 bytes remaining.");
        EXPECT_TRUE(ui.messages.empty());
    }
    EXPECT_EQ(folder.read("sector.dat"), "");
}

TEST_F(UploadSectorTest, MainSectorUploadPagesTheSectorInAndProposesItsSegmentName) {
    fillRandomly(mainSector(5), 9);
    ui.saveFileAnswer = folder.file("main.bin");
    EXPECT_EQ(operations.uploadSector(0, 5, 0x8000, mainSize, "FS5"), 1);
    EXPECT_EQ(ui.proposedNames, std::vector<std::string>{"KEL520_seg(FS5)"});
    EXPECT_EQ(commandNames().at(1), "PG 05");
    EXPECT_EQ(payloadsOf("RRD").size(), 136u);
    EXPECT_EQ(ui.eventRounds, 136);
    EXPECT_EQ(folder.read("main.bin"), contentOf(mainSector(5), DumpFormat::rawBinary));
}

TEST_F(UploadSectorTest, CancelDuringTheReadOpensNoDialogAndSavesNothing) {
    folder.write("keep.hex", "old");
    ui.saveFileAnswer = folder.file("keep.hex");
    processFlags().cancelRequested = true;  // from an earlier pass: cleared when the upload starts
    ui.onEvents = [&] {
        if (ui.eventRounds == 2) {
            processFlags().cancelRequested = true;
        }
    };
    EXPECT_EQ(operations.uploadSector(1, 0, 0x8000, bootSize, "CSBOOT0"), -1);
    EXPECT_EQ(payloadsOf("RRD").size(), 2u);
    EXPECT_TRUE(ui.proposedNames.empty());
    EXPECT_EQ(folder.read("keep.hex"), "old");
    EXPECT_EQ(folder.fileCount(), 1);
}

TEST_F(UploadSectorTest, ADismissedDialogSavesNothing) {
    ui.saveFileAnswer.reset();
    EXPECT_EQ(operations.uploadSector(1, 0, 0x8000, bootSize, "CSBOOT0"), 0);
    EXPECT_EQ(ui.proposedNames.size(), 1u);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(folder.fileCount(), 0);
}

TEST_F(UploadSectorTest, AFileThatCannotBeCreatedOrWrittenIsReportedAndKeepsTheOldOne) {
    std::filesystem::create_directory(folder.file("folder.hex"));
    folder.write("old.bin", "old content");
    std::filesystem::create_symlink("/dev/full", folder.file("full.hex"));
    const struct {
        const char* what;
        std::string path;
        std::string message;
        rlim_t sizeLimit;  // 0: none
    } cases[] = {
        {"folder missing", folder.file("missing/sector.hex"), createError, 0},
        {"name of a folder", folder.file("folder.hex"), createError, 0},
        {"device that is full", folder.file("full.hex"), writeError, 0},
        {"disk full while replacing a file", folder.file("old.bin"), writeError, 1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ui.messages.clear();
        ui.saveFileAnswer = c.path;
        int result = -9;
        if (c.sizeLimit > 0) {
            testing::FileSizeLimit limit(c.sizeLimit);
            result = operations.uploadSector(1, 0, 0x8000, bootSize, "CSBOOT0");
        } else {
            result = operations.uploadSector(1, 0, 0x8000, bootSize, "CSBOOT0");
        }
        EXPECT_EQ(result, 0);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, c.message);
        EXPECT_EQ(ui.messages[0].caption, "Uploaded data save error");
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::none);
    }
    EXPECT_EQ(folder.read("old.bin"), "old content");
    EXPECT_EQ(folder.fileCount(), 3);  // no temporary file left behind
}

}  // namespace
}  // namespace loadstar
