// Scenes shared by the physics suites: the cube rain of the cube-physics effect, a pile of boxes
// dropped in columns onto a static ground, and a hash of every body transform.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "physics/physicsScene.h"

namespace PhysicsTest {

using Physics::BodyDef;
using Physics::BodyType;
using Physics::BoxDef;
using Physics::PhysicsScene;
using Physics::RigidBody;
using Physics::Transform;
using Physics::Vec3;

constexpr float kDt = 1.0f / 60.0f;
constexpr float kGravity = -9.8f;
constexpr float kPi = 3.14159265f;

/// The effect's random numbers: a 32-bit linear congruential generator mapped to [0, 1].
class Random {
public:
    explicit Random(uint32_t seed) : m_state(seed) {}
    float Next() {
        m_state = m_state * 1103515245u + 12345u;
        return float(m_state % 65535u) / 65535.0f;
    }

private:
    uint32_t m_state;
};

/// FNV-1a over the bytes of values.
class Hash {
public:
    void Add(const void* data, size_t size) {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) m_value = (m_value ^ bytes[i]) * 1099511628211ull;
    }
    void Add(const Transform& t) {
        float values[12] = {t.position.x,    t.position.y,    t.position.z,    t.rotation.ex.x,
                            t.rotation.ex.y, t.rotation.ex.z, t.rotation.ey.x, t.rotation.ey.y,
                            t.rotation.ey.z, t.rotation.ez.x, t.rotation.ez.y, t.rotation.ez.z};
        Add(values, sizeof values);
    }
    uint64_t Value() const { return m_value; }

private:
    uint64_t m_value = 1469598103934665603ull;
};

inline BoxDef UnitBox(float friction = 0.4f, float restitution = 0.0f) {
    BoxDef box;
    box.extents = {1.0f, 1.0f, 1.0f};
    box.friction = friction;
    box.restitution = restitution;
    box.density = 1.0f;
    return box;
}

/// A static ground whose top face is the plane y = 0.
inline RigidBody* AddGround(PhysicsScene& scene, float size = 200.0f) {
    BodyDef def;
    def.position = {0.0f, -0.5f, 0.0f};
    RigidBody* ground = scene.CreateBody(def);
    BoxDef box;
    box.extents = {size, 1.0f, size};
    box.friction = 0.4f;
    box.restitution = 0.0f;
    ground->AddBox(box);
    return ground;
}

/// The cube rain: unit cubes appear below a ceiling with random spin and drift, fall, and start again
/// from the ceiling once below the floor. No ground: the cubes only meet each other.
class Rain {
public:
    static constexpr float kCeiling = 10.0f;
    static constexpr float kFloor = -10.0f;
    static constexpr float kHeightRange = -10.0f;

    Rain(PhysicsScene& scene, int count, uint32_t seed = 0) : m_scene(scene), m_random(seed) {
        for (int i = 0; i < count; ++i) {
            BodyDef def = Dynamic();
            def.position.z = m_random.Next() * 20.0f - 10.0f;
            def.position.y = kCeiling + m_random.Next() * kHeightRange;
            def.position.x = m_random.Next() * 20.0f - 10.0f;
            Spin(def);
            m_bodies.push_back(Create(def));
        }
    }

    /// Drops the cubes below the floor again from the ceiling, then steps the scene.
    void Step() {
        for (RigidBody*& body : m_bodies) {
            if (body->GetTransform().position.y >= kFloor) continue;
            m_scene.RemoveBody(body);
            BodyDef def = Dynamic();
            def.position.z = m_random.Next() * 20.0f - 10.0f;
            def.position.x = m_random.Next() * 20.0f - 10.0f;
            def.position.y = kCeiling;
            Spin(def);
            body = Create(def);
        }
        m_scene.Step();
    }

    const std::vector<RigidBody*>& Bodies() const { return m_bodies; }

private:
    static BodyDef Dynamic() {
        BodyDef def;
        def.type = BodyType::Dynamic;
        def.axis = {0.0f, 1.0f, 0.0f};
        return def;
    }
    void Spin(BodyDef& def) {
        def.angle = m_random.Next() * 2.0f * kPi - kPi;
        def.angularVelocity.z = m_random.Next() * 2.0f - 1.0f;
        def.angularVelocity.y = m_random.Next() * 2.0f - 1.0f;
        def.angularVelocity.x = m_random.Next() * 2.0f - 1.0f;
        def.linearVelocity.z = m_random.Next() * 2.0f - 1.0f;
        def.linearVelocity.y = m_random.Next() * 2.0f - 1.0f;
        def.linearVelocity.x = m_random.Next() * 2.0f - 1.0f;
    }
    RigidBody* Create(const BodyDef& def) {
        RigidBody* body = m_scene.CreateBody(def);
        body->AddBox(UnitBox());
        return body;
    }

    PhysicsScene& m_scene;
    Random m_random;
    std::vector<RigidBody*> m_bodies;
};

/// Unit cubes in a square grid of columns `spacing` apart, `layers` high, each turned by up to
/// `maxAngle` radians about a random axis, above a static ground.
inline std::vector<RigidBody*> AddColumns(PhysicsScene& scene, int side, int layers, float spacing = 2.0f,
                                          float maxAngle = kPi, uint32_t seed = 1) {
    Random random(seed);
    std::vector<RigidBody*> bodies;
    for (int layer = 0; layer < layers; ++layer) {
        for (int i = 0; i < side; ++i) {
            for (int k = 0; k < side; ++k) {
                BodyDef def;
                def.type = BodyType::Dynamic;
                def.position = {(float(i) - 0.5f * float(side - 1)) * spacing, 1.0f + spacing * float(layer),
                                (float(k) - 0.5f * float(side - 1)) * spacing};
                def.axis = {random.Next() - 0.5f, random.Next() - 0.5f, random.Next() - 0.5f};
                def.angle = (random.Next() * 2.0f - 1.0f) * maxAngle;
                RigidBody* body = scene.CreateBody(def);
                body->AddBox(UnitBox());
                bodies.push_back(body);
            }
        }
    }
    return bodies;
}

}  // namespace PhysicsTest
