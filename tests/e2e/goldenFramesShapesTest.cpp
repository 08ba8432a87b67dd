// Golden frames of the bundled show's shapes and letters: rings of shapes on nested spheres under the
// title as it flies in and once it has settled, two of the shape-test letters added onto the plasma
// with the credit line writing itself beneath. The program renders each frame headless and it is
// compared with a reference under tests/e2e/golden/ within a small tolerance; on a mismatch the
// actual, expected and difference pictures land in the build's "gpu-test-images" folder.
//
// After an intended change of the show, refresh the references with
//   VANTRISK_UPDATE_GOLDEN=1 ctest -R GoldenShapes
// and look at every picture before committing them.
#include <gtest/gtest.h>

#include "e2e/goldenFrames.h"

namespace {

using TestSupport::GoldenFrame;

constexpr GoldenFrame kFrames[] = {
    {113.5, "shapes-sphere-title"},    // the inner sphere bouncing in, the title in flight
    {117.0, "shapes-sphere-stars"},    // three spheres, between beats: the rings at their thinnest
    {121.5, "shapes-letter-grid"},     // letter C half way: the wave through the grid of squares
    {125.5, "shapes-letter-squares"},  // letter G half way, under the whole credit line
};

// Per channel, out of 255, and the share of pixels allowed beyond it: the outlines' anti-aliased
// edges and the glyphs in flight go through the rasterizer's rounding, which may differ by a step.
constexpr int kTolerance = 4;
constexpr double kAllowedBad = 0.002;

class GoldenShapes : public testing::TestWithParam<GoldenFrame> {};

TEST_P(GoldenShapes, BundledShowMatchesItsReference) {
    TestSupport::CheckGoldenFrame(GetParam(), kTolerance, kAllowedBad);
}

INSTANTIATE_TEST_SUITE_P(BundledShow, GoldenShapes, testing::ValuesIn(kFrames),
                         TestSupport::GoldenFrameTestName);

}  // namespace
