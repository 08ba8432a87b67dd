#include "physics/leafBoxes.h"

#include <cassert>

namespace Physics {

void LeafBoxes::Write(int slot, const Aabb& box, int proxy) {
    Group& group = m_groups[size_t(slot / 4)];
    const int lane = slot & 3;
    group.minX[lane] = box.min.x;
    group.minY[lane] = box.min.y;
    group.minZ[lane] = box.min.z;
    group.maxX[lane] = box.max.x;
    group.maxY[lane] = box.max.y;
    group.maxZ[lane] = box.max.z;
    group.proxy[lane] = proxy;
}

void LeafBoxes::Insert(int proxy, const Aabb& box) {
    assert(proxy >= 0);
    if (size_t(proxy) >= m_slots.size()) m_slots.resize(size_t(proxy) + 1, -1);
    assert(m_slots[size_t(proxy)] == -1);
    const int slot = m_count++;
    if (size_t(slot / 4) >= m_groups.size()) m_groups.push_back(Group{});
    m_slots[size_t(proxy)] = slot;
    Write(slot, box, proxy);
}

void LeafBoxes::Remove(int proxy) {
    assert(proxy >= 0 && size_t(proxy) < m_slots.size() && m_slots[size_t(proxy)] >= 0);
    const int slot = m_slots[size_t(proxy)];
    const int last = --m_count;
    if (slot != last) {
        const Group& from = m_groups[size_t(last / 4)];
        const int lane = last & 3;
        const int moved = from.proxy[lane];
        Write(slot,
              {{from.minX[lane], from.minY[lane], from.minZ[lane]},
               {from.maxX[lane], from.maxY[lane], from.maxZ[lane]}},
              moved);
        m_slots[size_t(moved)] = slot;
    }
    m_slots[size_t(proxy)] = -1;
}

void LeafBoxes::Set(int proxy, const Aabb& box) {
    assert(proxy >= 0 && size_t(proxy) < m_slots.size() && m_slots[size_t(proxy)] >= 0);
    const int slot = m_slots[size_t(proxy)];
    Write(slot, box, proxy);
}

}  // namespace Physics
