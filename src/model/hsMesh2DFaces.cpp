// initVF: the faces of a mesh found from its element sides and numbered
// interior first, then each open boundary as one chain with the domain on its
// left, then the closed sides; the element-face tables and the node types the
// faces imply.

#include "hsMesh2D.h"

#include <algorithm>
#include <string>
#include <vector>

#include "ZArray.h"
#include "ZCancel.h"
#include "ZMath.h"
#include "ZMessage.h"

using namespace ZCoreLib;

namespace hestor {

namespace {

// Codes 0 (interior) to 99 (closed); one counter each.
const int noCodes = 100;

template <typename T>
void freeArr(T*& p)
{
    delete[] p;
    p = nullptr;
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
        ZCoreLib::ZCancel::poll();
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
        ZCoreLib::ZCancel::poll();
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
        ZCoreLib::ZCancel::poll();
        int h = g;
        const int lo = std::min(ea[order[g]], eb[order[g]]);
        const int hi = std::max(ea[order[g]], eb[order[g]]);
        while (h < n && std::min(ea[order[h]], eb[order[h]]) == lo &&
               std::max(ea[order[h]], eb[order[h]]) == hi)
            h++;
        if (h - g > 2)
            throw ZException("hsMesh2D: initVF: element " + str(eElem[order[g + 2]]) +
                             " has the side from node " + str(lo) + " to node " + str(hi) +
                             ", which elements " + str(eElem[order[g]]) + " and " +
                             str(eElem[order[g + 1]]) +
                             " already share; a face joins at most two elements." + errSuffix);
        for (int j = g; j < h; j++)
            head[order[j]] = order[g];
        groupSize[order[g]] = h - g;
        g = h;
    }

    FaceDiscovery d;
    d.entryFace.assign(n, -1);
    for (int i = 0; i < n; i++) {
        ZCoreLib::ZCancel::poll();
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
                throw ZException("hsMesh2D: initVF: the face of nodes " + str(ea[i]) +
                                 " and " + str(eb[i]) + " gets code " +
                                 str(code) + " from its node types, outside 0..99." +
                                 errSuffix);
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
        ZCoreLib::ZCancel::poll();
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
        ZCoreLib::ZCancel::poll();
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
        ZCoreLib::ZCancel::poll();
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

} // namespace hestor
