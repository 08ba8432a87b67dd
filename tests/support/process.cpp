#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <random>
#include <sstream>

#include "support/tempFolder.h"

extern char** environ;

namespace TestSupport {

namespace {
// How long the X server and its small tools may take: generous, since a tool that answers at all
// answers in milliseconds, and a loaded machine or a sanitizer build may hold it back for seconds.
constexpr std::chrono::seconds kToolTimeout(60);

std::filesystem::path TempOutputFile() {
    std::random_device device;
    return std::filesystem::temp_directory_path() / ("vantrisk-output-" + std::to_string(device()));
}
}  // namespace

Process::Process(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                 const std::vector<std::string>& environment)
    : m_outputFile(TempOutputFile()) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    for (const auto& extra : environment) {
        const auto name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(env, [&](const std::string& v) { return v.rfind(name, 0) == 0; });
        env.push_back(extra);
    }
    std::vector<char*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, m_outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

Process::~Process() {
    if (Running()) {
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    std::error_code error;
    std::filesystem::remove(m_outputFile, error);
}

bool Process::Running() {
    if (m_pid <= 0 || m_exitCode) return false;
    int status = 0;
    const pid_t result = waitpid(m_pid, &status, WNOHANG);
    if (result == m_pid) {
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return result == 0;
}

std::optional<int> Process::Wait(std::chrono::milliseconds timeout) {
    if (m_pid <= 0) return std::nullopt;
    WaitUntil([&] { return !Running(); }, timeout);
    if (Running()) {
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_exitCode = std::nullopt;
        m_pid = -1;
        return std::nullopt;
    }
    return m_exitCode;
}

std::string Process::Output() const {
    return ReadHostFile(m_outputFile);
}

int RunCommand(const std::vector<std::string>& arguments, std::string* output,
               const std::filesystem::path& folder, const std::vector<std::string>& environment,
               std::chrono::milliseconds timeout) {
    Process process(arguments, folder, environment);
    const auto code = process.Wait(timeout);
    if (output) *output = process.Output();
    return code ? *code : -1;
}

VirtualDisplay::VirtualDisplay(int width, int height, bool windowManager) {
    m_folder = std::filesystem::temp_directory_path();
    // Xvfb picks a free display number itself and writes it to the descriptor we give it.
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    m_server = std::make_unique<Process>(
        std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                                 "-nolisten", "tcp", "-noreset"},
        m_folder);
    close(fds[1]);
    std::string number;
    char c = 0;
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    const auto end = std::chrono::steady_clock::now() + kToolTimeout;
    while (std::chrono::steady_clock::now() < end) {
        const ssize_t n = read(fds[0], &c, 1);
        if (n == 1) {
            if (c == '\n') break;
            number += c;
        } else if (n == 0) {
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    close(fds[0]);
    if (number.empty()) return;
    m_display = ":" + number;
    if (windowManager) {
        m_windowManager = std::make_unique<Process>(std::vector<std::string>{"openbox"}, m_folder,
                                                    std::vector<std::string>{Environment()});
        // A window manager announces itself on the root window once it manages windows.
        WaitUntil(
            [&] {
                std::string property;
                RunCommand({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, &property, m_folder,
                           {Environment()}, kToolTimeout);
                return property.find("window id") != std::string::npos;
            },
            kToolTimeout);
    }
}

VirtualDisplay::~VirtualDisplay() {
    m_windowManager.reset();
    m_server.reset();
}

std::string VirtualDisplay::XDoTool(const std::vector<std::string>& arguments) const {
    std::vector<std::string> command{"xdotool"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::string output;
    RunCommand(command, &output, m_folder, {Environment()}, kToolTimeout);
    return output;
}

std::string VirtualDisplay::WaitForWindow(const std::string& name, std::chrono::milliseconds timeout) const {
    // The window tree lists every named window, whichever way its name was set.
    std::string id;
    const std::string quoted = "\"" + name + "\":";
    WaitUntil(
        [&] {
            std::string tree;
            RunCommand({"xwininfo", "-root", "-tree"}, &tree, m_folder, {Environment()}, kToolTimeout);
            std::istringstream lines(tree);
            for (std::string line; std::getline(lines, line);) {
                const size_t at = line.find(quoted);
                if (at == std::string::npos) continue;
                std::istringstream words(line);
                std::string hex;
                words >> hex;
                if (hex.rfind("0x", 0) != 0) continue;
                id = std::to_string(std::stoul(hex, nullptr, 16));
                return true;
            }
            return false;
        },
        timeout);
    return id;
}

bool VirtualDisplay::GetGeometry(const std::string& id, int& x, int& y, int& width, int& height) const {
    std::string info;
    RunCommand({"xwininfo", "-id", id}, &info, m_folder, {Environment()}, kToolTimeout);
    auto value = [&](const char* label) {
        const size_t at = info.find(label);
        return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + std::strlen(label));
    };
    x = value("Absolute upper-left X:");
    y = value("Absolute upper-left Y:");
    width = value("Width:");
    height = value("Height:");
    return x >= 0 && y >= 0 && width > 0 && height > 0;
}

}  // namespace TestSupport
