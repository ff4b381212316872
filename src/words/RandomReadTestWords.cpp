#include "words/RandomReadTestWords.h"

#include <array>
#include <cstdio>
#include <utility>

namespace loadstar {

namespace {

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

std::string logTime(std::chrono::system_clock::time_point when) {
    return formatTestDateTime(localCalendarTime(when));
}

}  // namespace

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

void wordRandomReadLog(RandomReadTestHooks& hooks,
                       std::function<void(const std::string& line)> appendLogLine,
                       std::function<void(const std::string& text)> setStatistics) {
    hooks.runStarted = [appendLogLine](std::chrono::system_clock::time_point start) {
        for (const std::string& line : randomReadLogHeader(logTime(start))) {
            appendLogLine(line);
        }
    };
    hooks.cycleDone = [appendLogLine, setStatistics = std::move(setStatistics)](
                          const RandomReadCycleResult& result, const RandomReadCounters& counters) {
        appendLogLine(randomReadLogLine(result));
        if (setStatistics) {
            setStatistics(randomReadStatistics(counters));
        }
    };
    hooks.runFinished = [appendLogLine = std::move(appendLogLine)](
                            const RandomReadCounters& counters,
                            std::chrono::system_clock::time_point stop) {
        for (const std::string& line : randomReadSummary(counters, logTime(stop))) {
            appendLogLine(line);
        }
    };
}

}  // namespace loadstar
