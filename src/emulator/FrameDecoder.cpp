#include "emulator/FrameDecoder.h"

#include <algorithm>

namespace loadstar::emulator {

namespace {

constexpr std::size_t headerLength = 4;

bool headerIsValid(const std::uint8_t* frame) {
    const int length = frame[1] * 256 + frame[2];
    const bool checkByteFits = ((frame[1] + frame[2] + frame[3]) & 0xFF) == 0;
    return checkByteFits && length >= minimumFrameLength && length <= maximumFrameLength;
}

bool checksumsMatch(const std::uint8_t* frame, std::size_t length) {
    const std::size_t payloadLength = length - minimumFrameLength;
    std::uint8_t sum = 0;
    std::uint8_t exclusive = 0;
    for (std::size_t i = 0; i < payloadLength; ++i) {
        sum = static_cast<std::uint8_t>(sum + frame[headerLength + i]);
        exclusive = static_cast<std::uint8_t>(exclusive ^ frame[headerLength + i]);
    }
    return frame[headerLength + payloadLength] == sum &&
           frame[headerLength + payloadLength + 1] == exclusive;
}

}  // namespace

std::vector<FrameDecoder::Payload> FrameDecoder::feed(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    std::vector<Payload> payloads;
    while (scan(payloads) == Scan::complete) {
    }
    return payloads;
}

std::vector<FrameDecoder::Payload> FrameDecoder::expireIncompleteFrame() {
    std::vector<Payload> payloads;
    while (!buffer_.empty()) {
        skipToNextStartMark(1);
        while (scan(payloads) == Scan::complete) {
        }
    }
    return payloads;
}

// Looks at the buffer's start. Returns complete while there may be more to find right away.
FrameDecoder::Scan FrameDecoder::scan(std::vector<Payload>& payloads) {
    skipToNextStartMark(0);
    if (buffer_.size() < headerLength) {
        return Scan::needMoreBytes;
    }
    if (!headerIsValid(buffer_.data())) {
        ++rejectedFrames_;
        skipToNextStartMark(1);
        return Scan::complete;
    }
    const std::size_t length = buffer_[1] * 256u + buffer_[2];
    if (buffer_.size() < length) {
        return Scan::needMoreBytes;
    }
    if (!checksumsMatch(buffer_.data(), length)) {
        ++rejectedFrames_;
        skipToNextStartMark(1);
        return Scan::complete;
    }
    const auto payloadBegin = buffer_.begin() + static_cast<std::ptrdiff_t>(headerLength);
    payloads.emplace_back(payloadBegin,
                          payloadBegin + static_cast<std::ptrdiff_t>(length - minimumFrameLength));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
    return buffer_.empty() ? Scan::needMoreBytes : Scan::complete;
}

// Drops everything before the first start mark at or after `from`.
void FrameDecoder::skipToNextStartMark(std::size_t from) {
    from = std::min(from, buffer_.size());
    const auto next = std::find(buffer_.begin() + static_cast<std::ptrdiff_t>(from), buffer_.end(),
                                frameStartMark);
    buffer_.erase(buffer_.begin(), next);
}

}  // namespace loadstar::emulator
