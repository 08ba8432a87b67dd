// Texel offsets built from loop counters: the loops are unrolled so that GL sees constant offsets, the
// picture equals that of the same reads written out by hand, and an offset that cannot be made
// constant fails the compile at the author's line; what the driver refuses is logged at that line too.
#include <gtest/gtest.h>

#include "platform/gpu/gpu.h"
#include "platform/hlsl/hlslCompiler.h"
#include "support/gpuFixture.h"
#include "support/logCapture.h"

namespace {

using TestSupport::GpuTest;
using TestSupport::Image;

const Hlsl::IncludeResolver kNoIncludes;

// A 3x3 box read with offsets from two nested loops, a weighted cross with a loop over a constant
// table, and both written out by hand.
const char* kSource = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; float2 uv : TEXCOORD0; };
Texture2D image : register(t0);
SamplerState pointClamp : register(s0);
VSOut VS(VSIn input) {
    VSOut o;
    o.pos = float4(input.pos.xy * 2.0, 0.5, 1.0);
    o.uv = input.uv;
    return o;
}
float4 PS_BoxLoop(VSOut i) : SV_Target {
    float4 sum = 0;
    for (int y = -1; y <= 1; ++y)
        for (int x = -1; x <= 1; ++x)
            sum += image.Sample(pointClamp, i.uv, int2(x, y)) * (x + 2) * (y + 3) / 36.0;
    return sum;
}
float4 PS_BoxByHand(VSOut i) : SV_Target {
    float4 sum = 0;
    sum += image.Sample(pointClamp, i.uv, int2(-1, -1)) * 1 * 2 / 36.0;
    sum += image.Sample(pointClamp, i.uv, int2(0, -1)) * 2 * 2 / 36.0;
    sum += image.Sample(pointClamp, i.uv, int2(1, -1)) * 3 * 2 / 36.0;
    sum += image.Sample(pointClamp, i.uv, int2(-1, 0)) * 1 * 3 / 36.0;
    sum += image.Sample(pointClamp, i.uv, int2(0, 0)) * 2 * 3 / 36.0;
    sum += image.Sample(pointClamp, i.uv, int2(1, 0)) * 3 * 3 / 36.0;
    sum += image.Sample(pointClamp, i.uv, int2(-1, 1)) * 1 * 4 / 36.0;
    sum += image.Sample(pointClamp, i.uv, int2(0, 1)) * 2 * 4 / 36.0;
    sum += image.Sample(pointClamp, i.uv, int2(1, 1)) * 3 * 4 / 36.0;
    return sum;
}
static const int2 kCross[4] = { int2(-2, 0), int2(2, 0), int2(0, -1), int2(0, 1) };
float4 PS_CrossLoop(VSOut i) : SV_Target {
    float4 sum = 0;
    [loop] for (uint k = 0; k < 4; k++)
        sum += image.Load(int3(i.pos.xy, 0), kCross[k]) * (k + 1) / 10.0;
    return sum;
}
float4 PS_CrossByHand(VSOut i) : SV_Target {
    int3 at = int3(i.pos.xy, 0);
    return (image.Load(at, int2(-2, 0)) * 1 + image.Load(at, int2(2, 0)) * 2 +
            image.Load(at, int2(0, -1)) * 3 + image.Load(at, int2(0, 1)) * 4) / 10.0;
}
)";

class HlslTexelOffsets : public GpuTest {
protected:
    Image Draw(const std::string& entry) {
        auto program = MakeProgram(kSource, entry);
        if (!BindQuad(program)) return {};
        // 8x8 texels, each of its own colour.
        std::vector<uint32_t> pixels;
        for (uint32_t y = 0; y < 8; ++y)
            for (uint32_t x = 0; x < 8; ++x)
                pixels.push_back(TestSupport::Rgba(x * 36, y * 36, (x ^ y) * 30, 255 - x * y));
        auto sampler = PointSampler();
        Context().PSSetSamplers(0, 1, &sampler);
        Context().PSSetShaderResources(0, MakeTexture(8, 8, pixels));
        auto target = MakeTarget(8, 8, {1, 0, 1, 1});
        BindTarget(target);
        Context().Draw(4, 0);
        return Read(target.texture);
    }
};

TEST_F(HlslTexelOffsets, LoopCountersAsOffsetsDrawAsTheReadsWrittenOutByHand) {
    const std::pair<const char*, const char*> pairs[] = {{"PS_BoxLoop", "PS_BoxByHand"},
                                                         {"PS_CrossLoop", "PS_CrossByHand"}};
    for (const auto& [loop, byHand] : pairs) {
        SCOPED_TRACE(loop);
        const Image looped = Draw(loop);
        const Image written = Draw(byHand);
        ASSERT_EQ(looped.width, 8u);
        // Division by a constant may be folded into a multiplication: a last-bit difference at most.
        EXPECT_TRUE(TestSupport::ImagesNear(looped, written, 1, 0.0, loop));
        EXPECT_NE(looped.At(3, 3), (std::array<int, 4>{255, 0, 255, 255})) << "nothing drawn";
    }
}

TEST(HlslTexelOffsetsCompile, OnlyShadersWithVariableOffsetsAreUnrolled) {
    const auto looped = Hlsl::Compile(kSource, "blur.fx", kNoIncludes, "PS_BoxLoop", "ps_4_0");
    ASSERT_TRUE(looped) << looped.errors;
    EXPECT_EQ(looped.code->glsl.find("for ("), std::string::npos) << looped.code->glsl;
    // A loop whose reads take constant offsets stays a loop.
    const auto kept = Hlsl::Compile(R"(
Texture2D image : register(t0);
SamplerState s : register(s0);
cbuffer Params : register(b0) { int count; };
float4 PS(float2 uv : TEXCOORD0) : SV_Target {
    float4 sum = 0;
    for (int k = 0; k < count; ++k) sum += image.Sample(s, uv + k * 0.01, int2(1, 0));
    return sum;
}
)",
                                    "kept.fx", kNoIncludes, "PS", "ps_4_0");
    ASSERT_TRUE(kept) << kept.errors;
    EXPECT_NE(kept.code->glsl.find("for ("), std::string::npos) << kept.code->glsl;
    // GL lets a gather take a variable offset: nothing to unroll, nothing to refuse.
    const auto gathered = Hlsl::Compile(R"(
Texture2D image : register(t0);
SamplerState s : register(s0);
cbuffer Params : register(b0) { int count; };
float4 PS(float2 uv : TEXCOORD0) : SV_Target {
    float4 sum = 0;
    for (int k = 0; k < count; ++k) sum += image.Gather(s, uv, int2(k, 0));
    return sum;
}
)",
                                        "gathered.fx", kNoIncludes, "PS", "ps_4_0");
    ASSERT_TRUE(gathered) << gathered.errors;
    EXPECT_NE(gathered.code->glsl.find("for ("), std::string::npos) << gathered.code->glsl;
}

TEST(HlslTexelOffsetsCompile, AnOffsetThatCannotBeMadeConstantFailsAtTheAuthorsLine) {
    struct Case {
        const char* what;
        const char* source;
        const char* where;
    };
    const Case cases[] = {
        {"loop of unknown count", R"(Texture2D image : register(t0);
SamplerState s : register(s0);
cbuffer Params : register(b0) { int count; int2 shift; };
float4 PS(float2 uv : TEXCOORD0) : SV_Target {
    float4 sum = 0;
    for (int k = 0; k < count; ++k)
        sum += image.Sample(s, uv, int2(k, 0));
    return sum;
}
)",
         "broken.fx:7: error: "},
        {"offset from a constant buffer", R"(Texture2D image : register(t0);
SamplerState s : register(s0);
cbuffer Params : register(b0) { int count; int2 shift; };
float4 PS(float2 uv : TEXCOORD0) : SV_Target {
    return image.Sample(s, uv, shift);
}
)",
         "broken.fx:5: error: "},
    };
    for (const Case& c : cases) {
        const auto result = Hlsl::Compile(c.source, "broken.fx", kNoIncludes, "PS", "ps_4_0");
        ASSERT_FALSE(result) << c.what;
        EXPECT_NE(result.errors.find(c.where), std::string::npos) << c.what << ": " << result.errors;
        EXPECT_NE(result.errors.find("texel offset"), std::string::npos) << c.what << ": " << result.errors;
    }
}

// Whatever the driver still refuses in translated code is told against the author's file, and line
// where the translation carries line markers (as "#line K*1000000+N" with file K named in a comment).
TEST_F(HlslTexelOffsets, AShaderTheDriverRefusesIsReportedAgainstTheAuthorsFileAndLine) {
    const auto compiled = Hlsl::Compile(kSource, "effects/glow.fx", kNoIncludes, "PS_BoxByHand", "ps_4_0");
    ASSERT_TRUE(compiled) << compiled.errors;
    auto code = std::make_shared<Hlsl::ShaderCode>(*compiled.code);
    // A call the driver does not know, marked as line 19 of the author's file.
    const size_t body = code->glsl.find("{\n", code->glsl.find("void main()"));
    ASSERT_NE(body, std::string::npos) << code->glsl;
    code->glsl.insert(body + 2, "#line 1000019\n    unsupported();\n");
    code->glsl.insert(code->glsl.find('\n') + 1, "// source 1: effects/glow.fx\n");

    TestSupport::LogCapture log;
    EXPECT_FALSE(Device().CreatePixelShader(code));
    std::string logged;
    for (const std::string& text : log.Texts()) logged += text + "\n";
    EXPECT_NE(logged.find("'effects/glow.fx', entry 'PS_BoxByHand'"), std::string::npos) << logged;
    EXPECT_NE(logged.find("not supported"), std::string::npos) << logged;
    EXPECT_NE(logged.find("\neffects/glow.fx:19:"), std::string::npos) << logged;
}

}  // namespace
