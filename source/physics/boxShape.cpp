#include "physics/boxShape.h"

namespace Physics {

namespace {
bool IsIdentity(const Transform& t) {
    const Mat3 identity;
    for (int c = 0; c < 3; ++c) {
        const Vec3 column = t.rotation.Column(c);
        const Vec3 expected = identity.Column(c);
        if (column.x != expected.x || column.y != expected.y || column.z != expected.z) return false;
    }
    return t.position.x == 0.0f && t.position.y == 0.0f && t.position.z == 0.0f;
}
}  // namespace

BoxShape::BoxShape(const BoxDef& def, RigidBody* body)
    : m_local(def.local),
      m_halfExtents(def.extents * 0.5f),
      m_radius(Length(m_halfExtents)),
      m_localIsIdentity(IsIdentity(def.local)),
      m_body(body),
      m_friction(def.friction),
      m_restitution(def.restitution),
      m_density(def.density),
      m_sensor(def.sensor) {}

Aabb BoxShape::ComputeAabb(const Transform& bodyTransform) const {
    // A box at the body's origin, unturned, is placed by the body's transform alone: the product with
    // the identity differs from it at most in the sign of a zero, which the box below drops.
    const Transform world = m_localIsIdentity ? bodyTransform : Mul(bodyTransform, m_local);
    const Mat3& r = world.rotation;
    // Each corner is R·(±ex, ±ey, ±ez) + p, summed in that order. A rounded sum never falls when a
    // term grows, so the lowest corner on each axis takes every term at its lowest, -|term|, and the
    // highest every term at its highest: the same numbers as the least and greatest of the eight
    // corners, found without them.
    const Vec3 reach =
        Abs(r.ex * m_halfExtents.x) + Abs(r.ey * m_halfExtents.y) + Abs(r.ez * m_halfExtents.z);
    return {world.position - reach, reach + world.position};
}

MassData BoxShape::ComputeMass() const {
    Vec3 e = m_halfExtents;
    float ex2 = 4.0f * e.x * e.x;
    float ey2 = 4.0f * e.y * e.y;
    float ez2 = 4.0f * e.z * e.z;
    float mass = 8.0f * e.x * e.y * e.z * m_density;
    float x = mass / 12.0f * (ey2 + ez2);
    float y = mass / 12.0f * (ex2 + ez2);
    float z = mass / 12.0f * (ex2 + ey2);
    Mat3 inertia = Diagonal(x, y, z);

    // Into body space, then about the body origin (parallel axes).
    const Mat3& r = m_local.rotation;
    inertia = Mul(Mul(r, inertia), Transpose(r));
    Vec3 p = m_local.position;
    inertia = inertia + (Diagonal(Dot(p, p)) - OuterProduct(p, p)) * mass;

    MassData data;
    data.inertia = inertia;
    data.center = p;
    data.mass = mass;
    return data;
}

}  // namespace Physics
