// A whole random read test run against the emulated board: the start steps, the cycles, the stop
// request, the summary, the flags, and runs started from a run's event pump.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BoardModel.h"
#include "InProcessBoardPort.h"
#include "ProcessFlags.h"
#include "RandomReadTest.h"
#include "RecordingUserInterface.h"

namespace loadstar {
namespace {

using emulator::InProcessBoardPort;

// A cycle's line up to its read time.
std::string untimed(const std::string& line) {
    return line.substr(0, line.rfind("t="));
}

class RandomReadTestLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        processFlags() = ProcessFlags{};
        link.setDevicePath("in-process");
        ASSERT_EQ(link.openPort(), 1);
    }
    void TearDown() override { processFlags() = ProcessFlags{}; }

    // Records what the run does to its window, in order; onPump runs at every event pump.
    RandomReadTestHooks hooks() {
        RandomReadTestHooks h;
        h.stopMirror = [this] { events.push_back("stopMirror"); };
        h.clearLog = [this] {
            events.push_back("clearLog");
            log.clear();
        };
        h.appendLogLine = [this](const std::string& line) {
            events.push_back("line");
            log.push_back(line);
        };
        h.setDescription = [this](const std::string&) { events.push_back("description"); };
        h.setButtonsForRun = [this] { events.push_back("buttons"); };
        h.showWindow = [this] { events.push_back("show"); };
        h.setStatistics = [this](const std::string& text) {
            events.push_back("statistics");
            statistics = text;
        };
        h.processPendingEvents = [this] {
            events.push_back(processFlags().testRunning ? "pump(running)" : "pump");
            if (onPump) {
                onPump(++pumps);
            }
        };
        return h;
    }

    emulator::BoardModel model;
    InProcessBoardPort* port = nullptr;
    testing::RecordingUserInterface ui;
    SerialLink link{[](const std::string&) {},
                    [this] {
                        auto made = std::make_unique<InProcessBoardPort>(model);
                        port = made.get();
                        return made;
                    }};
    BoardCommands board{link, ui};
    RandomReadTest test;
    std::vector<std::string> events;
    std::vector<std::string> log;
    std::string statistics;
    std::function<void(int pump)> onPump;
    int pumps = 0;
};

TEST_F(RandomReadTestLoop, RunsStartStepsCyclesAndSummaryInOrder) {
    onPump = [](int pump) { processFlags().stopTest = pump == 3; };
    processFlags().stopTest = true;  // left over from an earlier run: the start clears it
    test.run(board, hooks());

    const std::vector<std::string> start = {"stopMirror", "clearLog", "buttons", "description",
                                            "line",       "line",     "line",    "line",
                                            "line",       "line",     "show",    "pump(running)"};
    ASSERT_GE(events.size(), start.size());
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 12), start);
    EXPECT_EQ(std::count(events.begin(), events.end(), "statistics"), 3);
    EXPECT_FALSE(processFlags().testRunning);
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
    EXPECT_EQ(statistics,
              "Total cycles: 3\nSelectFlash failed: 0 times\nReadFlash failed: 0 "
              "times\n" +
                  total + "\n");
}

TEST_F(RandomReadTestLoop, SilentBoardFailsEveryStepQuietlyAndStillTriesTheRead) {
    emulator::FaultSettings silent;
    silent.silent = true;
    model.setFaults(silent);
    onPump = [](int pump) { processFlags().stopTest = pump == 2; };
    test.run(board, hooks());

    ASSERT_EQ(log.size(), 6U + 2U + 5U);
    for (const auto& line : {log[6], log[7]}) {
        EXPECT_NE(line.find(") failed, ReadFlash("), std::string::npos) << line;
        EXPECT_NE(line.find(") failed.t="), std::string::npos) << line;
    }
    EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()),
              (std::vector<std::string>{"Total cycles: 2", "SelectFlash failed: 2 times",
                                        "ReadFlash failed: 2 times",
                                        "Total of 0 bytes read successfully"}));
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text;
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
    onPump = [&](int) { processFlags().stopTest = stopQueued; };
    test.run(board, hooks());
    ASSERT_EQ(log.size(), 6U + 3U + 5U);
    EXPECT_EQ(log[10], "Total cycles: 3");
}

TEST_F(RandomReadTestLoop, ManyNestedStartsNeitherCrashNorLoseASummary) {
    link.closePort();
    constexpr int nestedRuns = 100000;
    int started = 1;
    int oneCycleSummaries = 0;
    bool previousWasStopped = false;
    RandomReadTestHooks h;
    h.appendLogLine = [&](const std::string& line) {
        oneCycleSummaries += previousWasStopped && line == "Total cycles: 1" ? 1 : 0;
        previousWasStopped = line.rfind("Testing stopped ", 0) == 0;
    };
    h.processPendingEvents = [&] {
        if (started <= nestedRuns) {
            ++started;
            test.run(board, h);
        } else {
            processFlags().stopTest = true;
        }
    };
    test.run(board, h);
    EXPECT_EQ(oneCycleSummaries, nestedRuns + 1);
    EXPECT_TRUE(ui.messages.empty());  // silent until the last run has ended
    EXPECT_FALSE(test.isRunning());
    EXPECT_FALSE(processFlags().testRunning);
}

TEST_F(RandomReadTestLoop, HookThatThrowsLeavesNoRunBehind) {
    link.closePort();
    RandomReadTestHooks h;
    h.processPendingEvents = [] { throw std::runtime_error("out of memory"); };
    EXPECT_THROW(test.run(board, h), std::runtime_error);
    EXPECT_FALSE(test.isRunning());
    EXPECT_FALSE(processFlags().testRunning);

    int lines = 0;
    h.appendLogLine = [&](const std::string&) { ++lines; };
    h.processPendingEvents = [] { processFlags().stopTest = true; };
    test.run(board, h);
    EXPECT_EQ(lines, 6 + 1 + 5);
}

}  // namespace
}  // namespace loadstar
