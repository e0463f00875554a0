// Inverse-distance and radial basis interpolation of scattered values.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "ZInterpolStat.h"
#include "testUtil.h"

using ZCoreLib::ZInterpolStat;

namespace {

const double noValue = -1e-37;

struct Points {
    std::vector<double> x, y, v;
    int n() const { return static_cast<int>(x.size()); }
};

// 12 sources, deterministic but irregular.
Points scatter()
{
    Points p;
    for (int i = 0; i < 12; ++i) {
        p.x.push_back(std::fmod(i * 7.3, 10.0));
        p.y.push_back(std::fmod(i * 3.1 + 1.0, 6.0));
        p.v.push_back(std::sin(i * 1.7) * 10.0);
    }
    return p;
}

std::vector<double> invDist(Points s, Points t, double radius, double power)
{
    std::vector<double> out(t.x.size(), 123.0);
    double* o = out.data();
    ZInterpolStat::invDist2DInterpol(s.x.data(), s.y.data(), s.v.data(), s.n(), t.x.data(),
                                     t.y.data(), o, t.n(), radius, power, noValue);
    return out;
}

std::vector<double> rbf2D(Points s, Points t, double c, int beta)
{
    double* out = nullptr;
    ZInterpolStat::RBF2DInterpol(s.x.data(), s.y.data(), s.v.data(), s.n(), t.x.data(),
                                 t.y.data(), out, t.n(), c, beta);
    std::unique_ptr<double[]> own(out);
    return std::vector<double>(out, out + t.n());
}

} // namespace

TEST(ZInterpolStat, InvDistMatchesBruteForce)
{
    const Points s = scatter(), t = {{0.1, 5.5, 9.7, 3.3, 50}, {0.2, 2.5, 5.9, 4.4, 50}, {}};
    for (double radius : {0.0, 3.0})
        for (double power : {1.0, 2.0, 3.5}) {
            const std::vector<double> got = invDist(s, t, radius, power);
            for (int k = 0; k < t.n(); ++k) {
                double sum = 0, ws = 0;
                for (int i = 0; i < s.n(); ++i) {
                    const double d = std::hypot(s.x[i] - t.x[k], s.y[i] - t.y[k]);
                    if (radius <= 0 || d < radius) {
                        sum += s.v[i] / std::pow(d, power);
                        ws += 1 / std::pow(d, power);
                    }
                }
                EXPECT_NEAR(got[k], ws == 0 ? noValue : sum / ws, 1e-12) << radius << " " << k;
            }
        }
    // On coinciding sources their mean, on a source its value; a source exactly
    // at the radius and a source without a value do not count.
    const Points s2 = {{0, 0, 2, 4}, {0, 0, 0, 0}, {1, 3, 10, noValue}};
    const Points t2 = {{0, 2, 3, 4}, {0, 0, 0, 0}, {}};
    EXPECT_EQ(invDist(s2, t2, 2.0, 2.0), (std::vector<double>{2, 10, 10, noValue}));
    EXPECT_EQ(invDist(Points(), t2, 0, 2.0), std::vector<double>(4, noValue));
}

TEST(ZInterpolStat, RBFReproducesSources)
{
    Points s = scatter();
    for (int beta : {1, -1}) {
        const std::vector<double> got = rbf2D(s, s, 2.0, beta);
        for (int i = 0; i < s.n(); ++i)
            EXPECT_NEAR(got[i], s.v[i], 1e-6) << beta << " " << i;
    }
    // Space form, several value sets: each set as if solved alone.
    std::vector<double> z(12), zt = {0.5, 1.0}, w(12);
    for (int i = 0; i < 12; ++i) {
        z[i] = i % 3;
        w[i] = i * i;
    }
    double* sets[2] = {s.v.data(), w.data()};
    double** out = nullptr;
    ZInterpolStat::RBF3DInterpol<double>(s.x.data(), s.y.data(), z.data(), sets, 12, 2,
                                         s.x.data() + 3, s.y.data() + 5, zt.data(), out, 2, 0.0, 1);
    for (int k = 0; k < 2; ++k) {
        double* one = nullptr;
        ZInterpolStat::RBF3DInterpol<double>(s.x.data(), s.y.data(), z.data(), sets[k], 12,
                                             s.x.data() + 3, s.y.data() + 5, zt.data(), one, 2,
                                             0.0, 1);
        EXPECT_EQ(std::vector<double>(out[k], out[k] + 2), std::vector<double>(one, one + 2));
        delete[] one;
        delete[] out[k];
    }
    delete[] out;
}

TEST(ZInterpolStat, RBFShapeConstant)
{
    // Closest pair 1.0 apart: c <= 0 means c = 0.815.
    Points s = {{0, 1, 3, 0.5}, {0, 0, 2, 4}, {1, -2, 5, 0.5}};
    const Points t = {{0.3, 2.2}, {0.7, 1.1}, {}};
    EXPECT_EQ(rbf2D(s, t, 0.0, 1), rbf2D(s, t, 0.815, 1));
    EXPECT_EQ(rbf2D(s, t, -1.0, -1), rbf2D(s, t, 0.815, -1));
    // One source, c derived from nothing: c^2 = 6.64225e36 still solves.
    for (double v : rbf2D({{1}, {1}, {4.5}}, t, 0.0, 1))
        EXPECT_NEAR(v, 4.5, 1e-9);
    // Two sources in one place make the system singular.
    s.x[1] = 0;
    EXPECT_EQ(testutil::thrownMessage([&] { rbf2D(s, t, 0.0, 1); }),
              "RBF3DInterpol: gaussian elimination failed.");
}

TEST(ZInterpolStat, InvDistLargePowers)
{
    // The nearest source dominates: 1 / 0.1^2000 is infinite, 1 / 1e3^200 is
    // 0; only a source at distance 0 coincides.
    const struct {
        std::vector<double> x, v;
        double power, want;
    } cases[] = {{{0.1, 0.5}, {9, 5}, 2000, 9}, {{1e3, 2e3}, {4, 6}, 200, 4},
                 {{2, 3, 2}, {1, 4, 3}, 400, 2}, {{0.1, 0}, {9, 5}, 2000, 5}};
    for (const auto& c : cases) {
        const Points s = {c.x, std::vector<double>(c.x.size(), 0.0), c.v};
        EXPECT_NEAR(invDist(s, {{0}, {0}, {}}, 0, c.power)[0], c.want, 1e-12) << c.power;
    }
}

TEST(ZInterpolStat, RBFAwayFromSources)
{
    // Independent reference: the kernel system solved by Gauss-Jordan with
    // partial pivoting, sources at heights z, targets at height 0.7.
    Points s = scatter();
    std::vector<double> z(12), tx = {0.3, 4.4, 8.9}, ty = {5.1, 0.2, 2.6};
    for (int i = 0; i < 12; ++i)
        z[i] = 0.3 * (i % 4);
    for (int beta : {1, -1, 3})
        for (double c : {0.5, 2.0}) {
            auto phi = [&](int i, double x, double y, double h) {
                const double dx = s.x[i] - x, dy = s.y[i] - y, dz = z[i] - h;
                return std::pow(dx * dx + dy * dy + dz * dz + c * c, beta / 2.0);
            };
            std::vector<std::vector<double>> a(13, std::vector<double>(14, 0.0));
            for (int i = 0; i < 12; ++i) {
                for (int j = 0; j < 12; ++j)
                    a[i][j] = phi(j, s.x[i], s.y[i], z[i]);
                a[i][12] = a[12][i] = 1;
                a[i][13] = s.v[i];
            }
            for (int col = 0; col < 13; ++col) {
                int piv = col;
                for (int r = col + 1; r < 13; ++r)
                    piv = std::fabs(a[r][col]) > std::fabs(a[piv][col]) ? r : piv;
                std::swap(a[col], a[piv]);
                for (int r = 0; r < 13; ++r)
                    for (int k = 13; k >= col && r != col; --k)
                        a[r][k] -= a[r][col] / a[col][col] * a[col][k];
            }
            double* out = nullptr;
            ZInterpolStat::RBF3DInterpol(s.x.data(), s.y.data(), z.data(), s.v.data(), 12,
                                         tx.data(), ty.data(), 0.7, out, 3, c, beta);
            std::unique_ptr<double[]> own(out);
            for (int t = 0; t < 3; ++t) {
                double want = a[12][13] / a[12][12];
                for (int i = 0; i < 12; ++i)
                    want += a[i][13] / a[i][i] * phi(i, tx[t], ty[t], 0.7);
                EXPECT_NEAR(out[t], want, 1e-7 * (1 + std::fabs(want))) << beta << " " << c;
            }
        }
}
