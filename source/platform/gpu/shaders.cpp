#include "platform/gpu/shaders.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "platform/gpu/deviceCore.h"
#include "platform/gpu/programCache.h"
#include "platform/hlsl/compilerService.h"
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

// The driver's complaint about translated code, told against the author's file and entry: what the
// translation made of the source is not supported by the driver, which the author can only act on by
// changing the construct. The translation writes the author's file K and line N as GLSL line
// K * 1000000 + N and names file K in a comment "// source K: name", so the driver's "S:L(C): text"
// becomes "name:N:C: text".
std::string DescribeGlslFailure(const Hlsl::ShaderCode& code, const std::string& driver) {
    constexpr uint64_t kLinesPerFile = 1000000;
    std::map<uint64_t, std::string> files;
    const std::string marker = "\n// source ";
    for (size_t at = code.glsl.find(marker); at != std::string::npos; at = code.glsl.find(marker, at + 1)) {
        const size_t colon = code.glsl.find(": ", at);
        const size_t end = code.glsl.find('\n', at + 1);
        if (colon == std::string::npos || colon > end) continue;
        files[std::strtoull(code.glsl.c_str() + at + marker.size(), nullptr, 10)] =
            code.glsl.substr(colon + 2, end - colon - 2);
    }
    std::string detail;
    size_t start = 0;
    while (start < driver.size()) {
        size_t end = driver.find('\n', start);
        if (end == std::string::npos) end = driver.size();
        std::string line = driver.substr(start, end - start);
        start = end + 1;
        const size_t colon = line.find(':');
        const size_t open = line.find('(');
        const size_t close = line.find("):");
        if (colon != std::string::npos && open != std::string::npos && close != std::string::npos &&
            colon < open && open < close) {
            const uint64_t at = std::strtoull(line.c_str() + colon + 1, nullptr, 10);
            const auto file = files.find(at / kLinesPerFile);
            if (file != files.end()) {
                line = file->second + ":" + std::to_string(at % kLinesPerFile) + ":" +
                       line.substr(open + 1, close - open - 1) + line.substr(close + 1);
            }
        }
        if (!line.empty()) detail += (detail.empty() ? "" : "\n") + line;
    }
    return "Shader file '" + (code.sourceName.empty() ? std::string("?") : code.sourceName) + "', entry '" +
           code.entryPoint + "': a construct of it is not supported by this GL driver as translated:\n" +
           detail;
}

// Builds one stage's separable program from GLSL text, or takes it from the program cache; 0 after
// logging the driver's complaint (or handing it to `refusal`).
GLuint BuildProgram(Detail::DeviceCore& core, const Hlsl::ShaderCode& code, const std::string& glsl,
                    const char* function, std::string* refusal = nullptr) {
    const GLenum stage = code.stage == Hlsl::Stage::Pixel ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER;
    // Kept where the compiled shaders are kept now (a run may change its write folder).
    const std::string cacheFolder = core.programDriver.empty() ? "" : Hlsl::CompilerService::CacheFolder();
    const Detail::ProgramCache cache(cacheFolder.empty() ? "" : cacheFolder + "/Programs",
                                     core.programDriver);
    if (const GLuint stored = cache.Load(stage, glsl)) return stored;
    const char* text = glsl.c_str();
    GLuint program = glCreateShaderProgramv(stage, 1, &text);
    GLint linked = GL_FALSE;
    if (program) glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked) {
        cache.Store(stage, glsl, program);
        return program;
    }
    std::string message = "no program";
    if (program) {
        GLint length = 0;
        glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
        message.assign(static_cast<size_t>(std::max(length, 1)), '\0');
        glGetProgramInfoLog(program, length, nullptr, message.data());
        message.resize(message.find('\0') == std::string::npos ? message.size() : message.find('\0'));
        glDeleteProgram(program);
    }
    if (refusal) {
        *refusal = DescribeGlslFailure(code, message);
    } else {
        VLOG(function, "%s", DescribeGlslFailure(code, message).c_str());
    }
    return 0;
}

// Rewrites the location of the input declared as `name` in `glsl`; false when there is no such input.
bool MoveInput(std::string& glsl, const std::string& name, uint32_t location) {
    const std::string lead = "layout(location = ";
    for (size_t start = 0; start < glsl.size();) {
        size_t end = glsl.find('\n', start);
        if (end == std::string::npos) end = glsl.size();
        const std::string_view line(glsl.data() + start, end - start);
        if (line.starts_with(lead) && line.find(" in ") != std::string_view::npos &&
            (line.ends_with(" " + name + ";") || line.find(" " + name + "[") != std::string_view::npos)) {
            const size_t close = glsl.find(')', start);
            glsl.replace(start + lead.size(), close - start - lead.size(), std::to_string(location));
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

StageShader::StageShader(std::shared_ptr<Detail::DeviceCore> core,
                         std::shared_ptr<const Hlsl::ShaderCode> code)
    : m_core(std::move(core)), m_code(std::move(code)) {}

StageShader::~StageShader() {
    if (m_id) m_core->ForgetProgram(m_id);
    m_core->Use();
    for (const auto& entry : m_afterVertex) {
        if (entry.second) glDeleteProgram(entry.second);
    }
    if (m_loopBudget) m_core->LoopBudget().Release(m_loopBudgetSlot);
    if (m_program) glDeleteProgram(m_program);
    m_core->NoteDeletion();
}

bool StageShader::Create(const char* function, std::string* refusal) {
    const Hlsl::ShaderCode& code = *m_code;
    const bool pixel = code.stage == Hlsl::Stage::Pixel;
    m_program = BuildProgram(*m_core, code, code.glsl, function, refusal);
    if (!m_program) return false;
    m_id = m_core->NextId();
    // Only such a pixel stage ever needs a copy fitted to its vertex stage; the rest draw as built.
    m_ownNamedInputs = pixel && std::any_of(code.varyings.begin(), code.varyings.end(),
                                            [](const Hlsl::Varying& varying) { return varying.named; });

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
        slot.name = block.name;
        slot.slot = block.slot;
        slot.binding = uniformBase + block.slot;
        slot.layout.id = m_core->InternLayout(LayoutKey('c', block.glSize, block.repack));
        slot.layout.sourceStride = block.hlslSize;
        slot.layout.glStride = block.glSize;
        slot.layout.ranges = block.repack;
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
        slot.name = block.name;
        slot.slot = block.slot;
        slot.binding = storageBase + static_cast<GLuint>(m_structured.size());
        slot.layout.id = m_core->InternLayout(LayoutKey('s', block.glStride, block.repack));
        slot.layout.sourceStride = block.hlslStride;
        slot.layout.glStride = block.glStride;
        slot.layout.ranges = block.repack;
        m_structured.push_back(std::move(slot));
    }

    if (code.loopBudget && glGetProgramResourceIndex(m_program, GL_SHADER_STORAGE_BLOCK,
                                                     Hlsl::kLoopBudgetBlock) != GL_INVALID_INDEX) {
        m_loopBudgetSlot = m_core->LoopBudget().Acquire(code);
        m_loopBudget = true;
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
        slot.name = texture.name;
        slot.textureSlot = texture.textureSlot;
        slot.samplerSlot = texture.samplerSlot;
        slot.unit = unitBase + static_cast<GLuint>(m_textures.size());
        slot.target = Detail::TextureTarget(texture.type);
        slot.zeroTexture = m_core->ZeroTexture(texture.type);
        m_textures.push_back(slot);
    }
    ApplyBindings(m_program);
    return true;
}

void StageShader::ApplyBindings(GLuint program) const {
    for (const ConstantSlot& slot : m_constants) {
        const GLuint index = FindBlock(program, GL_UNIFORM_BLOCK, slot.name, slot.slot);
        if (index != GL_INVALID_INDEX) glUniformBlockBinding(program, index, slot.binding);
    }
    for (const StructuredSlot& slot : m_structured) {
        const GLuint index = FindBlock(program, GL_SHADER_STORAGE_BLOCK, slot.name, slot.slot);
        if (index != GL_INVALID_INDEX) glShaderStorageBlockBinding(program, index, slot.binding);
    }
    if (m_loopBudget) {
        const GLuint index =
            glGetProgramResourceIndex(program, GL_SHADER_STORAGE_BLOCK, Hlsl::kLoopBudgetBlock);
        if (index != GL_INVALID_INDEX)
            glShaderStorageBlockBinding(program, index,
                                        m_core->LoopBudgetBinding(m_code->stage == Hlsl::Stage::Pixel));
    }
    for (const TextureSlot& slot : m_textures) {
        const GLint location = glGetUniformLocation(program, slot.name.c_str());
        if (location >= 0) glProgramUniform1i(program, location, static_cast<GLint>(slot.unit));
    }
}

GLuint StageShader::ProgramAfter(const StageShader& vertex) {
    if (!m_ownNamedInputs) return m_program;
    const auto known = m_afterVertex.find(vertex.m_id);
    if (known != m_afterVertex.end()) return known->second ? known->second : m_program;
    // Where each input of another name than the common ones goes: where the vertex stage writes it, or,
    // when it writes no such value (the input is undefined then), anywhere no other input lands.
    std::map<const Hlsl::Varying*, uint32_t> target;
    std::set<uint32_t> used;
    for (const Hlsl::Varying& input : m_code->varyings) {
        if (!input.named) {
            used.insert(input.location);
            continue;
        }
        for (const Hlsl::Varying& output : vertex.m_code->varyings) {
            if (output.semantic == input.semantic && output.index == input.index) {
                target[&input] = output.location;
                used.insert(output.location);
            }
        }
    }
    for (const Hlsl::Varying& input : m_code->varyings) {
        if (!input.named || target.count(&input)) continue;
        uint32_t free = input.location;
        while (used.count(free)) ++free;
        target[&input] = free;
        used.insert(free);
    }
    std::string glsl = m_code->glsl;
    bool moved = false;
    for (const auto& [input, location] : target) {
        // Only the first location of a declaration carries its name; the rest follow it.
        if (location != input->location &&
            MoveInput(glsl, Hlsl::kNamedVaryingPrefix + input->semantic + std::to_string(input->index),
                      location))
            moved = true;
    }
    GLuint program = 0;
    if (moved) {
        m_core->Use();
        program = BuildProgram(*m_core, *m_code, glsl, "Gpu::Context::Draw");
        if (program) ApplyBindings(program);
    }
    m_afterVertex.emplace(vertex.m_id, program);
    return program ? program : m_program;
}

InputLayout::~InputLayout() {
    m_core->Use();
    if (m_vertexArray) glDeleteVertexArrays(1, &m_vertexArray);
    m_core->NoteDeletion();
}

}  // namespace Gpu
