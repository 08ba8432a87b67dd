// Fixture for the 3D tests: the screen-effect fixture with the bundled cube shader in the data folder,
// the camera back at its start state and a cleared depth buffer, plus the camera maths that says where
// a world point lands on the 800 by 600 picture.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "effects/screenEffectFixture.h"
#include "graphics/camera.h"
#include "graphics/cubeRenderer.h"

namespace TestSupport {

/// A pixel position on the show's picture.
struct PixelPoint {
    int x = 0;
    int y = 0;
};

class CubeSceneTest : public ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        CopyDemoFile("cubes.fx");
        Camera_Reset();
        Context().ClearDepthStencilView(g_graphics.depthView, Gpu::CLEAR_DEPTH, 1.0f, 0);
        Fill({0.0f, 0.0f, 0.0f, 1.0f});
    }
    void TearDown() override {
        Camera_Reset();
        ScreenEffectTest::TearDown();
    }

    /// Points the camera from `distance` along +Z (turned by `rotation`) at `anchor`, with a 70 degree view.
    static void LookAt(float distance, Vec3 rotation = {}, Vec3 anchor = {}) {
        Camera_SetDistance(distance);
        Camera_SetRotation(rotation);
        Camera_SetAnchor(anchor);
        UpdateCamera();
    }

    /// Where `world` (after `formation`) lands on the picture under the camera as it stands.
    static PixelPoint Project(Vec3 world, const Matrix& formation = Matrix::Identity()) {
        UpdateCamera();
        const Vec4 clip = (formation * g_camera.viewProjection).TransformPoint4(world);
        const float x = clip.x / clip.w, y = clip.y / clip.w;
        return {static_cast<int>(std::floor((x + 1.0f) * 0.5f * 800.0f)),
                static_cast<int>(std::floor((1.0f - y) * 0.5f * 600.0f))};
    }

    /// Whether the picture at `point` is the background the fixture cleared to.
    static bool IsBackground(const Image& picture, PixelPoint point) {
        const auto pixel = picture.At(point.x, point.y);
        return pixel[0] < 3 && pixel[1] < 3 && pixel[2] < 3;
    }

    /// One flat-coloured cube (no highlight) scaled by `size` at `position`.
    static CubeInstance Cube(Vec3 position, std::array<float, 3> lit = {1, 0, 0},
                             std::array<float, 3> unlit = {0, 0, 1}, float size = 1.0f) {
        CubeInstance cube;
        cube.world =
            (Matrix::Scaling(size) * Matrix::Translation(position.x, position.y, position.z)).Transposed();
        cube.colourLit = {lit[0], lit[1], lit[2], 1.0f};
        cube.colourUnlit = {unlit[0], unlit[1], unlit[2], 1.0f};
        cube.colourSpecular = {0.0f, 0.0f, 0.0f, 1.0f};
        return cube;
    }

    /// Writes a PNG of `width` x `height` pixels (Rgba() values row by row) into the data folder.
    void WriteImage(const std::string& name, int width, int height, const std::vector<uint32_t>& pixels) {
        Data().Write(name, Png(width, height, pixels));
    }
};

/// The translation of a cube's world matrix as stored (transposed) in its record.
inline Vec3 CubePosition(const CubeInstance& cube) {
    return {cube.world.m[0][3], cube.world.m[1][3], cube.world.m[2][3]};
}

}  // namespace TestSupport
