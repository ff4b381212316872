// The random read test's texts: dates, log lines, statistics, header and summary.

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "CalendarTime.h"
#include "RandomReadTest.h"

namespace loadstar {
namespace {

using testing::calendar;

TEST(RandomReadTestTexts, DatesUseDayWithoutZeroEnglishMonthAndTwentyFourHours) {
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::setlocale(LC_ALL, "C.UTF-8");  // whatever the locale, month names stay English
    for (int month = 1; month <= 12; ++month) {
        EXPECT_EQ(formatTestDateTime(calendar(3, month, 2025, 4, 5, 6)),
                  std::string("3-") + months[month - 1] + "-2025, 04:05:06");
    }
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(formatTestDateTime(calendar(31, 5, 1999, 23, 59, 9)), "31-May-1999, 23:59:09");
    EXPECT_EQ(testLogFileName(calendar(6, 12, 2026, 18, 5, 0)), "RS232_test_6-Dec-2026_18-05-00");
    EXPECT_EQ(formatTestDateTime(localCalendarTime(testing::localTime(6, 12, 2026, 8, 5, 9))),
              "6-Dec-2026, 08:05:09");
}

TEST(RandomReadTestTexts, LogLineHasTheExactForm) {
    using std::chrono::milliseconds;
    EXPECT_EQ(randomReadLogLine({0, 5, 57, 0xa3f0}, true, true, milliseconds(96)),
              "SelectFlash(0,5) OK, ReadFlash(0,5,0xa3f0,57) OK.t=96");
    EXPECT_EQ(randomReadLogLine({1, 3, 10, 0x8000}, false, true, milliseconds(1234)),
              "SelectFlash(1,3) failed, ReadFlash(1,3,0x8000,10) OK.t=1234");
    EXPECT_EQ(randomReadLogLine({0, 0, 10, 0x00ab}, true, false, milliseconds(0)),
              "SelectFlash(0,0) OK, ReadFlash(0,0,0x00ab,10) failed.t=0");
}

TEST(RandomReadTestTexts, HeaderStatisticsAndSummary) {
    EXPECT_EQ(randomReadLogHeader("1-Jan-2000, 00:00:00"),
              (std::vector<std::string>{
                  "The format is: SelectFlash(flash,sector)[OK/failed],",
                  "ReadFlash(flash,sector,offset,block_size)[OK/failed],",
                  "time consumed[value in miliseconds].",
                  "All parameters are generated randomly in whole respective range.", "",
                  "Testing started 1-Jan-2000, 00:00:00"}));
    EXPECT_EQ(randomReadDescription(),
              "This test reads blocks of\ndata, of variable size,\nfrom randomly choosen \n"
              "Flash sector and offset.");
    // Failures are the cycles minus the successes; totals beyond 32 bits stay positive.
    RandomReadCounters counters{50'000'000, 49'999'998, 49'999'997, 2'750'000'000};
    EXPECT_EQ(randomReadStatistics(counters),
              "Total cycles: 50000000\nSelectFlash failed: 2 times\nReadFlash failed: 3 times\n"
              "Total of 2750000000 bytes read\n");
    EXPECT_EQ(
        randomReadSummary(counters, "6-Dec-2026, 08:05:09"),
        (std::vector<std::string>{"Testing stopped 6-Dec-2026, 08:05:09", "Total cycles: 50000000",
                                  "SelectFlash failed: 2 times", "ReadFlash failed: 3 times",
                                  "Total of 2750000000 bytes read successfully"}));
}

}  // namespace
}  // namespace loadstar
