#include "graphics/structuredBuffer.h"

#include "graphics/sharedGraphics.h"
#include "system/log.h"

StructuredBufferBase::StructuredBufferBase(uint32_t stride, uint32_t capacity)
    : m_stride(stride), m_capacity(capacity), m_shadow(stride * capacity) {
    Gpu::BufferDesc desc;
    desc.ByteWidth = stride * capacity;
    desc.Usage = Gpu::Usage::DYNAMIC;
    desc.BindFlags = Gpu::BIND_SHADER_RESOURCE;
    desc.CPUAccessFlags = Gpu::CPU_ACCESS_WRITE;
    desc.MiscFlags = Gpu::RESOURCE_MISC_BUFFER_STRUCTURED;
    desc.StructureByteStride = stride;
    m_buffer = g_graphics.device->CreateBuffer(desc);
    if (!m_buffer) return;

    Gpu::ShaderResourceViewDesc viewDesc;
    viewDesc.Format = Gpu::Format::UNKNOWN;
    viewDesc.ViewDimension = Gpu::SrvDimension::BUFFER;
    viewDesc.Buffer.FirstElement = 0;
    viewDesc.Buffer.NumElements = capacity;
    m_view = g_graphics.device->CreateShaderResourceView(m_buffer, &viewDesc);
}

void StructuredBufferBase::UpdateElements(const void* elements, uint32_t count) {
    if (count > m_capacity) {
        // Owners keep to their limits; a slip must not write past the end of the buffer or shadow.
        if (!m_reportedOverflow) {
            VLOG("StructuredBuffer::Update",
                 "Update of %u elements exceeds the structured buffer's capacity of %u; only those are "
                 "written",
                 count, m_capacity);
            m_reportedOverflow = true;
        }
        count = m_capacity;
    }
    m_shadow.Update(m_buffer, elements, count * m_stride);
    m_count = count;
}
