// The element groups between sections that cut the mesh from outline to
// outline. An element belongs to the polygon of outline and section nodes
// that holds its centroid, however the sections run across the elements.
//
// Locating every centroid in the polygons alone would cost, on a ragged
// outline, the outline's length per element. So the elements are first
// joined across the interior faces whose centroid link neither meets a
// section step nor passes a section's end: each such piece lies within one
// polygon, and one centroid per piece is located.

#include "hsMesh2D.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "ZCancel.h"
#include "ZMessage.h"

using namespace ZCoreLib;

namespace hestor {

namespace {

const std::string chopWhere = "hsMesh2D::chopMesh: ";
const std::string chopRule =
    "; each section must cross the mesh from outline to outline, and no two may cross.";

// A section as a chord of the ring: its ends at ring positions lo < hi,
// counted from a position where no section ends.
struct chord {
    int lo, hi, section;
    bool forward; // the section's first node lies at lo
    // The section's share of twice the area it encloses with the ring from lo
    // to hi, signed so that more is larger: of sections sharing both ends,
    // the one enclosing more holds the others.
    double area;
};

// Twice the signed area of the polygon, relative to its first node.
double twiceArea(const std::vector<int>& nodes, const double* x, const double* y)
{
    double a = 0.0;
    const double x0 = x[nodes[0]], y0 = y[nodes[0]];
    for (std::size_t k = 0; k < nodes.size(); ++k) {
        const int p = nodes[k], q = nodes[(k + 1) % nodes.size()];
        a += (x[p] - x0) * (y[q] - y0) - (x[q] - x0) * (y[p] - y0);
    }
    return a;
}

// The ring position of each ring node. A node that occurs twice on the ring
// (the outline touches itself) counts where it occurs first.
std::unordered_map<int, int> ringPositions(const std::vector<int>& ring)
{
    std::unordered_map<int, int> at;
    for (int k = static_cast<int>(ring.size()) - 1; k >= 0; --k)
        at[ring[k]] = k;
    return at;
}

// The sections as chords of the ring, at positions counted from start, a
// ring position where no section ends (so that no chord straddles it; when
// every node is an end, the first node).
std::vector<chord> ringChords(const std::vector<int>& ring, int** sections, int nSections,
                              const int* lengths, const double* x, const double* y, int& start)
{
    const int m = static_cast<int>(ring.size());
    const std::unordered_map<int, int> at = ringPositions(ring);
    std::vector<char> isEnd(static_cast<std::size_t>(m), 0);
    std::vector<std::pair<int, int>> ends;
    for (int s = 0; s < nSections; ++s) {
        const auto a = at.find(sections[s][0]), b = at.find(sections[s][lengths[s] - 1]);
        if (a == at.end() || b == at.end())
            throw ZException("hsMesh2D::chopDomian: section does not end on cirumference.");
        if (a->second == b->second)
            throw ZException(chopWhere + "section " + str(s) + " begins and ends at node " +
                             str(sections[s][0]) + chopRule);
        ends.emplace_back(a->second, b->second);
        isEnd[a->second] = isEnd[b->second] = 1;
    }
    start = 0;
    while (start < m && isEnd[start])
        ++start;
    if (start == m)
        start = 0;
    // A polygon of ring stretch and section turns as the ring does, and
    // sections sharing both ends share the stretch's terms of its area.
    const double turn = twiceArea(ring, x, y) < 0 ? -1.0 : 1.0;
    std::vector<chord> chords;
    for (int s = 0; s < nSections; ++s) {
        const int a = (ends[s].first - start + m) % m, b = (ends[s].second - start + m) % m;
        const int* sec = sections[s];
        const int last = lengths[s] - 1, o = a < b ? sec[0] : sec[last];
        double area = 0.0;
        for (int k = 0; k < last; ++k) {
            const int p = sec[k], q = sec[k + 1];
            area += (x[p] - x[o]) * (y[q] - y[o]) - (x[q] - x[o]) * (y[p] - y[o]);
        }
        // Summed from the first node on; the polygon runs from the hi end.
        chords.push_back(
            {std::min(a, b), std::max(a, b), s, a < b, a < b ? -turn * area : turn * area});
    }
    return chords;
}

// Sorts the chords outer first and returns, per chord and last for the ring
// itself, the chords nested directly in it, by position. Chords whose
// stretches of the ring overlap without nesting cross.
std::vector<std::vector<int>> nestChords(std::vector<chord>& chords)
{
    std::sort(chords.begin(), chords.end(), [](const chord& p, const chord& q) {
        return std::make_tuple(p.lo, -p.hi, -p.area, p.section) <
               std::make_tuple(q.lo, -q.hi, -q.area, q.section);
    });
    const int n = static_cast<int>(chords.size());
    std::vector<std::vector<int>> children(static_cast<std::size_t>(n) + 1);
    std::vector<int> open;
    for (int c = 0; c < n; ++c) {
        while (!open.empty() && chords[open.back()].hi <= chords[c].lo)
            open.pop_back();
        if (!open.empty() && chords[c].hi > chords[open.back()].hi) {
            const int a = chords[c].section, b = chords[open.back()].section;
            throw ZException(chopWhere + "sections " + str(std::min(a, b)) + " and " +
                             str(std::max(a, b)) + " cross" + chopRule);
        }
        children[open.empty() ? n : open.back()].push_back(c);
        open.push_back(c);
    }
    return children;
}

// A sum that keeps the rounding of its additions (Neumaier), for areas that
// are small differences of large sums.
struct compensatedSum {
    double sum = 0.0, carry = 0.0;
    void add(double v)
    {
        const double t = sum + v;
        carry += std::fabs(sum) >= std::fabs(v) ? (sum - t) + v : (v - t) + sum;
        sum = t;
    }
    double value() const { return sum + carry; }
};

// Refuses a section that encloses no area with the outline (one along it).
// Each section parts the ring in two, whichever ring position the polygons
// start from; neither part may be flat.
void requireArea(const std::vector<hsMesh2D::chopPolygon>& polygons, const std::vector<int>& ring,
                 int** sections, int nSections, const int* lengths, const double* x,
                 const double* y)
{
    const int m = static_cast<int>(ring.size());
    const double x0 = x[ring[0]], y0 = y[ring[0]];
    double extent = 0.0;
    for (int v : ring)
        extent = std::max({extent, std::fabs(x[v] - x0), std::fabs(y[v] - y0)});
    const double least = 1e-12 * extent * extent;
    auto refuse = [&](int s) {
        throw ZException(chopWhere + "section " + str(s) + " encloses no area with the outline" +
                         chopRule);
    };
    auto term = [&](int p, int q) {
        return (x[p] - x0) * (y[q] - y0) - (x[q] - x0) * (y[p] - y0);
    };
    // The ring's partial sums, so that a part costs only its section.
    std::vector<compensatedSum> upTo(static_cast<std::size_t>(m) + 1);
    for (int k = 0; k < m; ++k) {
        upTo[k + 1] = upTo[k];
        upTo[k + 1].add(term(ring[k], ring[(k + 1) % m]));
    }
    const double whole = upTo[m].value();
    auto onwards = [&](int a, int b) { // the ring from position a on to position b
        const double d = (upTo[b].sum - upTo[a].sum) + (upTo[b].carry - upTo[a].carry);
        return a <= b ? d : d + whole;
    };
    const std::unordered_map<int, int> at = ringPositions(ring);
    for (int s = 0; s < nSections; ++s) {
        compensatedSum part;
        for (int k = 0; k + 1 < lengths[s]; ++k)
            part.add(term(sections[s][k], sections[s][k + 1]));
        part.add(onwards(at.at(sections[s][lengths[s] - 1]), at.at(sections[s][0])));
        // The part back along the ring is this one less the ring.
        if (!(std::fabs(part.value()) > least) || !(std::fabs(part.value() - whole) > least))
            refuse(s);
    }
    for (std::size_t p = 1; p < polygons.size(); ++p)
        if (!(std::fabs(twiceArea(polygons[p].nodes, x, y)) > least))
            refuse(static_cast<int>(p) - 1);
}

// A step of a section between two distinct nodes; k counts the section's
// steps without repeats of a node.
struct step {
    int section, k, a, b;
};

// Calls visit(i, j), i < j, for every pair of steps that may come within
// reach of each other (and some that do not): each step is entered in the
// cells it passes of a grid about one mean step wide, and a pair shares one.
template <typename Visit>
void nearPairs(const std::vector<step>& steps, const double* x, const double* y, double reach,
               Visit visit)
{
    if (steps.empty())
        return;
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL, length = 0.0;
    for (const step& s : steps) {
        for (int v : {s.a, s.b}) {
            x0 = std::min(x0, x[v]);
            y0 = std::min(y0, y[v]);
            x1 = std::max(x1, x[v]);
            y1 = std::max(y1, y[v]);
        }
        length += std::hypot(x[s.b] - x[s.a], y[s.b] - y[s.a]);
    }
    // Cells at least one mean step wide, so that the steps pass a few cells
    // each on the whole; at most a million across, so that the keys stay exact.
    double h =
        std::max(length / static_cast<double>(steps.size()), 1e-6 * std::max(x1 - x0, y1 - y0));
    if (!(h > 0))
        h = 1.0;
    const double pad = reach + 1e-9 * h;
    const long long rows = static_cast<long long>((y1 - y0) / h) + 3;
    auto cell = [&](double v, double v0) {
        return static_cast<long long>(std::floor((v - v0) / h));
    };
    std::vector<std::pair<long long, std::size_t>> entries;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        ZCancel::poll();
        const double ax = x[steps[i].a], ay = y[steps[i].a], bx = x[steps[i].b], by = y[steps[i].b];
        const double lo = std::min(ax, bx) - pad, hi = std::max(ax, bx) + pad;
        for (long long c = cell(lo, x0), last = cell(hi, x0); c <= last; ++c) {
            // The step's stretch of y within the column.
            double ya = ay, yb = by;
            if (bx != ax) {
                const double c0 = std::max(lo, x0 + static_cast<double>(c) * h);
                const double c1 = std::min(hi, x0 + static_cast<double>(c + 1) * h);
                const double t0 = std::clamp((c0 - ax) / (bx - ax), 0.0, 1.0);
                const double t1 = std::clamp((c1 - ax) / (bx - ax), 0.0, 1.0);
                ya = ay + t0 * (by - ay);
                yb = ay + t1 * (by - ay);
            }
            for (long long r = cell(std::min(ya, yb) - pad, y0),
                           rl = cell(std::max(ya, yb) + pad, y0);
                 r <= rl; ++r)
                entries.emplace_back(c * rows + r + 1, i);
        }
    }
    std::sort(entries.begin(), entries.end());
    for (std::size_t p = 0; p < entries.size();) {
        std::size_t q = p;
        while (q < entries.size() && entries[q].first == entries[p].first)
            ++q;
        for (std::size_t i = p; i < q; ++i) {
            ZCancel::poll();
            for (std::size_t j = i + 1; j < q; ++j)
                visit(entries[i].second, entries[j].second);
        }
        p = q;
    }
}

// Whether (px, py) lies on the step from node a to node b, within tol.
bool onStep(int a, int b, double px, double py, const double* x, const double* y, double tol)
{
    const double dx = x[b] - x[a], dy = y[b] - y[a], len = std::hypot(dx, dy);
    const double rx = px - x[a], ry = py - y[a];
    if (!(len > 0))
        return std::hypot(rx, ry) <= tol;
    const double along = (dx * rx + dy * ry) / len;
    return std::fabs(dx * ry - dy * rx) <= tol * len && along >= -tol && along <= len + tol;
}

// Whether two steps that share no node but shared (-1: none) meet, and the
// lowest point (x first) where they do.
bool stepsMeet(const step& p, const step& q, int shared, const double* x, const double* y,
               double tol, double& mx, double& my)
{
    bool met = false;
    auto meet = [&](double px, double py) {
        if (!met || std::tie(px, py) < std::tie(mx, my)) {
            mx = px;
            my = py;
        }
        met = true;
    };
    for (const auto& [on, other] : {std::make_pair(p, q), std::make_pair(q, p)})
        for (int v : {other.a, other.b})
            if (v != shared && onStep(on.a, on.b, x[v], y[v], x, y, tol))
                meet(x[v], y[v]);
    if (met || shared >= 0)
        return met;
    // Distances from the line of the step from a to b, within tol counted 0.
    auto side = [&](int a, int b, int v) {
        const double dx = x[b] - x[a], dy = y[b] - y[a], len = std::hypot(dx, dy);
        const double d = len > 0 ? (dx * (y[v] - y[a]) - dy * (x[v] - x[a])) / len : 0.0;
        return std::fabs(d) <= tol ? 0.0 : d;
    };
    const double qa = side(p.a, p.b, q.a), qb = side(p.a, p.b, q.b);
    const double pa = side(q.a, q.b, p.a), pb = side(q.a, q.b, p.b);
    if (qa * qb >= 0 || pa * pb >= 0)
        return false;
    const double t = pa / (pa - pb);
    meet(x[p.a] + t * (x[p.b] - x[p.a]), y[p.a] + t * (y[p.b] - y[p.a]));
    return true;
}

// Refuses sections that meet themselves or each other anywhere but at the
// ends two sections share on the outline: the regions between them would
// wind the other way, twice, or touch at a point. Of the meetings the one
// named is the first by sections, then by place, whichever way they run.
void requireApart(int** sections, int nSections, const int* lengths, const double* x,
                  const double* y)
{
    std::vector<step> steps;
    double scale = 0.0;
    for (int s = 0; s < nSections; ++s)
        for (int i = 1, k = 0, from = sections[s][0]; i < lengths[s]; ++i) {
            const int to = sections[s][i];
            if (to == from)
                continue;
            steps.push_back({s, k++, from, to});
            scale = std::max({scale, std::fabs(x[from]), std::fabs(y[from]), std::fabs(x[to]),
                              std::fabs(y[to])});
            from = to;
        }
    const double tol = 1e-12 * scale;
    auto isEnd = [&](int s, int v) {
        return v == sections[s][0] || v == sections[s][lengths[s] - 1];
    };
    bool found = false;
    std::tuple<int, int, double, double> first;
    int atNode = -1;
    auto note = [&](const step& p, const step& q, double mx, double my, int node) {
        const auto key = std::make_tuple(p.section, q.section, mx, my);
        if (!found || key < first) {
            first = key;
            atNode = node;
        }
        found = true;
    };
    nearPairs(steps, x, y, tol, [&](std::size_t i, std::size_t j) {
        const step& p = steps[i];
        const step& q = steps[j];
        int shared = -1, count = 0;
        for (int v : {p.a, p.b}) {
            if (v != q.a && v != q.b)
                continue;
            const bool may = p.section == q.section ? q.k == p.k + 1 && v == p.b
                                                    : isEnd(p.section, v) && isEnd(q.section, v);
            if (!may)
                return note(p, q, x[v], y[v], v);
            shared = v;
            ++count;
        }
        double mx = 0.0, my = 0.0;
        if (count == 2) // the same step twice
            note(p, q, 0.5 * (x[p.a] + x[p.b]), 0.5 * (y[p.a] + y[p.b]), -1);
        else if (stepsMeet(p, q, shared, x, y, tol, mx, my))
            note(p, q, mx, my, -1);
    });
    if (!found)
        return;
    const auto [s, t, mx, my] = first;
    const std::string who = s == t ? "section " + str(s) + " crosses or touches itself"
                                   : "sections " + str(s) + " and " + str(t) + " cross or touch";
    const std::string where = atNode >= 0 ? " at node " + str(atNode)
                                          : " at (" + std::to_string(mx) + ", " +
                                                std::to_string(my) + ")";
    throw ZException(chopWhere + "the sections cross each other or themselves: " + who + where +
                     chopRule);
}

// The group of each polygon: in the order in which the outline walk from its
// first face meets them; polygons that hold no outline face follow, by their
// lowest element (polyOf: each element's polygon, -1 none).
std::vector<int> groupOrder(const std::vector<hsMesh2D::chopPolygon>& polygons,
                            const std::vector<int>& polyOf)
{
    const int n = static_cast<int>(polygons.size());
    std::vector<int> lowest(static_cast<std::size_t>(n), static_cast<int>(polyOf.size()));
    for (int e = static_cast<int>(polyOf.size()) - 1; e >= 0; --e)
        if (polyOf[e] >= 0)
            lowest[polyOf[e]] = e;
    auto key = [&](int p) {
        const int f = polygons[p].firstFace;
        return std::make_tuple(f < 0, f < 0 ? lowest[p] : f, p);
    };
    std::vector<int> order(static_cast<std::size_t>(n));
    for (int p = 0; p < n; ++p)
        order[p] = p;
    std::sort(order.begin(), order.end(), [&](int a, int b) { return key(a) < key(b); });
    std::vector<int> group(static_cast<std::size_t>(n));
    for (int g = 0; g < n; ++g)
        group[order[g]] = g;
    return group;
}

// Polygon edges bucketed by horizontal bands, for the crossing-number rule.
// Each edge is evaluated from its lower end, so that an edge two polygons
// share gives both the same crossing and a point on it lands in one of them.
class edgeBands {
public:
    struct edge {
        double lx, ly, hx, hy;
        int polygon;
    };

    explicit edgeBands(std::vector<edge> edges) : edges_(std::move(edges))
    {
        if (edges_.empty())
            return;
        y0_ = edges_[0].ly;
        double y1 = edges_[0].hy, spans = 0.0;
        for (const edge& e : edges_) {
            y0_ = std::min(y0_, e.ly);
            y1 = std::max(y1, e.hy);
            spans += e.hy - e.ly;
        }
        // As many bands as keep the entries of edges that span several bands
        // (teeth of a comb) within a few per edge.
        const double most = static_cast<double>(edges_.size());
        const double fit = spans > 0 ? (y1 - y0_) * most / spans : most;
        bands_ = static_cast<std::size_t>(std::max(1.0, std::min({most / 2, fit, most})));
        height_ = y1 > y0_ ? (y1 - y0_) / static_cast<double>(bands_) : 1.0;
        std::vector<std::size_t> count(bands_ + 1, 0);
        for (const edge& e : edges_)
            for (std::size_t b = band(e.ly); b <= band(e.hy); ++b)
                count[b + 1]++;
        for (std::size_t b = 0; b < bands_; ++b)
            count[b + 1] += count[b];
        start_ = count;
        index_.resize(count[bands_]);
        for (std::size_t i = 0; i < edges_.size(); ++i)
            for (std::size_t b = band(edges_[i].ly); b <= band(edges_[i].hy); ++b)
                index_[count[b]++] = i;
    }

    // The polygons whose crossing count for (px, py) is odd, ascending.
    std::vector<int> holding(double px, double py) const
    {
        std::vector<int> odd;
        if (bands_ == 0 || !(py >= y0_))
            return odd;
        const std::size_t b = band(py);
        for (std::size_t k = start_[b]; k < start_[b + 1]; ++k) {
            const edge& e = edges_[index_[k]];
            if ((e.ly > py) == (e.hy > py))
                continue;
            if (e.lx + (e.hx - e.lx) * (py - e.ly) / (e.hy - e.ly) > px)
                odd.push_back(e.polygon);
        }
        std::sort(odd.begin(), odd.end());
        std::vector<int> out;
        for (std::size_t i = 0; i < odd.size();) {
            std::size_t j = i;
            while (j < odd.size() && odd[j] == odd[i])
                ++j;
            if ((j - i) % 2 == 1)
                out.push_back(odd[i]);
            i = j;
        }
        return out;
    }

private:
    std::vector<edge> edges_;
    std::vector<std::size_t> start_, index_;
    std::size_t bands_ = 0;
    double y0_ = 0.0, height_ = 1.0;

    std::size_t band(double y) const
    {
        const double b = std::floor((y - y0_) / height_);
        if (!(b > 0))
            return 0;
        return b >= static_cast<double>(bands_ - 1) ? bands_ - 1 : static_cast<std::size_t>(b);
    }
};

// Points sorted by x, asked whether any lies in a triangle.
class pointsByX {
public:
    explicit pointsByX(std::vector<std::pair<double, double>> points) : points_(std::move(points))
    {
        std::sort(points_.begin(), points_.end());
    }

    // Whether a point lies in the triangle (tx, ty) or within rounding of it.
    bool anyIn(const double* tx, const double* ty) const
    {
        const auto [x0, x1] = std::minmax({tx[0], tx[1], tx[2]});
        const auto [y0, y1] = std::minmax({ty[0], ty[1], ty[2]});
        const double near = 1e-9 * std::max({x1 - x0, y1 - y0, std::fabs(x0), std::fabs(x1),
                                             std::fabs(y0), std::fabs(y1)});
        auto p = std::lower_bound(points_.begin(), points_.end(),
                                  std::make_pair(x0 - near, -HUGE_VAL));
        for (; p != points_.end() && p->first <= x1 + near; ++p) {
            if (p->second < y0 - near || p->second > y1 + near)
                continue;
            const double turn =
                (tx[1] - tx[0]) * (ty[2] - ty[0]) - (tx[2] - tx[0]) * (ty[1] - ty[0]);
            const double sign = turn < 0 ? -1.0 : 1.0;
            bool inside = true;
            for (int k = 0; k < 3 && inside; ++k) {
                const double ex = tx[(k + 1) % 3] - tx[k], ey = ty[(k + 1) % 3] - ty[k];
                const double len = std::hypot(ex, ey);
                const double side = ex * (p->second - ty[k]) - ey * (p->first - tx[k]);
                if (len > 0)
                    inside = sign * side >= -near * len;
            }
            if (inside)
                return true;
        }
        return false;
    }

private:
    std::vector<std::pair<double, double>> points_;
};

} // namespace

std::vector<hsMesh2D::chopPolygon> hsMesh2D::chopPolygons(const std::vector<int>& ring,
                                                          int** sections, int nSections,
                                                          const int* lengths, const double* x,
                                                          const double* y)
{
    const int m = static_cast<int>(ring.size());
    int start = 0;
    std::vector<chord> chords = ringChords(ring, sections, nSections, lengths, x, y, start);
    const int n = static_cast<int>(chords.size());
    const std::vector<std::vector<int>> children = nestChords(chords);

    // The inner nodes of a chord's section, from its lo end or from its hi end.
    auto inner = [&](const chord& c, bool fromLo, std::vector<int>& out) {
        const int* sec = sections[c.section];
        const int len = lengths[c.section];
        if (fromLo == c.forward)
            out.insert(out.end(), sec + 1, sec + len - 1);
        else
            for (int k = len - 2; k >= 1; --k)
                out.push_back(sec[k]);
    };
    // The walk along the ring from lo to hi, across the chords nested in owner.
    auto walk = [&](int owner, int lo, int hi, chopPolygon& poly) {
        std::size_t next = 0;
        const std::vector<int>& kids = children[owner];
        for (int p = lo;;) {
            ZCancel::poll();
            poly.nodes.push_back(ring[(p + start) % m]);
            if (p == hi)
                break;
            if (next < kids.size() && chords[kids[next]].lo == p) {
                const chord& k = chords[kids[next++]];
                inner(k, true, poly.nodes);
                p = k.hi;
                continue;
            }
            const int face = (p + start) % m;
            if (poly.firstFace < 0 || face < poly.firstFace)
                poly.firstFace = face;
            ++p;
        }
    };

    std::vector<chopPolygon> out(static_cast<std::size_t>(n) + 1, chopPolygon{{}, -1});
    walk(n, 0, m, out[0]);
    out[0].nodes.pop_back(); // position m is the start again
    for (int c = 0; c < n; ++c) {
        chopPolygon& poly = out[static_cast<std::size_t>(chords[c].section) + 1];
        walk(c, chords[c].lo, chords[c].hi, poly);
        inner(chords[c], false, poly.nodes);
    }
    return out;
}

std::vector<int> hsMesh2D::chopLocate(const std::vector<chopPolygon>& polygons,
                                      const std::vector<int>& ring, const double* x,
                                      const double* y, const double* px, const double* py, int n)
{
    const int ringId = static_cast<int>(polygons.size());
    std::vector<edgeBands::edge> edges;
    auto add = [&](const std::vector<int>& nodes, int id) {
        for (std::size_t k = 0; k < nodes.size(); ++k) {
            const int a = nodes[k], b = nodes[(k + 1) % nodes.size()];
            const bool aLow = std::tie(y[a], x[a]) < std::tie(y[b], x[b]);
            const int lo = aLow ? a : b, hi = aLow ? b : a;
            edges.push_back({x[lo], y[lo], x[hi], y[hi], id});
        }
    };
    for (int p = 0; p < ringId; ++p)
        add(polygons[p].nodes, p);
    add(ring, ringId);
    const edgeBands bands(std::move(edges));
    std::vector<int> where(static_cast<std::size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i) {
        ZCancel::poll();
        const std::vector<int> in = bands.holding(px[i], py[i]);
        const bool inRing = !in.empty() && in.back() == ringId;
        const std::size_t polys = in.size() - (inRing ? 1 : 0);
        where[i] = polys == 1 ? in[0] : polys == 0 && !inRing ? -1 : -2;
    }
    return where;
}

std::vector<char> hsMesh2D::cutLinks(int** sections, int nSections, const int* lengths)
{
    // Links that come this close count as meeting a step: cutting one too
    // many only splits a piece, which is then located on its own.
    std::vector<std::array<double, 5>> steps;
    for (int s = 0; s < nSections; ++s)
        for (int k = 0; k + 1 < lengths[s]; ++k) {
            const int a = sections[s][k], b = sections[s][k + 1];
            if (a == b)
                continue;
            const double near = 1e-9 * std::max({std::hypot(nX[b] - nX[a], nY[b] - nY[a]),
                                                 std::fabs(nX[a]), std::fabs(nY[a]),
                                                 std::fabs(nX[b]), std::fabs(nY[b])});
            steps.push_back({nX[a], nY[a], nX[b], nY[b], near});
        }
    std::vector<char> cut(static_cast<std::size_t>(noivf), 0);
    linksNearSegments(steps, [&](std::size_t k, int f) {
        const double ax = steps[k][0], ay = steps[k][1], bx = steps[k][2], by = steps[k][3];
        const double near = steps[k][4];
        const double sx = bx - ax, sy = by - ay, len = std::hypot(sx, sy);
        const int e = vfe[2 * f], o = vfe[2 * f + 1];
        const double lx = eX[o] - eX[e], ly = eY[o] - eY[e];
        const double ll = std::hypot(lx, ly);
        // Signed distances of the link's ends from the step's line, and of
        // the step's ends from the link's line.
        const double de = (sx * (eY[e] - ay) - sy * (eX[e] - ax)) / len;
        const double dO = (sx * (eY[o] - ay) - sy * (eX[o] - ax)) / len;
        const double da = ll > 0 ? (lx * (ay - eY[e]) - ly * (ax - eX[e])) / ll : 0.0;
        const double db = ll > 0 ? (lx * (by - eY[e]) - ly * (bx - eX[e])) / ll : 0.0;
        if ((de > near && dO > near) || (de < -near && dO < -near))
            return;
        if ((da > near && db > near) || (da < -near && db < -near))
            return; // crosses the step's line beyond the step's ends
        cut[f] = 1;
    });
    // A link may leave the outline at a notch and pass a section's end on the
    // far side, meeting no step although the section parts its centroids. The
    // path from centroid to face midpoint to centroid stays within two convex
    // elements, so a section that parts them crosses it and, missing the
    // link, ends within the triangle of path and link.
    std::vector<std::pair<double, double>> ends;
    for (int s = 0; s < nSections; ++s)
        for (int v : {sections[s][0], sections[s][lengths[s] - 1]})
            ends.emplace_back(nX[v], nY[v]);
    const pointsByX endsByX(std::move(ends));
    for (int f = 0; f < noivf; ++f) {
        if (cut[f])
            continue;
        const int e = vfe[2 * f], o = vfe[2 * f + 1];
        const double tx[] = {eX[e], vfxc[f], eX[o]}, ty[] = {eY[e], vfyc[f], eY[o]};
        cut[f] = endsByX.anyIn(tx, ty);
    }
    return cut;
}

std::vector<int> hsMesh2D::chopRegions(int** sections, int nSections, const int* lengths)
{
    int* raw = nullptr;
    const int m = circumferenceNodes(raw);
    const std::unique_ptr<int[]> ringNodes(raw);
    const std::vector<int> ring(ringNodes.get(), ringNodes.get() + m);
    const std::vector<chopPolygon> polygons =
        chopPolygons(ring, sections, nSections, lengths, nX, nY);
    requireApart(sections, nSections, lengths, nX, nY);
    requireArea(polygons, ring, sections, nSections, lengths, nX, nY);

    const std::vector<int> piece = piecesApart(cutLinks(sections, nSections, lengths));
    std::vector<int> reps;
    std::vector<double> rx, ry;
    for (int e = 0; e < noe; ++e)
        if (piece[e] == e) {
            reps.push_back(e);
            rx.push_back(eX[e]);
            ry.push_back(eY[e]);
        }
    const std::vector<int> in = chopLocate(polygons, ring, nX, nY, rx.data(), ry.data(),
                                           static_cast<int>(reps.size()));
    std::vector<int> polyOfRep(static_cast<std::size_t>(noe), -1);
    for (std::size_t i = 0; i < reps.size(); ++i) {
        if (in[i] == -2)
            throw ZException(chopWhere + "the sections cross each other or themselves: the "
                             "centroid of element " + str(reps[i]) +
                             " lies in none or several of the regions they make" + chopRule);
        polyOfRep[reps[i]] = in[i];
    }
    std::vector<int> groupOf(static_cast<std::size_t>(noe));
    for (int e = 0; e < noe; ++e)
        groupOf[e] = polyOfRep[piece[e]];
    const std::vector<int> group = groupOrder(polygons, groupOf);
    for (int& g : groupOf)
        if (g >= 0)
            g = group[g];
    return groupOf;
}

std::vector<int> hsMesh2D::piecesApart(const std::vector<char>& cut) const
{
    std::vector<int> parent(static_cast<std::size_t>(noe));
    for (int e = 0; e < noe; ++e)
        parent[e] = e;
    auto root = [&](int e) {
        while (parent[e] != e)
            e = parent[e] = parent[parent[e]];
        return e;
    };
    for (int f = 0; f < noivf; ++f)
        if (!cut[f]) {
            const int a = root(vfe[2 * f]), b = root(vfe[2 * f + 1]);
            if (a != b)
                parent[std::max(a, b)] = std::min(a, b);
        }
    for (int e = 0; e < noe; ++e)
        parent[e] = root(e);
    return parent;
}

int** hsMesh2D::chopMesh(int** sections, int nSections, int* lengths, int*& groupSizes)
{
    groupSizes = nullptr;
    if (nSections < 0)
        return nullptr;
    if (nSections > 0 && (sections == nullptr || lengths == nullptr))
        throw ZException(chopWhere + "no sections given for " + str(nSections) + " sections.");
    for (int s = 0; s < nSections; ++s) {
        if (sections[s] == nullptr)
            throw ZException(chopWhere + "section " + str(s) + " is a null pointer.");
        if (lengths[s] < 2)
            throw ZException(chopWhere + "section " + str(s) + " has " + str(lengths[s]) +
                             " nodes; a section needs at least 2.");
        for (int k = 0; k < lengths[s]; ++k)
            if (sections[s][k] < 0 || sections[s][k] >= non)
                throw ZException(chopWhere + "section " + str(s) + " refers to node " +
                                 str(sections[s][k]) + ", outside 0.." + str(non - 1) + ".");
    }
    requireDerived("hsMesh2D::chopMesh");

    const int nGroups = nSections + 1;
    std::vector<int> groupOf(static_cast<size_t>(noe), 0);
    if (nSections > 0)
        groupOf = chopRegions(sections, nSections, lengths);

    std::vector<std::vector<int>> groups(static_cast<size_t>(nGroups));
    for (int e = 0; e < noe; ++e)
        if (groupOf[e] >= 0)
            groups[groupOf[e]].push_back(e);
    std::unique_ptr<std::unique_ptr<int[]>[]> lists(new std::unique_ptr<int[]>[nGroups]);
    std::unique_ptr<int[]> sizes(new int[nGroups]);
    for (int g = 0; g < nGroups; ++g) {
        lists[g].reset(new int[groups[g].size()]);
        std::copy(groups[g].begin(), groups[g].end(), lists[g].get());
        sizes[g] = static_cast<int>(groups[g].size());
    }
    int** out = new int*[nGroups];
    for (int g = 0; g < nGroups; ++g)
        out[g] = lists[g].release();
    groupSizes = sizes.release();
    return out;
}

} // namespace hestor
