// The mesh as the binary block stores it: node coordinates and Voronoi
// points as 32-bit floats, whose step is 1 m at northings from 8.4e6 to
// 1.7e7 and 1.5e-5 degrees at longitudes above 128. A mesh that holds in
// doubles may not hold in those steps, so the stored form is checked with
// the reader's own tests before anything is written: what a writer stores,
// every reader accepts.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "ZCancel.h"
#include "ZMessage.h"
#include "ZPoly.h"
#include "hsMesh2D.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::str;

namespace {

const std::string inFloats = " once the coordinates are stored as 32-bit floats";

// Steps of the float grid, each way from an element's centroid, searched for
// a Voronoi point; an element that holds none so near is a sliver.
const long long searchSteps = 64;

// Floats in their order: neighbouring floats have neighbouring keys.
long long floatKey(float v)
{
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    const long long magnitude = u & 0x7fffffffu;
    return (u & 0x80000000u) ? -magnitude : magnitude;
}

float keyFloat(long long k)
{
    const std::uint32_t u = k >= 0 ? static_cast<std::uint32_t>(k)
                                   : (static_cast<std::uint32_t>(-k) | 0x80000000u);
    float v;
    std::memcpy(&v, &u, 4);
    return v;
}

std::string elemName(int e, const int* nodes, int n)
{
    std::string s = "element " + str(e) + " (nodes ";
    for (int k = 0; k < n; k++)
        s += (k ? ", " : "") + str(nodes[k]);
    return s + ")";
}

} // namespace

// For points of one float grid the differences and products of the turn
// are exact: 0 means on the line, where the reader's rounding may not see it.
bool hsMesh2D::onStoredLine(double ax, double ay, double bx, double by, double px, double py)
{
    return onFaceLine(ax, ay, bx, by, px, py) || (bx - ax) * (py - ay) == (by - ay) * (px - ax);
}

void hsMesh2D::storedForm(std::vector<float>& x, std::vector<float>& y, std::vector<float>& vx,
                          std::vector<float>& vy) const
{
    x.assign(nX, nX + non);
    y.assign(nY, nY + non);
    const std::vector<double> wx(x.begin(), x.end()), wy(y.begin(), y.end());
    checkStoredElems(wx, wy);
    vx.assign(noe, 0.0f);
    vy.assign(noe, 0.0f);
    if (eVoronoiX == nullptr || eVoronoiY == nullptr)
        return;
    vx.assign(eVoronoiX, eVoronoiX + noe);
    vy.assign(eVoronoiY, eVoronoiY + noe);
    if (vfn == nullptr || vfe == nullptr || evf == nullptr || eStart == nullptr)
        return;
    // The reader refuses a point on the line of a boundary face (on a lon/lat
    // mesh it would have no distance to it).
    for (int f = noivf; f < novf; f++) {
        ZCoreLib::ZCancel::poll();
        const int e = vfe[2 * f], a = vfn[2 * f], b = vfn[2 * f + 1];
        if (!onStoredLine(wx[a], wy[a], wx[b], wy[b], vx[e], vy[e]))
            continue;
        bool searchedAll = false;
        if (storedInsidePoint(e, wx, wy, vx[e], vy[e], searchedAll))
            continue;
        const std::string none =
            searchedAll ? "no 32-bit point lies strictly inside it and off its faces."
                        : "no 32-bit point within " + str(searchSteps) +
                              " steps of its centroid lies strictly inside it and off its faces.";
        throw ZException("toBinary: " + elemName(e, en + eStart[e], enon[e]) +
                         " is too thin to keep its Voronoi point off boundary face " + str(f) +
                         inFloats + ": " + none);
    }
}

// The reader's shape rule on the stored nodes, and no element turned over
// by the rounding (its sides would cross those of its neighbours).
void hsMesh2D::checkStoredElems(const std::vector<double>& x, const std::vector<double>& y) const
{
    for (int e = 0; e < noe; e++) {
        ZCoreLib::ZCancel::poll();
        const int* v = en + eStart[e];
        const std::string broken = elemProblem(e, v, enon[e], non);
        if (!broken.empty())
            throw ZException("toBinary: " + broken);
        const std::string name = elemName(e, v, enon[e]);
        const std::string problem = elemShapeProblem(name, v, enon[e], x.data(), y.data());
        if (!problem.empty())
            throw ZException("toBinary: " + problem.substr(0, problem.size() - 1) + inFloats + ".");
        const bool before = twiceAreaIn(1.0, v, enon[e], nX, nY) > 0;
        if (before != (twiceAreaIn(1.0, v, enon[e], x.data(), y.data()) > 0))
            throw ZException("toBinary: " + name + " turns over" + inFloats +
                             ": its nodes run the other way round, and its sides cross those of "
                             "its neighbours.");
    }
}

// The float point strictly inside element e (nodes x, y as stored) and off
// the lines of its faces that lies nearest its centroid, searched ring by
// ring of the float grid around the centroid; false when none lies within
// searchSteps (searchedAll: the rings covered the element).
bool hsMesh2D::storedInsidePoint(int e, const std::vector<double>& x, const std::vector<double>& y,
                                 float& px, float& py, bool& searchedAll) const
{
    const int* v = en + eStart[e];
    const int n = enon[e];
    std::vector<double> ex(n), ey(n);
    double cx = 0.0, cy = 0.0;
    for (int k = 0; k < n; k++) {
        ex[k] = x[v[k]];
        ey[k] = y[v[k]];
        cx += ex[k] / n;
        cy += ey[k] / n;
    }
    const auto bx = std::minmax_element(ex.begin(), ex.end());
    const auto by = std::minmax_element(ey.begin(), ey.end());
    auto key = [](double d) { return floatKey(static_cast<float>(d)); };
    const long long x0 = key(*bx.first), x1 = key(*bx.second);
    const long long y0 = key(*by.first), y1 = key(*by.second);
    const long long kx = std::min(std::max(key(cx), x0), x1);
    const long long ky = std::min(std::max(key(cy), y0), y1);
    auto accepted = [&](double qx, double qy) {
        for (int k = 0; k < n; k++)
            if (onStoredLine(ex[k], ey[k], ex[(k + 1) % n], ey[(k + 1) % n], qx, qy))
                return false;
        return ZCoreLib::ZPoly::inPoly(n, ex.data(), ey.data(), qx, qy);
    };
    double best = std::numeric_limits<double>::infinity();
    auto visit = [&](long long i, long long j) {
        if (kx + i < x0 || kx + i > x1 || ky + j < y0 || ky + j > y1)
            return;
        const float qx = keyFloat(kx + i), qy = keyFloat(ky + j);
        const double d = (qx - cx) * (qx - cx) + (qy - cy) * (qy - cy);
        if (d < best && accepted(qx, qy)) {
            best = d;
            px = qx;
            py = qy;
        }
    };
    const long long reach = std::max({kx - x0, x1 - kx, ky - y0, y1 - ky});
    searchedAll = reach <= searchSteps;
    for (long long r = 0; r <= std::min(reach, searchSteps); r++) {
        if (r == 0)
            visit(0, 0);
        for (long long i = -r; i <= r && r > 0; i++) {
            visit(i, -r);
            visit(i, r);
        }
        for (long long j = -r + 1; j < r; j++) {
            visit(-r, j);
            visit(r, j);
        }
        if (best < std::numeric_limits<double>::infinity())
            return true;
    }
    return false;
}

} // namespace hestor
