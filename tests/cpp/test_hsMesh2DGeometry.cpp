// Mesh derived geometry: Voronoi points, face distances, node cells.

#include <gtest/gtest.h>

#include <cmath>

#include "ZConvert.h"
#include "test_hsMesh2DHelpers.h"

using hestor::hsMesh2D;
using meshtest::MeshData;

namespace {

double dist(double ax, double ay, double bx, double by)
{
    return std::hypot(ax - bx, ay - by);
}

std::string messageOf(hsMesh2D& m)
{
    try {
        m.initMesh();
    } catch (const ZCoreLib::ZException& e) {
        return e.message;
    }
    return "";
}

} // namespace

TEST(hsMesh2DGeometry, CircumcentreOfAcuteTriangles)
{
    hsMesh2D m;
    meshtest::build(m, MeshData{{0, 4, 1.5}, {0, 0.5, 3}, {}, {{0, 1, 2}}, {}, {}});
    const double r0 = dist(m.eVoronoiX[0], m.eVoronoiY[0], 0, 0);
    EXPECT_NEAR(dist(m.eVoronoiX[0], m.eVoronoiY[0], 4, 0.5), r0, 1e-12);
    EXPECT_NEAR(dist(m.eVoronoiX[0], m.eVoronoiY[0], 1.5, 3), r0, 1e-12);
    EXPECT_TRUE(m.eOrthogonal[0]);
    EXPECT_TRUE(m.orthogonal);

    hsMesh2D g;
    meshtest::build(g, meshtest::equilateralGrid(4, 4, 2.0));
    EXPECT_TRUE(g.orthogonal);
    for (int e = 0; e < g.noe; e++) {
        const int* v = g.en + g.eStart[e];
        const double r = dist(g.eVoronoiX[e], g.eVoronoiY[e], g.nX[v[0]], g.nY[v[0]]);
        EXPECT_NEAR(r, 2.0 / std::sqrt(3.0), 1e-9);
        EXPECT_NEAR(dist(g.eVoronoiX[e], g.eVoronoiY[e], g.nX[v[1]], g.nY[v[1]]), r, 1e-9);
    }
    for (int f = 0; f < g.noivf; f++)
        EXPECT_NEAR(g.vfAngleDev[f], 0.0, 1e-4);
}

TEST(hsMesh2DGeometry, RightTriangleTakesCentroid)
{
    hsMesh2D m;
    meshtest::build(m, MeshData{{0, 3, 0}, {0, 0, 3}, {}, {{0, 1, 2}}, {}, {}});
    EXPECT_DOUBLE_EQ(m.eVoronoiX[0], 1.0);
    EXPECT_DOUBLE_EQ(m.eVoronoiY[0], 1.0);
    EXPECT_FALSE(m.eOrthogonal[0]);
    EXPECT_FALSE(m.orthogonal);
}

TEST(hsMesh2DGeometry, SquaresTakeCentroidsButStayOrthogonal)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareGrid(3, 2, 10.0));
    EXPECT_TRUE(m.orthogonal);
    for (int e = 0; e < m.noe; e++) {
        EXPECT_FALSE(m.eOrthogonal[e]);
        EXPECT_DOUBLE_EQ(m.eVoronoiX[e], m.eX[e]);
        EXPECT_DOUBLE_EQ(m.eArea[e], 100.0);
        EXPECT_DOUBLE_EQ(m.eAreaInv[e], 0.01);
    }
    EXPECT_DOUBLE_EQ(m.totalArea, 600.0);
    EXPECT_DOUBLE_EQ(m.lengthScale, 10.0);
    EXPECT_DOUBLE_EQ(m.areaCenterX, 15.0);
    EXPECT_DOUBLE_EQ(m.areaCenterY, 10.0);
    EXPECT_DOUBLE_EQ(m.meanX, 15.0);
    EXPECT_EQ(m.zone, 32);
    EXPECT_FALSE(m.lonLat);
    for (int f = 0; f < m.novf; f++) {
        EXPECT_DOUBLE_EQ(m.vfLength[f], 10.0);
        EXPECT_DOUBLE_EQ(m.vfDist[f], 10.0);
        EXPECT_DOUBLE_EQ(m.vfeDist[2 * f], 5.0);
        EXPECT_DOUBLE_EQ(m.vfDx[f] + m.vfDy[f], 10.0);
        EXPECT_NEAR(std::hypot(m.vfxNormL[f], m.vfyNormL[f]), 1.0, 1e-15);
    }
}

TEST(hsMesh2DGeometry, GivenVoronoiPointsAndDeviation)
{
    // Two triangles sharing the edge (0,0)-(0,2); links 6 and 5 degrees off.
    const double t6 = std::tan(6.0 * M_PI / 180.0);
    MeshData d{{0, 0, 2, -2}, {0, 2, 1, 1}, {}, {{0, 2, 1}, {0, 1, 3}}, {}, {}};
    d.vx = {1.0, -1.0};
    d.vy = {1.0 + t6, 1.0 - t6};
    hsMesh2D m;
    meshtest::build(m, d);
    EXPECT_NEAR(m.vfAngleDev[0], 6.0, 1e-4);
    EXPECT_FALSE(m.eOrthogonal[0]);
    EXPECT_FALSE(m.eOrthogonal[1]);
    EXPECT_FALSE(m.orthogonal);
    EXPECT_DOUBLE_EQ(m.eVoronoiX[0], 1.0);  // kept, not recomputed

    d.vy = {1.0 + std::tan(4.9 * M_PI / 180.0), 1.0 - std::tan(4.9 * M_PI / 180.0)};
    hsMesh2D n;
    meshtest::build(n, d);
    EXPECT_TRUE(n.eOrthogonal[0]);
    EXPECT_TRUE(n.orthogonal);
}

TEST(hsMesh2DGeometry, BoundaryFaceDistances)
{
    // Voronoi point 3 m above the bottom face.
    MeshData d{{0, 10, 5}, {0, 0, 8}, {}, {{0, 1, 2}}, {}, {}};
    d.vx = {5.0};
    d.vy = {3.0};
    hsMesh2D m;
    meshtest::build(m, d);
    ASSERT_EQ(m.vfn[0], 0);
    EXPECT_DOUBLE_EQ(m.vfeDist[0], 3.0);
    EXPECT_DOUBLE_EQ(m.vfeDist[1], 3.0);
    EXPECT_DOUBLE_EQ(m.vfDist[0], 6.0);
    EXPECT_DOUBLE_EQ(m.vfDy[0], 6.0);
    EXPECT_DOUBLE_EQ(m.vfyNormL[0], -1.0);
    for (int k = 0; k < 3; k++)
        if (m.evf[k] == 0) {
            EXPECT_DOUBLE_EQ(m.evfnd[k], 3.0);
        }
    EXPECT_DOUBLE_EQ(m.vfDirX[0], 10.0);
    EXPECT_DOUBLE_EQ(m.vfxc[0], 5.0);
}

TEST(hsMesh2DGeometry, VoronoiPointOnFaceThrows)
{
    MeshData d{{0, 10, 5}, {0, 0, 8}, {}, {{0, 1, 2}}, {}, {}};
    d.vx = {5.0};
    d.vy = {0.0};
    hsMesh2D m;
    meshtest::fill(m, d);
    EXPECT_EQ(messageOf(m), "Voronoi point on face." + hestor::errSuffix);
}

// Points stored as float32 can meet: lon/lat points on their face, two neighbours' points
// at UTM northings of millions (here a hair off the face). Such a mesh is taken, with finite
// link tables: the link takes the face normal, pointing from element vfe[0] towards the other.
TEST(hsMesh2DGeometry, CoincidingVoronoiPointsAreTaken)
{
    const MeshData g{{9.0, 9.01, 9.005, 9.005}, {55.0, 55.0, 55.008, 54.992}, {}, {{0, 1, 2}, {1, 0, 3}},
                     {9.005, 9.005}, {55.0, 55.0}, "lonlat"};
    const MeshData u{{500000, 500010, 500005, 500005}, {6e6, 6e6, 6e6 + 8, 6e6 - 8}, {}, g.elems,
                     {500005.0, 500005.0}, {6e6 + 0.25, 6e6 + 0.25}};
    for (const MeshData& d : {g, u}) {
        SCOPED_TRACE(d.proj);
        hsMesh2D l;
        meshtest::fill(l, d);
        ASSERT_EQ(messageOf(l), "");
        for (int f = 0; f < l.novf; f++) {
            EXPECT_TRUE(std::isfinite(l.vfxNormL[f]) && std::isfinite(l.vfyNormL[f])) << f;
            for (double v : {l.vfDist[f], l.vfDistInv[f], l.vfDx[f], l.vfDy[f], l.vfeDist[2 * f], l.vfeDist[2 * f + 1]})
                EXPECT_TRUE(std::isfinite(v) && v >= 0.0) << f;
        }
        ASSERT_EQ(l.noivf, 1);
        EXPECT_EQ(l.vfDistInv[0], 0.0);
        EXPECT_EQ(l.vfeDist[0] + l.vfeDist[1], 0.0);
        EXPECT_EQ(l.vfAngleDev[0], 0.0);
        const double toward = l.eY[l.vfe[1]] > l.eY[l.vfe[0]] ? 1.0 : -1.0;
        EXPECT_NEAR(l.vfyNormL[0], toward, 1e-3);
    }
}

TEST(hsMesh2DGeometry, PopVoronoiUTMTwiceThrows)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareGrid(1, 1));
    EXPECT_EQ(m.eVoronoiXUTM, m.eVoronoiX);
    try {
        m.popVoronoiUTM();
        FAIL();
    } catch (const ZCoreLib::ZException& e) {
        EXPECT_EQ(e.message,
                  "popVoronoiUTM: voronoiPopped==true, but eVoronoiXUTM!=NULL. " + hestor::errSuffix);
    }
    hsMesh2D empty;
    try {
        empty.popVoronoiUTM();
        FAIL();
    } catch (const ZCoreLib::ZException& e) {
        EXPECT_EQ(e.message, "popVoronoiUTM called, but voronoiPopped==false. " + hestor::errSuffix);
    }
}

TEST(hsMesh2DGeometry, FaceDistanceHalvesSum)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareTriGrid(5, 4, 3.0));
    for (int f = 0; f < m.novf; f++) {
        EXPECT_NEAR(m.vfeDist[2 * f] + m.vfeDist[2 * f + 1], m.vfDist[f], 1e-12);
        EXPECT_NEAR(1.0 / m.vfDistInv[f], m.vfDist[f], 1e-12);
        const int e0 = m.vfe[2 * f];
        // Independent: distance from the Voronoi point to the face line.
        const int a = m.vfn[2 * f], b = m.vfn[2 * f + 1];
        const double cross = (m.nX[b] - m.nX[a]) * (m.eVoronoiY[e0] - m.nY[a]) -
                             (m.nY[b] - m.nY[a]) * (m.eVoronoiX[e0] - m.nX[a]);
        EXPECT_NEAR(m.vfeDist[2 * f], std::fabs(cross) / m.vfLength[f], 1e-12);
    }
    for (int e = 0; e < m.noe; e++)
        for (int k = 0; k < m.enon[e]; k++) {
            const int f = m.evf[m.eStart[e] + k];
            const int slot = m.vfe[2 * f] == e ? 0 : 1;
            EXPECT_EQ(m.evfnd[m.eStart[e] + k], m.vfeDist[2 * f + slot]);
        }
}

TEST(hsMesh2DGeometry, NodeCellsOfEquilateralGrid)
{
    const double h = 2.0;
    hsMesh2D m;
    meshtest::build(m, meshtest::equilateralGrid(6, 6, h));
    EXPECT_EQ(m.nonvf, 2 * m.novf);
    int interior = 0;
    for (int v = 0; v < m.non; v++) {
        if (m.nt[v] != 0) {
            EXPECT_EQ(m.nArea[v], 0.0);
            continue;
        }
        interior++;
        EXPECT_EQ(m.nvfCount[v], 6);
        EXPECT_NEAR(m.nArea[v], std::sqrt(3.0) / 2.0 * h * h, 1e-9);
        // Faces around the node counter-clockwise: the other nodes turn one way.
        for (int j = 0; j < 6; j++) {
            const int p = m.nnn[m.nvfStart[v] + j], q = m.nnn[m.nvfStart[v] + (j + 1) % 6];
            const double c = (m.nX[p] - m.nX[v]) * (m.nY[q] - m.nY[v]) -
                             (m.nY[p] - m.nY[v]) * (m.nX[q] - m.nX[v]);
            EXPECT_GT(c, 0.0);
            EXPECT_GE(m.ne[m.nvfStart[v] + j], 0);
        }
    }
    EXPECT_GT(interior, 10);
    EXPECT_EQ(m.popNode(), -1);
}

TEST(hsMesh2DGeometry, BoundaryNodeElements)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::squareGrid(2, 1));
    // Node 1, bottom middle: faces counter-clockwise from just past east,
    // so the face towards node 2 (due east) comes last.
    const int s = m.nvfStart[1];
    ASSERT_EQ(m.nvfCount[1], 3);
    EXPECT_EQ(m.nnn[s], 4);
    EXPECT_EQ(m.nnn[s + 1], 0);
    EXPECT_EQ(m.nnn[s + 2], 2);
    // All three other nodes are boundary nodes: each face gives its first
    // element unless that element is listed already.
    EXPECT_EQ(m.ne[s], 0);
    EXPECT_EQ(m.ne[s + 1], -1);
    EXPECT_EQ(m.ne[s + 2], 1);
}

TEST(hsMesh2DGeometry, LonLatMeshMeasuresInMetres)
{
    hsMesh2D m;
    meshtest::build(m, meshtest::lonLatGrid("LonLat"));
    EXPECT_TRUE(m.lonLat);
    EXPECT_EQ(m.zone, 32);
    double ux0, uy0, ux1, uy1;
    ZCoreLib::ZConvert::geo2UTM(9.0, 55.0, 32, ux0, uy0);
    ZCoreLib::ZConvert::geo2UTM(9.01, 55.0, 32, ux1, uy1);
    EXPECT_NEAR(m.nXUTM[1] - m.nXUTM[0], ux1 - ux0, 1e-6);
    EXPECT_GT(m.eArea[0], 600.0 * 1100.0);
    EXPECT_LT(m.eArea[0], 700.0 * 1120.0);
    EXPECT_NE(m.eVoronoiXUTM, m.eVoronoiX);
    EXPECT_GT(m.vfLength[0], 600.0);
    EXPECT_LT(m.vfLength[0], 1120.0);
    EXPECT_DOUBLE_EQ(m.eX[0], 9.005);
}
