// The one collision shape of the simulator: an oriented box fixed to a body, with its surface
// properties and its proxy in the broad phase.
#pragma once

#include "physics/math.h"

namespace Physics {

class RigidBody;

/// How to make a box; the defaults are a unit cube at the body's origin.
struct BoxDef {
    /// Placement relative to the body.
    Transform local;
    /// Full edge lengths.
    Vec3 extents{1.0f, 1.0f, 1.0f};
    float friction = 0.4f;
    float restitution = 0.2f;
    float density = 1.0f;
    /// A sensor reports contacts but never pushes anything.
    bool sensor = false;
};

/// The mass, centre and inertia about the body origin that one box contributes.
struct MassData {
    Mat3 inertia = Diagonal(0.0f);
    Vec3 center;
    float mass = 0.0f;
};

class BoxShape {
public:
    BoxShape(const BoxDef& def, RigidBody* body);

    /// Placement relative to the body.
    const Transform& GetLocalTransform() const { return m_local; }
    /// Half the edge lengths.
    Vec3 GetHalfExtents() const { return m_halfExtents; }
    /// Distance from the centre to a corner: the radius of the sphere around the box.
    float GetRadius() const { return m_radius; }
    float GetFriction() const { return m_friction; }
    float GetRestitution() const { return m_restitution; }
    float GetDensity() const { return m_density; }
    bool IsSensor() const { return m_sensor; }
    /// The body the box is fixed to.
    RigidBody* GetBody() const { return m_body; }
    /// The next box of the same body (newest first), or null.
    BoxShape* GetNext() const { return m_next; }
    /// Index of the box's leaf in the broad-phase tree.
    int GetProxy() const { return m_proxy; }
    void* GetUserData() const { return m_userData; }
    void SetUserData(void* data) { m_userData = data; }

    /// The world bounding box of the eight corners with the body at `bodyTransform`.
    Aabb ComputeAabb(const Transform& bodyTransform) const;
    /// Mass and inertia of the solid box about the body origin.
    MassData ComputeMass() const;

private:
    friend class RigidBody;
    friend class BroadPhase;

    Transform m_local;
    Vec3 m_halfExtents;
    float m_radius = 0.0f;
    bool m_localIsIdentity = false;
    BoxShape* m_next = nullptr;
    RigidBody* m_body = nullptr;
    float m_friction = 0.0f;
    float m_restitution = 0.0f;
    float m_density = 0.0f;
    int m_proxy = -1;
    void* m_userData = nullptr;
    bool m_sensor = false;
};

}  // namespace Physics
