#include "support/zipArchive.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace TestSupport {

std::string Zip(const std::vector<ZipEntry>& entries) {
    auto u16 = [](std::string& out, uint32_t v) { out += char(v & 0xFF), out += char(v >> 8 & 0xFF); };
    auto u32 = [&](std::string& out, uint32_t v) { u16(out, v & 0xFFFF), u16(out, v >> 16); };
    std::string archive, directory;
    for (const ZipEntry& entry : entries) {
        const uint32_t offset = static_cast<uint32_t>(archive.size());
        auto common = [&](std::string& out) {
            u16(out, 20), u16(out, 0), u16(out, 8), u16(out, 0), u16(out, 0x21);  // deflate, 1980-01-01
            u32(out, entry.crc), u32(out, static_cast<uint32_t>(entry.deflated.size())), u32(out, entry.size);
            u16(out, static_cast<uint32_t>(entry.name.size())), u16(out, 0);
        };
        u32(archive, 0x04034b50);
        common(archive);
        archive += entry.name + entry.deflated;
        u32(directory, 0x02014b50), u16(directory, 20);
        common(directory);
        u16(directory, 0), u16(directory, 0), u16(directory, 0), u32(directory, 0), u32(directory, offset);
        directory += entry.name;
    }
    const uint32_t directoryOffset = static_cast<uint32_t>(archive.size());
    archive += directory;
    u32(archive, 0x06054b50), u16(archive, 0), u16(archive, 0);
    u16(archive, static_cast<uint32_t>(entries.size())), u16(archive, static_cast<uint32_t>(entries.size()));
    u32(archive, static_cast<uint32_t>(directory.size())), u32(archive, directoryOffset), u16(archive, 0);
    return archive;
}

// A genuine deflate stream of `mebibytes` MiB of zeros, made without compressing them all: after a
// full flush the compressor starts afresh, so the stream of each further MiB is the same bytes.
ZipEntry ZeroBomb(const std::string& name, uint32_t mebibytes) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<unsigned char> zeros(1 << 20, 0), out(1 << 20);
    auto segment = [&](int flush, bool input) {
        stream.next_in = zeros.data();
        stream.avail_in = input ? static_cast<uInt>(zeros.size()) : 0;
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, flush);
        return std::string(reinterpret_cast<char*>(out.data()), out.size() - stream.avail_out);
    };
    const std::string first = segment(Z_FULL_FLUSH, true);
    EXPECT_EQ(segment(Z_FULL_FLUSH, true), first);
    std::string deflated;
    for (uint32_t i = 0; i < mebibytes; ++i) deflated += first;
    deflated += segment(Z_FINISH, false);
    deflateEnd(&stream);
    const uLong mebiCrc = crc32(0, zeros.data(), static_cast<uInt>(zeros.size()));
    uLong crc = 0;
    for (uint32_t i = 0; i < mebibytes; ++i)
        crc = crc32_combine(crc, mebiCrc, static_cast<z_off_t>(zeros.size()));
    return {name, deflated, static_cast<uint32_t>(crc), mebibytes << 20};
}

}  // namespace TestSupport
