#include "emulator/PacedLine.h"

#include <gtest/gtest.h>

#include "FrameBytes.h"
#include "emulator/FrameDecoder.h"
#include "support/VirtualClock.h"

namespace loadstar::emulator {
namespace {

using std::chrono::milliseconds;
using Clock = PacedLine::Clock;

// The time `n` bytes take at 19200 baud, rounded down to the nanosecond as the pacer reckons.
Clock::duration timeOf(long long n) {
    return std::chrono::nanoseconds(n * 10'000'000'000 / 19200);
}

enum class Where { asleep, inWrite, beforeStop };

// Where and for how long the machine holds the emulator up: after waking for round `at`, during
// write number `at`, or in round `at` just before a stop signal ends the run.
struct HoldUp {
    int at;
    Where where;
    Clock::duration length;
};

// The emulator's loop on a virtual clock: it wakes when something falls due, as poll() does, and
// the machine holds it up where the case says. A 255-byte read goes in (a 12-byte frame, then
// 270 bytes of reply at 19200 baud, 140 ms).
struct LineRun {
    loadstar::testing::VirtualClock clock;
    BoardModel board;
    PacedLine line{board, 19200, Clock::duration::zero(), clock};
    const Clock::time_point start = clock.now();
    std::vector<Clock::time_point> byteTimes;  // when each reply byte went to the client
    int rounds = 0;

    void run(const std::vector<HoldUp>& holdUps, int blockedAtWrite = 0,
             Clock::duration clientAway = {}) {
        const auto holdAt = [&](int at, Where where) {
            bool held = false;
            for (const auto& holdUp : holdUps) {
                if (holdUp.at == at && holdUp.where == where) {
                    clock.advance(holdUp.length);
                    held = true;
                }
            }
            return held;
        };
        int writes = 0;
        const PacedLine::Writer write =
            [&](std::span<const std::uint8_t> due) -> std::optional<std::size_t> {
            if (++writes == blockedAtWrite) {
                return std::nullopt;  // the client's queue is full
            }
            byteTimes.insert(byteTimes.end(), due.size(), clock.now());
            holdAt(writes, Where::inWrite);
            return due.size();
        };
        line.takeFrameBytes(testing::frameOf(testing::flashPayload("RRD", 0x8000, 255)));
        while (const auto due = line.nextDue()) {
            // Each round sends or delivers a byte: a wake that finds nothing due would spin.
            ASSERT_LT(++rounds, 12 + 270 + 10) << "rounds that found nothing due";
            const auto wakeAt = std::max(clock.now(), *due);
            clock.sleepUntil(wakeAt);
            holdAt(rounds, Where::asleep);
            line.noteWake(wakeAt);
            if (holdAt(rounds, Where::beforeStop)) {
                line.noteStop();
                return;
            }
            line.serveBoard();
            line.sendDueBytes(write);
            if (line.repliesBlocked()) {
                EXPECT_EQ(line.nextDue(), std::nullopt) << "nothing to wake for but the client";
                clock.advance(clientAway);
                line.clientCaughtUp();
                line.sendDueBytes(write, false);
            }
        }
    }
};

// Bytes cross the wire and go back exactly on the line's schedule, and a hold-up longer than 10 ms
// is found wherever it struck: asleep (on waking, and again by the bytes it made late), between a
// check and its write, just before the stop. A client that did not read holds its bytes back by
// its own doing.
TEST(PacedLineTest, KeepsTheLinesTimeAndFindsEveryHoldUpOfTheMachine) {
    struct Case {
        const char* name;
        std::vector<HoldUp> holdUps;
        int slips;
        int blockedAtWrite = 0;
    };
    const Case cases[] = {
        {"on time", {}, 0},
        {"asleep 10 ms mid-reply, the limit", {{40, Where::asleep, milliseconds(10)}}, 0},
        {"asleep 11 ms mid-reply", {{40, Where::asleep, milliseconds(11)}}, 2},
        {"asleep 11 ms while the frame crosses", {{5, Where::asleep, milliseconds(11)}}, 2},
        {"11 ms between a check and its write", {{40, Where::inWrite, milliseconds(11)}}, 1},
        {"asleep 20 ms, later 30 ms in a write",
         {{40, Where::asleep, milliseconds(20)}, {100, Where::inWrite, milliseconds(30)}},
         3},
        {"30 ms before the stop", {{40, Where::beforeStop, milliseconds(30)}}, 1},
        {"10 ms before the stop", {{40, Where::beforeStop, milliseconds(10)}}, 0},
        {"the client did not read for 50 ms", {}, 0, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LineRun run;
        run.run(c.holdUps, c.blockedAtWrite, milliseconds(50));
        EXPECT_EQ(run.line.timeSlips(), c.slips);
        const bool stopped = !c.holdUps.empty() && c.holdUps.front().where == Where::beforeStop;
        EXPECT_EQ(run.byteTimes.size(), stopped ? 40u - 12u : 270u) << "every byte goes, once";
    }
    // On time, the reply starts when the frame's last stop bit is through and keeps the pace.
    LineRun onTime;
    onTime.run({});
    const auto frameEnd = onTime.start + timeOf(1) + timeOf(11);
    ASSERT_EQ(onTime.byteTimes.size(), 270u);
    for (std::size_t i : {0u, 1u, 2u, 135u, 269u}) {
        EXPECT_EQ(onTime.byteTimes[i] - frameEnd, timeOf(static_cast<long long>(i))) << i;
    }
}

// A frame the line leaves half-sent is given up 20 ms after its last byte arrived, and the loop
// wakes for that and for nothing else.
TEST(PacedLineTest, AHalfFrameIsGivenUpWhenTheLineHasBeenQuiet) {
    loadstar::testing::VirtualClock clock;
    BoardModel board;
    PacedLine line(board, 19200, Clock::duration::zero(), clock);
    const auto start = clock.now();
    const testing::Bytes frame = testing::frameOf("BRD");
    line.takeFrameBytes(std::span(frame).first(5));
    std::vector<Clock::time_point> wakes;
    while (const auto due = line.nextDue()) {
        ASSERT_LT(wakes.size(), 10u);
        wakes.push_back(*due);
        clock.sleepUntil(*due);
        line.serveBoard();
    }
    const auto lastByte = start + timeOf(1) + timeOf(4);
    ASSERT_EQ(wakes.size(), 6u);
    EXPECT_EQ(wakes[4], lastByte);
    EXPECT_EQ(wakes[5], lastByte + incompleteFrameTimeout);
    EXPECT_FALSE(board.hasIncompleteFrame());
}

}  // namespace
}  // namespace loadstar::emulator
