#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "hsModelInfo.h"
#include "testUtil.h"
#include "test_hsMesh2DHelpers.h"
#include "test_hsModelInfoHelpers.h"

using hestor::hsMesh2D;
using hestor::hsModelInfo;
using ZCoreLib::ZException;
using testutil::thrownMessage;
using modeltest::makeModel;
using modeltest::ModelSetup;

namespace {

// Top of layer k from the thicknesses, summed from the surface.
double topOf(const hsModelInfo& mi, int k)
{
    double d = mi.offsetDepth;
    for (int i = mi.noLayer - 1; i > k; --i)
        d += mi.dz[i];
    return d;
}

template <typename T>
std::vector<T> vec(const T* p, long long n)
{
    return p ? std::vector<T>(p, p + n) : std::vector<T>();
}

std::vector<double> snapshot(const hsModelInfo& mi)
{
    const long long total = static_cast<long long>(mi.noCells) + mi.noBndCells;
    const int ne = mi.mesh2d.noe + mi.mesh2d.nobvf;
    std::vector<double> s = {double(mi.noCells), double(mi.noBndCells), double(mi.noFaces),
                             double(mi.noFaceCells), double(mi.noNodeCells)};
    auto add = [&s](const auto& v) { s.insert(s.end(), v.begin(), v.end()); };
    add(vec(mi.elemBathy, mi.mesh2d.noe));
    add(vec(mi.enol, mi.mesh2d.noe));
    add(vec(mi.ebli, ne));
    add(vec(mi.elemFirstCell, ne));
    add(vec(mi.elemLastCell, ne));
    add(vec(mi.cell2elem, total));
    add(vec(mi.cell2layer, total));
    add(vec(mi.cell2top, total));
    add(vec(mi.cellVolume, mi.noCells));
    add(vec(mi.cellDepth, mi.noCells));
    add(vec(mi.fbli, mi.noFaces));
    add(vec(mi.faceFirstCell, mi.noFaces));
    add(vec(mi.faceLayerOffset, 2 * mi.noFaces));
    add(vec(mi.nodeFirstCell, mi.mesh2d.non));
    add(vec(mi.edz.data(), mi.edz.size()));
    add(vec(mi.edzc.data(), mi.edzc.size()));
    add(vec(mi.fdz.data(), mi.fdz.size()));
    add(vec(mi.fdzc.data(), mi.fdzc.size()));
    add(vec(mi.elemFaceBli.data(), mi.elemFaceBli.size()));
    return s;
}

void expectNumberingInvariants(const hsModelInfo& mi)
{
    const hsMesh2D& m = mi.mesh2d;
    const int n = mi.noLayer;
    const int ne = m.noe + m.nobvf;
    const long long total = static_cast<long long>(mi.noCells) + mi.noBndCells;
    long long next = 0, elemCells = 0;
    for (int e = 0; e < ne; ++e) {
        ASSERT_EQ(mi.elemFirstCell[e], next) << "column " << e;
        ASSERT_EQ(mi.elemLastCell[e] - mi.elemFirstCell[e] + 1, n - mi.ebli[e]);
        for (int j = 0; j < n - mi.ebli[e]; ++j) {
            ASSERT_EQ(mi.cell2elem[next + j], e);
            ASSERT_EQ(mi.cell2layer[next + j], mi.ebli[e] + j);
        }
        next = mi.elemLastCell[e] + 1;
        if (e < m.noe) {
            EXPECT_EQ(mi.enol[e], n - mi.ebli[e]);
            elemCells += mi.enol[e];
        } else {
            EXPECT_EQ(mi.ebli[e], mi.ebli[m.bvfe[e - m.noe]]);
        }
        if (e + 1 == m.noe) {
            EXPECT_EQ(next, elemCells);
        }
    }
    EXPECT_EQ(next, total);
    EXPECT_EQ(elemCells, mi.noCells);
    long long fc = 0;
    for (int f = 0; f < mi.noFaces; ++f) {
        EXPECT_EQ(mi.faceFirstCell[f], fc);
        EXPECT_EQ(mi.fbli[f], std::max(mi.ebli[m.vfe[2 * f]], mi.ebli[m.vfe[2 * f + 1]]));
        fc += n - mi.fbli[f];
    }
    EXPECT_EQ(fc, mi.noFaceCells);
    for (long long c = 0; c < total; ++c)
        EXPECT_EQ(mi.cellIdx[c], c);
}

} // namespace

TEST(hsModelInfo, NumberingInvariantsWithPseudoElements)
{
    auto mi = makeModel(ModelSetup());
    ASSERT_TRUE(mi->isInit);
    ASSERT_EQ(mi->mesh2d.nobvf, 6);
    EXPECT_EQ(mi->noFaces, mi->mesh2d.noivf + 6);
    expectNumberingInvariants(*mi);
    int bndSum = 0;
    for (int i = 0; i < mi->mesh2d.nob; ++i)
        bndSum += mi->bndNoCells[i];
    EXPECT_EQ(bndSum, mi->noBndCells);
    EXPECT_EQ(mi->noIntFaceCells + mi->noBndFaceCells, mi->noFaceCells);
}

TEST(hsModelInfo, ColumnThicknessesAndVolumesSumToDepth)
{
    for (double offset : {0.0, 0.5}) {
        ModelSetup s;
        s.dz = {3.0, 2.5, 2.0, 1.5, 1.0, 1.0};
        s.offset = offset;
        auto mi = makeModel(s);
        for (int e = 0; e < mi->mesh2d.noe; ++e) {
            double sumDz = 0, sumVol = 0;
            for (int j = 0; j < mi->enol[e]; ++j) {
                sumDz += mi->edz[e][j];
                sumVol += mi->cellVolume[mi->elemFirstCell[e] + j];
                EXPECT_EQ(mi->edzPrev[e][j], mi->edz[e][j]);
            }
            const double depth = mi->elemBathy[e] - offset;
            EXPECT_NEAR(sumDz, depth, 1e-9) << "element " << e;
            EXPECT_NEAR(sumVol, mi->mesh2d.eArea[e] * depth, 1e-7);
            EXPECT_GE(mi->edz[e][0], 0.1 * mi->dz[mi->ebli[e]] - 1e-12);
        }
    }
}

TEST(hsModelInfo, BottomCellRule)
{
    ModelSetup s;  // five layers of 2 m: tops 8, 6, 4, 2, 0
    s.bathy = {5.0, 4.0, 6.04, 13.0, -1.0, 0.0};
    auto mi = makeModel(s);
    EXPECT_EQ(mi->ebli[0], 2);  // middle of layer 2
    EXPECT_DOUBLE_EQ(mi->edz[0][0], 1.0);
    EXPECT_EQ(mi->ebli[1], 3);  // exactly on top(2): the layer above
    EXPECT_DOUBLE_EQ(mi->edz[1][0], 2.0);
    EXPECT_EQ(mi->ebli[2], 1);  // 0.04 m thin cell deepened to 0.2 m
    EXPECT_NEAR(mi->elemBathy[2], 6.2, 1e-12);
    EXPECT_NEAR(mi->edz[2][0], 0.2, 1e-12);
    EXPECT_EQ(mi->ebli[3], 0);  // below layer 0: a thick bottom cell
    EXPECT_DOUBLE_EQ(mi->edz[3][0], 5.0);
    for (int e : {4, 5}) {  // at or above the surface: one surface cell
        EXPECT_EQ(mi->ebli[e], 4);
        EXPECT_EQ(mi->enol[e], 1);
        EXPECT_NEAR(mi->edz[e][0], 0.2, 1e-12);
        EXPECT_NEAR(mi->edzc[e][0], 0.1, 1e-12);
    }
    EXPECT_NEAR(mi->cellDepth[mi->elemFirstCell[0]], 4.5, 1e-12);
    EXPECT_DOUBLE_EQ(mi->cellDepth[mi->elemFirstCell[0] + 1], mi->layerDepth[3]);
    for (int e = 0; e < 6; ++e)  // independent layer search
        if (mi->ebli[e] > 0 && e < 4) {
            EXPECT_TRUE(s.bathy[e] > topOf(*mi, mi->ebli[e]) &&
                        !(s.bathy[e] > topOf(*mi, mi->ebli[e] - 1)));
        }
}

TEST(hsModelInfo, NegativeMinDzFracDropsThinBottomCell)
{
    ModelSetup s;
    s.bathy = std::vector<double>(12, 5.0);  // exactly half a layer: kept
    s.bathy[0] = 6.5;
    s.bathy[1] = 7.9;
    auto keep = makeModel(s);
    s.minDzFrac = -0.5;
    auto drop = makeModel(s);
    EXPECT_EQ(keep->ebli[0], 1);
    EXPECT_EQ(drop->ebli[0], 2);
    EXPECT_DOUBLE_EQ(drop->elemBathy[0], 6.0);
    EXPECT_DOUBLE_EQ(drop->edz[0][0], 2.0);
    EXPECT_EQ(drop->enol[0], keep->enol[0] - 1);
    EXPECT_EQ(drop->ebli[1], 1);  // 1.9 m of 2 m: kept
    for (int e = 1; e < drop->mesh2d.noe; ++e)
        EXPECT_EQ(drop->elemFirstCell[e], keep->elemFirstCell[e] - 1);
    EXPECT_EQ(drop->noCells, keep->noCells - 1);
    expectNumberingInvariants(*drop);
}

TEST(hsModelInfo, EnolAndFaceLayers)
{
    ModelSetup s;
    s.nx = 2;
    s.ny = 1;
    s.dz = std::vector<double>(10, 1.0);
    s.bathy = {7.5, 4.3};
    s.enol = {8, 0};  // ebli 2; the other derived: ebli 5
    auto mi = makeModel(s);
    EXPECT_EQ(mi->ebli[0], 2);
    EXPECT_EQ(mi->ebli[1], 5);
    ASSERT_EQ(mi->mesh2d.noivf, 1);
    const int e0 = mi->mesh2d.vfe[0];
    EXPECT_EQ(mi->fbli[0], 5);
    EXPECT_EQ(mi->faceLayerOffset[0], 5 - mi->ebli[e0]);
    EXPECT_EQ(mi->faceLayerOffset[1], 5 - mi->ebli[1 - e0]);
    EXPECT_DOUBLE_EQ(mi->fdz[0][0], mi->edz[1][0]);
    EXPECT_DOUBLE_EQ(mi->fdz[0][1], 1.0);

    s.enol = {3, 0};
    s.bathy = {0.5, 4.3};
    EXPECT_EQ(makeModel(s)->ebli[0], 7);  // regardless of the bathymetry
}

TEST(hsModelInfo, NodeCellsSpanFacesAtInteriorNodes)
{
    auto mi = makeModel(ModelSetup());
    const hsMesh2D& m = mi->mesh2d;
    long long next = 0;
    for (int i = 0; i < m.non; ++i) {
        EXPECT_EQ(mi->nodeFirstCell[i], next);
        if (m.nt[i] != 0) {
            EXPECT_EQ(mi->nbli[i], -1);
            EXPECT_EQ(mi->ntli[i], -2);
            continue;
        }
        int lo = 99999;  // faces found through their nodes, not the node tables
        for (int f = 0; f < mi->noFaces; ++f)
            if (m.vfn[2 * f] == i || m.vfn[2 * f + 1] == i)
                lo = std::min(lo, mi->fbli[f]);
        EXPECT_EQ(mi->nbli[i], lo);
        EXPECT_EQ(mi->ntli[i], mi->noLayer - 1);
        next += mi->noLayer - lo;
    }
    EXPECT_EQ(mi->noNodeCells, next);
    EXPECT_GT(next, 0);
}

TEST(hsModelInfo, BoundaryFacesOff)
{
    ModelSetup s;
    s.bndFaces = false;
    auto mi = makeModel(s);
    const hsMesh2D& m = mi->mesh2d;
    EXPECT_EQ(mi->noFaces, m.noivf);
    EXPECT_EQ(mi->noBndFaceCells, 0);
    EXPECT_GT(mi->noBndCells, 0);  // the pseudo-elements keep their cells
    expectNumberingInvariants(*mi);
    for (int e = 0; e < m.noe; ++e) {
        const int nf = m.nivfpe[e] + m.nbvfpe[e];
        ASSERT_EQ(static_cast<int>(mi->elemFaceBli.rowLength(e)), nf);
        for (int k = 0; k < nf; ++k) {
            const int f = m.evf[m.eStart[e] + k];
            EXPECT_EQ(mi->elemFaceBli[e][k], k < m.nivfpe[e] ? mi->fbli[f] : mi->ebli[e]);
        }
    }
}

TEST(hsModelInfo, InitTwiceResetAndReinit)
{
    auto mi = makeModel(ModelSetup());
    const std::vector<double> first = snapshot(*mi);
    mi->init();
    EXPECT_EQ(snapshot(*mi), first);

    mi->dzStr = "2,2";
    mi->offsetDepth = 0.5;
    mi->reset();
    EXPECT_FALSE(mi->isInit);
    EXPECT_EQ(mi->elemBathy, nullptr);
    EXPECT_EQ(mi->dz, nullptr);
    EXPECT_EQ(mi->enol, nullptr);
    EXPECT_EQ(mi->cell2elem, nullptr);
    EXPECT_FALSE(static_cast<bool>(mi->edz));
    EXPECT_EQ(mi->noLayer, 0);
    EXPECT_EQ(mi->noCells, 0);
    EXPECT_EQ(mi->timestep, -1.0);
    EXPECT_EQ(mi->dzStr, "2,2");
    EXPECT_EQ(mi->offsetDepth, 0.5);

    mi->noLayer = 2;
    mi->adoptDz(new double[2]{2.0, 2.0}, 2);
    mi->adoptElemBathy(new double[12](), 12);
    mi->init();
    EXPECT_EQ(mi->noCells, 12);
    expectNumberingInvariants(*mi);
    mi->relMem();
    EXPECT_FALSE(mi->isInit);
    EXPECT_EQ(mi->layerDepth, nullptr);
}

TEST(hsModelInfo, RefusedInputLeavesNothingBuilt)
{
    ModelSetup s;
    auto mi = makeModel(s);
    mi->layerType = hestor::SIGMA;
    EXPECT_EQ(thrownMessage([&] { mi->init(); }), "Sigma layers no longer supported.");
    EXPECT_FALSE(mi->isInit);
    EXPECT_EQ(mi->layerDepth, nullptr);
    EXPECT_EQ(mi->ebli, nullptr);
    EXPECT_NE(mi->elemBathy, nullptr);  // inputs stay for another attempt
    mi->layerType = hestor::ZLAYER;
    mi->init();
    EXPECT_TRUE(mi->isInit);

    auto refused = [&s](auto change) {
        auto m = makeModel(s, false);
        change(*m);
        return thrownMessage([&] { m->init(); });
    };
    EXPECT_EQ(refused([](hsModelInfo& m) { m.noLayer = 0; }),
              "hsModelInfo::init: noLayer is 0, but a model needs at least one layer.");
    EXPECT_EQ(refused([](hsModelInfo& m) { m.noLayer = 4; }),
              "hsModelInfo::init: dz holds 5 layer thicknesses, but noLayer is 4.");
    EXPECT_EQ(refused([](hsModelInfo& m) { m.adoptDz(nullptr, 0); }),
              "hsModelInfo::init: no layer thicknesses (dz) are given.");
    EXPECT_EQ(refused([](hsModelInfo& m) { m.adoptElemBathy(new double[11](), 11); }),
              "hsModelInfo::init: elemBathy holds 11 values, but the mesh has 12 elements.");
    EXPECT_EQ(refused([](hsModelInfo& m) { m.adoptElemBathy(nullptr, 0); }),
              "hsModelInfo::init: no bathymetry (elemBathy) is given.");
    EXPECT_EQ(refused([](hsModelInfo& m) {
                  m.adoptEnol(new int[12](), 12);
                  m.enol[3] = 6;
              }),
              "hsModelInfo::init: element 3 has enol 6, more than noLayer (5).");
    EXPECT_EQ(refused([](hsModelInfo& m) { m.adoptEnol(new int[2](), 2); }),
              "hsModelInfo::init: enol holds 2 values, but the mesh has 12 elements.");
    // Every entry of 0 or less derives the column from the bathymetry; stored
    // files hold such values, and -2 and below were once refused.
    const auto derived = makeModel(s);
    s.enol = std::vector<int>(12, -1);
    for (int e = 0; e < 6; ++e)
        s.enol[e] = e % 2 ? -2 - e : INT_MIN + e;
    const auto given = makeModel(s);
    EXPECT_EQ(std::vector<int>(given->ebli, given->ebli + 12),
              std::vector<int>(derived->ebli, derived->ebli + 12));
}

TEST(hsModelInfo, InconsistentBoundaryNumberingThrows)
{
    auto mi = makeModel(ModelSetup(), false);
    mi->mesh2d.bNoVF[1] -= 1;
    EXPECT_EQ(thrownMessage([&] { mi->init(); }),
              "Bugger! bnd cell2elem error 42. " + hestor::errSuffix);
    EXPECT_FALSE(mi->isInit);
    mi->mesh2d.bNoVF[1] += 1;
}

TEST(hsModelInfo, EmptyMesh)
{
    hsModelInfo mi;
    mi.mesh2d.initMesh();
    mi.noLayer = 2;
    mi.adoptDz(new double[2]{1.0, 1.0}, 2);
    EXPECT_EQ(mi.init(), 0);
    EXPECT_EQ(mi.noCells, 0);
    EXPECT_EQ(mi.noFaces, 0);
    EXPECT_EQ(mi.noBndCells, 0);
    EXPECT_DOUBLE_EQ(mi.layerDepth[0], 1.5);
}

TEST(hsModelInfo, Lookups)
{
    ModelSetup s;
    s.bathy = {5.0, 5.0};
    auto mi = makeModel(s);
    EXPECT_DOUBLE_EQ(mi->layerTopDepth(2, 0), 4.0);
    EXPECT_EQ(mi->layer(0, 4.5), 2);
    EXPECT_EQ(mi->layer(0, 4.0), 2);  // a layer's top belongs to it
    EXPECT_EQ(mi->layer(0, 1.0), 4);
    EXPECT_EQ(mi->layer(0, -0.1), 2);
    EXPECT_EQ(mi->layer(0, 9.0), 2);  // below the bottom
    EXPECT_EQ(mi->layerIdx(0, 2.5), 1);
    EXPECT_THROW(mi->layer(12, 1.0), ZException);
    EXPECT_THROW(mi->layerTopDepth(5, 0), ZException);

    EXPECT_EQ(mi->getDim(1), 0);
    EXPECT_EQ(mi->getDim(5), 1);
    EXPECT_EQ(mi->getDim(12), 2);
    EXPECT_EQ(mi->getDim(13), 3);

    double *x, *y, *z;
    mi->getCellCoor(x, y, z);
    std::unique_ptr<double[]> ox(x), oy(y), oz(z);
    const int c = mi->elemFirstCell[5] + 1;
    EXPECT_DOUBLE_EQ(x[c], mi->mesh2d.eX[5]);
    EXPECT_DOUBLE_EQ(y[c], mi->mesh2d.eY[5]);
    EXPECT_DOUBLE_EQ(z[c], mi->layerDepth[mi->cell2layer[c]]);

    // A shallower top layer: cell2top and the volumes follow etli.
    mi->etli[0] = 3;
    mi->updateCell2Top();
    for (int j = 0; j < mi->enol[0]; ++j)
        EXPECT_EQ(mi->cell2top[j], 1);
    mi->edz[1][2] = 9.0;
    mi->edz[1][0] = 7.0;
    mi->updateCellVolume(true);
    EXPECT_DOUBLE_EQ(mi->cellVolume[mi->elemFirstCell[1] + 2], 900.0);
    EXPECT_NE(mi->cellVolume[mi->elemFirstCell[1]], 700.0);
    mi->updateCellVolume(false);
    EXPECT_DOUBLE_EQ(mi->cellVolume[mi->elemFirstCell[1]], 700.0);
}

TEST(hsModelInfo, Dist2Cell)
{
    ModelSetup s;
    s.bathy = {5.0, 5.0};
    auto mi = makeModel(s);
    std::unique_ptr<double[]> d(mi->dist2Cell(0));
    const int c = mi->elemFirstCell[1] + 2;
    const double dd = mi->cellDepth[0] - mi->cellDepth[c];
    EXPECT_NEAR(d[c], std::sqrt(100.0 + dd * dd), 1e-9);
    EXPECT_DOUBLE_EQ(d[0], 0.0);
    EXPECT_THROW(mi->dist2Cell(mi->noCells), ZException);
}
