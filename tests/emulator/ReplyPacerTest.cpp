#include "ReplyPacer.h"

#include <gtest/gtest.h>

namespace loadstar::emulator {
namespace {

using Clock = ReplyPacer::Clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

std::vector<std::uint8_t> bytes(std::size_t n) {
    return std::vector<std::uint8_t>(n, 0x55);
}

// These tests give the pacer made-up points in time; nothing here waits or measures.
TEST(ReplyPacerTest, ReleasesBytesOnTheLineSpeedsSchedule) {
    ReplyPacer pacer(19200);  // one byte every 520.83 us
    const auto start = Clock::time_point{} + std::chrono::seconds(100);
    pacer.enqueue(bytes(100), start);
    struct Case {
        Clock::duration after;
        std::size_t due;
    };
    const Case cases[] = {
        {-microseconds(1), 0},   {microseconds(0), 1},          {microseconds(520), 1},
        {microseconds(521), 2},  {milliseconds(10), 20},        {milliseconds(51), 98},
        {milliseconds(52), 100}, {std::chrono::hours(48), 100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pacer.dueBytes(start + c.after).size(), c.due)
            << std::chrono::duration_cast<microseconds>(c.after).count() << " us";
    }
}

TEST(ReplyPacerTest, KeepsTheAbsoluteScheduleWhenWrittenInChunks) {
    ReplyPacer pacer(19200);
    const auto start = Clock::time_point{} + std::chrono::seconds(1);
    pacer.enqueue(bytes(10), start);
    pacer.markSent(pacer.dueBytes(start + milliseconds(2)).size());  // 4 bytes
    EXPECT_EQ(pacer.nextDue(), start + std::chrono::nanoseconds(4LL * 10'000'000'000 / 19200));
    // Behind schedule, the writer catches up instead of drifting.
    EXPECT_EQ(pacer.dueBytes(start + milliseconds(4)).size(), 4u);
    pacer.markSent(4);
    EXPECT_EQ(pacer.dueBytes(start + milliseconds(6)).size(), 2u);
    pacer.markSent(2);
    EXPECT_TRUE(pacer.idle());
    EXPECT_FALSE(pacer.nextDue().has_value());
}

TEST(ReplyPacerTest, AReplyWaitsForItsDelayAndForTheOneAhead) {
    ReplyPacer pacer(19200);
    const auto t0 = Clock::time_point{} + std::chrono::seconds(5);
    pacer.enqueue(bytes(96), t0);                     // on the line until t0 + 50 ms
    pacer.enqueue(bytes(1), t0 + milliseconds(1));    // must queue behind it
    pacer.enqueue(bytes(1), t0 + milliseconds(500));  // delayed beyond that
    pacer.markSent(pacer.dueBytes(t0 + milliseconds(60)).size());
    EXPECT_EQ(pacer.nextDue(), t0 + std::chrono::nanoseconds(96LL * 10'000'000'000 / 19200));
    pacer.markSent(pacer.dueBytes(t0 + milliseconds(60)).size());
    EXPECT_EQ(pacer.nextDue(), t0 + milliseconds(500));
    EXPECT_TRUE(pacer.dueBytes(t0 + milliseconds(499)).empty());
}

TEST(ReplyPacerTest, UnpacedSendsAWholeReplyAtItsStart) {
    ReplyPacer pacer(0);
    const auto t0 = Clock::time_point{} + std::chrono::seconds(5);
    pacer.enqueue(bytes(270), t0 + milliseconds(30));
    EXPECT_TRUE(pacer.dueBytes(t0).empty());
    EXPECT_EQ(pacer.dueBytes(t0 + milliseconds(30)).size(), 270u);
    pacer.enqueue({}, t0);
    pacer.markSent(270);
    EXPECT_TRUE(pacer.idle()) << "an empty reply queues nothing";
}

}  // namespace
}  // namespace loadstar::emulator
