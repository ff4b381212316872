#include "iap/DumpWriters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(DumpWriters, IntelHexHasARecordPer16BytesWithLowerCaseDataAndTheEndRecord) {
    Bytes sector(0x2000, 0xFF);
    const Bytes start = {0xAB, 0x0C, 0x41, 0x00};
    std::copy(start.begin(), start.end(), sector.begin() + 16);
    const std::string text = intelHexDump(sector);
    EXPECT_EQ(text.back(), '\n');
    const auto lines = testing::linesOf(text);
    ASSERT_EQ(lines.size(), 513u);
    const std::string f32(32, 'f');
    EXPECT_EQ(lines[0], ":10000000" + f32 + "00");
    // 10 + 00 + 10 + AB + 0C + 41 + 00 + 12 * FF = 0xD0C, so the checksum is 0xf4
    EXPECT_EQ(lines[1], ":10001000ab0c4100" + std::string(24, 'f') + "f4");
    EXPECT_EQ(lines[511], ":101FF000" + f32 + "f1");
    EXPECT_EQ(lines[512], ":00000001FF");
}

TEST(DumpWriters, TextDumpHasItsHeaderAndA73ByteLinePer16Bytes) {
    Bytes sector(0x8000, 0xFF);
    const Bytes start = {0x41, 0x42, 0x00, 0x7F, 0x80, 0xFF, 0x20, 0x7E, 0x1F, 0xFE, 0x61};
    std::copy(start.begin(), start.end(), sector.begin() + 0xAB0);
    const std::string text = textMemoryDump(sector);
    const std::string header = "\n Memory dump saved by Loadstar\n\n";
    ASSERT_EQ(text.substr(0, header.size()), header);
    ASSERT_EQ(text.size(), header.size() + 2048u * 73u);
    // Printable bytes as themselves, erased ones as spaces, any other as a dot.
    EXPECT_EQ(text.substr(header.size() + 73 * 0xAB, 73),
              " 0AB0: 41 42 00 7F 80 FF 20 7E 1F FE 61 FF FF FF FF FF  AB...  ~..a     \n");
    EXPECT_EQ(text.substr(header.size(), 7), " 0000: ");
    EXPECT_EQ(text.substr(text.size() - 73, 7), " 7FF0: ");
}

}  // namespace
}  // namespace loadstar
