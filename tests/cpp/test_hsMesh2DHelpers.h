#ifndef HESTOR_TEST_HSMESH2DHELPERS_H
#define HESTOR_TEST_HSMESH2DHELPERS_H

// Mesh builders shared by the mesh tests.

#include <cmath>
#include <string>
#include <vector>

#include "hsMesh2D.h"

namespace meshtest {

struct MeshData {
    std::vector<double> x, y;
    std::vector<int> type;
    std::vector<std::vector<int>> elems;
    std::vector<double> vx, vy;  // given Voronoi points, if any
    std::string proj = "UTM32";
};

// Fills the primary fields as a reader would; initMesh is left to the caller.
inline void fill(hestor::hsMesh2D& m, const MeshData& d)
{
    m.proj = d.proj;
    m.non = static_cast<int>(d.x.size());
    m.nX = new double[m.non];
    m.nY = new double[m.non];
    m.nt = new int[m.non];
    for (int i = 0; i < m.non; i++) {
        m.nX[i] = d.x[i];
        m.nY[i] = d.y[i];
        m.nt[i] = d.type.empty() ? 0 : d.type[i];
    }
    m.noe = static_cast<int>(d.elems.size());
    m.enon = new int[m.noe];
    int total = 0;
    for (const auto& e : d.elems)
        total += static_cast<int>(e.size());
    m.en = new int[total];
    int s = 0;
    for (int e = 0; e < m.noe; e++) {
        m.enon[e] = static_cast<int>(d.elems[e].size());
        for (int v : d.elems[e])
            m.en[s++] = v;
    }
    if (!d.vx.empty()) {
        m.eVoronoiX = new double[m.noe];
        m.eVoronoiY = new double[m.noe];
        for (int e = 0; e < m.noe; e++) {
            m.eVoronoiX[e] = d.vx[e];
            m.eVoronoiY[e] = d.vy[e];
        }
        m.voronoiPopped = true;
    }
}

inline void build(hestor::hsMesh2D& m, const MeshData& d)
{
    fill(m, d);
    m.initMesh();
}

// nx x ny unit squares of side h, each split into two right triangles
// (counter-clockwise). Node (i, j) is j (nx + 1) + i.
inline MeshData squareTriGrid(int nx, int ny, double h = 1.0)
{
    MeshData d;
    for (int j = 0; j <= ny; j++)
        for (int i = 0; i <= nx; i++) {
            d.x.push_back(i * h);
            d.y.push_back(j * h);
        }
    d.type.assign(d.x.size(), 0);
    for (int j = 0; j < ny; j++)
        for (int i = 0; i < nx; i++) {
            const int a = j * (nx + 1) + i, b = a + 1, c = a + nx + 2, dd = a + nx + 1;
            d.elems.push_back({a, b, c});
            d.elems.push_back({a, c, dd});
        }
    return d;
}

// Quadrilaterals only.
inline MeshData squareGrid(int nx, int ny, double h = 1.0)
{
    MeshData d = squareTriGrid(nx, ny, h);
    d.elems.clear();
    for (int j = 0; j < ny; j++)
        for (int i = 0; i < nx; i++) {
            const int a = j * (nx + 1) + i;
            d.elems.push_back({a, a + 1, a + nx + 2, a + nx + 1});
        }
    return d;
}

// Quadrilaterals with the nodes of the left side of type leftType, of the
// right side rightType; the others interior.
inline MeshData sideTypedGrid(int nx, int ny, double h, int leftType, int rightType)
{
    MeshData d = squareGrid(nx, ny, h);
    for (int j = 0; j <= ny; j++)
        for (int i = 0; i <= nx; i++)
            d.type[j * (nx + 1) + i] = i == 0 ? leftType : (i == nx ? rightType : 0);
    return d;
}

// A 2 x 2 grid of 0.01 degree squares near 9 E 55 N in projection proj.
inline MeshData lonLatGrid(const std::string& proj)
{
    MeshData d = squareGrid(2, 2, 0.01);
    d.proj = proj;
    for (double& x : d.x)
        x += 9.0;
    for (double& y : d.y)
        y += 55.0;
    return d;
}

// Equilateral triangles of side h; odd rows shifted by h / 2.
inline MeshData equilateralGrid(int nx, int ny, double h = 1.0)
{
    MeshData d;
    const double rowH = h * std::sqrt(3.0) / 2.0;
    for (int j = 0; j <= ny; j++)
        for (int i = 0; i <= nx; i++) {
            d.x.push_back(i * h + (j % 2) * h / 2.0);
            d.y.push_back(j * rowH);
        }
    d.type.assign(d.x.size(), 0);
    for (int j = 0; j < ny; j++)
        for (int i = 0; i < nx; i++) {
            const int a = j * (nx + 1) + i, b = a + 1, c = a + nx + 1, dd = c + 1;
            if (j % 2 == 0) {
                d.elems.push_back({a, b, c});
                d.elems.push_back({b, dd, c});
            } else {
                d.elems.push_back({a, dd, c});
                d.elems.push_back({a, b, dd});
            }
        }
    return d;
}

} // namespace meshtest

#endif
