// Spatial products of one item at one timestep: vertical sections, values at
// a depth, and a layer painted onto a colour bitmap.

#include "hsResultFile.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <sstream>
#include <vector>

#include "ZCancel.h"
#include "ZDraw.h"
#include "ZMessage.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::num;
using ZCoreLib::str;

namespace {

// Undefined data, as the readers widen it from the files' float.
const double missing = missingValue;

// Arrays are counted in int; refuse results that would not fit.
int checkedCount(double n, const std::string& where)
{
    if (!(n <= INT_MAX))
        throw ZException(where + ": the result would hold " + num(n) +
                         " values, more than can be counted.");
    return static_cast<int>(n);
}

void checkSpacing(double spacing, const std::string& where)
{
    if (!(spacing > 0) || !std::isfinite(spacing))
        throw ZException(where + ": the spacing " + num(spacing) +
                         " is not a positive finite number.");
}

// A depth that is not finite lies in no layer.
void checkDepths(const double* depths, int nDepths, const std::string& where)
{
    for (int j = 0; j < nDepths; ++j)
        if (!std::isfinite(depths[j]))
            throw ZException(where + ": depth " + str(j) + " (" + num(depths[j]) +
                             ") is not a finite number.");
}

void checkPoint(double x, double y, const std::string& what, const std::string& where)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        throw ZException(where + ": " + what + " (" + num(x) + ", " + num(y) +
                         ") is not finite.");
}

void requireLayers(const hsModelInfo& mi, const std::string& where)
{
    if (mi.noLayer < 1 || !mi.layerDepth || !mi.dz || !mi.elemBathy ||
        (mi.layerType == ZLAYER && (!mi.ebli || !mi.elemFirstCell)))
        throw ZException(where + ": the model description has no layer tables.");
}

// A new array the caller owns.
double* newCopy(const std::vector<double>& v)
{
    std::unique_ptr<double[]> a(new double[v.size()]);
    std::copy(v.begin(), v.end(), a.get());
    return a.release();
}

// The values of an item at one timestep, looked up by element and layer.
// Items hold one value per element (the element's value at every depth of
// its column), one per cell of the z-layer columns, or, in the other layer
// types, noLayer values per element.
class itemValues {
public:
    itemValues(hsResultFile& f, int item, int ts, const std::string& where) : mi_(f.mInfo)
    {
        // The reader refuses a bad item or timestep before it writes a value.
        const bool known = item >= 0 && item < static_cast<int>(f.itemLengthVec.size());
        v_.resize(known ? static_cast<size_t>(std::max(f.itemLengthVec[item], 0)) : 0);
        f.readItemData(item, ts, v_.data());
        const long long n = static_cast<long long>(v_.size());
        requireLayers(mi_, where);
        const std::string fault = f.unplacedItem(item);
        if (!fault.empty())
            throw ZException(where + ": " + fault);
        if (mi_.layerType == ZLAYER && n == mi_.noCells)
            layout_ = perCell;
        else if (n == mi_.mesh2d.noe)
            layout_ = perElement;
        else
            layout_ = perLayer;
    }

    // Element e's value in layer k (0 = bottom); missing below its column.
    double at(int e, int k) const
    {
        switch (layout_) {
        case perElement:
            return v_[e];
        case perLayer:
            return v_[static_cast<size_t>(e) * mi_.noLayer + k];
        default: {
            const int b = mi_.ebli[e];
            if (k < b || k >= mi_.noLayer)
                return missing;
            return v_[static_cast<size_t>(mi_.elemFirstCell[e]) + (k - b)];
        }
        }
    }

private:
    enum { perCell, perElement, perLayer } layout_;
    const hsModelInfo& mi_;
    std::vector<double> v_;
};

// Walks the segments of a polyline resampled every spacing along its length:
// f(i, len, r, m) for each segment i of length len > 0 that continues from
// the remainder r of the segments before and receives m points.
template <typename F>
void walkSegments(const double* x, const double* y, int n, double spacing, F f)
{
    double r = 0;
    for (int i = 0; i + 1 < n; ++i) {
        ZCoreLib::ZCancel::poll();
        const double dx = x[i + 1] - x[i], dy = y[i + 1] - y[i];
        const double len = std::sqrt(dx * dx + dy * dy);
        if (!(len > 0))
            continue; // a repeated vertex
        const double m = std::floor((len + r) / spacing);
        f(i, len, r, m);
        r = len + r - m * spacing;
    }
}

// The number of resampled points, the first vertex included.
double resampledCount(const double* x, const double* y, int n, double spacing,
                      const std::string& where)
{
    for (int i = 0; i < n; ++i)
        checkPoint(x[i], y[i], "vertex " + str(i), where);
    double count = n > 0 ? 1 : 0;
    walkSegments(x, y, n, spacing, [&](int, double, double, double m) { count += m; });
    return count;
}

// The resampled points, from the first vertex on; a segment continues from
// the remainder the previous one left.
void resample(const double* x, const double* y, int n, double spacing, std::vector<double>& px,
              std::vector<double>& py)
{
    if (n < 1)
        return;
    px.push_back(x[0]);
    py.push_back(y[0]);
    walkSegments(x, y, n, spacing, [&](int i, double len, double r, double m) {
        // The remainder lies behind the segment's start, along its direction:
        // it is scaled by the step length, whatever the direction.
        const double dx = x[i + 1] - x[i], dy = y[i + 1] - y[i];
        const double ux = spacing * dx / len, uy = spacing * dy / len;
        const double bx = x[i] - r * dx / len, by = y[i] - r * dy / len;
        for (int j = 1; j <= static_cast<int>(m); ++j) {
            ZCoreLib::ZCancel::poll();
            px.push_back(bx + j * ux);
            py.push_back(by + j * uy);
        }
    });
}

// One value per element of a layer (missing where an element has no cell in it).
std::vector<float> layerValues(hsResultFile& f, int item, int ts, int layer)
{
    std::vector<float> v(static_cast<size_t>(std::max(f.mInfo.mesh2d.noe, 0)));
    float* p = v.data();
    f.readLayer(item, ts, layer, p);
    return v;
}

} // namespace

int hsResultFile::extractSectionCart(int item, int ts, double* x, double* y, int nPts,
                                     double* depths, int nDepths, double*& values)
{
    const std::string where = "hsResultFile::extractSectionCart";
    checkDepths(depths, nDepths, where);
    const itemValues v(*this, item, ts, where);
    for (int p = 0; p < nPts; ++p) {
        ZCoreLib::ZCancel::poll();
        const int e = mInfo.mesh2d.pointElem(x[p], y[p]);
        double* row = values + static_cast<size_t>(p) * std::max(nDepths, 0);
        for (int j = 0; j < nDepths; ++j) {
            const double d = depths[j];
            row[j] = e < 0 || mInfo.elemBathy[e] < d ? missing : v.at(e, mInfo.layer(e, d));
        }
    }
    return 0;
}

int hsResultFile::extractSectionCart(int item, int ts, double* x, double* y, int n,
                                     double* depths, int nDepths, double spacing, double*& dist,
                                     int& nDist, double*& values, int& nValues, double*& xs,
                                     double*& ys)
{
    const std::string where = "hsResultFile::extractSectionCart";
    checkSpacing(spacing, where);
    checkDepths(depths, nDepths, where);
    // Refused before anything is built: the points (their distances) and
    // their values at every depth are counted in int.
    const double points = resampledCount(x, y, n, spacing, where);
    checkedCount(points * std::max(nDepths, 1), where);
    const int np = static_cast<int>(points);
    const int nv = np * std::max(nDepths, 0);
    std::vector<double> px, py;
    px.reserve(np);
    py.reserve(np);
    resample(x, y, n, spacing, px, py);
    std::vector<double> d(px.size());
    for (int i = 0; i < np; ++i)
        d[i] = i * spacing;
    std::unique_ptr<double[]> vals(new double[nv]);
    double* vp = vals.get();
    const int r = extractSectionCart(item, ts, px.data(), py.data(), np, depths, nDepths, vp);
    std::unique_ptr<double[]> dd(newCopy(d)), xx(newCopy(px)), yy(newCopy(py));
    dist = dd.release();
    xs = xx.release();
    ys = yy.release();
    values = vals.release();
    nDist = np;
    nValues = nv;
    return r;
}

int hsResultFile::extractSectionCart(int item, int ts, double* x, double* y, int n,
                                     double* depths, int nDepths, double spacing, double*& dist,
                                     int& nDist, double*& values, int& nValues)
{
    double* xs = nullptr;
    double* ys = nullptr;
    const int r = extractSectionCart(item, ts, x, y, n, depths, nDepths, spacing, dist, nDist,
                                     values, nValues, xs, ys);
    extractSectionCartFreeMem(xs, ys);
    return r;
}

int hsResultFile::extractSection(int item, int ts, double* x, double* y, int n, double*& dist,
                                 double*& depth, double*& value, int& count)
{
    const std::string where = "hsResultFile::extractSection";
    const itemValues v(*this, item, ts, where);
    const bool sigma = mInfo.layerType != ZLAYER;
    std::vector<double> ds, cs, vs;
    double s = 0;
    for (int p = 0; p < n; ++p) {
        ZCoreLib::ZCancel::poll();
        if (p > 0)
            s += std::sqrt((x[p] - x[p - 1]) * (x[p] - x[p - 1]) +
                           (y[p] - y[p - 1]) * (y[p] - y[p - 1]));
        const int e = mInfo.mesh2d.pointElem(x[p], y[p]);
        if (e < 0)
            continue;
        const double bathy = mInfo.elemBathy[e];
        // Only the layers of the element's own column.
        for (int k = sigma ? 0 : mInfo.ebli[e]; k < mInfo.noLayer; ++k) {
            const double c = sigma ? mInfo.layerDepth[k] * bathy : mInfo.layerDepth[k];
            if (!(bathy >= c))
                continue;
            ds.push_back(s);
            cs.push_back(c);
            vs.push_back(v.at(e, k));
        }
    }
    const int m = checkedCount(double(ds.size()), where);
    std::unique_ptr<double[]> a(newCopy(ds)), b(newCopy(cs)), c(newCopy(vs));
    dist = a.release();
    depth = b.release();
    value = c.release();
    count = m;
    return 0;
}

int hsResultFile::extractSection(int item, int ts, double x0, double y0, double x1, double y1,
                                 double spacing, double*& dist, double*& depth, double*& value,
                                 int& count)
{
    const std::string where = "hsResultFile::extractSection";
    checkSpacing(spacing, where);
    checkPoint(x0, y0, "the start point", where);
    checkPoint(x1, y1, "the end point", where);
    const double len = std::sqrt((x1 - x0) * (x1 - x0) + (y1 - y0) * (y1 - y0));
    const int n = checkedCount(std::ceil(len / spacing) + 1, where) - 1;
    std::vector<double> px(static_cast<size_t>(n) + 1), py(static_cast<size_t>(n) + 1);
    for (int i = 0; i < n; ++i) {
        ZCoreLib::ZCancel::poll();
        px[i] = x0 + i * (x1 - x0) / n;
        py[i] = y0 + i * (y1 - y0) / n;
    }
    px[n] = x1;
    py[n] = y1;
    return extractSection(item, ts, px.data(), py.data(), n + 1, dist, depth, value, count);
}

void hsResultFile::extractSectionCartFreeMem(double* a, double* b)
{
    delete[] a;
    delete[] b;
}

void hsResultFile::extractSectionCartFreeMem(double* a, double* b, double* c, double* d)
{
    extractSectionCartFreeMem(a, b);
    extractSectionCartFreeMem(c, d);
}

void hsResultFile::extractSectionFreeMem(double* a, double* b, double* c)
{
    extractSectionCartFreeMem(a, b);
    delete[] c;
}

int hsResultFile::readHorisontalArea(int item, int ts, double depth, double* values)
{
    requireLayers(mInfo, "hsResultFile::readHorisontalArea");
    // The first layer from the bottom whose top lies above the depth.
    int k = 0;
    while (k < mInfo.noLayer && !(mInfo.layerDepth[k] - 0.5 * mInfo.dz[k] < depth))
        ++k;
    const int noe = mInfo.mesh2d.noe;
    if (mInfo.layerType == ZLAYER) {
        if (k == mInfo.noLayer)
            return -1;
        const std::vector<float> v = layerValues(*this, item, ts, k);
        std::copy(v.begin(), v.end(), values);
        return noe;
    }
    const itemValues v(*this, item, ts, "hsResultFile::readHorisontalArea");
    for (int e = 0; e < noe; ++e)
        values[e] = k < mInfo.noLayer && k > 0 ? v.at(e, k) : missing;
    return 0;
}

int hsResultFile::readLayerAndInterpOnBitmap(int item, int ts, int layer, int*& bitmap, int w,
                                             int h, int nSteps, double xmin, double xmax,
                                             double ymin, double ymax, double vmin, double vmax,
                                             int* colors, int nColors, double radius,
                                             double unused)
{
    const std::vector<float> v = layerValues(*this, item, ts, layer);
    // Elements without a cell in the layer are no data points.
    std::vector<double> px, py, pv;
    for (size_t e = 0; e < v.size(); ++e) {
        ZCoreLib::ZCancel::poll();
        if (v[e] == missingValue)
            continue;
        px.push_back(mInfo.mesh2d.eX[e]);
        py.push_back(mInfo.mesh2d.eY[e]);
        pv.push_back(v[e]);
    }
    return ZCoreLib::ZDraw::interpOnBitmap(px.data(), py.data(), pv.data(),
                                           static_cast<int>(pv.size()), bitmap, w, h, nSteps,
                                           xmin, xmax, ymin, ymax, vmin, vmax, colors, nColors,
                                           radius, unused);
}

int hsResultFile::readXYZAndInterpOnBitmap(std::string, int*&, int, int, int, double, double,
                                           double, double, double, double, int*, int, double,
                                           double)
{
    return -1;
}

} // namespace hestor
