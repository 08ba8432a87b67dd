// Running a program from a benchmark: in a folder of its own, its output into a log file, with the
// dummy sound driver; what it returned, how long it took and its peak memory.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace BenchSupport {

struct RunOutcome {
    int code = -1;     ///< the exit code; -1 when it could not run or was killed
    double wall = 0;   ///< seconds
    long peakKiB = 0;  ///< its peak resident memory
};

/// Runs `program arguments...` (looked up on the PATH) in `folder` with its output in `log`.
inline RunOutcome RunIn(const std::filesystem::path& folder, const std::string& program,
                        const std::vector<std::string>& arguments,
                        const std::filesystem::path& log = "/dev/null") {
    RunOutcome outcome;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return outcome;
    if (pid == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || chdir(folder.c_str()) != 0) _exit(127);
        dup2(fd, 1);
        dup2(fd, 2);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return outcome;
    outcome.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.peakKiB = usage.ru_maxrss;
    return outcome;
}

}  // namespace BenchSupport
