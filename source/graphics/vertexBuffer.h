// The system's one vertex format and the vertex buffers that hold it.
#pragma once

#include <cstdint>
#include <limits>

#include "graphics/geometryBuffer.h"
#include "system/params.h"

/// One vertex: position, texture coordinate and normal, 32 bytes with no padding, matching the
/// input layout every shader is bound with.
struct SVertexDesc {
    Vec3 position;
    Vec2 texcoord;
    Vec3 normal;
};
static_assert(sizeof(SVertexDesc) == 32, "the input layout reads 32-byte vertices");

/// A geometry buffer of vertices, whatever their format.
class AbstractVertexBuffer : public GeometryBuffer {
public:
    /// Bytes per vertex.
    virtual uint32_t GetStride() const { return m_stride; }
    /// Number of vertices the buffer was sized for.
    uint32_t GetVertexCount() const { return m_vertexCount; }

protected:
    AbstractVertexBuffer(uint32_t vertexCount, uint32_t stride)
        : GeometryBuffer(Gpu::BIND_VERTEX_BUFFER, vertexCount * stride),
          m_vertexCount(vertexCount),
          m_stride(stride) {}

private:
    uint32_t m_vertexCount;
    uint32_t m_stride;
};

/// A dynamic vertex buffer of `vertexCount` vertices of type `Vertex`.
template <typename Vertex>
class VertexBuffer : public AbstractVertexBuffer {
public:
    explicit VertexBuffer(uint32_t vertexCount) : AbstractVertexBuffer(vertexCount, sizeof(Vertex)) {}

    uint32_t GetStride() const override { return sizeof(Vertex); }
    /// Uploads the first `count` vertices unless they equal the last ones written.
    void Update(const Vertex* vertices, uint32_t count) {
        // Saturated rather than wrapped, so an absurd count is cut to the buffer's size.
        const uint64_t bytes = uint64_t(count) * sizeof(Vertex);
        GeometryBuffer::Update(vertices, bytes > std::numeric_limits<uint32_t>::max()
                                             ? std::numeric_limits<uint32_t>::max()
                                             : static_cast<uint32_t>(bytes));
    }
    using GeometryBuffer::Update;
};
