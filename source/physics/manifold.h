// The contact points of one pair of boxes in one step: a shared normal from box A to box B, the two
// friction directions, and up to eight points that carry their impulses from step to step.
#pragma once

#include <cstdint>

#include "physics/math.h"

namespace Physics {

class BoxShape;

/// Names the features of the two boxes that made a contact point: the edges of the reference face
/// (R) and of the incident face (I) that the point entered and left by. Equal keys in consecutive
/// steps mean the same point.
union FeaturePair {
    struct {
        uint8_t inR;
        uint8_t outR;
        uint8_t inI;
        uint8_t outI;
    };
    uint32_t key;
};

/// One contact point and the impulses it carries to the next step (the solver keeps its own working
/// copy with the effective masses and bias).
struct Contact {
    Vec3 position;
    // Negative when the boxes overlap.
    float penetration = 0.0f;
    float normalImpulse = 0.0f;
    float tangentImpulse[2] = {0.0f, 0.0f};
    FeaturePair feature{};
    // Consecutive steps this slot has been matched with an earlier point, stopping at 255.
    uint8_t warmStarted = 0;
};

struct Manifold {
    static constexpr int kMaxContacts = 8;

    BoxShape* boxA = nullptr;
    BoxShape* boxB = nullptr;
    Vec3 normal;
    Vec3 tangentVectors[2];
    int contactCount = 0;
    bool sensor = false;
    Contact contacts[kMaxContacts];
};

/// Two unit vectors that with `normal` (unit length) form an orthonormal basis.
void ComputeBasis(Vec3 normal, Vec3* t1, Vec3* t2);

}  // namespace Physics
