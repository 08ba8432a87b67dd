#include "platform/gpu/device.h"

#include <strings.h>

#include <algorithm>

#include "platform/gpu/deviceCore.h"
#include "platform/gpu/formats.h"
#include "platform/gpu/glContext.h"
#include "system/log.h"

// Sections: factories | resources | views | states | shaders and input layouts

namespace Gpu {

// ---------------------------------------------------------------------------------------------------
// Factories

struct DeviceFactory {
    static DeviceSet Make(std::unique_ptr<Detail::GlContext> glContext, uint32_t width, uint32_t height) {
        if (!glContext) return {};
        auto core = std::make_shared<Detail::DeviceCore>(std::move(glContext));
        if (!core->Initialise()) return {};
        DeviceSet set;
        set.device = DevicePtr(new Device(core));
        set.context = set.device->GetImmediateContext();
        set.swapChain = SwapChainPtr(new SwapChain(core));
        if (!set.swapChain->CreateBackBuffer(std::max(width, 1u), std::max(height, 1u),
                                             Format::R8G8B8A8_UNORM)) {
            VLOG("Gpu::CreateDevice", "Cannot make a %ux%u back buffer", width, height);
            return {};
        }
        return set;
    }
};

void PrepareHeadlessDevice() {
    Detail::PrepareHeadlessGlContext();
}

DeviceSet CreateHeadlessDevice(uint32_t width, uint32_t height) {
    return DeviceFactory::Make(Detail::CreateHeadlessGlContext(), width, height);
}

DeviceSet CreateWindowDevice(SDL_Window* window, uint32_t width, uint32_t height) {
    return DeviceFactory::Make(Detail::CreateWindowGlContext(window), width, height);
}

Device::Device(std::shared_ptr<Detail::DeviceCore> core)
    : m_core(std::move(core)), m_context(ContextPtr(new Context(m_core))) {}

Device::~Device() = default;

Counters& Device::GetCounters() {
    return m_core->counters;
}
const std::string& Device::GetAdapterName() const {
    return m_core->renderer;
}
int Device::GetVideoMemoryMB() const {
    return m_core->videoMemoryMB;
}

// ---------------------------------------------------------------------------------------------------
// Resources

BufferPtr Device::CreateBuffer(const BufferDesc& desc, const SubresourceData* initial) {
    m_core->Use();
    auto buffer = BufferPtr(new Buffer(m_core, desc));
    if (!buffer->Create(initial)) return nullptr;
    return buffer;
}

Texture1DPtr Device::CreateTexture1D(const Texture1DDesc& desc, const SubresourceData* initial) {
    m_core->Use();
    if (desc.ArraySize == 0) {
        VLOG("Gpu::Device::CreateTexture1D", "Textures of no layers are not supported");
        return nullptr;
    }
    if (desc.BindFlags & (BIND_RENDER_TARGET | BIND_DEPTH_STENCIL)) {
        VLOG("Gpu::Device::CreateTexture1D", "1D textures cannot be render targets");
        return nullptr;
    }
    const GLenum target = desc.ArraySize > 1 ? GL_TEXTURE_1D_ARRAY : GL_TEXTURE_1D;
    auto texture = Texture1DPtr(new Texture1D(m_core, desc));
    if (!texture->Create(target, desc.Width, 1, desc.ArraySize, desc.MipLevels, desc.Format, desc.Usage,
                         desc.BindFlags, desc.CPUAccessFlags, initial)) {
        return nullptr;
    }
    texture->m_miscFlags = desc.MiscFlags;
    texture->m_desc.MipLevels = texture->MipLevels();
    return texture;
}

Texture2DPtr Device::CreateTexture2D(const Texture2DDesc& desc, const SubresourceData* initial) {
    m_core->Use();
    const bool cube = desc.MiscFlags & RESOURCE_MISC_TEXTURECUBE;
    if (desc.ArraySize == 0 || desc.SampleDesc.Count != 1) {
        VLOG("Gpu::Device::CreateTexture2D",
             "Textures of no layers and multisampled textures are not supported");
        return nullptr;
    }
    if (desc.ArraySize > 1 && desc.BindFlags & (BIND_RENDER_TARGET | BIND_DEPTH_STENCIL)) {
        VLOG("Gpu::Device::CreateTexture2D", "Texture arrays and cubes cannot be render targets");
        return nullptr;
    }
    const GLenum target = cube                 ? GL_TEXTURE_CUBE_MAP
                          : desc.ArraySize > 1 ? GL_TEXTURE_2D_ARRAY
                                               : GL_TEXTURE_2D;
    auto texture = Texture2DPtr(new Texture2D(m_core, desc));
    if (!texture->Create(target, desc.Width, desc.Height, desc.ArraySize, desc.MipLevels, desc.Format,
                         desc.Usage, desc.BindFlags, desc.CPUAccessFlags, initial)) {
        return nullptr;
    }
    texture->m_miscFlags = desc.MiscFlags;
    texture->m_desc.MipLevels = texture->MipLevels();
    return texture;
}

Texture3DPtr Device::CreateTexture3D(const Texture3DDesc& desc, const SubresourceData* initial) {
    m_core->Use();
    auto texture = Texture3DPtr(new Texture3D(m_core, desc));
    if (!texture->Create(GL_TEXTURE_3D, desc.Width, desc.Height, desc.Depth, desc.MipLevels, desc.Format,
                         desc.Usage, desc.BindFlags, desc.CPUAccessFlags, initial)) {
        return nullptr;
    }
    texture->m_miscFlags = desc.MiscFlags;
    texture->m_desc.MipLevels = texture->MipLevels();
    return texture;
}

// ---------------------------------------------------------------------------------------------------
// Views

namespace {

// A GL texture view of part of `texture` in `format`; 0 when the formats cannot share storage.
GLuint MakeTextureView(GLuint original, const Texture& texture, GLenum target, Format format,
                       uint32_t firstLevel, uint32_t levels) {
    const Detail::FormatInfo& own = Detail::GetFormatInfo(texture.GetFormat());
    const Detail::FormatInfo& wanted = Detail::GetFormatInfo(format);
    if (wanted.internalFormat == 0 || wanted.bytesPerPixel != own.bytesPerPixel || wanted.depth != own.depth)
        return 0;
    GLuint view = 0;
    glGenTextures(1, &view);
    glTextureView(view, target, original, wanted.internalFormat, firstLevel, levels, 0,
                  target == GL_TEXTURE_3D ? 1 : texture.Depth());
    return view;
}

}  // namespace

ShaderResourceViewPtr Device::CreateShaderResourceView(const ResourcePtr& resource,
                                                       const ShaderResourceViewDesc* desc) {
    if (!resource) return nullptr;
    m_core->Use();
    auto view = ShaderResourceViewPtr(new ShaderResourceView(m_core, resource));
    ShaderResourceViewDesc& d = view->m_desc;
    if (desc) d = *desc;
    const char* problem = nullptr;
    if (resource->GetDimension() == ResourceDimension::BUFFER) {
        const BufferDesc& b = static_cast<const Buffer&>(*resource).GetDesc();
        const uint32_t elements = b.StructureByteStride ? b.ByteWidth / b.StructureByteStride : 0;
        if (!desc) d.Buffer.NumElements = elements;
        d.ViewDimension = SrvDimension::BUFFER;
        if (!(b.BindFlags & BIND_SHADER_RESOURCE)) {
            problem = "the buffer was not created for shader reading";
        } else if (!(b.MiscFlags & RESOURCE_MISC_BUFFER_STRUCTURED)) {
            problem = "only structured buffers can be read by shaders";
        } else if (d.Buffer.FirstElement >= elements ||
                   d.Buffer.NumElements > elements - d.Buffer.FirstElement) {
            problem = "the elements lie outside the buffer";
        }
        if (d.Buffer.NumElements == 0 && !problem) d.Buffer.NumElements = elements - d.Buffer.FirstElement;
    } else {
        const auto& texture = static_cast<const Texture&>(*resource);
        const SrvDimension own = texture.m_target == GL_TEXTURE_3D         ? SrvDimension::TEXTURE3D
                                 : texture.m_target == GL_TEXTURE_CUBE_MAP ? SrvDimension::TEXTURECUBE
                                 : texture.m_target == GL_TEXTURE_2D_ARRAY ? SrvDimension::TEXTURE2DARRAY
                                 : texture.m_target == GL_TEXTURE_1D       ? SrvDimension::TEXTURE1D
                                 : texture.m_target == GL_TEXTURE_1D_ARRAY ? SrvDimension::TEXTURE1DARRAY
                                                                           : SrvDimension::TEXTURE2D;
        if (d.ViewDimension == SrvDimension::UNKNOWN) d.ViewDimension = own;
        if (d.Format == Format::UNKNOWN) d.Format = texture.GetFormat();
        if (d.Texture.MostDetailedMip < texture.MipLevels() &&
            d.Texture.MipLevels > texture.MipLevels() - d.Texture.MostDetailedMip) {
            d.Texture.MipLevels = texture.MipLevels() - d.Texture.MostDetailedMip;
        }
        if (!(texture.m_bindFlags & BIND_SHADER_RESOURCE)) {
            problem = "the texture was not created for shader reading";
        } else if (d.ViewDimension != own) {
            problem = "the view's dimension differs from the texture's";
        } else if (d.Texture.MostDetailedMip >= texture.MipLevels() || d.Texture.MipLevels == 0) {
            problem = "the mip levels lie outside the texture";
        } else if (d.Format == texture.GetFormat() && d.Texture.MostDetailedMip == 0 &&
                   d.Texture.MipLevels == texture.MipLevels()) {
            view->m_texture = texture.m_name;
        } else {
            view->m_texture = MakeTextureView(texture.m_name, texture, texture.m_target, d.Format,
                                              d.Texture.MostDetailedMip, d.Texture.MipLevels);
            view->m_ownsTexture = view->m_texture != 0;
            if (!view->m_texture) problem = "the view's format cannot share the texture's storage";
        }
        view->m_target = texture.m_target;
    }
    if (problem) {
        VLOG("Gpu::Device::CreateShaderResourceView", "Cannot create the shader resource view: %s", problem);
        return nullptr;
    }
    return view;
}

RenderTargetViewPtr Device::CreateRenderTargetView(const ResourcePtr& resource,
                                                   const RenderTargetViewDesc* desc) {
    if (!resource) return nullptr;
    m_core->Use();
    auto view = RenderTargetViewPtr(new RenderTargetView(m_core, resource));
    RenderTargetViewDesc& d = view->m_desc;
    if (desc) d = *desc;
    const char* problem = nullptr;
    if (resource->GetDimension() != ResourceDimension::TEXTURE2D) {
        problem = "only 2D textures can be render targets";
    } else {
        const auto& texture = static_cast<const Texture&>(*resource);
        if (d.Format == Format::UNKNOWN) d.Format = texture.GetFormat();
        const Detail::FormatInfo& info = Detail::GetFormatInfo(d.Format);
        if (!(texture.m_bindFlags & BIND_RENDER_TARGET)) {
            problem = "the texture was not created as a render target";
        } else if (info.depth || info.internalFormat == 0) {
            problem = "the format cannot be drawn into";
        } else if (d.Texture2D.MipSlice >= texture.MipLevels()) {
            problem = "the mip slice lies outside the texture";
        } else if (d.Format == texture.GetFormat()) {
            view->m_texture = texture.m_name;
            view->m_level = static_cast<GLint>(d.Texture2D.MipSlice);
        } else {
            view->m_texture =
                MakeTextureView(texture.m_name, texture, GL_TEXTURE_2D, d.Format, d.Texture2D.MipSlice, 1);
            view->m_ownsTexture = view->m_texture != 0;
            if (!view->m_texture) problem = "the view's format cannot share the texture's storage";
        }
    }
    if (problem) {
        VLOG("Gpu::Device::CreateRenderTargetView", "Cannot create the render target view: %s", problem);
        return nullptr;
    }
    return view;
}

DepthStencilViewPtr Device::CreateDepthStencilView(const ResourcePtr& resource,
                                                   const DepthStencilViewDesc* desc) {
    if (!resource) return nullptr;
    m_core->Use();
    auto view = DepthStencilViewPtr(new DepthStencilView(m_core, resource));
    DepthStencilViewDesc& d = view->m_desc;
    if (desc) d = *desc;
    const char* problem = nullptr;
    if (resource->GetDimension() != ResourceDimension::TEXTURE2D) {
        problem = "only 2D textures can be depth buffers";
    } else {
        const auto& texture = static_cast<const Texture&>(*resource);
        if (d.Format == Format::UNKNOWN) d.Format = texture.GetFormat();
        const Detail::FormatInfo& info = Detail::GetFormatInfo(texture.GetFormat());
        if (!(texture.m_bindFlags & BIND_DEPTH_STENCIL)) {
            problem = "the texture was not created as a depth buffer";
        } else if (!info.depth || d.Format != texture.GetFormat()) {
            problem = "the format is not the texture's depth format";
        } else if (d.Texture2D.MipSlice >= texture.MipLevels()) {
            problem = "the mip slice lies outside the texture";
        } else {
            view->m_texture = texture.m_name;
            view->m_level = static_cast<GLint>(d.Texture2D.MipSlice);
            view->m_hasStencil = info.stencil;
        }
    }
    if (problem) {
        VLOG("Gpu::Device::CreateDepthStencilView", "Cannot create the depth stencil view: %s", problem);
        return nullptr;
    }
    return view;
}

// ---------------------------------------------------------------------------------------------------
// States

DepthStencilStatePtr Device::CreateDepthStencilState(const DepthStencilDesc& desc) {
    return DepthStencilStatePtr(new DepthStencilState(desc));
}

RasterizerStatePtr Device::CreateRasterizerState(const RasterizerDesc& desc) {
    return RasterizerStatePtr(new RasterizerState(desc));
}

BlendStatePtr Device::CreateBlendState(const BlendDesc& desc) {
    return BlendStatePtr(new BlendState(desc));
}

SamplerStatePtr Device::CreateSamplerState(const SamplerDesc& desc) {
    m_core->Use();
    return SamplerStatePtr(new SamplerState(m_core, desc));
}

// ---------------------------------------------------------------------------------------------------
// Shaders and input layouts

VertexShaderPtr Device::CreateVertexShader(std::shared_ptr<const Hlsl::ShaderCode> code,
                                           std::string* refusal) {
    if (!code || code->stage != Hlsl::Stage::Vertex) {
        VLOG("Gpu::Device::CreateVertexShader", "The code is not vertex-stage code");
        return nullptr;
    }
    m_core->Use();
    auto shader = VertexShaderPtr(new VertexShader(m_core, std::move(code)));
    if (!shader->Create("Gpu::Device::CreateVertexShader", refusal)) return nullptr;
    return shader;
}

PixelShaderPtr Device::CreatePixelShader(std::shared_ptr<const Hlsl::ShaderCode> code, std::string* refusal) {
    if (!code || code->stage != Hlsl::Stage::Pixel) {
        VLOG("Gpu::Device::CreatePixelShader", "The code is not pixel-stage code");
        return nullptr;
    }
    m_core->Use();
    auto shader = PixelShaderPtr(new PixelShader(m_core, std::move(code)));
    if (!shader->Create("Gpu::Device::CreatePixelShader", refusal)) return nullptr;
    return shader;
}

InputLayoutPtr Device::CreateInputLayout(const InputElementDesc* elements, uint32_t count,
                                         const Hlsl::ShaderCode& vertexCode) {
    m_core->Use();
    const char* function = "Gpu::Device::CreateInputLayout";
    // Resolve appended offsets slot by slot and check every element.
    std::vector<uint32_t> offsets(count);
    uint32_t nextOffset[kVertexBufferSlots] = {};
    for (uint32_t i = 0; i < count; ++i) {
        const InputElementDesc& e = elements[i];
        const Detail::FormatInfo& info = Detail::GetFormatInfo(e.Format);
        if (info.components == 0 || e.InputSlot >= kVertexBufferSlots || !e.SemanticName) {
            VLOG(function, "Input element %u (%s%u) has an unusable format or slot", i,
                 e.SemanticName ? e.SemanticName : "?", e.SemanticIndex);
            return nullptr;
        }
        offsets[i] =
            e.AlignedByteOffset == APPEND_ALIGNED_ELEMENT ? nextOffset[e.InputSlot] : e.AlignedByteOffset;
        nextOffset[e.InputSlot] = offsets[i] + info.bytesPerPixel;
    }
    auto layout = InputLayoutPtr(new InputLayout(m_core));
    glCreateVertexArrays(1, &layout->m_vertexArray);
    const GLuint vertexArray = layout->m_vertexArray;
    for (const Hlsl::VertexInput& input : vertexCode.inputs) {
        // Semantics compare without regard to case, as in the shader language.
        uint32_t found = count;
        for (uint32_t i = 0; i < count && found == count; ++i) {
            if (strcasecmp(elements[i].SemanticName, input.semantic.c_str()) == 0 &&
                elements[i].SemanticIndex == input.index) {
                found = i;
            }
        }
        if (found == count) {
            VLOG(function, "The vertex shader reads %s%u, which the layout does not provide",
                 input.semantic.c_str(), input.index);
            return nullptr;
        }
        const InputElementDesc& e = elements[found];
        const Detail::FormatInfo& info = Detail::GetFormatInfo(e.Format);
        glEnableVertexArrayAttrib(vertexArray, input.location);
        if (info.integer) {
            glVertexArrayAttribIFormat(vertexArray, input.location, info.components, info.componentType,
                                       offsets[found]);
        } else {
            glVertexArrayAttribFormat(vertexArray, input.location, info.components, info.componentType,
                                      info.normalized ? GL_TRUE : GL_FALSE, offsets[found]);
        }
        glVertexArrayAttribBinding(vertexArray, input.location, e.InputSlot);
        const bool perInstance = e.InputSlotClass == InputClassification::PER_INSTANCE_DATA;
        glVertexArrayBindingDivisor(vertexArray, e.InputSlot,
                                    perInstance ? std::max(e.InstanceDataStepRate, 1u) : 0);
        layout->m_slotMask |= 1u << e.InputSlot;
    }
    return layout;
}

}  // namespace Gpu
