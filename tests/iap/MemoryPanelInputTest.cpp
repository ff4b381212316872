#include "MemoryPanelInput.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace loadstar {
namespace {

struct ScanCase {
    const char* text;
    std::optional<std::int64_t> value;
};

TEST(ScanHexNumber, ReadsLikeScanfHex) {
    const std::vector<ScanCase> cases = {
        {"10", 0x10},
        {"F0", 0xF0},
        {"f1", 0xF1},
        {"1g", 1},
        {"g1", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {" 7", 7},
        {"\t\n3", 3},
        {"0x9000", 0x9000},
        {"0X1F", 0x1F},
        {"9000", 0x9000},
        {"-1", -1},
        {"+5", 5},
        {"0x", 0},
        {"0xg", 0},
        {"0x-1", 0},
        {"-", std::nullopt},
        {"x1", std::nullopt},
        {"- 1", std::nullopt},
        {"+-1", std::nullopt},
        {" -0x10", -16},
        {"12 34", 0x12},
        {"0", 0},
        {"00000000000000000001", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scanHexNumber(c.text), c.value) << '"' << c.text << '"';
        // The C library's own scan agrees wherever the value fits its int.
        unsigned scanned = 0;
        const bool matched = std::sscanf(c.text, "%x", &scanned) == 1;
        EXPECT_EQ(matched, c.value.has_value()) << '"' << c.text << '"';
        if (matched) {
            EXPECT_EQ(static_cast<int>(scanned), static_cast<int>(*c.value)) << c.text;
        }
    }
}

TEST(ScanHexNumber, HugeNumbersStayHugeInsteadOfWrapping) {
    // "%x" into a 32-bit int would make 100000000 a zero; here it stays too large for any check.
    for (const char* text : {"100000000", "FFFFFFFFFFFFFFFFFFFFFFFF", "-FFFFFFFFFFFFFFFFFF"}) {
        const auto value = scanHexNumber(text);
        ASSERT_TRUE(value.has_value()) << text;
        EXPECT_GE(*value < 0 ? -*value : *value, std::int64_t{0x100000000}) << text;
    }
}

struct ReadCase {
    const char* count;
    const char* offset;
    const char* message;  // empty: accepted
    int expectedCount;
    int expectedAddress;
};

TEST(CheckReadFields, CountIsCheckedFirstThenTheAddress) {
    const std::vector<ReadCase> cases = {
        {"F0", "8000", "", 240, 0x8000},
        {"10", "8000", "", 16, 0x8000},
        {"0", "8000", "", 0, 0x8000},
        {"1g", "8000", "", 1, 0x8000},
        {"10", "0x9000", "", 16, 0x9000},
        {"10", "9000", "", 16, 0x9000},
        {"10", "FFFF", "", 16, 0xFFFF},
        {"F1", "8000", invalidCountMessage, 0, 0},
        {"100", "8000", invalidCountMessage, 0, 0},
        {"g1", "8000", invalidCountMessage, 0, 0},
        {"", "8000", invalidCountMessage, 0, 0},
        {"-1", "8000", invalidCountMessage, 0, 0},
        {"100000000", "8000", invalidCountMessage, 0, 0},
        {"F1", "zz", invalidCountMessage, 0, 0},
        {"10", "", invalidAddressMessage, 0, 0},
        {"10", "zz", invalidAddressMessage, 0, 0},
        {"10", "10000", addressOutOfRangeMessage, 0, 0},
        {"10", "-1", addressOutOfRangeMessage, 0, 0},
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

struct WriteCase {
    const char* offset;
    std::string data;
    const char* message;
    std::vector<std::uint8_t> bytes;
    int address;
};

std::string tokens(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        text += "AB ";
    }
    return text;
}

TEST(CheckWriteFields, AddressThenDataThenLength) {
    const std::vector<WriteCase> cases = {
        {"8000", "1 a2 FF", "", {0x01, 0xA2, 0xFF}, 0x8000},
        {"0x1234", "00", "", {0x00}, 0x1234},
        {"  c000", "  7f  ", "", {0x7F}, 0xC000},
        {"8000", tokens(255), "", std::vector<std::uint8_t>(255, 0xAB), 0x8000},
        {"8000", tokens(256), dataTooLongMessage, {}, 0},
        {"8000", "12 345", invalidDataMessage, {}, 0},
        {"8000", "", invalidDataMessage, {}, 0},
        {"8000", "   ", invalidDataMessage, {}, 0},
        {"8000", "zz", invalidDataMessage, {}, 0},
        {"", "01", invalidOffsetMessage, {}, 0},
        {"hello", "01", invalidOffsetMessage, {}, 0},
        {"12345", "01", invalidOffsetMessage, {}, 0},
        {"-8000", "01", invalidOffsetMessage, {}, 0},
        {"", "", invalidOffsetMessage, {}, 0},
    };
    for (const auto& c : cases) {
        const auto checked = checkWriteFields(c.offset, c.data);
        EXPECT_EQ(checked.message, c.message) << c.offset << " / " << c.data;
        if (checked.ok()) {
            EXPECT_EQ(checked.request.data, c.bytes) << c.data;
            EXPECT_EQ(checked.request.address, c.address) << c.offset;
        }
    }
}

TEST(WrittenCountText, TwoUpperCaseDigitsOfTheLowByte) {
    const std::vector<std::pair<std::size_t, std::string>> cases = {
        {1, "01"}, {3, "03"}, {0x1F, "1F"}, {255, "FF"}, {256, "00"}};
    for (const auto& [count, text] : cases) {
        EXPECT_EQ(writtenCountText(count), text) << count;
    }
}

}  // namespace
}  // namespace loadstar
