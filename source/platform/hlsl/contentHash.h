// A 128-bit hash (XXH3-128) for keys of compiled shaders kept on disk. A key needs no protection
// against a forger, only against accidental collisions, which would hand one shader's code to another:
// 128 bits make those negligible, and the hash is much faster than a cryptographic one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct XXH3_state_s;

namespace Hlsl {

class ContentHash {
public:
    using Digest = std::array<uint8_t, 16>;

    ContentHash();
    ~ContentHash();
    ContentHash(const ContentHash&) = delete;
    ContentHash& operator=(const ContentHash&) = delete;

    /// Adds bytes to the message.
    void Update(const void* data, size_t size);
    /// Adds a string's bytes preceded by its length, so that two fields never run into each other.
    void UpdateField(std::string_view text);
    /// The digest of everything added so far.
    Digest Finish() const;

    /// The digest of one byte string.
    static Digest Of(std::string_view bytes);
    /// A digest as 32 lower-case hexadecimal digits.
    static std::string Hex(const Digest& digest);

private:
    struct StateDeleter {
        void operator()(XXH3_state_s* state) const;
    };
    std::unique_ptr<XXH3_state_s, StateDeleter> m_state;
};

}  // namespace Hlsl
