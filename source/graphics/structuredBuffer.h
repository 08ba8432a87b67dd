// Per-instance records in a dynamic structured buffer that shaders read through a view (register
// t5 by convention); written only when the records change.
#pragma once

#include <cassert>
#include <cstdint>

#include "graphics/bufferShadow.h"
#include "platform/gpu/gpu.h"

/// What every structured buffer does, whatever its element type.
class StructuredBufferBase {
public:
    StructuredBufferBase(const StructuredBufferBase&) = delete;
    StructuredBufferBase& operator=(const StructuredBufferBase&) = delete;

    /// The GPU buffer (null when it could not be created).
    const Gpu::BufferPtr& GetBuffer() const { return m_buffer; }
    /// The view shaders read the elements through (null when it could not be created).
    const Gpu::ShaderResourceViewPtr& GetView() const { return m_view; }
    /// Bytes per element.
    uint32_t GetStride() const { return m_stride; }
    /// Number of elements the buffer holds.
    uint32_t GetCapacity() const { return m_capacity; }
    /// Number of elements written by the last update.
    uint32_t GetCount() const { return m_count; }

protected:
    StructuredBufferBase(uint32_t stride, uint32_t capacity);
    ~StructuredBufferBase() = default;
    /// Uploads the first `count` elements unless they equal the last ones written and sets the
    /// count; more elements than the capacity are cut to it (logged once).
    void UpdateElements(const void* elements, uint32_t count);
    uint8_t* ShadowBytes() { return m_shadow.Bytes(); }
    const uint8_t* ShadowBytes() const { return m_shadow.Bytes(); }

private:
    Gpu::BufferPtr m_buffer;
    Gpu::ShaderResourceViewPtr m_view;
    uint32_t m_stride;
    uint32_t m_capacity;
    uint32_t m_count = 0;
    BufferShadow m_shadow;
    bool m_reportedOverflow = false;
};

/// A dynamic structured buffer of `capacity` elements of the plain record `Element`.
template <typename Element>
class StructuredBuffer : public StructuredBufferBase {
public:
    /// Elements are read by the GPU at multiples of `stride`, which must be the record's size.
    StructuredBuffer(uint32_t stride, uint32_t capacity) : StructuredBufferBase(sizeof(Element), capacity) {
        assert(stride == sizeof(Element));
        (void)stride;
    }

    /// Uploads the first `count` elements unless they equal the last ones written; sets the count.
    void Update(const Element* elements, uint32_t count) { UpdateElements(elements, count); }
    /// The last contents written, one entry per element of the capacity; owners may preset it.
    Element* GetShadow() { return reinterpret_cast<Element*>(ShadowBytes()); }
    const Element* GetShadow() const { return reinterpret_cast<const Element*>(ShadowBytes()); }
};
