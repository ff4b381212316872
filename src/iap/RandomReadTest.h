#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "iap/BoardCommands.h"

namespace loadstar {

// The values one cycle of the random read test draws.
struct RandomReadCycle {
    std::uint8_t kind = 0;    // 0 main flash, 1 boot flash
    std::uint8_t sector = 0;  // 0..7 main, 0..3 boot
    int blockSize = 0;        // 10..99 bytes
    // 0x8000 .. 0x8000 + window - blockSize - 1, the window being 0x8000 bytes for the main flash
    // and 0x2000 for the boot flash (whatever boot sector was drawn): a block never reaches the
    // window's last byte.
    int address = 0;

    bool operator==(const RandomReadCycle&) const = default;
};

// What one cycle did: the values drawn, the outcomes of its select and its read, and how long
// the read took.
struct RandomReadCycleResult {
    RandomReadCycle cycle;
    Outcome select;
    Outcome read;
    std::chrono::milliseconds readTime{0};
};

// A run's counters, all zero at its start. Failures are not counted: they are the cycles minus
// the successes. 64-bit, so that a run left going for months never wraps into negative totals.
struct RandomReadCounters {
    std::int64_t cycles = 0;
    std::int64_t selectSuccesses = 0;
    std::int64_t readSuccesses = 0;
    std::int64_t bytesRead = 0;  // the block sizes of the successful reads
};

// What a run does to the world around it. The test window, the command-line tool and the tests
// fill these in; an empty function is skipped.
struct RandomReadTestHooks {
    std::function<void()> stopMirror;  // start step 1: the caller decides whether to stop it
    std::function<void()> clearLog;
    std::function<void()> showDescription;   // the window's words on what the test does
    std::function<void()> setButtonsForRun;  // Start again disabled, End Test enabled
    std::function<void()> showWindow;
    // What goes into the log: a run's start (its header), each cycle with the run's counters
    // after it (a log line and the statistics), a run's end (its summary). The words are the
    // caller's; RandomReadTestWords.h has the log's.
    std::function<void(std::chrono::system_clock::time_point start)> runStarted;
    std::function<void(const RandomReadCycleResult& result, const RandomReadCounters& counters)>
        cycleDone;
    std::function<void(const RandomReadCounters& counters,
                       std::chrono::system_clock::time_point stop)>
        runFinished;
    // Lets pending events run at the top of every cycle; this is where a stop request, or the
    // start of a further run, comes in.
    std::function<void()> processPendingEvents;
    // Told true when a run starts while none is in progress, false when the last run in progress
    // has ended (the window silences its error boxes and refuses to close meanwhile).
    std::function<void(bool running)> setRunning;
};

// The random read test's lasting state: its pseudo-random generator and the runs in progress.
// The owner (the main window, or the command-line tool) keeps one for the life of the program, so
// a second run continues the sequence where the first left it.
//
// The generator is std::mt19937 in its default state, never seeded: its sequence is fixed by the
// C++ standard, so every start of the program draws the same cycles, whatever library or
// platform. Each draw is the generator's next value modulo the range size.
class RandomReadTest {
  public:
    // Draws kind (below 2), sector (below 8 main, 4 boot), block size (10 + below 90) and address
    // (0x8000 + below window - block size), in that order.
    RandomReadCycle drawCycle();

    // One cycle's board work: draws, selectFlash, then readFlash whatever the select gave, timed
    // from just before the call to its return. Counts into `counters`.
    RandomReadCycleResult runCycle(BoardCommands& board, RandomReadCounters& counters);

    // A whole run: the start steps (mirror stopped, `stop` cleared, log cleared, buttons,
    // description, runStarted, window shown, running told, counters zeroed), then cycles until
    // `stop` is found set after one (at least one cycle), then runFinished. Returns after that.
    //
    // A run started while another is in progress (from that run's event pump) does its start
    // steps at once and returns; the run in progress then carries it on: the new run's cycles
    // follow until it is stopped and has written its summary, then the interrupted run completes
    // its cycle, finds `stop` set and writes its own summary. The log reads as if the runs had
    // nested, but nesting never deepens the call stack, however many runs are started. Running
    // ends (setRunning(false)) once the last run in progress has written its summary.
    void run(BoardCommands& board, const RandomReadTestHooks& hooks, CancelToken& stop);

    // True while a run is in progress.
    [[nodiscard]] bool isRunning() const { return !activeRuns_.empty(); }
    // The counters of the run that wrote the latest summary; all zero before the first.
    [[nodiscard]] const RandomReadCounters& lastFinishedRun() const { return lastFinishedRun_; }

  private:
    struct ActiveRun {
        RandomReadCounters counters;
        bool eventsProcessed = false;  // this run's current cycle has had its event pump
    };

    std::uint32_t draw(std::uint32_t rangeSize);
    void startRun(const RandomReadTestHooks& hooks, CancelToken& stop);
    void carryRuns(BoardCommands& board, const RandomReadTestHooks& hooks, CancelToken& stop);
    void finishRun(const RandomReadTestHooks& hooks);

    std::mt19937 generator_;
    std::vector<ActiveRun> activeRuns_;  // innermost last
    RandomReadCounters lastFinishedRun_;
};

}  // namespace loadstar
