#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "ZStr.h"
#include "hsModelInfo.h"
#include "testUtil.h"
#include "test_hsMesh2DHelpers.h"

using hestor::hsModelInfo;
using testutil::thrownMessage;

namespace {

// Nodes of the left side on open boundary 1; 3 x 2 quads of 10 m.
std::unique_ptr<hsModelInfo> gridModel(double depth, int layers)
{
    auto mi = std::make_unique<hsModelInfo>();
    meshtest::build(mi->mesh2d, meshtest::sideTypedGrid(3, 2, 10.0, 1, 0));
    mi->resetBathy(depth, layers);
    return mi;
}

template <typename T>
std::vector<T> vec(const T* p, int n)
{
    return p ? std::vector<T>(p, p + n) : std::vector<T>();
}

} // namespace

TEST(hsModelInfoSetup, TimeAxis)
{
    hsModelInfo mi;
    mi.startDT = 1000;
    mi.timestep = 0.5;
    mi.noTimestep = 10;
    EXPECT_EQ(mi.ts2DT(3), 1001);
    EXPECT_EQ(mi.ts2DT(-3), 999);  // -1.5 truncated towards zero
    EXPECT_EQ(mi.endDT(), 1004);
    mi.noTimestep = INT_MIN;  // noTimestep - 1 does not fit an int
    EXPECT_EQ(mi.endDT(), 1000 - 1073741824);
    mi.noTimestep = 10;
    // Degenerate axes (timestep length 0 or negative, no timesteps) are
    // clamped, never converted blindly.
    struct Case {
        double timestep;
        int n;
        long long dt;
        int mode, want;
    } cases[] = {
        {10, 10, 1045, 0, 5}, {10, 10, 1045, 1, 4}, {10, 10, 1045, 2, 5}, {10, 10, 1045, 7, 5},
        {10, 10, 1045, -1, -1}, {10, 10, 1040, -1, 4}, {10, 10, 999, 0, 0}, {10, 10, 999, 1, 0},
        {10, 10, 999, 2, 0}, {10, 10, 999, -1, -1}, {10, 10, 1200, 2, 9}, {10, 10, 1200, -1, -1},
        {10, 10, 1090, -5, 9}, {10, 10, LLONG_MAX, 0, 9}, {10, 10, LLONG_MIN, 0, 0},
        {10, 10, LLONG_MIN, -1, -1}, {0, 10, 1000, 0, 0}, {0, 10, 2000, 1, 9},
        {0, 10, 500, 2, 0}, {0, 10, 1000, -1, -1}, {-10, 10, 980, 0, 2}, {-10, 0, 980, 0, -1},
        {-10, 0, 1020, 0, 0},
    };
    for (const Case& c : cases) {
        mi.timestep = c.timestep;
        mi.noTimestep = c.n;
        EXPECT_EQ(mi.findTimestep(c.dt, c.mode), c.want) << c.timestep << " " << c.dt;
    }
    for (double ts : {1e300, static_cast<double>(NAN)}) {
        mi.timestep = ts;
        EXPECT_EQ(thrownMessage([&] { mi.ts2DT(2); }),
                  "hsModelInfo::ts2DT: timestep 2 (timestep length " +
                      ZCoreLib::ZStr::toString(ts) + " s) lies outside the date-time range.");
    }
    mi.timestep = 1;
    mi.startDT = LLONG_MAX - 1;
    EXPECT_NE(thrownMessage([&] { mi.ts2DT(5); }), "<no exception>");
}

TEST(hsModelInfoSetup, DateTimesFromText)
{
    hsModelInfo mi;
    mi.startDT = 86400;
    mi.timestep = 60;
    EXPECT_EQ(mi.string2DT("12"), 86400 + 720);
    EXPECT_EQ(mi.string2DT("3.7"), 86400 + 180);
    EXPECT_EQ(mi.string2DT("2000-01-02 03:04:05"), 946782245);
    EXPECT_EQ(mi.csv2DT("1,,2"), (std::vector<long long>{86460, 86520}));
    EXPECT_EQ(thrownMessage([&] { mi.string2DT("99999999999"); }),
              "hsModelInfo::string2DT: timestep '99999999999' is out of range.");
    EXPECT_EQ(mi.setStartDT("1970-01-01 01:00:00"), 0);
    EXPECT_EQ(mi.startDT, 3600);
    EXPECT_EQ(mi.ts2StrDT(2), "1970-01-01 01:02:00");
    EXPECT_EQ(mi.fileExt(), "emc");
    mi.modeltype = 3;
    EXPECT_EQ(mi.fileExt(), "emu");
}

TEST(hsModelInfoSetup, BathymetryFromText)
{
    testutil::TempDir dir;
    const std::string lf = dir.at("lf.txt"), crlf = dir.at("crlf.txt");
    testutil::writeText(lf, "\n12.5\t4\n3;2\n\n7 1\n1  2\n5\n6.5\n");
    testutil::writeText(crlf, "12.5\t4\r\n3;2\r\n7 1\r\n1  2\r\n5\r\n6.5\r\n");
    auto mi = gridModel(5.0, 4);
    struct Case {
        std::string text;
        std::vector<double> bathy;
        std::vector<int> enol;  // empty: none
    } cases[] = {
        {"7.5", std::vector<double>(6, 7.5), {}},
        {"3,4,5,6,7,8", {3, 4, 5, 6, 7, 8}, {-1, -1, -1, -1, -1, -1}},
        {lf, {12.5, 3, 7, 1, 5, 6.5}, {4, 2, 1, 0, -1, -1}},
        {crlf, {12.5, 3, 7, 1, 5, 6.5}, {4, 2, 1, 0, -1, -1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mi->setElemBathy(c.text), 0);
        EXPECT_EQ(vec(mi->elemBathy, 6), c.bathy) << c.text;
        EXPECT_EQ(vec(mi->enol, 6), c.enol) << c.text;
        EXPECT_EQ(mi->bathyStr, c.text);
    }
    // Failures keep what was there, so init() still works.
    const std::string missing = dir.at("none.txt");
    const std::pair<std::string, std::string> bad[] = {
        {"1,2,3", "Wrong number of values in bathymetry."},
        {missing, "hsModelInfo::setElemBathy: No such file: '" + missing + "'"},
    };
    for (const auto& b : bad) {
        EXPECT_EQ(thrownMessage([&] { mi->setElemBathy(b.first); }), b.second);
        EXPECT_EQ(vec(mi->elemBathy, 6), cases[3].bathy);
        EXPECT_EQ(vec(mi->enol, 6), cases[3].enol);
        EXPECT_EQ(mi->bathyStr, crlf);
    }
    mi->init();
    EXPECT_EQ(vec(mi->enol, 6), (std::vector<int>{4, 2, 1, 4, 4, 4}));

    hsModelInfo empty;
    EXPECT_EQ(thrownMessage([&] { empty.setElemBathy("1"); }),
              "hsModelInfo::setElemBathy initialize mesh2d before calling this function. " +
                  hestor::errSuffix);
}

TEST(hsModelInfoSetup, ResetBathyAndSetUpFromText)
{
    auto mi = gridModel(10.0, 3);
    EXPECT_TRUE(mi->isInit);
    EXPECT_EQ(vec(mi->dz, 3), std::vector<double>(3, 0.3333333432674408));
    EXPECT_EQ(mi->enol[0], 3);
    mi->resetBathy(0.5, 0);  // keeps the layers; 0.5 m lies in the middle one
    EXPECT_EQ(mi->noLayer, 3);
    EXPECT_EQ(mi->enol[0], 2);

    testutil::TempDir dir;
    const std::string mesh = dir.at("grid.mesh");
    testutil::writeText(mesh, mi->mesh2d.toString());
    hsModelInfo t;
    t.init("3,2,1", mesh, "4,4,4,4,4,4", 0.5);
    EXPECT_TRUE(t.isInit);
    EXPECT_EQ(vec(t.dz, 3), (std::vector<double>{3, 2, 1}));
    EXPECT_EQ(t.dzStr, "3,2,1");
    EXPECT_EQ(vec(t.layerDepth, 3), (std::vector<double>{5.0, 2.5, 1.0}));
    struct Bad {
        std::string layers, piece;
        int k;
    } bad[] = {{"3,x,1", "x", 2}, {"3,,1", "", 2}, {"0", "0", 1}, {"-2,1", "-2", 1}, {"", "", 1}};
    for (const Bad& b : bad)
        EXPECT_EQ(thrownMessage([&] { t.init(b.layers, mesh, "4", 0); }),
                  "hsModelInfo::init: layer thickness '" + b.piece + "' (piece " +
                      std::to_string(b.k) + " of '" + b.layers + "') is not a positive number.");
    EXPECT_TRUE(t.isInit);  // refused before anything changed
    EXPECT_EQ(t.noLayer, 3);
}

TEST(hsModelInfoSetup, CopyAndBoundaryModels)
{
    auto mi = gridModel(10.0, 4);
    mi->setElemBathy("1,2,3,4,5,9");
    std::copy_n(std::vector<double>{1, 0.5, 0.25, 0.125}.begin(), 4, mi->dz);
    mi->init();
    mi->startDT = 86400;
    mi->timestep = 7.5;
    mi->noTimestep = 42;
    mi->modeltype = hestor::SEDIMENT;
    mi->headerField3 = 17;
    std::unique_ptr<hsModelInfo> c(mi->copy());
    EXPECT_EQ(std::make_tuple(c->startDT, c->timestep, c->noTimestep, c->modeltype,
                              c->headerField3),
              std::make_tuple(86400LL, 7.5, 42, static_cast<int>(hestor::SEDIMENT), 17));
    EXPECT_EQ(vec(c->ebli, 6), vec(mi->ebli, 6));
    EXPECT_EQ(vec(c->elemBathy, 6), vec(mi->elemBathy, 6));
    EXPECT_EQ(c->bathyStr, mi->bathyStr);
    c->elemBathy[0] = 99;
    c->mesh2d.nX[0] = -1;
    EXPECT_EQ(mi->elemBathy[0], 1);
    EXPECT_EQ(mi->mesh2d.nX[0], 0);

    // Boundary 0 runs along the left column: elements 0 and 3.
    ASSERT_EQ(mi->mesh2d.nob, 1);
    std::unique_ptr<hsModelInfo> b(mi->bndMInfo(0, false));
    EXPECT_EQ(b->mesh2d.noe, 2);
    EXPECT_EQ(std::make_tuple(b->startDT, b->timestep, b->noTimestep),
              std::make_tuple(86400LL, 7.5, 42));
    // Strip element j straddles the boundary face next to it: its depth is
    // that of the element inside, 1 below y = 10, 4 above.
    for (int j = 0; j < 2; ++j)
        EXPECT_EQ(b->elemBathy[j], b->mesh2d.eY[j] < 10 ? 1 : 4) << j;
    EXPECT_NE(b->mesh2d.eY[0] < 10, b->mesh2d.eY[1] < 10);
    std::unique_ptr<hsModelInfo> one(mi->bndMInfo(0, true));
    EXPECT_EQ(one->noLayer, 1);
    EXPECT_EQ(one->dz[0], mi->dz[1]);
    EXPECT_EQ(vec(one->elemBathy, 2), (std::vector<double>{1, 1}));

    auto single = gridModel(3.0, 1);
    single->dz[0] = 3.0;
    single->init();
    std::unique_ptr<hsModelInfo> s(single->bndMInfo(0, true));
    EXPECT_EQ(s->dz[0], 3.0);
    for (int bad : {1, -1})
        EXPECT_EQ(thrownMessage([&] { delete mi->bndMInfo(bad, false); }),
                  "hsModelInfo::bndMInfo: boundary " + std::to_string(bad) +
                      " is not one of the 1 open boundaries of the mesh.");
}
