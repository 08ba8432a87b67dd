// Sections: building | solving (velocities, contacts, positions, sleep)
#include "physics/island.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "physics/contactConstraint.h"
#include "physics/rigidBody.h"
#include "system/log.h"

namespace Physics {

namespace {
bool IsZero(const Mat3& m) {
    for (int c = 0; c < 3; ++c) {
        const Vec3 v = m.Column(c);
        if (v.x != 0.0f || v.y != 0.0f || v.z != 0.0f) return false;
    }
    return true;
}
}  // namespace

// ------------------------------------------------------------------------------------------ building

void Island::Reserve(int bodyCapacity, int contactCapacity) {
    m_bodies.reserve(bodyCapacity);
    m_velocities.reserve(bodyCapacity);
    m_contacts.reserve(contactCapacity);
    // Grown by doubling: a scene whose contacts creep up would otherwise copy them all every step.
    if (int(m_contactStates.size()) < contactCapacity) {
        m_contactStates.resize(std::max(size_t(contactCapacity), 2 * m_contactStates.size()));
    }
    Clear();
}

void Island::Clear() {
    m_bodies.clear();
    m_velocities.clear();
    m_contacts.clear();
}

void Island::Add(RigidBody* body) {
    body->m_islandIndex = int(m_bodies.size());
    m_bodies.push_back(body);
}

void Island::Add(ContactConstraint* contact) {
    m_contacts.push_back(contact);
}

void Island::InitializeContacts() {
    m_points.clear();
    for (size_t i = 0; i < m_contacts.size(); ++i) {
        const ContactConstraint& cc = *m_contacts[i];
        ContactConstraintState& cs = m_contactStates[i];
        const RigidBody& a = *cc.bodyA;
        const RigidBody& b = *cc.bodyB;
        cs.centerA = a.m_worldCenter;
        cs.centerB = b.m_worldCenter;
        cs.iA = a.m_invInertiaWorld;
        cs.iB = b.m_invInertiaWorld;
        cs.mA = a.m_invMass;
        cs.mB = b.m_invMass;
        cs.restitution = cc.restitution;
        cs.friction = cc.friction;
        cs.indexA = a.m_islandIndex;
        cs.indexB = b.m_islandIndex;
        cs.normal = cc.manifold.normal;
        cs.tangentVectors[0] = cc.manifold.tangentVectors[0];
        cs.tangentVectors[1] = cc.manifold.tangentVectors[1];
        cs.contactCount = cc.manifold.contactCount;
        cs.firstContact = int(m_points.size());
        cs.movesA = a.m_invMass != 0.0f || !IsZero(a.m_invInertiaWorld);
        cs.movesB = b.m_invMass != 0.0f || !IsZero(b.m_invInertiaWorld);
        m_points.resize(m_points.size() + size_t(cs.contactCount));
        for (int j = 0; j < cs.contactCount; ++j) {
            const Contact& cp = cc.manifold.contacts[j];
            ContactState& s = m_points[size_t(cs.firstContact + j)];
            s.ra = cp.position - cs.centerA;
            s.rb = cp.position - cs.centerB;
            s.penetration = cp.penetration;
            s.normalImpulse = cp.normalImpulse;
            s.tangentImpulse[0] = cp.tangentImpulse[0];
            s.tangentImpulse[1] = cp.tangentImpulse[1];
        }
    }
}

// ------------------------------------------------------------------------------------------- solving

// A body whose motion left the range of a float would spread numbers that are not finite to the
// broad phase and to every body it touches; it stays where it was last finite, at rest.
void Island::Stop(RigidBody& body, Vec3 center, Quaternion orientation) {
    if (!(body.m_flags & RigidBody::kStopped)) {
        VLOG("Physics::Island::Solve",
             "A body's motion went beyond what a float holds; it is stopped at (%g, %g, %g)",
             double(center.x), double(center.y), double(center.z));
        body.m_flags |= RigidBody::kStopped;
    }
    body.m_linearVelocity = Vec3{};
    body.m_angularVelocity = Vec3{};
    body.m_force = Vec3{};
    body.m_torque = Vec3{};
    body.m_worldCenter = center;
    body.m_orientation = orientation;
    Mat3& r = body.m_transform.rotation;
    r = orientation.ToMat3();
    body.m_invInertiaWorld = Mul(Mul(r, body.m_invInertiaModel), Transpose(r));
    body.m_transform.position = center - Mul(r, body.m_localCenter);
}

void Island::Solve(float dt, Vec3 gravity, int iterations, bool allowSleep, bool enableFriction) {
    // Velocities: gravity, accumulated forces, damping.
    for (RigidBody* body : m_bodies) {
        if (body->m_flags & RigidBody::kDynamic) {
            body->m_force += gravity * body->m_gravityScale * body->m_mass;
            body->SetToAwake();
            body->m_linearVelocity += body->m_force * body->m_invMass * dt;
            body->m_angularVelocity += Mul(body->m_invInertiaWorld, body->m_torque) * dt;
            body->m_linearVelocity *= 1.0f / (1.0f + dt * kLinearDamping);
            body->m_angularVelocity *= 1.0f / (1.0f + dt * kAngularDamping);
        }
        m_velocities.push_back({ToFloat4(body->m_linearVelocity), ToFloat4(body->m_angularVelocity)});
    }

    // Contacts.
    assert(m_contacts.size() <= m_contactStates.size() && "Reserve gave room for fewer contacts");
    InitializeContacts();
    const int contactCount = int(m_contacts.size());
    ContactConstraintState* states = m_contactStates.data();
    if (contactCount > 0) {
        ContactSolver::PreSolve(states, contactCount, m_points.data(), m_velocities.data(), dt,
                                enableFriction);
        const size_t count = size_t(contactCount);
        if (m_solveOrder.size() < count) {
            // Grown by doubling, like the states.
            const size_t room = std::max(count, 2 * m_solveOrder.size());
            m_solveOrder.resize(room);
            m_waves.resize(room);
            m_waveStarts.resize(room + 1);
        }
        if (m_bodyWaves.size() < m_bodies.size())
            m_bodyWaves.resize(std::max(m_bodies.size(), 2 * m_bodyWaves.size()));
        ContactSolver::Order(states, contactCount, int(m_bodies.size()), m_bodyWaves.data(), m_waves.data(),
                             m_waveStarts.data(), m_solveOrder.data());
        for (int i = 0; i < iterations; ++i) {
            ContactSolver::Solve(states, m_solveOrder.data(), m_waves.data(), contactCount, m_points.data(),
                                 m_velocities.data(), enableFriction);
        }
    }
    // An impulse that is not finite (the bodies' motion left the range of a float and they are stopped
    // below) would warm-start the pair with it next step and stop them again, for ever: the pair starts
    // afresh instead.
    auto finite = [](float impulse) { return std::isfinite(impulse) ? impulse : 0.0f; };
    for (int i = 0; i < contactCount; ++i) {
        ContactConstraint& cc = *m_contacts[i];
        const ContactConstraintState& cs = states[i];
        for (int j = 0; j < cs.contactCount; ++j) {
            Contact& cp = cc.manifold.contacts[j];
            const ContactState& s = m_points[size_t(cs.firstContact + j)];
            cp.normalImpulse = finite(s.normalImpulse);
            cp.tangentImpulse[0] = finite(s.tangentImpulse[0]);
            cp.tangentImpulse[1] = finite(s.tangentImpulse[1]);
        }
    }

    // Positions.
    for (size_t i = 0; i < m_bodies.size(); ++i) {
        RigidBody& body = *m_bodies[i];
        if (body.m_flags & RigidBody::kStatic) continue;
        const Vec3 v = ToVec3(m_velocities[i].v);
        const Vec3 w = ToVec3(m_velocities[i].w);
        const Vec3 oldCenter = body.m_worldCenter;
        const Quaternion oldOrientation = body.m_orientation;
        body.m_linearVelocity = v;
        body.m_angularVelocity = w;
        body.m_worldCenter += v * dt;

        Quaternion& q = body.m_orientation;
        Quaternion spin = Quaternion{w.x * dt, w.y * dt, w.z * dt, 0.0f} * q;
        q.x += spin.x * 0.5f;
        q.y += spin.y * 0.5f;
        q.z += spin.z * 0.5f;
        q.w += spin.w * 0.5f;
        q = Normalize(q);

        Mat3& r = body.m_transform.rotation;
        r = q.ToMat3();
        body.m_invInertiaWorld = Mul(Mul(r, body.m_invInertiaModel), Transpose(r));
        body.m_transform.position = body.m_worldCenter - Mul(r, body.m_localCenter);

        if (!IsFinite(v) || !IsFinite(w) || !IsFinite(body.m_transform.position) || !IsFinite(q)) {
            Stop(body, oldCenter, oldOrientation);
        }
    }

    // Sleep: the island sleeps as one once its least rested body has rested long enough.
    if (!allowSleep) return;
    float minSleepTime = kMaxFloat;
    for (RigidBody* body : m_bodies) {
        if (body->m_flags & RigidBody::kStatic) continue;
        const float linear = Dot(body->m_linearVelocity, body->m_linearVelocity);
        const float angular = Dot(body->m_angularVelocity, body->m_angularVelocity);
        // A body that may not sleep keeps its whole island awake.
        if (linear > kSleepLinear || angular > kSleepAngular || !(body->m_flags & RigidBody::kAllowSleep)) {
            minSleepTime = 0.0f;
            body->m_sleepTime = 0.0f;
        } else {
            body->m_sleepTime += dt;
            minSleepTime = Min(minSleepTime, body->m_sleepTime);
        }
    }
    if (minSleepTime > kSleepTime) {
        for (RigidBody* body : m_bodies) body->SetToSleep();
    }
}

}  // namespace Physics
