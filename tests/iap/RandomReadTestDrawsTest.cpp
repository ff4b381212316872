// The random read test's draws: their ranges and their fixed sequence.

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "RandomReadTest.h"

namespace loadstar {

void PrintTo(const RandomReadCycle& c, std::ostream* os) {
    *os << "{" << int(c.kind) << "," << int(c.sector) << "," << c.blockSize << "," << std::hex
        << c.address << std::dec << "}";
}

namespace {

TEST(RandomReadTestDraws, StayInsideTheirRangesForBothFlashes) {
    struct Window {
        int sectors;
        int lastByte;  // never read
    };
    const Window windows[2] = {{8, 0xFFFF}, {4, 0x9FFF}};
    RandomReadTest test;
    std::set<int> kinds;
    std::set<int> sectors[2];
    std::set<int> blockSizes;
    int lowestAddress[2] = {0x10000, 0x10000};
    int highestEnd[2] = {0, 0};
    for (int i = 0; i < 200000; ++i) {
        const RandomReadCycle cycle = test.drawCycle();
        ASSERT_LE(cycle.kind, 1);
        const Window& window = windows[cycle.kind];
        ASSERT_LT(cycle.sector, window.sectors);
        ASSERT_GE(cycle.blockSize, 10);
        ASSERT_LE(cycle.blockSize, 99);
        ASSERT_GE(cycle.address, 0x8000);
        // The block's last byte lies before the window's last byte.
        ASSERT_LT(cycle.address + cycle.blockSize - 1, window.lastByte) << i;
        kinds.insert(cycle.kind);
        sectors[cycle.kind].insert(cycle.sector);
        blockSizes.insert(cycle.blockSize);
        lowestAddress[cycle.kind] = std::min(lowestAddress[cycle.kind], cycle.address);
        highestEnd[cycle.kind] =
            std::max(highestEnd[cycle.kind], cycle.address + cycle.blockSize - 1);
    }
    // The whole ranges are reached, not only a part of them.
    EXPECT_EQ(kinds.size(), 2U);
    EXPECT_EQ(sectors[0].size(), 8U);
    EXPECT_EQ(sectors[1].size(), 4U);
    EXPECT_EQ(blockSizes.size(), 90U);
    EXPECT_EQ(lowestAddress[0], 0x8000);
    EXPECT_EQ(lowestAddress[1], 0x8000);
    EXPECT_EQ(highestEnd[0], 0xFFFE);
    EXPECT_EQ(highestEnd[1], 0x9FFE);
}

// The first cycles after every start of the program: std::mt19937 in its default state, each
// draw taken modulo its range, in the order kind, sector, block size, address.
TEST(RandomReadTestDraws, FirstCyclesAreTheSameAtEveryStart) {
    const std::vector<RandomReadCycle> expected = {
        {0, 6, 84, 0xc3a5}, {0, 7, 69, 0xc0e9}, {0, 3, 35, 0xfeb0}, {0, 2, 69, 0xc671},
        {1, 0, 47, 0x8ed4}, {1, 1, 63, 0x90d5}, {0, 2, 26, 0xb321}, {0, 3, 22, 0xb36f},
    };
    for (int start = 0; start < 2; ++start) {
        RandomReadTest test;
        for (const auto& cycle : expected) {
            EXPECT_EQ(test.drawCycle(), cycle);
        }
    }
}

TEST(RandomReadTestDraws, DrawsTakeTheGeneratorsValuesModuloTheRange) {
    std::mt19937 reference;
    RandomReadTest test;
    for (int i = 0; i < 1000; ++i) {
        const RandomReadCycle cycle = test.drawCycle();
        const auto kind = reference() % 2;
        const auto sector = reference() % (kind == 1 ? 4 : 8);
        const auto blockSize = 10 + reference() % 90;
        const auto address = 0x8000 + reference() % ((kind == 1 ? 0x2000 : 0x8000) - blockSize);
        ASSERT_EQ(cycle, (RandomReadCycle{static_cast<std::uint8_t>(kind),
                                          static_cast<std::uint8_t>(sector),
                                          static_cast<int>(blockSize), static_cast<int>(address)}))
            << i;
    }
}

}  // namespace
}  // namespace loadstar
