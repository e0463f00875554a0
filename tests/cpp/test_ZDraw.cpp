// Colour ramps and the painting of grids and scattered points onto bitmaps.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ZDraw.h"
#include "testUtil.h"

using ZCoreLib::ZCartGrid;
using ZCoreLib::ZDraw;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
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
    EXPECT_EQ(paint(5, 5).px, std::vector<int>(24, untouched));
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
    auto paint = [&](int n, double radius) {
        Bitmap b(5, 1);
        ZDraw::interpOnBitmap(x.data(), y.data(), v.data(), n, b.ptr(), 5, 1, 9, 0, 5, 0, 1, 0, 8,
                              anchors.data(), 3, radius, 0);
        return b;
    };
    // Values 0, 0.8, 4, 7.2 and 8: steps 0, 0.9, 4.5, 8.1 and 9 rounded and clamped.
    EXPECT_EQ(paint(2, 4).px, (std::vector<int>{r[0], r[1], r[5], r[8], r[8]}));
    // A single point, and the last one alone within reach of its columns.
    EXPECT_EQ(paint(1, 0.1).px, (std::vector<int>{r[0], 7, 7, 7, 7}));
    EXPECT_EQ(paint(2, 1).px, (std::vector<int>{r[0], r[0], 7, r[8], r[8]}));
    // Nothing to paint: no points, none within the window and margin, no value.
    EXPECT_EQ(paint(0, 4).px, std::vector<int>(5, untouched));
    x = {20, 30};
    EXPECT_EQ(paint(2, 1).px, std::vector<int>(5, untouched));
    x = {0.5, 4.5};
    v = {kNaN, kNaN};
    EXPECT_EQ(paint(2, 4).px, std::vector<int>(5, untouched));
}
