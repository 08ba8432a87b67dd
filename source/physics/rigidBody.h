// A rigid body of the simulator: its state of motion, its mass properties gathered from its boxes,
// and its links into the scene's body list, its box list and its contact list.
#pragma once

#include <cstdint>

#include "physics/boxShape.h"
#include "physics/math.h"

namespace Physics {

class PhysicsScene;
struct ContactEdge;

enum class BodyType : uint8_t { Static = 0, Dynamic = 1, Kinematic = 2 };

/// How to make a body; the defaults make an awake static body at the origin.
struct BodyDef {
    /// Initial orientation: `angle` radians about `axis` (normalised when not zero).
    Vec3 axis;
    float angle = 0.0f;
    Vec3 position;
    Vec3 linearVelocity;
    Vec3 angularVelocity;
    float gravityScale = 1.0f;
    /// Bodies collide only when their masks share a bit.
    uint32_t layers = 1;
    void* userData = nullptr;
    BodyType type = BodyType::Static;
    bool allowSleep = true;
    bool awake = true;
    bool active = true;
    /// Locked axes take no angular impulse about that axis of the body.
    bool lockAxisX = false;
    bool lockAxisY = false;
    bool lockAxisZ = false;
};

class RigidBody {
public:
    enum Flags : uint32_t {
        kAwake = 0x001,
        kActive = 0x002,
        kAllowSleep = 0x004,
        kIsland = 0x010,
        kStatic = 0x020,
        kDynamic = 0x040,
        kKinematic = 0x080,
        kLockAxisX = 0x100,
        kLockAxisY = 0x200,
        kLockAxisZ = 0x400,
        /// Its motion once went beyond what a float holds and was stopped (and logged).
        kStopped = 0x800,
    };

    RigidBody(const BodyDef& def, PhysicsScene* scene);
    RigidBody(const RigidBody&) = delete;
    RigidBody& operator=(const RigidBody&) = delete;

    /// Fixes a new box to the body; its mass properties and the broad phase follow.
    BoxShape* AddBox(const BoxDef& def);

    /// World position and rotation of the body origin.
    const Transform& GetTransform() const { return m_transform; }
    Vec3 GetLinearVelocity() const { return m_linearVelocity; }
    Vec3 GetAngularVelocity() const { return m_angularVelocity; }
    Quaternion GetOrientation() const { return m_orientation; }
    float GetMass() const { return m_mass; }
    float GetInverseMass() const { return m_invMass; }
    const Mat3& GetInverseInertiaModel() const { return m_invInertiaModel; }
    const Mat3& GetInverseInertiaWorld() const { return m_invInertiaWorld; }
    Vec3 GetLocalCenter() const { return m_localCenter; }
    Vec3 GetWorldCenter() const { return m_worldCenter; }
    float GetSleepTime() const { return m_sleepTime; }
    uint32_t GetFlags() const { return m_flags; }
    uint32_t GetLayers() const { return m_layers; }
    bool IsAwake() const { return (m_flags & kAwake) != 0; }
    bool IsStatic() const { return (m_flags & kStatic) != 0; }
    bool IsDynamic() const { return (m_flags & kDynamic) != 0; }
    void* GetUserData() const { return m_userData; }
    /// The body's boxes, newest first.
    BoxShape* GetBoxList() const { return m_boxes; }
    /// One edge per contact constraint of the body, newest first.
    ContactEdge* GetContactList() const { return m_contactList; }
    /// The edges of the colliding constraints alone, in the same order (linked by touchingNext).
    ContactEdge* GetTouchingList() const { return m_touchingList; }
    /// The next body of the scene's list (newest first), or null.
    RigidBody* GetNext() const { return m_next; }

    /// Wakes the body (a sleeping body restarts its sleep clock).
    void SetToAwake();
    /// Puts the body to sleep and stops it.
    void SetToSleep();
    /// Whether the two bodies may touch at all: different bodies, one dynamic, a shared layer.
    bool CanCollide(const RigidBody& other) const {
        // Asked for every constraint in every step: kept where the caller can inline it.
        if (this == &other) return false;
        if (!(m_flags & kDynamic) && !(other.m_flags & kDynamic)) return false;
        return (m_layers & other.m_layers) != 0;
    }

private:
    friend class PhysicsScene;
    friend class ContactManager;
    friend class Island;

    void CalculateMassData();
    void SynchronizeProxies();

    Mat3 m_invInertiaModel = Diagonal(0.0f);
    Mat3 m_invInertiaWorld = Diagonal(0.0f);
    Vec3 m_linearVelocity;
    Vec3 m_angularVelocity;
    Vec3 m_force;
    Vec3 m_torque;
    Transform m_transform;
    Quaternion m_orientation;
    Vec3 m_localCenter;
    Vec3 m_worldCenter;
    float m_mass = 0.0f;
    float m_invMass = 0.0f;
    float m_sleepTime = 0.0f;
    float m_gravityScale = 1.0f;
    uint32_t m_layers = 1;
    uint32_t m_flags = 0;
    int m_islandIndex = 0;
    void* m_userData = nullptr;
    BoxShape* m_boxes = nullptr;
    ContactEdge* m_contactList = nullptr;
    ContactEdge* m_touchingList = nullptr;
    PhysicsScene* m_scene = nullptr;
    RigidBody* m_prev = nullptr;
    RigidBody* m_next = nullptr;
};

}  // namespace Physics
