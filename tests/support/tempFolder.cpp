#include "support/tempFolder.h"

#include <physfs.h>

#include <fstream>
#include <random>
#include <sstream>

#include "system/log.h"

namespace TestSupport {

TempFolder::TempFolder() {
    std::random_device device;
    const auto base = std::filesystem::temp_directory_path();
    do {
        m_path = base / ("vantrisk-test-" + std::to_string(device()));
    } while (std::filesystem::exists(m_path));
    std::filesystem::create_directories(m_path);
}

TempFolder::~TempFolder() {
    std::error_code error;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, error);
    std::filesystem::remove_all(m_path, error);
}

std::filesystem::path TempFolder::Write(const std::string& relative, const std::string& contents) const {
    const auto path = m_path / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    return path;
}

MountedData::MountedData(const std::filesystem::path& root, bool writable) {
    if (PHYSFS_isInit()) PHYSFS_deinit();
    LogReset();
    PHYSFS_init(nullptr);
    PHYSFS_mount(root.c_str(), nullptr, 1);
    if (writable) PHYSFS_setWriteDir(root.c_str());
}

MountedData::~MountedData() {
    LogReset();
    PHYSFS_deinit();
}

std::string ReadHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace TestSupport
