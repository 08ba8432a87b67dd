// "--check" run on the built program: the bundled show is clean, and each kind of broken file is
// reported with its message and fails the check; "--quiet" leaves only the verdict.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/showFolder.h"
#include "support/process.h"
#include "support/tempFolder.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::ReadHostFile;
using TestSupport::ShowFolder;
using TestSupport::SplitLines;

constexpr char kClean[] = "demo.xml: OK, no problems";

struct CheckRun {
    int code = -1;
    std::vector<std::string> lines;  // standard output
};

CheckRun RunCheck(const fs::path& folder, const std::vector<std::string>& extra = {}) {
    // Standard output is the report; standard error (the platform's own chatter) is left out.
    std::vector<std::string> command{"sh", "-c", "\"$@\" 2>/dev/null", "sh", VANTRISK_BINARY, "--check"};
    command.insert(command.end(), extra.begin(), extra.end());
    std::string output;
    CheckRun run;
    run.code = TestSupport::RunCommand(command, &output, folder, {}, std::chrono::seconds(600));
    run.lines = SplitLines(output);
    return run;
}

bool HasLineWith(const CheckRun& run, const std::string& text) {
    for (const auto& line : run.lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

std::string Shown(const CheckRun& run) {
    std::string all;
    for (const auto& line : run.lines) all += line + "\n";
    return all;
}

TEST(Check, BundledShowIsClean) {
    if (!fs::exists(VANTRISK_BINARY)) GTEST_SKIP() << "The program is not built in this build folder";
    TestSupport::TempFolder folder;
    fs::create_directory_symlink(fs::path(VANTRISK_SOURCE_DIR) / "data", folder.Path() / "data");
    const CheckRun run = RunCheck(folder.Path());
    EXPECT_EQ(run.code, 0) << Shown(run);
    ASSERT_EQ(run.lines.size(), 1u) << Shown(run);
    EXPECT_EQ(run.lines[0], kClean);
    // The log file still records the whole load.
    EXPECT_NE(ReadHostFile(folder.Path() / "Vantrisk.log").find("parsed without errors"), std::string::npos);
}

// A show that is sound but for one file: its script body, the files beside it, and what the report
// must say about it.
struct BrokenShow {
    const char* name;
    const char* body;
    std::vector<std::pair<const char*, const char*>> files;
    std::vector<const char*> expected;
};

void PrintTo(const BrokenShow& show, std::ostream* out) {
    *out << show.name;
}

// A pixel entry that compiles, for the effects around the broken file.
constexpr char kGoodShader[] =
    "struct VertexIn { float3 position : POSITION; float2 texcoord : TEXCOORD0; float3 normal : NORMAL; };\n"
    "struct PixelIn { float4 position : SV_Position; float2 texcoord : TEXCOORD0; };\n"
    "PixelIn VS(VertexIn input) { PixelIn o; o.position = float4(input.position.xy * 2.0, 0.0, 1.0);\n"
    "    o.texcoord = input.texcoord; return o; }\n"
    "float4 PS(PixelIn input) : SV_Target { return float4(input.texcoord, 0.5, 1.0); }\n";

const std::vector<BrokenShow>& BrokenShows() {
    static const std::vector<BrokenShow> shows = {
        // Compiled only when first drawn, by an effect that starts after its parent.
        {"BrokenShaderOfALaterChild",
         "<effect type=\"CLS\" length=\"16\"><effect type=\"FullScreenShaderEffect\" start=\"6\">"
         "<param key=\"shader\" type=\"string\" value=\"broken.fx\"/>"
         "<param key=\"pixelShader\" type=\"string\" value=\"PS\"/>"
         "<param key=\"image\" type=\"string\" value=\"\"/></effect></effect>",
         {{"broken.fx", "float4 PS(float4 p : SV_Position) : SV_Target { return undefinedThing; }\n"}},
         {"compile error", "broken.fx:1", "undefinedThing"}},
        {"MissingImage",
         "<effect type=\"FullScreenShader\"><param key=\"shader\" type=\"string\" value=\"good.fx\"/>"
         "<param key=\"pixelShader\" type=\"string\" value=\"PS\"/>"
         "<param key=\"image\" type=\"string\" value=\"missing.png\"/></effect>",
         {},
         {"Image file 'missing.png' couldn't be opened"}},
        {"UnknownEffectType",
         "<effect type=\"CLS\" length=\"4\"/><effect type=\"Bogus\" start=\"4\"/>",
         {},
         {"Unknown effect type 'Bogus'"}},
        {"BadColourTable",
         "<effect type=\"Lut3D\"><param key=\"lutName\" type=\"string\" value=\"bad.cube\"/>"
         "<param key=\"strength\" type=\"double\" value=\"1\"/></effect>",
         {{"bad.cube", "LUT_3D_SIZE 2\n0 0 0\n1 x 0\n"}},
         {"TextureManager failed to load 'bad.cube'"}},
        // A construct the front end cannot compile is named where the author wrote it.
        {"UnsupportedConstruct",
         "<effect type=\"FullScreenShader\"><param key=\"shader\" type=\"string\" value=\"lights.fx\"/>"
         "<param key=\"pixelShader\" type=\"string\" value=\"PS\"/></effect>",
         {{"lights.fx",
           "// Lights chosen at run time\n"
           "interface ILight { float3 Shade(float3 n); };\n"
           "float4 PS(float4 p : SV_Position) : SV_Target { return 1; }\n"}},
         {"lights.fx:2: error: an 'interface' declaration is not supported"}},
        // Compiles and draws, but its loop had to be cut.
        {"RunawayLoop",
         "<effect type=\"FullScreenShader\"><param key=\"shader\" type=\"string\" value=\"runaway.fx\"/>"
         "<param key=\"pixelShader\" type=\"string\" value=\"PS\"/></effect>",
         {{"runaway.fx",
           "struct VertexIn { float3 position : POSITION; float2 texcoord : TEXCOORD0; float3 normal : "
           "NORMAL; };\n"
           "float4 VS(VertexIn input) : SV_Position { return float4(input.position.xy * 2.0, 0.0, 1.0); }\n"
           "float4 PS(float4 p : SV_Position) : SV_Target {\n    float c = p.x;\n"
           "    [loop] while (c > -1.0) c = frac(c * 1.0001 + 0.5);\n    return float4(c, 0, 0, 1); }\n"}},
         {"'PS' in 'runaway.fx' reached its loop budget; its loops were cut"}},
    };
    return shows;
}

class CheckBrokenShow : public testing::TestWithParam<BrokenShow> {};

TEST_P(CheckBrokenShow, ReportsTheProblemAndFails) {
    if (!fs::exists(VANTRISK_BINARY)) GTEST_SKIP() << "The program is not built in this build folder";
    const BrokenShow& show = GetParam();
    ShowFolder folder;
    folder.WriteData("demo.xml", ShowFolder::Script("bpm=\"120\"", show.body));
    folder.WriteData("final.fx", ShowFolder::FinalShader());
    folder.WriteData("good.fx", kGoodShader);
    folder.WriteData("lut3D.fx", ReadHostFile(fs::path(VANTRISK_SOURCE_DIR) / "data" / "lut3D.fx"));
    for (const auto& [name, contents] : show.files) folder.WriteData(name, contents);

    const CheckRun run = RunCheck(folder.Path());
    EXPECT_EQ(run.code, 1) << Shown(run);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back().rfind("demo.xml: FAIL, ", 0), 0u) << Shown(run);
    for (const char* text : show.expected) EXPECT_TRUE(HasLineWith(run, text)) << text << "\n" << Shown(run);
    // Each problem names the call site that logged it, as "file:line: function: message".
    EXPECT_TRUE(run.lines.front().find(".cpp:") != std::string::npos) << Shown(run);

    const CheckRun quiet = RunCheck(folder.Path(), {"--quiet"});
    EXPECT_EQ(quiet.code, 1);
    ASSERT_EQ(quiet.lines.size(), 1u) << Shown(quiet);
    EXPECT_EQ(quiet.lines[0], run.lines.back());
}

INSTANTIATE_TEST_SUITE_P(Shows, CheckBrokenShow, testing::ValuesIn(BrokenShows()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
