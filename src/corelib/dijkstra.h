#ifndef ZCORELIB_DIJKSTRA_H
#define ZCORELIB_DIJKSTRA_H

// Single-source shortest paths with integer (scaled) edge weights, over the
// edges of an unstructured mesh or over a Cartesian grid with an 8-neighbour
// stencil and blocked cells.

#include <cstdint>
#include <queue>
#include <string>
#include <vector>

#include "ZCoreLib.h"

namespace ZCoreLib {

class dijkstra {
public:
    // dist of a node the last run did not reach.
    static constexpr int64_t unreached = INT64_MAX;

    dijkstra();
    // Tables are released by the owner through releaseMem().
    ~dijkstra() {}

    void releaseMem();
    void stopAtNode(int k);

    int setupUnstructMesh(int n, double* x, double* y, int noe, int* enon, int* en);
    int setupCartGrid(int nx, int ny, double dx, double dy, bool** blocked);

    void calcDist(int start);
    // New ny x nx array in coordinate units (999999999 where unreached); free it
    // with calcCartGridDistFinalize. Null outside grid mode.
    double** calcCartGridDist(int x, int y);
    void calcCartGridDistFinalize(double** d);

    int node2CartXCoor(int node);
    int node2CartYCoor(int node);

    // Nodes from the one after the start up to the target; empty for the start
    // node itself and for unreached nodes.
    std::vector<int> getPathVec(int node);
    std::vector<int> getCartPathVec(int x, int y);
    void popPathVec(int node, std::vector<int>& v);
    // The same nodes, each preceded by one blank.
    std::string getPathStr(int node);
    std::string getCartPathStr(int x, int y);
    void popPathStr(int node, std::string& s);

    int n;
    // Mesh mode: the neighbours of node u are adjNode[adjStart[u] .. adjStart[u + 1])
    // in ascending order, with the scaled edge lengths in adjW.
    std::vector<int> adjStart;
    std::vector<int> adjNode;
    std::vector<int64_t> adjW;
    int64_t* dist;
    int* prev;
    int gridMode;
    int scale;
    bool* visited;
    bool stopSet;
    int stopNode;
    int nx, ny;
    bool** blocked;  // the caller's mask, kept by pointer
    int stepDiag, stepX, stepY;

private:
    // (-distance, node): nearest first, of equal distances the larger node first.
    typedef std::priority_queue<std::pair<int64_t, int>> distQueue;

    void allocNodeTables(int count);
    void buildAdjacency(double* x, double* y, int noe, int* enon, int* en);
    int64_t edgeWeight(double* x, double* y, int a, int b) const;
    void relaxGridNode(int u, distQueue& queue);
    void relax(int u, int v, int64_t w, distQueue& queue);
    void pathNodes(int node, std::vector<int>& v);
};

} // namespace ZCoreLib

#endif
