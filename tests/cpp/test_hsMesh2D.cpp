// Mesh construction: faces, element-face tables, boundaries, copies.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <utility>

#include "ZMath.h"
#include "testUtil.h"
#include "test_hsMesh2DHelpers.h"

using hestor::hsMesh2D;
using meshtest::MeshData;
using meshtest::checkInvariants;
using meshtest::shareNode;

namespace {

// The same mesh with nodes and elements renumbered at random.
MeshData shuffled(const MeshData& d, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<int> perm(d.x.size()), eperm(d.elems.size());
    std::iota(perm.begin(), perm.end(), 0);
    std::iota(eperm.begin(), eperm.end(), 0);
    std::shuffle(perm.begin(), perm.end(), rng);
    std::shuffle(eperm.begin(), eperm.end(), rng);
    MeshData r = d;
    for (size_t i = 0; i < perm.size(); i++) {
        r.x[perm[i]] = d.x[i];
        r.y[perm[i]] = d.y[i];
        r.type[perm[i]] = d.type[i];
    }
    for (size_t e = 0; e < eperm.size(); e++) {
        r.elems[eperm[e]] = d.elems[e];
        for (int& v : r.elems[eperm[e]])
            v = perm[v];
        // Rotate the node order too: the element stays the same polygon.
        std::rotate(r.elems[eperm[e]].begin(), r.elems[eperm[e]].begin() + e % d.elems[e].size(),
                    r.elems[eperm[e]].end());
    }
    return r;
}

// A 6 x 4 grid with boundary 3 on the bottom, 1 on the right and a
// junction -(100 * 1 + 2) between boundaries 1 and 2 on the top.
MeshData openGrid()
{
    MeshData d = meshtest::squareTriGrid(6, 4);
    auto node = [](int i, int j) { return j * 7 + i; };
    for (int i = 1; i <= 5; i++)
        d.type[node(i, 0)] = 3;
    for (int j = 1; j <= 4; j++)
        d.type[node(6, j)] = 1;
    d.type[node(3, 4)] = -102;
    for (int i = 0; i < 3; i++)
        d.type[node(i, 4)] = 2;
    d.type[node(4, 4)] = 1;
    d.type[node(5, 4)] = 1;
    return d;
}

MeshData withHole()
{
    MeshData d = meshtest::squareGrid(3, 3);
    d.elems.erase(d.elems.begin() + 4);  // the middle square
    return d;
}

} // namespace

TEST(hsMesh2DBuild, EmptyMesh)
{
    hsMesh2D m;
    MeshData d;
    d.x = {0, 1};
    d.y = {0, 0};
    meshtest::fill(m, d);
    EXPECT_EQ(m.initMesh(), 0);
    EXPECT_EQ(m.novf, 0);
    EXPECT_EQ(m.noivf, 0);
    EXPECT_TRUE(m.voronoiPopped);
    EXPECT_TRUE(*m.initialised);
    EXPECT_EQ(m.eVoronoiXUTM, m.eVoronoiX);
}

TEST(hsMesh2DBuild, Defaults)
{
    hsMesh2D m;
    EXPECT_EQ(m.proj, "UTM32");
    EXPECT_EQ(m.fileFmt, 0);
    EXPECT_EQ(m.noe, 0);
    EXPECT_EQ(m.haeCount, nullptr);
    EXPECT_FALSE(*m.initialised);
    EXPECT_EQ(m.square0DMeshStr, "4\t1\n0\t0\n1\t0\n1\t1\n0\t1\n0\t1\t2\t3\n");
}

TEST(hsMesh2DBuild, OneTriangle)
{
    hsMesh2D m;
    meshtest::build(m, MeshData{{0, 1, 0}, {0, 0, 1}, {0, 0, 0}, {{0, 1, 2}}, {}, {}});
    ASSERT_EQ(m.novf, 3);
    const int nodes[6] = {0, 1, 1, 2, 2, 0};
    for (int f = 0; f < 3; f++) {
        EXPECT_EQ(m.vft[f], 99);
        EXPECT_EQ(m.vfn[2 * f], nodes[2 * f]);
        EXPECT_EQ(m.vfn[2 * f + 1], nodes[2 * f + 1]);
        EXPECT_EQ(m.vfe[2 * f], 0);
        EXPECT_EQ(m.vfe[2 * f + 1], -99);
        EXPECT_EQ(m.evfSign[f], 0);
    }
    EXPECT_EQ(m.nivfpe[0], 0);
    EXPECT_EQ(m.nbvfpe[0], 0);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(m.nt[i], 99);
}

TEST(hsMesh2DBuild, TwoTriangles)
{
    hsMesh2D m;
    meshtest::build(m, MeshData{{0, 1, 1, 0}, {0, 0, 1, 1}, {}, {{0, 1, 2}, {0, 2, 3}}, {}, {}});
    ASSERT_EQ(m.novf, 5);
    EXPECT_EQ(m.noivf, 1);
    EXPECT_EQ(m.vft[0], 0);
    EXPECT_EQ(m.vfe[0], 0);
    EXPECT_EQ(m.vfe[1], 1);
    // Against element 0's order (0, 1, 2): the shared edge runs 0 -> 2.
    EXPECT_EQ(m.vfn[0], 0);
    EXPECT_EQ(m.vfn[1], 2);
    EXPECT_EQ(m.evfSign[m.eStart[0]], 1);
    EXPECT_EQ(m.evfSign[m.eStart[1]], -1);
    for (int f = 1; f < 5; f++)
        EXPECT_EQ(m.vft[f], 99);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(m.nt[i], 99);
    EXPECT_EQ(m.evf[m.eStart[0]], 0);
    EXPECT_EQ(m.evf[m.eStart[1]], 0);
    checkInvariants(m, 0);
}

TEST(hsMesh2DBuild, OpenBoundaryAlongOneSide)
{
    MeshData d = meshtest::squareGrid(4, 2);
    for (int i = 0; i <= 4; i++)
        d.type[i] = 1;  // the bottom row
    hsMesh2D m;
    meshtest::build(m, d);
    EXPECT_EQ(m.nob, 1);
    ASSERT_EQ(m.nobvf, 4);
    EXPECT_EQ(m.bt[0], 1);
    EXPECT_EQ(m.bFirstVF[0], 0);
    EXPECT_EQ(m.bNoVF[0], 4);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(m.vfe[2 * (m.noivf + i) + 1], m.noe + i);
    // Walking east along the bottom keeps the elements on the left.
    int common;
    ASSERT_TRUE(shareNode(m, m.noivf, m.noivf + 1, common));
    EXPECT_EQ(common, 1);
    checkInvariants(m, 0);
    for (int i = 0; i <= 4; i++)
        EXPECT_EQ(m.nt[i], 1);
}

TEST(hsMesh2DBuild, JunctionNode)
{
    hsMesh2D m;
    meshtest::build(m, openGrid());
    checkInvariants(m, 0);
    ASSERT_EQ(m.nob, 3);
    EXPECT_EQ(m.bt[0], 1);
    EXPECT_EQ(m.bt[1], 2);
    EXPECT_EQ(m.bt[2], 3);
    EXPECT_EQ(m.bNoVF[0], 6);  // right side (4) and the top right of the junction (2)
    EXPECT_EQ(m.bNoVF[1], 3);
    EXPECT_EQ(m.bNoVF[2], 4);
    EXPECT_EQ(m.bFirstVF[1], 6);
    // The junction node ends with the code of the later (higher) boundary.
    EXPECT_EQ(m.nt[4 * 7 + 3], 2);
    EXPECT_EQ(m.vf2Bnd(m.noivf), 0);
    EXPECT_EQ(m.vf2Bnd(m.noivf + 6), 1);
    EXPECT_EQ(m.vf2Bnd(0), -1);
    EXPECT_EQ(m.vf2Bnd(m.novf - 1), -1);
    EXPECT_EQ(m.bt2bi(2), 1);
    EXPECT_EQ(m.bt2bi(4), -1);
}

TEST(hsMesh2DBuild, InvariantsAfterRenumbering)
{
    const MeshData base = openGrid();
    for (unsigned seed = 1; seed <= 8; seed++) {
        hsMesh2D m;
        meshtest::build(m, shuffled(base, seed));
        SCOPED_TRACE(seed);
        checkInvariants(m, 0);
        EXPECT_EQ(m.nob, 3);
        EXPECT_EQ(m.bNoVF[0], 6);
        EXPECT_EQ(m.bNoVF[1], 3);
        EXPECT_EQ(m.bNoVF[2], 4);
    }
    MeshData hole = withHole();
    for (unsigned seed = 1; seed <= 4; seed++) {
        hsMesh2D m;
        meshtest::build(m, shuffled(hole, seed));
        checkInvariants(m, 1);
    }
}

TEST(hsMesh2DBuild, RingBoundary)
{
    // Every outer node open: one ring of code 5.
    MeshData d = meshtest::squareTriGrid(3, 3);
    for (int j = 0; j <= 3; j++)
        for (int i = 0; i <= 3; i++)
            if (i == 0 || j == 0 || i == 3 || j == 3)
                d.type[j * 4 + i] = 5;
    hsMesh2D m;
    meshtest::build(m, d);
    EXPECT_EQ(m.nob, 1);
    EXPECT_EQ(m.nobvf, 12);
    // A ring starts at its first face and walks on from that face's first node.
    checkInvariants(m, 0, false);
    int common;
    EXPECT_TRUE(shareNode(m, m.novf - 1, m.noivf, common));
}

TEST(hsMesh2DBuild, BrokenBoundaryChainStillOrdersAllFaces)
{
    // Two separate stretches of code 1: unsupported, but must not hang or lose faces.
    MeshData d = meshtest::squareGrid(6, 1);
    d.type[0] = d.type[1] = 1;
    d.type[4] = d.type[5] = d.type[6] = 1;
    hsMesh2D m;
    meshtest::build(m, d);
    EXPECT_EQ(m.nob, 1);
    EXPECT_EQ(m.nobvf, 3);
    std::set<int> faces;
    for (int i = 0; i < m.nobvf; i++)
        faces.insert(m.vfn[2 * (m.noivf + i)] + 100 * m.vfn[2 * (m.noivf + i) + 1]);
    EXPECT_EQ(faces.size(), 3u);
}

TEST(hsMesh2DBuild, ConvertNT)
{
    hsMesh2D m;
    m.non = 3;
    m.nt = new int[3]{0, 1, 2};
    m.convertNT(0);
    EXPECT_EQ(m.nt[0], 99);
    EXPECT_EQ(m.nt[1], 0);
    EXPECT_EQ(m.nt[2], 1);
}

TEST(hsMesh2DBuild, UntrustedInputThrows)
{
    const std::string prefix = "hsMesh2D: initMesh: ";
    {
        hsMesh2D m;
        meshtest::fill(m, MeshData{{0, 1, 0}, {0, 0, 1}, {}, {{0, 1, 3}}, {}, {}});
        try {
            m.initMesh();
            FAIL() << "no exception";
        } catch (const ZCoreLib::ZException& e) {
            EXPECT_EQ(e.message.rfind(prefix + "element 0 refers to node 3, outside 0..2.", 0), 0u)
                << e.message;
        }
    }
    {
        hsMesh2D m;
        meshtest::fill(m, MeshData{{0, 1, 0}, {0, 0, 1}, {}, {{0, -1, 2}}, {}, {}});
        EXPECT_THROW(m.initMesh(), ZCoreLib::ZException);
    }
    {
        hsMesh2D m;
        meshtest::fill(m, MeshData{{0, 1, 0}, {0, 0, 1}, {0, 150, 0}, {{0, 1, 2}}, {}, {}});
        EXPECT_THROW(m.initMesh(), ZCoreLib::ZException);
    }
    {
        // Two neighbouring junction nodes of one type would give face code -102.
        hsMesh2D m;
        meshtest::fill(m, MeshData{{0, 1, 0}, {0, 0, 1}, {-102, -102, 0}, {{0, 1, 2}}, {}, {}});
        try {
            m.initMesh();
            FAIL() << "no exception";
        } catch (const ZCoreLib::ZException& e) {
            EXPECT_NE(e.message.find("code -102"), std::string::npos) << e.message;
        }
    }
    {
        hsMesh2D m;
        meshtest::fill(m, MeshData{{0, 1, 0}, {0, 0, 1}, {}, {{0, 1, 2}}, {}, {}});
        m.enon[0] = -3;
        EXPECT_THROW(m.initMesh(), ZCoreLib::ZException);
    }
}

// Elements of fewer than three nodes, or of more nodes than the mesh has,
// once reached the point-location index with nothing to index.
TEST(hsMesh2DBuild, ElementsTheMeshCannotHoldAreRefused)
{
    const std::string prefix = "hsMesh2D: initMesh: element 1 ";
    const std::vector<std::pair<std::vector<int>, std::string>> cases = {
        {{}, "has 0 nodes; an element needs at least 3."},
        {{1, 2}, "has 2 nodes; an element needs at least 3."},
        {{0, 1, 2, 2}, "has 4 nodes, more than the mesh's 3."},
    };
    for (const auto& c : cases) {
        hsMesh2D m;
        meshtest::fill(m, MeshData{{0, 1, 0}, {0, 0, 1}, {}, {{0, 1, 2}, c.first}, {}, {}});
        EXPECT_EQ(testutil::thrownMessage([&] { m.initMesh(); }), prefix + c.second + hestor::errSuffix);
    }
    // Repeated nodes and elements without area once gave NaN normals and
    // infinite inverse areas. Node 4 lies where node 1 does; 0, 1 and 3 on a
    // line; 0, 1, 2, 5 is a bowtie. The sides of 0, 6, 2, 1 cross with an
    // area left over; in 0, 3, 1, 2 the second side folds back on the first.
    const std::vector<std::pair<std::vector<int>, std::string>> shapes = {
        {{0, 1, 1, 2}, "holds node 1 twice."},
        {{2, 0, 1, 2}, "holds node 2 twice."},
        {{0, 1, 3}, "has area 0: its nodes lie on one line or its sides cross."},
        {{3, 1, 0}, "has area 0: its nodes lie on one line or its sides cross."},
        {{0, 1, 2, 5}, "has area 0: its nodes lie on one line or its sides cross."},
        {{1, 2, 4}, "has a side of length 0: nodes 4 and 1 lie at one point."},
        {{0, 6, 2, 1}, "has area 0: its nodes lie on one line or its sides cross."},
        {{0, 3, 1, 2}, "has area 0: its nodes lie on one line or its sides cross."},
    };
    const MeshData six{{0, 1, 0, 2, 1, 1, 2}, {0, 0, 1, 0, 0, 1, 2}, {}, {{0, 1, 2}}, {}, {}};
    for (const auto& c : shapes) {
        MeshData d = six;
        d.elems.push_back(c.first);
        hsMesh2D m;
        meshtest::fill(m, d);
        EXPECT_EQ(testutil::thrownMessage([&] { m.initMesh(); }), prefix + c.second + hestor::errSuffix);
        EXPECT_EQ(hsMesh2D::elemProblem(1, c.first.data(), static_cast<long long>(c.first.size()), 7,
                                        d.x.data(), d.y.data()),
                  "element 1 " + c.second);
    }
    // Beyond 16 nodes repeats are found by sorting: the pair sits apart.
    std::vector<int> many(20);
    std::iota(many.begin(), many.end(), 0);
    many[17] = 3;
    EXPECT_EQ(hsMesh2D::elemProblem(1, many.data(), 20, 25), "element 1 holds node 3 twice.");
    // Thin, far from the origin, but with an area: accepted.
    MeshData thin{{512345.0, 512355.0, 512345.0}, {6012345.0, 6012345.0, 6012345.001}, {}, {{0, 1, 2}}, {}, {}};
    hsMesh2D m;
    meshtest::build(m, thin);
    EXPECT_NEAR(m.eArea[0], 0.005, 1e-6);
}

TEST(hsMesh2DBuild, FaceOfThreeElementsIsRefused)
{
    // Elements 0 and 1 share the side 0-1; element 2 lies on it as well.
    hsMesh2D m;
    meshtest::fill(m, MeshData{{0, 1, 0, 0, 1}, {0, 0, 1, -1, 1}, {}, {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}}, {}, {}});
    EXPECT_EQ(testutil::thrownMessage([&] { m.initMesh(); }),
              "hsMesh2D: initVF: element 2 has the side from node 0 to node 1, which elements 0 and 1 already "
              "share; a face joins at most two elements." +
                  hestor::errSuffix);
}

TEST(hsMesh2DBuild, LargeElement)
{
    // More than 50 nodes in one element and more than 100 faces at one node.
    MeshData d;
    const int n = 120;
    d.x.push_back(0);
    d.y.push_back(0);
    for (int i = 0; i < n; i++) {
        d.x.push_back(std::cos(2 * M_PI * i / n));
        d.y.push_back(std::sin(2 * M_PI * i / n));
    }
    d.type.assign(d.x.size(), 0);
    for (int i = 0; i < n; i++)
        d.elems.push_back({0, 1 + i, 1 + (i + 1) % n});
    hsMesh2D m;
    meshtest::build(m, d);
    checkInvariants(m, 0);
    EXPECT_EQ(m.nvfCount[0], n);

    MeshData big;
    std::vector<int> ring;
    for (int i = 0; i < n; i++) {
        big.x.push_back(std::cos(2 * M_PI * i / n));
        big.y.push_back(std::sin(2 * M_PI * i / n));
        ring.push_back(i);
    }
    big.elems.push_back(ring);
    hsMesh2D p;
    meshtest::build(p, big);
    EXPECT_EQ(p.novf, n);
    EXPECT_NEAR(p.eVoronoiX[0], 0.0, 1e-12);
}

TEST(hsMesh2DCopy, DeepCopySurvivesSource)
{
    hsMesh2D* src = new hsMesh2D();
    meshtest::build(*src, openGrid());
    src->popCircumf();
    src->initHAE();
    hsMesh2D copy(*src);
    const int novf = src->novf;
    const double area = src->totalArea;
    std::vector<int> vfe(src->vfe, src->vfe + 2 * novf);
    delete src;
    ASSERT_EQ(copy.novf, novf);
    EXPECT_EQ(copy.totalArea, area);
    EXPECT_EQ(std::vector<int>(copy.vfe, copy.vfe + 2 * novf), vfe);
    EXPECT_EQ(copy.nXUTM, copy.nX);
    EXPECT_EQ(copy.eVoronoiXUTM, copy.eVoronoiX);
    EXPECT_TRUE(*copy.initialised);
    EXPECT_EQ(copy.noCircumfNodes, 0);  // rebuilt on demand
    copy.popCircumf();
    EXPECT_GT(copy.noCircumfNodes, 0);
    checkInvariants(copy, 0);

    hsMesh2D assigned;
    assigned = copy;
    hsMesh2D& alias = assigned;
    assigned = alias;
    copy.nX[0] = 1234.0;
    EXPECT_EQ(assigned.nX[0], 0.0);
    EXPECT_EQ(assigned.novf, novf);
}

namespace {
int countFacesByValue(hsMesh2D m)
{
    return m.novf;
}
} // namespace

TEST(hsMesh2DCopy, PassByValueLeavesCallerIntact)
{
    hsMesh2D m;
    MeshData d = meshtest::squareTriGrid(2, 2);
    d.proj = "LONLAT";
    for (double& x : d.x)
        x = 9.0 + x * 0.01;
    for (double& y : d.y)
        y = 55.0 + y * 0.01;
    meshtest::build(m, d);
    EXPECT_EQ(countFacesByValue(m), m.novf);
    EXPECT_EQ(countFacesByValue(m), 16);
    EXPECT_NE(m.nXUTM, m.nX);
    checkInvariants(m, 0);
}

TEST(hsMesh2DCopy, CopyIsIndependent)
{
    hsMesh2D m;
    meshtest::build(m, openGrid());
    std::unique_ptr<hsMesh2D> c(m.copy());
    EXPECT_EQ(c->novf, m.novf);
    EXPECT_EQ(c->nob, m.nob);
    c->nX[0] = -50.0;
    c->initMesh();
    EXPECT_EQ(m.nX[0], 0.0);
    EXPECT_NE(c->totalArea, m.totalArea);
    checkInvariants(m, 0);
}

TEST(hsMesh2DBuild, ReinitRebuildsEverything)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareTriGrid(2, 2));
    m.popCircumf();
    m.initHAE();
    const int oldNovf = m.novf;
    // Grow the mesh by a row as an editor would, then re-derive.
    MeshData d = meshtest::squareTriGrid(2, 3);
    delete[] m.nX;
    delete[] m.nY;
    delete[] m.nt;
    delete[] m.enon;
    delete[] m.en;
    meshtest::fill(m, d);
    m.voronoiPopped = false;
    m.initMesh();
    EXPECT_GT(m.novf, oldNovf);
    EXPECT_FALSE(m.circumfPopped);
    EXPECT_EQ(m.haeCount, nullptr);
    EXPECT_EQ(m.nonvf, 2 * m.novf);
    int total = 0;
    for (int v = 0; v < m.non; v++)
        total += m.nvfCount[v];
    EXPECT_EQ(total, m.nonvf);
    checkInvariants(m, 0);
    m.popCircumf();
    EXPECT_EQ(m.noCircumfNodes, 10);
}
