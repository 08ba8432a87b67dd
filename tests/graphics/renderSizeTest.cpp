// The render size: the picture's place in the back buffer, the shared objects at a scale other than
// 1, the constants that keep their logical values there, and the supersampler's box filter.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "effects/blur.h"
#include "effects/bufferReadback.h"
#include "effects/renderTarget.h"
#include "effects/rgbSplit.h"
#include "effects/screenEffectFixture.h"
#include "graphics/renderSize.h"
#include "graphics/sharedGraphics.h"
#include "graphics/spriteRenderer.h"
#include "graphics/supersampler.h"

namespace {

using Effects::Blur;
using Effects::RGBSplit;

TEST(FitPicture, LargestCentredFourByThreeArea) {
    struct Case {
        int width, height;
        PictureRect expected;
    };
    const Case cases[] = {
        {800, 600, {0, 0, 800, 600}},       {1920, 1080, {240, 0, 1440, 1080}},
        {3840, 2160, {480, 0, 2880, 2160}}, {1600, 1200, {0, 0, 1600, 1200}},
        {1024, 768, {0, 0, 1024, 768}},     {1000, 1000, {0, 125, 1000, 750}},
        {7680, 4320, {960, 0, 5760, 4320}}, {1, 1, {0, 0, 1, 1}},
        {1280, 1024, {0, 32, 1280, 960}},
    };
    for (const Case& c : cases) {
        const PictureRect rect = FitPicture(c.width, c.height);
        EXPECT_EQ(rect.x, c.expected.x) << c.width << "x" << c.height;
        EXPECT_EQ(rect.y, c.expected.y) << c.width << "x" << c.height;
        EXPECT_EQ(rect.width, c.expected.width) << c.width << "x" << c.height;
        EXPECT_EQ(rect.height, c.expected.height) << c.width << "x" << c.height;
    }
}

// The show's objects at twice the pixels: the pair, the depth buffer and the viewport are 1600 by
// 1200, everything the shaders are told stays in the 800 by 600 frame.
class ScaleTwoTest : public TestSupport::ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(SetRenderSize(1600, 1200));
        pair = std::make_unique<RenderTexturePair>(float(g_graphics.renderWidth),
                                                   float(g_graphics.renderHeight));
        const Gpu::Viewport viewport = RenderViewport();
        Context().RSSetViewports(1, &viewport);
    }
};

TEST_F(ScaleTwoTest, DepthBufferAndViewportTakeTheRenderSize) {
    EXPECT_EQ(g_graphics.renderScale, 2.0);
    ASSERT_TRUE(g_graphics.depthTexture);
    EXPECT_EQ(g_graphics.depthTexture->Width(), 1600u);
    EXPECT_EQ(g_graphics.depthTexture->Height(), 1200u);
    ASSERT_TRUE(g_graphics.depthView);
    const Gpu::Viewport viewport = RenderViewport();
    EXPECT_EQ(viewport.Width, 1600.0f);
    EXPECT_EQ(viewport.Height, 1200.0f);
}

TEST_F(ScaleTwoTest, RenderTargetGroupsDrawIntoPairsOfTheRenderSize) {
    CopyDemoFile("final.fx");
    ASSERT_TRUE(Load("<effect type='RenderTarget'/>"));
    const auto& group = dynamic_cast<const Effects::RenderTarget&>(*effects.at(0));
    EXPECT_EQ(group.GetChildrenPair().width, 1600.0f);
    EXPECT_EQ(group.GetChildrenPair().height, 1200.0f);
    ASSERT_TRUE(group.GetChildrenPair().textures[0]->texture);
    EXPECT_EQ(group.GetChildrenPair().textures[0]->texture->Width(), 1600u);
}

TEST_F(ScaleTwoTest, BlurAndRgbSplitKeepTheirLogicalSteps) {
    CopyDemoFile("blur.fx");
    CopyDemoFile("rgbsplit.fx");
    ASSERT_TRUE(
        Load("<effect type='Blur'><param key='strength' type='double' value='1'/></effect>"
             "<effect type='RGBSplit'><param key='angle' type='double' value='30'/>"
             "<param key='offsets' type='vec3' x='1' y='2' z='3'/>"
             "<param key='mix' type='double' value='1'/></effect>"));
    Run(0.0);
    const auto blur = TestSupport::ReadBufferAs<Blur::Constants>(
        static_cast<Blur&>(*effects.at(0)).GetConstants().GetBuffer());
    EXPECT_EQ(blur.texelWidth, 1.0f / 800.0f);
    EXPECT_EQ(blur.texelHeight, 1.0f / 600.0f);
    const auto split = TestSupport::ReadBufferAs<RGBSplit::Constants>(
        static_cast<RGBSplit&>(*effects.at(1)).GetConstants().GetBuffer());
    float x = 0.0f, y = 0.0f;
    RGBSplit::DirectionStep(30.0f, x, y);
    EXPECT_EQ(split.stepX, x);
    EXPECT_EQ(split.stepY, y);
    EXPECT_EQ(x, std::cos(30.0f * 0.017453292f) / 800.0f);
}

TEST_F(ScaleTwoTest, SpriteKeepsItsTargetSizeAndLandsAtTwiceItsPixelPlace) {
    CopyDemoFile("sprites.fx");
    Data().Write("white.png",
                 TestSupport::Png(8, 8, std::vector<uint32_t>(64, TestSupport::Rgba(255, 255, 255))));
    SpriteRenderer renderer("white.png", 8, 8, 1, 1);
    const auto constants = TestSupport::ReadBufferAs<SpriteConstants>(renderer.GetConstants().GetBuffer());
    EXPECT_EQ(constants.targetSize.x, 800.0f);
    EXPECT_EQ(constants.targetSize.y, 600.0f);

    Fill({0.0f, 0.0f, 0.0f, 1.0f});
    SpriteInstance sprite;
    sprite.x = 100.0f;
    sprite.y = 50.0f;
    sprite.colour = {1.0f, 1.0f, 1.0f, 1.0f};
    renderer.SetInstances(&sprite, 1);
    renderer.Render(pair.get());
    const TestSupport::Image image = Current();
    ASSERT_EQ(image.width, 1600u);
    // The 8 by 8 cell covers logical (100..108, 50..58): pixels 200..215 and 100..115.
    for (const auto& [px, py, lit] : std::vector<std::tuple<int, int, bool>>{{200, 100, true},
                                                                             {215, 115, true},
                                                                             {199, 100, false},
                                                                             {200, 99, false},
                                                                             {216, 108, false},
                                                                             {208, 116, false}}) {
        EXPECT_EQ(image.At(px, py)[0] > 128, lit) << px << "," << py;
    }
}

// The box filter, for each factor: every output pixel is the mean of its factor by factor block,
// also when the picture sits away from the corner of the target it is written into.
class SupersamplerTest : public TestSupport::ShowTest {};

TEST_F(SupersamplerTest, EachPixelIsTheMeanOfItsBlock) {
    for (const int factor : {2, 3, 4}) {
        const int width = 3, height = 2;  // the picture, in output pixels
        Supersampler sampler(width * factor, height * factor);
        ASSERT_TRUE(sampler.IsReady());
        std::vector<uint8_t> texels(size_t(width * factor) * height * factor * 4);
        for (int y = 0; y < height * factor; ++y) {
            for (int x = 0; x < width * factor; ++x) {
                uint8_t* texel = &texels[(size_t(y) * width * factor + x) * 4];
                texel[0] = uint8_t((x * 37 + y * 11) % 256);
                texel[1] = uint8_t((x * y * 13) % 256);
                texel[2] = uint8_t(x == y ? 255 : 0);
                texel[3] = 255;
            }
        }
        Context().UpdateSubresource(sampler.Target()->GetResource(), 0, nullptr, texels.data(),
                                    uint32_t(width * factor * 4), 0);
        const Target output = MakeTarget(7, 5, {0, 0, 1, 1});
        sampler.Resolve(output.view, {2.0f, 1.0f, float(width), float(height), 0.0f, 1.0f});
        const TestSupport::Image image = Read(output.texture);
        for (int oy = 0; oy < height; ++oy) {
            for (int ox = 0; ox < width; ++ox) {
                for (int channel = 0; channel < 3; ++channel) {
                    double sum = 0;
                    for (int y = 0; y < factor; ++y)
                        for (int x = 0; x < factor; ++x)
                            sum += texels[(size_t(oy * factor + y) * width * factor + ox * factor + x) * 4 +
                                          channel];
                    EXPECT_NEAR(image.At(2 + ox, 1 + oy)[channel], sum / (factor * factor), 1.0)
                        << "factor " << factor << " pixel " << ox << "," << oy << " channel " << channel;
                }
            }
        }
        // Outside the viewport nothing is written.
        EXPECT_TRUE(TestSupport::PixelNear(image, 0, 0, {0, 0, 255, 255}));
        EXPECT_TRUE(TestSupport::PixelNear(image, 5, 3, {0, 0, 255, 255}));
    }
}

}  // namespace
