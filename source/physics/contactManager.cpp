// Sections: creation and removal | collision update
#include "physics/contactManager.h"

#include <cmath>

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
}  // namespace

ContactManager::ContactManager() : m_broadPhase(this) {}

// ------------------------------------------------------------------------------ creation and removal

void ContactManager::AddContact(BoxShape* a, BoxShape* b) {
    RigidBody* bodyA = a->GetBody();
    RigidBody* bodyB = b->GetBody();
    if (!bodyA->CanCollide(*bodyB)) return;

    for (ContactEdge* edge = bodyA->m_contactList; edge; edge = edge->next) {
        if (edge->other == bodyB && edge->constraint->boxA == a && edge->constraint->boxB == b) return;
    }

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
    c->friction = std::sqrt(a->GetFriction() * b->GetFriction());
    c->restitution = Max(a->GetRestitution(), b->GetRestitution());
    c->manifold.contactCount = 0;
    for (Contact& contact : c->manifold.contacts) contact.warmStarted = 0;

    c->prev = nullptr;
    c->next = m_contactList;
    if (m_contactList) m_contactList->prev = c;
    m_contactList = c;

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
    UnlinkEdge(&c->edgeA, &bodyA->m_contactList);
    UnlinkEdge(&c->edgeB, &bodyB->m_contactList);
    bodyA->SetToAwake();
    bodyB->SetToAwake();

    if (c->prev) c->prev->next = c->next;
    if (c->next) c->next->prev = c->prev;
    if (m_contactList == c) m_contactList = c->next;
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

// ---------------------------------------------------------------------------------- collision update

void ContactManager::TestCollisions() {
    ContactConstraint* c = m_contactList;
    while (c) {
        BoxShape* a = c->boxA;
        BoxShape* b = c->boxB;
        RigidBody* bodyA = c->bodyA;
        RigidBody* bodyB = c->bodyB;

        if (!bodyA->CanCollide(*bodyB)) {
            ContactConstraint* next = c->next;
            RemoveContact(c);
            c = next;
            continue;
        }
        if (!bodyA->IsAwake() && !bodyB->IsAwake()) {
            c = c->next;
            continue;
        }
        if (!m_broadPhase.TestOverlap(a->GetProxy(), b->GetProxy())) {
            ContactConstraint* next = c->next;
            RemoveContact(c);
            c = next;
            continue;
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
        BoxToBox(&m, Mul(bodyA->GetTransform(), a->GetLocalTransform()), a->GetHalfExtents(),
                 Mul(bodyB->GetTransform(), b->GetLocalTransform()), b->GetHalfExtents());

        if (m.contactCount > 0) {
            if (c->flags & ContactConstraint::kColliding) {
                c->flags |= ContactConstraint::kWasColliding;
            } else {
                c->flags |= ContactConstraint::kColliding;
            }
        } else if (c->flags & ContactConstraint::kColliding) {
            c->flags &= ~ContactConstraint::kColliding;
            c->flags |= ContactConstraint::kWasColliding;
        } else {
            c->flags &= ~ContactConstraint::kWasColliding;
        }

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
        c = c->next;
    }
}

}  // namespace Physics
