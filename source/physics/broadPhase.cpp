#include "physics/broadPhase.h"

#include <algorithm>

#include "physics/boxShape.h"
#include "physics/contactManager.h"

namespace Physics {

BroadPhase::BroadPhase(ContactManager* manager) : m_manager(manager) {
    m_pairBuffer.reserve(64);
    m_moveBuffer.reserve(64);
}

void BroadPhase::InsertBox(BoxShape* box, const Aabb& tight) {
    int id = m_tree.Insert(tight, box);
    m_leaves.Insert(id, m_tree.GetFatAabb(id));
    box->m_proxy = id;
    m_moveBuffer.push_back(id);
}

void BroadPhase::RemoveBox(const BoxShape* box) {
    int id = box->GetProxy();
    // A removed proxy left in the move buffer would query with a freed node and pair a box that no
    // longer exists (or a newcomer that reused the node, twice).
    for (int& moved : m_moveBuffer) {
        if (moved == id) moved = AabbTree::kNull;
    }
    m_leaves.Remove(id);
    m_tree.Remove(id);
}

void BroadPhase::Update(int proxy, const Aabb& tight) {
    if (!m_tree.Update(proxy, tight)) return;
    m_leaves.Set(proxy, m_tree.GetFatAabb(proxy));
    m_moveBuffer.push_back(proxy);
}

void BroadPhase::UpdatePairs() {
    m_pairBuffer.clear();
    // A pair of two moved proxies is found from both sides; only the query of the smaller index
    // keeps it, which halves the pairs to sort in a scene where everything moves (a rain).
    for (int proxy : m_moveBuffer) {
        if (proxy == AabbTree::kNull) continue;
        if (size_t(proxy) >= m_moved.size()) m_moved.resize(size_t(proxy) + 1, 0);
        m_moved[size_t(proxy)] = 1;
    }
    // Both ways find the same set of pairs, and the pairs are sorted below, so which one runs changes
    // nothing but the time.
    const bool scan = m_leaves.Count() <= kScanLimit;
    for (int proxy : m_moveBuffer) {
        if (proxy == AabbTree::kNull) continue;
        m_currentIndex = proxy;
        const Aabb box = m_tree.GetFatAabb(proxy);
        auto offer = [this](int leaf) {
            if (leaf == m_currentIndex) return;
            if (leaf < m_currentIndex && size_t(leaf) < m_moved.size() && m_moved[size_t(leaf)]) return;
            const auto first = uint32_t(std::min(leaf, m_currentIndex));
            const auto second = uint32_t(std::max(leaf, m_currentIndex));
            m_pairBuffer.push_back(uint64_t(first) << 32 | second);
        };
        if (scan) {
            m_leaves.Query(box, offer);
        } else {
            m_tree.Query(box, offer);
        }
    }
    for (int proxy : m_moveBuffer) {
        if (proxy != AabbTree::kNull) m_moved[size_t(proxy)] = 0;
    }
    m_moveBuffer.clear();

    // Sorting brings the duplicates of a pair (both proxies moved) next to each other.
    std::sort(m_pairBuffer.begin(), m_pairBuffer.end());

    size_t i = 0;
    while (i < m_pairBuffer.size()) {
        const uint64_t pair = m_pairBuffer[i];
        m_manager->AddContact(m_tree.GetUserData(int(pair >> 32)),
                              m_tree.GetUserData(int(pair & 0xffffffffu)));
        ++i;
        while (i < m_pairBuffer.size() && m_pairBuffer[i] == pair) ++i;
    }
}

}  // namespace Physics
