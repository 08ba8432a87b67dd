#include "platform/gpu/shaders.h"

#include <algorithm>
#include <string>

#include "platform/gpu/deviceCore.h"
#include "platform/hlsl/loopBudget.h"
#include "system/log.h"

namespace Gpu {

namespace {

// The serialised copy list that names a layout; empty when no repacking is needed.
std::string LayoutKey(char kind, uint32_t glStride, const std::vector<Hlsl::CopyRange>& ranges) {
    if (ranges.empty()) return {};
    std::string key(1, kind);
    key += std::to_string(glStride);
    for (const Hlsl::CopyRange& range : ranges) {
        key += ':' + std::to_string(range.source) + ',' + std::to_string(range.destination) + ',' +
               std::to_string(range.size);
    }
    return key;
}

// A block of the program by name, or failing that by the binding the GLSL text gave it.
GLuint FindBlock(GLuint program, GLenum interface, const std::string& name, uint32_t slot) {
    GLuint index = glGetProgramResourceIndex(program, interface, name.c_str());
    if (index != GL_INVALID_INDEX) return index;
    GLint count = 0;
    glGetProgramInterfaceiv(program, interface, GL_ACTIVE_RESOURCES, &count);
    for (GLint i = 0; i < count; ++i) {
        const GLenum property = GL_BUFFER_BINDING;
        GLint binding = -1;
        glGetProgramResourceiv(program, interface, static_cast<GLuint>(i), 1, &property, 1, nullptr,
                               &binding);
        if (binding == static_cast<GLint>(slot)) return static_cast<GLuint>(i);
    }
    return GL_INVALID_INDEX;
}

}  // namespace

StageShader::StageShader(std::shared_ptr<Detail::DeviceCore> core,
                         std::shared_ptr<const Hlsl::ShaderCode> code)
    : m_core(std::move(core)), m_code(std::move(code)) {}

StageShader::~StageShader() {
    if (m_id) m_core->ForgetProgram(m_id);
    m_core->Use();
    if (m_loopBudget) m_core->LoopBudget().Release(m_loopBudgetSlot);
    if (m_program) glDeleteProgram(m_program);
    m_core->NoteDeletion();
}

bool StageShader::Create(const char* function) {
    const Hlsl::ShaderCode& code = *m_code;
    const bool pixel = code.stage == Hlsl::Stage::Pixel;
    const char* text = code.glsl.c_str();
    m_program = glCreateShaderProgramv(pixel ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER, 1, &text);
    GLint linked = GL_FALSE;
    if (m_program) glGetProgramiv(m_program, GL_LINK_STATUS, &linked);
    if (!linked) {
        std::string message = "no program";
        if (m_program) {
            GLint length = 0;
            glGetProgramiv(m_program, GL_INFO_LOG_LENGTH, &length);
            message.assign(static_cast<size_t>(std::max(length, 1)), '\0');
            glGetProgramInfoLog(m_program, length, nullptr, message.data());
            message.resize(message.find('\0') == std::string::npos ? message.size() : message.find('\0'));
        }
        VLOG(function, "GLSL of entry '%s' does not build:\n%s", code.entryPoint.c_str(), message.c_str());
        return false;
    }
    m_id = m_core->NextId();

    const GLuint uniformBase = pixel ? m_core->uniformStageBase : 0;
    for (const Hlsl::ConstantBlock& block : code.constants) {
        if (block.slot >= kConstantBufferSlots) {
            VLOG(function, "Constant buffer '%s' of entry '%s' uses register b%u; the last is b%u",
                 block.name.c_str(), code.entryPoint.c_str(), block.slot, kConstantBufferSlots - 1);
            return false;
        }
        const GLuint index = FindBlock(m_program, GL_UNIFORM_BLOCK, block.name, block.slot);
        if (index == GL_INVALID_INDEX) continue;  // not read by this entry point
        ConstantSlot slot;
        slot.slot = block.slot;
        slot.binding = uniformBase + block.slot;
        slot.layout.id = m_core->InternLayout(LayoutKey('c', block.glSize, block.repack));
        slot.layout.sourceStride = block.hlslSize;
        slot.layout.glStride = block.glSize;
        slot.layout.ranges = block.repack;
        glUniformBlockBinding(m_program, index, slot.binding);
        m_constants.push_back(std::move(slot));
    }

    const GLuint storageBase = pixel ? m_core->storageStageBase : 0;
    for (const Hlsl::StructuredBlock& block : code.structured) {
        const GLuint index = FindBlock(m_program, GL_SHADER_STORAGE_BLOCK, block.name, block.slot);
        if (index == GL_INVALID_INDEX) continue;
        if (block.slot >= kShaderResourceSlots) {
            VLOG(function, "Structured buffer '%s' of entry '%s' uses register t%u; the last is t%u",
                 block.name.c_str(), code.entryPoint.c_str(), block.slot, kShaderResourceSlots - 1);
            return false;
        }
        StructuredSlot slot;
        slot.slot = block.slot;
        slot.binding = storageBase + static_cast<GLuint>(m_structured.size());
        slot.layout.id = m_core->InternLayout(LayoutKey('s', block.glStride, block.repack));
        slot.layout.sourceStride = block.hlslStride;
        slot.layout.glStride = block.glStride;
        slot.layout.ranges = block.repack;
        glShaderStorageBlockBinding(m_program, index, slot.binding);
        m_structured.push_back(std::move(slot));
    }

    if (code.loopBudget) {
        const GLuint index =
            glGetProgramResourceIndex(m_program, GL_SHADER_STORAGE_BLOCK, Hlsl::kLoopBudgetBlock);
        if (index != GL_INVALID_INDEX) {
            glShaderStorageBlockBinding(m_program, index, m_core->LoopBudgetBinding(pixel));
            m_loopBudgetSlot = m_core->LoopBudget().Acquire(code);
            m_loopBudget = true;
        }
    }

    const GLuint unitBase = pixel ? m_core->textureStageBase : 0;
    for (const Hlsl::TextureBinding& texture : code.textures) {
        const GLint location = glGetUniformLocation(m_program, texture.name.c_str());
        if (location < 0) continue;
        if (texture.textureSlot >= kShaderResourceSlots || texture.samplerSlot >= int(kSamplerSlots)) {
            VLOG(function, "Texture '%s' of entry '%s' uses register t%u / s%d beyond the last",
                 texture.name.c_str(), code.entryPoint.c_str(), texture.textureSlot, texture.samplerSlot);
            return false;
        }
        TextureSlot slot;
        slot.textureSlot = texture.textureSlot;
        slot.samplerSlot = texture.samplerSlot;
        slot.unit = unitBase + static_cast<GLuint>(m_textures.size());
        slot.dimensions = texture.dimensions;
        glProgramUniform1i(m_program, location, static_cast<GLint>(slot.unit));
        m_textures.push_back(slot);
    }
    return true;
}

InputLayout::~InputLayout() {
    m_core->Use();
    if (m_vertexArray) glDeleteVertexArrays(1, &m_vertexArray);
    m_core->NoteDeletion();
}

}  // namespace Gpu
