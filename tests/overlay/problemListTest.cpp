// The problem list read from the log: failures since the script was loaded, newest first, each gone
// when a file it names is reloaded without complaint, all gone when the script is reloaded.
#include "overlay/problemList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/log.h"

namespace {

using Overlay::Problem;
using Overlay::ProblemList;

void Say(ProblemList& list, const char* function, const std::string& text) {
    list.Take(LogMessage{0, "x.cpp", 1, function, text.c_str()});
}

std::vector<std::string> Texts(const ProblemList& list) {
    std::vector<std::string> texts;
    for (const Problem& problem : list.Problems()) texts.push_back(problem.text);
    return texts;
}

const char kCompileError[] =
    "Pixel shader 'PS' compile error:\nbroken.fx:3: error: 'undefinedThing': undeclared\n";

TEST(ProblemList, KeepsFailuresNewestFirstAndSkipsWhatOnlyReports) {
    ProblemList list("demo.xml");
    Say(list, "WinMain", "Mounted archive: not found");
    Say(list, "Effects::EffectsManager::Load", "XML [demo.xml] parsed without errors");
    Say(list, "Shader::LoadPS", kCompileError);
    Say(list, "Run", "Starting main loop");
    Say(list, "TextureManager::Load", "Image file 'logo.png' couldn't be opened");
    Say(list, "Params::Load", "Unknown ease function 'Bouncy', defaulting to Snap");
    Say(list, "Shader::Set", "Shader trying to use unloaded pixel shader 'PS'. Trying to load it now..");
    EXPECT_EQ(Texts(list),
              (std::vector<std::string>{"Unknown ease function 'Bouncy', defaulting to Snap",
                                        "Image file 'logo.png' couldn't be opened", kCompileError}));
    EXPECT_EQ(list.Problems()[2].files, (std::vector<std::string>{"broken.fx"}));
    EXPECT_EQ(list.Problems()[1].files, (std::vector<std::string>{"logo.png"}));
}

TEST(ProblemList, RepeatedReportMovesToTheTopOnce) {
    ProblemList list("demo.xml");
    Say(list, "Shader::LoadPS", kCompileError);
    Say(list, "TextureManager::Load", "Image file 'logo.png' couldn't be opened");
    Say(list, "Shader::LoadPS", kCompileError);
    ASSERT_EQ(list.Problems().size(), 2u);
    EXPECT_EQ(list.Problems()[0].text, kCompileError);
    EXPECT_EQ(list.Problems()[0].repeats, 2);
}

TEST(ProblemList, ReloadOfANamedFileClearsItsProblemsAndTheScriptsClearsAll) {
    ProblemList list("demo.xml");
    Say(list, "Shader::LoadPS", kCompileError);
    Say(list, "TextureManager::Load", "Image file 'logo.png' couldn't be opened");
    Say(list, "FileWatcher::GetHasChanged", "FileWatcher has noticed that 'other.fx' has changed");
    EXPECT_EQ(list.Problems().size(), 2u);
    Say(list, "FileWatcher::GetHasChanged", "FileWatcher has noticed that 'broken.fx' has changed");
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"Image file 'logo.png' couldn't be opened"}));
    // Still broken after the save: it is back.
    Say(list, "Shader::LoadPS", kCompileError);
    EXPECT_EQ(list.Problems().size(), 2u);
    Say(list, "FileWatcher::GetHasChanged", "FileWatcher has noticed that 'demo.xml' has changed");
    EXPECT_TRUE(list.Problems().empty());
}

TEST(ProblemList, NamedFilesComeFromQuotesAndCompilerPositions) {
    struct Case {
        const char* text;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"File 'shaders/a.fx' for pixel shader 'PS' couldn't be opened", {"shaders/a.fx"}},
        {"GLSL of entry 'main' does not build:\ninc/common.fxh:12: error\nb.fx:3: note",
         {"inc/common.fxh", "b.fx"}},
        {"Couldn't find param 'colour'", {}},
        {"Error offset: 12", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(ProblemList::FilesNamedIn(c.text), c.files) << c.text;
}

TEST(ProblemList, IsBoundedAndReadsTheLogOnlyOnce) {
    ProblemList list("demo.xml");
    for (size_t i = 0; i < ProblemList::kMaxProblems + 5; ++i)
        Say(list, "F", "Failed to load effect 'X" + std::to_string(i) + "'");
    EXPECT_EQ(list.Problems().size(), ProblemList::kMaxProblems);
    EXPECT_EQ(list.Problems().front().text,
              "Failed to load effect 'X" + std::to_string(ProblemList::kMaxProblems + 4) + "'");

    // What this process logged before is no concern of this test.
    ProblemList fromLog("demo.xml");
    fromLog.Update();
    fromLog.Clear();
    VLOG("Overlay::Test", "Unknown effect type 'Nonsense'");
    fromLog.Update();
    fromLog.Update();
    ASSERT_EQ(fromLog.Problems().size(), 1u);
    EXPECT_EQ(fromLog.Problems().front().function, "Overlay::Test");
}

}  // namespace
