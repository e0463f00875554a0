#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "hsModelInfo.h"
#include "testUtil.h"
#include "test_hsMesh2DHelpers.h"

using hestor::hsMesh2D;
using hestor::hsModelInfo;
using testutil::thrownMessage;

namespace {

template <typename T>
T* newArray(const std::vector<T>& v)
{
    T* a = new T[v.size()];
    std::copy(v.begin(), v.end(), a);
    return a;
}

// Layers of 1 m over the given mesh, with the given column heights.
std::unique_ptr<hsModelInfo> zModel(const meshtest::MeshData& d, int noLayer,
                                    const std::vector<int>& enol, double offset = 0.0)
{
    auto mi = std::make_unique<hsModelInfo>();
    meshtest::build(mi->mesh2d, d);
    const int noe = mi->mesh2d.noe;
    mi->noLayer = noLayer;
    mi->offsetDepth = offset;
    mi->adoptDz(newArray(std::vector<double>(noLayer, 1.0)), noLayer);
    mi->adoptElemBathy(newArray(std::vector<double>(noe, 100.0)), noe);
    mi->adoptEnol(newArray(enol), noe);
    mi->init();
    return mi;
}

// A row of nx unit squares.
std::unique_ptr<hsModelInfo> zModel(int nx, int noLayer, const std::vector<int>& enol,
                                    double offset = 0.0)
{
    return zModel(meshtest::squareGrid(nx, 1), noLayer, enol, offset);
}

// Sigma layers cannot pass init(): the fields ise2VMesh reads are set by hand.
std::unique_ptr<hsModelInfo> sigmaModel(const std::vector<double>& fractions,
                                        const std::vector<double>& bathy)
{
    auto mi = std::make_unique<hsModelInfo>();
    meshtest::build(mi->mesh2d, meshtest::squareGrid(static_cast<int>(bathy.size()), 1));
    const int L = static_cast<int>(fractions.size());
    mi->layerType = hestor::SIGMA;
    mi->noLayer = L;
    mi->adoptDz(newArray(fractions), L);
    mi->adoptElemBathy(newArray(bathy), static_cast<int>(bathy.size()));
    std::vector<double> centre(L);
    double top = 0.0;
    for (int k = L - 1; k >= 0; --k) {
        centre[k] = top + 0.5 * fractions[k];
        top += fractions[k];
    }
    mi->layerDepth = newArray(centre);  // released with the object's derived tables
    return mi;
}

std::unique_ptr<hsMesh2D> section(const hsModelInfo& mi, std::vector<int> elems,
                                  std::vector<double> dist, const std::vector<double>& eta = {})
{
    return std::unique_ptr<hsMesh2D>(mi.ise2VMesh(elems.data(), dist.data(),
                                                  static_cast<int>(elems.size()),
                                                  eta.empty() ? nullptr : eta.data()));
}

std::vector<int> elemNodes(const hsMesh2D& m, int e)
{
    return std::vector<int>(m.en + m.eStart[e], m.en + m.eStart[e] + m.enon[e]);
}

// Each quadrilateral is one cell: its area is the stretch times the layer.
void expectCellAreas(const hsMesh2D& m, const std::vector<double>& areas)
{
    ASSERT_EQ(m.noe, static_cast<int>(areas.size()));
    for (int e = 0; e < m.noe; ++e) {
        EXPECT_EQ(m.enon[e], 4);
        EXPECT_NEAR(m.eArea[e], areas[e], 1e-12) << "element " << e;
    }
}

} // namespace

TEST(hsModelInfoVMesh, zLayersShareLinesBetweenColumnsOfDifferentDepth)
{
    auto mi = zModel(2, 10, {7, 5});  // ebli 3 and 5
    auto m = section(*mi, {0, 1}, {0.5, 2.0});
    ASSERT_EQ(m->non, 22);            // lines of 8, 8 and 6 nodes
    std::vector<double> areas(7, 0.5);
    areas.insert(areas.end(), 5, 1.5);
    expectCellAreas(*m, areas);
    // Line 1 starts at node 8, level 3; element 1 begins at its level 5.
    EXPECT_EQ(elemNodes(*m, 0), (std::vector<int>{0, 8, 9, 1}));
    EXPECT_EQ(elemNodes(*m, 7), (std::vector<int>{10, 16, 17, 11}));
    EXPECT_DOUBLE_EQ(m->nX[8], 0.5);
    EXPECT_DOUBLE_EQ(m->nY[8], -7.0);  // bottom of layer 3 in ten 1 m layers
    for (int n : {7, 15, 21})
        EXPECT_DOUBLE_EQ(m->nY[n], 0.0);  // surface without eta, offsetDepth 0
}

TEST(hsModelInfoVMesh, zLayerSurfaceFromEtaOrOffsetDepth)
{
    auto mi = zModel(2, 3, {2, 3}, 0.25);
    auto plain = section(*mi, {0, 1}, {1.0, 2.0});
    auto wavy = section(*mi, {0, 1}, {1.0, 2.0}, {0.5, -0.25});
    ASSERT_EQ(plain->non, 11);  // lines of 3, 4 and 4 nodes
    const std::vector<int> surface{2, 6, 10};
    const std::vector<double> eta{0.5, 0.5, -0.25};  // line i takes the element on its left
    for (size_t i = 0; i < surface.size(); ++i) {
        EXPECT_DOUBLE_EQ(plain->nY[surface[i]], -0.25);
        EXPECT_DOUBLE_EQ(wavy->nY[surface[i]], eta[i]);
    }
    EXPECT_DOUBLE_EQ(plain->nY[3], -3.25);
}

TEST(hsModelInfoVMesh, sigmaElementsHaveNodesOfTheirOwn)
{
    auto mi = sigmaModel({0.4, 0.3, 0.2, 0.1}, {10.0, 20.0});
    auto one = section(*mi, {1}, {3.0});
    ASSERT_EQ(one->non, 10);
    expectCellAreas(*one, {24.0, 18.0, 12.0, 6.0});  // 3 m times the layer's share of 20 m
    EXPECT_EQ(elemNodes(*one, 0), (std::vector<int>{0, 2, 3, 1}));
    const std::vector<double> y{-20.0, -12.0, -6.0, -2.0, 0.0};
    for (int k = 0; k <= 4; ++k) {
        EXPECT_NEAR(one->nY[2 * k], y[k], 1e-12);
        EXPECT_NEAR(one->nY[2 * k + 1], y[k], 1e-12);
        EXPECT_DOUBLE_EQ(one->nX[2 * k + 1], 3.0);
    }
    auto two = section(*mi, {0, -1, 1}, {1.0, 2.0, 4.0}, {0.0, 9.0, 0.5});
    ASSERT_EQ(two->non, 20);
    ASSERT_EQ(two->noe, 8);
    EXPECT_DOUBLE_EQ(two->nX[10], 2.0);  // element 1 starts after the outside stretch
    EXPECT_DOUBLE_EQ(two->nY[19], 0.5);
}

TEST(hsModelInfoVMesh, stretchesOutsideTheMeshMakeNoCells)
{
    auto mi = zModel(2, 4, {2, 4});  // ebli 2 and 0
    auto m = section(*mi, {-1, 0, -1, 1, -1}, {1.0, 2.0, 4.0, 5.0, 7.0});
    // Lines 0 and 5 have no element beside them; 1-2 start at level 2, 3-4 at 0.
    EXPECT_EQ(m->non, 3 + 3 + 5 + 5);
    expectCellAreas(*m, {1.0, 1.0, 1.0, 1.0, 1.0, 1.0});
    EXPECT_DOUBLE_EQ(m->nX[0], 1.0);

    auto none = section(*mi, {-1}, {3.0});
    EXPECT_EQ(none->non, 0);
    EXPECT_EQ(none->noe, 0);
}

TEST(hsModelInfoVMesh, refusesWhatItCannotBuild)
{
    auto mi = zModel(2, 3, {1, 1});
    mi->layerType = 2;
    EXPECT_EQ(thrownMessage([&] { section(*mi, {0}, {1.0}); }), "ise2VMesh: Not implemented.");
    mi->layerType = hestor::ZLAYER;
    EXPECT_EQ(thrownMessage([&] { section(*mi, {0, 2}, {1.0, 2.0}); }),
              "ise2VMesh: section entry 1 is element 2, not one of the 2 elements of the mesh.");
    hsModelInfo bare;
    EXPECT_EQ(thrownMessage([&] { section(bare, {}, {}); }),
              "hsModelInfo::ise2VMesh called before init().");
    // A stretch of length 0 would make cells without area.
    EXPECT_EQ(thrownMessage([&] { section(*mi, {0, 1}, {1.0, 1.0}); }),
              "ise2VMesh: section entry 1 ends at distance 1, not beyond 1; the distances must ascend.");
    EXPECT_EQ(thrownMessage([&] { section(*mi, {0}, {0.0}); }),
              "ise2VMesh: section entry 0 ends at distance 0, not beyond 0; the distances must ascend.");
}

namespace {

// The point at distance t along the polyline.
void alongPolyline(const std::vector<double>& x, const std::vector<double>& y, double t,
                   double& px, double& py)
{
    for (size_t s = 0; s + 1 < x.size(); ++s) {
        const double len = std::hypot(x[s + 1] - x[s], y[s + 1] - y[s]);
        if (t <= len || s + 2 == x.size()) {
            const double u = len > 0 ? t / len : 0.0;
            px = x[s] + u * (x[s + 1] - x[s]);
            py = y[s] + u * (y[s + 1] - y[s]);
            return;
        }
        t -= len;
    }
}

struct SectionCase {
    const char* what;
    meshtest::MeshData mesh;
    std::vector<double> x, y;
};

} // namespace

// Polylines through nodes and faces, turning on faces and nodes, ending on
// nodes and running along faces: the stretches tile the polyline and the
// section mesh has a cell of positive area per layer of every stretch.
TEST(hsModelInfoVMesh, sectionsThroughFacesAndNodes)
{
    meshtest::MeshData helpMesh{{0, 10, 10, 0}, {0, 0, 10, 10}, {}, {{0, 1, 2}, {0, 2, 3}}, {}, {}};
    meshtest::MeshData farQuads = meshtest::squareGrid(4, 4, 25.0);
    for (double& v : farQuads.x) v += 512345.0;
    for (double& v : farQuads.y) v += 6012345.0;
    const double X = 512345.0, Y = 6012345.0;
    const std::vector<SectionCase> cases{
        {"vertex on the diagonal face", helpMesh, {3, 7, 3}, {1, 7, 9}},
        {"along the diagonal face, node to node", helpMesh, {0, 10}, {0, 10}},
        {"from outside, turning at a corner node", helpMesh, {-5, 0, 10}, {0, 0, 10}},
        {"ends on a node", helpMesh, {5, 10}, {1, 10}},
        {"along a boundary face after a node", helpMesh, {5, 10, 10}, {1, 10, 5}},
        {"repeated vertex on a face", helpMesh, {3, 5, 5, 5, 2}, {1, 5, 5, 5, 9}},
        {"diagonals through grid nodes", meshtest::squareTriGrid(4, 4), {-1, 5, 0}, {-1, 5, 4}},
        {"turns on nodes and faces", meshtest::squareTriGrid(4, 4), {0.5, 2, 3, 3, 4}, {0.2, 2, 1.5, 3, 4}},
        {"along interior faces", meshtest::squareGrid(4, 4), {2, 2, 4}, {-1, 2, 2}},
        {"vertex on a face between quads", meshtest::squareGrid(4, 4), {1.5, 2, 2.5}, {1.2, 1.5, 1.2}},
        {"far coordinates, nodes and faces", farQuads, {X - 10, X + 50, X + 50, X + 100},
         {Y + 25, Y + 25, Y + 75, Y + 25}},
    };
    for (const SectionCase& c : cases) {
        SCOPED_TRACE(c.what);
        const int noe = static_cast<int>(c.mesh.elems.size());
        std::vector<int> enol(noe);
        for (int e = 0; e < noe; ++e)
            enol[e] = 1 + e % 3;
        auto mi = zModel(c.mesh, 3, enol);
        hsMesh2D& m = mi->mesh2d;
        int* ep = nullptr;
        double* dp = nullptr;
        std::vector<double> x = c.x, y = c.y;
        const int n = m.sectionIntersections(x.data(), y.data(), static_cast<int>(x.size()), ep, dp);
        const std::vector<int> elems(ep, ep + n);
        const std::vector<double> dist(dp, dp + n);
        delete[] ep;
        delete[] dp;

        double total = 0.0;
        for (size_t s = 0; s + 1 < x.size(); ++s)
            total += std::hypot(x[s + 1] - x[s], y[s + 1] - y[s]);
        ASSERT_GT(n, 0);
        EXPECT_NEAR(dist.back(), total, 1e-9 * total);
        double from = 0.0, cellArea = 0.0;
        for (int i = 0; i < n; ++i) {
            EXPECT_GT(dist[i], from) << "stretch " << i;
            if (i > 0) {
                EXPECT_NE(elems[i], elems[i - 1]) << "stretch " << i;
            }
            double px, py;
            alongPolyline(x, y, 0.5 * (from + dist[i]), px, py);
            EXPECT_EQ(meshtest::brutePointElem(m, px, py), elems[i]) << "stretch " << i;
            if (elems[i] >= 0)
                cellArea += (dist[i] - from) * enol[elems[i]];
            from = dist[i];
        }
        auto v = section(*mi, elems, dist);
        double sum = 0.0;
        for (int e = 0; e < v->noe; ++e) {
            EXPECT_GT(v->eArea[e], 0.0) << "cell " << e;
            sum += v->eArea[e];
        }
        EXPECT_NEAR(sum, cellArea, 1e-9 * total);
    }
}
