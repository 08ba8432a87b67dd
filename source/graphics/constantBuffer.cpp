#include "graphics/constantBuffer.h"

#include "graphics/sharedGraphics.h"

ConstantBuffer::ConstantBuffer(uint32_t byteSize) : m_byteSize(byteSize), m_shadow(byteSize) {
    Gpu::BufferDesc desc;
    // The device takes constant buffers in whole 16-byte registers only; the tail past byteSize is
    // never written or compared.
    desc.ByteWidth = (byteSize + 15u) & ~15u;
    desc.Usage = Gpu::Usage::DYNAMIC;
    desc.BindFlags = Gpu::BIND_CONSTANT_BUFFER;
    desc.CPUAccessFlags = Gpu::CPU_ACCESS_WRITE;
    desc.MiscFlags = 0;
    m_buffer = g_graphics.device->CreateBuffer(desc);
}

void ConstantBuffer::Update(const void* data) {
    m_shadow.Update(m_buffer, data, m_byteSize);
}
