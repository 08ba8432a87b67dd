// Checking a show before it is played: load it headless as the player would (mounts, script, music,
// every effect), build the shader entries its effects name, render each effect once, and report
// every problem the log got. Authors and their CI run it to find broken files.
#pragma once

#include <vector>

namespace Effects {
class Effect;
}

struct CheckOptions {
    bool quiet = false;  ///< print only the verdict
};

/// Checks the show of "demo.xml" in the current folder and prints the problems and the verdict on
/// standard output; the exit code: 0 for a clean show, 1 otherwise.
int RunCheck(const CheckOptions& options);

/// The times, on the clock of the effect's parent, at which `effect` and each effect below it start,
/// sorted and without repeats; a start that can never come (not finite) is left out.
std::vector<double> StartTimes(const Effects::Effect& effect);
