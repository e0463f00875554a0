#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "hsModelInfo.h"
#include "testUtil.h"
#include "test_hsModelInfoHelpers.h"

using hestor::hsModelInfo;
using modeltest::makeModel;
using modeltest::makeSigmaModel;
using modeltest::ModelSetup;
using testutil::thrownMessage;

namespace {

// Two 10 m squares side by side, five layers of 2 m (tops 8, 6, 4, 2, 0),
// one interior face and an open-boundary face on either side.
std::unique_ptr<hsModelInfo> pair(std::vector<double> bathy)
{
    ModelSetup s;
    s.nx = 2;
    s.ny = 1;
    s.bathy = std::move(bathy);
    return makeModel(s);
}

} // namespace

TEST(hsModelInfoUpdate, TopCellsFollowTheSurface)
{
    auto mi = pair({9.0, 1.5});
    const std::vector<double> eta = {0.3, 0.3};
    mi->updateDZe(eta.data(), true);
    EXPECT_DOUBLE_EQ(mi->edz[0][4], 2.3);
    EXPECT_DOUBLE_EQ(mi->edzc[0][3], 0.5 * 2.3 + 0.5 * 2.0);
    EXPECT_DOUBLE_EQ(mi->edz[1][0], 1.8);  // a single-cell column
    EXPECT_DOUBLE_EQ(mi->edzc[1][0], 0.9);
    EXPECT_DOUBLE_EQ(mi->cellVolume[mi->elemLastCell[0]], 230.0);
    EXPECT_DOUBLE_EQ(mi->cellVolume[mi->elemFirstCell[1]], 180.0);
    EXPECT_DOUBLE_EQ(mi->edzPrev[0][4], 2.0);  // the tables changed places

    const std::vector<double> eta2 = {-0.1, -0.1};
    mi->updateDZe(eta2.data(), true);
    EXPECT_DOUBLE_EQ(mi->edzPrev[0][4], 2.3);
    EXPECT_DOUBLE_EQ(mi->edz[0][4], 1.9);
    EXPECT_DOUBLE_EQ(mi->edz[0][3], 2.0);
}

TEST(hsModelInfoUpdate, FaceRules)
{
    auto mi = pair({9.0, 9.0});
    const int a = mi->mesh2d.vfe[0], b = mi->mesh2d.vfe[1];
    std::vector<double> eta(2);
    eta[a] = 0.3;
    eta[b] = -0.2;
    const struct {
        int rule;
        double u;
        double top;
    } cases[] = {{0, 1, 2.3}, {1, 1, 1.8}, {2, 1, 2.05}, {3, 1, 2.3}, {3, 0, 1.8}, {3, -1, 1.8}};
    for (const auto& c : cases) {
        std::vector<double> u(mi->noFaceCells, c.u);
        mi->updateDZf(eta.data(), u.data(), c.rule, false, false);
        EXPECT_DOUBLE_EQ(mi->fdz[0][4], c.top) << "rule " << c.rule << " u " << c.u;
        EXPECT_DOUBLE_EQ(mi->fdzc[0][3], 0.5 * 2.0 + 0.5 * c.top);
        EXPECT_DOUBLE_EQ(mi->fdz[0][3], 2.0);
    }
    for (int f = 1; f <= 2; ++f) {  // open-boundary faces: down to layer 4's bottom
        const int e = mi->mesh2d.bvfe[f - 1];
        EXPECT_DOUBLE_EQ(mi->fdz[f][4], eta[e] + 2.0);
        EXPECT_DOUBLE_EQ(mi->fdzc[f][3], 0.5 * (eta[e] + 2.0) + 1.0);
    }

    // A single face-cell reaches down to the shallower element's bottom.
    auto one = pair({1.5, 1.2});
    ASSERT_EQ(one->fbli[0], 4);
    std::vector<double> u(one->noFaceCells, 1.0);
    one->updateDZf(eta.data(), u.data(), 1, false, false);
    EXPECT_DOUBLE_EQ(one->fdz[0][0], -0.2 + 1.2);
    EXPECT_DOUBLE_EQ(one->fdzc[0][0], 0.5);
}

TEST(hsModelInfoUpdate, WetDryFacesTakeTheUpwindCell)
{
    auto mi = pair({9.0, 5.0});  // bottom layers 0 and 2, bottom cells 1 m
    mi->initWetDry();
    std::vector<int> wetted, dried;
    const std::vector<double> eta = {-2.5, -1.0};
    mi->updateDZeWetDry(eta.data(), wetted, dried, true);
    ASSERT_EQ(mi->etli[0], 3);
    ASSERT_EQ(mi->etli[1], 4);
    // Per element, its cells' thicknesses in layers 2, 3 and 4.
    const double thick[2][3] = {{2.0, 1.5, 0.0}, {1.0, 2.0, 1.0}};
    const int a = mi->mesh2d.vfe[0], b = mi->mesh2d.vfe[1];
    for (double v : {1.0, 0.0, -1.0}) {
        std::vector<double> u(mi->noFaceCells, v);
        mi->updateDZf(eta.data(), u.data(), 3, false, true);
        EXPECT_EQ(mi->ftli[0], 4);
        for (int j = 1; j <= 2; ++j) {
            const double want =
                v > 0 ? thick[a][j] : (v < 0 ? thick[b][j] : std::max(thick[a][j], thick[b][j]));
            EXPECT_DOUBLE_EQ(mi->fdz[0][j], want) << "u " << v << " layer " << 2 + j;
            EXPECT_DOUBLE_EQ(mi->fdzc[0][j - 1], 0.5 * (mi->fdz[0][j - 1] + mi->fdz[0][j]));
        }
        EXPECT_DOUBLE_EQ(mi->fdz[0][0], 1.0);  // the thinner bottom cell
    }
    const int fb = mi->mesh2d.bvfe[0] == 0 ? 1 : 2;  // element 0's boundary face
    EXPECT_EQ(mi->ftli[fb], 3);
    EXPECT_DOUBLE_EQ(mi->fdz[fb][3], 1.5);
    EXPECT_DOUBLE_EQ(mi->fdz[fb][4], 0.0);

    // One wet face-cell: the larger elevation over the shallower bottom, not below 0.
    auto one = pair({1.5, 1.2});
    one->initWetDry();
    const struct {
        std::vector<double> eta;
        double fdz;
    } single[] = {{{0.3, -0.1}, 1.5}, {{-2.0, -1.5}, 0.0}};
    for (const auto& c : single) {
        std::vector<double> u(one->noFaceCells, 0.0);
        one->updateDZeWetDry(c.eta.data(), wetted, dried, false);
        one->updateDZf(c.eta.data(), u.data(), 3, false, true);
        EXPECT_DOUBLE_EQ(one->fdz[0][0], c.fdz);
        EXPECT_DOUBLE_EQ(one->fdzc[0][0], 0.5 * c.fdz);
    }
    std::vector<double> u(one->noFaceCells, 0.0);
    EXPECT_EQ(thrownMessage([&] { one->updateDZf(eta.data(), u.data(), 1, false, true); }),
              "WetDry only supports face rule 3");
}

TEST(hsModelInfoUpdate, ColumnsDryAndWetLayerByLayer)
{
    auto mi = pair({9.0, 9.0});
    mi->initWetDry();
    const int first = mi->elemFirstCell[0];
    std::vector<int> wetted, dried;
    std::vector<double> eta = {-5.0, 0.0};  // surface 5 m down: layers 4 and 3 dry
    mi->updateDZeWetDry(eta.data(), wetted, dried, true);
    EXPECT_EQ(dried, (std::vector<int>{first + 4, first + 3}));
    EXPECT_TRUE(wetted.empty());
    EXPECT_EQ(mi->etli[0], 2);
    EXPECT_EQ(mi->elemLastCell[0], first + 2);
    EXPECT_EQ(mi->enol[0], 3);
    EXPECT_DOUBLE_EQ(mi->edz[0][2], 1.0);
    EXPECT_DOUBLE_EQ(mi->edzc[0][2], 0.5);
    EXPECT_DOUBLE_EQ(mi->edzc[0][1], 1.5);
    for (int j : {3, 4})
        EXPECT_EQ(mi->edz[0][j], 0.0);
    EXPECT_EQ(mi->edzc[0][3], 0.0);
    EXPECT_EQ(mi->cellVolume[first + 3], 0.0);

    eta[0] = 0.5;  // back above the surface layer: two layers wet in one step
    dried.clear();
    mi->updateDZeWetDry(eta.data(), wetted, dried, true);
    EXPECT_EQ(wetted, (std::vector<int>{first + 3, first + 4}));
    EXPECT_TRUE(dried.empty());
    EXPECT_EQ(mi->etli[0], 4);
    EXPECT_EQ(mi->edzPrev[0][2], 1.0);
    EXPECT_EQ(mi->etliPrev[0], 2);
    EXPECT_DOUBLE_EQ(mi->edz[0][3], 2.0);
    EXPECT_DOUBLE_EQ(mi->edz[0][4], 2.5);  // stops at the surface layer
    EXPECT_DOUBLE_EQ(mi->edzc[0][3], 2.25);
    EXPECT_DOUBLE_EQ(mi->cellVolume[first + 3], 200.0);
}

TEST(hsModelInfoUpdate, RandomStepsKeepColumnsConsistent)
{
    ModelSetup s;
    s.dz = {3.0, 2.5, 2.0, 1.5, 1.0, 1.0};
    auto mi = makeModel(s);
    mi->initWetDry();
    const int noe = mi->mesh2d.noe, n = mi->noLayer;
    std::mt19937 rng(17);
    std::vector<double> eta(noe);
    std::vector<double> u(mi->noFaceCells);
    std::vector<int> etliBefore(noe);
    for (int step = 0; step < 300; ++step) {
        for (int e = 0; e < noe; ++e)
            eta[e] = std::uniform_real_distribution<double>(-mi->elemBathy[e] - 0.5, 2.0)(rng);
        for (double& v : u)
            v = static_cast<double>(static_cast<int>(rng() % 3)) - 1.0;
        std::copy(mi->etli, mi->etli + noe, etliBefore.begin());
        std::vector<int> wetted, dried;
        mi->updateDZeWetDry(eta.data(), wetted, dried, step % 2 == 0);
        mi->updateDZf(eta.data(), u.data(), 3, true, true);
        long long moved = 0;
        for (int e = 0; e < noe; ++e) {
            const int b = mi->ebli[e], t = mi->etli[e];
            ASSERT_GE(t, b);
            ASSERT_LT(t, n);
            EXPECT_EQ(mi->elemLastCell[e], mi->elemFirstCell[e] + t - b);
            EXPECT_EQ(mi->enol[e], t - b + 1);
            moved += t - etliBefore[e];
            double sum = 0;
            for (int j = 0; j < n - b; ++j) {
                if (j > t - b) {
                    EXPECT_EQ(mi->edz[e][j], 0.0);
                }
                sum += mi->edz[e][j];
                EXPECT_NEAR(mi->cellVolume[mi->elemFirstCell[e] + j],
                            mi->edz[e][j] * mi->mesh2d.eArea[e], 1e-9);
            }
            EXPECT_NEAR(sum, eta[e] + mi->elemBathy[e], 1e-9) << "step " << step << ", " << e;
        }
        EXPECT_EQ(moved, static_cast<long long>(wetted.size()) -
                             static_cast<long long>(dried.size()));
        const int* vfe = mi->mesh2d.vfe;
        for (int f = 0; f < mi->mesh2d.noivf; ++f) {
            const int top = std::max(mi->etli[vfe[2 * f]], mi->etli[vfe[2 * f + 1]]);
            EXPECT_EQ(mi->ftli[f], top);
            for (int j = top - mi->fbli[f] + 1; j < n - mi->fbli[f]; ++j)
                EXPECT_EQ(mi->fdz[f][j], 0.0);
        }
    }
}

TEST(hsModelInfoUpdate, RefusesWhatItCannotUpdate)
{
    const std::vector<double> eta(12, 0.0), u(200, 0.0);
    std::vector<int> wetted, dried;
    auto raw = makeModel(ModelSetup(), false);
    auto ready = makeModel(ModelSetup());
    auto sigma = makeSigmaModel(ModelSetup());
    const std::string notImpl = "hsModelInfo::updateDZ not implemented for current layerType.";
    const struct {
        std::string got, want;
    } cases[] = {
        {thrownMessage([&] { raw->updateDZe(eta.data(), false); }),
         "hsModelInfo::updateDZe called before init()."},
        {thrownMessage([&] { raw->updateDZf(eta.data(), u.data(), 3, false, false); }),
         "hsModelInfo::updateDZf called before init()."},
        {thrownMessage([&] { raw->updateDZeWetDry(eta.data(), wetted, dried, false); }),
         "hsModelInfo::updateDZeWetDry called before init()."},
        {thrownMessage([&] { raw->initWetDry(); }),
         "hsModelInfo: Cannot init wetdry before main init. " + hestor::errSuffix},
        {thrownMessage([&] { ready->updateDZeWetDry(eta.data(), wetted, dried, false); }),
         "hsModelInfo::updateDZeWetDry called before initWetDry()."},
        {thrownMessage([&] { sigma->updateDZe(eta.data(), false); }), notImpl},
        {thrownMessage([&] { sigma->updateDZf(eta.data(), u.data(), 3, false, false); }), notImpl},
        {thrownMessage([&] { sigma->updateDZeWetDry(eta.data(), wetted, dried, false); }), notImpl},
        {thrownMessage([&] { ready->popHAC(true); }),
         "hsModelInfo::popHAC only implemented for sigma layers."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.want);
    EXPECT_TRUE(wetted.empty() && dried.empty());

    sigma->noCells -= 1;  // not the sigma layout: nothing is read past the tables
    EXPECT_EQ(thrownMessage([&] { sigma->popHAC(false); }),
              "hsModelInfo::popHAC: noCells is 59, but the sigma layout of 12 elements and 5 "
              "layers has 60 cells.");
    EXPECT_EQ(sigma->hacNo, nullptr);
}

TEST(hsModelInfoUpdate, AdjacentSigmaCellsOfTwoElements)
{
    ModelSetup s;
    s.nx = 2;
    s.ny = 1;
    s.dz = {0.6, 0.4};
    s.bathy = {10.0, 5.0};  // cells [4,10] [0,4] and [2,5] [0,2] m deep
    auto mi = makeSigmaModel(s);
    const std::vector<int> no = {1, 2, 2, 1}, start = {0, 1, 3, 5}, list = {2, 2, 3, 0, 1, 1};
    const struct {
        bool byFace;
        std::vector<double> w;
    } cases[] = {{true, {10, 20, 20, 10, 20, 20}}, {false, {100, 200, 200, 100, 200, 200}}};
    for (const auto& c : cases) {
        mi->popHAC(c.byFace);  // twice on the same object: the first tables go
        EXPECT_EQ(std::vector<int>(mi->hacNo, mi->hacNo + 4), no);
        EXPECT_EQ(std::vector<int>(mi->hacStart, mi->hacStart + 4), start);
        EXPECT_EQ(std::vector<int>(mi->hacList, mi->hacList + 6), list);
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(mi->hacFrac[i], c.w[i], 1e-9) << (c.byFace ? "by face " : "by volume ")
                                                       << i;
    }
}

TEST(hsModelInfoUpdate, AdjacentSigmaCellsAreSymmetric)
{
    ModelSetup s;
    s.dz = {0.1, 0.2, 0.3, 0.4};
    for (bool byFace : {true, false}) {
        auto mi = makeSigmaModel(s);
        mi->popHAC(byFace);
        int total = 0;
        for (int c = 0; c < mi->noCells; ++c) {
            ASSERT_EQ(mi->hacStart[c], total);
            total += mi->hacNo[c];
            for (int i = mi->hacStart[c]; i < mi->hacStart[c] + mi->hacNo[c]; ++i) {
                const int nc = mi->hacList[i];
                int back = 0;
                for (int j = mi->hacStart[nc]; j < mi->hacStart[nc] + mi->hacNo[nc]; ++j)
                    if (mi->hacList[j] == c) {
                        ++back;
                        EXPECT_NEAR(mi->hacFrac[j], mi->hacFrac[i], 1e-9);
                    }
                EXPECT_EQ(back, 1) << "cell " << c << " and " << nc;
            }
        }
        EXPECT_GT(total, 0);
    }
}
