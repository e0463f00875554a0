#include <gtest/gtest.h>
#include <netcdf.h>

#include <memory>
#include <string>
#include <vector>

#include "ZNetCdf.h"
#include "test_ZNetCdfUtil.h"

using ZCoreLib::ZNetCdf;
using testutil::thrownMessage;

namespace {

// A source with an unlimited coordinate variable, a packed record variable,
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
        raw.att(temp, "_FillValue", NC_SHORT, std::vector<short>{-32767});
        const char* tags[] = {"a", "bc"};
        EXPECT_EQ(nc_put_att_string(raw.id, temp, "tags", 2, tags), NC_NOERR);
        std::vector<short> values(18);
        for (size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<short>(i * 100 - 700);
        raw.put(temp, {3, 2, 3}, values);
        const int depth = raw.var("depth", NC_FLOAT, {y, x});
        raw.put(depth, {2, 3}, std::vector<float>{1.5f, 2, 3, 4, 5, 6.25f});
        const int crs = raw.var("crs", NC_INT, {});
        raw.text(crs, "grid_mapping_name", "transverse_mercator");
        raw.put(crs, {}, std::vector<int>{32});
        raw.text(NC_GLOBAL, "title", "Copy source");
        raw.att(NC_GLOBAL, "range", NC_DOUBLE, std::vector<double>{-1, 1});
    }

    const std::string src = at("src.nc"), dst = at("dst.nc");
};

} // namespace

TEST_F(ZNetCdfCopy, CopiedFileDumpsLikeItsSource)
{
    SKIP_WITHOUT_NCDUMP();
    {
        ZNetCdf in(src, false), out(dst, true);
        out.copyDimsFrom(&in, false);
        out.copyVarAttribsFrom(&in, NC_GLOBAL, NC_GLOBAL);
        out.copyVarsFrom(&in, false, true);
        EXPECT_EQ(out.varNames, in.varNames);
        EXPECT_EQ(out.dimLens, in.dimLens);
    }
    const std::string dump = nctest::ncdump("", src);
    EXPECT_NE(dump.find("900, 1000 ;"), std::string::npos) << dump;
    EXPECT_EQ(nctest::ncdump("", dst), dump);
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
