// The working folder a benchmark runs the built program in: a fresh temporary folder whose data/ is
// the repository's, removed with everything written into it at the end.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace BenchSupport {

class ShowFolder {
public:
    /// Made under /tmp with `prefix` in its name; Path() is empty when it could not be made.
    explicit ShowFolder(const std::string& prefix = "vantrisk-bench") {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (!mkdtemp(pattern.data())) return;
        m_path = pattern;
        std::error_code error;
        std::filesystem::create_directory_symlink(std::filesystem::path(VANTRISK_SOURCE_DIR) / "data",
                                                  m_path / "data", error);
        if (error) {
            std::filesystem::remove_all(m_path, error);
            m_path.clear();
        }
    }
    ~ShowFolder() {
        std::error_code error;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, error);
    }
    ShowFolder(const ShowFolder&) = delete;
    ShowFolder& operator=(const ShowFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace BenchSupport
