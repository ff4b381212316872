#include "emulator/FaultInjector.h"

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
    if (settings.duplicateEvery != settings_.duplicateEvery) {
        repliesSinceDuplicateChange_ = 0;
    }
    if (settings.pauseEvery != settings_.pauseEvery) {
        repliesSincePauseChange_ = 0;
    }
    settings_ = settings;
}

std::vector<BoardReply> FaultInjector::apply(std::vector<std::uint8_t> reply) {
    if (settings_.silent) {
        return {};
    }
    ++repliesSinceDropChange_;
    if (settings_.dropEvery > 0 && repliesSinceDropChange_ % settings_.dropEvery == 0) {
        return {};
    }
    if (settings_.unknownTag) {
        replaceTag(reply);
    }
    reply.insert(reply.end(), settings_.trailing.begin(), settings_.trailing.end());
    if (settings_.corruptRate > 0.0) {
        corrupt(reply);
    }
    if (settings_.insertRate > 0.0 || settings_.dropByteRate > 0.0) {
        insertAndDropBytes(reply);
    }
    auto delay = settings_.delay;
    if (isNth(repliesSinceLateChange_, settings_.lateEvery)) {
        delay += settings_.lateDelay;
    }
    std::vector<BoardReply> onLine;
    const bool duplicated = isNth(repliesSinceDuplicateChange_, settings_.duplicateEvery);
    const std::vector<std::uint8_t> whole = duplicated ? reply : std::vector<std::uint8_t>{};
    if (isNth(repliesSincePauseChange_, settings_.pauseEvery) && reply.size() >= 2) {
        const auto middle = reply.begin() + static_cast<std::ptrdiff_t>(reply.size() / 2);
        std::vector<std::uint8_t> rest(middle, reply.end());
        reply.erase(middle, reply.end());
        onLine.push_back({std::move(reply), delay});
        onLine.push_back({std::move(rest), {}, settings_.pause});
    } else {
        onLine.push_back({std::move(reply), delay});
    }
    if (duplicated) {
        onLine.push_back({whole, {}, settings_.duplicateAfter});
    }
    return onLine;
}

bool FaultInjector::chance(double rate) {
    constexpr double range = 4294967296.0;  // 2^32: mt19937 draws 32-bit values
    return static_cast<double>(random_()) / range < rate;
}

// Each byte is lost with the chance dropByteRate, and followed by a stray one with insertRate.
void FaultInjector::insertAndDropBytes(std::vector<std::uint8_t>& reply) {
    std::vector<std::uint8_t> changed;
    changed.reserve(reply.size() + 8);
    for (const auto byte : reply) {
        if (!chance(settings_.dropByteRate)) {
            changed.push_back(byte);
        }
        if (chance(settings_.insertRate)) {
            changed.push_back(static_cast<std::uint8_t>(random_()));
        }
    }
    reply = std::move(changed);
}

// The tag is everything before the first blank ("RRD", "PG"); it becomes "XYZ".
void FaultInjector::replaceTag(std::vector<std::uint8_t>& reply) const {
    const auto blank = std::find(reply.begin(), reply.end(), std::uint8_t{' '});
    reply.erase(reply.begin(), blank);
    reply.insert(reply.begin(), unknownTagText.begin(), unknownTagText.end());
}

// Each byte is hit with the chance corruptRate; a hit byte always changes.
void FaultInjector::corrupt(std::vector<std::uint8_t>& reply) {
    for (auto& byte : reply) {
        if (chance(settings_.corruptRate)) {
            const auto flipped =
                settings_.corruptOneBit ? 1u << (random_() % 8) : 1 + random_() % 255;
            byte = static_cast<std::uint8_t>(byte ^ flipped);
        }
    }
}

}  // namespace loadstar::emulator
