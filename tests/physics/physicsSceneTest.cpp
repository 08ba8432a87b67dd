#include "physics/physicsScene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "physicsScenes.h"

namespace {

using namespace PhysicsTest;
using Physics::ContactConstraint;

float Speed(const RigidBody* body) {
    return Physics::Length(body->GetLinearVelocity());
}
float ContactSolverSlop() {
    return Physics::ContactSolver::kPenetrationSlop;
}

TEST(PhysicsScene, SteppingAnEmptySceneDoesNothing) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    for (int i = 0; i < 10; ++i) scene.Step();
    EXPECT_EQ(scene.GetBodyCount(), 0);
    EXPECT_EQ(scene.GetBodyList(), nullptr);
    EXPECT_EQ(scene.GetContactManager().GetContactCount(), 0);
    EXPECT_EQ(scene.GetContactManager().GetBroadPhase().GetTree().NodeCount(), 0);
}

TEST(PhysicsScene, FreeFallFollowsGravityAndGravityScale) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    BodyDef def;
    def.type = BodyType::Dynamic;
    RigidBody* full = scene.CreateBody(def);
    full->AddBox(UnitBox());
    def.position.x = 5.0f;
    def.gravityScale = 0.5f;
    RigidBody* half = scene.CreateBody(def);
    half->AddBox(UnitBox());
    for (int i = 0; i < 60; ++i) scene.Step();
    EXPECT_NEAR(full->GetLinearVelocity().y, kGravity, 1e-4f);
    EXPECT_NEAR(half->GetLinearVelocity().y, 0.5f * kGravity, 1e-4f);
    // Semi-implicit Euler: y = g dt² n(n+1)/2.
    EXPECT_NEAR(full->GetTransform().position.y, kGravity * kDt * kDt * 60.0f * 61.0f / 2.0f, 1e-3f);
}

TEST(PhysicsScene, BoxRestingOnGroundSleepsWithExactlyZeroVelocities) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddGround(scene);
    BodyDef def;
    def.type = BodyType::Dynamic;
    def.position = {0.0f, 0.52f, 0.0f};
    RigidBody* box = scene.CreateBody(def);
    box->AddBox(UnitBox());

    int asleepAt = -1;
    for (int i = 0; i < 300 && asleepAt < 0; ++i) {
        scene.Step();
        if (!box->IsAwake()) asleepAt = i;
    }
    ASSERT_GE(asleepAt, 0) << "never slept";
    // Resting needs more than half a second below both thresholds.
    EXPECT_GT(float(asleepAt + 1) * kDt, 0.5f);
    EXPECT_EQ(box->GetLinearVelocity().x, 0.0f);
    EXPECT_EQ(box->GetLinearVelocity().y, 0.0f);
    EXPECT_EQ(box->GetLinearVelocity().z, 0.0f);
    EXPECT_EQ(box->GetAngularVelocity().x, 0.0f);
    EXPECT_EQ(box->GetAngularVelocity().y, 0.0f);
    EXPECT_EQ(box->GetAngularVelocity().z, 0.0f);
    EXPECT_EQ(box->GetSleepTime(), 0.0f);

    // Asleep, it stays exactly where it is.
    const Transform rest = box->GetTransform();
    for (int i = 0; i < 30; ++i) scene.Step();
    EXPECT_FALSE(box->IsAwake());
    EXPECT_EQ(box->GetTransform().position.y, rest.position.y);
    EXPECT_NEAR(rest.position.y, 0.5f, 0.06f);
}

TEST(PhysicsScene, BodiesThatMayNotSleepStayAwake) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddGround(scene);
    BodyDef def;
    def.type = BodyType::Dynamic;
    def.position = {0.0f, 0.5f, 0.0f};
    def.allowSleep = false;
    RigidBody* box = scene.CreateBody(def);
    box->AddBox(UnitBox());
    for (int i = 0; i < 120; ++i) scene.Step();
    EXPECT_TRUE(box->IsAwake());
}

TEST(PhysicsScene, FallingBodyWakesASleepingOne) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddGround(scene);
    BodyDef def;
    def.type = BodyType::Dynamic;
    def.position = {0.0f, 0.5f, 0.0f};
    RigidBody* lower = scene.CreateBody(def);
    lower->AddBox(UnitBox());
    for (int i = 0; i < 60; ++i) scene.Step();
    ASSERT_FALSE(lower->IsAwake());
    def.position = {0.2f, 3.0f, 0.0f};
    RigidBody* upper = scene.CreateBody(def);
    upper->AddBox(UnitBox());
    bool woke = false;
    for (int i = 0; i < 60; ++i) {
        scene.Step();
        woke = woke || lower->IsAwake();
    }
    EXPECT_TRUE(woke);
    EXPECT_GT(upper->GetTransform().position.y, 1.3f) << "landed on the lower box";
}

TEST(PhysicsScene, SensorBoxNeverJoinsAnIsland) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddGround(scene);
    BodyDef def;
    def.type = BodyType::Dynamic;
    def.position = {0.0f, 0.6f, 0.0f};
    RigidBody* sensor = scene.CreateBody(def);
    BoxDef box = UnitBox();
    box.sensor = true;
    sensor->AddBox(box);

    for (int i = 1; i <= 30; ++i) {
        scene.Step();
        // Nothing pushes it: exact free fall.
        EXPECT_NEAR(sensor->GetLinearVelocity().y, kGravity * kDt * float(i), 1e-4f);
        const ContactConstraint* c = scene.GetContactManager().GetContactList();
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(c->sensor);
        EXPECT_EQ(c->flags & ContactConstraint::kIsland, 0u);
    }
    EXPECT_LT(sensor->GetTransform().position.y, 0.0f) << "fell through the ground";
}

TEST(PhysicsScene, StackOfTenBoxesStandsAndSleepsWithinTenSeconds) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddGround(scene);
    std::vector<RigidBody*> stack;
    // Set down with a centimetre between boxes, as a stack is built.
    for (int i = 0; i < 10; ++i) {
        BodyDef def;
        def.type = BodyType::Dynamic;
        def.position = {0.0f, 0.51f + 1.01f * float(i), 0.0f};
        RigidBody* body = scene.CreateBody(def);
        body->AddBox(UnitBox());
        stack.push_back(body);
    }
    int step = 0;
    auto asleep = [&stack] {
        for (RigidBody* body : stack) {
            if (body->IsAwake()) return false;
        }
        return true;
    };
    while (step < 600 && !asleep()) {
        scene.Step();
        ++step;
    }
    EXPECT_TRUE(asleep()) << "still awake after 10 s";
    for (int i = 0; i < 10; ++i) {
        const Vec3 p = stack[i]->GetTransform().position;
        // Each contact may sink by up to the tolerated overlap.
        EXPECT_NEAR(p.y, 0.5f + float(i), 0.05f * float(i + 1)) << "box " << i;
        EXPECT_NEAR(p.x, 0.0f, 0.05f);
        EXPECT_NEAR(p.z, 0.0f, 0.05f);
    }
}

TEST(PhysicsScene, PileOfThousandBoxesComesToRestAboveTheGround) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddGround(scene);
    // Columns of randomly turned cubes two metres apart: they land on each other and tumble into a heap.
    std::vector<RigidBody*> boxes = AddColumns(scene, 10, 10);
    ASSERT_EQ(boxes.size(), 1000u);
    float top = 0.0f;
    for (RigidBody* body : boxes) top = std::max(top, body->GetTransform().position.y);
    const float fallSpeed = std::sqrt(2.0f * -kGravity * top);

    float fastest = 0.0f;
    float lowest = 1e9f;
    int awake = 0;
    for (int step = 0; step < 1200; ++step) {
        scene.Step();
        awake = 0;
        for (RigidBody* body : boxes) {
            fastest = std::max(fastest, Speed(body));
            lowest = std::min(lowest, body->GetTransform().position.y);
            awake += body->IsAwake() ? 1 : 0;
        }
        if (awake == 0) break;
    }
    EXPECT_EQ(awake, 0) << "boxes still moving after 20 s";
    EXPECT_LE(fastest, fallSpeed);
    // Landing at speed may push a cube in for a step, never through.
    EXPECT_GT(lowest, 0.25f);
    // At rest a cube's centre lies half an edge above the ground, less the tolerated overlap.
    float restingLowest = 1e9f;
    for (RigidBody* body : boxes) restingLowest = std::min(restingLowest, body->GetTransform().position.y);
    EXPECT_GT(restingLowest, 0.5f - ContactSolverSlop());
}

TEST(PhysicsScene, RemovingABodyBeforeItsFirstStepLeavesNoTrace) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddGround(scene);
    BodyDef def;
    def.type = BodyType::Dynamic;
    def.position = {0.0f, 0.4f, 0.0f};
    RigidBody* gone = scene.CreateBody(def);
    gone->AddBox(UnitBox());
    scene.RemoveBody(gone);
    // The next body takes the freed tree node; only its own pair may be made.
    def.position = {3.0f, 0.4f, 0.0f};
    RigidBody* kept = scene.CreateBody(def);
    kept->AddBox(UnitBox());
    scene.Step();
    ASSERT_EQ(scene.GetContactManager().GetContactCount(), 1);
    EXPECT_EQ(scene.GetContactManager().GetContactList()->bodyB, kept);
    EXPECT_EQ(scene.GetBodyCount(), 2);
}

TEST(PhysicsScene, MotionBeyondAFloatStopsTheBodyWhereItWasLastFinite) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    BodyDef def;
    def.type = BodyType::Dynamic;
    def.position = {2.0f, 3.0f, 4.0f};
    def.gravityScale = 1e38f;  // its weight overflows to infinity on the first step
    RigidBody* runaway = scene.CreateBody(def);
    runaway->AddBox(UnitBox());
    def.position = {20.0f, 3.0f, 4.0f};
    def.gravityScale = 1.0f;
    RigidBody* normal = scene.CreateBody(def);
    normal->AddBox(UnitBox());

    testing::internal::CaptureStderr();
    for (int i = 0; i < 30; ++i) scene.Step();
    const std::string log = testing::internal::GetCapturedStderr();
    size_t messages = 0;
    for (size_t at = log.find("beyond what a float holds"); at != std::string::npos;
         at = log.find("beyond what a float holds", at + 1)) {
        ++messages;
    }
    EXPECT_EQ(messages, 1u) << "once per body, not every step:\n" << log;
    EXPECT_EQ(runaway->GetTransform().position.x, 2.0f);
    EXPECT_EQ(runaway->GetTransform().position.y, 3.0f);
    EXPECT_EQ(Speed(runaway), 0.0f);
    EXPECT_TRUE(Physics::IsFinite(runaway->GetTransform().rotation));
    EXPECT_NEAR(normal->GetLinearVelocity().y, kGravity * 0.5f, 1e-4f) << "its neighbour falls as usual";
}

// Two overlapping cubes rushing at each other near the largest float: their relative speed overflows,
// the first step's impulses are not finite and both bodies are stopped. Once they are finite again the
// pair must start afresh (and push apart), not warm-start with the bad impulses and stop again.
TEST(PhysicsScene, APairWhoseImpulsesWentBeyondAFloatRecoversOnceItsBodiesAreFinite) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    BodyDef def;
    def.type = BodyType::Dynamic;
    def.position = {0.0f, 0.0f, 0.0f};
    def.linearVelocity = {3e38f, 0.0f, 0.0f};
    RigidBody* left = scene.CreateBody(def);
    left->AddBox(UnitBox());
    def.position = {0.8f, 0.0f, 0.0f};
    def.linearVelocity = {-3e38f, 0.0f, 0.0f};
    RigidBody* right = scene.CreateBody(def);
    right->AddBox(UnitBox());

    testing::internal::CaptureStderr();
    scene.Step();
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_NE(log.find("beyond what a float holds"), std::string::npos) << "the scene must overflow:\n"
                                                                        << log;
    ASSERT_EQ(Speed(left), 0.0f);

    auto impulsesFinite = [&scene] {
        for (auto* c = scene.GetContactManager().GetContactList(); c; c = c->next) {
            for (int i = 0; i < c->manifold.contactCount; ++i) {
                const Physics::Contact& p = c->manifold.contacts[i];
                if (!std::isfinite(p.normalImpulse) || !std::isfinite(p.tangentImpulse[0]) ||
                    !std::isfinite(p.tangentImpulse[1])) {
                    return false;
                }
            }
        }
        return true;
    };
    EXPECT_TRUE(impulsesFinite());
    testing::internal::CaptureStderr();
    for (int i = 0; i < 60; ++i) {
        scene.Step();
        EXPECT_TRUE(impulsesFinite()) << "step " << i;
    }
    testing::internal::GetCapturedStderr();
    // Pushed apart and falling, rather than held where they were stopped.
    EXPECT_GT(right->GetTransform().position.x - left->GetTransform().position.x, 1.0f);
    EXPECT_LT(left->GetTransform().position.y, -1.0f);
    EXPECT_TRUE(Physics::IsFinite(left->GetLinearVelocity()));
    EXPECT_TRUE(Physics::IsFinite(right->GetLinearVelocity()));
}

uint64_t RainHash(int bodies, int steps) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    Rain rain(scene, bodies);
    Hash hash;
    for (int step = 0; step < steps; ++step) {
        rain.Step();
        for (RigidBody* body : rain.Bodies()) hash.Add(body->GetTransform());
    }
    return hash.Value();
}

// Any change to the simulation's arithmetic changes this value; update it only on purpose, after
// checking that the new results are right.
constexpr uint64_t kRainHash = 0xaed01182f8afcbc5ull;

TEST(PhysicsScene, RainOfThreeHundredBoxesGivesTheSameBitsEveryRun) {
    const uint64_t first = RainHash(300, 600);
    EXPECT_EQ(first, RainHash(300, 600)) << "two runs in one process differ";
    EXPECT_EQ(first, kRainHash) << std::hex << "hash 0x" << first;
}

// Columns close enough to tumble into one heap: every body touches several others, so the solver
// meets long chains of constraints that share bodies, in every order the island search gives.
uint64_t PileHash(int steps) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddGround(scene);
    const std::vector<RigidBody*> boxes = AddColumns(scene, 6, 6, 1.25f);
    Hash hash;
    for (int step = 0; step < steps; ++step) {
        scene.Step();
        for (RigidBody* body : boxes) hash.Add(body->GetTransform());
    }
    return hash.Value();
}

constexpr uint64_t kPileHash = 0x71fc7e43c2881c6dull;

TEST(PhysicsScene, HeapOfTwoHundredBoxesGivesTheSameBitsEveryRun) {
    const uint64_t first = PileHash(300);
    EXPECT_EQ(first, PileHash(300)) << "two runs in one process differ";
    EXPECT_EQ(first, kPileHash) << std::hex << "hash 0x" << first;
}

}  // namespace
