#include "main/winMain.h"

#include <physfs.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "effects/effectsManager.h"
#include "graphics/picturePrefetch.h"
#include "main/device.h"
#include "main/mainWindow.h"
#include "main/showLocation.h"
#include "main/sizeOption.h"
#include "overlay/authorOverlay.h"
#include "system/audio.h"
#include "system/flags.h"
#include "system/log.h"

namespace {

int FailBox(const char* text) {
    Platform::ShowMessageBox(text, "FAIL", Platform::MessageBoxButtons::Ok);
    return -1;
}

// Switches the swap chain out of full-screen, whether or not it was switched on. The window's size
// change is handed to the window procedure before the window goes, as it would be while switching.
void LeaveFullscreen(int windowWidth, int windowHeight) {
    const bool wasFullscreen = g_graphics.swapChain->GetFullscreenState();
    g_graphics.swapChain->SetFullscreenState(false);
    if (!wasFullscreen || !g_mainWindow) return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < end) {
        g_mainWindow->PumpMessages();
        if (g_graphics.windowWidth == windowWidth && g_graphics.windowHeight == windowHeight) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Moves the music, and with it the show, to `seconds` before the first frame.
void SeekToStart(double seconds) {
    const double length = Audio_GetLength();
    if (length <= 0) {
        VLOG("Run", "The show has no music to start at %.3f s; starting at its beginning", seconds);
        return;
    }
    const double milliseconds = std::round(seconds * 1000.0);
    if (!(seconds < length) ||
        Audio_GetChannel().SetPosition(static_cast<uint32_t>(milliseconds)) != Platform::SoundResult::Ok) {
        VLOG("Run", "Cannot start at %.3f s: the music is %.3f s long; starting at its beginning", seconds,
             length);
        return;
    }
    VLOG("Run", "Starting at %.3f s of the music", seconds);
}

// The show's pictures, decoded on other cores from the mount on, while the device starts and the
// effects load; let go once they have loaded.
std::unique_ptr<ScriptPictures> g_startupPictures;

// PhysicsFS's last error, as the log shows it; reading it clears it.
const char* LastError() {
    const PHYSFS_ErrorCode code = PHYSFS_getLastErrorCode();
    return code == PHYSFS_ERR_OK ? nullptr : PHYSFS_getErrorByCode(code);
}

}  // namespace

std::string MountData() {
    if (!PHYSFS_init(nullptr) || !PHYSFS_setWriteDir(".")) return "PHYSFS FAIL";

    const ShowMounts mounts = MountsOf(GetShow());
    if (!mounts.problem.empty()) return "NO DATA = NO DEMO: " + mounts.problem;
    if (!GetShow().empty()) VLOG("WinMain", "Show: %s", ShowPath().c_str());

    // PhysicsFS may leave an error code behind from probing even when a mount works; only a failed
    // mount has an error to report.
    PHYSFS_getLastErrorCode();
    const bool archive = PHYSFS_mount(mounts.archive.c_str(), "/", 0) != 0;
    const char* archiveError = archive ? nullptr : LastError();
    // glibc prints a null string as "(null)", as the log has always shown for a clean mount.
    VLOG("WinMain", "Mounted archive: %s\n", archiveError ? archiveError : "(null)");
    // A show named as an archive file is that archive alone.
    if (mounts.folder.empty()) {
        if (archive) return "";
        return "NO DATA = NO DEMO: '" + GetShow() + "' is not an archive (" +
               (archiveError ? archiveError : "unreadable") + ")";
    }
    PHYSFS_getLastErrorCode();
    const bool folder = PHYSFS_mount(mounts.folder.c_str(), "/", 0) != 0;
    const char* folderError = folder ? nullptr : LastError();
    VLOG("WinMain", "Mounted directory: %s\n", folderError ? folderError : "(null)");

    if (!archive && !folder) {
        if (GetShow().empty()) return "NO DATA = NO DEMO";
        return "NO DATA = NO DEMO: neither demo.dat nor data/ in '" + GetShow() + "' can be read";
    }
    return "";
}

int WinMain(const std::string& commandLine, ScreenChoice choice, std::optional<double> start,
            const SizeRequest& size) {
    g_transportMode = commandLine.find("-transport") != std::string::npos;

    const std::string mountFailure = MountData();
    if (!mountFailure.empty()) return FailBox(mountFailure.c_str());
    g_startupPictures = std::make_unique<ScriptPictures>("demo.xml");
    // Let go on every way out, should the show never load.
    const struct ReleasePictures {
        ~ReleasePictures() { g_startupPictures.reset(); }
    } releasePictures;

    bool fullscreen = choice == ScreenChoice::Fullscreen;
    if (choice == ScreenChoice::Ask) {
        const auto answer = Platform::ShowMessageBox("Run this demo in fullscreen?", kWindowTitle,
                                                     Platform::MessageBoxButtons::YesNoCancel);
        if (answer == Platform::MessageBoxResult::Failed) {
            // Nowhere to ask, nowhere to show the show either.
            return FailBox("INIT FAIL");
        }
        if (answer == Platform::MessageBoxResult::Cancel) {
            VLOG("WinMain", "User chose not to run..");
            return 0;
        }
        fullscreen = answer == Platform::MessageBoxResult::Yes;
    }

    // A size asked for is the window's client size; native, the screen's, which is known once the
    // window system runs.
    int windowWidth = size.width > 0 ? size.width : kShowWidth;
    int windowHeight = size.height > 0 ? size.height : kShowHeight;
    if (!CreateMainWindow(windowWidth, windowHeight)) return FailBox("INIT FAIL");
    int pictureWidth = windowWidth, pictureHeight = windowHeight;
    if (size.native) Platform::GetPrimaryScreenSize(pictureWidth, pictureHeight);
    ApplySizeRequest(size, pictureWidth, pictureHeight);
    if (size.HasSize() || size.supersample > 1) {
        VLOG("WinMain", "Rendering at %dx%d for a %dx%d picture", g_graphics.renderWidth,
             g_graphics.renderHeight, pictureWidth, pictureHeight);
    }
    if (!InitialiseD3D(windowWidth, windowHeight)) return FailBox("INIT FAIL");
    VLOG("WinMain", "Initialised graphics");

    if (fullscreen) {
        VLOG("WinMain", "Starting fullscreen");
        g_graphics.swapChain->SetFullscreenState(true);
    } else {
        VLOG("WinMain", "Starting windowed");
    }

    Run(g_transportMode, start);

    LeaveFullscreen(windowWidth, windowHeight);
    ShutdownD3D();
    g_mainWindow.reset();
    return 0;
}

void Run(bool transport, std::optional<double> start) {
    VLOG("Run", "Starting main loop");
    {
        Effects::EffectsManager manager(transport, "demo.xml");
        g_startupPictures.reset();
        if (start) SeekToStart(*start);
        // Made when first shown, so that a show never given F1 or --overlay runs as it always has.
        std::unique_ptr<Overlay::AuthorOverlay> overlay;
        while (!g_quit) {
            g_mainWindow->PumpMessages();
            manager.RunFrame();
            if (g_overlayShown && !overlay)
                overlay = std::make_unique<Overlay::AuthorOverlay>(*g_mainWindow, manager, transport);
            // After the show's frame and any screenshot of it; drawn onto the window as it is shown.
            if (overlay) overlay->Frame(g_overlayShown);
            g_graphics.swapChain->Present(1, 0);
        }
        VLOG("Run", "Exited main loop");
    }
}
