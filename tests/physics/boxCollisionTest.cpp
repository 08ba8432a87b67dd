#include "physics/boxCollision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

namespace {

using Physics::BoxToBox;
using Physics::Manifold;
using Physics::Quaternion;
using Physics::Transform;
using Physics::Vec3;

Transform Place(Vec3 position, Vec3 axis = {0.0f, 1.0f, 0.0f}, float angle = 0.0f) {
    Transform t;
    t.position = position;
    t.rotation = Quaternion::FromAxisAngle(Physics::Normalize(axis), angle).ToMat3();
    return t;
}

const Vec3 kHalf{0.5f, 0.5f, 0.5f};
const float kQuarterTurn = 0.78539816f;

TEST(BoxCollision, FaceToFaceGivesFourContactsOnTheCornersOfTheIncidentFace) {
    Manifold m;
    BoxToBox(&m, Place({0.0f, 0.0f, 0.0f}), kHalf, Place({0.1f, 0.99f, -0.2f}), kHalf);
    ASSERT_EQ(m.contactCount, 4);
    EXPECT_NEAR(m.normal.y, 1.0f, 1e-6f);
    std::set<uint32_t> keys;
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(m.contacts[i].penetration, -0.01f, 1e-5f);
        // Positions stay on the incident face (y = 0.49), not projected onto the reference face.
        EXPECT_NEAR(m.contacts[i].position.y, 0.49f, 1e-5f);
        keys.insert(m.contacts[i].feature.key);
    }
    EXPECT_EQ(keys.size(), 4u) << "each point is named by its own features";
}

TEST(BoxCollision, ClipsTheIncidentFaceToTheReferenceFace) {
    // A big slab under a unit box: all four incident corners lie inside, and flipping which box is A
    // keeps the normal pointing from A to B.
    Manifold m;
    const Vec3 slab{3.0f, 0.5f, 3.0f};
    BoxToBox(&m, Place({0.0f, 0.98f, 0.0f}), kHalf, Place({0.0f, 0.0f, 0.0f}), slab);
    ASSERT_EQ(m.contactCount, 4);
    EXPECT_NEAR(m.normal.y, -1.0f, 1e-6f);

    // A unit box hanging over the slab's edge: two corners are clipped to the side plane x = 3.
    BoxToBox(&m, Place({0.0f, 0.0f, 0.0f}), slab, Place({3.0f, 0.98f, 0.0f}), kHalf);
    ASSERT_EQ(m.contactCount, 4);
    for (int i = 0; i < 4; ++i) EXPECT_LE(m.contacts[i].position.x, 3.0f + 1e-5f);
}

TEST(BoxCollision, EdgeOnAFaceGivesTwoContacts) {
    const Vec3 slab{2.0f, 0.5f, 2.0f};
    // Turned 30 degrees about z, the lowest edge of the cube runs along z.
    const float angle = 0.52359878f;
    const float lowest = 0.5f * std::cos(angle) + 0.5f * std::sin(angle);
    Manifold m;
    BoxToBox(&m, Place({0.0f, 0.0f, 0.0f}), slab,
             Place({0.0f, 0.5f + lowest - 0.01f, 0.0f}, {0, 0, 1}, angle), kHalf);
    ASSERT_EQ(m.contactCount, 2);
    EXPECT_NEAR(m.normal.y, 1.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(m.contacts[0].position.z - m.contacts[1].position.z), 1.0f, 1e-4f);
    for (int i = 0; i < 2; ++i) EXPECT_NEAR(m.contacts[i].penetration, -0.01f, 1e-4f);
}

TEST(BoxCollision, CrossedEdgesGiveExactlyOneContact) {
    // A's top edge runs along x, B's bottom edge along z; they cross above the origin.
    const float reach = 0.70710678f;
    Manifold m;
    BoxToBox(&m, Place({0.0f, 0.0f, 0.0f}, {1, 0, 0}, kQuarterTurn), kHalf,
             Place({0.0f, 2.0f * reach - 0.01f, 0.0f}, {0, 0, 1}, kQuarterTurn), kHalf);
    ASSERT_EQ(m.contactCount, 1);
    EXPECT_NEAR(m.normal.y, 1.0f, 1e-5f);
    EXPECT_NEAR(m.contacts[0].penetration, -0.01f, 1e-4f);
    EXPECT_NEAR(m.contacts[0].position.x, 0.0f, 1e-4f);
    EXPECT_NEAR(m.contacts[0].position.y, reach - 0.005f, 1e-4f);
    EXPECT_NEAR(m.contacts[0].position.z, 0.0f, 1e-4f);
}

TEST(BoxCollision, AnyGapGivesNoContacts) {
    Manifold m;
    BoxToBox(&m, Place({0.0f, 0.0f, 0.0f}), kHalf, Place({0.0f, 1.001f, 0.0f}), kHalf);
    EXPECT_EQ(m.contactCount, 0);
    BoxToBox(&m, Place({0.0f, 0.0f, 0.0f}, {1, 0, 0}, kQuarterTurn), kHalf,
             Place({0.0f, 1.4243f, 0.0f}, {0, 0, 1}, kQuarterTurn), kHalf);
    EXPECT_EQ(m.contactCount, 0) << "crossed edges a millimetre apart";
    BoxToBox(&m, Place({0.0f, 0.0f, 0.0f}), kHalf, Place({1.2f, 0.0f, 1.2f}, {0, 1, 0}, 0.3f), kHalf);
    EXPECT_EQ(m.contactCount, 0);
}

TEST(BoxCollision, BoxesWithNumbersThatAreNotFiniteGiveNoContacts) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Transform nanRotation = Place({0.0f, 0.5f, 0.0f});
    nanRotation.rotation.ey.y = nan;
    struct Case {
        const char* what;
        Transform b;
        Vec3 eB;
    };
    const Case cases[] = {
        {"position NaN", Place({nan, nan, nan}), kHalf},
        {"one coordinate NaN", Place({nan, 0.5f, 0.0f}), kHalf},
        {"position infinite", Place({inf, 0.5f, -inf}), kHalf},
        {"rotation NaN", nanRotation, kHalf},
        {"extents NaN", Place({0.0f, 0.5f, 0.0f}), {nan, nan, nan}},
    };
    for (const Case& c : cases) {
        Manifold m;
        m.contactCount = 3;
        BoxToBox(&m, Place({0.0f, 0.0f, 0.0f}), kHalf, c.b, c.eB);
        EXPECT_EQ(m.contactCount, 0) << c.what;
        BoxToBox(&m, c.b, c.eB, Place({0.0f, 0.0f, 0.0f}), kHalf);
        EXPECT_EQ(m.contactCount, 0) << c.what << ", as box A";
    }
}

TEST(BoxCollision, NormalAlwaysPointsFromAToB) {
    // Random overlapping placements: every contact normal has a non-negative component along B - A.
    uint32_t state = 7;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return float(state % 65535u) / 65535.0f;
    };
    int withContacts = 0;
    for (int i = 0; i < 2000; ++i) {
        Transform a = Place({next() - 0.5f, next() - 0.5f, next() - 0.5f},
                            {next() - 0.5f, next(), next() - 0.5f}, next() * 6.28f);
        Transform b = Place({next() - 0.5f, next() - 0.5f, next() - 0.5f}, {next(), next() - 0.5f, next()},
                            next() * 6.28f);
        Manifold m;
        BoxToBox(&m, a, kHalf, b, Vec3{0.5f, 0.25f, 1.0f});
        ASSERT_LE(m.contactCount, Manifold::kMaxContacts);
        if (m.contactCount == 0) continue;
        ++withContacts;
        EXPECT_NEAR(Physics::Length(m.normal), 1.0f, 1e-4f);
        EXPECT_GE(Physics::Dot(m.normal, b.position - a.position), 0.0f);
        for (int k = 0; k < m.contactCount; ++k) EXPECT_LE(m.contacts[k].penetration, 0.0f);
    }
    EXPECT_GT(withContacts, 1000);
}

}  // namespace
