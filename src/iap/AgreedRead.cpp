#include "AgreedRead.h"

#include <algorithm>

namespace loadstar {

AgreedRead readUntilAgreed(const ReadBlock& readOnce, int count,
                           std::span<const std::uint8_t> firstRead,
                           std::vector<std::uint8_t>& agreed) {
    const auto size = static_cast<std::size_t>(std::max(count, 0));
    std::vector<std::vector<std::uint8_t>> reads;
    if (firstRead.size() >= size && size > 0) {
        reads.emplace_back(firstRead.begin(), firstRead.begin() + size);
    }
    agreed.assign(size, 0);
    std::vector<bool> settled(size, false);
    while (std::find(settled.begin(), settled.end(), false) != settled.end()) {
        if (static_cast<int>(reads.size()) >= mostReadsOfABlock) {
            return AgreedRead::tooNoisy;
        }
        std::vector<std::uint8_t> bytes(size);
        if (!readOnce(bytes)) {
            return AgreedRead::readFailed;
        }
        // A byte settles when this read agrees with any earlier read of it.
        for (std::size_t i = 0; i < size; ++i) {
            for (const auto& earlier : reads) {
                if (!settled[i] && earlier[i] == bytes[i]) {
                    agreed[i] = bytes[i];
                    settled[i] = true;
                }
            }
        }
        reads.push_back(std::move(bytes));
    }
    return AgreedRead::agreed;
}

}  // namespace loadstar
