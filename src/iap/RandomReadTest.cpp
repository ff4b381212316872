#include "iap/RandomReadTest.h"

#include <utility>

namespace loadstar {

namespace {

constexpr int flashWindowStart = 0x8000;
constexpr int mainWindowSize = 0x8000;
constexpr int bootWindowSize = 0x2000;
constexpr int smallestBlock = 10;
constexpr int blockSizeRange = 90;  // 10..99

template <typename Function, typename... Arguments>
void callIfSet(const Function& function, Arguments&&... arguments) {
    if (function) {
        function(std::forward<Arguments>(arguments)...);
    }
}

}  // namespace

std::uint32_t RandomReadTest::draw(std::uint32_t rangeSize) {
    return static_cast<std::uint32_t>(generator_()) % rangeSize;
}

RandomReadCycle RandomReadTest::drawCycle() {
    RandomReadCycle cycle;
    cycle.kind = static_cast<std::uint8_t>(draw(2));
    const bool boot = cycle.kind == bootFlash;
    cycle.sector = static_cast<std::uint8_t>(draw(boot ? 4 : 8));
    cycle.blockSize = smallestBlock + static_cast<int>(draw(blockSizeRange));
    const int windowSize = boot ? bootWindowSize : mainWindowSize;
    cycle.address =
        flashWindowStart +
        static_cast<int>(draw(static_cast<std::uint32_t>(windowSize - cycle.blockSize)));
    return cycle;
}

RandomReadCycleResult RandomReadTest::runCycle(BoardCommands& board, RandomReadCounters& counters) {
    RandomReadCycleResult result;
    const RandomReadCycle& cycle = result.cycle = drawCycle();
    result.select = board.selectFlash(cycle.kind, cycle.sector);
    std::vector<std::uint8_t> bytes;
    const auto before = std::chrono::steady_clock::now();
    result.read = board.readFlash(cycle.address, cycle.blockSize, bytes);
    result.readTime = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - before);
    if (result.select.ok()) {
        ++counters.selectSuccesses;
    }
    if (result.read.ok()) {
        ++counters.readSuccesses;
        counters.bytesRead += cycle.blockSize;
    }
    ++counters.cycles;
    return result;
}

void RandomReadTest::run(BoardCommands& board, const RandomReadTestHooks& hooks,
                         CancelToken& stop) {
    startRun(hooks, stop);
    if (activeRuns_.size() > 1) {
        return;  // started from the pump of a run in progress, whose loop carries it on
    }
    carryRuns(board, hooks, stop);
}

void RandomReadTest::startRun(const RandomReadTestHooks& hooks, CancelToken& stop) {
    callIfSet(hooks.stopMirror);
    stop.clear();
    callIfSet(hooks.clearLog);
    callIfSet(hooks.setButtonsForRun);
    callIfSet(hooks.showDescription);
    callIfSet(hooks.runStarted, std::chrono::system_clock::now());
    callIfSet(hooks.showWindow);
    if (activeRuns_.empty()) {
        callIfSet(hooks.setRunning, true);
    }
    activeRuns_.emplace_back();
}

void RandomReadTest::carryRuns(BoardCommands& board, const RandomReadTestHooks& hooks,
                               CancelToken& stop) {
    // Should a hook throw, no run is left behind as "in progress" with the error box silenced.
    struct AbandonOnThrow {
        std::vector<ActiveRun>& runs;
        const RandomReadTestHooks& hooks;
        ~AbandonOnThrow() {
            if (!runs.empty()) {
                runs.clear();
                callIfSet(hooks.setRunning, false);
            }
        }
    } guard{activeRuns_, hooks};

    while (!activeRuns_.empty()) {
        const std::size_t depth = activeRuns_.size();
        if (!activeRuns_.back().eventsProcessed) {
            activeRuns_.back().eventsProcessed = true;
            callIfSet(hooks.processPendingEvents);
            if (activeRuns_.size() != depth) {
                continue;  // a run started in the pump: its cycles come before this one's
            }
        }
        ActiveRun& current = activeRuns_.back();
        current.eventsProcessed = false;
        const RandomReadCycleResult result = runCycle(board, current.counters);
        callIfSet(hooks.cycleDone, result, current.counters);
        if (stop.requested()) {
            finishRun(hooks);
        }
    }
}

void RandomReadTest::finishRun(const RandomReadTestHooks& hooks) {
    const RandomReadCounters counters = activeRuns_.back().counters;
    activeRuns_.pop_back();
    lastFinishedRun_ = counters;
    callIfSet(hooks.runFinished, counters, std::chrono::system_clock::now());
    if (activeRuns_.empty()) {
        callIfSet(hooks.setRunning, false);
    }
}

}  // namespace loadstar
