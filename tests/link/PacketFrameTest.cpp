#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "PacketExchange.h"

namespace loadstar {
namespace {

std::vector<std::uint8_t> frameOf(const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> frame(payload.size() + 6);
    std::copy(payload.begin(), payload.end(), frame.begin() + 4);
    const int length = buildPacket(frame.data(), static_cast<int>(payload.size()));
    EXPECT_EQ(length, static_cast<int>(payload.size()) + 6);
    return frame;
}

std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(PacketFrame, KnownFramesAreByteExact) {
    EXPECT_EQ(frameOf(bytes("RST")),
              (std::vector<std::uint8_t>{0x21, 0x00, 0x09, 0xF7, 0x52, 0x53, 0x54, 0xF9, 0x55}));
    EXPECT_EQ(frameOf(bytes("PG 03")),
              (std::vector<std::uint8_t>{0x21, 0x00, 0x0B, 0xF5, 0x50, 0x47, 0x20, 0x30, 0x33, 0x1A,
                                         0x34}));
}

TEST(PacketFrame, EmptyPayloadHasZeroChecks) {
    EXPECT_EQ(frameOf({}), (std::vector<std::uint8_t>{0x21, 0x00, 0x06, 0xFA, 0x00, 0x00}));
}

TEST(PacketFrame, LengthAboveOneByteAndHeaderCheck) {
    const auto frame = frameOf(std::vector<std::uint8_t>(250, 0x01));
    EXPECT_EQ(frame[1], 0x01);
    EXPECT_EQ(frame[2], 0x00);
    EXPECT_EQ(frame[3], 0xFF);
    EXPECT_EQ(frame[254], 250 % 256);  // sum
    EXPECT_EQ(frame[255], 0x00);       // xor of an even number of equal bytes
}

TEST(PacketFrame, HeaderCheckCancelsTheLength) {
    for (int n : {0, 1, 3, 249, 250, 251, 500, 994}) {
        const auto frame = frameOf(std::vector<std::uint8_t>(static_cast<std::size_t>(n), 0xA5));
        EXPECT_EQ((frame[1] + frame[2] + frame[3]) % 256, 0) << n;
        EXPECT_EQ(frame[1] * 256 + frame[2], n + 6) << n;
    }
}

TEST(PacketFrame, ReplyTags) {
    struct Case {
        const char* reply;
        bool accepted;
    } const cases[] = {
        {"WFT ", true},   {"WFP x", true},    {"WRC ", true},  {"WRD ", true},
        {"RRC ", true},   {"RRD 8000", true}, {"RST ", true},  {"BRD KEL520", true},
        {"MIR hi", true}, {"PG 03", true},    {"VM ", true},   {"LCD ", true},
        {"EM ", true},    {"EB ", true},      {"PG", false},  // the tag needs its blank
        {"RST", false},   {"!RST ", false},   {"rst ", false}, {"XYZ ", false},
        {"", false},
    };
    for (const auto& c : cases) {
        const auto* reply = reinterpret_cast<const std::uint8_t*>(c.reply);
        EXPECT_EQ(startsWithReplyTag(reply, static_cast<int>(std::strlen(c.reply))), c.accepted)
            << c.reply;
    }
}

}  // namespace
}  // namespace loadstar
