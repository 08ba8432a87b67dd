#include "platform/hlsl/contentHash.h"

#include <xxhash.h>

#include <cassert>
#include <cstring>
#include <tuple>

namespace Hlsl {
namespace {

ContentHash::Digest Canonical(XXH128_hash_t hash) {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, hash);
    ContentHash::Digest digest;
    static_assert(sizeof canonical.digest == std::tuple_size_v<ContentHash::Digest>);
    std::memcpy(digest.data(), canonical.digest, digest.size());
    return digest;
}

}  // namespace

void ContentHash::StateDeleter::operator()(XXH3_state_s* state) const {
    XXH3_freeState(state);
}

ContentHash::ContentHash() : m_state(XXH3_createState()) {
    assert(m_state);
    XXH3_128bits_reset(m_state.get());
}

ContentHash::~ContentHash() = default;

void ContentHash::Update(const void* data, size_t size) {
    XXH3_128bits_update(m_state.get(), data, size);
}

void ContentHash::UpdateField(std::string_view text) {
    uint8_t length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(uint64_t(text.size()) >> (8 * i));
    Update(length, sizeof length);
    Update(text.data(), text.size());
}

ContentHash::Digest ContentHash::Finish() const {
    return Canonical(XXH3_128bits_digest(m_state.get()));
}

ContentHash::Digest ContentHash::Of(std::string_view bytes) {
    return Canonical(XXH3_128bits(bytes.data(), bytes.size()));
}

std::string ContentHash::Hex(const Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

}  // namespace Hlsl
