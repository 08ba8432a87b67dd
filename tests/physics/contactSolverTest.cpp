#include "physics/contactSolver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "physicsScenes.h"

namespace {

using Physics::ContactConstraintState;
using Physics::ContactSolver;
using Physics::ContactState;
using Physics::Vec3;
using Physics::VelocityState;

struct Link {
    int a;
    int b;
    bool movesA;
    bool movesB;
};

struct OrderCase {
    const char* name;
    int bodies;
    std::vector<Link> links;
    std::vector<int> order;
    std::vector<int> waves;
};

std::vector<ContactConstraintState> States(const std::vector<Link>& links) {
    std::vector<ContactConstraintState> states(links.size());
    for (size_t i = 0; i < links.size(); ++i) {
        states[i].indexA = links[i].a;
        states[i].indexB = links[i].b;
        states[i].movesA = links[i].movesA;
        states[i].movesB = links[i].movesB;
    }
    return states;
}

TEST(ContactSolver, WavesKeepEachMovingBodysConstraintsInTheirFirstOrder) {
    const std::vector<OrderCase> cases = {
        {"chain", 4, {{0, 1, true, true}, {1, 2, true, true}, {2, 3, true, true}}, {0, 1, 2}, {0, 1, 2}},
        {"two pairs side by side",
         6,
         {{0, 1, true, true}, {2, 3, true, true}, {1, 4, true, true}, {3, 5, true, true}},
         {0, 1, 2, 3},
         {0, 0, 1, 1}},
        {"a later constraint moves ahead of one it does not touch",
         5,
         {{0, 1, true, true}, {0, 2, true, true}, {3, 4, true, true}, {1, 2, true, true}},
         {0, 2, 1, 3},
         {0, 1, 0, 2}},
        {"a ground that nothing moves joins no wave",
         4,
         {{0, 1, false, true}, {0, 2, false, true}, {3, 0, true, false}},
         {0, 1, 2},
         {0, 0, 0}},
    };
    for (const OrderCase& c : cases) {
        const std::vector<ContactConstraintState> states = States(c.links);
        const int count = int(states.size());
        const size_t n = static_cast<size_t>(count);
        std::vector<int> bodyWaves(static_cast<size_t>(c.bodies)), waves(n), starts(n + 1), order(n);
        ContactSolver::Order(states.data(), count, c.bodies, bodyWaves.data(), waves.data(), starts.data(),
                             order.data());
        EXPECT_EQ(order, c.order) << c.name;
        EXPECT_EQ(waves, c.waves) << c.name;
    }
}

// Solving in waves, two constraints at a time, must give the bits of solving one constraint after the
// other in the first order: the velocities and every impulse.
TEST(ContactSolver, SolvingInWavesGivesTheBitsOfTheFirstOrder) {
    PhysicsTest::Random random(7);
    auto value = [&random](float scale) { return (random.Next() * 2.0f - 1.0f) * scale; };
    auto vector = [&value](float scale) { return Vec3{value(scale), value(scale), value(scale)}; };

    const int bodies = 12;
    // Body 0 is a ground no impulse moves; the others are unit cubes.
    std::vector<ContactConstraintState> states;
    std::vector<ContactState> points;
    for (int i = 0; i < 40; ++i) {
        ContactConstraintState cs;
        cs.indexA = int(random.Next() * 0.999f * bodies);
        cs.indexB = (cs.indexA + 1 + int(random.Next() * 0.999f * (bodies - 1))) % bodies;
        cs.movesA = cs.indexA != 0;
        cs.movesB = cs.indexB != 0;
        cs.mA = cs.movesA ? 1.0f : 0.0f;
        cs.mB = cs.movesB ? 1.0f : 0.0f;
        cs.iA = Physics::Diagonal(cs.movesA ? 6.0f : 0.0f);
        cs.iB = Physics::Diagonal(cs.movesB ? 6.0f : 0.0f);
        cs.normal = Physics::Normalize(vector(1.0f));
        Physics::ComputeBasis(cs.normal, &cs.tangentVectors[0], &cs.tangentVectors[1]);
        cs.friction = 0.4f;
        cs.firstContact = int(points.size());
        cs.contactCount = 1 + int(random.Next() * 7.99f);
        for (int j = 0; j < cs.contactCount; ++j) {
            ContactState p;
            p.ra = vector(0.5f);
            p.rb = vector(0.5f);
            p.penetration = value(0.1f);
            p.normalImpulse = random.Next();
            p.tangentImpulse[0] = value(0.2f);
            p.tangentImpulse[1] = value(0.2f);
            points.push_back(p);
        }
        states.push_back(cs);
    }
    std::vector<VelocityState> velocities(static_cast<size_t>(bodies));
    for (int b = 1; b < bodies; ++b) {
        velocities[size_t(b)] = {Physics::ToFloat4(vector(2.0f)), Physics::ToFloat4(vector(2.0f))};
    }
    const int count = int(states.size());
    ContactSolver::PreSolve(states.data(), count, points.data(), velocities.data(), 1.0f / 60.0f, true);

    std::vector<ContactConstraintState> waveStates = states;
    std::vector<ContactState> wavePoints = points;
    std::vector<VelocityState> waveVelocities = velocities;
    const size_t n = static_cast<size_t>(count);
    std::vector<int> bodyWaves(static_cast<size_t>(bodies)), waves(n), starts(n + 1), order(n);
    ContactSolver::Order(waveStates.data(), count, bodies, bodyWaves.data(), waves.data(), starts.data(),
                         order.data());
    int sideBySide = 0;
    for (int n = 0; n + 1 < count; ++n)
        sideBySide += waves[size_t(order[size_t(n)])] == waves[size_t(order[size_t(n + 1)])];
    ASSERT_GT(sideBySide, 5) << "the case should have waves of several constraints";

    std::vector<int> firstOrder(n), ownWaves(n);
    for (int i = 0; i < count; ++i) firstOrder[size_t(i)] = ownWaves[size_t(i)] = i;
    for (int iteration = 0; iteration < 20; ++iteration) {
        ContactSolver::Solve(states.data(), firstOrder.data(), ownWaves.data(), count, points.data(),
                             velocities.data(), true);
        ContactSolver::Solve(waveStates.data(), order.data(), waves.data(), count, wavePoints.data(),
                             waveVelocities.data(), true);
    }
    EXPECT_EQ(
        std::memcmp(velocities.data(), waveVelocities.data(), velocities.size() * sizeof(VelocityState)), 0);
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(std::memcmp(&points[i].normalImpulse, &wavePoints[i].normalImpulse, sizeof(float)), 0) << i;
        EXPECT_EQ(std::memcmp(points[i].tangentImpulse, wavePoints[i].tangentImpulse, 2 * sizeof(float)), 0)
            << i;
    }
}

}  // namespace
