#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "ZNetCdf.h"
#include "test_ZNetCdfUtil.h"

using ZCoreLib::ZNetCdf;
using testutil::thrownMessage;

TEST(ZNetCdfTimeUnits, Table)
{
    struct Row { const char* units; int factor; long long reference; const char* error; };
    const Row rows[] = {
        {"hours since 1970-01-01 00:00:00", 3600, 0, nullptr},
        {"minutes since 1900-01-01 00:00:00", 60, -2208988800LL, nullptr},
        {"seconds since 1970-1-1 00:00:00", 1, 0, nullptr},
        {"Hours since 1970-01-01", 3600, 0, nullptr},
        {"secs since 2000-01-01 00:00:00", 1, 946684800LL, nullptr},
        {"hours Since 1970-01-01", 0, 0, "Could not parse time unit in netcdf file."},
        {"days since 1970-01-01", 0, 0, "Unsupported time unit in f.nc"},
        {"hours since yesterday!", 0, 0, "Invalid date: yesterday!"},
    };
    for (const Row& r : rows) {
        int factor = 0;
        long long reference = 1;
        const std::string msg =
            thrownMessage([&] { ZNetCdf::parseTimeUnits(r.units, "f.nc", factor, reference); });
        if (r.error != nullptr) {
            EXPECT_EQ(msg, r.error) << r.units;
            continue;
        }
        EXPECT_EQ(msg, "<no exception>") << r.units;
        EXPECT_EQ(factor, r.factor) << r.units;
        EXPECT_EQ(reference, r.reference) << r.units;
    }
    int factor = 0;
    long long reference = 0;
    EXPECT_THROW(ZNetCdf::parseTimeUnits("hours since 1970", "f.nc", factor, reference), std::out_of_range);
}

TEST(ZNetCdfTime, FileTimeAxis)
{
    testutil::TempDir tmp;
    const std::string path = tmp.at("time.nc");
    {
        nctest::RawNc raw(path);
        const int t = raw.dim("time", NC_UNLIMITED), x = raw.dim("x", 2);
        raw.var("xy", NC_FLOAT, {t, x});
        raw.put(raw.var("plain", NC_DOUBLE, {t}), {3}, std::vector<double>{0, 0.9, -0.5});
        const int time = raw.var("time", NC_FLOAT, {t});
        raw.text(time, "units", "hours since 1970-01-01 00:00:00");
        raw.put(time, {3}, std::vector<float>{0, 1.5f, -0.5f});
        raw.put(raw.var("bad", NC_DOUBLE, {t}), {3}, std::vector<double>{0, NAN, 1});
        raw.put(raw.var("huge", NC_DOUBLE, {t}), {3}, std::vector<double>{1e300, 0, 1});
    }
    ZNetCdf nc(path, false);
    EXPECT_EQ(nc.getDT(-1, ""), (std::vector<long long>{0, 5400, -1800}));
    EXPECT_EQ(nc.getDT(1, "seconds since 1970-01-01 00:00:00"), (std::vector<long long>{0, 0, 0}));
    const std::string hours = "hours since 1970-01-01 00:00:00";
    EXPECT_EQ(thrownMessage([&] { nc.getDT(0, ""); }), "'xy' variable has more than one dimension in " + path);
    EXPECT_EQ(thrownMessage([&] { nc.getDT(1, ""); }), "Could not find 'units' attribute of time var in " + path);
    EXPECT_EQ(thrownMessage([&] { nc.getDT(3, hours); }), "Time value nan of 'bad' gives no date-time in " + path);
    EXPECT_EQ(thrownMessage([&] { nc.getDT(4, hours); }), "Time value 1e+300 of 'huge' gives no date-time in " + path);

    const std::string none = tmp.at("none.nc");
    nctest::RawNc(none).dim("x", 2);
    EXPECT_EQ(thrownMessage([&] { ZNetCdf(none, false).getDT(-1, ""); }), "Could not find time var in " + none);
}
