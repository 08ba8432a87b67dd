// "vantrisk SHOW": the built program plays a show named on its command line, a folder or an archive
// file, from another working directory, which keeps the log and the pictures; what holds no show is
// "NO DATA = NO DEMO" with the reason, as for a working directory without data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/showFolder.h"
#include "support/gpuFixture.h"
#include "support/process.h"
#include "support/tempFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using TestSupport::ShowFolder;
using TestSupport::TempFolder;

// A final pass that paints one flat colour, to tell which show was read.
std::string FlatFinalShader(const char* colour) {
    return std::string(
               "struct V { float4 p : SV_Position; };\n"
               "V VS(float3 p : POSITION, float2 t : TEXCOORD0, float3 n : NORMAL) {\n"
               "  V o; o.p = float4(p * 2.0, 1.0); return o; }\n"
               "float4 PS(V i) : SV_Target { return float4(") +
           colour + ", 1.0); }\n";
}

int RunProgram(const fs::path& folder, const std::vector<std::string>& arguments, std::string* output) {
    std::vector<std::string> command{VANTRISK_BINARY};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return TestSupport::RunCommand(command, output, folder, {"SDL_AUDIODRIVER=dummy"}, 600s);
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(ShowArgument, FolderAndArchiveFilePlayFromAnotherFolder) {
    if (!fs::exists(VANTRISK_BINARY)) GTEST_SKIP() << "The program is not built in this build folder";
    // One show in a folder (data/ over demo.dat, as in a working directory) and one packed in an
    // archive file of any name; each paints its own colour.
    ShowFolder folderShow;
    folderShow.WriteArchive(
        {{"demo.xml", ShowFolder::Script("")}, {"final.fx", FlatFinalShader("1.0, 0.0, 0.0")}});
    folderShow.WriteData("final.fx", FlatFinalShader("0.0, 1.0, 0.0"));
    ShowFolder archiveShow;
    archiveShow.WriteArchive(
        {{"demo.xml", ShowFolder::Script("")}, {"final.fx", FlatFinalShader("0.0, 0.0, 1.0")}});
    fs::rename(archiveShow.Path() / "demo.dat", archiveShow.Path() / "mine.show");

    struct Case {
        const char* name;
        std::string show;  // as given on the command line, from the working folder
        std::array<int, 4> colour;
        bool archive;
    };
    TempFolder work;
    fs::create_directories(work.Path() / "shows");
    fs::create_directory_symlink(folderShow.Path(), work.Path() / "shows" / "mine");
    const Case cases[] = {
        {"folder", folderShow.Path().string(), {0, 255, 0, 255}, false},
        {"relative folder", "shows/mine", {0, 255, 0, 255}, false},
        {"archive file", (archiveShow.Path() / "mine.show").string(), {0, 0, 255, 255}, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        fs::remove_all(work.Path() / "shots");
        std::string output;
        // One second of the show, headless; SHOW may stand before or after the options.
        ASSERT_EQ(
            RunProgram(work.Path(), {test.show, "--capture", "shots", "--to", "1", "--fps", "4", "--quiet"},
                       &output),
            0)
            << output;
        std::vector<fs::path> frames;
        for (const auto& entry : fs::directory_iterator(work.Path() / "shots"))
            frames.push_back(entry.path());
        ASSERT_EQ(frames.size(), 4u);
        EXPECT_TRUE(TestSupport::PixelNear(TestSupport::ReadPicture(frames[0]), 400, 300, test.colour));
        ASSERT_EQ(RunProgram(work.Path(), {"--frame", "0.5", "still.png", test.show}, &output), 0) << output;
        EXPECT_TRUE(
            TestSupport::PixelNear(TestSupport::ReadPicture(work.Path() / "still.png"), 10, 10, test.colour));

        // The log stays in the working folder and names the show; nothing is written beside the show.
        const auto texts = TestSupport::LogTexts(TestSupport::ReadHostFile(work.Path() / "Vantrisk.log"));
        EXPECT_TRUE(
            Contains(texts, "Show: " + fs::absolute(work.Path() / test.show).lexically_normal().string()))
            << TestSupport::ReadHostFile(work.Path() / "Vantrisk.log");
        EXPECT_TRUE(Contains(texts, "Mounted archive: (null)"));
        EXPECT_EQ(Contains(texts, "Mounted directory: (null)"), !test.archive);
        EXPECT_FALSE(fs::exists(folderShow.Path() / "Vantrisk.log"));
        EXPECT_FALSE(fs::exists(archiveShow.Path() / "Vantrisk.log"));
    }
}

TEST(ShowArgument, WhatHoldsNoShowIsNoDataNoDemoWithTheReason) {
    if (!fs::exists(VANTRISK_BINARY)) GTEST_SKIP() << "The program is not built in this build folder";
    TempFolder work;
    fs::create_directories(work.Path() / "empty");
    work.Write("notes.txt", "not an archive\n");
    work.Write("loose/demo.xml", ShowFolder::Script(""));
    struct Case {
        const char* show;
        const char* reason;
    };
    const Case cases[] = {
        {"missing", "'missing' does not exist"},
        {"empty", "'empty' holds neither demo.dat nor data/"},
        {"notes.txt", "'notes.txt' is not an archive ("},
        // A show's loose files belong in its data/ folder; the message says so.
        {"loose", "demo.xml among them, go in its data/ folder"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.show);
        std::string output;
        EXPECT_EQ(RunProgram(work.Path(), {test.show, "--frame", "0", "frame.png"}, &output), 255);
        EXPECT_NE(output.find("FAIL: NO DATA = NO DEMO: "), std::string::npos) << output;
        EXPECT_NE(output.find(test.reason), std::string::npos) << output;
        EXPECT_FALSE(fs::exists(work.Path() / "frame.png"));
    }
    // The check names the same reason as its problem, and fails as it does without data.
    std::string output;
    EXPECT_EQ(RunProgram(work.Path(), {"--check", "missing"}, &output), 1);
    EXPECT_NE(output.find("NO DATA = NO DEMO: 'missing' does not exist"), std::string::npos) << output;
}

TEST(ShowArgument, FolderWithDataButNoScriptRunsAsAShowWithoutItsScript) {
    if (!fs::exists(VANTRISK_BINARY)) GTEST_SKIP() << "The program is not built in this build folder";
    ShowFolder show;
    show.WriteData("final.fx", ShowFolder::FinalShader());
    TempFolder work;
    std::string output;
    EXPECT_EQ(RunProgram(work.Path(), {show.Path().string(), "--frame", "0", "frame.png"}, &output), 0)
        << output;
    const std::string log = TestSupport::ReadHostFile(work.Path() / "Vantrisk.log");
    EXPECT_TRUE(Contains(TestSupport::LogTexts(log), "Failed to find effects manager script 'demo.xml'"))
        << log;
    EXPECT_TRUE(fs::exists(work.Path() / "frame.png"));
}

// Playback in a real window: the named show plays, F11's screenshot and the log land in the working
// folder, and the show's folder is left as it was.
TEST(ShowArgument, PlaybackInAWindowPlaysTheNamedShow) {
    if (!fs::exists(VANTRISK_BINARY)) GTEST_SKIP() << "The program is not built in this build folder";
    TestSupport::VirtualDisplay display;
    ASSERT_TRUE(display.Ready());
    ShowFolder show;
    show.WriteData("demo.xml", ShowFolder::Script(""));
    show.WriteData("final.fx", FlatFinalShader("0.0, 1.0, 0.0"));
    TempFolder work;
    TestSupport::Process program({VANTRISK_BINARY, "--windowed", show.Path().string()}, work.Path(),
                                 {display.Environment(), "SDL_AUDIODRIVER=dummy"});
    const std::string id = display.WaitForWindow("Vantrisk - Quillmar", 60s);
    ASSERT_FALSE(id.empty()) << program.Output();
    // A screenshot taken before the first frame is black; the next ones show the show.
    bool green = false;
    for (int number = 1; number <= 20 && !green; ++number) {
        display.XDoTool({"key", "--window", id, "F11"});
        char name[64];
        std::snprintf(name, sizeof name, "Screenshots/screenshot%03d.png", number);
        TestSupport::Image image;
        ASSERT_TRUE(TestSupport::WaitUntil(
            [&] {
                image = TestSupport::ReadPicture(work.Path() / name);
                return !image.rgba.empty();
            },
            60s))
            << program.Output();
        green = TestSupport::PixelNear(image, 400, 300, {0, 255, 0, 255});
    }
    EXPECT_TRUE(green) << "no screenshot showed the named show";
    display.XDoTool({"key", "--window", id, "Escape"});
    const auto code = program.Wait(60s);
    ASSERT_TRUE(code.has_value()) << "still running after Escape";
    EXPECT_EQ(*code, 0) << program.Output();
    EXPECT_TRUE(Contains(TestSupport::LogTexts(TestSupport::ReadHostFile(work.Path() / "Vantrisk.log")),
                         "Show: " + show.Path().string()));
    EXPECT_FALSE(fs::exists(show.Path() / "Vantrisk.log"));
    EXPECT_FALSE(fs::exists(show.Path() / "Screenshots"));
}

}  // namespace
