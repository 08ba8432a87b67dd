// Which boxes may touch: keeps the tree of enlarged boxes, remembers the proxies that moved since the
// last pair update, and offers each new overlapping pair once to the contact manager.
#pragma once

#include <cstdint>
#include <vector>

#include "physics/aabbTree.h"
#include "physics/leafBoxes.h"

namespace Physics {

class ContactManager;
class BoxShape;

class BroadPhase {
public:
    /// Up to this many boxes a pair update scans every box; above it, it walks the tree.
    static constexpr int kScanLimit = 4096;

    explicit BroadPhase(ContactManager* manager);

    /// Enters a box with its tight world box; it takes part in the next pair update.
    void InsertBox(BoxShape* box, const Aabb& tight);
    /// Takes a box out of the tree (and out of the pending moves).
    void RemoveBox(const BoxShape* box);
    /// Follows a proxy to its new tight box; it takes part in the next pair update when its leaf moved.
    void Update(int proxy, const Aabb& tight);
    /// Whether the enlarged boxes of two proxies overlap.
    bool TestOverlap(int a, int b) const { return Overlaps(m_tree.GetFatAabb(a), m_tree.GetFatAabb(b)); }
    /// Queries the tree for every moved proxy and offers each distinct new pair to the contact manager.
    void UpdatePairs();

    const AabbTree& GetTree() const { return m_tree; }
    /// Proxies waiting for the next pair update.
    int GetMoveCount() const { return int(m_moveBuffer.size()); }
    /// Pairs found by the last pair update; the update offers each distinct pair once.
    int GetPairCount() const { return int(m_pairBuffer.size()); }

private:
    AabbTree m_tree;
    // The tree's leaf boxes again, for the scan.
    LeafBoxes m_leaves;
    // Each pair of proxies as one number, the smaller index in the high half: sorting the numbers
    // sorts the pairs by first index, then second.
    std::vector<uint64_t> m_pairBuffer;
    std::vector<int> m_moveBuffer;
    // Per proxy index: whether it is in the move buffer, set only during a pair update.
    std::vector<uint8_t> m_moved;
    int m_currentIndex = AabbTree::kNull;
    ContactManager* m_manager;
};

}  // namespace Physics
