// The random read test's core: the draws' ranges and fixed sequence, its texts, and whole runs
// against the emulated board (start steps, cycles, stop requests, summary, flags, nested runs).

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/BoardModel.h"
#include "emulator/InProcessBoardPort.h"
#include "iap/RandomReadTest.h"
#include "support/CalendarTime.h"
#include "words/RandomReadTestWords.h"

namespace loadstar {
namespace {

// Every new RandomReadTest (every start of the program) draws the same cycles, std::mt19937's
// from its default state whatever the platform, each inside its range and reaching both ends.
TEST(RandomReadTestDraws, AreTheSameAtEveryStartAndStayInsideTheirRanges) {
    const int sectors[2] = {8, 4};
    const int lastByte[2] = {0xFFFF, 0x9FFF};  // never read
    RandomReadTest test;
    RandomReadTest again;
    EXPECT_EQ(test.drawCycle(), (RandomReadCycle{0, 6, 84, 0xc3a5}));
    again.drawCycle();
    std::set<int> seenSectors[2];
    std::set<int> blockSizes;
    int lowest[2] = {0x10000, 0x10000};
    int highestEnd[2] = {0, 0};
    for (int i = 0; i < 200000; ++i) {
        const RandomReadCycle cycle = test.drawCycle();
        ASSERT_EQ(cycle, again.drawCycle()) << i;
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
    EXPECT_EQ(seenSectors[0].size() + seenSectors[1].size(), 12U);
    EXPECT_EQ(blockSizes.size(), 90U);
    EXPECT_EQ(*blockSizes.begin(), 10);
    EXPECT_EQ(*blockSizes.rbegin(), 99);
    EXPECT_EQ(lowest[0], 0x8000);
    EXPECT_EQ(lowest[1], 0x8000);
    EXPECT_EQ(highestEnd[0], 0xFFFE);
    EXPECT_EQ(highestEnd[1], 0x9FFE);
}

TEST(RandomReadTestTexts, DatesUseDayWithoutZeroEnglishMonthAndTwentyFourHours) {
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::setlocale(LC_ALL, "C.UTF-8");  // whatever the locale, month names stay English
    for (int month = 1; month <= 12; ++month) {
        EXPECT_EQ(formatTestDateTime(testing::calendar(3, month, 2025, 4, 5, 6)),
                  std::string("3-") + months[month - 1] + "-2025, 04:05:06");
    }
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(testLogFileName(testing::calendar(6, 12, 2026, 18, 5, 0)),
              "RS232_test_6-Dec-2026_18-05-00");
    EXPECT_EQ(formatTestDateTime(localCalendarTime(testing::localTime(6, 12, 2026, 8, 5, 9))),
              "6-Dec-2026, 08:05:09");
}

TEST(RandomReadTestTexts, HeaderDescriptionLogLineAndStatistics) {
    EXPECT_EQ(randomReadLogHeader("1-Jan-2000, 00:00:00"),
              (std::vector<std::string>{
                  "The format is: SelectFlash(flash,sector)[OK/failed],",
                  "ReadFlash(flash,sector,offset,block_size)[OK/failed],",
                  "time consumed[value in miliseconds].",
                  "All parameters are generated randomly in whole respective range.", "",
                  "Testing started 1-Jan-2000, 00:00:00"}));
    using std::chrono::milliseconds;
    EXPECT_EQ(randomReadLogLine({0, 5, 57, 0xa3f0}, true, true, milliseconds(96)),
              "SelectFlash(0,5) OK, ReadFlash(0,5,0xa3f0,57) OK.t=96");
    EXPECT_EQ(randomReadLogLine({1, 3, 10, 0x00ab}, false, true, milliseconds(1234)),
              "SelectFlash(1,3) failed, ReadFlash(1,3,0x00ab,10) OK.t=1234");
    // Failures are the cycles minus the successes; totals beyond 32 bits stay positive.
    RandomReadCounters counters{50'000'000, 49'999'998, 49'999'997, 2'750'000'000};
    EXPECT_EQ(randomReadStatistics(counters),
              "Total cycles: 50000000\nSelectFlash failed: 2 times\nReadFlash failed: 3 times\n"
              "Total of 2750000000 bytes read\n");
}

using emulator::InProcessBoardPort;

// A cycle's line up to its read time.
std::string untimed(const std::string& line) {
    return line.substr(0, line.rfind("t="));
}

class RandomReadTestLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        link.setDevicePath("in-process");
        ASSERT_EQ(link.openPort(), 1);
    }

    // Records what the run does to its window, in order; onPump runs at every event pump.
    RandomReadTestHooks hooks() {
        RandomReadTestHooks h;
        h.stopMirror = [this] { events.push_back("stopMirror"); };
        h.clearLog = [this] {
            events.push_back("clearLog");
            log.clear();
        };
        h.showDescription = [this] { events.push_back("description"); };
        h.setButtonsForRun = [this] { events.push_back("buttons"); };
        h.showWindow = [this] { events.push_back("show"); };
        wordRandomReadLog(
            h,
            [this](const std::string& line) {
                events.push_back("line");
                log.push_back(line);
            },
            [this](const std::string& text) {
                events.push_back("statistics");
                statistics = text;
            });
        h.setRunning = [this](bool now) { running = now; };
        h.processPendingEvents = [this] {
            events.push_back(running ? "pump(running)" : "pump");
            if (onPump) {
                onPump(++pumps);
            }
        };
        return h;
    }

    emulator::BoardModel model;
    InProcessBoardPort* port = nullptr;
    SerialLink link{nullptr, [this] {
                        auto made = std::make_unique<InProcessBoardPort>(model);
                        port = made.get();
                        return made;
                    }};
    BoardCommands board{link};
    RandomReadTest test;
    CancelToken stop;
    bool running = false;
    std::vector<std::string> events;
    std::vector<std::string> log;
    std::string statistics;
    std::function<void(int pump)> onPump;
    int pumps = 0;
};

TEST_F(RandomReadTestLoop, RunsStartStepsCyclesAndSummaryInOrder) {
    onPump = [this](int pump) {
        if (pump == 3) {
            stop.request();
        }
    };
    stop.request();  // left over from an earlier run: the start clears it
    test.run(board, hooks(), stop);

    const std::vector<std::string> start = {"stopMirror", "clearLog", "buttons", "description",
                                            "line",       "line",     "line",    "line",
                                            "line",       "line",     "show",    "pump(running)"};
    ASSERT_GE(events.size(), start.size());
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 12), start);
    EXPECT_EQ(std::count(events.begin(), events.end(), "statistics"), 3);
    EXPECT_FALSE(running);
    EXPECT_FALSE(test.isRunning());

    // Header, three cycles, five summary lines; each line tells what went on the wire.
    ASSERT_EQ(log.size(), 6U + 3U + 5U);
    EXPECT_EQ(log[5].rfind("Testing started ", 0), 0U);
    const auto sent = model.commandNames();
    const auto reads = model.payloadsOf("RRD");
    ASSERT_EQ(sent.size(), 9U);
    RandomReadTest reference;
    int bytes = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const RandomReadCycle cycle = reference.drawCycle();
        bytes += cycle.blockSize;
        EXPECT_EQ(untimed(log[6 + i]), untimed(randomReadLogLine(cycle, true, true, {})));
        EXPECT_EQ(sent[3 * i], cycle.kind == 0 ? "VM 92" : "VM 8C");
        EXPECT_EQ(sent[3 * i + 1], "PG 0" + std::to_string(cycle.kind == 0 ? cycle.sector : 0));
        EXPECT_EQ(reads[i][3] * 256 + reads[i][4], cycle.address);
        EXPECT_EQ(reads[i][5], cycle.blockSize);
    }
    EXPECT_EQ(log[9].rfind("Testing stopped ", 0), 0U);
    const std::string total = "Total of " + std::to_string(bytes) + " bytes read";
    EXPECT_EQ(std::vector<std::string>(log.begin() + 10, log.end()),
              (std::vector<std::string>{"Total cycles: 3", "SelectFlash failed: 0 times",
                                        "ReadFlash failed: 0 times", total + " successfully"}));
    EXPECT_EQ(statistics.substr(statistics.find("Total of ")), total + "\n");
}

TEST_F(RandomReadTestLoop, SilentBoardFailsEveryStepQuietlyAndStillTriesTheRead) {
    model.setFaults({.silent = true});
    onPump = [this](int pump) {
        if (pump == 2) {
            stop.request();
        }
    };
    test.run(board, hooks(), stop);

    ASSERT_EQ(log.size(), 6U + 2U + 5U);
    for (const auto& line : {log[6], log[7]}) {
        EXPECT_NE(line.find(") failed, ReadFlash("), std::string::npos) << line;
        EXPECT_NE(line.find(") failed.t="), std::string::npos) << line;
    }
    EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()),
              (std::vector<std::string>{"Total cycles: 2", "SelectFlash failed: 2 times",
                                        "ReadFlash failed: 2 times",
                                        "Total of 0 bytes read successfully"}));
    // The select gives up after SET VM; the read is sent anyway.
    EXPECT_EQ(model.countOf("PG "), 0);
    EXPECT_EQ(model.countOf("RRD"), 2 * (SerialLink::defaultRetries + 1));
}

TEST_F(RandomReadTestLoop, StopAskedDuringABusyCycleEndsAfterTheNextOne) {
    bool stopQueued = false;
    int reads = 0;
    port->onWrite = [&](const std::vector<std::uint8_t>& frame) {
        stopQueued = stopQueued || (frame[4] == 'R' && frame[5] == 'R' && ++reads == 2);
    };
    // The request comes in while the second cycle reads; the next pump delivers it.
    onPump = [&](int) {
        if (stopQueued) {
            stop.request();
        }
    };
    test.run(board, hooks(), stop);
    ASSERT_EQ(log.size(), 6U + 3U + 5U);
    EXPECT_EQ(log[10], "Total cycles: 3");
}

// The in-process board answers at once, so the runs cost no waiting.
TEST_F(RandomReadTestLoop, ManyNestedStartsNeitherCrashNorLoseASummary) {
    constexpr int nestedRuns = 100000;
    int started = 1;
    int oneCycleSummaries = 0;
    RandomReadTestHooks h;
    h.runFinished = [&](const RandomReadCounters& counters, std::chrono::system_clock::time_point) {
        oneCycleSummaries += counters.cycles == 1 ? 1 : 0;
    };
    h.processPendingEvents = [&] {
        if (started <= nestedRuns) {
            ++started;
            test.run(board, h, stop);
        } else {
            stop.request();
        }
    };
    test.run(board, h, stop);
    EXPECT_EQ(oneCycleSummaries, nestedRuns + 1);
    EXPECT_FALSE(test.isRunning());
    EXPECT_FALSE(running);
}

TEST_F(RandomReadTestLoop, HookThatThrowsLeavesNoRunBehind) {
    link.closePort();
    RandomReadTestHooks h;
    h.processPendingEvents = [] { throw std::runtime_error("out of memory"); };
    EXPECT_THROW(test.run(board, h, stop), std::runtime_error);
    EXPECT_FALSE(test.isRunning());
    EXPECT_FALSE(running);
}

}  // namespace
}  // namespace loadstar
