// Point, outline and section queries on a built mesh, grid centres inside it,
// centroid distances and shortest paths over element edges.

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "hsMesh2D.h"
#include "ZCancel.h"
#include "ZConvert.h"
#include "ZMessage.h"
#include "ZPoly.h"
#include "Zkdtree.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::str;

namespace {

struct Box {
    double x0, y0, x1, y1;
    bool holds(double x, double y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

// Whether the segment from (x1, y1) to (x2, y2) can come within m of the box:
// the box's axes and the segment's normal are the only separating axes.
bool segmentNearBox(const Box& b, double x1, double y1, double x2, double y2, double m) {
    if (std::max(x1, x2) < b.x0 - m || std::min(x1, x2) > b.x1 + m || std::max(y1, y2) < b.y0 - m ||
        std::min(y1, y2) > b.y1 + m)
        return false;
    const double rx = x2 - x1, ry = y2 - y1;
    const double reach = m * (std::fabs(rx) + std::fabs(ry));
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (double cx : {b.x0, b.x1})
        for (double cy : {b.y0, b.y1}) {
            const double s = rx * (cy - y1) - ry * (cx - x1);
            lo = std::min(lo, s);
            hi = std::max(hi, s);
        }
    return lo <= reach && hi >= -reach;
}

// Coordinates are compared after rounding; a margin this far above the unit
// roundoff of the largest coordinate keeps every boundary case inside its box.
double roundingMargin(double magnitude) { return 1e-12 * magnitude; }

template <class T>
T* newArrayFrom(const std::vector<T>& v) {
    T* a = new T[v.size()];
    std::copy(v.begin(), v.end(), a);
    return a;
}

} // namespace

// Lazily built indices behind pointElem and isPointInMesh. The pointers they
// were built from are kept so that an index that outlived its tables is noticed.
struct hsMesh2D::QueryIndex {
    // Bounding-box tree over element boxes. Each node knows the lowest element
    // index below it, so the search for the lowest containing element prunes
    // every subtree that cannot beat the best hit so far.
    struct BoxTree {
        struct Node {
            Box box;
            int minItem;
            int first, count;  // leaf: items[first .. first+count-1]
            int left, right;   // inner node: children, else -1
        };
        std::vector<Node> nodes;
        std::vector<int> items;
        std::vector<Box> boxes;

        void build(std::vector<Box> itemBoxes);
        int build(int lo, int hi, std::vector<double>& cx, std::vector<double>& cy);
        template <class Accept>
        int lowestContaining(double x, double y, Accept accept) const;
        // Calls visit(i) for every item whose box the segment comes within m of.
        template <class Visit>
        void nearSegment(double x1, double y1, double x2, double y2, double m, Visit visit) const;
    };

    // Edges of a closed ring bucketed by horizontal bands, so that the
    // crossing-number test reads only the edges that can straddle the point's y.
    struct EdgeBands {
        int n = 0;
        double y0 = 0, bandHeight = 1;
        int noBands = 0;
        std::vector<int> start;   // noBands + 1 offsets into edges
        std::vector<int> edges;   // edge i joins vertex i-1 (n-1 for i = 0) and vertex i

        void build(int count, const double* x, const double* y);
        int band(double y) const;
        bool inside(const double* x, const double* y, double px, double py) const;
    };

    bool elemBuilt = false;
    int builtNoe = 0;
    const double* builtEnX = nullptr;
    const double* builtEnY = nullptr;
    const int* builtEStart = nullptr;
    BoxTree elems;

    bool outlineBuilt = false;
    int builtNoCircumf = 0;
    const double* builtCircumfX = nullptr;
    const double* builtCircumfY = nullptr;
    EdgeBands outline;
};

void hsMesh2D::QueryIndexHolder::reset() {
    delete p;
    p = nullptr;
}

void hsMesh2D::resetQueryIndex() { queryIndex.reset(); }

// ---------------------------------------------------------------- BoxTree

void hsMesh2D::QueryIndex::BoxTree::build(std::vector<Box> itemBoxes) {
    boxes = std::move(itemBoxes);
    const int n = static_cast<int>(boxes.size());
    nodes.clear();
    items.resize(n);
    std::vector<double> cx(n), cy(n);
    for (int i = 0; i < n; i++) {
        items[i] = i;
        cx[i] = 0.5 * (boxes[i].x0 + boxes[i].x1);
        cy[i] = 0.5 * (boxes[i].y0 + boxes[i].y1);
    }
    nodes.reserve(n / 2 + 2);
    if (n > 0) build(0, n, cx, cy);
}

int hsMesh2D::QueryIndex::BoxTree::build(int lo, int hi, std::vector<double>& cx, std::vector<double>& cy) {
    ZCoreLib::ZCancel::poll();
    const int leafSize = 8;
    Node node;
    node.box = boxes[items[lo]];
    node.minItem = items[lo];
    double cx0 = cx[items[lo]], cx1 = cx0, cy0 = cy[items[lo]], cy1 = cy0;
    for (int k = lo + 1; k < hi; k++) {
        const int i = items[k];
        const Box& b = boxes[i];
        node.box.x0 = std::min(node.box.x0, b.x0);
        node.box.y0 = std::min(node.box.y0, b.y0);
        node.box.x1 = std::max(node.box.x1, b.x1);
        node.box.y1 = std::max(node.box.y1, b.y1);
        node.minItem = std::min(node.minItem, i);
        cx0 = std::min(cx0, cx[i]);
        cx1 = std::max(cx1, cx[i]);
        cy0 = std::min(cy0, cy[i]);
        cy1 = std::max(cy1, cy[i]);
    }
    node.first = lo;
    node.count = hi - lo;
    node.left = node.right = -1;
    const int id = static_cast<int>(nodes.size());
    nodes.push_back(node);
    if (hi - lo <= leafSize) return id;

    // Median split on the wider spread of the box centres keeps the depth logarithmic.
    const std::vector<double>& key = (cx1 - cx0 >= cy1 - cy0) ? cx : cy;
    const int mid = lo + (hi - lo) / 2;
    std::nth_element(items.begin() + lo, items.begin() + mid, items.begin() + hi,
                     [&key](int a, int b) { return key[a] < key[b]; });
    const int left = build(lo, mid, cx, cy);
    const int right = build(mid, hi, cx, cy);
    nodes[id].count = 0;
    nodes[id].left = left;
    nodes[id].right = right;
    return id;
}

template <class Accept>
int hsMesh2D::QueryIndex::BoxTree::lowestContaining(double x, double y, Accept accept) const {
    if (nodes.empty()) return -1;
    int best = INT_MAX;
    int stack[128];  // a median-split tree over int-indexed items is at most 31 levels deep
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = nodes[stack[--top]];
        if (node.minItem >= best || !node.box.holds(x, y)) continue;
        if (node.left < 0) {
            for (int k = node.first; k < node.first + node.count; k++) {
                const int i = items[k];
                if (i < best && boxes[i].holds(x, y) && accept(i)) best = i;
            }
            continue;
        }
        // The child with the lower minimum goes last, so it is searched first.
        const int a = node.left, b = node.right;
        if (nodes[a].minItem <= nodes[b].minItem) {
            stack[top++] = b;
            stack[top++] = a;
        } else {
            stack[top++] = a;
            stack[top++] = b;
        }
    }
    return best == INT_MAX ? -1 : best;
}

template <class Visit>
void hsMesh2D::QueryIndex::BoxTree::nearSegment(double x1, double y1, double x2, double y2, double m,
                                                Visit visit) const {
    if (nodes.empty()) return;
    int stack[128];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = nodes[stack[--top]];
        if (!segmentNearBox(node.box, x1, y1, x2, y2, m)) continue;
        if (node.left < 0) {
            for (int k = node.first; k < node.first + node.count; k++)
                if (segmentNearBox(boxes[items[k]], x1, y1, x2, y2, m)) visit(items[k]);
            continue;
        }
        stack[top++] = node.left;
        stack[top++] = node.right;
    }
}

// ---------------------------------------------------------------- EdgeBands

int hsMesh2D::QueryIndex::EdgeBands::band(double y) const {
    const double b = std::floor((y - y0) / bandHeight);
    if (!(b > 0)) return 0;
    if (b >= noBands - 1) return noBands - 1;
    return static_cast<int>(b);
}

void hsMesh2D::QueryIndex::EdgeBands::build(int count, const double* x, const double* y) {
    (void)x;
    n = count;
    start.assign(1, 0);
    edges.clear();
    noBands = 0;
    if (n < 1) return;
    double lo = y[0], hi = y[0];
    for (int i = 1; i < n; i++) {
        lo = std::min(lo, y[i]);
        hi = std::max(hi, y[i]);
    }
    noBands = std::max(1, n / 2);
    y0 = lo;
    bandHeight = (hi > lo) ? (hi - lo) / noBands : 1.0;
    std::vector<int> cnt(noBands + 1, 0);
    auto range = [&](int i, int& b0, int& b1) {
        const int j = (i == 0) ? n - 1 : i - 1;
        b0 = band(std::min(y[i], y[j]));
        b1 = band(std::max(y[i], y[j]));
    };
    for (int i = 0; i < n; i++) {
        int b0, b1;
        range(i, b0, b1);
        for (int b = b0; b <= b1; b++) cnt[b + 1]++;
    }
    for (int b = 0; b < noBands; b++) cnt[b + 1] += cnt[b];
    start = cnt;
    edges.resize(cnt[noBands]);
    for (int i = 0; i < n; i++) {
        int b0, b1;
        range(i, b0, b1);
        for (int b = b0; b <= b1; b++) edges[cnt[b]++] = i;
    }
}

// The crossing-number rule of ZPoly::inPoly, reading only the edges of one band:
// the parity of crossings does not depend on the order the edges are visited in.
bool hsMesh2D::QueryIndex::EdgeBands::inside(const double* x, const double* y, double px, double py) const {
    if (noBands == 0 || !(py >= y0)) return false;
    const int b = band(py);
    bool in = false;
    for (int k = start[b]; k < start[b + 1]; k++) {
        const int i = edges[k];
        const int j = (i == 0) ? n - 1 : i - 1;
        if ((y[i] > py) != (y[j] > py)) {
            const double xc = (x[j] - x[i]) * (py - y[i]) / (y[j] - y[i]) + x[i];
            if (xc > px) in = !in;
        }
    }
    return in;
}

// ---------------------------------------------------------------- indices

hsMesh2D::QueryIndex& hsMesh2D::queryIndexData() {
    if (!queryIndex.p) queryIndex.p = new QueryIndex;
    return *queryIndex.p;
}

void hsMesh2D::buildElemIndex() {
    requireDerived("pointElem");
    QueryIndex& qi = queryIndexData();
    if (qi.elemBuilt && qi.builtNoe == noe && qi.builtEnX == enX && qi.builtEnY == enY && qi.builtEStart == eStart)
        return;
    std::vector<Box> boxes(noe);
    double magnitude = 0;
    for (int e = 0; e < noe; e++) {
        ZCoreLib::ZCancel::poll();
        const int s = eStart[e];
        Box b{enX[s], enY[s], enX[s], enY[s]};
        for (int k = 1; k < enon[e]; k++) {
            b.x0 = std::min(b.x0, enX[s + k]);
            b.x1 = std::max(b.x1, enX[s + k]);
            b.y0 = std::min(b.y0, enY[s + k]);
            b.y1 = std::max(b.y1, enY[s + k]);
        }
        magnitude = std::max({magnitude, std::fabs(b.x0), std::fabs(b.x1), std::fabs(b.y0), std::fabs(b.y1)});
        boxes[e] = b;
    }
    const double m = roundingMargin(magnitude);
    for (Box& b : boxes) {
        b.x0 -= m;
        b.y0 -= m;
        b.x1 += m;
        b.y1 += m;
    }
    qi.elems.build(std::move(boxes));
    qi.elemBuilt = true;
    qi.builtNoe = noe;
    qi.builtEnX = enX;
    qi.builtEnY = enY;
    qi.builtEStart = eStart;
}

void hsMesh2D::buildOutlineIndex() {
    if (!circumfPopped) popCircumf();
    QueryIndex& qi = queryIndexData();
    if (qi.outlineBuilt && qi.builtNoCircumf == noCircumfNodes && qi.builtCircumfX == circumfX &&
        qi.builtCircumfY == circumfY)
        return;
    qi.outline.build(noCircumfNodes, circumfX, circumfY);
    qi.outlineBuilt = true;
    qi.builtNoCircumf = noCircumfNodes;
    qi.builtCircumfX = circumfX;
    qi.builtCircumfY = circumfY;
}

// Only the links within the box of all the segments are indexed: a section
// usually covers a small part of the mesh.
void hsMesh2D::linksNearSegments(const std::vector<std::array<double, 5>>& segments,
                                 const std::function<void(std::size_t, int)>& visit) {
    requireDerived("linksNearSegments");
    if (noivf <= 0 || segments.empty()) return;
    Box all{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const auto& s : segments) {
        all.x0 = std::min({all.x0, s[0] - s[4], s[2] - s[4]});
        all.y0 = std::min({all.y0, s[1] - s[4], s[3] - s[4]});
        all.x1 = std::max({all.x1, s[0] + s[4], s[2] + s[4]});
        all.y1 = std::max({all.y1, s[1] + s[4], s[3] + s[4]});
    }
    std::vector<int> faces;
    std::vector<Box> boxes;
    for (int f = 0; f < noivf; f++) {
        const int a = vfe[2 * f], b = vfe[2 * f + 1];
        const Box link{std::min(eX[a], eX[b]), std::min(eY[a], eY[b]), std::max(eX[a], eX[b]), std::max(eY[a], eY[b])};
        if (link.x1 < all.x0 || link.x0 > all.x1 || link.y1 < all.y0 || link.y0 > all.y1) continue;
        faces.push_back(f);
        boxes.push_back(link);
    }
    QueryIndex::BoxTree tree;
    tree.build(std::move(boxes));
    for (std::size_t k = 0; k < segments.size(); k++) {
        ZCoreLib::ZCancel::poll();
        const auto& s = segments[k];
        tree.nearSegment(s[0], s[1], s[2], s[3], s[4], [&](int i) { visit(k, faces[i]); });
    }
}

// ---------------------------------------------------------------- point queries

int hsMesh2D::pointElem(double x, double y) {
    if (noe <= 0) return -1;
    buildElemIndex();
    return queryIndex.p->elems.lowestContaining(x, y, [&](int e) {
        return ZCoreLib::ZPoly::inPoly(enon[e], enX + eStart[e], enY + eStart[e], x, y);
    });
}

bool hsMesh2D::isPointInMesh(double x, double y) {
    buildOutlineIndex();
    if (x < xMin || x > xMax || y < yMin || y > yMax) return false;
    return queryIndex.p->outline.inside(circumfX, circumfY, x, y);
}

int hsMesh2D::pointElemNearest(double x, double y, int mode) {
    if (noe <= 0) return -1;
    requireDerived("pointElemNearest");
    if (mode == 0) {
        // A containing element lies inside the outline, so the element search
        // alone decides; the outline is still built so its errors surface here.
        if (!circumfPopped) popCircumf();
        const int e = pointElem(x, y);
        if (e >= 0) return e;
    }
    if (!kdtree) kdtree = new ZCoreLib::Zkdtree(eX, eY, noe);
    return kdtree->nearest(x, y);
}

double* hsMesh2D::dist2Elem(int e) {
    if (e < 0 || e >= noe)
        throw ZException("dist2Elem: element " + str(e) + " is not in 0.." + str(noe - 1) + ".");
    requireDerived("dist2Elem");
    double* d = new double[noe];
    for (int i = 0; i < noe; i++) {
        if (!lonLat) {
            d[i] = std::sqrt((eX[i] - eX[e]) * (eX[i] - eX[e]) + (eY[i] - eY[e]) * (eY[i] - eY[e]));
            continue;
        }
        const int z = ZCoreLib::ZConvert::guessUTMZone(0.5 * (eX[e] + eX[i]), 0.5 * (eY[e] + eY[i]));
        double ax, ay, bx, by;
        ZCoreLib::ZConvert::geo2UTM(eX[e], eY[e], z, ax, ay);
        ZCoreLib::ZConvert::geo2UTM(eX[i], eY[i], z, bx, by);
        d[i] = std::sqrt((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
    }
    d[e] = 0;
    return d;
}

// ---------------------------------------------------------------- sections

// Distances from (x1, y1) at which the segment crosses a face or passes a node,
// sorted, with 0 and the segment length included and near-equal values merged.
// Everything is computed relative to the segment start so that large projected
// coordinates do not swamp the crossing tests; a node within the rounding
// tolerance of the segment gives one cut for all the faces that meet there.
std::vector<double> hsMesh2D::segmentCuts(double x1, double y1, double x2, double y2) {
    const double rx = x2 - x1, ry = y2 - y1;
    const double len = std::sqrt(rx * rx + ry * ry);
    std::vector<double> cuts{0.0, len};
    if (!(len > 0)) return cuts;
    const double tol =
        roundingMargin(std::max({std::fabs(x1), std::fabs(y1), std::fabs(x2), std::fabs(y2), len}));
    const Box seg{std::min(x1, x2) - tol, std::min(y1, y2) - tol, std::max(x1, x2) + tol, std::max(y1, y2) + tol};

    auto addAt = [&](double px, double py) {  // px, py relative to the start
        const double t = (px * rx + py * ry) / len;
        if (t >= -tol && t <= len + tol) cuts.push_back(std::min(std::max(t, 0.0), len));
    };
    // Only the faces of the elements whose boxes the segment comes near can
    // give a cut: a cut lies on its face and within tol of the segment. A face
    // met twice (from both its elements) gives the same cut twice, which the
    // merge below drops.
    auto face = [&](int f) {
        const int a = vfn[2 * f], b = vfn[2 * f + 1];
        if (std::max(nX[a], nX[b]) < seg.x0 || std::min(nX[a], nX[b]) > seg.x1 ||
            std::max(nY[a], nY[b]) < seg.y0 || std::min(nY[a], nY[b]) > seg.y1)
            return;
        const double ax = nX[a] - x1, ay = nY[a] - y1, bx = nX[b] - x1, by = nY[b] - y1;
        const double da = (rx * ay - ry * ax) / len;  // signed distances from the segment's line
        const double db = (rx * by - ry * bx) / len;
        const bool onA = std::fabs(da) <= tol, onB = std::fabs(db) <= tol;
        if (onA) addAt(ax, ay);
        if (onB) addAt(bx, by);
        if (!onA && !onB && (da > 0) != (db > 0)) {
            const double u = da / (da - db);
            addAt(ax + u * (bx - ax), ay + u * (by - ay));
        }
    };
    if (noe > 0) {
        buildElemIndex();
        queryIndex.p->elems.nearSegment(x1, y1, x2, y2, 4 * tol, [&](int e) {
            for (int k = eStart[e]; k < eStart[e] + enon[e]; k++) face(evf[k]);
        });
    }
    std::sort(cuts.begin(), cuts.end());
    std::vector<double> merged{0.0};
    for (double c : cuts)
        if (c - merged.back() > tol) merged.push_back(c);
    if (merged.size() > 1 && len - merged.back() <= tol)
        merged.back() = len;
    else if (merged.back() != len)
        merged.push_back(len);  // also a segment shorter than the tolerance: one piece
    return merged;
}

int hsMesh2D::lineIntersections(double x1, double y1, double x2, double y2, int*& elems, double*& dists) {
    const std::vector<double> cuts = segmentCuts(x1, y1, x2, y2);
    const double len = cuts.back();
    std::vector<int> e;
    std::vector<double> d;
    for (std::size_t k = 0; k + 1 < cuts.size(); k++) {
        ZCoreLib::ZCancel::poll();
        // Between two cuts the segment lies in one element (or outside): its midpoint tells which.
        const double t = (len > 0) ? 0.5 * (cuts[k] + cuts[k + 1]) / len : 0.0;
        const int el = pointElem(x1 + t * (x2 - x1), y1 + t * (y2 - y1));
        if (!e.empty() && e.back() == el) {
            d.back() = cuts[k + 1];
        } else {
            e.push_back(el);
            d.push_back(cuts[k + 1]);
        }
    }
    elems = newArrayFrom(e);
    dists = newArrayFrom(d);
    return static_cast<int>(e.size());
}

bool hsMesh2D::segmentHasLength(double x1, double y1, double x2, double y2) {
    const double len = std::hypot(x2 - x1, y2 - y1);
    return len > roundingMargin(std::max({std::fabs(x1), std::fabs(y1), std::fabs(x2), std::fabs(y2), len}));
}

bool hsMesh2D::polylineHasLength(const double* x, const double* y, int n) {
    for (int s = 0; s + 1 < n; s++)
        if (segmentHasLength(x[s], y[s], x[s + 1], y[s + 1])) return true;
    return false;
}

// A vertex inside an element joins the stretches on either side of it; a
// vertex on a face or a node ends one stretch where the next begins. Segments
// too short to be told from a point add no stretch.
int hsMesh2D::sectionIntersections(double* x, double* y, int n, int*& elems, double*& dists) {
    std::vector<int> E;
    std::vector<double> D;
    for (int s = 0; s + 1 < n; s++) {
        ZCoreLib::ZCancel::poll();
        if (!segmentHasLength(x[s], y[s], x[s + 1], y[s + 1]))
            continue;
        int* e = nullptr;
        double* d = nullptr;
        const int c = lineIntersections(x[s], y[s], x[s + 1], y[s + 1], e, d);
        const std::vector<int> ev(e, e + c);
        const std::vector<double> dv(d, d + c);
        delete[] e;
        delete[] d;
        const double T = D.empty() ? 0.0 : D.back();
        int k = 0;
        if (!E.empty() && E.back() == ev[0]) {
            D.back() = T + dv[0];
            k = 1;
        }
        for (; k < c; k++) {
            E.push_back(ev[k]);
            D.push_back(T + dv[k]);
        }
    }
    elems = newArrayFrom(E);
    dists = newArrayFrom(D);
    return static_cast<int>(E.size());
}

// ---------------------------------------------------------------- grid points

int hsMesh2D::gridPointsInMesh(double dx, double dy, double*& x, double*& y, double xmin, double xmax, double ymin,
                               double ymax) {
    buildOutlineIndex();  // sets the bounding box read below
    if (xmin <= -1e37 || xmax >= 1e37 || ymin <= -1e37 || ymax >= 1e37) {
        xmin = xMin;
        xmax = xMax;
        ymin = yMin;
        ymax = yMax;
    }
    std::vector<double> px, py;
    if (dx > 0 && dy > 0) {
        const double cols = std::max(0.0, std::ceil((xmax - xmin) / dx - 0.5));
        const double rows = std::max(0.0, std::ceil((ymax - ymin) / dy - 0.5));
        if (cols * rows > INT_MAX)
            throw ZException("gridPointsInMesh: spacing " + std::to_string(dx) + " x " + std::to_string(dy) +
                             " gives more grid points than can be counted.");
        for (long long j = 0;; j++) {
            const double yc = ymin + (j + 0.5) * dy;
            if (!(yc < ymax)) break;
            for (long long i = 0;; i++) {
                ZCoreLib::ZCancel::poll();
                const double xc = xmin + (i + 0.5) * dx;
                if (!(xc < xmax)) break;
                if (pointElem(xc, yc) >= 0 && isPointInMesh(xc, yc)) {
                    px.push_back(xc);
                    py.push_back(yc);
                }
            }
        }
    }
    x = newArrayFrom(px);
    y = newArrayFrom(py);
    return static_cast<int>(px.size());
}

// ---------------------------------------------------------------- shortest paths

int hsMesh2D::shortestPathBetweenNodes(int from, int to, int*& path) {
    if (from < 0 || from >= non || to < 0 || to >= non)
        throw ZException("shortestPathBetweenNodes: nodes " + str(from) + " and " + str(to) +
                         " must lie in 0.." + str(non - 1) + ".");
    if (!dijkSetUp) {
        dijk.setupUnstructMesh(non, nX, nY, noe, enon, en);
        dijkSetUp = true;
    }
    dijk.calcDist(from);
    std::vector<int> p = dijk.getPathVec(to);
    p.insert(p.begin(), from);
    path = newArrayFrom(p);
    return static_cast<int>(p.size());
}

} // namespace hestor
