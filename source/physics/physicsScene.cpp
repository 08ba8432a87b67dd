// Sections: construction | bodies | the step
#include "physics/physicsScene.h"

#include <cmath>

#include "system/log.h"

namespace Physics {

// ------------------------------------------------------------------------------------- construction

PhysicsScene::PhysicsScene(float dt, Vec3 gravity) : m_dt(dt), m_gravity(gravity) {
    if (!(std::isfinite(dt) && dt > 0.0f)) {
        VLOG("Physics::PhysicsScene::PhysicsScene", "Invalid time step %g; using 1/60 s", double(dt));
        m_dt = 1.0f / 60.0f;
    }
    if (!(std::isfinite(gravity.x) && std::isfinite(gravity.y) && std::isfinite(gravity.z))) {
        VLOG("Physics::PhysicsScene::PhysicsScene", "Invalid gravity; using none");
        m_gravity = Vec3{};
    }
}

PhysicsScene::~PhysicsScene() {
    while (m_bodyList) RemoveBody(m_bodyList);
}

// -------------------------------------------------------------------------------------------- bodies

RigidBody* PhysicsScene::CreateBody(const BodyDef& def) {
    BodyDef sane = def;
    auto finite = [](Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); };
    if (!finite(def.axis) || !std::isfinite(def.angle) || !finite(def.position) ||
        !finite(def.linearVelocity) || !finite(def.angularVelocity) || !std::isfinite(def.gravityScale)) {
        VLOG("Physics::PhysicsScene::CreateBody", "Body with a non-finite number; those values become 0");
        auto fix = [](float& f) {
            if (!std::isfinite(f)) f = 0.0f;
        };
        for (int i = 0; i < 3; ++i) {
            fix(sane.axis[i]);
            fix(sane.position[i]);
            fix(sane.linearVelocity[i]);
            fix(sane.angularVelocity[i]);
        }
        fix(sane.angle);
        fix(sane.gravityScale);
    }

    RigidBody* body = m_bodyPool.Create(sane, this);
    body->m_prev = nullptr;
    body->m_next = m_bodyList;
    if (m_bodyList) m_bodyList->m_prev = body;
    m_bodyList = body;
    ++m_bodyCount;
    return body;
}

void PhysicsScene::RemoveBody(RigidBody* body) {
    m_contactManager.RemoveContactsFromBody(body);

    BoxShape* box = body->m_boxes;
    while (box) {
        BoxShape* next = box->GetNext();
        m_contactManager.GetBroadPhase().RemoveBox(box);
        m_boxPool.Destroy(box);
        box = next;
    }
    body->m_boxes = nullptr;

    if (body->m_prev) body->m_prev->m_next = body->m_next;
    if (body->m_next) body->m_next->m_prev = body->m_prev;
    if (body == m_bodyList) m_bodyList = body->m_next;
    --m_bodyCount;
    m_bodyPool.Destroy(body);
}

void PhysicsScene::SetAllowSleep(bool allow) {
    m_allowSleep = allow;
    if (!allow) {
        for (RigidBody* body = m_bodyList; body; body = body->m_next) body->SetToAwake();
    }
}

// ------------------------------------------------------------------------------------------ the step

void PhysicsScene::Step() {
    if (m_newBox) {
        m_contactManager.FindNewContacts();
        m_newBox = false;
    }

    // Also clears every constraint's island flag, on the one walk over the constraints.
    m_contactManager.TestCollisions();

    for (RigidBody* body = m_bodyList; body; body = body->m_next) body->m_flags &= ~RigidBody::kIsland;

    // Only touching constraints join islands; in a rain they are a small share of all constraints.
    m_island.Reserve(m_bodyCount, m_contactManager.GetTouchingCount());
    m_stack.reserve(m_bodyCount);

    for (RigidBody* seed = m_bodyList; seed; seed = seed->m_next) {
        if (seed->m_flags & (RigidBody::kIsland | RigidBody::kStatic)) continue;
        if (!(seed->m_flags & RigidBody::kAwake)) continue;

        m_island.Clear();
        m_stack.clear();
        m_stack.push_back(seed);
        seed->m_flags |= RigidBody::kIsland;

        // Depth first over touching contacts. Static bodies join the island that reaches them but are
        // not searched through, which keeps islands that only share the ground apart.
        while (!m_stack.empty()) {
            RigidBody* body = m_stack.back();
            m_stack.pop_back();
            m_island.Add(body);
            body->SetToAwake();
            if (body->m_flags & RigidBody::kStatic) continue;

            // Only colliding constraints may join, so the walk takes the touching list, which holds
            // them in the order of the full list.
            for (ContactEdge* edge = body->m_touchingList; edge; edge = edge->touchingNext) {
                ContactConstraint* contact = edge->constraint;
                if (contact->flags & ContactConstraint::kIsland) continue;
                if (contact->sensor) continue;
                contact->flags |= ContactConstraint::kIsland;
                m_island.Add(contact);

                RigidBody* other = edge->other;
                if (other->m_flags & RigidBody::kIsland) continue;
                m_stack.push_back(other);
                other->m_flags |= RigidBody::kIsland;
            }
        }

        m_island.Solve(m_dt, m_gravity, m_iterations, m_allowSleep, m_enableFriction);

        for (int i = 0; i < m_island.BodyCount(); ++i) {
            RigidBody* body = m_island.Body(i);
            if (body->m_flags & RigidBody::kStatic) body->m_flags &= ~RigidBody::kIsland;
        }
    }
    m_island.Clear();

    for (RigidBody* body = m_bodyList; body; body = body->m_next) {
        if (body->m_flags & RigidBody::kStatic) continue;
        body->SynchronizeProxies();
    }

    m_contactManager.FindNewContacts();

    for (RigidBody* body = m_bodyList; body; body = body->m_next) {
        body->m_force = Vec3{};
        body->m_torque = Vec3{};
    }
}

}  // namespace Physics
