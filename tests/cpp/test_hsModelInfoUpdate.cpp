#include <gtest/gtest.h>

#include <cmath>
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
    // With swap the tables change places first: the last result becomes the
    // previous one, and the new one is written over the older table.
    fm->updateDZf(eta.data(), V(fm->noFaceCells, 1).data(), 0, true, false);
    fm->updateDZf(eta.data(), V(fm->noFaceCells, 1).data(), 1, true, false);
    EXPECT_DOUBLE_EQ(fm->fdzPrev[0][4], 2.3);
    EXPECT_DOUBLE_EQ(fm->fdz[0][4], 1.8);

    // A single face-cell reaches down to the shallower element's bottom.
    auto one = pair({1.5, 1.2});
    one->updateDZf(eta.data(), V(one->noFaceCells, 1.0).data(), 1, false, false);
    EXPECT_DOUBLE_EQ(one->fdz[0][0], 1.0);
    EXPECT_DOUBLE_EQ(one->fdzc[0][0], 0.5);
}

TEST(hsModelInfoUpdate, WetDryColumnsAndFaces)
{
    auto mi = pair({9.0, 4.5}, true);  // bottom layers 0 and 2, bottom cells 1 and 0.5 m
    const int first = mi->elemFirstCell[0];
    std::vector<int> wetted, dried;
    const V eta = {-5.0, -1.0};  // element 0: layers 4 and 3 dry
    mi->updateDZeWetDry(eta.data(), wetted, dried, true);
    EXPECT_EQ(V(mi->edzPrev[0], mi->edzPrev[0] + 5), (V{1, 2, 2, 2, 2}));  // copied before
    EXPECT_EQ(mi->etliPrev[0], 4);
    EXPECT_EQ(dried, (std::vector<int>{first + 4, first + 3}));
    EXPECT_EQ(mi->etli[0], 2);
    EXPECT_EQ(mi->elemLastCell[0], first + 2);
    EXPECT_EQ(mi->enol[0], 3);
    EXPECT_EQ(V(mi->edz[0], mi->edz[0] + 5), (V{1, 2, 1, 0, 0}));
    EXPECT_EQ(V(mi->edzc[0], mi->edzc[0] + 4), (V{1.5, 1.5, 0.5, 0}));
    EXPECT_EQ(mi->cellVolume[first + 3], 0.0);

    // Faces take the upwind cell in each layer, the larger one where u is 0,
    // and the thinner of the two cells at the bottom.
    const double thick[2][3] = {{1.0, 0.0, 0.0}, {0.5, 2.0, 1.0}};  // layers 2 to 4
    const int a = mi->mesh2d.vfe[0], b = mi->mesh2d.vfe[1];
    for (double v : {1.0, 0.0, -1.0}) {
        mi->updateDZf(eta.data(), V(mi->noFaceCells, v).data(), 3, false, true);
        EXPECT_EQ(mi->ftli[0], 4);
        V want = {0.5};
        for (int j = 1; j <= 2; ++j)
            want.push_back(v > 0 ? thick[a][j] : v < 0 ? thick[b][j]
                                                       : std::max(thick[a][j], thick[b][j]));
        EXPECT_EQ(V(mi->fdz[0], mi->fdz[0] + 3), want) << v;
        EXPECT_EQ(V(mi->fdzc[0], mi->fdzc[0] + 2),
                  (V{0.5 * (want[0] + want[1]), 0.5 * (want[1] + want[2])}));
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

TEST(hsModelInfoUpdate, WetDryBoundaryFacesFollowTheirElement)
{
    auto mi = pair({9.0, 9.0}, true);
    const int n = mi->noLayer;
    std::vector<int> wetted, dried;
    for (double level : {-9.5, 0.0, -5.0, 0.0}) {
        const V eta(2, level);
        mi->updateDZeWetDry(eta.data(), wetted, dried, true);
        mi->updateDZf(eta.data(), V(mi->noFaceCells, 1.0).data(), 3, true, true);
        for (int i = 0; i < mi->mesh2d.nobvf; ++i) {
            const int f = mi->mesh2d.noivf + i, e = mi->mesh2d.bvfe[i];
            const int cells = n - mi->fbli[f], centres = std::max(cells - 1, 1);
            EXPECT_EQ(mi->ftli[f], mi->etli[e]);
            EXPECT_EQ(V(mi->fdz[f], mi->fdz[f] + cells), V(mi->edz[e], mi->edz[e] + cells))
                << level;
            EXPECT_EQ(V(mi->fdzc[f], mi->fdzc[f] + centres),
                      V(mi->edzc[e], mi->edzc[e] + centres))
                << level;
        }
    }
    for (int f : {1, 2})
        EXPECT_EQ(V(mi->fdzc[f], mi->fdzc[f] + 4), (V{1.5, 2, 2, 2}));
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
    V tops(n, 0.0);  // depth of each layer's top
    for (int k = n - 2; k >= 0; --k)
        tops[k] = tops[k + 1] + s.dz[k + 1];
    for (int step = 0; step < 300; ++step) {
        for (int e = 0; e < noe; ++e)
            eta[e] = std::uniform_real_distribution<double>(-mi->elemBathy[e] - 0.5, 2.0)(rng);
        for (double& v : u)
            v = static_cast<int>(rng() % 3) - 1.0;
        const std::vector<int> before(mi->etli, mi->etli + noe);
        const V edzBefore(mi->edz.data(), mi->edz.data() + mi->edz.size());
        const V prevBefore(mi->edzPrev.data(), mi->edzPrev.data() + mi->edzPrev.size());
        std::vector<int> wetted, dried;
        mi->updateDZeWetDry(eta.data(), wetted, dried, step % 2 == 0);
        EXPECT_EQ(V(mi->edzPrev.data(), mi->edzPrev.data() + mi->edzPrev.size()),
                  step % 2 == 0 ? edzBefore : prevBefore);
        // Wetted cells rise column by column, dried ones fall.
        std::vector<int> wantWet, wantDry;
        for (int e = 0; e < noe; ++e) {
            const int cell0 = mi->elemFirstCell[e] - mi->ebli[e];  // cell of layer 0
            for (int k = before[e] + 1; k <= mi->etli[e]; ++k)
                wantWet.push_back(cell0 + k);
            for (int k = before[e]; k > mi->etli[e]; --k)
                wantDry.push_back(cell0 + k);
        }
        EXPECT_EQ(wetted, wantWet);
        EXPECT_EQ(dried, wantDry);
        mi->updateDZf(eta.data(), u.data(), 3, true, true);
        long long moved = 0;
        for (int e = 0; e < noe; ++e) {
            const int b = mi->ebli[e], t = mi->etli[e];
            ASSERT_TRUE(b <= t && t < n);
            // The top layer holds the surface: above its bottom (unless it is
            // the column's bottom layer), at or below its top (unless it is
            // the surface layer).
            EXPECT_TRUE(t == b || -eta[e] < tops[t - 1]) << "step " << step << ", " << e;
            EXPECT_TRUE(t == n - 1 || -eta[e] >= tops[t]) << "step " << step << ", " << e;
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

TEST(hsModelInfoUpdate, AdjacentSigmaCellsOnCutDepths)
{
    auto sigmaPair = [](V dz, V bathy) {
        ModelSetup s;
        s.nx = 2;
        s.ny = 1;
        s.dz = std::move(dz);
        s.bathy = std::move(bathy);
        return modeltest::makeSigmaModel(s);
    };
    // Element 0: cells [5, 10] and [0, 5] m. Element 1's depths are cut to 4
    // decimals, upwards when their own fraction is at least one half:
    // 0.85001 -> 0.8501, 1.70002 -> 1.7001; 1.23456 -> 1.2345, 2.46912 -> 2.4691.
    // Weights of element 0's top cell: element 1's bottom cell, its top cell.
    for (const V& c : {V{1.70002, 8.5, 8.501}, V{2.46912, 12.346, 12.345}}) {
        auto mi = sigmaPair({0.5, 0.5}, {10.0, c[0]});
        mi->popHAC(true);
        EXPECT_EQ(std::vector<int>(mi->hacNo, mi->hacNo + 4), (std::vector<int>{0, 2, 1, 1}));
        EXPECT_EQ(std::vector<int>(mi->hacList, mi->hacList + 4), (std::vector<int>{2, 3, 1, 1}));
        EXPECT_NEAR(mi->hacFrac[0], c[1], 1e-9) << c[0];
        EXPECT_NEAR(mi->hacFrac[1], c[2], 1e-9) << c[0];
    }
    // A layer of no thickness: its cells overlap nothing and weigh nothing.
    // Cells [5, 10] [5, 5] [0, 5] and [2.5, 5] [2.5, 2.5] [0, 2.5].
    auto mi = sigmaPair({0.5, 0.0, 0.5}, {10.0, 5.0});
    for (bool byFace : {true, false}) {
        mi->popHAC(byFace);
        EXPECT_EQ(std::vector<int>(mi->hacNo, mi->hacNo + 6),
                  (std::vector<int>{0, 0, 2, 1, 0, 1}));
        EXPECT_EQ(std::vector<int>(mi->hacList, mi->hacList + 4), (std::vector<int>{3, 5, 2, 2}));
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(std::isfinite(mi->hacFrac[i]) && mi->hacFrac[i] > 0) << byFace << i;
    }
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
