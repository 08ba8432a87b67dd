// Zip archives made byte by byte, for tests of what the file system makes of entries that inflate
// far beyond their stored size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace TestSupport {

/// One entry: its name, raw deflate stream, CRC-32 and inflated size.
struct ZipEntry {
    std::string name;
    std::string deflated;
    uint32_t crc;
    uint32_t size;
};

/// A zip archive of `entries`, as the bytes of its file.
std::string Zip(const std::vector<ZipEntry>& entries);

/// An entry of `mebibytes` MiB of zeros whose stored stream is small (about 1 KiB per MiB).
ZipEntry ZeroBomb(const std::string& name, uint32_t mebibytes);

}  // namespace TestSupport
