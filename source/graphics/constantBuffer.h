// Per-draw shader constants in a dynamic GPU buffer that is written only when its bytes change;
// owners refill it from scratch every frame and rely on that.
#pragma once

#include <cstdint>

#include "graphics/bufferShadow.h"
#include "platform/gpu/gpu.h"

/// A dynamic constant buffer with a CPU copy of its last contents.
class ConstantBuffer {
public:
    /// A constant buffer of `byteSize` bytes (the shaders' packing gives multiples of 16).
    explicit ConstantBuffer(uint32_t byteSize);
    ConstantBuffer(const ConstantBuffer&) = delete;
    ConstantBuffer& operator=(const ConstantBuffer&) = delete;

    /// Uploads `byteSize` bytes from `data` unless they equal the last ones written.
    void Update(const void* data);

    /// The GPU buffer (null when it could not be created).
    const Gpu::BufferPtr& GetBuffer() const { return m_buffer; }
    uint32_t GetByteSize() const { return m_byteSize; }

private:
    Gpu::BufferPtr m_buffer;
    uint32_t m_byteSize;
    BufferShadow m_shadow;
};
