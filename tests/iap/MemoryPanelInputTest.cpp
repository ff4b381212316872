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

// The window's tests drive every count, offset and data case through the panel; these pin the
// order of the checks and their limits.
TEST(MemoryPanelInput, ReadChecksTheCountFirstThenTheAddress) {
    const struct {
        const char* count;
        const char* offset;
        const char* message;  // empty: accepted
    } cases[] = {
        {"F0", "FFFF", ""},
        {"0", "8000", ""},
        {"F1", "zz", invalidCountMessage},
        {"100", "8000", invalidCountMessage},
        {"g1", "8000", invalidCountMessage},
        {"", "8000", invalidCountMessage},
        {"-1", "8000", invalidCountMessage},
        {"10", "", invalidAddressMessage},
        {"100000000", "8000", invalidCountMessage},
        {"10", "zz", invalidAddressMessage},
        {"10", "10000", addressOutOfRangeMessage},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkReadFields(c.count, c.offset).message, c.message) << c.count << c.offset;
    }
    const auto accepted = checkReadFields("1g", "0x9000");
    EXPECT_EQ(accepted.request.count, 1);
    EXPECT_EQ(accepted.request.address, 0x9000);
}

TEST(MemoryPanelInput, WriteChecksTheAddressThenTheDataThenItsLength) {
    std::string tokens = "1 a2";
    for (int i = 2; i < 255; ++i) {
        tokens += " FF";
    }
    const std::pair<const char*, std::string> cases[] = {
        {"10000", "zz"}, {"", "01"},     {"8000", "12 345"},      {"8000", "   "},
        {"8000", ""},    {"8000", "G1"}, {"8000", tokens + " 00"}};
    const char* const messages[] = {invalidOffsetMessage, invalidOffsetMessage, invalidDataMessage,
                                    invalidDataMessage,   invalidDataMessage,   invalidDataMessage,
                                    dataTooLongMessage};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(checkWriteFields(cases[i].first, cases[i].second).message, messages[i]);
    }
    const auto accepted = checkWriteFields("  c000", tokens);
    ASSERT_TRUE(accepted.ok()) << accepted.message;
    EXPECT_EQ(accepted.request.address, 0xC000);
    ASSERT_EQ(accepted.request.data.size(), 255u);
    EXPECT_EQ(accepted.request.data[1], 0xA2);
    EXPECT_EQ(writtenCountText(accepted.request.data.size()), "FF");
    EXPECT_EQ(writtenCountText(256), "00");
}

}  // namespace
}  // namespace loadstar
