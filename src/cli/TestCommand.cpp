#include "cli/TestCommand.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "cli/CommandResult.h"
#include "cli/Console.h"
#include "cli/ExitCode.h"
#include "cli/Interrupt.h"
#include "iap/AtomicFile.h"
#include "iap/RandomReadTest.h"
#include "words/FileFaultWords.h"
#include "words/RandomReadTestWords.h"

namespace loadstar::cli {

namespace {

// The largest --cycles and --duration taken: far beyond any run, yet a number, so that no
// option can ask for a run without end other than by leaving both out.
constexpr std::int64_t maximumLimit = 1'000'000'000;

// A whole number of cycles written in decimal, 1 to maximumLimit; nothing else.
std::string checkCycleCount(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > maximumLimit) {
        return "Value " + text + " is not a whole number from 1 to 1000000000";
    }
    return {};
}

// A number of seconds written in decimal, more than 0 and at most maximumLimit: never NaN or
// infinity, with which a run would never end.
std::string checkDuration(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        value <= 0 || value > static_cast<double>(maximumLimit)) {
        return "Value " + text + " is not a number of seconds above 0 and at most 1000000000";
    }
    return {};
}

struct TestLimits {
    std::int64_t cycles = 0;  // 0: no limit
    double seconds = 0;       // 0: no limit
    std::string logFile;      // empty: no file
};

// Where the run's texts go: the log to stdout and the file, the statistics to a terminal.
struct TestOutput {
    AtomicFile* logFile = nullptr;
    bool logWriteFailed = false;
    bool statisticsTerminal = false;
    bool statisticsShown = false;
};

// Erases the statistics line so that the next log line starts at the left edge.
void clearStatistics(TestOutput& output) {
    if (output.statisticsShown) {
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
        output.statisticsShown = false;
    }
}

void appendLogLine(TestOutput& output, const std::string& line) {
    clearStatistics(output);
    // With --json the log is for the reader: stdout carries the closing object alone.
    std::FILE* out = jsonOutput() ? stderr : stdout;
    std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
    if (output.logFile != nullptr && !output.logWriteFailed) {
        output.logWriteFailed = !output.logFile->write(line + "\r\n");
    }
}

// The window's four statistics lines as one self-updating line.
void showStatistics(TestOutput& output, const std::string& text) {
    if (!output.statisticsTerminal) {
        return;
    }
    std::string line;
    for (const char character : text) {
        if (character == '\n') {
            line += ", ";
        } else {
            line += character;
        }
    }
    if (line.size() >= 2) {
        line.resize(line.size() - 2);  // the text's own closing line feed
    }
    std::fprintf(stderr, "\r\x1b[K%s", line.c_str());
    std::fflush(stderr);
    output.statisticsShown = true;
}

RandomReadTestHooks makeHooks(TestOutput& output, const TestLimits& limits, CancelToken& stop) {
    using Clock = std::chrono::steady_clock;
    RandomReadTestHooks hooks;
    // Statistics follow every cycle: the moment to decide whether that cycle was the last.
    auto setStatistics = [&output, &limits, &stop, start = Clock::now(),
                          cycles = std::int64_t{0}](const std::string& text) mutable {
        showStatistics(output, text);
        ++cycles;
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        // A log that stdout no longer takes (its reader stopped) ends the run too.
        if ((limits.cycles > 0 && cycles >= limits.cycles) ||
            (limits.seconds > 0 && elapsed.count() >= limits.seconds) ||
            InterruptGuard::interrupted() || std::ferror(stdout) != 0) {
            stop.request();
        }
    };
    wordRandomReadLog(
        hooks, [&output](const std::string& line) { appendLogLine(output, line); },
        std::move(setStatistics));
    hooks.processPendingEvents = [&stop] {
        if (InterruptGuard::interrupted()) {
            stop.request();
        }
    };
    return hooks;
}

int runTest(const CliOptions& options, const TestLimits& limits) {
    const InterruptGuard guard;
    TestOutput output;
    output.statisticsTerminal = !options.quiet && isTerminal(stderr);
    std::unique_ptr<AtomicFile> logFile;
    if (!limits.logFile.empty()) {
        logFile = std::make_unique<AtomicFile>(limits.logFile);
        if (!logFile->create()) {
            std::fprintf(stderr, "Cannot create file %s: %s\n", limits.logFile.c_str(),
                         fileFaultWords(logFile->fault()).c_str());
            return exitFailure;
        }
        output.logFile = logFile.get();
    }
    CliSession session(options);
    if (session.connect() != exitSuccess) {
        return exitFailure;
    }

    RandomReadTest test;
    CancelToken stop;
    test.run(session.board(), makeHooks(output, limits, stop), stop);
    clearStatistics(output);

    if (logFile != nullptr && (output.logWriteFailed || !logFile->commit())) {
        std::fprintf(stderr, "Cannot create file %s: %s\n", limits.logFile.c_str(),
                     fileFaultWords(logFile->fault()).c_str());
        return exitFailure;
    }
    const RandomReadCounters& counters = test.lastFinishedRun();
    commandReport()["cycles"] = counters.cycles;
    commandReport()["select_failures"] = counters.cycles - counters.selectSuccesses;
    commandReport()["read_failures"] = counters.cycles - counters.readSuccesses;
    commandReport()["bytes"] = counters.bytesRead;
    if (InterruptGuard::interrupted()) {
        return exitInterrupted;
    }
    const bool allSucceeded =
        counters.selectSuccesses == counters.cycles && counters.readSuccesses == counters.cycles;
    return allSucceeded ? exitSuccess : exitDifference;
}

}  // namespace

void addTestCommand(CLI::App& app, const CliOptions& options, CommandList& commands) {
    auto limits = std::make_shared<TestLimits>();
    auto* test = app.add_subcommand(
        "test",
        "Random read test: select a random flash and sector and read a random block, again and "
        "again, logging each cycle; ends after --cycles, after --duration, or on Ctrl-C, with a "
        "summary. Exit status 1 when a select or read failed");
    auto* cycles =
        test->add_option("--cycles", limits->cycles, "Run this many cycles (1 to 1000000000)")
            ->check(CLI::Validator(checkCycleCount, "CYCLES"));
    auto* duration = test->add_option("--duration", limits->seconds,
                                      "Stop after the cycle in which this many seconds have passed "
                                      "(above 0, at most 1000000000)")
                         ->check(CLI::Validator(checkDuration, "SECONDS"));
    cycles->excludes(duration);
    test->add_option("--log", limits->logFile,
                     "Also write the log to this file, lines ended by CR LF (replaced when the run "
                     "has ended)");
    commands.push_back({test, [&options, limits] { return runTest(options, *limits); }});
}

}  // namespace loadstar::cli
