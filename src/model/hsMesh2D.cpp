#include "hsMesh2D.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "ZCancel.h"
#include "ZConvert.h"
#include "ZMessage.h"
#include "ZPoly.h"
#include "ZStr.h"
#include "Zkdtree.h"

using namespace ZCoreLib;

namespace hestor {

namespace {

// Junction node types are -(100 p + q); nothing below this can be one.
const int minNodeType = -9999;

template <typename T>
T* dupArr(const T* src, long long n)
{
    if (src == nullptr || n < 0)
        return nullptr;
    T* out = new T[static_cast<std::size_t>(n)];
    std::copy(src, src + n, out);
    return out;
}

// UTM coordinate tables are converted copies owned by the mesh, or, where no
// conversion is needed, aliases of the coordinates they stand for.
double* copyUTM(const double* src, bool owned, long long n, double* alias)
{
    if (owned)
        return dupArr(src, n);
    return src != nullptr ? alias : nullptr;
}

void releaseUTM(double*& x, double*& y, bool& owned)
{
    if (owned) {
        delete[] x;
        delete[] y;
    }
    x = y = nullptr;
    owned = false;
}

template <typename T>
void freeArr(T*& p)
{
    delete[] p;
    p = nullptr;
}

// A node id that stands twice in the list, or -1.
int repeatedNode(const int* nodes, long long n)
{
    if (n <= 16) {
        for (long long i = 1; i < n; i++)
            for (long long j = 0; j < i; j++)
                if (nodes[i] == nodes[j])
                    return nodes[i];
        return -1;
    }
    std::vector<int> sorted(nodes, nodes + n);
    std::sort(sorted.begin(), sorted.end());
    const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
    return twice == sorted.end() ? -1 : *twice;
}

[[noreturn]] void meshError(const std::string& what)
{
    throw ZException("hsMesh2D: " + what + errSuffix);
}

} // namespace

hsMesh2D::hsMesh2D()
    : fileName(), fileFmt(0), proj("UTM32"), square0DMeshStr(), dijk()
{
    nullAll();
    initialised = new bool(false);
    square0DMeshStr = "4\t1" + newLine + "0\t0" + newLine + "1\t0" + newLine + "1\t1" +
                      newLine + "0\t1" + newLine + "0\t1\t2\t3" + newLine;
}

hsMesh2D::hsMesh2D(const hsMesh2D& other)
    : fileName(), fileFmt(0), proj(), square0DMeshStr(), dijk()
{
    nullAll();
    initialised = new bool(false);
    try {
        copyFrom(other);
    } catch (...) {
        releaseAll();
        delete initialised;
        throw;
    }
}

hsMesh2D& hsMesh2D::operator=(const hsMesh2D& other)
{
    if (this != &other) {
        releaseAll();
        copyFrom(other);
    }
    return *this;
}

hsMesh2D::~hsMesh2D()
{
    releaseAll();
    delete initialised;
}

void hsMesh2D::nullAll()
{
    non = 0;
    nt = nullptr;
    nX = nY = nXUTM = nYUTM = nullptr;
    zone = 32;
    meanX = meanY = totalArea = areaCenterX = areaCenterY = 0.0;
    noe = 0;
    eX = eY = eVoronoiX = eVoronoiY = eVoronoiXUTM = eVoronoiYUTM = nullptr;
    enon = en = eStart = nullptr;
    enX = enY = eArea = eAreaInv = nullptr;
    eOrthogonal = nullptr;
    vfDist = vfDistInv = vfDx = vfDy = vfxNormL = vfyNormL = nullptr;
    haeCount = hae = haeStart = haeVF = nullptr;
    nvfCount = nvfStart = nnn = nf = ne = nullptr;
    nonvf = 0;
    nArea = nullptr;
    nob = nobvf = 0;
    bNoVF = bt = bvfe = bFirstVF = nullptr;
    novf = noivf = noevf = 0;
    vft = vfn = vfe = nullptr;
    vfeDist = vfLength = vfxc = vfyc = nullptr;
    evf = evfe = nivfpe = nbvfpe = nullptr;
    evfnd = nullptr;
    evfSign = nullptr;
    circumfPopped = false;
    xMax = xMin = yMax = yMin = 0.0;
    lengthScale = 0.0;
    noCircumfNodes = 0;
    circumfX = circumfY = nullptr;
    vfDirX = vfDirY = nullptr;
    lonLat = orthogonal = voronoiPopped = false;
    vfAngleDev = nullptr;
    initialised = nullptr;
    dijkSetUp = false;
    kdtree = nullptr;
    derivedNon = derivedNoe = 0;
    nodeUTMOwned = voronoiUTMOwned = false;
}

// Caches built on demand by queries; they must never outlive the faces they
// were built from.
void hsMesh2D::releaseCaches()
{
    freeArr(haeCount);
    freeArr(hae);
    freeArr(haeStart);
    freeArr(haeVF);
    circumfPopped = false;
    noCircumfNodes = 0;
    freeArr(circumfX);
    freeArr(circumfY);
    delete kdtree;
    kdtree = nullptr;
    if (dijkSetUp)
        dijk.releaseMem();
    dijkSetUp = false;
    resetQueryIndex();
}

void hsMesh2D::requireDerived(const char* who) const
{
    if (noe > 0 && !*initialised)
        throw ZException(std::string(who) +
                         ": the mesh has no derived tables (edited without initMesh, or "
                         "initMesh failed); run initMesh first.");
}

// Everything initMesh derives; the primary fields and given Voronoi points stay.
void hsMesh2D::releaseDerived()
{
    releaseCaches();
    releaseUTM(nXUTM, nYUTM, nodeUTMOwned);
    releaseVoronoiUTM();
    for (double** p : {&eX, &eY, &enX, &enY, &eArea, &eAreaInv, &vfDist, &vfDistInv, &vfDx, &vfDy,
                       &vfxNormL, &vfyNormL, &nArea, &vfeDist, &vfLength, &vfxc, &vfyc, &evfnd,
                       &vfDirX, &vfDirY, &vfAngleDev})
        freeArr(*p);
    for (int** p : {&eStart, &nvfCount, &nvfStart, &nnn, &nf, &ne, &bNoVF, &bt, &bvfe, &bFirstVF,
                    &vft, &vfn, &vfe, &evf, &evfe, &nivfpe, &nbvfpe})
        freeArr(*p);
    freeArr(eOrthogonal);
    freeArr(evfSign);
    nonvf = nob = nobvf = novf = noivf = noevf = 0;
    derivedNon = derivedNoe = 0;
    if (initialised != nullptr)
        *initialised = false;
}

void hsMesh2D::releaseVoronoiUTM()
{
    releaseUTM(eVoronoiXUTM, eVoronoiYUTM, voronoiUTMOwned);
}

void hsMesh2D::releaseAll()
{
    releaseDerived();
    freeArr(nt);
    freeArr(nX);
    freeArr(nY);
    freeArr(enon);
    freeArr(en);
    freeArr(eVoronoiX);
    freeArr(eVoronoiY);
    non = noe = 0;
    voronoiPopped = false;
}

// Deep copy of every table; the caches (outline, neighbour tables, k-d tree,
// shortest paths) are rebuilt on demand by the copy.
void hsMesh2D::copyFrom(const hsMesh2D& o)
{
    fileName = o.fileName;
    fileFmt = o.fileFmt;
    proj = o.proj;
    square0DMeshStr = o.square0DMeshStr;
    non = o.non;
    noe = o.noe;
    zone = o.zone;
    meanX = o.meanX;
    meanY = o.meanY;
    totalArea = o.totalArea;
    areaCenterX = o.areaCenterX;
    areaCenterY = o.areaCenterY;
    lengthScale = o.lengthScale;
    lonLat = o.lonLat;
    orthogonal = o.orthogonal;
    voronoiPopped = o.voronoiPopped;
    xMax = o.xMax;
    xMin = o.xMin;
    yMax = o.yMax;
    yMin = o.yMin;

    long long total = 0;
    for (int e = 0; o.enon != nullptr && e < o.noe; e++)
        total += o.enon[e];
    nt = dupArr(o.nt, non);
    nX = dupArr(o.nX, non);
    nY = dupArr(o.nY, non);
    enon = dupArr(o.enon, noe);
    en = dupArr(o.en, total);
    if (o.voronoiPopped) {
        eVoronoiX = dupArr(o.eVoronoiX, noe);
        eVoronoiY = dupArr(o.eVoronoiY, noe);
    }

    const int dn = o.derivedNon, de = o.derivedNoe;
    derivedNon = dn;
    derivedNoe = de;
    nodeUTMOwned = o.nodeUTMOwned;
    nXUTM = copyUTM(o.nXUTM, nodeUTMOwned, dn, nX);
    nYUTM = copyUTM(o.nYUTM, nodeUTMOwned, dn, nY);
    voronoiUTMOwned = o.voronoiUTMOwned;
    eVoronoiXUTM = copyUTM(o.eVoronoiXUTM, voronoiUTMOwned, de, eVoronoiX);
    eVoronoiYUTM = copyUTM(o.eVoronoiYUTM, voronoiUTMOwned, de, eVoronoiY);
    eX = dupArr(o.eX, de);
    eY = dupArr(o.eY, de);
    eStart = dupArr(o.eStart, de);
    eArea = dupArr(o.eArea, de);
    eAreaInv = dupArr(o.eAreaInv, de);
    eOrthogonal = dupArr(o.eOrthogonal, de);
    nivfpe = dupArr(o.nivfpe, de);
    nbvfpe = dupArr(o.nbvfpe, de);

    noevf = o.noevf;
    enX = dupArr(o.enX, noevf);
    enY = dupArr(o.enY, noevf);
    evf = dupArr(o.evf, noevf);
    evfe = dupArr(o.evfe, noevf);
    evfnd = dupArr(o.evfnd, noevf);
    evfSign = dupArr(o.evfSign, noevf);

    novf = o.novf;
    noivf = o.noivf;
    const long long nf2 = 2LL * novf;
    vft = dupArr(o.vft, novf);
    vfn = dupArr(o.vfn, nf2);
    vfe = dupArr(o.vfe, nf2);
    vfeDist = dupArr(o.vfeDist, nf2);
    for (auto pr : {std::make_pair(&vfDist, o.vfDist), std::make_pair(&vfDistInv, o.vfDistInv),
                    std::make_pair(&vfDx, o.vfDx), std::make_pair(&vfDy, o.vfDy),
                    std::make_pair(&vfxNormL, o.vfxNormL), std::make_pair(&vfyNormL, o.vfyNormL),
                    std::make_pair(&vfLength, o.vfLength), std::make_pair(&vfxc, o.vfxc),
                    std::make_pair(&vfyc, o.vfyc), std::make_pair(&vfDirX, o.vfDirX),
                    std::make_pair(&vfDirY, o.vfDirY)})
        *pr.first = dupArr(pr.second, novf);
    vfAngleDev = dupArr(o.vfAngleDev, noivf);

    nob = o.nob;
    nobvf = o.nobvf;
    bNoVF = dupArr(o.bNoVF, nob);
    bt = dupArr(o.bt, nob);
    bFirstVF = dupArr(o.bFirstVF, nob);
    bvfe = dupArr(o.bvfe, nobvf);

    nonvf = o.nonvf;
    nvfCount = dupArr(o.nvfCount, dn);
    nvfStart = dupArr(o.nvfStart, dn);
    nArea = dupArr(o.nArea, dn);
    nnn = dupArr(o.nnn, nonvf);
    nf = dupArr(o.nf, nonvf);
    ne = dupArr(o.ne, nonvf);

    *initialised = *o.initialised;
}

// The primary tables come from files and from R; nothing in them may index
// outside its table.
void hsMesh2D::checkPrimary() const
{
    if (non < 0 || noe < 0)
        meshError("initMesh: negative node or element count (" + str(non) + ", " +
                  str(noe) + ").");
    if (non > 0 && (nX == nullptr || nY == nullptr || nt == nullptr))
        meshError("initMesh: node tables missing.");
    if (noe > 0 && (enon == nullptr || en == nullptr))
        meshError("initMesh: element tables missing.");
    for (int i = 0; i < non; i++)
        if (nt[i] < minNodeType || nt[i] > 99)
            meshError("initMesh: node " + str(i) + " has type " +
                      str(nt[i]) + ", outside " + str(minNodeType) +
                      "..99.");
    long long total = 0;
    for (int e = 0; e < noe; e++) {
        ZCoreLib::ZCancel::poll();
        const std::string problem = elemProblem(e, en + total, enon[e], non, nX, nY);
        if (!problem.empty())
            meshError("initMesh: " + problem);
        total += enon[e];
        if (total > INT_MAX / 2)
            meshError("initMesh: too many element nodes.");
    }
}

std::string hsMesh2D::elemProblem(int e, const int* nodes, long long n, int non,
                                  const double* x, const double* y)
{
    const std::string name = "element " + str(e);
    if (n < 3)
        return name + " has " + str(n) + " nodes; an element needs at least 3.";
    if (n > non)
        return name + " has " + str(n) + " nodes, more than the mesh's " +
               str(non) + ".";
    if (nodes == nullptr)
        return "";
    for (long long k = 0; k < n; k++)
        if (nodes[k] < 0 || nodes[k] >= non)
            return name + " refers to node " + str(nodes[k]) + ", outside 0.." +
                   str(non - 1) + ".";
    // Elements have few nodes: pairs are compared without allocating, which
    // keeps this check off the cost of building a mesh of millions.
    const int twice = repeatedNode(nodes, n);
    if (twice >= 0)
        return name + " holds node " + str(twice) + " twice.";
    if (x == nullptr || y == nullptr)
        return "";
    return elemShapeProblem(name, nodes, n, x, y);
}

double hsMesh2D::twiceAreaIn(double unit, const int* nodes, long long n, const double* x,
                             const double* y)
{
    const double x0 = x[nodes[0]], y0 = y[nodes[0]];
    double sum = 0.0;
    for (long long k = 0; k < n; k++) {
        const int a = nodes[k], b = nodes[(k + 1) % n];
        sum += ((x[a] - x0) / unit) * ((y[b] - y0) / unit) -
               ((x[b] - x0) / unit) * ((y[a] - y0) / unit);
    }
    return sum;
}

// A side of length 0 or an area of 0 leaves the element's normals, Voronoi
// point and inverse area undefined. The area is summed relative to the first
// node and in units of the element's extent, so that its rounding stays far
// below the threshold and nothing overflows near the largest doubles.
std::string hsMesh2D::elemShapeProblem(const std::string& name, const int* nodes, long long n,
                                       const double* x, const double* y)
{
    const double x0 = x[nodes[0]], y0 = y[nodes[0]];
    double extent = 0.0;
    for (long long k = 0; k < n; k++) {
        const int a = nodes[k], b = nodes[(k + 1) % n];
        if (x[a] == x[b] && y[a] == y[b])
            return name + " has a side of length 0: nodes " + str(a) + " and " + str(b) +
                   " lie at one point.";
        extent = std::max({extent, std::fabs(x[a] - x0), std::fabs(y[a] - y0)});
    }
    const double twiceArea = twiceAreaIn(extent, nodes, n, x, y);
    auto noArea = [&] {
        return name + " has area 0: its nodes lie on one line or its sides cross.";
    };
    if (!(std::fabs(twiceArea) > 1e-12))
        return noArea();
    // The signed area of an outline whose sides cross or fold back is the
    // difference of its lobes, so it must be looked at side by side. In
    // units of the extent, turns below this count as none.
    const double eps = 1e-12;
    auto px = [&](long long k) { return (x[nodes[k % n]] - x0) / extent; };
    auto py = [&](long long k) { return (y[nodes[k % n]] - y0) / extent; };
    auto turn = [&](long long p, long long q, long long r) {
        const double t = (px(q) - px(p)) * (py(r) - py(p)) - (px(r) - px(p)) * (py(q) - py(p));
        return t > eps ? 1 : t < -eps ? -1 : 0;
    };
    auto within = [&](long long p, long long q, long long r) { // r in the box of side p-q
        return std::min(px(p), px(q)) - eps <= px(r) && px(r) <= std::max(px(p), px(q)) + eps &&
               std::min(py(p), py(q)) - eps <= py(r) && py(r) <= std::max(py(p), py(q)) + eps;
    };
    for (long long i = 0; n > 3 && i < n; i++) {
        // A side that runs back along the one before it.
        const double ax = px(i) - px(i + 1), ay = py(i) - py(i + 1);
        const double cx = px(i + 2) - px(i + 1), cy = py(i + 2) - py(i + 1);
        if (turn(i, i + 1, i + 2) == 0 && ax * cx + ay * cy > 0)
            return noArea();
        // Sides that are not neighbours must not meet.
        for (long long j = i + 2; j < n; j++) {
            if (i == 0 && j == n - 1)
                continue;
            const int t1 = turn(i, i + 1, j), t2 = turn(i, i + 1, j + 1);
            const int t3 = turn(j, j + 1, i), t4 = turn(j, j + 1, i + 1);
            if (t1 * t2 > 0 || t3 * t4 > 0)
                continue;
            if ((t1 != 0 || t2 != 0) ||
                within(i, i + 1, j) || within(i, i + 1, j + 1) || within(j, j + 1, i))
                return noArea();
        }
    }
    return "";
}

int hsMesh2D::initMesh()
{
    checkPrimary();
    releaseDerived();
    derivedNon = non;
    derivedNoe = noe;

    eStart = new int[noe];
    noevf = 0;
    for (int e = 0; e < noe; e++) {
        eStart[e] = noevf;
        noevf += enon[e];
    }
    lonLat = ZStr::toUpper(proj).find("LONLAT") != std::string::npos;
    meanX = meanY = 0.0;
    for (int i = 0; i < non; i++) {
        meanX += nX[i];
        meanY += nY[i];
    }
    meanX /= non;
    meanY /= non;
    if (lonLat) {
        zone = ZConvert::guessUTMZone(meanX, meanY);
        nXUTM = new double[non];
        nYUTM = new double[non];
        nodeUTMOwned = true;
        for (int i = 0; i < non; i++)
            ZConvert::geo2UTM(nX[i], nY[i], zone, nXUTM[i], nYUTM[i]);
    } else {
        zone = 32;
        nXUTM = nX;
        nYUTM = nY;
    }
    eArea = new double[noe];
    eAreaInv = new double[noe];
    eX = new double[noe];
    eY = new double[noe];
    totalArea = areaCenterX = areaCenterY = 0.0;

    if (noe == 0) {
        novf = noivf = 0;
        vft = new int[0];
        vfn = new int[0];
        freeArr(eVoronoiX);
        freeArr(eVoronoiY);
        eVoronoiX = new double[0];
        eVoronoiY = new double[0];
        voronoiPopped = true;
        popVoronoiUTM();
        *initialised = true;
        return 0;
    }

    elemGeometry();
    initVF();
    popVoronoi();
    popVoronoiUTM();
    calcVFLengthAndPos();
    initB();
    popGeometry();
    popNode();
    *initialised = true;
    return 0;
}

// Centroids, flat node coordinates, areas and the length scale.
void hsMesh2D::elemGeometry()
{
    enX = new double[noevf];
    enY = new double[noevf];
    lengthScale = 0.0;
    std::vector<double> ux, uy;
    for (int e = 0; e < noe; e++) {
        ZCoreLib::ZCancel::poll();
        const int s = eStart[e], k = enon[e];
        ux.resize(k);
        uy.resize(k);
        double sx = 0.0, sy = 0.0;
        for (int j = 0; j < k; j++) {
            const int v = en[s + j];
            enX[s + j] = nX[v];
            enY[s + j] = nY[v];
            sx += nX[v];
            sy += nY[v];
            ux[j] = nXUTM[v];
            uy[j] = nYUTM[v];
        }
        eX[e] = sx / k;
        eY[e] = sy / k;
        eArea[e] = ZPoly::polygonArea(ux.data(), uy.data(), k);
        eAreaInv[e] = 1.0 / eArea[e];
        totalArea += eArea[e];
        lengthScale += eArea[e];
        areaCenterX += eX[e] * eArea[e];
        areaCenterY += eY[e] * eArea[e];
    }
    lengthScale = std::sqrt(lengthScale / noe);
    areaCenterX /= totalArea;
    areaCenterY /= totalArea;
}

int hsMesh2D::initB()
{
    if (nobvf < 1)
        return 0;
    freeArr(bvfe);
    freeArr(bNoVF);
    freeArr(bt);
    freeArr(bFirstVF);
    bvfe = new int[nobvf];
    bNoVF = new int[nob];
    bt = new int[nob];
    bFirstVF = new int[nob];
    int b = -1;
    for (int i = 0; i < nobvf; i++) {
        const int f = noivf + i;
        bvfe[i] = vfe[2 * f];
        vfe[2 * f + 1] = noe + i;
        if (i == 0 || vft[f] != vft[f - 1]) {
            b++;
            bt[b] = vft[f];
            bFirstVF[b] = i;
            bNoVF[b] = 0;
        }
        bNoVF[b]++;
    }
    return 0;
}

void hsMesh2D::convertNT(int /*version*/)
{
    // A type that cannot be shifted is kept; initMesh refuses it with the
    // other out-of-range types.
    for (int i = 0; i < non; i++)
        if (nt[i] != INT_MIN)
            nt[i] = nt[i] == 0 ? 99 : nt[i] - 1;
}

hsMesh2D* hsMesh2D::copy()
{
    std::unique_ptr<hsMesh2D> m(new hsMesh2D());
    m->fileName = fileName;
    m->fileFmt = fileFmt;
    m->proj = proj;
    long long total = 0;
    for (int e = 0; e < noe; e++)
        total += enon[e];
    m->non = non;
    m->nt = dupArr(nt, non);
    m->nX = dupArr(nX, non);
    m->nY = dupArr(nY, non);
    m->noe = noe;
    m->enon = dupArr(enon, noe);
    m->en = dupArr(en, total);
    m->voronoiPopped = voronoiPopped;
    if (voronoiPopped) {
        m->eVoronoiX = dupArr(eVoronoiX, noe);
        m->eVoronoiY = dupArr(eVoronoiY, noe);
    }
    m->initMesh();
    return m.release();
}

} // namespace hestor
