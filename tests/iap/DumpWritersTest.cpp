#include "DumpWriters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ImageFile.h"
#include "RandomBytes.h"
#include "RecordingUserInterface.h"
#include "TempDir.h"
#include "TextLines.h"

namespace loadstar {
namespace {

using testing::linesOf;
using testing::randomBytes;

constexpr int mainSize = 0x8000;
constexpr int bootSize = 0x2000;

TEST(DumpWritersTest, FormatFollowsTheExtensionWhateverItsCase) {
    const struct {
        const char* name;
        DumpFormat format;
    } cases[] = {
        {"KEL520_seg(FS3).hex", DumpFormat::intelHex}, {"dump.TXT", DumpFormat::textDump},
        {"sector.Bin", DumpFormat::rawBinary},         {"sector.dat", DumpFormat::none},
        {"KEL520_seg(FS3)", DumpFormat::none},         {"a.hex.bak", DumpFormat::none},
        {"dir.hex/sector", DumpFormat::none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dumpFormatForFileName(c.name), c.format) << c.name;
    }
}

TEST(DumpWritersTest, IntelHexOfAnErasedBootSectorHas512RecordsAndTheEndRecord) {
    const std::vector<std::uint8_t> erased(bootSize, 0xFF);
    const std::string text = intelHexDump(erased);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    ASSERT_EQ(text.back(), '\n');
    const auto lines = linesOf(text);
    ASSERT_EQ(lines.size(), 513u);
    const std::string f32(32, 'f');
    EXPECT_EQ(lines[0], ":10000000" + f32 + "00");
    EXPECT_EQ(lines[1], ":10001000" + f32 + "f0");
    EXPECT_EQ(lines[511], ":101FF000" + f32 + "f1");
    EXPECT_EQ(lines[512], ":00000001FF");
}

TEST(DumpWritersTest, IntelHexRecordsUseUpperCaseFieldsAndLowerCaseDataDigits) {
    std::vector<std::uint8_t> sector(32, 0xFF);
    const std::vector<std::uint8_t> start = {0xAB, 0x0C, 0x41, 0x00};
    std::copy(start.begin(), start.end(), sector.begin() + 16);
    const auto lines = linesOf(intelHexDump(sector));
    ASSERT_EQ(lines.size(), 3u);
    // 10 + 00 + 10 + AB + 0C + 41 + 00 + 12 * FF = 0xD0C, so the checksum is 0xf4
    EXPECT_EQ(lines[1], ":10001000ab0c4100" + std::string(24, 'f') + "f4");
}

TEST(DumpWritersTest, TextDumpOfAnErasedMainSectorHasTheHeaderAnd2048LinesOf73Bytes) {
    const std::vector<std::uint8_t> erased(mainSize, 0xFF);
    const std::string text = textMemoryDump(erased);
    const std::string header = "\n Memory dump saved by Loadstar\n\n";
    ASSERT_EQ(text.substr(0, header.size()), header);
    ASSERT_EQ(text.size(), header.size() + 2048u * 73u);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    std::string erasedLine = " 0000: ";
    for (int i = 0; i < 16; ++i) {
        erasedLine += "FF ";
    }
    erasedLine += std::string(17, ' ') + "\n";
    ASSERT_EQ(erasedLine.size(), 73u);
    EXPECT_EQ(text.substr(header.size(), 73), erasedLine);
    EXPECT_EQ(text.substr(text.size() - 73, 7), " 7FF0: ");
    EXPECT_EQ(text.substr(header.size() + 73 * 0xAB, 7), " 0AB0: ");
}

TEST(DumpWritersTest, TextDumpCharacterColumnShowsPrintableBytesDotsAndErasedSpaces) {
    std::vector<std::uint8_t> sector(16, 0xFF);
    const std::vector<std::uint8_t> start = {0x41, 0x42, 0x00, 0x7F, 0x80, 0xFF,
                                             0x20, 0x7E, 0x1F, 0xFE, 0x61};
    std::copy(start.begin(), start.end(), sector.begin());
    const std::string text = textMemoryDump(sector);
    const std::string line = text.substr(text.size() - 73);
    EXPECT_EQ(line.substr(0, 7 + 33), " 0000: 41 42 00 7F 80 FF 20 7E 1F FE 61 ");
    EXPECT_EQ(line.substr(55, 18), " AB...  ~..a     \n");
}

TEST(DumpWritersTest, RawBinaryIsExactlyTheSectorsBytes) {
    const auto sector = randomBytes(bootSize, 7);
    const std::string raw = rawBinaryDump(sector);
    ASSERT_EQ(raw.size(), static_cast<std::size_t>(bootSize));
    EXPECT_TRUE(std::equal(sector.begin(), sector.end(), raw.begin(), [](std::uint8_t a, char b) {
        return a == static_cast<std::uint8_t>(b);
    }));
    EXPECT_EQ(formatDump(DumpFormat::none, sector), "");
    EXPECT_EQ(formatDump(DumpFormat::rawBinary, sector), raw);
}

// What Upload writes, Program loads back at the same offsets.
TEST(DumpWritersTest, DumpsLoadBackThroughTheImageLoader) {
    testing::TempDir folder;
    auto sector = randomBytes(mainSize, 11);
    std::fill(sector.end() - 100, sector.end(), 0xFF);  // the loaded length stops before these
    const struct {
        const char* name;
        DumpFormat format;
        int loadedLength;
    } cases[] = {
        {"sector.hex", DumpFormat::intelHex, mainSize - 100},
        {"sector.bin", DumpFormat::rawBinary, mainSize},
    };
    for (const auto& c : cases) {
        const std::string file = folder.write(c.name, formatDump(c.format, sector));
        std::vector<std::uint8_t> buffer(100000, 0);
        int loadedLength = 0;
        testing::RecordingUserInterface ui;
        ASSERT_EQ(loadImageFile(file, buffer, mainSize, loadedLength, ui), 1) << c.name;
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(loadedLength, c.loadedLength);
        EXPECT_TRUE(std::equal(sector.begin(), sector.end(), buffer.begin())) << c.name;
    }
}

}  // namespace
}  // namespace loadstar
