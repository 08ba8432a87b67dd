// Golden frames of the bundled show's cube scenes: the program renders single frames headless and
// each is compared with a reference under tests/e2e/golden/ (see goldenFramesTest.cpp for refreshing
// them after an intended change).
#include <gtest/gtest.h>

#include "e2e/goldenFrames.h"

namespace {

using TestSupport::GoldenFrame;

constexpr GoldenFrame kFrames[] = {
    {67.0, "cubes-wall-rising"},   // the sunset wall half built, lit from the right
    {76.25, "cubes-emblem-cube"},  // the six faces of the emblem pushed out after a beat
    {84.5, "cubes-torus"},         // the torus grown all round, rippled by its height map
};

// Lit edges of thousands of small cubes may land a pixel apart between rasterizer versions.
constexpr int kTolerance = 4;
constexpr double kAllowedBad = 0.004;

class GoldenFramesCubes : public testing::TestWithParam<GoldenFrame> {};

TEST_P(GoldenFramesCubes, BundledShowMatchesItsReference) {
    TestSupport::CheckGoldenFrame(GetParam(), kTolerance, kAllowedBad);
}

INSTANTIATE_TEST_SUITE_P(BundledShow, GoldenFramesCubes, testing::ValuesIn(kFrames),
                         TestSupport::GoldenFrameTestName);

}  // namespace
