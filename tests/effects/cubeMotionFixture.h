// Fixture for the tests of the cube effects that rebuild or replay their cubes every frame (physics,
// cluster, spiral, lattice): the 3D fixture with the camera looking at the origin from afar, frames
// drawn over a known background with the depth cleared, and script snippets for parameters.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "effects/cubeEffectFixture.h"

namespace TestSupport {

class CubeMotionTest : public CubeSceneTest {
protected:
    /// What frames are drawn over: a colour none of the cubes takes.
    static constexpr std::array<float, 4> kBackground = {0.0f, 0.0f, 1.0f, 1.0f};

    void SetUp() override {
        CubeSceneTest::SetUp();
        if (IsSkipped()) return;
        // From 60 units out along +Z: about 35 units above and below the origin are in view.
        Camera_SetDistance(60.0f);
        Camera_SetFieldOfView(60.0f);
    }

    /// Loads one effect from its script snippet; null (after a failure) unless it is a T.
    template <typename T>
    T* LoadOne(const std::string& xml) {
        EXPECT_TRUE(Load(xml)) << xml;
        T* effect = effects.empty() ? nullptr : dynamic_cast<T*>(effects.front().get());
        EXPECT_NE(effect, nullptr) << xml;
        return effect;
    }
    /// One frame at show time `time` over the background, with the depth buffer cleared first.
    Image Frame(double time) {
        Fill(kBackground);
        Context().ClearDepthStencilView(g_graphics.depthView, Gpu::CLEAR_DEPTH, 1.0f, 0);
        Run(time);
        return Current();
    }
    /// Pixels of `image` that are not the background.
    static size_t Covered(const Image& image) {
        size_t count = 0;
        for (uint32_t y = 0; y < image.height; ++y) {
            for (uint32_t x = 0; x < image.width; ++x) {
                const auto p = image.At(x, y);
                if (p[0] > 3 || p[1] > 3 || p[2] < 252) ++count;
            }
        }
        return count;
    }
};

/// A "param" element of one of the vector types, or a double.
inline std::string Param(const std::string& key, double x) {
    char text[160];
    std::snprintf(text, sizeof text, "<param key='%s' type='double' value='%.9g'/>", key.c_str(), x);
    return text;
}
inline std::string Param(const std::string& key, double x, double y, double z) {
    char text[200];
    std::snprintf(text, sizeof text, "<param key='%s' type='vec3' x='%.9g' y='%.9g' z='%.9g'/>", key.c_str(),
                  x, y, z);
    return text;
}
inline std::string Param(const std::string& key, double x, double y, double z, double w) {
    char text[220];
    std::snprintf(text, sizeof text, "<param key='%s' type='vec4' x='%.9g' y='%.9g' z='%.9g' w='%.9g'/>",
                  key.c_str(), x, y, z, w);
    return text;
}

/// The position a cube record places the unit cube's centre at (its world matrix is transposed).
inline std::array<float, 3> Position(const CubeInstance& cube) {
    return {cube.world.m[0][3], cube.world.m[1][3], cube.world.m[2][3]};
}

}  // namespace TestSupport
