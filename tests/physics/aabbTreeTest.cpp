#include "physics/aabbTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using Physics::Aabb;
using Physics::AabbTree;
using Physics::Vec3;

struct Lcg {
    uint32_t state = 12345;
    float Next() {
        state = state * 1103515245u + 12345u;
        return float(state % 65535u) / 65535.0f;
    }
};

Aabb RandomBox(Lcg& random, float spread) {
    Vec3 c{random.Next() * spread, random.Next() * spread, random.Next() * spread};
    Vec3 h{0.1f + random.Next(), 0.1f + random.Next(), 0.1f + random.Next()};
    return {c - h, c + h};
}

std::vector<int> QuerySorted(const AabbTree& tree, const Aabb& box) {
    std::vector<int> found;
    tree.Query(box, [&found](int leaf) { found.push_back(leaf); });
    std::sort(found.begin(), found.end());
    return found;
}

TEST(AabbTree, StoresLeavesEnlargedAndReinsertsOnlyWhenTheyLeaveTheirBox) {
    AabbTree tree;
    EXPECT_EQ(tree.Root(), AabbTree::kNull);
    int id = tree.Insert({{0, 0, 0}, {1, 1, 1}}, nullptr);
    EXPECT_EQ(tree.Root(), id);
    EXPECT_EQ(tree.GetFatAabb(id).min.x, -0.5f);
    EXPECT_EQ(tree.GetFatAabb(id).max.z, 1.5f);

    EXPECT_FALSE(tree.Update(id, {{0.4f, 0.4f, 0.4f}, {1.4f, 1.4f, 1.4f}})) << "still inside";
    EXPECT_EQ(tree.GetFatAabb(id).min.x, -0.5f);
    EXPECT_TRUE(tree.Update(id, {{0.6f, 0, 0}, {1.6f, 1, 1}}));
    EXPECT_FLOAT_EQ(tree.GetFatAabb(id).min.x, 0.1f);
    EXPECT_FLOAT_EQ(tree.GetFatAabb(id).max.x, 2.1f);
    EXPECT_TRUE(tree.Validate());

    tree.Remove(id);
    EXPECT_EQ(tree.Root(), AabbTree::kNull);
    EXPECT_EQ(tree.NodeCount(), 0);
    EXPECT_TRUE(QuerySorted(tree, {{-9, -9, -9}, {9, 9, 9}}).empty()) << "an empty tree answers nothing";
}

TEST(AabbTree, QueryReportsExactlyTheOverlappingLeavesTouchingIncluded) {
    AabbTree tree;
    Lcg random;
    std::vector<int> ids;
    for (int i = 0; i < 300; ++i) ids.push_back(tree.Insert(RandomBox(random, 30.0f), nullptr));
    ASSERT_TRUE(tree.Validate());

    for (int q = 0; q < 50; ++q) {
        Aabb box = RandomBox(random, 30.0f);
        std::vector<int> expected;
        for (int id : ids) {
            if (Physics::Overlaps(box, tree.GetFatAabb(id))) expected.push_back(id);
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(QuerySorted(tree, box), expected);
    }

    // A query box that only touches a leaf's face finds it.
    const Aabb leaf = tree.GetFatAabb(ids[0]);
    Aabb touching{{leaf.max.x, leaf.min.y, leaf.min.z}, {leaf.max.x + 1.0f, leaf.max.y, leaf.max.z}};
    std::vector<int> found = QuerySorted(tree, touching);
    EXPECT_TRUE(std::binary_search(found.begin(), found.end(), ids[0]));
}

TEST(AabbTree, StaysBalancedWhenLeavesArriveInOrder) {
    AabbTree tree;
    // Sorted insertion along a line degenerates an unbalanced tree into a list.
    for (int i = 0; i < 1000; ++i) {
        float x = float(i) * 2.0f;
        tree.Insert({{x, 0, 0}, {x + 1, 1, 1}}, nullptr);
    }
    ASSERT_TRUE(tree.Validate());
    EXPECT_LE(tree.Height(), 2 * 10 + 2);
    EXPECT_EQ(QuerySorted(tree, {{-1e6f, -1e6f, -1e6f}, {1e6f, 1e6f, 1e6f}}).size(), 1000u);
}

TEST(AabbTree, NodeArrayDoublesFrom1024AndRecyclesFreedNodes) {
    AabbTree tree;
    EXPECT_EQ(tree.Capacity(), 1024);
    Lcg random;
    std::vector<int> ids;
    for (int i = 0; i < 512; ++i) ids.push_back(tree.Insert(RandomBox(random, 50.0f), nullptr));
    EXPECT_EQ(tree.NodeCount(), 1023);
    EXPECT_EQ(tree.Capacity(), 1024);
    ids.push_back(tree.Insert(RandomBox(random, 50.0f), nullptr));
    EXPECT_EQ(tree.Capacity(), 2048) << "doubled when the free list ran out";
    EXPECT_TRUE(tree.Validate());

    // Remove every other leaf, move the rest, add new ones: the tree keeps its shape and its nodes.
    for (size_t i = 0; i < ids.size(); i += 2) tree.Remove(ids[i]);
    EXPECT_TRUE(tree.Validate());
    for (size_t i = 1; i < ids.size(); i += 2) tree.Update(ids[i], RandomBox(random, 50.0f));
    EXPECT_TRUE(tree.Validate());
    for (int i = 0; i < 200; ++i) tree.Insert(RandomBox(random, 50.0f), nullptr);
    EXPECT_TRUE(tree.Validate());
    EXPECT_EQ(tree.Capacity(), 2048) << "freed nodes are reused before growing";
}

}  // namespace
