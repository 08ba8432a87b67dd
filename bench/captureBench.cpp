// What a capture costs above rendering: the built program captures the same span of the bundled
// show's busiest stretch (the three blobs in their cage, music 97 to 102 s, at 60 frames per second;
// the slowest five seconds to render of the cube and motion scenes) several ways:
//  - RenderOnly: "--drop-frames", every frame rendered and read back as for a capture, then dropped;
//  - Png: one PNG file per frame;
//  - Mp4/<quality>, Webm/<quality>: video with the music through the encoder, for draft, normal and best.
// Each case runs the program twice, for the span and for its first frame alone, and reports the
// difference, so that start-up (mounts, device, shader cache, the encoder's start) does not count:
//  - fps: frames of the span per wall second;
//  - cpu_s_per_frame: CPU seconds per frame of this process and all its children (the program, the
//    encoder it starts), from getrusage;
//  - vs_render: fps / RenderOnly's fps (RenderOnly runs first);
//  - psnr_db: for the videos, the decoded video against the PNG frames of the same span (Png runs
//    before the videos), both in the video's pixel format (4:2:0, the loss the encoder adds), and
//    psnr_rgb_db the same in RGB (chroma subsampling included); the visually lossless target is 40 dB.
// The program is VANTRISK_BINARY, or the one named by the environment variable VANTRISK_CAPTURE_BINARY
// (to measure another build on the same machine). Run with --benchmark_repetitions=3 for steady figures;
// the machine should be otherwise idle, since the figures are wall-clock throughput.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kFrom = 97.0;
constexpr double kTo = 102.0;
constexpr double kFps = 60.0;

long SpanFrames() {
    return long(std::floor((kTo - kFrom) * kFps + 1e-6));
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

// A working folder whose data/ is the repository's, kept for the whole run: the shader cache warms
// once, and the PNG frames stay for the videos' comparison.
class ShowFolder {
public:
    ShowFolder() {
        char pattern[] = "/tmp/vantrisk-capture-bench-XXXXXX";
        if (!mkdtemp(pattern)) return;
        m_path = pattern;
        std::error_code error;
        fs::create_directory_symlink(fs::path(VANTRISK_SOURCE_DIR) / "data", m_path / "data", error);
        if (error) m_path.clear();
    }
    ~ShowFolder() {
        std::error_code error;
        if (!m_path.empty()) fs::remove_all(m_path, error);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

ShowFolder& Folder() {
    static ShowFolder folder;
    return folder;
}

struct Cost {
    double wall = 0;  ///< seconds
    double cpu = 0;   ///< user + system seconds of this process and its children
};

double Seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) * 1e-6;
}

double CpuNow() {
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    return Seconds(self.ru_utime) + Seconds(self.ru_stime) + Seconds(children.ru_utime) +
           Seconds(children.ru_stime);
}

std::string Tail(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    return all.size() > 400 ? all.substr(all.size() - 400) : all;
}

// Runs `program arguments...` in `folder` with its output in `log`; the exit code (-1 when it could
// not run or was killed).
int Run(const std::string& program, const std::vector<std::string>& arguments, const fs::path& folder,
        const fs::path& log) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || chdir(folder.c_str()) != 0) _exit(127);
        dup2(fd, 1);
        dup2(fd, 2);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Program() {
    const char* other = std::getenv("VANTRISK_CAPTURE_BINARY");
    return other && *other ? other : VANTRISK_BINARY;
}

// One capture of `output` (empty: dropped frames) from kFrom to `to`; false with `error` set.
bool Capture(const std::vector<std::string>& output, double to, Cost& cost, std::string& error) {
    std::vector<std::string> arguments = output;
    arguments.insert(arguments.end(),
                     {"--fps", Number(kFps), "--from", Number(kFrom), "--to", Number(to), "--quiet"});
    const fs::path log = Folder().Path() / "capture.log";
    const double cpu = CpuNow();
    const auto start = std::chrono::steady_clock::now();
    const int code = Run(Program(), arguments, Folder().Path(), log);
    cost.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.cpu = CpuNow() - cpu;
    if (code != 0) {
        error = "the program failed (" + std::to_string(code) + "): " + Tail(log);
        return false;
    }
    return true;
}

// The average PSNR the video's psnr filter prints, comparing in `format`; NaN when it cannot.
double Psnr(const fs::path& video, const fs::path& frames, const std::string& format) {
    const fs::path log = Folder().Path() / "psnr.log";
    // Frames are paired by their order: the container's rounded time stamps must not pair a frame
    // with its neighbour.
    const std::string pair = "settb=1/" + std::to_string(int(kFps)) + ",setpts=N,format=" + format;
    const std::string graph = "[0:v]" + pair + "[a];[1:v]" + pair + "[b];[a][b]psnr";
    const int code = Run("/usr/bin/ffmpeg",
                         {"-hide_banner", "-nostats", "-i", video.string(), "-framerate", Number(kFps), "-i",
                          (frames / "frame%05d.png").string(), "-lavfi", graph, "-f", "null", "-"},
                         Folder().Path(), log);
    if (code != 0) return std::nan("");
    const std::string text = Tail(log);
    const size_t at = text.rfind("average:");
    if (at == std::string::npos) return std::nan("");
    // A lossless match prints "inf".
    return std::strtod(text.c_str() + at + 8, nullptr);
}

double g_renderOnlyFps = 0;
bool g_haveFrames = false;
bool g_warm = false;

enum class Kind { RenderOnly, Png, Video };

void CaptureCase(benchmark::State& state, Kind kind, std::string output, std::string quality) {
    if (Folder().Path().empty()) return state.SkipWithError("cannot make the show folder");
    std::vector<std::string> arguments;
    if (kind == Kind::RenderOnly) {
        arguments = {"--drop-frames"};
    } else {
        arguments = {"--capture", output};
        if (!quality.empty()) arguments.insert(arguments.end(), {"--quality", quality});
    }
    std::string error;
    Cost first, span;
    if (!g_warm) {
        // The first run in a fresh folder fills the shader cache; every later one starts alike.
        if (!Capture(arguments, kFrom + 1.5 / kFps, first, error)) return state.SkipWithError(error.c_str());
        g_warm = true;
    }
    const long frames = SpanFrames();
    for (auto _ : state) {
        if (!Capture(arguments, kFrom + 1.5 / kFps, first, error) || !Capture(arguments, kTo, span, error))
            return state.SkipWithError(error.c_str());
        state.SetIterationTime(span.wall - first.wall);
    }
    const double wallPerFrame = (span.wall - first.wall) / double(frames - 1);
    const double fps = 1.0 / wallPerFrame;
    state.counters["fps"] = fps;
    state.counters["cpu_s_per_frame"] = (span.cpu - first.cpu) / double(frames - 1);
    if (kind == Kind::RenderOnly) g_renderOnlyFps = fps;
    if (g_renderOnlyFps > 0) state.counters["vs_render"] = fps / g_renderOnlyFps;
    if (kind == Kind::Png) {
        char last[32];
        std::snprintf(last, sizeof last, "frame%05ld.png", frames - 1);
        g_haveFrames = fs::exists(Folder().Path() / output / last);
    }
    if (kind == Kind::Video && g_haveFrames) {
        state.counters["psnr_db"] = Psnr(Folder().Path() / output, Folder().Path() / "frames", "yuv420p");
        state.counters["psnr_rgb_db"] = Psnr(Folder().Path() / output, Folder().Path() / "frames", "rgb24");
    }
}

void Register(const char* name, Kind kind, const char* output, const char* quality) {
    benchmark::RegisterBenchmark(name, CaptureCase, kind, std::string(output), std::string(quality))
        ->Unit(benchmark::kSecond)
        ->UseManualTime()
        ->Iterations(1);
}

}  // namespace

int main(int argc, char** argv) {
    Register("Capture/RenderOnly", Kind::RenderOnly, "", "");
    Register("Capture/Png", Kind::Png, "frames", "");
    for (const char* quality : {"draft", "normal", "best"}) {
        Register((std::string("Capture/Mp4/") + quality).c_str(), Kind::Video, "show.mp4", quality);
        Register((std::string("Capture/Webm/") + quality).c_str(), Kind::Video, "show.webm", quality);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
