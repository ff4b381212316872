#include "AgreedRead.h"

#include <gtest/gtest.h>

#include <optional>

namespace loadstar {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes flash = {0x12, 0x34, 0xFF, 0x00};

// `flash` with the byte at `index` hit by noise.
Bytes hit(std::size_t index) {
    Bytes bytes = flash;
    bytes[index] ^= 0x5A;
    return bytes;
}

TEST(AgreedReadTest, EveryByteIsTakenOnlyWhenTwoReadsAgreeOnIt) {
    const std::optional<Bytes> failedRead;
    struct Case {
        const char* name;
        Bytes firstRead;  // already made; empty: none
        std::vector<std::optional<Bytes>> reads;
        AgreedRead outcome;
        std::size_t readsUsed;
    } cases[] = {
        {"clean line", {}, {flash, flash}, AgreedRead::agreed, 2},
        {"first read hit", {}, {hit(0), flash, flash}, AgreedRead::agreed, 3},
        {"each read hit elsewhere", {}, {hit(0), hit(1), flash}, AgreedRead::agreed, 3},
        {"a finding confirmed by one more read", flash, {flash}, AgreedRead::agreed, 1},
        {"a finding that was noise", hit(3), {flash, flash}, AgreedRead::agreed, 2},
        {"never twice alike",
         {},
         {hit(0), hit(0), hit(0), hit(0), hit(0), hit(0), flash},
         AgreedRead::tooNoisy,
         6},
        {"a read fails", {}, {flash, failedRead}, AgreedRead::readFailed, 2},
    };
    for (auto& c : cases) {
        // Each noisy read of byte 0 is hit differently, so no two of them agree.
        std::uint8_t noise = 1;
        std::size_t used = 0;
        const ReadBlock readOnce = [&](Bytes& bytes) {
            const auto& next = c.reads.at(used++);
            if (!next) {
                return false;
            }
            bytes = *next;
            if (bytes[0] != flash[0]) {
                bytes[0] = static_cast<std::uint8_t>(flash[0] ^ noise++);
            }
            return true;
        };
        Bytes agreed;
        EXPECT_EQ(readUntilAgreed(readOnce, 4, c.firstRead, agreed), c.outcome) << c.name;
        EXPECT_EQ(used, c.readsUsed) << c.name;
        if (c.outcome == AgreedRead::agreed) {
            EXPECT_EQ(agreed, flash) << c.name;
        }
    }
}

}  // namespace
}  // namespace loadstar
