// What the program costs as a whole on the bundled demo, headless on the software rasterizer:
//  - start-up to the first frame: the built program run as "--frame 0 out.png" and "--frame 40"
//    (process start, mounts, device, script, shader compiles, one frame, PNG), also with the music
//    replaced by four hours of silence (its peak memory too), and in-process the effects manager
//    built on the demo plus its first frame;
//  - capture throughput: "--capture" of two seconds at 30 frames per second to PNG files, and
//    RunFrame alone (finished on the GPU) at a show time in each scene.
// The process runs need the built program (VANTRISK_BINARY) and a shell.
#include <benchmark/benchmark.h>
#include <physfs.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "effects/effectsManager.h"
#include "main/device.h"
#include "system/audio.h"
#include "system/flags.h"

#include "runProgram.h"
#include "showFolder.h"

namespace {

namespace fs = std::filesystem;

using BenchSupport::ShowFolder;

bool RunProgram(const fs::path& folder, const std::vector<std::string>& arguments) {
    return BenchSupport::RunIn(folder, VANTRISK_BINARY, arguments).code == 0;
}

void StartupToFirstFrame_Process(benchmark::State& state) {
    ShowFolder folder;
    if (folder.Path().empty()) return state.SkipWithError("cannot make the show folder");
    for (auto _ : state) {
        if (!RunProgram(folder.Path(), {"--frame", "0", "out.png"}))
            return state.SkipWithError("the program failed");
    }
    if (!fs::exists(folder.Path() / "out.png")) state.SkipWithError("no frame written");
}
BENCHMARK(StartupToFirstFrame_Process)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Four hours of stereo silence in Ogg Vorbis (about 1.6 MB), made once per machine by the encoder.
fs::path FourHourMusic() {
    const fs::path path = fs::temp_directory_path() / "vantrisk-bench-four-hours.ogg";
    if (fs::exists(path)) return path;
    const std::string part = path.string() + ".part.ogg";
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i anullsrc=r=44100:cl=stereo -t 14400 "
        "-c:a libvorbis -q:a 0 '" +
        part + "' && mv '" + part + "' '" + path.string() + "'";
    return std::system(command.c_str()) == 0 ? path : fs::path();
}

// Argument 0: the bundled music; 1: the same show with four hours of silence as its music.
void StartupToFrame40_Process(benchmark::State& state) {
    ShowFolder folder;
    if (folder.Path().empty()) return state.SkipWithError("cannot make the show folder");
    if (state.range(0) == 1) {
        const fs::path music = FourHourMusic();
        if (music.empty()) return state.SkipWithError("cannot make the four-hour music");
        // A copy of the data (the file system refuses links inside it) with the long music.
        std::error_code error;
        fs::remove(folder.Path() / "data", error);
        fs::copy(fs::path(VANTRISK_SOURCE_DIR) / "data", folder.Path() / "data", fs::copy_options::recursive,
                 error);
        fs::copy_file(music, folder.Path() / "data" / "music.ogg", fs::copy_options::overwrite_existing,
                      error);
        if (error) return state.SkipWithError("cannot copy the data");
    }
    long long peak = 0;
    for (auto _ : state) {
        const BenchSupport::RunOutcome run =
            BenchSupport::RunIn(folder.Path(), VANTRISK_BINARY, {"--frame", "40", "out.png"});
        if (run.code != 0) return state.SkipWithError("the program failed");
        peak = std::max(peak, static_cast<long long>(run.peakKiB) * 1024);
    }
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
}
BENCHMARK(StartupToFrame40_Process)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

void CaptureTwoSecondsToPng_Process(benchmark::State& state) {
    ShowFolder folder;
    if (folder.Path().empty()) return state.SkipWithError("cannot make the show folder");
    constexpr int kFrames = 60;
    for (auto _ : state) {
        if (!RunProgram(folder.Path(), {"--capture", "frames", "--fps", "30", "--from", "20", "--to", "22"}))
            return state.SkipWithError("the program failed");
    }
    if (!fs::exists(folder.Path() / "frames" / "frame00059.png")) state.SkipWithError("frames missing");
    // Start-up included; StartupToFirstFrame_Process gives the share to take off.
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(CaptureTwoSecondsToPng_Process)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// In-process: the repository's data mounted, a headless device, the silent sound output. Made once
// for the binary, as the program makes them once per run.
struct Program {
    bool ready = false;
    fs::path writeFolder;
};

Program& GetProgram() {
    static Program program = [] {
        Program p;
        char pattern[] = "/tmp/vantrisk-bench-XXXXXX";
        if (!mkdtemp(pattern)) return p;
        p.writeFolder = pattern;
        const std::string data = (fs::path(VANTRISK_SOURCE_DIR) / "data").string();
        // The log file goes to the write folder, not the repository.
        if (!PHYSFS_init(nullptr) || !PHYSFS_setWriteDir(p.writeFolder.c_str()) ||
            !PHYSFS_mount(data.c_str(), "/", 0))
            return p;
        if (!InitialiseD3D()) return p;
        Audio_UseSilentOutput(true);
        p.ready = true;
        return p;
    }();
    return program;
}

void ManagerStartupAndFirstFrame_InProcess(benchmark::State& state) {
    if (!GetProgram().ready) return state.SkipWithError("no headless device or no data");
    for (auto _ : state) {
        Effects::EffectsManager manager(false, "demo.xml");
        manager.RunFrame(0.0);
        glFinish();
        if (manager.GetEffects().empty()) return state.SkipWithError("the demo built no effects");
    }
}
BENCHMARK(ManagerStartupAndFirstFrame_InProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The manager that the frame benchmarks share, as the program keeps one for its whole run.
Effects::EffectsManager& SharedManager() {
    static Effects::EffectsManager manager(false, "demo.xml");
    return manager;
}

// Argument: music seconds (the demo runs at 120 bpm: seconds × 2 is the beat). One in each scene:
// intro, groove, melody, break, everything, the three cube scenes, outro.
void RunFrame_InProcess(benchmark::State& state) {
    if (!GetProgram().ready) return state.SkipWithError("no headless device or no data");
    Effects::EffectsManager& manager = SharedManager();
    const double seconds = static_cast<double>(state.range(0));
    // A scene's first frame may upload what its effects made while loading: not counted.
    manager.RunFrame(seconds);
    glFinish();
    for (auto _ : state) {
        manager.RunFrame(seconds);
        glFinish();
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    g_quit = false;
}
BENCHMARK(RunFrame_InProcess)
    ->Arg(4)
    ->Arg(16)
    ->Arg(32)
    ->Arg(44)
    ->Arg(56)
    ->Arg(67)
    ->Arg(76)
    ->Arg(84)
    ->Arg(132)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

// One captured frame as the capture makes it: the frame, then the back buffer read back (no PNG).
void CaptureFrameWithReadback_InProcess(benchmark::State& state) {
    if (!GetProgram().ready) return state.SkipWithError("no headless device or no data");
    Effects::EffectsManager& manager = SharedManager();
    std::vector<uint8_t> rgba;
    double seconds = 20.0;
    for (auto _ : state) {
        manager.RunFrame(seconds);
        uint32_t width = 0, height = 0;
        g_graphics.swapChain->ReadBackBuffer(rgba, width, height);
        seconds += 1.0 / 30.0;
        if (seconds > 22.0) seconds = 20.0;
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(CaptureFrameWithReadback_InProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
