#include "dijkstra.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace ZCoreLib {

namespace {

// Grid stencil: (dx, dy) and which step it costs (0 diagonal, 1 x, 2 y).
const int stencil[8][3] = {{-1, -1, 0}, {0, -1, 2}, {1, -1, 0}, {-1, 0, 1},
                           {1, 0, 1},   {-1, 1, 0}, {0, 1, 2},  {1, 1, 0}};

const double unreachedGridValue = 999999999;

// A scaled grid step as an int; refused when it does not fit.
int gridStep(double v, const char* what)
{
    if (!(v > -2147483649.0 && v < 2147483648.0))
        throw ZException(std::string("setupCartGrid: the ") + what + " step of " +
                         std::to_string(v) + " scaled units does not fit an int");
    return static_cast<int>(v);
}

} // namespace

dijkstra::dijkstra()
    : n(0), dist(nullptr), prev(nullptr), gridMode(0), scale(10000), visited(nullptr),
      stopSet(false), stopNode(-1), nx(0), ny(0), blocked(nullptr), stepDiag(0), stepX(0),
      stepY(0)
{
}

void dijkstra::releaseMem()
{
    delete[] dist;
    delete[] prev;
    delete[] visited;
    dist = nullptr;
    prev = nullptr;
    visited = nullptr;
    std::vector<int>().swap(adjStart);
    std::vector<int>().swap(adjNode);
    std::vector<int64_t>().swap(adjW);
    n = 0;
}

void dijkstra::stopAtNode(int k)
{
    stopNode = k;
    stopSet = (k >= 0);
}

void dijkstra::allocNodeTables(int count)
{
    n = std::max(count, 0);
    dist = new int64_t[n];
    prev = new int[n];
    visited = new bool[n];
}

int dijkstra::setupUnstructMesh(int n, double* x, double* y, int noe, int* enon, int* en)
{
    // Check before anything is replaced, so that a bad mesh leaves no half tables.
    for (int e = 0, off = 0; e < noe; off += enon[e], e++) {
        if (enon[e] < 0)
            throw ZException("setupUnstructMesh: element " + std::to_string(e) +
                             " has a negative node count (" + std::to_string(enon[e]) + ")");
        for (int j = 0; j < enon[e]; j++) {
            int id = en[off + j];
            if (id < 0 || id >= n)
                throw ZException("setupUnstructMesh: node " + std::to_string(id) +
                                 " of element " + std::to_string(e) + " lies outside 0.." +
                                 std::to_string(n - 1));
        }
    }
    releaseMem();
    allocNodeTables(n);
    gridMode = 0;
    buildAdjacency(x, y, noe, enon, en);
    return 0;
}

// Truncated scaled length of the edge between a and b, always measured from
// the smaller node id. -1 (no edge) for a length that is not finite or so
// long that a path of a million such edges could overflow the distances.
int64_t dijkstra::edgeWeight(double* x, double* y, int a, int b) const
{
    if (a > b)
        std::swap(a, b);
    double dx = x[b] - x[a], dy = y[b] - y[a];
    double w = scale * std::sqrt(dx * dx + dy * dy);
    if (!(w <= 1.0e12))
        return -1;
    return static_cast<int64_t>(w);
}

// Compressed adjacency lists, neighbours ascending, so that relaxing them in
// list order meets the neighbours in the same order as a scan of all nodes.
void dijkstra::buildAdjacency(double* x, double* y, int noe, int* enon, int* en)
{
    adjStart.assign(n + 1, 0);
    auto forEachEdge = [&](auto f) {
        for (int e = 0, off = 0; e < noe; off += enon[e], e++)
            for (int j = 0; j < enon[e]; j++) {
                int a = en[off + j], b = en[off + (j + 1) % enon[e]];
                if (a != b)
                    f(a, b);
            }
    };
    forEachEdge([&](int a, int b) {
        adjStart[a + 1]++;
        adjStart[b + 1]++;
    });
    for (int u = 0; u < n; u++)
        adjStart[u + 1] += adjStart[u];
    adjNode.assign(adjStart[n], 0);
    std::vector<int> fill(adjStart.begin(), adjStart.end() - 1);
    forEachEdge([&](int a, int b) {
        adjNode[fill[a]++] = b;
        adjNode[fill[b]++] = a;
    });
    // Sort, drop the repeats of edges shared by two elements, and compact.
    int out = 0;
    for (int u = 0; u < n; u++) {
        auto first = adjNode.begin() + adjStart[u], last = adjNode.begin() + adjStart[u + 1];
        std::sort(first, last);
        last = std::unique(first, last);
        adjStart[u] = out;
        for (auto it = first; it != last; ++it)
            adjNode[out++] = *it;
    }
    adjStart[n] = out;
    adjNode.resize(out);
    adjNode.shrink_to_fit();
    adjW.resize(out);
    for (int u = 0; u < n; u++)
        for (int a = adjStart[u]; a < adjStart[u + 1]; a++)
            adjW[a] = edgeWeight(x, y, u, adjNode[a]);
}

// Everything is checked before the tables are replaced, so a refused grid
// leaves the object as it was.
int dijkstra::setupCartGrid(int nx, int ny, double dx, double dy, bool** blocked)
{
    const long long cells = static_cast<long long>(nx) * ny;
    if (nx < 0 || ny < 0 || cells > INT_MAX)
        throw ZException("setupCartGrid: a grid of " + std::to_string(nx) + " x " +
                         std::to_string(ny) + " cells is negative or has more than " +
                         std::to_string(INT_MAX) + " cells");
    // The larger extent maps to about 10^6 units; the exponent is capped so
    // that tiny or empty grids keep a scale an int can hold.
    double extent = std::max(nx * dx, ny * dy);
    int e = 0;
    if (extent > 0 && std::isfinite(extent))
        e = std::min(6 - static_cast<int>(std::log10(extent)), 9);
    int gridScale = static_cast<int>(std::pow(10.0, e));
    if (gridScale == 0)
        gridScale = 1;
    const int diag = gridStep(gridScale * std::sqrt(dx * dx + dy * dy), "diagonal");
    const int sx = gridStep(dx * gridScale, "x");
    const int sy = gridStep(dy * gridScale, "y");
    releaseMem();
    this->nx = nx;
    this->ny = ny;
    this->blocked = blocked;
    allocNodeTables(static_cast<int>(cells));
    scale = gridScale;
    stepDiag = diag;
    stepX = sx;
    stepY = sy;
    gridMode = 1;
    return 0;
}

void dijkstra::relax(int u, int v, int64_t w, distQueue& queue)
{
    if (visited[v] || w < 0)
        return;
    int64_t alt = dist[u] + w;
    if (alt < dist[v]) {
        dist[v] = alt;
        prev[v] = u;
        queue.push(std::make_pair(-alt, v));
    }
}

void dijkstra::relaxGridNode(int u, distQueue& queue)
{
    const int x = u % nx, y = u / nx;
    if (blocked && blocked[y][x])
        return;
    const int cost[3] = {stepDiag, stepX, stepY};
    for (const auto& s : stencil) {
        int vx = x + s[0], vy = y + s[1];
        if (vx < 0 || vx >= nx || vy < 0 || vy >= ny)
            continue;
        if (blocked && blocked[vy][vx])
            continue;
        relax(u, vy * nx + vx, cost[s[2]], queue);
    }
}

void dijkstra::calcDist(int start)
{
    std::fill(dist, dist + n, unreached);
    std::fill(prev, prev + n, -1);
    std::fill(visited, visited + n, false);
    if (start < 0 || start >= n)
        return;
    dist[start] = 0;
    distQueue queue;
    queue.push(std::make_pair(int64_t(0), start));
    while (!queue.empty()) {
        int u = queue.top().second;
        queue.pop();
        if (gridMode == 0 && stopSet && u == stopNode)
            return;
        if (visited[u])
            continue;
        visited[u] = true;
        if (gridMode == 0) {
            for (int a = adjStart[u]; a < adjStart[u + 1]; a++)
                relax(u, adjNode[a], adjW[a], queue);
        } else {
            relaxGridNode(u, queue);
        }
    }
}

double** dijkstra::calcCartGridDist(int x, int y)
{
    if (gridMode != 1)
        return nullptr;
    calcDist(y * nx + x);
    double* block = new double[n];
    double** d = new double*[ny > 0 ? ny : 1];
    d[0] = block;
    for (int j = 0; j < ny; j++) {
        d[j] = block + static_cast<size_t>(j) * nx;
        for (int i = 0; i < nx; i++) {
            int64_t v = dist[j * nx + i];
            d[j][i] = (v == unreached) ? unreachedGridValue : static_cast<double>(v) / scale;
        }
    }
    return d;
}

void dijkstra::calcCartGridDistFinalize(double** d)
{
    if (!d)
        return;
    delete[] d[0];
    delete[] d;
}

int dijkstra::node2CartXCoor(int node)
{
    return node % nx;
}

int dijkstra::node2CartYCoor(int node)
{
    return node / nx;
}

// Walks the predecessors without recursion: paths on large meshes run to
// hundreds of thousands of nodes.
void dijkstra::pathNodes(int node, std::vector<int>& v)
{
    if (!prev || node < 0 || node >= n)
        return;
    size_t first = v.size();
    for (int k = node; prev[k] != -1; k = prev[k])
        v.push_back(k);
    std::reverse(v.begin() + first, v.end());
}

std::vector<int> dijkstra::getPathVec(int node)
{
    std::vector<int> v;
    popPathVec(node, v);
    return v;
}

std::vector<int> dijkstra::getCartPathVec(int x, int y)
{
    return getPathVec(y * nx + x);
}

void dijkstra::popPathVec(int node, std::vector<int>& v)
{
    pathNodes(node, v);
}

std::string dijkstra::getPathStr(int node)
{
    std::string s;
    popPathStr(node, s);
    return s;
}

std::string dijkstra::getCartPathStr(int x, int y)
{
    return getPathStr(y * nx + x);
}

void dijkstra::popPathStr(int node, std::string& s)
{
    std::vector<int> v;
    pathNodes(node, v);
    for (int k : v)
        s += " " + std::to_string(k);
}

} // namespace ZCoreLib
