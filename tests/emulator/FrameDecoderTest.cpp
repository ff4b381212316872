#include "FrameDecoder.h"

#include <gtest/gtest.h>

#include <random>

#include "FrameBytes.h"

namespace loadstar::emulator {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::frameOf;

std::vector<Bytes> decodeAll(const Bytes& input) {
    FrameDecoder decoder;
    return decoder.feed(input);
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(FrameDecoderTest, AcceptsTheWireExamplesAndFramesOfEveryLength) {
    struct Case {
        const char* name;
        Bytes input;
        Bytes payload;
    };
    const Bytes longPayload(994, 0xA5);
    const Case cases[] = {
        {"RST as on the wire",
         {0x21, 0x00, 0x09, 0xF7, 0x52, 0x53, 0x54, 0xF9, 0x55},
         bytesOf("RST")},
        {"PG 03 as on the wire",
         {0x21, 0x00, 0x0B, 0xF5, 0x50, 0x47, 0x20, 0x30, 0x33, 0x1A, 0x34},
         bytesOf("PG 03")},
        {"empty payload", {0x21, 0x00, 0x06, 0xFA, 0x00, 0x00}, {}},
        {"longest frame (1000 bytes)", frameOf(longPayload), longPayload},
        {"payload holding start marks", frameOf(Bytes{0x21, 0x21, 0x00}), Bytes{0x21, 0x21, 0x00}},
    };
    for (const auto& c : cases) {
        const auto payloads = decodeAll(c.input);
        ASSERT_EQ(payloads.size(), 1u) << c.name;
        EXPECT_EQ(payloads[0], c.payload) << c.name;
    }
}

TEST(FrameDecoderTest, DropsEveryKindOfBrokenFrameSilently) {
    const Bytes good = frameOf("BRD");
    auto changed = [&good](std::size_t at, std::uint8_t value) {
        Bytes frame = good;
        frame[at] = value;
        return frame;
    };
    struct Case {
        const char* name;
        Bytes input;
    };
    const Bytes tooLong = [] {
        Bytes frame = frameOf(Bytes(995, 0x41));  // 1001 bytes
        return frame;
    }();
    const Case cases[] = {
        {"wrong start mark", changed(0, 0x22)},
        {"length below 6", Bytes{0x21, 0x00, 0x05, 0xFB, 0x00, 0x00}},
        {"length above 1000", tooLong},
        {"header check byte off by one", changed(3, static_cast<std::uint8_t>(good[3] + 1))},
        {"sum byte wrong", changed(good.size() - 2, static_cast<std::uint8_t>(good[7] ^ 0x01))},
        {"xor byte wrong", changed(good.size() - 1, static_cast<std::uint8_t>(good[8] ^ 0x80))},
        {"payload byte changed", changed(5, 'X')},
        {"garbage only", bytesOf("hello, board")},
    };
    for (const auto& c : cases) {
        FrameDecoder decoder;
        EXPECT_TRUE(decoder.feed(c.input).empty()) << c.name;
        EXPECT_TRUE(decoder.expireIncompleteFrame().empty()) << c.name;
        EXPECT_EQ(decoder.pendingBytes(), 0u) << c.name;
    }
}

TEST(FrameDecoderTest, FindsFramesBehindGarbageBrokenFramesAndEachOther) {
    const Bytes rst = frameOf("RST");
    const Bytes mir = frameOf("MIR");
    Bytes broken = frameOf("BRD");
    broken[broken.size() - 1] ^= 0xFF;
    struct Case {
        const char* name;
        Bytes input;
        std::vector<Bytes> payloads;
    };
    const Case cases[] = {
        {"garbage before a frame", joined({bytesOf("xx\x01\xff"), rst}), {bytesOf("RST")}},
        {"stray start mark before a frame", joined({Bytes{0x21}, rst}), {bytesOf("RST")}},
        {"two frames in one chunk", joined({rst, mir}), {bytesOf("RST"), bytesOf("MIR")}},
        {"broken frame, then a good one", joined({broken, mir}), {bytesOf("MIR")}},
        {"garbage between frames",
         joined({rst, bytesOf("zz"), mir}),
         {bytesOf("RST"), bytesOf("MIR")}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeAll(c.input), c.payloads) << c.name;
    }
}

TEST(FrameDecoderTest, JoinsAFrameSplitAcrossChunksAtEveryPoint) {
    const Bytes frame = frameOf(testing::writePayload(0x8000, {1, 2, 3, 4}));
    for (std::size_t split = 1; split < frame.size(); ++split) {
        FrameDecoder decoder;
        EXPECT_TRUE(decoder.feed({frame.data(), split}).empty()) << split;
        const auto payloads = decoder.feed({frame.data() + split, frame.size() - split});
        ASSERT_EQ(payloads.size(), 1u) << split;
        EXPECT_EQ(payloads[0], testing::writePayload(0x8000, {1, 2, 3, 4})) << split;
    }
}

// A lost tail leaves a header that promises more bytes than come; once the line goes quiet the
// decoder gives it up and still finds the good frame that came in behind it.
TEST(FrameDecoderTest, GivesUpAnIncompleteFrameAndFindsTheFrameInsideIt) {
    const Bytes truncatedHeader{0x21, 0x01, 0x00, 0xFF};  // promises 256 bytes
    FrameDecoder decoder;
    EXPECT_TRUE(decoder.feed(joined({truncatedHeader, frameOf("BRD")})).empty());
    EXPECT_GT(decoder.pendingBytes(), 0u);
    const auto payloads = decoder.expireIncompleteFrame();
    ASSERT_EQ(payloads.size(), 1u);
    EXPECT_EQ(payloads[0], bytesOf("BRD"));
    EXPECT_EQ(decoder.pendingBytes(), 0u);
}

TEST(FrameDecoderTest, SurvivesRandomBytesWithBoundedMemory) {
    std::mt19937 random(20240601);
    FrameDecoder decoder;
    for (int round = 0; round < 2000; ++round) {
        Bytes chunk(random() % 300);
        for (auto& b : chunk) {
            // Start marks and small length bytes are made common, so headers are often valid.
            const auto draw = random() % 8;
            b = draw == 0   ? 0x21
                : draw == 1 ? static_cast<std::uint8_t>(random() % 4)
                            : static_cast<std::uint8_t>(random());
        }
        for (const auto& payload : decoder.feed(chunk)) {
            EXPECT_LE(payload.size(), 994u);
        }
        ASSERT_LE(decoder.pendingBytes(), 1000u);
        if (round % 97 == 0) {
            (void)decoder.expireIncompleteFrame();
            ASSERT_EQ(decoder.pendingBytes(), 0u);
        }
    }
}

TEST(FrameDecoderTest, RecoversEveryFrameFromRandomGarbageWithoutStartMarks) {
    std::mt19937 random(7);
    Bytes stream;
    std::vector<Bytes> sent;
    for (int i = 0; i < 300; ++i) {
        Bytes garbage(random() % 20);
        for (auto& b : garbage) {
            do {
                b = static_cast<std::uint8_t>(random());
            } while (b == 0x21);
        }
        Bytes payload(random() % 40);
        for (auto& b : payload) {
            b = static_cast<std::uint8_t>(random());
        }
        stream.insert(stream.end(), garbage.begin(), garbage.end());
        const Bytes frame = frameOf(payload);
        stream.insert(stream.end(), frame.begin(), frame.end());
        sent.push_back(payload);
    }
    FrameDecoder decoder;
    std::vector<Bytes> received;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = std::min<std::size_t>(1 + random() % 64, stream.size() - at);
        for (auto& payload : decoder.feed({stream.data() + at, n})) {
            received.push_back(std::move(payload));
        }
        at += n;
    }
    EXPECT_EQ(received, sent);
}

}  // namespace
}  // namespace loadstar::emulator
