// Sections: creation | boxes and mass | sleep
#include "physics/rigidBody.h"

#include <cmath>

#include "physics/physicsScene.h"
#include "system/log.h"

namespace Physics {

namespace {
// A box with impossible numbers would poison the tree and the solver; it becomes the nearest sane box.
BoxDef SaneBoxDef(const BoxDef& def) {
    BoxDef sane = def;
    bool bad = false;
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(sane.extents[i]) || sane.extents[i] < 0.0f) {
            sane.extents[i] = std::isfinite(sane.extents[i]) ? -sane.extents[i] : 0.0f;
            bad = true;
        }
    }
    auto fix = [&bad](float& value) {
        if (!std::isfinite(value) || value < 0.0f) {
            value = 0.0f;
            bad = true;
        }
    };
    fix(sane.density);
    fix(sane.friction);
    fix(sane.restitution);
    if (!IsFinite(sane.local.position) || !IsFinite(sane.local.rotation)) {
        sane.local = Transform{};
        bad = true;
    }
    if (bad) {
        VLOG("Physics::RigidBody::AddBox",
             "Box with invalid extents, density, friction, restitution or placement; using %g x %g x %g, "
             "density %g, friction %g, restitution %g",
             sane.extents.x, sane.extents.y, sane.extents.z, sane.density, sane.friction, sane.restitution);
    }
    return sane;
}
}  // namespace

// ------------------------------------------------------------------------------------------ creation

RigidBody::RigidBody(const BodyDef& def, PhysicsScene* scene)
    : m_linearVelocity(def.linearVelocity),
      m_angularVelocity(def.angularVelocity),
      m_gravityScale(def.gravityScale),
      m_layers(def.layers),
      m_userData(def.userData),
      m_scene(scene) {
    m_orientation = Quaternion::FromAxisAngle(Normalize(def.axis), def.angle);
    m_transform.rotation = m_orientation.ToMat3();
    m_transform.position = def.position;
    m_worldCenter = def.position;

    switch (def.type) {
        case BodyType::Dynamic:
            m_flags |= kDynamic;
            break;
        case BodyType::Kinematic:
            m_flags |= kKinematic;
            break;
        case BodyType::Static:
        default:
            m_flags |= kStatic;
            m_linearVelocity = Vec3{};
            m_angularVelocity = Vec3{};
            break;
    }
    if (def.allowSleep) m_flags |= kAllowSleep;
    if (def.awake) m_flags |= kAwake;
    if (def.active) m_flags |= kActive;
    if (def.lockAxisX) m_flags |= kLockAxisX;
    if (def.lockAxisY) m_flags |= kLockAxisY;
    if (def.lockAxisZ) m_flags |= kLockAxisZ;
}

// ------------------------------------------------------------------------------------ boxes and mass

BoxShape* RigidBody::AddBox(const BoxDef& def) {
    BoxShape* box = m_scene->m_boxPool.Create(SaneBoxDef(def), this);
    if (box->m_density != 0.0f) {
        // A box too big or too dense for a float would turn the whole body, and everything it
        // touches, into numbers that are not finite; it keeps its shape but adds no mass.
        const MassData data = box->ComputeMass();
        if (!std::isfinite(data.mass) || !IsFinite(data.inertia)) {
            VLOG("Physics::RigidBody::AddBox",
                 "Box of %g x %g x %g at density %g has a mass beyond a float; it adds no mass",
                 double(def.extents.x), double(def.extents.y), double(def.extents.z), double(box->m_density));
            box->m_density = 0.0f;
        }
    }
    box->m_next = m_boxes;
    m_boxes = box;
    CalculateMassData();
    m_scene->m_contactManager.GetBroadPhase().InsertBox(box, box->ComputeAabb(m_transform));
    m_scene->m_newBox = true;
    return box;
}

void RigidBody::CalculateMassData() {
    Mat3 inertia = Diagonal(0.0f);
    m_invInertiaModel = Diagonal(0.0f);
    m_invInertiaWorld = Diagonal(0.0f);
    m_invMass = 0.0f;
    m_mass = 0.0f;

    if (m_flags & (kStatic | kKinematic)) {
        m_localCenter = Vec3{};
        m_worldCenter = m_transform.position;
        return;
    }

    float mass = 0.0f;
    Vec3 center;
    for (BoxShape* box = m_boxes; box; box = box->m_next) {
        if (box->m_density == 0.0f) continue;
        MassData data = box->ComputeMass();
        mass += data.mass;
        inertia = inertia + data.inertia;
        center += data.center * data.mass;
    }

    if (!std::isfinite(mass) || !IsFinite(inertia) || !IsFinite(center)) {
        // Boxes that are each within a float may still add up beyond one.
        VLOG("Physics::RigidBody::CalculateMassData",
             "The boxes' total mass is beyond a float; the body moves as if it weighed one unit");
        mass = 0.0f;
    }
    if (mass > 0.0f) {
        m_mass = mass;
        m_invMass = 1.0f / mass;
        center *= m_invMass;
        // Back from the body origin to the centre of mass.
        inertia = inertia - (Diagonal(Dot(center, center)) - OuterProduct(center, center)) * mass;
        m_invInertiaModel = Inverse(inertia);
        if (!IsFinite(m_invInertiaModel)) {
            VLOG("Physics::RigidBody::CalculateMassData",
                 "The body's inertia cannot be inverted within a float; contacts will not turn it");
            m_invInertiaModel = Diagonal(0.0f);
        }
        for (int axis = 0; axis < 3; ++axis) {
            if (m_flags & (kLockAxisX << axis)) {
                m_invInertiaModel.ex[axis] = 0.0f;
                m_invInertiaModel.ey[axis] = 0.0f;
                m_invInertiaModel.ez[axis] = 0.0f;
            }
        }
    } else {
        // A massless dynamic body still moves: it weighs one unit and no contact can turn it.
        m_mass = 1.0f;
        m_invMass = 1.0f;
        center = Vec3{};
    }

    m_localCenter = center;
    m_worldCenter = Mul(m_transform, center);
    // Contacts of the body's first step already need the world inertia.
    const Mat3& r = m_transform.rotation;
    m_invInertiaWorld = Mul(Mul(r, m_invInertiaModel), Transpose(r));
}

void RigidBody::SynchronizeProxies() {
    BroadPhase& broadPhase = m_scene->m_contactManager.GetBroadPhase();
    for (BoxShape* box = m_boxes; box; box = box->m_next) {
        broadPhase.Update(box->m_proxy, box->ComputeAabb(m_transform));
    }
}

// --------------------------------------------------------------------------------------------- sleep

void RigidBody::SetToAwake() {
    if (!(m_flags & kAwake)) {
        m_flags |= kAwake;
        m_sleepTime = 0.0f;
    }
}

void RigidBody::SetToSleep() {
    m_flags &= ~kAwake;
    m_sleepTime = 0.0f;
    m_linearVelocity = Vec3{};
    m_angularVelocity = Vec3{};
    m_force = Vec3{};
    m_torque = Vec3{};
}

}  // namespace Physics
