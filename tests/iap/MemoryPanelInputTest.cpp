#include "MemoryPanelInput.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace loadstar {
namespace {

TEST(MemoryPanelInput, ScanHexNumberReadsLikeScanfHexWithoutWrapping) {
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"10", 0x10},    {"f1", 0xF1},
        {"1g", 1},       {"g1", std::nullopt},
        {"", {}},        {"   ", {}},
        {"\t\n3", 3},    {"0x9000", 0x9000},
        {"0X1F", 31},    {"-1", -1},
        {"+5", 5},       {"0x", 0},
        {"0xg", 0},      {"0x-1", 0},
        {"-", {}},       {"x1", {}},
        {"- 1", {}},     {"+-1", {}},
        {" -0x10", -16}, {"12 34", 0x12},
        {"0", 0},        {"00000000000000000001", 1},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(scanHexNumber(text), value) << '"' << text << '"';
        // The C library's own scan agrees wherever the value fits its int.
        unsigned scanned = 0;
        const bool matched = std::sscanf(text, "%x", &scanned) == 1;
        EXPECT_EQ(matched, value.has_value()) << '"' << text << '"';
        if (matched) {
            EXPECT_EQ(static_cast<int>(scanned), static_cast<int>(*value)) << text;
        }
    }
    // "%x" into a 32-bit int would make 100000000 a zero; here it stays too large for any check.
    for (const char* text : {"100000000", "FFFFFFFFFFFFFFFFFFFFFFFF", "-FFFFFFFFFFFFFFFFFF"}) {
        const auto value = scanHexNumber(text);
        ASSERT_TRUE(value.has_value()) << text;
        EXPECT_GE(*value < 0 ? -*value : *value, std::int64_t{0x100000000}) << text;
    }
}

TEST(MemoryPanelInput, ReadChecksTheCountFirstThenTheAddress) {
    const struct {
        const char* count;
        const char* offset;
        const char* message;  // empty: accepted as count and address
        int expectedCount = 0, expectedAddress = 0;
    } cases[] = {
        {"F0", "8000", "", 240, 0x8000},
        {"0", "0x9000", "", 0, 0x9000},
        {"1g", "FFFF", "", 1, 0xFFFF},
        {"F1", "8000", invalidCountMessage},
        {"", "8000", invalidCountMessage},
        {"-1", "8000", invalidCountMessage},
        {"100000000", "8000", invalidCountMessage},
        {"F1", "zz", invalidCountMessage},
        {"10", "", invalidAddressMessage},
        {"10", "10000", addressOutOfRangeMessage},
        {"10", "-1", addressOutOfRangeMessage},
    };
    for (const auto& c : cases) {
        const auto checked = checkReadFields(c.count, c.offset);
        EXPECT_EQ(checked.message, c.message) << c.count << " / " << c.offset;
        if (checked.ok()) {
            EXPECT_EQ(checked.request.count, c.expectedCount) << c.count;
            EXPECT_EQ(checked.request.address, c.expectedAddress) << c.offset;
        }
    }
}

TEST(MemoryPanelInput, WriteChecksTheAddressThenTheDataThenItsLength) {
    std::string tokens;
    for (int i = 0; i < 255; ++i) {
        tokens += "AB ";
    }
    const struct {
        const char* offset;
        std::string data;
        const char* message;
        std::vector<std::uint8_t> bytes = {};
        int address = 0;
    } cases[] = {
        {"8000", "1 a2 FF", "", {0x01, 0xA2, 0xFF}, 0x8000},
        {"  c000", "  7f  ", "", {0x7F}, 0xC000},
        {"0x1234", tokens, "", std::vector<std::uint8_t>(255, 0xAB), 0x1234},
        {"8000", tokens + "AB", dataTooLongMessage},
        {"8000", "12 345", invalidDataMessage},
        {"8000", "   ", invalidDataMessage},
        {"8000", "zz", invalidDataMessage},
        {"hello", "01", invalidOffsetMessage},
        {"12345", "01", invalidOffsetMessage},
        {"-8000", "01", invalidOffsetMessage},
        {"", "", invalidOffsetMessage},
    };
    for (const auto& c : cases) {
        const auto checked = checkWriteFields(c.offset, c.data);
        EXPECT_EQ(checked.message, c.message) << c.offset << " / " << c.data;
        if (checked.ok()) {
            EXPECT_EQ(checked.request.data, c.bytes) << c.data;
            EXPECT_EQ(checked.request.address, c.address) << c.offset;
        }
    }
    EXPECT_EQ(writtenCountText(3), "03");
    EXPECT_EQ(writtenCountText(0x1F), "1F");
    EXPECT_EQ(writtenCountText(256), "00");
}

}  // namespace
}  // namespace loadstar
