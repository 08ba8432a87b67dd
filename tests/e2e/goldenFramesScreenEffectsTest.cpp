// Golden frames of the bundled show where its screen effects work: the hue turning in the intro, the
// look-up grading of the groove's second half, the blurred plasma under the sharp ring layer, and the
// beat-driven colour split of the finale. The program renders each frame headless and it is compared
// with a reference under tests/e2e/golden/ within a small tolerance; on a mismatch the actual,
// expected and difference pictures land in the build's "gpu-test-images" folder.
//
// After an intended change of the show, refresh the references with
//   VANTRISK_UPDATE_GOLDEN=1 ctest -R GoldenScreenEffects
// and look at every picture before committing them.
#include <gtest/gtest.h>

#include "e2e/goldenFrames.h"

namespace {

using TestSupport::GoldenFrame;

constexpr GoldenFrame kFrames[] = {
    {6.0, "screen-intro-hue"},          // the plasma's colours turned 45 degrees
    {20.0, "screen-groove-graded"},     // the tunnel through the grading table
    {35.0, "screen-melody-blurred"},    // soft plasma under the sharp kaleidoscope
    {58.0, "screen-everything-split"},  // on the first beat of a bar: the widest split
};

// Per channel, out of 255, and the share of pixels allowed beyond it. Blurs and look-ups go through
// the rasterizer's filtering, whose rounding may differ by a step between drivers.
constexpr int kTolerance = 4;
constexpr double kAllowedBad = 0.002;

class GoldenScreenEffects : public testing::TestWithParam<GoldenFrame> {};

TEST_P(GoldenScreenEffects, BundledShowMatchesItsReference) {
    TestSupport::CheckGoldenFrame(GetParam(), kTolerance, kAllowedBad);
}

INSTANTIATE_TEST_SUITE_P(BundledShow, GoldenScreenEffects, testing::ValuesIn(kFrames),
                         TestSupport::GoldenFrameTestName);

}  // namespace
