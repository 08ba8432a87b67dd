#include "effects/cubeImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "effects/cubeEffectFixture.h"
#include "support/logCapture.h"

namespace {

using TestSupport::CubePosition;
using TestSupport::LogCapture;
using TestSupport::Rgba;

constexpr uint32_t kWhite = Rgba(255, 255, 255);

class CubeImageTest : public TestSupport::CubeSceneTest {
protected:
    Effects::CubeImage* LoadWall(const std::string& params) {
        if (!Load("<effect type='CubeImage'><param key='image' type='string' value='wall.png'/>" + params +
                  "</effect>")) {
            return nullptr;
        }
        return static_cast<Effects::CubeImage*>(effects.front().get());
    }
    static std::string Light() { return "<param key='lightDirection' type='vec3' x='0' y='0' z='-1'/>"; }
};

TEST_F(CubeImageTest, AWhitePixelStandsAsAColumnTowardsTheViewer) {
    WriteImage("wall.png", 1, 1, {kWhite});
    auto* effect = LoadWall(Light());
    ASSERT_NE(effect, nullptr);
    const CubeInstance cube = effect->GetRenderer()->GetInstances().GetShadow()[0];
    const float length = 1.0f + 0.18837f * 0.5f;
    EXPECT_NEAR(cube.world.m[2][2], length, 1e-4f);
    const Vec3 at = CubePosition(cube);
    EXPECT_EQ(at.x, -0.5f);
    EXPECT_EQ(at.y, 0.5f);
    EXPECT_NEAR(at.z, length * 0.5f, 1e-4f);  // standing on z = 0
    EXPECT_EQ(cube.colourSpecular.w, 90.0f);
    EXPECT_EQ(cube.colourUnlit.x, 0.75f);
}

TEST_F(CubeImageTest, StartAndEndRevealTheWallInPictureOrder) {
    // Two rows of two: the second half of the cubes is the lower row.
    WriteImage("wall.png", 2, 2, {kWhite, kWhite, kWhite, kWhite});
    ASSERT_NE(LoadWall(Light() + "<param key='start' type='double' value='0.5'/>"), nullptr);
    LookAt(20.0f);
    Run(0.0);
    const auto picture = Current();
    EXPECT_TRUE(IsBackground(picture, Project({-0.5f, 1.0f, 1.0f})));
    EXPECT_TRUE(IsBackground(picture, Project({0.5f, 1.0f, 1.0f})));
    EXPECT_FALSE(IsBackground(picture, Project({-0.5f, 0.0f, 1.0f})));
    EXPECT_FALSE(IsBackground(picture, Project({0.5f, 0.0f, 1.0f})));

    for (const char* range :
         {"<param key='start' type='double' value='0.6'/><param key='end' type='double' value='0.6'/>",
          "<param key='start' type='double' value='0.9'/><param key='end' type='double' value='0.1'/>"}) {
        ASSERT_NE(LoadWall(Light() + range), nullptr);
        Counters().Reset();
        Run(0.0);
        EXPECT_EQ(Counters().draws, 0u) << range;
    }
}

TEST_F(CubeImageTest, PositionMovesTheWholeWall) {
    WriteImage("wall.png", 1, 1, {kWhite});
    ASSERT_NE(LoadWall(Light() + "<param key='position' type='vec3' x='6' y='-4' z='0'/>"), nullptr);
    LookAt(20.0f);
    Run(0.0);
    const auto picture = Current();
    EXPECT_FALSE(IsBackground(picture, Project({5.5f, -3.5f, 1.0f})));
    EXPECT_TRUE(IsBackground(picture, Project({-0.5f, 0.5f, 1.0f})));
}

TEST_F(CubeImageTest, WithoutALightDirectionTheLightIsZeroEveryFrame) {
    WriteImage("wall.png", 1, 1, {kWhite});
    auto* effect = LoadWall("");
    ASSERT_NE(effect, nullptr);
    for (int frame = 0; frame < 2; ++frame) {
        LogCapture log;
        Run(frame);
        const auto texts = log.Texts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Couldn't find param 'lightDirection'"), texts.end());
        const Vec3 light = effect->GetRenderer()->lightDirection;
        EXPECT_EQ(light.x, 0.0f);
        EXPECT_EQ(light.y, 0.0f);
        EXPECT_EQ(light.z, 0.0f);
    }
}

TEST_F(CubeImageTest, AFailedRebuildLeavesAnEmptyWallUntilThePictureIsFixed) {
    WriteImage("wall.png", 2, 1, {kWhite, kWhite});
    auto* effect = LoadWall(Light());
    ASSERT_NE(effect, nullptr);
    Data().Write("wall.png", "broken");
    TestSupport::Touch(Data().Path() / "wall.png");
    LogCapture log;
    Run(0.0);
    EXPECT_EQ(effect->GetRenderer()->GetCount(), 0u);
    const auto& lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        TestSupport::LogLine{"Effects::CubeImage::CreateCubes",
                                             "Error creating texture from 'wall.png'"}),
              lines.end());
    WriteImage("wall.png", 3, 1, {kWhite, kWhite, kWhite});
    TestSupport::Touch(Data().Path() / "wall.png");
    Run(0.0);
    EXPECT_EQ(effect->GetRenderer()->GetCount(), 3u);
}

}  // namespace
