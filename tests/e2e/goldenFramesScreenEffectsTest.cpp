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

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "e2e/showFolder.h"
#include "support/gpuFixture.h"
#include "support/process.h"
#include "support/tempFolder.h"

namespace {

namespace fs = std::filesystem;

/// One frame: music time in seconds (one beat is 0.5 s) and the reference's name.
struct GoldenFrame {
    double seconds;
    const char* name;
};

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
    const GoldenFrame frame = GetParam();
    if (!fs::exists(VANTRISK_BINARY)) GTEST_SKIP() << "The program is not built in this build folder";

    // The show reads "data/" of its working folder.
    TestSupport::TempFolder folder;
    fs::create_directory_symlink(fs::path(VANTRISK_SOURCE_DIR) / "data", folder.Path() / "data");
    const fs::path output = folder.Path() / "frame.png";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", frame.seconds);
    std::string log;
    const int code = TestSupport::RunCommand({VANTRISK_BINARY, "--frame", seconds, output.string()}, &log,
                                             folder.Path(), {}, std::chrono::seconds(120));
    ASSERT_EQ(code, 0) << log;
    const TestSupport::Image actual = TestSupport::ReadPicture(output);
    ASSERT_EQ(actual.width, 800u) << log;
    ASSERT_EQ(actual.height, 600u);

    const fs::path reference =
        fs::path(VANTRISK_TEST_DATA) / "e2e" / "golden" / (std::string(frame.name) + ".png");
    if (const char* update = std::getenv("VANTRISK_UPDATE_GOLDEN"); update && *update && *update != '0') {
        fs::create_directories(reference.parent_path());
        fs::copy_file(output, reference, fs::copy_options::overwrite_existing);
        GTEST_SKIP() << "Reference written: " << reference.string();
    }
    const TestSupport::Image expected = TestSupport::ReadPicture(reference);
    ASSERT_FALSE(expected.rgba.empty())
        << reference.string() << " cannot be read (VANTRISK_UPDATE_GOLDEN=1 writes it)";
    EXPECT_TRUE(TestSupport::ImagesNear(actual, expected, kTolerance, kAllowedBad,
                                        std::string("golden-") + frame.name));
}

INSTANTIATE_TEST_SUITE_P(BundledShow, GoldenScreenEffects, testing::ValuesIn(kFrames),
                         [](const testing::TestParamInfo<GoldenFrame>& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 if (c == '-') c = '_';
                             }
                             return name;
                         });

}  // namespace
