#include "ImageFile.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "HexRecords.h"
#include "ProcessFlags.h"
#include "RecordingUserInterface.h"
#include "TempDir.h"

namespace loadstar {
namespace {

using testing::countingBytes;
using testing::dataRecord;
using testing::endRecord;
using testing::hexFile;
using testing::hexRecord;

constexpr int mainSize = 0x8000;
constexpr int bootSize = 0x2000;
const std::string syntaxError = "Invalid syntax in hex file";
const std::string noData = "File contains no data";
const std::string openError = "Error opening file !";
const std::string pastSector =
    "Warning: hex file address exceeds selected sector size.\n"
    "Data past the last sector address will be ignored.";

struct Loaded {
    int result = -9;
    int loadedLength = -9;
    std::vector<std::uint8_t> buffer;
    testing::RecordingUserInterface ui;
};

// Loads `content` saved as `name` into a 100000-byte buffer that starts out filled with 0xA5.
Loaded load(const std::string& name, const std::string& content, int sectorSize) {
    testing::TempDir folder;
    Loaded loaded;
    loaded.buffer.assign(100000, 0xA5);
    loaded.result = loadImageFile(folder.write(name, content), loaded.buffer, sectorSize,
                                  loaded.loadedLength, loaded.ui);
    return loaded;
}

class ImageFileTest : public ::testing::Test {
  protected:
    void SetUp() override { processFlags() = ProcessFlags{}; }
};

TEST_F(ImageFileTest, IntelHexFilesLoadWithTheirResultLengthAndMessages) {
    const std::vector<std::uint8_t> ff16(16, 0xFF);
    const struct {
        const char* what;
        std::string content;
        int sectorSize;
        int result;
        int loadedLength;  // -1: not looked at (a failed load)
        std::vector<std::string> messages;
        std::map<int, int> bytes;  // offset -> expected byte
    } cases[] = {
        {"end record only", hexFile({endRecord}), mainSize, 1, 0, {noData}, {{0, 0xFF}}},
        {"data without end record",
         hexFile({dataRecord(0, {1, 2})}),
         mainSize,
         0,
         -1,
         {syntaxError},
         {}},
        {"empty file", "", mainSize, 0, -1, {syntaxError}, {}},
        {"one byte at 0000",
         hexFile({dataRecord(0, {0x12}), endRecord}),
         mainSize,
         1,
         1,
         {},
         {{0, 0x12}, {1, 0xFF}, {mainSize - 1, 0xFF}}},
        {"one byte at the sector's last offset",
         hexFile({dataRecord(0x7FFF, {0}), endRecord}),
         mainSize,
         1,
         mainSize,
         {},
         {{0, 0xFF}, {0x7FFF, 0}}},
        {"records in any order",
         hexFile({dataRecord(0x20, {3}), dataRecord(0, {1}), endRecord}),
         mainSize,
         1,
         0x21,
         {},
         {{0, 1}, {0x20, 3}, {0x10, 0xFF}}},
        {"only 0xFF data",
         hexFile({dataRecord(0x100, ff16), endRecord}),
         mainSize,
         1,
         0,
         {noData},
         {}},
        {"trailing 0xFF bytes do not count",
         hexFile({dataRecord(0, {7, 0xFF, 0xFF}), endRecord}),
         mainSize,
         1,
         1,
         {},
         {{0, 7}}},
        {"record ends exactly at the sector's end",
         hexFile({dataRecord(bootSize - 16, countingBytes(16)), endRecord}),
         bootSize,
         1,
         bootSize,
         {},
         {{bootSize - 16, 0}, {bootSize - 1, 15}}},
        {"record one byte past the end keeps its inside and reads no further line",
         hexFile({dataRecord(bootSize - 15, countingBytes(16, 1)), dataRecord(0, {9}), endRecord}),
         bootSize,
         1,
         bootSize,
         {pastSector},
         {{0, 0xFF}, {bootSize - 15, 1}, {bootSize - 1, 15}}},
        {"warning without data says nothing about no data",
         hexFile({dataRecord(bootSize, {1}), endRecord}),
         bootSize,
         1,
         0,
         {pastSector},
         {}},
        {"warning after a bad line is never reached",
         hexFile({dataRecord(bootSize, {1})}) + "garbage\n",
         bootSize,
         1,
         0,
         {pastSector},
         {}},
        {"blank line",
         hexFile({dataRecord(0, {1}), "", endRecord}),
         mainSize,
         0,
         -1,
         {syntaxError},
         {}},
        {"line without colon",
         hexFile({dataRecord(0, {1}).substr(1), endRecord}),
         mainSize,
         0,
         -1,
         {syntaxError},
         {}},
        {"header cut short", hexFile({":1000", endRecord}), mainSize, 0, -1, {syntaxError}, {}},
        {"wrong checksum",
         hexFile({":0100000012EE", endRecord}),
         mainSize,
         0,
         -1,
         {syntaxError},
         {}},
        {"no checksum", hexFile({":0100000012", endRecord}), mainSize, 0, -1, {syntaxError}, {}},
        {"data byte not hex",
         hexFile({":01000000G1EF", endRecord}),
         mainSize,
         0,
         -1,
         {syntaxError},
         {}},
        {"lower-case digits",
         hexFile({":02001000abcd76", endRecord}),
         mainSize,
         1,
         0x12,
         {},
         {{0x10, 0xAB}, {0x11, 0xCD}}},
        {"text behind the checksum is not looked at",
         hexFile({dataRecord(0, {5}) + " comment", endRecord + "!"}),
         mainSize,
         1,
         1,
         {},
         {{0, 5}}},
        {"extended linear address does not move the data",
         hexFile({hexRecord(0, 4, {0x00, 0x01}), dataRecord(0x0010, {0x42}), endRecord}),
         mainSize,
         1,
         0x11,
         {},
         {{0x10, 0x42}}},
        {"other record types are skipped untested",
         hexFile(
             {":0200000200ZZ", ":04000005xxxxxxxx", ":0400000300", dataRecord(0, {1}), endRecord}),
         mainSize,
         1,
         1,
         {},
         {{0, 1}}},
        {"end record's own checksum is not looked at",
         hexFile({dataRecord(0, {1}), ":00000001"}),
         mainSize,
         1,
         1,
         {},
         {{0, 1}}},
        {"offsets wrap from FFFF to 0000",
         hexFile({dataRecord(0xFFF8, countingBytes(16, 0x10)), endRecord}),
         mainSize,
         1,
         8,
         {},
         {{0, 0x18}, {7, 0x1F}, {8, 0xFF}}},
        {"a line longer than 998 characters is split and fails",
         hexFile({dataRecord(0, {1}) + std::string(1000, ' '), endRecord}),
         mainSize,
         0,
         -1,
         {syntaxError},
         {}},
        {"a line of exactly 998 characters and its line end fails on the empty rest",
         hexFile({dataRecord(0, {1}) + std::string(998 - 13, ' '), endRecord}),
         mainSize,
         0,
         -1,
         {syntaxError},
         {}},
        {"a line of 997 characters and its line end is one line",
         hexFile({dataRecord(0, {1}) + std::string(997 - 13, ' '), endRecord}),
         mainSize,
         1,
         1,
         {},
         {{0, 1}}},
        {"the longest legal record",
         hexFile({dataRecord(0x100, std::vector<std::uint8_t>(255, 0x5A)), endRecord}),
         mainSize,
         1,
         0x1FF,
         {},
         {{0x100, 0x5A}, {0x1FE, 0x5A}}},
        {"no line end after the end record",
         dataRecord(0, {2}) + "\n" + endRecord,
         mainSize,
         1,
         1,
         {},
         {{0, 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Loaded loaded = load("image.hex", c.content, c.sectorSize);
        EXPECT_EQ(loaded.result, c.result);
        if (c.loadedLength >= 0) {
            EXPECT_EQ(loaded.loadedLength, c.loadedLength);
        }
        EXPECT_EQ(loaded.ui.messageTexts(), c.messages);
        for (const auto& [offset, value] : c.bytes) {
            EXPECT_EQ(loaded.buffer[static_cast<std::size_t>(offset)], value) << offset;
        }
        // Nothing past the sector is ever touched.
        EXPECT_EQ(loaded.buffer[static_cast<std::size_t>(c.sectorSize)], 0xA5);
    }
}

TEST_F(ImageFileTest, LineEndsOfCrLfAndLfLoadTheSameImage) {
    const std::vector<std::string> lines = {dataRecord(0, countingBytes(16, 0x30)),
                                            dataRecord(0x40, {0x99}), endRecord};
    const Loaded lf = load("a.hex", hexFile(lines, "\n"), mainSize);
    const Loaded crlf = load("b.hex", hexFile(lines, "\r\n"), mainSize);
    EXPECT_EQ(lf.result, 1);
    EXPECT_EQ(crlf.result, 1);
    EXPECT_EQ(lf.loadedLength, 0x41);
    EXPECT_EQ(crlf.loadedLength, 0x41);
    EXPECT_EQ(lf.buffer, crlf.buffer);
}

TEST_F(ImageFileTest, MessagesCarryTheirCaptionsAndIcons) {
    const struct {
        std::string content;
        std::string caption;
        MessageIcon icon;
    } cases[] = {
        {"x\n", "Data load error", MessageIcon::none},
        {hexFile({endRecord}), "Error", MessageIcon::warning},
        {hexFile({dataRecord(mainSize, {1})}), "Warning", MessageIcon::warning},
    };
    for (const auto& c : cases) {
        const Loaded loaded = load("image.hex", c.content, mainSize);
        ASSERT_EQ(loaded.ui.messages.size(), 1u) << c.content;
        EXPECT_EQ(loaded.ui.messages[0].caption, c.caption);
        EXPECT_EQ(loaded.ui.messages[0].icon, c.icon);
    }
}

TEST_F(ImageFileTest, RawBinaryFilesLoadUpToTheSectorSize) {
    const std::string bytes = "\x01\x02\xFF\xFF";
    const struct {
        const char* name;
        std::string content;
        int sectorSize;
        int loadedLength;
        std::vector<std::string> messages;
    } cases[] = {
        {"image.bin", bytes, mainSize, 4, {}},
        {"IMAGE.BIN", bytes, mainSize, 4, {}},
        {"empty.bin", "", mainSize, 0, {noData}},
        {"long.bin", std::string(bootSize + 100, '\x11'), bootSize, bootSize, {}},
        {"erased.bin", std::string(16, '\xFF'), bootSize, 16, {}},
        {"image.txt", bytes, mainSize, 0, {noData}},
        {"image.hex.bak", hexFile({dataRecord(0, {1}), endRecord}), mainSize, 0, {noData}},
        {"image", bytes, mainSize, 0, {noData}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded loaded = load(c.name, c.content, c.sectorSize);
        EXPECT_EQ(loaded.result, 1);
        EXPECT_EQ(loaded.loadedLength, c.loadedLength);
        EXPECT_EQ(loaded.ui.messageTexts(), c.messages);
        for (int i = 0; i < c.loadedLength; ++i) {
            ASSERT_EQ(loaded.buffer[static_cast<std::size_t>(i)],
                      static_cast<std::uint8_t>(c.content[static_cast<std::size_t>(i)]));
        }
        // The raw loader leaves the buffer past the loaded length as it was.
        EXPECT_EQ(loaded.buffer[static_cast<std::size_t>(c.loadedLength)], 0xA5);
    }
}

TEST_F(ImageFileTest, AFileThatCannotBeOpenedOrReadFails) {
    testing::TempDir folder;
    std::filesystem::create_directory(folder.file("folder.bin"));
    std::filesystem::create_directory(folder.file("folder.hex"));
    for (const std::string name : {"missing.hex", "missing.bin", "folder.bin", "folder.hex"}) {
        testing::RecordingUserInterface ui;
        std::vector<std::uint8_t> buffer(100000);
        int loadedLength = 0;
        EXPECT_EQ(loadImageFile(folder.file(name), buffer, mainSize, loadedLength, ui), 0) << name;
        ASSERT_EQ(ui.messages.size(), 1u) << name;
        EXPECT_EQ(ui.messages[0].text, openError);
        EXPECT_EQ(ui.messages[0].caption, "Data load error");
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::none);
    }
}

TEST_F(ImageFileTest, NeverWritesPastTheBufferItWasGiven) {
    testing::TempDir folder;
    const std::string raw = folder.write("big.bin", std::string(64, '\x22'));
    const std::string hex =
        folder.write("big.hex", hexFile({dataRecord(0, countingBytes(64)), endRecord}));
    for (const auto& file : {raw, hex}) {
        std::vector<std::uint8_t> storage(48, 0xA5);
        testing::RecordingUserInterface ui;
        int loadedLength = 0;
        EXPECT_EQ(loadImageFile(file, std::span(storage).first(32), mainSize, loadedLength, ui), 1);
        EXPECT_EQ(loadedLength, 32);
        EXPECT_EQ(storage[32], 0xA5) << file;
    }
}

TEST_F(ImageFileTest, NoDataMessageIsSilentWhileTheTestRuns) {
    processFlags().testRunning = true;
    const Loaded loaded = load("image.hex", hexFile({endRecord}), mainSize);
    processFlags().testRunning = false;
    EXPECT_EQ(loaded.result, 1);
    EXPECT_EQ(loaded.loadedLength, 0);
    EXPECT_TRUE(loaded.ui.messages.empty());
}

}  // namespace
}  // namespace loadstar
