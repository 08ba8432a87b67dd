// The lifetime of contact constraints: creates one per new pair of boxes the broad phase offers,
// refreshes every constraint's manifold once per step (carrying impulses over by feature), and
// removes constraints whose boxes have parted or may no longer touch.
#pragma once

#include "physics/broadPhase.h"
#include "physics/contactConstraint.h"
#include "physics/pool.h"

#include <cstdint>
#include <unordered_set>
#include <vector>

namespace Physics {

class BoxShape;
class RigidBody;

class ContactManager {
public:
    ContactManager();
    ContactManager(const ContactManager&) = delete;
    ContactManager& operator=(const ContactManager&) = delete;

    /// Creates the constraint of a pair of boxes unless they may not touch or already have one.
    void AddContact(BoxShape* a, BoxShape* b);
    /// Unlinks a constraint, wakes both bodies and frees it.
    void RemoveContact(ContactConstraint* constraint);
    /// Removes every constraint that touches the body.
    void RemoveContactsFromBody(RigidBody* body);
    /// Offers the pairs of boxes that moved since the last call.
    void FindNewContacts() { m_broadPhase.UpdatePairs(); }
    /// Refreshes every constraint's manifold and flags (the island flag cleared); drops the ones that
    /// no longer apply.
    void TestCollisions();

    BroadPhase& GetBroadPhase() { return m_broadPhase; }
    const BroadPhase& GetBroadPhase() const { return m_broadPhase; }
    /// The constraints, newest first.
    ContactConstraint* GetContactList() const { return m_contactList; }
    int GetContactCount() const { return m_contactCount; }
    /// The constraints whose boxes touch: the most an island can hold.
    int GetTouchingCount() const { return m_touchingCount; }

private:
    void SetColliding(ContactConstraint* constraint, bool colliding);
    void UpdateContact(ContactConstraint* constraint);
    void CompactOrder();

    BroadPhase m_broadPhase;
    uint64_t m_serial = 0;
    Pool<ContactConstraint> m_pool;
    // Every constraint by its two proxies (box A's in the high half): the broad phase offers mostly
    // pairs that already have one, and a body's list may be long (a ground under a pile).
    std::unordered_set<uint64_t> m_pairs;
    ContactConstraint* m_contactList = nullptr;
    // The same constraints oldest first, with holes where some were removed (see CompactOrder).
    std::vector<ContactConstraint*> m_order;
    int m_holes = 0;
    int m_contactCount = 0;
    int m_touchingCount = 0;
};

}  // namespace Physics
