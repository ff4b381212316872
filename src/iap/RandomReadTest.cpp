#include "iap/RandomReadTest.h"

#include <array>
#include <cstdio>

namespace loadstar {

namespace {

constexpr int flashWindowStart = 0x8000;
constexpr int mainWindowSize = 0x8000;
constexpr int bootWindowSize = 0x2000;
constexpr int smallestBlock = 10;
constexpr int blockSizeRange = 90;  // 10..99

constexpr std::array<const char*, 12> monthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// "d-mmm-yyyy" + `separator` + hours, minutes and seconds joined by `timeSeparator`.
std::string formatDateTime(const std::tm& time, const char* separator, char timeSeparator) {
    const int month = time.tm_mon >= 0 && time.tm_mon < 12 ? time.tm_mon : 0;
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%d-%s-%04d%s%02d%c%02d%c%02d", time.tm_mday,
                  monthNames[static_cast<std::size_t>(month)], time.tm_year + 1900, separator,
                  time.tm_hour, timeSeparator, time.tm_min, timeSeparator, time.tm_sec);
    return text.data();
}

std::string nowForLog() {
    return formatTestDateTime(localCalendarTime(std::chrono::system_clock::now()));
}

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
    for (const auto& line : randomReadLogHeader(nowForLog())) {
        callIfSet(hooks.appendLogLine, line);
    }
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
        const std::string line = randomReadLogLine(runCycle(board, current.counters));
        callIfSet(hooks.appendLogLine, line);
        callIfSet(hooks.setStatistics, randomReadStatistics(current.counters));
        if (stop.requested()) {
            finishRun(hooks);
        }
    }
}

void RandomReadTest::finishRun(const RandomReadTestHooks& hooks) {
    const RandomReadCounters counters = activeRuns_.back().counters;
    activeRuns_.pop_back();
    lastFinishedRun_ = counters;
    for (const auto& line : randomReadSummary(counters, nowForLog())) {
        callIfSet(hooks.appendLogLine, line);
    }
    if (activeRuns_.empty()) {
        callIfSet(hooks.setRunning, false);
    }
}

std::string formatTestDateTime(const std::tm& time) {
    return formatDateTime(time, ", ", ':');
}

std::string formatFileDateTime(const std::tm& time) {
    return formatDateTime(time, "_", '-');
}

std::tm localCalendarTime(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm calendar{};
    localtime_r(&seconds, &calendar);
    return calendar;
}

std::string testLogFileName(const std::tm& time) {
    return "RS232_test_" + formatFileDateTime(time);
}

std::vector<std::string> randomReadLogHeader(const std::string& startTime) {
    return {"The format is: SelectFlash(flash,sector)[OK/failed],",
            "ReadFlash(flash,sector,offset,block_size)[OK/failed],",
            "time consumed[value in miliseconds].",
            "All parameters are generated randomly in whole respective range.",
            "",
            "Testing started " + startTime};
}

std::string randomReadLogLine(const RandomReadCycle& cycle, bool selectSucceeded,
                              bool readSucceeded, std::chrono::milliseconds readTime) {
    std::string line =
        "SelectFlash(" + std::to_string(cycle.kind) + "," + std::to_string(cycle.sector) + ") ";
    line += selectSucceeded ? "OK, " : "failed, ";
    std::array<char, 64> readPart{};
    std::snprintf(readPart.data(), readPart.size(), "ReadFlash(%d,%d,0x%04x,%d) ", cycle.kind,
                  cycle.sector, static_cast<unsigned>(cycle.address), cycle.blockSize);
    line += readPart.data();
    line += readSucceeded ? "OK." : "failed.";
    line += "t=" + std::to_string(readTime.count());
    return line;
}

std::string randomReadLogLine(const RandomReadCycleResult& result) {
    return randomReadLogLine(result.cycle, result.select.ok(), result.read.ok(), result.readTime);
}

std::string randomReadStatistics(const RandomReadCounters& counters) {
    return "Total cycles: " + std::to_string(counters.cycles) + "\n" +
           "SelectFlash failed: " + std::to_string(counters.cycles - counters.selectSuccesses) +
           " times\n" +
           "ReadFlash failed: " + std::to_string(counters.cycles - counters.readSuccesses) +
           " times\n" + "Total of " + std::to_string(counters.bytesRead) + " bytes read\n";
}

std::vector<std::string> randomReadSummary(const RandomReadCounters& counters,
                                           const std::string& stopTime) {
    return {
        "Testing stopped " + stopTime, "Total cycles: " + std::to_string(counters.cycles),
        "SelectFlash failed: " + std::to_string(counters.cycles - counters.selectSuccesses) +
            " times",
        "ReadFlash failed: " + std::to_string(counters.cycles - counters.readSuccesses) + " times",
        "Total of " + std::to_string(counters.bytesRead) + " bytes read successfully"};
}

}  // namespace loadstar
