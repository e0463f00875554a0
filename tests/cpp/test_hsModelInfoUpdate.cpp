#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "testUtil.h"
#include "test_hsModelInfoHelpers.h"

using hestor::hsModelInfo;
using modeltest::makeModel;
using modeltest::ModelSetup;
using testutil::thrownMessage;
using V = std::vector<double>;

namespace {

// Two 10 m squares, five layers of 2 m (tops 8, 6, 4, 2, 0), one interior
// face and an open-boundary face on either side.
std::unique_ptr<hsModelInfo> pair(V bathy, bool wetDry = false)
{
    ModelSetup s;
    s.nx = 2;
    s.ny = 1;
    s.bathy = std::move(bathy);
    auto mi = makeModel(s);
    if (wetDry)
        mi->initWetDry();
    return mi;
}

} // namespace

TEST(hsModelInfoUpdate, FixedTopLayer)
{
    auto mi = pair({9.0, 1.5});
    mi->updateDZe(V{0.3, 0.3}.data(), true);
    EXPECT_DOUBLE_EQ(mi->edz[0][4], 2.3);
    EXPECT_DOUBLE_EQ(mi->edzc[0][3], 2.15);
    EXPECT_DOUBLE_EQ(mi->edz[1][0], 1.8);  // a single-cell column
    EXPECT_DOUBLE_EQ(mi->edzc[1][0], 0.9);
    EXPECT_DOUBLE_EQ(mi->cellVolume[mi->elemLastCell[0]], 230.0);
    EXPECT_DOUBLE_EQ(mi->cellVolume[mi->elemLastCell[1]], 180.0);
    const V volumes(mi->cellVolume, mi->cellVolume + mi->noCells);
    mi->updateCellVolume(true);  // updateDZe sets the top volumes itself
    EXPECT_EQ(V(mi->cellVolume, mi->cellVolume + mi->noCells), volumes);
    EXPECT_DOUBLE_EQ(mi->edzPrev[0][4], 2.0);  // the tables changed places

    // Face rules on the interior face; u > 0 flows from its first element.
    auto fm = pair({9.0, 9.0});
    const int a = fm->mesh2d.vfe[0];
    V eta(2, -0.2);
    eta[a] = 0.3;
    const struct {
        int rule;
        double u, top;
    } cases[] = {{0, 1, 2.3}, {1, 1, 1.8}, {2, 1, 2.05}, {3, 1, 2.3}, {3, 0, 1.8}, {3, -1, 1.8}};
    for (const auto& c : cases) {
        fm->updateDZf(eta.data(), V(fm->noFaceCells, c.u).data(), c.rule, false, false);
        EXPECT_DOUBLE_EQ(fm->fdz[0][4], c.top) << "rule " << c.rule << " u " << c.u;
        EXPECT_DOUBLE_EQ(fm->fdzc[0][3], 1.0 + 0.5 * c.top);
    }
    for (int f : {1, 2})  // open-boundary faces: down to the bottom of layer 4
        EXPECT_DOUBLE_EQ(fm->fdz[f][4], eta[fm->mesh2d.bvfe[f - 1]] + 2.0);

    // A single face-cell reaches down to the shallower element's bottom.
    auto one = pair({1.5, 1.2});
    one->updateDZf(eta.data(), V(one->noFaceCells, 1.0).data(), 1, false, false);
    EXPECT_DOUBLE_EQ(one->fdz[0][0], 1.0);
    EXPECT_DOUBLE_EQ(one->fdzc[0][0], 0.5);
}

TEST(hsModelInfoUpdate, WetDryColumnsAndFaces)
{
    auto mi = pair({9.0, 5.0}, true);  // bottom layers 0 and 2, bottom cells 1 m
    const int first = mi->elemFirstCell[0];
    std::vector<int> wetted, dried;
    const V eta = {-5.0, -1.0};  // element 0: layers 4 and 3 dry
    mi->updateDZeWetDry(eta.data(), wetted, dried, true);
    EXPECT_EQ(dried, (std::vector<int>{first + 4, first + 3}));
    EXPECT_EQ(mi->etli[0], 2);
    EXPECT_EQ(mi->elemLastCell[0], first + 2);
    EXPECT_EQ(mi->enol[0], 3);
    EXPECT_EQ(V(mi->edz[0], mi->edz[0] + 5), (V{1, 2, 1, 0, 0}));
    EXPECT_EQ(V(mi->edzc[0], mi->edzc[0] + 4), (V{1.5, 1.5, 0.5, 0}));
    EXPECT_EQ(mi->cellVolume[first + 3], 0.0);

    // Faces take the upwind cell in each layer, the larger one where u is 0.
    const double thick[2][3] = {{1.0, 0.0, 0.0}, {1.0, 2.0, 1.0}};  // layers 2 to 4
    const int a = mi->mesh2d.vfe[0], b = mi->mesh2d.vfe[1];
    for (double v : {1.0, 0.0, -1.0}) {
        mi->updateDZf(eta.data(), V(mi->noFaceCells, v).data(), 3, false, true);
        EXPECT_EQ(mi->ftli[0], 4);
        EXPECT_DOUBLE_EQ(mi->fdz[0][0], 1.0);  // the thinner bottom cell
        for (int j = 1; j <= 2; ++j)
            EXPECT_DOUBLE_EQ(mi->fdz[0][j], v > 0   ? thick[a][j]
                                            : v < 0 ? thick[b][j]
                                                    : std::max(thick[a][j], thick[b][j]));
    }
    EXPECT_EQ(thrownMessage([&] { mi->updateDZf(eta.data(), nullptr, 1, false, true); }),
              "WetDry only supports face rule 3");

    const V rise = {0.5, -1.0};  // two layers wet in one step, lowest first
    mi->updateDZeWetDry(rise.data(), wetted, dried, true);
    EXPECT_EQ(wetted, (std::vector<int>{first + 3, first + 4}));
    EXPECT_EQ(mi->etliPrev[0], 2);
    EXPECT_EQ(V(mi->edz[0] + 2, mi->edz[0] + 5), (V{2, 2, 2.5}));  // stops at the surface layer
    EXPECT_DOUBLE_EQ(mi->cellVolume[first + 3], 200.0);

    // One wet face-cell: the larger elevation over the shallower bottom, not below 0.
    auto one = pair({1.5, 1.2}, true);
    for (const auto& c : {std::pair<V, double>{{0.3, -0.1}, 1.5}, {{-2.0, -1.5}, 0.0}}) {
        one->updateDZeWetDry(c.first.data(), wetted, dried, false);
        one->updateDZf(c.first.data(), V(one->noFaceCells, 0.0).data(), 3, false, true);
        EXPECT_DOUBLE_EQ(one->fdz[0][0], c.second);
    }
}

TEST(hsModelInfoUpdate, RandomStepsKeepColumnsConsistent)
{
    ModelSetup s;
    s.dz = {3.0, 2.5, 2.0, 1.5, 1.0, 1.0};
    auto mi = makeModel(s);
    mi->initWetDry();
    const int noe = mi->mesh2d.noe, n = mi->noLayer;
    const int* vfe = mi->mesh2d.vfe;
    std::mt19937 rng(17);
    V eta(noe), u(mi->noFaceCells);
    for (int step = 0; step < 300; ++step) {
        for (int e = 0; e < noe; ++e)
            eta[e] = std::uniform_real_distribution<double>(-mi->elemBathy[e] - 0.5, 2.0)(rng);
        for (double& v : u)
            v = static_cast<int>(rng() % 3) - 1.0;
        const std::vector<int> before(mi->etli, mi->etli + noe);
        std::vector<int> wetted, dried;
        mi->updateDZeWetDry(eta.data(), wetted, dried, step % 2 == 0);
        mi->updateDZf(eta.data(), u.data(), 3, true, true);
        long long moved = 0;
        for (int e = 0; e < noe; ++e) {
            const int b = mi->ebli[e], t = mi->etli[e];
            ASSERT_TRUE(b <= t && t < n);
            EXPECT_EQ(mi->elemLastCell[e], mi->elemFirstCell[e] + t - b);
            EXPECT_EQ(mi->enol[e], t - b + 1);
            moved += t - before[e];
            double sum = 0;
            for (int j = 0; j < n - b; ++j) {
                EXPECT_TRUE(j <= t - b || mi->edz[e][j] == 0.0);
                sum += mi->edz[e][j];
                EXPECT_NEAR(mi->cellVolume[mi->elemFirstCell[e] + j],
                            mi->edz[e][j] * mi->mesh2d.eArea[e], 1e-9);
            }
            EXPECT_NEAR(sum, eta[e] + mi->elemBathy[e], 1e-9) << "step " << step << ", " << e;
        }
        EXPECT_EQ(moved + static_cast<long long>(dried.size()),
                  static_cast<long long>(wetted.size()));
        for (int f = 0; f < mi->mesh2d.noivf; ++f)
            EXPECT_EQ(mi->ftli[f], std::max(mi->etli[vfe[2 * f]], mi->etli[vfe[2 * f + 1]]));
    }
}

TEST(hsModelInfoUpdate, RefusesWhatItCannotUpdate)
{
    const V eta(12, 0.0);
    std::vector<int> wetted, dried;
    auto raw = makeModel(ModelSetup(), false);
    auto ready = makeModel(ModelSetup());
    auto sigma = modeltest::makeSigmaModel(ModelSetup());
    const std::string notImpl = "hsModelInfo::updateDZ not implemented for current layerType.";
    const std::pair<std::string, std::string> cases[] = {
        {thrownMessage([&] { raw->updateDZe(eta.data(), false); }),
         "hsModelInfo::updateDZe called before init()."},
        {thrownMessage([&] { raw->updateDZf(eta.data(), eta.data(), 3, false, false); }),
         "hsModelInfo::updateDZf called before init()."},
        {thrownMessage([&] { raw->initWetDry(); }),
         "hsModelInfo: Cannot init wetdry before main init. " + hestor::errSuffix},
        {thrownMessage([&] { ready->updateDZeWetDry(eta.data(), wetted, dried, false); }),
         "hsModelInfo::updateDZeWetDry called before initWetDry()."},
        {thrownMessage([&] { sigma->updateDZe(eta.data(), false); }), notImpl},
        {thrownMessage([&] { sigma->updateDZeWetDry(eta.data(), wetted, dried, false); }), notImpl},
        {thrownMessage([&] { ready->popHAC(true); }),
         "hsModelInfo::popHAC only implemented for sigma layers."},
        {thrownMessage([&] { --sigma->noCells, sigma->popHAC(false); }),
         "hsModelInfo::popHAC: noCells is 59, but the sigma layout of 12 elements and 5 layers "
         "has 60 cells."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.first, c.second);
    EXPECT_EQ(sigma->hacNo, nullptr);
}

TEST(hsModelInfoUpdate, AdjacentSigmaCells)
{
    ModelSetup s;
    s.nx = 2;
    s.ny = 1;
    s.dz = {0.6, 0.4};
    s.bathy = {10.0, 5.0};  // cells [4,10] [0,4] and [2,5] [0,2] m deep
    auto mi = modeltest::makeSigmaModel(s);
    const struct {
        bool byFace;
        V w;
    } cases[] = {{true, {10, 20, 20, 10, 20, 20}}, {false, {100, 200, 200, 100, 200, 200}}};
    for (const auto& c : cases) {
        mi->popHAC(c.byFace);  // twice on one object: the first tables go
        EXPECT_EQ(std::vector<int>(mi->hacNo, mi->hacNo + 4), (std::vector<int>{1, 2, 2, 1}));
        EXPECT_EQ(std::vector<int>(mi->hacStart, mi->hacStart + 4), (std::vector<int>{0, 1, 3, 5}));
        EXPECT_EQ(std::vector<int>(mi->hacList, mi->hacList + 6),
                  (std::vector<int>{2, 2, 3, 0, 1, 1}));
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(mi->hacFrac[i], c.w[i], 1e-9) << c.byFace << " " << i;
    }
}
