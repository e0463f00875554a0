// Mesh editing, checked by the re-derived mesh's own invariants, brute-force
// point location, and deletion one node at a time written out here.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <random>
#include <tuple>
#include <vector>

#include "testUtil.h"
#include "test_hsMesh2DHelpers.h"

using hestor::hsMesh2D;
using meshtest::MeshData;
using testutil::thrownMessage;

namespace {

MeshData primary(const hsMesh2D& m)
{
    MeshData d;
    d.x.assign(m.nX, m.nX + m.non);
    d.y.assign(m.nY, m.nY + m.non);
    d.type.assign(m.nt, m.nt + m.non);
    for (int e = 0, s = 0; e < m.noe; s += m.enon[e], e++)
        d.elems.emplace_back(m.en + s, m.en + s + m.enon[e]);
    if (m.voronoiPopped) {
        d.vx.assign(m.eVoronoiX, m.eVoronoiX + m.noe);
        d.vy.assign(m.eVoronoiY, m.eVoronoiY + m.noe);
    }
    return d;
}

auto tables(const MeshData& d) { return std::tie(d.x, d.y, d.type, d.elems, d.vx, d.vy); }

// A re-derived mesh: faces and boundaries consistent, element areas summing
// to the covered area, and point queries answering for this mesh.
void expectSound(hsMesh2D& m, int islands, double area)
{
    meshtest::checkInvariants(m, islands);
    double sum = 0;
    for (int e = 0; e < m.noe; e++)
        sum += m.eArea[e];
    EXPECT_NEAR(sum, area, 1e-9 * area);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 12.0);
    for (int k = 0; k < 300; k++) {
        const double x = u(rng), y = u(rng);
        ASSERT_EQ(m.pointElem(x, y), meshtest::brutePointElem(m, x, y)) << x << " " << y;
    }
}

// The one-node deletion step by step: elements from the last, ids, node.
void deleteNodeStepwise(MeshData& d, int k)
{
    for (int e = static_cast<int>(d.elems.size()) - 1; e >= 0; e--)
        if (std::count(d.elems[e].begin(), d.elems[e].end(), k)) {
            d.elems.erase(d.elems.begin() + e);
            d.vx.erase(d.vx.begin() + e);
            d.vy.erase(d.vy.begin() + e);
        }
    for (auto& el : d.elems)
        for (int& v : el)
            v -= v > k;
    d.x.erase(d.x.begin() + k);
    d.y.erase(d.y.begin() + k);
    d.type.erase(d.type.begin() + k);
}

} // namespace

TEST(hsMesh2DEdit, AddNodesAndElementsInEveryForm)
{
    // Three new nodes and a triangle on them, on a mesh of 10 nodes.
    hsMesh2D base;
    meshtest::build(base, meshtest::squareTriGrid(4, 1));
    ASSERT_EQ(base.non, 10);
    double x[] = {6, 7, 6}, y[] = {0, 0, 1};
    int types[] = {0, 0, 0}, tri[] = {0, 1, 2}, fromFive[] = {5, 6, 7}, ids[] = {10, 11, 12};
    int three = 3;
    const std::vector<std::function<void(hsMesh2D&)>> forms = {
        [&](hsMesh2D& m) { m.editAddNodesElems(3, x, y, types, 1, tri, &three, 0); },
        [&](hsMesh2D& m) { m.editAddNodesElems(3, x, y, types, 1, tri, 3, 0); },
        [&](hsMesh2D& m) { m.editAddNodesElems(3, x, y, 1, tri, 0, 3, 0); },
        [&](hsMesh2D& m) { m.editAddNodesElems(3, x, y, types, 1, fromFive, 3, 5); },
        [&](hsMesh2D& m) {
            m.editAddNodesElems(3, x, y, types, 0, nullptr, 3, 0);
            m.editAddNodesElems(0, x, y, types, 1, ids, 3, -1);
        },
        [&](hsMesh2D& m) {
            for (int k = 0; k < 3; k++)
                m.editAddNode(x[k], y[k], 0, false);
            m.editAddElem(3, ids, true);
        },
    };
    std::string first;
    for (std::size_t i = 0; i < forms.size(); i++) {
        SCOPED_TRACE(i);
        hsMesh2D m(base);
        forms[i](m);
        ASSERT_EQ(m.noe, 9);
        EXPECT_EQ(primary(m).elems[8], (std::vector<int>{10, 11, 12}));
        EXPECT_DOUBLE_EQ(m.eVoronoiX[8], 19.0 / 3);  // the mean of its nodes
        EXPECT_DOUBLE_EQ(m.eVoronoiY[8], 1.0 / 3);
        expectSound(m, -1, 4.5);
        if (i == 0)
            first = m.toString();
        EXPECT_EQ(m.toString(), first);
    }
}

TEST(hsMesh2DEdit, AddMeshAndSquareSection)
{
    hsMesh2D m, other;
    meshtest::build(m, meshtest::squareGrid(2, 1));
    MeshData sq = meshtest::squareGrid(1, 1);
    for (double& v : sq.x)
        v += 2;  // on the positions of nodes 2 and 5
    meshtest::build(other, sq);
    const std::string otherText = other.toString();
    ASSERT_EQ(m.editAddMesh(other), 0);
    EXPECT_EQ(m.non, 10);
    EXPECT_EQ(primary(m).elems[2], (std::vector<int>{6, 7, 9, 8}));
    EXPECT_EQ(other.toString(), otherText);
    expectSound(m, -1, 3.0);

    // Six points along 10 m, two strips of half the spacing each.
    hsMesh2D strip;
    double px[] = {0, 4, 10}, py[] = {5, 5, 5};
    ASSERT_EQ(strip.editAddSquareSection(px, py, 3, 6, 2, -1), 0);
    EXPECT_EQ(strip.non, 18);
    EXPECT_EQ(strip.noe, 10);
    EXPECT_EQ(primary(strip).elems[0], (std::vector<int>{0, 3, 4, 1}));
    expectSound(strip, 0, 20.0);
}

TEST(hsMesh2DEdit, DeleteElementsMovesTheRestDown)
{
    MeshData d = meshtest::squareGrid(3, 1);
    d.vx = {0.5, 1.5, 2.5};
    d.vy = {0.5, 0.6, 0.7};
    for (int e : {2, 0}) {
        SCOPED_TRACE(e);
        hsMesh2D m;
        meshtest::build(m, d);
        ASSERT_EQ(m.editDelElem(e, true), 0);
        MeshData want = d;
        want.elems.erase(want.elems.begin() + e);
        want.vx.erase(want.vx.begin() + e);
        want.vy.erase(want.vy.begin() + e);
        EXPECT_EQ(primary(m).elems, want.elems);
        EXPECT_EQ(primary(m).vy, want.vy);
        expectSound(m, -2, 2.0);  // two nodes are left unused
    }
}

TEST(hsMesh2DEdit, DeleteNodeThenTheNodesLeftUnused)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareTriGrid(2, 1));
    const MeshData before = primary(m);
    ASSERT_EQ(m.editDelNode(0, true), 0);  // used by two triangles
    EXPECT_EQ(primary(m).elems, (std::vector<std::vector<int>>{{0, 1, 4}, {0, 4, 3}}));
    EXPECT_EQ(primary(m).x, std::vector<double>(before.x.begin() + 1, before.x.end()));
    expectSound(m, -1, 1.0);  // node 2, at (0, 1), is left alone
    ASSERT_EQ(m.editDeleteUnusedNodes(), 0);
    EXPECT_EQ(m.non, 4);
    EXPECT_EQ(primary(m).elems, (std::vector<std::vector<int>>{{0, 1, 3}, {0, 3, 2}}));
    expectSound(m, 0, 1.0);
}

TEST(hsMesh2DEdit, RenumberNodesGathersABlock)
{
    struct Case {
        std::vector<int> nodes, map;  // map: old number -> new
    };
    const std::vector<Case> cases = {
        {{2, 5}, {0, 1, 2, 4, 5, 3}},
        {{3, 1, 5}, {0, 3, 1, 2, 5, 4}},  // a listed node below the first
        {{4, 0}, {4, 0, 1, 2, 3, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nodes[0]);
        hsMesh2D m;
        meshtest::build(m, meshtest::sideTypedGrid(2, 1, 1.0, 1, 2));
        const MeshData before = primary(m);
        std::vector<int> nodes = c.nodes;
        ASSERT_EQ(m.editRenumberNodes(static_cast<int>(nodes.size()), nodes.data()), 0);
        MeshData want = before;  // every node moved to its new number
        for (int i = 0; i < 6; i++) {
            want.x[c.map[i]] = before.x[i];
            want.y[c.map[i]] = before.y[i];
            want.type[c.map[i]] = before.type[i];
        }
        for (auto& el : want.elems)
            for (int& v : el)
                v = c.map[v];
        const MeshData after = primary(m);
        EXPECT_EQ(tables(after), tables(want));
        expectSound(m, 0, 2.0);
        const std::string text = m.toString();
        EXPECT_EQ(m.editRenumberNodes(1, nodes.data()), -1);
        EXPECT_EQ(m.toString(), text);
    }
}

TEST(hsMesh2DEdit, UpdateVoronoiCoor)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::equilateralGrid(3, 2));
    const double x = m.eVoronoiX[4];
    EXPECT_EQ(thrownMessage([&] { m.updateVoronoiCoor(4, 0, 0, true); }), "Not implemented.");
    EXPECT_EQ(m.eVoronoiX[4], x);
    ASSERT_EQ(m.updateVoronoiCoor(4, x + 0.05, m.eVoronoiY[4] - 0.02, false), 0);
    EXPECT_EQ(m.eVoronoiX[4], x + 0.05);
    hsMesh2D fresh(m);
    fresh.anglesVFPop();  // every face from the moved points
    for (int f = 0; f < m.noivf; f++)
        EXPECT_DOUBLE_EQ(m.vfAngleDev[f], fresh.vfAngleDev[f]) << f;
}

TEST(hsMesh2DEdit, RefusalsLeaveTheMeshUnchanged)
{
    struct Case {
        std::function<int(hsMesh2D&)> edit;
        std::string message;  // a part of the message
    };
    int dup[] = {1, 1}, node0[] = {0}, two[] = {0, 1}, far[] = {0, 1, 7};
    double x[] = {0, 1}, y[] = {0, 0};
    const std::vector<Case> cases = {
        {[](hsMesh2D& m) { return m.editDelNode(6, true); }, "editDelNode: node 6 is not in 0..5."},
        {[](hsMesh2D& m) { return m.editDelElem(-1, false); }, "element -1 is not in 0..3."},
        {[&](hsMesh2D& m) { return m.editDelNodesElems(0, nullptr, 2, dup); }, "node 1 is listed twice."},
        {[&](hsMesh2D& m) { return m.editDelNodesElems(0, nullptr, 1, node0); },
         "element 0 uses node 0, which is deleted"},
        {[&](hsMesh2D& m) { return m.editRenumberNodes(2, dup); }, "node 1 is listed twice."},
        {[&](hsMesh2D& m) { return m.editAddElem(2, two, true); }, "element 4"},
        {[&](hsMesh2D& m) { return m.editAddNodesElems(0, x, y, 1, far, 0, 3, -1); }, "element 4"},
        {[&](hsMesh2D& m) { return m.editAddNodesElems(1, x, y, 1, far, 0, 3, 0); }, "element 4"},
        {[&](hsMesh2D& m) { return m.editAddSquareSection(x, y, 1, 3, 1, 1.0); }, "at least 2 points"},
        {[](hsMesh2D& m) { return m.updateVoronoiCoor(4, 0, 0, false); }, "element 4 is not in"},
        // Sizes refused before anything is allocated (2e9 counts would take 8 GB).
        {[&](hsMesh2D& m) { return m.editAddSquareSection(x, y, 2, 2, INT_MAX, 1.0); },
         "editAddSquareSection: the mesh would hold more nodes, elements or element nodes than "
         "it can count."},
        {[&](hsMesh2D& m) {
             return m.editAddNodesElems(0, x, y, static_cast<int*>(nullptr), 2000000000,
                                        static_cast<int*>(nullptr), 0, 0);
         },
         "editAddNodesElems: new element 4 has 0 nodes; an element needs at least 3."},
        {[&](hsMesh2D& m) {
             return m.editAddNodesElems(2000000000, static_cast<double*>(nullptr),
                                        static_cast<double*>(nullptr), 0,
                                        static_cast<int*>(nullptr), 0, 3, 0);
         },
         "editAddNodesElems: no coordinates or types given for the 2000000000 new nodes."},
        {[&](hsMesh2D& m) {
             double bx[] = {0, 10, 0}, by[] = {0, 0, 0};
             return m.editAddSquareSection(bx, by, 3, 5, 1, 1.0);
         },
         "editAddSquareSection: strip point 4 is not a finite number; does the polyline double "
         "back on itself?"},
        {[](hsMesh2D& m) {
             hsMesh2D geo;
             meshtest::build(geo, meshtest::lonLatGrid("LONLAT"));
             return m.editAddMesh(geo);
         },
         "editAddMesh: the meshes have different projections ('UTM32' and 'LONLAT')."},
        // Coordinates that are not numbers, used by a new element or not.
        {[](hsMesh2D& m) { return m.editAddNode(NAN, 0, 0, true); },
         "editAddNode: node 6 has a coordinate that is not a finite number."},
        {[&](hsMesh2D& m) {
             double nx[] = {3, 3, 4}, ny[] = {0, INFINITY, 0};
             int t[] = {0, 0, 0}, tri[] = {0, 2, 1}, three[] = {3};
             return m.editAddNodesElems(3, nx, ny, t, 1, tri, three, 0);
         },
         "editAddNodesElems: node 7 has a coordinate that is not a finite number."},
        {[&](hsMesh2D& m) {
             double nx[] = {5, -NAN};
             int t[] = {0, 0};
             return m.editAddNodesElems(2, nx, y, t, 0, nullptr, static_cast<int*>(nullptr), 0);
         },
         "editAddNodesElems: node 7 has a coordinate that is not a finite number."},
        {[](hsMesh2D& m) {
             hsMesh2D other;
             meshtest::build(other, meshtest::squareTriGrid(1, 1));
             other.nY[2] = NAN;
             return m.editAddMesh(other);
         },
         "editAddMesh: node 2 of the other mesh has a coordinate that is not a finite number."},
        {[&](hsMesh2D& m) {
             double px[] = {0, NAN, 2};
             return m.editAddSquareSection(px, y, 2, 3, 1, 1.0);
         },
         "editAddSquareSection: point 1 of the polyline has a coordinate that is not a finite "
         "number."},
        {[](hsMesh2D& m) { return m.updateVoronoiCoor(1, 0.5, -INFINITY, false); },
         "updateVoronoiCoor: the Voronoi point of element 1 has a coordinate that is not a "
         "finite number."},
        // Refused only by the re-derivation: the earlier tables come back.
        {[](hsMesh2D& m) { return m.editAddNode(0, 0, 500, true); }, "node 6 has type 500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        hsMesh2D m;
        meshtest::build(m, meshtest::squareTriGrid(2, 1));
        const std::string text = m.toString();
        const std::string message = thrownMessage([&] { c.edit(m); });
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_EQ(m.toString(), text);
        expectSound(m, 0, 2.0);
    }
}

// The one element rule holds for edits too, also when nothing is re-derived:
// a repeated node and nodes on one line (area 0), among old or new nodes.
TEST(hsMesh2DEdit, AddElemRefusesElementsWithoutArea)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareTriGrid(2, 1));
    const std::string text = m.toString();
    int repeated[] = {2, 2, 5}, inLine[] = {0, 1, 2};
    EXPECT_NE(thrownMessage([&] { m.editAddElem(3, repeated, true); }).find("holds node 2 twice"),
              std::string::npos);
    EXPECT_NE(thrownMessage([&] { m.editAddElem(3, inLine, false); }).find("area 0"),
              std::string::npos);
    double x[] = {3.0}, y[] = {0.0};
    int type[] = {0}, count[] = {3}, newInLine[] = {1, 2, 6};
    EXPECT_NE(thrownMessage([&] { m.editAddNodesElems(1, x, y, type, 1, newInLine, count, -1); })
                  .find("area 0"),
              std::string::npos);
    EXPECT_EQ(m.toString(), text);
}

TEST(hsMesh2DEdit, QueriesAnswerForTheEditedMesh)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareGrid(3, 3));
    int* path = nullptr;
    m.initHAE();  // build every cache first
    ASSERT_TRUE(m.isPointInMesh(0.5, 0.5));
    ASSERT_EQ(m.pointElemNearest(0.3, 0.9, 1), 0);
    ASSERT_EQ(m.shortestPathBetweenNodes(0, 15, path), 7);
    delete[] path;

    ASSERT_EQ(m.editDelNode(0, true), 0);
    EXPECT_EQ(m.haeCount, nullptr);
    EXPECT_FALSE(m.isPointInMesh(0.5, 0.5));
    EXPECT_EQ(m.pointElemNearest(0.3, 0.9, 1), 2);  // the square above the deleted one
    const int n = m.shortestPathBetweenNodes(0, m.non - 1, path);
    EXPECT_EQ(path[n - 1], 14);
    delete[] path;
    expectSound(m, 0, 8.0);

    // Without re-derivation nothing answers until initMesh.
    ASSERT_EQ(m.editDelElem(0, false), 0);
    EXPECT_NE(thrownMessage([&] { m.pointElem(1.5, 0.5); }).find("run initMesh first"),
              std::string::npos);
    EXPECT_THROW(m.initHAE(), ZCoreLib::ZException);
    m.initMesh();
    expectSound(m, -1, 7.0);  // node 0, at (1, 0), is left unused

    ASSERT_EQ(m.toSquare0DMesh(), 0);
    EXPECT_EQ(m.non, 4);
    expectSound(m, 0, 1.0);
}

TEST(hsMesh2DEdit, DeletionsMatchOneByOne)
{
    for (unsigned seed = 1; seed <= 4; seed++) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        hsMesh2D m;
        meshtest::build(m, meshtest::squareTriGrid(9, 7));
        MeshData want = primary(m);
        for (int k = 0; k < 12; k++) {
            const int node = std::uniform_int_distribution<int>(0, m.non - 1)(rng);
            ASSERT_EQ(m.editDelNode(node, false), 0);
            deleteNodeStepwise(want, node);
            const MeshData got = primary(m);
            ASSERT_EQ(tables(got), tables(want));
        }
        ASSERT_EQ(m.editDeleteUnusedNodes(), 0);
        std::vector<char> used(want.x.size(), 0);
        for (const auto& el : want.elems)
            for (int v : el)
                used[v] = 1;
        for (int k = static_cast<int>(used.size()) - 1; k >= 0; k--)
            if (!used[k])
                deleteNodeStepwise(want, k);
        hsMesh2D ref;
        meshtest::build(ref, want);
        EXPECT_EQ(m.toString(), ref.toString());
    }
}

TEST(hsMesh2DEdit, DeletingATenthOfALargeMeshIsFast)
{
    // About 1e5 elements; every tenth node goes with the elements using it.
    hsMesh2D m;
    meshtest::build(m, meshtest::squareGrid(316, 316));
    std::vector<int> nodes, elems;
    for (int i = 0; i < m.non; i += 10)
        nodes.push_back(i);
    for (int e = 0; e < m.noe; e++)
        if (std::any_of(m.en + 4 * e, m.en + 4 * e + 4, [](int v) { return v % 10 == 0; }))
            elems.push_back(e);
    testutil::expectFasterThan(1.0, [&] {
        ASSERT_EQ(m.editDelNodesElems(static_cast<int>(elems.size()), elems.data(),
                                      static_cast<int>(nodes.size()), nodes.data()),
                  0);
        ASSERT_EQ(m.editDeleteUnusedNodes(), 0);
    });
    EXPECT_EQ(m.noe, 99856 - static_cast<int>(elems.size()));
    EXPECT_LT(m.non, 100489 - static_cast<int>(nodes.size()));  // corners left alone went too
}
