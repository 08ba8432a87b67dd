#include "main/capture.h"

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "effects/effectsManager.h"
#include "graphics/picturePrefetch.h"
#include "main/device.h"
#include "main/join.h"
#include "main/winMain.h"
#include "platform/image/imageCodec.h"
#include "platform/video/videoEncoder.h"
#include "system/audio.h"
#include "system/dataFile.h"

namespace {

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

bool WritePng(const std::string& path, const uint8_t* rgba, int width, int height) {
    std::vector<uint8_t> png;
    std::string error;
    // Frames are many and passed on to other tools: encoding speed matters more than size here.
    constexpr int kFastCompression = 1;
    if (!Image::EncodePng(rgba, width, height, width * 4, true, "Vantrisk", png, error, SIZE_MAX,
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

// The bar, the frame rate and the real-time factor: seconds of show captured per second of waiting.
void ShowProgress(long done, long total, double fps, std::chrono::steady_clock::time_point start) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double rate = elapsed > 0 ? done / elapsed : 0;
    const double left = rate > 0 ? (total - done) / rate : 0;
    constexpr int kBar = 30;
    const int filled = total > 0 ? int(kBar * done / total) : kBar;
    std::fprintf(stderr, "\r[%.*s%*s] frame %ld/%ld  %.1f fps  %.1fx  %.0f s left ", filled,
                 "##############################", kBar - filled, "", done, total, rate, rate / fps, left);
    if (done == total) std::fputc('\n', stderr);
}

// Hands the frames to their output on a thread of its own, in order and straight from the
// read-back slots: the next frames render while one is encoded or written, and a slot is free for
// the next read-back once its frame is out.
class FrameWriter {
public:
    using Sink = std::function<bool(const uint8_t* rgba, uint32_t width, uint32_t height, long index)>;

    explicit FrameWriter(Sink sink) : m_sink(std::move(sink)), m_thread([this] { Loop(); }) {}
    ~FrameWriter() { Finish(); }
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    /// Waits until `slot` holds no frame still to be written; false once a frame failed.
    bool WaitForSlot(uint32_t slot) {
        std::unique_lock lock(m_mutex);
        // A job leaves the queue only once its frame is out.
        m_changed.wait(lock, [&] {
            return m_failed || std::none_of(m_jobs.begin(), m_jobs.end(),
                                            [&](const Job& job) { return job.slot == slot; });
        });
        return !m_failed;
    }
    /// Queues frame `index`, whose pixels lie in `slot` until it is written.
    void Push(uint32_t slot, const uint8_t* rgba, uint32_t width, uint32_t height, long index) {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back({slot, rgba, width, height, index});
        }
        m_changed.notify_all();
    }
    /// Writes what is queued and ends the thread; false when a frame failed.
    bool Finish() {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable()) m_thread.join();
        return !m_failed;
    }

private:
    struct Job {
        uint32_t slot;
        const uint8_t* rgba;
        uint32_t width;
        uint32_t height;
        long index;
    };

    void Loop() {
        for (;;) {
            Job job{};
            bool skip = false;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return !m_jobs.empty() || m_closing; });
                if (m_jobs.empty()) return;
                job = m_jobs.front();
                // After a failure the rest is dropped: the capture is over.
                skip = m_failed;
            }
            const bool written = !skip && m_sink(job.rgba, job.width, job.height, job.index);
            {
                std::lock_guard lock(m_mutex);
                m_jobs.pop_front();
                if (!written) m_failed = true;
            }
            m_changed.notify_all();
        }
    }

    Sink m_sink;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    bool m_failed = false;
    bool m_closing = false;
    std::thread m_thread;  // last, so that it starts with everything above made
};

// Renders the frames of `range` and hands each to `sink` with its number in the capture. A frame's
// read-back is started as soon as it is drawn and taken only after the next frame is drawn, so the
// copy never holds up the drawing; the last frame is taken after the loop.
bool CaptureFrames(Effects::EffectsManager& manager, const CaptureOptions& options, FrameRange range,
                   std::chrono::steady_clock::time_point start, FrameWriter::Sink sink) {
    Gpu::SwapChain& swapChain = *g_graphics.swapChain;
    constexpr uint32_t kSlots = Gpu::SwapChain::kReadBackSlots;
    FrameWriter writer(std::move(sink));
    const long frames = long(range.Size());
    const auto handOver = [&](long k) {
        uint32_t width = 0, height = 0;
        const uint8_t* rgba = swapChain.FinishReadBack(uint32_t(k % kSlots), width, height);
        if (!rgba) {
            std::fprintf(stderr, "\nCannot read frame %ld back\n", long(range.first) + k);
            return false;
        }
        writer.Push(uint32_t(k % kSlots), rgba, width, height, long(range.first) + k);
        return true;
    };
    bool ok = true;
    for (long k = 0; ok && k < frames; ++k) {
        manager.RunFrame(FrameTime(options.from, options.fps, range.first + k));
        const uint32_t slot = uint32_t(k % kSlots);
        ok = writer.WaitForSlot(slot);
        if (ok && !swapChain.StartReadBack(slot)) {
            std::fprintf(stderr, "\nCannot read frame %ld back\n", long(range.first) + k);
            ok = false;
        }
        if (ok && k > 0) ok = handOver(k - 1);
        if (options.progress) ShowProgress(k + 1, frames, options.fps.Value(), start);
    }
    if (ok && frames > 0) ok = handOver(frames - 1);
    return writer.Finish() && ok;
}

}  // namespace

bool IsVideoOutput(const std::string& output) {
    return EndsWith(output, ".mp4") || EndsWith(output, ".mkv") || EndsWith(output, ".webm") ||
           EndsWith(output, ".mov");
}

// It may live inside the archive.
std::string CopyMusicToHost(const std::string& name) {
    if (name.empty()) return "";
    FileData music;
    if (ReadDataFile(name, music, "Capture") != DataFileRead::Read) return "";
    const auto path =
        std::filesystem::temp_directory_path() /
        ("vantrisk-music-" + std::to_string(::getpid()) + std::filesystem::path(name).extension().string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(music.data.get(), std::streamsize(music.size));
    return out ? path.string() : "";
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
    if (!(options.fps.Value() > 0 && options.fps.Value() <= 1000)) {
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
    PrepareHeadlessD3D();
    if (video && !Platform::IsVideoEncoderAvailable()) {
        std::fprintf(stderr, "ffmpeg was not found; install it to capture video\n");
        return 1;
    }

    const std::string mountFailure = MountData();
    if (!mountFailure.empty()) {
        std::fprintf(stderr, "FAIL: %s\n", mountFailure.c_str());
        return -1;
    }
    // The show's pictures are decoded on other cores while the device starts and the effects load.
    auto pictures = std::make_unique<ScriptPictures>("demo.xml");
    const int width = options.size.HasSize() ? options.size.width : kShowWidth;
    const int height = options.size.HasSize() ? options.size.height : kShowHeight;
    ApplySizeRequest(options.size, width, height);
    g_graphics.windowWidth = width;
    g_graphics.windowHeight = height;
    const int renderWidth = g_graphics.renderWidth, renderHeight = g_graphics.renderHeight;
    if (!InitialiseD3D(width, height)) {
        if (renderWidth != kShowWidth || renderHeight != kShowHeight) {
            std::fprintf(stderr,
                         "FAIL: the device cannot render at %dx%d; ask for a smaller --size or "
                         "--supersample\n",
                         renderWidth, renderHeight);
        } else {
            std::fprintf(stderr, "FAIL: INIT FAIL\n");
        }
        return -1;
    }

    int result = 0;
    {
        Audio_UseSilentOutput(true);
        Effects::EffectsManager manager(false, "demo.xml");
        pictures.reset();

        if (options.single) {
            manager.RunFrame(*options.single);
            std::vector<uint8_t> rgba;
            uint32_t width = 0, height = 0;
            g_graphics.swapChain->ReadBackBuffer(rgba, width, height);
            result = WritePng(options.output, rgba.data(), int(width), int(height)) ? 0 : 1;
        } else {
            const double musicLength = Audio_GetLength();
            const double to = options.to ? *options.to : musicLength;
            if (!options.to && musicLength <= 0) {
                std::fprintf(stderr, "The show has no music: give the end of the capture with --to\n");
                result = 1;
            }
            const long total = result == 0 ? long(FrameCount(options.from, to, options.fps)) : 0;
            if (result == 0 && total <= 0) {
                std::fprintf(stderr, "Nothing to capture between %.3f and %.3f s\n", options.from, to);
                result = 1;
            }
            // A part of the capture: the frames asked for, or one segment of it.
            FrameRange range{0, total};
            const bool piece = options.frames || options.segment;
            if (result == 0 && piece) {
                std::string problem;
                if (options.segment) problem = SegmentFrames(*options.segment, total, range);
                if (options.frames) range = *options.frames;
                if (problem.empty()) problem = CheckFrameRange(range, total);
                if (!problem.empty()) {
                    std::fprintf(stderr, "%s\n", problem.c_str());
                    result = 1;
                }
            }
            const long frames = long(range.Size());

            Platform::VideoEncoder encoder;
            std::string musicCopy;
            if (result == 0 && video) {
                Platform::VideoDesc desc;
                desc.path = options.output;
                desc.width = width;
                desc.height = height;
                desc.rate = options.fps.Text();
                // A piece is silent and says which frames of which capture it holds; the join puts
                // the music of the whole span under the pieces once.
                if (piece) {
                    desc.comment =
                        FormatPieceLabel({range, total, options.fps, options.from, Audio_GetFileName()});
                } else {
                    musicCopy = CopyMusicToHost(Audio_GetFileName());
                }
                desc.audioPath = musicCopy;
                desc.audioStart = options.from;
                desc.duration = double(frames * options.fps.denominator) / double(options.fps.numerator);
                desc.quality = options.quality;
                if (!encoder.Open(desc)) {
                    std::fprintf(stderr, "%s\n", encoder.Error().c_str());
                    result = 1;
                }
            }

            const auto start = std::chrono::steady_clock::now();
            if (result == 0) {
                FrameWriter::Sink sink;
                if (drop) {
                    sink = [](const uint8_t*, uint32_t, uint32_t, long) { return true; };
                } else if (video) {
                    sink = [&encoder](const uint8_t* rgba, uint32_t, uint32_t, long) {
                        if (encoder.Write(rgba)) return true;
                        std::fprintf(stderr, "\n%s\n", encoder.Error().c_str());
                        return false;
                    };
                } else {
                    sink = [&options](const uint8_t* rgba, uint32_t width, uint32_t height, long index) {
                        return WritePng(FrameFileName(options.output, index), rgba, int(width), int(height));
                    };
                }
                if (!CaptureFrames(manager, options, range, start, std::move(sink))) result = 1;
            }
            if (video && result == 0 && !encoder.Close()) {
                std::fprintf(stderr, "%s\n", encoder.Error().c_str());
                result = 1;
            }
            if (!musicCopy.empty()) std::filesystem::remove(musicCopy);
            if (result == 0) {
                const double seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                std::fprintf(stderr, "Captured %ld frames to %s in %.1f s (%.1f fps, %.1fx real time)\n",
                             frames, drop ? "nowhere (dropped)" : options.output.c_str(), seconds,
                             seconds > 0 ? frames / seconds : 0.0,
                             seconds > 0 ? frames / options.fps.Value() / seconds : 0.0);
            }
        }
    }
    Audio_UseSilentOutput(false);
    ShutdownD3D();
    return result;
}
