#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "dijkstra.h"

using ZCoreLib::dijkstra;
using ZCoreLib::ZException;

namespace {

struct Mesh {
    std::vector<double> x, y;
    std::vector<int> enon, en;
    int non() const { return static_cast<int>(x.size()); }
    int noe() const { return static_cast<int>(enon.size()); }
};

// nx x ny nodes at spacing h; each cell becomes a quad or two triangles.
// Node ids may be shuffled so that neighbour order differs from the layout.
Mesh gridMesh(int nx, int ny, double h, double jitter, bool shuffle, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-jitter, jitter);
    std::vector<int> id(nx * ny);
    std::iota(id.begin(), id.end(), 0);
    if (shuffle)
        std::shuffle(id.begin(), id.end(), rng);
    Mesh m;
    m.x.resize(nx * ny);
    m.y.resize(nx * ny);
    for (int j = 0; j < ny; j++)
        for (int i = 0; i < nx; i++) {
            m.x[id[j * nx + i]] = i * h + u(rng);
            m.y[id[j * nx + i]] = j * h + u(rng);
        }
    for (int j = 0; j + 1 < ny; j++)
        for (int i = 0; i + 1 < nx; i++) {
            int a = id[j * nx + i], b = id[j * nx + i + 1];
            int c = id[(j + 1) * nx + i + 1], d = id[(j + 1) * nx + i];
            if (shuffle && rng() % 3 == 0) {
                m.enon.push_back(4);
                m.en.insert(m.en.end(), {a, b, c, d});
            } else {
                m.enon.insert(m.enon.end(), {3, 3});
                m.en.insert(m.en.end(), {a, b, c, a, c, d});
            }
        }
    return m;
}

// Straightforward dense shortest paths: every node pair looked up in a map,
// every node scanned in ascending order, weight 0 counted as an edge.
struct Reference {
    std::vector<long long> dist;
    std::vector<int> prev;

    Reference(const Mesh& m, int start, int scale = 10000)
    {
        const int n = m.non();
        std::map<std::pair<int, int>, long long> w;
        for (int e = 0, off = 0; e < m.noe(); off += m.enon[e], e++)
            for (int j = 0; j < m.enon[e]; j++) {
                int a = m.en[off + j], b = m.en[off + (j + 1) % m.enon[e]];
                if (a > b)
                    std::swap(a, b);
                if (a == b)
                    continue;
                double l = std::sqrt(std::pow(m.x[b] - m.x[a], 2) + std::pow(m.y[b] - m.y[a], 2));
                w[{a, b}] = w[{b, a}] = static_cast<long long>(scale * l);
            }
        std::vector<std::vector<std::pair<int, long long>>> adj(n);
        for (const auto& kv : w)
            adj[kv.first.first].push_back({kv.first.second, kv.second});  // map order: ascending
        dist.assign(n, -1);
        prev.assign(n, -1);
        std::vector<bool> done(n, false);
        std::priority_queue<std::pair<long long, int>> q;
        dist[start] = 0;
        q.push({0, start});
        while (!q.empty()) {
            int u = q.top().second;
            q.pop();
            if (done[u])
                continue;
            done[u] = true;
            for (const auto& vw : adj[u]) {
                int v = vw.first;
                long long alt = dist[u] + vw.second;
                if (!done[v] && (dist[v] < 0 || alt < dist[v])) {
                    dist[v] = alt;
                    prev[v] = u;
                    q.push({-alt, v});
                }
            }
        }
    }
};

void setup(dijkstra& d, Mesh& m)
{
    ASSERT_EQ(d.setupUnstructMesh(m.non(), m.x.data(), m.y.data(), m.noe(), m.enon.data(),
                                  m.en.data()),
              0);
}

} // namespace

TEST(dijkstra, SquareExampleWithItsTie)
{
    Mesh m;
    m.x = {0, 1, 1, 0};
    m.y = {0, 0, 1, 1};
    m.enon = {3, 3};
    m.en = {0, 1, 2, 0, 2, 3};
    dijkstra d;
    setup(d, m);
    d.calcDist(1);
    EXPECT_EQ(std::vector<int64_t>(d.dist, d.dist + 4), (std::vector<int64_t>{10000, 0, 10000, 20000}));
    EXPECT_EQ(d.getPathVec(3), (std::vector<int>{2, 3}));
    EXPECT_EQ(d.getPathStr(3), " 2 3");
    EXPECT_TRUE(d.getPathVec(1).empty());
    EXPECT_EQ(d.prev[0], 1);
    std::string s = "x";
    d.popPathStr(0, s);
    EXPECT_EQ(s, "x 0");

    d.calcDist(4);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(d.dist[i], dijkstra::unreached);
        EXPECT_TRUE(d.getPathVec(i).empty());
        EXPECT_EQ(d.getPathStr(i), "");
    }
    d.calcDist(-1);
    EXPECT_EQ(d.dist[1], dijkstra::unreached);
    EXPECT_TRUE(d.getPathVec(7).empty());
    d.releaseMem();
    EXPECT_EQ(d.dist, nullptr);
    EXPECT_TRUE(d.getPathVec(3).empty());
}

TEST(dijkstra, RandomMeshesMatchReference)
{
    for (unsigned seed = 1; seed <= 6; seed++) {
        // Odd seeds: integer node positions, so equal distances and ties abound.
        Mesh m = gridMesh(17, 13, 1.0, seed % 2 ? 0.0 : 0.3, true, seed);
        dijkstra d;
        setup(d, m);
        std::mt19937 rng(seed);
        for (int r = 0; r < 5; r++) {
            int start = static_cast<int>(rng() % m.non());
            d.calcDist(start);
            Reference ref(m, start);
            for (int v = 0; v < m.non(); v++) {
                ASSERT_EQ(d.dist[v], ref.dist[v]) << "seed " << seed << " node " << v;
                ASSERT_EQ(d.prev[v], ref.prev[v]) << "seed " << seed << " node " << v;
            }
            int target = static_cast<int>(rng() % m.non());
            std::vector<int> expect;
            for (int v = target; ref.prev[v] != -1; v = ref.prev[v])
                expect.insert(expect.begin(), v);
            EXPECT_EQ(d.getPathVec(target), expect);
            std::string text;
            for (int v : expect)
                text += " " + std::to_string(v);
            EXPECT_EQ(d.getPathStr(target), text);
        }
        d.releaseMem();
    }
}

TEST(dijkstra, StopNodeLeavesTheFarSideUnreached)
{
    Mesh m = gridMesh(10, 2, 1.0, 0.0, false, 0);
    dijkstra d;
    setup(d, m);
    d.stopAtNode(5);
    EXPECT_TRUE(d.stopSet);
    d.calcDist(0);
    EXPECT_EQ(d.dist[5], 50000);
    EXPECT_EQ(d.getPathVec(5), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(d.dist[9], dijkstra::unreached);
    EXPECT_TRUE(d.getPathVec(9).empty());
    d.stopAtNode(-1);
    EXPECT_FALSE(d.stopSet);
    d.calcDist(0);
    EXPECT_EQ(d.dist[9], 90000);
    d.releaseMem();
}

TEST(dijkstra, PathsLongerThanHundredKilometres)
{
    // 400 km at 1 km spacing: 4e9 scaled units, beyond a 32-bit distance.
    Mesh m = gridMesh(401, 2, 1000.0, 0.0, false, 0);
    dijkstra d;
    setup(d, m);
    d.calcDist(0);
    EXPECT_EQ(d.dist[400], 400LL * 1000 * 10000);
    EXPECT_EQ(d.getPathVec(400).size(), 400u);
    EXPECT_EQ(d.getPathVec(801).back(), 801);
    d.releaseMem();
}

TEST(dijkstra, ZeroWeightEdgeIsTraversable)
{
    // Node 1 lies 1e-5 units from node 0: its edge weighs 0 but joins them.
    Mesh m;
    m.x = {0, 1e-5, 1, 0};
    m.y = {0, 0, 0, 1};
    m.enon = {3};
    m.en = {0, 1, 2};
    dijkstra d;
    setup(d, m);
    d.calcDist(0);
    EXPECT_EQ(d.dist[1], 0);
    EXPECT_EQ(d.prev[1], 0);
    EXPECT_EQ(d.getPathVec(1), (std::vector<int>{1}));
    EXPECT_EQ(d.dist[3], dijkstra::unreached);  // in no element
    d.releaseMem();
}

TEST(dijkstra, BadElementNodeThrows)
{
    Mesh m;
    m.x = {0, 1, 1};
    m.y = {0, 0, 1};
    m.enon = {3};
    m.en = {0, 1, 3};
    dijkstra d;
    try {
        setup(d, m);
        FAIL() << "no exception";
    } catch (const ZException& e) {
        EXPECT_EQ(e.message, "setupUnstructMesh: node 3 of element 0 lies outside 0..2");
    }
}

TEST(dijkstra, RepeatedSetUpStartsAfresh)
{
    Mesh a = gridMesh(5, 5, 1.0, 0.0, false, 0), b = gridMesh(3, 2, 2.0, 0.0, false, 0);
    dijkstra d;
    setup(d, a);
    setup(d, b);
    EXPECT_EQ(d.n, 6);
    d.calcDist(0);
    EXPECT_EQ(d.dist[2], 40000);
    d.releaseMem();
}

TEST(dijkstra, LargeMeshDistancesAndLongPath)
{
    // Triangles split along (i, j)-(i+1, j+1): the distance to (i, j) is
    // min(i, j) diagonals plus |i - j| straight steps.
    const int nx = 400, ny = 300;
    Mesh m = gridMesh(nx, ny, 1.0, 0.0, false, 0);
    dijkstra d;
    setup(d, m);
    d.calcDist(0);
    for (int j = 0; j < ny; j += 37)
        for (int i = 0; i < nx; i += 41)
            ASSERT_EQ(d.dist[j * nx + i],
                      std::min(i, j) * 14142LL + std::abs(i - j) * 10000LL);
    EXPECT_EQ(d.getPathVec(nx * ny - 1).size(), static_cast<size_t>(nx - 1));

    Mesh chain = gridMesh(200000, 2, 1.0, 0.0, false, 0);
    setup(d, chain);
    d.calcDist(0);
    EXPECT_EQ(d.getPathVec(199999).size(), 199999u);
    d.releaseMem();
}

TEST(dijkstra, GridScaleAndSteps)
{
    dijkstra d;
    d.setupCartGrid(100, 50, 10, 10, nullptr);
    EXPECT_EQ(d.gridMode, 1);
    EXPECT_EQ(d.scale, 1000);
    EXPECT_EQ(d.stepX, 10000);
    EXPECT_EQ(d.stepY, 10000);
    EXPECT_EQ(d.stepDiag, 14142);
    d.setupCartGrid(1, 1, 0.5, 0.5, nullptr);
    EXPECT_EQ(d.scale, 1000000);
    d.setupCartGrid(10, 1, 1e6, 1, nullptr);
    EXPECT_EQ(d.scale, 1);
    d.setupCartGrid(0, 0, 0, 0, nullptr);
    EXPECT_EQ(d.scale, 1);
    d.calcDist(0);
    d.releaseMem();
}

// 65536 x 65536 cells wrapped to 0 and the distance pass wrote past an empty
// table; steps of 2^31 at scale 1 wrapped negative. Such grids are refused
// and the grid set up before stays.
TEST(dijkstra, GridsThatDoNotFitAreRefused)
{
    dijkstra d;
    d.setupCartGrid(3, 1, 1, 1, nullptr);
    for (const auto& g : std::vector<std::vector<double>>{{65536, 65536, 1, 1},
                                                          {-2, -2, 1, 1},
                                                          {2, 1, 2147483648.0, 1},
                                                          {1, 2, 1, 2147483648.0},
                                                          {2, 1, 2147483647.0, 2147483647.0},
                                                          {2, 1, NAN, 1}})
        EXPECT_THROW(d.setupCartGrid(static_cast<int>(g[0]), static_cast<int>(g[1]), g[2], g[3],
                                     nullptr),
                     ZException)
            << g[0] << " " << g[1] << " " << g[2] << " " << g[3];
    double** dist = d.calcCartGridDist(0, 0);
    EXPECT_EQ(dist[0][2], 2.0 * d.stepX / d.scale);
    d.calcCartGridDistFinalize(dist);
    d.setupCartGrid(2, 1, 2147483647.0, 1, nullptr);
    EXPECT_EQ(d.scale, 1);
    EXPECT_EQ(d.stepX, 2147483647);
    d.releaseMem();
}

TEST(dijkstra, GridBlockedCells)
{
    bool cells[3][3] = {};
    bool* rows[3] = {cells[0], cells[1], cells[2]};
    dijkstra d;
    d.setupCartGrid(3, 3, 1, 1, rows);
    EXPECT_EQ(d.node2CartXCoor(5), 2);
    EXPECT_EQ(d.node2CartYCoor(5), 1);

    cells[1][1] = true;  // only the centre
    double** dist = d.calcCartGridDist(0, 1);
    ASSERT_NE(dist, nullptr);
    EXPECT_DOUBLE_EQ(dist[1][2], 2.0 * d.stepDiag / d.scale);
    EXPECT_DOUBLE_EQ(dist[1][0], 0.0);
    EXPECT_DOUBLE_EQ(dist[0][0], 1.0);
    EXPECT_DOUBLE_EQ(dist[1][1], 999999999.0);
    std::vector<int> path = d.getCartPathVec(2, 1);
    ASSERT_EQ(path.size(), 2u);
    EXPECT_EQ(d.node2CartXCoor(path[0]), 1);
    EXPECT_NE(d.node2CartYCoor(path[0]), 1);
    EXPECT_EQ(d.getCartPathStr(2, 1), " " + std::to_string(path[0]) + " 5");
    d.calcCartGridDistFinalize(dist);

    cells[0][1] = cells[2][1] = true;  // the whole middle column
    dist = d.calcCartGridDist(0, 1);
    EXPECT_DOUBLE_EQ(dist[1][2], 999999999.0);
    EXPECT_DOUBLE_EQ(dist[2][0], 1.0);
    EXPECT_TRUE(d.getCartPathVec(2, 1).empty());
    d.calcCartGridDistFinalize(dist);

    cells[1][0] = true;  // a blocked start reaches nothing
    dist = d.calcCartGridDist(0, 1);
    EXPECT_DOUBLE_EQ(dist[1][0], 0.0);
    EXPECT_DOUBLE_EQ(dist[0][0], 999999999.0);
    d.calcCartGridDistFinalize(dist);
    d.releaseMem();

    dijkstra mesh;
    EXPECT_EQ(mesh.calcCartGridDist(0, 0), nullptr);
}
