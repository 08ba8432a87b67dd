#include "graphics/bufferShadow.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "graphics/sharedGraphics.h"

BufferShadow::BufferShadow(uint32_t byteSize)
    : m_bytes(static_cast<uint8_t*>(std::calloc(std::max(byteSize, 1u), 1))), m_size(byteSize) {
    if (!m_bytes) throw std::bad_alloc();
}

void BufferShadow::Free::operator()(uint8_t* bytes) const {
    std::free(bytes);
}

bool BufferShadow::Update(const Gpu::BufferPtr& buffer, const void* data, uint32_t byteCount) {
    byteCount = std::min(byteCount, m_size);
    if (!buffer || !data || byteCount == 0) return false;
    if (byteCount <= m_validBytes && std::memcmp(m_bytes.get(), data, byteCount) == 0) return false;

    Gpu::MappedSubresource mapped;
    if (!g_graphics.context->Map(buffer, 0, Gpu::MapType::WRITE_DISCARD, 0, &mapped)) return false;
    std::memcpy(mapped.pData, data, byteCount);
    g_graphics.context->Unmap(buffer, 0);
    // memmove: an owner may hand back the shadow's own bytes.
    std::memmove(m_bytes.get(), data, byteCount);
    m_validBytes = byteCount;
    return true;
}
