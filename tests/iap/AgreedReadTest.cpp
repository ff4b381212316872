#include "iap/AgreedRead.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes flash = {0x12, 0x34, 0xFF, 0x00};

// `flash` with the byte at `index` hit by noise.
Bytes hit(std::size_t index) {
    Bytes bytes = flash;
    bytes[index] ^= 0x08;
    return bytes;
}

// The lead a byte needs grows with the damage the pass has seen, and beyond the largest the pass
// is too noisy. A 32 KB pass, after 60000 reads of its bytes.
TEST(AgreedReadTest, TheLeadNeededGrowsWithTheDamageSeen) {
    const struct {
        long reads;
        long damaged;
        int lead;
    } cases[] = {
        {0, 0, 0},         // nothing seen yet: no lead is known to be enough
        {964, 0, 4},       // the first block of a pass, read four times
        {60000, 0, 3},     // a clean line
        {60000, 120, 4},   // 2 in 1000
        {60000, 1200, 5},  // 2 %
        {60000, 3000, 6},  // 5 %
        {60000, 7200, 0},  // 12 %: too noisy
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NoiseTally(0x8000).leadNeeded(c.reads, c.damaged), c.lead)
            << c.reads << " reads, " << c.damaged << " damaged";
    }
}

// A block of a pass whose line is known clean: a byte is taken when its value leads all other
// reads of it together by three.
TEST(AgreedReadTest, AByteIsTakenWhenItsValueLeadsTheOtherReadsByTheLeadNeeded) {
    const std::optional<Bytes> failedRead;
    struct Case {
        const char* name;
        Bytes firstRead;  // already made; empty: none
        std::vector<std::optional<Bytes>> reads;
        AgreedRead outcome;
        std::size_t readsUsed;
    } cases[] = {
        {"clean line", {}, {flash, flash, flash}, AgreedRead::agreed, 3},
        // Two damaged reads that agree are outvoted, not taken.
        {"two reads hit alike",
         {},
         {hit(2), hit(2), flash, flash, flash, flash, flash},
         AgreedRead::agreed,
         7},
        {"a finding confirmed", flash, {flash, flash}, AgreedRead::agreed, 2},
        {"a finding that was noise", hit(3), {flash, flash, flash, flash}, AgreedRead::agreed, 4},
        {"never settles",
         {},
         std::vector<std::optional<Bytes>>(mostReadsOfABlock + 1, hit(0)),
         AgreedRead::tooNoisy,
         mostReadsOfABlock},
        {"a read fails", {}, {flash, failedRead}, AgreedRead::readFailed, 2},
    };
    for (auto& c : cases) {
        // In "never settles" each read of byte 0 is hit differently, so no value ever leads.
        std::uint8_t noise = 1;
        std::size_t used = 0;
        const ReadBlock readOnce = [&](Bytes& bytes) {
            const auto& next = c.reads.at(used++);
            if (!next) {
                return false;
            }
            bytes = *next;
            if (c.outcome == AgreedRead::tooNoisy) {
                bytes[0] = static_cast<std::uint8_t>(flash[0] ^ noise++);
            }
            return true;
        };
        NoiseTally pass(0x8000);
        pass.add(60000, 0);
        Bytes agreed;
        EXPECT_EQ(readUntilAgreed(readOnce, 4, c.firstRead, agreed, pass), c.outcome) << c.name;
        EXPECT_EQ(used, c.readsUsed) << c.name;
        if (c.outcome == AgreedRead::agreed) {
            EXPECT_EQ(agreed, flash) << c.name;
        }
    }
}

// Whole 32 KB passes over a line that flips one bit of a byte at the given rate: each comes out
// exact or fails as too noisy, never with a wrong byte. Many passes at 5 % give a rule too lax for
// that rate (two agreeing reads, or a lead that does not grow) the wrong bytes to show.
TEST(AgreedReadTest, ANoisyLineGivesAnExactCopyOrFailsLoudly) {
    constexpr std::size_t sectorSize = 0x8000;
    constexpr std::size_t blockSize = 241;
    const struct {
        double rate;
        int passes;
        int leastExact;  // passes that must come out exact
    } cases[] = {{0.001, 2, 2}, {0.02, 4, 2}, {0.05, 60, 0}};
    std::mt19937 random(20260101);
    Bytes sector(sectorSize);
    for (auto& byte : sector) {
        byte = static_cast<std::uint8_t>(random());
    }
    for (const auto& c : cases) {
        std::bernoulli_distribution damaged(c.rate);
        int exact = 0;
        long wrongBytes = 0;
        for (int passNumber = 0; passNumber < c.passes; ++passNumber) {
            NoiseTally pass(sectorSize);
            auto outcome = AgreedRead::agreed;
            for (std::size_t done = 0; done < sectorSize && outcome == AgreedRead::agreed;) {
                const Bytes block(
                    sector.begin() + static_cast<long>(done),
                    sector.begin() + static_cast<long>(std::min(done + blockSize, sectorSize)));
                const ReadBlock readOnce = [&](Bytes& bytes) {
                    for (std::size_t i = 0; i < block.size(); ++i) {
                        bytes[i] = block[i] ^ (damaged(random) ? 1 << (random() % 8) : 0);
                    }
                    return true;
                };
                Bytes agreed;
                outcome =
                    readUntilAgreed(readOnce, static_cast<int>(block.size()), {}, agreed, pass);
                ASSERT_NE(outcome, AgreedRead::readFailed);
                for (std::size_t i = 0; i < block.size() && outcome == AgreedRead::agreed; ++i) {
                    wrongBytes += agreed[i] != block[i] ? 1 : 0;
                }
                done += block.size();
            }
            exact += outcome == AgreedRead::agreed ? 1 : 0;
        }
        EXPECT_EQ(wrongBytes, 0) << "at " << c.rate;
        EXPECT_GE(exact, c.leastExact) << "at " << c.rate;
    }
}

}  // namespace
}  // namespace loadstar
