#include "ZDT.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "ZMessage.h"
#include "ZStr.h"

namespace ZCoreLib {

namespace {

const long long secPerDay = 86400;

long long floorDiv(long long a, long long b)
{
    const long long q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar
// (month 1-12), counted in 400-year eras of 146097 days.
long long daysFromCivil(long long y, long long m, long long d)
{
    y -= m <= 2 ? 1 : 0;
    const long long era = floorDiv(y, 400);
    const long long yoe = y - era * 400;
    const long long mp = (m + 9) % 12;                     // March = 0
    const long long doy = (153 * mp + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Calendar fields to a long date-time; month is 0-based and may lie outside
// 0..11, day, hour, minute and second carry through the sum.
long long fieldsToDT(long long year, long long mon, long long mday, long long hour,
                     long long min, long long sec)
{
    const long long q = floorDiv(mon, 12);
    const long long days = daysFromCivil(year + q, mon - 12 * q + 1, 1) + mday - 1;
    return ((days * 24 + hour) * 60 + min) * 60 + sec;
}

template <typename T>
T clampTrunc(double v)
{
    if (std::isnan(v))
        return 0;
    const double lo = static_cast<double>(std::numeric_limits<T>::min());
    const double hi = static_cast<double>(std::numeric_limits<T>::max());
    if (v <= lo)
        return std::numeric_limits<T>::min();
    if (v >= hi)
        return std::numeric_limits<T>::max();
    return static_cast<T>(v);
}

// UTC breakdown; false when the value lies outside what the C library covers.
bool utcBreakdown(long long dt, struct tm& out)
{
    if (dt < std::numeric_limits<time_t>::min() || dt > std::numeric_limits<time_t>::max())
        return false;
    const time_t t = static_cast<time_t>(dt);
    return gmtime_r(&t, &out) != nullptr;
}

struct tm utcBreakdownOrThrow(long long dt, const char* who)
{
    struct tm out {};
    if (!utcBreakdown(dt, out))
        throw ZException(std::string(who) + ": date-time " + str(dt) + " is out of range.");
    return out;
}

struct tm localNow(const char* who)
{
    const time_t t = std::time(nullptr);
    struct tm out {};
    if (localtime_r(&t, &out) == nullptr)
        throw ZException(std::string(who) + ": the local time is not available.");
    return out;
}

std::string formatTm(const struct tm& t, const std::string& format)
{
    char buf[80];
    const size_t n = std::strftime(buf, sizeof buf, format.c_str(), &t);
    return std::string(buf, n);
}

double clockMs()
{
    return static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

bool isIntAt(const std::string& s, size_t pos, size_t len)
{
    return ZStr::isInteger(s.substr(pos, len));
}

} // namespace

long long ZDT::my_timegm(const struct tm* t)
{
    long long dt = fieldsToDT(t->tm_year + 1900LL, t->tm_mon, t->tm_mday, t->tm_hour, t->tm_min,
                              t->tm_sec);
    if (t->tm_isdst == 1)
        dt -= 3600;
    return dt;
}

long long ZDT::now()
{
    const struct tm t = localNow("now");
    return my_timegm(&t);
}

long long ZDT::ints2DT(int year, int month, int day, int hour, int minute, double seconds)
{
    return fieldsToDT(year, month - 1LL, day, hour, minute, clampTrunc<int>(seconds));
}

long long ZDT::julianDate2longDT(double days, long long reference)
{
    // Nothing is clamped: a day count whose seconds do not fit is refused.
    long long seconds = 0, dt = 0;
    const bool fits = std::fabs(days) < 9.2e18 &&
                      !__builtin_mul_overflow(static_cast<long long>(days), secPerDay, &seconds) &&
                      !__builtin_add_overflow(seconds, reference, &dt);
    if (!fits)
        throw ZException("julianDate2longDT: " + ZStr::toString(days) + " days after " +
                         std::to_string(reference) + " lie outside the long date-time range.");
    return dt;
}

int ZDT::dayOfYear(long long dt)
{
    return utcBreakdownOrThrow(dt, "dayOfYear").tm_yday;
}

double ZDT::timeOfDay(long long dt)
{
    const struct tm t = utcBreakdownOrThrow(dt, "timeOfDay");
    return t.tm_hour + t.tm_min / 60.0 + t.tm_sec / 3600.0;
}

bool ZDT::isDT(std::string text)
{
    const size_t n = text.size();
    if (n < 10)
        return false;
    if (!isIntAt(text, 0, 4) || !isIntAt(text, 5, 2) || !isIntAt(text, 8, 2))
        return false;
    if (n < 13)
        return true;
    if (text[10] != ' ' || !isIntAt(text, 11, 2))
        return false;
    if (n < 16)
        return true;
    if (text[13] != ':' || !isIntAt(text, 14, 2))
        return false;
    if (n < 19)
        return true;
    return text[16] == ':' && isIntAt(text, 17, 2);
}

long long ZDT::strDT2longDT(std::string text)
{
    if (!isDT(text))
        throw ZException("Invalid date: " + text);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double seconds = 0;
    const int n = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%lf", &year, &month, &day, &hour,
                              &minute, &seconds);
    if (n < 3)
        throw ZException("Invalid date: " + text);
    return fieldsToDT(year, month - 1LL, day, hour, minute, clampTrunc<int>(seconds));
}

long long ZDT::strDT2longDT(std::string date, std::string time)
{
    return strDT2longDT(date + " " + time);
}

std::string ZDT::longDT2StrDT(long long dt)
{
    struct tm t {};
    if (!utcBreakdown(dt, t))
        return "";
    const std::string dash = "-", colon = ":";
    return ZStr::toString<int>(t.tm_year + 1900, -1, -1) + dash
        + ZStr::toString<int>(t.tm_mon + 1, -1, 2) + dash + ZStr::toString<int>(t.tm_mday, -1, 2)
        + " " + ZStr::toString<int>(t.tm_hour, -1, 2) + colon
        + ZStr::toString<int>(t.tm_min, -1, 2) + colon + ZStr::toString<int>(t.tm_sec, -1, 2);
}

std::string ZDT::longDT2Str(long long dt, std::string format)
{
    struct tm t {};
    if (!utcBreakdown(dt, t))
        return "";
    return formatTm(t, format);
}

std::string ZDT::nowStr(std::string format)
{
    return formatTm(localNow("nowStr"), format);
}

int ZDT::timespan2sec(std::string text)
{
    if (text.empty())
        return 0;
    double v = std::atof(text.c_str());
    switch (text.back()) {
    case 'y': v = v * 365 * 24 * 3600; break;
    case 'q': v = v * 365 * 6 * 3600; break;
    case 'm': v = v * 30 * 24 * 3600; break;
    case 'w': v = v * 7 * 24 * 3600; break;
    case 'd': v = v * 24 * 3600; break;
    case 'h': v = v * 3600; break;
    case 'M': v = v * 60; break;
    default: break;
    }
    return clampTrunc<int>(v);
}

std::string ZDT::sec2timespan(double seconds)
{
    if (!std::isfinite(seconds))
        seconds = 0;
    // fmod keeps the sign of the value, as integer remainders do.
    const int h = static_cast<int>(std::fmod(std::trunc(seconds / 3600), 24.0));
    const int m = static_cast<int>(std::fmod(std::trunc(seconds / 60), 60.0));
    const int s = static_cast<int>(std::fmod(std::trunc(seconds), 60.0));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, m, s);
    return buf;
}

double ZDT::zTimer()
{
    return clockMs();
}

double ZDT::zTimer(double start)
{
    return (clockMs() - start) * 10 / 1000 / 10;
}

std::string ZDT::dbl2Str(double ticks, bool withUnit, int precision)
{
    const std::string text = ZStr::toString<double>(ticks * 10 / 1000 / 10, precision, -1);
    return withUnit ? text + " sec." : text;
}

} // namespace ZCoreLib
