#include "physics/boxShape.h"

namespace Physics {

BoxShape::BoxShape(const BoxDef& def, RigidBody* body)
    : m_local(def.local),
      m_halfExtents(def.extents * 0.5f),
      m_radius(Length(m_halfExtents)),
      m_body(body),
      m_friction(def.friction),
      m_restitution(def.restitution),
      m_density(def.density),
      m_sensor(def.sensor) {}

Aabb BoxShape::ComputeAabb(const Transform& bodyTransform) const {
    Transform world = Mul(bodyTransform, m_local);
    const Mat3& r = world.rotation;
    // Each corner is R·(±ex, ±ey, ±ez) + p; the three scaled columns are shared by all eight, and
    // negating a product is exact, so this equals transforming every corner.
    Vec3 cx = r.ex * m_halfExtents.x;
    Vec3 cy = r.ey * m_halfExtents.y;
    Vec3 cz = r.ez * m_halfExtents.z;
    Vec3 lo{kMaxFloat, kMaxFloat, kMaxFloat};
    Vec3 hi{-kMaxFloat, -kMaxFloat, -kMaxFloat};
    for (int i = 0; i < 8; ++i) {
        Vec3 ax = (i & 4) ? cx : -cx;
        Vec3 ay = (i & 2) ? cy : -cy;
        Vec3 az = (i & 1) ? cz : -cz;
        Vec3 corner = ax + ay + az + world.position;
        lo = Min(lo, corner);
        hi = Max(hi, corner);
    }
    return {lo, hi};
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
