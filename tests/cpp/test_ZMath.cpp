#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "ZMath.h"

using ZCoreLib::ZException;
using ZCoreLib::ZMath;

namespace {

const double PI = 3.141592653589793;

double dist(double x1, double y1, double x2, double y2) { return std::hypot(x2 - x1, y2 - y1); }

} // namespace

TEST(ZMathGeometry, WhichSideOfLine)
{
    EXPECT_EQ(ZMath::whichSideOfLine(0, 0, 1, 0, 0, 1), 1);
    EXPECT_EQ(ZMath::whichSideOfLine(0, 0, 1, 0, 0, -1), -1);
    EXPECT_EQ(ZMath::whichSideOfLine(0, 0, 1, 0, 2, 0), 0);
}

TEST(ZMathGeometry, CircumcentreIsEquidistant)
{
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> u(-1000.0, 1000.0);
    for (int i = 0; i < 200; ++i) {
        double x1 = u(gen), y1 = u(gen), x2 = u(gen), y2 = u(gen), x3 = u(gen), y3 = u(gen);
        double cx, cy;
        ZMath::triangleCircumcircleCenter(x1, y1, x2, y2, x3, y3, cx, cy);
        double r = dist(cx, cy, x1, y1);
        EXPECT_NEAR(dist(cx, cy, x2, y2), r, 1e-7 * r + 1e-9);
        EXPECT_NEAR(dist(cx, cy, x3, y3), r, 1e-7 * r + 1e-9);
    }
    float fx, fy;
    ZMath::triangleCircumcircleCenter(0.0f, 0.0f, 4.0f, 0.0f, 0.0f, 2.0f, fx, fy);
    EXPECT_FLOAT_EQ(fx, 2.0f);
    EXPECT_FLOAT_EQ(fy, 1.0f);
}

TEST(ZMathGeometry, LineIntersectionCases)
{
    double px = -9, py = -9;
    EXPECT_EQ(ZMath::lineIntersection(0, 0, 2, 2, 0, 2, 2, 0, px, py, 1e-10), 0);
    EXPECT_DOUBLE_EQ(px, 1.0);
    EXPECT_DOUBLE_EQ(py, 1.0);

    px = py = -9;
    EXPECT_EQ(ZMath::lineIntersection(0, 0, 1, 0, 0, 1, 1, 1, px, py, 1e-10), -2);
    EXPECT_EQ(px, -9);  // nothing written for parallel lines
    EXPECT_EQ(py, -9);

    EXPECT_EQ(ZMath::lineIntersection(0, 0, 1, 1, 3, 0, 0, 3, px, py, 1e-10), -1);
    EXPECT_DOUBLE_EQ(px, 1.5);  // written although outside
    EXPECT_DOUBLE_EQ(py, 1.5);

    // Crossing at an end point counts (closed ranges).
    EXPECT_EQ(ZMath::lineIntersection(0, 0, 1, 0, 1, -1, 1, 1, px, py, 0.0), 0);

    float fx, fy;
    EXPECT_EQ(ZMath::lineIntersection(0.f, 0.f, 2.f, 2.f, 0.f, 2.f, 2.f, 0.f, fx, fy), 0);
    EXPECT_FLOAT_EQ(fx, 1.0f);
    EXPECT_FLOAT_EQ(fy, 1.0f);
    EXPECT_EQ(ZMath::lineIntersection(0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 1.f, 1.f, fx, fy), -2);
    EXPECT_EQ(ZMath::lineIntersection(0.f, 0.f, 1.f, 1.f, 3.f, 0.f, 0.f, 3.f, fx, fy), -1);
}

TEST(ZMathGeometry, LineIntersectionToleranceOnNarrowRange)
{
    // A vertical segment at x = 0.1 crossed by a slanted one: px carries
    // rounding, so it passes only through the tolerance (or by luck).
    double x = 0.1, px, py;
    int withTol = 0, exactRange = 0;
    for (int i = 1; i <= 200; ++i) {
        double y4 = 0.37 * i;
        int r = ZMath::lineIntersection(x, -1000, x, 1000, -0.3, -0.7, 0.7 + 0.001 * i, y4, px, py, 1e-10);
        EXPECT_EQ(r, 0) << i;
        withTol += r == 0;
        exactRange += ZMath::lineIntersection(x, -1000, x, 1000, -0.3, -0.7, 0.7 + 0.001 * i, y4,
                                              px, py, 0.0) == 0;
    }
    EXPECT_EQ(withTol, 200);
    EXPECT_LT(exactRange, 200);  // the case the tolerance exists for does occur
}

TEST(ZMathGeometry, LineIntersectionAgreesWithParametricForm)
{
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-10.0, 10.0);
    int hits = 0;
    for (int i = 0; i < 2000; ++i) {
        double x1 = u(gen), y1 = u(gen), x2 = u(gen), y2 = u(gen);
        double x3 = u(gen), y3 = u(gen), x4 = u(gen), y4 = u(gen);
        // p1 + t (p2 - p1) = p3 + s (p4 - p3)
        double den = (x2 - x1) * (y4 - y3) - (y2 - y1) * (x4 - x3);
        double t = ((x3 - x1) * (y4 - y3) - (y3 - y1) * (x4 - x3)) / den;
        double s = ((x3 - x1) * (y2 - y1) - (y3 - y1) * (x2 - x1)) / den;
        const double m = 1e-9;  // skip near-touching cases
        if (std::fabs(t) < m || std::fabs(t - 1) < m || std::fabs(s) < m || std::fabs(s - 1) < m)
            continue;
        bool crosses = t > 0 && t < 1 && s > 0 && s < 1;
        double px, py;
        int r = ZMath::lineIntersection(x1, y1, x2, y2, x3, y3, x4, y4, px, py, 1e-10);
        EXPECT_EQ(r == 0, crosses) << i;
        EXPECT_NEAR(px, x1 + t * (x2 - x1), 1e-6);
        EXPECT_NEAR(py, y1 + t * (y2 - y1), 1e-6);
        hits += crosses;
    }
    EXPECT_GT(hits, 100);
}

TEST(ZMathGeometry, LineXAxisIntersection)
{
    EXPECT_DOUBLE_EQ(ZMath::lineXAxisIntersection(0, -1, 2, 1), 1.0);
    EXPECT_DOUBLE_EQ(ZMath::lineXAxisIntersection(-4, 2, -2, 1), 0.0);
}

TEST(ZMathGeometry, AngleBetweenLinesParallelIsNotNaN)
{
    EXPECT_NEAR(ZMath::angleBetweenLines(1, 0, 0, 0, 0, 1, 0, 0), PI / 2, 1e-15);
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(-100.0, 100.0);
    for (int i = 0; i < 1000; ++i) {
        double vx = u(gen), vy = u(gen), k = std::fabs(u(gen)) + 0.1;
        double same = ZMath::angleBetweenLines(vx, vy, 0, 0, k * vx, k * vy, 0, 0);
        double opposite = ZMath::angleBetweenLines(vx, vy, 0, 0, -k * vx, -k * vy, 0, 0);
        ASSERT_FALSE(std::isnan(same)) << i;
        ASSERT_FALSE(std::isnan(opposite)) << i;
        EXPECT_NEAR(same, 0.0, 6e-8);  // acos near 1 resolves ~2e-8
        EXPECT_NEAR(opposite, PI, 6e-8);
    }
    EXPECT_TRUE(std::isnan(ZMath::angleBetweenLines(0, 0, 0, 0, 1, 0, 0, 0)));  // zero length
}

TEST(ZMathGeometry, LineSegmentAngle)
{
    EXPECT_NEAR(ZMath::lineSegmentAngle(0, 0, 0, 1, 0, true), 90.0, 1e-4);
    EXPECT_NEAR(ZMath::lineSegmentAngle(0, 0, 0, -1, 0, false), 1.5 * PI, 1e-15);
    EXPECT_NEAR(ZMath::lineSegmentAngle(0, 0, 1, 0, PI / 2, false), 1.5 * PI, 1e-15);
    EXPECT_NEAR(ZMath::lineSegmentAngle(0, 0, -1, 0, -90, true), 270.0, 1e-3);
    std::mt19937 gen(9);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int i = 0; i < 1000; ++i) {
        double r = ZMath::lineSegmentAngle(0, 0, u(gen), u(gen), PI * u(gen), false);  // one wrap each way covers |ref| <= pi
        EXPECT_GE(r, 0.0);
        EXPECT_LT(r, 2 * PI);
        double d = ZMath::lineSegmentAngle(0, 0, u(gen), u(gen), 180 * u(gen), true);
        EXPECT_GE(d, 0.0);
        EXPECT_LT(d, 360.0001);
    }
}

TEST(ZMathGeometry, OrthogonalUnitVectorIsLeftNormal)
{
    double nx, ny;
    ZMath::orthogonalUnitVector(1, 1, 4, 5, nx, ny);
    EXPECT_DOUBLE_EQ(nx, -0.8);
    EXPECT_DOUBLE_EQ(ny, 0.6);
    EXPECT_EQ(ZMath::whichSideOfLine(1, 1, 4, 5, 1 + nx, 1 + ny), 1);
}

TEST(ZMathGeometry, ParabolaVertexOfKnownParabola)
{
    auto y = [](double x) { return -2.0 * (x - 1.5) * (x - 1.5) + 3.25; };
    double vx, vy;
    ZMath::parabolaVertex(-1, y(-1), 0.5, y(0.5), 4, y(4), vx, vy);
    EXPECT_NEAR(vx, 1.5, 1e-12);
    EXPECT_NEAR(vy, 3.25, 1e-12);
}

TEST(ZMathGeometry, PointOnLineSegment)
{
    double px, py;
    ZMath::pointOnLineSegment(0, 0, 3, 4, 0.5, px, py, true);
    EXPECT_DOUBLE_EQ(px, 1.5);
    EXPECT_DOUBLE_EQ(py, 2.0);
    ZMath::pointOnLineSegment(0, 0, 3, 4, 10, px, py, false);  // beyond the end
    EXPECT_DOUBLE_EQ(px, 6.0);
    EXPECT_DOUBLE_EQ(py, 8.0);
    ZMath::pointOnLineSegment(1, 1, 4, 5, -5, px, py, false);
    EXPECT_DOUBLE_EQ(px, -2.0);
    EXPECT_DOUBLE_EQ(py, -3.0);
}

TEST(ZMathGeometry, AngleBetweenLineSegmentsCases)
{
    EXPECT_NEAR(ZMath::angleBetweenLineSegments(1, 0, 0, 0, 0, 1, false), PI / 2, 1e-15);
    EXPECT_DOUBLE_EQ(ZMath::angleBetweenLineSegments(0, 0, 1, 0, 2, 0, true), PI);
    EXPECT_DOUBLE_EQ(ZMath::angleBetweenLineSegments(0, 0, 1, 0, 0, 0, true), 0.0);
    EXPECT_DOUBLE_EQ(ZMath::angleBetweenLineSegments(0, 0, 1, 0, 0.5, 0, true), 0.0);
    try {
        ZMath::angleBetweenLineSegments(2, 3, 2, 3, 2, 3, true);
        FAIL() << "no exception";
    } catch (const ZException& e) {
        EXPECT_EQ(e.message, "angleBetweenLineSegments: what?");
    }
}

TEST(ZMathGeometry, AngleBetweenLineSegmentsFullIsCounterclockwiseTurn)
{
    // Full mode: the counterclockwise angle from the ray towards point 1 to
    // the ray towards point 3, computed here independently with atan2.
    std::mt19937 gen(21);
    std::uniform_real_distribution<double> u(-50.0, 50.0);
    for (int i = 0; i < 2000; ++i) {
        double x1 = u(gen), y1 = u(gen), x2 = u(gen), y2 = u(gen), x3 = u(gen), y3 = u(gen);
        double ccw = std::atan2(y3 - y2, x3 - x2) - std::atan2(y1 - y2, x1 - x2);
        if (ccw < 0) ccw += 2 * PI;
        double full = ZMath::angleBetweenLineSegments(x1, y1, x2, y2, x3, y3, true);
        EXPECT_NEAR(full, ccw, 1e-6) << i;
        double plain = ZMath::angleBetweenLineSegments(x1, y1, x2, y2, x3, y3, false);
        EXPECT_NEAR(plain, ccw <= PI ? ccw : 2 * PI - ccw, 1e-6) << i;
    }
    // 60 degrees turning the other way gives 300, not 240.
    double c = std::cos(PI / 3), s = std::sin(PI / 3);
    EXPECT_NEAR(ZMath::angleBetweenLineSegments(1, 0, 0, 0, c, -s, true), 5 * PI / 3, 1e-12);
    EXPECT_NEAR(ZMath::angleBetweenLineSegments(1, 0, 0, 0, c, s, true), PI / 3, 1e-12);
}

TEST(ZMathStat, ReportOfTwoValuesUsesAbsoluteExtremes)
{
    double mean, std, rms;
    std::string r = ZMath::stat({-3.0, 1.0}, mean, std, rms);
    EXPECT_EQ(r, "count:\t2\nmin:\t1\t(idx=1)\nmax:\t3\t(idx=0)\nmean:\t-1\nvariance:\t2\nRMS:\t2.23607");
    EXPECT_DOUBLE_EQ(mean, -1.0);
    EXPECT_DOUBLE_EQ(std, 2.0);
    EXPECT_DOUBLE_EQ(rms, std::sqrt(5.0));
    EXPECT_EQ(ZMath::stat({-3.0, 1.0}), r);
}

TEST(ZMathStat, FirstOccurrenceWinsAndEmptyVector)
{
    std::string r = ZMath::stat({2.0, -2.0, 5.0, -5.0});
    EXPECT_NE(r.find("min:\t2\t(idx=0)\n"), std::string::npos) << r;
    EXPECT_NE(r.find("max:\t5\t(idx=2)\n"), std::string::npos) << r;

    double mean = 0, std = 0, rms = 0;
    std::string e = ZMath::stat({}, mean, std, rms);
    EXPECT_EQ(e.rfind("count:\t0\nmin:\t1e+37\t(idx=-1)\nmax:\t-1e+37\t(idx=-1)\nmean:\t", 0), 0u) << e;
    EXPECT_TRUE(std::isnan(mean));
    EXPECT_TRUE(std::isnan(std));
    EXPECT_TRUE(std::isnan(rms));
}

TEST(ZMathStat, FiveReferenceFormLeavesFirstAndThirdUnchanged)
{
    double r1 = 17, mean = 0, r3 = -4, std = 0, rms = 0;
    ZMath::stat({1.0, 2.0, 3.0, 4.0}, r1, mean, r3, std, rms);
    EXPECT_EQ(r1, 17);
    EXPECT_EQ(r3, -4);
    EXPECT_DOUBLE_EQ(mean, 2.5);
    EXPECT_DOUBLE_EQ(std, std::sqrt(1.25));
    EXPECT_DOUBLE_EQ(rms, std::sqrt(7.5));
}

namespace {

std::vector<std::vector<int>> takeCombos(std::vector<int*>& out, size_t k)
{
    std::vector<std::vector<int>> r;
    for (int* p : out) {
        r.emplace_back(p, p + k);
        delete[] p;
    }
    out.clear();
    return r;
}

} // namespace

TEST(ZMathCartProd, LexicographicOrderAndEmptyDimensions)
{
    std::vector<int*> out;
    ZMath::cartProd({2, 3}, out);
    std::vector<std::vector<int>> want = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}};
    EXPECT_EQ(takeCombos(out, 2), want);

    ZMath::cartProd({2, 0, 3}, out);
    EXPECT_TRUE(out.empty());
    ZMath::cartProd({}, out);
    EXPECT_TRUE(out.empty());

    int* sentinel = new int[1]{42};
    out.push_back(sentinel);
    ZMath::cartProd({2, 2, 2}, out);
    ASSERT_EQ(out.size(), 9u);  // appended after what was there
    EXPECT_EQ(out[0], sentinel);
    delete[] sentinel;
    out.erase(out.begin());
    auto c = takeCombos(out, 3);
    EXPECT_EQ(c.front(), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(c[5], (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(c.back(), (std::vector<int>{1, 1, 1}));
}

namespace {

struct System {
    explicit System(int n) : rows(n, std::vector<double>(n)), ptrs(n), rhs(n) {}
    double** a()
    {
        for (size_t i = 0; i < rows.size(); ++i) ptrs[i] = rows[i].data();
        return ptrs.data();
    }
    std::vector<std::vector<double>> rows;
    std::vector<double*> ptrs;
    std::vector<double> rhs;
};

} // namespace

TEST(ZMathGaussElim, RandomSystemsHaveSmallResiduals)
{
    std::mt19937 gen(17);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n = 1; n <= 40; n += 3) {
        System s(n);
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) s.rows[i][j] = u(gen);
            s.rows[i][i] += n;  // keeps pivots away from zero without pivoting
            s.rhs[i] = 10 * u(gen);
        }
        System orig = s;
        double* b = s.rhs.data();
        ASSERT_EQ(ZMath::gaussElim(s.a(), b, n), 0);
        for (int i = 0; i < n; ++i) {
            double r = -orig.rhs[i];
            for (int j = 0; j < n; ++j) r += orig.rows[i][j] * b[j];
            EXPECT_NEAR(r, 0.0, 1e-10) << "n=" << n << " row " << i;
        }
    }
}

TEST(ZMathGaussElim, FailureCases)
{
    System swap(2);
    swap.rows = {{0, 1}, {1, 0}};
    swap.rhs = {1, 2};
    double* b = swap.rhs.data();
    EXPECT_EQ(ZMath::gaussElim(swap.a(), b, 2), -1);  // first pivot 0, no pivoting

    System tiny(2);
    tiny.rows = {{1e-7, 1}, {1, 1}};
    b = tiny.rhs.data();
    EXPECT_EQ(ZMath::gaussElim(tiny.a(), b, 2), -1);

    System singular(3);
    singular.rows = {{1, 2, 3}, {2, 5, 1}, {3, 7, 4}};  // row 3 = row 1 + row 2
    singular.rhs = {1, 1, 1};
    b = singular.rhs.data();
    EXPECT_EQ(ZMath::gaussElim(singular.a(), b, 3), -1);

    System one(1);
    one.rows = {{0}};
    one.rhs = {1};
    b = one.rhs.data();
    EXPECT_EQ(ZMath::gaussElim(one.a(), b, 1), -1);
    one.rows = {{std::nan("")}};
    EXPECT_EQ(ZMath::gaussElim(one.a(), b, 1), -1);
    one.rows = {{4}};
    EXPECT_EQ(ZMath::gaussElim(one.a(), b, 1), 0);
    EXPECT_DOUBLE_EQ(b[0], 0.25);
}

TEST(ZMathRandom, PacksFifteenBitsOfFourCalls)
{
    std::srand(12345);
    unsigned long long bits = 0;
    for (int i = 0; i < 4; ++i) bits |= (unsigned long long)(std::rand() & 0x7FFF) << (15 * i);
    bits &= (1ULL << 53) - 1;
    double want = std::ldexp(double(bits), -53) * (5.0 - 2.0) + 2.0;
    std::srand(12345);
    EXPECT_DOUBLE_EQ(ZMath::randomNumber(5.0, 2.0), want);

    int upper = 0;
    const int draws = 4000;
    for (int i = 0; i < draws; ++i) {
        double v = ZMath::randomNumber(-1.0, 3.0);
        ASSERT_GT(v, -1.0);
        ASSERT_LE(v, 3.0);
        upper += v < 1.0;
    }
    EXPECT_NEAR(double(upper) / draws, 0.5, 0.05);
}
