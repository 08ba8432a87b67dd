// GPU resources: buffers and 1D, 2D and 3D textures. Handed out as shared pointers; a resource lives while
// anyone (a view, a binding of the context, an owner) holds it.
//
// Every buffer keeps the bytes its writer gave it (the layout the shaders' source language packs) and
// sends them to GL only when a draw needs them; a shader whose blocks GL lays out differently gets a
// repacked copy, made once per change of the bytes and per layout.
#pragma once

#include <epoxy/gl.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/gpu/gpuTypes.h"
#include "platform/hlsl/shaderCode.h"

namespace Gpu {

namespace Detail {
class DeviceCore;

/// How a shader's block wants a buffer's bytes laid out in GL.
struct PackLayout {
    uint64_t id = 0;            ///< 0: the bytes as they are
    uint32_t sourceStride = 0;  ///< structured: element size as written; constant: block size as written
    uint32_t glStride = 0;      ///< structured: element size in GL; constant: block size in GL
    std::vector<Hlsl::CopyRange> ranges;
};

/// Hands out zeroed memory from calloc and leaves elements uninitialised: a large vector of bytes is
/// zero without a page of it being touched until it is written.
template <typename T>
struct ZeroPageAllocator {
    using value_type = T;
    ZeroPageAllocator() = default;
    template <typename U>
    ZeroPageAllocator(const ZeroPageAllocator<U>&) {}
    T* allocate(size_t n) {
        void* memory = std::calloc(n, sizeof(T));
        if (!memory) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, size_t) { std::free(memory); }
    template <typename U>
    void construct(U*) {}  // calloc's zeros stand
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    bool operator==(const ZeroPageAllocator<U>&) const {
        return true;
    }
};

/// Where a draw finds the bytes it reads.
struct BufferRange {
    GLuint name = 0;
    GLintptr offset = 0;
    GLsizeiptr size = 0;
};
}  // namespace Detail

enum class ResourceDimension { BUFFER, TEXTURE1D, TEXTURE2D, TEXTURE3D };

/// Anything a view can look at.
class Resource {
public:
    virtual ~Resource() = default;
    Resource(const Resource&) = delete;
    Resource& operator=(const Resource&) = delete;
    /// Whether this is a buffer or which kind of texture.
    ResourceDimension GetDimension() const { return m_dimension; }

protected:
    explicit Resource(ResourceDimension dimension) : m_dimension(dimension) {}

private:
    ResourceDimension m_dimension;
};

using ResourcePtr = std::shared_ptr<Resource>;

class Buffer final : public Resource {
public:
    ~Buffer() override;
    /// The description it was created with.
    const BufferDesc& GetDesc() const { return m_desc; }

private:
    friend class Device;
    friend class Context;

    Buffer(std::shared_ptr<Detail::DeviceCore> core, const BufferDesc& desc);
    bool Create(const SubresourceData* initial);
    /// The CPU copy, in the writer's layout.
    uint8_t* Bytes() { return m_bytes.data(); }
    /// Records that the CPU copy changed (after a write through Bytes()).
    void Touch() { ++m_version; }
    /// The GL buffer with the current bytes, uploading them if they changed.
    GLuint Current();
    /// The bytes laid out for a constant block.
    Detail::BufferRange ForConstantBlock(const Detail::PackLayout& layout);
    /// Elements [first, first + count) laid out for a structured block.
    Detail::BufferRange ForStructuredBlock(const Detail::PackLayout& layout, uint32_t first, uint32_t count);

    struct Derived {
        uint64_t layout = 0;
        uint32_t first = 0;
        uint32_t count = 0;
        GLuint name = 0;
        uint32_t size = 0;
        uint64_t version = 0;
    };
    Derived& FindDerived(uint64_t layout, uint32_t first, uint32_t count);
    void UploadDerived(Derived& derived, const std::vector<uint8_t>& bytes);

    std::shared_ptr<Detail::DeviceCore> m_core;
    BufferDesc m_desc;
    GLuint m_name = 0;
    std::vector<uint8_t, Detail::ZeroPageAllocator<uint8_t>> m_bytes;
    uint64_t m_version = 1;
    uint64_t m_uploadedVersion = 0;
    bool m_mapped = false;
    std::vector<Derived> m_derived;
};

/// What 1D, 2D and 3D textures share.
class Texture : public Resource {
public:
    ~Texture() override;
    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    uint32_t Depth() const { return m_depth; }
    uint32_t MipLevels() const { return m_mipLevels; }
    Format GetFormat() const { return m_format; }

protected:
    friend class Device;
    friend class Context;
    friend class SwapChain;

    Texture(std::shared_ptr<Detail::DeviceCore> core, ResourceDimension dimension);
    /// `depth` is the depth of a 3D texture, the layers of an array or a cube (6), else 1; a 1D texture's
    /// height is 1.
    bool Create(GLenum target, uint32_t width, uint32_t height, uint32_t depth, uint32_t mipLevels,
                Format format, Usage usage, uint32_t bindFlags, uint32_t cpuAccess,
                const SubresourceData* initial);
    /// Sends texels of one mip level (the whole level when `box` is null); false on a bad region.
    bool Upload(uint32_t mip, const Box* box, const void* data, uint32_t rowPitch, uint32_t depthPitch);
    /// Reads one mip level, tightly packed, rows top-down, in the texture's own format.
    bool Read(uint32_t mip, std::vector<uint8_t>& bytes);
    uint32_t LevelWidth(uint32_t mip) const;
    uint32_t LevelHeight(uint32_t mip) const;
    uint32_t LevelDepth(uint32_t mip) const;

    std::shared_ptr<Detail::DeviceCore> m_core;
    GLuint m_name = 0;
    GLenum m_target = 0;
    uint32_t m_width = 0, m_height = 0, m_depth = 1, m_mipLevels = 1;
    Format m_format = Format::UNKNOWN;
    Usage m_usage = Usage::DEFAULT;
    uint32_t m_bindFlags = 0;
    uint32_t m_cpuAccess = 0;
    uint32_t m_miscFlags = 0;
    // A mapped subresource: its CPU copy, and which one it is (-1: none).
    std::vector<uint8_t> m_mapBytes;
    int m_mappedSubresource = -1;
    MapType m_mapType = MapType::WRITE_DISCARD;
};

class Texture1D final : public Texture {
public:
    /// The description, with MipLevels 0 resolved to the real count.
    const Texture1DDesc& GetDesc() const { return m_desc; }

private:
    friend class Device;
    Texture1D(std::shared_ptr<Detail::DeviceCore> core, const Texture1DDesc& desc);
    Texture1DDesc m_desc;
};

class Texture2D final : public Texture {
public:
    /// The description, with MipLevels 0 resolved to the real count.
    const Texture2DDesc& GetDesc() const { return m_desc; }

private:
    friend class Device;
    friend class SwapChain;
    Texture2D(std::shared_ptr<Detail::DeviceCore> core, const Texture2DDesc& desc);
    Texture2DDesc m_desc;
};

class Texture3D final : public Texture {
public:
    /// The description, with MipLevels 0 resolved to the real count.
    const Texture3DDesc& GetDesc() const { return m_desc; }

private:
    friend class Device;
    Texture3D(std::shared_ptr<Detail::DeviceCore> core, const Texture3DDesc& desc);
    Texture3DDesc m_desc;
};

using BufferPtr = std::shared_ptr<Buffer>;
using Texture1DPtr = std::shared_ptr<Texture1D>;
using Texture2DPtr = std::shared_ptr<Texture2D>;
using Texture3DPtr = std::shared_ptr<Texture3D>;

}  // namespace Gpu
