// Our rigid-body simulator against the reference engine on the same two scenes, with the same time
// step, solver iterations, friction, restitution, damping and sleep thresholds, boxes only:
//   Rain: 300 unit cubes falling with no ground, taken out below a floor and dropped again from a
//         ceiling (the cube-physics effect's scene), 600 steps.
//   Pile: 1000 unit cubes dropped in columns onto a static ground box, 600 steps.
// Each benchmark reports the time per step in its "step" counter.
//
// Sections: scene descriptions | our engine | reference engine | registration
#include <benchmark/benchmark.h>
#include <btBulletDynamicsCommon.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "physics/physicsScene.h"

namespace {

constexpr float kDt = 1.0f / 60.0f;
constexpr float kGravity = -9.8f;
constexpr int kSteps = 600;
constexpr float kPi = 3.14159265f;
constexpr float kFriction = 0.4f;
constexpr float kAngularDamping = 0.1f;

// ------------------------------------------------------------------------------ scene descriptions

/// The effect's random numbers.
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

/// How one cube starts, in terms both engines understand.
struct Start {
    float position[3];
    float axis[3];
    float angle;
    float linear[3];
    float angular[3];
};

/// The rain's generator: a first drop below the ceiling, later drops from the ceiling.
class RainSource {
public:
    static constexpr int kCount = 300;
    static constexpr float kCeiling = 10.0f;
    static constexpr float kFloor = -10.0f;

    Start First() {
        Start s{};
        s.position[2] = m_random.Next() * 20.0f - 10.0f;
        s.position[1] = kCeiling + m_random.Next() * -10.0f;
        s.position[0] = m_random.Next() * 20.0f - 10.0f;
        Spin(s);
        return s;
    }
    Start Again() {
        Start s{};
        s.position[2] = m_random.Next() * 20.0f - 10.0f;
        s.position[0] = m_random.Next() * 20.0f - 10.0f;
        s.position[1] = kCeiling;
        Spin(s);
        return s;
    }

private:
    void Spin(Start& s) {
        s.axis[1] = 1.0f;
        s.angle = m_random.Next() * 2.0f * kPi - kPi;
        s.angular[2] = m_random.Next() * 2.0f - 1.0f;
        s.angular[1] = m_random.Next() * 2.0f - 1.0f;
        s.angular[0] = m_random.Next() * 2.0f - 1.0f;
        s.linear[2] = m_random.Next() * 2.0f - 1.0f;
        s.linear[1] = m_random.Next() * 2.0f - 1.0f;
        s.linear[0] = m_random.Next() * 2.0f - 1.0f;
    }
    Random m_random{0};
};

/// Ten by ten columns, two metres apart, ten cubes high, each cube turned at random.
std::vector<Start> PileStarts() {
    Random random(1);
    std::vector<Start> starts;
    const int side = 10;
    const float spacing = 2.0f;
    for (int layer = 0; layer < 10; ++layer) {
        for (int i = 0; i < side; ++i) {
            for (int k = 0; k < side; ++k) {
                Start s{};
                s.position[0] = (float(i) - 0.5f * float(side - 1)) * spacing;
                s.position[1] = 1.0f + spacing * float(layer);
                s.position[2] = (float(k) - 0.5f * float(side - 1)) * spacing;
                s.axis[0] = random.Next() - 0.5f;
                s.axis[1] = random.Next() - 0.5f;
                s.axis[2] = random.Next() - 0.5f;
                s.angle = (random.Next() * 2.0f - 1.0f) * kPi;
                starts.push_back(s);
            }
        }
    }
    return starts;
}

// ------------------------------------------------------------------------------------- our engine

class OurWorld {
public:
    OurWorld() : m_scene(kDt, {0.0f, kGravity, 0.0f}) {}

    Physics::RigidBody* AddCube(const Start& s) {
        Physics::BodyDef def;
        def.type = Physics::BodyType::Dynamic;
        def.position = {s.position[0], s.position[1], s.position[2]};
        def.axis = {s.axis[0], s.axis[1], s.axis[2]};
        def.angle = s.angle;
        def.linearVelocity = {s.linear[0], s.linear[1], s.linear[2]};
        def.angularVelocity = {s.angular[0], s.angular[1], s.angular[2]};
        Physics::RigidBody* body = m_scene.CreateBody(def);
        Physics::BoxDef box;
        box.friction = kFriction;
        box.restitution = 0.0f;
        box.density = 1.0f;
        body->AddBox(box);
        return body;
    }
    void AddGround() {
        Physics::BodyDef def;
        def.position = {0.0f, -0.5f, 0.0f};
        Physics::BoxDef box;
        box.extents = {200.0f, 1.0f, 200.0f};
        box.friction = kFriction;
        box.restitution = 0.0f;
        m_scene.CreateBody(def)->AddBox(box);
    }
    float Height(Physics::RigidBody* body) const { return body->GetTransform().position.y; }
    void Remove(Physics::RigidBody* body) { m_scene.RemoveBody(body); }
    void Step() { m_scene.Step(); }

private:
    Physics::PhysicsScene m_scene;
};

// ------------------------------------------------------------------------------- reference engine

class ReferenceWorld {
public:
    ReferenceWorld()
        : m_dispatcher(&m_configuration),
          m_world(&m_dispatcher, &m_broadphase, &m_solver, &m_configuration),
          m_cube(btVector3(0.5f, 0.5f, 0.5f)),
          m_groundShape(btVector3(100.0f, 0.5f, 100.0f)) {
        m_world.setGravity(btVector3(0.0f, kGravity, 0.0f));
        m_world.getSolverInfo().m_numIterations = 20;
        // Our sleep rule: half a second below 0.1 m/s and the squared angular threshold.
        gDeactivationTime = 0.5f;
    }
    ~ReferenceWorld() {
        for (int i = m_world.getNumCollisionObjects() - 1; i >= 0; --i) {
            btCollisionObject* object = m_world.getCollisionObjectArray()[i];
            btRigidBody* body = btRigidBody::upcast(object);
            m_world.removeRigidBody(body);
            delete body->getMotionState();
            delete body;
        }
    }

    btRigidBody* AddCube(const Start& s) {
        btVector3 axis(s.axis[0], s.axis[1], s.axis[2]);
        btTransform transform(btQuaternion(axis.normalized(), s.angle),
                              btVector3(s.position[0], s.position[1], s.position[2]));
        btVector3 inertia;
        m_cube.calculateLocalInertia(1.0f, inertia);
        btRigidBody* body = Make(1.0f, &m_cube, transform, inertia);
        body->setLinearVelocity(btVector3(s.linear[0], s.linear[1], s.linear[2]));
        body->setAngularVelocity(btVector3(s.angular[0], s.angular[1], s.angular[2]));
        return body;
    }
    void AddGround() {
        btTransform transform(btQuaternion::getIdentity(), btVector3(0.0f, -0.5f, 0.0f));
        Make(0.0f, &m_groundShape, transform, btVector3(0.0f, 0.0f, 0.0f));
    }
    float Height(btRigidBody* body) const { return body->getWorldTransform().getOrigin().y(); }
    void Remove(btRigidBody* body) {
        m_world.removeRigidBody(body);
        delete body->getMotionState();
        delete body;
    }
    void Step() { m_world.stepSimulation(kDt, 0); }

private:
    btRigidBody* Make(float mass, btCollisionShape* shape, const btTransform& transform, btVector3 inertia) {
        btRigidBody::btRigidBodyConstructionInfo info(mass, new btDefaultMotionState(transform), shape,
                                                      inertia);
        // The reference engine multiplies the two frictions; ours takes their geometric mean.
        info.m_friction = std::sqrt(kFriction);
        info.m_restitution = 0.0f;
        info.m_linearDamping = 0.0f;
        info.m_angularDamping = kAngularDamping;
        info.m_linearSleepingThreshold = 0.1f;
        info.m_angularSleepingThreshold = std::sqrt(0.05235988f);
        btRigidBody* body = new btRigidBody(info);
        m_world.addRigidBody(body);
        return body;
    }

    btDefaultCollisionConfiguration m_configuration;
    btCollisionDispatcher m_dispatcher;
    btDbvtBroadphase m_broadphase;
    btSequentialImpulseConstraintSolver m_solver;
    btDiscreteDynamicsWorld m_world;
    btBoxShape m_cube;
    btBoxShape m_groundShape;
};

// ----------------------------------------------------------------------------------- registration

template <typename World>
void Rain(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto world = std::make_unique<World>();
        RainSource source;
        std::vector<decltype(world->AddCube(Start{}))> bodies;
        for (int i = 0; i < RainSource::kCount; ++i) bodies.push_back(world->AddCube(source.First()));
        state.ResumeTiming();
        for (int step = 0; step < kSteps; ++step) {
            for (auto& body : bodies) {
                if (world->Height(body) >= RainSource::kFloor) continue;
                world->Remove(body);
                body = world->AddCube(source.Again());
            }
            world->Step();
        }
        state.PauseTiming();
        world.reset();
        state.ResumeTiming();
    }
    state.counters["step"] = benchmark::Counter(
        kSteps, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

template <typename World>
void Pile(benchmark::State& state) {
    const std::vector<Start> starts = PileStarts();
    for (auto _ : state) {
        state.PauseTiming();
        auto world = std::make_unique<World>();
        world->AddGround();
        for (const Start& s : starts) world->AddCube(s);
        state.ResumeTiming();
        for (int step = 0; step < kSteps; ++step) world->Step();
        state.PauseTiming();
        world.reset();
        state.ResumeTiming();
    }
    state.counters["step"] = benchmark::Counter(
        kSteps, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(Rain<OurWorld>)->Name("Rain/ours")->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(Rain<ReferenceWorld>)->Name("Rain/reference")->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(Pile<OurWorld>)->Name("Pile/ours")->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(Pile<ReferenceWorld>)->Name("Pile/reference")->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
