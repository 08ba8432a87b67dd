// What the GPU layer itself costs per call, headless on the software rasterizer: a draw with nothing
// changed, a draw after a write-discard update of its constant buffer, an instanced draw after the
// 512 sprite records of stride 40 were rewritten (repacked for GL on the way), and an 800 by 600
// clear. Draws go into a 1 by 1 target so that the rasterizer's share stays small; the counters show
// the uploads each case made.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/gpu/gpu.h"
#include "platform/hlsl/hlslCompiler.h"

namespace {

struct Vertex {
    float position[3];
    float uv[2];
    float normal[3];
};

const Vertex kQuad[4] = {
    {{-0.5f, -0.5f, 0}, {0, 1}, {1, 0, 0}},
    {{-0.5f, 0.5f, 0}, {0, 0}, {1, 0, 0}},
    {{0.5f, -0.5f, 0}, {1, 1}, {1, 0, 0}},
    {{0.5f, 0.5f, 0}, {1, 0}, {1, 0, 0}},
};

const char* kSource = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; float4 colour : COLOR0; };
cbuffer Frame : register(b0) { float4 colour; float scale; float3 unused; };
struct Sprite { float x; float y; float4 colour; float a; float b; int cell; };
StructuredBuffer<Sprite> sprites : register(t5);
VSOut VS(VSIn input, uint id : SV_InstanceID) {
    VSOut output;
    output.pos = float4(input.pos.xy * 2.0 * scale, 0.5, 1.0);
    output.colour = colour * sprites[id].colour;
    return output;
}
float4 PS(VSOut input) : SV_Target { return input.colour; }
)";

struct Scene {
    Gpu::DeviceSet set;
    Gpu::BufferPtr quad, frame, sprites;
    Gpu::RenderTargetViewPtr smallTarget, bigTarget;
    bool ready = false;
};

Scene& GetScene() {
    static Scene scene = [] {
        Scene s;
        s.set = Gpu::CreateHeadlessDevice(800, 600);
        if (!s.set) return s;
        Gpu::Device& device = *s.set.device;
        Gpu::Context& context = *s.set.context;
        const Hlsl::IncludeResolver none = [](const std::string&, const std::string&, std::string&) {
            return false;
        };
        auto vertexCode = Hlsl::Compile(kSource, "bench.fx", none, "VS", "vs_4_0").code;
        auto pixelCode = Hlsl::Compile(kSource, "bench.fx", none, "PS", "ps_4_0").code;
        if (!vertexCode || !pixelCode) return s;
        const Gpu::InputElementDesc layout[3] = {
            {"POSITION", 0, Gpu::Format::R32G32B32_FLOAT, 0, 0, Gpu::InputClassification::PER_VERTEX_DATA, 0},
            {"TEXCOORD", 0, Gpu::Format::R32G32_FLOAT, 0, 12, Gpu::InputClassification::PER_VERTEX_DATA, 0},
            {"NORMAL", 0, Gpu::Format::R32G32B32_FLOAT, 0, 20, Gpu::InputClassification::PER_VERTEX_DATA, 0},
        };
        Gpu::SubresourceData quadData{kQuad, 0, 0};
        s.quad = device.CreateBuffer({sizeof kQuad, Gpu::Usage::IMMUTABLE, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0},
                                     &quadData);
        s.frame = device.CreateBuffer(
            {32, Gpu::Usage::DYNAMIC, Gpu::BIND_CONSTANT_BUFFER, Gpu::CPU_ACCESS_WRITE, 0, 0});
        s.sprites = device.CreateBuffer({40 * 512, Gpu::Usage::DYNAMIC, Gpu::BIND_SHADER_RESOURCE,
                                         Gpu::CPU_ACCESS_WRITE, Gpu::RESOURCE_MISC_BUFFER_STRUCTURED, 40});
        auto small = device.CreateTexture2D({.Width = 1, .Height = 1, .BindFlags = Gpu::BIND_RENDER_TARGET});
        auto big =
            device.CreateTexture2D({.Width = 800, .Height = 600, .BindFlags = Gpu::BIND_RENDER_TARGET});
        s.smallTarget = device.CreateRenderTargetView(small);
        s.bigTarget = device.CreateRenderTargetView(big);
        context.IASetInputLayout(device.CreateInputLayout(layout, 3, *vertexCode));
        context.VSSetShader(device.CreateVertexShader(vertexCode));
        context.PSSetShader(device.CreatePixelShader(pixelCode));
        context.IASetVertexBuffers(0, s.quad, sizeof(Vertex), 0);
        context.IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
        context.VSSetConstantBuffers(0, s.frame);
        context.VSSetShaderResources(5, device.CreateShaderResourceView(s.sprites));
        context.OMSetRenderTargets(s.smallTarget);
        const Gpu::Viewport viewport{0, 0, 1, 1, 0, 1};
        context.RSSetViewports(1, &viewport);
        s.ready = s.quad && s.frame && s.sprites && s.smallTarget && s.bigTarget;
        return s;
    }();
    return scene;
}

void Write(Gpu::Context& context, const Gpu::BufferPtr& buffer, const void* bytes, size_t size) {
    Gpu::MappedSubresource mapped;
    if (context.Map(buffer, 0, Gpu::MapType::WRITE_DISCARD, 0, &mapped)) {
        std::memcpy(mapped.pData, bytes, size);
        context.Unmap(buffer, 0);
    }
}

void Report(benchmark::State& state, const Gpu::Counters& counters) {
    state.counters["uploads/iteration"] =
        benchmark::Counter(double(counters.uploads), benchmark::Counter::kAvgIterations);
    state.counters["upload bytes/iteration"] =
        benchmark::Counter(double(counters.uploadBytes), benchmark::Counter::kAvgIterations);
}

void DrawUnchanged(benchmark::State& state) {
    Scene& scene = GetScene();
    if (!scene.ready) return state.SkipWithError("no headless device or shader");
    Gpu::Context& context = *scene.set.context;
    const float frame[8] = {1, 1, 1, 1, 1, 0, 0, 0};
    Write(context, scene.frame, frame, sizeof frame);
    context.Draw(4, 0);
    scene.set.device->GetCounters().Reset();
    for (auto _ : state) context.DrawInstanced(4, 1, 0, 0);
    Report(state, scene.set.device->GetCounters());
    context.Flush();
}
BENCHMARK(DrawUnchanged);

void DrawAfterConstantUpdate(benchmark::State& state) {
    Scene& scene = GetScene();
    if (!scene.ready) return state.SkipWithError("no headless device or shader");
    Gpu::Context& context = *scene.set.context;
    float frame[8] = {1, 1, 1, 1, 1, 0, 0, 0};
    scene.set.device->GetCounters().Reset();
    for (auto _ : state) {
        frame[0] = frame[0] > 0.5f ? 0.25f : 1.0f;
        Write(context, scene.frame, frame, sizeof frame);
        context.DrawInstanced(4, 1, 0, 0);
    }
    Report(state, scene.set.device->GetCounters());
    context.Flush();
}
BENCHMARK(DrawAfterConstantUpdate);

void DrawAfterSpriteRepack(benchmark::State& state) {
    Scene& scene = GetScene();
    if (!scene.ready) return state.SkipWithError("no headless device or shader");
    Gpu::Context& context = *scene.set.context;
    std::vector<uint8_t> records(40 * 512, 0);
    scene.set.device->GetCounters().Reset();
    for (auto _ : state) {
        records[8] ^= 1;
        Write(context, scene.sprites, records.data(), records.size());
        context.DrawInstanced(4, 1, 0, 0);
    }
    Report(state, scene.set.device->GetCounters());
    context.Flush();
}
BENCHMARK(DrawAfterSpriteRepack);

void ClearFullTarget(benchmark::State& state) {
    Scene& scene = GetScene();
    if (!scene.ready) return state.SkipWithError("no headless device or shader");
    Gpu::Context& context = *scene.set.context;
    const float colour[4] = {0.1f, 0.2f, 0.3f, 1};
    for (auto _ : state) context.ClearRenderTargetView(scene.bigTarget, colour);
    context.Flush();
}
BENCHMARK(ClearFullTarget);

}  // namespace

BENCHMARK_MAIN();
