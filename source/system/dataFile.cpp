#include "system/dataFile.h"

#include <physfs.h>

#include <algorithm>

#include "system/log.h"

DataFileRead ReadDataFile(const std::string& fileName, FileData& contents, const char* function,
                          int64_t limit) {
    contents = FileData{};
    PHYSFS_File* file = PHYSFS_isInit() ? PHYSFS_openRead(fileName.c_str()) : nullptr;
    if (!file) return DataFileRead::Missing;
    limit = std::min<int64_t>(limit, kMaxFileReadBytes);
    const PHYSFS_sint64 length = PHYSFS_fileLength(file);
    DataFileRead result = DataFileRead::Read;
    if (length > limit) {
        if (function) {
            VLOG(function, "File '%s' is %lld bytes, more than the %lld MiB one read may take",
                 fileName.c_str(), static_cast<long long>(length), static_cast<long long>(limit >> 20));
        }
        result = DataFileRead::Refused;
    } else if (length < 0) {
        if (function) {
            VLOG(function, "File '%s' could not be read", fileName.c_str());
        }
        result = DataFileRead::Refused;
    } else {
        contents.data = std::make_unique<char[]>(static_cast<size_t>(length));
        // A short read (a file truncated while we read it) keeps only the bytes that arrived.
        const PHYSFS_sint64 read = PHYSFS_readBytes(file, contents.data.get(), length);
        contents.size = static_cast<int32_t>(read > 0 ? read : 0);
    }
    PHYSFS_close(file);
    return result;
}
