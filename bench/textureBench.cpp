// What loading a picture costs in memory, headless on the software rasterizer: the peak of resident
// memory above what was held before, as a multiple of the decoded picture. An 8192 by 8192 picture
// should reach the GPU within 2.5 times its pixels (the texture with its mips is 4/3 of them, the
// picture being uploaded 1 more); a picture above the pixel budget should cost no pixel memory.
// Resident memory is the kernel's count, so run it on its own: in the address sanitizer's build it
// also holds the sanitizer's shadow and quarantine.
#include <benchmark/benchmark.h>
#include <physfs.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "graphics/texture.h"
#include "main/device.h"
#include "platform/image/imageCodec.h"

namespace {

namespace fs = std::filesystem;

long long StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::string(field).size())) * 1024;
    }
    return -1;
}

// Resets the kernel's peak of resident memory to what is resident now; false where it cannot.
bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    return static_cast<bool>(clear);
}

// A folder mounted as the data, with a headless device; made once, as the program makes them.
const fs::path& DataFolder() {
    static const fs::path folder = [] {
        char pattern[] = "/tmp/vantrisk-texture-bench-XXXXXX";
        if (!mkdtemp(pattern)) return fs::path();
        if (!PHYSFS_init(nullptr) || !PHYSFS_setWriteDir(pattern) || !PHYSFS_mount(pattern, "/", 0))
            return fs::path();
        if (!InitialiseD3D()) return fs::path();
        return fs::path(pattern);
    }();
    return folder;
}

// A picture of `side` by `side` pixels in vertical grey stripes, written as "picture<side>.png".
std::string WriteStripedPicture(int side) {
    const std::string name = "picture" + std::to_string(side) + ".png";
    if (fs::exists(DataFolder() / name)) return name;
    std::vector<uint8_t> rgb(size_t(side) * side * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = (i / 3 / 8) % 2 ? 255 : 0;
    std::vector<uint8_t> png;
    std::string error;
    if (!Image::EncodePng(rgb.data(), side, side, ptrdiff_t(side) * 3, false, "bench", png, error, SIZE_MAX,
                          1))
        return "";
    std::ofstream(DataFolder() / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    return name;
}

// Argument: the picture's side (8256 is just above the pixel budget of 64 megapixels: refused).
void TextureLoadPeakMemory(benchmark::State& state) {
    if (DataFolder().empty()) return state.SkipWithError("no headless device");
    const int side = static_cast<int>(state.range(0));
    const std::string name = WriteStripedPicture(side);
    if (name.empty()) return state.SkipWithError("cannot write the picture");
    long long peak = 0;
    for (auto _ : state) {
        if (!ResetPeak()) return state.SkipWithError("the peak of resident memory cannot be reset here");
        const long long before = StatusBytes("VmRSS:");
        Texture texture;
        texture.Load(name);
        peak = std::max(peak, StatusBytes("VmHWM:") - before);
    }
    state.counters["peak_MiB"] = double(peak) / 1048576.0;
    state.counters["peak_x_pixels"] = double(peak) / (double(side) * side * 4);
}
BENCHMARK(TextureLoadPeakMemory)->Arg(8192)->Arg(8256)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
