// Golden frames of the bundled show, one in each scene: the program renders single frames headless
// and each is compared with a reference picture committed under tests/e2e/golden/, within a small
// tolerance. On a mismatch the actual, expected and difference pictures land in the build's
// "gpu-test-images" folder.
//
// After an intended change of the show, refresh the references with
//   VANTRISK_UPDATE_GOLDEN=1 ctest -R GoldenFrames
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

// One frame in each scene, some on a beat and some between beats, where the generators, the grading
// ramp, the layer and the fades show on their own.
constexpr GoldenFrame kFrames[] = {
    {3.25, "scene-intro-plasma"},      // the plasma fading in, before the beat
    {10.15, "scene-groove-tunnel"},    // the tunnel graded through the colour ramp
    {30.25, "scene-melody-layer"},     // the kaleidoscope layer over the plasma
    {44.0, "scene-break-tunnel"},      // the slow tunnel, dimmed, with no flash
    {52.1, "scene-everything-layer"},  // the fast tunnel under the layer
    {68.0, "scene-outro-fade"},        // the plasma fading to black, on a beat
};

// Per channel, out of 255; and the share of pixels allowed beyond it (edges of thin glowing lines
// may land one pixel apart between drivers).
constexpr int kTolerance = 4;
constexpr double kAllowedBad = 0.002;

std::string Format(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

class GoldenFrames : public testing::TestWithParam<GoldenFrame> {};

TEST_P(GoldenFrames, BundledShowMatchesItsReference) {
    const GoldenFrame frame = GetParam();
    if (!fs::exists(VANTRISK_BINARY)) GTEST_SKIP() << "The program is not built in this build folder";

    // The show reads "data/" of its working folder.
    TestSupport::TempFolder folder;
    fs::create_directory_symlink(fs::path(VANTRISK_SOURCE_DIR) / "data", folder.Path() / "data");
    const fs::path output = folder.Path() / "frame.png";
    std::string log;
    const int code =
        TestSupport::RunCommand({VANTRISK_BINARY, "--frame", Format(frame.seconds), output.string()}, &log,
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

INSTANTIATE_TEST_SUITE_P(BundledShow, GoldenFrames, testing::ValuesIn(kFrames),
                         [](const testing::TestParamInfo<GoldenFrame>& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 if (c == '-') c = '_';
                             }
                             return name;
                         });

}  // namespace
