// Running programs from tests: the built player, a virtual X server, xdotool and ffprobe.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace TestSupport {

/// A child process started with an argument vector (never a shell), its output sent to a file.
class Process {
public:
    /// Starts `arguments[0]` (searched on PATH) in `folder` with `environment` added to ours.
    Process(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
            const std::vector<std::string>& environment = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    /// Waits for the exit; the exit code, or nothing when it did not end in time (then it is killed).
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    /// True while the process runs.
    bool Running();
    /// What the process wrote to standard output and standard error so far.
    std::string Output() const;
    int Pid() const { return m_pid; }

private:
    int m_pid = -1;
    std::optional<int> m_exitCode;
    std::filesystem::path m_outputFile;
};

/// Runs a command to its end and returns its exit code (-1 when it did not end in `timeout`).
int RunCommand(const std::vector<std::string>& arguments, std::string* output = nullptr,
               const std::filesystem::path& folder = ".", const std::vector<std::string>& environment = {},
               std::chrono::milliseconds timeout = std::chrono::seconds(60));

/// A virtual X server of its own for one test, optionally with a window manager.
class VirtualDisplay {
public:
    explicit VirtualDisplay(int width = 1280, int height = 1024, bool windowManager = false);
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    /// True when the server is up.
    bool Ready() const { return !m_display.empty(); }
    /// "DISPLAY=:N", to pass to a child's environment.
    std::string Environment() const { return "DISPLAY=" + m_display; }
    /// Runs xdotool with these arguments on this display; its output.
    std::string XDoTool(const std::vector<std::string>& arguments) const;
    /// Waits until a window with this exact name is mapped; its id ("" on time-out).
    std::string WaitForWindow(const std::string& name, std::chrono::milliseconds timeout) const;
    /// Position and size of a window on the screen; false when it cannot be told.
    bool GetGeometry(const std::string& id, int& x, int& y, int& width, int& height) const;

private:
    std::string m_display;
    std::unique_ptr<Process> m_server;
    std::unique_ptr<Process> m_windowManager;
    std::filesystem::path m_folder;
};

/// Waits until `predicate` is true or the time is up; returns the predicate's last value.
template <typename Predicate>
bool WaitUntil(Predicate predicate, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > end) return predicate();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace TestSupport
