// Editing a mesh in place: adding and deleting nodes and elements,
// renumbering nodes, appending strips and whole meshes, moving Voronoi points.
//
// Every edit checks all its arguments first and then changes the primary
// tables through editApply. Deletions and renumbering are one pass over the
// tables however many nodes or elements they drop, and give what deleting
// them one by one would.

#include "hsMesh2D.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "ZMessage.h"
#include "ZPoly.h"

using namespace ZCoreLib;

namespace hestor {

namespace {

[[noreturn]] void refuse(const std::string& who, const std::string& what)
{
    throw ZException(who + ": " + what);
}

std::string idRange(long long n) { return "0.." + str(n - 1); }

// Coordinates that are not numbers would reach every mean, area and index of
// the mesh; the points are named first + k, with what follows the number.
void requireFinite(const std::string& who, const std::string& what, int n, const double* x,
                   const double* y, long long first, const std::string& whose)
{
    for (int k = 0; k < n; k++)
        if (!std::isfinite(x[k]) || !std::isfinite(y[k]))
            refuse(who, what + " " + str(first + k) + whose +
                            " has a coordinate that is not a finite number.");
}

// Marks of count distinct ids in 0..n-1.
std::vector<char> markIds(const std::string& who, const std::string& what, const int* ids,
                          int count, int n)
{
    if (count < 0)
        refuse(who, "the number of " + what + "s is negative (" + str(count) + ").");
    if (count > 0 && ids == nullptr)
        refuse(who, "no " + what + " list given.");
    std::vector<char> marked(n, 0);
    for (int i = 0; i < count; i++) {
        const int id = ids[i];
        if (id < 0 || id >= n)
            refuse(who, what + " " + str(id) + " is not in " + idRange(n) + ".");
        if (marked[id])
            refuse(who, what + " " + str(id) + " is listed twice.");
        marked[id] = 1;
    }
    return marked;
}

long long entryCount(const hsMesh2D& m)
{
    long long total = 0;
    for (int e = 0; e < m.noe; e++)
        total += m.enon[e];
    return total;
}

// The counts stay within what the mesh can number (initMesh's limit on element nodes).
void checkGrowth(const std::string& who, const hsMesh2D& m, long long nNew, long long nElems,
                 long long entries)
{
    if (m.non + nNew > INT_MAX || m.noe + nElems > INT_MAX ||
        entryCount(m) + entries > INT_MAX / 2)
        refuse(who, "the mesh would hold more nodes, elements or element nodes than it can count.");
}

template <typename T>
void grow(T*& arr, long long n, const T* add, long long addN)
{
    std::unique_ptr<T[]> out(new T[n + addN]);
    if (n > 0)
        std::copy(arr, arr + n, out.get());
    std::copy(add, add + addN, out.get() + n);
    delete[] arr;
    arr = out.release();
}

template <typename T>
T* arrayOf(const std::vector<T>& v)
{
    T* out = new T[v.size()];
    std::copy(v.begin(), v.end(), out);
    return out;
}

template <typename T>
std::vector<T> vectorOf(const T* arr, long long n)
{
    return arr != nullptr ? std::vector<T>(arr, arr + n) : std::vector<T>();
}

// The primary tables as an edit found them.
struct Primary {
    bool derived = false;
    bool voronoiPopped = false;
    std::vector<int> nt, enon, en;
    std::vector<double> x, y, vx, vy;
};

Primary takePrimary(const hsMesh2D& m)
{
    Primary p;
    p.derived = *m.initialised;
    p.voronoiPopped = m.voronoiPopped;
    p.nt = vectorOf(m.nt, m.non);
    p.x = vectorOf(m.nX, m.non);
    p.y = vectorOf(m.nY, m.non);
    p.enon = vectorOf(m.enon, m.noe);
    p.en = vectorOf(m.en, entryCount(m));
    if (m.voronoiPopped) {
        p.vx = vectorOf(m.eVoronoiX, m.noe);
        p.vy = vectorOf(m.eVoronoiY, m.noe);
    }
    return p;
}

void putPrimary(hsMesh2D& m, const Primary& p)
{
    for (int** a : {&m.nt, &m.enon, &m.en})
        delete[] *a;
    for (double** a : {&m.nX, &m.nY, &m.eVoronoiX, &m.eVoronoiY})
        delete[] *a;
    m.nt = m.enon = m.en = nullptr;
    m.nX = m.nY = m.eVoronoiX = m.eVoronoiY = nullptr;
    m.non = static_cast<int>(p.x.size());
    m.noe = static_cast<int>(p.enon.size());
    m.nt = arrayOf(p.nt);
    m.nX = arrayOf(p.x);
    m.nY = arrayOf(p.y);
    m.enon = arrayOf(p.enon);
    m.en = arrayOf(p.en);
    m.voronoiPopped = p.voronoiPopped;
    if (p.voronoiPopped) {
        m.eVoronoiX = arrayOf(p.vx);
        m.eVoronoiY = arrayOf(p.vy);
    }
}

void appendNodes(hsMesh2D& m, int n, const double* x, const double* y, const int* types)
{
    grow(m.nX, m.non, x, n);
    grow(m.nY, m.non, y, n);
    grow(m.nt, m.non, types, n);
    m.non += n;
}

// ids: the new elements' nodes as mesh node ids, total entries. New
// elements of a mesh with Voronoi points get the mean of their nodes.
void appendElems(hsMesh2D& m, int nElems, const int* counts, const int* ids, long long total)
{
    grow(m.en, entryCount(m), ids, total);
    if (m.voronoiPopped) {
        std::vector<double> vx(nElems), vy(nElems);
        for (int i = 0, s = 0; i < nElems; s += counts[i], i++) {
            for (int j = 0; j < counts[i]; j++) {
                vx[i] += m.nX[ids[s + j]];
                vy[i] += m.nY[ids[s + j]];
            }
            vx[i] /= counts[i];
            vy[i] /= counts[i];
        }
        grow(m.eVoronoiX, m.noe, vx.data(), nElems);
        grow(m.eVoronoiY, m.noe, vy.data(), nElems);
    }
    grow(m.enon, m.noe, counts, nElems);
    m.noe += nElems;
}

// New node numbers keeping the order of the kept nodes; dropped nodes get -1.
std::vector<int> keptNumbers(const std::vector<char>& dropNode, int& kept)
{
    std::vector<int> map(dropNode.size(), -1);
    kept = 0;
    for (std::size_t i = 0; i < dropNode.size(); i++)
        if (!dropNode[i])
            map[i] = kept++;
    return map;
}

std::vector<char> elemsUsing(const hsMesh2D& m, const std::vector<char>& nodes)
{
    std::vector<char> uses(m.noe, 0);
    for (int e = 0, s = 0; e < m.noe; s += m.enon[e], e++)
        for (int j = 0; j < m.enon[e] && !uses[e]; j++)
            uses[e] = nodes[m.en[s + j]];
    return uses;
}

// Drops the marked elements (none when dropElem is empty) and gives node i
// the number map[i] (unchanged when map is empty; -1 drops it, and no kept
// element may use it). Whatever stays keeps its order.
void removeAndRenumber(hsMesh2D& m, const std::vector<char>& dropElem, const std::vector<int>& map,
                       int newNon)
{
    const bool voronoi = m.voronoiPopped && m.eVoronoiX != nullptr && m.eVoronoiY != nullptr;
    long long src = 0, dst = 0;
    int kept = 0;
    for (int e = 0; e < m.noe; e++) {
        const int k = m.enon[e];
        if (dropElem.empty() || !dropElem[e]) {
            for (int j = 0; j < k; j++) {
                const int v = m.en[src + j];
                m.en[dst + j] = map.empty() ? v : map[v];
            }
            m.enon[kept] = k;
            if (voronoi) {
                m.eVoronoiX[kept] = m.eVoronoiX[e];
                m.eVoronoiY[kept] = m.eVoronoiY[e];
            }
            kept++;
            dst += k;
        }
        src += k;
    }
    m.noe = kept;
    if (map.empty())
        return;
    std::vector<double> x(newNon), y(newNon);
    std::vector<int> t(newNon);
    for (int i = 0; i < m.non; i++) {
        if (map[i] < 0)
            continue;
        x[map[i]] = m.nX[i];
        y[map[i]] = m.nY[i];
        t[map[i]] = m.nt[i];
    }
    std::copy(x.begin(), x.end(), m.nX);
    std::copy(y.begin(), y.end(), m.nY);
    std::copy(t.begin(), t.end(), m.nt);
    m.non = newNon;
}

} // namespace

int hsMesh2D::editApply(bool init, const std::function<void()>& change)
{
    Primary before;
    if (init)
        before = takePrimary(*this);
    releaseDerived();
    if (!init) {
        change();
        return 0;
    }
    try {
        change();
        return initMesh();
    } catch (...) {
        releaseDerived();
        putPrimary(*this, before);
        if (before.derived)
            initMesh();
        throw;
    }
}

int hsMesh2D::editAddNode(double x, double y, int type, bool init)
{
    checkGrowth("editAddNode", *this, 1, 0, 0);
    requireFinite("editAddNode", "node", 1, &x, &y, non, "");
    return editApply(init, [&] { appendNodes(*this, 1, &x, &y, &type); });
}

int hsMesh2D::editAddElem(int n, int* nodes, bool init)
{
    const std::string who = "editAddElem";
    if (n > 0 && nodes == nullptr)
        refuse(who, "no node list given.");
    const std::string problem = elemProblem(noe, nodes, n, non, nX, nY);
    if (!problem.empty())
        refuse(who, problem);
    checkGrowth(who, *this, 0, 1, n);
    return editApply(init, [&] { appendElems(*this, 1, &n, nodes, n); });
}

int hsMesh2D::editAddNodesElems(int nNew, double* x, double* y, int* types, int nElems,
                                int* elemNodes, int* counts, int offset)
{
    const std::string who = "editAddNodesElems";
    if (nNew < 0 || nElems < 0)
        refuse(who, "negative number of new nodes (" + str(nNew) + ") or elements (" +
                        str(nElems) + ").");
    if (nNew > 0 && (x == nullptr || y == nullptr || types == nullptr))
        refuse(who, "no coordinates or types given for the " + str(nNew) + " new nodes.");
    if (nElems > 0 && counts == nullptr)
        refuse(who, "no node counts given for the " + str(nElems) + " new elements.");
    long long total = 0;
    for (int i = 0; i < nElems; i++)
        total += std::max(counts[i], 0);
    if (total > 0 && elemNodes == nullptr)
        refuse(who, "no node list given for the " + str(nElems) + " new elements.");
    checkGrowth(who, *this, nNew, nElems, total);
    requireFinite(who, "node", nNew, x, y, non, "");

    // Node ids as they will stand in the mesh, each element checked on them.
    const int nodesAfter = non + nNew;
    const long long shift = offset >= 0 ? static_cast<long long>(non) - offset : 0;
    std::vector<int> ids(static_cast<std::size_t>(total));
    for (long long k = 0; k < total; k++)
        ids[k] = static_cast<int>(std::min<long long>(
            std::max<long long>(elemNodes[k] + shift, INT_MIN), INT_MAX));
    // The coordinates as they will stand, so that shapes are checked too.
    std::vector<double> xAfter(nX, nX + non), yAfter(nY, nY + non);
    if (nNew > 0) {
        xAfter.insert(xAfter.end(), x, x + nNew);
        yAfter.insert(yAfter.end(), y, y + nNew);
    }
    for (long long i = 0, s = 0; i < nElems; s += std::max(counts[i], 0), i++) {
        const std::string problem = elemProblem(static_cast<int>(noe + i), ids.data() + s,
                                                counts[i], nodesAfter, xAfter.data(),
                                                yAfter.data());
        if (!problem.empty())
            refuse(who, "new " + problem);
    }
    return editApply(true, [&] {
        if (nNew > 0)
            appendNodes(*this, nNew, x, y, types);
        if (nElems > 0)
            appendElems(*this, nElems, counts, ids.data(), total);
    });
}

int hsMesh2D::editAddNodesElems(int nNew, double* x, double* y, int* types, int nElems,
                                int* elemNodes, int count, int offset)
{
    const std::string who = "editAddNodesElems";
    if (nNew < 0 || nElems < 0)
        refuse(who, "negative number of new nodes (" + str(nNew) + ") or elements (" +
                        str(nElems) + ").");
    checkGrowth(who, *this, nNew, nElems, static_cast<long long>(nElems) * std::max(count, 0));
    // The count is checked once here rather than on each of nElems copies.
    const long long nodesAfter = static_cast<long long>(non) + nNew;
    const std::string problem =
        nElems > 0 ? elemProblem(noe, nullptr, count, static_cast<int>(nodesAfter)) : "";
    if (!problem.empty())
        refuse(who, "new " + problem);
    std::vector<int> counts(nElems, count);
    return editAddNodesElems(nNew, x, y, types, nElems, elemNodes, counts.data(), offset);
}

int hsMesh2D::editAddNodesElems(int nNew, double* x, double* y, int nElems, int* elemNodes,
                                int type, int count, int offset)
{
    const std::string who = "editAddNodesElems";
    if (nNew < 0)
        refuse(who, "negative number of new nodes (" + str(nNew) + ").");
    checkGrowth(who, *this, nNew, 0, 0);
    if (nNew > 0 && (x == nullptr || y == nullptr))
        refuse(who, "no coordinates or types given for the " + str(nNew) + " new nodes.");
    std::vector<int> types(nNew, type);
    return editAddNodesElems(nNew, x, y, types.data(), nElems, elemNodes, count, offset);
}

int hsMesh2D::editAddSquareSection(double* x, double* y, int n, int nPts, int nAcross,
                                   double width)
{
    const std::string who = "editAddSquareSection";
    if (n < 2 || x == nullptr || y == nullptr)
        refuse(who, "the polyline needs at least 2 points, got " + str(n) + ".");
    if (nPts < 2)
        refuse(who, "at least 2 points along the polyline are needed, got " + str(nPts) + ".");
    if (nAcross < 1)
        refuse(who, "at least 1 strip across is needed, got " + str(nAcross) + ".");
    if (width == 0 || !std::isfinite(width))
        refuse(who, "the spacing across must be a non-zero number.");
    requireFinite(who, "point", n, x, y, 0, " of the polyline");
    double length = 0;
    for (int i = 1; i < n; i++)
        length += std::hypot(x[i] - x[i - 1], y[i] - y[i - 1]);
    if (!(length > 0) || !std::isfinite(length))
        refuse(who, "the polyline has no length.");
    const long long quads = static_cast<long long>(nPts - 1) * nAcross;
    checkGrowth(who, *this, static_cast<long long>(nPts) * (nAcross + 1LL), quads, 4 * quads);

    std::vector<double> ax(nPts), ay(nPts);
    double* alongX = ax.data();
    double* alongY = ay.data();
    ZPoly::ptsAlongSection(x, y, n, nPts, alongX, alongY);
    double* px = nullptr;
    double* py = nullptr;
    int* quad = nullptr;
    int noPts = 0, noQuads = 0;
    ZPoly::squareSection(alongX, alongY, nPts, px, py, noPts, noQuads, quad, nAcross, width);
    std::unique_ptr<double[]> ownX(px), ownY(py);
    std::unique_ptr<int[]> ownQuads(quad);
    // Where the polyline doubles back the strip has no direction across.
    for (int i = 0; i < noPts; i++)
        if (!std::isfinite(px[i]) || !std::isfinite(py[i]))
            refuse(who, "strip point " + str(i) + " is not a finite number; does the polyline "
                        "double back on itself?");
    return editAddNodesElems(noPts, px, py, noQuads, quad, 0, 4, 0);
}

int hsMesh2D::editAddMesh(hsMesh2D other)
{
    if (proj != other.proj)
        refuse("editAddMesh", "the meshes have different projections ('" + proj + "' and '" +
                                  other.proj + "').");
    requireFinite("editAddMesh", "node", other.non, other.nX, other.nY, 0, " of the other mesh");
    return editAddNodesElems(other.non, other.nX, other.nY, other.nt, other.noe, other.en,
                             other.enon, 0);
}

int hsMesh2D::editDelElem(int e, bool init)
{
    const std::vector<char> drop = markIds("editDelElem", "element", &e, 1, noe);
    return editApply(init, [&] { removeAndRenumber(*this, drop, {}, non); });
}

int hsMesh2D::editDelNode(int k, bool init)
{
    const std::vector<char> dropNode = markIds("editDelNode", "node", &k, 1, non);
    const std::vector<char> dropElem = elemsUsing(*this, dropNode);
    int kept = 0;
    const std::vector<int> map = keptNumbers(dropNode, kept);
    return editApply(init, [&] { removeAndRenumber(*this, dropElem, map, kept); });
}

int hsMesh2D::editDelNodesElems(int nElems, int* elems, int nNodes, int* nodes)
{
    const std::string who = "editDelNodesElems";
    const std::vector<char> dropElem = markIds(who, "element", elems, nElems, noe);
    const std::vector<char> dropNode = markIds(who, "node", nodes, nNodes, non);
    // A kept element would be left with a node that no longer exists.
    for (int e = 0, s = 0; e < noe; s += enon[e], e++)
        for (int j = 0; j < enon[e] && !dropElem[e]; j++)
            if (dropNode[en[s + j]])
                refuse(who, "element " + str(e) + " uses node " + str(en[s + j]) +
                                ", which is deleted, but the element is not in the list.");
    int kept = 0;
    const std::vector<int> map = keptNumbers(dropNode, kept);
    return editApply(true, [&] { removeAndRenumber(*this, dropElem, map, kept); });
}

int hsMesh2D::editDeleteUnusedNodes()
{
    std::vector<char> unused(non, 1);
    for (long long i = 0, total = entryCount(*this); i < total; i++)
        unused[en[i]] = 0;
    int kept = 0;
    const std::vector<int> map = keptNumbers(unused, kept);
    return editApply(true, [&] { removeAndRenumber(*this, {}, map, kept); });
}

int hsMesh2D::editRenumberNodes(int m, int* nodes)
{
    if (m < 2)
        return -1;
    const std::vector<char> listed = markIds("editRenumberNodes", "node", nodes, m, non);
    // The listed nodes form one block in list order; it starts at the first
    // one's number, lowered by the listed nodes below it so that it fits.
    int below = 0;
    for (int j = 1; j < m; j++)
        below += nodes[j] < nodes[0];
    const int start = nodes[0] - below;
    std::vector<int> map(non, -1);
    for (int j = 0; j < m; j++)
        map[nodes[j]] = start + j;
    for (int i = 0, next = 0; i < non; i++) {
        if (listed[i])
            continue;
        if (next == start)
            next += m;
        map[i] = next++;
    }
    return editApply(true, [&] { removeAndRenumber(*this, {}, map, non); });
}

int hsMesh2D::updateVoronoiCoor(int e, double x, double y, bool flag)
{
    if (flag)
        throw ZException("Not implemented.");
    const std::string who = "updateVoronoiCoor";
    if (e < 0 || e >= noe)
        refuse(who, "element " + str(e) + " is not in " + idRange(noe) + ".");
    if (!voronoiPopped || eVoronoiX == nullptr || eVoronoiY == nullptr)
        refuse(who, "the mesh has no Voronoi points yet; run initMesh first.");
    requireFinite(who, "the Voronoi point of element", 1, &x, &y, e, "");
    eVoronoiX[e] = x;
    eVoronoiY[e] = y;
    if (vfAngleDev != nullptr && *initialised)
        for (int k = 0; k < nivfpe[e]; k++) {
            const int f = evf[eStart[e] + k];
            vfAngleDev[f] = vfAngleDevOf(f);
        }
    return 0;
}

int hsMesh2D::toSquare0DMesh() { return fromString(square0DMeshStr, -1); }

} // namespace hestor
