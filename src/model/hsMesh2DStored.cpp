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

// Rows of the float grid searched for a Voronoi point at the most: only a
// sliver that spans millions of float steps comes near.
const long long maxRows = 1LL << 22;

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
        bool searchedAll = true;
        if (storedInsidePoint(e, wx, wy, vx[e], vy[e], searchedAll))
            continue;
        throw ZException("toBinary: " + elemName(e, en + eStart[e], enon[e]) +
                         " is too thin to keep its Voronoi point off boundary face " + str(f) +
                         inFloats + ": no 32-bit point " +
                         (searchedAll ? "" : "within " + str(maxRows / 2) + " rows of its centroid ") +
                         "lies strictly inside it and off its faces.");
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
// the lines of its faces that lies nearest its centroid, or false when the
// element holds none. Rows of the float grid are searched outward from the
// centroid's, each where it runs inside the element, from the float nearest
// the centroid on: the first accepted is the nearest of the row. A row
// farther than the nearest point found ends the search, and so do maxRows
// (searchedAll false).
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
    auto accepted = [&](double qx, double qy) {
        for (int k = 0; k < n; k++)
            if (onStoredLine(ex[k], ey[k], ex[(k + 1) % n], ey[(k + 1) % n], qx, qy))
                return false;
        return ZCoreLib::ZPoly::inPoly(n, ex.data(), ey.data(), qx, qy);
    };
    auto key = [](double d) { return floatKey(static_cast<float>(d)); };
    const auto rows = std::minmax_element(ey.begin(), ey.end());
    const long long first = key(*rows.first) + 1, last = key(*rows.second) - 1;
    const long long mid = std::min(std::max(key(cy), first), last);
    double best = std::numeric_limits<double>::infinity();
    std::vector<double> cuts;
    // Each edge line meets a row once, so a walk meets at most n refused
    // floats before one that is accepted, and two past each end of a stretch.
    const long long walk = n + 3;
    auto scanRow = [&](long long row) {
        const double qy = keyFloat(row);
        if ((qy - cy) * (qy - cy) >= best)
            return false;
        cuts.clear();
        for (int k = 0; k < n; k++) {
            const int j = (k + 1) % n;
            if ((ey[k] < qy) != (ey[j] < qy))
                cuts.push_back(ex[k] + (qy - ey[k]) * (ex[j] - ex[k]) / (ey[j] - ey[k]));
        }
        std::sort(cuts.begin(), cuts.end());
        for (std::size_t i = 0; i + 1 < cuts.size(); i += 2) {
            const long long lo = key(cuts[i]) - 1, hi = key(cuts[i + 1]) + 1;
            const long long from = std::min(std::max(key(cx), lo), hi);
            for (long long d = 0; d <= walk; d++)
                for (long long k : {from - d, from + d}) {
                    const double qx = keyFloat(k);
                    const double dist = (qx - cx) * (qx - cx) + (qy - cy) * (qy - cy);
                    if (k < lo || k > hi || dist >= best || !accepted(qx, qy))
                        continue;
                    best = dist;
                    px = static_cast<float>(qx);
                    py = static_cast<float>(qy);
                }
        }
        return true;
    };
    long long d = 0;
    for (; (mid - d >= first || mid + d <= last) && d <= maxRows / 2; d++) {
        ZCoreLib::ZCancel::poll();
        const bool below = mid - d >= first && scanRow(mid - d);
        const bool above = d > 0 && mid + d <= last && scanRow(mid + d);
        if (!below && !above && best < std::numeric_limits<double>::infinity())
            break;
    }
    searchedAll = !(mid - d >= first || mid + d <= last);
    return best < std::numeric_limits<double>::infinity();
}

} // namespace hestor
