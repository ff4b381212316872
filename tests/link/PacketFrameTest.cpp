#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "PacketExchange.h"

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes frameOf(const Bytes& payload) {
    Bytes frame(payload.size() + 6);
    std::copy(payload.begin(), payload.end(), frame.begin() + 4);
    EXPECT_EQ(buildPacket(frame.data(), static_cast<int>(payload.size())),
              static_cast<int>(frame.size()));
    return frame;
}

TEST(PacketFrame, KnownFramesAreByteExact) {
    EXPECT_EQ(frameOf({'R', 'S', 'T'}),
              (Bytes{0x21, 0x00, 0x09, 0xF7, 0x52, 0x53, 0x54, 0xF9, 0x55}));
    EXPECT_EQ(frameOf({'P', 'G', ' ', '0', '3'}),
              (Bytes{0x21, 0x00, 0x0B, 0xF5, 0x50, 0x47, 0x20, 0x30, 0x33, 0x1A, 0x34}));
    EXPECT_EQ(frameOf({}), (Bytes{0x21, 0x00, 0x06, 0xFA, 0x00, 0x00}));
}

TEST(PacketFrame, LengthCountsTheFrameAndTheHeaderCheckCancelsIt) {
    for (int n : {1, 249, 250, 251, 500, 994}) {
        const auto frame = frameOf(Bytes(static_cast<std::size_t>(n), 0x01));
        EXPECT_EQ(frame[1] * 256 + frame[2], n + 6) << n;
        EXPECT_EQ((frame[1] + frame[2] + frame[3]) % 256, 0) << n;
        EXPECT_EQ(frame[frame.size() - 2], n % 256) << "sum " << n;
        EXPECT_EQ(frame.back(), n % 2) << "xor " << n;
    }
}

TEST(PacketFrame, ReplyTagsNeedTheirBlank) {
    const auto tagged = [](const std::string& reply) {
        return startsWithReplyTag(reinterpret_cast<const std::uint8_t*>(reply.data()),
                                  static_cast<int>(reply.size()));
    };
    for (const char* reply : {"WFT ", "WFP x", "WRC ", "WRD ", "RRC ", "RRD 8000", "RST ",
                              "BRD KEL520", "MIR hi", "PG 03", "VM ", "LCD ", "EM ", "EB "}) {
        EXPECT_TRUE(tagged(reply)) << reply;
    }
    for (const char* reply : {"PG", "RST", "!RST ", "rst ", "XYZ ", ""}) {
        EXPECT_FALSE(tagged(reply)) << reply;
    }
}

}  // namespace
}  // namespace loadstar
