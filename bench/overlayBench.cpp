// What the author's overlay costs the main thread per frame at 800 by 600 on the software rasterizer,
// over the bundled demo in an off-screen window: building its picture (reading the show, the
// interface's frame) alone, and a whole present with the overlay shown against one with it hidden
// (the hidden overlay draws nothing; a show never given F1 has no overlay at all). Presents here do not
// wait for the display's refresh, so that only work is measured.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <SDL.h>

#include <cstdlib>
#include <memory>

#include "effects/effectsManager.h"
#include "graphics/sharedGraphics.h"
#include "main/device.h"
#include "main/mainWindow.h"
#include "main/winMain.h"
#include "overlay/authorOverlay.h"
#include "showFolder.h"
#include "system/audio.h"
#include "system/log.h"

namespace {

struct Show {
    std::unique_ptr<BenchSupport::ShowFolder> folder;
    std::unique_ptr<Effects::EffectsManager> manager;
    std::unique_ptr<Overlay::AuthorOverlay> overlay;
    double time = 12.0;
    bool ready = false;
};

Show& GetShow() {
    static Show show = [] {
        Show s;
        s.folder = std::make_unique<BenchSupport::ShowFolder>("vantrisk-overlay-bench");
        if (s.folder->Path().empty() || chdir(s.folder->Path().c_str()) != 0) return s;
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
        SetLogToStandardError(false);
        Audio_UseSilentOutput(true);
        if (!MountData().empty() || !CreateMainWindow(800, 600) || !InitialiseD3D(800, 600)) return s;
        s.manager = std::make_unique<Effects::EffectsManager>(true, "demo.xml");
        s.overlay = std::make_unique<Overlay::AuthorOverlay>(*g_mainWindow, *s.manager, true);
        s.ready = true;
        return s;
    }();
    return show;
}

// One show frame outside the measured time, so that every case draws over a fresh picture.
void ShowFrame(benchmark::State& state, Show& show) {
    state.PauseTiming();
    show.time += 1.0 / 60.0;
    show.manager->RunFrame(show.time);
    state.ResumeTiming();
}

void BM_OverlayBuild(benchmark::State& state) {
    Show& show = GetShow();
    if (!show.ready) return state.SkipWithError("no show");
    for (auto _ : state) {
        ShowFrame(state, show);
        show.overlay->Frame(true);
        state.PauseTiming();
        g_graphics.swapChain->Present(0, 0);
        state.ResumeTiming();
    }
}

void BM_PresentOverlayShown(benchmark::State& state) {
    Show& show = GetShow();
    if (!show.ready) return state.SkipWithError("no show");
    for (auto _ : state) {
        ShowFrame(state, show);
        show.overlay->Frame(true);
        g_graphics.swapChain->Present(0, 0);
    }
}

void BM_PresentOverlayHidden(benchmark::State& state) {
    Show& show = GetShow();
    if (!show.ready) return state.SkipWithError("no show");
    for (auto _ : state) {
        ShowFrame(state, show);
        show.overlay->Frame(false);
        g_graphics.swapChain->Present(0, 0);
    }
}

BENCHMARK(BM_OverlayBuild)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_PresentOverlayHidden)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_PresentOverlayShown)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
