// The mesh as the binary block stores it: node coordinates and Voronoi
// points as 32-bit floats, whose step is 1 m at northings from 8.4e6 to
// 1.7e7 and 1.5e-5 degrees at longitudes above 128. A mesh that holds in
// doubles may not hold in those steps, so the stored form is checked with
// the reader's own tests before anything is written: what a writer stores,
// every reader accepts.

#include <algorithm>
#include <array>
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

// Sides visited in the search for a Voronoi point at the most, about a
// millisecond: a line of the float grid costs about as much as n + 8 sides
// of an element of n nodes, so an element of a few nodes is searched on
// some 3000 lines, and whole when it spans fewer rows or fewer columns. Only
// a sliver narrower than a few steps that spans more in both directions
// comes near.
const long long maxWork = 1LL << 15;
// Lines searched on either side of a node's row or column.
const long long nodeLines = 2;

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
    // mesh it would have no distance to it), and one rounded past it would
    // give the face a link into the element: either moves strictly inside.
    std::vector<bool> moved(noe, false);
    for (int f = noivf; f < novf; f++) {
        ZCoreLib::ZCancel::poll();
        const int e = vfe[2 * f], a = vfn[2 * f], b = vfn[2 * f + 1];
        if (moved[e] || (!onStoredLine(wx[a], wy[a], wx[b], wy[b], vx[e], vy[e]) &&
                         !storedPast(e, a, b, wx, wy, vx[e], vy[e])))
            continue;
        moved[e] = true;
        std::string searched;
        if (storedInsidePoint(e, wx, wy, vx[e], vy[e], searched))
            continue;
        throw ZException("toBinary: " + elemName(e, en + eStart[e], enon[e]) +
                         " is too thin to keep its Voronoi point off boundary face " + str(f) +
                         inFloats + ": no 32-bit point " +
                         (searched.empty() ? "lies strictly inside it and off its faces."
                                           : "strictly inside it and off its faces lies on " + searched + "."));
    }
}

// Whether the stored point (px, py) lies beyond the line of boundary face
// a-b of element e while the point in doubles lies on its inner side. The
// inner side follows from the element's turn (which the stored nodes keep)
// and the face's direction along the element's outline, looked up only for
// the rare point whose rounding crossed the line.
bool hsMesh2D::storedPast(int e, int a, int b, const std::vector<double>& x, const std::vector<double>& y,
                          double px, double py) const
{
    auto side = [&](const double* ux, const double* uy, double qx, double qy) {
        return (ux[b] - ux[a]) * (qy - uy[a]) - (uy[b] - uy[a]) * (qx - ux[a]);
    };
    const double stored = side(x.data(), y.data(), px, py), computed = side(nX, nY, eVoronoiX[e], eVoronoiY[e]);
    if (stored == 0.0 || computed == 0.0 || (stored < 0) == (computed < 0))
        return false;
    const int* v = en + eStart[e];
    const int n = enon[e];
    double along = 0.0;
    for (int k = 0; k < n; k++)
        if (v[k] == a && v[(k + 1) % n] == b)
            along = 1.0;
        else if (v[k] == b && v[(k + 1) % n] == a)
            along = -1.0;
    const double inner = twiceAreaIn(1.0, v, n, nX, nY) > 0 ? along : -along;
    return inner * stored < 0;
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

// A float point strictly inside element e (nodes x, y as stored) and off
// the lines of its faces, or false when none is found. The search runs along
// lines of the float grid, each where it runs inside the element, taken
// directly from where the line cuts the element's sides: first the rows
// outward from the centroid's (the point found is the nearest the centroid
// of those rows), then the columns outward from the centroid's, then the
// rows and columns through the nodes, widest first, within maxWork in all.
// searched stays empty when every row or every column was searched, and
// otherwise tells what was.
bool hsMesh2D::storedInsidePoint(int e, const std::vector<double>& x, const std::vector<double>& y,
                                 float& px, float& py, std::string& searched) const
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
    // A row holds the floats of one y and runs along x; a column the other way round.
    struct Lines {
        bool row;
        const std::vector<double>& across;
        const std::vector<double>& along;
        double centreAcross, centreAlong;
        long long first, last; // the lines strictly between the element's extremes
    };
    auto linesOf = [&](bool row, const std::vector<double>& u, const std::vector<double>& w, double cu,
                       double cw) {
        const auto ends = std::minmax_element(u.begin(), u.end());
        return Lines{row, u, w, cu, cw, key(*ends.first) + 1, key(*ends.second) - 1};
    };
    const Lines rows = linesOf(true, ey, ex, cy, cx), cols = linesOf(false, ex, ey, cx, cy);
    const long long noRows = rows.last - rows.first + 1, noCols = cols.last - cols.first + 1;
    if (noRows <= 0 || noCols <= 0)
        return false;
    double best = std::numeric_limits<double>::infinity();
    auto found = [&] { return best < std::numeric_limits<double>::infinity(); };
    std::vector<double> cuts;
    auto stretches = [&](const Lines& l, double q) {
        cuts.clear();
        for (int k = 0; k < n; k++) {
            const int j = (k + 1) % n;
            const double uk = l.across[k], uj = l.across[j];
            if ((uk < q) != (uj < q))
                cuts.push_back(l.along[k] + (q - uk) * (l.along[j] - l.along[k]) / (uj - uk));
        }
        std::sort(cuts.begin(), cuts.end());
    };
    // Each side's line meets a grid line once, so a walk meets at most n
    // refused floats before one that is accepted, and two past each end of
    // a stretch. Returns false for a line farther than the point found.
    const long long walk = n + 3;
    const long long maxLines = std::max(16LL, maxWork / (n + 8));
    long long budget = maxLines, searchedLines = 0;
    auto scan = [&](const Lines& l, long long k) {
        ZCoreLib::ZCancel::poll();
        budget--;
        searchedLines++;
        const double q = keyFloat(k);
        if ((q - l.centreAcross) * (q - l.centreAcross) >= best)
            return false;
        stretches(l, q);
        for (std::size_t i = 0; i + 1 < cuts.size(); i += 2) {
            const long long lo = key(cuts[i]) - 1, hi = key(cuts[i + 1]) + 1;
            const long long from = std::min(std::max(key(l.centreAlong), lo), hi);
            for (long long d = 0; d <= walk; d++)
                for (long long side = d > 0 ? -1 : 1; side <= 1; side += 2) {
                    const long long m = from + side * d;
                    if (m < lo || m > hi)
                        continue;
                    const double r = keyFloat(m);
                    const double qx = l.row ? r : q, qy = l.row ? q : r;
                    const double dist = (qx - cx) * (qx - cx) + (qy - cy) * (qy - cy);
                    if (dist >= best || !accepted(qx, qy))
                        continue;
                    best = dist;
                    px = static_cast<float>(qx);
                    py = static_cast<float>(qy);
                }
        }
        return true;
    };
    // Lines outward from the centroid's until a line farther than the point
    // found, all lines, or limit lines; true when the lines end.
    auto outward = [&](const Lines& l, long long limit) {
        const long long mid = std::min(std::max(key(l.centreAcross), l.first), l.last);
        for (long long d = 0;; d++) {
            const bool below = mid - d >= l.first, above = d > 0 && mid + d <= l.last;
            if (!below && !above)
                return true;
            if (limit <= 0)
                return false;
            const bool nearBelow = below && scan(l, mid - d);
            const bool nearAbove = above && scan(l, mid + d);
            if (!nearBelow && !nearAbove && found())
                return true;
            limit -= below + above;
        }
    };
    // The lines through the nodes are measured and searched in what the
    // rows and columns nearest the centroid leave.
    const long long nodeShare = std::min(maxLines / 2, 2LL * n * (2 * nodeLines + 2));
    const long long nearShare = (maxLines - nodeShare) / 2;
    const bool allRows = outward(rows, noRows <= maxLines ? noRows : nearShare);
    if (found() || allRows)
        return found();
    const bool allCols = outward(cols, noCols <= budget ? noCols : nearShare);
    if (found() || allCols)
        return found();
    // The rows and columns through the nodes, where the element is widest,
    // measured in floats.
    std::vector<std::array<long long, 3>> byWidth; // minus the width, rows 0 or columns 1, line
    const long long measured = budget / 2;
    for (const Lines* l : {&rows, &cols})
        for (int k = 0; k < n; k++) {
            const long long at = key(l->across[k]);
            long long width = 0;
            if (budget > measured) {
                budget--;
                stretches(*l, keyFloat(at));
                for (std::size_t i = 0; i + 1 < cuts.size(); i += 2)
                    width += key(cuts[i + 1]) - key(cuts[i]);
            }
            byWidth.push_back({-width, l->row ? 0 : 1, at});
        }
    std::sort(byWidth.begin(), byWidth.end());
    for (const auto& w : byWidth) {
        const Lines& l = w[1] == 0 ? rows : cols;
        const long long at = w[2];
        for (long long k = std::max(at - nodeLines, l.first); k <= std::min(at + nodeLines, l.last) && budget > 0;
             k++)
            if (scan(l, k) && found())
                return true;
    }
    searched = "the " + str(searchedLines) + " rows and columns of the float grid searched, nearest its "
               "centroid and through its nodes, of the " + str(noRows) + " rows and " + str(noCols) +
               " columns it spans";
    return false;
}

} // namespace hestor
