// The layers along a horizontal section as a mesh of its own in the vertical
// plane (x: distance along the section, y: negative depth), one
// quadrilateral per cell, so section results draw with the mesh machinery.

#include "hsModelInfo.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "ZCancel.h"
#include "ZMessage.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::num;
using ZCoreLib::str;

namespace {

const std::string where = "ise2VMesh: ";

// Nodes and quadrilaterals as they are made, handed to a new mesh at the end.
class SectionMesh {
public:
    void node(double x, double y)
    {
        x_.push_back(x);
        y_.push_back(y);
    }
    int noNodes() const { return static_cast<int>(x_.size()); }
    void quad(int a, int b, int c, int d) { en_.insert(en_.end(), {a, b, c, d}); }

    hsMesh2D* build() const
    {
        if (x_.size() > INT_MAX || en_.size() > INT_MAX)
            throw ZException(where + "the section has more nodes than a mesh can number.");
        std::unique_ptr<hsMesh2D> m(new hsMesh2D);
        m->non = static_cast<int>(x_.size());
        m->nX = copyOf(x_);
        m->nY = copyOf(y_);
        m->nt = copyOf(std::vector<int>(x_.size(), 99));
        m->noe = static_cast<int>(en_.size() / 4);
        m->enon = copyOf(std::vector<int>(en_.size() / 4, 4));
        m->en = copyOf(en_);
        m->initMesh();
        return m.release();
    }

private:
    std::vector<double> x_, y_;
    std::vector<int> en_;

    template <typename T>
    static T* copyOf(const std::vector<T>& v)
    {
        T* a = new T[v.size()];
        std::copy(v.begin(), v.end(), a);
        return a;
    }
};

// Depth of level k: the bottom interface of layer k.
double levelDepth(const hsModelInfo& mi, int k) { return mi.layerDepth[k] + 0.5 * mi.dz[k]; }

double lineX(const double* dist, int i) { return i == 0 ? 0.0 : dist[i - 1]; }

// Line i runs between section entries i-1 and i and holds one node per level
// from its lowest up to the surface; neighbouring elements share them.
void zLayerSection(const hsModelInfo& mi, const int* elems, const double* dist, int n,
                   const double* eta, SectionMesh& out)
{
    const int L = mi.noLayer;
    // Lowest level and first node of each line; -1: the line has no nodes.
    std::vector<int> low(static_cast<size_t>(n) + 1, -1), base(static_cast<size_t>(n) + 1, 0);
    for (int i = 0; i <= n; ++i) {
        ZCoreLib::ZCancel::poll();
        int lo = INT_MAX;
        if (i > 0 && elems[i - 1] >= 0)
            lo = mi.ebli[elems[i - 1]];
        if (i < n && elems[i] >= 0)
            lo = std::min(lo, mi.ebli[elems[i]]);
        if (lo == INT_MAX)
            continue;
        low[i] = lo;
        base[i] = out.noNodes();
        const double surface = eta ? eta[i == 0 ? 0 : i - 1] : -mi.offsetDepth;
        for (int k = lo; k <= L; ++k)
            out.node(lineX(dist, i), k < L ? -levelDepth(mi, k) : surface);
    }
    auto at = [&](int line, int k) { return base[line] + k - low[line]; };
    for (int i = 0; i < n; ++i) {
        ZCoreLib::ZCancel::poll();
        if (elems[i] < 0)
            continue;
        for (int k = mi.ebli[elems[i]]; k < L; ++k)
            out.quad(at(i, k), at(i + 1, k), at(i + 1, k + 1), at(i, k + 1));
    }
}

// Each element has its own pair of nodes per level, scaled by its depth.
void sigmaSection(const hsModelInfo& mi, const int* elems, const double* dist, int n,
                  const double* eta, SectionMesh& out)
{
    const int L = mi.noLayer;
    for (int i = 0; i < n; ++i) {
        ZCoreLib::ZCancel::poll();
        const int e = elems[i];
        if (e < 0)
            continue;
        const int first = out.noNodes();
        for (int k = 0; k <= L; ++k) {
            const double y = k < L ? -levelDepth(mi, k) * mi.elemBathy[e] : (eta ? eta[i] : 0.0);
            out.node(lineX(dist, i), y);
            out.node(dist[i], y);
        }
        for (int k = 0; k < L; ++k) {
            const int left = first + 2 * k;
            out.quad(left, left + 2, left + 3, left + 1);
        }
    }
}

} // namespace

// Entries outside the mesh (negative element numbers) make no cells. A z-layer
// line takes its lowest level from the in-mesh elements beside it and has no
// nodes when there are none; in sigma layers such an entry has no nodes, so
// each element's nodes follow those of the in-mesh element before it.
hsMesh2D* hsModelInfo::ise2VMesh(const int* elems, const double* dist, int n,
                                 const double* eta) const
{
    if (layerType != ZLAYER && layerType != SIGMA)
        throw ZException("ise2VMesh: Not implemented.");
    if (n < 0)
        throw ZException(where + "negative number of section elements (" + str(n) +
                         ").");
    if (layerType == ZLAYER)
        requireInit("ise2VMesh");
    else if (!layerDepth || !dz || !elemBathy)
        throw ZException(where + "the sigma layers have no depths or no bathymetry.");
    for (int i = 0; i < n; ++i)
        if (elems[i] >= mesh2d.noe)
            throw ZException(where + "section entry " + str(i) + " is element " +
                             str(elems[i]) + ", not one of the " +
                             str(mesh2d.noe) + " elements of the mesh.");
    // A stretch of length 0 would give cells without area.
    for (int i = 0; i < n; ++i) {
        const double before = i == 0 ? 0.0 : dist[i - 1];
        if (!(dist[i] > before))
            throw ZException(where + "section entry " + str(i) + " ends at distance " +
                             num(dist[i]) + ", not beyond " + num(before) +
                             "; the distances must ascend.");
    }
    SectionMesh out;
    if (layerType == ZLAYER)
        zLayerSection(*this, elems, dist, n, eta, out);
    else
        sigmaSection(*this, elems, dist, n, eta, out);
    return out.build();
}

} // namespace hestor
