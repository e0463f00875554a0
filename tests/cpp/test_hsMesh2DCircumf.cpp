// Mesh outline, element neighbours, angles and lookups.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>

#include "ZConvert.h"
#include "ZPoly.h"
#include "testUtil.h"
#include "test_hsMesh2DHelpers.h"

using hestor::hsMesh2D;
using meshtest::MeshData;

namespace {

const std::string circumfMsg =
    "Could not determine cirmumference faces - something wrong with mesh. ";

// Two triangles touching at node 0. Around node 0 the faces of the lower
// triangle come first, so the walk, entering from the upper one, circles the
// lower one for ever.
MeshData trianglesTouchingAtNode()
{
    return MeshData{{0, 2, 0.2, -0.2, -3}, {0, 0.2, 2, 5, 0.3}, {}, {{0, 1, 2}, {0, 3, 4}}, {}, {}};
}

} // namespace

TEST(hsMesh2DCircumf, SquareOfTwoTriangles)
{
    hsMesh2D m;
    meshtest::build(m, MeshData{{0, 1, 1, 0}, {0, 0, 1, 1}, {}, {{0, 1, 2}, {0, 2, 3}}, {}, {}});
    const std::vector<int> faces = m.getCircumferenceVF();
    EXPECT_EQ(faces.size(), 4u);
    int* nodes = nullptr;
    ASSERT_EQ(m.circumferenceNodes(nodes), 4);
    std::unique_ptr<int[]> own(nodes);
    EXPECT_EQ(nodes[0], 2);  // first of the two top corners
    EXPECT_EQ(std::set<int>(nodes, nodes + 4), (std::set<int>{0, 1, 2, 3}));
    EXPECT_DOUBLE_EQ(m.xMin, 0.0);
    EXPECT_DOUBLE_EQ(m.xMax, 1.0);
    EXPECT_DOUBLE_EQ(m.yMin, 0.0);
    EXPECT_DOUBLE_EQ(m.yMax, 1.0);
    // Consecutive nodes are joined by consecutive faces.
    for (int i = 0; i < 4; i++) {
        const int f = faces[i], a = nodes[i], b = nodes[(i + 1) % 4];
        EXPECT_TRUE((m.vfn[2 * f] == a && m.vfn[2 * f + 1] == b) ||
                    (m.vfn[2 * f] == b && m.vfn[2 * f + 1] == a));
    }
}

TEST(hsMesh2DCircumf, OutlineAreaEqualsMeshArea)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::equilateralGrid(7, 5, 3.0));
    m.popCircumf();
    ASSERT_TRUE(m.circumfPopped);
    EXPECT_NEAR(ZCoreLib::ZPoly::polygonArea(m.circumfX, m.circumfY, m.noCircumfNodes),
                m.totalArea, 1e-9 * m.totalArea);
    EXPECT_EQ(m.noCircumfNodes, m.novf - m.noivf);
    double* x = m.circumfX;
    m.popCircumf();  // built once
    EXPECT_EQ(m.circumfX, x);
}

TEST(hsMesh2DCircumf, IslandIsNotPartOfTheOutline)
{
    MeshData d = meshtest::squareGrid(3, 3);
    d.elems.erase(d.elems.begin() + 4);
    hsMesh2D m;
    meshtest::build(m, d);
    m.popCircumf();
    EXPECT_EQ(m.noCircumfNodes, 12);
    EXPECT_EQ(m.novf - m.noivf, 16);
    EXPECT_DOUBLE_EQ(ZCoreLib::ZPoly::polygonArea(m.circumfX, m.circumfY, m.noCircumfNodes), 9.0);
    EXPECT_DOUBLE_EQ(m.totalArea, 8.0);
}

TEST(hsMesh2DCircumf, SelfTouchingOutlineFails)
{
    hsMesh2D m;
    meshtest::build(m, trianglesTouchingAtNode());
    try {
        m.getCircumferenceVF();
        FAIL() << "no exception";
    } catch (const ZCoreLib::ZException& e) {
        EXPECT_EQ(e.message, circumfMsg + "A node with more than 2 bnd faces ?" + hestor::errSuffix);
    }
}

TEST(hsMesh2DCircumf, WalkReachesDeadEnd)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareGrid(2, 2));
    const std::vector<int> faces = m.getCircumferenceVF();
    ASSERT_EQ(faces.size(), 8u);
    for (size_t i = 1; i < faces.size(); i++)
        m.vft[faces[i]] = 0;
    try {
        m.getCircumferenceVF();
        FAIL() << "no exception";
    } catch (const ZCoreLib::ZException& e) {
        EXPECT_EQ(e.message, circumfMsg + hestor::errSuffix);
    }
}

TEST(hsMesh2DCircumf, UnusedTopmostNodeIsSkipped)
{
    // Node 3, the topmost, belongs to no element (as edits leave nodes); the
    // walk starts at the topmost used node 2 and only the box reaches node 3.
    MeshData d{{0, 1, 0, 5, 1}, {0, 0, 1, 9, 1}, {}, {{0, 1, 4}, {0, 4, 2}}, {}, {}};
    hsMesh2D m;
    meshtest::build(m, d);
    int* nodes = nullptr;
    ASSERT_EQ(m.circumferenceNodes(nodes), 4);
    std::unique_ptr<int[]> own(nodes);
    EXPECT_EQ(std::vector<int>(nodes, nodes + 4), (std::vector<int>{2, 0, 1, 4}));
    EXPECT_DOUBLE_EQ(m.yMax, 9.0);
    EXPECT_DOUBLE_EQ(m.xMax, 5.0);
    EXPECT_EQ(m.pointElemNearest(0.6, 0.2, 0), 0);
    EXPECT_EQ(m.pointElemNearest(0.2, 0.6, 0), 1);
    EXPECT_EQ(m.pointElemNearest(5.0, 9.0, 0), 1);  // outside: nearest centroid
    EXPECT_TRUE(m.isPointInMesh(0.5, 0.5));
    EXPECT_FALSE(m.isPointInMesh(4.0, 8.0));

    // Without any element there is no face to start from.
    hsMesh2D empty;
    meshtest::build(empty, MeshData{{0, 1}, {0, 1}, {}, {}, {}, {}});
    try {
        empty.getCircumferenceVF();
        FAIL() << "no exception";
    } catch (const ZCoreLib::ZException& e) {
        EXPECT_EQ(e.message, "Could not determine first face in cirmumference faces - something "
                             "wrong with mesh. " +
                                 hestor::errSuffix);
    }
}

TEST(hsMesh2DCircumf, NeighbourTables)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareTriGrid(4, 3));
    m.initHAE();
    int total = 0;
    for (int e = 0; e < m.noe; e++) {
        EXPECT_EQ(m.haeStart[e], total);
        EXPECT_EQ(m.haeCount[e], m.nivfpe[e]);
        for (int k = 0; k < m.haeCount[e]; k++) {
            const int j = m.hae[m.haeStart[e] + k], f = m.haeVF[m.haeStart[e] + k];
            EXPECT_EQ(f, m.evf[m.eStart[e] + k]);
            EXPECT_TRUE((m.vfe[2 * f] == e && m.vfe[2 * f + 1] == j) ||
                        (m.vfe[2 * f] == j && m.vfe[2 * f + 1] == e));
        }
        total += m.haeCount[e];
    }
    EXPECT_EQ(total, 2 * m.noivf);

    // A face that claims to be interior but has no second element.
    m.vfe[1] = -1;
    EXPECT_EQ(testutil::thrownMessage([&] { m.initHAE(); }),
              "hsMesh2D::initHAE: interior face 0 of element " + std::to_string(m.vfe[0]) +
                  " has no other element (its elements are " + std::to_string(m.vfe[0]) + " and -1)." +
                  hestor::errSuffix);
}

TEST(hsMesh2DCircumf, Angles)
{
    hsMesh2D sq;
    meshtest::build(sq, meshtest::squareGrid(1, 1));
    std::unique_ptr<double[]> a(sq.anglesInElems());
    for (int k = 0; k < 4; k++)
        EXPECT_NEAR(a[k], M_PI / 2, 1e-12);
    std::unique_ptr<double[]> mx(sq.anglesMaxPerElem());
    EXPECT_NEAR(mx[0], M_PI / 2, 1e-12);
}

TEST(hsMesh2DCircumf, AnglesOfTriangles)
{
    MeshData d = meshtest::squareTriGrid(2, 2, 1.0);
    d.x[4] += 0.2;  // skew the middle node
    d.y[4] -= 0.1;
    hsMesh2D m;
    meshtest::build(m, d);
    std::unique_ptr<double[]> a(m.anglesInElems());
    std::unique_ptr<double[]> mx(m.anglesMaxPerElem());
    for (int e = 0; e < m.noe; e++) {
        const int s = m.eStart[e];
        EXPECT_NEAR(a[s] + a[s + 1] + a[s + 2], M_PI, 1e-12);
        EXPECT_DOUBLE_EQ(mx[e], std::max({a[s], a[s + 1], a[s + 2]}));
    }
    std::unique_ptr<double[]> dev(m.anglesVFMaxPerElem());
    for (int e = 0; e < m.noe; e++) {
        double best = 0.0;
        for (int k = 0; k < m.nivfpe[e]; k++)
            best = std::max(best, m.vfAngleDev[m.evf[m.eStart[e] + k]]);
        EXPECT_EQ(dev[e], best);
    }
}

TEST(hsMesh2DCircumf, FaceDirectionPerElement)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareTriGrid(3, 2));
    std::unique_ptr<int[]> d(m.evfd());
    for (int e = 0; e < m.noe; e++) {
        const int s = m.eStart[e], k = m.enon[e];
        for (int j = 0; j < k; j++) {
            const int f = m.evf[s + j];
            bool along = false;
            for (int p = 0; p < k; p++)
                along = along || (m.en[s + p] == m.vfn[2 * f] &&
                                  m.en[s + (p + 1) % k] == m.vfn[2 * f + 1]);
            EXPECT_EQ(d[s + j], along ? 1 : -1);
            // Interior and open faces run against their first element.
            if (m.evfSign[s + j] == 1) {
                EXPECT_EQ(d[s + j], -1);
            }
        }
    }
}

TEST(hsMesh2DCircumf, GeoCoordinatesAndScales)
{
    hsMesh2D m;
    MeshData d = meshtest::squareGrid(2, 2, 1000.0);
    for (double& x : d.x)
        x += 500000.0;
    for (double& y : d.y)
        y += 6000000.0;
    meshtest::build(m, d);
    double *x = nullptr, *y = nullptr;
    m.vfGeoCoor(x, y);
    std::unique_ptr<double[]> ox(x), oy(y);
    double lon, lat;
    ZCoreLib::ZConvert::utm2Geo(m.vfxc[3], m.vfyc[3], 32, lon, lat);
    EXPECT_DOUBLE_EQ(x[3], lon);
    EXPECT_DOUBLE_EQ(y[3], lat);
    EXPECT_NEAR(lon, 9.0, 0.1);
    EXPECT_DOUBLE_EQ(m.scaleLengthInProj(), 1000.0);

    hsMesh2D l;
    meshtest::build(l, meshtest::lonLatGrid("LONLAT"));
    l.vfGeoCoor(x, y);
    std::unique_ptr<double[]> lx(x), ly(y);
    EXPECT_EQ(x[5], l.vfxc[5]);
    // About lengthScale metres northward, in degrees of latitude.
    EXPECT_NEAR(l.scaleLengthInProj(), l.lengthScale / 111300.0, 2e-5);
}

TEST(hsMesh2DCircumf, UtmZoneAndLookups)
{
    hsMesh2D m;
    EXPECT_EQ(m.utmZone(), 32);
    m.proj = "LONLAT";
    EXPECT_EQ(m.utmZone(), -1);
    m.proj = "utm";
    EXPECT_EQ(m.utmZone(), 0);
    m.proj = "Utm33N";
    EXPECT_EQ(m.utmZone(), 33);
    m.proj = "ut";
    EXPECT_EQ(m.utmZone(), -1);
    EXPECT_EQ(m.bt2bi(1), -1);
    EXPECT_EQ(m.vf2Bnd(0), -1);
}
