// The random read test's texts: dates, log lines, statistics, header and summary.

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <string>
#include <vector>

#include "CalendarTime.h"
#include "RandomReadTest.h"

namespace loadstar {
namespace {

using testing::calendar;

TEST(RandomReadTestTexts, DatesUseDayWithoutZeroEnglishMonthAndTwentyFourHours) {
    struct Case {
        std::tm time;
        const char* log;
        const char* file;
    };
    const std::vector<Case> cases = {
        {calendar(6, 12, 2026, 8, 5, 9), "6-Dec-2026, 08:05:09", "6-Dec-2026_08-05-09"},
        {calendar(1, 1, 2000, 0, 0, 0), "1-Jan-2000, 00:00:00", "1-Jan-2000_00-00-00"},
        {calendar(31, 5, 1999, 23, 59, 59), "31-May-1999, 23:59:59", "31-May-1999_23-59-59"},
        {calendar(15, 2, 2024, 12, 30, 0), "15-Feb-2024, 12:30:00", "15-Feb-2024_12-30-00"},
        {calendar(9, 9, 2031, 13, 7, 45), "9-Sep-2031, 13:07:45", "9-Sep-2031_13-07-45"},
    };
    // Whatever locale the process runs in, month names stay English.
    std::setlocale(LC_ALL, "C.UTF-8");
    for (const auto& c : cases) {
        EXPECT_EQ(formatTestDateTime(c.time), c.log);
        EXPECT_EQ(formatFileDateTime(c.time), c.file);
        EXPECT_EQ(testLogFileName(c.time), std::string("RS232_test_") + c.file);
    }
    std::setlocale(LC_ALL, "C");
}

TEST(RandomReadTestTexts, EveryMonthHasItsAbbreviation) {
    const std::vector<std::string> months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int month = 1; month <= 12; ++month) {
        EXPECT_EQ(formatTestDateTime(calendar(3, month, 2025, 4, 5, 6)),
                  "3-" + months[static_cast<std::size_t>(month - 1)] + "-2025, 04:05:06");
    }
}

TEST(RandomReadTestTexts, LocalCalendarTimeRoundTrips) {
    const auto when = testing::localTime(6, 12, 2026, 8, 5, 9);
    EXPECT_EQ(formatTestDateTime(localCalendarTime(when)), "6-Dec-2026, 08:05:09");
}

TEST(RandomReadTestTexts, LogLineHasTheExactForm) {
    using std::chrono::milliseconds;
    struct Case {
        RandomReadCycle cycle;
        bool selected;
        bool read;
        milliseconds time;
        const char* line;
    };
    const std::vector<Case> cases = {
        {{0, 5, 57, 0xa3f0},
         true,
         true,
         milliseconds(96),
         "SelectFlash(0,5) OK, ReadFlash(0,5,0xa3f0,57) OK.t=96"},
        {{1, 3, 10, 0x8000},
         false,
         false,
         milliseconds(661),
         "SelectFlash(1,3) failed, ReadFlash(1,3,0x8000,10) failed.t=661"},
        {{0, 7, 99, 0xff66},
         true,
         false,
         milliseconds(0),
         "SelectFlash(0,7) OK, ReadFlash(0,7,0xff66,99) failed.t=0"},
        {{1, 0, 12, 0x9ff1},
         false,
         true,
         milliseconds(1234),
         "SelectFlash(1,0) failed, ReadFlash(1,0,0x9ff1,12) OK.t=1234"},
        // At least four digits, lower case.
        {{0, 0, 10, 0x00ab},
         true,
         true,
         milliseconds(5),
         "SelectFlash(0,0) OK, ReadFlash(0,0,0x00ab,10) OK.t=5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(randomReadLogLine(c.cycle, c.selected, c.read, c.time), c.line);
    }
}

TEST(RandomReadTestTexts, StatisticsShowFailuresAsCyclesMinusSuccesses) {
    RandomReadCounters counters;
    counters.cycles = 12;
    counters.selectSuccesses = 10;
    counters.readSuccesses = 9;
    counters.bytesRead = 480;
    EXPECT_EQ(randomReadStatistics(counters),
              "Total cycles: 12\nSelectFlash failed: 2 times\nReadFlash failed: 3 times\n"
              "Total of 480 bytes read\n");
    EXPECT_EQ(randomReadStatistics(RandomReadCounters{}),
              "Total cycles: 0\nSelectFlash failed: 0 times\nReadFlash failed: 0 times\n"
              "Total of 0 bytes read\n");
}

TEST(RandomReadTestTexts, TotalsBeyondThirtyTwoBitsStayPositive) {
    RandomReadCounters counters;
    counters.cycles = 50'000'000;
    counters.selectSuccesses = 50'000'000;
    counters.readSuccesses = 50'000'000;
    counters.bytesRead = 2'750'000'000;
    EXPECT_EQ(randomReadSummary(counters, "x")[4], "Total of 2750000000 bytes read successfully");
}

TEST(RandomReadTestTexts, SummaryHasFiveLines) {
    RandomReadCounters counters;
    counters.cycles = 3;
    counters.selectSuccesses = 3;
    counters.readSuccesses = 1;
    counters.bytesRead = 44;
    const std::vector<std::string> expected = {
        "Testing stopped 6-Dec-2026, 08:05:09", "Total cycles: 3", "SelectFlash failed: 0 times",
        "ReadFlash failed: 2 times", "Total of 44 bytes read successfully"};
    EXPECT_EQ(randomReadSummary(counters, "6-Dec-2026, 08:05:09"), expected);
}

TEST(RandomReadTestTexts, HeaderAndDescription) {
    const std::vector<std::string> expected = {
        "The format is: SelectFlash(flash,sector)[OK/failed],",
        "ReadFlash(flash,sector,offset,block_size)[OK/failed],",
        "time consumed[value in miliseconds].",
        "All parameters are generated randomly in whole respective range.",
        "",
        "Testing started 1-Jan-2000, 00:00:00"};
    EXPECT_EQ(randomReadLogHeader("1-Jan-2000, 00:00:00"), expected);
    EXPECT_EQ(randomReadDescription(),
              "This test reads blocks of\ndata, of variable size,\nfrom randomly choosen \n"
              "Flash sector and offset.");
}

}  // namespace
}  // namespace loadstar
