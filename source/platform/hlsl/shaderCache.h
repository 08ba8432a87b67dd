// Compiled shaders kept on disk between runs, one file per key in a folder of the write directory.
// A file records which include files the compile read and what each held, so that the caller can
// tell whether the same sources would be compiled today. Files are written whole under another
// name and then renamed, so a reader never sees half an entry; a damaged or foreign file reads as
// no entry and is replaced by the next store.
#pragma once

#include <string>
#include <vector>

#include "platform/hlsl/sha256.h"
#include "platform/hlsl/shaderCode.h"

namespace Hlsl {

/// One include directive's answer as the compile saw it.
struct IncludeRecord {
    std::string requested;
    std::string includer;
    bool found = false;
    Sha256::Digest contents{};  ///< digest of the file's bytes (zero when not found)

    bool operator==(const IncludeRecord&) const = default;
};

class ShaderCache {
public:
    /// Keeps entries in `folder` on the host (created on the first store); an empty folder keeps none.
    explicit ShaderCache(std::string folder);

    /// The entry of `key`: the includes its compile read and its code; false when there is none or
    /// the file is damaged.
    bool Load(const Sha256::Digest& key, std::vector<IncludeRecord>& includes, ShaderCode& code) const;
    /// Writes the entry of `key`, replacing any earlier one; false when it cannot be written.
    bool Store(const Sha256::Digest& key, const std::vector<IncludeRecord>& includes,
               const ShaderCode& code) const;
    /// The file that holds `key`'s entry.
    std::string PathOf(const Sha256::Digest& key) const;

private:
    std::string m_folder;
};

}  // namespace Hlsl
