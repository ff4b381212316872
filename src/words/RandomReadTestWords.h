#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "iap/RandomReadTest.h"

namespace loadstar {

// The random read test's log, as the test window shows and saves it and the command-line tool
// prints it. Dates are local time with English month names, whatever the locale.

// "d-mmm-yyyy, hh:mm:ss", e.g. "6-Dec-2026, 08:05:09".
std::string formatTestDateTime(const std::tm& time);
// "d-mmm-yyyy_hh-mm-ss", e.g. "6-Dec-2026_08-05-09", for file names.
std::string formatFileDateTime(const std::tm& time);
// The local calendar time of `when`.
std::tm localCalendarTime(std::chrono::system_clock::time_point when);
// "RS232_test_" + formatFileDateTime: the name Save Log proposes.
std::string testLogFileName(const std::tm& time);

// The four format lines, an empty line and "Testing started " + `startTime`.
std::vector<std::string> randomReadLogHeader(const std::string& startTime);
// "SelectFlash(k,s) OK, ReadFlash(k,s,0x%04x,n) failed.t=ms" and its variants.
std::string randomReadLogLine(const RandomReadCycleResult& result);
std::string randomReadLogLine(const RandomReadCycle& cycle, bool selectSucceeded,
                              bool readSucceeded, std::chrono::milliseconds readTime);
// "Total cycles: ", "SelectFlash failed: ", "ReadFlash failed: ", "Total of ... bytes read", each
// line ended by a line feed.
std::string randomReadStatistics(const RandomReadCounters& counters);
// "Testing stopped " + `stopTime` and the four totals ("... bytes read successfully").
std::vector<std::string> randomReadSummary(const RandomReadCounters& counters,
                                           const std::string& stopTime);

// Sets the run's log hooks so that they hand over the log's words: the header, a line per cycle
// and the summary to `appendLogLine`, the statistics after every cycle to `setStatistics`.
void wordRandomReadLog(RandomReadTestHooks& hooks,
                       std::function<void(const std::string& line)> appendLogLine,
                       std::function<void(const std::string& text)> setStatistics);

}  // namespace loadstar
