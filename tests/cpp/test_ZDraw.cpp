// Colour ramps and the painting of grids and scattered points onto bitmaps.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ZDraw.h"
#include "testUtil.h"

using ZCoreLib::ZCartGrid;
using ZCoreLib::ZDraw;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const int untouched = 7;

int argb(unsigned v) { return static_cast<int>(v); }

std::vector<int> ramp(std::vector<int> anchors, int steps, int transparency = 0)
{
    std::unique_ptr<int[]> r(
        ZDraw::colorMakeScale(anchors.data(), static_cast<int>(anchors.size()), steps, transparency));
    return std::vector<int>(r.get(), r.get() + steps);
}

// A bitmap of w x h pixels read back by (column, row from the bottom).
struct Bitmap {
    int w, h;
    std::vector<int> px;
    int* data = nullptr;
    Bitmap(int w, int h) : w(w), h(h), px(static_cast<size_t>(w * h), untouched) {}
    int at(int i, int j) const { return px[static_cast<size_t>((h - 1 - j) * w + i)]; }
    int*& ptr() { return data = px.data(); }
};

std::vector<int> anchors = {0x0000FF, 0x00FF00, 0xFF0000};

} // namespace

TEST(ZDraw, ColorMakeScale)
{
    EXPECT_EQ(ramp({0x000000, 0xFF0000}, 3),
              (std::vector<int>{argb(0xFF000000), argb(0xFF7F0000), argb(0xFFFF0000)}));
    for (int c : ramp({0x000000, 0xFF0000}, 3, 100))
        EXPECT_EQ(static_cast<unsigned>(c) >> 24, 0u);
    // Anchors at evenly spread steps, the last step the last anchor; only the
    // low three bytes of an anchor count.
    const std::vector<int> five = ramp({argb(0x120000FF), 0x00FF00, 0xFF0000}, 5);
    EXPECT_EQ((std::vector<int>{five[0], five[2], five[4]}),
              (std::vector<int>{argb(0xFF0000FF), argb(0xFF00FF00), argb(0xFFFF0000)}));
    // One anchor: that colour everywhere; one step: the first anchor.
    EXPECT_EQ(ramp({0x123456}, 3), std::vector<int>(3, argb(0xFF123456)));
    EXPECT_EQ(ramp({0x123456, 0xFFFFFF}, 1), std::vector<int>{argb(0xFF123456)});
    EXPECT_TRUE(ramp({0x123456}, 0).empty());
}

// Nodes (10 + 2 ix, 20 + 4 iy), 3 x 2 of them; pixels sample x = 9 .. 14 and
// y = 20, 22.25, 24.5, 26.75.
class GridPaint : public ::testing::Test {
protected:
    std::vector<double> values = {1, 5, 9, 2, 6, 8};
    ZCartGrid grid() { return {10, 20, 2, 4, 3, 2, values.data()}; }
    Bitmap paint(double vmin, double vmax, int steps = 10)
    {
        Bitmap b(6, 4);
        EXPECT_EQ(ZDraw::interpOnBitmap(grid(), b.ptr(), 6, 4, steps, 9, 15, 20, 29, vmin, vmax,
                                        anchors.data(), 3, 2.0),
                  0);
        return b;
    }
    // Inverse squared-distance mean of the present corners of cell (ix, 0).
    double cellMean(int ix, double x, double y) const
    {
        const double cx[] = {10.0 + 2 * ix, 12.0 + 2 * ix, 12.0 + 2 * ix, 10.0 + 2 * ix};
        const double cy[] = {20, 20, 24, 24};
        const double cv[] = {values[ix], values[ix + 1], values[ix + 4], values[ix + 3]};
        double s = 0, sw = 0;
        for (int c = 0; c < 4; ++c) {
            if (std::isnan(cv[c]))
                continue;
            const double w = 1 / ((x - cx[c]) * (x - cx[c]) + (y - cy[c]) * (y - cy[c]));
            s += w * cv[c];
            sw += w;
        }
        return s / sw;
    }
};

TEST_F(GridPaint, LinearScale)
{
    const std::vector<int> r = ramp(anchors, 10);
    Bitmap b = paint(0, 10);
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(b.at(0, j), -1);  // left of the first node
        EXPECT_EQ(b.at(5, j), -1);  // beyond the last node column
    }
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(b.at(i, 2), -1);  // the last node row
    EXPECT_EQ(b.at(1, 0), r[1]);    // on node (0, 0)
    EXPECT_EQ(b.at(3, 0), r[5]);    // on node (1, 0)
    EXPECT_EQ(b.at(2, 1), r[static_cast<int>(cellMean(0, 11, 22.25))]);
    // Beyond the scale the end colours; no scale or no pixels paint nothing.
    EXPECT_EQ(paint(20, 30).at(2, 1), r[0]);
    EXPECT_EQ(paint(-30, -20).at(2, 1), r[9]);
    for (auto range : {std::make_pair(5.0, 5.0), {kNaN, 10.0}, {0.0, kNaN}, {-kInf, 10.0}})
        EXPECT_EQ(paint(range.first, range.second).px, std::vector<int>(24, untouched));
    EXPECT_EQ(paint(0, 10, 0).px, std::vector<int>(24, untouched));
    int* none = nullptr;
    EXPECT_EQ(ZDraw::interpOnBitmap(grid(), none, 0, 4, 10, 9, 15, 20, 29, 0, 10,
                                    anchors.data(), 3, 2.0),
              0);
    // Missing corners do not count; a pixel on one takes the others' mean.
    values[1] = kNaN;
    b = paint(0, 10);
    EXPECT_EQ(b.at(2, 1), r[static_cast<int>(cellMean(0, 11, 22.25))]);
    EXPECT_EQ(b.at(3, 0), r[static_cast<int>(cellMean(1, 12, 20))]);
    values.assign(6, kNaN);
    EXPECT_EQ(paint(0, 10).at(2, 1), -1);
}

TEST_F(GridPaint, ClassLimits)
{
    const std::vector<int> r = ramp(anchors, 4);
    std::vector<double> limits = {0, 10, 20};
    const struct {
        double v;
        int cls;
    } cases[] = {{-1, 0}, {0, 1}, {10, 1}, {15, 2}, {20, 2}, {25, 3}};
    for (const auto& c : cases) {
        values.assign(6, c.v);
        Bitmap b(1, 1);  // the one pixel lies on node (0, 0)
        ZDraw::interpOnBitmap(grid(), b.ptr(), 1, 1, 10, 11, 20, 24, limits.data(), 3,
                              anchors.data(), 3, 2.0);
        EXPECT_EQ(b.at(0, 0), r[c.cls]) << c.v;
    }
    Bitmap b(1, 1);
    const std::string where = "ZDraw::interpOnBitmap: ";
    for (auto c : {std::make_pair(std::vector<double>{}, "at least one class limit is needed, 0 given."),
                   std::make_pair(std::vector<double>{0, 10, 5},
                                  "class limit 2 breaks the ascending order of the limits.")})
        EXPECT_EQ(testutil::thrownMessage([&] {
                      ZDraw::interpOnBitmap(grid(), b.ptr(), 1, 1, 10, 11, 20, 24, c.first.data(),
                                            static_cast<int>(c.first.size()), anchors.data(), 3, 2.0);
                  }),
                  where + c.second);
}

TEST(ZDraw, ScatteredPoints)
{
    // Five unit pixels in a row; values 0 and 8 at the ends; scale 0 .. 8 in 9 steps.
    const std::vector<int> r = ramp(anchors, 9);
    std::vector<double> x = {0.5, 4.5}, y = {0.5, 0.5}, v = {0, 8};
    auto paint = [&](int n, double radius, double vmin = 0) {
        Bitmap b(5, 1);
        ZDraw::interpOnBitmap(x.data(), y.data(), v.data(), n, b.ptr(), 5, 1, 9, 0, 5, 0, 1, vmin,
                              8, anchors.data(), 3, radius, 0);
        return b;
    };
    // Values 0, 0.8, 4, 7.2 and 8: steps 0, 0.9, 4.5, 8.1 and 9 rounded and clamped.
    EXPECT_EQ(paint(2, 4).px, (std::vector<int>{r[0], r[1], r[5], r[8], r[8]}));
    // A single point, and the last one alone within reach of its columns.
    EXPECT_EQ(paint(1, 0.1).px, (std::vector<int>{r[0], 7, 7, 7, 7}));
    EXPECT_EQ(paint(2, 1).px, (std::vector<int>{r[0], r[0], 7, r[8], r[8]}));
    // Nothing to paint: no points, none within the window and margin, no value.
    EXPECT_EQ(paint(0, 4).px, std::vector<int>(5, untouched));
    EXPECT_EQ(paint(2, 4, kNaN).px, std::vector<int>(5, untouched));
    x = {20, 30};
    EXPECT_EQ(paint(2, 1).px, std::vector<int>(5, untouched));
    x = {0.5, 4.5};
    v = {kNaN, kNaN};
    EXPECT_EQ(paint(2, 4).px, std::vector<int>(5, untouched));
}

TEST(ZDraw, ScatteredRowsAndRadii)
{
    // Pixels of 1 x 3 map units, radius 3: 3 columns and 1 row of reach, pixel
    // distance at most 2. A (value 0) lies on pixel (1, 0), B (8) on (3, 2).
    const std::vector<int> r = ramp(anchors, 9);
    std::vector<double> x = {1.5, 3.5}, y = {1.5, 7.5}, v = {0, 8};
    Bitmap b(6, 3);
    ZDraw::interpOnBitmap(x.data(), y.data(), v.data(), 2, b.ptr(), 6, 3, 9, 0, 6, 0, 9, 0, 8,
                          anchors.data(), 3, 3.0, 0);
    // (1, 2) is 2 pixels from A but 2 rows off; (2, 1) is sqrt 2 from both.
    EXPECT_EQ(b.px, (std::vector<int>{7, r[8], r[8], r[8], r[8], r[8],
                                      r[0], r[0], r[5], r[8], r[8], 7,
                                      r[0], r[0], r[0], r[0], 7, 7}));

    // The derived radius 2 (10 + 1) / sqrt(100) = 2.2 is also the margin: the
    // one point within it, 2.1 left of the window, reaches the first pixel only.
    std::vector<double> fx(100, 1000.0), fy(100, 0.5), fv(100, 8.0);
    fx[37] = -2.1;
    Bitmap d(10, 1);
    ZDraw::interpOnBitmap(fx.data(), fy.data(), fv.data(), 100, d.ptr(), 10, 1, 9, 0, 10, 0, 1, 0,
                          8, anchors.data(), 3, -1.0, 0);
    EXPECT_EQ(d.px, (std::vector<int>{r[8], 7, 7, 7, 7, 7, 7, 7, 7, 7}));
}

TEST(ZDraw, PrepareDataMargin)
{
    // Pixels of 1 x 1; margin 1, its bounds included; pixels truncated toward zero.
    std::vector<double> x = {11, -1, 5, -1.0001, -0.5, 3.7}, y = {6, 2, 6.01, 2, -0.5, 4.2},
                        v = {1, 2, 3, 4, 5, 6};
    std::vector<std::vector<double>> got;
    for (const auto& p :
         ZDraw::interpOnBitmapPrepareData(x.data(), y.data(), v.data(), 6, 10, 5, 0, 10, 0, 5, 1))
        got.push_back({double(p.i), double(p.j), p.v});
    EXPECT_EQ(got, (std::vector<std::vector<double>>{{-1, 2, 2}, {0, 0, 5}, {3, 4, 6}, {11, 6, 1}}));
}

namespace {

// The painting as defined: every pixel walks the triplets of its column's window.
std::vector<int> plainWalk(const std::vector<ZDraw::ijvTriplet>& d, int w, int h,
                           const double* win, double radius)
{
    std::vector<int> px(static_cast<size_t>(w) * h, untouched);
    const std::vector<int> r = ramp(anchors, 12);
    const long long rx = static_cast<long long>(w / (win[1] - win[0]) * radius);
    const long long ry = static_cast<long long>(h / (win[3] - win[2]) * radius), rp = (rx + ry) / 2;
    for (size_t i = 0, lo = 0, hi = 0, last = d.size() - 1; i < size_t(w) && !d.empty(); ++i) {
        while (hi < last && d[hi].i <= long(i) + rx)
            ++hi;
        while (lo < last && d[lo].i < long(i) - rx)
            ++lo;
        if (hi == lo && std::llabs(d[lo].i - long(i)) > rx)
            continue;
        for (int j = 0; j < h; ++j) {
            double sw = 0, swv = 0, value = kNaN;
            for (size_t t = lo; t <= hi; ++t) {
                if (d[t].j < j - ry || d[t].j > j + ry || std::isnan(d[t].v))
                    continue;
                if (d[t].i == long(i) && d[t].j == j) {
                    value = d[t].v;
                    break;
                }
                const double di = d[t].i - double(i), dj = d[t].j - double(j);
                const double dist = std::sqrt(di * di + dj * dj);
                if (dist <= rp)
                    sw += 1 / (dist * dist), swv += d[t].v / (dist * dist);
            }
            const double c = (std::isnan(value) && sw > 0 ? swv / sw : value) * (12 / 10.0);
            if (!std::isnan(c))
                px[static_cast<size_t>(h - 1 - j) * w + i] =
                    r[c < 0 ? 0 : (c > 11 ? 11 : static_cast<int>(c + 0.5))];
        }
    }
    return px;
}

} // namespace

TEST(ZDraw, ScatteredMatchesPlainWalk)
{
    // Windows with rx below, equal to and above ry, one too wide for a table.
    std::mt19937 rng(29);
    const struct {
        int w, h;
        double win[4];
    } shapes[] = {{40, 30, {0, 10, 0, 10}}, {25, 1, {-5, 5, 0, 2}}, {7, 60, {0, 3, 0, 20}},
                  {33, 17, {2, 4, 1, 9}},   {10, 50, {0, 10, 0, 5}}, {5, 3, {0, 0.005, 0, 0.003}}};
    for (const auto& s : shapes)
        for (int n : {1, 3, 300})
            for (double radius : {0.05, 0.3, 0.9, 2.5}) {
                // On a coarse lattice, so that points share pixels; some lie
                // beyond the window, some have no value.
                std::uniform_int_distribution<int> cell(-4, 44);
                std::vector<double> x(n), y(n), v(n);
                for (int p = 0; p < n; ++p) {
                    x[p] = s.win[0] + (s.win[1] - s.win[0]) * cell(rng) / 40.0;
                    y[p] = s.win[2] + (s.win[3] - s.win[2]) * cell(rng) / 40.0;
                    v[p] = p % 17 == 5 ? kNaN : std::uniform_real_distribution<double>(-2, 12)(rng);
                }
                const std::vector<ZDraw::ijvTriplet> t = ZDraw::interpOnBitmapPrepareData(
                    x.data(), y.data(), v.data(), n, s.w, s.h, s.win[0], s.win[1], s.win[2],
                    s.win[3], radius);
                Bitmap b(s.w, s.h);
                ZDraw::interpOnBitmap(t, b.ptr(), s.w, s.h, 12, s.win[0], s.win[1], s.win[2],
                                      s.win[3], 0, 10, anchors.data(), 3, radius, 0);
                EXPECT_EQ(b.px, plainWalk(t, s.w, s.h, s.win, radius)) << s.w << " " << radius;
            }
}
