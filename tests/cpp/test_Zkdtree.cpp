#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "Zkdtree.h"

using ZCoreLib::kd_node_t;
using ZCoreLib::Zkdtree;

namespace {

struct Cloud {
    std::vector<double> x, y, z;
    double zScale = 1.0;
    bool is3d = false;

    double dist2(int i, double px, double py, double pz) const
    {
        double dx = x[i] - px, dy = y[i] - py;
        double dz = is3d ? (z[i] - pz) * zScale : 0.0;
        return dx * dx + dy * dy + dz * dz;
    }
    // The k smallest squared distances, ascending.
    std::vector<double> bruteForce(double px, double py, double pz, int k) const
    {
        std::vector<double> d;
        for (size_t i = 0; i < x.size(); i++)
            d.push_back(dist2(static_cast<int>(i), px, py, pz));
        size_t m = std::min<size_t>(d.size(), k);
        std::partial_sort(d.begin(), d.begin() + m, d.end());
        d.resize(m);
        return d;
    }
};

Cloud randomCloud(int n, bool integerGrid, bool is3d, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> real(0.0, 100.0);
    std::uniform_int_distribution<int> grid(0, 9);
    Cloud c;
    c.is3d = is3d;
    for (int i = 0; i < n; i++) {
        c.x.push_back(integerGrid ? grid(rng) : real(rng));
        c.y.push_back(integerGrid ? grid(rng) : real(rng));
        c.z.push_back(integerGrid ? grid(rng) : real(rng) / 10);
    }
    return c;
}

// Runs a query and checks it against brute force: as many indices as there
// are neighbours to give, distinct, farthest first, and the right distances.
void checkQuery(Zkdtree& tree, const Cloud& c, double px, double py, double pz, int k)
{
    std::vector<int> buf(k + 1, -7);
    int* out = buf.data();
    if (c.is3d)
        tree.knearest(px, py, pz, out, k);
    else
        tree.knearest(px, py, out, k);
    std::vector<double> expect = c.bruteForce(px, py, pz, k);
    const int m = static_cast<int>(expect.size());
    std::vector<double> got;
    for (int i = 0; i < m; i++) {
        ASSERT_GE(buf[i], 0) << "entry " << i << " not written";
        got.push_back(c.dist2(buf[i], px, py, pz));
    }
    for (int i = m; i <= k; i++)
        EXPECT_EQ(buf[i], -7) << "entry " << i << " written beyond the points";
    std::vector<int> ids(buf.begin(), buf.begin() + m);
    std::sort(ids.begin(), ids.end());
    EXPECT_TRUE(std::adjacent_find(ids.begin(), ids.end()) == ids.end()) << "repeated index";
    EXPECT_TRUE(std::is_sorted(got.rbegin(), got.rend())) << "not farthest first";
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expect) << "at (" << px << ", " << py << ", " << pz << ") k=" << k;
}

void checkCloud(const Cloud& c, bool integerTargets, unsigned seed)
{
    std::vector<double> x = c.x, y = c.y, z = c.z;
    const int n = static_cast<int>(x.size());
    std::unique_ptr<Zkdtree> tree(c.is3d ? new Zkdtree(x.data(), y.data(), z.data(), n, c.zScale)
                                         : new Zkdtree(x.data(), y.data(), n));
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> real(-5.0, 105.0);
    std::uniform_int_distribution<int> half(-2, 22);
    for (int q = 0; q < 150; q++) {
        double px = integerTargets ? half(rng) * 0.5 : real(rng);
        double py = integerTargets ? half(rng) * 0.5 : real(rng);
        double pz = integerTargets ? half(rng) * 0.5 : real(rng) / 10;
        for (int k : {1, 3, 20})
            checkQuery(*tree, c, px, py, pz, k);
        if (!c.is3d) {
            int idx = tree->nearest(px, py);
            ASSERT_GE(idx, 0);
            EXPECT_EQ(c.dist2(idx, px, py, 0), c.bruteForce(px, py, 0, 1)[0]);
        }
    }
}

// Every node left of a split is <= it on the split axis, every node right >=.
int checkSplits(const kd_node_t* node, int axis, int dim, double lo[3], double hi[3])
{
    if (!node)
        return 0;
    for (int a = 0; a < dim; a++) {
        EXPECT_GE(node->x[a], lo[a]);
        EXPECT_LE(node->x[a], hi[a]);
    }
    int next = (axis + 1) % dim;
    double saved = hi[axis];
    hi[axis] = node->x[axis];
    int count = 1 + checkSplits(node->left, next, dim, lo, hi);
    hi[axis] = saved;
    saved = lo[axis];
    lo[axis] = node->x[axis];
    count += checkSplits(node->right, next, dim, lo, hi);
    lo[axis] = saved;
    return count;
}

// The selection as it stood before ties were handled; for distinct values the
// tree must come out exactly the same.
kd_node_t* referenceMedian(kd_node_t* start, kd_node_t* end, int axis)
{
    auto swp = [](kd_node_t* a, kd_node_t* b) {
        std::swap(a->x, b->x);
        std::swap(a->index, b->index);
    };
    if (end <= start)
        return nullptr;
    if (end == start + 1)
        return start;
    kd_node_t* md = start + (end - start) / 2;
    while (true) {
        double pivot = md->x[axis];
        swp(md, end - 1);
        kd_node_t* store = start;
        for (kd_node_t* p = start; p < end; p++)
            if (p->x[axis] < pivot) {
                if (p != store)
                    swp(p, store);
                store++;
            }
        swp(store, end - 1);
        if (store->x[axis] == md->x[axis])
            return md;
        if (store > md)
            end = store;
        else
            start = store;
    }
}

void referenceTree(kd_node_t* t, int len, int axis, int dim)
{
    if (len <= 1)
        return;
    kd_node_t* n = referenceMedian(t, t + len, axis);
    referenceTree(t, static_cast<int>(n - t), (axis + 1) % dim, dim);
    referenceTree(n + 1, static_cast<int>(t + len - n - 1), (axis + 1) % dim, dim);
}

} // namespace

TEST(Zkdtree, RandomPlaneMatchesBruteForce)
{
    checkCloud(randomCloud(3000, false, false, 1), false, 2);
}

TEST(Zkdtree, IntegerGridWithTiesMatchesBruteForce)
{
    checkCloud(randomCloud(1500, true, false, 3), true, 4);
}

TEST(Zkdtree, SpaceWithZScaleMatchesBruteForce)
{
    Cloud c = randomCloud(2000, false, true, 5);
    c.zScale = 10;
    checkCloud(c, false, 6);
    Cloud g = randomCloud(1000, true, true, 7);
    g.zScale = 2.5;
    checkCloud(g, true, 8);
}

TEST(Zkdtree, StructuredCentroidsNearest)
{
    // Centroids of a regular grid: the many equal coordinates once pushed
    // larger values left of the median and lost true nearest elements.
    std::vector<double> x, y;
    for (int i = 0; i < 60; i++)
        for (int j = 0; j < 40; j++) {
            x.push_back(i + 0.5);
            y.push_back(j + 0.5);
        }
    Cloud c;
    c.x = x;
    c.y = y;
    Zkdtree tree(x.data(), y.data(), static_cast<int>(x.size()));
    double lo[3] = {-1e300, -1e300, -1e300}, hi[3] = {1e300, 1e300, 1e300};
    EXPECT_EQ(checkSplits(tree.root, 0, 2, lo, hi), static_cast<int>(x.size()));
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> u(0.0, 60.0);
    for (int q = 0; q < 2000; q++) {
        double px = u(rng), py = u(rng) * 40 / 60;
        int idx = tree.nearest(px, py);
        ASSERT_GE(idx, 0);
        EXPECT_EQ(c.dist2(idx, px, py, 0), c.bruteForce(px, py, 0, 1)[0]);
    }
}

TEST(Zkdtree, SplitsHoldOnHeavyTies)
{
    Cloud c = randomCloud(5000, true, true, 10);
    Zkdtree tree(c.x.data(), c.y.data(), c.z.data(), 5000, 1.0);
    double lo[3] = {-1e300, -1e300, -1e300}, hi[3] = {1e300, 1e300, 1e300};
    EXPECT_EQ(checkSplits(tree.root, 0, 3, lo, hi), 5000);
    std::vector<double> same(300, 4.0);
    Zkdtree flat(same.data(), same.data(), 300);
    EXPECT_EQ(checkSplits(flat.root, 0, 2, lo, hi), 300);
}

TEST(Zkdtree, DistinctValuesBuildTheUnchangedTree)
{
    Cloud c = randomCloud(4000, false, true, 11);
    Zkdtree tree(c.x.data(), c.y.data(), c.z.data(), 4000, 3.0);
    std::vector<kd_node_t> ref(4000);
    for (int i = 0; i < 4000; i++) {
        ref[i].x[0] = c.x[i];
        ref[i].x[1] = c.y[i];
        ref[i].x[2] = c.z[i] * 3.0;
        ref[i].index = i;
    }
    referenceTree(ref.data(), 4000, 0, 3);
    for (int i = 0; i < 4000; i++)
        ASSERT_EQ(tree.nodes[i].index, ref[i].index) << "at " << i;
}

TEST(Zkdtree, MoreNeighboursThanPoints)
{
    double x[] = {0, 1, 2, 3, 4}, y[] = {0, 0, 0, 0, 0};
    Zkdtree tree(x, y, 5);
    std::vector<int> buf(8, -1);
    int* out = buf.data();
    tree.knearest(0.1, 0, out, 8);
    EXPECT_EQ(buf, (std::vector<int>{4, 3, 2, 1, 0, -1, -1, -1}));
    EXPECT_EQ(tree.visited, 5);
}

TEST(Zkdtree, ExactHit)
{
    double x[] = {0, 1, 2, 3, 4, 5, 6}, y[] = {0, 1, 0, 1, 0, 1, 0};
    Zkdtree tree(x, y, 7);
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(tree.nearest(x[i], y[i]), i);
    int buf[3] = {-1, -1, -1};
    int* out = buf;
    tree.knearest(3, 1, out, 3);
    EXPECT_EQ(buf[2], 3);  // nearest last
    std::vector<int> others = {buf[0], buf[1]};
    std::sort(others.begin(), others.end());
    EXPECT_EQ(others, (std::vector<int>{2, 4}));
}

TEST(Zkdtree, EquidistantAndIndependentQueries)
{
    double x[] = {-1, 1, 100}, y[] = {0, 0, 100};
    Zkdtree tree(x, y, 3);
    int first = tree.nearest(0, 0);
    EXPECT_TRUE(first == 0 || first == 1);
    EXPECT_EQ(tree.nearest(0, 0), first);
    EXPECT_EQ(tree.nearest(99, 99), 2);
    EXPECT_EQ(tree.nearest(-0.9, 0), 0);
    EXPECT_TRUE(tree.resultQueue.empty());
}

TEST(Zkdtree, EmptyTree)
{
    Zkdtree tree(nullptr, nullptr, 0);
    EXPECT_EQ(tree.root, nullptr);
    EXPECT_EQ(tree.nearest(1, 2), -1);
    int buf[2] = {-5, -5};
    int* out = buf;
    tree.knearest(1, 2, out, 2);
    tree.knearest(1, 2, 3, out, 2);
    EXPECT_EQ(buf[0], -5);
    EXPECT_EQ(buf[1], -5);
}

TEST(Zkdtree, ZScaleWeighsHeight)
{
    // A height step of 1 at zScale 10 outweighs a plane step of 5.
    double x[] = {0, 5}, y[] = {0, 0}, z[] = {1, 0};
    Zkdtree tree(x, y, z, 2, 10.0);
    int buf[1];
    int* out = buf;
    tree.knearest(0, 0, 0, out, 1);
    EXPECT_EQ(buf[0], 1);
    tree.knearest(0, 0, 0.9, out, 1);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(tree.kdnode2str(&tree.nodes[0], 3).front(), '{');
    kd_node_t n = {{1.5, -2, 30}, nullptr, nullptr, 0};
    EXPECT_EQ(tree.kdnode2str(&n, 3), "{1.5,-2,30}");
    EXPECT_EQ(tree.kdnode2str(&n, 2), "{1.5,-2}");
    n.x[0] = 1234567.0;
    EXPECT_EQ(tree.kdnode2str(&n, 2), "{1.23457e+06,-2}");
}

TEST(Zkdtree, LargeTreeQueriesVisitFewNodes)
{
    const int n = 100000;
    Cloud c = randomCloud(n, false, false, 12);
    Zkdtree tree(c.x.data(), c.y.data(), n);
    std::mt19937 rng(13);
    std::uniform_real_distribution<double> u(0.0, 100.0);
    long total = 0;
    for (int q = 0; q < 100; q++) {
        double px = u(rng), py = u(rng);
        int idx = tree.nearest(px, py);
        total += tree.visited;
        ASSERT_EQ(c.dist2(idx, px, py, 0), c.bruteForce(px, py, 0, 1)[0]);
    }
    EXPECT_LT(total / 100, 500) << "queries do not prune";
}
