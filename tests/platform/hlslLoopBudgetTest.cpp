// The loop budget: the instrumented SPIR-V stays valid for every loop shape the front end writes,
// loops are cut after the budget whatever their shape and stage, a loop well within the budget
// draws exactly what it drew without one, the cut is reported once, and the budget keys the cache.
#include "platform/hlsl/loopBudget.h"

#include <gtest/gtest.h>
#include <shaderc/shaderc.h>
#include <spirv-tools/libspirv.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/gpu/gpu.h"
#include "platform/hlsl/compilerService.h"
#include "platform/hlsl/hlslCompiler.h"
#include "support/gpuFixture.h"
#include "support/logCapture.h"

namespace {

using TestSupport::GpuTest;
using TestSupport::Image;

const Hlsl::IncludeResolver kNoIncludes = [](const std::string&, const std::string&, std::string&) {
    return false;
};

// Vertex entry shared by the pixel cases: the quad stretched over the whole target.
const std::string kQuadVs = R"(
cbuffer Params : register(b0) { float limit; float3 unused; };
struct VsOut { float4 position : SV_Position; float2 uv : TEXCOORD0; };
VsOut VS(float3 position : POSITION, float2 uv : TEXCOORD0) {
    VsOut o; o.position = float4(position.xy * 2, 0, 1); o.uv = uv; return o;
}
)";

struct LoopCase {
    const char* name;
    const char* entry;
    const char* target;
    std::string source;
};

// Each pixel case writes in red how many times its innermost body ran, in 1/1024ths.
const std::vector<LoopCase>& Cases() {
    static const std::vector<LoopCase> cases = {
        {"counted for", "PS", "ps_4_0", kQuadVs + R"(
float4 PS(VsOut i) : SV_Target {
    float n = 0;
    [loop] for (int k = 0; k < 2000000000; ++k) n += 1;
    return float4(n / 1024, 0, 0, 1);
})"},
        {"nested loops", "PS", "ps_4_0", kQuadVs + R"(
float4 PS(VsOut i) : SV_Target {
    float n = 0;
    [loop] for (int a = 0; a < 100000; ++a)
        [loop] for (int b = 0; b < 100000; ++b) n += 1;
    return float4(n / 1024, 0, 0, 1);
})"},
        {"while true without its break", "PS", "ps_4_0", kQuadVs + R"(
float4 PS(VsOut i) : SV_Target {
    float n = 0;
    while (true) { n += 1; if (n < -1) break; }
    return float4(n / 1024, 0, 0, 1);
})"},
        {"do while with continue and a value out of the loop", "PS", "ps_4_0", kQuadVs + R"(
float4 PS(VsOut i) : SV_Target {
    float n = 0; int k = 0;
    do { n += 1; k++; if (k % 2 == 0) continue; } while (k >= 0 && i.uv.x >= 0);
    return float4(n / 1024, 0, 0, 1);
})"},
        {"loop in a called function", "PS", "ps_4_0", kQuadVs + R"(
float Count(float start) { float n = start; for (uint k = 0; k != 8; k += 2) n += 1; return n; }
float4 PS(VsOut i) : SV_Target { return float4(Count(0) / 1024, 0, 0, 1); }
)"},
        {"loop in the vertex entry", "VS", "vs_4_0", R"(
struct VsOut { float4 position : SV_Position; float2 uv : TEXCOORD0; };
VsOut VS(float3 position : POSITION, float2 uv : TEXCOORD0) {
    float n = 0;
    [loop] while (n >= 0) n += 1;
    VsOut o; o.position = float4(position.xy * 2, 0, 1); o.uv = float2(n / 1024, 0); return o;
})"},
    };
    return cases;
}

std::vector<uint32_t> ToSpirv(const LoopCase& c) {
    std::unique_ptr<shaderc_compiler, void (*)(shaderc_compiler_t)> compiler(shaderc_compiler_initialize(),
                                                                             shaderc_compiler_release);
    std::unique_ptr<shaderc_compile_options, void (*)(shaderc_compile_options_t)> options(
        shaderc_compile_options_initialize(), shaderc_compile_options_release);
    shaderc_compile_options_set_source_language(options.get(), shaderc_source_language_hlsl);
    shaderc_compile_options_set_target_env(options.get(), shaderc_target_env_vulkan,
                                           shaderc_env_version_vulkan_1_0);
    shaderc_compile_options_set_auto_bind_uniforms(options.get(), true);
    const auto kind = std::string(c.target) == "vs_4_0" ? shaderc_vertex_shader : shaderc_fragment_shader;
    std::unique_ptr<shaderc_compilation_result, void (*)(shaderc_compilation_result_t)> result(
        shaderc_compile_into_spv(compiler.get(), c.source.data(), c.source.size(), kind, c.name, c.entry,
                                 options.get()),
        shaderc_result_release);
    EXPECT_EQ(shaderc_result_get_compilation_status(result.get()), shaderc_compilation_status_success)
        << shaderc_result_get_error_message(result.get());
    const auto* bytes = reinterpret_cast<const uint32_t*>(shaderc_result_get_bytes(result.get()));
    return std::vector<uint32_t>(bytes, bytes + shaderc_result_get_length(result.get()) / 4);
}

// The validator's verdict on a module, "" when it is valid.
std::string Validate(const std::vector<uint32_t>& words) {
    std::unique_ptr<spv_context_t, void (*)(spv_context)> context(spvContextCreate(SPV_ENV_VULKAN_1_0),
                                                                  spvContextDestroy);
    spv_diagnostic diagnostic = nullptr;
    const spv_result_t result = spvValidateBinary(context.get(), words.data(), words.size(), &diagnostic);
    std::string text = result == SPV_SUCCESS ? "" : "invalid";
    if (diagnostic) {
        text += std::string(": ") + diagnostic->error;
        spvDiagnosticDestroy(diagnostic);
    }
    return text;
}

TEST(HlslLoopBudget, EveryLoopShapeStaysValidSpirv) {
    for (const LoopCase& c : Cases()) {
        std::vector<uint32_t> words = ToSpirv(c);
        ASSERT_EQ(Validate(words), "") << c.name << " before the pass";
        std::string error;
        EXPECT_TRUE(Hlsl::AddLoopBudget(words, 64, error)) << c.name;
        EXPECT_EQ(error, "") << c.name;
        EXPECT_EQ(Validate(words), "") << c.name;
    }
}

TEST(HlslLoopBudget, ModulesWithoutLoopsAndForeignBytesAreLeftAlone) {
    std::vector<uint32_t> words = ToSpirv({"straight", "PS", "ps_4_0", kQuadVs + R"(
float4 PS(VsOut i) : SV_Target { return float4(i.uv, 0, 1); })"});
    const std::vector<uint32_t> before = words;
    std::string error;
    EXPECT_FALSE(Hlsl::AddLoopBudget(words, 64, error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(words, before);

    for (std::vector<uint32_t> foreign : {std::vector<uint32_t>{}, std::vector<uint32_t>{1, 2, 3, 4, 5, 6},
                                          std::vector<uint32_t>(before.begin(), before.end() - 3)}) {
        if (foreign.size() > 5) foreign.back() = 0xffff0001u;  // an instruction longer than what is left
        const std::vector<uint32_t> kept = foreign;
        EXPECT_FALSE(Hlsl::AddLoopBudget(foreign, 64, error));
        EXPECT_NE(error, "");
        EXPECT_EQ(foreign, kept);
    }
}

// --- Drawing -------------------------------------------------------------------------------------

class HlslLoopBudgetRender : public GpuTest {
protected:
    void SetUp() override {
        GpuTest::SetUp();
        if (IsSkipped()) return;
        Gpu::BufferDesc quadDesc{
            sizeof TestSupport::kQuad, Gpu::Usage::IMMUTABLE, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0};
        Gpu::SubresourceData quadData{TestSupport::kQuad, 0, 0};
        quad = Device().CreateBuffer(quadDesc, &quadData);
        ASSERT_TRUE(quad);
    }

    std::shared_ptr<const Hlsl::ShaderCode> Build(const std::string& source, const std::string& name,
                                                  const std::string& entry, const std::string& target,
                                                  uint32_t budget) {
        const Hlsl::CompileResult result =
            Hlsl::CompileInProcess(source, name, kNoIncludes, entry, target, budget);
        EXPECT_TRUE(result) << name << ": " << result.errors;
        return result.code;
    }

    // Draws the quad over an 8 by 8 target with the two stages given and reads it back.
    Image Draw(const std::shared_ptr<const Hlsl::ShaderCode>& vertexCode,
               const std::shared_ptr<const Hlsl::ShaderCode>& pixelCode) {
        if (!vertexCode || !pixelCode) return {};
        auto vertex = Device().CreateVertexShader(vertexCode);
        auto pixel = Device().CreatePixelShader(pixelCode);
        auto layout = Device().CreateInputLayout(TestSupport::kQuadLayout, 3, *vertexCode);
        EXPECT_TRUE(vertex && pixel && layout);
        const Target target = MakeTarget(8, 8);
        BindTarget(target);
        Context().IASetInputLayout(layout);
        Context().VSSetShader(vertex);
        Context().PSSetShader(pixel);
        Context().IASetVertexBuffers(0, quad, sizeof(TestSupport::QuadVertex), 0);
        Context().IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
        Context().Draw(4, 0);
        // The shaders go here: their words are read as they go.
        Context().ClearState();
        return Read(target.texture);
    }

    Gpu::BufferPtr quad;
};

TEST_F(HlslLoopBudgetRender, EachLoopShapeIsCutAfterTheBudgetAndReportedOnce) {
    constexpr uint32_t kBudget = 100;
    // Pixel cases show the count in red; the vertex case passes it to a pixel entry that shows it.
    const std::string showUv = kQuadVs + "float4 PS(VsOut i) : SV_Target { return float4(i.uv.x, 0, 0, 1); }";
    int index = 0;
    for (const LoopCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        // Each case has a file name of its own: the message comes once per file and entry.
        const std::string name = "loop" + std::to_string(index++) + ".fx";
        const bool vertexCase = std::string(c.target) == "vs_4_0";
        TestSupport::LogCapture log;
        const Image image = vertexCase ? Draw(Build(c.source, name, "VS", "vs_4_0", kBudget),
                                              Build(showUv, "show.fx", "PS", "ps_4_0", kBudget))
                                       : Draw(Build(c.source, name, "VS", "vs_4_0", kBudget),
                                              Build(c.source, name, "PS", "ps_4_0", kBudget));
        ASSERT_EQ(image.width, 8u);
        const bool cut = std::string(c.name) != "loop in a called function";
        // The budget counts iterations of all loops together; a nested loop adds its outer loops'
        // last steps. 1024ths of full red: 100 iterations are 25 of 255.
        const int red = image.At(4, 4)[0];
        if (cut) {
            EXPECT_GE(red, 24);
            EXPECT_LE(red, 27);
        } else {
            EXPECT_EQ(red, 1);  // 4 iterations, 1 of 255 after rounding
        }
        const std::string message =
            "'" + std::string(c.entry) + "' in '" + name + "' reached its loop budget; its loops were cut";
        const auto texts = log.Texts();
        EXPECT_EQ(std::count(texts.begin(), texts.end(), message), cut ? 1 : 0)
            << ::testing::PrintToString(texts);
    }
}

TEST_F(HlslLoopBudgetRender, ALoopWithinTheBudgetDrawsWhatItDrewWithoutOne) {
    // A thousand dependent steps: any change in what the loop computes shows in the low bits.
    const std::string source = kQuadVs + R"(
float4 PS(VsOut i) : SV_Target {
    float3 c = float3(i.uv, 0.25);
    [loop] for (int k = 0; k < 1000; ++k) c = frac(c * 1.0001 + sin(c + k * 0.001));
    return float4(c, 1);
})";
    const Image plain =
        Draw(Build(source, "steps.fx", "VS", "vs_4_0", 0), Build(source, "steps.fx", "PS", "ps_4_0", 0));
    const auto bounded = Build(source, "steps.fx", "PS", "ps_4_0", Hlsl::kLoopBudget);
    ASSERT_TRUE(bounded);
    EXPECT_TRUE(bounded->loopBudget);
    const Image instrumented = Draw(Build(source, "steps.fx", "VS", "vs_4_0", Hlsl::kLoopBudget), bounded);
    EXPECT_TRUE(TestSupport::ImagesNear(instrumented, plain, 0, 0.0, "loop-budget-within"));
}

TEST(HlslLoopBudgetCache, TheBudgetIsPartOfTheKey) {
    Hlsl::CompilerService& service = Hlsl::CompilerService::Get();
    const Hlsl::CompileLimits before = service.GetLimits();
    const std::string source = kQuadVs + R"(
float4 PS(VsOut i) : SV_Target { float n = 0; [loop] for (int k = 0; k < 5; ++k) n += 1; return n; })";
    const std::string name = "budget-key.fx";
    Hlsl::CompileLimits limits = before;
    limits.loopBudget = 0;
    service.SetLimits(limits);
    const uint64_t compiles = service.Counters().compiles;
    const auto plain = service.Compile(source, name, kNoIncludes, "PS", "ps_4_0");
    limits.loopBudget = 64;
    service.SetLimits(limits);
    const auto bounded = service.Compile(source, name, kNoIncludes, "PS", "ps_4_0");
    service.SetLimits(before);
    ASSERT_TRUE(plain && bounded) << plain.errors << bounded.errors;
    EXPECT_EQ(service.Counters().compiles, compiles + 2) << "the second budget reused the first's code";
    EXPECT_FALSE(plain.code->loopBudget);
    EXPECT_TRUE(bounded.code->loopBudget);
    EXPECT_NE(plain.code->glsl, bounded.code->glsl);
}

}  // namespace
