#include "effects/rgbSplit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "effects/bufferReadback.h"
#include "effects/screenEffectFixture.h"
#include "support/logCapture.h"

namespace {

using Effects::RGBSplit;
using TestSupport::Image;
using TestSupport::LogCapture;

TEST(RGBSplitStep, RightAnglesGiveOneTexelAlongAnAxis) {
    float x = 0.0f;
    float y = 0.0f;
    RGBSplit::DirectionStep(0.0f, x, y);
    EXPECT_EQ(x, 0.00125f);
    EXPECT_EQ(y, 0.0f);
    RGBSplit::DirectionStep(90.0f, x, y);
    EXPECT_NEAR(x, 0.0f, 1e-9f);
    EXPECT_EQ(y, 0.0016666667f);
    RGBSplit::DirectionStep(180.0f, x, y);
    EXPECT_EQ(x, -0.00125f);
    EXPECT_NEAR(y, 0.0f, 1e-9f);
}

TEST(RGBSplitStep, StepIsOneTexelLongAtEveryAngle) {
    for (int degrees = -360; degrees <= 720; degrees += 5) {
        float x = 0.0f;
        float y = 0.0f;
        RGBSplit::DirectionStep(static_cast<float>(degrees), x, y);
        // In texels of the 800 by 600 picture, not in texture units.
        EXPECT_NEAR(std::hypot(x * 800.0, y * 600.0), 1.0, 1e-6) << degrees;
    }
    // A diagonal moves by about 0.707 texels on each axis, not by one on each.
    float x = 0.0f;
    float y = 0.0f;
    RGBSplit::DirectionStep(45.0f, x, y);
    EXPECT_NEAR(x * 800.0f, std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(y * 600.0f, std::sqrt(0.5f), 1e-6f);
}

class RGBSplitTest : public TestSupport::ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        CopyDemoFile("rgbsplit.fx");
    }

    RGBSplit& LoadSplit(double angle, std::array<double, 3> offsets, double mix) {
        EXPECT_TRUE(Load("<effect type='RGBSplit'><param key='angle' type='double' value='" +
                         std::to_string(angle) + "'/><param key='offsets' type='vec3' x='" +
                         std::to_string(offsets[0]) + "' y='" + std::to_string(offsets[1]) + "' z='" +
                         std::to_string(offsets[2]) + "'/><param key='mix' type='double' value='" +
                         std::to_string(mix) + "'/></effect>"));
        return static_cast<RGBSplit&>(*effects.at(0));
    }

    // A white line one texel wide through the middle, on black.
    void DrawLine(bool vertical) {
        Fill({0.0f, 0.0f, 0.0f, 1.0f});
        const Gpu::Box box = vertical ? Gpu::Box{400, 0, 0, 401, 600, 1} : Gpu::Box{0, 300, 0, 800, 301, 1};
        const uint32_t width = box.right - box.left;
        const std::vector<uint8_t> white(size_t(width) * (box.bottom - box.top) * 4, 255);
        Context().UpdateSubresource(pair->Current().texture, 0, &box, white.data(), width * 4, 0);
    }
};

TEST_F(RGBSplitTest, ConstantBlockHoldsStepMixAndOffsets) {
    RGBSplit& split = LoadSplit(90.0, {-2.0, 0.5, 3.0}, 0.75);
    Run(0.0);
    const auto constants = TestSupport::ReadBufferAs<RGBSplit::Constants>(split.GetConstants().GetBuffer());
    float x = 0.0f;
    float y = 0.0f;
    RGBSplit::DirectionStep(90.0f, x, y);
    EXPECT_EQ(constants.stepX, x);
    EXPECT_EQ(constants.stepY, y);
    EXPECT_EQ(constants.mix, 0.75f);
    EXPECT_EQ(constants.offsets[0], -2.0f);
    EXPECT_EQ(constants.offsets[1], 0.5f);
    EXPECT_EQ(constants.offsets[2], 3.0f);
}

TEST_F(RGBSplitTest, ChannelsMoveByTheirOffsetsAlongTheDirection) {
    LoadSplit(0.0, {-2.0, 0.0, 3.0}, 1.0);
    DrawLine(true);
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    const Image picture = Current();
    // Each channel reads the picture at its own offset, so its line shows the opposite way.
    EXPECT_TRUE(TestSupport::PixelNear(picture, 402, 300, {255, 0, 0, 255}, 1));
    EXPECT_TRUE(TestSupport::PixelNear(picture, 400, 300, {0, 255, 0, 255}, 1));
    EXPECT_TRUE(TestSupport::PixelNear(picture, 397, 300, {0, 0, 255, 255}, 1));
    EXPECT_TRUE(TestSupport::PixelNear(picture, 401, 300, {0, 0, 0, 255}, 1));

    // At 90 degrees the split runs down the texture, along +y.
    LoadSplit(90.0, {-2.0, 0.0, 3.0}, 1.0);
    pair->current = 0;
    DrawLine(false);
    Run(0.0);
    const Image down = Current();
    EXPECT_TRUE(TestSupport::PixelNear(down, 400, 302, {255, 0, 0, 255}, 1));
    EXPECT_TRUE(TestSupport::PixelNear(down, 400, 300, {0, 255, 0, 255}, 1));
    EXPECT_TRUE(TestSupport::PixelNear(down, 400, 297, {0, 0, 255, 255}, 1));
}

TEST_F(RGBSplitTest, MixBlendsTheSplitOverThePicture) {
    LoadSplit(0.0, {-2.0, 0.0, 3.0}, 0.5);
    DrawLine(true);
    Run(0.0);
    const Image picture = Current();
    EXPECT_TRUE(TestSupport::PixelNear(picture, 400, 300, {128, 255, 128, 255}, 1));
    EXPECT_TRUE(TestSupport::PixelNear(picture, 402, 300, {128, 0, 0, 255}, 1));

    LoadSplit(0.0, {-2.0, 0.0, 3.0}, 0.0);
    pair->current = 0;
    DrawLine(true);
    Run(0.0);
    EXPECT_TRUE(TestSupport::PixelNear(Current(), 400, 300, {255, 255, 255, 255}, 1));
    EXPECT_TRUE(TestSupport::PixelNear(Current(), 402, 300, {0, 0, 0, 255}, 1));
}

TEST_F(RGBSplitTest, EachFrameAdvancesThePairByOne) {
    LoadSplit(30.0, {1.0, 2.0, 3.0}, 1.0);
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
}

TEST_F(RGBSplitTest, StaticSplitUploadsNothingAfterTheFirstFrame) {
    LoadSplit(30.0, {1.0, 2.0, 3.0}, 1.0);
    Run(0.0);
    const uint64_t uploads = Counters().uploads;
    Run(1.0);
    Run(2.0);
    EXPECT_EQ(Counters().uploads, uploads);
}

TEST_F(RGBSplitTest, MissingParametersAreLoggedAndCountAsZero) {
    ASSERT_TRUE(Load("<effect type='RGBSplit'/>"));
    RGBSplit& split = static_cast<RGBSplit&>(*effects.at(0));
    LogCapture log;
    Run(0.0);
    EXPECT_GE(log.Lines().size(), 3u);
    const auto constants = TestSupport::ReadBufferAs<RGBSplit::Constants>(split.GetConstants().GetBuffer());
    EXPECT_EQ(constants.stepX, 0.00125f);
    EXPECT_EQ(constants.stepY, 0.0f);
    EXPECT_EQ(constants.mix, 0.0f);
    EXPECT_EQ(pair->current, 1);
}

TEST_F(RGBSplitTest, UnbindableShaderGivesHotPinkWithoutFlipping) {
    Data().Write("rgbsplit.fx", "broken");
    LogCapture log;
    LoadSplit(0.0, {1.0, 0.0, -1.0}, 1.0);
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
    EXPECT_TRUE(TestSupport::PixelNear(Current(), 400, 300, {255, 105, 180, 255}, 1));
}

}  // namespace
