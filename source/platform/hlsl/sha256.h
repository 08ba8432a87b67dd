// SHA-256, for keys of compiled shaders kept on disk: a key must not collide by accident, since a
// collision would hand one shader's code to another.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Hlsl {

class Sha256 {
public:
    using Digest = std::array<uint8_t, 32>;

    /// Adds bytes to the message.
    void Update(const void* data, size_t size);
    /// Adds a string's bytes preceded by its length, so that two fields never run into each other.
    void UpdateField(std::string_view text);
    /// The digest of everything added; the object is spent afterwards.
    Digest Finish();

    /// The digest of one byte string.
    static Digest Of(std::string_view bytes);
    /// A digest as 64 lower-case hexadecimal digits.
    static std::string Hex(const Digest& digest);

private:
    void Block(const uint8_t* block);

    uint32_t m_state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    uint8_t m_buffer[64] = {};
    size_t m_buffered = 0;
    uint64_t m_length = 0;
};

}  // namespace Hlsl
