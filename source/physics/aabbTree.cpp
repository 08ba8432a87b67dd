// Sections: node pool | insertion and removal | balancing | checks
#include "physics/aabbTree.h"

#include <cassert>

namespace Physics {

namespace {
constexpr int kInitialCapacity = 1024;

Aabb Fatten(const Aabb& box) {
    const Vec3 margin{AabbTree::kFatMargin, AabbTree::kFatMargin, AabbTree::kFatMargin};
    return {box.min - margin, box.max + margin};
}
}  // namespace

AabbTree::AabbTree() {
    m_nodes.resize(kInitialCapacity);
    ChainFree(0);
    m_stack.reserve(256);
}

// ----------------------------------------------------------------------------------------- node pool

void AabbTree::ChainFree(int first) {
    int capacity = int(m_nodes.size());
    for (int i = first; i < capacity - 1; ++i) {
        m_nodes[i].parent = i + 1;
        m_nodes[i].height = -1;
    }
    m_nodes[capacity - 1].parent = kNull;
    m_nodes[capacity - 1].height = -1;
    m_freeList = first;
}

int AabbTree::AllocateNode() {
    if (m_freeList == kNull) {
        int old = int(m_nodes.size());
        m_nodes.resize(old * 2);
        ChainFree(old);
    }
    int id = m_freeList;
    m_freeList = m_nodes[id].parent;
    Node& node = m_nodes[id];
    node.parent = kNull;
    node.left = kNull;
    node.right = kNull;
    node.userData = nullptr;
    node.height = 0;
    ++m_count;
    return id;
}

void AabbTree::FreeNode(int id) {
    m_nodes[id].parent = m_freeList;
    m_nodes[id].height = -1;
    m_nodes[id].userData = nullptr;
    m_freeList = id;
    --m_count;
}

// ----------------------------------------------------------------------------- insertion and removal

int AabbTree::Insert(const Aabb& tight, BoxShape* userData) {
    int id = AllocateNode();
    m_nodes[id].box = Fatten(tight);
    m_nodes[id].userData = userData;
    m_nodes[id].height = 0;
    InsertLeaf(id);
    return id;
}

void AabbTree::Remove(int id) {
    assert(id >= 0 && id < int(m_nodes.size()) && m_nodes[id].IsLeaf() && m_nodes[id].height == 0);
    RemoveLeaf(id);
    FreeNode(id);
}

bool AabbTree::Update(int id, const Aabb& tight) {
    if (Contains(m_nodes[id].box, tight)) return false;
    RemoveLeaf(id);
    m_nodes[id].box = Fatten(tight);
    InsertLeaf(id);
    return true;
}

void AabbTree::InsertLeaf(int id) {
    if (m_root == kNull) {
        m_root = id;
        m_nodes[id].parent = kNull;
        return;
    }

    const Aabb leaf = m_nodes[id].box;
    int index = m_root;
    while (!m_nodes[index].IsLeaf()) {
        const Node& node = m_nodes[index];
        float combined = SurfaceArea(Combine(leaf, node.box));
        // Making a new parent here costs the new node's area plus what every ancestor grows by.
        float cost = 2.0f * combined;
        float inheritance = 2.0f * (combined - SurfaceArea(node.box));

        auto descentCost = [&](int child) {
            const Node& c = m_nodes[child];
            float inflated = SurfaceArea(Combine(leaf, c.box));
            if (c.IsLeaf()) return inflated + inheritance;
            return inflated - SurfaceArea(c.box) + inheritance;
        };
        float leftCost = descentCost(node.left);
        float rightCost = descentCost(node.right);

        if (cost < leftCost && cost < rightCost) break;
        index = leftCost < rightCost ? node.left : node.right;
    }

    int sibling = index;
    int oldParent = m_nodes[sibling].parent;
    int newParent = AllocateNode();
    Node& parent = m_nodes[newParent];
    parent.parent = oldParent;
    parent.userData = nullptr;
    parent.box = Combine(leaf, m_nodes[sibling].box);
    parent.height = m_nodes[sibling].height + 1;
    parent.left = sibling;
    parent.right = id;
    m_nodes[sibling].parent = newParent;
    m_nodes[id].parent = newParent;

    if (oldParent == kNull) {
        m_root = newParent;
    } else if (m_nodes[oldParent].left == sibling) {
        m_nodes[oldParent].left = newParent;
    } else {
        m_nodes[oldParent].right = newParent;
    }

    Refit(newParent);
}

void AabbTree::RemoveLeaf(int id) {
    if (id == m_root) {
        m_root = kNull;
        return;
    }
    int parent = m_nodes[id].parent;
    int grandParent = m_nodes[parent].parent;
    int sibling = m_nodes[parent].left == id ? m_nodes[parent].right : m_nodes[parent].left;

    if (grandParent != kNull) {
        if (m_nodes[grandParent].left == parent) {
            m_nodes[grandParent].left = sibling;
        } else {
            m_nodes[grandParent].right = sibling;
        }
        m_nodes[sibling].parent = grandParent;
    } else {
        m_root = sibling;
        m_nodes[sibling].parent = kNull;
    }
    FreeNode(parent);
    Refit(grandParent);
}

void AabbTree::Refit(int index) {
    while (index != kNull) {
        index = Balance(index);
        Node& node = m_nodes[index];
        const Node& left = m_nodes[node.left];
        const Node& right = m_nodes[node.right];
        node.height = 1 + (left.height > right.height ? left.height : right.height);
        node.box = Combine(left.box, right.box);
        index = node.parent;
    }
}

// ----------------------------------------------------------------------------------------- balancing

// Rotates the taller child of `a` up when the children's heights differ by more than one; returns the
// node now standing where `a` stood.
int AabbTree::Balance(int a) {
    Node& A = m_nodes[a];
    if (A.IsLeaf() || A.height < 2) return a;

    int b = A.left;
    int c = A.right;
    int balance = m_nodes[c].height - m_nodes[b].height;
    if (balance <= 1 && balance >= -1) return a;

    // The promoted child takes a's place; its taller child stays with it and its shorter child moves
    // under `a`, into the slot the promoted child left.
    const bool promoteRight = balance > 1;
    int up = promoteRight ? c : b;
    int other = promoteRight ? b : c;
    Node& Up = m_nodes[up];
    int f = Up.left;
    int g = Up.right;
    int taller = m_nodes[f].height > m_nodes[g].height ? f : g;
    int shorter = taller == f ? g : f;

    int grand = A.parent;
    if (grand != kNull) {
        if (m_nodes[grand].left == a) {
            m_nodes[grand].left = up;
        } else {
            m_nodes[grand].right = up;
        }
    } else {
        m_root = up;
    }
    Up.parent = grand;
    A.parent = up;
    m_nodes[shorter].parent = a;

    if (promoteRight) {
        Up.left = a;
        Up.right = taller;
        A.right = shorter;
    } else {
        Up.right = a;
        Up.left = taller;
        A.left = shorter;
    }

    const Node& O = m_nodes[other];
    const Node& S = m_nodes[shorter];
    const Node& T = m_nodes[taller];
    A.box = Combine(O.box, S.box);
    A.height = 1 + (O.height > S.height ? O.height : S.height);
    Up.box = Combine(A.box, T.box);
    Up.height = 1 + (A.height > T.height ? A.height : T.height);
    return up;
}

// -------------------------------------------------------------------------------------------- checks

int AabbTree::ValidateSubtree(int id, int parent, bool& ok) const {
    if (!ok) return 0;
    const Node& node = m_nodes[id];
    if (node.parent != parent || node.height < 0) {
        ok = false;
        return 0;
    }
    if (node.IsLeaf()) {
        if (node.left != kNull || node.height != 0) ok = false;
        return 1;
    }
    int nodes = ValidateSubtree(node.left, id, ok) + ValidateSubtree(node.right, id, ok);
    if (!ok) return 0;
    const Node& l = m_nodes[node.left];
    const Node& r = m_nodes[node.right];
    int height = 1 + (l.height > r.height ? l.height : r.height);
    if (node.height != height) ok = false;
    if (!Contains(node.box, l.box) || !Contains(node.box, r.box)) ok = false;
    return nodes + 1;
}

bool AabbTree::Validate() const {
    bool ok = true;
    int used = m_root == kNull ? 0 : ValidateSubtree(m_root, kNull, ok);
    if (!ok) return false;
    int free = 0;
    for (int i = m_freeList; i != kNull; i = m_nodes[i].parent) {
        if (m_nodes[i].height != -1 || ++free > int(m_nodes.size())) return false;
    }
    return used == m_count && used + free == int(m_nodes.size());
}

}  // namespace Physics
