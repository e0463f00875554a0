// Point, outline and section queries, grid centres, centroid distances and
// shortest paths, checked against brute-force computations written here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "ZException.h"
#include "ZPoly.h"
#include "hsMesh2D.h"
#include "test_hsMesh2DHelpers.h"
#include "testUtil.h"

using hestor::hsMesh2D;
using ZCoreLib::ZException;
using ZCoreLib::ZPoly;

namespace {

using Grid = meshtest::MeshData;
using meshtest::brutePointElem;

// nx x ny cells of side h. Interior nodes are shifted at random by up to
// `jitter` h; every third cell is split into two triangles; cells for which
// `hole` returns true are left out (an island).
template <class Hole>
Grid makeGrid(int nx, int ny, double h, double jitter, unsigned seed, Hole hole) {
    Grid g;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-jitter * h, jitter * h);
    for (int j = 0; j <= ny; j++)
        for (int i = 0; i <= nx; i++) {
            const bool inner = i > 0 && j > 0 && i < nx && j < ny;
            g.x.push_back(i * h + (inner ? u(rng) : 0.0));
            g.y.push_back(j * h + (inner ? u(rng) : 0.0));
        }
    for (int j = 0; j < ny; j++)
        for (int i = 0; i < nx; i++) {
            if (hole(i, j)) continue;
            const int a = j * (nx + 1) + i, b = a + 1, c = a + nx + 2, d = a + nx + 1;
            if ((i + j) % 3 == 0) {
                g.elems.push_back({a, b, c});
                g.elems.push_back({a, c, d});
            } else {
                g.elems.push_back({a, b, c, d});
            }
        }
    return g;
}

Grid makeGrid(int nx, int ny, double h, double jitter, unsigned seed) {
    return makeGrid(nx, ny, h, jitter, seed, [](int, int) { return false; });
}

int bruteNearestCentroid(hsMesh2D& m, double x, double y) {
    int best = -1;
    double bd = 0;
    for (int e = 0; e < m.noe; e++) {
        const double d = (m.eX[e] - x) * (m.eX[e] - x) + (m.eY[e] - y) * (m.eY[e] - y);
        if (best < 0 || d < bd) {
            best = e;
            bd = d;
        }
    }
    return best;
}

struct Pieces {
    std::vector<int> e;
    std::vector<double> d;
};

Pieces line(hsMesh2D& m, double x1, double y1, double x2, double y2) {
    int* e = nullptr;
    double* d = nullptr;
    const int n = m.lineIntersections(x1, y1, x2, y2, e, d);
    Pieces p{std::vector<int>(e, e + n), std::vector<double>(d, d + n)};
    delete[] e;
    delete[] d;
    return p;
}

Pieces section(hsMesh2D& m, std::vector<double> x, std::vector<double> y) {
    int* e = nullptr;
    double* d = nullptr;
    const int n = m.sectionIntersections(x.data(), y.data(), static_cast<int>(x.size()), e, d);
    Pieces p{std::vector<int>(e, e + n), std::vector<double>(d, d + n)};
    delete[] e;
    delete[] d;
    return p;
}

// Sections as they were computed by testing every face of the mesh for every
// segment: the walk over the faces near each segment must give the same bits.
Pieces sectionByAllFaces(hsMesh2D& m, const std::vector<double>& x, const std::vector<double>& y) {
    Pieces out;
    for (std::size_t s = 0; s + 1 < x.size(); s++) {
        const double x1 = x[s], y1 = y[s], rx = x[s + 1] - x1, ry = y[s + 1] - y1;
        const double len = std::sqrt(rx * rx + ry * ry);
        const double tol = 1e-12 * std::max({std::fabs(x1), std::fabs(y1), std::fabs(x[s + 1]), std::fabs(y[s + 1]), len});
        if (!(len > tol)) continue;
        std::vector<double> cuts{0.0, len};
        auto addAt = [&](double px, double py) {
            const double t = (px * rx + py * ry) / len;
            if (t >= -tol && t <= len + tol) cuts.push_back(std::min(std::max(t, 0.0), len));
        };
        for (int f = 0; f < m.novf; f++) {
            const int a = m.vfn[2 * f], b = m.vfn[2 * f + 1];
            if (std::max(m.nX[a], m.nX[b]) < std::min(x1, x[s + 1]) - tol || std::min(m.nX[a], m.nX[b]) > std::max(x1, x[s + 1]) + tol ||
                std::max(m.nY[a], m.nY[b]) < std::min(y1, y[s + 1]) - tol || std::min(m.nY[a], m.nY[b]) > std::max(y1, y[s + 1]) + tol)
                continue;
            const double ax = m.nX[a] - x1, ay = m.nY[a] - y1, bx = m.nX[b] - x1, by = m.nY[b] - y1;
            const double da = (rx * ay - ry * ax) / len, db = (rx * by - ry * bx) / len;
            const bool onA = std::fabs(da) <= tol, onB = std::fabs(db) <= tol;
            if (onA) addAt(ax, ay);
            if (onB) addAt(bx, by);
            if (!onA && !onB && (da > 0) != (db > 0)) addAt(ax + da / (da - db) * (bx - ax), ay + da / (da - db) * (by - ay));
        }
        std::sort(cuts.begin(), cuts.end());
        std::vector<double> c{0.0};
        for (double v : cuts)
            if (v - c.back() > tol) c.push_back(v);
        if (c.size() > 1 && len - c.back() <= tol)
            c.back() = len;
        else if (c.back() != len)
            c.push_back(len);
        const double T = out.d.empty() ? 0.0 : out.d.back();
        for (std::size_t k = 0; k + 1 < c.size(); k++) {
            const double t = 0.5 * (c[k] + c[k + 1]) / len;
            const int e = m.pointElem(x1 + t * rx, y1 + t * ry);
            if (!out.e.empty() && out.e.back() == e) {
                out.d.back() = T + c[k + 1];
            } else {
                out.e.push_back(e);
                out.d.push_back(T + c[k + 1]);
            }
        }
    }
    return out;
}

// Pieces must tile the segment: ascending ends up to its length, each piece's
// midpoint in its element, neighbours in different elements, and points
// sampled along the segment away from the cuts in the element of their piece.
void expectTiles(hsMesh2D& m, double x1, double y1, double x2, double y2, const Pieces& p) {
    const double len = std::hypot(x2 - x1, y2 - y1);
    ASSERT_FALSE(p.e.empty());
    EXPECT_DOUBLE_EQ(p.d.back(), len);
    double from = 0;
    for (std::size_t k = 0; k < p.e.size(); k++) {
        EXPECT_GT(p.d[k], from) << "piece " << k;
        if (k > 0) {
            EXPECT_NE(p.e[k], p.e[k - 1]) << "piece " << k;
        }
        const double t = 0.5 * (from + p.d[k]) / len;
        EXPECT_EQ(m.pointElem(x1 + t * (x2 - x1), y1 + t * (y2 - y1)), p.e[k]) << "piece " << k;
        for (int s = 1; s < 8; s++) {
            const double dd = from + (p.d[k] - from) * s / 8.0;
            if (dd - from < 1e-7 || p.d[k] - dd < 1e-7) continue;
            const double ts = dd / len;
            EXPECT_EQ(brutePointElem(m, x1 + ts * (x2 - x1), y1 + ts * (y2 - y1)), p.e[k])
                << "sample " << s << " of piece " << k;
        }
        from = p.d[k];
    }
}

} // namespace

TEST(hsMesh2DQuery, PointElemMatchesLinearScan) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(12, 9, 10.0, 0.25, 1));
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> ux(-15, 135), uy(-15, 105);
    for (int k = 0; k < 3000; k++) {
        const double x = ux(rng), y = uy(rng);
        ASSERT_EQ(m.pointElem(x, y), brutePointElem(m, x, y)) << x << " " << y;
    }
    // Nodes and points on shared edges, where the lowest accepting index must win.
    for (int i = 0; i < m.non; i++) ASSERT_EQ(m.pointElem(m.nX[i], m.nY[i]), brutePointElem(m, m.nX[i], m.nY[i]));
    for (int f = 0; f < m.novf; f++) {
        const int a = m.vfn[2 * f], b = m.vfn[2 * f + 1];
        for (double t : {0.5, 0.25}) {
            const double x = m.nX[a] + t * (m.nX[b] - m.nX[a]), y = m.nY[a] + t * (m.nY[b] - m.nY[a]);
            ASSERT_EQ(m.pointElem(x, y), brutePointElem(m, x, y));
        }
    }
    EXPECT_EQ(m.pointElem(NAN, 5.0), -1);
}

TEST(hsMesh2DQuery, PointElemOnRegularGridEdges) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(6, 6, 1.0, 0.0, 1));
    for (int i = 0; i <= 12; i++)
        for (int j = 0; j <= 12; j++) ASSERT_EQ(m.pointElem(i * 0.5, j * 0.5), brutePointElem(m, i * 0.5, j * 0.5));
}

TEST(hsMesh2DQuery, NearestElement) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(10, 8, 1.0, 0.3, 3));
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> ux(-3, 13), uy(-3, 11);
    for (int k = 0; k < 2000; k++) {
        const double x = ux(rng), y = uy(rng);
        ASSERT_EQ(m.pointElemNearest(x, y, 1), bruteNearestCentroid(m, x, y));
        const int inside = brutePointElem(m, x, y);
        ASSERT_EQ(m.pointElemNearest(x, y, 0), inside >= 0 ? inside : bruteNearestCentroid(m, x, y));
    }
    // Independent queries: far-apart points in turn.
    EXPECT_EQ(m.pointElemNearest(-100, -100, 1), bruteNearestCentroid(m, -100, -100));
    EXPECT_EQ(m.pointElemNearest(100, 100, 1), bruteNearestCentroid(m, 100, 100));

    hsMesh2D empty;
    empty.non = 0;
    empty.noe = 0;
    empty.initMesh();
    EXPECT_EQ(empty.pointElemNearest(0, 0, 0), -1);
    EXPECT_EQ(empty.pointElemNearest(0, 0, 1), -1);
    EXPECT_EQ(empty.pointElem(0, 0), -1);
}

TEST(hsMesh2DQuery, PointInIsland) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(8, 8, 1.0, 0.0, 1, [](int i, int j) { return i >= 3 && i <= 4 && j >= 3 && j <= 4; }));
    EXPECT_TRUE(m.isPointInMesh(4.0, 4.0));
    EXPECT_EQ(m.pointElem(4.0, 4.0), -1);
    EXPECT_EQ(m.pointElemNearest(4.0, 4.0, 0), bruteNearestCentroid(m, 4.0, 4.0));
    EXPECT_TRUE(m.isPointInMesh(0.5, 0.5));
    EXPECT_FALSE(m.isPointInMesh(-0.5, 0.5));
    EXPECT_FALSE(m.isPointInMesh(8.5, 0.5));
}

TEST(hsMesh2DQuery, PointInMeshMatchesOutlinePolygon) {
    hsMesh2D m;
    // A ragged outline: cells missing along the edges.
    meshtest::build(m, makeGrid(15, 11, 1.0, 0.2, 5, [](int i, int j) { return (i == 0 && j % 3 == 1 && j < 10) || (j == 10 && i > 4); }));
    ASSERT_TRUE(m.circumfPopped == false || m.noCircumfNodes > 0);
    m.isPointInMesh(0, 0);
    ASSERT_TRUE(m.circumfPopped);
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> ux(-1, 16), uy(-1, 12);
    for (int k = 0; k < 3000; k++) {
        const double x = ux(rng), y = uy(rng);
        const bool inBox = x >= m.xMin && x <= m.xMax && y >= m.yMin && y <= m.yMax;
        ASSERT_EQ(m.isPointInMesh(x, y), inBox && ZPoly::inPoly(m.noCircumfNodes, m.circumfX, m.circumfY, x, y));
    }
    for (int i = 0; i < m.noCircumfNodes; i++) {
        const double x = m.circumfX[i], y = m.circumfY[i];
        ASSERT_EQ(m.isPointInMesh(x, y), ZPoly::inPoly(m.noCircumfNodes, m.circumfX, m.circumfY, x, y));
    }
}

TEST(hsMesh2DQuery, ManyQueriesOnLargeMeshAreFast) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(870, 860, 1.0, 0.0, 1));  // a third of the cells split: about 1e6 elements
    ASSERT_GT(m.noe, 990000);
    m.pointElem(0.5, 0.5);  // builds the index
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> ux(-10, 880), uy(-10, 870);
    std::vector<double> px(10000), py(10000);
    for (int k = 0; k < 10000; k++) {
        px[k] = ux(rng);
        py[k] = uy(rng);
    }
    m.pointElemNearest(-5, -5, 0);  // builds the outline and the k-d tree
    long long sum = 0;
    testutil::expectFasterThan(1.0, [&] {
        for (int k = 0; k < 10000; k++) sum += m.pointElem(px[k], py[k]) + m.pointElemNearest(px[k], py[k], 0);
    });
    EXPECT_NE(sum, 0);
    for (int k = 0; k < 20; k++) EXPECT_EQ(m.pointElem(px[k], py[k]), brutePointElem(m, px[k], py[k]));
}

TEST(hsMesh2DQuery, SegmentsTileTheirLength) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(10, 10, 100.0, 0.25, 9, [](int i, int j) { return i == 5 && j == 5; }));
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> u(-200, 1200);
    for (int k = 0; k < 200; k++) {
        const double x1 = u(rng), y1 = u(rng), x2 = u(rng), y2 = u(rng);
        SCOPED_TRACE(k);
        const Pieces p = line(m, x1, y1, x2, y2);
        expectTiles(m, x1, y1, x2, y2, p);
        EXPECT_EQ(p.e[0], m.pointElem(x1, y1));
    }
}

TEST(hsMesh2DQuery, SegmentStartingInsideAndLeaving) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(5, 5, 1.0, 0.2, 2));
    const Pieces p = line(m, 2.5, 2.5, 8.0, 2.7);
    expectTiles(m, 2.5, 2.5, 8.0, 2.7, p);
    EXPECT_EQ(p.e.front(), m.pointElem(2.5, 2.5));
    EXPECT_GE(p.e.front(), 0);
    EXPECT_EQ(p.e.back(), -1);
}

TEST(hsMesh2DQuery, SegmentThroughNodesOfQuadGrid) {
    // Large projected coordinates make rounding at the nodes realistic.
    Grid g = makeGrid(8, 8, 25.0, 0.0, 1, [](int, int) { return false; });
    g.elems.clear();
    for (int j = 0; j < 8; j++)
        for (int i = 0; i < 8; i++) {
            const int a = j * 9 + i;
            g.elems.push_back({a, a + 1, a + 10, a + 9});
        }
    for (double& v : g.x) v += 512345.0;
    for (double& v : g.y) v += 6012345.0;
    hsMesh2D m;
    meshtest::build(m, g);
    const double x0 = 512345.0, y0 = 6012345.0;
    // The diagonal passes through every grid node on it: one piece per cell.
    Pieces p = line(m, x0 - 25, y0 - 25, x0 + 225, y0 + 225);
    expectTiles(m, x0 - 25, y0 - 25, x0 + 225, y0 + 225, p);
    ASSERT_EQ(p.e.size(), 10u);
    EXPECT_EQ(p.e.front(), -1);
    EXPECT_EQ(p.e.back(), -1);
    for (int k = 1; k <= 8; k++) {
        EXPECT_EQ(p.e[k], (k - 1) * 8 + (k - 1));
        EXPECT_NEAR(p.d[k], std::sqrt(2.0) * 25 * (k + 1), 1e-6);
    }
    // Along a grid line, and a segment starting at a node.
    p = line(m, x0 + 10, y0 + 50, x0 + 190, y0 + 50);
    expectTiles(m, x0 + 10, y0 + 50, x0 + 190, y0 + 50, p);
    p = line(m, x0 + 50, y0 + 50, x0 + 120, y0 + 95);
    expectTiles(m, x0 + 50, y0 + 50, x0 + 120, y0 + 95, p);
}

TEST(hsMesh2DQuery, SegmentSpecialCases) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(4, 4, 1.0, 0.0, 1));
    Pieces p = line(m, 1.2, 1.3, 1.7, 1.6);  // inside one cell
    ASSERT_EQ(p.e.size(), 1u);
    EXPECT_EQ(p.e[0], m.pointElem(1.2, 1.3));
    EXPECT_DOUBLE_EQ(p.d[0], std::hypot(0.5, 0.3));

    p = line(m, -5, -5, -1, 9);  // wholly outside
    ASSERT_EQ(p.e.size(), 1u);
    EXPECT_EQ(p.e[0], -1);
    EXPECT_DOUBLE_EQ(p.d[0], std::hypot(4.0, 14.0));

    p = line(m, 2.5, 2.5, 2.5, 2.5);  // a point
    ASSERT_EQ(p.e.size(), 1u);
    EXPECT_EQ(p.e[0], m.pointElem(2.5, 2.5));
    EXPECT_EQ(p.d[0], 0.0);

    p = line(m, -1, 0.5, 5, 0.5);  // across the whole mesh
    expectTiles(m, -1, 0.5, 5, 0.5, p);
    EXPECT_EQ(p.e.front(), -1);
    EXPECT_EQ(p.e.back(), -1);
}

TEST(hsMesh2DQuery, Polylines) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(6, 6, 1.0, 0.2, 8));
    const std::vector<double> x{-0.5, 2.4, 2.6, 7.0}, y{0.7, 2.3, 4.1, 5.2};
    const Pieces p = section(m, x, y);
    double len = 0;
    int separate = 0;
    for (int s = 0; s < 3; s++) {
        len += std::hypot(x[s + 1] - x[s], y[s + 1] - y[s]);
        separate += static_cast<int>(line(m, x[s], y[s], x[s + 1], y[s + 1]).e.size());
    }
    EXPECT_NEAR(p.d.back(), len, 1e-12);
    // Both inner vertices lie inside elements: each joins two pieces into one.
    EXPECT_EQ(static_cast<int>(p.e.size()), separate - 2);
    for (std::size_t k = 1; k < p.e.size(); k++) {
        EXPECT_GT(p.d[k], p.d[k - 1]);
        EXPECT_NE(p.e[k], p.e[k - 1]);
    }
    EXPECT_EQ(p.e.front(), -1);
    EXPECT_EQ(p.e.back(), -1);

    // A polyline entirely outside is one outside piece.
    const Pieces out = section(m, {-3, -2, -3}, {0, 1, 2});
    ASSERT_EQ(out.e.size(), 1u);
    EXPECT_EQ(out.e[0], -1);
    EXPECT_NEAR(out.d[0], 2 * std::sqrt(2.0), 1e-12);

    EXPECT_EQ(section(m, {1.0}, {1.0}).e.size(), 0u);
}

TEST(hsMesh2DQuery, PolylinesMatchTheScanOfAllFaces) {
    // Random polylines at large projected coordinates, half their vertices on
    // nodes so that segments run through nodes and along faces.
    Grid g = makeGrid(12, 10, 25.0, 0.2, 5, [](int i, int j) { return i == 4 && j == 6; });
    for (double& v : g.x) v += 550000.0;
    for (double& v : g.y) v += 6025000.0;
    hsMesh2D m;
    meshtest::build(m, g);
    std::mt19937 rng(12);
    std::uniform_real_distribution<double> ux(549950.0, 550350.0), uy(6024950.0, 6025300.0);
    std::uniform_int_distribution<int> node(0, m.non - 1), count(2, 9);
    for (int k = 0; k < 300; k++) {
        std::vector<double> x, y;
        for (int v = count(rng); v > 0; v--) {
            const int i = node(rng);
            const bool atNode = rng() % 2 == 0;
            x.push_back(atNode ? m.nX[i] : ux(rng));
            y.push_back(atNode ? m.nY[i] : uy(rng));
        }
        const Pieces want = sectionByAllFaces(m, x, y), got = section(m, x, y);
        ASSERT_EQ(got.e, want.e) << "polyline " << k;
        ASSERT_EQ(got.d, want.d) << "polyline " << k;
    }
}

TEST(hsMesh2DQuery, PolylineTurningOnAFace) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(4, 4, 1.0, 0.0, 1));
    // The vertex lies on the face x = 2 between quad 7 and the triangles 8
    // (below the cell's diagonal) and 9: one stretch ends where the next begins.
    const Pieces p = section(m, {1.5, 2.0, 2.5}, {1.2, 1.5, 1.2});
    const double leg = std::hypot(0.5, 0.3);
    EXPECT_EQ(p.e, (std::vector<int>{7, 9, 8}));
    ASSERT_EQ(p.d.size(), 3u);
    EXPECT_NEAR(p.d[0], leg, 1e-12);
    EXPECT_NEAR(p.d[1], 1.625 * leg, 1e-12);  // the diagonal at 5/8 of the second leg
    EXPECT_NEAR(p.d[2], 2 * leg, 1e-12);
    // Vertices repeated or closer than rounding add no stretch of length 0.
    EXPECT_EQ(section(m, {1.5, 2.0, 2.0, 2.5}, {1.2, 1.5, 1.5, 1.2}).d, p.d);
    EXPECT_EQ(section(m, {2.0, 2.0}, {1.5, 1.5 + 1e-14}).e.size(), 0u);
}

TEST(hsMesh2DQuery, GridPoints) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(6, 4, 1.0, 0.2, 6, [](int i, int j) { return i == 2 && j == 2; }));
    double *x = nullptr, *y = nullptr;
    int n = m.gridPointsInMesh(0.5, 0.5, x, y, -1e38, 1e38, -1e38, 1e38);
    std::vector<double> ex, ey;
    for (int j = 0; 0.25 + j * 0.5 < 4; j++)
        for (int i = 0; 0.25 + i * 0.5 < 6; i++) {
            const double px = 0.25 + i * 0.5, py = 0.25 + j * 0.5;
            if (brutePointElem(m, px, py) >= 0 && ZPoly::inPoly(m.noCircumfNodes, m.circumfX, m.circumfY, px, py)) {
                ex.push_back(px);
                ey.push_back(py);
            }
        }
    ASSERT_EQ(n, static_cast<int>(ex.size()));
    EXPECT_EQ(std::vector<double>(x, x + n), ex);
    EXPECT_EQ(std::vector<double>(y, y + n), ey);
    delete[] x;
    delete[] y;

    // A fresh mesh reads its bounding box only after building the outline.
    hsMesh2D fresh;
    meshtest::build(fresh, makeGrid(3, 2, 1.0, 0.0, 1));
    n = fresh.gridPointsInMesh(1.0, 1.0, x, y, -1e38, 1e38, 0, 2);
    EXPECT_EQ(n, 6);
    EXPECT_EQ(x[0], 0.5);
    EXPECT_EQ(y[5], 1.5);
    delete[] x;
    delete[] y;

    for (double d : {0.0, -1.0}) {
        n = fresh.gridPointsInMesh(d, 1.0, x, y, 0, 3, 0, 2);
        EXPECT_EQ(n, 0);
        delete[] x;
        delete[] y;
    }
}

TEST(hsMesh2DQuery, Dist2Elem) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(3, 3, 10.0, 0.2, 4));
    double* d = m.dist2Elem(2);
    for (int i = 0; i < m.noe; i++) EXPECT_DOUBLE_EQ(d[i], std::hypot(m.eX[i] - m.eX[2], m.eY[i] - m.eY[2]));
    EXPECT_EQ(d[2], 0.0);
    delete[] d;
    EXPECT_THROW(m.dist2Elem(m.noe), ZException);
}

TEST(hsMesh2DQuery, ShortestPath) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(4, 4, 1.0, 0.0, 1));
    int* path = nullptr;
    ASSERT_EQ(m.shortestPathBetweenNodes(7, 7, path), 1);
    EXPECT_EQ(path[0], 7);
    delete[] path;
    // Along the bottom row from node 0 to node 4: five nodes in order.
    const int n = m.shortestPathBetweenNodes(0, 4, path);
    ASSERT_EQ(n, 5);
    for (int k = 0; k < 5; k++) EXPECT_EQ(path[k], k);
    delete[] path;
    EXPECT_THROW(m.shortestPathBetweenNodes(0, m.non, path), ZException);
    EXPECT_THROW(m.shortestPathBetweenNodes(-1, 0, path), ZException);
}

TEST(hsMesh2DQuery, IndexFollowsReinitialisedMesh) {
    hsMesh2D m;
    meshtest::build(m, makeGrid(4, 4, 1.0, 0.0, 1));
    EXPECT_GE(m.pointElem(0.5, 0.5), 0);
    EXPECT_TRUE(m.isPointInMesh(0.5, 0.5));
    for (int i = 0; i < m.non; i++) m.nX[i] += 100.0;  // move the mesh and derive again
    m.initMesh();
    EXPECT_EQ(m.pointElem(0.5, 0.5), -1);
    EXPECT_EQ(m.pointElem(100.5, 0.5), brutePointElem(m, 100.5, 0.5));
    EXPECT_FALSE(m.isPointInMesh(0.5, 0.5));
    EXPECT_TRUE(m.isPointInMesh(100.5, 0.5));

    hsMesh2D copy(m);
    EXPECT_EQ(copy.pointElem(100.5, 0.5), m.pointElem(100.5, 0.5));
}
