#include "system/fileWatcher.h"

#include <physfs.h>
#include <sys/stat.h>

#include <climits>
#include <map>

#include "system/log.h"

namespace {

// A file that PhysicsFS resolves to a host folder is stat'ed directly: PhysicsFS only reports
// whole seconds, and two saves within one second would otherwise look like one.
bool HostModificationTime(const std::string& fileName, int64_t& time) {
    const char* realDir = PHYSFS_getRealDir(fileName.c_str());
    if (!realDir) return false;
    struct stat dirInfo {};
    if (stat(realDir, &dirInfo) != 0 || !S_ISDIR(dirInfo.st_mode)) return false;

    // The virtual name starts with the folder's mount point, which is not part of the host path.
    std::string relative = fileName;
    const char* mountPoint = PHYSFS_getMountPoint(realDir);
    std::string prefix = mountPoint ? mountPoint : "/";
    while (!prefix.empty() && prefix.front() == '/') prefix.erase(0, 1);
    while (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
    if (!prefix.empty()) {
        if (relative.compare(0, prefix.size(), prefix) != 0) return false;
        relative.erase(0, prefix.size());
    }
    struct stat fileInfo {};
    if (stat((std::string(realDir) + "/" + relative).c_str(), &fileInfo) != 0 || S_ISDIR(fileInfo.st_mode)) {
        time = -1;
        return true;
    }
    time = static_cast<int64_t>(fileInfo.st_mtim.tv_sec) * 1000000000 + fileInfo.st_mtim.tv_nsec;
    return true;
}

std::map<std::string, int64_t>& ChangeRegistry() {
    static std::map<std::string, int64_t> registry;
    return registry;
}

}  // namespace

int64_t GetFileModificationTime(const std::string& fileName) {
    if (!PHYSFS_isInit()) return -1;
    int64_t time = -1;
    if (HostModificationTime(fileName, time)) return time;
    // A folder is no file: the empty name (the root) or a folder would otherwise report every file
    // written into it, such as the shader cache beside the data.
    PHYSFS_Stat info{};
    if (!PHYSFS_stat(fileName.c_str(), &info) || info.filetype == PHYSFS_FILETYPE_DIRECTORY) return -1;
    return info.modtime;
}

FileWatcher::FileWatcher(std::string fileName)
    : m_fileName(std::move(fileName)), m_modificationTime(GetFileModificationTime(m_fileName)) {}

bool FileWatcher::GetHasChanged() {
    const int64_t time = GetFileModificationTime(m_fileName);
    if (time == m_modificationTime) return false;
    VLOG("FileWatcher::GetHasChanged", "FileWatcher has noticed that '%s' has changed", m_fileName.c_str());
    m_modificationTime = time;
    m_contents.reset();
    return true;
}

const FileData* FileWatcher::GetData() {
    if (m_contents) return m_contents.get();
    auto contents = std::make_unique<FileData>();
    if (ReadDataFile(m_fileName, *contents, "FileWatcher::GetData") == DataFileRead::Missing)
        VLOG("FileWatcher::GetData", "File '%s' could not be opened", m_fileName.c_str());
    m_contents = std::move(contents);
    return m_contents.get();
}

bool HasFileChanged(const std::string& fileName) {
    auto& registry = ChangeRegistry();
    const int64_t time = GetFileModificationTime(fileName);
    const auto [entry, inserted] = registry.try_emplace(fileName, time);
    if (inserted || entry->second == time) return false;
    VLOG("HasFileChanged", "Filewatcher has noticed that '%s' has changed", fileName.c_str());
    entry->second = time;
    return true;
}
