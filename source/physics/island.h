// A group of bodies joined by touching contacts, solved together in one step: velocities, contact
// impulses, positions, and the decision to put the whole group to sleep.
#pragma once

#include <vector>

#include "physics/contactSolver.h"
#include "physics/math.h"

namespace Physics {

class RigidBody;
struct ContactConstraint;

class Island {
public:
    static constexpr float kLinearDamping = 0.0f;
    static constexpr float kAngularDamping = 0.1f;
    /// Squared linear speed below which a body counts as resting.
    static constexpr float kSleepLinear = 0.01f;
    /// 3 degrees in radians, compared with the squared angular speed as it is.
    static constexpr float kSleepAngular = 0.05235988f;
    /// Seconds every body of an island must rest before the island sleeps.
    static constexpr float kSleepTime = 0.5f;

    /// Makes room for islands of up to the given numbers of bodies and contacts, and empties it.
    void Reserve(int bodyCapacity, int contactCapacity);
    /// Empties the island for the next one, keeping the room.
    void Clear();
    /// Appends a body and gives it its index in the island.
    void Add(RigidBody* body);
    /// Appends a contact constraint.
    void Add(ContactConstraint* contact);
    /// Solves the island for one step and puts it to sleep when all of it rests.
    void Solve(float dt, Vec3 gravity, int iterations, bool allowSleep, bool enableFriction);

    int BodyCount() const { return int(m_bodies.size()); }
    RigidBody* Body(int i) const { return m_bodies[i]; }

private:
    void InitializeContacts();
    /// Puts a body whose new state is not finite back at its last finite place, at rest.
    static void Stop(RigidBody& body, Vec3 center, Quaternion orientation);

    std::vector<RigidBody*> m_bodies;
    std::vector<VelocityState> m_velocities;
    std::vector<ContactConstraint*> m_contacts;
    std::vector<ContactConstraintState> m_contactStates;
    std::vector<ContactState> m_points;
    // The solver's order of the contact constraints and the room to work it out.
    std::vector<int> m_solveOrder;
    std::vector<int> m_waves;
    std::vector<int> m_waveStarts;
    std::vector<int> m_bodyWaves;
};

}  // namespace Physics
