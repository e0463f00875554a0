#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "ZPoly.h"

using ZCoreLib::ZPoly;

namespace {

const double pi = std::acos(-1.0);

// Winding number by summing the signed angles the edges subtend.
int windingNumber(const std::vector<double>& x, const std::vector<double>& y, double px,
                  double py)
{
    double sum = 0;
    size_t n = x.size();
    for (size_t i = 0; i < n; i++) {
        size_t k = (i + 1) % n;
        double a = std::atan2(y[i] - py, x[i] - px), b = std::atan2(y[k] - py, x[k] - px);
        double d = b - a;
        while (d > pi)
            d -= 2 * pi;
        while (d < -pi)
            d += 2 * pi;
        sum += d;
    }
    return static_cast<int>(std::lround(sum / (2 * pi)));
}

// A simple star-shaped polygon with vertices at sorted random angles.
void randomStar(std::mt19937& rng, int n, std::vector<double>& x, std::vector<double>& y)
{
    std::uniform_real_distribution<double> ang(0, 2 * pi), rad(0.2, 1.0);
    std::vector<double> a(n);
    for (double& v : a)
        v = ang(rng);
    std::sort(a.begin(), a.end());
    x.clear();
    y.clear();
    for (double v : a) {
        double r = rad(rng);
        x.push_back(r * std::cos(v));
        y.push_back(r * std::sin(v));
    }
}

double signedArea(const double* x, const double* y, int n)
{
    double s = 0;
    for (int i = 0; i < n; i++)
        s += x[i] * y[(i + 1) % n] - x[(i + 1) % n] * y[i];
    return s / 2;
}

} // namespace

TEST(ZPoly, AreaAndCentre)
{
    double x[] = {0, 1, 1, 0}, y[] = {0, 0, 1, 1};
    double rx[] = {0, 0, 1, 1}, ry[] = {0, 1, 1, 0};
    EXPECT_DOUBLE_EQ(ZPoly::polygonArea(x, y, 4), 1.0);
    EXPECT_DOUBLE_EQ(ZPoly::polygonArea(rx, ry, 4), 1.0);
    EXPECT_EQ(ZPoly::polygonArea(x, y, 0), 0.0);
    double tx[] = {0, 4, 0}, ty[] = {0, 0, 3};
    EXPECT_DOUBLE_EQ(ZPoly::polygonArea(tx, ty, 3), 6.0);
    double cx, cy;
    ZPoly::polyCenter(3, tx, ty, cx, cy);
    EXPECT_DOUBLE_EQ(cx, 4.0 / 3);
    EXPECT_DOUBLE_EQ(cy, 1.0);

    std::mt19937 rng(1);
    std::vector<double> px, py;
    for (int t = 0; t < 50; t++) {
        randomStar(rng, 3 + t % 20, px, py);
        int n = static_cast<int>(px.size());
        EXPECT_NEAR(ZPoly::polygonArea(px.data(), py.data(), n),
                    std::fabs(signedArea(px.data(), py.data(), n)), 1e-12);
    }
}

TEST(ZPoly, InPolyOnTheUnitSquareBoundary)
{
    double x[] = {0, 1, 1, 0}, y[] = {0, 0, 1, 1};
    EXPECT_TRUE(ZPoly::inPoly(4, x, y, 0.5, 0.5));
    EXPECT_TRUE(ZPoly::inPoly(4, x, y, 0, 0.5));   // left edge
    EXPECT_FALSE(ZPoly::inPoly(4, x, y, 1, 0.5));  // right edge
    EXPECT_TRUE(ZPoly::inPoly(4, x, y, 0.5, 0));   // bottom edge
    EXPECT_FALSE(ZPoly::inPoly(4, x, y, 0.5, 1));  // top edge
    EXPECT_FALSE(ZPoly::inPoly(4, x, y, 1.5, 0.5));
    EXPECT_FALSE(ZPoly::inPoly(4, x, y, -0.5, 0.5));
    EXPECT_FALSE(ZPoly::inPoly(0, x, y, 0.5, 0.5));
    // A vertex at the point's height counts as below: the apex of a diamond
    // row meets two edges and toggles once.
    double dx[] = {0, 1, 0, -1}, dy[] = {-1, 0, 1, 0};
    EXPECT_TRUE(ZPoly::inPoly(4, dx, dy, -0.5, 0));
    EXPECT_FALSE(ZPoly::inPoly(4, dx, dy, -2, 0));
    EXPECT_FALSE(ZPoly::inPoly(4, dx, dy, 2, 0));
}

TEST(ZPoly, InPolyMatchesWindingNumber)
{
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> u(-1.1, 1.1);
    std::vector<double> x, y;
    int inside = 0;
    for (int t = 0; t < 200; t++) {
        randomStar(rng, 3 + t % 30, x, y);
        if (t % 2)  // either orientation
            std::reverse(x.begin(), x.end()), std::reverse(y.begin(), y.end());
        for (int q = 0; q < 50; q++) {
            double px = u(rng), py = u(rng);
            bool in = ZPoly::inPoly(static_cast<int>(x.size()), x.data(), y.data(), px, py);
            ASSERT_EQ(in, windingNumber(x, y, px, py) != 0) << "polygon " << t << " point " << q;
            inside += in;
        }
    }
    EXPECT_GT(inside, 1000);
}

TEST(ZPoly, InteriorPointOfAU)
{
    // Mean y is 1.75, where only the two arms are inside; the first inside run
    // along that line is the left arm, probes 0, 0.1, ..., 0.9.
    double x[] = {0, 3, 3, 2, 2, 1, 1, 0}, y[] = {0, 0, 3, 3, 1, 1, 3, 3};
    double px = -1, py = -1;
    EXPECT_EQ(ZPoly::polyInteriorPoint(x, y, 8, px, py, 30), 0);
    EXPECT_NEAR(px, 0.45, 1e-12);
    EXPECT_DOUBLE_EQ(py, 1.75);
    EXPECT_TRUE(ZPoly::inPoly(8, x, y, px, py));
    // The only probe lies one step left of the polygon.
    EXPECT_EQ(ZPoly::polyInteriorPoint(x, y, 8, px, py, 1), -1);
    EXPECT_EQ(ZPoly::polyInteriorPoint(x, y, 8, px, py, 0), -1);
}

TEST(ZPoly, PointsAlongSection)
{
    std::unique_ptr<double[]> x(new double[3]{0, 1, 1}), y(new double[3]{0, 0, 3});
    std::unique_ptr<double[]> ox(new double[3]), oy(new double[3]);
    double* px = ox.get();
    double* py = oy.get();
    ZPoly::ptsAlongSection(x.get(), y.get(), 3, 3, px, py);
    EXPECT_DOUBLE_EQ(px[0], 0);
    EXPECT_DOUBLE_EQ(py[0], 0);
    EXPECT_DOUBLE_EQ(px[1], 1);
    EXPECT_DOUBLE_EQ(py[1], 1);
    EXPECT_DOUBLE_EQ(px[2], 1);
    EXPECT_DOUBLE_EQ(py[2], 3);

    // Uneven vertices on a straight line: the points come out evenly spaced.
    double sx[] = {0, 0.3, 0.35, 2, 10}, sy[] = {0, 0, 0, 0, 0};
    std::vector<double> ex(11), ey(11);
    px = ex.data();
    py = ey.data();
    ZPoly::ptsAlongSection(sx, sy, 5, 11, px, py);
    for (int k = 0; k < 11; k++) {
        EXPECT_NEAR(ex[k], k, 1e-12);
        EXPECT_EQ(ey[k], 0);
    }
    ex.assign(11, -1);
    ZPoly::ptsAlongSection(sx, sy, 5, 1, px, py);
    EXPECT_EQ(ex[0], 0);
    EXPECT_EQ(ex[1], -1);
}

TEST(ZPoly, PointsAlongZeroLengthSection)
{
    // Exactly sized arrays, so that any read before them shows under ASan.
    std::unique_ptr<double[]> x(new double[2]{4, 4}), y(new double[2]{5, 5});
    std::unique_ptr<double[]> ox(new double[4]), oy(new double[4]);
    double* px = ox.get();
    double* py = oy.get();
    ZPoly::ptsAlongSection(x.get(), y.get(), 2, 4, px, py);
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(px[k], 4);
        EXPECT_EQ(py[k], 5);
    }
    ZPoly::ptsAlongSection(x.get(), y.get(), 1, 4, px, py);
    EXPECT_EQ(px[3], 4);
}

TEST(ZPoly, SquareSection)
{
    double x[] = {0, 10}, y[] = {0, 0};
    double *px = nullptr, *py = nullptr;
    int *quads = nullptr, nPts = 0, nQuads = 0;
    ZPoly::squareSection(x, y, 2, px, py, nPts, nQuads, quads, 2, 1.0);
    std::unique_ptr<double[]> gx(px), gy(py);
    std::unique_ptr<int[]> gq(quads);
    ASSERT_EQ(nPts, 6);
    ASSERT_EQ(nQuads, 2);
    EXPECT_EQ(std::vector<double>(px, px + 6), (std::vector<double>{0, 0, 0, 10, 10, 10}));
    EXPECT_EQ(std::vector<double>(py, py + 6), (std::vector<double>{-1, 0, 1, -1, 0, 1}));
    EXPECT_EQ(std::vector<int>(quads, quads + 8), (std::vector<int>{0, 3, 4, 1, 1, 4, 5, 2}));
}

TEST(ZPoly, SquareSectionOnABentLine)
{
    // Width -1: half the mean segment length, (4 + 2) / 2 / 2 = 1.5.
    double x[] = {0, 4, 4}, y[] = {0, 0, 2};
    double *px, *py;
    int *quads, nPts, nQuads;
    ZPoly::squareSection(x, y, 3, px, py, nPts, nQuads, quads, 1, -1);
    std::unique_ptr<double[]> gx(px), gy(py);
    std::unique_ptr<int[]> gq(quads);
    ASSERT_EQ(nPts, 6);
    ASSERT_EQ(nQuads, 2);
    // At the bend the normal is that of the chord from vertex 0 to vertex 2.
    double len = std::sqrt(20.0), nx = -2 / len, ny = 4 / len;
    EXPECT_NEAR(px[2], 4 - 0.75 * nx, 1e-12);  // right of the line
    EXPECT_NEAR(py[2], -0.75 * ny, 1e-12);
    EXPECT_NEAR(px[3], 4 + 0.75 * nx, 1e-12);
    EXPECT_NEAR(px[4], 4.75, 1e-12);
    EXPECT_NEAR(py[5], 2, 1e-12);
    for (int q = 0; q < nQuads; q++) {
        double qx[4], qy[4];
        for (int c = 0; c < 4; c++) {
            qx[c] = px[quads[4 * q + c]];
            qy[c] = py[quads[4 * q + c]];
        }
        EXPECT_GT(signedArea(qx, qy, 4), 0) << "quad " << q << " not counter-clockwise";
    }

    ZPoly::squareSection(x, y, 1, px, py, nPts, nQuads, quads, 1, -1);
    EXPECT_EQ(nPts, 0);
    EXPECT_EQ(nQuads, 0);
    EXPECT_EQ(quads, nullptr);
}

TEST(ZPoly, SortOrderAroundAPoint)
{
    // North, east, south, west of (0, 0). From 90 degrees clockwise the
    // factor 57.29578 puts north just below 90, so its key wraps to
    // 359.9999998 and it comes last.
    double x[] = {0, 1, 0, -1}, y[] = {1, 0, -1, 0};
    std::unique_ptr<int[]> o(ZPoly::sortVerticesAroundGivenPointGetSortOrder(x, y, 4, 0, 0, 90, true));
    EXPECT_EQ(std::vector<int>(o.get(), o.get() + 4), (std::vector<int>{1, 2, 3, 0}));
    // From 95 degrees: north, east, south, west.
    o.reset(ZPoly::sortVerticesAroundGivenPointGetSortOrder(x, y, 4, 0, 0, 95, true));
    EXPECT_EQ(std::vector<int>(o.get(), o.get() + 4), (std::vector<int>{0, 1, 2, 3}));
    // Counter-clockwise from 0: east, exactly at the start, comes last.
    o.reset(ZPoly::sortVerticesAroundGivenPointGetSortOrder(x, y, 4, 0, 0, 0, false));
    EXPECT_EQ(std::vector<int>(o.get(), o.get() + 4), (std::vector<int>{0, 3, 2, 1}));

    // Around the vertex mean (10, 20), then applied in place.
    double sx[] = {10, 11, 10, 9}, sy[] = {19, 20, 21, 20};
    o.reset(ZPoly::sortVerticesGetSortOrder(sx, sy, 4, 45, true));
    EXPECT_EQ(std::vector<int>(o.get(), o.get() + 4), (std::vector<int>{1, 0, 3, 2}));
    double* px = sx;
    double* py = sy;
    ZPoly::sortVertices(px, py, 4, 45, true);
    EXPECT_EQ(std::vector<double>(sx, sx + 4), (std::vector<double>{11, 10, 9, 10}));
    EXPECT_EQ(std::vector<double>(sy, sy + 4), (std::vector<double>{20, 19, 20, 21}));

    o.reset(ZPoly::sortVerticesGetSortOrder(sx, sy, 0, 0, true));
    EXPECT_NE(o.get(), nullptr);
}
