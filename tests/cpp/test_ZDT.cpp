#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "ZDT.h"

using ZCoreLib::ZDT;
using ZCoreLib::ZException;

namespace {

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int monthLength(int y, int m)
{
    static const int len[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : len[m - 1];
}

std::string dateText(int y, int m, int d, const char* time = "00:00:00")
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %s", y, m, d, time);
    return buf;
}

std::string errorOf(const std::string& text)
{
    try {
        ZDT::strDT2longDT(text);
    } catch (const ZException& e) {
        return e.message;
    }
    return "no exception";
}

struct tm fields(int year, int mon0, int mday, int isdst = 0)
{
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = mon0;
    t.tm_mday = mday;
    t.tm_isdst = isdst;
    return t;
}

} // namespace

TEST(ZDTCalendar, EveryDay1600To2400)
{
    // Count days from 1970-01-01 by walking the calendar: years before 1970
    // are subtracted whole, then every day is stepped through.
    long long day = 0;
    for (int y = 1600; y < 1970; ++y)
        day -= leapYear(y) ? 366 : 365;
    int checked = 0;
    for (int y = 1600; y <= 2400; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= monthLength(y, m); ++d, ++day) {
                const std::string text = dateText(y, m, d);
                const long long dt = ZDT::strDT2longDT(text);
                ASSERT_EQ(dt, day * 86400) << text;
                ASSERT_EQ(ZDT::longDT2StrDT(dt), text) << text;
                ASSERT_EQ(ZDT::ints2DT(y, m, d, 0, 0, 0.0), dt) << text;
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 292560);
}

TEST(ZDTCalendar, KnownValues)
{
    EXPECT_EQ(ZDT::strDT2longDT("1970-01-01"), 0);
    EXPECT_EQ(ZDT::strDT2longDT("1969-12-31 23:59:59"), -1);
    EXPECT_EQ(ZDT::strDT2longDT("2012-06-01"), 1338508800);
    EXPECT_EQ(ZDT::strDT2longDT("2012-06-01 12:30"), 1338553800);
    EXPECT_EQ(ZDT::strDT2longDT("2000-02-29 12:00:00"), 951825600);
    EXPECT_EQ(ZDT::strDT2longDT("2100-03-01"), 4107542400LL);
    EXPECT_EQ(ZDT::strDT2longDT("1968-01-01 00:00:00"), -63158400);
    EXPECT_EQ(ZDT::strDT2longDT("1900-01-01 00:00:00"), -2208988800LL);
    EXPECT_EQ(ZDT::longDT2StrDT(ZDT::strDT2longDT("1968-06-01")), "1968-06-01 00:00:00");
    EXPECT_EQ(ZDT::strDT2longDT("2012-06-01 12:30:45.9"),
              ZDT::strDT2longDT("2012-06-01 12:30:45"));
    EXPECT_EQ(ZDT::strDT2longDT("2012-06-01X"), 1338508800);
    EXPECT_EQ(ZDT::strDT2longDT("2012-06-01", "12:30"), 1338553800);
    EXPECT_EQ(ZDT::strDT2longDT("2012-06-01 12:3"), 1338508800 + 12 * 3600 + 180);
    EXPECT_EQ(ZDT::longDT2StrDT(0), "1970-01-01 00:00:00");
    EXPECT_EQ(ZDT::longDT2StrDT(1338553800), "2012-06-01 12:30:00");
    EXPECT_EQ(ZDT::longDT2StrDT(-1), "1969-12-31 23:59:59");
    // Years below 1000 are not padded.
    EXPECT_EQ(ZDT::longDT2StrDT(ZDT::ints2DT(999, 12, 31, 23, 59, 59.99)), "999-12-31 23:59:59");
}

TEST(ZDTCalendar, FieldsCarry)
{
    struct tm t = fields(2011, 12, 15);
    EXPECT_EQ(ZDT::my_timegm(&t), ZDT::strDT2longDT("2012-01-15"));
    t = fields(2012, -1, 15);
    EXPECT_EQ(ZDT::my_timegm(&t), ZDT::strDT2longDT("2011-12-15"));
    t = fields(2012, -13, 15);
    EXPECT_EQ(ZDT::my_timegm(&t), ZDT::strDT2longDT("2010-12-15"));
    t = fields(2012, 25, 1);
    EXPECT_EQ(ZDT::my_timegm(&t), ZDT::strDT2longDT("2014-02-01"));
    t = fields(2012, 0, 1, 1);
    EXPECT_EQ(ZDT::my_timegm(&t), ZDT::strDT2longDT("2012-01-01") - 3600);
    t = fields(2012, 0, 1, 2);
    EXPECT_EQ(ZDT::my_timegm(&t), ZDT::strDT2longDT("2012-01-01"));
    t = fields(2012, 0, 1, -1);
    EXPECT_EQ(ZDT::my_timegm(&t), ZDT::strDT2longDT("2012-01-01"));
    // Day, hour, minute and second carry through the sum.
    t = fields(2012, 1, 30);
    t.tm_hour = 25;
    t.tm_min = -1;
    t.tm_sec = 61;
    EXPECT_EQ(ZDT::my_timegm(&t), ZDT::strDT2longDT("2012-03-02 01:00:01"));
    EXPECT_EQ(ZDT::ints2DT(2012, 13, 1, 0, 0, 0), ZDT::strDT2longDT("2013-01-01"));
    EXPECT_EQ(ZDT::ints2DT(2012, 0, 1, 0, 0, 0), ZDT::strDT2longDT("2011-12-01"));
    EXPECT_EQ(ZDT::ints2DT(2012, -11, 1, 0, 0, 0), ZDT::strDT2longDT("2011-01-01"));
    EXPECT_EQ(ZDT::strDT2longDT("2012-13-01"), ZDT::strDT2longDT("2013-01-01"));
    EXPECT_EQ(ZDT::strDT2longDT("2012--1-01"), ZDT::strDT2longDT("2011-11-01"));
}

// The day count was clamped and then multiplied by 86400, which overflowed.
TEST(ZDTCalendar, JulianDaysOutsideTheRangeThrow)
{
    const long long secondsMax = LLONG_MAX / 86400;
    EXPECT_EQ(ZDT::julianDate2longDT(static_cast<double>(secondsMax), 0), secondsMax * 86400);
    EXPECT_EQ(ZDT::julianDate2longDT(-1.5, LLONG_MIN + 86400), LLONG_MIN);
    for (const auto& c : std::vector<std::pair<double, long long>>{
             {1e15, 0}, {1e300, 0}, {-1e300, 0}, {NAN, 0}, {INFINITY, 0}, {1.0, LLONG_MAX - 10},
             {-1.0, LLONG_MIN + 10}, {static_cast<double>(secondsMax) + 1e4, 0}})
        EXPECT_THROW(ZDT::julianDate2longDT(c.first, c.second), ZException) << c.first;
}

TEST(ZDTText, IsDTTable)
{
    const std::vector<std::string> accepted = {
        "2012-06-01", "2012-06-01X", "2012-06-01XY", "2012-06-01 12", "2012-06-01 12:3",
        "2012-06-01 12:30", "2012-06-01 12:30:4", "2012-06-01 12:30:45",
        "2012-06-01 12:30:45.9", "2012/06/01", "----------", "2012-06-01 12:30:45 GMT"};
    const std::vector<std::string> refused = {
        "", "2012-6-1", "2012-06-0", "2012-0a-01", "+012-06-01", "2012-06-01T12:30",
        "2012-06-01 1a", "2012-06-01 12-30", "2012-06-01 12:3x", "2012-06-01 12:30-45",
        "2012-06-01 12:30:4x"};
    for (const std::string& s : accepted)
        EXPECT_TRUE(ZDT::isDT(s)) << s;
    for (const std::string& s : refused)
        EXPECT_FALSE(ZDT::isDT(s)) << s;
}

TEST(ZDTText, InvalidDateMessages)
{
    EXPECT_EQ(errorOf("2012-06-01T12:30"), "Invalid date: 2012-06-01T12:30");
    EXPECT_EQ(errorOf("2012-6-1"), "Invalid date: 2012-6-1");
    EXPECT_EQ(errorOf(""), "Invalid date: ");
    // Shapes that pass isDT but whose fields cannot be read.
    EXPECT_EQ(errorOf("2012/06/01"), "Invalid date: 2012/06/01");
    EXPECT_EQ(errorOf("----------"), "Invalid date: ----------");
    EXPECT_EQ(errorOf("2012-06/01"), "Invalid date: 2012-06/01");
}

TEST(ZDTText, Breakdowns)
{
    const long long dt = ZDT::strDT2longDT("2012-06-01 12:30:00");
    EXPECT_DOUBLE_EQ(ZDT::timeOfDay(dt), 12.5);
    EXPECT_NEAR(ZDT::timeOfDay(ZDT::strDT2longDT("1960-01-01 06:45:36")), 6.76, 1e-12);
    EXPECT_EQ(ZDT::dayOfYear(ZDT::strDT2longDT("2012-01-01")), 0);
    EXPECT_EQ(ZDT::dayOfYear(ZDT::strDT2longDT("2012-03-01")), 60);
    EXPECT_EQ(ZDT::dayOfYear(ZDT::strDT2longDT("2011-12-31 23:59:59")), 364);
    EXPECT_EQ(ZDT::julianDate2longDT(1.9, 0), 86400);
    EXPECT_EQ(ZDT::julianDate2longDT(-1.9, 100), -86300);
    EXPECT_EQ(ZDT::longDT2Str(dt, ZCoreLib::dtFormat), "20120601123000");
    EXPECT_EQ(ZDT::longDT2Str(dt, "%d.%m.%Y"), "01.06.2012");
    EXPECT_EQ(ZDT::longDT2Str(dt, std::string(100, 'x')), "");
}

TEST(ZDTText, OutOfRangeGivesEmptyTextOrError)
{
    EXPECT_EQ(ZDT::longDT2StrDT(LLONG_MAX), "");
    EXPECT_EQ(ZDT::longDT2StrDT(LLONG_MIN), "");
    EXPECT_EQ(ZDT::longDT2Str(LLONG_MAX, "%Y"), "");
    EXPECT_THROW(ZDT::dayOfYear(LLONG_MAX), ZException);
    EXPECT_THROW(ZDT::timeOfDay(LLONG_MIN), ZException);
}

TEST(ZDTText, Now)
{
    const long long utc = static_cast<long long>(std::time(nullptr));
    const long long local = ZDT::now();
    // Local standard time lies within a day of UTC.
    EXPECT_LT(std::llabs(local - utc), 86400);
    const std::string stamp = ZDT::nowStr(ZCoreLib::dtFormat);
    ASSERT_EQ(stamp.size(), 14u);
    EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos);
}

TEST(ZDTSpan, Timespan2sec)
{
    EXPECT_EQ(ZDT::timespan2sec("1.5h"), 5400);
    EXPECT_EQ(ZDT::timespan2sec("2d"), 172800);
    EXPECT_EQ(ZDT::timespan2sec("1q"), 7884000);
    EXPECT_EQ(ZDT::timespan2sec("10M"), 600);
    EXPECT_EQ(ZDT::timespan2sec("90"), 90);
    EXPECT_EQ(ZDT::timespan2sec("2H"), 2);
    EXPECT_EQ(ZDT::timespan2sec("1y"), 31536000);
    EXPECT_EQ(ZDT::timespan2sec("1m"), 2592000);
    EXPECT_EQ(ZDT::timespan2sec("2w"), 1209600);
    EXPECT_EQ(ZDT::timespan2sec("-0.5h"), -1800);
    EXPECT_EQ(ZDT::timespan2sec(""), 0);
    // Beyond the int range the result saturates instead of overflowing.
    EXPECT_EQ(ZDT::timespan2sec("1000y"), INT_MAX);
}

TEST(ZDTSpan, Sec2timespan)
{
    EXPECT_EQ(ZDT::sec2timespan(90061), "01:01:01");
    EXPECT_EQ(ZDT::sec2timespan(0), "00:00:00");
    EXPECT_EQ(ZDT::sec2timespan(86399.9), "23:59:59");
    EXPECT_EQ(ZDT::sec2timespan(-3661), "-1:-1:-1");
    EXPECT_EQ(ZDT::sec2timespan(1e300), ZDT::sec2timespan(1e300));
}

TEST(ZDTTimer, MillisecondMarks)
{
    const std::clock_t c0 = std::clock();
    const double mark = ZDT::zTimer();
    volatile double sink = 0;
    while (std::clock() - c0 < CLOCKS_PER_SEC / 5)
        sink = sink + 1;
    const double elapsed = ZDT::zTimer(mark);
    EXPECT_GE(elapsed, 0.19);
    EXPECT_LT(elapsed, 2.0);
    EXPECT_EQ(ZDT::dbl2Str(1500, true, 2), "1.50 sec.");
    EXPECT_EQ(ZDT::dbl2Str(1234, false, -1), "1.234");
    EXPECT_EQ(ZDT::dbl2Str(1000.0 / 3, false, -1), "0.333333");
}
