// The program's entry: a windowed show by default, or a headless capture.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "main/capture.h"
#include "main/winMain.h"

namespace {

constexpr char kUsage[] =
    "Usage: vantrisk [-transport] [--windowed | --fullscreen]\n"
    "       vantrisk --capture OUT [--fps N] [--from S] [--to S]\n"
    "       vantrisk --frame S OUT.png\n"
    "\n"
    "Plays the show of demo.xml from demo.dat and data/ in the current folder.\n"
    "  -transport    Space pauses, Left/Right step back/forward (Shift: x4, Control: x0.25), Up restarts\n"
    "  --windowed    run in an 800 by 600 window without asking\n"
    "  --fullscreen  run full-screen without asking\n"
    "  --capture OUT render without a display, frame-exact at music times FROM + k / FPS:\n"
    "                OUT is a video (.mp4 .mkv .webm .mov, with the music, through ffmpeg),\n"
    "                a PNG pattern with one integer format (shots/frame%05d.png) or a folder\n"
    "  --fps N       frames per second of the capture (default 60)\n"
    "  --from S      music time of the first frame in seconds (default 0)\n"
    "  --to S        end of the capture in seconds (default: the end of the music)\n"
    "  --frame S OUT.png  render the one frame at music time S\n";

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

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        double number = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--windowed") {
            choice = ScreenChoice::Windowed;
        } else if (arg == "--fullscreen") {
            choice = ScreenChoice::Fullscreen;
        } else if (arg == "--capture") {
            if (!hasValue) return UsageError("--capture needs an output", nullptr);
            capture.output = argv[++i];
            capturing = true;
        } else if (arg == "--frame") {
            if (i + 2 >= argc) return UsageError("--frame needs a time and an output file", nullptr);
            if (!ParseNumber(argv[i + 1], number)) return UsageError("not a time:", argv[i + 1]);
            capture.single = number;
            capture.output = argv[i + 2];
            i += 2;
            capturing = true;
        } else if (arg == "--fps" || arg == "--from" || arg == "--to") {
            if (!hasValue) return UsageError("missing value after", arg.c_str());
            if (!ParseNumber(argv[++i], number)) return UsageError("not a number:", argv[i]);
            if (arg == "--fps")
                capture.fps = number;
            else if (arg == "--from")
                capture.from = number;
            else
                capture.to = number;
        } else if (arg.rfind("--", 0) == 0) {
            return UsageError("unknown option", arg.c_str());
        } else {
            // Anything else belongs to the show's own command line ("-transport" is looked for in it).
            if (!commandLine.empty()) commandLine += ' ';
            commandLine += arg;
        }
    }

    if (capturing) return RunCapture(capture);
    return WinMain(commandLine, choice);
}
