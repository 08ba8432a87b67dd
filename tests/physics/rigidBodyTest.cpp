#include "physics/rigidBody.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "physics/physicsScene.h"
#include "physicsScenes.h"

namespace {

using namespace PhysicsTest;
using Physics::Mat3;

RigidBody* DynamicBody(PhysicsScene& scene, BodyDef def = {}) {
    def.type = BodyType::Dynamic;
    return scene.CreateBody(def);
}

TEST(RigidBody, MassDataOfOneBoxIsItsSolidInertia) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    RigidBody* body = DynamicBody(scene);
    BoxDef box;
    box.extents = {1.0f, 2.0f, 3.0f};
    box.density = 2.0f;
    body->AddBox(box);
    EXPECT_FLOAT_EQ(body->GetMass(), 12.0f);
    EXPECT_FLOAT_EQ(body->GetInverseMass(), 1.0f / 12.0f);
    const Mat3& inv = body->GetInverseInertiaModel();
    EXPECT_FLOAT_EQ(inv.At(0, 0), 1.0f / (12.0f / 12.0f * (4.0f + 9.0f)));
    EXPECT_FLOAT_EQ(inv.At(1, 1), 1.0f / (12.0f / 12.0f * (1.0f + 9.0f)));
    EXPECT_FLOAT_EQ(inv.At(2, 2), 1.0f / (12.0f / 12.0f * (1.0f + 4.0f)));
    EXPECT_NEAR(inv.At(0, 1), 0.0f, 1e-7f);
}

TEST(RigidBody, CentreOfMassIsTheMassWeightedMeanOfBoxPositions) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    BodyDef def;
    def.position = {10.0f, 0.0f, 0.0f};
    RigidBody* body = DynamicBody(scene, def);
    BoxDef left = UnitBox();
    left.local.position = {-1.0f, 0.0f, 0.0f};
    BoxDef right = UnitBox();
    right.local.position = {2.0f, 0.0f, 0.0f};
    right.density = 2.0f;
    body->AddBox(left);
    body->AddBox(right);
    EXPECT_FLOAT_EQ(body->GetMass(), 3.0f);
    EXPECT_FLOAT_EQ(body->GetLocalCenter().x, 1.0f);
    EXPECT_FLOAT_EQ(body->GetWorldCenter().x, 11.0f);
    // Two cubes 3 apart about their common centre: the y and z inertia gain m·d² per cube.
    float iy = 3.0f * (1.0f / 6.0f) + 1.0f * 4.0f + 2.0f * 1.0f;
    EXPECT_NEAR(body->GetInverseInertiaModel().At(1, 1), 1.0f / iy, 1e-6f);
    EXPECT_NEAR(body->GetInverseInertiaModel().At(0, 0), 1.0f / (3.0f / 6.0f), 1e-6f);
    EXPECT_EQ(body->GetBoxList()->GetDensity(), 2.0f) << "newest box first";
}

TEST(RigidBody, LockedAxesZeroTheirInverseInertiaRows) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    BodyDef def;
    def.lockAxisX = true;
    def.lockAxisZ = true;
    RigidBody* body = DynamicBody(scene, def);
    BoxDef box = UnitBox();
    box.local.rotation = Physics::Quaternion::FromAxisAngle(Physics::Normalize(Vec3{1, 1, 0}), 0.5f).ToMat3();
    box.extents = {1.0f, 2.0f, 3.0f};
    body->AddBox(box);
    const Mat3& inv = body->GetInverseInertiaModel();
    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(inv.At(0, column), 0.0f);
        EXPECT_EQ(inv.At(2, column), 0.0f);
    }
    EXPECT_GT(inv.At(1, 1), 0.0f);
    EXPECT_NE(inv.At(1, 0), 0.0f) << "the tilted box couples the free row with the others";
}

TEST(RigidBody, StaticAndKinematicBodiesHaveNoMass) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    BodyDef def;
    def.position = {1.0f, 2.0f, 3.0f};
    def.linearVelocity = {5.0f, 0.0f, 0.0f};
    RigidBody* ground = scene.CreateBody(def);
    ground->AddBox(UnitBox());
    EXPECT_EQ(ground->GetInverseMass(), 0.0f);
    EXPECT_EQ(ground->GetLinearVelocity().x, 0.0f) << "a static body does not move";
    EXPECT_EQ(ground->GetWorldCenter().y, 2.0f);
    def.type = BodyType::Kinematic;
    RigidBody* mover = scene.CreateBody(def);
    mover->AddBox(UnitBox());
    EXPECT_EQ(mover->GetInverseMass(), 0.0f);
    scene.Step();
    EXPECT_FLOAT_EQ(mover->GetTransform().position.x, 1.0f + 5.0f * kDt)
        << "kinematic: moves, ignores gravity";
    EXPECT_EQ(mover->GetTransform().position.y, 2.0f);
}

TEST(RigidBody, MasslessBodyFallsButContactsDoNotTurnIt) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddGround(scene);
    BodyDef def;
    def.position = {0.0f, 2.0f, 0.0f};
    def.axis = {0.3f, 0.0f, 1.0f};
    def.angle = 0.5f;
    RigidBody* body = DynamicBody(scene, def);
    BoxDef box = UnitBox();
    box.density = 0.0f;
    body->AddBox(box);
    EXPECT_EQ(body->GetInverseMass(), 1.0f);
    const Mat3& inv = body->GetInverseInertiaModel();
    for (int c = 0; c < 3; ++c) EXPECT_EQ(Physics::Length(inv.Column(c)), 0.0f);

    const Physics::Mat3 start = body->GetTransform().rotation;
    float lowest = 2.0f;
    for (int i = 0; i < 120; ++i) {
        scene.Step();
        lowest = std::min(lowest, body->GetTransform().position.y);
        EXPECT_EQ(body->GetAngularVelocity().x, 0.0f);
        EXPECT_EQ(body->GetAngularVelocity().y, 0.0f);
        EXPECT_EQ(body->GetAngularVelocity().z, 0.0f);
    }
    EXPECT_LT(lowest, 1.2f) << "it fell onto the ground, landing on a corner";
    EXPECT_GT(scene.GetContactManager().GetContactCount(), 0);
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(body->GetTransform().rotation.At(r, c), start.At(r, c), 1e-6f);
    }
}

TEST(RigidBody, OrientationComesFromTheNormalisedAxis) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    BodyDef def;
    def.axis = {0.0f, 0.0f, 5.0f};
    def.angle = kPi / 2.0f;
    RigidBody* body = scene.CreateBody(def);
    const Mat3& r = body->GetTransform().rotation;
    // A quarter turn about z takes x to y.
    EXPECT_NEAR(r.ex.y, 1.0f, 1e-6f);
    EXPECT_NEAR(r.ey.x, -1.0f, 1e-6f);
    def.axis = {0.0f, 0.0f, 0.0f};
    RigidBody* still = scene.CreateBody(def);
    EXPECT_EQ(still->GetTransform().rotation.ex.x, 1.0f) << "a zero axis leaves no rotation";
    EXPECT_EQ(scene.GetBodyList(), still) << "newest first";
    EXPECT_EQ(still->GetNext(), body);
}

TEST(RigidBody, ImpossibleBoxNumbersAreLoggedAndMadeSane) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    RigidBody* body = DynamicBody(scene);
    BoxDef box;
    box.extents = {-2.0f, NAN, 1.0f};
    box.density = -1.0f;
    testing::internal::CaptureStderr();
    Physics::BoxShape* shape = body->AddBox(box);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Physics::RigidBody::AddBox"), std::string::npos) << log;
    EXPECT_EQ(shape->GetHalfExtents().x, 1.0f);
    EXPECT_EQ(shape->GetHalfExtents().y, 0.0f);
    EXPECT_EQ(shape->GetDensity(), 0.0f);
    for (int i = 0; i < 10; ++i) scene.Step();
    EXPECT_TRUE(std::isfinite(body->GetTransform().position.y));
}

TEST(RigidBody, BoxTooHeavyForAFloatAddsNoMassAndTheSceneStaysFinite) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    RigidBody* giant = DynamicBody(scene);
    BoxDef huge = UnitBox();
    huge.extents = {1e13f, 1e13f, 1e13f};
    testing::internal::CaptureStderr();
    giant->AddBox(huge);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("mass beyond a float"), std::string::npos) << log;
    EXPECT_EQ(giant->GetMass(), 1.0f) << "a body without mass weighs one unit";
    EXPECT_TRUE(Physics::IsFinite(giant->GetInverseInertiaModel()));

    // Cubes inside and on the giant box meet it in the box-against-box test every step.
    std::vector<RigidBody*> cubes;
    for (int i = 0; i < 5; ++i) {
        BodyDef def;
        def.position = {float(i) * 3.0f, 5e12f + float(i), 0.0f};
        cubes.push_back(DynamicBody(scene, def));
        cubes.back()->AddBox(UnitBox());
    }
    for (int i = 0; i < 120; ++i) scene.Step();
    for (RigidBody* body = scene.GetBodyList(); body; body = body->GetNext()) {
        EXPECT_TRUE(Physics::IsFinite(body->GetTransform().position));
        EXPECT_TRUE(Physics::IsFinite(body->GetTransform().rotation));
        EXPECT_TRUE(Physics::IsFinite(body->GetLinearVelocity()));
    }
}

TEST(RigidBody, MassThatAddsUpBeyondAFloatMovesTheBodyAsOneUnit) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    RigidBody* body = DynamicBody(scene);
    BoxDef dense = UnitBox();
    dense.density = 3e38f;
    body->AddBox(dense);
    EXPECT_EQ(body->GetMass(), 3e38f);
    testing::internal::CaptureStderr();
    body->AddBox(dense);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Physics::RigidBody::CalculateMassData"), std::string::npos) << log;
    EXPECT_EQ(body->GetMass(), 1.0f);
    EXPECT_EQ(body->GetInverseMass(), 1.0f);
    for (int i = 0; i < 10; ++i) scene.Step();
    EXPECT_TRUE(Physics::IsFinite(body->GetTransform().position));
}

}  // namespace
