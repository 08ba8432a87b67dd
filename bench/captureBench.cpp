// What a capture costs above rendering: the built program captures the same span of the bundled
// show's busiest stretch (the three blobs in their cage, music 97 to 102 s at 60 frames per second:
// the slowest five seconds to render of the cube and motion scenes) in each of these ways:
//  - render-only: "--drop-frames", every frame rendered and read back as for a capture, then dropped;
//  - png: one PNG file per frame;
//  - mp4/<quality>, webm/<quality>: video with the music through the encoder, draft, normal and best.
// Each case runs the program twice, for the span and for its first frame alone, and takes the
// difference, so that start-up (mounts, device, shader cache, the encoder's start) does not count.
// Per case it prints, as the median over the rounds (and the range of fps):
//  - fps: frames of the span per wall second;
//  - cpu/frame: CPU seconds per frame of the program and all its children (the encoder), from
//    getrusage of this process's children and itself;
//  - x render: fps over render-only's fps of the same round (the rounds run every case in turn, so
//    each ratio compares runs made moments apart);
//  - others, stolen: CPU seconds that other processes of the machine took during the span run, and
//    that the host took from the machine (both from /proc/stat), to tell a disturbed round;
//  - for the videos: the PSNR of the decoded video against the PNG frames of the same span (a lossless
//    capture), both in the video's pixel format, 4:2:0 (the loss the encoder adds; the target for
//    visually lossless is 40 dB), and in RGB (chroma subsampling included), and the file's size.
// Options: --rounds=N (default 3), --only=TEXT (cases whose name contains TEXT; render-only and png
// always run, as the others are measured against them). The program is VANTRISK_BINARY, or the one
// named by the environment variable VANTRISK_CAPTURE_BINARY (to measure another build here). An
// earlier build named by VANTRISK_CAPTURE_BEFORE adds its png, mp4 and webm captures to the same
// rounds ("before/..."), measured against the render-only run of this one: the figures before and
// after a change, from runs made moments apart.
// The figures are wall-clock throughput on a machine whose speed varies from run to run: run it on an
// otherwise idle machine, with rounds enough for the medians to settle.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "runProgram.h"
#include "showFolder.h"

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

double Seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) * 1e-6;
}

// CPU seconds of this process and of its children that have ended.
double OwnCpu() {
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    return Seconds(self.ru_utime) + Seconds(self.ru_stime) + Seconds(children.ru_utime) +
           Seconds(children.ru_stime);
}

// CPU seconds the whole machine has been busy, all cores together, and those stolen from it by the
// host (time this machine's cores wanted to run and could not).
struct MachineTimes {
    double busy = 0;
    double stolen = 0;
};
MachineTimes MachineCpu() {
    std::ifstream in("/proc/stat");
    std::string name;
    double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    in >> name >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
    const double tick = double(sysconf(_SC_CLK_TCK));
    return {(user + nice + system + irq + softirq) / tick, steal / tick};
}

std::string Tail(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    return all.size() > 600 ? all.substr(all.size() - 600) : all;
}

// Runs `program arguments...` in `folder` with its output in `log`; the exit code (-1 when it could
// not run or was killed).
int Run(const std::string& program, const std::vector<std::string>& arguments, const fs::path& folder,
        const fs::path& log) {
    return BenchSupport::RunIn(folder, program, arguments, log).code;
}

struct Cost {
    double wall = 0;    ///< seconds
    double cpu = 0;     ///< seconds of this process and its children
    double others = 0;  ///< seconds other processes took meanwhile
    double stolen = 0;  ///< seconds the host took from this machine meanwhile
};

struct Case {
    std::string name;
    std::string program;  ///< the program to run ("" for the one measured)
    std::vector<std::string> arguments;
    std::string output;  ///< the file or folder written ("" for none)
    bool video = false;
    std::vector<double> fps, cpuPerFrame, ratio, others, stolen;
    double psnr = std::nan(""), psnrRgb = std::nan(""), megabytes = std::nan("");
};

class Bench {
public:
    explicit Bench(std::string program) : m_program(std::move(program)) {}

    bool Ready() const { return !m_folder.Path().empty(); }

    // One capture from kFrom to `to`; false with `error` set.
    bool Capture(const Case& c, double to, Cost& cost, std::string& error) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(),
                         {"--fps", Number(kFps), "--from", Number(kFrom), "--to", Number(to), "--quiet"});
        const fs::path log = m_folder.Path() / "capture.log";
        const double cpu = OwnCpu();
        const MachineTimes machine = MachineCpu();
        const auto start = std::chrono::steady_clock::now();
        const int code = Run(c.program.empty() ? m_program : c.program, arguments, m_folder.Path(), log);
        cost.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cost.cpu = OwnCpu() - cpu;
        const MachineTimes after = MachineCpu();
        cost.others = std::max(0.0, after.busy - machine.busy - cost.cpu);
        cost.stolen = after.stolen - machine.stolen;
        if (code != 0) {
            error = c.name + ": the program failed (" + std::to_string(code) + "): " + Tail(log);
            return false;
        }
        return true;
    }

    // Measures `c` once: fills its per-round figures; false with `error` set.
    bool Measure(Case& c, double renderOnlyFps, std::string& error) {
        Cost first, span;
        if (!Capture(c, kFrom + 1.5 / kFps, first, error) || !Capture(c, kTo, span, error)) return false;
        const double frames = double(SpanFrames() - 1);
        const double fps = frames / std::max(span.wall - first.wall, 1e-6);
        c.fps.push_back(fps);
        c.cpuPerFrame.push_back((span.cpu - first.cpu) / frames);
        c.others.push_back(span.others);
        c.stolen.push_back(span.stolen);
        c.ratio.push_back(renderOnlyFps > 0 ? fps / renderOnlyFps : 1.0);
        return true;
    }

    // The average PSNR of the psnr filter comparing `video` with the PNG frames in `format`; NaN
    // when it cannot.
    double Psnr(const fs::path& video, const fs::path& frames, const std::string& format) {
        const fs::path log = m_folder.Path() / "psnr.log";
        // Frames are paired by their order: the container's rounded time stamps must not pair a
        // frame with its neighbour.
        const std::string pair = "settb=1/" + std::to_string(int(kFps)) + ",setpts=N,format=" + format;
        const std::string graph = "[0:v]" + pair + "[a];[1:v]" + pair + "[b];[a][b]psnr";
        const int code = Run("ffmpeg",
                             {"-hide_banner", "-nostats", "-i", video.string(), "-framerate", Number(kFps),
                              "-i", (frames / "frame%05d.png").string(), "-lavfi", graph, "-f", "null", "-"},
                             m_folder.Path(), log);
        if (code != 0) return std::nan("");
        const std::string text = Tail(log);
        const size_t at = text.rfind("average:");
        // A lossless match prints "inf", which strtod reads as infinity.
        return at == std::string::npos ? std::nan("") : std::strtod(text.c_str() + at + 8, nullptr);
    }

    const fs::path& Folder() const { return m_folder.Path(); }

private:
    std::string m_program;
    // Kept for the whole run: the shader cache warms once, and the PNG frames stay for the videos'
    // comparison.
    BenchSupport::ShowFolder m_folder{"vantrisk-capture-bench"};
};

double Median(std::vector<double> values) {
    if (values.empty()) return std::nan("");
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
            rounds = std::max(1, std::atoi(argv[i] + 9));
        } else if (std::strncmp(argv[i], "--only=", 7) == 0) {
            only = argv[i] + 7;
        } else {
            std::fprintf(stderr, "usage: %s [--rounds=N] [--only=TEXT]\n", argv[0]);
            return 2;
        }
    }
    const char* other = std::getenv("VANTRISK_CAPTURE_BINARY");
    Bench bench(other && *other ? other : VANTRISK_BINARY);
    if (!bench.Ready()) {
        std::fprintf(stderr, "cannot make the show folder\n");
        return 1;
    }

    std::vector<Case> cases;
    const auto add = [&](std::string name, std::vector<std::string> arguments, std::string output,
                         bool video) {
        Case c;
        c.name = std::move(name);
        c.arguments = std::move(arguments);
        c.output = std::move(output);
        c.video = video;
        cases.push_back(std::move(c));
    };
    add("render-only", {"--drop-frames"}, "", false);
    add("png", {"--capture", "frames"}, "frames", false);
    for (const char* container : {"mp4", "webm"}) {
        for (const char* quality : {"draft", "normal", "best"}) {
            const std::string name = std::string(container) + "/" + quality;
            if (!only.empty() && name.find(only) == std::string::npos) continue;
            const std::string file = std::string("show.") + container;
            add(name, {"--capture", file, "--quality", quality}, file, true);
        }
    }

    const char* before = std::getenv("VANTRISK_CAPTURE_BEFORE");
    if (before && *before) {
        const std::pair<const char*, const char*> earlier[] = {
            {"before/png", "frames-before"}, {"before/mp4", "before.mp4"}, {"before/webm", "before.webm"}};
        for (const auto& [name, output] : earlier) {
            add(name, {"--capture", output}, output, std::string(name) != "before/png");
            cases.back().program = before;
        }
    }

    std::string error;
    Cost warm;
    // The first run in a fresh folder fills the shader cache; every later one starts alike.
    if (!bench.Capture(cases[0], kFrom + 1.5 / kFps, warm, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (int round = 0; round < rounds; ++round) {
        double renderOnlyFps = 0;
        for (Case& c : cases) {
            std::fprintf(stderr, "round %d/%d: %s\n", round + 1, rounds, c.name.c_str());
            if (!bench.Measure(c, renderOnlyFps, error)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 1;
            }
            if (&c == &cases[0]) renderOnlyFps = c.fps.back();
            if (round == 0 && c.video) {
                // Encoding is deterministic enough that one comparison per case tells.
                const fs::path video = bench.Folder() / c.output;
                c.psnr = bench.Psnr(video, bench.Folder() / "frames", "yuv420p");
                c.psnrRgb = bench.Psnr(video, bench.Folder() / "frames", "rgb24");
                std::error_code sizeError;
                const auto bytes = fs::file_size(video, sizeError);
                if (!sizeError) c.megabytes = double(bytes) / 1e6;
            }
        }
    }

    std::printf("Capture of music %.0f-%.0f s at %.0f fps (%ld frames), %d rounds, medians\n", kFrom, kTo,
                kFps, SpanFrames(), rounds);
    std::printf("%-12s %7s %17s %10s %9s %8s %8s %10s %10s %8s\n", "case", "fps", "(range)", "cpu/frame",
                "x render", "others", "stolen", "PSNR 420", "PSNR RGB", "MB");
    for (const Case& c : cases) {
        const auto [low, high] = std::minmax_element(c.fps.begin(), c.fps.end());
        char range[32];
        std::snprintf(range, sizeof range, "(%.1f-%.1f)", *low, *high);
        std::printf("%-12s %7.1f %17s %9.4fs %9.2f %7.1fs %7.1fs", c.name.c_str(), Median(c.fps), range,
                    Median(c.cpuPerFrame), Median(c.ratio), Median(c.others), Median(c.stolen));
        if (c.video) std::printf(" %8.1fdB %8.1fdB %8.2f", c.psnr, c.psnrRgb, c.megabytes);
        std::printf("\n");
    }
    return 0;
}
