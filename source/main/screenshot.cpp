#include "main/screenshot.h"

#include <physfs.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "main/device.h"
#include "platform/image/imageCodec.h"
#include "system/log.h"

namespace {

// One spelling for the folder wherever it is named (created, mounted, written to), so that it is
// one folder on a case-sensitive file system too.
constexpr char kFolder[] = "Screenshots";
constexpr char kNameFormat[] = "Screenshots/screenshot%03d.png";
// A PNG that does not fit is not written at all.
constexpr size_t kMaxPngBytes = 10 * 1024 * 1024;

// The number of the last name tried. It only grows during a run, so numbers below it are never
// tested again, even when their files are deleted meanwhile.
int g_screenshotNumber = 1;

std::string FileName(int number) {
    char name[256];
    std::snprintf(name, sizeof name, kNameFormat, number);
    return name;
}

// Saved screenshots, from this run and from earlier ones, become visible to PHYSFS_getRealDir.
void MountFolder() {
    const char* writeDir = PHYSFS_getWriteDir();
    const std::string folder = std::string(writeDir) + PHYSFS_getDirSeparator() + kFolder;
    // Mounting the same folder again is a harmless no-op.
    PHYSFS_mount(folder.c_str(), kFolder, 0);
}

bool WriteFile(const std::string& name, const std::vector<uint8_t>& png) {
    PHYSFS_File* file = PHYSFS_openWrite(name.c_str());
    if (!file) return false;
    const bool written =
        PHYSFS_writeBytes(file, png.data(), png.size()) == static_cast<PHYSFS_sint64>(png.size());
    const bool closed = PHYSFS_close(file) != 0;
    if (written && closed) return true;
    // A truncated file would hold its number for ever without being a picture.
    PHYSFS_delete(name.c_str());
    return false;
}

}  // namespace

void SaveSceenshot() {
    if (!PHYSFS_isInit() || !PHYSFS_getWriteDir() || !PHYSFS_mkdir(kFolder)) {
        PHYSFS_getLastErrorCode();  // reading the error clears it
        VLOG("SaveSceenshot", "Failed to create screenshot directory");
        return;
    }
    MountFolder();

    std::string name = FileName(g_screenshotNumber);
    while (PHYSFS_getRealDir(name.c_str())) name = FileName(++g_screenshotNumber);

    const SharedGraphics& g = g_graphics;
    if (!g.swapChain || !g.swapChain->GetBuffer(0)) {
        VLOG("SaveSceenshot", "Failed to get back buffer when saving screenshot");
        return;
    }

    // The back buffer has the window's size, so this is the frame exactly as the window shows it.
    std::vector<uint8_t> rgba;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> png;
    std::string error;
    const bool encoded =
        g.swapChain->ReadBackBuffer(rgba, width, height) &&
        Image::EncodePng(rgba.data(), static_cast<int>(width), static_cast<int>(height),
                         static_cast<ptrdiff_t>(width) * 4, true, "DirectXTK", png, error, kMaxPngBytes);
    if (!encoded) {
        VLOG("SaveSceenshot", "Failed to create screenshot data for '%s'", name.c_str());
        return;
    }

    if (!WriteFile(name, png)) {
        VLOG("SaveSceenshot", "Failed to create file for screenshot '%s'", name.c_str());
    }
}

void ResetScreenshotNumbering() {
    g_screenshotNumber = 1;
}
