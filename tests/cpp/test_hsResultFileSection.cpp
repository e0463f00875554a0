// Sections, values at a depth and layers painted onto bitmaps, on a small
// result file written by the writer and read back.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hsResultFile.h"
#include "test_hsResultFileUtil.h"

using hestor::hsResultFile;
using namespace rftest;

namespace {

const double kMissing = -1e-30f;

// The two-square mesh (elements 0 and 1 centred at (0.5, 0.5) and (1.5, 0.5)),
// 3 layers of 1 m, both 2.5 m deep, but element 0 holding only its top two
// layers: cells 0, 1 (element 0, layers 1, 2) and 2, 3, 4 (element 1).
// Item "t" holds 10 c + ts per cell, item "wl" 100 + e + ts per element.
class ResultSection : public TempDir {
protected:
    std::unique_ptr<hsResultFile> f;

    void SetUp() override
    {
        {
            hsResultFile w(at("s.emb"), hestor::EMB);
            const std::vector<char> m = meshBlock(false, false);
            w.mInfo.mesh2d.fromBinary(m.data(), m.size(), -1);
            w.mInfo.noLayer = 3;
            w.mInfo.adoptDz(new double[3]{1, 1, 1}, 3);
            w.mInfo.adoptElemBathy(new double[2]{2.5, 2.5}, 2);
            w.mInfo.adoptEnol(new int[2]{2, 3}, 2);
            w.mInfo.init();
            w.addItem("t", 5);
            w.addItem("wl", 2);
            w.writeHeader();
            for (double ts : {0, 1}) {
                double t[5] = {ts, 10 + ts, 20 + ts, 30 + ts, 40 + ts}, wl[2] = {100 + ts, 101 + ts};
                w.writeData(t, 5);
                w.writeData(wl, 2);
            }
            w.flushBuf();
        }
        f = std::make_unique<hsResultFile>(at("s.emb"), -1);
        ASSERT_EQ(f->mInfo.noCells, 5);
        ASSERT_EQ(f->mInfo.ebli[0], 1);
    }

    std::vector<double> cart(int item, std::vector<double> x, std::vector<double> y,
                             std::vector<double> depths)
    {
        std::vector<double> out(x.size() * depths.size(), 0.0);
        double* p = out.data();
        EXPECT_EQ(f->extractSectionCart(item, 1, x.data(), y.data(), static_cast<int>(x.size()),
                                        depths.data(), static_cast<int>(depths.size()), p),
                  0);
        return out;
    }

    struct Resampled {
        std::vector<double> dist, values, xs, ys;
    };
    Resampled resample(std::vector<double> x, std::vector<double> y, double spacing,
                       std::vector<double> depths = {0.5})
    {
        double *d = nullptr, *v = nullptr, *xs = nullptr, *ys = nullptr;
        int nd = -1, nv = -1;
        f->extractSectionCart(0, 1, x.data(), y.data(), static_cast<int>(x.size()), depths.data(),
                              static_cast<int>(depths.size()), spacing, d, nd, v, nv, xs, ys);
        Resampled r{{d, d + nd}, {v, v + nv}, {xs, xs + nd}, {ys, ys + nd}};
        hsResultFile::extractSectionCartFreeMem(d, v, xs, ys);
        return r;
    }

    struct Section {
        std::vector<double> dist, depth, value;
    };
    template <typename... Line>
    Section section(Line... line)
    {
        double *d = nullptr, *c = nullptr, *v = nullptr;
        int n = -1;
        EXPECT_EQ(f->extractSection(0, 1, line..., d, c, v, n), 0);
        Section s{{d, d + n}, {c, c + n}, {v, v + n}};
        hsResultFile::extractSectionFreeMem(d, c, v);
        return s;
    }
};

} // namespace

TEST_F(ResultSection, PointsTimesDepths)
{
    const double M = kMissing;
    // Each element's own cells, though they start at different layers; outside
    // the mesh and below the bottom the missing value.
    EXPECT_EQ(cart(0, {0.5, 1.5, 5.0}, {0.5, 0.5, 5.0}, {0.2, 1.5, 2.2, 3.0}),
              (std::vector<double>{11, 1, 1, M, 41, 31, 21, M, M, M, M, M}));
    // A depth on a layer's top lies in that layer, one at the bottom in the
    // bottom cell.
    EXPECT_EQ(cart(0, {0.5, 1.5}, {0.5, 0.5}, {0, 1, 2, 2.5}),
              (std::vector<double>{11, 1, 1, 1, 41, 31, 21, 21}));
    // One value per element: that value at every depth of the column.
    EXPECT_EQ(cart(1, {0.5, 1.5}, {0.5, 0.5}, {0.2, 2.4, 2.6}),
              (std::vector<double>{101, 101, M, 102, 102, M}));
}

TEST_F(ResultSection, ResampledPolyline)
{
    // 10 along x every 3: 0, 3, 6, 9; then up, continuing from the remainder 1.
    Resampled r = resample({0, 10, 10}, {0, 0, 10}, 3);
    EXPECT_EQ(r.dist, (std::vector<double>{0, 3, 6, 9, 12, 15, 18}));
    EXPECT_EQ(r.xs, (std::vector<double>{0, 3, 6, 9, 10, 10, 10}));
    EXPECT_EQ(r.ys, (std::vector<double>{0, 0, 0, 0, 2, 5, 8}));
    // Diagonal segments: every point at its multiple of the spacing along the line.
    r = resample({0, 3, 9}, {0, 4, -4}, 2);
    ASSERT_EQ(r.dist.size(), 8u);
    for (size_t i = 0; i < r.dist.size(); ++i) {
        const double s = 2.0 * i;
        EXPECT_EQ(r.dist[i], s);
        EXPECT_NEAR(r.xs[i], s <= 5 ? 0.6 * s : 3 + 0.6 * (s - 5), 1e-12) << i;
        EXPECT_NEAR(r.ys[i], s <= 5 ? 0.8 * s : 4 - 0.8 * (s - 5), 1e-12) << i;
    }
    // Values as the points form gives them at the resampled points.
    r = resample({0.5, 1.5}, {0.5, 0.5}, 1, {0.5, 2.2});
    EXPECT_EQ(r.values, cart(0, r.xs, r.ys, {0.5, 2.2}));
    EXPECT_EQ(r.values.size(), 4u);
    const struct {
        double spacing;
        const char* text;
    } bad[] = {{0.0, "0"}, {-1.0, "-1"}, {NAN, "nan"}, {INFINITY, "inf"}};
    for (const auto& b : bad)
        EXPECT_EQ(testutil::thrownMessage([&] { resample({0, 1}, {0, 0}, b.spacing); }),
                  std::string("hsResultFile::extractSectionCart: the spacing ") + b.text +
                      " is not a positive finite number.");
}

TEST_F(ResultSection, LayerCentresAlongLines)
{
    // Element 0 gives its two layers only; the point outside adds its distance.
    std::vector<double> x = {0.5, 3.5, 1.5}, y = {0.5, 0.5, 0.5};
    Section s = section(x.data(), y.data(), 3);
    EXPECT_EQ(s.dist, (std::vector<double>{0, 0, 5, 5, 5}));
    EXPECT_EQ(s.depth, (std::vector<double>{1.5, 0.5, 2.5, 1.5, 0.5}));
    EXPECT_EQ(s.value, (std::vector<double>{1, 11, 21, 31, 41}));
    // 1.8 long every 0.7: ceil gives 3 steps of 0.6 and the end point.
    s = section(0.1, 0.5, 1.9, 0.5, 0.7);
    for (double& d : s.dist)
        d = std::round(d * 10) / 10;
    EXPECT_EQ(s.dist, (std::vector<double>{0, 0, 0.6, 0.6, 1.2, 1.2, 1.2, 1.8, 1.8, 1.8}));
}

TEST_F(ResultSection, HorisontalAreaAndBitmap)
{
    double v[2] = {0, 0};
    EXPECT_EQ(f->readHorisontalArea(0, 1, -1.0, v), -1);  // above the surface
    EXPECT_EQ(f->readHorisontalArea(0, 1, 1.5, v), 2);
    EXPECT_EQ(std::vector<double>(v, v + 2), (std::vector<double>{1, 31}));
    // A depth on a layer's top lies above that layer; on the surface above all.
    EXPECT_EQ(f->readHorisontalArea(0, 1, 1.0, v), 2);
    EXPECT_EQ(std::vector<double>(v, v + 2), (std::vector<double>{11, 41}));
    EXPECT_EQ(f->readHorisontalArea(0, 1, 0.0, v), -1);
    EXPECT_EQ(f->readHorisontalArea(0, 1, 2.2, v), 2);
    EXPECT_EQ(std::vector<double>(v, v + 2), (std::vector<double>{kMissing, 21}));

    // Layer 0: element 0 has no value there and leaves its pixel alone.
    int anchors[2] = {0x000000, 0x0000FF};
    std::vector<int> bmp(2, 7);
    int* p = bmp.data();
    EXPECT_EQ(f->readLayerAndInterpOnBitmap(0, 1, 0, p, 2, 1, 2, 0, 2, 0, 1, 0, 40, anchors, 2,
                                            0.1, 0),
              0);
    EXPECT_EQ(bmp, (std::vector<int>{7, static_cast<int>(0xFF0000FF)}));
    EXPECT_EQ(f->readXYZAndInterpOnBitmap("x.xyz", p, 2, 1, 2, 0, 2, 0, 1, 0, 40, anchors, 2,
                                          0.1, 0),
              -1);
}

TEST_F(ResultSection, RefusedRequests)
{
    const std::string cartFn = "hsResultFile::extractSectionCart: ";
    const double nan = NAN, inf = INFINITY;
    std::vector<double> x = {0, 3e8}, y = {0, 0}, eight(8, 0.5);
    const struct {
        std::function<void()> call;
        std::string message;
    } cases[] = {
        // Counted before anything is built: 3e8 + 1 points at 8 depths.
        {[&] { resample(x, y, 1, eight); },
         "the result would hold 2.4e+09 values, more than can be counted."},
        {[&] { resample({0, 2.2e9}, {0, 0}, 1); },
         "the result would hold 2.2e+09 values, more than can be counted."},
        {[&] { resample({0, 1, inf}, {0, 0, 0}, 1); }, "vertex 2 (inf, 0) is not finite."},
        {[&] { resample({0, 1}, {0, 0}, 1, {0.5, nan}); }, "depth 1 (nan) is not a finite number."},
        {[&] { cart(0, {0.5}, {0.5}, {0.5, 1, -inf}); }, "depth 2 (-inf) is not a finite number."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(testutil::thrownMessage(c.call), cartFn + c.message);
    EXPECT_EQ(testutil::thrownMessage([&] { section(0.5, 0.5, nan, 1.0, 0.5); }),
              "hsResultFile::extractSection: the end point (nan, 1) is not finite.");
}
