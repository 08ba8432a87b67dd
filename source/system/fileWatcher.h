// Hot reload by polling: a watcher per file that reports changes of its modification time and caches
// the file's contents, and a registry form for callers that keep no watcher object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "system/dataFile.h"

/// Watches one file of the virtual file system and serves its contents until it changes.
class FileWatcher {
public:
    /// Starts watching `fileName` from its current state, so the first question reports no change.
    explicit FileWatcher(std::string fileName);

    /// True once for each change of the file's modification time (deletion and restoration included).
    bool GetHasChanged();
    /// The file's contents (never null), read on the first call and again after each change; the
    /// pointer stays valid until the next change noticed by GetHasChanged. A file larger than
    /// kMaxFileReadBytes reads as empty, with a message.
    const FileData* GetData();
    /// The watched path.
    std::string GetFileName() const { return m_fileName; }

private:
    std::string m_fileName;
    int64_t m_modificationTime;
    std::unique_ptr<FileData> m_contents;
};

/// True on the first call after `fileName` changed; the first call for a name only registers it.
bool HasFileChanged(const std::string& fileName);

/// Modification time of a file of the virtual file system, -1 when missing or a folder. Loose files report
/// nanoseconds of the host file system, files inside an archive whole seconds.
int64_t GetFileModificationTime(const std::string& fileName);
