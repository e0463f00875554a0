#include "ZInterpol.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Zkdtree.h"

namespace ZCoreLib {

namespace {

// The k-d tree yields three neighbours, fewer when there are fewer sources.
const int neighbours = 3;

// Appends the lists of each target: the sources the tree finds, farthest
// first, weighted 1 / pow(d, power); a source under the target alone with 1.
// query(t, idx) writes the neighbours of target t; dist(t, i) is the distance
// from target t to source i.
template <typename Query, typename Dist>
void fillTables(ZInterpol& z, int n, int nt, Query query, Dist dist)
{
    const int k = std::min(n, neighbours);
    int found[neighbours];
    for (int t = 0; t < nt; ++t) {
        std::vector<double> w;
        std::vector<int> idx;
        std::fill(found, found + neighbours, -1);
        if (k > 0) {
            int* out = found;
            query(t, out, k);
        }
        for (int i = 0; i < k && found[i] >= 0; ++i) {
            const double d = dist(t, found[i]);
            if (d == 0) {
                w.assign(1, 1.0);
                idx.assign(1, found[i]);
                break;
            }
            w.push_back(1 / std::pow(d, z.power));
            idx.push_back(found[i]);
        }
        z.weights.push_back(std::move(w));
        z.sourceIdx.push_back(std::move(idx));
    }
    z.initialised = true;
}

// The sources whose mask entry is true, in order, with their caller's indices.
struct maskedSources {
    std::vector<double> x, y, z;
    std::vector<int> index;

    maskedSources(double* xs, double* ys, double* zs, bool* mask, int n)
    {
        for (int i = 0; i < n; ++i) {
            if (!mask[i])
                continue;
            x.push_back(xs[i]);
            y.push_back(ys[i]);
            if (zs)
                z.push_back(zs[i]);
            index.push_back(i);
        }
    }

    int count() const { return static_cast<int>(index.size()); }

    // The stored indices, which count the gathered sources, become the caller's.
    void mapBack(ZInterpol& zi) const
    {
        for (auto& list : zi.sourceIdx)
            for (int& i : list)
                i = index[i];
    }
};

} // namespace

ZInterpol::ZInterpol()
    : power(2.0), zScale(1.0), noData(-1e-37), initialised(false), type(INVDIST)
{
}

ZInterpol::~ZInterpol() = default;

int ZInterpol::init(double* xs, double* ys, int n, double* xt, double* yt, int nt,
                    zinterpolType method)
{
    type = method;
    weights.clear();
    sourceIdx.clear();
    if (method != INVDIST)
        throw ZException("Unsupported interpolation type.");
    return initInvDist(xs, ys, n, xt, yt, nt);
}

int ZInterpol::init(double* xs, double* ys, double* zs, int n, double* xt, double* yt,
                    double* zt, int nt, zinterpolType method)
{
    type = method;
    weights.clear();
    sourceIdx.clear();
    if (method != INVDIST)
        throw ZException("Unsupported interpolation type.");
    return initInvDist(xs, ys, zs, n, xt, yt, zt, nt);
}

int ZInterpol::init(double* xs, double* ys, bool* mask, int n, double* xt, double* yt, int nt,
                    zinterpolType method)
{
    maskedSources s(xs, ys, nullptr, mask, n);
    const int r = init(s.x.data(), s.y.data(), s.count(), xt, yt, nt, method);
    s.mapBack(*this);
    return r;
}

int ZInterpol::init(double* xs, double* ys, double* zs, bool* mask, int n, double* xt,
                    double* yt, double* zt, int nt, zinterpolType method)
{
    maskedSources s(xs, ys, zs, mask, n);
    const int r = init(s.x.data(), s.y.data(), s.z.data(), s.count(), xt, yt, zt, nt, method);
    s.mapBack(*this);
    return r;
}

int ZInterpol::initInvDist(double* xs, double* ys, int n, double* xt, double* yt, int nt)
{
    Zkdtree tree(xs, ys, std::max(n, 0));
    fillTables(
        *this, n, nt, [&](int t, int*& out, int k) { tree.knearest(xt[t], yt[t], out, k); },
        [&](int t, int i) {
            const double dx = xs[i] - xt[t], dy = ys[i] - yt[t];
            return std::sqrt(dx * dx + dy * dy);
        });
    return 0;
}

int ZInterpol::initInvDist(double* xs, double* ys, double* zs, int n, double* xt, double* yt,
                           double* zt, int nt)
{
    Zkdtree tree(xs, ys, zs, std::max(n, 0), zScale);
    fillTables(
        *this, n, nt,
        [&](int t, int*& out, int k) { tree.knearest(xt[t], yt[t], zt[t], out, k); },
        [&](int t, int i) {
            const double dx = xs[i] - xt[t], dy = ys[i] - yt[t], dz = zScale * (zs[i] - zt[t]);
            return std::sqrt(dx * dx + dy * dy + dz * dz);
        });
    return 0;
}

} // namespace ZCoreLib
