// Benchmark of the C++ core: how the mesh, model and netCDF routines scale,
// and how close they come to the cheapest work that computes the same thing.
// Each row times both sides in this run (benchTiming.h) after checking that
// they agree. Run through bench/run.sh, which builds it in Release mode.
//
// HS_BENCH_N_LARGE (default 1e6) scales every size: the large mesh has that
// many elements, the small meshes a tenth and a hundredth of it.

#include <netcdf.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "ZCancel.h"
#include "ZDraw.h"
#include "ZException.h"
#include "ZNetCdf.h"
#include "ZPoly.h"
#include "hsResultFile.h"
#include "benchModels.h"
#include "benchTiming.h"

using namespace bench;
using hestor::hsMesh2D;
using hestor::hsModelInfo;

namespace {

const int noLayer = 20;

// Counts of a triangle grid, derived from its shape alone.
bool gridCounts(const hsMesh2D& m, const GridMesh& g)
{
    const long long nx = g.nx, ny = g.ny;
    const long long faces = nx * (ny + 1) + (nx + 1) * ny + nx * ny;
    return m.non == static_cast<long long>(g.x.size()) && m.noe == 2 * nx * ny &&
           m.novf == faces && m.noivf == faces - 2 * (nx + ny);
}

Times rowConstruction(const Settings& s, long long nLarge)
{
    const GridMesh big = triGrid(nLarge), small = triGrid(nLarge / 10);
    checkSame("mesh construction", gridCounts(*buildMesh(big), big) &&
                                       gridCounts(*buildMesh(small), small));
    auto pass = [](const GridMesh& g) -> Pass {
        return [&g]() {
            std::unique_ptr<hsMesh2D> m(new hsMesh2D());
            const auto t0 = std::chrono::steady_clock::now();
            fillMesh(*m, g);
            m->initMesh();
            return seconds(t0);
        };
    };
    return compare(s, pass(big), pass(small));
}

// The layered model of the thickness rows, with a surface elevation per
// element and a flow per face-cell.
struct Layered {
    GridMesh grid;
    std::unique_ptr<hsModelInfo> mi;
    std::vector<double> eta, u;
    // Another surface, written before each check so that the floor must
    // overwrite every value the model wrote.
    std::vector<double> etaOther;
};

std::unique_ptr<Layered> makeLayered(long long n)
{
    std::unique_ptr<Layered> L(new Layered());
    L->grid = triGrid(n);
    L->mi = layeredModel(L->grid, noLayer);
    const hsModelInfo& mi = *L->mi;
    L->eta.resize(mi.mesh2d.noe);
    L->etaOther.resize(mi.mesh2d.noe);
    for (size_t e = 0; e < L->eta.size(); ++e) {
        L->eta[e] = 0.3 * std::sin(1e-3 * static_cast<double>(e));
        L->etaOther[e] = 0.25 - L->eta[e];
    }
    // Flow in the direction of each face's first element: the upwind rule
    // then takes that element's elevation.
    L->u.resize(mi.noFaceCells);
    for (size_t i = 0; i < L->u.size(); ++i)
        L->u[i] = 0.1 + 0.05 * std::sin(static_cast<double>(i));
    return L;
}

// The floors write the same values into the model's own tables (edz, edzc
// and cellVolume per column; fdz and fdzc per face), every place found
// beforehand. What they cannot avoid is the layout: each column keeps its
// cells together, so an update of the top cells meets new cache lines of
// each table for every column. A ratio near 1 says the code adds little to
// that.

// Where the top cell of a column lies in edz, edzc and cellVolume.
struct ColumnTop {
    int dz, centre, cell;
};

// Where the top face-cell of a face lies in fdz and fdzc, the face-cell
// whose flow picks the upwind element, and the two elements.
struct FaceTop {
    int dz, centre, flow, e0, e1;
};

int tableIndex(long long i)
{
    checkSame("table indices within int", i >= 0 && i <= INT_MAX);
    return static_cast<int>(i);
}

// Every column of the model has a cell above its bottom one.
std::vector<ColumnTop> columnTops(const hsModelInfo& mi)
{
    std::vector<ColumnTop> tops(mi.mesh2d.noe);
    for (int e = 0; e < mi.mesh2d.noe; ++e) {
        const int t = mi.etli[e] - mi.ebli[e];
        checkSame("the columns' cells above their bottom", t >= 1);
        tops[e] = {tableIndex(mi.edz[e] + t - mi.edz.data()), tableIndex(mi.edzc[e] + t - 1 - mi.edzc.data()),
                   mi.elemFirstCell[e] + t};
    }
    return tops;
}

// Interior faces by the upwind face rule, then the open-boundary faces, whose
// top reaches from the inner element's surface to the bottom of its top
// cell (openBase).
struct FaceTops {
    std::vector<FaceTop> interior, open;
    std::vector<double> openBase;
};

FaceTops faceTops(const hsModelInfo& mi)
{
    const hsMesh2D& m = mi.mesh2d;
    FaceTops tops;
    for (int f = 0; f < mi.noFaces; ++f) {
        const bool open = f >= m.noivf;
        const int e0 = open ? m.bvfe[f - m.noivf] : m.vfe[2 * f];
        const int e1 = open ? e0 : m.vfe[2 * f + 1];
        const int t = open ? mi.ftli[f] - mi.fbli[f] : noLayer - 1 - mi.fbli[f];
        checkSame("the faces' cells above their bottom", t >= 1 && (!open || mi.bndFaces));
        const FaceTop top = {tableIndex(mi.fdz[f] + t - mi.fdz.data()),
                             tableIndex(mi.fdzc[f] + t - 1 - mi.fdzc.data()), mi.faceFirstCell[f] + t, e0, e1};
        (open ? tops.open : tops.interior).push_back(top);
        if (open) {
            const int k = mi.etli[e0];
            tops.openBase.push_back(k == mi.ebli[e0] ? mi.elemBathy[e0] : mi.layerDepth[k] + 0.5 * mi.dz[k]);
        }
    }
    return tops;
}

void columnFloor(Layered& L, const std::vector<ColumnTop>& tops)
{
    hsModelInfo& mi = *L.mi;
    const double dzTop = mi.dz[noLayer - 1];
    const double* eta = L.eta.data();
    const double* area = mi.mesh2d.eArea;
    double* dz = mi.edz.data();
    double* centre = mi.edzc.data();
    double* volume = mi.cellVolume;
    for (size_t e = 0; e < tops.size(); ++e) {
        const ColumnTop& c = tops[e];
        const double top = eta[e] + dzTop;
        dz[c.dz] = top;
        centre[c.centre] = 0.5 * top + 0.5 * dz[c.dz - 1];
        volume[c.cell] = top * area[e];
    }
}

void faceFloor(Layered& L, const FaceTops& tops)
{
    hsModelInfo& mi = *L.mi;
    const double dzTop = mi.dz[noLayer - 1];
    const double* eta = L.eta.data();
    const double* u = L.u.data();
    double* dz = mi.fdz.data();
    double* centre = mi.fdzc.data();
    for (const FaceTop& c : tops.interior) {
        const double top = dzTop + (u[c.flow] > 0 ? eta[c.e0] : eta[c.e1]);
        dz[c.dz] = top;
        centre[c.centre] = 0.5 * dz[c.dz - 1] + 0.5 * top;
    }
    for (size_t i = 0; i < tops.open.size(); ++i) {
        const FaceTop& c = tops.open[i];
        const double top = eta[c.e0] + tops.openBase[i];
        dz[c.dz] = top;
        centre[c.centre] = 0.5 * top + 0.5 * dz[c.dz - 1];
    }
}

template <typename T>
std::vector<T> tableCopy(const T* data, size_t n)
{
    return std::vector<T>(data, data + n);
}

// The floor wrote exactly what the model writes: both start from the model's
// values for another surface.
void checkColumnFloor(const std::string& what, Layered& L, const std::vector<ColumnTop>& tops,
                      const std::function<void(const double*)>& ours)
{
    hsModelInfo& mi = *L.mi;
    auto tables = [&] {
        return std::make_tuple(tableCopy(mi.edz.data(), mi.edz.size()), tableCopy(mi.edzc.data(), mi.edzc.size()),
                               tableCopy(mi.cellVolume, static_cast<size_t>(mi.noCells)));
    };
    ours(L.etaOther.data());
    ours(L.eta.data());
    const auto want = tables();
    ours(L.etaOther.data());
    columnFloor(L, tops);
    checkSame(what, tables() == want);
}

Times rowUpdateDZe(const Settings& s, Layered& L)
{
    const std::vector<ColumnTop> tops = columnTops(*L.mi);
    checkColumnFloor("updateDZe", L, tops, [&](const double* eta) { L.mi->updateDZe(eta, false); });
    return compare(s, timed([&] { L.mi->updateDZe(L.eta.data(), false); }),
                   timed([&] { columnFloor(L, tops); }));
}

Times rowUpdateDZf(const Settings& s, Layered& L)
{
    hsModelInfo& mi = *L.mi;
    const FaceTops tops = faceTops(mi);
    auto ours = [&](const double* eta) { mi.updateDZf(eta, L.u.data(), 3, false, false); };
    auto tables = [&] {
        return std::make_pair(tableCopy(mi.fdz.data(), mi.fdz.size()), tableCopy(mi.fdzc.data(), mi.fdzc.size()));
    };
    ours(L.eta.data());
    const auto want = tables();
    ours(L.etaOther.data());
    faceFloor(L, tops);
    checkSame("updateDZf", tables() == want);
    return compare(s, timed([&] { ours(L.eta.data()); }), timed([&] { faceFloor(L, tops); }));
}

Times rowUpdateDZeWetDry(const Settings& s, Layered& L)
{
    L.mi->initWetDry();
    const std::vector<ColumnTop> tops = columnTops(*L.mi);
    std::vector<int> wetted, dried;
    auto ours = [&](const double* eta) {
        wetted.clear();
        dried.clear();
        L.mi->updateDZeWetDry(eta, wetted, dried, false);
    };
    checkColumnFloor("updateDZeWetDry", L, tops, ours);
    checkSame("updateDZeWetDry (no cell wetted or dried)", wetted.empty() && dried.empty());
    return compare(s, timed([&] { ours(L.eta.data()); }), timed([&] { columnFloor(L, tops); }));
}

// Lowest element whose polygon holds the point, by the plain scan.
int pointElemBrute(const hsMesh2D& m, double x, double y)
{
    for (int e = 0; e < m.noe; ++e)
        if (ZCoreLib::ZPoly::inPoly(m.enon[e], m.enX + m.eStart[e], m.enY + m.eStart[e], x, y))
            return e;
    return -1;
}

bool neverCancel() { return false; }

// The polls of the long loops, with a hook installed that never stops them.
Times rowCancelPolls(const Settings& s, long long n)
{
    const GridMesh g = triGrid(n);
    auto pass = [&g](bool hooked) -> Pass {
        return [&g, hooked]() {
            std::unique_ptr<hsMesh2D> m(new hsMesh2D());
            fillMesh(*m, g);
            ZCoreLib::ZCancel::setHook(hooked ? &neverCancel : nullptr);
            const auto t0 = std::chrono::steady_clock::now();
            m->initMesh();
            const double t = seconds(t0);
            ZCoreLib::ZCancel::setHook(nullptr);
            return t;
        };
    };
    return compare(s, pass(true), pass(false));
}

double centroidDist2(const hsMesh2D& m, int e, double x, double y)
{
    return (m.eX[e] - x) * (m.eX[e] - x) + (m.eY[e] - y) * (m.eY[e] - y);
}

Times rowPointElem(const Settings& s, hsMesh2D& m, long long nPoints)
{
    // Uniform over the mesh's box widened by 2 % on each side, so that some
    // points lie outside.
    std::mt19937_64 rng(21);
    const double wx = m.xMax - m.xMin, wy = m.yMax - m.yMin;
    std::uniform_real_distribution<double> ux(m.xMin - 0.02 * wx, m.xMax + 0.02 * wx);
    std::uniform_real_distribution<double> uy(m.yMin - 0.02 * wy, m.yMax + 0.02 * wy);
    std::vector<double> x(nPoints), y(nPoints);
    for (long long i = 0; i < nPoints; ++i) {
        x[i] = ux(rng);
        y[i] = uy(rng);
    }
    const long long sample = std::min(nPoints, 100LL);
    bool same = true;
    for (long long i = 0; i < sample; ++i) {
        same = same && m.pointElem(x[i], y[i]) == pointElemBrute(m, x[i], y[i]);
        double best = HUGE_VAL;
        for (int e = 0; e < m.noe; ++e)
            best = std::min(best, centroidDist2(m, e, x[i], y[i]));
        same = same && centroidDist2(m, m.pointElemNearest(x[i], y[i], 1), x[i], y[i]) == best;
    }
    checkSame("pointElem and the nearest centroid (brute force on a sample)", same);
    std::vector<int> found(nPoints);
    return compare(s, timed([&] {
                       for (long long i = 0; i < nPoints; ++i)
                           found[i] = m.pointElem(x[i], y[i]);
                   }),
                   timed([&] {
                       for (long long i = 0; i < nPoints; ++i)
                           found[i] = m.pointElemNearest(x[i], y[i], 1);
                   }));
}

// Elements of the lower half of the grid's rows, and of the upper half.
std::vector<int> halfElems(const GridMesh& g, bool upper)
{
    const int split = 2 * g.nx * (g.ny / 2);
    std::vector<int> elems;
    for (int e = upper ? split : 0; e < (upper ? 2 * g.nx * g.ny : split); ++e)
        elems.push_back(e);
    return elems;
}

Times rowSubMesh(const Settings& s, long long nBig)
{
    auto pass = [](hsMesh2D& m, const GridMesh& g) -> Pass {
        return [&m, &g]() {
            std::vector<int> elems = halfElems(g, false);
            const auto t0 = std::chrono::steady_clock::now();
            std::unique_ptr<hsMesh2D> sub(m.subMesh(static_cast<int>(elems.size()), elems.data()));
            return seconds(t0);
        };
    };
    const GridMesh big = triGrid(nBig), small = triGrid(nBig / 10);
    const std::unique_ptr<hsMesh2D> mBig = buildMesh(big), mSmall = buildMesh(small);
    std::vector<int> elems = halfElems(big, false);
    std::unique_ptr<hsMesh2D> sub(mBig->subMesh(static_cast<int>(elems.size()), elems.data()));
    checkSame("subMesh", sub->noe == static_cast<int>(elems.size()) &&
                             sub->non == (big.nx + 1) * (big.ny / 2 + 1));
    return compare(s, pass(*mBig, big), pass(*mSmall, small));
}

Times rowMergeMesh(const Settings& s, long long nBig)
{
    struct Halves {
        std::unique_ptr<hsMesh2D> lower, upper;
    };
    auto halves = [](const GridMesh& g) {
        const std::unique_ptr<hsMesh2D> m = buildMesh(g);
        std::vector<int> lo = halfElems(g, false), up = halfElems(g, true);
        Halves h;
        h.lower.reset(m->subMesh(static_cast<int>(lo.size()), lo.data()));
        h.upper.reset(m->subMesh(static_cast<int>(up.size()), up.data()));
        return h;
    };
    auto pass = [](const Halves& h) -> Pass {
        return [&h]() {
            const auto t0 = std::chrono::steady_clock::now();
            std::unique_ptr<hsMesh2D> merged(h.lower->mergeMesh(*h.upper));
            return seconds(t0);
        };
    };
    const GridMesh big = triGrid(nBig);
    const Halves hBig = halves(big), hSmall = halves(triGrid(nBig / 10));
    std::unique_ptr<hsMesh2D> merged(hBig.lower->mergeMesh(*hBig.upper));
    checkSame("mergeMesh", gridCounts(*merged, big));
    return compare(s, pass(hBig), pass(hSmall));
}

Times rowDeleteUnusedNodes(const Settings& s, long long nBig)
{
    const GridMesh big = triGrid(nBig, 4), small = triGrid(nBig / 10, 4);
    const std::unique_ptr<hsMesh2D> mBig = buildMesh(big), mSmall = buildMesh(small);
    {
        hsMesh2D edited(*mBig);
        edited.editDeleteUnusedNodes();
        checkSame("editDeleteUnusedNodes", gridCounts(edited, triGrid(nBig)));
    }
    auto pass = [](const hsMesh2D& m) -> Pass {
        return [&m]() {
            hsMesh2D edited(m);
            const auto t0 = std::chrono::steady_clock::now();
            edited.editDeleteUnusedNodes();
            return seconds(t0);
        };
    };
    return compare(s, pass(*mBig), pass(*mSmall));
}

// chopMesh of a comb along the vertical line through the middle of its base:
// group 0 must be the side of the outline's first face, group 1 the other.
Times rowChopComb(const Settings& s, int teeth)
{
    struct Comb {
        std::unique_ptr<hsMesh2D> m;
        std::vector<int> section;
    };
    auto make = [](int n) {
        const GridMesh g = combMesh(n);
        const int c = (n + 1) / 2;
        return Comb{buildMesh(g), {c, n + 2 + c}};
    };
    auto chop = [](Comb& comb, std::vector<std::vector<int>>* out) {
        int* sections[] = {comb.section.data()};
        int len = 2;
        int* sizes = nullptr;
        int** groups = comb.m->chopMesh(sections, 1, &len, sizes);
        for (int g = 0; g < 2; ++g) {
            if (out)
                out->emplace_back(groups[g], groups[g] + sizes[g]);
            delete[] groups[g];
        }
        delete[] groups;
        delete[] sizes;
    };
    Comb big = make(teeth), small = make(teeth / 2);
    bool same = true;
    for (Comb* comb : {&big, &small}) {
        const hsMesh2D& m = *comb->m;
        const double cx = m.nX[comb->section[0]];
        const bool firstLeft = m.eX[m.vfe[2 * comb->m->getCircumferenceVF()[0]]] < cx;
        std::vector<std::vector<int>> want(2), got;
        for (int e = 0; e < m.noe; ++e)
            want[(m.eX[e] < cx) != firstLeft].push_back(e);
        chop(*comb, &got);
        same = same && got == want;
    }
    checkSame("chopMesh (the two sides of the cut by centroid)", same);
    return compare(s, timed([&] { chop(big, nullptr); }), timed([&] { chop(small, nullptr); }));
}

// chopMesh of a grid of about nElems triangles along a zigzag of 500 steps
// across elements from the left side to the right, against a straight
// section along the faces of one row of nodes: the groups must be the
// elements above and below each line.
Times rowChopAcross(const Settings& s, long long nElems)
{
    const GridMesh g = triGrid(nElems);
    const std::unique_ptr<hsMesh2D> m = buildMesh(g);
    const int j0 = g.ny / 2;
    auto node = [&](int i, int j) { return j * (g.nx + 1) + i; };
    // Steps (1, 3) and (1, -3) cross elements and pass no centroid; the last
    // step runs to the right side.
    std::vector<int> zigzag{node(0, j0)}, straight{node(0, j0), node(g.nx, j0)};
    for (int k = 0; k < std::min(499, g.nx - 2); ++k)
        zigzag.push_back(node(k + 1, k % 2 == 0 ? j0 + 3 : j0));
    zigzag.push_back(node(g.nx, j0 + 1));
    auto chop = [&](std::vector<int>& section, std::vector<std::vector<int>>* out) {
        int* sections[] = {section.data()};
        int len = static_cast<int>(section.size());
        int* sizes = nullptr;
        int** groups = m->chopMesh(sections, 1, &len, sizes);
        for (int k = 0; k < 2; ++k) {
            if (out)
                out->emplace_back(groups[k], groups[k] + sizes[k]);
            delete[] groups[k];
        }
        delete[] groups;
        delete[] sizes;
    };
    bool same = true;
    for (std::vector<int>* section : {&zigzag, &straight}) {
        std::vector<double> vx, vy;
        for (int v : *section) {
            vx.push_back(m->nX[v]);
            vy.push_back(m->nY[v]);
        }
        std::vector<std::vector<int>> got, want(2);
        chop(*section, &got);
        for (int e = 0; e < m->noe; ++e) {
            const size_t k = std::upper_bound(vx.begin(), vx.end(), m->eX[e]) - vx.begin();
            const size_t a = std::min(std::max<size_t>(k, 1), vx.size() - 1) - 1;
            const double t = (m->eX[e] - vx[a]) / (vx[a + 1] - vx[a]);
            want[m->eY[e] > vy[a] + t * (vy[a + 1] - vy[a])].push_back(e);
        }
        same = same && (got == want || (got[0] == want[1] && got[1] == want[0]));
    }
    checkSame("chopMesh across and along faces (the elements above and below each line)", same);
    return compare(s, timed([&] { chop(zigzag, nullptr); }),
                   timed([&] { chop(straight, nullptr); }));
}

// Removes the file it names when it goes.
struct TempFile {
    std::string path;
    ~TempFile() { std::remove(path.c_str()); }
};

// A new name in TMPDIR (else /tmp) with the given ending.
std::string tempPath(const std::string& ending)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/hestor-bench-" +
           std::to_string(static_cast<long long>(std::random_device()())) + ending;
}

void ncCheck(int status, const char* what)
{
    if (status != NC_NOERR)
        throw std::runtime_error(std::string(what) + ": " + nc_strerror(status));
}

// An uncompressed netCDF-4 file with one float variable (time, cell).
void writeFloatFile(const std::string& path, size_t nTime, size_t nCell)
{
    int ncid, dims[2], var;
    ncCheck(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid), "nc_create");
    ncCheck(nc_def_dim(ncid, "time", nTime, &dims[0]), "nc_def_dim");
    ncCheck(nc_def_dim(ncid, "cell", nCell, &dims[1]), "nc_def_dim");
    ncCheck(nc_def_var(ncid, "temp", NC_FLOAT, 2, dims, &var), "nc_def_var");
    ncCheck(nc_def_var_chunking(ncid, var, NC_CONTIGUOUS, nullptr), "nc_def_var_chunking");
    ncCheck(nc_enddef(ncid), "nc_enddef");
    std::vector<float> values(nTime * nCell);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<float>(10.0 + std::sin(1e-3 * static_cast<double>(i)));
    ncCheck(nc_put_var_float(ncid, var, values.data()), "nc_put_var_float");
    ncCheck(nc_close(ncid), "nc_close");
}

Times rowNetCdf(const Settings& s, long long nValues)
{
    TempFile file{tempPath(".nc")};
    const size_t nTime = 10, nCell = static_cast<size_t>(nValues / 10);
    writeFloatFile(file.path, nTime, nCell);
    ZCoreLib::ZNetCdf nc(file.path, false);
    const int var = nc.varId("temp");
    size_t start[2] = {0, 0}, count[2] = {nTime, nCell};
    std::vector<double> ours(nTime * nCell), base(nTime * nCell);
    auto readOurs = [&] {
        double* out = ours.data();
        nc.getDataIntoGivenType<double>(var, out, start, count);
    };
    auto readBase = [&] { ncCheck(nc_get_vara_double(nc.ncid, var, start, count, base.data()),
                                  "nc_get_vara_double"); };
    readOurs();
    readBase();
    checkSame("getDataIntoGivenType<double>", ours == base);
    return compare(s, timed(readOurs), timed(readBase));
}

// The painting as defined: every pixel walks every triplet of its column's
// window, looking at the row of each. The window runs from the first triplet
// within rx columns to the first beyond them, both clamped to the last one.
void paintPlainWalk(const std::vector<ZCoreLib::ZDraw::ijvTriplet>& d, int* bitmap, int w,
                    int h, const int* ramp, int steps, double radius, double vmin, double vmax)
{
    using T = ZCoreLib::ZDraw::ijvTriplet;
    const long long rx = static_cast<long long>(w / 1000.0 * radius);
    const long long ry = static_cast<long long>(h / 1000.0 * radius), rp = (rx + ry) / 2;
    const size_t last = d.size() - 1;
    const double scale = steps / (vmax - vmin);
    for (int i = 0; i < w; ++i) {
        const size_t lo = std::min<size_t>(
            last, std::partition_point(d.begin(), d.end(), [&](const T& t) { return t.i < i - rx; }) -
                      d.begin());
        const size_t hi = std::min<size_t>(
            last, std::partition_point(d.begin(), d.end(), [&](const T& t) { return t.i <= i + rx; }) -
                      d.begin());
        if (hi == lo && std::llabs(d[lo].i - i) > rx)
            continue;
        for (int j = 0; j < h; ++j) {
            double sw = 0, swv = 0, value = NAN;
            for (size_t t = lo; t <= hi && std::isnan(value); ++t) {
                const double di = d[t].i - double(i), dj = d[t].j - double(j);
                if (std::fabs(dj) > ry || std::isnan(d[t].v))
                    continue;
                const double dist = std::sqrt(di * di + dj * dj);
                const double dd = dist * dist;
                if (dist == 0)
                    value = d[t].v;
                else if (dist <= rp)
                    sw += 1 / dd, swv += d[t].v / dd;
            }
            if (std::isnan(value))
                value = sw > 0 ? swv / sw : NAN;
            const double c = (value - vmin) * scale;
            const int k = std::isnan(c) ? -1 : std::max(0.0, std::min(steps - 1.0, c + 0.5));
            if (k >= 0)
                bitmap[static_cast<size_t>(h - 1 - j) * w + i] = ramp[k];
        }
    }
}

// nPoints scattered over a 1000 x 1000 window painted on side x side pixels
// with the radius derived from the point count.
Times rowPainting(const Settings& s, long long nPoints, int side)
{
    using ZCoreLib::ZDraw;
    std::mt19937_64 rng(29);
    std::uniform_real_distribution<double> u(0, 1000);
    const int n = static_cast<int>(nPoints);
    std::vector<double> x(n), y(n), v(n);
    for (int p = 0; p < n; ++p) {
        x[p] = u(rng);
        y[p] = u(rng);
        v[p] = std::sin(x[p] / 97) * std::cos(y[p] / 61);
    }
    int anchors[3] = {0x0000FF, 0x00FF00, 0xFF0000};
    const int steps = 64;
    const double radius = 4000 / std::sqrt(double(n));
    std::unique_ptr<int[]> ramp(ZDraw::colorMakeScale(anchors, 3, steps, 0));
    std::vector<int> ours(static_cast<size_t>(side) * side), base(ours.size());
    auto paintOurs = [&] {
        int* b = ours.data();
        ZDraw::interpOnBitmap(x.data(), y.data(), v.data(), n, b, side, side, steps, 0, 1000, 0,
                              1000, -1, 1, anchors, 3, -1.0, 0);
    };
    auto paintBase = [&] {
        const std::vector<ZDraw::ijvTriplet> d = ZDraw::interpOnBitmapPrepareData(
            x.data(), y.data(), v.data(), n, side, side, 0, 1000, 0, 1000, radius);
        paintPlainWalk(d, base.data(), side, side, ramp.get(), steps, radius, -1, 1);
    };
    paintOurs();
    paintBase();
    checkSame("scattered painting", ours == base);
    return compare(s, timed(paintOurs), timed(paintBase));
}

// A netCDF-4 file with a time axis of n records (double).
void writeTimeFile(const std::string& path, size_t n)
{
    int ncid, dim, var;
    ncCheck(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid), "nc_create");
    ncCheck(nc_def_dim(ncid, "time", NC_UNLIMITED, &dim), "nc_def_dim");
    ncCheck(nc_def_var(ncid, "time", NC_DOUBLE, 1, &dim, &var), "nc_def_var");
    std::vector<double> values(n);
    for (size_t i = 0; i < n; ++i)
        values[i] = 1800.0 * static_cast<double>(i);
    const size_t start = 0;
    ncCheck(nc_put_vara_double(ncid, var, &start, &n, values.data()), "nc_put_vara_double");
    ncCheck(nc_close(ncid), "nc_close");
}

// copyDataFrom of a time axis against one whole-variable get and put, each
// into a fresh file with the variable as defVar makes it, closing included.
Times rowNetCdfCopy(const Settings& s, long long nRecords)
{
    const std::string stem = tempPath("");
    TempFile in{stem + "-in.nc"}, out{stem + "-out.nc"};
    const size_t n = static_cast<size_t>(nRecords);
    writeTimeFile(in.path, n);
    ZCoreLib::ZNetCdf src(in.path, false);
    std::vector<double> values(n);
    auto pass = [&](bool ours) -> Pass {
        return [&, ours]() {
            ZCoreLib::ZNetCdf dst(out.path, true);
            dst.createDim("time", -1);
            const int var = dst.defVar("time", {0}, NC_DOUBLE);
            const size_t start = 0;
            const auto t0 = std::chrono::steady_clock::now();
            if (ours) {
                dst.copyDataFrom(&src, 0, var);
            } else {
                ncCheck(nc_get_vara_double(src.ncid, 0, &start, &n, values.data()), "nc_get_vara_double");
                ncCheck(nc_put_vara_double(dst.ncid, var, &start, &n, values.data()), "nc_put_vara_double");
            }
            dst.close();
            return seconds(t0);
        };
    };
    pass(true)();
    std::vector<double> copied(n);
    int ncid;
    const size_t start = 0;
    ncCheck(nc_open(out.path.c_str(), NC_NOWRITE, &ncid), "nc_open");
    ncCheck(nc_get_vara_double(ncid, 0, &start, &n, copied.data()), "nc_get_vara_double");
    ncCheck(nc_close(ncid), "nc_close");
    ncCheck(nc_get_vara_double(src.ncid, 0, &start, &n, values.data()), "nc_get_vara_double");
    checkSame("copyDataFrom", copied == values);
    return compare(s, pass(true), pass(false));
}

// A file its writer is still writing, and a reader of it opened after the
// first timestep. The header's size is set by a projection text padded to
// it: the reader's check reads bytes, whatever they hold, and a mesh of a
// million elements would cost a gigabyte of memory per object.
struct LiveFile {
    TempFile file;
    std::unique_ptr<hestor::hsResultFile> writer, reader;
    float step = 0;

    explicit LiveFile(long long headerBytes) : file{tempPath(".emb")}
    {
        const GridMesh g = triGrid(100);
        writer = hestor::hsResultFile::createWriter(
            file.path, hestor::EMB,
            [&](hsModelInfo& mi) {
                fillLayered(mi, g, 1);
                mi.mesh2d.proj.assign(static_cast<size_t>(headerBytes), 'p');
            },
            {"v"}, {1});
        append();
        reader.reset(new hestor::hsResultFile(file.path, -1));
    }
    void append() { writer->writeData(&++step, 1); }
    float read()
    {
        float v = 0;
        reader->readItemData(0, 0, &v);
        return v;
    }
};

// One read of a live file after each timestep its writer appends: the
// check that the file is still the one the reader counted must not grow
// with the header.
Times rowLiveRead(const Settings& s, long long headerBytes)
{
    LiveFile big(headerBytes), small(headerBytes / 100);
    checkSame("the first timestep of a live file", big.read() == 1 && small.read() == 1);
    auto pass = [](LiveFile& f) -> Pass {
        return [&f]() {
            f.append();
            const auto t0 = std::chrono::steady_clock::now();
            f.read();
            return seconds(t0);
        };
    };
    return compare(s, pass(big), pass(small));
}

struct Row {
    std::string measure, baseline;
    double target;
    Times t;
};

std::string count(long long n)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(n));
    return buf;
}

int run()
{
    const Settings s;
    const long long n = static_cast<long long>(envNumber("HS_BENCH_N_LARGE", 1e6));
    const std::string N = count(n), N10 = count(n / 10), N100 = count(n / 100);
    std::vector<Row> rows;
    auto add = [&](const std::string& measure, const std::string& baseline, double target,
                   const std::function<Times()>& f) {
        const auto t0 = std::chrono::steady_clock::now();
        rows.push_back({measure, baseline, target, f()});
        std::fprintf(stderr, "  (%s: %.0f s)\n", measure.c_str(), seconds(t0));
    };
    add("mesh construction (`initMesh`) at N = " + N, "the same at N = " + N10, 12,
        [&] { return rowConstruction(s, n); });
    add("`initMesh` at N = " + N + " polling a cancel hook", "the same without a hook", 1.1,
        [&] { return rowCancelPolls(s, n); });
    {
        std::fprintf(stderr, "  (building the N = %s, %d-layer model)\n", N.c_str(), noLayer);
        std::unique_ptr<Layered> L = makeLayered(n);
        const std::string floorColumns = "a loop writing the same top cells into the model's tables";
        add("`updateDZe`, N = " + N + ", " + std::to_string(noLayer) + " layers", floorColumns, 1.5,
            [&] { return rowUpdateDZe(s, *L); });
        add("`updateDZf`, face rule 3", "a loop writing the same top face-cells into the model's tables",
            1.5, [&] { return rowUpdateDZf(s, *L); });
        add("`updateDZeWetDry`", floorColumns, 1.5, [&] { return rowUpdateDZeWetDry(s, *L); });
        add("`pointElem`, " + N10 + " points, N = " + N,
            "the same points' nearest centroid (k-d tree)", 3,
            [&] { return rowPointElem(s, L->mi->mesh2d, n / 10); });
    }
    add("`subMesh` of half the elements at N = " + N10, "the same at N = " + N100, 12,
        [&] { return rowSubMesh(s, n / 10); });
    add("`mergeMesh` of two halves at N = " + N10, "the same at N = " + N100, 12,
        [&] { return rowMergeMesh(s, n / 10); });
    add("`editDeleteUnusedNodes` at N = " + N10, "the same at N = " + N100, 12,
        [&] { return rowDeleteUnusedNodes(s, n / 10); });
    add("scattered `interpOnBitmap`, " + N + " points on 1000 x 1000 pixels",
        "a plain walk of each pixel over its column's window", 0.1,
        [&] { return rowPainting(s, n, 1000); });
    add("`chopMesh` of a comb of 16000 one-element teeth, one section",
        "the same with 8000 teeth", 2.5, [&] { return rowChopComb(s, 16000); });
    add("`chopMesh` along 500 steps across elements, N = " + count(6 * n / 10),
        "a section along faces of the same mesh", 10,
        [&] { return rowChopAcross(s, 6 * n / 10); });
    add("`getDataIntoGivenType<double>`, " + count(10 * n) + " floats",
        "`nc_get_vara_double` of the same slab", 1.2, [&] { return rowNetCdf(s, 10 * n); });
    add("`copyDataFrom`, a time axis of " + count(2 * n) + " records",
        "one whole-variable `nc_get_vara_double` + `nc_put_vara_double`", 2,
        [&] { return rowNetCdfCopy(s, 2 * n); });
    add("one read of a file its writer is writing, after each timestep, header of 40 MB",
        "the same with a header of 400 kB", 1.5, [&] { return rowLiveRead(s, 40000000); });

    std::printf("HestorTools C++ benchmark: %u cores; median of %d repetitions, each side >= %g s "
                "per repetition.\n\n",
                std::thread::hardware_concurrency(), s.reps, s.minSeconds);
    std::printf("| measure | compared with | package | baseline | ratio | target |\n");
    std::printf("| --- | --- | --- | --- | --- | --- |\n");
    int missed = 0;
    for (const Row& r : rows) {
        const double ratio = r.t.ours / r.t.base;
        const bool ok = ratio <= r.target;
        missed += !ok;
        std::printf("| %s | %s | %s | %s | %.3f | <= %g%s |\n", r.measure.c_str(),
                    r.baseline.c_str(), formatTime(r.t.ours).c_str(), formatTime(r.t.base).c_str(),
                    ratio, r.target, ok ? "" : " MISSED");
    }
    if (missed == 0)
        std::printf("Every ratio meets its target.\n");
    else
        std::printf("%d ratio(s) miss their target.\n", missed);
    return 0;
}

} // namespace

int main()
{
    try {
        return run();
    } catch (const ZCoreLib::ZException& e) {
        std::fprintf(stderr, "hestor_bench: %s\n", e.message.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hestor_bench: %s\n", e.what());
    }
    return 1;
}
