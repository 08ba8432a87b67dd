// The byte form of compile requests, answers and compiled shaders, shared by the pipe to the compiler
// process and the shader cache on disk: little-endian integers and length-prefixed strings. Reading
// is bounds-checked throughout, since the bytes come from another process or from a file that may be
// damaged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/hlsl/shaderCode.h"

namespace Hlsl::Wire {

/// Appends values to a byte string.
class Writer {
public:
    /// Appends one byte.
    void U8(uint8_t value) { m_bytes.push_back(static_cast<char>(value)); }
    /// Appends a 32-bit integer, little-endian.
    void U32(uint32_t value);
    /// Appends a string as its 32-bit length and its bytes.
    void String(std::string_view text);
    /// Appends bytes as they are, without a length.
    void Raw(std::string_view bytes) { m_bytes.append(bytes); }
    /// Everything written so far.
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

/// Reads values back; any read past the end, or a count larger than the bytes left could hold,
/// marks the reader failed and yields zeros and empty strings from then on.
class Reader {
public:
    /// Reads `bytes`, which must outlive the reader.
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    /// The next byte.
    uint8_t U8();
    /// The next 32-bit integer.
    uint32_t U32();
    /// The next length-prefixed string.
    std::string String();
    /// A count of items each at least `minBytes` long; fails when the rest cannot hold that many.
    uint32_t Count(size_t minBytes);
    /// The next `size` bytes (empty and failed when fewer are left).
    std::string_view Raw(size_t size);
    /// False once any read failed.
    bool Ok() const { return m_ok; }
    /// True when every byte has been read.
    bool AtEnd() const { return m_at == m_bytes.size(); }

private:
    bool Take(size_t size);
    std::string_view m_bytes;
    size_t m_at = 0;
    bool m_ok = true;
};

/// Writes every field of a compiled shader.
void WriteShaderCode(Writer& out, const ShaderCode& code);
/// Reads what WriteShaderCode wrote; false (with `code` unspecified) for bytes it did not write.
bool ReadShaderCode(Reader& in, ShaderCode& code);

}  // namespace Hlsl::Wire
