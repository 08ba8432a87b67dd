// Golden frames of the bundled show's moving cube scenes: the program renders single frames headless
// and each is compared with a reference under tests/e2e/golden/ (see goldenFramesTest.cpp for
// refreshing them after an intended change).
#include <gtest/gtest.h>

#include "e2e/goldenFrames.h"

namespace {

using TestSupport::GoldenFrame;

constexpr GoldenFrame kFrames[] = {
    {95.25, "motion-rain"},     // the rain rushing on after a kick, the atlas cube tumbling through it
    {99.0, "motion-cluster"},   // two blobs merged and one apart in the grown cage
    {103.0, "motion-lattice"},  // inside the rippling lattice, half way through the dive
    {109.0, "motion-spiral"},   // the three arms at full height, pushed out on the beat
};

// Lit edges of hundreds of small tumbling cubes may land a pixel apart between rasterizer versions.
constexpr int kTolerance = 4;
constexpr double kAllowedBad = 0.004;

class GoldenFramesMotion : public testing::TestWithParam<GoldenFrame> {};

TEST_P(GoldenFramesMotion, BundledShowMatchesItsReference) {
    TestSupport::CheckGoldenFrame(GetParam(), kTolerance, kAllowedBad);
}

INSTANTIATE_TEST_SUITE_P(BundledShow, GoldenFramesMotion, testing::ValuesIn(kFrames),
                         TestSupport::GoldenFrameTestName);

}  // namespace
