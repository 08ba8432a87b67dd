#include "main/capture.h"

#include <physfs.h>

#include <unistd.h>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "effects/effectsManager.h"
#include "main/device.h"
#include "main/winMain.h"
#include "platform/image/imageCodec.h"
#include "platform/video/videoEncoder.h"
#include "system/audio.h"

namespace {

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

bool WritePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height) {
    std::vector<uint8_t> png;
    std::string error;
    // Frames are many and passed on to other tools: encoding speed matters more than size here.
    constexpr int kFastCompression = 1;
    if (!Image::EncodePng(rgba.data(), width, height, width * 4, true, "Vantrisk", png, error, SIZE_MAX,
                          kFastCompression)) {
        std::fprintf(stderr, "Cannot encode '%s': %s\n", path.c_str(), error.c_str());
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    if (!out) {
        std::fprintf(stderr, "Cannot write '%s'\n", path.c_str());
        return false;
    }
    return true;
}

// The music as a host file for the encoder to mux in (it may live inside the archive).
std::string ExtractMusic(const std::string& name) {
    if (name.empty()) return "";
    PHYSFS_File* file = PHYSFS_openRead(name.c_str());
    if (!file) return "";
    std::vector<char> bytes;
    char buffer[65536];
    for (PHYSFS_sint64 n; (n = PHYSFS_readBytes(file, buffer, sizeof buffer)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + n);
    PHYSFS_close(file);
    const auto path =
        std::filesystem::temp_directory_path() /
        ("vantrisk-music-" + std::to_string(::getpid()) + std::filesystem::path(name).extension().string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return out ? path.string() : "";
}

void ShowProgress(long done, long total, std::chrono::steady_clock::time_point start) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double rate = elapsed > 0 ? done / elapsed : 0;
    const double left = rate > 0 ? (total - done) / rate : 0;
    constexpr int kBar = 30;
    const int filled = total > 0 ? int(kBar * done / total) : kBar;
    std::fprintf(stderr, "\r[%.*s%*s] frame %ld/%ld  %.1f fps  %.0f s left ", filled,
                 "##############################", kBar - filled, "", done, total, rate, left);
    if (done == total) std::fputc('\n', stderr);
}

}  // namespace

bool IsVideoOutput(const std::string& output) {
    return EndsWith(output, ".mp4") || EndsWith(output, ".mkv") || EndsWith(output, ".webm") ||
           EndsWith(output, ".mov");
}

std::string FrameFileName(const std::string& output, long index) {
    if (output.find('%') != std::string::npos) {
        char name[4096];
        std::snprintf(name, sizeof name, output.c_str(), index);
        return name;
    }
    char name[32];
    std::snprintf(name, sizeof name, "frame%05ld.png", index);
    return (std::filesystem::path(output) / name).string();
}

int RunCapture(const CaptureOptions& options) {
    const bool drop = options.dropFrames && !options.single;
    const bool video = !drop && !options.single && IsVideoOutput(options.output);
    if (!(options.fps > 0 && options.fps <= 1000)) {
        std::fprintf(stderr, "The frame rate must lie between 0 and 1000 frames per second\n");
        return 1;
    }
    if (!options.single && !video && !drop) {
        // The folder of the frames: the output itself, or the folder part of a pattern.
        const bool pattern = options.output.find('%') != std::string::npos;
        const std::filesystem::path folder = pattern ? std::filesystem::path(options.output).parent_path()
                                                     : std::filesystem::path(options.output);
        std::error_code error;
        if (!folder.empty()) std::filesystem::create_directories(folder, error);
        if (error) {
            std::fprintf(stderr, "Cannot create the folder '%s': %s\n", options.output.c_str(),
                         error.message().c_str());
            return 1;
        }
    }
    if (video && !Platform::IsVideoEncoderAvailable()) {
        std::fprintf(stderr, "ffmpeg was not found; install it to capture video\n");
        return 1;
    }

    const std::string mountFailure = MountData();
    if (!mountFailure.empty()) {
        std::fprintf(stderr, "FAIL: %s\n", mountFailure.c_str());
        return -1;
    }
    if (!InitialiseD3D()) {
        std::fprintf(stderr, "FAIL: INIT FAIL\n");
        return -1;
    }

    int result = 0;
    {
        Audio_UseSilentOutput(true);
        Effects::EffectsManager manager(false, "demo.xml");

        if (options.single) {
            manager.RunFrame(*options.single);
            std::vector<uint8_t> rgba;
            uint32_t width = 0, height = 0;
            g_graphics.swapChain->ReadBackBuffer(rgba, width, height);
            result = WritePng(options.output, rgba, int(width), int(height)) ? 0 : 1;
        } else {
            const double musicLength = Audio_GetLength();
            const double to = options.to ? *options.to : musicLength;
            if (!options.to && musicLength <= 0) {
                std::fprintf(stderr, "The show has no music: give the end of the capture with --to\n");
                result = 1;
            }
            const long frames = result == 0 ? long(std::floor((to - options.from) * options.fps + 1e-6)) : 0;
            if (result == 0 && frames <= 0) {
                std::fprintf(stderr, "Nothing to capture between %.3f and %.3f s\n", options.from, to);
                result = 1;
            }

            Platform::VideoEncoder encoder;
            std::string musicCopy;
            if (result == 0 && video) {
                musicCopy = ExtractMusic(Audio_GetFileName());
                Platform::VideoDesc desc;
                desc.path = options.output;
                desc.width = kShowWidth;
                desc.height = kShowHeight;
                desc.fps = options.fps;
                desc.audioPath = musicCopy;
                desc.audioStart = options.from;
                desc.duration = double(frames) / options.fps;
                if (!encoder.Open(desc)) {
                    std::fprintf(stderr, "%s\n", encoder.Error().c_str());
                    result = 1;
                }
            }

            const auto start = std::chrono::steady_clock::now();
            std::vector<uint8_t> rgba;
            for (long k = 0; result == 0 && k < frames; ++k) {
                manager.RunFrame(options.from + double(k) / options.fps);
                uint32_t width = 0, height = 0;
                g_graphics.swapChain->ReadBackBuffer(rgba, width, height);
                if (drop) {
                    // Read back and left alone.
                } else if (video) {
                    if (!encoder.Write(rgba.data())) {
                        std::fprintf(stderr, "\n%s\n", encoder.Error().c_str());
                        result = 1;
                    }
                } else if (!WritePng(FrameFileName(options.output, k), rgba, int(width), int(height))) {
                    result = 1;
                }
                if (options.progress) ShowProgress(k + 1, frames, start);
            }
            if (video && result == 0 && !encoder.Close()) {
                std::fprintf(stderr, "%s\n", encoder.Error().c_str());
                result = 1;
            }
            if (!musicCopy.empty()) std::filesystem::remove(musicCopy);
            if (result == 0)
                std::fprintf(stderr, "Captured %ld frames to %s\n", frames,
                             drop ? "nowhere (dropped)" : options.output.c_str());
        }
    }
    Audio_UseSilentOutput(false);
    ShutdownD3D();
    return result;
}
