#include "platform/hlsl/shaderCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>
#include <vector>

#include "platform/hlsl/wireFormat.h"

namespace Hlsl {
namespace {

constexpr char kMagic[] = "VTSHADER";
constexpr uint32_t kFormat = 3;
constexpr size_t kDigestBytes = std::tuple_size_v<ContentHash::Digest>;
// Entries are small (GLSL text and a few tables); anything larger is not one of ours.
constexpr std::streamoff kMaxEntryBytes = std::streamoff(4) << 20;

std::string_view DigestBytes(const ContentHash::Digest& digest) {
    return {reinterpret_cast<const char*>(digest.data()), digest.size()};
}

}  // namespace

ShaderCache::ShaderCache(std::string folder, uint64_t maxBytes)
    : m_folder(std::move(folder)), m_maxBytes(maxBytes) {}

std::string ShaderCache::PathOf(const ContentHash::Digest& key) const {
    return m_folder + "/" + ContentHash::Hex(key) + ".bin";
}

bool ShaderCache::Load(const ContentHash::Digest& key, std::vector<IncludeRecord>& includes,
                       ShaderCode& code) const {
    if (m_folder.empty()) return false;
    std::ifstream file(PathOf(key), std::ios::binary);
    if (!file) return false;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size <= std::streamoff(kDigestBytes) || size > kMaxEntryBytes) return false;
    file.seekg(0);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!file.read(bytes.data(), size)) return false;

    // The digest at the end covers everything before it: a file cut short or altered reads as absent.
    const std::string_view body(bytes.data(), bytes.size() - kDigestBytes);
    if (DigestBytes(ContentHash::Of(body)) != std::string_view(bytes).substr(bytes.size() - kDigestBytes))
        return false;
    Wire::Reader in(body);
    if (in.Raw(8) != std::string_view(kMagic, 8) || in.U32() != kFormat ||
        in.Raw(kDigestBytes) != DigestBytes(key))
        return false;
    includes.resize(in.Count(9 + kDigestBytes));
    for (IncludeRecord& include : includes) {
        include.requested = in.String();
        include.includer = in.String();
        include.found = in.U8() != 0;
        const std::string_view digest = in.Raw(kDigestBytes);
        if (digest.size() == kDigestBytes) std::copy(digest.begin(), digest.end(), include.contents.begin());
    }
    if (!Wire::ReadShaderCode(in, code) || !in.AtEnd()) return false;
    // A use: the entry's time moves on, so that trimming takes the entries unused longest.
    utimensat(AT_FDCWD, PathOf(key).c_str(), nullptr, 0);
    return true;
}

bool ShaderCache::Store(const ContentHash::Digest& key, const std::vector<IncludeRecord>& includes,
                        const ShaderCode& code) const {
    if (m_folder.empty()) return false;
    mkdir(m_folder.c_str(), 0777);
    Wire::Writer out;
    out.Raw(std::string_view(kMagic, 8));
    out.U32(kFormat);
    out.Raw(DigestBytes(key));
    out.U32(static_cast<uint32_t>(includes.size()));
    for (const IncludeRecord& include : includes) {
        out.String(include.requested);
        out.String(include.includer);
        out.U8(include.found ? 1 : 0);
        out.Raw(DigestBytes(include.contents));
    }
    Wire::WriteShaderCode(out, code);
    out.Raw(DigestBytes(ContentHash::Of(out.Bytes())));

    // Another run of the show may store the same entry at the same moment: each writes its own file.
    const std::string path = PathOf(key);
    const std::string temporary = path + "." + std::to_string(getpid()) + ".part";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file.write(out.Bytes().data(), static_cast<std::streamsize>(out.Bytes().size())) ||
            !file.flush()) {
            file.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    Trim();
    return true;
}

void ShaderCache::Trim() const {
    TrimCacheFolder(m_folder, ".bin", m_maxBytes);
}

void TrimCacheFolder(const std::string& folder, const std::string& extension, uint64_t maxBytes) {
    struct Entry {
        std::filesystem::file_time_type used;
        uint64_t bytes;
        std::filesystem::path path;
    };
    std::vector<Entry> entries;
    uint64_t total = 0;
    std::error_code error;
    for (const auto& file : std::filesystem::directory_iterator(folder, error)) {
        if (file.path().extension() != extension) continue;
        std::error_code fileError;
        const uint64_t bytes = file.file_size(fileError);
        const auto used = file.last_write_time(fileError);
        if (fileError) continue;
        entries.push_back({used, bytes, file.path()});
        total += bytes;
    }
    if (total <= maxBytes) return;
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.used < b.used; });
    for (const Entry& entry : entries) {
        if (total <= maxBytes / 4 * 3) break;
        std::error_code removeError;
        if (std::filesystem::remove(entry.path, removeError)) total -= entry.bytes;
    }
}

}  // namespace Hlsl
