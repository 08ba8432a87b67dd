// Vertex and index data in a dynamic GPU buffer that is written only when its bytes change.
#pragma once

#include <cstdint>

#include "graphics/bufferShadow.h"
#include "platform/gpu/gpu.h"

/// A dynamic vertex or index buffer (16-bit indices) with a CPU copy of its last contents.
class GeometryBuffer {
public:
    /// A dynamic, CPU-writable buffer of `byteSize` bytes bound as `bindFlags` (vertex or index).
    GeometryBuffer(uint32_t bindFlags, uint32_t byteSize);
    virtual ~GeometryBuffer() = default;
    GeometryBuffer(const GeometryBuffer&) = delete;
    GeometryBuffer& operator=(const GeometryBuffer&) = delete;

    /// Uploads the first `byteCount` bytes of `data` unless they equal the last ones written; more
    /// bytes than the buffer holds are cut to its size (logged once).
    void Update(const void* data, uint32_t byteCount);

    /// The GPU buffer (null when it could not be created).
    const Gpu::BufferPtr& GetBuffer() const { return m_buffer; }
    uint32_t GetBindFlags() const { return m_bindFlags; }
    uint32_t GetByteSize() const { return m_byteSize; }
    /// The last contents written.
    const uint8_t* GetShadow() const { return m_shadow.Bytes(); }

private:
    uint32_t m_bindFlags;
    Gpu::BufferPtr m_buffer;
    uint32_t m_byteSize;
    BufferShadow m_shadow;
    bool m_reportedOverflow = false;
};
