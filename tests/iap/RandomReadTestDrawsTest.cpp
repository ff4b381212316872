// The random read test's draws: their ranges and their fixed sequence.

#include <gtest/gtest.h>

#include <set>

#include "RandomReadTest.h"

namespace loadstar {
namespace {

TEST(RandomReadTestDraws, StayInsideTheirRangesAndReachBothEnds) {
    const int sectors[2] = {8, 4};
    const int lastByte[2] = {0xFFFF, 0x9FFF};  // never read
    RandomReadTest test;
    std::set<int> seenSectors[2];
    std::set<int> blockSizes;
    int lowest[2] = {0x10000, 0x10000};
    int highestEnd[2] = {0, 0};
    for (int i = 0; i < 200000; ++i) {
        const RandomReadCycle cycle = test.drawCycle();
        ASSERT_LE(cycle.kind, 1);
        const int end = cycle.address + cycle.blockSize - 1;
        ASSERT_LT(cycle.sector, sectors[cycle.kind]);
        ASSERT_GE(cycle.address, 0x8000);
        ASSERT_LT(end, lastByte[cycle.kind]) << i;
        seenSectors[cycle.kind].insert(cycle.sector);
        blockSizes.insert(cycle.blockSize);
        lowest[cycle.kind] = std::min(lowest[cycle.kind], cycle.address);
        highestEnd[cycle.kind] = std::max(highestEnd[cycle.kind], end);
    }
    EXPECT_EQ(seenSectors[0].size(), 8U);
    EXPECT_EQ(seenSectors[1].size(), 4U);
    EXPECT_EQ(blockSizes.size(), 90U);
    EXPECT_EQ(*blockSizes.begin(), 10);
    EXPECT_EQ(*blockSizes.rbegin(), 99);
    EXPECT_EQ(lowest[0], 0x8000);
    EXPECT_EQ(lowest[1], 0x8000);
    EXPECT_EQ(highestEnd[0], 0xFFFE);
    EXPECT_EQ(highestEnd[1], 0x9FFE);
}

// Every new RandomReadTest (every start of the program) draws std::mt19937's fixed sequence from
// its default state, each draw modulo its range, in the order kind, sector, block size, address.
TEST(RandomReadTestDraws, FollowTheUnseededGeneratorModuloTheRange) {
    std::mt19937 reference;
    RandomReadTest test;
    EXPECT_EQ(test.drawCycle(), (RandomReadCycle{0, 6, 84, 0xc3a5}));
    reference.discard(4);
    for (int i = 0; i < 1000; ++i) {
        const auto kind = reference() % 2;
        const auto sector = reference() % (kind == 1 ? 4 : 8);
        const auto size = 10 + reference() % 90;
        const auto address = 0x8000 + reference() % ((kind == 1 ? 0x2000 : 0x8000) - size);
        ASSERT_EQ(
            test.drawCycle(),
            (RandomReadCycle{static_cast<std::uint8_t>(kind), static_cast<std::uint8_t>(sector),
                             static_cast<int>(size), static_cast<int>(address)}))
            << i;
    }
}

}  // namespace
}  // namespace loadstar
