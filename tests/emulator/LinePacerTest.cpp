#include "emulator/LinePacer.h"

#include <gtest/gtest.h>

namespace loadstar::emulator {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using Bytes = std::vector<std::uint8_t>;

// The pacer is given made-up points in time; nothing here waits or measures.
const auto t0 = LinePacer::Clock::time_point{} + std::chrono::seconds(100);
// When byte `n` of a reply started at t0 is due at 19200 baud (10 bits a byte).
auto byteTime(long long n) {
    return t0 + std::chrono::nanoseconds(n * 10'000'000'000 / 19200);
}

TEST(LinePacerTest, ReleasesBytesOnTheLineSpeedsAbsoluteSchedule) {
    LinePacer pacer(19200);  // one byte every 520.83 us
    pacer.enqueue(Bytes(100), t0);
    struct Case {
        LinePacer::Clock::duration after;
        std::size_t due;
    };
    const Case cases[] = {
        // Each byte is due at its own time to the nanosecond, as nextDue tells, not a period later.
        {-microseconds(1), 0},  {microseconds(0), 1},    {byteTime(1) - t0 - nanoseconds(1), 1},
        {byteTime(1) - t0, 2},  {byteTime(3) - t0, 4},   {milliseconds(10), 20},
        {milliseconds(51), 98}, {milliseconds(52), 100}, {std::chrono::hours(48), 100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pacer.dueBytes(t0 + c.after).size(), c.due)
            << std::chrono::duration_cast<microseconds>(c.after).count() << " us";
    }
    pacer.markSent(4);
    EXPECT_EQ(pacer.nextDue(), byteTime(4));
    EXPECT_EQ(pacer.dueBytes(t0 + milliseconds(4)).size(), 4u) << "a late writer catches up";
}

TEST(LinePacerTest, AReplyWaitsForItsDelayAndForTheOneAheadUnlessUnpaced) {
    LinePacer pacer(19200);
    pacer.enqueue(Bytes(96), t0);                     // on the line until t0 + 50 ms
    pacer.enqueue(Bytes(1), t0 + milliseconds(1));    // queues behind it
    pacer.enqueue(Bytes(1), t0 + milliseconds(500));  // delayed beyond that
    pacer.markSent(pacer.dueBytes(t0 + milliseconds(60)).size());
    EXPECT_EQ(pacer.nextDue(), byteTime(96));
    pacer.markSent(pacer.dueBytes(t0 + milliseconds(60)).size());
    EXPECT_EQ(pacer.nextDue(), t0 + milliseconds(500));
    pacer.markSent(pacer.dueBytes(t0 + milliseconds(500)).size());
    EXPECT_TRUE(pacer.idle());

    LinePacer unpaced(0);
    unpaced.enqueue(Bytes(270), t0 + milliseconds(30));
    EXPECT_TRUE(unpaced.dueBytes(t0).empty());
    EXPECT_EQ(unpaced.dueBytes(t0 + milliseconds(30)).size(), 270u);
}

// Through an adapter with a latency timer every byte is passed on after it has fully arrived and
// at most the latency later, in bursts: at 19200 baud 31 bytes every 16 ms; with a 32 ms timer the
// adapter's 62-byte buffer fills first and goes at once.
TEST(LinePacerTest, AnAdaptersLatencyHoldsBytesBackInBurstsButNeverLongerThanTheLatency) {
    const std::pair<milliseconds, std::vector<std::size_t>> cases[] = {
        {milliseconds(16), {31, 31, 31, 7}},
        {milliseconds(32), {62, 38}},
    };
    for (const auto& [latency, expectedBursts] : cases) {
        LinePacer pacer(19200, latency);
        pacer.enqueue(Bytes(100), t0);
        EXPECT_TRUE(pacer.dueBytes(byteTime(1) + milliseconds(16) - microseconds(1)).empty());
        std::vector<std::size_t> bursts;
        std::size_t released = 0;
        while (const auto due = pacer.nextDue()) {
            const std::size_t count = pacer.dueBytes(*due).size();
            ASSERT_GT(count, 0u) << "a release time that releases nothing would spin the emulator";
            for (std::size_t i = released; i < released + count; ++i) {
                EXPECT_LE(byteTime(static_cast<long long>(i) + 1), *due)
                    << "byte " << i << " early";
                EXPECT_LE(*due, byteTime(static_cast<long long>(i) + 1) + latency) << "byte " << i;
            }
            released += count;
            bursts.push_back(count);
            pacer.markSent(count);
        }
        EXPECT_EQ(bursts, expectedBursts) << latency.count() << " ms";
    }
}

}  // namespace
}  // namespace loadstar::emulator
