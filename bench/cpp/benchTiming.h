#ifndef HESTOR_BENCH_BENCHTIMING_H
#define HESTOR_BENCH_BENCHTIMING_H

// The timing method of bench/bench.R: every repetition runs each side for at
// least HS_BENCH_SECONDS (repeating a pass as often as needed), the two sides
// alternate so that drifts of the machine affect both, and a side's time is
// the median over HS_BENCH_REPS repetitions of its time per pass.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// A pass times itself, so that its set-up (a fresh copy to edit, a mesh to
// free) stays outside the timing; it returns its elapsed seconds.
using Pass = std::function<double()>;

inline double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A pass of f, timed as a whole.
template <typename F>
Pass timed(F f)
{
    return [f]() mutable {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        return seconds(t0);
    };
}

inline double envNumber(const char* name, double fallback)
{
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0')
        return fallback;
    char* end = nullptr;
    const double x = std::strtod(v, &end);
    if (end == v || *end != '\0' || !std::isfinite(x) || x <= 0) {
        std::fprintf(stderr, "%s must be a positive number, not '%s'.\n", name, v);
        std::exit(2);
    }
    return x;
}

struct Settings {
    int reps = std::max(1, static_cast<int>(envNumber("HS_BENCH_REPS", 5)));
    double minSeconds = envNumber("HS_BENCH_SECONDS", 1);
};

inline double perPass(const Pass& pass, long long k)
{
    double total = 0;
    for (long long i = 0; i < k; ++i)
        total += pass();
    return total / static_cast<double>(k);
}

// Passes for one side to run at least minSeconds; the first pass also warms
// the caches.
inline long long passesNeeded(const Pass& pass, double minSeconds)
{
    long long k = 1;
    double batch;
    for (;;) {
        batch = static_cast<double>(k) * perPass(pass, k);
        if (batch >= 0.1 * minSeconds || k >= (1LL << 24))
            break;
        k *= 4;
    }
    return std::max(1LL, static_cast<long long>(
                             std::ceil(1.1 * static_cast<double>(k) * minSeconds / std::max(batch, 1e-3))));
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

struct Times {
    double ours;
    double base;
};

inline Times compare(const Settings& s, const Pass& ours, const Pass& base)
{
    const long long kOurs = passesNeeded(ours, s.minSeconds);
    const long long kBase = passesNeeded(base, s.minSeconds);
    std::vector<double> tOurs(s.reps), tBase(s.reps);
    for (int r = 0; r < s.reps; ++r) {
        if (r % 2 == 0) {
            tOurs[r] = perPass(ours, kOurs);
            tBase[r] = perPass(base, kBase);
        } else {
            tBase[r] = perPass(base, kBase);
            tOurs[r] = perPass(ours, kOurs);
        }
    }
    return {median(tOurs), median(tBase)};
}

// Stops the run: a ratio of two sides that do not compute the same thing
// means nothing.
inline void checkSame(const std::string& what, bool same)
{
    if (!same) {
        std::fprintf(stderr, "The package and the baseline disagree on %s.\n", what.c_str());
        std::exit(1);
    }
}

inline std::string formatTime(double s)
{
    char buf[32];
    if (s >= 1)
        std::snprintf(buf, sizeof buf, "%.2f s", s);
    else if (s >= 1e-3)
        std::snprintf(buf, sizeof buf, "%.1f ms", 1e3 * s);
    else
        std::snprintf(buf, sizeof buf, "%.0f us", 1e6 * s);
    return buf;
}

} // namespace bench

#endif
