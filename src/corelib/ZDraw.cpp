#include "ZCancel.h"
#include "ZDraw.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

namespace ZCoreLib {

namespace {

const double noValue = std::numeric_limits<double>::quiet_NaN();

size_t pixelAt(int i, int j, int w, int h)
{
    return static_cast<size_t>(h - 1 - j) * static_cast<size_t>(w) + static_cast<size_t>(i);
}

// Truncated toward zero; kept within the int range so that far-off points
// neither overflow nor wrap around into the window. NaN gives 0.
long long toPixel(double v)
{
    if (std::isnan(v))
        return 0;
    const double lim = INT_MAX;
    return static_cast<long long>(std::max(-lim, std::min(lim, v)));
}

// The ramp a painting colours with; nothing is painted without one or when
// the bitmap is empty.
std::unique_ptr<int[]> paintRamp(int* colors, int nColors, int nSteps, int w, int h)
{
    if (w <= 0 || h <= 0 || nSteps < 1)
        return nullptr;
    return std::unique_ptr<int[]>(ZDraw::colorMakeScale(colors, nColors, nSteps, 0));
}

// Inverse-distance value at (x, y) from the corners of the grid cell that
// holds it; NaN outside the grid or where no corner has a value. A position on
// a corner (an infinite weight) takes that corner's value.
double gridValue(const ZCartGrid& g, double x, double y, double power)
{
    const double fx = std::floor((x - g.x0) / g.dx);
    const double fy = std::floor((y - g.y0) / g.dy);
    if (!(fx >= 0 && fx < g.nx - 1.0 && fy >= 0 && fy < g.ny - 1.0))
        return noValue;
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const double cx = g.x0 + ix * g.dx, cy = g.y0 + iy * g.dy;
    const struct {
        int di, dj;
    } corners[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    double sw = 0, swv = 0;
    for (const auto& c : corners) {
        const double v = g.values[static_cast<size_t>(iy + c.dj) * g.nx + (ix + c.di)];
        if (std::isnan(v))
            continue;
        const double ex = x - (c.di ? cx + g.dx : cx), ey = y - (c.dj ? cy + g.dy : cy);
        const double wgt = 1 / std::pow(std::sqrt(ex * ex + ey * ey), power);
        if (std::isinf(wgt))
            return v;
        sw += wgt;
        swv += wgt * v;
    }
    return swv / sw;
}

// Every pixel gets colour(value), or -1 where the grid gives no value.
template <typename Colour>
void paintGrid(const ZCartGrid& g, int* bitmap, int w, int h, double xmin, double xmax,
               double ymin, double ymax, double power, Colour colour)
{
    for (int i = 0; i < w; ++i) {
        ZCoreLib::ZCancel::poll();
        const double x = xmin + i * (xmax - xmin) / w;
        for (int j = 0; j < h; ++j) {
            const double y = ymin + j * (ymax - ymin) / h;
            const double v = gridValue(g, x, y, power);
            bitmap[pixelAt(i, j, w, h)] = std::isnan(v) ? -1 : colour(v);
        }
    }
}

// Colour steps per unit of value on a linear scale from vmin to vmax; NaN
// when the scale is empty or undefined, and then nothing is painted.
double linearScale(int nSteps, double vmin, double vmax)
{
    if (!std::isfinite(vmin) || !std::isfinite(vmax) || vmax == vmin)
        return noValue;
    return nSteps / (vmax - vmin);
}

// Distance in pixels between a pixel and a triplet di columns and dj rows off.
double pixelDist(double di, double dj)
{
    return std::sqrt(di * di + dj * dj);
}

// Which pixels a triplet reaches: those within ry rows whose distance is at
// most rp. The squared distances of the reachable offsets are kept in a
// table unless it would be large, as they recur for every triplet.
class reach {
public:
    reach(long long ry, long long rp) : ry_(ry), rp_(rp)
    {
        if (double(rp + 1) * double(std::min(ry, rp) + 1) > tableLimit)
            return;
        start_.push_back(0);
        for (long long adi = 0; adi <= rp; ++adi) {
            const long long m = maxRows(adi);
            for (long long adj = 0; adj <= m; ++adj) {
                const double d = pixelDist(double(adi), double(adj));
                squares_.push_back(d * d);
            }
            start_.push_back(squares_.size());
        }
    }

    // The most rows off, in the column di columns off, that still lie within
    // reach; -1 when none does.
    long long rows(long long di) const
    {
        const long long adi = std::llabs(di);
        if (adi > rp_)
            return -1;
        return start_.empty() ? maxRows(adi) : static_cast<long long>(start_[adi + 1] - start_[adi]) - 1;
    }

    // The squared distance of the pixel di columns and dj rows off (within reach).
    double squared(long long di, long long dj) const
    {
        if (start_.empty()) {
            const double d = pixelDist(double(di), double(dj));
            return d * d;
        }
        return squares_[start_[std::llabs(di)] + std::llabs(dj)];
    }

private:
    static constexpr double tableLimit = 1 << 20;

    // The distance grows with the rows off, so the reached rows are one run.
    long long maxRows(long long adi) const
    {
        const double x = double(adi);
        const double rest = double(rp_) * double(rp_) - x * x;
        long long m = std::min(ry_, static_cast<long long>(std::sqrt(std::max(rest, 0.0))));
        while (m < ry_ && pixelDist(x, double(m + 1)) <= rp_)
            ++m;
        while (m > 0 && !(pixelDist(x, double(m)) <= rp_))
            --m;
        return m;
    }

    long long ry_, rp_;
    std::vector<size_t> start_;
    std::vector<double> squares_;
};

// The sums of one pixel column. The triplets are added in the order of the
// window, so that every pixel sums its terms in the order a walk of the
// window per pixel would, and the first triplet on a pixel gives its value.
class columnSums {
public:
    explicit columnSums(int h) : h_(h), sw_(h), swv_(h), hit_(h) {}

    void reset()
    {
        std::fill(sw_.begin(), sw_.end(), 0.0);
        std::fill(swv_.begin(), swv_.end(), 0.0);
        std::fill(hit_.begin(), hit_.end(), noValue);
    }

    // Triplet p seen from column i: weight 1/d^2 at every pixel within reach.
    void add(const ZDraw::ijvTriplet& p, int i, const reach& r)
    {
        if (std::isnan(p.v))
            return;
        const long long di = static_cast<long long>(p.i) - i;
        if (di == 0 && p.j >= 0 && p.j < h_ && std::isnan(hit_[p.j]))
            hit_[p.j] = p.v;
        const long long m = r.rows(di);
        if (m < 0)
            return;
        const long long jlo = std::max(static_cast<long long>(p.j) - m, 0LL);
        const long long jhi = std::min(static_cast<long long>(p.j) + m, h_ - 1LL);
        for (long long j = jlo; j <= jhi; ++j) {
            if (di == 0 && j == p.j)
                continue;
            const double dd = r.squared(di, j - p.j);
            sw_[j] += 1 / dd;
            swv_[j] += p.v / dd;
        }
    }

    // The value of row j; NaN where nothing reaches it.
    double value(int j) const
    {
        if (!std::isnan(hit_[j]))
            return hit_[j];
        return sw_[j] > 0 ? swv_[j] / sw_[j] : noValue;
    }

private:
    int h_;
    std::vector<double> sw_, swv_, hit_;
};

} // namespace

int* ZDraw::colorMakeScale(int* colors, int nColors, int nSteps, int transparency)
{
    const int s = std::max(nSteps, 0);
    std::unique_ptr<int[]> out(new int[s]);
    if (s == 0)
        return out.release();
    if (nColors < 1)
        throw ZException("ZDraw::colorMakeScale: no anchor colours given for a scale of " +
                         std::to_string(s) + " steps.");
    const int p = std::max(0, std::min(100, transparency));
    const uint32_t alpha = static_cast<uint32_t>((100 - p) * 255 / 100) << 24;
    const long long gaps = nColors - 1;
    for (int k = 0; k < s; ++k) {
        const long long seg = s > 1 ? k * gaps / (s - 1) : 0;
        double f = 0;
        if (s > 1 && seg < gaps) {
            const double lo = double(seg) / gaps * (s - 1);
            const double hi = double(seg + 1) / gaps * (s - 1);
            // Clamped: rounding must not push an anchor step off its colour.
            f = std::max(0.0, std::min(1.0, (k - lo) / (hi - lo)));
        }
        // The last anchor has no successor; its weight there is 0.
        const uint32_t c0 = static_cast<uint32_t>(colors[seg]);
        const uint32_t c1 = static_cast<uint32_t>(colors[std::min(seg + 1, gaps)]);
        uint32_t rgb = 0;
        for (int shift : {16, 8, 0}) {
            const double ch = ((c0 >> shift) & 0xFF) * (1 - f) + ((c1 >> shift) & 0xFF) * f;
            rgb |= static_cast<uint32_t>(ch) << shift;
        }
        out[k] = static_cast<int>(alpha | rgb);
    }
    return out.release();
}

int ZDraw::interpOnBitmap(ZCartGrid grid, int*& bitmap, int w, int h, int nSteps, double xmin,
                          double xmax, double ymin, double ymax, double vmin, double vmax,
                          int* colors, int nColors, double power)
{
    const double scale = linearScale(nSteps, vmin, vmax);
    if (std::isnan(scale))
        return 0;
    const std::unique_ptr<int[]> ramp = paintRamp(colors, nColors, nSteps, w, h);
    if (!ramp)
        return 0;
    paintGrid(grid, bitmap, w, h, xmin, xmax, ymin, ymax, power, [&](double v) {
        const double k = (v - vmin) * scale;
        if (!(k >= 0))
            return ramp[0];
        return ramp[k >= nSteps ? nSteps - 1 : static_cast<int>(k)];
    });
    return 0;
}

int ZDraw::interpOnBitmap(ZCartGrid grid, int*& bitmap, int w, int h, double xmin, double xmax,
                          double ymin, double ymax, double* limits, int nLimits, int* colors,
                          int nColors, double power)
{
    const std::string where = "ZDraw::interpOnBitmap: ";
    if (nLimits < 1)
        throw ZException(where + "at least one class limit is needed, " +
                         std::to_string(nLimits) + " given.");
    for (int k = 0; k < nLimits; ++k)
        if (std::isnan(limits[k]) || (k > 0 && limits[k] < limits[k - 1]))
            throw ZException(where + "class limit " + std::to_string(k) +
                             " breaks the ascending order of the limits.");
    const std::unique_ptr<int[]> ramp = paintRamp(colors, nColors, nLimits + 1, w, h);
    if (!ramp)
        return 0;
    paintGrid(grid, bitmap, w, h, xmin, xmax, ymin, ymax, power, [&](double v) {
        if (v < limits[0])
            return ramp[0];
        if (v > limits[nLimits - 1])
            return ramp[nLimits];
        // Class k holds (limits[k-1], limits[k]]; class 1 also limits[0].
        return ramp[std::lower_bound(limits + 1, limits + nLimits, v) - limits];
    });
    return 0;
}

std::vector<ZDraw::ijvTriplet> ZDraw::interpOnBitmapPrepareData(double* x, double* y, double* v,
                                                                int n, int w, int h,
                                                                double xmin, double xmax,
                                                                double ymin, double ymax,
                                                                double margin)
{
    std::vector<ijvTriplet> out;
    const double sx = w / (xmax - xmin), sy = h / (ymax - ymin);
    for (int p = 0; p < n; ++p) {
        ZCoreLib::ZCancel::poll();
        if (!(x[p] >= xmin - margin && x[p] <= xmax + margin && y[p] >= ymin - margin &&
              y[p] <= ymax + margin))
            continue;
        const double fi = (x[p] - xmin) * sx, fj = (y[p] - ymin) * sy;
        if (std::isnan(fi) || std::isnan(fj))
            continue;
        out.push_back({static_cast<int>(toPixel(fi)), static_cast<int>(toPixel(fj)), v[p]});
    }
    std::sort(out.begin(), out.end(), ijvTripleCmpByX);
    return out;
}

int ZDraw::interpOnBitmap(std::vector<ijvTriplet> data, int*& bitmap, int w, int h, int nSteps,
                          double xmin, double xmax, double ymin, double ymax, double vmin,
                          double vmax, int* colors, int nColors, double radius, double)
{
    const double scale = linearScale(nSteps, vmin, vmax);
    if (data.empty() || std::isnan(scale))
        return 0;
    const std::unique_ptr<int[]> ramp = paintRamp(colors, nColors, nSteps, w, h);
    if (!ramp)
        return 0;
    const long long rx = toPixel(w / (xmax - xmin) * radius);
    const long long ry = toPixel(h / (ymax - ymin) * radius);
    // A negative pixel radius leaves every pixel without a triplet in reach.
    if (rx < 0 || ry < 0)
        return 0;
    const reach r(ry, (rx + ry) / 2);
    columnSums col(h);
    const size_t last = data.size() - 1;
    size_t lo = 0, hi = 0;
    for (int i = 0; i < w; ++i) {
        ZCoreLib::ZCancel::poll();
        // The window holds the triplets within rx columns, and the first
        // beyond it (hi stops on it) or the last one when all lie before.
        while (hi < last && data[hi].i <= i + rx)
            ++hi;
        while (lo < last && data[lo].i < i - rx)
            ++lo;
        // A window of one triplet (a single point, or the last one) still
        // paints once that triplet is within reach of the column.
        if (hi == lo && std::llabs(static_cast<long long>(data[lo].i) - i) > rx)
            continue;
        col.reset();
        for (size_t t = lo; t <= hi; ++t)
            col.add(data[t], i, r);
        for (int j = 0; j < h; ++j) {
            const double c = (col.value(j) - vmin) * scale;
            if (std::isnan(c))
                continue;
            const int k = c < 0 ? 0 : (c > nSteps - 1 ? nSteps - 1 : static_cast<int>(c + 0.5));
            bitmap[pixelAt(i, j, w, h)] = ramp[k];
        }
    }
    return 0;
}

int ZDraw::interpOnBitmap(double* x, double* y, double* v, int n, int*& bitmap, int w, int h,
                          int nSteps, double xmin, double xmax, double ymin, double ymax,
                          double vmin, double vmax, int* colors, int nColors, double radius,
                          double unused)
{
    if (radius < 0)
        radius = 2 * ((xmax - xmin) + (ymax - ymin)) / std::sqrt(double(n));
    std::vector<ijvTriplet> data =
        interpOnBitmapPrepareData(x, y, v, n, w, h, xmin, xmax, ymin, ymax, radius);
    if (!data.empty())
        interpOnBitmap(std::move(data), bitmap, w, h, nSteps, xmin, xmax, ymin, ymax, vmin, vmax,
                       colors, nColors, radius, unused);
    return 0;
}

bool ZDraw::ijvTripleCmpByX(const ijvTriplet& a, const ijvTriplet& b)
{
    return a.i < b.i;
}

} // namespace ZCoreLib
