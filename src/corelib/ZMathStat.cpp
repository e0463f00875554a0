// Random numbers, statistics, Cartesian products and the dense solver of ZMath.

#include "ZMath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "ZMessage.h"

namespace ZCoreLib {

namespace {

struct Moments {
    double mean, std, rms;
};

Moments moments(const std::vector<double>& v)
{
    double n = double(v.size()), sum = 0.0, sumSq = 0.0;
    for (double x : v) {
        sum += x;
        sumSq += x * x;
    }
    double mean = sum / n, dev = 0.0;
    for (double x : v) dev += (x - mean) * (x - mean);
    return {mean, std::sqrt(dev / n), std::sqrt(sumSq / n)};
}

} // namespace

double ZMath::randomNumber(double a, double b)
{
    // Only the low 15 bits of rand() are trusted to be random everywhere.
    uint64_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= uint64_t(std::rand() & 0x7FFF) << (15 * i);
    bits &= (uint64_t(1) << 53) - 1;
    double u = double(bits) * 1.1102230246251565e-16;
    return u * (a - b) + b;
}

void ZMath::stat(std::vector<double> v, double& /*r1*/, double& mean, double& /*r3*/,
                 double& std, double& rms)
{
    Moments m = moments(v);
    mean = m.mean;
    std = m.std;
    rms = m.rms;
}

std::string ZMath::stat(std::vector<double> v, double& mean, double& std, double& rms)
{
    Moments m = moments(v);
    mean = m.mean;
    std = m.std;
    rms = m.rms;
    double minAbs = 1e37, maxAbs = -1e37;
    int minIdx = -1, maxIdx = -1;
    for (size_t i = 0; i < v.size(); ++i) {
        double x = std::fabs(v[i]);
        if (x < minAbs) { minAbs = x; minIdx = int(i); }
        if (x > maxAbs) { maxAbs = x; maxIdx = int(i); }
    }
    return "count:\t" + str(int(v.size())) + newLine +
           "min:\t" + num(minAbs) + "\t(idx=" + str(minIdx) + ")" + newLine +
           "max:\t" + num(maxAbs) + "\t(idx=" + str(maxIdx) + ")" + newLine +
           "mean:\t" + num(mean) + newLine +
           "variance:\t" + num(std) + newLine +
           "RMS:\t" + num(rms);
}

std::string ZMath::stat(std::vector<double> v)
{
    double mean, std, rms;
    return stat(std::move(v), mean, std, rms);
}

void ZMath::cartProd(std::vector<int> sizes, std::vector<int*>& out)
{
    if (sizes.empty()) return;
    std::vector<int> current(sizes.size(), 0);
    cartProdR(0, sizes, current.data(), out);
}

void ZMath::cartProdR(int level, const std::vector<int>& sizes, int* current,
                      std::vector<int*>& out)
{
    bool last = size_t(level) + 1 == sizes.size();
    for (int i = 0; i < sizes[level]; ++i) {
        current[level] = i;
        if (!last) {
            cartProdR(level + 1, sizes, current, out);
            continue;
        }
        int* combo = new int[sizes.size()];
        std::copy(current, current + sizes.size(), combo);
        out.push_back(combo);
    }
}

template <typename T>
int ZMath::gaussElim(T** a, T*& b, int n)
{
    T* rhs[1] = {b};
    return gaussElim(a, rhs, 1, n);
}

template <typename T>
int ZMath::gaussElim(T** a, T** b, int nRhs, int n)
{
    if (n <= 0) return n == 0 ? 0 : -1;
    for (int k = 0; k < n - 1; ++k) {
        if (!(std::fabs(a[k][k]) >= 1e-6)) return -1;
        for (int i = k + 1; i < n; ++i) {
            T f = a[i][k] / a[k][k];
            for (int j = k + 1; j < n; ++j) a[i][j] -= f * a[k][j];
            for (int r = 0; r < nRhs; ++r) b[r][i] -= f * b[r][k];
        }
    }
    // A zero last pivot would spread infinities through the whole solution.
    T last = a[n - 1][n - 1];
    if (last == T(0) || !std::isfinite(last)) return -1;
    for (int r = 0; r < nRhs; ++r) {
        T* x = b[r];
        x[n - 1] = x[n - 1] / last;
        for (int i = n - 2; i >= 0; --i) {
            T s = x[i];
            for (int j = i + 1; j < n; ++j) s -= a[i][j] * x[j];
            x[i] = s / a[i][i];
        }
    }
    return 0;
}

template int ZMath::gaussElim<double>(double** a, double*& b, int n);
template int ZMath::gaussElim<double>(double** a, double** b, int nRhs, int n);

} // namespace ZCoreLib
