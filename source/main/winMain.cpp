#include "main/winMain.h"

#include <physfs.h>

#include "effects/effectsManager.h"
#include "main/device.h"
#include "main/mainWindow.h"
#include "system/flags.h"
#include "system/log.h"

namespace {

int FailBox(const char* text) {
    Platform::ShowMessageBox(text, "FAIL", Platform::MessageBoxButtons::Ok);
    return -1;
}

// PhysicsFS's last error, as the log shows it; reading it clears it.
const char* LastError() {
    const PHYSFS_ErrorCode code = PHYSFS_getLastErrorCode();
    return code == PHYSFS_ERR_OK ? nullptr : PHYSFS_getErrorByCode(code);
}

}  // namespace

std::string MountData() {
    if (!PHYSFS_init(nullptr) || !PHYSFS_setWriteDir(".")) return "PHYSFS FAIL";

    // PhysicsFS may leave an error code behind from probing even when a mount works; only a failed
    // mount has an error to report.
    PHYSFS_getLastErrorCode();
    const bool archive = PHYSFS_mount("demo.dat", "/", 0) != 0;
    const char* archiveError = archive ? nullptr : LastError();
    // glibc prints a null string as "(null)", as the log has always shown for a clean mount.
    VLOG("WinMain", "Mounted archive: %s\n", archiveError ? archiveError : "(null)");
    PHYSFS_getLastErrorCode();
    const bool folder = PHYSFS_mount("data/", "/", 0) != 0;
    const char* folderError = folder ? nullptr : LastError();
    VLOG("WinMain", "Mounted directory: %s\n", folderError ? folderError : "(null)");

    if (!archive && !folder) return "NO DATA = NO DEMO";
    return "";
}

int WinMain(const std::string& commandLine, ScreenChoice choice) {
    g_transportMode = commandLine.find("-transport") != std::string::npos;

    const std::string mountFailure = MountData();
    if (!mountFailure.empty()) return FailBox(mountFailure.c_str());

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

    if (!CreateMainWindow() || !InitialiseD3D()) return FailBox("INIT FAIL");
    VLOG("WinMain", "Initialised graphics");

    if (fullscreen) {
        VLOG("WinMain", "Starting fullscreen");
        g_graphics.swapChain->SetFullscreenState(true);
    } else {
        VLOG("WinMain", "Starting windowed");
    }

    Run(g_transportMode);

    g_graphics.swapChain->SetFullscreenState(false);
    ShutdownD3D();
    g_mainWindow.reset();
    return 0;
}

void Run(bool transport) {
    VLOG("Run", "Starting main loop");
    {
        Effects::EffectsManager manager(transport, "demo.xml");
        while (!g_quit) {
            g_mainWindow->PumpMessages();
            manager.RunFrame();
            g_graphics.swapChain->Present(1, 0);
        }
        VLOG("Run", "Exited main loop");
    }
}
