#include "FaultInjector.h"

#include <algorithm>
#include <string_view>

namespace loadstar::emulator {

namespace {

constexpr std::string_view unknownTagText = "XYZ";

}  // namespace

FaultInjector::FaultInjector(const FaultSettings& settings)
    : settings_(settings), random_(settings.seed) {}

void FaultInjector::setSettings(const FaultSettings& settings) {
    if (settings.seed != settings_.seed) {
        random_.seed(settings.seed);
    }
    if (settings.dropEvery != settings_.dropEvery) {
        repliesSinceDropChange_ = 0;
    }
    if (settings.lateEvery != settings_.lateEvery) {
        repliesSinceLateChange_ = 0;
    }
    settings_ = settings;
}

std::optional<BoardReply> FaultInjector::apply(std::vector<std::uint8_t> reply) {
    if (settings_.silent) {
        return std::nullopt;
    }
    ++repliesSinceDropChange_;
    if (settings_.dropEvery > 0 && repliesSinceDropChange_ % settings_.dropEvery == 0) {
        return std::nullopt;
    }
    if (settings_.unknownTag) {
        replaceTag(reply);
    }
    if (settings_.corruptRate > 0.0) {
        corrupt(reply);
    }
    auto delay = settings_.delay;
    ++repliesSinceLateChange_;
    if (settings_.lateEvery > 0 && repliesSinceLateChange_ % settings_.lateEvery == 0) {
        delay += settings_.lateDelay;
    }
    return BoardReply{std::move(reply), delay};
}

// The tag is everything before the first blank ("RRD", "PG"); it becomes "XYZ".
void FaultInjector::replaceTag(std::vector<std::uint8_t>& reply) const {
    const auto blank = std::find(reply.begin(), reply.end(), std::uint8_t{' '});
    reply.erase(reply.begin(), blank);
    reply.insert(reply.begin(), unknownTagText.begin(), unknownTagText.end());
}

// Each byte is hit with the chance corruptRate; a hit byte always changes.
void FaultInjector::corrupt(std::vector<std::uint8_t>& reply) {
    constexpr double range = 4294967296.0;  // 2^32: mt19937 draws 32-bit values
    for (auto& byte : reply) {
        if (static_cast<double>(random_()) / range < settings_.corruptRate) {
            const auto flipped =
                settings_.corruptOneBit ? 1u << (random_() % 8) : 1 + random_() % 255;
            byte = static_cast<std::uint8_t>(byte ^ flipped);
        }
    }
}

}  // namespace loadstar::emulator
