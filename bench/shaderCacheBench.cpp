// Start-up of the bundled show with a cold and a warm shader cache, headless on the software
// rasterizer:
//  - the built program run as "--frame 0 out.png" in a working folder whose "ShaderCache" is removed
//    before each cold run and kept for the warm ones;
//  - in-process, the effects manager built on the demo plus its first frame, with the results kept
//    in memory forgotten each time, so that a warm start reads every shader from disk. The counters
//    say how many compiles each start ran.
// The process runs need the built program (VANTRISK_BINARY).
#include <benchmark/benchmark.h>
#include <physfs.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "effects/effectsManager.h"
#include "main/device.h"
#include "platform/hlsl/compilerService.h"
#include "system/audio.h"

#include "showFolder.h"

namespace {

namespace fs = std::filesystem;

using BenchSupport::ShowFolder;

bool RunFrame(const fs::path& folder) {
    const std::string command =
        "cd '" + folder.string() + "' && '" VANTRISK_BINARY "' --frame 0 out.png >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

void StartupToFirstFrame_Process(benchmark::State& state) {
    const bool warm = state.range(0) != 0;
    ShowFolder folder;
    if (folder.Path().empty()) return state.SkipWithError("cannot make the working folder");
    if (warm && !RunFrame(folder.Path())) return state.SkipWithError("the program failed");
    for (auto _ : state) {
        if (!warm) {
            state.PauseTiming();
            fs::remove_all(folder.Path() / "ShaderCache");
            state.ResumeTiming();
        }
        if (!RunFrame(folder.Path())) return state.SkipWithError("the program failed");
    }
    state.SetLabel(warm ? "warm cache" : "cold cache");
}
BENCHMARK(StartupToFirstFrame_Process)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

// In-process: the repository's data mounted, a write folder for the cache, a headless device.
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

void ManagerStartup_InProcess(benchmark::State& state) {
    const bool warm = state.range(0) != 0;
    Program& program = GetProgram();
    if (!program.ready) return state.SkipWithError("no headless device or no data");
    Hlsl::CompilerService& service = Hlsl::CompilerService::Get();
    const uint64_t compilesBefore = service.Counters().compiles;
    for (auto _ : state) {
        state.PauseTiming();
        service.ForgetResults();
        if (!warm) fs::remove_all(program.writeFolder / "ShaderCache");
        state.ResumeTiming();
        Effects::EffectsManager manager(false, "demo.xml");
        manager.RunFrame(0.0);
        glFinish();
    }
    state.counters["compiles"] =
        benchmark::Counter(static_cast<double>(service.Counters().compiles - compilesBefore),
                           benchmark::Counter::kAvgIterations);
    state.SetLabel(warm ? "warm cache" : "cold cache");
}
// Cold first: the warm runs then find the cold runs' last entries.
BENCHMARK(ManagerStartup_InProcess)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
