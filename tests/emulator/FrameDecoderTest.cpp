#include "emulator/FrameDecoder.h"

#include <gtest/gtest.h>

#include "FrameBytes.h"

namespace loadstar::emulator {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::frameOf;

// The frame checks and the resynchronisation on any stream are left to the decoder's fuzz target;
// here, the frames that pin the format and the limits, and a frame behind a lost tail.
TEST(FrameDecoderTest, TakesTheFramesOfTheFormatWithinItsLimits) {
    Bytes lostTail = {0x21, 0x01, 0x00, 0xFF};  // claims 256 bytes; the line goes quiet first
    const Bytes brd = frameOf("BRD");
    lostTail.insert(lostTail.end(), brd.begin(), brd.end());
    const std::pair<Bytes, std::vector<Bytes>> cases[] = {
        {{0x21, 0x00, 0x09, 0xF7, 0x52, 0x53, 0x54, 0xF9, 0x55}, {bytesOf("RST")}},
        {frameOf(Bytes(994, 0x21)), {Bytes(994, 0x21)}},
        {frameOf(Bytes(995, 0x41)), {}},  // longer than 1000
        {{0x21, 0x00, 0x05, 0xFB, 0x00, 0x00}, {}},
        {lostTail, {bytesOf("BRD")}},
    };
    for (const auto& [input, expected] : cases) {
        FrameDecoder decoder;
        auto payloads = decoder.feed(input);
        for (auto& late : decoder.expireIncompleteFrame()) {
            payloads.push_back(std::move(late));
        }
        EXPECT_EQ(payloads, expected) << testing::textOf(input);
        EXPECT_EQ(decoder.pendingBytes(), 0u);
    }
}

}  // namespace
}  // namespace loadstar::emulator
