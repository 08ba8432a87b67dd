// The golden-frame check shared by the golden-frame suites: the built program renders one frame of the
// bundled show headless with "--frame", and the picture is compared with a reference under
// tests/e2e/golden/. With VANTRISK_UPDATE_GOLDEN set (and not "0") the reference is rewritten instead.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace TestSupport {

/// One frame: music time in seconds (one beat is 0.5 s) and the reference's name.
struct GoldenFrame {
    double seconds;
    const char* name;
};

/// Renders `frame` with the built program and expects it within `tolerance` (per channel, out of 255)
/// of its reference, with at most `allowedBad` of the pixels beyond it; skips when the program is not
/// built or when it rewrites the reference.
void CheckGoldenFrame(const GoldenFrame& frame, int tolerance, double allowedBad);

/// A parameterised test's name for a frame: the reference's name with '-' turned into '_'.
std::string GoldenFrameTestName(const testing::TestParamInfo<GoldenFrame>& info);

}  // namespace TestSupport
