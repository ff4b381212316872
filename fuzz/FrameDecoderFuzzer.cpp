// The emulator's frame decoder on any byte stream, made of good frames and other bytes and cut
// into pieces anywhere. Whatever the stream:
// - every payload it yields is the payload of a good frame that stands whole in the stream;
// - how the stream is cut into pieces does not change what it yields;
// - good frames among other bytes that hold no start mark come out, each of them, in order: bad
//   bytes cost only themselves;
// - it never holds a frame's worth of bytes between calls, and nothing after giving up.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "emulator/FrameDecoder.h"
#include "link/PacketExchange.h"

using namespace loadstar;
using emulator::FrameDecoder;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes framed(const Bytes& payload) {
    std::array<std::uint8_t, 1000> frame{};
    std::copy(payload.begin(), payload.end(), frame.begin() + 4);
    const int length = buildPacket(frame.data(), static_cast<int>(payload.size()));
    return Bytes(frame.begin(), frame.begin() + length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool noStrayStartMark = input.ConsumeBool();
    Bytes stream;
    std::vector<Bytes> sent;
    while (input.remaining_bytes() > 0 && stream.size() < 20000) {
        if (input.ConsumeBool()) {
            sent.push_back(input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 994)));
            const Bytes frame = framed(sent.back());
            stream.insert(stream.end(), frame.begin(), frame.end());
        } else {
            Bytes other = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(1, 64));
            if (noStrayStartMark) {
                std::replace(other.begin(), other.end(), emulator::frameStartMark, std::uint8_t{0});
            }
            stream.insert(stream.end(), other.begin(), other.end());
        }
    }

    FrameDecoder whole;
    const auto yielded = whole.feed(stream);
    FUZZ_CHECK(whole.pendingBytes() < static_cast<std::size_t>(emulator::maximumFrameLength));
    for (const auto& payload : yielded) {
        const Bytes frame = framed(payload);
        FUZZ_CHECK(std::search(stream.begin(), stream.end(), frame.begin(), frame.end()) !=
                   stream.end());
    }
    if (noStrayStartMark) {
        FUZZ_CHECK(yielded == sent && whole.pendingBytes() == 0);
    }

    // The same stream in pieces of sizes taken from the stream itself.
    FrameDecoder pieces;
    std::vector<Bytes> fromPieces;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t length = std::min<std::size_t>(1 + stream[at] % 97, stream.size() - at);
        for (auto& payload : pieces.feed(std::span(stream).subspan(at, length))) {
            fromPieces.push_back(std::move(payload));
        }
        FUZZ_CHECK(pieces.pendingBytes() < static_cast<std::size_t>(emulator::maximumFrameLength));
        at += length;
    }
    FUZZ_CHECK(fromPieces == yielded);
    FUZZ_CHECK(pieces.rejectedFrames() == whole.rejectedFrames());

    for (const auto& payload : whole.expireIncompleteFrame()) {
        const Bytes frame = framed(payload);
        FUZZ_CHECK(std::search(stream.begin(), stream.end(), frame.begin(), frame.end()) !=
                   stream.end());
    }
    FUZZ_CHECK(whole.pendingBytes() == 0);
    return 0;
}
