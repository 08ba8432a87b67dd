#include "graphics/bufferShadow.h"

#include <algorithm>
#include <cstring>

#include "graphics/sharedGraphics.h"

BufferShadow::BufferShadow(uint32_t byteSize)
    : m_bytes(std::make_unique<uint8_t[]>(byteSize)), m_size(byteSize) {}

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
