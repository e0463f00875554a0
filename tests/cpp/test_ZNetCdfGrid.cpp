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
