#include "platform/gpu/states.h"

#include <algorithm>

#include "platform/gpu/deviceCore.h"

namespace Gpu {

namespace Detail {

GLenum ToGl(ComparisonFunc func) {
    switch (func) {
        case ComparisonFunc::NEVER:
            return GL_NEVER;
        case ComparisonFunc::LESS:
            return GL_LESS;
        case ComparisonFunc::EQUAL:
            return GL_EQUAL;
        case ComparisonFunc::LESS_EQUAL:
            return GL_LEQUAL;
        case ComparisonFunc::GREATER:
            return GL_GREATER;
        case ComparisonFunc::NOT_EQUAL:
            return GL_NOTEQUAL;
        case ComparisonFunc::GREATER_EQUAL:
            return GL_GEQUAL;
        case ComparisonFunc::ALWAYS:
            return GL_ALWAYS;
    }
    return GL_ALWAYS;
}

GLenum ToGl(StencilOp op) {
    switch (op) {
        case StencilOp::KEEP:
            return GL_KEEP;
        case StencilOp::ZERO:
            return GL_ZERO;
        case StencilOp::REPLACE:
            return GL_REPLACE;
        case StencilOp::INCR_SAT:
            return GL_INCR;
        case StencilOp::DECR_SAT:
            return GL_DECR;
        case StencilOp::INVERT:
            return GL_INVERT;
        case StencilOp::INCR:
            return GL_INCR_WRAP;
        case StencilOp::DECR:
            return GL_DECR_WRAP;
    }
    return GL_KEEP;
}

GLenum ToGl(Blend blend) {
    switch (blend) {
        case Blend::ZERO:
            return GL_ZERO;
        case Blend::ONE:
            return GL_ONE;
        case Blend::SRC_COLOR:
            return GL_SRC_COLOR;
        case Blend::INV_SRC_COLOR:
            return GL_ONE_MINUS_SRC_COLOR;
        case Blend::SRC_ALPHA:
            return GL_SRC_ALPHA;
        case Blend::INV_SRC_ALPHA:
            return GL_ONE_MINUS_SRC_ALPHA;
        case Blend::DEST_ALPHA:
            return GL_DST_ALPHA;
        case Blend::INV_DEST_ALPHA:
            return GL_ONE_MINUS_DST_ALPHA;
        case Blend::DEST_COLOR:
            return GL_DST_COLOR;
        case Blend::INV_DEST_COLOR:
            return GL_ONE_MINUS_DST_COLOR;
        case Blend::SRC_ALPHA_SAT:
            return GL_SRC_ALPHA_SATURATE;
        case Blend::BLEND_FACTOR:
            return GL_CONSTANT_COLOR;
        case Blend::INV_BLEND_FACTOR:
            return GL_ONE_MINUS_CONSTANT_COLOR;
    }
    return GL_ONE;
}

GLenum ToGl(BlendOp op) {
    switch (op) {
        case BlendOp::ADD:
            return GL_FUNC_ADD;
        case BlendOp::SUBTRACT:
            return GL_FUNC_SUBTRACT;
        case BlendOp::REV_SUBTRACT:
            return GL_FUNC_REVERSE_SUBTRACT;
        case BlendOp::MIN:
            return GL_MIN;
        case BlendOp::MAX:
            return GL_MAX;
    }
    return GL_FUNC_ADD;
}

GLenum ToGl(TextureAddressMode mode) {
    switch (mode) {
        case TextureAddressMode::WRAP:
            return GL_REPEAT;
        case TextureAddressMode::MIRROR:
            return GL_MIRRORED_REPEAT;
        case TextureAddressMode::CLAMP:
            return GL_CLAMP_TO_EDGE;
        case TextureAddressMode::BORDER:
            return GL_CLAMP_TO_BORDER;
        case TextureAddressMode::MIRROR_ONCE:
            return GL_MIRROR_CLAMP_TO_EDGE;
    }
    return GL_CLAMP_TO_EDGE;
}

}  // namespace Detail

SamplerState::SamplerState(std::shared_ptr<Detail::DeviceCore> core, const SamplerDesc& desc)
    : m_core(std::move(core)), m_desc(desc) {
    const uint32_t filter = static_cast<uint32_t>(desc.Filter);
    const bool anisotropic = (filter & 0x40) != 0;
    const bool minLinear = (filter & 0x10) != 0 || anisotropic;
    const bool magLinear = (filter & 0x4) != 0 || anisotropic;
    const bool mipLinear = (filter & 0x1) != 0 || anisotropic;
    glCreateSamplers(1, &m_sampler);
    glSamplerParameteri(m_sampler, GL_TEXTURE_MIN_FILTER,
                        minLinear ? (mipLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST)
                                  : (mipLinear ? GL_NEAREST_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST));
    glSamplerParameteri(m_sampler, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
    glSamplerParameteri(m_sampler, GL_TEXTURE_WRAP_S, static_cast<GLint>(Detail::ToGl(desc.AddressU)));
    glSamplerParameteri(m_sampler, GL_TEXTURE_WRAP_T, static_cast<GLint>(Detail::ToGl(desc.AddressV)));
    glSamplerParameteri(m_sampler, GL_TEXTURE_WRAP_R, static_cast<GLint>(Detail::ToGl(desc.AddressW)));
    glSamplerParameterf(m_sampler, GL_TEXTURE_LOD_BIAS, desc.MipLODBias);
    glSamplerParameterf(m_sampler, GL_TEXTURE_MIN_LOD, desc.MinLOD);
    glSamplerParameterf(m_sampler, GL_TEXTURE_MAX_LOD, desc.MaxLOD);
    glSamplerParameterfv(m_sampler, GL_TEXTURE_BORDER_COLOR, desc.BorderColor);
    if ((filter & 0x80) != 0) {
        glSamplerParameteri(m_sampler, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
        glSamplerParameteri(m_sampler, GL_TEXTURE_COMPARE_FUNC,
                            static_cast<GLint>(Detail::ToGl(desc.ComparisonFunc)));
    }
    if (anisotropic && (epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic") ||
                        epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic"))) {
        glSamplerParameterf(m_sampler, GL_TEXTURE_MAX_ANISOTROPY,
                            static_cast<float>(std::clamp(desc.MaxAnisotropy, 1u, 16u)));
    }
}

SamplerState::~SamplerState() {
    m_core->Use();
    glDeleteSamplers(1, &m_sampler);
    m_core->NoteDeletion();
}

}  // namespace Gpu
