#include "effects/cubeTorus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

::Image::Picture Picture(int width, int height, uint32_t colour) {
    ::Image::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.rgba.resize(size_t(width) * height * 4);
    for (size_t i = 0; i < picture.rgba.size(); i += 4) std::memcpy(&picture.rgba[i], &colour, 4);
    return picture;
}

const Effects::CubeTorus::Shape kShape{20.0f, 5.0f, 3.0f};

class CubeTorusTest : public TestSupport::CubeSceneTest {
protected:
    Effects::CubeTorus* LoadTorus(const std::string& extra = "") {
        if (!Load(
                "<effect type='CubeTorus'><param key='image' type='string' value='colour.png'/>"
                "<param key='heightmap' type='string' value='height.png'/>"
                "<param key='radius1' type='double' value='20'/><param key='radius2' type='double' "
                "value='5'/>"
                "<param key='height' type='double' value='3'/><param key='speed' type='double' value='0'/>" +
                extra + "</effect>")) {
            return nullptr;
        }
        return static_cast<Effects::CubeTorus*>(effects.front().get());
    }
    void WriteFlat(const std::string& name, int width, int height, uint32_t colour) {
        WriteImage(name, width, height, std::vector<uint32_t>(size_t(width) * height, colour));
    }
};

TEST_F(CubeTorusTest, OnlyExactMagentaIsTransparent) {
    ::Image::Picture image = Picture(2, 2, Rgba(255, 0, 255));
    image.rgba[4] = 254;  // (254, 0, 255)
    const auto cubes = Effects::CubeTorus::BuildTorus(image, Picture(2, 2, Rgba(0, 0, 0)), kShape);
    ASSERT_EQ(cubes.size(), 1u);
    EXPECT_NEAR(cubes[0].colourLit.x, 254.0f / 255.0f, 1e-6f);
    EXPECT_EQ(cubes[0].colourSpecular.w, 10.0f);
}

TEST_F(CubeTorusTest, CubesSitOnTheTubePushedOutByTheHeightMapsRed) {
    for (const uint32_t height : {Rgba(0, 255, 255), Rgba(255, 0, 0)}) {
        const float push = (height & 0xff) ? 3.0f : 0.0f;  // only red counts, a height of 1 pushes by 3
        const auto cubes =
            Effects::CubeTorus::BuildTorus(Picture(8, 6, Rgba(10, 20, 30)), Picture(8, 6, height), kShape);
        ASSERT_EQ(cubes.size(), 48u);
        for (size_t i = 0; i < cubes.size(); ++i) {
            const Vec3 p = CubePosition(cubes[i]);
            // Distance from the ring through the tube's centre.
            const float ring = std::sqrt(p.x * p.x + p.z * p.z) - 20.0f;
            EXPECT_NEAR(std::sqrt(ring * ring + p.y * p.y), 5.0f + push, 1e-3f) << i;
        }
        // The first pixel sits straight up from the tube at the start of the ring.
        const Vec3 first = CubePosition(cubes[0]);
        EXPECT_NEAR(first.y, 5.0f + push, 1e-5f);
        EXPECT_NEAR(first.z, 20.0f, 1e-5f);
    }
}

TEST_F(CubeTorusTest, ASingleRowOrColumnStaysAtAngleZero) {
    for (const auto& size : {std::pair{1, 5}, std::pair{5, 1}, std::pair{1, 1}}) {
        const auto cubes =
            Effects::CubeTorus::BuildTorus(Picture(size.first, size.second, Rgba(1, 2, 3)),
                                           Picture(size.first, size.second, Rgba(0, 0, 0)), kShape);
        for (const CubeInstance& cube : cubes) {
            for (const auto& row : cube.world.m)
                for (const float v : row) EXPECT_TRUE(std::isfinite(v));
        }
    }
}

TEST_F(CubeTorusTest, CountDrawsTheFirstPartOfTheCubes) {
    WriteFlat("colour.png", 40, 25, Rgba(200, 100, 50));
    WriteFlat("height.png", 40, 25, Rgba(0, 0, 0));
    auto* effect = LoadTorus("<param key='count' type='double' value='0.5'/>");
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->GetRenderer()->GetCount(), 1000u);
    Counters().Reset();
    Run(0.0);
    EXPECT_EQ(Counters().instances, 500u);
}

TEST_F(CubeTorusTest, PicturesThatDoNotMatchFailTheBuild) {
    struct Case {
        const char* name;
        int imageWidth, imageHeight, mapWidth, mapHeight;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"widths differ", 64, 4, 32, 4, {}},
        {"height map too short",
         8,
         6,
         8,
         5,
         {"Heightmap 'height.png' has 5 rows, fewer than the 6 of image 'colour.png'"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFlat("colour.png", c.imageWidth, c.imageHeight, Rgba(9, 9, 9));
        WriteFlat("height.png", c.mapWidth, c.mapHeight, Rgba(9, 9, 9));
        LogCapture log;
        EXPECT_EQ(LoadTorus(), nullptr);
        std::vector<std::string> messages;
        for (const LogLine& line : log.Lines()) {
            if (line.function == "Effects::CubeTorus::CreateCubes") messages.push_back(line.text);
        }
        EXPECT_EQ(messages, c.messages);
    }
}

TEST_F(CubeTorusTest, UnreadablePicturesNameTheirFile) {
    struct Case {
        const char* name;
        const char* colour;
        const char* height;
        std::string message;
    };
    const Case cases[] = {
        {"no colour image", nullptr, "png", "Image file 'colour.png' couldn't be opened"},
        {"no height map", "png", nullptr, "Heightmap file 'height.png' couldn't be opened"},
        {"broken height map", "png", "garbage", "Error creating texture from 'height.png'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(Data().Path() / "colour.png");
        std::filesystem::remove(Data().Path() / "height.png");
        if (c.colour) WriteFlat("colour.png", 4, 4, Rgba(1, 1, 1));
        if (c.height && std::string(c.height) == "png") WriteFlat("height.png", 4, 4, Rgba(1, 1, 1));
        if (c.height && std::string(c.height) != "png") Data().Write("height.png", c.height);
        LogCapture log;
        EXPECT_EQ(LoadTorus(), nullptr);
        const auto& lines = log.Lines();
        EXPECT_NE(
            std::find(lines.begin(), lines.end(), LogLine{"Effects::CubeTorus::CreateCubes", c.message}),
            lines.end());
    }
}

TEST_F(CubeTorusTest, AFailedRebuildKeepsThePreviousTorus) {
    WriteFlat("colour.png", 4, 4, Rgba(200, 0, 0));
    WriteFlat("height.png", 4, 4, Rgba(0, 0, 0));
    auto* effect = LoadTorus();
    ASSERT_NE(effect, nullptr);
    const CubeRenderer* before = effect->GetRenderer();
    WriteFlat("height.png", 2, 4, Rgba(0, 0, 0));
    TestSupport::Touch(Data().Path() / "height.png");
    Run(0.0);
    EXPECT_EQ(effect->GetRenderer(), before);
    EXPECT_EQ(effect->GetRenderer()->GetCount(), 16u);
    // Fixed again, the torus is rebuilt from both pictures.
    WriteFlat("height.png", 4, 5, Rgba(0, 0, 0));
    TestSupport::Touch(Data().Path() / "height.png");
    Run(0.0);
    EXPECT_NE(effect->GetRenderer(), before);
}

TEST_F(CubeTorusTest, SpeedTurnsTheTorusAboutTheVertical) {
    WriteFlat("colour.png", 24, 12, Rgba(255, 255, 255));
    WriteFlat("height.png", 24, 12, Rgba(0, 0, 0));
    ASSERT_NE(LoadTorus(), nullptr);
    LookAt(80.0f, {0, 60, 0});
    Run(0.0);
    const auto still = Current();
    auto* effect =
        LoadTorus("<param key='speed' type='double' value='0.1308997'/>");  // 7.5 degrees per second
    ASSERT_NE(effect, nullptr);
    Fill({0, 0, 0, 1});
    Context().ClearDepthStencilView(g_graphics.depthView, Gpu::CLEAR_DEPTH, 1.0f, 0);
    Run(2.0);  // half a step of the 24 around the ring
    const auto turned = Current();
    size_t changed = 0;
    for (size_t i = 0; i < turned.rgba.size(); ++i) changed += std::abs(turned.rgba[i] - still.rgba[i]) > 8;
    EXPECT_GT(changed, 1000u);
}

}  // namespace
