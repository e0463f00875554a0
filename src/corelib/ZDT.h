#ifndef ZCORELIB_ZDT_H
#define ZCORELIB_ZDT_H

// Long date-times: signed seconds since 1970-01-01 00:00:00 on a zone-less
// proleptic Gregorian clock, with their text forms and a millisecond timer.

#include <ctime>
#include <string>

#include "ZCoreLib.h"

namespace ZCoreLib {

class ZDT {
public:
    static long long my_timegm(const struct tm* t);
    static long long now();
    static long long ints2DT(int year, int month, int day, int hour, int minute, double seconds);
    static long long julianDate2longDT(double days, long long reference);
    static int dayOfYear(long long dt);
    static double timeOfDay(long long dt);

    static bool isDT(std::string text);
    static long long strDT2longDT(std::string text);
    static long long strDT2longDT(std::string date, std::string time);
    static std::string longDT2StrDT(long long dt);
    static std::string longDT2Str(long long dt, std::string format);
    static std::string nowStr(std::string format);

    static int timespan2sec(std::string text);
    static std::string sec2timespan(double seconds);

    // Timer marks are milliseconds of processor time.
    static double zTimer();
    static double zTimer(double start);
    static std::string dbl2Str(double ticks, bool withUnit, int precision);
};

} // namespace ZCoreLib

#endif
