// Cost of compiling shaders at run time: a small full-screen pixel shader, an instanced vertex shader
// with a repacked StructuredBuffer and cbuffer, and how much of that is our translation (SPIR-V
// reflection, packing, GLSL emission) rather than the HLSL front end.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/hlsl/hlslCompiler.h"

namespace {

const char* kSource = R"(
cbuffer Constants : register(b0)
{
    float4x4 viewProjection;
    float e[4];
    float3x3 rotation;
    float time;
    float3 eye;
};
struct Sprite { float x; float y; float4 colour; float first; float second; int cell; float unused; };
StructuredBuffer<Sprite> sprites : register(t5);
Texture2D image : register(t0);
SamplerState linearClamp : register(s0);
struct VSOut { float4 position : SV_Position; float2 uv : TEXCOORD0; float4 colour : COLOR0; };
VSOut VS(float3 p : POSITION, float2 uv : TEXCOORD0, float3 n : NORMAL, uint id : SV_InstanceID)
{
    Sprite s = sprites[id];
    VSOut o;
    o.position = mul(float4(mul(p, rotation) + float3(s.x, s.y, 0) + eye * e[2], 1), viewProjection);
    o.uv = uv + s.cell * time;
    o.colour = s.colour * s.first;
    return o;
}
float4 PS(VSOut i) : SV_Target
{
    float4 sum = 0;
    for (int k = 0; k < 8; ++k) sum += image.Sample(linearClamp, i.uv + k * 0.01);
    return sum * i.colour / 8;
}
)";

const Hlsl::IncludeResolver kNoIncludes = [](const std::string&, const std::string&, std::string&) {
    return false;
};

void BM_CompileVertexShader(benchmark::State& state) {
    for (auto _ : state) {
        auto result = Hlsl::Compile(kSource, "bench.fx", kNoIncludes, "VS", "vs_4_0");
        if (!result) state.SkipWithError(result.errors.c_str());
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_CompileVertexShader)->Unit(benchmark::kMillisecond);

void BM_CompilePixelShader(benchmark::State& state) {
    for (auto _ : state) {
        auto result = Hlsl::Compile(kSource, "bench.fx", kNoIncludes, "PS", "ps_4_0");
        if (!result) state.SkipWithError(result.errors.c_str());
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_CompilePixelShader)->Unit(benchmark::kMillisecond);

// The front end alone fails at once on a missing entry point after parsing: the floor under the above.
void BM_FrontEndParseOnly(benchmark::State& state) {
    for (auto _ : state) {
        auto result = Hlsl::Compile(kSource, "bench.fx", kNoIncludes, "Missing", "vs_4_0");
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_FrontEndParseOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
