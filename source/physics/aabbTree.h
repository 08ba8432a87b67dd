// A dynamic bounding-volume tree over enlarged boxes: leaves carry a box shape, inner nodes the union
// of their children. Insertion picks the sibling by surface-area cost, and every change is followed by
// rotations that keep the tree balanced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "physics/math.h"

namespace Physics {

class BoxShape;

class AabbTree {
public:
    static constexpr int kNull = -1;
    /// How far a leaf's stored box reaches beyond the tight box on every side.
    static constexpr float kFatMargin = 0.5f;

    struct Node {
        Aabb box;
        // Doubles as the next-free index while the node is on the free list.
        int parent = kNull;
        int left = kNull;
        int right = kNull;
        BoxShape* userData = nullptr;
        // 0 for a leaf, -1 while free.
        int height = -1;

        bool IsLeaf() const { return right == kNull; }
    };
    // The query reads four floats from the box's max corner.
    static_assert(offsetof(Node, box) + sizeof(Aabb) + sizeof(float) <= offsetof(Node, userData));

    AabbTree();

    /// Stores `tight` enlarged by the margin as a new leaf and returns its index.
    int Insert(const Aabb& tight, BoxShape* userData);
    /// Removes a leaf and returns its node to the free list.
    void Remove(int id);
    /// Re-inserts the leaf when `tight` left its stored box; returns whether it did.
    bool Update(int id, const Aabb& tight);

    /// The stored (enlarged) box of a node.
    const Aabb& GetFatAabb(int id) const { return m_nodes[id].box; }
    /// The box shape a leaf stands for.
    BoxShape* GetUserData(int id) const { return m_nodes[id].userData; }

    /// Calls `callback(leafIndex)` for every leaf whose box overlaps `box` (touching counts).
    template <typename Callback>
    void Query(const Aabb& box, Callback&& callback) const;

    /// Root index, kNull when empty.
    int Root() const { return m_root; }
    /// Height of the tree (0 for one leaf, -1 when empty).
    int Height() const { return m_root == kNull ? -1 : m_nodes[m_root].height; }
    /// Number of nodes in use, leaves and inner nodes together.
    int NodeCount() const { return m_count; }
    /// Size of the node array.
    int Capacity() const { return int(m_nodes.size()); }
    /// Read access to a node, for checks.
    const Node& GetNode(int id) const { return m_nodes[id]; }
    /// Checks links, heights, boxes and the free list; returns false at the first broken rule.
    bool Validate() const;

private:
    int AllocateNode();
    void FreeNode(int id);
    void ChainFree(int first);
    void InsertLeaf(int id);
    void RemoveLeaf(int id);
    void Refit(int index);
    int Balance(int a);
    int ValidateSubtree(int id, int parent, bool& ok) const;

    int m_root = kNull;
    std::vector<Node> m_nodes;
    int m_count = 0;
    int m_freeList = kNull;
    mutable std::vector<int> m_stack;
};

template <typename Callback>
void AabbTree::Query(const Aabb& box, Callback&& callback) const {
    if (m_root == kNull) return;
    // Each level down takes one entry off and puts two on, so the walk never holds more than the
    // tree's height plus one; with that room made first, the walk needs no checks.
    const size_t room = size_t(m_nodes[m_root].height) + 2;
    if (m_stack.size() < room) m_stack.resize(room);
    int* const stack = m_stack.data();
    int count = 0;
    stack[count++] = m_root;
    // All six comparisons at once, as two comparisons of machine vectors: whether a node overlaps is
    // hard to guess, and one wrong guess costs more than the comparisons it would save. The same
    // answer as Overlaps, NaN included (a comparison with NaN is false). The fourth lane holds the
    // next member of the node and is left out.
    const Float4 queryMin = ToFloat4(box.min);
    const Float4 queryMax = ToFloat4(box.max);
    while (count > 0) {
        const int id = stack[--count];
        const Node& node = m_nodes[id];
        Float4 nodeMin, nodeMax;
        std::memcpy(&nodeMin, &node.box.min, sizeof nodeMin);
        std::memcpy(&nodeMax, &node.box.max, sizeof nodeMax);
        const auto apart = (queryMax < nodeMin) | (nodeMax < queryMin);
        if (apart[0] | apart[1] | apart[2]) continue;
        if (node.IsLeaf()) {
            callback(id);
        } else {
            stack[count++] = node.left;
            stack[count++] = node.right;
        }
    }
}

}  // namespace Physics
