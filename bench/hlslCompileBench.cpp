// Cost of compiling shaders at run time: a small full-screen pixel shader, an instanced vertex shader
// with a repacked StructuredBuffer and cbuffer, how much of that is our translation (SPIR-V
// reflection, packing, GLSL emission) rather than the HLSL front end, and every bundled entry.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/hlsl/hlslCompiler.h"
#include "platform/hlsl/hlslSource.h"

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

// A pixel shader whose texel offsets come from loop counters: the loops are unrolled before the
// translation, which no other shader pays for.
const char* kUnrolledSource = R"(
Texture2D image : register(t0);
SamplerState pointClamp : register(s0);
float4 PS(float4 p : SV_Position, float2 uv : TEXCOORD0) : SV_Target
{
    float4 sum = 0;
    for (int y = -2; y <= 2; ++y)
        for (int x = -2; x <= 2; ++x)
            sum += image.Sample(pointClamp, uv, int2(x, y)) * (3 - abs(x)) * (3 - abs(y));
    return sum / 81;
}
)";

void BM_CompileUnrolledOffsets(benchmark::State& state) {
    for (auto _ : state) {
        auto result = Hlsl::CompileInProcess(kUnrolledSource, "bench.fx", kNoIncludes, "PS", "ps_4_0", 0);
        if (!result) state.SkipWithError(result.errors.c_str());
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_CompileUnrolledOffsets)->Unit(benchmark::kMillisecond);

// Every entry of the bundled show's shader files ("VS" and each function returning SV_Target), compiled
// in process without the cache: what a cold start pays for its shaders.
struct BundledEntry {
    std::string name, source, entry, target;
};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::vector<BundledEntry>& BundledEntries() {
    static const std::vector<BundledEntry> entries = [] {
        std::vector<BundledEntry> list;
        const std::filesystem::path data = std::filesystem::path(VANTRISK_SOURCE_DIR) / "data";
        const std::regex pixelEntry(R"((\w+)\s*\([^)]*\)\s*:\s*SV_Target)");
        for (const auto& file : std::filesystem::directory_iterator(data)) {
            if (file.path().extension() != ".fx") continue;
            const std::string source = ReadFile(file.path());
            const std::string name = file.path().filename().string();
            if (source.find(" VS(") != std::string::npos) list.push_back({name, source, "VS", "vs_4_0"});
            for (std::sregex_iterator it(source.begin(), source.end(), pixelEntry), end; it != end; ++it)
                list.push_back({name, source, (*it)[1].str(), "ps_4_0"});
        }
        return list;
    }();
    return entries;
}

void BM_CompileBundledShaders(benchmark::State& state) {
    const std::filesystem::path data = std::filesystem::path(VANTRISK_SOURCE_DIR) / "data";
    const Hlsl::IncludeResolver fromData = [&](const std::string& name, const std::string&,
                                               std::string& contents) {
        if (!std::filesystem::exists(data / name)) return false;
        contents = ReadFile(data / name);
        return true;
    };
    size_t failed = 0;
    for (auto _ : state) {
        for (const BundledEntry& e : BundledEntries()) {
            auto result = Hlsl::CompileInProcess(e.source, e.name, fromData, e.entry, e.target);
            failed += !result;
            benchmark::DoNotOptimize(result);
        }
    }
    state.SetLabel(std::to_string(BundledEntries().size()) + " entries, " +
                   std::to_string(failed / std::max<size_t>(state.iterations(), 1)) + " not compiling");
}
BENCHMARK(BM_CompileBundledShaders)->Unit(benchmark::kMillisecond);

// The pass that reads the author's text as the Direct3D compiler does (byte-order mark, effect
// blocks), alone over the same files: what it adds in front of the front end.
void BM_SourcePassOverBundledShaders(benchmark::State& state) {
    for (auto _ : state) {
        for (const BundledEntry& e : BundledEntries())
            benchmark::DoNotOptimize(Hlsl::ReadAsDirect3D(e.source));
    }
}
BENCHMARK(BM_SourcePassOverBundledShaders)->Unit(benchmark::kMicrosecond);

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
