#include "graphics/camera.h"

#include <gtest/gtest.h>

#include <cmath>

#include "graphics/matrix.h"

namespace {

class Camera : public ::testing::Test {
protected:
    void SetUp() override { Camera_Reset(); }
    void TearDown() override { Camera_Reset(); }
};

void ExpectNear(Vec3 actual, Vec3 expected, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

TEST_F(Camera, StartsAtTheOriginWithASeventyDegreeProjection) {
    UpdateCamera();
    EXPECT_EQ(g_camera.view, Matrix::Identity());
    ExpectNear(g_camera.eyePosition, {0, 0, 0});
    const Matrix& p = g_camera.projection;
    EXPECT_NEAR(p.m[1][1], 1.4281480f, 1e-6f);
    EXPECT_NEAR(p.m[0][0], 1.071111f, 1e-6f);
    EXPECT_NEAR(p.m[2][2], -1.00050025f, 1e-6f);
    EXPECT_EQ(p.m[2][3], -1.0f);
    EXPECT_NEAR(p.m[3][2], -1.00050025f, 1e-6f);
    EXPECT_EQ(p.m[3][3], 0.0f);
    EXPECT_FALSE(g_camera.viewDirty);
    EXPECT_FALSE(g_camera.projectionDirty);
}

TEST_F(Camera, NothingChangedRebuildsNothing) {
    UpdateCamera();
    // Marks in the matrices survive an update with clean flags, and a setter given the value it holds.
    g_camera.view.m[0][1] = 42.0f;
    g_camera.projection.m[0][1] = 43.0f;
    g_camera.viewProjection.m[0][1] = 44.0f;
    Camera_SetRotation({0, 0, 0});
    Camera_SetDistance(0.0f);
    Camera_SetAnchor({0, 0, 0});
    Camera_SetFieldOfView(70.0f);
    Camera_SetPostPosition({0, 0});
    EXPECT_FALSE(g_camera.viewDirty);
    EXPECT_FALSE(g_camera.projectionDirty);
    UpdateCamera();
    EXPECT_EQ(g_camera.view.m[0][1], 42.0f);
    EXPECT_EQ(g_camera.projection.m[0][1], 43.0f);
    EXPECT_EQ(g_camera.viewProjection.m[0][1], 44.0f);
}

TEST_F(Camera, EachSetterMarksOnlyItsOwnMatrix) {
    struct Case {
        const char* name;
        void (*set)();
        bool view;
        bool projection;
    };
    const Case cases[] = {
        {"rotation",
         [] {
             Camera_SetRotation({0, 0, 1});
         },
         true, false},
        {"distance", [] { Camera_SetDistance(5); }, true, false},
        {"anchor",
         [] {
             Camera_SetAnchor({0, 1, 0});
         },
         true, false},
        {"field of view", [] { Camera_SetFieldOfView(60); }, false, true},
        {"post position",
         [] {
             Camera_SetPostPosition({0, 0.5f});
         },
         false, true},
    };
    for (const Case& c : cases) {
        Camera_Reset();
        UpdateCamera();
        c.set();
        EXPECT_EQ(g_camera.viewDirty, c.view) << c.name;
        EXPECT_EQ(g_camera.projectionDirty, c.projection) << c.name;
    }
}

TEST_F(Camera, AnchorAndDistancePlaceTheEye) {
    Camera_SetAnchor({10, 0, 0});
    Camera_SetDistance(100);
    UpdateCamera();
    EXPECT_EQ(g_camera.view.m[3][0], 10.0f);
    EXPECT_EQ(g_camera.view.m[3][1], 0.0f);
    EXPECT_EQ(g_camera.view.m[3][2], -100.0f);
    ExpectNear(g_camera.eyePosition, {-10, 0, 100});
}

TEST_F(Camera, YawTurnsTheEyeAboutTheVerticalAndPitchAboutX) {
    Camera_SetDistance(10);
    Camera_SetRotation({90, 0, 0});
    UpdateCamera();
    // The world turns by the yaw before the eye backs away, so the eye orbits the other way round.
    ExpectNear(g_camera.eyePosition, {-10, 0, 0}, 1e-4f);
    Camera_SetRotation({0, 90, 0});
    UpdateCamera();
    ExpectNear(g_camera.eyePosition, {0, 10, 0}, 1e-4f);
    // The view-projection is the product of the two, whichever changed.
    EXPECT_EQ(g_camera.viewProjection, g_camera.view * g_camera.projection);
}

TEST_F(Camera, PostPositionShiftsTheImageAfterTheProjection) {
    Camera_SetDistance(10);
    UpdateCamera();
    const Vec4 centre = g_camera.viewProjection.TransformPoint4({0, 0, 0});
    Camera_SetPostPosition({1, 0});
    UpdateCamera();
    for (const Vec3 p : {Vec3{0, 0, 0}, Vec3{0, 0, -50}}) {
        const Vec4 unshifted =
            (g_camera.view * g_camera.projection * Matrix::Translation(-1, 0, 0)).TransformPoint4(p);
        const Vec4 shifted = g_camera.viewProjection.TransformPoint4(p);
        // One unit of normalized device coordinates, whatever the depth.
        EXPECT_NEAR(shifted.x / shifted.w - unshifted.x / unshifted.w, 1.0f, 1e-5f);
    }
    EXPECT_NEAR(centre.x / centre.w, 0.0f, 1e-6f);
}

TEST(Matrix, RotationsFollowTheRowVectorConvention) {
    const float quarter = 1.5707964f;
    struct Case {
        const char* name;
        Matrix rotation;
        Vec3 from, to;
    };
    const Case cases[] = {
        {"X turns +Y to +Z", Matrix::RotationX(quarter), {0, 1, 0}, {0, 0, 1}},
        {"Y turns +Z to +X", Matrix::RotationY(quarter), {0, 0, 1}, {1, 0, 0}},
        {"Z turns +X to +Y", Matrix::RotationZ(quarter), {1, 0, 0}, {0, 1, 0}},
        {"yaw is about Y", Matrix::RotationDegrees({90, 0, 0}), {0, 0, 1}, {1, 0, 0}},
        {"pitch is about X", Matrix::RotationDegrees({0, 90, 0}), {0, 1, 0}, {0, 0, 1}},
        {"roll is about Z", Matrix::RotationDegrees({0, 0, 90}), {1, 0, 0}, {0, 1, 0}},
        // Roll first, then pitch: +X rolls to +Y, which pitches to +Z.
        {"roll before pitch", Matrix::RotationDegrees({0, 90, 90}), {1, 0, 0}, {0, 0, 1}},
        // Pitch before yaw: +Y pitches to +Z, which yaws to +X.
        {"pitch before yaw", Matrix::RotationDegrees({90, 90, 0}), {0, 1, 0}, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectNear(c.rotation.TransformPoint(c.from), c.to, 1e-6f);
    }
    const Matrix a = Matrix::Translation(1, 0, 0), b = Matrix::Scaling(2);
    ExpectNear((a * b).TransformPoint({0, 0, 0}), {2, 0, 0});  // translated first, then scaled
    EXPECT_EQ(a.Transposed().m[0][3], 1.0f);
}

}  // namespace
