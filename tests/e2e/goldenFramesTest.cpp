// Golden frames of the bundled show, one in each scene: the program renders single frames headless
// and each is compared with a reference picture committed under tests/e2e/golden/, within a small
// tolerance. On a mismatch the actual, expected and difference pictures land in the build's
// "gpu-test-images" folder.
//
// After an intended change of the show, refresh the references with
//   VANTRISK_UPDATE_GOLDEN=1 ctest -R GoldenFrames
// and look at every picture before committing them.
#include <gtest/gtest.h>

#include "e2e/goldenFrames.h"

namespace {

using TestSupport::GoldenFrame;

// One frame in each scene, some on a beat and some between beats, where the generators, the grading
// ramp, the layer and the fades show on their own.
constexpr GoldenFrame kFrames[] = {
    {3.25, "scene-intro-plasma"},      // the plasma fading in, before the beat
    {10.15, "scene-groove-tunnel"},    // the tunnel graded through the colour ramp
    {30.25, "scene-melody-layer"},     // the kaleidoscope layer over the plasma
    {44.0, "scene-break-tunnel"},      // the slow tunnel, dimmed, with no flash
    {52.1, "scene-everything-layer"},  // the fast tunnel under the layer
    {132.0, "scene-outro-fade"},       // the plasma fading to black, on a beat
};

// Per channel, out of 255; and the share of pixels allowed beyond it (edges of thin glowing lines
// may land one pixel apart between drivers).
constexpr int kTolerance = 4;
constexpr double kAllowedBad = 0.002;

class GoldenFrames : public testing::TestWithParam<GoldenFrame> {};

TEST_P(GoldenFrames, BundledShowMatchesItsReference) {
    TestSupport::CheckGoldenFrame(GetParam(), kTolerance, kAllowedBad);
}

INSTANTIATE_TEST_SUITE_P(BundledShow, GoldenFrames, testing::ValuesIn(kFrames),
                         TestSupport::GoldenFrameTestName);

}  // namespace
