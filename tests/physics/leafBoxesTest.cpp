#include "physics/leafBoxes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "physics/broadPhase.h"
#include "physicsScenes.h"

namespace {

using Physics::Aabb;
using Physics::LeafBoxes;
using Physics::Overlaps;

std::vector<int> QuerySorted(const LeafBoxes& leaves, const Aabb& box) {
    std::vector<int> found;
    leaves.Query(box, [&found](int proxy) { found.push_back(proxy); });
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<int> Expected(const std::map<int, Aabb>& boxes, const Aabb& box) {
    std::vector<int> found;
    for (const auto& [proxy, stored] : boxes) {
        if (Overlaps(stored, box)) found.push_back(proxy);
    }
    return found;
}

Aabb RandomBox(PhysicsTest::Random& random, float spread) {
    const Physics::Vec3 c{random.Next() * spread, random.Next() * spread, random.Next() * spread};
    const Physics::Vec3 h{0.1f + random.Next(), 0.1f + random.Next(), 0.1f + random.Next()};
    return {c - h, c + h};
}

// Insertions, moves and removals in every slot position (the last, a middle one, a partly filled
// group), each followed by queries compared with a test of every box.
TEST(LeafBoxes, QueryFindsExactlyTheOverlappingBoxesThroughInsertsMovesAndRemovals) {
    LeafBoxes leaves;
    std::map<int, Aabb> boxes;
    PhysicsTest::Random random(7);
    auto check = [&](const char* when) {
        ASSERT_EQ(leaves.Count(), int(boxes.size())) << when;
        for (int q = 0; q < 20; ++q) {
            const Aabb query = RandomBox(random, 10.0f);
            ASSERT_EQ(QuerySorted(leaves, query), Expected(boxes, query)) << when << ", query " << q;
        }
        const Aabb everything{{-100, -100, -100}, {100, 100, 100}};
        ASSERT_EQ(QuerySorted(leaves, everything), Expected(boxes, everything)) << when;
    };

    check("empty");
    // Proxy numbers with gaps, as the tree hands them out (inner nodes take the others).
    for (int i = 0; i < 61; ++i) {
        const Aabb box = RandomBox(random, 10.0f);
        leaves.Insert(2 * i + 1, box);
        boxes[2 * i + 1] = box;
    }
    check("after inserting");
    for (int i = 0; i < 61; i += 3) {
        const Aabb box = RandomBox(random, 10.0f);
        leaves.Set(2 * i + 1, box);
        boxes[2 * i + 1] = box;
    }
    check("after moving");
    for (int proxy : {121, 1, 61, 59, 3}) {
        leaves.Remove(proxy);
        boxes.erase(proxy);
        check("after a removal");
    }
    leaves.Insert(1, {{0, 0, 0}, {1, 1, 1}});
    boxes[1] = {{0, 0, 0}, {1, 1, 1}};
    check("after reusing a removed proxy");
    while (!boxes.empty()) {
        leaves.Remove(boxes.begin()->first);
        boxes.erase(boxes.begin());
    }
    check("after removing all");
}

// The same answer as Overlaps at the edges: faces that touch overlap, a gap of one float does not,
// and a box with a NaN coordinate is never found apart.
TEST(LeafBoxes, EdgesAnswerAsOverlapsDoes) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float above1 = std::nextafter(1.0f, 2.0f);
    const Aabb unit{{0, 0, 0}, {1, 1, 1}};
    const struct {
        const char* name;
        Aabb box;
    } cases[] = {
        {"touching face", {{1, 0, 0}, {2, 1, 1}}},
        {"touching corner", {{1, 1, 1}, {2, 2, 2}}},
        {"one float apart", {{above1, 0, 0}, {2, 1, 1}}},
        {"apart in z only", {{0, 0, 1.5f}, {1, 1, 2}}},
        {"inside", {{0.25f, 0.25f, 0.25f}, {0.5f, 0.5f, 0.5f}}},
        {"infinite", {{-inf, -inf, -inf}, {inf, inf, inf}}},
        {"NaN", {{nan, 5, 5}, {nan, 6, 6}}},
    };
    for (const auto& c : cases) {
        LeafBoxes leaves;
        leaves.Insert(0, c.box);
        const bool found = !QuerySorted(leaves, unit).empty();
        EXPECT_EQ(found, Overlaps(c.box, unit)) << c.name;
        LeafBoxes other;
        other.Insert(0, unit);
        EXPECT_EQ(!QuerySorted(other, c.box).empty(), Overlaps(unit, c.box)) << c.name << " as the query";
    }
}

// A scene at rest: after one step every pair of bodies whose enlarged boxes overlap has its constraint,
// whether the pair update scanned the boxes or, above its limit, walked the tree.
TEST(LeafBoxes, BroadPhaseFindsEveryOverlappingPairOnBothSidesOfTheScanLimit) {
    for (int count : {300, Physics::BroadPhase::kScanLimit + 100}) {
        Physics::PhysicsScene scene(PhysicsTest::kDt, {0.0f, 0.0f, 0.0f});
        PhysicsTest::Random random(3);
        std::vector<Physics::RigidBody*> bodies;
        // Cubes turned about the vertical, 1.7 to 2.3 apart in a square: they never touch, so nothing
        // moves, while the enlarged boxes of many neighbours overlap.
        const int side = int(std::ceil(std::sqrt(float(count))));
        for (int i = 0; i < count; ++i) {
            Physics::BodyDef def;
            def.type = Physics::BodyType::Dynamic;
            def.position = {float(i % side) * 2.0f + random.Next() * 0.3f, 0.0f,
                            float(i / side) * 2.0f + random.Next() * 0.3f};
            def.axis = {0.0f, 1.0f, 0.0f};
            def.angle = random.Next();
            Physics::RigidBody* body = scene.CreateBody(def);
            body->AddBox(Physics::BoxDef{});
            bodies.push_back(body);
        }
        scene.Step();

        const Physics::AabbTree& tree = scene.GetContactManager().GetBroadPhase().GetTree();
        std::vector<Aabb> fat;
        for (Physics::RigidBody* body : bodies)
            fat.push_back(tree.GetFatAabb(body->GetBoxList()->GetProxy()));
        int expected = 0;
        for (size_t a = 0; a < fat.size(); ++a) {
            for (size_t b = a + 1; b < fat.size(); ++b) expected += Overlaps(fat[a], fat[b]) ? 1 : 0;
        }
        EXPECT_GT(expected, count / 2) << count << " bodies";
        EXPECT_EQ(scene.GetContactManager().GetContactCount(), expected) << count << " bodies";
    }
}

}  // namespace
