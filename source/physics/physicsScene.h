// The world of the rigid-body simulator: owns the bodies, their boxes and the contacts between them,
// and advances them all by one fixed time step at a time. The same calls give the same bits every run.
#pragma once

#include "physics/boxShape.h"
#include "physics/contactManager.h"
#include "physics/island.h"
#include "physics/math.h"
#include "physics/pool.h"
#include "physics/rigidBody.h"

namespace Physics {

class PhysicsScene {
public:
    /// Solver passes per step.
    static constexpr int kIterations = 20;

    /// A scene stepping by `dt` seconds under `gravity`.
    PhysicsScene(float dt, Vec3 gravity);
    ~PhysicsScene();
    PhysicsScene(const PhysicsScene&) = delete;
    PhysicsScene& operator=(const PhysicsScene&) = delete;

    /// Creates a body without boxes at the head of the body list.
    RigidBody* CreateBody(const BodyDef& def);
    /// Removes a body with its boxes and contacts.
    void RemoveBody(RigidBody* body);
    /// Advances the scene by one time step.
    void Step();

    /// The bodies, newest first.
    RigidBody* GetBodyList() const { return m_bodyList; }
    int GetBodyCount() const { return m_bodyCount; }
    const ContactManager& GetContactManager() const { return m_contactManager; }
    float GetTimeStep() const { return m_dt; }
    Vec3 GetGravity() const { return m_gravity; }
    /// Whether resting islands may sleep (on by default).
    void SetAllowSleep(bool allow);
    /// Whether contacts carry friction (on by default).
    void SetEnableFriction(bool enable) { m_enableFriction = enable; }

private:
    friend class RigidBody;

    ContactManager m_contactManager;
    Pool<RigidBody> m_bodyPool;
    Pool<BoxShape> m_boxPool;
    RigidBody* m_bodyList = nullptr;
    int m_bodyCount = 0;
    Island m_island;
    std::vector<RigidBody*> m_stack;
    float m_dt;
    Vec3 m_gravity;
    int m_iterations = kIterations;
    bool m_newBox = false;
    bool m_allowSleep = true;
    bool m_enableFriction = true;
};

}  // namespace Physics
