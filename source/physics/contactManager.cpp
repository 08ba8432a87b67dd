// Sections: creation and removal | collision update
#include "physics/contactManager.h"

#include <cmath>
#include <cstddef>

#include "physics/boxCollision.h"
#include "physics/boxShape.h"
#include "physics/rigidBody.h"

namespace Physics {

namespace {
void LinkEdge(ContactEdge* edge, ContactEdge** list) {
    edge->prev = nullptr;
    edge->next = *list;
    if (*list) (*list)->prev = edge;
    *list = edge;
}

void UnlinkEdge(ContactEdge* edge, ContactEdge** list) {
    if (edge->prev) edge->prev->next = edge->next;
    if (edge->next) edge->next->prev = edge->prev;
    if (*list == edge) *list = edge->next;
}

// Newer constraints stand first, as in the full list.
void LinkTouching(ContactEdge* edge, ContactEdge** list) {
    const uint64_t serial = edge->constraint->serial;
    ContactEdge* prev = nullptr;
    ContactEdge* next = *list;
    while (next && next->constraint->serial > serial) {
        prev = next;
        next = next->touchingNext;
    }
    edge->touchingPrev = prev;
    edge->touchingNext = next;
    if (next) next->touchingPrev = edge;
    if (prev) {
        prev->touchingNext = edge;
    } else {
        *list = edge;
    }
}

void UnlinkTouching(ContactEdge* edge, ContactEdge** list) {
    if (edge->touchingPrev) edge->touchingPrev->touchingNext = edge->touchingNext;
    if (edge->touchingNext) edge->touchingNext->touchingPrev = edge->touchingPrev;
    if (*list == edge) *list = edge->touchingNext;
    edge->touchingPrev = nullptr;
    edge->touchingNext = nullptr;
}
// Most constraints hold boxes whose enlarged bounds overlap while the boxes themselves are well
// apart. When even their bounding spheres are apart by a clear margin, a separating axis exists and
// the box test would report no contacts; this answers the same at a fraction of the cost.
bool SpheresApart(Vec3 centreA, float radiusA, Vec3 centreB, float radiusB) {
    const float reach = radiusA + radiusB;
    const Vec3 d = centreB - centreA;
    return Dot(d, d) > reach * reach * 1.001f + 1.0e-6f;
}

uint64_t PairKey(const BoxShape* a, const BoxShape* b) {
    return uint64_t(uint32_t(a->GetProxy())) << 32 | uint32_t(b->GetProxy());
}

}  // namespace

ContactManager::ContactManager() : m_broadPhase(this) {}

// ------------------------------------------------------------------------------ creation and removal

void ContactManager::AddContact(BoxShape* a, BoxShape* b) {
    RigidBody* bodyA = a->GetBody();
    RigidBody* bodyB = b->GetBody();
    if (!bodyA->CanCollide(*bodyB)) return;

    // A proxy stands for its box as long as the box lives, and a box's constraints go before it.
    if (!m_pairs.insert(PairKey(a, b)).second) return;

    ContactConstraint* c = m_pool.Create();
    c->boxA = a;
    c->boxB = b;
    c->bodyA = bodyA;
    c->bodyB = bodyB;
    c->manifold.boxA = a;
    c->manifold.boxB = b;
    c->sensor = a->IsSensor() || b->IsSensor();
    c->manifold.sensor = c->sensor;
    c->flags = 0;
    c->serial = ++m_serial;
    c->friction = std::sqrt(a->GetFriction() * b->GetFriction());
    c->restitution = Max(a->GetRestitution(), b->GetRestitution());
    c->manifold.contactCount = 0;
    for (Contact& contact : c->manifold.contacts) contact.warmStarted = 0;

    c->prev = nullptr;
    c->next = m_contactList;
    if (m_contactList) m_contactList->prev = c;
    m_contactList = c;
    c->orderIndex = int(m_order.size());
    m_order.push_back(c);

    c->edgeA.constraint = c;
    c->edgeA.other = bodyB;
    LinkEdge(&c->edgeA, &bodyA->m_contactList);
    c->edgeB.constraint = c;
    c->edgeB.other = bodyA;
    LinkEdge(&c->edgeB, &bodyB->m_contactList);

    bodyA->SetToAwake();
    bodyB->SetToAwake();
    ++m_contactCount;
}

void ContactManager::RemoveContact(ContactConstraint* c) {
    RigidBody* bodyA = c->bodyA;
    RigidBody* bodyB = c->bodyB;
    SetColliding(c, false);
    UnlinkEdge(&c->edgeA, &bodyA->m_contactList);
    UnlinkEdge(&c->edgeB, &bodyB->m_contactList);
    bodyA->SetToAwake();
    bodyB->SetToAwake();

    if (c->prev) c->prev->next = c->next;
    if (c->next) c->next->prev = c->prev;
    if (m_contactList == c) m_contactList = c->next;
    m_pairs.erase(PairKey(c->boxA, c->boxB));
    m_order[size_t(c->orderIndex)] = nullptr;
    ++m_holes;
    --m_contactCount;
    m_pool.Destroy(c);
}

void ContactManager::RemoveContactsFromBody(RigidBody* body) {
    ContactEdge* edge = body->m_contactList;
    while (edge) {
        ContactEdge* next = edge->next;
        RemoveContact(edge->constraint);
        edge = next;
    }
}

void ContactManager::SetColliding(ContactConstraint* c, bool colliding) {
    const bool was = (c->flags & ContactConstraint::kColliding) != 0;
    if (colliding == was) return;
    if (colliding) {
        c->flags |= ContactConstraint::kColliding;
        ++m_touchingCount;
        LinkTouching(&c->edgeA, &c->bodyA->m_touchingList);
        LinkTouching(&c->edgeB, &c->bodyB->m_touchingList);
    } else {
        c->flags &= ~ContactConstraint::kColliding;
        --m_touchingCount;
        UnlinkTouching(&c->edgeA, &c->bodyA->m_touchingList);
        UnlinkTouching(&c->edgeB, &c->bodyB->m_touchingList);
    }
}

// ---------------------------------------------------------------------------------- collision update

void ContactManager::TestCollisions() {
    // The order array holds the constraints oldest first, so walking it backwards is the list order
    // (newest first). Constraints lie scattered in memory; fetching a few ahead hides that. The lines
    // fetched reach the manifold's first four points, which a resting box pair has.
    constexpr int kAhead = 6;
    constexpr int kLines = int(
        (offsetof(ContactConstraint, manifold) + offsetof(Manifold, contacts) + 4 * sizeof(Contact) + 63) /
        64);
    for (int i = int(m_order.size()) - 1; i >= 0; --i) {
        if (i >= kAhead && m_order[size_t(i - kAhead)]) {
            const char* ahead = reinterpret_cast<const char*>(m_order[size_t(i - kAhead)]);
            for (int line = 0; line < kLines; ++line) __builtin_prefetch(ahead + 64 * line);
        }
        if (ContactConstraint* c = m_order[size_t(i)]) UpdateContact(c);
    }
    CompactOrder();
}

void ContactManager::CompactOrder() {
    if (m_holes * 2 <= int(m_order.size())) return;
    size_t kept = 0;
    for (ContactConstraint* c : m_order) {
        if (!c) continue;
        c->orderIndex = int(kept);
        m_order[kept++] = c;
    }
    m_order.resize(kept);
    m_holes = 0;
}

void ContactManager::UpdateContact(ContactConstraint* c) {
    BoxShape* a = c->boxA;
    BoxShape* b = c->boxB;
    RigidBody* bodyA = c->bodyA;
    RigidBody* bodyB = c->bodyB;
    c->flags &= ~ContactConstraint::kIsland;

    if (!bodyA->CanCollide(*bodyB)) {
        RemoveContact(c);
        return;
    }
    if (!bodyA->IsAwake() && !bodyB->IsAwake()) return;
    if (!m_broadPhase.TestOverlap(a->GetProxy(), b->GetProxy())) {
        RemoveContact(c);
        return;
    }

    Manifold& m = c->manifold;
    // Only what matching needs survives from the old manifold.
    struct OldContact {
        uint32_t key;
        float normalImpulse;
        float tangentImpulse[2];
    };
    OldContact old[Manifold::kMaxContacts];
    const int oldCount = m.contactCount;
    for (int i = 0; i < oldCount; ++i) {
        old[i] = {m.contacts[i].feature.key,
                  m.contacts[i].normalImpulse,
                  {m.contacts[i].tangentImpulse[0], m.contacts[i].tangentImpulse[1]}};
    }
    const Vec3 oldT0 = m.tangentVectors[0];
    const Vec3 oldT1 = m.tangentVectors[1];

    m.contactCount = 0;
    // The centres first: most pairs are found apart by them alone, and the boxes' world rotations
    // (two matrix products) are needed only for the box test. The same sums as the full transforms.
    const Transform& bodyTransformA = bodyA->GetTransform();
    const Transform& bodyTransformB = bodyB->GetTransform();
    const Transform& localA = a->GetLocalTransform();
    const Transform& localB = b->GetLocalTransform();
    const Vec3 centreA = Mul(bodyTransformA.rotation, localA.position) + bodyTransformA.position;
    const Vec3 centreB = Mul(bodyTransformB.rotation, localB.position) + bodyTransformB.position;
    if (!SpheresApart(centreA, a->GetRadius(), centreB, b->GetRadius())) {
        const Transform worldA{centreA, Mul(bodyTransformA.rotation, localA.rotation)};
        const Transform worldB{centreB, Mul(bodyTransformB.rotation, localB.rotation)};
        BoxToBox(&m, worldA, a->GetHalfExtents(), worldB, b->GetHalfExtents());
    }

    if (m.contactCount > 0) {
        if (c->flags & ContactConstraint::kColliding) {
            c->flags |= ContactConstraint::kWasColliding;
        } else {
            SetColliding(c, true);
        }
    } else if (c->flags & ContactConstraint::kColliding) {
        SetColliding(c, false);
        c->flags |= ContactConstraint::kWasColliding;
    } else {
        c->flags &= ~ContactConstraint::kWasColliding;
    }

    // Without contacts the normal is as it was, and so are the tangents it gave; they are read
    // again only after a step with contacts.
    if (m.contactCount == 0) return;
    ComputeBasis(m.normal, &m.tangentVectors[0], &m.tangentVectors[1]);

    for (int i = 0; i < m.contactCount; ++i) {
        Contact& contact = m.contacts[i];
        contact.normalImpulse = 0.0f;
        contact.tangentImpulse[0] = 0.0f;
        contact.tangentImpulse[1] = 0.0f;
        // The slot's own count from before, even when the match comes from another slot.
        const uint8_t slotCount = contact.warmStarted;
        contact.warmStarted = 0;
        for (int j = 0; j < oldCount; ++j) {
            if (old[j].key != contact.feature.key) continue;
            contact.normalImpulse = old[j].normalImpulse;
            Vec3 friction = oldT0 * old[j].tangentImpulse[0] + oldT1 * old[j].tangentImpulse[1];
            contact.tangentImpulse[0] = Dot(friction, m.tangentVectors[0]);
            contact.tangentImpulse[1] = Dot(friction, m.tangentVectors[1]);
            contact.warmStarted = slotCount == 255 ? 255 : uint8_t(slotCount + 1);
            break;
        }
    }
}

}  // namespace Physics
