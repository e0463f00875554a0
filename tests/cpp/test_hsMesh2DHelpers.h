#ifndef HESTOR_TEST_HSMESH2DHELPERS_H
#define HESTOR_TEST_HSMESH2DHELPERS_H

// Mesh builders shared by the mesh tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ZMath.h"
#include "ZPoly.h"
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

inline bool shareNode(const hestor::hsMesh2D& m, int f, int g, int& common)
{
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++)
            if (m.vfn[2 * f + i] == m.vfn[2 * g + j]) {
                common = m.vfn[2 * f + i];
                return true;
            }
    return false;
}

// Checks every structural invariant against an edge map built here.
inline void checkInvariants(const hestor::hsMesh2D& m, int islands, bool domainLeft = true)
{
    std::map<std::pair<int, int>, std::vector<int>> edges;
    int entries = 0;
    for (int e = 0; e < m.noe; e++) {
        const int s = m.eStart[e], k = m.enon[e];
        for (int j = 0; j < k; j++) {
            const int a = m.en[s + j], b = m.en[s + (j + 1) % k];
            edges[{std::min(a, b), std::max(a, b)}].push_back(e);
            entries++;
        }
    }
    ASSERT_EQ(m.novf, static_cast<int>(edges.size()));
    ASSERT_EQ(m.noevf, entries);
    std::set<std::pair<int, int>> seen;
    int interior = 0;
    for (int f = 0; f < m.novf; f++) {
        const int a = m.vfn[2 * f], b = m.vfn[2 * f + 1];
        const auto key = std::make_pair(std::min(a, b), std::max(a, b));
        ASSERT_TRUE(edges.count(key)) << "face " << f;
        EXPECT_TRUE(seen.insert(key).second) << "face " << f << " twice";
        const std::vector<int>& els = edges[key];
        if (m.vft[f] == 0) {
            interior++;
            ASSERT_EQ(els.size(), 2u);
            EXPECT_EQ(m.vfe[2 * f], std::min(els[0], els[1]));
            EXPECT_EQ(m.vfe[2 * f + 1], std::max(els[0], els[1]));
        } else {
            ASSERT_EQ(els.size(), 1u);
            EXPECT_EQ(m.vfe[2 * f], els[0]);
        }
        if (f > 0) {
            EXPECT_LE(m.vft[f - 1], m.vft[f]);
        }
    }
    EXPECT_EQ(interior, m.noivf);
    EXPECT_EQ(m.noevf, 2 * m.noivf + (m.novf - m.noivf));
    EXPECT_EQ(m.non - m.novf + m.noe, 1 - islands);

    for (int e = 0; e < m.noe; e++) {
        const int s = m.eStart[e];
        int ni = 0, nb = 0;
        for (int k = 0; k < m.enon[e]; k++) {
            const int f = m.evf[s + k], code = m.vft[f];
            EXPECT_EQ(code == 0, k < m.nivfpe[e]) << "element " << e;
            ni += code == 0;
            nb += code > 0 && code < 99;
            // Open faces keep minus their code here; only vfe gets the ghost element.
            const int other = code > 0 ? -code
                                       : (m.vfe[2 * f] == e ? m.vfe[2 * f + 1] : m.vfe[2 * f]);
            EXPECT_EQ(m.evfe[s + k], other);
            const int sign = code == 0 ? (m.vfe[2 * f] == e ? 1 : -1) : (code < 99 ? 1 : 0);
            EXPECT_EQ(m.evfSign[s + k], sign);
        }
        EXPECT_EQ(ni, m.nivfpe[e]);
        EXPECT_EQ(nb, m.nbvfpe[e]);
    }

    // Open boundaries: chains with the inner element on the left of the walk.
    int total = 0;
    for (int b = 0; b < m.nob; b++) {
        const int first = m.noivf + m.bFirstVF[b];
        total += m.bNoVF[b];
        if (b > 0) {
            EXPECT_LT(m.bt[b - 1], m.bt[b]);
        }
        int from = -1;
        for (int i = 0; i < m.bNoVF[b]; i++) {
            const int f = first + i;
            EXPECT_EQ(m.vft[f], m.bt[b]);
            EXPECT_EQ(m.vfe[2 * f + 1], m.noe + f - m.noivf);
            EXPECT_EQ(m.bvfe[f - m.noivf], m.vfe[2 * f]);
            if (i + 1 < m.bNoVF[b]) {
                int common;
                ASSERT_TRUE(shareNode(m, f, f + 1, common)) << "boundary " << b << " face " << i;
                const int start = m.vfn[2 * f] == common ? m.vfn[2 * f + 1] : m.vfn[2 * f];
                if (from >= 0) {
                    EXPECT_EQ(start, from);
                }
                from = common;
                const int e = m.vfe[2 * f];
                if (domainLeft) {
                    EXPECT_EQ(ZCoreLib::ZMath::whichSideOfLine(m.nX[start], m.nY[start],
                                                               m.nX[common], m.nY[common],
                                                               m.eX[e], m.eY[e]),
                              1);
                }
            }
        }
    }
    EXPECT_EQ(total, m.nobvf);
}

// The lowest element holding the point, by testing every element.
inline int brutePointElem(hestor::hsMesh2D& m, double x, double y) {
    for (int e = 0; e < m.noe; e++)
        if (ZCoreLib::ZPoly::inPoly(m.enon[e], m.enX + m.eStart[e], m.enY + m.eStart[e], x, y)) return e;
    return -1;
}

} // namespace meshtest

#endif
