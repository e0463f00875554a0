#ifndef HESTOR_BENCH_BENCHMODELS_H
#define HESTOR_BENCH_BENCHMODELS_H

// Synthetic meshes and models for the benchmark, as in bench/generate.R: a
// regular grid of 10 m squares, each cut into two counter-clockwise
// triangles, with an open boundary (node type 1) on the left side and
// another (type 2) on the right. The model has 1 m layers; each element's
// bottom lies in the middle of a layer chosen from its x position.

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "hsMesh2D.h"
#include "hsModelInfo.h"

namespace bench {

struct GridMesh {
    int nx = 0, ny = 0;
    std::vector<double> x, y;
    std::vector<int> type, enon, en;
    std::vector<int> column;  // square column of each element
};

// Columns and rows of squares for about n triangles (exactly n when n / 2
// factors as below); the shapes of bench/generate.R.
inline GridMesh triGrid(long long n, int unusedEvery = 0)
{
    GridMesh g;
    const long long squares = (n + 1) / 2;
    long long ny = std::max(1LL, static_cast<long long>(std::floor(std::sqrt(squares / 2.0))));
    while (squares % ny != 0)
        --ny;
    g.nx = static_cast<int>(squares / ny);
    g.ny = static_cast<int>(ny);
    // With unusedEvery k, a node no element uses follows every k grid nodes,
    // so that removing them renumbers the whole mesh.
    std::vector<int> id;
    for (int j = 0; j <= g.ny; ++j)
        for (int i = 0; i <= g.nx; ++i) {
            id.push_back(static_cast<int>(g.x.size()));
            g.x.push_back(10.0 * i);
            g.y.push_back(10.0 * j);
            g.type.push_back(i == 0 ? 1 : i == g.nx ? 2 : 0);
            if (unusedEvery > 0 && id.size() % unusedEvery == 0) {
                g.x.push_back(10.0 * i + 5.0);
                g.y.push_back(10.0 * j + 2.5);
                g.type.push_back(0);
            }
        }
    for (int j = 0; j < g.ny; ++j)
        for (int i = 0; i < g.nx; ++i) {
            const int a = id[j * (g.nx + 1) + i], b = id[j * (g.nx + 1) + i + 1];
            const int c = id[(j + 1) * (g.nx + 1) + i + 1], d = id[(j + 1) * (g.nx + 1) + i];
            for (int t : {a, b, c, a, c, d})
                g.en.push_back(t);
            g.enon.push_back(3);
            g.enon.push_back(3);
            g.column.push_back(i);
            g.column.push_back(i);
        }
    return g;
}

// A comb: a row of teeth + 1 unit squares, each cut into two triangles,
// with a one-triangle tooth on each square but the last; 3 teeth + 2
// elements and an outline of about 3 teeth faces. Nodes: the bottom row
// (i, 0) is i, the top row (i, 1) is teeth + 2 + i, tooth i's tip 2 (teeth + 2) + i.
inline GridMesh combMesh(int teeth)
{
    GridMesh g;
    const int top = teeth + 2, tip = 2 * (teeth + 2);
    for (int row = 0; row < 2; ++row)
        for (int i = 0; i <= teeth + 1; ++i) {
            g.x.push_back(i);
            g.y.push_back(row);
        }
    for (int i = 0; i < teeth; ++i) {
        g.x.push_back(i + 0.5);
        g.y.push_back(2.0);
    }
    g.type.assign(g.x.size(), 0);
    for (int i = 0; i <= teeth; ++i) {
        for (int t : {i, i + 1, top + i + 1, i, top + i + 1, top + i})
            g.en.push_back(t);
        g.enon.insert(g.enon.end(), {3, 3});
        g.column.insert(g.column.end(), {i, i});
    }
    for (int i = 0; i < teeth; ++i) {
        for (int t : {top + i, top + i + 1, tip + i})
            g.en.push_back(t);
        g.enon.push_back(3);
        g.column.push_back(i);
    }
    g.nx = teeth + 1;
    g.ny = 1;
    return g;
}

template <typename T>
T* newCopy(const std::vector<T>& v)
{
    T* a = new T[v.size()];
    std::copy(v.begin(), v.end(), a);
    return a;
}

// Fills the primary tables as a file reader would; initMesh is the caller's.
inline void fillMesh(hestor::hsMesh2D& m, const GridMesh& g)
{
    m.proj = "UTM32";
    m.non = static_cast<int>(g.x.size());
    m.nX = newCopy(g.x);
    m.nY = newCopy(g.y);
    m.nt = newCopy(g.type);
    m.noe = static_cast<int>(g.enon.size());
    m.enon = newCopy(g.enon);
    m.en = newCopy(g.en);
}

inline std::unique_ptr<hestor::hsMesh2D> buildMesh(const GridMesh& g)
{
    std::unique_ptr<hestor::hsMesh2D> m(new hestor::hsMesh2D());
    fillMesh(*m, g);
    m->initMesh();
    return m;
}

// noLayer layers of 1 m; bottom layers from 0 (deepest) at the left side to
// noLayer - 5 at the right (all 0 below 5 layers).
inline void fillLayered(hestor::hsModelInfo& mi, const GridMesh& g, int noLayer)
{
    fillMesh(mi.mesh2d, g);
    mi.mesh2d.initMesh();
    const int noe = mi.mesh2d.noe;
    mi.noLayer = noLayer;
    mi.adoptDz(new double[noLayer], noLayer);
    std::fill(mi.dz, mi.dz + noLayer, 1.0);
    mi.adoptElemBathy(new double[noe], noe);
    const int deepest = std::max(noLayer - 5, 0);
    for (int e = 0; e < noe; ++e) {
        const int bottom = g.column[e] * (deepest + 1) / g.nx;
        mi.elemBathy[e] = (noLayer - 1 - bottom) + 0.5;
    }
    mi.init();
}

inline std::unique_ptr<hestor::hsModelInfo> layeredModel(const GridMesh& g, int noLayer)
{
    std::unique_ptr<hestor::hsModelInfo> mi(new hestor::hsModelInfo());
    fillLayered(*mi, g, noLayer);
    return mi;
}

} // namespace bench

#endif
