#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <cmath>
#include <functional>
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

// The merge by its definition: linear search for the first node within tol.
std::vector<int> mergedNodesByScan(const hsMesh2D& a, const hsMesh2D& b)
{
    double x0 = a.nX[0], x1 = a.nX[0];
    for (const hsMesh2D* g : {&a, &b})
        for (int i = 0; i < g->non; i++) {
            x0 = std::min(x0, g->nX[i]);
            x1 = std::max(x1, g->nX[i]);
        }
    const double tol = (x1 - x0) / 1e6;
    std::vector<int> out(a.en, a.en + a.noevf), map(b.non);
    int nodes = a.non;
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

// The element lists of chopMesh, freed.
std::vector<std::vector<int>> chop(hsMesh2D& m, const std::vector<std::vector<int>>& sections)
{
    std::vector<std::vector<int>> copies = sections;
    std::vector<int*> ptr;
    std::vector<int> len;
    for (auto& s : copies) {
        ptr.push_back(s.data());
        len.push_back(static_cast<int>(s.size()));
    }
    int* sizes = nullptr;
    int** groups = m.chopMesh(ptr.data(), static_cast<int>(ptr.size()), len.data(), sizes);
    std::vector<std::vector<int>> out;
    for (size_t g = 0; g <= sections.size(); g++) {
        out.emplace_back(groups[g], groups[g] + sizes[g]);
        delete[] groups[g];
    }
    delete[] groups;
    delete[] sizes;
    return out;
}

// Chops with each set of sections; throws their message, or all of them run together if they differ.
void chopEach(hsMesh2D& m, const std::vector<std::vector<std::vector<int>>>& sets)
{
    std::set<std::string> got;
    for (const auto& s : sets)
        got.insert(thrownMessage([&] { chop(m, s); }));
    throw ZCoreLib::ZException(std::accumulate(got.begin(), got.end(), std::string()));
}

} // namespace

TEST(hsMesh2DDerived, SubMeshKeepsListOrderAndProjection)
{
    MeshData d = mixedRow();
    d.proj = "LONLAT";
    for (size_t i = 0; i < d.x.size(); i++) {
        d.x[i] = 9.0 + 0.01 * d.x[i];
        d.y[i] = 55.0 + 0.01 * d.y[i];
    }
    hsMesh2D m;
    meshtest::build(m, d);
    int list[] = {3, 1};
    std::unique_ptr<hsMesh2D> s(m.subMesh(2, list));
    EXPECT_TRUE(s->lonLat);
    ASSERT_EQ(s->non, 5);
    const int old[] = {2, 7, 6, 1, 5};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(s->nX[i], m.nX[old[i]]);
    EXPECT_EQ(std::vector<int>(s->en, s->en + 7), (std::vector<int>{0, 1, 2, 3, 0, 2, 4}));
    for (int k = 0; k < 2; k++) {
        EXPECT_EQ(s->eVoronoiX[k], m.eVoronoiX[list[k]]);
        EXPECT_NEAR(s->eArea[k], m.eArea[list[k]], 1e-9 * m.eArea[list[k]]);
    }
}

TEST(hsMesh2DDerived, ArgumentsAreCheckedFirst)
{
    hsMesh2D m, other, grid;
    meshtest::build(m, mixedRow());
    meshtest::build(other, mixedRow());
    meshtest::build(grid, meshtest::squareGrid(2, 2));  // node 4 is inside
    int bad[] = {1, 4}, twice[] = {2, 2};
    int* sizes = nullptr;
    int* sections[] = {bad, twice};
    int lengths[] = {2, 1};
    const std::string zone = " (1 to 60, negative in the south)";
    const std::string cross = "; each section must cross the mesh from outline to outline, and "
                              "no two may cross.";
    const std::string meet = "hsMesh2D::chopMesh: the sections cross each other or themselves: ";
    const std::string self = meet + "section 0 crosses or touches itself at ";
    hsMesh2D open, g4;  // g4: node (i, j) is 5 j + i, squares cut by rising diagonals
    meshtest::build(open, meshtest::sideTypedGrid(2, 3, 10.0, 1, 0));
    meshtest::build(g4, meshtest::squareTriGrid(4, 4));
    const int rim[] = {0, 1, 2, 5, 8, 7, 6, 3, 0, 1};  // the outline of grid, wrapped
    std::vector<std::vector<std::vector<int>>> alongRim{{{0, 1}}};
    for (int k = 0; k < 8; k++)
        alongRim.insert(alongRim.end(), {{{rim[k], rim[k + 1], rim[k + 2]}}, {{rim[k + 2], rim[k + 1], rim[k]}}});
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { delete m.subMesh(2, bad); },
         "hsMesh2D::subMesh: element 4 (entry 1) is not one of the 4 elements of the mesh."},
        {[&] { delete m.subMesh(2, twice); }, "hsMesh2D::subMesh: element 2 is listed twice."},
        {[&] { delete m.bndMesh(0); },
         "hsMesh2D::bndMesh: boundary 0 is not one of the 0 open boundaries of the mesh."},
        {[&] { m.toUtmMesh(-61); }, "hsMesh2D::toUtmMesh: zone -61 is no UTM zone" + zone + "."},
        {[&] { grid.chopMesh(sections + 1, 1, lengths + 1, sizes); },
         "hsMesh2D::chopMesh: section 0 has 1 nodes; a section needs at least 2."},
        {[&] { grid.chopMesh(sections, 1, lengths, sizes); },
         "hsMesh2D::chopDomian: section does not end on cirumference."},
        {[&] { int* none[] = {nullptr}; grid.chopMesh(none, 1, lengths, sizes); },
         "hsMesh2D::chopMesh: section 0 is a null pointer."},
        {[&] { chop(grid, {{1, 7}, {3, 5}}); }, "hsMesh2D::chopMesh: sections 0 and 1 cross" + cross},
        {[&] { chopEach(grid, alongRim); },  // along the outline
         "hsMesh2D::chopMesh: section 0 encloses no area with the outline" + cross},
        {[&] { chop(grid, {{3, 4, 3}}); },
         "hsMesh2D::chopMesh: section 0 begins and ends at node 3" + cross},
        {[&] { chopEach(g4, {{{10, 18, 8, 16, 21}}, {{21, 16, 8, 18, 10}}}); }, self + "(1.500000, 2.500000)" + cross},
        {[&] { chop(g4, {{10, 12, 11, 14}}); }, self + "(1.000000, 2.000000)" + cross},  // back along its own step
        {[&] { chop(g4, {{10, 12, 17, 18, 12, 14}}); }, self + "node 12" + cross},  // round a loop to its own node
        {[&] { chop(g4, {{5, 12, 22}, {2, 12, 19}}); }, meet + "sections 0 and 1 cross or touch at node 12" + cross},
        {[&] { chop(g4, {{10, 17, 8, 14}, {10, 7, 18, 14}}); },  // sharing both ends
         meet + "sections 0 and 1 cross or touch at (2.500000, 2.000000)" + cross},
        {[&] { hsMesh2D e(open); e.editAddNode(0, 0, 0, false); delete e.bndMesh(0); },
         "hsMesh2D::bndMesh: the mesh has no derived tables (edited without initMesh, or "
         "initMesh failed); run initMesh first."},
        {[&] { other.proj = "LONLAT"; delete m.mergeMesh(other); },
         "hsMesh2D::mergeMesh: the meshes have different projections ('UTM32' and 'LONLAT')."},
        {[&] { other.proj = "UTM32"; m.nX[3] = NAN; delete other.mergeMesh(m); },
         "hsMesh2D::mergeMesh: node 3 of the other mesh has a coordinate that is not a finite "
         "number."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(thrownMessage(c.first), c.second);
    EXPECT_EQ(grid.chopMesh(sections, -1, lengths, sizes), nullptr);
    for (const std::string proj : {"UTM", "XY", "UTM99"}) {
        hsMesh2D utm;
        meshtest::build(utm, mixedRow());
        utm.proj = proj;
        EXPECT_EQ(thrownMessage([&] { utm.toGeoMesh(); }),
                  "hsMesh2D::toGeoMesh: the projection '" + proj + "' holds no UTM zone" + zone +
                      " after its first three characters.");
    }
}

TEST(hsMesh2DDerived, MergeTakesTheFirstNodeWithinTolerance)
{
    // Two unit squares sharing the edge x = 1 (tol 2e-6), the second one's
    // node at (1, 1) moved; then two triangle grids meeting along x = 6, the
    // second one's nodes moved by up to half the tolerance (1.1e-5).
    struct Case {
        MeshData a, b;
        int nodes;
    };
    std::vector<Case> cases;
    for (double shift : {0.0, 1.9e-6, -1.9e-6, 2.1e-6}) {
        Case c{meshtest::squareGrid(1, 1), meshtest::squareGrid(1, 1), shift < 2e-6 ? 6 : 7};
        for (double& x : c.b.x)
            x += 1.0;
        c.b.x[2] += shift;
        cases.push_back(c);
    }
    Case grids{meshtest::squareTriGrid(6, 4), meshtest::squareTriGrid(5, 4), 35 + 30 - 5};
    for (size_t i = 0; i < grids.b.x.size(); i++) {
        grids.b.x[i] += 6.0 + (i % 3 == 0 ? 5e-6 : -5e-6);
        grids.b.y[i] += i % 2 == 0 ? 5e-6 : -5e-6;
    }
    cases.push_back(grids);
    for (const Case& c : cases) {
        hsMesh2D a, b;
        meshtest::build(a, c.a);
        meshtest::build(b, c.b);
        std::unique_ptr<hsMesh2D> m(a.mergeMesh(b));
        EXPECT_EQ(m->non, c.nodes);
        EXPECT_EQ(std::vector<int>(m->en, m->en + m->noevf), mergedNodesByScan(a, b));
        EXPECT_EQ(m->eVoronoiX[a.noe], b.eVoronoiX[0]);
    }

    // Nodes near -1e308 and +1e308: the width overflows, the tolerance
    // (2e302) must not. The other square shares the left square's right edge.
    const double L = -1e308, R = 1e308, w = 1e304, h = 1e303;
    MeshData far, next;
    far.x = {L, R, L + w, R - w, L + w, R - w, L, R};  // sums of x stay finite
    far.y = {0, 0, 0, 0, h, h, h, h};
    far.elems = {{0, 2, 4, 6}, {1, 7, 5, 3}};
    next.x = {L + w, L + 2 * w, L + 2 * w, L + w};
    next.y = {0, 0, h, h};
    next.elems = {{0, 1, 2, 3}};
    hsMesh2D a, b;
    meshtest::build(a, far);
    meshtest::build(b, next);
    std::unique_ptr<hsMesh2D> m(a.mergeMesh(b));
    EXPECT_EQ(std::vector<int>(m->en, m->en + 12),
              (std::vector<int>{0, 2, 4, 6, 1, 7, 5, 3, 2, 8, 9, 4}));
    EXPECT_EQ(m->nX[9], L + 2 * w);
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

TEST(hsMesh2DDerived, ChopGroupsAreTheRegionsInOutlineOrder)
{
    // Each case names the region of a centroid; the groups must be those
    // regions, in the order in which the outline walk first meets them.
    using Region = std::function<int(double, double)>;
    struct Case {
        const char* name;
        MeshData mesh;
        std::vector<std::vector<int>> sections;
        Region region;
    };
    const MeshData strip = meshtest::squareGrid(6, 2), tris = meshtest::squareTriGrid(6, 2);
    const MeshData square = meshtest::squareGrid(6, 6), g6 = meshtest::squareTriGrid(6, 6);
    const MeshData g8 = meshtest::squareTriGrid(8, 8);
    auto n8 = [](int i, int j) { return 9 * j + i; };
    MeshData column = meshtest::squareGrid(1, 3);  // node (i, j) is 2 j + i
    column.elems.clear();
    for (int j = 0; j < 3; j++) {
        column.elems.push_back({2 * j, 2 * j + 1, 2 * j + 2});
        column.elems.push_back({2 * j + 1, 2 * j + 3, 2 * j + 2});
    }
    auto stairs = [](double x) { return x < 3 ? x - 2 : x < 4 ? 1 : x < 5 ? x - 3 : 2; };
    // The centroid link of a cut from the notch V = node 1 to Q = node 3 passes below V.
    const MeshData notch{{-1, 0, 1, 0}, {-2, 0, -2, 1}, {}, {{0, 1, 3}, {1, 2, 3}}, {}, {}};
    const MeshData far{{499999, 500000, 500001, 500000}, {5999998, 6000000, 5999998, 6000001}, {}, notch.elems, {}, {}};
    const std::vector<int> diagonal{n8(0, 4), n8(4, 8)}, bend{n8(0, 4), n8(4, 4), n8(4, 8)};
    auto lens = [](double x, double y) { return y > x + 4 ? 1 : x < 4 && y > 4 ? 2 : 0; };
    const Case cases[] = {
        {"none", strip, {}, [](double, double) { return 0; }},
        {"one", strip, {{2, 9, 16}}, [](double x, double) { return x > 2; }},
        {"one reversed", tris, {{18, 11, 4}}, [](double x, double) { return x > 4; }},
        {"two", strip, {{2, 9, 16}, {18, 11, 4}},
         [](double x, double) { return (x > 2) + (x > 4); }},
        // Two corners cut off: the sections are not nested along the outline.
        {"corners", square, {{2, 9, 16, 15, 14}, {34, 33, 32, 39, 46}},
         [](double x, double y) { return x < 2 && y < 2 ? 1 : x > 4 && y > 4 ? 2 : 0; }},
        // Sections sharing their first node; one a staircase, one straight
        // along a row of diagonals given by its two ends.
        {"shared start", g8,
         {{n8(4, 0), n8(4, 1), n8(3, 1), n8(3, 2), n8(2, 2), n8(2, 3), n8(1, 3), n8(1, 4),
           n8(0, 4)},
          {n8(4, 0), n8(8, 4)}},
         [](double x, double y) {
             return std::floor(x) + std::floor(y) <= 3 ? 1 : y < x - 4 ? 2 : 0;
         }},
        {"shared end", g8,
         {{n8(0, 4), n8(4, 8)},
          {n8(8, 4), n8(7, 4), n8(7, 5), n8(6, 5), n8(6, 6), n8(5, 6), n8(5, 7), n8(4, 7),
           n8(4, 8)}},
         [](double x, double y) {
             return y > x + 4 ? 1 : std::floor(x) + std::floor(y) >= 11 ? 2 : 0;
         }},
        // Across the triangles, sharing the start of a section along faces.
        {"across elements", g8, {{n8(4, 0), n8(0, 5)}, {n8(4, 0), n8(8, 4)}},
         [](double x, double y) { return 5 * x + 4 * y < 20 ? 1 : y < x - 4 ? 2 : 0; }},
        {"line and staircase", g6, {{2, 44}, {2, 10, 11, 19, 20}},
         [&](double x, double y) { return x < 2 ? 1 : y < stairs(x) ? 2 : 0; }},
        // A chord across split squares: the elements on either side share no faces.
        {"chord across a column", column, {{0, 7}}, [](double x, double y) { return 3 * x < y; }},
        // The first step's line, beyond the step's end, passes between
        // elements on one side of the second step: no reason to part them.
        {"bent across elements", g8, {{n8(0, 1), n8(6, 3), n8(8, 8)}},
         [](double x, double y) { return x < 6 ? y > 1 + x / 3 : y > 3 + 2.5 * (x - 6); }},
        {"notch", notch, {{1, 3}}, [](double x, double) { return x > 0; }},
        {"far notch reversed", far, {{3, 1}}, [](double x, double) { return x > 500000; }},
        // Sharing both ends: the lens between them touches no outline face.
        {"lens", g8, {diagonal, bend}, lens}, {"lens, other order", g8, {bend, diagonal}, lens},
    };
    for (const Case& c : cases) {
        hsMesh2D m;
        meshtest::build(m, c.mesh);
        const auto groups = chop(m, c.sections);
        // Regions in the order in which the outline meets them, then those
        // it does not meet by their lowest element.
        std::vector<int> order;
        const std::vector<int> rim = m.getCircumferenceVF();
        for (size_t k = 0; k < rim.size() + m.noe; k++) {
            const int e = k < rim.size() ? m.vfe[2 * rim[k]] : static_cast<int>(k - rim.size());
            const int r = c.region(m.eX[e], m.eY[e]);
            if (std::find(order.begin(), order.end(), r) == order.end())
                order.push_back(r);
        }
        ASSERT_EQ(order.size(), groups.size()) << c.name;
        for (size_t g = 0; g < groups.size(); g++) {
            std::vector<int> want;
            for (int e = 0; e < m.noe; e++)
                if (c.region(m.eX[e], m.eY[e]) == order[g])
                    want.push_back(e);
            EXPECT_EQ(groups[g], want) << c.name << ", group " << g;
        }
    }
    // Random straight chords between the sides of a square, none crossing
    // another: an element's group is the set of chords it lies left of, and
    // the groups come in the order in which the outline meets them.
    std::mt19937 rng(5);
    hsMesh2D sq;
    meshtest::build(sq, g8);
    std::vector<int> rim;
    for (int v = 0; v < sq.non; v++)
        if (sq.nX[v] == 0 || sq.nX[v] == 8 || sq.nY[v] == 0 || sq.nY[v] == 8)
            rim.push_back(v);
    auto around = [&](int v) {  // position along the outline, counter-clockwise
        const double x = sq.nX[v], y = sq.nY[v];
        return y == 0 ? x : x == 8 ? 8 + y : y == 8 ? 24 - x : 32 - y;
    };
    for (int set = 0, tried = 0; set < 300; tried++) {
        ASSERT_LT(tried, 100000);
        std::vector<std::vector<int>> secs(1 + rng() % 3);
        bool ok = true;
        for (auto& c : secs) {
            c = {rim[rng() % rim.size()], rim[rng() % rim.size()]};
            const double ax = sq.nX[c[0]], ay = sq.nY[c[0]], bx = sq.nX[c[1]], by = sq.nY[c[1]];
            ok = ok && !(ax == bx && (ax == 0 || ax == 8)) && !(ay == by && (ay == 0 || ay == 8));
        }
        auto side = [&](const std::vector<int>& c, double x, double y) {
            return (sq.nX[c[1]] - sq.nX[c[0]]) * (y - sq.nY[c[0]]) -
                   (sq.nY[c[1]] - sq.nY[c[0]]) * (x - sq.nX[c[0]]);
        };
        for (size_t a = 0; a < secs.size() && ok; a++)
            for (size_t b = 0; b < a && ok; b++) {
                double p0 = around(secs[a][0]), p1 = around(secs[a][1]);
                double q0 = around(secs[b][0]), q1 = around(secs[b][1]);
                if (p0 > p1) std::swap(p0, p1);
                if (q0 > q1) std::swap(q0, q1);
                ok = !(p0 == q0 && p1 == q1) && !(p0 < q0 && q0 < p1 && p1 < q1) &&
                     !(q0 < p0 && p0 < q1 && q1 < p1);
            }
        for (int e = 0; e < sq.noe && ok; e++)
            for (const auto& c : secs)
                ok = ok && std::fabs(side(c, sq.eX[e], sq.eY[e])) > 1e-9;
        if (!ok)
            continue;
        set++;
        auto region = [&](double x, double y) {
            int r = 0;
            for (const auto& c : secs)
                r = 2 * r + (side(c, x, y) > 0);
            return r;
        };
        std::vector<int> order;
        for (int f : sq.getCircumferenceVF()) {
            const int e = sq.vfe[2 * f];
            const double mx = sq.vfxc[f] + 1e-6 * (sq.eX[e] - sq.vfxc[f]);
            const int r = region(mx, sq.vfyc[f] + 1e-6 * (sq.eY[e] - sq.vfyc[f]));
            if (std::find(order.begin(), order.end(), r) == order.end())
                order.push_back(r);
        }
        const auto groups = chop(sq, secs);
        ASSERT_EQ(order.size(), groups.size()) << "set " << set;
        for (size_t g = 0; g < groups.size(); g++) {
            std::vector<int> want;
            for (int e = 0; e < sq.noe; e++)
                if (region(sq.eX[e], sq.eY[e]) == order[g])
                    want.push_back(e);
            ASSERT_EQ(groups[g], want) << "set " << set << ", group " << g;
        }
    }
    // A section through the centroids of the elements it crosses still
    // leaves each element in exactly one group.
    hsMesh2D m;
    meshtest::build(m, g8);
    std::vector<int> all;
    for (const auto& g : chop(m, {{n8(4, 0), n8(0, 4)}, {n8(4, 0), n8(8, 4)}}))
        all.insert(all.end(), g.begin(), g.end());
    std::sort(all.begin(), all.end());
    std::vector<int> each(static_cast<size_t>(m.noe));
    std::iota(each.begin(), each.end(), 0);
    EXPECT_EQ(all, each);
}

TEST(hsMesh2DDerived, ChopPartsStandAlone)
{
    // The 2 x 2 grid's outline; one section down the middle, one across the
    // top-left corner, sharing the end (1, 2).
    MeshData d = meshtest::squareGrid(2, 2);
    const std::vector<int> ring{0, 1, 2, 5, 8, 7, 6, 3};
    int a[] = {1, 4, 7}, b[] = {3, 7};
    int* sections[] = {a, b};
    const int lengths[] = {3, 2};
    const auto polys = hsMesh2D::chopPolygons(ring, sections, 2, lengths, d.x.data(), d.y.data());
    ASSERT_EQ(polys.size(), 3u);
    EXPECT_EQ(polys[0].nodes, (std::vector<int>{0, 1, 4, 7, 3}));
    EXPECT_EQ(polys[1].nodes, (std::vector<int>{1, 2, 5, 8, 7, 4}));
    EXPECT_EQ(polys[2].nodes, (std::vector<int>{7, 6, 3}));
    EXPECT_EQ(std::vector<int>({polys[0].firstFace, polys[1].firstFace, polys[2].firstFace}),
              (std::vector<int>{0, 1, 5}));
    // (1, 0.5) lies on the edge the first two share; (3, 1) outside.
    const double px[] = {0.5, 1.5, 0.2, 1.0, 3.0}, py[] = {0.5, 1.0, 1.8, 0.5, 1.0};
    EXPECT_EQ(hsMesh2D::chopLocate(polys, ring, d.x.data(), d.y.data(), px, py, 5),
              (std::vector<int>{0, 1, 2, 1, -1}));
}

namespace {
// The lon/lat grid with given Voronoi points, element 0's at (x0, y0).
MeshData lonLatVoronoi(double x0, double y0)
{
    MeshData d = meshtest::lonLatGrid("LONLAT");
    d.vx = {x0, 9.015, 9.006, 9.014};
    d.vy = {y0, 55.004, 55.016, 55.015};
    return d;
}
} // namespace

TEST(hsMesh2DDerived, UtmAndBackReturnsTheNodes)
{
    const MeshData d = lonLatVoronoi(9.004, 55.005);
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

TEST(hsMesh2DDerived, FailedProjectionChangeRestoresTheMesh)
{
    // Element 0's given Voronoi point on its corner node: accepted in lon/lat,
    // refused once projected.
    const MeshData d = lonLatVoronoi(9.0, 55.0);
    hsMesh2D m;
    meshtest::build(m, d);
    const std::string text = m.toString();
    const double area = m.totalArea;
    for (int attempt = 0; attempt < 2; attempt++) {  // the second fails the same way
        EXPECT_EQ(thrownMessage([&] { m.toUtmMesh(32); }),
                  "Voronoi point on face." + hestor::errSuffix);
        EXPECT_EQ(m.toString(), text);  // nodes, elements, Voronoi points
        EXPECT_EQ(m.proj, "LONLAT");
        ASSERT_TRUE(*m.initialised && m.lonLat);
        EXPECT_EQ(m.totalArea, area);
    }
}
