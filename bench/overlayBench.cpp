// What the author's overlay costs the main thread per frame at 800 by 600 on the software rasterizer,
// over the bundled demo in an off-screen window: building its picture (reading the show, the
// interface's frame) alone, and a whole present with the overlay shown against one with it hidden
// (a hidden overlay draws nothing and hooks nothing; a show never given F1 has no overlay at all).
// Presents here do not wait for the display's refresh, so that only work is measured.
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
    double time = 20.0;
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

// The show's own frames cost far more than the overlay on a software rasterizer; one is drawn before
// each case, and the overlay is measured over its picture.
void ShowFrame(Show& show) {
    show.time += 1.0 / 60.0;
    show.manager->RunFrame(show.time);
}

void BM_OverlayBuild(benchmark::State& state) {
    Show& show = GetShow();
    if (!show.ready) return state.SkipWithError("no show");
    ShowFrame(show);
    for (auto _ : state) {
        show.overlay->Frame(true);
        state.PauseTiming();
        g_graphics.swapChain->Present(0, 0);
        state.ResumeTiming();
    }
}

void BM_PresentOverlayShown(benchmark::State& state) {
    Show& show = GetShow();
    if (!show.ready) return state.SkipWithError("no show");
    ShowFrame(show);
    for (auto _ : state) {
        show.overlay->Frame(true);
        g_graphics.swapChain->Present(0, 0);
    }
}

void BM_PresentOverlayHidden(benchmark::State& state) {
    Show& show = GetShow();
    if (!show.ready) return state.SkipWithError("no show");
    ShowFrame(show);
    for (auto _ : state) {
        show.overlay->Frame(false);
        g_graphics.swapChain->Present(0, 0);
    }
}

BENCHMARK(BM_OverlayBuild)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_PresentOverlayHidden)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_PresentOverlayShown)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

}  // namespace

// The overlay, the show and the device go in the order they were made, while the device's context is
// still current, rather than at exit in whatever order the process tears down.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    Show& show = GetShow();
    show.overlay.reset();
    show.manager.reset();
    if (show.ready) ShutdownD3D();
    g_mainWindow.reset();
    return 0;
}
