// One persistent contact between two boxes of different bodies, from the step the broad phase first
// pairs them until their enlarged boxes part. It sits in the contact manager's list and, through its
// two edges, in both bodies' contact lists.
#pragma once

#include <cstdint>

#include "physics/manifold.h"

namespace Physics {

class RigidBody;
class BoxShape;
struct ContactConstraint;

/// A contact seen from one body: the other body and the constraint, linked into that body's list of
/// all its contacts and, while the constraint is colliding, into its list of touching contacts.
struct ContactEdge {
    RigidBody* other = nullptr;
    ContactConstraint* constraint = nullptr;
    ContactEdge* prev = nullptr;
    ContactEdge* next = nullptr;
    ContactEdge* touchingPrev = nullptr;
    ContactEdge* touchingNext = nullptr;
};

struct ContactConstraint {
    enum Flags : uint32_t {
        kColliding = 0x1,
        kWasColliding = 0x2,
        kIsland = 0x4,
    };

    // The island search reads the flags through the edges, for every edge of every body each step:
    // they share the constraint's first cache lines.
    ContactEdge edgeA;
    uint32_t flags = 0;
    bool sensor = false;
    ContactEdge edgeB;
    // Creation order; the touching lists keep the order of the full lists (newest first) by it.
    uint64_t serial = 0;
    // Place in the manager's order array.
    int orderIndex = 0;
    BoxShape* boxA = nullptr;
    BoxShape* boxB = nullptr;
    RigidBody* bodyA = nullptr;
    RigidBody* bodyB = nullptr;
    ContactConstraint* prev = nullptr;
    ContactConstraint* next = nullptr;
    float friction = 0.0f;
    float restitution = 0.0f;
    Manifold manifold;
};

}  // namespace Physics
