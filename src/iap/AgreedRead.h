#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace loadstar {

// The board's replies carry no checksum, so a byte damaged on the line is taken as data. Where a
// wrong byte would be reported as a finding or saved as a copy of the flash, the block is read
// again and again, and a byte's value is taken only once it leads all other reads of that byte
// together by a margin, the lead. The lead needed grows with the damage the pass has seen, so that
// a wrong byte is taken with a chance below one in a million per pass at any damage rate the pass
// goes on at; where no lead up to the largest keeps that bound, the pass fails as too noisy.
//
// Why the lead bounds the risk. Let p be the chance that a read of a byte comes damaged, and take
// the damage a real line does most often: one flipped bit. A damaged read then gives one of eight
// wrong values, each with the chance q = p / 8, so two damaged reads agree one time in eight. For
// one wrong value w, every read moves w's lead over all others by +1 (chance q) or -1: a random
// walk against w, which reaches +k with the chance (q / (1 - q))^k = (p / (8 - p))^k (gambler's
// ruin; that the right value may get there first only lowers it). Over the eight wrong values and
// the N bytes of a pass, a wrong byte is taken with a chance below
//     risk(p, k) = 8 N (p / (8 - p))^k.
// Damage that spreads over more values agrees less often, so it is covered too.
//
// p is not known; the pass counts the reads R it made of its bytes and the damaged ones D among
// them (those that differ from the value taken). It takes the upper end of what that count allows,
// about the 95 % upper limit of a Poisson count, p+ = (D + 2 + 1.645 sqrt(D + 1)) / R, and needs
// the least lead k >= 2 with risk(p+, k) <= 1e-6. In the few passes whose true rate lies above p+,
// the rate lies only a little above it; summed over the rates a pass can meet, over the counts D it
// may then see and over the blocks of a 32 KB pass, the chance of a wrong byte stays below 6e-7 at
// any p (worst near p = 9 %). The lead needed for N = 32768:
//     p+      1e-4   1e-3   3e-3   2 %   5 %   9 %   10 %
//     lead     3      3      4      5     6     6    too noisy
// A clean line needs 3 reads of a block (4 for the first blocks of a pass, while R is small). A
// block whose bytes have not all settled after the most reads allowed fails the pass as too noisy
// too: at 2 % that happens about once in 70 passes, at 5 % in nearly every pass.
enum class AgreedRead {
    agreed,      // `agreed` holds the block
    readFailed,  // a read failed; its message has been shown
    tooNoisy,    // some byte had not reached the lead needed when the reads allowed ran out
};

// The largest lead a byte may be asked for, and how many reads of one block at most (the first
// included).
inline constexpr int largestLead = 6;
inline constexpr int mostReadsOfABlock = 16;

// The reads one pass has made of its bytes and how many of them came damaged.
class NoiseTally {
  public:
    // `bytesInPass`: how many bytes the pass may read at most (N above).
    explicit NoiseTally(long bytesInPass) : bytesInPass_(bytesInPass) {}

    // The lead a byte needs, counting besides the pass so far `reads` further reads of which
    // `damaged` differ; 0 when even the largest lead would not keep the bound (too noisy).
    [[nodiscard]] int leadNeeded(long reads = 0, long damaged = 0) const;
    void add(long reads, long damaged) {
        reads_ += reads;
        damaged_ += damaged;
    }

  private:
    long bytesInPass_;
    long reads_ = 0;
    long damaged_ = 0;
};

// Reads one block of `count` bytes into `bytes`; false when the read failed (message shown).
using ReadBlock = std::function<bool(std::vector<std::uint8_t>& bytes)>;

// Reads with `readOnce` until every byte leads by the lead `pass` needs, and adds the block's
// reads to `pass`. `firstRead`, when not empty, is a read already made and counts as the first.
AgreedRead readUntilAgreed(const ReadBlock& readOnce, int count,
                           std::span<const std::uint8_t> firstRead,
                           std::vector<std::uint8_t>& agreed, NoiseTally& pass);

// The same for a pass of this one block.
AgreedRead readUntilAgreed(const ReadBlock& readOnce, int count,
                           std::span<const std::uint8_t> firstRead,
                           std::vector<std::uint8_t>& agreed);

}  // namespace loadstar
