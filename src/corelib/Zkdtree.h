#ifndef ZCORELIB_ZKDTREE_H
#define ZCORELIB_ZKDTREE_H

// Nearest and k-nearest neighbours over a fixed set of 2-D or 3-D points,
// by squared Euclidean distance. Built once by the constructor.

#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "ZCoreLib.h"

namespace ZCoreLib {

struct kd_node_t {
    double x[3];  // x, y and, in 3-D trees, z already multiplied by zScale
    kd_node_t* left;
    kd_node_t* right;
    int index;    // position in the caller's input arrays
};

// Keeps the farthest of the current k best on top.
struct LargestOnTop {
    bool operator()(const std::pair<double, kd_node_t*>& a,
                    const std::pair<double, kd_node_t*>& b) const
    {
        return a.first < b.first;
    }
};

typedef std::priority_queue<std::pair<double, kd_node_t*>,
                            std::vector<std::pair<double, kd_node_t*>>, LargestOnTop>
    kd_queue_t;

class Zkdtree {
public:
    Zkdtree(double* x, double* y, int n);
    Zkdtree(double* x, double* y, double* z, int n, double zScale);
    ~Zkdtree();
    Zkdtree(const Zkdtree&) = delete;
    Zkdtree& operator=(const Zkdtree&) = delete;

    // The nodes handed out point into nodes, which the tree owns.
    kd_node_t* find_median(kd_node_t* start, kd_node_t* end, int axis);
    kd_node_t* make_tree(kd_node_t* t, int len, int axis, int dim);
    void nearest(kd_node_t* root, kd_node_t* target, int axis, int dim, kd_node_t** best,
                 double* bestDist);
    void knearest(kd_node_t* root, kd_node_t* target, int axis, int dim, kd_queue_t* queue,
                  int k);

    // Input index of the nearest point; -1 for an empty tree.
    int nearest(double x, double y);
    // Writes up to k indices into the caller's out (room for k), farthest
    // first and nearest last.
    void knearest(double x, double y, int*& out, int k);
    void knearest(double x, double y, double z, int*& out, int k);

    std::string kdnode2str(kd_node_t* node, int dim);

    double zScale;
    int visited;  // nodes examined since the last public query began
    kd_node_t* nodes;
    kd_node_t* root;
    kd_queue_t resultQueue;

private:
    void init(double* x, double* y, double* z, int n);
    void query(double* target, int dim, int*& out, int k);
};

} // namespace ZCoreLib

#endif
