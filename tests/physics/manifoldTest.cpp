#include "physics/manifold.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Physics::Cross;
using Physics::Dot;
using Physics::Normalize;
using Physics::Vec3;

void ExpectOrthonormal(Vec3 n) {
    Vec3 t1, t2;
    Physics::ComputeBasis(n, &t1, &t2);
    EXPECT_NEAR(Dot(t1, t1), 1.0f, 1e-6f) << n.x << " " << n.y << " " << n.z;
    EXPECT_NEAR(Dot(t2, t2), 1.0f, 1e-6f);
    EXPECT_NEAR(Dot(t1, n), 0.0f, 1e-6f);
    EXPECT_NEAR(Dot(t2, n), 0.0f, 1e-6f);
    EXPECT_NEAR(Dot(t1, t2), 0.0f, 1e-6f);
    // Right-handed: n, t1, t2.
    Vec3 c = Cross(t1, t2);
    EXPECT_NEAR(Dot(c, n), 1.0f, 1e-6f);
}

TEST(TangentBasis, IsOrthonormalForNormalsAlongEachAxis) {
    for (int axis = 0; axis < 3; ++axis) {
        for (float sign : {1.0f, -1.0f}) {
            Vec3 n;
            n[axis] = sign;
            ExpectOrthonormal(n);
        }
    }
}

TEST(TangentBasis, IsOrthonormalOnBothSidesOfTheDiagonalBoundary) {
    const float k = 0.57735026f;
    // |n.x| exactly at the boundary, just below it, and the other branch's worst case.
    ExpectOrthonormal(Vec3{k, k, k});
    ExpectOrthonormal(Vec3{-k, k, -k});
    ExpectOrthonormal(Normalize(Vec3{std::nextafter(k, 0.0f), k, std::nextafter(k, 1.0f)}));
    ExpectOrthonormal(Normalize(Vec3{0.5f, 0.0f, 0.8660254f}));
    ExpectOrthonormal(Normalize(Vec3{0.0f, 1.0f, 1.0f}));
}

TEST(TangentBasis, UsesTheDocumentedFirstTangent) {
    Vec3 t1, t2;
    Physics::ComputeBasis(Vec3{0.0f, 1.0f, 0.0f}, &t1, &t2);
    // |n.x| below the boundary: t1 = (0, n.z, -n.y) normalised.
    EXPECT_EQ(t1.x, 0.0f);
    EXPECT_EQ(t1.y, 0.0f);
    EXPECT_EQ(t1.z, -1.0f);
    Physics::ComputeBasis(Vec3{1.0f, 0.0f, 0.0f}, &t1, &t2);
    EXPECT_EQ(t1.x, 0.0f);
    EXPECT_EQ(t1.y, -1.0f);
    EXPECT_EQ(t1.z, 0.0f);
}

}  // namespace
