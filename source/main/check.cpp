#include "main/check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "effects/effectsManager.h"
#include "main/device.h"
#include "main/winMain.h"
#include "system/audio.h"
#include "system/log.h"

namespace {

struct Problem {
    std::string file;  // source file of the call site, without its folders
    int line = 0;
    std::string function;
    std::string text;
};

std::vector<Problem> g_problems;

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// Whether a logged message only tells how loading goes (a mount, a parsed script, the video card)
// rather than that something is wrong.
bool IsInformational(const std::string& text) {
    // An absent archive or folder is normal while a show is edited (one of the two is enough, which
    // the mounting judges itself); a damaged one is not.
    for (const char* mount : {"Mounted archive: ", "Mounted directory: "}) {
        if (StartsWith(text, mount)) {
            const std::string error = text.substr(std::strlen(mount));
            return error == "(null)" || error == "(null)\n" || StartsWith(error, "not found");
        }
    }
    return StartsWith(text, "Show: ") ||
           (StartsWith(text, "XML [") && EndsWith(text, "] parsed without errors")) ||
           StartsWith(text, "Video card is '") || text == "Parsing a .cube file.." || text == "..succeeded" ||
           // Entries built at their first draw announce it; a failure to build follows on its own.
           (StartsWith(text, "Shader trying to use unloaded ") &&
            EndsWith(text, "Trying to load it now..")) ||
           StartsWith(text, "FileWatcher has noticed that '") ||
           StartsWith(text, "Filewatcher has noticed that '");
}

void Collect(const char* file, int line, const char* function, const char* text) {
    if (IsInformational(text)) return;
    const char* slash = std::strrchr(file, '/');
    Problem problem{slash ? slash + 1 : file, line, function, text};
    // A failing entry is tried again at each draw and says so each time; once is enough here.
    for (const Problem& seen : g_problems) {
        if (seen.function == problem.function && seen.text == problem.text) return;
    }
    g_problems.push_back(std::move(problem));
}

void AddStartTimes(const Effects::Effect& effect, double start, double localScale,
                   std::vector<double>& times) {
    if (!std::isfinite(start)) return;
    times.push_back(start);
    // One unit of the effect's local time lasts 1 / speed units of its parent's clock.
    const double scale = localScale / effect.GetSpeed();
    for (const auto& child : effect.GetChildren()) {
        const double childStart = child->GetStart();
        // A frozen clock (speed 0) only ever shows its children that start at its first moment.
        const double at = std::isfinite(scale) ? start + childStart * scale : (childStart == 0 ? start : NAN);
        AddStartTimes(*child, at, scale, times);
    }
}

// Loads the show as the player does and draws each effect once at its start, so that everything
// it builds on its first draw is built too.
void CheckShow() {
    PrepareHeadlessD3D();
    const std::string mountFailure = MountData();
    if (!mountFailure.empty()) {
        VLOG("WinMain", "%s", mountFailure.c_str());
        return;
    }
    if (!InitialiseD3D()) {
        VLOG("WinMain", "INIT FAIL");
        return;
    }
    Audio_UseSilentOutput(true);
    {
        Effects::EffectsManager manager(false, "demo.xml");
        // The whole frame path once, the final pass included.
        manager.RunFrame(0.0);
        for (const auto& effect : manager.GetEffects()) {
            for (const double time : StartTimes(*effect)) effect->Update(time, &manager.GetRenderTargets());
        }
    }
    Audio_UseSilentOutput(false);
    ShutdownD3D();
}

}  // namespace

std::vector<double> StartTimes(const Effects::Effect& effect) {
    std::vector<double> times;
    AddStartTimes(effect, effect.GetStart(), 1.0, times);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return times;
}

int RunCheck(const CheckOptions& options) {
    g_problems.clear();
    // The report below is what the check prints; the log file still gets every line.
    SetLogToStandardError(false);
    SetLogListener(&Collect);
    CheckShow();
    SetLogListener(nullptr);
    SetLogToStandardError(true);

    if (!options.quiet) {
        for (const Problem& problem : g_problems) {
            std::printf("%s:%d: %s: ", problem.file.c_str(), problem.line, problem.function.c_str());
            // Continuation lines (a compiler's messages) are indented under their first line.
            std::string text = problem.text;
            for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 5)
                text.insert(at + 1, "    ");
            while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
            std::printf("%s\n", text.c_str());
        }
    }
    if (g_problems.empty()) {
        std::printf("demo.xml: OK, no problems\n");
        return 0;
    }
    std::printf("demo.xml: FAIL, %zu problem%s\n", g_problems.size(), g_problems.size() == 1 ? "" : "s");
    return 1;
}
