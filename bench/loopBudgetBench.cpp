// What the loop budget costs and what it saves, headless on the software rasterizer at 800 by 600:
//   BlurPass/budget:N     one full-screen pass of the bundled blur (the only bundled shader with a loop,
//                         so the busiest pass the budget touches; every other bundled shader compiles
//                         to the very same code with or without it), N = 0 without the budget
//   RunawayLoop/budget:N  the frame of a pixel entry that loops two billion times, cut at N iterations;
//                         this is how the budget's value was chosen (about 2 s at the budget)
// Each iteration waits for the GPU, so the times are the render times of the pass. On a machine that
// is busy with other work, compare the processor time of whole runs of one case each
// (--benchmark_filter), which the rasterizer's threads add up to.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
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

const Gpu::InputElementDesc kLayout[3] = {
    {"POSITION", 0, Gpu::Format::R32G32B32_FLOAT, 0, 0, Gpu::InputClassification::PER_VERTEX_DATA, 0},
    {"TEXCOORD", 0, Gpu::Format::R32G32_FLOAT, 0, 12, Gpu::InputClassification::PER_VERTEX_DATA, 0},
    {"NORMAL", 0, Gpu::Format::R32G32B32_FLOAT, 0, 20, Gpu::InputClassification::PER_VERTEX_DATA, 0},
};

// The loop of a new user's first try at an animated pattern, with its bound mistyped.
const char* kRunaway = R"(
cbuffer Params : register(b0) { float time; float3 unused; };
struct PixelIn { float4 position : SV_Position; float2 texcoord : TEXCOORD0; };
PixelIn VS(float3 position : POSITION, float2 texcoord : TEXCOORD0) {
    PixelIn o; o.position = float4(position.xy * 2.0, 0.0, 1.0); o.texcoord = texcoord; return o;
}
float4 PS(PixelIn input) : SV_Target {
    float c = input.texcoord.x;
    [loop] for (int i = 0; i < 2000000000; ++i) c = frac(c * 1.0001 + sin(c + time));
    return float4(c, input.texcoord.y, 0.5, 1.0);
}
)";

const Hlsl::IncludeResolver kNoIncludes = [](const std::string&, const std::string&, std::string&) {
    return false;
};

struct Scene {
    Gpu::DeviceSet set;
    Gpu::BufferPtr quad, constants, taps;
    Gpu::ShaderResourceViewPtr picture, tapView;
    Gpu::RenderTargetViewPtr target;
    bool ready = false;
};

Scene& GetScene() {
    static Scene scene = [] {
        Scene s;
        s.set = Gpu::CreateHeadlessDevice(800, 600);
        if (!s.set) return s;
        Gpu::Device& device = *s.set.device;
        Gpu::SubresourceData quadData{kQuad, 0, 0};
        s.quad = device.CreateBuffer({sizeof kQuad, Gpu::Usage::IMMUTABLE, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0},
                                     &quadData);
        // texelSize, strength, tapCount: the blur effect's 13 taps at strength 1.5.
        struct {
            float texelSize[2] = {1.0f / 800, 1.0f / 600};
            float strength = 1.5f;
            uint32_t tapCount = 13;
        } constants;
        Gpu::SubresourceData constantData{&constants, 0, 0};
        s.constants = device.CreateBuffer({16, Gpu::Usage::IMMUTABLE, Gpu::BIND_CONSTANT_BUFFER, 0, 0, 0},
                                          &constantData);
        std::vector<float> taps;
        for (int i = 0; i < 13; ++i) taps.insert(taps.end(), {1.0f / 26, 2.0f * i + 0.5f, 0, 0});
        Gpu::SubresourceData tapData{taps.data(), 0, 0};
        s.taps = device.CreateBuffer({uint32_t(taps.size() * 4), Gpu::Usage::IMMUTABLE,
                                      Gpu::BIND_SHADER_RESOURCE, 0, Gpu::RESOURCE_MISC_BUFFER_STRUCTURED, 16},
                                     &tapData);
        s.tapView = device.CreateShaderResourceView(s.taps);
        std::vector<uint32_t> pixels(800 * 600);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint32_t(i * 2654435761u) | 0xff000000u;
        Gpu::SubresourceData pictureData{pixels.data(), 800 * 4, 0};
        auto picture = device.CreateTexture2D(
            {.Width = 800, .Height = 600, .BindFlags = Gpu::BIND_SHADER_RESOURCE}, &pictureData);
        s.picture = device.CreateShaderResourceView(picture);
        auto target =
            device.CreateTexture2D({.Width = 800, .Height = 600, .BindFlags = Gpu::BIND_RENDER_TARGET});
        s.target = device.CreateRenderTargetView(target);
        s.ready = s.quad && s.constants && s.tapView && s.picture && s.target;
        return s;
    }();
    return scene;
}

std::string ReadBundled(const std::string& name) {
    std::ifstream file(std::string(VANTRISK_SOURCE_DIR) + "/data/" + name);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Binds the two entries of `source`, compiled with `budget`, and the scene's inputs; false on failure.
bool Bind(Scene& scene, const std::string& source, const std::string& pixelEntry, uint32_t budget) {
    Gpu::Device& device = *scene.set.device;
    Gpu::Context& context = *scene.set.context;
    auto vertexCode = Hlsl::CompileInProcess(source, "bench.fx", kNoIncludes, "VS", "vs_4_0", budget).code;
    auto pixelCode =
        Hlsl::CompileInProcess(source, "bench.fx", kNoIncludes, pixelEntry, "ps_4_0", budget).code;
    if (!vertexCode || !pixelCode) return false;
    context.ClearState();
    context.IASetInputLayout(device.CreateInputLayout(kLayout, 3, *vertexCode));
    context.VSSetShader(device.CreateVertexShader(vertexCode));
    context.PSSetShader(device.CreatePixelShader(pixelCode));
    context.IASetVertexBuffers(0, scene.quad, sizeof(Vertex), 0);
    context.IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
    context.VSSetConstantBuffers(0, scene.constants);
    context.PSSetConstantBuffers(0, scene.constants);
    context.PSSetShaderResources(0, scene.picture);
    context.PSSetShaderResources(5, scene.tapView);
    context.OMSetRenderTargets(scene.target);
    const Gpu::Viewport viewport{0, 0, 800, 600, 0, 1};
    context.RSSetViewports(1, &viewport);
    return true;
}

void Passes(benchmark::State& state, const std::string& source, const std::string& entry) {
    Scene& scene = GetScene();
    if (!scene.ready) return state.SkipWithError("no headless device");
    if (!Bind(scene, source, entry, static_cast<uint32_t>(state.range(0))))
        return state.SkipWithError("the shader does not compile");
    for (auto _ : state) {
        scene.set.context->Draw(4, 0);
        glFinish();
    }
    scene.set.context->ClearState();
}

void BlurPass(benchmark::State& state) {
    Passes(state, ReadBundled("blur.fx"), "PS_NoMaskHorizontal");
}
BENCHMARK(BlurPass)
    ->ArgName("budget")
    ->Arg(0)
    ->Arg(Hlsl::kLoopBudget)
    ->Iterations(200)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

void RunawayLoop(benchmark::State& state) {
    Passes(state, kRunaway, "PS");
}
BENCHMARK(RunawayLoop)
    ->ArgName("budget")
    ->Arg(Hlsl::kLoopBudget / 4)
    ->Arg(Hlsl::kLoopBudget)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
