// Compiled shaders kept on disk between runs, one file per key in a folder of the write directory.
// A file records which include files the compile read and what each held, so that the caller can
// tell whether the same sources would be compiled today. Files are written whole under another
// name and then renamed, so a reader never sees half an entry; a damaged or foreign file reads as
// no entry and is replaced by the next store. The folder is bounded: a store that takes it past its
// size removes the entries used longest ago (a load counts as a use).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/hlsl/contentHash.h"
#include "platform/hlsl/shaderCode.h"

namespace Hlsl {

/// One include directive's answer as the compile saw it.
struct IncludeRecord {
    std::string requested;
    std::string includer;
    bool found = false;
    ContentHash::Digest contents{};  ///< digest of the file's bytes (zero when not found)

    bool operator==(const IncludeRecord&) const = default;
};

/// Bounds a cache folder: when its files ending in `extension` hold more than `maxBytes`, those
/// written (or, for a cache that touches what it reads, used) longest ago go until three quarters of
/// the bound remain, so that the next stores do not each trim again.
void TrimCacheFolder(const std::string& folder, const std::string& extension, uint64_t maxBytes);

class ShaderCache {
public:
    /// Every edit of a shader that compiles adds an entry; a long session of editing stays within this.
    static constexpr uint64_t kDefaultMaxBytes = uint64_t(64) << 20;

    /// Keeps entries in `folder` on the host (created on the first store), at most `maxBytes` of
    /// them; an empty folder keeps none.
    explicit ShaderCache(std::string folder, uint64_t maxBytes = kDefaultMaxBytes);

    /// The entry of `key`: the includes its compile read and its code; false when there is none or
    /// the file is damaged.
    bool Load(const ContentHash::Digest& key, std::vector<IncludeRecord>& includes, ShaderCode& code) const;
    /// Writes the entry of `key`, replacing any earlier one; false when it cannot be written.
    bool Store(const ContentHash::Digest& key, const std::vector<IncludeRecord>& includes,
               const ShaderCode& code) const;
    /// The file that holds `key`'s entry.
    std::string PathOf(const ContentHash::Digest& key) const;

private:
    /// Removes the entries used longest ago until the folder holds three quarters of its bound.
    void Trim() const;

    std::string m_folder;
    uint64_t m_maxBytes;
};

}  // namespace Hlsl
