#include "ZInterpolStat.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "ZMath.h"

namespace ZCoreLib {

namespace {

const double noValueMarker = -1e-37;

template <typename T>
T squaredDist(T ax, T ay, T az, T bx, T by, T bz)
{
    return (ax - bx) * (ax - bx) + (ay - by) * (ay - by) + (az - bz) * (az - bz);
}

// The kernel of a squared distance.
template <typename T>
T phi(T r2, T c2, int beta)
{
    return std::pow(r2 + c2, beta * 0.5);
}

// c^2 for the given c; c <= 0 derives it from the closest pair of sources.
template <typename T>
T shapeSquared(T* xs, T* ys, T* zs, int n, T c)
{
    if (c > 0)
        return c * c;
    T smallest = T(1e37);
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            smallest = std::min(smallest, squaredDist(xs[i], ys[i], zs[i], xs[j], ys[j], zs[j]));
    const T derived = T(0.815) * std::sqrt(smallest);
    return derived * derived;
}

} // namespace

int ZInterpolStat::invDist2DInterpol(double* xs, double* ys, double* vs, int n, double* xt,
                                     double* yt, double*& out, int nt, double radius,
                                     double power, double noValue)
{
    std::vector<double> dist, value;
    for (int t = 0; t < nt; ++t) {
        dist.clear();
        value.clear();
        double nearest = HUGE_VAL, hitSum = 0;
        int hits = 0;
        for (int i = 0; i < n; ++i) {
            if (vs[i] == noValue)
                continue;
            const double dx = xs[i] - xt[t], dy = ys[i] - yt[t];
            const double d = std::sqrt(dx * dx + dy * dy);
            if (radius > 0 && !(d < radius))
                continue;
            // A source under the target outweighs every other one.
            if (d == 0 && power > 0) {
                hitSum += vs[i];
                ++hits;
            }
            nearest = std::min(nearest, d);
            dist.push_back(d);
            value.push_back(vs[i]);
        }
        if (hits > 0) {
            out[t] = hitSum / hits;
            continue;
        }
        // Weights relative to the nearest source, 1 for it and less for the
        // others, do not overflow at a large power. Other powers (which do
        // not favour near sources) keep the plain weight.
        const bool relative = power > 0 && nearest > 0 && nearest < HUGE_VAL;
        double sum = 0, wsum = 0;
        for (size_t i = 0; i < dist.size(); ++i) {
            const double w =
                relative ? std::pow(nearest / dist[i], power) : 1 / std::pow(dist[i], power);
            wsum += w;
            sum += w * value[i];
        }
        out[t] = wsum != 0 ? sum / wsum : noValueMarker;
    }
    return 0;
}

template <typename T>
int ZInterpolStat::RBF3DInterpol(T* xs, T* ys, T* zs, T** vs, int n, int nSets, T* xt, T* yt,
                                 T* zt, T**& out, int nt, T c, int beta)
{
    const T c2 = shapeSquared(xs, ys, zs, n, c);
    const int m = std::max(n, 0) + 1;
    const size_t mm = static_cast<size_t>(m);
    std::vector<T> matrix(mm * mm, T(0));
    std::vector<T*> rows(mm);
    for (size_t i = 0; i < mm; ++i)
        rows[i] = matrix.data() + i * mm;
    for (int i = 0; i < n; ++i) {
        rows[i][i] = phi(T(0), c2, beta);
        for (int j = i + 1; j < n; ++j)
            rows[i][j] = rows[j][i] =
                phi(squaredDist(xs[i], ys[i], zs[i], xs[j], ys[j], zs[j]), c2, beta);
        rows[i][n] = rows[n][i] = 1;
    }

    // The matrix is eliminated once for all value sets together.
    const int sets = std::max(nSets, 0);
    std::vector<std::vector<T>> coef(static_cast<size_t>(sets), std::vector<T>(mm, T(0)));
    std::vector<T*> rhs(static_cast<size_t>(sets));
    for (int k = 0; k < sets; ++k) {
        std::copy(vs[k], vs[k] + (m - 1), coef[k].begin());
        rhs[k] = coef[k].data();
    }
    if (sets > 0 && ZMath::gaussElim(rows.data(), rhs.data(), sets, m) != 0)
        throw ZException("RBF3DInterpol: gaussian elimination failed.");

    const size_t targets = static_cast<size_t>(std::max(nt, 0));
    std::vector<std::unique_ptr<T[]>> res(static_cast<size_t>(sets));
    for (auto& r : res)
        r.reset(new T[targets]);
    std::vector<T> kernel(static_cast<size_t>(std::max(n, 0)));
    for (size_t t = 0; t < targets; ++t) {
        for (int i = 0; i < n; ++i)
            kernel[i] = phi(squaredDist(xt[t], yt[t], zt[t], xs[i], ys[i], zs[i]), c2, beta);
        for (int k = 0; k < sets; ++k) {
            T s = coef[k][n];
            for (int i = 0; i < n; ++i)
                s += coef[k][i] * kernel[i];
            res[k][t] = s;
        }
    }
    out = new T*[sets];
    for (int k = 0; k < sets; ++k)
        out[k] = res[k].release();
    return 0;
}

template <typename T>
int ZInterpolStat::RBF3DInterpol(T* xs, T* ys, T* zs, T* vs, int n, T* xt, T* yt, T* zt,
                                 T*& out, int nt, T c, int beta)
{
    T* sets[1] = {vs};
    T** res = nullptr;
    const int r = RBF3DInterpol(xs, ys, zs, sets, n, 1, xt, yt, zt, res, nt, c, beta);
    out = res[0];
    delete[] res;
    return r;
}

int ZInterpolStat::RBF3DInterpol(double* xs, double* ys, double* zs, double* vs, int n,
                                 double* xt, double* yt, double zt, double*& out, int nt,
                                 double c, int beta)
{
    std::vector<double> heights(static_cast<size_t>(std::max(nt, 0)), zt);
    return RBF3DInterpol<double>(xs, ys, zs, vs, n, xt, yt, heights.data(), out, nt, c, beta);
}

int ZInterpolStat::RBF2DInterpol(double* xs, double* ys, double* vs, int n, double* xt,
                                 double* yt, double*& out, int nt, double c, int beta)
{
    std::vector<double> zs(static_cast<size_t>(std::max(n, 0)), 0.0);
    return RBF3DInterpol(xs, ys, zs.data(), vs, n, xt, yt, 0.0, out, nt, c, beta);
}

template int ZInterpolStat::RBF3DInterpol<double>(double*, double*, double*, double**, int, int,
                                                  double*, double*, double*, double**&, int,
                                                  double, int);
template int ZInterpolStat::RBF3DInterpol<double>(double*, double*, double*, double*, int,
                                                  double*, double*, double*, double*&, int,
                                                  double, int);

} // namespace ZCoreLib
