#include "physics/contactManager.h"

#include <gtest/gtest.h>

#include <cmath>

#include "physics/physicsScene.h"
#include "physicsScenes.h"

namespace {

using namespace PhysicsTest;
using Physics::ContactConstraint;

RigidBody* AddCube(PhysicsScene& scene, Vec3 position, BodyType type = BodyType::Dynamic,
                   BoxDef box = UnitBox()) {
    BodyDef def;
    def.type = type;
    def.position = position;
    RigidBody* body = scene.CreateBody(def);
    body->AddBox(box);
    return body;
}

TEST(ContactManager, ConstraintGoesCollidingThenWasCollidingThenNeither) {
    PhysicsScene scene(kDt, {0.0f, 0.0f, 0.0f});
    AddCube(scene, {0.0f, 0.0f, 0.0f}, BodyType::Static);
    BodyDef def;
    def.type = BodyType::Dynamic;
    def.position = {0.0f, 0.99f, 0.0f};
    def.linearVelocity = {0.0f, 1.0f, 0.0f};
    scene.CreateBody(def)->AddBox(UnitBox());

    const Physics::ContactManager& manager = scene.GetContactManager();
    scene.Step();
    ASSERT_EQ(manager.GetContactCount(), 1);
    const ContactConstraint* c = manager.GetContactList();
    EXPECT_EQ(c->flags & ~ContactConstraint::kIsland, ContactConstraint::kColliding);
    EXPECT_EQ(c->manifold.contactCount, 4);

    scene.Step();  // moved up by 1/60: a gap
    ASSERT_EQ(manager.GetContactCount(), 1) << "the enlarged boxes still overlap";
    EXPECT_EQ(c->manifold.contactCount, 0);
    EXPECT_EQ(c->flags, ContactConstraint::kWasColliding);

    scene.Step();
    EXPECT_EQ(c->flags, 0u);

    // Far apart, the enlarged boxes part and the constraint goes.
    for (int i = 0; i < 120; ++i) scene.Step();
    EXPECT_EQ(manager.GetContactCount(), 0);
}

TEST(ContactManager, PairFoundTwiceInOneUpdateMakesOneConstraint) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddCube(scene, {0.0f, 0.0f, 0.0f});
    AddCube(scene, {0.5f, 0.2f, 0.0f});
    // Both proxies are new, so each one's query finds the other.
    EXPECT_EQ(scene.GetContactManager().GetBroadPhase().GetMoveCount(), 2);
    scene.Step();
    EXPECT_EQ(scene.GetContactManager().GetContactCount(), 1);
    // Later updates offer the pair again; it keeps its one constraint.
    for (int i = 0; i < 10; ++i) scene.Step();
    EXPECT_EQ(scene.GetContactManager().GetContactCount(), 1);
}

TEST(ContactManager, MixesFrictionGeometricallyAndRestitutionByMaximum) {
    PhysicsScene scene(kDt, {0.0f, 0.0f, 0.0f});
    AddCube(scene, {0.0f, 0.0f, 0.0f}, BodyType::Dynamic, UnitBox(0.25f, 0.1f));
    AddCube(scene, {0.0f, 0.9f, 0.0f}, BodyType::Dynamic, UnitBox(0.64f, 0.7f));
    scene.Step();
    const ContactConstraint* c = scene.GetContactManager().GetContactList();
    ASSERT_NE(c, nullptr);
    EXPECT_FLOAT_EQ(c->friction, 0.4f);
    EXPECT_FLOAT_EQ(c->restitution, 0.7f);
}

TEST(ContactManager, RestingContactWarmStartCounterStopsAt255) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    scene.SetAllowSleep(false);
    AddGround(scene);
    AddCube(scene, {0.0f, 0.5f, 0.0f});
    for (int i = 0; i < 400; ++i) scene.Step();
    const ContactConstraint* c = scene.GetContactManager().GetContactList();
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->manifold.contactCount, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(c->manifold.contacts[i].warmStarted, 255);
        EXPECT_GT(c->manifold.contacts[i].normalImpulse, 0.0f) << "impulses carried over";
    }
}

TEST(ContactManager, NoContactsBetweenTwoStaticBodiesOrBodiesWithoutSharedLayers) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddCube(scene, {0.0f, 0.0f, 0.0f}, BodyType::Static);
    AddCube(scene, {0.2f, 0.3f, 0.0f}, BodyType::Static);
    AddCube(scene, {0.0f, 0.1f, 0.2f}, BodyType::Kinematic);
    BodyDef def;
    def.type = BodyType::Dynamic;
    def.layers = 2;
    def.position = {0.1f, 0.1f, 0.1f};
    scene.CreateBody(def)->AddBox(UnitBox());
    for (int i = 0; i < 5; ++i) scene.Step();
    EXPECT_EQ(scene.GetContactManager().GetContactCount(), 0);
}

TEST(ContactManager, RemovingABodyRemovesItsConstraintsAndWakesTheOthers) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddGround(scene);
    RigidBody* lower = AddCube(scene, {0.0f, 0.5f, 0.0f});
    RigidBody* upper = AddCube(scene, {0.0f, 1.5f, 0.0f});
    for (int i = 0; i < 240; ++i) scene.Step();
    ASSERT_FALSE(upper->IsAwake());
    const int before = scene.GetContactManager().GetContactCount();
    ASSERT_GE(before, 2);
    scene.RemoveBody(lower);
    EXPECT_EQ(scene.GetContactManager().GetContactCount(), before - 2);
    for (const ContactConstraint* c = scene.GetContactManager().GetContactList(); c; c = c->next) {
        EXPECT_NE(c->bodyA, lower);
        EXPECT_NE(c->bodyB, lower);
    }
    EXPECT_TRUE(upper->IsAwake());
    for (int i = 0; i < 120; ++i) scene.Step();
    EXPECT_NEAR(upper->GetTransform().position.y, 0.5f, 0.06f) << "fell onto the ground";
}

}  // namespace

namespace {

using namespace PhysicsTest;

// The count of touching constraints sizes the island's room, so it must follow every change.
int CollidingConstraints(const PhysicsScene& scene) {
    int colliding = 0;
    for (auto* c = scene.GetContactManager().GetContactList(); c; c = c->next) {
        if (c->flags & Physics::ContactConstraint::kColliding) ++colliding;
    }
    return colliding;
}

TEST(ContactManager, TouchingListsHoldExactlyTheCollidingConstraintsInListOrder) {
    PhysicsScene scene(kDt, {0.0f, kGravity, 0.0f});
    AddGround(scene);
    std::vector<RigidBody*> boxes = AddColumns(scene, 4, 4);
    for (int step = 0; step < 240; ++step) {
        scene.Step();
        ASSERT_EQ(scene.GetContactManager().GetTouchingCount(), CollidingConstraints(scene)) << step;
        if (step % 20 != 0) continue;
        for (RigidBody* body = scene.GetBodyList(); body; body = body->GetNext()) {
            Physics::ContactEdge* touching = body->GetTouchingList();
            for (Physics::ContactEdge* edge = body->GetContactList(); edge; edge = edge->next) {
                if (!(edge->constraint->flags & Physics::ContactConstraint::kColliding)) continue;
                ASSERT_EQ(touching, edge) << "step " << step;
                touching = touching->touchingNext;
            }
            EXPECT_EQ(touching, nullptr);
        }
    }
    // Removing bodies unlinks their edges from the others' touching lists.
    for (size_t i = 0; i < boxes.size(); i += 2) scene.RemoveBody(boxes[i]);
    EXPECT_EQ(scene.GetContactManager().GetTouchingCount(), CollidingConstraints(scene));
    for (RigidBody* body = scene.GetBodyList(); body; body = body->GetNext()) {
        for (Physics::ContactEdge* e = body->GetTouchingList(); e; e = e->touchingNext) {
            EXPECT_TRUE(e->constraint->flags & Physics::ContactConstraint::kColliding);
            EXPECT_TRUE(e->constraint->bodyA == body || e->constraint->bodyB == body);
        }
    }
}

}  // namespace
