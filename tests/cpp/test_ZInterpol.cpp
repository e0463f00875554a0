// Source lists and inverse-distance weights per target point.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ZInterpol.h"
#include "testUtil.h"

using ZCoreLib::ZInterpol;
using ZCoreLib::zinterpolType;

namespace {

// Five sources on the x axis at 0, 1, 3, 6, 10.
std::vector<double> sx = {0, 1, 3, 6, 10}, sy(5, 0.0), sz = {0, 1, 0, 2, 0};

} // namespace

TEST(ZInterpol, PlaneWeights)
{
    ZInterpol z;
    std::vector<double> tx = {3, 2.5}, ty = {0, 0};
    ASSERT_EQ(z.init(sx.data(), sy.data(), 5, tx.data(), ty.data(), 2, zinterpolType(0)), 0);
    EXPECT_TRUE(z.initialised);
    // On a source: that one alone; elsewhere three, farthest first, 1 / d^2.
    EXPECT_EQ(z.sourceIdx, (std::vector<std::vector<int>>{{2}, {0, 1, 2}}));
    EXPECT_EQ(z.weights[0], std::vector<double>{1.0});
    EXPECT_EQ(z.weights[1], (std::vector<double>{1 / 6.25, 1 / 2.25, 1 / 0.25}));
    // initInvDist appends; init starts over.
    z.initInvDist(sx.data(), sy.data(), 5, tx.data(), ty.data(), 1);
    EXPECT_EQ(z.sourceIdx.size(), 3u);
    z.init(sx.data(), sy.data(), 5, tx.data(), ty.data(), 1, zinterpolType(0));
    EXPECT_EQ(z.sourceIdx.size(), 1u);
}

TEST(ZInterpol, MaskedAndSpace)
{
    ZInterpol z;
    bool mask[5] = {false, true, false, true, true};
    std::vector<double> tx = {2.0}, ty = {0.0}, tz = {1.0};
    z.init(sx.data(), sy.data(), mask, 5, tx.data(), ty.data(), 1, zinterpolType(0));
    EXPECT_EQ(z.sourceIdx, (std::vector<std::vector<int>>{{4, 3, 1}}));
    z.zScale = 2.0;
    z.init(sx.data(), sy.data(), sz.data(), mask, 5, tx.data(), ty.data(), tz.data(), 1,
           zinterpolType(0));
    ASSERT_EQ(z.sourceIdx, (std::vector<std::vector<int>>{{4, 3, 1}}));
    // d^2 = dx^2 + (zScale dz)^2
    EXPECT_DOUBLE_EQ(z.weights[0][0], 1 / (64.0 + 4.0));
    EXPECT_DOUBLE_EQ(z.weights[0][1], 1 / (16.0 + 4.0));
    EXPECT_DOUBLE_EQ(z.weights[0][2], 1 / 1.0);
}

TEST(ZInterpol, FewSourcesAndBadMethod)
{
    ZInterpol z;
    std::vector<double> tx = {2.0, 5.0}, ty = {0.0, 0.0};
    bool two[5] = {false, true, false, true, false};
    z.init(sx.data(), sy.data(), two, 5, tx.data(), ty.data(), 2, zinterpolType(0));
    EXPECT_EQ(z.sourceIdx, (std::vector<std::vector<int>>{{3, 1}, {1, 3}}));
    bool none[5] = {};
    z.init(sx.data(), sy.data(), none, 5, tx.data(), ty.data(), 2, zinterpolType(0));
    EXPECT_EQ(z.sourceIdx, (std::vector<std::vector<int>>{{}, {}}));
    EXPECT_EQ(z.weights, (std::vector<std::vector<double>>{{}, {}}));
    EXPECT_EQ(testutil::thrownMessage([&] {
                  z.init(sx.data(), sy.data(), 5, tx.data(), ty.data(), 2, zinterpolType(1));
              }),
              "Unsupported interpolation type.");
    EXPECT_EQ(z.type, zinterpolType(1));
    EXPECT_TRUE(z.sourceIdx.empty());
    EXPECT_TRUE(z.weights.empty());
    // Any int is a method number the type holds.
    for (int m : {2, 7, -1}) {
        EXPECT_EQ(testutil::thrownMessage([&] {
                      z.init(sx.data(), sy.data(), 5, tx.data(), ty.data(), 2, zinterpolType(m));
                  }),
                  "Unsupported interpolation type.");
        EXPECT_EQ(static_cast<int>(z.type), m);
    }
}
