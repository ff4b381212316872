#include "HexText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace loadstar {
namespace {

TEST(HexText, ParseHexByteTokens) {
    struct Case {
        const char* text;
        int expected;
    } const cases[] = {
        {"", -1},      {"   ", -1}, {"0", 0},    {"F", 15},  {"  1f", 0x1F}, {"ff ", 255},
        {"1Fz", 0x1F},  // behind two digits, a non-digit is not looked at
        {"1z", -1},    {"z1", -1},  {"123", -2}, {"1 2", 1}, {"G1", -1},     {"a2 FF", 0xA2},
        {"/", -1},     {":", -1},   {"@", -1},   {"`", -1},  {"g", -1},      {"9A", 0x9A},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseHexByte(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(HexText, BytesToTextAndBack) {
    const std::uint8_t bytes[] = {0x00, 0x1F, 0xFF};
    char text[10] = "xxxxxxxxx";
    bytesToHexText(bytes, 3, text);
    EXPECT_STREQ(text, "00 1F FF");
    EXPECT_EQ(byteToHex(text, 0xA5), 1);
    EXPECT_STREQ(text, "A5 ");
    EXPECT_EQ(countHexTokens(" 1  a2 FF "), 3);
    EXPECT_EQ(countHexTokens("   "), 0);
}

TEST(HexText, HexTextToBytes) {
    struct Case {
        const char* text;
        int result;
        std::vector<std::uint8_t> bytes;
        const char* printable;
    } const cases[] = {
        {"  1 a2   FF  ", 1, {0x01, 0xA2, 0xFF}, "..."},
        {"41 0a 7F 7e", 1, {0x41, 0x0A, 0x7F, 0x7E}, "A..~"},
        {"1Fz 2", 1, {0x1F, 0x02}, ".."},
        {"12 345", -2, {}, ""},
        {"12 G1", -1, {}, ""},
        {"", -1, {}, ""},
        {"    ", -1, {}, ""},
    };
    for (const auto& c : cases) {
        std::uint8_t bytes[16] = {};
        char printable[17] = {};
        int count = 99;
        EXPECT_EQ(hexTextToBytes(c.text, bytes, printable, &count), c.result) << c.text;
        if (c.result == 1) {
            EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + count), c.bytes) << c.text;
            EXPECT_STREQ(printable, c.printable);
        } else {
            EXPECT_EQ(count, 99) << "count is left alone on a bad token: " << c.text;
        }
    }
    int count = 7;
    EXPECT_EQ(hexTextToBytes(nullptr, nullptr, nullptr, &count), 1) << "absent text: no bytes";
    EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace loadstar
