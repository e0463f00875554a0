// Meshes made from a mesh: a selection of its elements, the strip along an
// open boundary, the union with another mesh; and the change of a mesh
// between UTM and lon/lat coordinates.

#include "hsMesh2D.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "ZCancel.h"
#include "ZConvert.h"
#include "ZMessage.h"
#include "ZPoly.h"

using namespace ZCoreLib;

namespace hestor {

namespace {

template <typename T>
T* newCopy(const std::vector<T>& v)
{
    T* a = new T[v.size()];
    std::copy(v.begin(), v.end(), a);
    return a;
}

// The primary tables of a mesh being built.
struct meshTables {
    std::vector<double> x, y;
    std::vector<int> nt;
    std::vector<int> enon, en;
    std::vector<double> vx, vy; // given Voronoi points; empty: the mesh computes its own

    // Large meshes would otherwise be copied as the tables grow.
    void reserve(size_t nodes, size_t elems, size_t entries)
    {
        x.reserve(nodes);
        y.reserve(nodes);
        nt.reserve(nodes);
        enon.reserve(elems);
        en.reserve(entries);
    }

    void addNode(double px, double py, int type)
    {
        x.push_back(px);
        y.push_back(py);
        nt.push_back(type);
    }
};

// A new initialised mesh of these tables in projection proj.
std::unique_ptr<hsMesh2D> buildMesh(const meshTables& t, const std::string& proj)
{
    std::unique_ptr<hsMesh2D> m(new hsMesh2D());
    m->proj = proj;
    m->non = static_cast<int>(t.x.size());
    m->nX = newCopy(t.x);
    m->nY = newCopy(t.y);
    m->nt = newCopy(t.nt);
    m->noe = static_cast<int>(t.enon.size());
    m->enon = newCopy(t.enon);
    m->en = newCopy(t.en);
    if (!t.vx.empty()) {
        m->eVoronoiX = newCopy(t.vx);
        m->eVoronoiY = newCopy(t.vy);
        m->voronoiPopped = true;
    }
    m->initMesh();
    return m;
}

bool validZone(int zone) { return zone != 0 && zone >= -60 && zone <= 60; }

// Nodes of a mesh binned in squares of twice the tolerance, sorted by square
// and node number: every node within tol of a point lies in the (at most
// 2 x 2) squares that the point's tolerance box meets. The occupied squares
// are found through a hash table rather than by binary search, which on large
// meshes would miss the caches at every step.
class nodeGrid {
public:
    nodeGrid(const double* x, const double* y, int n, double x0, double y0, double tol)
        : x_(x), y_(y), x0_(x0), y0_(y0), tol_(tol), cell_(tol > 0.0 ? 2.0 * tol : 1.0)
    {
        cells_.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            cells_.push_back({key(x[i], x0_), key(y[i], y0_), i});
        std::sort(cells_.begin(), cells_.end(), [](const entry& a, const entry& b) {
            return std::tie(a.kx, a.ky, a.node) < std::tie(b.kx, b.ky, b.node);
        });
        size_t size = 2;
        while (size < 2 * cells_.size())
            size *= 2;
        slots_.assign(size, -1);
        for (size_t k = 0; k < cells_.size(); ++k)
            if (k == 0 || !sameSquare(cells_[k], cells_[k - 1])) {
                size_t h = slot(cells_[k].kx, cells_[k].ky);
                while (slots_[h] >= 0)
                    h = (h + 1) & (slots_.size() - 1);
                slots_[h] = static_cast<int>(k);
            }
    }

    // The lowest-numbered node with |dx| <= tol and |dy| <= tol, or -1.
    int match(double px, double py) const
    {
        const long long kx0 = key(px - tol_, x0_), kx1 = key(px + tol_, x0_);
        const long long ky0 = key(py - tol_, y0_), ky1 = key(py + tol_, y0_);
        int best = -1;
        for (long long kx = kx0; kx <= kx1; ++kx)
            for (long long ky = ky0; ky <= ky1; ++ky)
                for (size_t k = firstOf(kx, ky); k < cells_.size() && cells_[k].kx == kx &&
                                                 cells_[k].ky == ky;
                     ++k) {
                    const int i = cells_[k].node;
                    if (std::fabs(x_[i] - px) <= tol_ && std::fabs(y_[i] - py) <= tol_) {
                        if (best < 0 || i < best)
                            best = i;
                        break; // the rest of this square has higher numbers
                    }
                }
        return best;
    }

private:
    struct entry {
        long long kx, ky;
        int node;
    };
    const double* x_;
    const double* y_;
    double x0_, y0_, tol_, cell_;
    std::vector<entry> cells_;
    std::vector<int> slots_; // first entry of each occupied square, -1 empty

    static bool sameSquare(const entry& a, const entry& b) { return a.kx == b.kx && a.ky == b.ky; }

    size_t slot(long long kx, long long ky) const
    {
        const unsigned long long h = static_cast<unsigned long long>(kx) * 0x9E3779B97F4A7C15ULL ^
                                     static_cast<unsigned long long>(ky) * 0xC2B2AE3D27D4EB4FULL;
        return static_cast<size_t>(h ^ (h >> 29)) & (slots_.size() - 1);
    }

    // Position of the square's first entry; cells_.size() for an empty square.
    size_t firstOf(long long kx, long long ky) const
    {
        for (size_t h = slot(kx, ky); slots_[h] >= 0; h = (h + 1) & (slots_.size() - 1)) {
            const entry& e = cells_[slots_[h]];
            if (e.kx == kx && e.ky == ky)
                return static_cast<size_t>(slots_[h]);
        }
        return cells_.size();
    }

    // Far squares may share a key: that only costs comparisons.
    long long key(double v, double origin) const
    {
        const double t = std::floor((v - origin) / cell_);
        const double lim = 4503599627370496.0; // 2^52
        return static_cast<long long>(std::max(-lim, std::min(lim, t)));
    }
};

void requireFinite(const hsMesh2D& m, const std::string& which)
{
    for (int i = 0; i < m.non; ++i)
        if (!std::isfinite(m.nX[i]) || !std::isfinite(m.nY[i]))
            throw ZException("hsMesh2D::mergeMesh: node " + str(i) + " of " + which +
                             " has a coordinate that is not a finite number.");
}

} // namespace

hsMesh2D* hsMesh2D::subMesh(int m, int* elems)
{
    const std::string where = "hsMesh2D::subMesh: ";
    if (m < 0 || (m > 0 && elems == nullptr))
        throw ZException(where + "no list of " + str(m) + " elements.");
    std::vector<char> listed(static_cast<size_t>(std::max(noe, 0)), 0);
    for (int k = 0; k < m; ++k) {
        const int e = elems[k];
        if (e < 0 || e >= noe)
            throw ZException(where + "element " + str(e) + " (entry " + str(k) +
                             ") is not one of the " + str(noe) + " elements of the mesh.");
        if (listed[e]++)
            throw ZException(where + "element " + str(e) + " is listed twice.");
    }

    meshTables t;
    std::vector<int> newNo(static_cast<size_t>(std::max(non, 0)), -1);
    const bool withVoronoi = eVoronoiX != nullptr && eVoronoiY != nullptr;
    long long s = 0;
    std::vector<long long> first(static_cast<size_t>(std::max(noe, 0)));
    for (int e = 0; e < noe; ++e) {
        first[e] = s;
        s += enon[e];
    }
    for (int k = 0; k < m; ++k) {
        ZCoreLib::ZCancel::poll();
        const int e = elems[k];
        t.enon.push_back(enon[e]);
        for (int j = 0; j < enon[e]; ++j) {
            const int v = en[first[e] + j];
            if (newNo[v] < 0) {
                newNo[v] = static_cast<int>(t.x.size());
                t.addNode(nX[v], nY[v], nt[v]);
            }
            t.en.push_back(newNo[v]);
        }
        if (withVoronoi) {
            t.vx.push_back(eVoronoiX[e]);
            t.vy.push_back(eVoronoiY[e]);
        }
    }
    return buildMesh(t, proj).release();
}

hsMesh2D* hsMesh2D::bndMesh(int b)
{
    requireDerived("hsMesh2D::bndMesh");
    if (b < 0 || b >= nob || bNoVF == nullptr || bFirstVF == nullptr)
        throw ZException("hsMesh2D::bndMesh: boundary " + str(b) + " is not one of the " +
                         str(nob) + " open boundaries of the mesh.");
    const int k = bNoVF[b];
    const int f0 = noivf + bFirstVF[b];
    // The centre line: the end of the first face away from the second, then
    // each face's node other than the point before.
    std::vector<double> lx, ly;
    int prev = vfn[2 * f0];
    if (k > 1) {
        const int* g = vfn + 2 * (f0 + 1);
        if (prev == g[0] || prev == g[1])
            prev = vfn[2 * f0 + 1];
    }
    lx.push_back(nX[prev]);
    ly.push_back(nY[prev]);
    for (int i = 0; i < k; ++i) {
        const int* g = vfn + 2 * (f0 + i);
        prev = g[0] == prev ? g[1] : g[0];
        lx.push_back(nX[prev]);
        ly.push_back(nY[prev]);
    }

    double* px = nullptr;
    double* py = nullptr;
    int* quads = nullptr;
    int nPts = 0, nQuads = 0;
    ZPoly::squareSection(lx.data(), ly.data(), k + 1, px, py, nPts, nQuads, quads, 1, -1.0);
    std::unique_ptr<double[]> ox(px), oy(py);
    std::unique_ptr<int[]> oq(quads);
    meshTables t;
    for (int i = 0; i < nPts; ++i)
        t.addNode(px[i], py[i], 99);
    t.enon.assign(static_cast<size_t>(nQuads), 4);
    t.en.assign(quads, quads + 4 * nQuads);
    return buildMesh(t, proj).release();
}

hsMesh2D* hsMesh2D::mergeMesh(const hsMesh2D& other)
{
    const std::string where = "hsMesh2D::mergeMesh: ";
    if (proj != other.proj)
        throw ZException(where + "the meshes have different projections ('" + proj + "' and '" +
                         other.proj + "').");
    requireFinite(*this, "this mesh");
    requireFinite(other, "the other mesh");
    long long s = 0;
    for (int e = 0; e < other.noe; ++e) {
        ZCoreLib::ZCancel::poll();
        const std::string problem = elemProblem(e, other.en + s, other.enon[e], other.non, other.nX, other.nY);
        if (!problem.empty())
            throw ZException(where + "the other mesh's " + problem);
        s += other.enon[e];
    }

    double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL;
    for (const hsMesh2D* g : {static_cast<const hsMesh2D*>(this), &other})
        for (int i = 0; i < g->non; ++i) {
            x0 = std::min(x0, g->nX[i]);
            x1 = std::max(x1, g->nX[i]);
            y0 = std::min(y0, g->nY[i]);
        }
    // Far apart coordinates overflow the width but not the tolerance.
    const double width = x1 - x0;
    const double tol = std::isfinite(width) ? width / 1e6 : x1 / 1e6 - x0 / 1e6;

    long long total = 0;
    for (int e = 0; e < noe; ++e)
        total += enon[e];
    meshTables t;
    t.reserve(static_cast<size_t>(non) + other.non, static_cast<size_t>(noe) + other.noe,
              static_cast<size_t>(total + s));
    t.x.assign(nX, nX + non);
    t.y.assign(nY, nY + non);
    t.nt.assign(nt, nt + non);
    t.enon.assign(enon, enon + noe);
    t.en.assign(en, en + total);

    // Only this mesh's nodes are candidates; the other mesh's nodes are
    // never merged among themselves.
    const nodeGrid grid(nX, nY, non, x0, y0, tol);
    std::vector<int> newNo(static_cast<size_t>(other.non));
    for (int j = 0; j < other.non; ++j) {
        ZCoreLib::ZCancel::poll();
        newNo[j] = grid.match(other.nX[j], other.nY[j]);
        if (newNo[j] < 0) {
            newNo[j] = static_cast<int>(t.x.size());
            t.addNode(other.nX[j], other.nY[j], other.nt[j]);
        }
    }
    t.enon.insert(t.enon.end(), other.enon, other.enon + other.noe);
    for (long long k = 0; k < s; ++k)
        t.en.push_back(newNo[other.en[k]]);
    if (voronoiPopped && other.voronoiPopped && eVoronoiX && eVoronoiY && other.eVoronoiX &&
        other.eVoronoiY) {
        t.vx.assign(eVoronoiX, eVoronoiX + noe);
        t.vy.assign(eVoronoiY, eVoronoiY + noe);
        t.vx.insert(t.vx.end(), other.eVoronoiX, other.eVoronoiX + other.noe);
        t.vy.insert(t.vy.end(), other.eVoronoiY, other.eVoronoiY + other.noe);
    }
    return buildMesh(t, proj).release();
}

// Converts every node and given Voronoi point with conv, names the
// projection proj and re-derives; when that fails the earlier coordinates
// and projection come back before the error passes on.
void hsMesh2D::reproject(const std::string& newProj,
                         const std::function<void(double&, double&)>& conv)
{
    const std::vector<double> x(nX, nX + non), y(nY, nY + non);
    const bool voronoi = voronoiPopped && eVoronoiX != nullptr && eVoronoiY != nullptr;
    std::vector<double> vx, vy;
    if (voronoi) {
        vx.assign(eVoronoiX, eVoronoiX + noe);
        vy.assign(eVoronoiY, eVoronoiY + noe);
    }
    const std::string oldProj = proj;
    const bool wasDerived = *initialised;
    try {
        for (int i = 0; i < non; ++i)
            conv(nX[i], nY[i]);
        for (int e = 0; voronoi && e < noe; ++e)
            conv(eVoronoiX[e], eVoronoiY[e]);
        proj = newProj;
        initMesh();
    } catch (...) {
        std::copy(x.begin(), x.end(), nX);
        std::copy(y.begin(), y.end(), nY);
        std::copy(vx.begin(), vx.end(), eVoronoiX);
        std::copy(vy.begin(), vy.end(), eVoronoiY);
        proj = oldProj;
        releaseDerived();
        if (wasDerived)
            initMesh();
        throw;
    }
}

int hsMesh2D::toGeoMesh()
{
    if (lonLat)
        return 0;
    // The zone is the number after the first three characters ("UTM32").
    errno = 0;
    const char* digits = proj.size() > 3 ? proj.c_str() + 3 : "";
    char* end = nullptr;
    const long z = std::strtol(digits, &end, 10);
    if (end == digits || errno != 0 || !validZone(static_cast<int>(std::max(-61L, std::min(61L, z)))))
        throw ZException("hsMesh2D::toGeoMesh: the projection '" + proj +
                         "' holds no UTM zone (1 to 60, negative in the south) after its first "
                         "three characters.");
    const int zone = static_cast<int>(z);
    reproject("LONLAT", [zone](double& x, double& y) { ZConvert::utm2Geo(x, y, zone, x, y); });
    lonLat = true;
    return 0;
}

int hsMesh2D::toUtmMesh(int zone)
{
    if (!validZone(zone))
        throw ZException("hsMesh2D::toUtmMesh: zone " + str(zone) +
                         " is no UTM zone (1 to 60, negative in the south).");
    if (!lonLat)
        return 0;
    reproject("UTM" + str(zone),
              [zone](double& x, double& y) { ZConvert::geo2UTM(x, y, zone, x, y); });
    return 0;
}

} // namespace hestor
