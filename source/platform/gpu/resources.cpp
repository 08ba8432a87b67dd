#include "platform/gpu/resources.h"

#include <algorithm>
#include <cstring>

#include "platform/gpu/deviceCore.h"
#include "platform/gpu/formats.h"
#include "system/log.h"

// Sections: buffers | buffer layouts for shaders | textures

namespace Gpu {

// ---------------------------------------------------------------------------------------------------
// Buffers

Buffer::Buffer(std::shared_ptr<Detail::DeviceCore> core, const BufferDesc& desc)
    : Resource(ResourceDimension::BUFFER), m_core(std::move(core)), m_desc(desc) {}

Buffer::~Buffer() {
    m_core->Use();
    if (m_name) glDeleteBuffers(1, &m_name);
    for (Derived& derived : m_derived) glDeleteBuffers(1, &derived.name);
    m_core->NoteDeletion();
}

bool Buffer::Create(const SubresourceData* initial) {
    const BufferDesc& d = m_desc;
    const char* problem = nullptr;
    if (d.ByteWidth == 0) {
        problem = "zero bytes";
    } else if ((d.BindFlags & BIND_CONSTANT_BUFFER) && d.ByteWidth % 16 != 0) {
        problem = "a constant buffer's size must be a multiple of 16";
    } else if ((d.MiscFlags & RESOURCE_MISC_BUFFER_STRUCTURED) &&
               (d.StructureByteStride == 0 || d.ByteWidth % d.StructureByteStride != 0)) {
        problem = "a structured buffer's size must be a whole number of elements";
    } else if (d.Usage == Usage::DYNAMIC && !(d.CPUAccessFlags & CPU_ACCESS_WRITE)) {
        problem = "a dynamic buffer needs CPU write access";
    } else if (d.Usage == Usage::IMMUTABLE && (!initial || !initial->pSysMem)) {
        problem = "an immutable buffer needs its contents";
    }
    if (problem) {
        VLOG("Gpu::Device::CreateBuffer", "Cannot create a buffer of %u bytes: %s", d.ByteWidth, problem);
        return false;
    }
    m_bytes.resize(d.ByteWidth);
    const bool hasData = initial && initial->pSysMem;
    if (hasData) {
        std::memcpy(m_bytes.data(), initial->pSysMem, d.ByteWidth);
        glCreateBuffers(1, &m_name);
        glNamedBufferStorage(m_name, d.ByteWidth, m_bytes.data(), GL_DYNAMIC_STORAGE_BIT);
        ++m_core->counters.uploads;
        m_core->counters.uploadBytes += d.ByteWidth;
        m_uploadedVersion = m_version;
    }
    // A buffer made without contents holds zeros and gets its GL storage with its first use: the
    // driver clears new storage, so a large buffer that is not drawn with yet costs nothing.
    return true;
}

GLuint Buffer::Current() {
    if (m_uploadedVersion != m_version) {
        if (!m_name) {
            glCreateBuffers(1, &m_name);
            glNamedBufferStorage(m_name, static_cast<GLsizeiptr>(m_bytes.size()), m_bytes.data(),
                                 GL_DYNAMIC_STORAGE_BIT);
        } else {
            glInvalidateBufferData(m_name);
            glNamedBufferSubData(m_name, 0, static_cast<GLsizeiptr>(m_bytes.size()), m_bytes.data());
        }
        ++m_core->counters.uploads;
        m_core->counters.uploadBytes += m_bytes.size();
        m_uploadedVersion = m_version;
    }
    return m_name;
}

// ---------------------------------------------------------------------------------------------------
// Buffer layouts for shaders

Buffer::Derived& Buffer::FindDerived(uint64_t layout, uint32_t first, uint32_t count) {
    for (Derived& derived : m_derived) {
        if (derived.layout == layout && derived.first == first && derived.count == count) return derived;
    }
    Derived derived;
    derived.layout = layout;
    derived.first = first;
    derived.count = count;
    m_derived.push_back(derived);
    return m_derived.back();
}

void Buffer::UploadDerived(Derived& derived, const std::vector<uint8_t>& bytes) {
    if (derived.name == 0) glCreateBuffers(1, &derived.name);
    if (derived.size != bytes.size()) {
        glNamedBufferData(derived.name, static_cast<GLsizeiptr>(bytes.size()), bytes.data(), GL_DYNAMIC_DRAW);
        derived.size = static_cast<uint32_t>(bytes.size());
    } else {
        glNamedBufferSubData(derived.name, 0, static_cast<GLsizeiptr>(bytes.size()), bytes.data());
    }
    ++m_core->counters.uploads;
    m_core->counters.uploadBytes += bytes.size();
    derived.version = m_version;
}

Detail::BufferRange Buffer::ForConstantBlock(const Detail::PackLayout& layout) {
    const uint32_t size = static_cast<uint32_t>(m_bytes.size());
    if (layout.id == 0 && size >= layout.glStride) {
        return {Current(), 0, static_cast<GLsizeiptr>(size)};
    }
    // A repacked block, or a buffer shorter than the block: what lies beyond the written bytes reads
    // as zero, as it does on the interface this stands for.
    const uint32_t glSize = std::max<uint32_t>((std::max(layout.glStride, 16u) + 15u) & ~15u, 16u);
    Derived& derived = FindDerived(layout.id, 0, glSize);
    if (derived.name == 0 || derived.version != m_version) {
        std::vector<uint8_t> packed(glSize, 0);
        if (layout.id == 0) {
            std::memcpy(packed.data(), m_bytes.data(), std::min(size, glSize));
        } else {
            for (const Hlsl::CopyRange& range : layout.ranges) {
                if (uint64_t(range.source) + range.size <= size &&
                    uint64_t(range.destination) + range.size <= glSize) {
                    std::memcpy(packed.data() + range.destination, m_bytes.data() + range.source, range.size);
                }
            }
        }
        UploadDerived(derived, packed);
    }
    return {derived.name, 0, static_cast<GLsizeiptr>(glSize)};
}

Detail::BufferRange Buffer::ForStructuredBlock(const Detail::PackLayout& layout, uint32_t first,
                                               uint32_t count) {
    const uint32_t stride = m_desc.StructureByteStride ? m_desc.StructureByteStride : layout.sourceStride;
    if (stride == 0) return {};
    const uint32_t elements = static_cast<uint32_t>(m_bytes.size() / stride);
    if (first >= elements) return {};
    count = std::min(count, elements - first);
    if (count == 0) return {};
    const uint64_t offset = uint64_t(first) * stride;
    if (layout.id == 0 && offset % static_cast<uint64_t>(m_core->storageOffsetAlignment) == 0) {
        return {Current(), static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(uint64_t(count) * stride)};
    }
    Derived& derived = FindDerived(layout.id, first, count);
    const uint32_t glStride = layout.id == 0 ? stride : layout.glStride;
    if (derived.name == 0 || derived.version != m_version) {
        std::vector<uint8_t> packed(size_t(count) * glStride, 0);
        for (uint32_t e = 0; e < count; ++e) {
            const uint8_t* source = m_bytes.data() + size_t(first + e) * stride;
            uint8_t* destination = packed.data() + size_t(e) * glStride;
            if (layout.id == 0) {
                std::memcpy(destination, source, stride);
                continue;
            }
            for (const Hlsl::CopyRange& range : layout.ranges) {
                if (uint64_t(range.source) + range.size <= stride &&
                    uint64_t(range.destination) + range.size <= glStride) {
                    std::memcpy(destination + range.destination, source + range.source, range.size);
                }
            }
        }
        UploadDerived(derived, packed);
    }
    return {derived.name, 0, static_cast<GLsizeiptr>(size_t(count) * glStride)};
}

// ---------------------------------------------------------------------------------------------------
// Textures

Texture::Texture(std::shared_ptr<Detail::DeviceCore> core, ResourceDimension dimension)
    : Resource(dimension), m_core(std::move(core)) {}

Texture::~Texture() {
    m_core->Use();
    if (m_name) glDeleteTextures(1, &m_name);
    m_core->NoteDeletion();
}

uint32_t Texture::LevelWidth(uint32_t mip) const {
    return std::max(1u, m_width >> mip);
}
uint32_t Texture::LevelHeight(uint32_t mip) const {
    return std::max(1u, m_height >> mip);
}
uint32_t Texture::LevelDepth(uint32_t mip) const {
    // The layers of an array or a cube do not shrink with the level.
    return m_target == GL_TEXTURE_3D ? std::max(1u, m_depth >> mip) : m_depth;
}

bool Texture::Create(GLenum target, uint32_t width, uint32_t height, uint32_t depth, uint32_t mipLevels,
                     Format format, Usage usage, uint32_t bindFlags, uint32_t cpuAccess,
                     const SubresourceData* initial) {
    const bool is3D = target == GL_TEXTURE_3D;
    const bool oneD = target == GL_TEXTURE_1D || target == GL_TEXTURE_1D_ARRAY;
    const bool layered =
        target == GL_TEXTURE_2D_ARRAY || target == GL_TEXTURE_CUBE_MAP || target == GL_TEXTURE_1D_ARRAY;
    const char* function = is3D   ? "Gpu::Device::CreateTexture3D"
                           : oneD ? "Gpu::Device::CreateTexture1D"
                                  : "Gpu::Device::CreateTexture2D";
    const Detail::FormatInfo& info = Detail::GetFormatInfo(format);
    GLint maxSize = 0;
    glGetIntegerv(is3D ? GL_MAX_3D_TEXTURE_SIZE : GL_MAX_TEXTURE_SIZE, &maxSize);
    const uint32_t largest = std::max({width, height, is3D ? depth : 1u});
    uint32_t fullChain = 1;
    while ((largest >> fullChain) > 0) ++fullChain;
    const char* problem = nullptr;
    if (info.internalFormat == 0) {
        problem = "the format is not supported";
    } else if (width == 0 || height == 0 || depth == 0) {
        problem = "a size is zero";
    } else if (largest > static_cast<uint32_t>(maxSize)) {
        problem = "larger than the GL limit";
    } else if ((is3D || layered || oneD) && info.depth) {
        problem = "a depth format cannot be 1D, 3D, an array or a cube";
    } else if ((target == GL_TEXTURE_2D_ARRAY || target == GL_TEXTURE_1D_ARRAY) && depth > 256) {
        problem = "more layers than every GL driver offers (256)";
    } else if (target == GL_TEXTURE_CUBE_MAP && (depth != 6 || width != height)) {
        problem = "a cube has six square faces";
    } else if (layered && usage != Usage::DEFAULT && usage != Usage::IMMUTABLE) {
        problem = "arrays and cubes are written only when created";
    } else if (mipLevels > fullChain) {
        problem = "more mip levels than the size allows";
    } else if (usage == Usage::IMMUTABLE && (!initial || !initial->pSysMem)) {
        problem = "an immutable texture needs its contents";
    } else if (usage == Usage::DYNAMIC && !(cpuAccess & CPU_ACCESS_WRITE)) {
        problem = "a dynamic texture needs CPU write access";
    } else if (initial && info.depth) {
        problem = "depth textures take no initial contents";
    }
    if (problem) {
        VLOG(function, "Cannot create a %ux%ux%u %s texture: %s", width, height, depth,
             Detail::FormatName(format), problem);
        return false;
    }
    m_width = width;
    m_height = height;
    m_depth = depth;
    m_mipLevels = mipLevels == 0 ? fullChain : mipLevels;
    m_format = format;
    m_usage = usage;
    m_bindFlags = bindFlags;
    m_cpuAccess = cpuAccess;
    m_target = target;
    glCreateTextures(m_target, 1, &m_name);
    // Immutable storage fixes the level count, so that sampling through a mip filter never meets an
    // incomplete texture.
    if (is3D || target == GL_TEXTURE_2D_ARRAY) {
        glTextureStorage3D(m_name, static_cast<GLsizei>(m_mipLevels), info.internalFormat, width, height,
                           depth);
    } else if (target == GL_TEXTURE_1D) {
        glTextureStorage1D(m_name, static_cast<GLsizei>(m_mipLevels), info.internalFormat, width);
    } else if (target == GL_TEXTURE_1D_ARRAY) {
        // GL keeps the layers of a 1D array as the rows of a 2D image.
        glTextureStorage2D(m_name, static_cast<GLsizei>(m_mipLevels), info.internalFormat, width, depth);
    } else {
        glTextureStorage2D(m_name, static_cast<GLsizei>(m_mipLevels), info.internalFormat, width, height);
    }
    if (info.depth && info.stencil)
        glTextureParameteri(m_name, GL_DEPTH_STENCIL_TEXTURE_MODE, GL_DEPTH_COMPONENT);
    if (initial && layered) {
        // One entry per layer and level, the levels of a layer together.
        for (uint32_t layer = 0; layer < depth; ++layer) {
            for (uint32_t mip = 0; mip < m_mipLevels; ++mip) {
                const SubresourceData& data = initial[layer * m_mipLevels + mip];
                const Box box{0, 0, layer, LevelWidth(mip), LevelHeight(mip), layer + 1};
                if (data.pSysMem) Upload(mip, &box, data.pSysMem, data.SysMemPitch, 0);
            }
        }
    } else if (initial) {
        for (uint32_t mip = 0; mip < m_mipLevels; ++mip) {
            if (initial[mip].pSysMem) {
                Upload(mip, nullptr, initial[mip].pSysMem, initial[mip].SysMemPitch,
                       initial[mip].SysMemSlicePitch);
            }
        }
    }
    return true;
}

bool Texture::Upload(uint32_t mip, const Box* box, const void* data, uint32_t rowPitch, uint32_t depthPitch) {
    const Detail::FormatInfo& info = Detail::GetFormatInfo(m_format);
    if (mip >= m_mipLevels || !data || info.depth) return false;
    Box region{0, 0, 0, LevelWidth(mip), LevelHeight(mip), LevelDepth(mip)};
    if (box) {
        if (box->right > region.right || box->bottom > region.bottom || box->back > region.back ||
            box->left >= box->right || box->top >= box->bottom || box->front >= box->back) {
            return false;
        }
        region = *box;
    }
    const uint32_t width = region.right - region.left;
    const uint32_t height = region.bottom - region.top;
    const uint32_t depth = region.back - region.front;
    const uint32_t tightRow = width * info.bytesPerPixel;
    if (rowPitch == 0) rowPitch = tightRow;
    if (depthPitch == 0) depthPitch = rowPitch * height;
    if (rowPitch < tightRow || depthPitch < rowPitch * height) return false;

    // GL describes row pitch in pixels: a pitch that is not a whole number of pixels is repacked.
    std::vector<uint8_t> tight;
    if (rowPitch % info.bytesPerPixel != 0 || depthPitch % rowPitch != 0) {
        tight.resize(size_t(tightRow) * height * depth);
        for (uint32_t z = 0; z < depth; ++z) {
            for (uint32_t y = 0; y < height; ++y) {
                std::memcpy(tight.data() + (size_t(z) * height + y) * tightRow,
                            static_cast<const uint8_t*>(data) + size_t(z) * depthPitch + size_t(y) * rowPitch,
                            tightRow);
            }
        }
        data = tight.data();
        rowPitch = tightRow;
        depthPitch = tightRow * height;
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rowPitch / info.bytesPerPixel));
    glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, static_cast<GLint>(depthPitch / rowPitch));
    if (m_target == GL_TEXTURE_1D) {
        glTextureSubImage1D(m_name, static_cast<GLint>(mip), region.left, width, info.pixelFormat,
                            info.pixelType, data);
    } else if (m_target == GL_TEXTURE_1D_ARRAY) {
        // The layers are GL's rows: consecutive layers lie a depth pitch apart.
        glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(depthPitch / info.bytesPerPixel));
        glTextureSubImage2D(m_name, static_cast<GLint>(mip), region.left, region.front, width, depth,
                            info.pixelFormat, info.pixelType, data);
    } else if (m_target != GL_TEXTURE_2D) {
        glTextureSubImage3D(m_name, static_cast<GLint>(mip), region.left, region.top, region.front, width,
                            height, depth, info.pixelFormat, info.pixelType, data);
    } else {
        glTextureSubImage2D(m_name, static_cast<GLint>(mip), region.left, region.top, width, height,
                            info.pixelFormat, info.pixelType, data);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 0);
    ++m_core->counters.uploads;
    m_core->counters.uploadBytes += uint64_t(tightRow) * height * depth;
    return true;
}

bool Texture::Read(uint32_t mip, std::vector<uint8_t>& bytes) {
    const Detail::FormatInfo& info = Detail::GetFormatInfo(m_format);
    if (mip >= m_mipLevels || info.depth) return false;
    bytes.resize(size_t(LevelWidth(mip)) * LevelHeight(mip) * LevelDepth(mip) * info.bytesPerPixel);
    glGetTextureImage(m_name, static_cast<GLint>(mip), info.pixelFormat, info.pixelType,
                      static_cast<GLsizei>(bytes.size()), bytes.data());
    return true;
}

Texture1D::Texture1D(std::shared_ptr<Detail::DeviceCore> core, const Texture1DDesc& desc)
    : Texture(std::move(core), ResourceDimension::TEXTURE1D), m_desc(desc) {}

Texture2D::Texture2D(std::shared_ptr<Detail::DeviceCore> core, const Texture2DDesc& desc)
    : Texture(std::move(core), ResourceDimension::TEXTURE2D), m_desc(desc) {}

Texture3D::Texture3D(std::shared_ptr<Detail::DeviceCore> core, const Texture3DDesc& desc)
    : Texture(std::move(core), ResourceDimension::TEXTURE3D), m_desc(desc) {}

}  // namespace Gpu
