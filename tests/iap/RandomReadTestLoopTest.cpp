// A whole random read test run against a scripted board: the start steps, the cycles, the stop
// request, the summary, the flags, and runs started from a run's event pump.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ProcessFlags.h"
#include "RandomReadLog.h"
#include "RandomReadTest.h"
#include "RecordingUserInterface.h"
#include "ScriptedPort.h"

namespace loadstar {
namespace {

using testing::RecordingUserInterface;
using testing::ScriptedPort;

// A board that answers SET VM, SET PAGE and READ FLASH as the real one does, or stays silent.
// Every command's payload is recorded as text (addresses and counts as numbers).
class ScriptedBoard {
  public:
    explicit ScriptedBoard(bool openPort = true) {
        link.setDevicePath("scripted");
        if (openPort) {
            EXPECT_EQ(link.openPort(), 1);
        }
    }

    bool silent = false;
    std::vector<std::string> commands;
    std::function<void(const std::string& command)> onCommand;
    RecordingUserInterface ui;
    SerialLink link{[](const std::string&) {},
                    [this] {
                        auto port = std::make_unique<ScriptedPort>();
                        port->answer = [this](const std::vector<std::uint8_t>& frame) {
                            return answer(frame);
                        };
                        return port;
                    }};
    BoardCommands board{link, ui};

  private:
    ScriptedPort::Reply answer(const std::vector<std::uint8_t>& frame) {
        const std::string payload(frame.begin() + 4, frame.end() - 2);
        std::string command = payload;
        if (payload.rfind("RRD", 0) == 0 && payload.size() == 6) {
            const int address =
                static_cast<std::uint8_t>(payload[3]) * 256 + static_cast<std::uint8_t>(payload[4]);
            const int count = static_cast<std::uint8_t>(payload[5]);
            command = "RRD " + std::to_string(address) + " " + std::to_string(count);
        }
        commands.push_back(command);
        if (onCommand) {
            onCommand(command);
        }
        if (silent) {
            return {};
        }
        if (payload.rfind("RRD", 0) == 0) {
            return testing::replyNow("RRD 0000 0000 00" +
                                     std::string(static_cast<std::uint8_t>(payload[5]), '\xff'));
        }
        return testing::replyNow(payload.substr(0, 3));
    }
};

// Records what the run did to its window, in order.
struct RecordedWindow {
    std::vector<std::string> events;
    std::vector<std::string> log;
    std::vector<std::string> allLines;  // every line ever appended, clears notwithstanding
    std::string statistics;
    std::function<void(int pump)> onPump;
    int pumps = 0;

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
            allLines.push_back(line);
        };
        h.setDescription = [this](const std::string&) { events.push_back("description"); };
        h.setButtonsForRun = [this] { events.push_back("buttons"); };
        h.showWindow = [this] {
            events.push_back(processFlags().testRunning ? "show(running)" : "show");
        };
        h.setStatistics = [this](const std::string& text) {
            events.push_back("statistics");
            statistics = text;
        };
        h.processPendingEvents = [this] {
            events.push_back(processFlags().testRunning ? "pump(running)" : "pump");
            ++pumps;
            if (onPump) {
                onPump(pumps);
            }
        };
        return h;
    }
};

// The expected log line of `cycle` with the read time left out.
std::string lineWithoutTime(const RandomReadCycle& cycle, bool selected, bool read) {
    const std::string line = randomReadLogLine(cycle, selected, read, std::chrono::milliseconds(0));
    return line.substr(0, line.size() - 1);
}

std::string withoutTime(const std::string& line) {
    const auto t = line.rfind("t=");
    EXPECT_NE(t, std::string::npos) << line;
    return line.substr(0, t + 2);
}

class RandomReadTestLoop : public ::testing::Test {
  protected:
    void SetUp() override { processFlags() = ProcessFlags{}; }
    void TearDown() override { processFlags() = ProcessFlags{}; }
};

TEST_F(RandomReadTestLoop, RunsStartStepsCyclesAndSummaryInOrder) {
    ScriptedBoard board;
    RecordedWindow window;
    window.onPump = [](int pump) {
        if (pump == 3) {
            processFlags().stopTest = true;
        }
    };
    processFlags().stopTest = true;  // left over from an earlier run: the start clears it
    RandomReadTest test;
    test.run(board.board, window.hooks());

    const std::vector<std::string> start = {"stopMirror", "clearLog", "buttons", "description",
                                            "line",       "line",     "line",    "line",
                                            "line",       "line",     "show",    "pump(running)"};
    ASSERT_GE(window.events.size(), start.size());
    EXPECT_EQ(std::vector<std::string>(window.events.begin(), window.events.begin() + 12), start);
    EXPECT_FALSE(processFlags().testRunning);
    EXPECT_FALSE(test.isRunning());
    EXPECT_EQ(window.pumps, 3);

    // Header, three cycles, five summary lines.
    ASSERT_EQ(window.log.size(), 6U + 3U + 5U);
    EXPECT_EQ(window.log[0], "The format is: SelectFlash(flash,sector)[OK/failed],");
    EXPECT_EQ(window.log[5].rfind("Testing started ", 0), 0U);
    RandomReadTest reference;
    for (int i = 0; i < 3; ++i) {
        const RandomReadCycle cycle = reference.drawCycle();
        EXPECT_EQ(withoutTime(window.log[6 + static_cast<std::size_t>(i)]),
                  lineWithoutTime(cycle, true, true));
        // The line tells what went on the wire.
        const std::string vm = cycle.kind == 0 ? "VM 92" : "VM 8C";
        const std::string page =
            cycle.kind == 0 ? "PG 0" + std::to_string(cycle.sector) : std::string("PG 00");
        const std::string read =
            "RRD " + std::to_string(cycle.address) + " " + std::to_string(cycle.blockSize);
        const std::vector<std::string> sent(board.commands.begin() + 3 * i,
                                            board.commands.begin() + 3 * i + 3);
        EXPECT_EQ(sent, (std::vector<std::string>{vm, page, read}));
    }
    EXPECT_EQ(window.log[9].rfind("Testing stopped ", 0), 0U);
    int bytes = 0;
    RandomReadTest sizes;
    for (int i = 0; i < 3; ++i) {
        bytes += sizes.drawCycle().blockSize;
    }
    const std::vector<std::string> totals = {
        "Total cycles: 3", "SelectFlash failed: 0 times", "ReadFlash failed: 0 times",
        "Total of " + std::to_string(bytes) + " bytes read successfully"};
    EXPECT_EQ(std::vector<std::string>(window.log.begin() + 10, window.log.end()), totals);
    EXPECT_EQ(window.statistics,
              "Total cycles: 3\nSelectFlash failed: 0 times\nReadFlash failed: "
              "0 times\nTotal of " +
                  std::to_string(bytes) + " bytes read\n");
    // Statistics follow every cycle line.
    int statistics = 0;
    for (const auto& event : window.events) {
        statistics += event == "statistics" ? 1 : 0;
    }
    EXPECT_EQ(statistics, 3);
}

TEST_F(RandomReadTestLoop, SilentBoardFailsEveryStepQuietlyAndStillTriesTheRead) {
    ScriptedBoard board;
    board.silent = true;
    RecordedWindow window;
    window.onPump = [](int pump) { processFlags().stopTest = pump == 2; };
    RandomReadTest test;
    test.run(board.board, window.hooks());

    ASSERT_EQ(window.log.size(), 6U + 2U + 5U);
    for (std::size_t i = 6; i < 8; ++i) {
        EXPECT_NE(window.log[i].find(") failed, ReadFlash("), std::string::npos) << window.log[i];
        EXPECT_NE(window.log[i].find(") failed.t="), std::string::npos) << window.log[i];
    }
    EXPECT_EQ(window.log[8].rfind("Testing stopped ", 0), 0U);
    EXPECT_EQ(window.log[9], "Total cycles: 2");
    EXPECT_EQ(window.log[10], "SelectFlash failed: 2 times");
    EXPECT_EQ(window.log[11], "ReadFlash failed: 2 times");
    EXPECT_EQ(window.log[12], "Total of 0 bytes read successfully");
    EXPECT_TRUE(board.ui.messages.empty()) << board.ui.messages.front().text;
    // The select gives up after SET VM; the read is sent anyway.
    int reads = 0;
    for (const auto& command : board.commands) {
        EXPECT_EQ(command.rfind("PG", 0), std::string::npos);
        reads += command.rfind("RRD", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(reads, 2 * (SerialLink::defaultRetries + 1));
    EXPECT_FALSE(processFlags().testRunning);
}

TEST_F(RandomReadTestLoop, StopAskedDuringABusyCycleEndsAfterTheNextOne) {
    ScriptedBoard board;
    RecordedWindow window;
    bool stopQueued = false;
    int reads = 0;
    // The request comes in while the second cycle reads; the pump delivers it.
    board.onCommand = [&](const std::string& command) {
        if (command.rfind("RRD", 0) == 0 && ++reads == 2) {
            stopQueued = true;
        }
    };
    window.onPump = [&](int) {
        if (stopQueued) {
            processFlags().stopTest = true;
        }
    };
    RandomReadTest test;
    test.run(board.board, window.hooks());
    ASSERT_EQ(window.log.size(), 6U + 3U + 5U);
    EXPECT_EQ(window.log[9].rfind("Testing stopped ", 0), 0U);
    EXPECT_EQ(window.log[10], "Total cycles: 3");
}

TEST_F(RandomReadTestLoop, RunStartedFromThePumpCompletesBeforeTheInterruptedOne) {
    ScriptedBoard board;
    RecordedWindow window;
    RandomReadTest test;
    window.onPump = [&](int pump) {
        if (pump == 2) {
            test.run(board.board, window.hooks());  // "Run test" pressed during the run
        } else if (pump == 4) {
            processFlags().stopTest = true;
        }
    };
    test.run(board.board, window.hooks());

    // The inner run cleared the log: its header, its two cycles and summary, then the outer
    // run's interrupted cycle and its summary.
    ASSERT_EQ(window.log.size(), 6U + 2U + 5U + 1U + 5U);
    EXPECT_EQ(window.log[8].rfind("Testing stopped ", 0), 0U);
    EXPECT_EQ(window.log[9], "Total cycles: 2");
    EXPECT_EQ(window.log[13].rfind("SelectFlash(", 0), 0U);
    EXPECT_EQ(window.log[14].rfind("Testing stopped ", 0), 0U);
    EXPECT_EQ(window.log[15], "Total cycles: 2");  // one before the inner run, one after
    EXPECT_EQ(window.pumps, 4);
    EXPECT_FALSE(processFlags().testRunning);
    EXPECT_FALSE(test.isRunning());

    // The cycles continue one sequence: outer 1, inner 1, inner 2, outer 2.
    std::vector<std::string> cycleLines;
    for (const auto& line : window.allLines) {
        if (testing::isCycleLine(line)) {
            cycleLines.push_back(withoutTime(line));
        }
    }
    RandomReadTest reference;
    ASSERT_EQ(cycleLines.size(), 4U);
    for (const auto& line : cycleLines) {
        EXPECT_EQ(line, lineWithoutTime(reference.drawCycle(), true, true));
    }
}

TEST_F(RandomReadTestLoop, ErrorBoxStaysSilentUntilTheLastRunHasEnded) {
    ScriptedBoard board(false);  // port closed: every exchange fails at once
    RecordedWindow window;
    RandomReadTest test;
    std::vector<bool> runningAtCycleLines;
    auto hooks = window.hooks();
    const auto append = hooks.appendLogLine;
    hooks.appendLogLine = [&](const std::string& line) {
        if (testing::isCycleLine(line)) {
            runningAtCycleLines.push_back(processFlags().testRunning);
        }
        append(line);
    };
    window.onPump = [&](int pump) {
        if (pump == 1) {
            test.run(board.board, hooks);
        } else {
            processFlags().stopTest = true;
        }
    };
    test.run(board.board, hooks);
    EXPECT_EQ(runningAtCycleLines, (std::vector<bool>{true, true}));
    EXPECT_TRUE(board.ui.messages.empty());
    EXPECT_FALSE(processFlags().testRunning);
}

TEST_F(RandomReadTestLoop, ManyNestedStartsNeitherCrashNorLoseASummary) {
    ScriptedBoard board(false);
    RandomReadTest test;
    constexpr int nestedRuns = 100000;
    int started = 1;
    int summaries = 0;
    int oneCycleSummaries = 0;
    bool previousWasStopped = false;
    RandomReadTestHooks hooks;
    hooks.appendLogLine = [&](const std::string& line) {
        if (previousWasStopped) {
            oneCycleSummaries += line == "Total cycles: 1" ? 1 : 0;
        }
        previousWasStopped = line.rfind("Testing stopped ", 0) == 0;
        summaries += previousWasStopped ? 1 : 0;
    };
    hooks.processPendingEvents = [&] {
        if (started <= nestedRuns) {
            ++started;
            test.run(board.board, hooks);
        } else {
            processFlags().stopTest = true;
        }
    };
    test.run(board.board, hooks);
    EXPECT_EQ(summaries, nestedRuns + 1);
    EXPECT_EQ(oneCycleSummaries, nestedRuns + 1);
    EXPECT_FALSE(test.isRunning());
    EXPECT_FALSE(processFlags().testRunning);
}

TEST_F(RandomReadTestLoop, HookThatThrowsLeavesNoRunBehind) {
    ScriptedBoard board(false);
    RandomReadTest test;
    RandomReadTestHooks hooks;
    hooks.processPendingEvents = [] { throw std::runtime_error("out of memory"); };
    EXPECT_THROW(test.run(board.board, hooks), std::runtime_error);
    EXPECT_FALSE(test.isRunning());
    EXPECT_FALSE(processFlags().testRunning);

    int lines = 0;
    hooks.appendLogLine = [&](const std::string&) { ++lines; };
    hooks.processPendingEvents = [] { processFlags().stopTest = true; };
    test.run(board.board, hooks);
    EXPECT_EQ(lines, 6 + 1 + 5);
}

}  // namespace
}  // namespace loadstar
