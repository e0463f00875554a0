#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "hsMesh2D.h"
#include "testUtil.h"
#include "test_hsMesh2DHelpers.h"

using hestor::hsMesh2D;
using meshtest::MeshData;
using testutil::thrownMessage;

namespace {

// Two quads and two triangles in a row: nodes (i, j) = 4 j + i.
MeshData mixedRow()
{
    MeshData d = meshtest::squareGrid(3, 1);
    d.elems.pop_back();
    d.elems.push_back({2, 3, 7});
    d.elems.push_back({2, 7, 6});
    return d;
}

std::vector<int> elemNodes(const hsMesh2D& m, int e)
{
    int s = 0;
    for (int k = 0; k < e; k++)
        s += m.enon[k];
    return std::vector<int>(m.en + s, m.en + s + m.enon[e]);
}

std::vector<int> nodesOf(const hsMesh2D& m)
{
    return std::vector<int>(m.en, m.en + m.noevf);
}

// The merge by its definition: linear search for the first node within tol.
std::vector<int> mergedNodesByScan(const hsMesh2D& a, const hsMesh2D& b, int& nodes)
{
    double x0 = a.nX[0], x1 = a.nX[0];
    for (const hsMesh2D* g : {&a, &b})
        for (int i = 0; i < g->non; i++) {
            x0 = std::min(x0, g->nX[i]);
            x1 = std::max(x1, g->nX[i]);
        }
    const double tol = (x1 - x0) / 1e6;
    std::vector<int> out(a.en, a.en + a.noevf), map(b.non);
    nodes = a.non;
    for (int j = 0; j < b.non; j++) {
        map[j] = -1;
        for (int i = 0; i < a.non && map[j] < 0; i++)
            if (std::fabs(a.nX[i] - b.nX[j]) <= tol && std::fabs(a.nY[i] - b.nY[j]) <= tol)
                map[j] = i;
        if (map[j] < 0)
            map[j] = nodes++;
    }
    for (int k = 0; k < b.noevf; k++)
        out.push_back(map[b.en[k]]);
    return out;
}

// Every element in exactly one group; returns the group sizes.
std::vector<int> checkPartition(const hsMesh2D& m, int** groups, int* sizes, int n)
{
    std::vector<int> seen(m.noe, 0), out;
    for (int g = 0; g < n; g++) {
        EXPECT_TRUE(std::is_sorted(groups[g], groups[g] + sizes[g]));
        for (int k = 0; k < sizes[g]; k++)
            seen[groups[g][k]]++;
        out.push_back(sizes[g]);
        delete[] groups[g];
    }
    delete[] groups;
    delete[] sizes;
    EXPECT_EQ(seen, std::vector<int>(m.noe, 1));
    return out;
}

} // namespace

TEST(hsMesh2DDerived, SubMeshNumbersNodesInListOrder)
{
    for (const std::string proj : {"UTM33", "LONLAT"}) {
        MeshData d = mixedRow();
        d.proj = proj;
        if (proj == "LONLAT")
            for (size_t i = 0; i < d.x.size(); i++) {
                d.x[i] = 9.0 + 0.01 * d.x[i];
                d.y[i] = 55.0 + 0.01 * d.y[i];
            }
        hsMesh2D m;
        meshtest::build(m, d);
        int list[] = {3, 1};
        std::unique_ptr<hsMesh2D> s(m.subMesh(2, list));
        EXPECT_EQ(s->proj, proj);
        EXPECT_EQ(s->lonLat, proj == "LONLAT");
        ASSERT_EQ(s->non, 5);
        const int old[] = {2, 7, 6, 1, 5};
        for (int i = 0; i < 5; i++) {
            EXPECT_EQ(s->nX[i], m.nX[old[i]]);
            EXPECT_EQ(s->nY[i], m.nY[old[i]]);
        }
        EXPECT_EQ(elemNodes(*s, 0), (std::vector<int>{0, 1, 2}));
        EXPECT_EQ(elemNodes(*s, 1), (std::vector<int>{3, 0, 2, 4}));
        for (int k = 0; k < 2; k++) {
            EXPECT_EQ(s->eVoronoiX[k], m.eVoronoiX[list[k]]);
            EXPECT_NEAR(s->eArea[k], m.eArea[list[k]], 1e-9 * m.eArea[list[k]]);
        }
    }
}

TEST(hsMesh2DDerived, ArgumentsAreCheckedFirst)
{
    hsMesh2D m;
    meshtest::build(m, mixedRow());
    int bad[] = {1, 4}, twice[] = {2, 2};
    EXPECT_EQ(thrownMessage([&] { delete m.subMesh(2, bad); }),
              "hsMesh2D::subMesh: element 4 (entry 1) is not one of the 4 elements of the mesh.");
    EXPECT_EQ(thrownMessage([&] { delete m.subMesh(2, twice); }),
              "hsMesh2D::subMesh: element 2 is listed twice.");
    EXPECT_EQ(thrownMessage([&] { delete m.subMesh(-1, nullptr); }),
              "hsMesh2D::subMesh: no list of -1 elements.");
    EXPECT_EQ(thrownMessage([&] { delete m.bndMesh(0); }),
              "hsMesh2D::bndMesh: boundary 0 is not one of the 0 open boundaries of the mesh.");
    EXPECT_EQ(thrownMessage([&] { m.toUtmMesh(0); }),
              "hsMesh2D::toUtmMesh: zone 0 is no UTM zone (1 to 60, negative in the south).");
    EXPECT_EQ(thrownMessage([&] { m.toUtmMesh(-61); }),
              "hsMesh2D::toUtmMesh: zone -61 is no UTM zone (1 to 60, negative in the south).");
    for (const std::string proj : {"UTM", "XY", "UTMx", "UTM99"}) {
        m.proj = proj;
        EXPECT_EQ(thrownMessage([&] { m.toGeoMesh(); }),
                  "hsMesh2D::toGeoMesh: the projection '" + proj +
                      "' holds no UTM zone (1 to 60, negative in the south) after its first "
                      "three characters.");
    }
    hsMesh2D other;
    meshtest::build(other, mixedRow());
    m.proj = "UTM32";
    other.proj = "LONLAT";
    EXPECT_EQ(thrownMessage([&] { delete m.mergeMesh(other); }),
              "hsMesh2D::mergeMesh: the meshes have different projections ('UTM32' and "
              "'LONLAT').");
    other.proj = "UTM32";
    other.nY[3] = NAN;
    EXPECT_EQ(thrownMessage([&] { delete m.mergeMesh(other); }),
              "hsMesh2D::mergeMesh: node 3 of the other mesh has a coordinate that is not a "
              "finite number.");
}

TEST(hsMesh2DDerived, MergeSharesNodesWithinTolerance)
{
    // Two unit squares sharing the edge x = 1; tol = 2e-6.
    struct Case {
        double shift;  // moves the other square's node at (1, 1) in x
        int nodes;
    } cases[] = {{0.0, 6}, {1.9e-6, 6}, {-1.9e-6, 6}, {2.1e-6, 7}};
    for (const Case& c : cases) {
        MeshData a = meshtest::squareGrid(1, 1), b = a;
        for (double& x : b.x)
            x += 1.0;
        b.x[2] += c.shift;  // b's node 2 is (1, 1)
        hsMesh2D ma, mb;
        meshtest::build(ma, a);
        meshtest::build(mb, b);
        std::unique_ptr<hsMesh2D> m(ma.mergeMesh(mb));
        EXPECT_EQ(m->non, c.nodes) << c.shift;
        EXPECT_EQ(m->noe, 2);
        int nodes = 0;
        EXPECT_EQ(nodesOf(*m), mergedNodesByScan(ma, mb, nodes));
        EXPECT_EQ(m->novf, c.nodes == 6 ? 7 : 8);
    }
}

TEST(hsMesh2DDerived, MergeMatchesScanAndVoronoi)
{
    // Two triangle grids meeting along x = 6, the second one's nodes moved by
    // up to half the tolerance (1.1e-5).
    MeshData a = meshtest::squareTriGrid(6, 4), b = meshtest::squareTriGrid(5, 4);
    for (size_t i = 0; i < b.x.size(); i++) {
        b.x[i] += 6.0 + (i % 3 == 0 ? 5e-6 : -5e-6);
        b.y[i] += i % 2 == 0 ? 5e-6 : -5e-6;
    }
    hsMesh2D ma, mb;
    meshtest::build(ma, a);
    meshtest::build(mb, b);
    std::unique_ptr<hsMesh2D> m(ma.mergeMesh(mb));
    int nodes = 0;
    EXPECT_EQ(nodesOf(*m), mergedNodesByScan(ma, mb, nodes));
    EXPECT_EQ(m->non, nodes);
    EXPECT_EQ(m->noe, ma.noe + mb.noe);
    for (int e = 0; e < m->noe; e++) {
        const hsMesh2D& src = e < ma.noe ? ma : mb;
        EXPECT_EQ(m->eVoronoiX[e], src.eVoronoiX[e < ma.noe ? e : e - ma.noe]);
    }
}

TEST(hsMesh2DDerived, BoundaryStripOfThreeFaces)
{
    hsMesh2D m;
    MeshData d = meshtest::sideTypedGrid(2, 3, 10.0, 1, 0);
    d.proj = "UTM33";
    meshtest::build(m, d);
    ASSERT_EQ(m.nob, 1);
    ASSERT_EQ(m.bNoVF[0], 3);
    std::unique_ptr<hsMesh2D> s(m.bndMesh(0));
    EXPECT_EQ(s->proj, "UTM33");
    ASSERT_EQ(s->non, 8);
    ASSERT_EQ(s->noe, 3);
    std::vector<double> ys;
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(s->nt[i], 99);
        EXPECT_NEAR(std::fabs(s->nX[i]), 2.5, 1e-12);  // half of half the face length
        ys.push_back(s->nY[i]);
    }
    std::sort(ys.begin(), ys.end());
    EXPECT_EQ(ys, (std::vector<double>{0, 0, 10, 10, 20, 20, 30, 30}));
    for (int e = 0; e < 3; e++) {
        EXPECT_EQ(s->enon[e], 4);
        EXPECT_NEAR(s->eArea[e], 50.0, 1e-9);
    }
}

TEST(hsMesh2DDerived, ChopGroupsPartitionTheMesh)
{
    struct Case {
        const char* name;
        MeshData mesh;
        std::vector<std::vector<int>> sections;
        std::vector<int> sizes;  // sorted
    };
    const MeshData strip = meshtest::squareGrid(6, 2), tris = meshtest::squareTriGrid(6, 2);
    const MeshData square = meshtest::squareGrid(6, 6);
    const Case cases[] = {
        {"none", strip, {}, {12}},
        {"one", strip, {{2, 9, 16}}, {4, 8}},
        {"one reversed", tris, {{18, 11, 4}}, {8, 16}},
        {"two", strip, {{2, 9, 16}, {18, 11, 4}}, {4, 4, 4}},
        // Two corners cut off: the sections are not nested along the outline.
        {"corners", square, {{2, 9, 16, 15, 14}, {34, 33, 32, 39, 46}}, {4, 4, 28}},
    };
    for (const Case& c : cases) {
        hsMesh2D m;
        meshtest::build(m, c.mesh);
        std::vector<int*> ptr;
        std::vector<int> len;
        for (auto s : c.sections) {
            ptr.push_back(new int[s.size()]);
            std::copy(s.begin(), s.end(), ptr.back());
            len.push_back(static_cast<int>(s.size()));
        }
        const int n = static_cast<int>(c.sections.size());
        int* sizes = nullptr;
        int** groups = m.chopMesh(ptr.data(), n, len.data(), sizes);
        std::vector<int> got = checkPartition(m, groups, sizes, n + 1);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, c.sizes) << c.name;
        for (int* p : ptr)
            delete[] p;
    }
}

TEST(hsMesh2DDerived, ChopRefusesBadSections)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareGrid(6, 2));
    int inner[] = {9, 10}, single[] = {2}, wrong[] = {2, 21};
    int* secs[] = {inner, single, wrong};
    int lens[] = {2, 1, 2};
    int* sizes = nullptr;
    EXPECT_EQ(thrownMessage([&] { m.chopMesh(secs, 1, lens, sizes); }),
              "hsMesh2D::chopDomian: section does not end on cirumference.");
    EXPECT_EQ(thrownMessage([&] { m.chopMesh(secs + 1, 1, lens + 1, sizes); }),
              "hsMesh2D::chopMesh: section 0 has 1 nodes; a section needs at least 2.");
    EXPECT_EQ(thrownMessage([&] { m.chopMesh(secs + 2, 1, lens + 2, sizes); }),
              "hsMesh2D::chopMesh: section 0 refers to node 21, outside 0..20.");
    EXPECT_EQ(m.chopMesh(secs, -1, lens, sizes), nullptr);
    EXPECT_EQ(sizes, nullptr);
}

TEST(hsMesh2DDerived, UtmAndBackReturnsTheNodes)
{
    MeshData d = meshtest::lonLatGrid("LONLAT");
    d.vx = {9.004, 9.015, 9.006, 9.014};
    d.vy = {55.005, 55.004, 55.016, 55.015};
    hsMesh2D m;
    meshtest::build(m, d);
    const std::vector<double> x(m.nX, m.nX + m.non), y(m.nY, m.nY + m.non);
    const double area = m.totalArea;

    EXPECT_EQ(m.toGeoMesh(), 0);  // already lon/lat
    EXPECT_EQ(std::vector<double>(m.nX, m.nX + m.non), x);
    EXPECT_EQ(m.toUtmMesh(32), 0);
    EXPECT_EQ(m.proj, "UTM32");
    EXPECT_FALSE(m.lonLat);
    EXPECT_GE(m.nX[0], 500000.0);
    EXPECT_NEAR(m.totalArea, area, 1e-6 * area);
    const double utm0 = m.nX[0];
    EXPECT_EQ(m.toUtmMesh(33), 0);  // already projected
    EXPECT_EQ(m.nX[0], utm0);
    EXPECT_EQ(m.toGeoMesh(), 0);
    EXPECT_EQ(m.proj, "LONLAT");
    EXPECT_TRUE(m.lonLat);
    for (int i = 0; i < m.non; i++) {
        EXPECT_NEAR(m.nX[i], x[i], 1.2e-5);  // the conversion's own error
        EXPECT_NEAR(m.nY[i], y[i], 1.2e-5);
    }
    for (int e = 0; e < m.noe; e++) {
        EXPECT_NEAR(m.eVoronoiX[e], d.vx[e], 1.2e-5);
        EXPECT_NEAR(m.eVoronoiY[e], d.vy[e], 1.2e-5);
    }
}

namespace {
template <typename F>
double seconds(F f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}
} // namespace

TEST(hsMesh2DDerived, LargeMeshesCutAndMergeInLinearTime)
{
    // About 1e5 triangles once merged; a node search by scanning would take
    // thousands of times as long as building the mesh.
    MeshData a = meshtest::squareTriGrid(160, 160), b = a;
    for (double& x : b.x)
        x += 160.0;
    hsMesh2D ma, mb;
    meshtest::build(ma, a);
    meshtest::build(mb, b);
    std::unique_ptr<hsMesh2D> m;
    const double merge = seconds([&] { m.reset(ma.mergeMesh(mb)); });
    EXPECT_EQ(m->non, 2 * ma.non - 161);
    std::vector<int> all(m->noe);
    for (int e = 0; e < m->noe; e++)
        all[e] = m->noe - 1 - e;
    std::unique_ptr<hsMesh2D> s;
    const double cut = seconds([&] { s.reset(m->subMesh(m->noe, all.data())); });
    EXPECT_EQ(s->non, m->non);
    // Cut along the seam x = 160, nodes 161 j + 160 of the first grid.
    std::vector<int> seam;
    for (int j = 0; j <= 160; j++)
        seam.push_back(161 * j + 160);
    int* sections[] = {seam.data()};
    int len = 161;
    int* sizes = nullptr;
    int** groups = nullptr;
    const double chop = seconds([&] { groups = m->chopMesh(sections, 1, &len, sizes); });
    EXPECT_EQ(checkPartition(*m, groups, sizes, 2), (std::vector<int>{ma.noe, mb.noe}));
    const double build = seconds([&] { m->initMesh(); });
    for (double t : {merge, cut, chop}) {
        EXPECT_LT(t, 4 * build + 0.1) << t << " s vs " << build << " s";
#if !defined(__SANITIZE_ADDRESS__)
        EXPECT_LT(t, 1.0);
#endif
    }
}
