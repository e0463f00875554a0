#include "Zkdtree.h"

#include <cmath>
#include <sstream>

namespace ZCoreLib {

namespace {

// Links are left alone: they are set only after a range has been selected.
void swapNodes(kd_node_t* a, kd_node_t* b)
{
    for (int i = 0; i < 3; i++)
        std::swap(a->x[i], b->x[i]);
    std::swap(a->index, b->index);
}

double squaredDist(const kd_node_t* a, const kd_node_t* b, int dim)
{
    double d = 0;
    for (int i = 0; i < dim; i++) {
        double t = a->x[i] - b->x[i];
        d += t * t;
    }
    return d;
}

// Moves the nodes of (store, end) that equal store's value on the axis right
// behind store; returns one past the last of them.
kd_node_t* gatherEqual(kd_node_t* store, kd_node_t* end, int axis)
{
    const double v = store->x[axis];
    kd_node_t* eq = store + 1;
    for (kd_node_t* p = store + 1; p < end; p++) {
        if (p->x[axis] == v) {
            if (p != eq)
                swapNodes(p, eq);
            eq++;
        }
    }
    return eq;
}

} // namespace

Zkdtree::Zkdtree(double* x, double* y, int n) : zScale(1.0), visited(0), nodes(nullptr), root(nullptr)
{
    init(x, y, nullptr, n);
}

Zkdtree::Zkdtree(double* x, double* y, double* z, int n, double zScale)
    : zScale(zScale), visited(0), nodes(nullptr), root(nullptr)
{
    init(x, y, z, n);
}

Zkdtree::~Zkdtree()
{
    delete[] nodes;
}

void Zkdtree::init(double* x, double* y, double* z, int n)
{
    if (n < 1)
        return;
    nodes = new kd_node_t[n];
    for (int i = 0; i < n; i++) {
        kd_node_t& nd = nodes[i];
        nd.x[0] = x[i];
        nd.x[1] = y[i];
        nd.x[2] = z ? z[i] * zScale : 0.0;
        nd.left = nd.right = nullptr;
        nd.index = i;
    }
    root = make_tree(nodes, n, 0, z ? 3 : 2);
}

// Quickselect with the middle node as pivot. For distinct values it is the
// plain selection; when the partition point merely ties with the median's
// value the equal nodes are gathered and the selection goes on, so that no
// node left of the median is larger and none right of it smaller.
kd_node_t* Zkdtree::find_median(kd_node_t* start, kd_node_t* end, int axis)
{
    if (end <= start)
        return nullptr;
    if (end == start + 1)
        return start;
    kd_node_t* md = start + (end - start) / 2;
    for (;;) {
        const double pivot = md->x[axis];
        if (std::isnan(pivot))
            return md;  // cannot be ordered; stopping beats looping forever
        swapNodes(md, end - 1);
        kd_node_t* store = start;
        for (kd_node_t* p = start; p < end; p++) {
            if (p->x[axis] < pivot) {
                if (p != store)
                    swapNodes(p, store);
                store++;
            }
        }
        swapNodes(store, end - 1);
        if (store->x[axis] == md->x[axis]) {
            if (store == md)
                return md;
            // Here md lies after store and (store, end) holds values >= pivot.
            kd_node_t* eq = gatherEqual(store, end, axis);
            if (md < eq)
                return md;
            start = eq;
        } else if (store > md) {
            end = store;
        } else {
            start = store;
        }
    }
}

kd_node_t* Zkdtree::make_tree(kd_node_t* t, int len, int axis, int dim)
{
    if (len <= 0)
        return nullptr;
    kd_node_t* n = (len == 1) ? t : find_median(t, t + len, axis);
    int next = (axis + 1) % dim;
    n->left = make_tree(t, static_cast<int>(n - t), next, dim);
    n->right = make_tree(n + 1, static_cast<int>(t + len - (n + 1)), next, dim);
    return n;
}

void Zkdtree::nearest(kd_node_t* root, kd_node_t* target, int axis, int dim,
                      kd_node_t** best, double* bestDist)
{
    if (!root)
        return;
    double d = squaredDist(root, target, dim);
    double dx = root->x[axis] - target->x[axis];
    visited++;
    if (!*best || d < *bestDist) {
        *best = root;
        *bestDist = d;
    }
    if (*bestDist == 0)
        return;
    if (++axis >= dim)
        axis = 0;
    nearest(dx > 0 ? root->left : root->right, target, axis, dim, best, bestDist);
    if (dx * dx >= *bestDist)
        return;
    nearest(dx > 0 ? root->right : root->left, target, axis, dim, best, bestDist);
}

void Zkdtree::knearest(kd_node_t* root, kd_node_t* target, int axis, int dim,
                       kd_queue_t* queue, int k)
{
    if (!root)
        return;
    double d = squaredDist(root, target, dim);
    double dx = root->x[axis] - target->x[axis];
    visited++;
    if (static_cast<int>(queue->size()) < k || d < queue->top().first) {
        queue->push(std::make_pair(d, root));
        if (static_cast<int>(queue->size()) > k)
            queue->pop();
    }
    // An exact hit settles only a single-neighbour query.
    if (d == 0 && k == 1)
        return;
    if (++axis >= dim)
        axis = 0;
    knearest(dx > 0 ? root->left : root->right, target, axis, dim, queue, k);
    // The farthest kept pair bounds the search only once k pairs are kept.
    if (static_cast<int>(queue->size()) == k && dx * dx >= queue->top().first)
        return;
    knearest(dx > 0 ? root->right : root->left, target, axis, dim, queue, k);
}

void Zkdtree::query(double* target, int dim, int*& out, int k)
{
    visited = 0;
    resultQueue = kd_queue_t();
    if (!root || k < 1)
        return;
    kd_node_t t;
    for (int i = 0; i < 3; i++)
        t.x[i] = target[i];
    t.left = t.right = nullptr;
    t.index = -1;
    knearest(root, &t, 0, dim, &resultQueue, k);
    for (int i = 0; !resultQueue.empty(); i++) {
        out[i] = resultQueue.top().second->index;
        resultQueue.pop();
    }
}

int Zkdtree::nearest(double x, double y)
{
    int idx = -1;
    int* out = &idx;
    double t[3] = {x, y, 0.0};
    query(t, 2, out, 1);
    return idx;
}

void Zkdtree::knearest(double x, double y, int*& out, int k)
{
    double t[3] = {x, y, 0.0};
    query(t, 2, out, k);
}

void Zkdtree::knearest(double x, double y, double z, int*& out, int k)
{
    double t[3] = {x, y, z * zScale};
    query(t, 3, out, k);
}

std::string Zkdtree::kdnode2str(kd_node_t* node, int dim)
{
    std::ostringstream s;
    s << "{";
    for (int i = 0; i < dim; i++) {
        if (i > 0)
            s << ",";
        s << node->x[i];
    }
    s << "}";
    return s.str();
}

} // namespace ZCoreLib
