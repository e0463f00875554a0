#include "hsMesh2D.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "ZArray.h"
#include "ZConvert.h"
#include "ZMath.h"
#include "ZPoly.h"
#include "ZStr.h"
#include "Zkdtree.h"

using namespace ZCoreLib;

namespace hestor {

namespace {

// Codes 0 (interior) to 99 (closed); one counter each.
const int noCodes = 100;
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

[[noreturn]] void meshError(const std::string& what)
{
    throw ZException("hsMesh2D: " + what + errSuffix);
}

// Face code from the types of the face's two nodes; a junction node of type
// -(100 p + q) passes p or q to the face towards a node of that type.
int faceCodeFromNodes(int ta, int tb)
{
    int code = (ta == tb) ? ta : 99;
    if (ta < 0 || tb < 0) {
        const int t = ta < 0 ? ta : tb;
        const int u = ta < 0 ? tb : ta;
        const int p = t / 100;  // truncates toward zero
        if (u == 100 * p - t || u == -p)
            code = u;
    }
    return code;
}

// What face discovery yields, in discovery order.
struct FaceDiscovery {
    std::vector<int> entryFace;  // per element-face entry
    std::vector<int> a, b;       // nodes as discovered
    std::vector<int> code;
    std::vector<int> elem;       // first element holding the face
};

// Entries ordered by (lower node, higher node, entry): a counting sort by the
// lower node, then a small sort inside each node's bucket.
std::vector<int> entriesByEdge(const std::vector<int>& ea, const std::vector<int>& eb, int non)
{
    const int n = static_cast<int>(ea.size());
    std::vector<int> start(non + 1, 0);
    for (int i = 0; i < n; i++)
        start[std::min(ea[i], eb[i]) + 1]++;
    for (int v = 0; v < non; v++)
        start[v + 1] += start[v];
    std::vector<int> order(n), fill(start.begin(), start.end() - 1);
    for (int i = 0; i < n; i++)
        order[fill[std::min(ea[i], eb[i])]++] = i;
    for (int v = 0; v < non; v++) {
        std::sort(order.begin() + start[v], order.begin() + start[v + 1], [&](int x, int y) {
            const int hx = std::max(ea[x], eb[x]), hy = std::max(ea[y], eb[y]);
            return hx != hy ? hx < hy : x < y;
        });
    }
    return order;
}

// Groups the element edges by their unordered node pair. Face numbers follow
// the first entry of each group, which is the order of discovery.
FaceDiscovery discoverFaces(const hsMesh2D& m)
{
    const int n = m.noevf;
    std::vector<int> ea(n), eb(n), eElem(n);
    for (int e = 0; e < m.noe; e++) {
        const int s = m.eStart[e], k = m.enon[e];
        for (int j = 0; j < k; j++) {
            ea[s + j] = m.en[s + j];
            eb[s + j] = m.en[s + (j + 1) % k];
            eElem[s + j] = e;
        }
    }
    const std::vector<int> order = entriesByEdge(ea, eb, m.non);

    // Head of each group = its lowest entry; group size decides interior.
    std::vector<int> head(n), groupSize(n, 0);
    for (int g = 0; g < n;) {
        int h = g;
        const int lo = std::min(ea[order[g]], eb[order[g]]);
        const int hi = std::max(ea[order[g]], eb[order[g]]);
        while (h < n && std::min(ea[order[h]], eb[order[h]]) == lo &&
               std::max(ea[order[h]], eb[order[h]]) == hi)
            h++;
        for (int j = g; j < h; j++)
            head[order[j]] = order[g];
        groupSize[order[g]] = h - g;
        g = h;
    }

    FaceDiscovery d;
    d.entryFace.assign(n, -1);
    for (int i = 0; i < n; i++) {
        if (head[i] != i) {
            d.entryFace[i] = d.entryFace[head[i]];
            continue;
        }
        d.entryFace[i] = static_cast<int>(d.a.size());
        d.a.push_back(ea[i]);
        d.b.push_back(eb[i]);
        d.elem.push_back(eElem[i]);
        int code = 0;
        if (groupSize[i] < 2) {
            code = faceCodeFromNodes(m.nt[ea[i]], m.nt[eb[i]]);
            if (code < 0 || code >= noCodes)
                meshError("initVF: the face of nodes " + std::to_string(ea[i]) + " and " +
                          std::to_string(eb[i]) + " gets code " + std::to_string(code) +
                          " from its node types, outside 0..99.");
        }
        d.code.push_back(code);
    }
    return d;
}

// Puts the faces of one open-boundary code into one chain with the domain on
// the left; pos receives their new numbers from base on.
class BoundaryChain {
public:
    BoundaryChain(const hsMesh2D& m, const FaceDiscovery& d, std::vector<int>& local)
        : m_(m), d_(d), local_(local)
    {
    }

    void order(const std::vector<int>& faces, int base, std::vector<int>& pos)
    {
        faces_ = &faces;
        index(faces);
        const int k = static_cast<int>(faces.size());
        placed_.assign(k, 0);
        int cur = -1;
        int j = firstStart(cur);
        int nPlaced = 0, firstUnplaced = 0;
        for (;;) {
            place(j, base + nPlaced++, pos);
            if (nPlaced == k)
                break;
            cur = other(j, cur);
            j = nextAt(cur);
            if (j < 0) {
                // Broken chain: go on from the first face not yet placed.
                while (placed_[firstUnplaced])
                    firstUnplaced++;
                j = firstUnplaced;
                cur = restartNode(j);
            }
        }
        for (int v : nodes_)
            local_[v] = -1;
    }

private:
    const hsMesh2D& m_;
    const FaceDiscovery& d_;
    std::vector<int>& local_;  // node -> local index, -1 outside this code
    const std::vector<int>* faces_ = nullptr;
    std::vector<int> nodes_, start_, list_, cursor_, unplaced_;
    std::vector<char> placed_;

    int fa(int j) const { return d_.a[(*faces_)[j]]; }
    int fb(int j) const { return d_.b[(*faces_)[j]]; }

    void index(const std::vector<int>& faces)
    {
        nodes_.clear();
        const int k = static_cast<int>(faces.size());
        for (int j = 0; j < k; j++)
            for (int v : {fa(j), fb(j)})
                if (local_[v] < 0) {
                    local_[v] = static_cast<int>(nodes_.size());
                    nodes_.push_back(v);
                }
        const int nn = static_cast<int>(nodes_.size());
        start_.assign(nn + 1, 0);
        for (int j = 0; j < k; j++) {
            start_[local_[fa(j)] + 1]++;
            if (fb(j) != fa(j))
                start_[local_[fb(j)] + 1]++;
        }
        for (int i = 0; i < nn; i++)
            start_[i + 1] += start_[i];
        list_.assign(start_[nn], 0);
        cursor_.assign(start_.begin(), start_.end() - 1);
        for (int j = 0; j < k; j++) {
            list_[cursor_[local_[fa(j)]]++] = j;
            if (fb(j) != fa(j))
                list_[cursor_[local_[fb(j)]]++] = j;
        }
        cursor_.assign(start_.begin(), start_.end() - 1);
        unplaced_.resize(nn);
        for (int i = 0; i < nn; i++)
            unplaced_[i] = start_[i + 1] - start_[i];
    }

    bool isFree(int v) const { return unplaced_[local_[v]] <= 1; }

    bool leftOf(int from, int to, int j) const
    {
        const int e = d_.elem[(*faces_)[j]];
        return ZMath::whichSideOfLine(m_.nX[from], m_.nY[from], m_.nX[to], m_.nY[to], m_.eX[e],
                                      m_.eY[e]) > 0;
    }

    // The first chain end whose element lies on the left; a ring starts at
    // its first face, walking on from that face's first node.
    int firstStart(int& cur) const
    {
        const int k = static_cast<int>(faces_->size());
        for (int j = 0; j < k; j++) {
            const int a = fa(j), b = fb(j);
            const bool aFree = isFree(a), bFree = isFree(b);
            if (aFree && leftOf(a, b, j)) {
                cur = a;
                return j;
            }
            if (bFree && leftOf(b, a, j)) {
                cur = b;
                return j;
            }
        }
        cur = fb(0);
        return 0;
    }

    int restartNode(int j) const
    {
        if (isFree(fa(j)))
            return fa(j);
        if (isFree(fb(j)))
            return fb(j);
        return fb(j);
    }

    // The node at the far end of face j seen from node v.
    int other(int j, int v) const { return fa(j) == v ? fb(j) : fa(j); }

    void place(int j, int p, std::vector<int>& pos)
    {
        placed_[j] = 1;
        pos[(*faces_)[j]] = p;
        unplaced_[local_[fa(j)]]--;
        if (fb(j) != fa(j))
            unplaced_[local_[fb(j)]]--;
    }

    // First unplaced face at node v in discovery order.
    int nextAt(int v)
    {
        const int i = local_[v];
        int& c = cursor_[i];
        while (c < start_[i + 1] && placed_[list_[c]])
            c++;
        return c < start_[i + 1] ? list_[c] : -1;
    }
};

// New face numbers: a stable counting sort by code (interior, open boundaries
// ascending, closed), each open boundary reordered into its chain.
std::vector<int> faceNumbers(hsMesh2D& m, const FaceDiscovery& d)
{
    std::vector<int> count(noCodes + 1, 0);
    for (int c : d.code)
        count[c + 1]++;
    m.noivf = count[1];
    m.nobvf = m.novf - count[1] - count[noCodes];
    for (int c = 0; c < noCodes; c++)
        count[c + 1] += count[c];
    std::vector<int> pos(m.novf);
    std::vector<std::vector<int>> openFaces(noCodes);
    for (int f = 0; f < m.novf; f++) {
        pos[f] = count[d.code[f]]++;
        if (d.code[f] >= 1 && d.code[f] <= 98)
            openFaces[d.code[f]].push_back(f);
    }
    m.nob = 0;
    std::vector<int> local(m.non, -1);
    BoundaryChain chain(m, d, local);
    for (int c = 1; c <= 98; c++) {
        if (openFaces[c].empty())
            continue;
        m.nob++;
        const int base = count[c] - static_cast<int>(openFaces[c].size());
        chain.order(openFaces[c], base, pos);
    }
    return pos;
}

// evf, vft, vfn, nivfpe, nbvfpe; each element's entries sorted by code.
void elementFaceTables(hsMesh2D& m, const FaceDiscovery& d, const std::vector<int>& pos)
{
    m.vft = new int[m.novf];
    m.vfn = new int[2 * m.novf];
    m.evf = new int[m.noevf];
    m.nivfpe = new int[m.noe];
    m.nbvfpe = new int[m.noe];
    std::vector<int> keys;
    for (int e = 0; e < m.noe; e++) {
        const int s = m.eStart[e], k = m.enon[e];
        m.nivfpe[e] = m.nbvfpe[e] = 0;
        keys.resize(k);
        for (int j = 0; j < k; j++) {
            const int old = d.entryFace[s + j], f = pos[old];
            m.evf[s + j] = f;
            m.vft[f] = d.code[old];
            m.vfn[2 * f] = d.a[old];
            m.vfn[2 * f + 1] = d.b[old];
            keys[j] = d.code[old];
            if (keys[j] == 0)
                m.nivfpe[e]++;
            else if (keys[j] < 99)
                m.nbvfpe[e]++;
        }
        if (k > 1) {
            // The library sort, not a stable one: equal codes keep its order.
            int* kp = keys.data();
            int* fp = m.evf + s;
            ZArray::quickSort<int, int>(kp, fp, 0, k - 1);
        }
    }
}

// vfe: interior faces get their elements in index order; boundary faces
// their element and minus their code.
void faceElements(hsMesh2D& m)
{
    m.vfe = new int[2 * m.novf];
    std::fill(m.vfe, m.vfe + 2 * m.novf, -1);
    for (int e = 0; e < m.noe; e++) {
        const int s = m.eStart[e];
        for (int j = 0; j < m.enon[e]; j++) {
            const int f = m.evf[s + j];
            if (j < m.nivfpe[e]) {
                if (m.vfe[2 * f] < 0)
                    m.vfe[2 * f] = e;
                else if (m.vfe[2 * f + 1] < 0)
                    m.vfe[2 * f + 1] = e;
            } else {
                m.vfe[2 * f] = e;
                m.vfe[2 * f + 1] = -m.vft[f];
            }
        }
    }
}

// evfe and evfSign; interior and open faces are turned to run against
// their first element's node order.
void faceSides(hsMesh2D& m)
{
    m.evfe = new int[m.noevf];
    m.evfSign = new signed char[m.noevf];
    for (int e = 0; e < m.noe; e++) {
        const int s = m.eStart[e], k = m.enon[e];
        for (int j = 0; j < k; j++) {
            const int f = m.evf[s + j], s0 = m.vfe[2 * f], s1 = m.vfe[2 * f + 1];
            int* n = m.vfn + 2 * f;
            m.evfe[s + j] = (s0 == e) ? s1 : s0;
            if (m.vft[f] == 0)
                m.evfSign[s + j] = (s0 == e) ? 1 : -1;
            else
                m.evfSign[s + j] = m.vft[f] < 99 ? 1 : 0;
            if (m.evfSign[s + j] != 1)
                continue;
            for (int p = 0; p < k; p++) {
                if (m.en[s + p] != n[0])
                    continue;
                if (m.en[s + (p + 1) % k] == n[1])
                    std::swap(n[0], n[1]);
                break;
            }
        }
    }
}

// Interior, then closed, then open faces write their code to their nodes.
void nodeTypesFromFaces(hsMesh2D& m)
{
    for (int pass = 0; pass < 3; pass++)
        for (int f = 0; f < m.novf; f++) {
            const int c = m.vft[f];
            const bool take = pass == 0 ? c == 0 : pass == 1 ? c == 99 : c > 0 && c < 99;
            if (take)
                m.nt[m.vfn[2 * f]] = m.nt[m.vfn[2 * f + 1]] = c;
        }
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
        meshError("initMesh: negative node or element count (" + std::to_string(non) + ", " +
                  std::to_string(noe) + ").");
    if (non > 0 && (nX == nullptr || nY == nullptr || nt == nullptr))
        meshError("initMesh: node tables missing.");
    if (noe > 0 && (enon == nullptr || en == nullptr))
        meshError("initMesh: element tables missing.");
    for (int i = 0; i < non; i++)
        if (nt[i] < minNodeType || nt[i] > 99)
            meshError("initMesh: node " + std::to_string(i) + " has type " +
                      std::to_string(nt[i]) + ", outside " + std::to_string(minNodeType) +
                      "..99.");
    long long total = 0;
    for (int e = 0; e < noe; e++) {
        const std::string problem = elemProblem(e, en + total, enon[e], non);
        if (!problem.empty())
            meshError("initMesh: " + problem);
        total += enon[e];
        if (total > INT_MAX / 2)
            meshError("initMesh: too many element nodes.");
    }
}

std::string hsMesh2D::elemProblem(int e, const int* nodes, long long n, int non)
{
    const std::string name = "element " + std::to_string(e);
    if (n < 3)
        return name + " has " + std::to_string(n) + " nodes; an element needs at least 3.";
    if (n > non)
        return name + " has " + std::to_string(n) + " nodes, more than the mesh's " +
               std::to_string(non) + ".";
    if (nodes == nullptr)
        return "";
    for (long long k = 0; k < n; k++)
        if (nodes[k] < 0 || nodes[k] >= non)
            return name + " refers to node " + std::to_string(nodes[k]) + ", outside 0.." +
                   std::to_string(non - 1) + ".";
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

int hsMesh2D::initVF()
{
    for (int i = 0; i < non; i++)
        if (nt[i] == 0)
            nt[i] = 99;
    for (int** p : {&vft, &vfn, &vfe, &evf, &evfe, &nivfpe, &nbvfpe, &bNoVF, &bt, &bvfe, &bFirstVF})
        freeArr(*p);
    freeArr(evfSign);
    noevf = 0;
    for (int e = 0; e < noe; e++)
        noevf += enon[e];

    const FaceDiscovery d = discoverFaces(*this);
    novf = static_cast<int>(d.a.size());
    const std::vector<int> pos = faceNumbers(*this, d);
    elementFaceTables(*this, d, pos);
    faceElements(*this);
    faceSides(*this);
    nodeTypesFromFaces(*this);
    return 0;
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
