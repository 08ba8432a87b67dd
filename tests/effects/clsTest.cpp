#include "effects/cls.h"

#include <gtest/gtest.h>

#include "effects/screenEffectFixture.h"
#include "support/logCapture.h"

namespace {

using TestSupport::LogCapture;
using TestSupport::LogLine;
using TestSupport::PixelNear;

using ClsTest = TestSupport::ScreenEffectTest;

TEST_F(ClsTest, WithoutColourClearsToOpaqueBlack) {
    ASSERT_TRUE(Load("<effect type='CLS'/>"));
    Fill({0.5f, 0.5f, 0.5f, 0.5f});
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
    const auto picture = Current();
    EXPECT_TRUE(PixelNear(picture, 0, 0, {0, 0, 0, 255}, 0));
    EXPECT_TRUE(PixelNear(picture, 799, 599, {0, 0, 0, 255}, 0));
}

TEST_F(ClsTest, ColourTrackAnimatesWithTheLocalTime) {
    ASSERT_TRUE(
        Load("<effect type='CLS' start='4' speed='0.5'><param key='colour' type='vec4'>"
             "<key time='0' x='0' y='0' z='1' w='1'/>"
             "<key time='2' x='1' y='0.5' z='0' w='1'/></param></effect>"));
    Run(4.0);
    EXPECT_TRUE(PixelNear(Current(), 10, 10, {0, 0, 255, 255}, 1));
    Run(6.0);  // local time 1: half way
    EXPECT_TRUE(PixelNear(Current(), 10, 10, {128, 64, 128, 255}, 1));
    Run(9.0);
    EXPECT_TRUE(PixelNear(Current(), 10, 10, {255, 128, 0, 255}, 1));
}

TEST_F(ClsTest, ClearsOnlyTheCurrentTexture) {
    ASSERT_TRUE(
        Load("<effect type='CLS'><param key='colour' type='vec4' x='1' y='1' z='1' w='1'/></effect>"));
    pair->Flip();
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    EXPECT_TRUE(PixelNear(Current(), 10, 10, {255, 255, 255, 255}, 0));
    EXPECT_TRUE(PixelNear(Read(pair->textures[0]->texture), 10, 10, {0, 0, 0, 0}, 0));
}

TEST_F(ClsTest, ColourOfAnotherTypeClearsToTransparentAfterAMessage) {
    ASSERT_TRUE(Load("<effect type='CLS'><param key='colour' type='double' value='1'/></effect>"));
    Fill({1.0f, 1.0f, 1.0f, 1.0f});
    LogCapture log;
    Run(0.0);
    const auto& lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        LogLine{"ParamVariant::GetAsVec4", "Accessing param as the wrong type"}),
              lines.end());
    EXPECT_TRUE(PixelNear(Current(), 10, 10, {0, 0, 0, 0}, 0));
}

}  // namespace
