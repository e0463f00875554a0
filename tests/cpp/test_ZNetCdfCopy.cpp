#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "ZNetCdf.h"
#include "test_ZNetCdfUtil.h"

using ZCoreLib::ZNetCdf;
using testutil::thrownMessage;

namespace {

// Copying: a source with an unlimited coordinate variable, a packed record variable,
// a scalar grid mapping and attributes of text, string and numeric types.
class ZNetCdfCopy : public testutil::TempDirTest {
protected:
    void SetUp() override
    {
        nctest::RawNc raw(src);
        const int t = raw.dim("time", NC_UNLIMITED), y = raw.dim("y", 2), x = raw.dim("x", 3);
        const int time = raw.var("time", NC_DOUBLE, {t});
        raw.text(time, "units", "hours since 1970-01-01 00:00:00");
        raw.put(time, {3}, std::vector<double>{0, 1, 2.5});
        const int temp = raw.var("temp", NC_SHORT, {t, y, x});
        raw.att(temp, "scale_factor", NC_DOUBLE, std::vector<double>{0.01});
        raw.att(temp, "add_offset", NC_DOUBLE, std::vector<double>{10});
        raw.att(temp, "_FillValue", NC_SHORT, std::vector<short>{-32767});
        const char* tags[] = {"a", "bc"};
        EXPECT_EQ(nc_put_att_string(raw.id, temp, "tags", 2, tags), NC_NOERR);
        std::vector<short> values(18);
        for (size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<short>(i * 100 - 700);
        values[0] = 1; // 10.01 unpacked
        raw.put(temp, {3, 2, 3}, values);
        const int depth = raw.var("depth", NC_FLOAT, {y, x});
        raw.put(depth, {2, 3}, std::vector<float>{1.5f, 2, 3, 4, 5, 6.25f});
        const int crs = raw.var("crs", NC_INT, {});
        raw.text(crs, "grid_mapping_name", "transverse_mercator");
        raw.put(crs, {}, std::vector<int>{32});
        // Unpacked, 1000 is beyond the range of short.
        const int level = raw.var("level", NC_SHORT, {x});
        raw.att(level, "scale_factor", NC_DOUBLE, std::vector<double>{100});
        raw.put(level, {3}, std::vector<short>{1000, -2, 3});
        raw.text(NC_GLOBAL, "title", "Copy source");
        raw.att(NC_GLOBAL, "range", NC_DOUBLE, std::vector<double>{-1, 1});
    }

    const std::string src = at("src.nc"), dst = at("dst.nc");
};

class ZNetCdfGridFile : public testutil::TempDirTest {
protected:
    enum { X, Y, Z, XY, ONE };

    // Coordinates x 10, 20, 30 and y 5, 7; optionally the two names of the
    // 50 m bathymetry layout.
    std::string makeGrid(const std::string& name, bool bathyNames)
    {
        const std::string path = at(name);
        nctest::RawNc raw(path);
        const int x = raw.dim("x", 3), y = raw.dim("y", 2), n = raw.dim("n", 4), one = raw.dim("one", 1);
        raw.put(raw.var("x", NC_DOUBLE, {x}), {3}, std::vector<double>{10, 20, 30});
        raw.put(raw.var("y", NC_FLOAT, {y}), {2}, std::vector<float>{5, 7});
        raw.put(raw.var("z", NC_INT, {n}), {4}, std::vector<int>{1, 2, 3, 4});
        raw.var("xy", NC_FLOAT, {y, x});
        raw.put(raw.var("single", NC_DOUBLE, {one}), {1}, std::vector<double>{1});
        if (bathyNames) {
            raw.var("Band1", NC_FLOAT, {y, x});
            raw.var("transverse_mercator", NC_INT, {});
        }
        return path;
    }
};

} // namespace

TEST_F(ZNetCdfCopy, CopiedFileDumpsLikeItsSource)
{
    if (!nctest::haveNcdump())
        GTEST_SKIP() << "ncdump (netcdf-bin) is absent";
    {
        // The copy moves the stored values, whatever the source unpacks.
        ZNetCdf in(src, false), out(dst, true);
        in.enableScaleOffset("scale_factor", "add_offset", "_FillValue");
        out.copyDimsFrom(&in, false);
        out.copyVarAttribsFrom(&in, NC_GLOBAL, NC_GLOBAL);
        out.copyVarsFrom(&in, false, true);
        EXPECT_EQ(out.varNames, in.varNames);
        EXPECT_EQ(out.dimLens, in.dimLens);
    }
    const std::string dump = nctest::ncdump("", src);
    EXPECT_NE(dump.find("900, 1000 ;"), std::string::npos) << dump;
    EXPECT_EQ(nctest::ncdump("", dst), dump);
    EXPECT_EQ(nctest::get<short>(dst, "temp", {0, 0, 0}, {1, 1, 2}, 2), (std::vector<short>{1, -600}));
    EXPECT_EQ(nctest::get<short>(dst, "level", {0}, {3}, 3), (std::vector<short>{1000, -2, 3}));
}

TEST_F(ZNetCdfCopy, DimensionsWithTheirCoordinateVariables)
{
    ZNetCdf in(src, false);
    {
        ZNetCdf out(dst, true);
        out.copyDimFrom(&in, 0, true, "");
        EXPECT_EQ(thrownMessage([&] { out.copyDimFrom(&in, 1, true, "rows"); }),
                  "Cannot copy var when renaming dimension (dimensions a mapped by name).");
        out.copyDimFrom(&in, 1, false, "rows");
        // Neither y nor x is here: the definition is refused and not cached.
        EXPECT_EQ(thrownMessage([&] { out.copyVarFrom(&in, 2, true, true, ""); }),
                  std::string(nc_strerror(NC_EBADDIM)) + " (defining variable 'depth' in " + dst + ")");
        EXPECT_EQ(out.varNames, std::vector<std::string>{"time"});
        EXPECT_EQ(thrownMessage([&] { out.copyDataFrom(&in, 1, 0); }),
                  "Cannot copy the data of 'temp' into 'time': the variables differ in type.");
        out.metaDone();
        EXPECT_EQ(out.dimNames, (std::vector<std::string>{"time", "rows"}));
        EXPECT_EQ(out.dimLens, (std::vector<int>{3, 2}));
        EXPECT_EQ(out.unlimDimId, 0);
    }
    ZNetCdf out(dst, false);
    const std::unique_ptr<int[]> time(out.getAllData(0));
    const double* t = reinterpret_cast<const double*>(time.get());
    EXPECT_EQ(std::vector<double>(t, t + 3), (std::vector<double>{0, 1, 2.5}));
    EXPECT_EQ(out.getStringAttribValue("units", 0), "hours since 1970-01-01 00:00:00");
}

// lat(lat, lon) spans a dimension defined after its own.
TEST_F(ZNetCdfCopy, CoordinateVariableOverALaterDimension)
{
    {
        nctest::RawNc raw(src);
        const int lat = raw.dim("lat", 2), lon = raw.dim("lon", 3);
        raw.var("lon", NC_DOUBLE, {lon});
        raw.put(raw.var("lat", NC_DOUBLE, {lat, lon}), {2, 3}, std::vector<double>{1, 2, 3, 4, 5, 6});
    }
    ZNetCdf in(src, false), out(dst, true);
    out.copyDimsFrom(&in, true);
    EXPECT_EQ(out.varNames, (std::vector<std::string>{"lat", "lon"})); // in dimension order
}

TEST_F(ZNetCdfCopy, DataOfAnotherShapeIsRefused)
{
    // The destination's x and time (-1 unlimited) and whether its temp has
    // time; the source's temp is (time 3, y 2, x 3).
    struct Row { int x, time; bool withTime; std::string message; };
    const std::string cannot = "Cannot copy the data of 'temp' into 'temp': ";
    const Row rows[] = {
        {100, -1, true, cannot + "dimension 'x' is 3 long in " + src + " and 100 here."},
        {1, -1, true, cannot + "dimension 'x' is 3 long in " + src + " and 1 here."},
        {3, 2, true, cannot + "dimension 'time' is 3 long in " + src + " and 2 here."},
        {3, -1, false, cannot + "the variables differ in number of dimensions."},
        {3, 3, true, "<no exception>"},
    };
    ZNetCdf in(src, false);
    for (const Row& r : rows) {
        {
            ZNetCdf out(dst, true);
            const int t = out.createDim("time", r.time), y = out.createDim("y", 2), x = out.createDim("x", r.x);
            const int id = out.defVar("temp", r.withTime ? std::vector<int>{t, y, x} : std::vector<int>{y, x}, NC_SHORT);
            EXPECT_EQ(thrownMessage([&] { out.copyDataFrom(&in, 1, id); }), r.message);
        }
    }
    EXPECT_EQ(nctest::get<short>(dst, "temp", {2, 1, 0}, {1, 1, 3}, 3), (std::vector<short>{800, 900, 1000}));
}

// Unlimited dimensions after the first, one variable over two of them, and
// a string variable, which cannot be compressed.
TEST_F(ZNetCdfCopy, UnlimitedDimensionsAnywhereAndStrings)
{
    if (!nctest::haveNcdump())
        GTEST_SKIP() << "ncdump (netcdf-bin) is absent";
    const std::string unlim = at("unlim.nc"), strings = at("strings.nc"), dst2 = at("dst2.nc");
    {
        nctest::RawNc raw(unlim), rawStrings(strings);
        const int x = raw.dim("x", 3), t = raw.dim("time", NC_UNLIMITED);
        const int u = raw.dim("u", NC_UNLIMITED), v = raw.dim("v", NC_UNLIMITED);
        raw.put(raw.var("w", NC_FLOAT, {x, t}), {3, 2}, std::vector<float>{1, 2, 3, 4, 5, 6});
        raw.put(raw.var("q", NC_INT, {u, v}), {2, 3}, std::vector<int>{7, 8, 9, 10, 11, 12});
        rawStrings.var("names", NC_STRING, {rawStrings.dim("n", 2)});
        rawStrings.var("level", NC_DOUBLE, {0});
    }
    for (const auto& [from, to, data] : {std::make_tuple(unlim, dst, true), std::make_tuple(strings, dst2, false)}) {
        ZNetCdf in(from, false), out(to, true);
        out.copyDimsFrom(&in, false);
        out.copyVarsFrom(&in, false, data);
    }
    const std::string dump = nctest::ncdump("", unlim);
    EXPECT_NE(dump.find("v = UNLIMITED ; // (3 currently)"), std::string::npos) << dump;
    EXPECT_NE(dump.find("w =\n  {1, 2},\n  {3, 4},\n  {5, 6} ;"), std::string::npos) << dump;
    EXPECT_EQ(nctest::ncdump("", dst), dump);
    const std::string header = nctest::ncdump("-hs", dst2);
    EXPECT_EQ(header.find("names:_DeflateLevel"), std::string::npos) << header;
    EXPECT_NE(header.find("level:_DeflateLevel = 2 ;"), std::string::npos) << header;
}

// Bulk copies work on the root group and on values they can copy: other
// sources are refused before anything is written, while named root variables copy.
TEST_F(ZNetCdfCopy, GroupsRefuseBulkCopiesOnly)
{
    const std::string grouped = at("grouped.nc"), typed = at("typed.nc");
    {
        nctest::RawNc raw(grouped), rt(typed);
        int n = raw.dim("n", 2), sub = -1, obs = -1, h = -1;
        raw.put(raw.var("a", NC_INT, {n}), {2}, std::vector<int>{4, 5});
        EXPECT_EQ(nc_def_grp(raw.id, "sub", &sub) | nc_def_var(sub, "h", NC_INT, 1, &n, &h) | nc_def_grp(raw.id, "obs", &obs), 0);
        const int tn = rt.dim("n", 2), b = rt.dim("b", 2);
        for (const auto& [name, type, dim] : {std::make_tuple("a", NC_INT, tn), {"b", NC_BYTE, b}, {"c", NC_CHAR, tn}, {"z", NC_INT, tn}})
            rt.var(name, type, {dim});
    }
    const std::string groups = ": it has the groups 'sub', 'obs', and only the root group is copied.";
    const std::string only = ", and only variables of the types short, int, float, double and int64 are copied with their values.";
    const std::string rows[][3] = {{grouped, groups, groups},
                                   {typed, ": it has the variable 'b' (byte)" + only, ": it has the variables 'b' (byte), 'c' (char)" + only}};
    for (const auto& r : rows) {
        ZNetCdf in(r[0], false), out(r[0] + ".copy", true);
        EXPECT_EQ(thrownMessage([&] { out.copyDimsFrom(&in, true); }), "Cannot copy every dimension of " + r[0] + r[1]);
        EXPECT_EQ(thrownMessage([&] { out.copyVarsFrom(&in, false, true); }), "Cannot copy every variable of " + r[0] + r[2]);
        int dims = -1, vars = -1;
        EXPECT_EQ(nc_inq(out.ncid, &dims, &vars, nullptr, nullptr) | dims | vars, 0) << "written before the refusal";
        if (r[0] == grouped) {
            out.copyDimFrom(&in, 0, true, "");
            out.copyVarFrom(&in, 0, false, true, "");
        }
    }
    EXPECT_EQ(ZNetCdf(grouped + ".copy", false).varNames, std::vector<std::string>{"a"});
    EXPECT_EQ(nctest::get<int>(grouped + ".copy", "a", {0}, {2}, 2), (std::vector<int>{4, 5}));
}

// 48 Mi records of 4 bytes (192 MiB), only the last one written, in chunks
// of 4 MiB (the library's memory grows with the chunks a call meets).
TEST_F(ZNetCdfCopy, LongRecordAxisCopiesInBoundedMemory)
{
    const size_t records = 48u << 20, chunk = 1u << 20, last = records - 1;
    const std::string lng = at("long.nc");
    {
        nctest::RawNc raw(lng);
        const int v = raw.var("level", NC_FLOAT, {raw.dim("time", NC_UNLIMITED)});
        EXPECT_EQ(nc_def_var_chunking(raw.id, v, NC_CHUNKED, &chunk), NC_NOERR);
        const float value = 7.5f;
        EXPECT_EQ(nc_put_var1_float(raw.id, v, &last, &value), NC_NOERR);
    }
    {
        ZNetCdf in(lng, false), out(dst, true);
        out.copyDimsFrom(&in, false);
        const int id = out.copyVarFrom(&in, 0, false, false, "");
        EXPECT_EQ(nc_def_var_chunking(out.ncid, id, NC_CHUNKED, &chunk), NC_NOERR);
        std::ofstream("/proc/self/clear_refs") << "5"; // resets the peak
        const long before = nctest::peakKb();
        out.copyDataFrom(&in, 0, id);
#if !defined(__SANITIZE_ADDRESS__) // whose quarantine keeps freed memory resident
        EXPECT_LT(nctest::peakKb() - before, 140 * 1024) << "kB";
#endif
        (void)before;
    }
    EXPECT_EQ(nctest::get<float>(dst, "level", {last - 1}, {2}, 2), (std::vector<float>{NC_FILL_FLOAT, 7.5f}));
}

TEST_F(ZNetCdfGridFile, RegularGrid)
{
    const std::string path = makeGrid("grid.nc", false);
    ZNetCdf nc(path, false);
    ZCoreLib::ZNetCdfGrid g = nc.getGrid(X, Y, -1);
    EXPECT_EQ((std::vector<double>{g.x0, g.dx, g.y0, g.dy}), (std::vector<double>{10, 10, 5, 2}));
    EXPECT_EQ((std::vector<int>{g.nx, g.ny, g.nValues}), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(g.values, nullptr);
    EXPECT_EQ(g.noData, -1e-37);
    EXPECT_EQ(g.name, "");
    g = nc.getGrid(X, Y, Z);
    const std::unique_ptr<double[]> values(g.values);
    ASSERT_EQ(g.nValues, 4);
    EXPECT_EQ(std::vector<double>(values.get(), values.get() + 4), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(thrownMessage([&] { nc.getGrid(XY, Y, -1); }),
              "Invalid number of dimenstions for given x or y variable");
    EXPECT_EQ(thrownMessage([&] { nc.getGrid(X, Y, XY); }), "Invalid number of dimenstions for given z variable");
    EXPECT_EQ(thrownMessage([&] { nc.getGrid(X, ONE, -1); }),
              "A grid needs two x and two y values or more; 'x' has 3 and 'single' has 1 in " + path);
}

TEST_F(ZNetCdfGridFile, BathymetryLayoutNeedsAllFourNames)
{
    EXPECT_FALSE(ZNetCdf(makeGrid("plain.nc", false), false).isDK50mBathyFile());
    EXPECT_TRUE(ZNetCdf(makeGrid("bathy.nc", true), false).isDK50mBathyFile());
}

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
        // Too short to hold a month and a day: once std::out_of_range from a
        // substring, which callers that catch ZException did not expect.
        {"hours since 1970", 0, 0, "Invalid date: 1970"},
        {"hours since 1970-1", 0, 0, "Invalid date: 1970-1"},
        {"hours since 1970-1-1", 0, 0, "Invalid date: 1970-01-1"},
        {"hours since ", 0, 0, "Invalid date: "},
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
