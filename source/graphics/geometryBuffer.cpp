#include "graphics/geometryBuffer.h"

#include "graphics/sharedGraphics.h"
#include "system/log.h"

GeometryBuffer::GeometryBuffer(uint32_t bindFlags, uint32_t byteSize)
    : m_bindFlags(bindFlags), m_byteSize(byteSize), m_shadow(byteSize) {
    Gpu::BufferDesc desc;
    desc.ByteWidth = byteSize;
    desc.Usage = Gpu::Usage::DYNAMIC;
    desc.BindFlags = bindFlags;
    desc.CPUAccessFlags = Gpu::CPU_ACCESS_WRITE;
    desc.MiscFlags = 0;
    m_buffer = g_graphics.device->CreateBuffer(desc);
}

void GeometryBuffer::Update(const void* data, uint32_t byteCount) {
    if (byteCount > m_byteSize) {
        if (!m_reportedOverflow) {
            VLOG("GeometryBuffer::Update",
                 "Update of %u bytes exceeds the buffer's %u bytes; only those are written", byteCount,
                 m_byteSize);
            m_reportedOverflow = true;
        }
        byteCount = m_byteSize;
    }
    m_shadow.Update(m_buffer, data, byteCount);
}
