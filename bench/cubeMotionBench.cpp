// What the cube effects that move every frame cost, headless: loading a cube-physics effect (its
// whole simulation and recording, the usual rain and the largest load the effect allows) with the
// memory its recording holds, and the main thread's share of one frame of the cube cluster (field
// and instances) and of the cube lattice (instances), the GPU work left out.
#include <benchmark/benchmark.h>
#include <physfs.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "effects/cubeCluster.h"
#include "effects/cubePhysics.h"
#include "effects/cubeSpiral.h"
#include "effects/cubeTest.h"
#include "main/device.h"

namespace fs = std::filesystem;

namespace {

// The repository's data mounted (for "cubes.fx") and a headless device, made once.
bool Ready() {
    static const bool ready = [] {
        char pattern[] = "/tmp/vantrisk-bench-XXXXXX";
        if (!mkdtemp(pattern)) return false;
        const std::string data = (fs::path(VANTRISK_SOURCE_DIR) / "data").string();
        if (!PHYSFS_init(nullptr) || !PHYSFS_setWriteDir(pattern) || !PHYSFS_mount(data.c_str(), "/", 0)) {
            return false;
        }
        return InitialiseD3D();
    }();
    return ready;
}

// Loads an effect of type T from the "effect" element in `xml`.
template <typename T>
std::unique_ptr<T> LoadEffect(const std::string& xml) {
    pugi::xml_document document;
    if (!document.load_string(xml.c_str())) return nullptr;
    auto effect = std::make_unique<T>();
    if (!effect->Load(document.child("effect"))) return nullptr;
    return effect;
}

std::string Number(const char* key, double value) {
    return "<param key='" + std::string(key) + "' type='double' value='" + std::to_string(value) + "'/>";
}

const std::string kRainColours =
    "<param key='colour1' type='vec4' x='1' y='0.3' z='0.2' w='1'/>"
    "<param key='colour2' type='vec4' x='0.2' y='0.6' z='1' w='1'/>"
    "<param key='colour3' type='vec4' x='1' y='0.9' z='0.3' w='1'/>"
    "<param key='colourSpecular1' type='vec4' x='1' y='1' z='1' w='30'/>"
    "<param key='colourSpecular2' type='vec4' x='1' y='1' z='1' w='30'/>"
    "<param key='colourSpecular3' type='vec4' x='1' y='1' z='1' w='30'/>"
    "<param key='frame' type='double' value='0'/>";

// Arguments: small cubes, frames asked for, and the spread of the first drops below the ceiling
// (0 starts them all overlapping in one layer, the simulation's hardest start). Counter "MB": the
// memory the recording holds.
void CubePhysicsLoad(benchmark::State& state) {
    if (!Ready()) return state.SkipWithError("no headless device or no data");
    const std::string xml = "<effect type='CubePhysics'>" + kRainColours +
                            Number("numCubes", double(state.range(0))) +
                            Number("numFrames", double(state.range(1))) +
                            Number("initialHeightRange", -double(state.range(2))) + "</effect>";
    size_t bytes = 0;
    size_t frames = 0;
    for (auto _ : state) {
        auto effect = LoadEffect<Effects::CubePhysics>(xml);
        if (!effect) return state.SkipWithError("the effect did not load");
        bytes = effect->GetRecordedBytes();
        frames = effect->GetFrameCount();
    }
    state.counters["MB"] = double(bytes) / (1024.0 * 1024.0);
    state.counters["frames"] = double(frames);
}
BENCHMARK(CubePhysicsLoad)->Args({300, 600, 10})->Unit(benchmark::kMillisecond)->MinTime(2.0);
// The largest loads: the most cubes, the frames cut to the effect's budget.
BENCHMARK(CubePhysicsLoad)
    ->Args({Effects::CubePhysics::kMaxCubes, Effects::CubePhysics::kMaxFrames, 10})
    ->Args({Effects::CubePhysics::kMaxCubes, Effects::CubePhysics::kMaxFrames, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

const std::string kClusterParams =
    "<param key='colourLit1' type='vec4' x='1' y='0.2' z='0.1' w='1'/>"
    "<param key='colourLit2' type='vec4' x='0.1' y='0.8' z='0.3' w='1'/>"
    "<param key='colourLit3' type='vec4' x='0.2' y='0.3' z='1' w='1'/>"
    "<param key='colourUnlit1' type='vec4' x='0.2' y='0' z='0' w='1'/>"
    "<param key='colourUnlit2' type='vec4' x='0' y='0.2' z='0' w='1'/>"
    "<param key='colourUnlit3' type='vec4' x='0' y='0' z='0.2' w='1'/>"
    "<param key='colourSpecular1' type='vec4' x='1' y='1' z='1' w='20'/>"
    "<param key='colourSpecular2' type='vec4' x='1' y='1' z='1' w='20'/>"
    "<param key='colourSpecular3' type='vec4' x='1' y='1' z='1' w='20'/>"
    "<param key='cageColourLit' type='vec4' x='1' y='1' z='1' w='1'/>"
    "<param key='cageColourUnlit' type='vec4' x='0.1' y='0.1' z='0.1' w='1'/>"
    "<param key='cageColourSpecular' type='vec4' x='1' y='1' z='1' w='8'/>"
    "<param key='lightDirection' type='vec3' x='0' y='-1' z='-1'/>"
    "<param key='borderSize' type='double' value='1'/>"
    "<param key='orbitSize' type='double' value='0.8'/>";

// Argument: threshold in thousandths (0 fills every grid point). Counter "cubes": per frame.
void CubeClusterFrame(benchmark::State& state) {
    if (!Ready()) return state.SkipWithError("no headless device or no data");
    auto effect =
        LoadEffect<Effects::CubeCluster>("<effect type='CubeCluster'>" + kClusterParams +
                                         Number("threshold", double(state.range(0)) / 1000.0) + "</effect>");
    if (!effect) return state.SkipWithError("the effect did not load");
    double t = 0.0;
    size_t cubes = 0;
    for (auto _ : state) {
        cubes = effect->BuildInstances(t).size();
        t += 1.0 / 60.0;
    }
    state.counters["cubes"] = double(cubes);
}
BENCHMARK(CubeClusterFrame)->Arg(100)->Arg(0)->Unit(benchmark::kMicrosecond);

void CubeTestFrame(benchmark::State& state) {
    if (!Ready()) return state.SkipWithError("no headless device or no data");
    auto effect = LoadEffect<Effects::CubeTest>("<effect type='CubeTest'/>");
    if (!effect) return state.SkipWithError("the effect did not load");
    double t = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(effect->BuildInstances(t).data());
        t += 1.0 / 60.0;
    }
}
BENCHMARK(CubeTestFrame)->Unit(benchmark::kMicrosecond);

void CubeSpiralFrame(benchmark::State& state) {
    if (!Ready()) return state.SkipWithError("no headless device or no data");
    auto effect = LoadEffect<Effects::CubeSpiral>(
        "<effect type='CubeSpiral'>" + Number("height", 111) + Number("speed1", 0.5) + Number("speed2", 0.2) +
        "<param key='radii' type='vec3' x='5' y='6' z='7'/>"
        "<param key='colour1' type='vec4' x='1' y='0' z='0' w='1'/>"
        "<param key='colour2' type='vec4' x='0' y='1' z='0' w='1'/>"
        "<param key='colour3' type='vec4' x='0' y='0' z='1' w='1'/>"
        "<param key='specular' type='vec4' x='1' y='1' z='1' w='20'/></effect>");
    if (!effect) return state.SkipWithError("the effect did not load");
    double t = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(effect->BuildInstances(t).data());
        t += 1.0 / 60.0;
    }
}
BENCHMARK(CubeSpiralFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
