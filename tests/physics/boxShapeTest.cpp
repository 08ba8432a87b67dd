#include "physics/boxShape.h"

#include <gtest/gtest.h>

#include "physicsScenes.h"

namespace {

using Physics::Aabb;
using Physics::BoxDef;
using Physics::BoxShape;
using Physics::Quaternion;
using Physics::Transform;
using Physics::Vec3;

// The box through its eight corners, each transformed on its own.
Aabb CornerBox(const BoxShape& box, const Transform& body) {
    const Transform world = Physics::Mul(body, box.GetLocalTransform());
    const Vec3 e = box.GetHalfExtents();
    Aabb result{{Physics::kMaxFloat, Physics::kMaxFloat, Physics::kMaxFloat},
                {-Physics::kMaxFloat, -Physics::kMaxFloat, -Physics::kMaxFloat}};
    for (int i = 0; i < 8; ++i) {
        const Vec3 local{(i & 4) ? e.x : -e.x, (i & 2) ? e.y : -e.y, (i & 1) ? e.z : -e.z};
        const Vec3 corner = Physics::Mul(world, local);
        result.min = Physics::Min(result.min, corner);
        result.max = Physics::Max(result.max, corner);
    }
    return result;
}

// The bounding box is the very numbers of the least and greatest corner, for boxes at the body's
// origin and boxes placed off it, turned every way, far from the origin and near it.
TEST(BoxShape, BoundingBoxIsExactlyThatOfItsCorners) {
    PhysicsTest::Random random(11);
    auto unitAxis = [&random]() {
        return Physics::Normalize(Vec3{random.Next() - 0.5f, random.Next() - 0.5f, random.Next() - 0.5f});
    };
    BoxDef offset;
    offset.extents = {0.3f, 2.0f, 1.1f};
    offset.local.position = {0.7f, -1.3f, 0.2f};
    offset.local.rotation = Quaternion::FromAxisAngle(unitAxis(), 0.8f).ToMat3();
    BoxDef atOrigin;
    atOrigin.extents = {1.0f, 0.5f, 3.0f};
    const BoxShape boxes[] = {BoxShape(offset, nullptr), BoxShape(atOrigin, nullptr)};

    for (int i = 0; i < 500; ++i) {
        const float scale = i % 2 ? 1000.0f : 1.0f;
        Transform body;
        body.position = {(random.Next() - 0.5f) * scale, (random.Next() - 0.5f) * scale,
                         (random.Next() - 0.5f) * scale};
        // Some turned by a quarter exactly, where columns hold zeros.
        const float angle = i % 5 == 0 ? 1.5707964f : (random.Next() * 2.0f - 1.0f) * PhysicsTest::kPi;
        body.rotation = Quaternion::FromAxisAngle(i % 5 == 0 ? Vec3{0, 1, 0} : unitAxis(), angle).ToMat3();
        for (const BoxShape& box : boxes) {
            const Aabb got = box.ComputeAabb(body);
            const Aabb want = CornerBox(box, body);
            ASSERT_EQ(got.min.x, want.min.x) << i;
            ASSERT_EQ(got.min.y, want.min.y) << i;
            ASSERT_EQ(got.min.z, want.min.z) << i;
            ASSERT_EQ(got.max.x, want.max.x) << i;
            ASSERT_EQ(got.max.y, want.max.y) << i;
            ASSERT_EQ(got.max.z, want.max.z) << i;
        }
    }
}

}  // namespace
