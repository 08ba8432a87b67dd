// What the cube scenes cost, headless on the software rasterizer: one instanced draw of many cubes
// (rasterizer-bound), the main thread's share of a cube-cube frame whose relief did not change (six
// draws, no upload; the GPU work is not waited for), and building the relief of a 256 by 256 picture
// with its renderer.
#include <benchmark/benchmark.h>
#include <physfs.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "effects/cubeCube.h"
#include "graphics/camera.h"
#include "graphics/cubeRenderer.h"
#include "graphics/dynamicTexture.h"
#include "main/device.h"

namespace fs = std::filesystem;

namespace {

struct Scene {
    bool ready = false;
    std::unique_ptr<RenderTexturePair> pair;
};

// The repository's data mounted (for "cubes.fx") and a headless device, made once.
Scene& GetScene() {
    static Scene scene = [] {
        Scene s;
        char pattern[] = "/tmp/vantrisk-bench-XXXXXX";
        if (!mkdtemp(pattern)) return s;
        const std::string data = (fs::path(VANTRISK_SOURCE_DIR) / "data").string();
        if (!PHYSFS_init(nullptr) || !PHYSFS_setWriteDir(pattern) || !PHYSFS_mount(data.c_str(), "/", 0))
            return s;
        if (!InitialiseD3D()) return s;
        s.pair = std::make_unique<RenderTexturePair>(800.0f, 600.0f);
        Camera_SetDistance(120.0f);
        Camera_SetRotation({30, 20, 0});
        s.ready = true;
        return s;
    }();
    return scene;
}

void Finish() {
    std::vector<uint8_t> pixel;
    // Reading a texture back waits for everything drawn before it.
    g_graphics.context->ReadTexture(GetScene().pair->Current().texture, 0, pixel);
}

// A cube of cubes, `count` of them on a grid of spacing 1.5.
std::vector<CubeInstance> Block(uint32_t count) {
    std::vector<CubeInstance> cubes(count);
    const int side = static_cast<int>(std::ceil(std::cbrt(double(count))));
    for (uint32_t i = 0; i < count; ++i) {
        const float x = float(i % side), y = float((i / side) % side), z = float(i / (side * side));
        const float offset = -0.75f * side;
        cubes[i].world =
            Matrix::Translation(x * 1.5f + offset, y * 1.5f + offset, z * 1.5f + offset).Transposed();
        cubes[i].colourLit = {0.9f, 0.5f, 0.2f, 1.0f};
        cubes[i].colourUnlit = {0.3f, 0.1f, 0.1f, 1.0f};
        cubes[i].colourSpecular = {1.0f, 1.0f, 1.0f, 40.0f};
    }
    return cubes;
}

// Argument: number of cubes. Includes the wait for the rasterizer.
void DrawCubes(benchmark::State& state) {
    Scene& scene = GetScene();
    if (!scene.ready) return state.SkipWithError("no headless device or no data");
    const auto cubes = Block(static_cast<uint32_t>(state.range(0)));
    CubeRenderer renderer(static_cast<uint32_t>(cubes.size()), false);
    renderer.SetInstances(cubes.data(), static_cast<uint32_t>(cubes.size()));
    renderer.TakeCamera();
    for (auto _ : state) {
        g_graphics.context->ClearDepthStencilView(g_graphics.depthView, Gpu::CLEAR_DEPTH, 1.0f, 0);
        renderer.Draw(Matrix::Identity(), scene.pair.get(), 0.0f, 1.0f);
        Finish();
    }
}
BENCHMARK(DrawCubes)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

::Image::Picture Noise(int size) {
    ::Image::Picture picture;
    picture.width = picture.height = size;
    picture.rgba.resize(size_t(size) * size * 4);
    uint32_t state = 1;
    for (uint8_t& byte : picture.rgba) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return picture;
}

// The main thread's part of a steady cube-cube frame: camera, six formation transforms and six draws.
// Argument: side of the relief's picture. The software rasterizer shades vertices on the calling
// thread, so a relief of one column shows the cost of the frame itself and a full one adds that work.
void CubeCubeSteadyFrame(benchmark::State& state) {
    Scene& scene = GetScene();
    if (!scene.ready) return state.SkipWithError("no headless device or no data");
    const auto cubes =
        Effects::CubeCube::BuildRelief(Noise(static_cast<int>(state.range(0))), 0.7f, 0.0f, 1.0f, 0.5f);
    CubeRenderer renderer(static_cast<uint32_t>(cubes.size()), false);
    renderer.SetInstances(cubes.data(), static_cast<uint32_t>(cubes.size()));
    const Matrix rx = Matrix::RotationX(1.5707964f), rz = Matrix::RotationZ(1.5707964f);
    const uint64_t uploads = g_graphics.device->GetCounters().uploads;
    for (auto _ : state) {
        renderer.SetInstances(cubes.data(), static_cast<uint32_t>(cubes.size()));
        renderer.TakeCamera();
        const Matrix t = Matrix::Translation(0, 12, 0), r = Matrix::RotationDegrees({30, 10, 0});
        const Matrix faces[6] = {t * r,      t * rx * r,          t * rx * rx * r, t * rx * rx * rx * r,
                                 t * rz * r, t * rz * rz * rz * r};
        for (const Matrix& face : faces) renderer.Draw(face, scene.pair.get(), 0.0f, 1.0f);
        state.PauseTiming();
        Finish();
        state.ResumeTiming();
    }
    state.counters["uploads/frame"] = double(g_graphics.device->GetCounters().uploads - uploads) /
                                      double(std::max<int64_t>(1, int64_t(state.iterations())));
}
BENCHMARK(CubeCubeSteadyFrame)->Arg(1)->Arg(24)->Unit(benchmark::kMicrosecond);

// Building the relief of a 256 by 256 picture of which every pixel is lit, and its renderer.
void CubeCubeCreateCubes256(benchmark::State& state) {
    Scene& scene = GetScene();
    if (!scene.ready) return state.SkipWithError("no headless device or no data");
    const ::Image::Picture picture = Noise(256);
    for (auto _ : state) {
        const auto cubes = Effects::CubeCube::BuildRelief(picture, 0.7f, 0.0f, 1.0f, 0.5f);
        CubeRenderer renderer(static_cast<uint32_t>(cubes.size()), false);
        renderer.SetInstances(cubes.data(), static_cast<uint32_t>(cubes.size()));
        benchmark::DoNotOptimize(renderer.GetCount());
    }
}
BENCHMARK(CubeCubeCreateCubes256)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
