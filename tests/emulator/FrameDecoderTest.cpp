#include "FrameDecoder.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace loadstar::emulator
