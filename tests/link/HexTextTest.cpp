#include "HexText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace loadstar {
namespace {

TEST(HexText, ByteToHexWritesTwoUpperCaseDigitsBlankAndZero) {
    char text[5] = "xxxx";
    EXPECT_EQ(byteToHex(text, 0xA5), 1);
    EXPECT_EQ(0, std::memcmp(text, "A5 \0", 4));
}

TEST(HexText, HexDigitValueAcceptsBothCasesOnly) {
    const std::string digits = "0123456789abcdefABCDEF";
    const std::vector<int> values = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                     11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15};
    for (std::size_t i = 0; i < digits.size(); ++i) {
        EXPECT_EQ(hexDigitValue(digits[i]), values[i]) << digits[i];
    }
    for (char other : std::string("gG /:@`x-\n")) {
        EXPECT_EQ(hexDigitValue(other), -1) << other;
    }
}

TEST(HexText, ParseHexByteTokens) {
    struct Case {
        const char* text;
        int expected;
    } const cases[] = {
        {"", -1},      {"   ", -1}, {"0", 0},    {"F", 15},  {"  1f", 0x1F}, {"ff ", 255},
        {"1Fz", 0x1F},  // behind two digits, a non-digit is not looked at
        {"1z", -1},    {"z1", -1},  {"123", -2}, {"1 2", 1}, {"G1", -1},     {"a2 FF", 0xA2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseHexByte(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(HexText, BytesToHexTextSeparatesPairsWithBlanks) {
    const std::uint8_t bytes[] = {0x00, 0x1F, 0xFF};
    char text[9];
    bytesToHexText(bytes, 3, text);
    EXPECT_STREQ(text, "00 1F FF");
    char empty[1] = {'x'};
    bytesToHexText(bytes, 0, empty);
    EXPECT_STREQ(empty, "");
}

TEST(HexText, HexTextToBytes) {
    struct Case {
        const char* text;
        int result;
        std::vector<std::uint8_t> bytes;
    } const cases[] = {
        {"  1 a2   FF  ", 1, {0x01, 0xA2, 0xFF}},
        {"41 0a 7F", 1, {0x41, 0x0A, 0x7F}},
        {"12 345", -2, {}},
        {"12 G1", -1, {}},
        {"", -1, {}},
        {"    ", -1, {}},
        {"1Fz 2", 1, {0x1F, 0x02}},
    };
    for (const auto& c : cases) {
        std::uint8_t bytes[16] = {};
        int count = 99;
        EXPECT_EQ(hexTextToBytes(c.text, bytes, nullptr, &count), c.result) << c.text;
        if (c.result == 1) {
            EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + count), c.bytes) << c.text;
        } else {
            EXPECT_EQ(count, 99) << "count is left alone on a bad token: " << c.text;
        }
    }
}

TEST(HexText, PrintableCopyReplacesWhatCannotBeShown) {
    std::uint8_t bytes[3];
    char printable[4] = "xxx";
    int count = 0;
    ASSERT_EQ(hexTextToBytes("41 0a 7F", bytes, printable, &count), 1);
    EXPECT_STREQ(printable, "A..");
}

TEST(HexText, AbsentTextGivesNoBytes) {
    int count = 7;
    EXPECT_EQ(hexTextToBytes(nullptr, nullptr, nullptr, &count), 1);
    EXPECT_EQ(count, 0);
}

TEST(HexText, CountHexTokens) {
    EXPECT_EQ(countHexTokens(""), 0);
    EXPECT_EQ(countHexTokens("   "), 0);
    EXPECT_EQ(countHexTokens(" 1  a2 FF "), 3);
}

}  // namespace
}  // namespace loadstar
