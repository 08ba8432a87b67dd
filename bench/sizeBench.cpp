// The show at other sizes: what rendering more pixels costs. The built program renders the bundled
// show's busiest stretch (the three blobs in their cage, music 97 to 102 s) render-only
// ("--drop-frames": every frame rendered and read back, then dropped) at each of these sizes:
//  - 800x600 (the default), 1920x1080 (renders 1440x1080), 3840x2160 (renders 2880x2160), and 800x600
//    with --supersample 2 (renders 1600x1200);
//  - and mp4 captures of 10 s at 800x600 and 1920x1080 against render-only at the same size and
//    span (the target: at least 0.85 of render-only's rate), the median of each round's ratio.
// Each case runs the program twice, for the span and for its first frame alone, and takes the
// difference, so that start-up does not count. Per case it prints the median fps over the rounds,
// the peak resident memory of the program (what a software renderer holds: its textures live there),
// and the bytes of the textures that grow with the render size (the manager's pair, the depth
// buffer, a supersampled final target, the back buffer and the read-back slots).
// Options: --rounds=N (default 3), --fps=N (frames per second of the span, default 30; a slow
// software renderer wants fewer), --only=TEXT (cases whose name contains TEXT).
// Run it on an otherwise idle machine: the figures are wall-clock throughput.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "runProgram.h"
#include "showFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr double kFrom = 97.0;
constexpr double kTo = 102.0;
constexpr double kVideoTo = 107.0;  // 10 s of video

using Outcome = BenchSupport::RunOutcome;

// Runs the program in `folder`, its output into `log`.
Outcome Run(const std::vector<std::string>& arguments, const fs::path& folder, const fs::path& log) {
    return BenchSupport::RunIn(folder, VANTRISK_BINARY, arguments, log);
}

struct Case {
    std::string name;
    int width, height;  // the output
    int renderWidth, renderHeight;
    int supersample;
    bool video;
    std::vector<double> fps;
    long peakKiB = 0;
};

double Median(std::vector<double> values) {
    if (values.empty()) return std::nan("");
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// Bytes of the textures whose size follows the output or the render size: two colour textures and
// a depth buffer at the render size, a supersampled final target, the back buffer and its three
// read-back slots at the output size.
double TextureMiB(const Case& c) {
    const double render = double(c.renderWidth) * c.renderHeight * 4;
    const double output = double(c.width) * c.height * 4;
    return (render * (3 + (c.supersample > 1 ? 1 : 0)) + output * 4) / (1024.0 * 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    double fps = 30.0;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::max(1, std::atoi(argv[i] + 9));
        if (std::strncmp(argv[i], "--fps=", 6) == 0) fps = std::max(1.0, std::atof(argv[i] + 6));
        if (std::strncmp(argv[i], "--only=", 7) == 0) only = argv[i] + 7;
    }
    BenchSupport::ShowFolder show("vantrisk-size-bench");
    if (show.Path().empty()) {
        std::fprintf(stderr, "Cannot make a folder to run in\n");
        return 1;
    }
    std::vector<Case> cases = {
        {"render-only 800x600", 800, 600, 800, 600, 1, false, {}},
        {"render-only 1440x1080 (--size 1920x1080)", 1920, 1080, 1440, 1080, 1, false, {}},
        {"render-only 2880x2160 (--size 3840x2160)", 3840, 2160, 2880, 2160, 1, false, {}},
        {"render-only 800x600 --supersample 2", 800, 600, 1600, 1200, 2, false, {}},
        {"render-only 800x600, 10 s", 800, 600, 800, 600, 1, false, {}},
        {"mp4 800x600, 10 s", 800, 600, 800, 600, 1, true, {}},
        {"render-only 1920x1080, 10 s", 1920, 1080, 1440, 1080, 1, false, {}},
        {"mp4 1920x1080, 10 s", 1920, 1080, 1440, 1080, 1, true, {}},
    };
    std::erase_if(cases, [&](const Case& c) { return c.name.find(only) == std::string::npos; });
    const fs::path log = show.Path() / "run.log";
    for (int round = 0; round < rounds; ++round) {
        for (Case& c : cases) {
            const bool ten = c.name.find("10 s") != std::string::npos;
            const double to = ten ? kVideoTo : kTo;
            std::vector<std::string> common = {
                "--fps",         std::to_string(fps),
                "--from",        std::to_string(kFrom),
                "--size",        std::to_string(c.width) + "x" + std::to_string(c.height),
                "--supersample", std::to_string(c.supersample),
                "--quiet"};
            std::vector<std::string> span = common, first = common;
            const std::vector<std::string> output = c.video ? std::vector<std::string>{"--capture", "out.mp4"}
                                                            : std::vector<std::string>{"--drop-frames"};
            span.insert(span.end(), output.begin(), output.end());
            span.insert(span.end(), {"--to", std::to_string(to)});
            first.insert(first.end(), output.begin(), output.end());
            first.insert(first.end(), {"--to", std::to_string(kFrom + 1.0 / fps)});
            const Outcome whole = Run(span, show.Path(), log);
            const Outcome start = Run(first, show.Path(), log);
            if (whole.code != 0 || start.code != 0) {
                std::fprintf(stderr, "%s failed (exit %d, %d); see %s\n", c.name.c_str(), whole.code,
                             start.code, log.c_str());
                return 1;
            }
            const double frames = std::floor((to - kFrom) * fps + 1e-6) - 1;
            c.fps.push_back(frames / std::max(whole.wall - start.wall, 1e-3));
            c.peakKiB = std::max(c.peakKiB, whole.peakKiB);
        }
    }
    std::printf("%-44s %10s %12s %14s\n", "case", "fps", "peak MiB", "textures MiB");
    for (const Case& c : cases) {
        std::printf("%-44s %10.1f %12.0f %14.1f\n", c.name.c_str(), Median(c.fps), c.peakKiB / 1024.0,
                    TextureMiB(c));
    }
    // The video's rate over render-only's at the same size, round by round (runs made moments apart).
    for (const char* size : {"800x600", "1920x1080"}) {
        const auto find = [&](const std::string& name) {
            return std::find_if(cases.begin(), cases.end(), [&](const Case& c) { return c.name == name; });
        };
        const auto render = find(std::string("render-only ") + size + ", 10 s");
        const auto video = find(std::string("mp4 ") + size + ", 10 s");
        if (render == cases.end() || video == cases.end()) continue;
        std::vector<double> ratios;
        for (size_t k = 0; k < render->fps.size(); ++k) ratios.push_back(video->fps[k] / render->fps[k]);
        std::printf("mp4 over render-only at %s: %.2f (target at least 0.85)\n", size, Median(ratios));
    }
    return 0;
}
