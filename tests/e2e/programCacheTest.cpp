// The bundled show started twice in one folder: the second start takes its linked programs from the
// cache the first left, and draws the very same picture; damaged cache files only cost a compile.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/showFolder.h"
#include "support/gpuFixture.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using TestSupport::ShowFolder;

int RunFrame(const ShowFolder& show, const std::string& output, std::string* log) {
    const int code = TestSupport::RunCommand({VANTRISK_BINARY, "--frame", "40", output}, log, show.Path(),
                                             {"SDL_AUDIODRIVER=dummy"}, 600s);
    return code;
}

std::vector<fs::path> StoredPrograms(const ShowFolder& show) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(show.Path() / "ShaderCache" / "Programs", error))
        if (entry.path().extension() == ".glprog") files.push_back(entry.path());
    return files;
}

TEST(ProgramCache, WarmStartDrawsTheSamePictureAndSurvivesDamagedFiles) {
    ShowFolder show;
    const fs::path data = fs::path(VANTRISK_SOURCE_DIR) / "data";
    for (const auto& entry : fs::directory_iterator(data))
        show.WriteData(entry.path().filename().string(), TestSupport::ReadHostFile(entry.path()));

    std::string output;
    ASSERT_EQ(RunFrame(show, "cold.png", &output), 0) << output;
    const std::vector<fs::path> stored = StoredPrograms(show);
    if (stored.empty()) GTEST_SKIP() << "the driver gives no program binaries";
    const TestSupport::Image cold = TestSupport::ReadPicture(show.Path() / "cold.png");
    ASSERT_FALSE(cold.rgba.empty());

    ASSERT_EQ(RunFrame(show, "warm.png", &output), 0) << output;
    EXPECT_EQ(StoredPrograms(show).size(), stored.size());  // nothing compiled anew
    const TestSupport::Image warm = TestSupport::ReadPicture(show.Path() / "warm.png");
    EXPECT_TRUE(warm.rgba == cold.rgba) << "the warm start's picture differs from the cold start's";

    // One file cut short, one overwritten with text: both are logged and compiled again.
    fs::resize_file(stored[0], fs::file_size(stored[0]) / 2);
    std::ofstream(stored[stored.size() / 2], std::ios::binary | std::ios::trunc) << "not a program";
    ASSERT_EQ(RunFrame(show, "mended.png", &output), 0) << output;
    const TestSupport::Image mended = TestSupport::ReadPicture(show.Path() / "mended.png");
    EXPECT_TRUE(mended.rgba == cold.rgba) << "the picture after damaged cache files differs";
    const std::string log = show.Log();
    size_t damaged = 0;
    for (size_t at = 0; (at = log.find("compiling its shader again", at)) != std::string::npos; ++at)
        ++damaged;
    EXPECT_EQ(damaged, stored.size() > 1 ? 2u : 1u) << log;
}

}  // namespace
