#include "e2e/goldenFrames.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "e2e/showFolder.h"
#include "support/gpuFixture.h"
#include "support/process.h"
#include "support/tempFolder.h"

namespace TestSupport {

namespace fs = std::filesystem;

void CheckGoldenFrame(const GoldenFrame& frame, int tolerance, double allowedBad) {
    if (!fs::exists(VANTRISK_BINARY)) GTEST_SKIP() << "The program is not built in this build folder";

    // The show reads "data/" of its working folder.
    TempFolder folder;
    fs::create_directory_symlink(fs::path(VANTRISK_SOURCE_DIR) / "data", folder.Path() / "data");
    const fs::path output = folder.Path() / "frame.png";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", frame.seconds);
    std::string log;
    const int code = RunCommand({VANTRISK_BINARY, "--frame", seconds, output.string()}, &log, folder.Path(),
                                {}, std::chrono::seconds(600));
    ASSERT_EQ(code, 0) << log;

    const Image actual = ReadPicture(output);
    ASSERT_EQ(actual.width, 800u) << log;
    ASSERT_EQ(actual.height, 600u);

    const fs::path reference =
        fs::path(VANTRISK_TEST_DATA) / "e2e" / "golden" / (std::string(frame.name) + ".png");
    if (const char* update = std::getenv("VANTRISK_UPDATE_GOLDEN"); update && *update && *update != '0') {
        fs::create_directories(reference.parent_path());
        fs::copy_file(output, reference, fs::copy_options::overwrite_existing);
        GTEST_SKIP() << "Reference written: " << reference.string();
    }
    const Image expected = ReadPicture(reference);
    ASSERT_FALSE(expected.rgba.empty())
        << reference.string() << " cannot be read (VANTRISK_UPDATE_GOLDEN=1 writes it)";
    EXPECT_TRUE(ImagesNear(actual, expected, tolerance, allowedBad, std::string("golden-") + frame.name));
}

std::string GoldenFrameTestName(const testing::TestParamInfo<GoldenFrame>& info) {
    std::string name = info.param.name;
    for (char& c : name) {
        if (c == '-') c = '_';
    }
    return name;
}

}  // namespace TestSupport
