#include "iap/AgreedRead.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace loadstar {

namespace {

constexpr double riskPerPass = 1e-6;
constexpr int wrongValuesOfOneFlippedBit = 8;

// The tallies of one byte over the reads of its block.
struct ByteVotes {
    std::array<std::uint8_t, 256> counts{};
    std::uint8_t leader = 0;
    bool settled = false;

    void add(std::uint8_t value) {
        ++counts[value];
        if (counts[value] > counts[leader]) {
            leader = value;
        }
    }
    // How far the leading value is ahead of all other reads together.
    [[nodiscard]] int lead(int reads) const { return 2 * counts[leader] - reads; }
};

}  // namespace

int NoiseTally::leadNeeded(long reads, long damaged) const {
    const double allReads = static_cast<double>(reads_ + reads);
    const double allDamaged = static_cast<double>(damaged_ + damaged);
    const double upperRate =
        allReads <= 0.0
            ? 1.0
            : std::min(1.0, (allDamaged + 2.0 + 1.645 * std::sqrt(allDamaged + 1.0)) / allReads);
    const double perRead = upperRate / (wrongValuesOfOneFlippedBit - upperRate);
    const double wrongValues = wrongValuesOfOneFlippedBit * static_cast<double>(bytesInPass_);
    for (int lead = 2; lead <= largestLead; ++lead) {
        if (wrongValues * std::pow(perRead, lead) <= riskPerPass) {
            return lead;
        }
    }
    return 0;
}

AgreedRead readUntilAgreed(const ReadBlock& readOnce, int count,
                           std::span<const std::uint8_t> firstRead,
                           std::vector<std::uint8_t>& agreed, NoiseTally& pass) {
    const auto size = static_cast<std::size_t>(std::max(count, 0));
    std::vector<ByteVotes> votes(size);
    agreed.assign(size, 0);
    int reads = 0;
    std::vector<std::uint8_t> bytes(size);
    auto damagedReads = [&] {
        long damaged = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const auto& byte = votes[i];
            damaged += reads - byte.counts[byte.settled ? agreed[i] : byte.leader];
        }
        return damaged;
    };
    const bool given = firstRead.size() >= size && size > 0;
    for (std::size_t unsettled = size; unsettled > 0;) {
        if (reads >= mostReadsOfABlock) {
            return AgreedRead::tooNoisy;
        }
        if (given && reads == 0) {
            std::copy_n(firstRead.begin(), size, bytes.begin());
        } else if (!readOnce(bytes)) {
            return AgreedRead::readFailed;
        }
        ++reads;
        for (std::size_t i = 0; i < size; ++i) {
            votes[i].add(bytes[i]);
        }
        const long blockReads = static_cast<long>(size) * reads;
        // 0 when the damage seen so far allows no lead yet: more reads may show the line cleaner
        // than the few so far let the pass assume.
        const int lead = pass.leadNeeded(blockReads, damagedReads());
        for (std::size_t i = 0; i < size; ++i) {
            auto& byte = votes[i];
            if (lead > 0 && !byte.settled && byte.lead(reads) >= lead) {
                byte.settled = true;
                agreed[i] = byte.leader;
                --unsettled;
            }
        }
    }
    pass.add(static_cast<long>(size) * reads, damagedReads());
    return AgreedRead::agreed;
}

AgreedRead readUntilAgreed(const ReadBlock& readOnce, int count,
                           std::span<const std::uint8_t> firstRead,
                           std::vector<std::uint8_t>& agreed) {
    NoiseTally pass(std::max(count, 0));
    return readUntilAgreed(readOnce, count, firstRead, agreed, pass);
}

}  // namespace loadstar
