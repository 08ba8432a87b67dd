#include "effects/blur.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>

#include "effects/bufferReadback.h"
#include "effects/screenEffectFixture.h"
#include "support/logCapture.h"

namespace {

using Effects::Blur;
using Effects::BlurTap;
using TestSupport::Image;
using TestSupport::LogCapture;
using TestSupport::RgbNear;

// --- The kernel ------------------------------------------------------------------------------------

TEST(BlurKernel, SearchStopsAtWidth569AfterTwentyTwoEvaluations) {
    const Blur::Kernel kernel = Blur::FindKernel();
    EXPECT_DOUBLE_EQ(kernel.sigma, 5.689999999999996);
    EXPECT_EQ(kernel.evaluations, 22);
    EXPECT_NEAR(kernel.weights[0], 0.000398106, 5e-10);
    EXPECT_NEAR(kernel.weights[25], 0.0496527, 5e-8);
    // Symmetric and normalised.
    EXPECT_DOUBLE_EQ(kernel.weights[0], kernel.weights[50]);
    EXPECT_NEAR(std::accumulate(kernel.weights.begin(), kernel.weights.end(), 0.0), 1.0, 1e-6);
}

TEST(BlurKernel, NarrowestWidthUnderflowsToNotANumber) {
    // Every weight of width 1 rounds to 0 in single precision; the search must step past it.
    const auto weights = Blur::GaussianWeights(1.0);
    EXPECT_TRUE(std::isnan(weights[0]));
    EXPECT_TRUE(std::isnan(weights[25]));
    EXPECT_FALSE(std::isnan(Blur::GaussianWeights(6.0)[0]));
}

TEST(BlurKernel, FoldsIntoTheThirteenTapsOfTheTable) {
    constexpr float kExpected[13][2] = {
        {0.0740972f, 0.664948f},  {0.0944618f, 2.490349f},  {0.0848181f, 4.482633f},
        {0.0716136f, 6.474926f},  {0.0568563f, 8.467230f},  {0.0424459f, 10.459549f},
        {0.0297967f, 12.451888f}, {0.0196687f, 14.444250f}, {0.0122083f, 16.436638f},
        {0.0071254f, 18.429056f}, {0.0039106f, 20.421507f}, {0.0020181f, 22.413994f},
        {0.0009793f, 24.406521f},
    };
    const auto taps = Blur::FoldTaps(Blur::FindKernel().weights);
    double sum = 0.0;
    for (int j = 0; j < 13; ++j) {
        SCOPED_TRACE(j);
        EXPECT_NEAR(taps[j].weight, kExpected[j][0], 6e-8);
        EXPECT_NEAR(taps[j].offset, kExpected[j][1], 5e-7);
        EXPECT_EQ(taps[j].unused[0], 0.0f);
        EXPECT_EQ(taps[j].unused[1], 0.0f);
        // Each read lies between the two texels it stands for.
        EXPECT_GE(taps[j].offset, 2.0f * j);
        EXPECT_LE(taps[j].offset, 2.0f * j + 1.0f);
        sum += taps[j].weight;
    }
    EXPECT_NEAR(sum, 0.5, 1e-7);
}

// --- The effect -------------------------------------------------------------------------------------

class BlurTest : public TestSupport::ScreenEffectTest {
protected:
    void SetUp() override {
        ScreenEffectTest::SetUp();
        if (IsSkipped()) return;
        CopyDemoFile("blur.fx");
    }

    Blur& LoadBlur(const std::string& strength = "<param key='strength' type='double' value='1'/>") {
        EXPECT_TRUE(Load("<effect type='Blur'>" + strength + "</effect>"));
        return static_cast<Blur&>(*effects.at(0));
    }

    // Clears the current texture to black and draws a white line one texel wide through the middle.
    void DrawLine(bool vertical) {
        Fill({0.0f, 0.0f, 0.0f, 1.0f});
        const Gpu::Rect rect = vertical ? Gpu::Rect{400, 0, 401, 600} : Gpu::Rect{0, 300, 800, 301};
        DrawWhite(rect);
    }

    // Writes white into one rectangle of the current texture.
    void DrawWhite(const Gpu::Rect& rect) {
        const uint32_t width = static_cast<uint32_t>(rect.right - rect.left);
        const uint32_t height = static_cast<uint32_t>(rect.bottom - rect.top);
        const std::vector<uint8_t> white(size_t(width) * height * 4, 255);
        const Gpu::Box box{static_cast<uint32_t>(rect.left),  static_cast<uint32_t>(rect.top),    0,
                           static_cast<uint32_t>(rect.right), static_cast<uint32_t>(rect.bottom), 1};
        Context().UpdateSubresource(pair->Current().texture, 0, &box, white.data(), width * 4, 0);
    }
};

TEST_F(BlurTest, LoadUploadsThirteenTaps) {
    Blur& blur = LoadBlur();
    ASSERT_EQ(blur.GetTaps().GetCount(), 13u);
    ASSERT_EQ(blur.GetTaps().GetCapacity(), 32u);
    ASSERT_EQ(blur.GetTaps().GetStride(), 16u);
    const std::vector<uint8_t> bytes = TestSupport::ReadBufferBytes(blur.GetTaps().GetBuffer());
    ASSERT_EQ(bytes.size(), 32u * 16u);
    const auto expected = Blur::FoldTaps(Blur::FindKernel().weights);
    EXPECT_EQ(std::memcmp(bytes.data(), expected.data(), sizeof expected), 0);
}

TEST_F(BlurTest, ConstantBlockCarriesTexelSizeStrengthAndTapCount) {
    Blur& blur = LoadBlur(
        "<param key='strength' type='double'><key time='0' value='0.5'/>"
        "<key time='10' value='2.5'/></param>");
    Run(5.0);
    const auto constants = TestSupport::ReadBufferAs<Blur::Constants>(blur.GetConstants().GetBuffer());
    EXPECT_EQ(constants.texelWidth, 0.00125f);
    EXPECT_EQ(constants.texelHeight, 0.0016666667f);
    EXPECT_FLOAT_EQ(constants.strength, 1.5f);
    EXPECT_EQ(constants.tapCount, 13u);
}

TEST_F(BlurTest, StrengthNotAboveZeroLeavesPictureAndPairAlone) {
    LoadBlur(
        "<param key='strength' type='double'><key time='0' value='1'/>"
        "<key time='4' value='0'/><key time='8' value='-1'/></param>");
    DrawLine(true);
    const Image before = Current();
    const uint64_t draws = Counters().draws;
    for (double time : {4.0, 8.0, 9.0}) {
        Run(time);
        EXPECT_EQ(pair->current, 0) << time;
    }
    EXPECT_EQ(Counters().draws, draws);
    EXPECT_TRUE(TestSupport::ImagesNear(Current(), before, 0, 0.0, "blur-strength-zero"));
    EXPECT_TRUE(TestSupport::PixelNear(Read(pair->textures[1]->texture), 400, 300, {0, 0, 0, 0}, 0));
}

TEST_F(BlurTest, SteadyStrengthUploadsNothingAfterTheFirstFrame) {
    LoadBlur();
    Run(0.0);
    const uint64_t uploads = Counters().uploads;
    Run(1.0);
    Run(2.0);
    EXPECT_EQ(Counters().uploads, uploads);
    EXPECT_EQ(pair->current, 0);
}

TEST_F(BlurTest, MissingStrengthDrawsNothing) {
    LoadBlur("");
    Fill({0.2f, 0.4f, 0.6f, 1.0f});
    LogCapture log;
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
    EXPECT_FALSE(log.Lines().empty());
    EXPECT_TRUE(RgbNear(Current(), 400, 300, {51, 102, 153}));
}

// A one-texel line spreads over 25 texels on each side with the kernel's weights. The kernel is
// built from texel pairs read through the linear filter, whose blend is quantised by the rasterizer,
// so each texel may miss its weight by a little more than the 8-bit rounding.
void ExpectGaussianProfile(const Image& picture, bool alongX) {
    const auto weights = Blur::FindKernel().weights;
    int total = 0;
    for (int d = -30; d <= 30; ++d) {
        const uint32_t x = alongX ? 400 + d : 200;
        const uint32_t y = alongX ? 300 : 300 + d;
        const double expected = std::abs(d) <= 25 ? 255.0 * weights[25 + d] : 0.0;
        const auto pixel = picture.At(x, y);
        EXPECT_NEAR(pixel[0], expected, 1.5) << "at " << d;
        EXPECT_EQ(pixel[0], pixel[1]) << "at " << d;
        EXPECT_EQ(pixel[0], pixel[2]) << "at " << d;
        total += pixel[0];
    }
    // Nothing lost, nothing made up: the spread line still sums to one white texel.
    EXPECT_NEAR(total, 255, 26);
}

TEST_F(BlurTest, HorizontalPassSpreadsAVerticalLineWithTheKernelsProfile) {
    LoadBlur();
    pair->Flip();  // start from the second texture, so that two flips end there again
    DrawLine(true);
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    // The line runs the full height, so the vertical pass leaves the horizontal profile as it is.
    ExpectGaussianProfile(Current(), true);
}

TEST_F(BlurTest, VerticalPassSpreadsAHorizontalLineWithTheKernelsProfile) {
    LoadBlur();
    DrawLine(false);
    Run(0.0);
    EXPECT_EQ(pair->current, 0);
    ExpectGaussianProfile(Current(), false);
}

TEST_F(BlurTest, StrengthSpreadsTheReadsFurther) {
    LoadBlur("<param key='strength' type='double' value='2'/>");
    DrawLine(true);
    Run(0.0);
    const Image picture = Current();
    // Tap 6 reads 12.45 texels out at strength 1, 24.9 at strength 2: light reaches 25 texels out,
    // where strength 1 leaves practically nothing (255 times the outermost weight rounds to 0).
    EXPECT_GT(picture.At(400 + 25, 300)[0], 3);
    EXPECT_GT(picture.At(400 - 25, 300)[0], 3);
    EXPECT_LT(picture.At(400, 300)[0], 255.0 * Blur::FindKernel().weights[25]);
}

TEST_F(BlurTest, FailingVerticalEntryBlursHorizontallyOnlyAndPaintsTheBackBufferPink) {
    // A file without the vertical entry.
    std::string broken =
        TestSupport::ReadHostFile(std::filesystem::path(VANTRISK_SOURCE_DIR) / "data/blur.fx");
    const size_t at = broken.find("PS_NoMaskVertical(");
    ASSERT_NE(at, std::string::npos);
    broken.replace(at, 17, "PS_Elsewhere");
    Data().Write("blur.fx", broken);

    LogCapture log;
    LoadBlur();
    DrawLine(true);
    const float black[4] = {0, 0, 0, 1};
    Context().ClearRenderTargetView(g_graphics.backBufferView, black);
    Run(0.0);
    EXPECT_EQ(pair->current, 1);
    ExpectGaussianProfile(Current(), true);
    EXPECT_TRUE(TestSupport::PixelNear(ReadBackBuffer(), 10, 10, {255, 105, 180, 255}, 1));
    EXPECT_FALSE(log.Lines().empty());
}

TEST_F(BlurTest, BlurReloadRecomputesTheSameTaps) {
    Blur& blur = LoadBlur();
    pugi::xml_document document;
    document.load_string("<effect type='Blur'><param key='strength' type='double' value='1'/></effect>");
    ASSERT_TRUE(blur.Load(document.child("effect")));
    EXPECT_EQ(blur.GetTaps().GetCount(), 13u);
}

}  // namespace
