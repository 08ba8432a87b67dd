#include "effects/cubeCube.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "effects/cubeEffectFixture.h"
#include "support/logCapture.h"

namespace {

using TestSupport::CubePosition;
using TestSupport::LogCapture;
using TestSupport::LogLine;
using TestSupport::Rgba;

::Image::Picture Picture(int width, int height, const std::vector<uint32_t>& pixels) {
    ::Image::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.rgba.resize(pixels.size() * 4);
    std::memcpy(picture.rgba.data(), pixels.data(), picture.rgba.size());
    return picture;
}

constexpr uint32_t kBlack = Rgba(0, 0, 0);
constexpr uint32_t kWhite = Rgba(255, 255, 255);

class CubeCubeTest : public TestSupport::CubeSceneTest {
protected:
    Effects::CubeCube* LoadCube(const std::string& params = "") {
        if (!Load("<effect type='CubeCube'><param key='image' type='string' value='relief.png'/>" + params +
                  "</effect>")) {
            return nullptr;
        }
        return static_cast<Effects::CubeCube*>(effects.front().get());
    }
};

TEST_F(CubeCubeTest, OneLitPixelMakesOneColumnWhateverTheBlackOnesAround) {
    for (const auto& pixels :
         {std::vector<uint32_t>{kBlack, kWhite}, std::vector<uint32_t>{kWhite, kBlack}}) {
        const auto cubes = Effects::CubeCube::BuildRelief(Picture(2, 1, pixels), 0.7f, 0.0f, 1.0f, 0.5f);
        ASSERT_EQ(cubes.size(), 1u);
        // The first draw of the generator is 12345 / 65535 = 0.18837.
        const float height = 1.0f + 0.18837f * 0.5f;
        EXPECT_NEAR(cubes[0].world.m[1][1], height, 1e-4f);
        EXPECT_NEAR(CubePosition(cubes[0]).y, height * 0.5f, 1e-4f);
        EXPECT_NEAR(cubes[0].colourSpecular.w, 80.0f, 1e-4f);
        EXPECT_NEAR(cubes[0].colourUnlit.x, 0.7f, 1e-6f);
        EXPECT_EQ(cubes[0].world.m[0][0], 1.1f);
    }
}

TEST_F(CubeCubeTest, ColumnsStandOnAGridCentredOnTheColumnBoundary) {
    const auto cubes = Effects::CubeCube::BuildRelief(
        Picture(4, 2, std::vector<uint32_t>(8, Rgba(10, 200, 30))), 0.5f, 0.0f, 1.0f, 0.5f);
    ASSERT_EQ(cubes.size(), 8u);
    const float xs[4] = {-2, -1, 0, 1};
    for (size_t i = 0; i < cubes.size(); ++i) {
        EXPECT_EQ(CubePosition(cubes[i]).x, xs[i % 4]) << i;
        EXPECT_EQ(CubePosition(cubes[i]).z, i < 4 ? -1.0f : 0.0f) << i;
    }
    // However dark, a pixel that is not exactly black is a column.
    EXPECT_EQ(Effects::CubeCube::BuildRelief(Picture(1, 1, {Rgba(0, 0, 1)}), 0.5f, 0, 1, 0.5f).size(), 1u);
}

TEST_F(CubeCubeTest, EveryBuildOfOnePictureGivesTheSameRelief) {
    std::vector<uint32_t> pixels;
    for (uint32_t i = 0; i < 64; ++i) pixels.push_back(Rgba(i * 4, 255 - i * 4, (i * 37) & 255));
    const auto a = Effects::CubeCube::BuildRelief(Picture(8, 8, pixels), 0.7f, 0.2f, 1.5f, 2.0f);
    const auto b = Effects::CubeCube::BuildRelief(Picture(8, 8, pixels), 0.7f, 0.2f, 1.5f, 2.0f);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(CubeInstance)), 0);
    EXPECT_NE(a[0].world.m[1][1], a[1].world.m[1][1]);  // the random part differs between columns
}

TEST_F(CubeCubeTest, AnAllBlackPictureLoadsWithNoCubesAndDrawsNothing) {
    WriteImage("relief.png", 3, 3, std::vector<uint32_t>(9, kBlack));
    auto* effect = LoadCube();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->GetRenderer()->GetCount(), 0u);
    Counters().Reset();
    Run(0.0);
    EXPECT_EQ(Counters().draws, 0u);
}

TEST_F(CubeCubeTest, TheSixFacesPointAlongAllSixAxes) {
    // One tall column makes a cross of six arms: seen from the front the four in the picture plane
    // show, seen from above the ones along Z take the place of those along Y.
    WriteImage("relief.png", 1, 1, {kWhite});
    ASSERT_NE(LoadCube("<param key='min' type='double' value='6'/>"), nullptr);
    for (const Vec3 rotation : {Vec3{0, 0, 0}, Vec3{0, 90, 0}}) {
        Camera_Reset();
        LookAt(40.0f, rotation);
        Fill({0, 0, 0, 1});
        Context().ClearDepthStencilView(g_graphics.depthView, Gpu::CLEAR_DEPTH, 1.0f, 0);
        Counters().Reset();
        Run(0.0);
        EXPECT_EQ(Counters().draws, 6u);
        const auto picture = Current();
        const bool fromAbove = rotation.y != 0;
        for (const Vec3 arm :
             {Vec3{5, 0, 0}, Vec3{-5, 0, 0}, Vec3{0, 5, 0}, Vec3{0, -5, 0}, Vec3{0, 0, 5}, Vec3{0, 0, -5}}) {
            const bool alongView = fromAbove ? arm.y != 0 : arm.z != 0;
            if (alongView) continue;
            EXPECT_FALSE(IsBackground(picture, Project(arm)))
                << "arm " << arm.x << "," << arm.y << "," << arm.z << (fromAbove ? " from above" : "");
        }
        EXPECT_TRUE(IsBackground(picture, Project({5, 5, 5})));
    }
}

TEST_F(CubeCubeTest, OffsetPushesTheFacesOutAndRotationTurnsTheWhole) {
    WriteImage("relief.png", 1, 1, {kWhite});
    ASSERT_NE(LoadCube("<param key='offset' type='double' value='8'/>"
                       "<param key='rotation' type='vec3' x='0' y='0' z='45'/>"),
              nullptr);
    LookAt(40.0f);
    Run(0.0);
    const auto picture = Current();
    // The +Y face's column stands from 8 to about 9 up, turned 45 degrees about Z towards -X.
    const Matrix turn = Matrix::RotationDegrees({0, 0, 45});
    EXPECT_FALSE(IsBackground(picture, Project(turn.TransformPoint({0, 8.5f, 0}))));
    EXPECT_TRUE(IsBackground(picture, Project({0, 8.5f, 0})));
}

TEST_F(CubeCubeTest, EditingThePictureRebuildsTheReliefInTheNextFrame) {
    WriteImage("relief.png", 2, 1, {kWhite, kBlack});
    auto* effect = LoadCube();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->GetRenderer()->GetCount(), 1u);
    WriteImage("relief.png", 2, 2, {kWhite, kWhite, kWhite, kBlack});
    TestSupport::Touch(Data().Path() / "relief.png");
    Run(0.0);
    EXPECT_EQ(effect->GetRenderer()->GetCount(), 3u);
    // The rebuilt relief is lit as at load.
    EXPECT_NEAR(effect->GetRenderer()->lightDirection.y, -0.98058f, 1e-5f);
}

TEST_F(CubeCubeTest, UnreadablePicturesFailTheLoadWithTheirMessage) {
    struct Case {
        const char* name;
        bool write;
        std::string contents;
        std::string message;
    };
    const Case cases[] = {
        {"missing", false, "", "Image file 'relief.png' couldn't be opened"},
        {"empty", true, "", "Image file 'relief.png' couldn't be opened"},
        {"not an image", true, "this is text", "Error creating texture from 'relief.png'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(Data().Path() / "relief.png");
        if (c.write) Data().Write("relief.png", c.contents);
        LogCapture log;
        EXPECT_EQ(LoadCube(), nullptr);
        const auto& lines = log.Lines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), LogLine{"Effects::CubeCube::CreateCubes", c.message}),
                  lines.end());
    }
}

TEST_F(CubeCubeTest, WithoutAnImageItLoadsEmptyAfterTheLookupsMessages) {
    LogCapture log;
    ASSERT_TRUE(Load("<effect type='CubeCube'/>"));
    const auto texts = log.Texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Couldn't find param 'image'"), texts.end());
    Counters().Reset();
    Run(0.0);
    EXPECT_EQ(Counters().draws, 0u);
}

TEST_F(CubeCubeTest, AbsurdNumbersDoNotStopTheShow) {
    WriteImage("relief.png", 2, 2, {kWhite, kWhite, kWhite, kWhite});
    for (const char* value : {"nan", "inf", "-inf", "1e38", "-1e30"}) {
        SCOPED_TRACE(value);
        const std::string v = value;
        ASSERT_NE(LoadCube("<param key='min' type='double' value='" + v +
                           "'/><param key='variation' type='double' value='" + v +
                           "'/><param key='offset' type='double' value='" + v +
                           "'/><param key='rotation' type='vec3' x='" + v + "' y='0' z='" + v + "'/>"),
                  nullptr);
        Run(0.0);
    }
}

}  // namespace
