#include "FrameDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "FrameBytes.h"

namespace loadstar::emulator {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::frameOf;

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(FrameDecoderTest, KeepsValidFramesDropsBrokenOnesAndResynchronises) {
    const Bytes rst = frameOf("RST");
    const Bytes mir = frameOf("MIR");
    auto changed = [&rst](std::size_t at) {
        Bytes frame = rst;
        frame[at] ^= 0x01;
        return frame;
    };
    struct Case {
        const char* name;
        Bytes input;
        std::vector<Bytes> payloads;
    };
    const Case cases[] = {
        {"RST as on the wire",
         {0x21, 0x00, 0x09, 0xF7, 0x52, 0x53, 0x54, 0xF9, 0x55},
         {bytesOf("RST")}},
        {"empty payload", {0x21, 0x00, 0x06, 0xFA, 0x00, 0x00}, {{}}},
        {"longest frame", frameOf(Bytes(994, 0x21)), {Bytes(994, 0x21)}},
        {"longer than 1000", frameOf(Bytes(995, 0x41)), {}},
        {"length below 6", {0x21, 0x00, 0x05, 0xFB, 0x00, 0x00}, {}},
        {"wrong start mark", changed(0), {}},
        {"header check wrong", changed(3), {}},
        {"payload byte changed", changed(5), {}},
        {"sum wrong", changed(7), {}},
        {"xor wrong", changed(8), {}},
        {"garbage, stray start mark, frame", joined({bytesOf("xx\xff!"), rst}), {bytesOf("RST")}},
        {"broken frame, then a good one", joined({changed(8), mir}), {bytesOf("MIR")}},
        {"a lost tail, given up when the line goes quiet, then a frame",
         joined({{0x21, 0x01, 0x00, 0xFF}, frameOf("BRD")}),
         {bytesOf("BRD")}},
        {"two frames with garbage between",
         joined({rst, bytesOf("zz"), mir}),
         {bytesOf("RST"), bytesOf("MIR")}},
    };
    for (const auto& c : cases) {  // the line goes quiet after each input
        FrameDecoder decoder;
        auto payloads = decoder.feed(c.input);
        for (auto& late : decoder.expireIncompleteFrame()) {
            payloads.push_back(std::move(late));
        }
        EXPECT_EQ(payloads, c.payloads) << c.name;
        EXPECT_EQ(decoder.pendingBytes(), 0u) << c.name;
    }
}

// Random frames behind random garbage, fed in chunks split at random points: every frame comes out
// in order and the decoder never holds more than one frame's worth of bytes.
TEST(FrameDecoderTest, RecoversEveryFrameFromRandomGarbageWithBoundedMemory) {
    std::mt19937 random(7);
    auto randomBytes = [&random](std::size_t size) {
        Bytes bytes(size);
        for (auto& byte : bytes) {
            // Start marks and small length bytes are common, so garbage headers often look valid.
            const auto draw = random() % 8;
            byte = static_cast<std::uint8_t>(draw == 0   ? 0x21
                                             : draw == 1 ? random() % 4
                                                         : random());
        }
        return bytes;
    };
    Bytes stream;
    std::vector<Bytes> sent;
    for (int i = 0; i < 300; ++i) {
        sent.push_back(randomBytes(random() % 40));
        stream = joined({stream, randomBytes(random() % 20), frameOf(sent.back())});
    }
    FrameDecoder decoder;
    std::vector<Bytes> received;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = std::min<std::size_t>(1 + random() % 64, stream.size() - at);
        for (auto& payload : decoder.feed({stream.data() + at, n})) {
            received.push_back(std::move(payload));
        }
        ASSERT_LE(decoder.pendingBytes(), 1000u);
        at += n;
    }
    for (auto& payload : decoder.expireIncompleteFrame()) {
        received.push_back(std::move(payload));
    }
    auto next = received.begin();
    for (const auto& payload : sent) {
        next = std::find(next, received.end(), payload);
        ASSERT_NE(next, received.end()) << "a frame was lost";
        ++next;
    }
}

}  // namespace
}  // namespace loadstar::emulator
