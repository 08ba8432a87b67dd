// HLSL as authors save it for the Direct3D compiler: byte-order marks, the front end's own macros,
// effect-framework syntax around a single entry point, and constructs the front end cannot compile
// named in the author's terms. Each file either draws what its plain form draws or says what to change.
#include "platform/hlsl/hlslSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/gpu/gpu.h"
#include "platform/hlsl/hlslCompiler.h"
#include "support/gpuFixture.h"

namespace {

using TestSupport::GpuTest;
using TestSupport::Image;
using Includes = std::map<std::string, std::string>;

const std::string kBom = "\xEF\xBB\xBF";

// Compiles one entry of `source` (named "test.fx") with `includes` answering include directives by name.
Hlsl::CompileResult Build(const std::string& source, const std::string& entry, const std::string& target,
                          const Includes& includes = {}) {
    const Hlsl::IncludeResolver resolve = [&](const std::string& requested, const std::string&,
                                              std::string& contents) {
        const auto file = includes.find(requested);
        if (file == includes.end()) return false;
        contents = file->second;
        return true;
    };
    return Hlsl::CompileInProcess(source, "test.fx", resolve, entry, target);
}

size_t Lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// --- The text pass ------------------------------------------------------------------------------

struct TextCase {
    const char* name;
    std::string text;
    std::vector<std::string> kept;     // still in the text the front end reads
    std::vector<std::string> dropped;  // gone from it
};

// Each case is followed by a pixel entry, so that what the pass leaves must also compile.
TEST(HlslSource, EffectSyntaxIsBlankedAndEverythingElseKeptLineForLine) {
    const TextCase cases[] = {
        {"technique words in comments and strings are not blocks",
         "// technique11 T { pass P {\n/* BlendState B { */\nstatic const float technique = 1;\n",
         {"// technique11 T { pass P {", "/* BlendState B { */", "static const float technique = 1;"},
         {}},
        {"technique with annotations, nested pass blocks and directives inside",
         "#define USE_P1 1\ntechnique11 Main < string Script = \"a > b\"; >\n{\n"
         "#if USE_P1\n    pass P1 { SetPixelShader(CompileShader(ps_4_0, PS())); }\n#endif\n"
         "    pass P2 { SetBlendState(NoBlend, float4(0, 0, 0, 0), 0xFFFFFFFF); }\n};\n"
         "technique10 Old { pass { } }\ntechnique T9 { pass P { VertexShader = compile vs_2_0 VS(); } }\n",
         {"#if USE_P1", "#endif"},
         {"technique", "pass", "Script", "SetBlendState", "VertexShader"}},
        {"state objects go whole, with their arrays of fields",
         "BlendState Additive\n{\n    BlendEnable[0] = TRUE;\n    SrcBlend = ONE;\n};\n"
         "DepthStencilState NoDepth { DepthEnable = FALSE; };\nRasterizerState Wire { FillMode = WIREFRAME; "
         "};\n",
         {},
         {"BlendState", "BlendEnable", "DepthStencilState", "RasterizerState", "WIREFRAME"}},
        {"samplers stay declared without their state",
         "SamplerState Linear : register(s1)\n{\n    Filter = MIN_MAG_MIP_LINEAR; // }\n"
         "    AddressU = Wrap;\n    BorderColor = float4(0, 0, 0, 1);\n};\n"
         "SamplerComparisonState Shadow { ComparisonFunc = LESS; };\n"
         "sampler2D Old = sampler_state { Texture = <Image>; MinFilter = Linear; };\n",
         {"SamplerState Linear : register(s1)", "SamplerComparisonState Shadow", "sampler2D Old", "// }"},
         {"Filter =", "AddressU", "BorderColor", "ComparisonFunc", "sampler_state", "MinFilter"}},
        {"annotations go; template arguments and comparisons stay",
         "Texture2D<float4> Image : register(t0) < string ResourceName = \"a.png\"; >;\n"
         "cbuffer Params : register(b0)\n{\n    float4x4 World : WORLD < string UIWidget = \"None\"; >;\n"
         "    float Gain < float UIMin = 0; float UIMax = 2; > = 1;\n};\n"
         "static const bool Less = 1 < 2;\nstatic const vector<float, 2> Pair = float2(Less, 3 > 2);\n",
         {"Texture2D<float4> Image : register(t0)", "float4x4 World : WORLD", "float Gain",
          "static const bool Less = 1 < 2;", "vector<float, 2>"},
         {"ResourceName", "UIWidget", "UIMin"}},
    };
    const std::string entry = "float4 PS() : SV_Target { return 1; }\n";
    for (const TextCase& test : cases) {
        const std::string read = Hlsl::ReadAsDirect3D(test.text);
        EXPECT_EQ(Lines(read), Lines(test.text)) << test.name;
        for (const std::string& kept : test.kept) EXPECT_NE(read.find(kept), std::string::npos) << test.name;
        for (const std::string& dropped : test.dropped)
            EXPECT_EQ(read.find(dropped), std::string::npos) << test.name << ": " << dropped;
        const Hlsl::CompileResult result = Build(test.text + entry, "PS", "ps_4_0");
        EXPECT_TRUE(result) << test.name << ": " << result.errors;
    }
    // A technique without its closing brace is left for the front end to report.
    const std::string open = "technique11 T {\n    pass P {\n";
    EXPECT_EQ(Hlsl::ReadAsDirect3D(open), open);
}

// --- Constructs the front end cannot compile ---------------------------------------------------

TEST(HlslSource, UnsupportedConstructsAreNamedAtTheAuthorsLine) {
    const struct {
        const char* name;
        std::string source;
        std::string message;
    } cases[] = {
        {"interface",
         "\ninterface ILight { float3 Shade(float3 n); };\nfloat4 PS() : SV_Target { return 1; }\n",
         "test.fx:2: error: an 'interface' declaration is not supported"},
        {"cast to an array in a function the entry never calls",
         "float Third(float4 v)\n{\n    float a[4] = (float[4])v;\n    return a[2];\n}\n"
         "float4 PS() : SV_Target { return 1; }\n",
         "test.fx:3: error: a cast to an array type is not supported"},
        {"after a byte-order mark and effect syntax",
         kBom + "BlendState B { BlendEnable[0] = TRUE; };\ninterface I { float F(); };\n"
                "float4 PS() : SV_Target { return 1; }\n",
         "test.fx:2: error: an 'interface' declaration is not supported"},
        // The front end reads these; the translation fails later, where no line is known.
        {"a wave operation", "float4 PS() : SV_Target\n{\n    return WaveActiveSum(1.0);\n}\n",
         "test.fx:3: error: 'WaveActiveSum' (a wave operation of shader model 6) is not supported"},
        {"an attribute evaluated at a sample",
         "struct In { float4 p : SV_Position; float2 uv : TEXCOORD0; };\n"
         "float4 PS(In i) : SV_Target { return EvaluateAttributeAtSample(i.uv.x, 1); }\n",
         "test.fx:2: error: 'EvaluateAttributeAtSample' (an attribute evaluated at a sample or offset) is "
         "not supported"},
    };
    for (const auto& test : cases) {
        const Hlsl::CompileResult result = Build(test.source, "PS", "ps_4_0");
        ASSERT_FALSE(result) << test.name;
        EXPECT_NE(result.errors.find(test.message), std::string::npos) << test.name << ":\n" << result.errors;
    }
    // The explanation sits beside the front end's own words and only where an error points.
    const std::string errors = "a.fx:1: error: 'x' : undeclared identifier\n";
    EXPECT_EQ(Hlsl::ExplainUnsupported(errors, {{"a.fx", "float4 x;\ninterface I {};\n"}}), errors);
}

// --- Drawing ------------------------------------------------------------------------------------

// A vertex entry over the whole target; `PixelIn` carries the colour the vertex side chose.
const std::string kQuadVs = R"(
struct PixelIn { float4 position : SV_Position; float2 uv : TEXCOORD0; float4 colour : COLOR0; };
float4 VertexColour();
PixelIn VS(float3 position : POSITION, float2 uv : TEXCOORD0) {
    PixelIn o; o.position = float4(position.xy * 2, 0, 1); o.uv = uv; o.colour = VertexColour(); return o;
}
)";

class HlslSourceRender : public GpuTest {
protected:
    void SetUp() override {
        GpuTest::SetUp();
        if (IsSkipped()) return;
        // A 2 by 2 texture of four colours, a point sampler and a cbuffer (0.25, 0.5, 0.75, 1).
        texture = MakeTexture(2, 2,
                              {TestSupport::Rgba(255, 0, 0), TestSupport::Rgba(0, 255, 0),
                               TestSupport::Rgba(0, 0, 255), TestSupport::Rgba(255, 255, 255)});
        Gpu::SamplerDesc point;
        point.Filter = Gpu::Filter::MIN_MAG_MIP_POINT;
        sampler = Device().CreateSamplerState(point);
        const float values[4] = {0.25f, 0.5f, 0.75f, 1.0f};
        Gpu::BufferDesc constantDesc{
            sizeof values, Gpu::Usage::IMMUTABLE, Gpu::BIND_CONSTANT_BUFFER, 0, 0, 0};
        Gpu::SubresourceData constantData{values, 0, 0};
        constants = Device().CreateBuffer(constantDesc, &constantData);
        ASSERT_TRUE(texture && sampler && constants);
    }

    // Draws "VS" and `entry` of `source` over an 8 by 8 target and reads it back; empty when a stage
    // does not compile (the test has then failed with the errors).
    Image Draw(const std::string& source, const Includes& includes = {}, const std::string& entry = "PS") {
        const Hlsl::CompileResult vertexCode = Build(source, "VS", "vs_4_0", includes);
        const Hlsl::CompileResult pixelCode = Build(source, entry, "ps_4_0", includes);
        EXPECT_TRUE(vertexCode) << vertexCode.errors;
        EXPECT_TRUE(pixelCode) << pixelCode.errors;
        if (!vertexCode || !pixelCode) return {};
        const Target target = MakeTarget(8, 8);
        BindTarget(target);
        if (!BindQuad(Device().CreateVertexShader(vertexCode.code), vertexCode.code,
                      Device().CreatePixelShader(pixelCode.code)))
            return {};
        Context().PSSetShaderResources(0, texture);
        Context().PSSetSamplers(0, 1, &sampler);
        Context().PSSetConstantBuffers(0, constants);
        Context().Draw(4, 0);
        Context().ClearState();
        return Read(target.texture);
    }

    static bool Same(const Image& a, const Image& b) {
        return a.width == b.width && a.height == b.height && a.rgba == b.rgba && a.width > 0;
    }

    Gpu::ShaderResourceViewPtr texture;
    Gpu::SamplerStatePtr sampler;
    Gpu::BufferPtr constants;
};

TEST_F(HlslSourceRender, AByteOrderMarkInAnyFileChangesNeitherPictureNorErrorLines) {
    const std::string header = "float4 Tint() { return float4(0.25, 0.5, 1, 1); }\n";
    const std::string main = "#include \"tint.hlsl\"\n" + kQuadVs +
                             "float4 VertexColour() { return Tint(); }\n"
                             "float4 PS(PixelIn i) : SV_Target { return i.colour * float4(i.uv, 1, 1); }\n";
    const Image plain = Draw(main, {{"tint.hlsl", header}});
    EXPECT_TRUE(TestSupport::PixelNear(plain, 7, 0, {64, 0, 255, 255}, 8));
    const struct {
        const char* name;
        bool mainMark, headerMark;
    } cases[] = {{"main file", true, false}, {"included file", false, true}, {"both", true, true}};
    for (const auto& test : cases) {
        const Image marked =
            Draw((test.mainMark ? kBom : "") + main, {{"tint.hlsl", (test.headerMark ? kBom : "") + header}});
        EXPECT_TRUE(Same(marked, plain)) << test.name;
    }

    const Hlsl::CompileResult mainError =
        Build(kBom + "\n\nfloat4 PS() : SV_Target { return nothing; }\n", "PS", "ps_4_0");
    EXPECT_NE(mainError.errors.find("test.fx:3: error"), std::string::npos) << mainError.errors;
    const Hlsl::CompileResult headerError =
        Build("#include \"bad.hlsl\"\nfloat4 PS() : SV_Target { return F(); }\n", "PS", "ps_4_0",
              {{"bad.hlsl", kBom + "\nfloat4 F() { return nothing; }\n"}});
    EXPECT_NE(headerError.errors.find("bad.hlsl:2: error"), std::string::npos) << headerError.errors;
}

TEST_F(HlslSourceRender, CodeTestingTheFrontEndsMacrosTakesItsDirect3DPath) {
    // Red where a GL path was taken, green on the Direct3D path; both stages, each macro alone.
    for (const char* macro :
         {"GL_core_profile", "VULKAN", "GL_ARB_gpu_shader5", "GL_FRAGMENT_SHADER", "GL_VERTEX_SHADER",
          "GL_GOOGLE_include_directive", "GL_KHR_shader_subgroup_basic"}) {
        const std::string test = std::string("#ifdef ") + macro +
                                 "\n#define PATH float4(1, 0, 0, 1)\n#else\n" +
                                 "#define PATH float4(0, 1, 0, 1)\n#endif\n";
        const Image image = Draw(test + kQuadVs +
                                 "float4 VertexColour() { return PATH; }\n"
                                 "float4 PS(PixelIn i) : SV_Target { return i.colour * PATH; }\n");
        EXPECT_TRUE(TestSupport::PixelNear(image, 4, 4, {0, 255, 0, 255})) << macro;
    }
    // __LINE__ and #line still count the author's lines after the macros are undone.
    const Image lines =
        Draw(kQuadVs + "float4 VertexColour() { return 1; }\n" +  // lines 1 to 7
             "static const float Line = __LINE__;\n"              // line 8
             "#line 100\n"
             "float4 PS(PixelIn i) : SV_Target { return float4(Line, __LINE__, 0, 255) / 255; }\n");
    EXPECT_TRUE(TestSupport::PixelNear(lines, 4, 4, {8, 100, 0, 255}, 0));
}

TEST_F(HlslSourceRender, AnEffectFileDrawsAsItsPlainEntry) {
    const std::string plain = kQuadVs + R"(
Texture2D<float4> Image : register(t0);
SamplerState Point : register(s0);
cbuffer Params : register(b0)
{
    float4 Levels;
};
static float Pair[2] = { Levels.x, Levels.z };
float4 VertexColour() { return 1; }
float4 PS(PixelIn i) : SV_Target { return Image.Sample(Point, i.uv) * float4(Pair[0], Pair[1], 1, 1); }
)";
    const std::string effect = kQuadVs + R"(
Texture2D<float4> Image : register(t0) < string ResourceName = "four.png"; >;
SamplerState Point : register(s0)
{
    Filter = MIN_MAG_MIP_LINEAR;
    AddressU = Wrap;
    BorderColor = float4(1, 0, 1, 1);
};
BlendState Additive { BlendEnable[0] = TRUE; SrcBlend = ONE; DestBlend = ONE; };
DepthStencilState NoDepth { DepthEnable = FALSE; };
RasterizerState Both { CullMode = None; };
cbuffer Params : register(b0)
{
    float4 Levels < string UIName = "Levels"; >;
    static float Pair[2] = { Levels.x, Levels.z };
};
float4 VertexColour() { return 1; }
float4 PS(PixelIn i) : SV_Target { return Image.Sample(Point, i.uv) * float4(Pair[0], Pair[1], 1, 1); }
technique11 Draw
{
    pass P0
    {
        SetVertexShader(CompileShader(vs_4_0, VS()));
        SetPixelShader(CompileShader(ps_4_0, PS()));
        SetBlendState(Additive, float4(0, 0, 0, 0), 0xFFFFFFFF);
        SetDepthStencilState(NoDepth, 0);
        SetRasterizerState(Both);
    }
}
)";
    const Image expected = Draw(plain);
    // The texture's top-left texel is red, scaled by the cbuffer's first level.
    EXPECT_TRUE(TestSupport::PixelNear(expected, 0, 0, {64, 0, 0, 255}, 1));
    EXPECT_TRUE(Same(Draw(effect), expected));
}

}  // namespace
