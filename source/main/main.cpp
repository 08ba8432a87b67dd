// The program's entry: a windowed show by default, a headless capture, or a check of the show.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "main/capture.h"
#include "main/check.h"
#include "main/frameRange.h"
#include "main/join.h"
#include "main/mainWindow.h"
#include "main/showLocation.h"
#include "main/sizeOption.h"
#include "main/version.h"
#include "main/winMain.h"

namespace {

constexpr char kUsage[] =
    "Usage: vantrisk [SHOW] [-transport] [--windowed | --fullscreen] [--start S] [--size WxH|native]"
    " [--supersample N] [--overlay]\n"
    "  or:  vantrisk [SHOW] --capture OUT [--fps N] [--from S] [--to S] [--quality Q] [--size WxH]"
    " [--supersample N] [--frames A:B | --segment K/N] [--quiet]\n"
    "  or:  vantrisk [SHOW] --join OUT PIECE...\n"
    "  or:  vantrisk [SHOW] --frame S OUT.png [--size WxH] [--supersample N]\n"
    "  or:  vantrisk [SHOW] --check [--quiet]\n"
    "  or:  vantrisk --version\n"
    "\n"
    "Plays the show of demo.xml from demo.dat and data/ in the current folder, or from SHOW, which\n"
    "every form above takes: a folder holding its own demo.dat and data/ (either is enough), or an\n"
    "archive file read as demo.dat. The log (Vantrisk.log) and Screenshots stay in the current folder.\n"
    "  -transport    Space pauses, Left/Right step back/forward (Shift: x4, Control: x0.25), Up restarts;\n"
    "                any argument containing -transport (--transport, -transportX) turns this on\n"
    "  --windowed    run in an 800 by 600 window without asking (--size: a window of that size)\n"
    "  --fullscreen  run full-screen without asking\n"
    "  --start S     start the music, and with it the show, at S seconds\n"
    "  --overlay     start with the author's overlay shown (F1 shows and hides it): time, frame\n"
    "                times, the effect timeline and the problems logged; never in a picture saved\n"
    "  --capture OUT\n"
    "                render without a display, frame-exact at music times FROM + k / FPS:\n"
    "                OUT is a video (.mp4 .mkv .webm .mov, with the music, through ffmpeg),\n"
    "                a PNG pattern with one integer format (shots/frame%05d.png) or a folder\n"
    "  --fps N       frames per second of the capture (default 60; exact fractions such as 30000/1001)\n"
    "  --frames A:B  capture only frames A to B-1 of the capture (PNG files keep their numbers)\n"
    "  --segment K/N\n"
    "                capture the K-th of N equal parts of the frames (the last takes the remainder);\n"
    "                a video part is silent, for --join\n"
    "  --join OUT PIECE...  put the video parts of one capture together, without re-encoding, with\n"
    "                the music of the whole span (run in the show's folder)\n"
    "  --from S      music time of the first frame in seconds (default 0)\n"
    "  --to S        end of the capture in seconds (default: the end of the music)\n"
    "  --quality Q   video encoding: draft (quickest), normal (the default) or best (slowest,\n"
    "                the encoder at its most careful); all three look the same\n"
    "  --frame S OUT.png  render the one frame at music time S\n"
    "  --size WxH    the picture is W by H pixels (up to 7680x4320; even for a video): the show renders\n"
    "                at the largest 4:3 size in it (1920x1080: 1440x1080), centred between black bars;\n"
    "                with --windowed a window of that size; native: the screen's own resolution\n"
    "                (--fullscreen). The show looks the same at every size, only sharper; a shader\n"
    "                that computes with SV_Position sees the pixels of the render size\n"
    "  --supersample N  render N times as finely (1 to 4) and box-filter down to the size, for\n"
    "                smooth edges; --size 1920x1080 --supersample 2 renders at 2880x2160\n"
    "  --check       load the show without a display, build every shader, render each effect once and\n"
    "                list every problem logged; exit code 0 for a clean show, 1 otherwise\n"
    "  --quiet       print only the verdict of --check, or no progress bar for --capture\n"
    "  --version     print the program's name and version\n";

bool ParseNumber(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

int UsageError(const char* message, const char* argument) {
    std::fprintf(stderr, "vantrisk: %s%s%s\n\n%s", message, argument ? " " : "", argument ? argument : "",
                 kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string commandLine;
    ScreenChoice choice = ScreenChoice::Ask;
    CaptureOptions capture;
    bool capturing = false;
    bool checking = false;
    bool quiet = false;
    std::optional<double> start;
    SizeRequest size;
    bool showNamed = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        double number = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("%s\n", VersionText());
            return 0;
        } else if (arg == "--windowed") {
            choice = ScreenChoice::Windowed;
        } else if (arg == "--fullscreen") {
            choice = ScreenChoice::Fullscreen;
        } else if (arg == "--overlay") {
            g_overlayShown = true;
        } else if (arg == "--check") {
            checking = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--start") {
            if (!hasValue) return UsageError("--start needs a time in seconds", nullptr);
            if (!ParseNumber(argv[++i], number) || number < 0)
                return UsageError("not a start time:", argv[i]);
            start = number;
        } else if (arg == "--capture") {
            if (!hasValue) return UsageError("--capture needs an output", nullptr);
            capture.output = argv[++i];
            capturing = true;
        } else if (arg == "--drop-frames") {
            // Left out of the usage text on purpose: a capture that renders and reads back every
            // frame and writes nothing, the yardstick of the capture benchmark.
            capture.dropFrames = true;
            capturing = true;
        } else if (arg == "--frame") {
            if (i + 2 >= argc) return UsageError("--frame needs a time and an output file", nullptr);
            if (!ParseNumber(argv[i + 1], number)) return UsageError("not a time:", argv[i + 1]);
            capture.single = number;
            capture.output = argv[i + 2];
            i += 2;
            capturing = true;
        } else if (arg == "--size") {
            if (!hasValue) return UsageError("--size needs WIDTHxHEIGHT or native", nullptr);
            const std::string problem = ParseSize(argv[++i], size);
            if (!problem.empty()) return UsageError(problem.c_str(), argv[i]);
        } else if (arg == "--supersample") {
            if (!hasValue) return UsageError("--supersample needs a factor from 1 to 4", nullptr);
            const std::string problem = ParseSupersample(argv[++i], size);
            if (!problem.empty()) return UsageError(problem.c_str(), argv[i]);
        } else if (arg == "--quality") {
            if (!hasValue) return UsageError("--quality needs draft, normal or best", nullptr);
            const auto quality = Platform::VideoQualityFromName(argv[++i]);
            if (!quality) return UsageError("not a quality (draft, normal or best):", argv[i]);
            capture.quality = *quality;
        } else if (arg == "--fps" || arg == "--frames" || arg == "--segment") {
            // Split captures: an exact rate, and the part of the frames this run renders.
            if (!hasValue) return UsageError("missing value after", arg.c_str());
            const std::string text = argv[++i];
            FrameRange frames;
            Segment segment;
            const std::string problem = arg == "--fps"      ? ParseFrameRate(text, capture.fps)
                                        : arg == "--frames" ? ParseFrameRange(text, frames)
                                                            : ParseSegment(text, segment);
            if (!problem.empty()) return UsageError((problem + ", not").c_str(), argv[i]);
            if (arg == "--frames") capture.frames = frames;
            if (arg == "--segment") capture.segment = segment;
        } else if (arg == "--join") {
            if (i + 2 >= argc) return UsageError("--join needs an output and the pieces", nullptr);
            return RunJoin(argv[i + 1], std::vector<std::string>(argv + i + 2, argv + argc));
        } else if (arg == "--from" || arg == "--to") {
            if (!hasValue) return UsageError("missing value after", arg.c_str());
            if (!ParseNumber(argv[++i], number)) return UsageError("not a number:", argv[i]);
            if (arg == "--from")
                capture.from = number;
            else
                capture.to = number;
        } else if (!showNamed && !arg.empty() && arg[0] != '-' &&
                   arg.find("-transport") == std::string::npos) {
            // The first plain word names the show; later ones go to the show's command line as before.
            SetShow(arg);
            showNamed = true;
        } else if (arg.find("-transport") != std::string::npos || arg.rfind("--", 0) != 0) {
            // The show's own command line: "-transport" anywhere in it turns transport mode on, in
            // whatever word it stands (--transport, -transportX).
            if (!commandLine.empty()) commandLine += ' ';
            commandLine += arg;
        } else {
            return UsageError("unknown option", arg.c_str());
        }
    }

    if (capture.dropFrames && (!capture.output.empty() || capture.single))
        return UsageError("--drop-frames writes nothing; give it without an output", nullptr);
    if (checking && capturing) return UsageError("--check renders no files; give it alone", nullptr);
    if (g_overlayShown && (checking || capturing))
        return UsageError("--overlay is drawn over a window; a capture or a check shows the show alone",
                          nullptr);
    if (start && (checking || capturing))
        return UsageError("--start is for playback; a capture starts with --from", nullptr);
    if (checking && (size.HasSize() || size.supersample > 1))
        return UsageError("--check renders at its own size; give it without --size and --supersample",
                          nullptr);
    if (capturing && size.native)
        return UsageError("--size native is for playback on a screen; a capture takes WIDTHxHEIGHT", nullptr);
    if (choice == ScreenChoice::Windowed && size.native)
        return UsageError("--size native is the screen's size; give it with --fullscreen", nullptr);
    if (capturing && !capture.single && IsVideoOutput(capture.output) && (size.width % 2 || size.height % 2))
        return UsageError("a video needs an even width and height, not",
                          (std::to_string(size.width) + "x" + std::to_string(size.height)).c_str());

    if ((capture.frames || capture.segment) && (!capturing || capture.single || capture.dropFrames))
        return UsageError("--frames and --segment pick frames of a --capture", nullptr);
    if (capture.frames && capture.segment) return UsageError("give --frames or --segment, not both", nullptr);
    if (checking) return RunCheck({.quiet = quiet});
    if (capturing) {
        capture.progress = !quiet;
        capture.size = size;
        return RunCapture(capture);
    }
    return WinMain(commandLine, choice, start, size);
}
