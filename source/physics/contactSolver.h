// Sequential impulses over the contact constraints of one island: each contact point pushes its two
// bodies apart along the normal and holds them by friction along the two tangents, iterated a fixed
// number of times, starting from last step's impulses.
#pragma once

#include "physics/manifold.h"
#include "physics/math.h"

namespace Physics {

/// The velocities of one island body while its island is solved.
struct VelocityState {
    Float4 v;
    Float4 w;
};

/// One contact point as the solver sees it. For each direction d of the point (the normal, then the
/// two tangents) it keeps the angular parts of the impulse: the arms crossed with d, which turn angular
/// velocity into speed along d, and those through the inverse inertia, which turn an impulse along d
/// into angular velocity. The iterations then need no matrix product.
struct ContactState {
    Float4 raCross[3];
    Float4 rbCross[3];
    Float4 angularA[3];
    Float4 angularB[3];
    Vec3 ra;
    Vec3 rb;
    float penetration = 0.0f;
    float normalImpulse = 0.0f;
    float tangentImpulse[2] = {0.0f, 0.0f};
    float bias = 0.0f;
    float normalMass = 0.0f;
    float tangentMass[2] = {0.0f, 0.0f};
};

/// One contact constraint as the solver sees it: the bodies' masses, the shared directions, and where
/// its points start in the island's array of points.
struct ContactConstraintState {
    // The normal, then the two tangents.
    Float4 directions[3];
    // Each direction scaled by each body's inverse mass: the change of linear velocity per unit of
    // impulse along it.
    Float4 linearA[3];
    Float4 linearB[3];
    Vec3 tangentVectors[2];
    Vec3 normal;
    Vec3 centerA;
    Vec3 centerB;
    Mat3 iA;
    Mat3 iB;
    float mA = 0.0f;
    float mB = 0.0f;
    float restitution = 0.0f;
    float friction = 0.0f;
    int indexA = 0;
    int indexB = 0;
    int firstContact = 0;
    int contactCount = 0;
    // Bodies that no impulse can move (no inverse mass, no inverse inertia) are left alone.
    bool movesA = true;
    bool movesB = true;
};

class ContactSolver {
public:
    /// Baumgarte factor: the share of the penetration corrected per second and step.
    static constexpr float kBaumgarte = 0.2f;
    /// Penetration tolerated without correction.
    static constexpr float kPenetrationSlop = 0.05f;
    /// Approach speeds below this (negative) bounce with the constraint's restitution.
    static constexpr float kRestitutionThreshold = -1.0f;

    /// Computes effective masses and biases and applies last step's impulses.
    static void PreSolve(ContactConstraintState* states, int count, ContactState* contacts,
                         VelocityState* velocities, float dt, bool enableFriction);
    /// Orders the constraints for Solve: by wave, a constraint standing in the wave after the last
    /// earlier constraint that moves one of its bodies. Constraints of one wave share no body they move,
    /// so each body still meets its constraints in their first order and every bit stays the same,
    /// while neighbours in the new order can be solved at once. `bodyWaves` needs room for every body
    /// of the island, `waves` and `order` for `count` entries, `starts` for `count + 1`.
    static void Order(const ContactConstraintState* states, int count, int bodyCount, int* bodyWaves,
                      int* waves, int* starts, int* order);
    /// One pass over every contact point, in the order and with the waves that Order gave.
    static void Solve(ContactConstraintState* states, const int* order, const int* waves, int count,
                      ContactState* contacts, VelocityState* velocities, bool enableFriction);
};

}  // namespace Physics
