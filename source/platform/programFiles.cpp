#include "platform/programFiles.h"

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <system_error>

namespace Platform {
namespace {

constexpr char kCompiler[] = "vantrisk-shaderc";
constexpr char kInstalledCompiler[] = "../libexec/vantrisk/vantrisk-shaderc";

bool IsExecutable(const std::string& path) {
    return access(path.c_str(), X_OK) == 0 && !std::filesystem::is_directory(path);
}

// The folder made if need be, when it can be written; "" otherwise.
std::string WritableFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder, error)) return "";
    return access(folder.c_str(), W_OK | X_OK) == 0 ? folder.string() : "";
}

}  // namespace

std::string ProgramFolder() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return "";
    const std::string path(self, static_cast<size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}

std::string FindCompilerProcess(const std::string& programFolder) {
    if (programFolder.empty()) return "";
    // Beside the program first: a build folder keeps working as it always has, even when it also
    // holds an installed tree's folders.
    const std::string beside = programFolder + kCompiler;
    if (IsExecutable(beside)) return beside;
    const std::string installed = programFolder + kInstalledCompiler;
    return IsExecutable(installed) ? installed : "";
}

bool IsInstalledTree(const std::string& programFolder) {
    const std::string found = FindCompilerProcess(programFolder);
    return !found.empty() && found != programFolder + kCompiler;
}

std::string UserCacheFolder(const char* xdgCacheHome, const char* home) {
    // A relative XDG_CACHE_HOME is invalid and ignored, as the base-directory convention says.
    if (xdgCacheHome && xdgCacheHome[0] == '/') {
        const std::string folder = WritableFolder(std::filesystem::path(xdgCacheHome) / "vantrisk");
        if (!folder.empty()) return folder;
    }
    if (home && home[0] == '/') return WritableFolder(std::filesystem::path(home) / ".cache" / "vantrisk");
    return "";
}

}  // namespace Platform
