// The enlarged boxes of every broad-phase proxy side by side, four to a group with each coordinate in
// its own machine vector, so that one query tests four boxes in a few instructions and without a
// guess about which boxes overlap. For scenes of a few hundred boxes a scan of them all finds the
// overlaps of a box faster than a walk down the tree, whose every step is a branch that is hard to
// predict.
#pragma once

#include <cstdint>
#include <vector>

#include "physics/math.h"

namespace Physics {

class LeafBoxes {
public:
    /// Adds a proxy with its enlarged box.
    void Insert(int proxy, const Aabb& box);
    /// Takes a proxy out; the last box moves into its place.
    void Remove(int proxy);
    /// Replaces the box of a proxy already in.
    void Set(int proxy, const Aabb& box);
    /// Number of boxes held.
    int Count() const { return m_count; }

    /// Calls `callback(proxy)` for every box that overlaps `box` (touching counts; the same answer as
    /// Overlaps, a box with a NaN coordinate overlapping everything), in no particular order.
    template <typename Callback>
    void Query(const Aabb& box, Callback&& callback) const;

private:
    using Int4 = int32_t __attribute__((vector_size(16)));
    struct Group {
        Float4 minX, minY, minZ;
        Float4 maxX, maxY, maxZ;
        int proxy[4];
    };

    void Write(int slot, const Aabb& box, int proxy);
    /// One bit per lane that is set (all ones) in a comparison's result.
    static unsigned LaneBits(Int4 mask) {
#if defined(__SSE__)
        return unsigned(__builtin_ia32_movmskps(reinterpret_cast<Float4>(mask)));
#else
        return unsigned((mask[0] & 1) | (mask[1] & 2) | (mask[2] & 4) | (mask[3] & 8));
#endif
    }

    std::vector<Group> m_groups;
    // Per proxy index: its slot (group * 4 + lane), or -1.
    std::vector<int> m_slots;
    int m_count = 0;
};

template <typename Callback>
void LeafBoxes::Query(const Aabb& box, Callback&& callback) const {
    auto splat = [](float f) { return Float4{f, f, f, f}; };
    const Float4 minX = splat(box.min.x), minY = splat(box.min.y), minZ = splat(box.min.z);
    const Float4 maxX = splat(box.max.x), maxY = splat(box.max.y), maxZ = splat(box.max.z);
    const Group* const data = m_groups.data();
    const int groups = (m_count + 3) / 4;
    const int fullGroups = m_count / 4;
    for (int g = 0; g < groups; ++g) {
        const Group& group = data[g];
        const Int4 apart = (maxX < group.minX) | (group.maxX < minX) | (maxY < group.minY) |
                           (group.maxY < minY) | (maxZ < group.minZ) | (group.maxZ < minZ);
        // Lanes past the last box hold stale boxes; they are masked off.
        const unsigned live = g < fullGroups ? 0xfu : (1u << (m_count & 3)) - 1u;
        unsigned overlapping = ~LaneBits(apart) & live;
        while (overlapping) {
            const int lane = __builtin_ctz(overlapping);
            overlapping &= overlapping - 1;
            callback(group.proxy[lane]);
        }
    }
}

}  // namespace Physics
