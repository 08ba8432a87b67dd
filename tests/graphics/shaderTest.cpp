#include "graphics/shader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "main/device.h"
#include "platform/hlsl/compilerService.h"
#include "support/logCapture.h"
#include "support/showFixture.h"

namespace {

using TestSupport::Image;
using TestSupport::LogCapture;
using TestSupport::LogLine;
using TestSupport::PixelNear;

// A shader file whose "VS" covers the target with the generic quad and whose pixel entries return
// fixed colours; `body` adds or replaces pixel entries.
std::string ShaderFile(const std::string& body) {
    return R"(
struct VertexIn { float3 position : POSITION; float2 texcoord : TEXCOORD0; float3 normal : NORMAL; };
struct PixelIn { float4 position : SV_Position; float2 texcoord : TEXCOORD0; };
PixelIn VS(VertexIn input) {
    PixelIn output;
    output.position = float4(input.position.xy * 2.0, 0.0, 1.0);
    output.texcoord = input.texcoord;
    return output;
}
)" + body;
}

const std::string kRedPS = "float4 PS(PixelIn input) : SV_Target { return float4(1, 0, 0, 1); }\n";
const std::string kGreenPS = "float4 PS_Green(PixelIn input) : SV_Target { return float4(0, 1, 0, 1); }\n";
const std::string kBluePS = "float4 PS(PixelIn input) : SV_Target { return float4(0, 0, 1, 1); }\n";

size_t Count(const std::vector<LogLine>& lines, const LogLine& wanted) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), wanted));
}

// Whether a line of `function` starts with `prefix`.
bool HasLineStarting(const std::vector<LogLine>& lines, const std::string& function,
                     const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(), [&](const LogLine& line) {
        return line.function == function && line.text.rfind(prefix, 0) == 0;
    });
}

class ShaderTest : public TestSupport::ShowTest {
protected:
    // Writes a data file and moves its time on, so that a watcher surely sees a new version.
    void Save(const std::string& name, const std::string& contents) {
        const std::filesystem::path path = Data().Write(name, contents);
        using namespace std::chrono_literals;
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + 2s);
    }

    // Binds `entry` of `shader` and draws the generic quad over a small cleared target.
    Image Draw(Shader& shader, const char* entry, bool expectBound = true) {
        const Target target = MakeTarget(16, 16, {0.5f, 0.5f, 0.5f, 1.0f});
        BindTarget(target);
        const bool bound = shader.Set(entry);
        EXPECT_EQ(bound, expectBound) << entry;
        // As every owner does: no draw without the whole shader bound.
        if (bound) {
            BindGenericVertices();
            g_graphics.context->Draw(4, 0);
        }
        return Read(target.texture);
    }
};

// ---------------------------------------------------------------------------------------------------
// Loading entry points

TEST_F(ShaderTest, Shader_LoadingAnEntryTwiceCompilesItOnce) {
    Data().Write("solid.fx", ShaderFile(kRedPS));
    Shader shader("solid.fx");
    EXPECT_TRUE(shader.GetVertexShaders().empty());  // construction compiles nothing

    ASSERT_TRUE(shader.LoadVS("VS"));
    ASSERT_TRUE(shader.LoadPS("PS"));
    const auto vertexCode = shader.GetVertexShaders()[0].code;
    const auto pixelCode = shader.GetPixelShaders()[0].code;
    EXPECT_TRUE(shader.LoadVS("VS"));
    EXPECT_TRUE(shader.LoadPS("PS"));

    ASSERT_EQ(shader.GetVertexShaders().size(), 1u);
    ASSERT_EQ(shader.GetPixelShaders().size(), 1u);
    EXPECT_EQ(shader.GetVertexShaders()[0].code, vertexCode);
    EXPECT_EQ(shader.GetPixelShaders()[0].code, pixelCode);
    EXPECT_EQ(shader.GetVertexShaders()[0].name, "VS");
    EXPECT_EQ(shader.GetPixelShaders()[0].name, "PS");
}

TEST_F(ShaderTest, Shader_EmptyOrMissingFileIsReportedAsUnopenedNotAsCompileError) {
    Data().Write("empty.fx", "");
    Shader empty("empty.fx");
    Shader missing("missing.fx");
    LogCapture log;
    EXPECT_FALSE(empty.LoadVS("VS"));
    EXPECT_FALSE(empty.LoadPS("PS"));
    EXPECT_FALSE(missing.LoadPS("PS"));
    const auto& lines = log.Lines();
    EXPECT_EQ(Count(lines, {"Shader::LoadVS", "File 'empty.fx' for vertex shader 'VS' couldn't be opened"}),
              1u);
    EXPECT_EQ(Count(lines, {"Shader::LoadPS", "File 'empty.fx' for pixel shader 'PS' couldn't be opened"}),
              1u);
    EXPECT_EQ(Count(lines, {"Shader::LoadPS", "File 'missing.fx' for pixel shader 'PS' couldn't be opened"}),
              1u);
    EXPECT_FALSE(HasLineStarting(lines, "Shader::LoadVS", "Vertex shader"));
    EXPECT_FALSE(HasLineStarting(lines, "Shader::LoadPS", "Pixel shader"));
    EXPECT_TRUE(empty.GetVertexShaders().empty());
    EXPECT_TRUE(empty.GetPixelShaders().empty());
}

TEST_F(ShaderTest, Shader_CompileErrorIsLoggedWithTheCompilersText) {
    Data().Write("broken.fx",
                 ShaderFile("float4 PS(PixelIn input) : SV_Target { return undefinedThing; }\n") +
                     "float4 Other(PixelIn input) : SV_Target { return float4(1, 1, 1, 1); }\n");
    Shader shader("broken.fx");
    LogCapture log;
    EXPECT_FALSE(shader.LoadPS("PS"));
    EXPECT_FALSE(shader.LoadVS("NoSuchEntry"));
    const auto& lines = log.Lines();

    EXPECT_EQ(Count(lines, {"Shader::LoadPS", "Pixel shader 'PS' compile error:"}), 1u);
    EXPECT_EQ(Count(lines, {"Shader::LoadVS", "Vertex shader 'NoSuchEntry' compile error:"}), 1u);
    // The compiler's own lines follow, naming the file and what it did not understand.
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const LogLine& line) {
        return line.function == "Shader::LoadPS" && line.text.find("broken.fx") != std::string::npos &&
               line.text.find("undefinedThing") != std::string::npos;
    }));
    EXPECT_TRUE(HasLineStarting(lines, "Shader::LoadVS", "broken.fx"));
    EXPECT_TRUE(shader.GetPixelShaders().empty());
    EXPECT_TRUE(shader.GetVertexShaders().empty());
}

// ---------------------------------------------------------------------------------------------------
// Binding

TEST_F(ShaderTest, Shader_SetBindsTheLoadedEntriesAndDraws) {
    Data().Write("solid.fx", ShaderFile(kRedPS + kGreenPS));
    Shader shader("solid.fx");
    ASSERT_TRUE(shader.LoadVS("VS"));
    ASSERT_TRUE(shader.LoadPS("PS"));
    ASSERT_TRUE(shader.LoadPS("PS_Green"));
    LogCapture log;
    const Image red = Draw(shader, "PS");
    const Image green = Draw(shader, "PS_Green");
    EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0].text;
    EXPECT_TRUE(PixelNear(red, 0, 0, {255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(red, 15, 15, {255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(green, 8, 8, {0, 255, 0, 255}));
    ASSERT_EQ(shader.GetInputLayouts().size(), 1u);
    EXPECT_EQ(shader.GetInputLayouts()[0].name, "VS");
    EXPECT_NE(shader.GetInputLayouts()[0].layout, nullptr);
}

TEST_F(ShaderTest, Shader_SetCompilesAPixelEntryThatWasNeverLoaded) {
    Data().Write("solid.fx", ShaderFile(kRedPS + kGreenPS));
    Shader shader("solid.fx");
    ASSERT_TRUE(shader.LoadVS("VS"));
    LogCapture log;
    const Image green = Draw(shader, "PS_Green");
    EXPECT_EQ(log.Lines(),
              (std::vector<LogLine>{{"Shader::Set",
                                     "Shader trying to use unloaded pixel shader 'PS_Green'. Trying to "
                                     "load it now.."}}));
    EXPECT_TRUE(PixelNear(green, 8, 8, {0, 255, 0, 255}));
    ASSERT_EQ(shader.GetPixelShaders().size(), 1u);
    EXPECT_EQ(shader.GetPixelShaders()[0].name, "PS_Green");
}

TEST_F(ShaderTest, Shader_FailingPixelEntryIsRetriedAndLoggedAtEverySet) {
    Data().Write("solid.fx", ShaderFile(kRedPS));
    Shader shader("solid.fx");
    ASSERT_TRUE(shader.LoadVS("VS"));
    LogCapture log;
    Draw(shader, "PS_Missing", false);
    Draw(shader, "PS_Missing", false);
    const auto& lines = log.Lines();
    EXPECT_EQ(Count(lines, {"Shader::Set",
                            "Shader trying to use unloaded pixel shader 'PS_Missing'. Trying to "
                            "load it now.."}),
              2u);
    EXPECT_EQ(Count(lines, {"Shader::LoadPS", "Pixel shader 'PS_Missing' compile error:"}), 2u);
    EXPECT_TRUE(shader.GetPixelShaders().empty());
}

TEST_F(ShaderTest, Shader_FailingVertexSideIsNotRetriedUntilTheFileChanges) {
    Data().Write("solid.fx", "float4 PS() : SV_Target { return float4(1, 0, 0, 1); }\n");  // no "VS"
    Shader shader("solid.fx");
    {
        LogCapture log;
        EXPECT_FALSE(shader.Set("PS"));
        const auto& lines = log.Lines();
        EXPECT_EQ(Count(lines, {"Shader::CreateInputLayout",
                                "Shader trying to use unloaded vertex shader 'VS'. Trying to load it now.."}),
                  1u);
        EXPECT_EQ(Count(lines, {"Shader::LoadVS", "Vertex shader 'VS' compile error:"}), 1u);
        ASSERT_EQ(shader.GetInputLayouts().size(), 1u);
        EXPECT_EQ(shader.GetInputLayouts()[0].layout, nullptr);
    }
    {
        LogCapture log;
        EXPECT_FALSE(shader.Set("PS"));
        EXPECT_FALSE(shader.Set("PS"));
        EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0].text;
        EXPECT_EQ(shader.GetInputLayouts().size(), 1u);
    }
    Save("solid.fx", ShaderFile(kRedPS));
    const Image fixed = Draw(shader, "PS");
    EXPECT_TRUE(PixelNear(fixed, 8, 8, {255, 0, 0, 255}));
}

// A failure of the moment (the compiler got no processor time) says nothing of the file, so the
// vertex side is not kept broken until an edit: the next Set tries again.
TEST_F(ShaderTest, Shader_AVertexSideTheMachineGaveNoTimeIsTriedAgainAtTheNextSet) {
    Hlsl::CompilerService& service = Hlsl::CompilerService::Get();
    if (service.GetExecutable().empty()) GTEST_SKIP() << "vantrisk-shaderc is not built";
    const Hlsl::CompileLimits saved = service.GetLimits();
    service.ForgetResults();
    // A constant that takes the compiler a moment, and no moment to wait for it.
    Data().Write("solid.fx", "static const float pad[16000];\n" + ShaderFile(kRedPS));
    Shader shader("solid.fx");
    service.SetLimits({5, saved.memoryBytes, 1e-6});
    {
        LogCapture log;
        Draw(shader, "PS", false);
        EXPECT_TRUE(HasLineStarting(log.Lines(), "Shader::LoadVS", "Vertex shader 'VS' compile error:"));
        EXPECT_TRUE(shader.GetInputLayouts().empty()) << "no failed layout is kept";
    }
    service.SetLimits(saved);
    EXPECT_TRUE(PixelNear(Draw(shader, "PS"), 8, 8, {255, 0, 0, 255}));
}

// ---------------------------------------------------------------------------------------------------
// Hot reload

TEST_F(ShaderTest, Shader_EditedFileIsRebuiltFromTheNewTextAtTheNextSet) {
    Data().Write("solid.fx", ShaderFile(kRedPS + kGreenPS));
    Shader shader("solid.fx");
    ASSERT_TRUE(shader.LoadVS("VS"));
    ASSERT_TRUE(shader.LoadPS("PS"));
    ASSERT_TRUE(shader.LoadPS("PS_Green"));
    const Image before = Draw(shader, "PS");
    EXPECT_TRUE(PixelNear(before, 8, 8, {255, 0, 0, 255}));
    const auto oldVertexCode = shader.GetVertexShaders()[0].code;

    Save("solid.fx", ShaderFile(kBluePS + kGreenPS));
    LogCapture log;
    const Image after = Draw(shader, "PS");
    EXPECT_TRUE(PixelNear(after, 8, 8, {0, 0, 255, 255}));

    const auto& lines = log.Lines();
    EXPECT_EQ(
        Count(lines, {"FileWatcher::GetHasChanged", "FileWatcher has noticed that 'solid.fx' has changed"}),
        1u);
    EXPECT_EQ(Count(lines, {"Shader::CreateInputLayout",
                            "Shader trying to use unloaded vertex shader 'VS'. Trying to load it now.."}),
              1u);
    EXPECT_EQ(Count(lines, {"Shader::Set",
                            "Shader trying to use unloaded pixel shader 'PS'. Trying to load it "
                            "now.."}),
              1u);
    // Everything was released: "VS" is new, and only the entry asked for was rebuilt.
    ASSERT_EQ(shader.GetVertexShaders().size(), 1u);
    EXPECT_NE(shader.GetVertexShaders()[0].code, oldVertexCode);
    ASSERT_EQ(shader.GetPixelShaders().size(), 1u);
    EXPECT_EQ(shader.GetPixelShaders()[0].name, "PS");
    EXPECT_EQ(shader.GetInputLayouts().size(), 1u);

    // The other entry comes back lazily, from the new file too.
    EXPECT_TRUE(PixelNear(Draw(shader, "PS_Green"), 8, 8, {0, 255, 0, 255}));
    EXPECT_EQ(shader.GetPixelShaders().size(), 2u);
}

TEST_F(ShaderTest, Shader_ATranslationTheDriverRefusesIsCompiledAgainWithTheAuthorsLines) {
    // A constant buffer one register past what GL drivers hold passes the HLSL front end and the
    // translation; the driver refuses it. The entry is compiled once more with line markers, so that a
    // driver error with a line is told at the author's; this one (a link error) names file and entry.
    Data().Write(
        "scenes/big.fx",
        ShaderFile("cbuffer c : register(b0) { float4 big[4096]; float4 more; };\n"
                   "float4 PS(PixelIn input) : SV_Target { return big[int(input.texcoord.x)] + more; }\n"));
    Shader shader("scenes/big.fx");
    LogCapture log;
    EXPECT_FALSE(shader.LoadPS("PS"));
    size_t refusals = 0;
    for (const LogLine& line : log.Lines()) {
        if (line.text.find("Shader file 'scenes/big.fx', entry 'PS': a construct") == 0) ++refusals;
    }
    // Told once: the refusal of the plain translation is kept back for the marked one's.
    EXPECT_EQ(refusals, 1u);
    EXPECT_EQ(Count(log.Lines(), {"Shader::LoadPS", "Failed to create pixel shader 'PS'"}), 1u);
}

TEST_F(ShaderTest, Shader_ADriverErrorInTheTranslationIsToldAtTheAuthorsFileAndLine) {
    // No construct is known that this driver refuses at a line once translated, so the driver is given
    // a marked translation with one statement of its own added where the author's line 2 begins: the
    // driver's own error, told against the file and line of the source it came from.
    const std::string source =
        "float4 PS(float4 position : SV_Position) : SV_Target {\n"
        "    float shade = position.x * 0.5;\n"
        "    return float4(shade, shade, 0, 1);\n"
        "}\n";
    const Hlsl::IncludeResolver none = [](const std::string&, std::string&, std::string&) { return false; };
    const auto marked = Hlsl::Compile(source, "scenes/lines.fx", none, "PS", Hlsl::WithLineMarkers("ps_4_0"));
    ASSERT_TRUE(marked) << marked.errors;
    auto broken = std::make_shared<Hlsl::ShaderCode>(*marked.code);
    const size_t marker = broken->glsl.find("\n#line 1000002");
    ASSERT_NE(marker, std::string::npos) << broken->glsl;
    broken->glsl.insert(broken->glsl.find('\n', marker + 1) + 1, "    not_declared_anywhere += 1.0;\n");

    LogCapture log;
    std::string refusal;
    EXPECT_EQ(g_graphics.device->CreatePixelShader(broken, &refusal), nullptr);
    EXPECT_TRUE(log.Lines().empty()) << "a refusal asked for is not logged";
    EXPECT_EQ(refusal.find("Shader file 'scenes/lines.fx', entry 'PS': a construct of it is not supported"),
              0u)
        << refusal;
    EXPECT_NE(refusal.find("\nscenes/lines.fx:2:"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("not_declared_anywhere"), std::string::npos) << refusal;
    EXPECT_EQ(refusal.find("1000002"), std::string::npos) << "no generated line left: " << refusal;

    // Without a place for the refusal it is logged, in the same words.
    LogCapture logged;
    EXPECT_EQ(g_graphics.device->CreatePixelShader(broken), nullptr);
    EXPECT_TRUE(HasLineStarting(logged.Lines(), "Gpu::Device::CreatePixelShader",
                                refusal.substr(0, refusal.find('\n'))));
    EXPECT_TRUE(HasLineStarting(logged.Lines(), "Gpu::Device::CreatePixelShader", "scenes/lines.fx:2:"));
}

TEST(HlslLineMarkers, AreInTheTranslationOnlyWhenAskedFor) {
    const std::string source =
        "float4 PS(float4 position : SV_Position) : SV_Target {\n"
        "    return position.x > 1 ? float4(1, 0, 0, 1) : float4(0, 1, 0, 1);\n}\n";
    const Hlsl::IncludeResolver none = [](const std::string&, const std::string&, std::string&) {
        return false;
    };
    const auto plain = Hlsl::Compile(source, "scenes/marked.fx", none, "PS", "ps_4_0");
    const auto marked =
        Hlsl::Compile(source, "scenes/marked.fx", none, "PS", Hlsl::WithLineMarkers("ps_4_0"));
    ASSERT_TRUE(plain && marked) << plain.errors << marked.errors;
    EXPECT_EQ(plain.code->glsl.find("\n#line "), std::string::npos);
    EXPECT_NE(marked.code->glsl.find("// source 1: scenes/marked.fx\n"), std::string::npos)
        << marked.code->glsl;
    EXPECT_NE(marked.code->glsl.find("\n#line 100000"), std::string::npos) << marked.code->glsl;
}

// ---------------------------------------------------------------------------------------------------
// Includes

TEST_F(ShaderTest, Shader_IncludesResolveFromTheRootOfTheData) {
    // The same name next to the including file would give red; the root's gives blue.
    Data().Write("colours.hlsl", "float4 Tint() { return float4(0, 0, 1, 1); }\n");
    Data().Write("scenes/colours.hlsl", "float4 Tint() { return float4(1, 0, 0, 1); }\n");
    Data().Write("scenes/tinted.fx",
                 "#include \"colours.hlsl\"\n" +
                     ShaderFile("float4 PS(PixelIn input) : SV_Target { return Tint(); }\n"));
    Shader shader("scenes/tinted.fx");
    ASSERT_TRUE(shader.LoadVS("VS"));
    ASSERT_TRUE(shader.LoadPS("PS"));
    EXPECT_TRUE(PixelNear(Draw(shader, "PS"), 8, 8, {0, 0, 255, 255}));
}

TEST_F(ShaderTest, Shader_AnIncludeTheRootLacksIsFoundBesideTheIncludingFile) {
    Data().Write("scenes/local.hlsl", "float4 Tint() { return float4(0, 1, 0, 1); }\n");
    Data().Write("scenes/lit.fx",
                 "#include \"local.hlsl\"\n" +
                     ShaderFile("float4 PS(PixelIn input) : SV_Target { return Tint(); }\n"));
    Shader shader("scenes/lit.fx");
    LogCapture log;
    ASSERT_TRUE(shader.LoadVS("VS"));
    ASSERT_TRUE(shader.LoadPS("PS"));
    EXPECT_TRUE(PixelNear(Draw(shader, "PS"), 8, 8, {0, 255, 0, 255}));
    EXPECT_TRUE(log.Lines().empty());
    // Beside a file at the root is the root: a name found nowhere keeps its one message.
    Data().Write("top.fx", "#include \"local.hlsl\"\n" + ShaderFile(kRedPS));
    Shader top("top.fx");
    LogCapture topLog;
    EXPECT_FALSE(top.LoadPS("PS"));
    EXPECT_EQ(
        Count(topLog.Lines(), {"ShaderIncludeHandler::Open", "Failed to find shader include 'local.hlsl'"}),
        1u);
}

TEST_F(ShaderTest, Shader_AHeaderFoundBesideItsIncluderLooksForItsOwnIncludesBesideItself) {
    // scenes/lit.fx finds "lib/tint.hlsl" beside it, and that header's "shade.hlsl" lies beside the
    // header, in scenes/lib, not beside the name as written (lib/).
    Data().Write("scenes/lib/tint.hlsl", "#include \"shade.hlsl\"\nfloat4 Tint() { return Shade(); }\n");
    Data().Write("scenes/lib/shade.hlsl", "float4 Shade() { return float4(0, 1, 0, 1); }\n");
    Data().Write("scenes/lit.fx",
                 "#include \"lib/tint.hlsl\"\n" +
                     ShaderFile("float4 PS(PixelIn input) : SV_Target { return Tint(); }\n"));
    Shader shader("scenes/lit.fx");
    LogCapture log;
    ASSERT_TRUE(shader.LoadVS("VS"));
    ASSERT_TRUE(shader.LoadPS("PS"));
    EXPECT_TRUE(PixelNear(Draw(shader, "PS"), 8, 8, {0, 255, 0, 255}));
    EXPECT_TRUE(log.Lines().empty());
    // The root still comes first for the nested name.
    Data().Write("shade.hlsl", "float4 Shade() { return float4(0, 0, 1, 1) }\n");
    Save("scenes/lit.fx", "#include \"lib/tint.hlsl\"\n" +
                              ShaderFile("float4 PS_Blue(PixelIn input) : SV_Target { return Tint(); }\n"));
    Shader edited("scenes/lit.fx");
    LogCapture editedLog;
    EXPECT_FALSE(edited.LoadPS("PS_Blue"));
    std::string logged;
    for (const LogLine& line : editedLog.Lines()) logged += line.text + "\n";
    EXPECT_NE(logged.find("shade.hlsl:1"), std::string::npos) << logged;
    EXPECT_EQ(logged.find("scenes/lib/shade.hlsl"), std::string::npos) << logged;
}

TEST_F(ShaderTest, Shader_MissingIncludeIsLoggedAndFailsTheEntry) {
    Data().Write("needs.fx", "#include \"nowhere.hlsl\"\n" + ShaderFile(kRedPS));
    Shader shader("needs.fx");
    LogCapture log;
    EXPECT_FALSE(shader.LoadPS("PS"));
    const auto& lines = log.Lines();
    EXPECT_EQ(Count(lines, {"ShaderIncludeHandler::Open", "Failed to find shader include 'nowhere.hlsl'"}),
              1u);
    EXPECT_EQ(Count(lines, {"Shader::LoadPS", "Pixel shader 'PS' compile error:"}), 1u);
}

TEST_F(ShaderTest, Shader_AFileThatCrashesOrFloodsTheCompilerFailsUntilItIsFixed) {
    Data().Write("quad.fxh", "#include \"quad.fxh\"\n#include \"quad.fxh\"\n");
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {ShaderFile("float4 PS(int) : SV_Target { return float4(1, 0, 0, 1); }\n"),
         "plasma.fx: error: compiling 'PS' crashed the compiler"},
        {"#include \"quad.fxh\"\n" + ShaderFile(kRedPS), "includes nest deeper than 32 files at 'quad.fxh'"},
    };
    for (const auto& test : cases) {
        Save("plasma.fx", test.text);
        Shader shader("plasma.fx");
        LogCapture log;
        EXPECT_TRUE(PixelNear(Draw(shader, "PS", false), 8, 8, {128, 128, 128, 255}, 3)) << "nothing drawn";
        const auto& lines = log.Lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const LogLine& line) {
            return line.text.find(test.message) != std::string::npos;
        })) << test.message;
        Save("plasma.fx", ShaderFile(kRedPS));
        EXPECT_TRUE(PixelNear(Draw(shader, "PS"), 8, 8, {255, 0, 0, 255}));
    }
}

TEST(ShaderIncludeHandler, ReadsTheWholeFileByItsNameFromTheRoot) {
    TestSupport::TempFolder folder;
    folder.Write("inc/common.hlsl", std::string("float a;\0float b;", 17));
    TestSupport::MountedData mounted(folder.Path());
    std::string contents;
    ASSERT_TRUE(g_shaderIncludeHandler.Open("inc/common.hlsl", contents));
    EXPECT_EQ(contents, std::string("float a;\0float b;", 17));
    LogCapture log;
    EXPECT_FALSE(g_shaderIncludeHandler.Open("common.hlsl", contents));
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"ShaderIncludeHandler::Open",
                                                  "Failed to find shader include 'common.hlsl'"}}));
}

}  // namespace
