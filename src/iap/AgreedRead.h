#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace loadstar {

// The board's replies carry no checksum, so a byte flipped on the line is taken as data. Where a
// wrong byte would be reported as a finding or saved as a copy of the flash, the block is read
// again until every byte of it has been seen alike in two reads: a byte hit by noise in one read
// is outvoted, while a byte the flash really holds comes back the same every time.
enum class AgreedRead {
    agreed,      // `agreed` holds the block
    readFailed,  // a read failed; its message has been shown
    tooNoisy,    // after the most reads allowed some byte was never seen alike twice
};

// How many reads of one block at most, the first included.
inline constexpr int mostReadsOfABlock = 6;

// Reads one block of `count` bytes into `bytes`; false when the read failed (message shown).
using ReadBlock = std::function<bool(std::vector<std::uint8_t>& bytes)>;

// Reads with `readOnce` until every byte has been seen alike in two reads. `firstRead`, when not
// empty, is a read already made and counts as the first.
AgreedRead readUntilAgreed(const ReadBlock& readOnce, int count,
                           std::span<const std::uint8_t> firstRead,
                           std::vector<std::uint8_t>& agreed);

// What the user is told when a block never read alike twice.
inline constexpr char lineTooNoisyText[] =
    "The serial line is too noisy: reading the same flash bytes again and again gave different "
    "data each time. Check the cable and its screening, then try again.";

}  // namespace loadstar
