// The one way the show reads a whole data file from the virtual file system: bounded, so that no
// file (an archive entry that inflates to gigabytes, say) can take more memory than one read may.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

/// The most bytes one read of a whole file takes in. The length is known before the read (for an
/// archive entry, the size it inflates to), so a larger file costs nothing.
constexpr int64_t kMaxFileReadBytes = int64_t(512) << 20;

/// The whole contents of a file as read; not zero-terminated.
struct FileData {
    std::unique_ptr<char[]> data;
    /// Number of bytes in `data` (0 for a file that could not be opened).
    int32_t size = 0;
};

enum class DataFileRead {
    Read,
    /// No such file (or no file system mounted); the caller says what that means to it.
    Missing,
    /// Larger than the bound, or unreadable; logged by the reader.
    Refused,
};

/// Reads the whole of `fileName` into `contents`. A file larger than `limit` bytes is refused before
/// a byte of it is read; refusals are logged under `function` (not at all when it is null: a reader
/// ahead of need, whose caller reads again when it needs the file), a missing file is left to the caller.
DataFileRead ReadDataFile(const std::string& fileName, FileData& contents, const char* function,
                          int64_t limit = kMaxFileReadBytes);
