// Cost of the dynamic buffers' update-if-changed rule as renderers meet it every frame: a constant
// buffer refilled with the same bytes (the common case, which must upload nothing) and a structured
// buffer of 10,000 cube instances, unchanged and with one instance moved. Each case counts the maps
// it made, so the figures show whether an upload happened. The bytes travel on to GL only when a
// draw reads them; that transfer is the device's and is not measured here.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "graphics/constantBuffer.h"
#include "graphics/structuredBuffer.h"
#include "main/device.h"

namespace {

// A cube instance as the cube renderer writes it: a transposed matrix, colour and extras.
struct CubeInstance {
    float matrix[16];
    float colour[4];
    float extra[8];
};
static_assert(sizeof(CubeInstance) == 112);

// One headless device with the shared objects for the whole run; false when none can be made.
bool Device() {
    static const bool ready = [] {
        const Gpu::DeviceSet set = Gpu::CreateHeadlessDevice(kShowWidth, kShowHeight);
        return set && InitialiseSharedObjects(set);
    }();
    return ready;
}

uint64_t Maps() {
    return g_graphics.device->GetCounters().maps;
}

void ConstantBufferUnchanged(benchmark::State& state) {
    if (!Device()) return state.SkipWithError("no headless device");
    ConstantBuffer constants(static_cast<uint32_t>(state.range(0)));
    std::vector<float> values(state.range(0) / 4, 0.5f);
    constants.Update(values.data());
    const uint64_t maps = Maps();
    for (auto _ : state) {
        constants.Update(values.data());
        benchmark::ClobberMemory();
    }
    state.counters["maps"] = double(Maps() - maps);
}
BENCHMARK(ConstantBufferUnchanged)->Arg(64)->Arg(256);

void ConstantBufferChanged(benchmark::State& state) {
    if (!Device()) return state.SkipWithError("no headless device");
    ConstantBuffer constants(static_cast<uint32_t>(state.range(0)));
    std::vector<float> values(state.range(0) / 4, 0.5f);
    const uint64_t maps = Maps();
    for (auto _ : state) {
        values[0] += 1.0f;  // the time constant every frame
        constants.Update(values.data());
    }
    state.counters["maps"] = double(Maps() - maps);
}
BENCHMARK(ConstantBufferChanged)->Arg(64)->Arg(256);

std::vector<CubeInstance> Instances(size_t count) {
    std::vector<CubeInstance> instances(count);
    for (size_t i = 0; i < count; ++i) {
        CubeInstance& c = instances[i];
        for (int k = 0; k < 16; ++k) c.matrix[k] = (k % 5 == 0) ? 1.0f : 0.0f;
        c.matrix[3] = float(i % 100);
        c.matrix[7] = float(i / 100);
        c.colour[0] = c.colour[1] = c.colour[2] = c.colour[3] = 1.0f;
        for (float& e : c.extra) e = 0.0f;
    }
    return instances;
}

void StructuredBufferUnchanged(benchmark::State& state) {
    if (!Device()) return state.SkipWithError("no headless device");
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    StructuredBuffer<CubeInstance> buffer(sizeof(CubeInstance), count);
    const std::vector<CubeInstance> instances = Instances(count);
    buffer.Update(instances.data(), count);
    const uint64_t maps = Maps();
    for (auto _ : state) {
        buffer.Update(instances.data(), count);
        benchmark::ClobberMemory();
    }
    state.counters["maps"] = double(Maps() - maps);
    state.SetBytesProcessed(int64_t(state.iterations()) * count * sizeof(CubeInstance));
}
BENCHMARK(StructuredBufferUnchanged)->Arg(10000);

void StructuredBufferLastInstanceMoved(benchmark::State& state) {
    if (!Device()) return state.SkipWithError("no headless device");
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    StructuredBuffer<CubeInstance> buffer(sizeof(CubeInstance), count);
    std::vector<CubeInstance> instances = Instances(count);
    const uint64_t maps = Maps();
    for (auto _ : state) {
        instances[count - 1].matrix[3] += 1.0f;  // the worst case for the comparison: a late change
        buffer.Update(instances.data(), count);
    }
    state.counters["maps"] = double(Maps() - maps);
    state.SetBytesProcessed(int64_t(state.iterations()) * count * sizeof(CubeInstance));
}
BENCHMARK(StructuredBufferLastInstanceMoved)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
