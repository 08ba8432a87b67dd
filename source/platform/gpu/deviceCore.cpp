#include "platform/gpu/deviceCore.h"

#include <algorithm>
#include <vector>

#include "system/log.h"

namespace Gpu::Detail {

namespace {

// Errors the driver reports are faults of this layer or of its callers; they are counted (tests insist
// on none) and the first few are logged.
void GLAPIENTRY OnDebugMessage(GLenum source, GLenum type, GLuint, GLenum severity, GLsizei,
                               const GLchar* message, const void* user) {
    // Shader compiler messages come back with the failed shader, where they are logged in context.
    if (source == GL_DEBUG_SOURCE_SHADER_COMPILER) return;
    if (type != GL_DEBUG_TYPE_ERROR && severity != GL_DEBUG_SEVERITY_HIGH) return;
    auto* core = static_cast<DeviceCore*>(const_cast<void*>(user));
    if (type == GL_DEBUG_TYPE_ERROR) ++core->counters.glErrors;
    static int logged = 0;
    if (logged < 20) {
        ++logged;
        VLOG("Gpu::Device", "OpenGL reports: %s", message);
    }
}

GLuint CreateSampler(GLenum filter) {
    GLuint sampler = 0;
    glCreateSamplers(1, &sampler);
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER,
                        filter == GL_LINEAR ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST);
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, filter);
    for (GLenum wrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R}) {
        glSamplerParameteri(sampler, wrap, GL_CLAMP_TO_EDGE);
    }
    return sampler;
}

}  // namespace

GLenum TextureTarget(Hlsl::TextureType type) {
    switch (type) {
        case Hlsl::TextureType::Texture1D:
            return GL_TEXTURE_1D;
        case Hlsl::TextureType::Texture1DArray:
            return GL_TEXTURE_1D_ARRAY;
        case Hlsl::TextureType::Texture2D:
            return GL_TEXTURE_2D;
        case Hlsl::TextureType::Texture2DArray:
            return GL_TEXTURE_2D_ARRAY;
        case Hlsl::TextureType::Texture3D:
            return GL_TEXTURE_3D;
        case Hlsl::TextureType::TextureCube:
            return GL_TEXTURE_CUBE_MAP;
    }
    return GL_TEXTURE_2D;
}

DeviceCore::DeviceCore(std::unique_ptr<GlContext> context) : m_context(std::move(context)) {}

DeviceCore::~DeviceCore() {
    Use();
    for (auto& entry : m_pipelines) glDeleteProgramPipelines(1, &entry.second);
    glDeleteTextures(static_cast<GLsizei>(m_zeroTextures.size()), m_zeroTextures.data());
    glDeleteSamplers(1, &pointClampSampler);
    glDeleteSamplers(1, &defaultSampler);
    glDeleteBuffers(1, &m_zeroBuffer);
    m_loopBudget.reset();
    glDisable(GL_DEBUG_OUTPUT);
    m_context.reset();
}

LoopBudgetFlags& DeviceCore::LoopBudget() {
    if (!m_loopBudget) m_loopBudget = std::make_unique<LoopBudgetFlags>(storageOffsetAlignment);
    return *m_loopBudget;
}

bool DeviceCore::Initialise() {
    Use();
    const char* rendererText = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    renderer = rendererText ? rendererText : "unknown";
    if (epoxy_gl_version() < 45 || epoxy_is_desktop_gl() == 0) {
        VLOG("Gpu::Device", "OpenGL 4.5 is needed; '%s' offers %d.%d", renderer.c_str(),
             epoxy_gl_version() / 10, epoxy_gl_version() % 10);
        return false;
    }

    // Linked programs are kept beside the compiled shaders, for the driver that made them.
    GLint binaryFormats = 0;
    glGetIntegerv(GL_NUM_PROGRAM_BINARY_FORMATS, &binaryFormats);
    if (binaryFormats > 0) {
        for (GLenum name : {GL_VENDOR, GL_RENDERER, GL_VERSION, GL_SHADING_LANGUAGE_VERSION}) {
            const char* text = reinterpret_cast<const char*>(glGetString(name));
            programDriver += text ? text : "";
            programDriver += '\n';
        }
    }

    // Video memory, where the driver tells it (in KiB).
    if (epoxy_has_gl_extension("GL_NVX_gpu_memory_info")) {
        GLint kib = 0;
        glGetIntegerv(GL_GPU_MEMORY_INFO_DEDICATED_VIDMEM_NVX, &kib);
        videoMemoryMB = kib / 1024;
    } else if (epoxy_has_gl_extension("GL_ATI_meminfo")) {
        GLint info[4] = {};
        glGetIntegerv(GL_TEXTURE_FREE_MEMORY_ATI, info);
        videoMemoryMB = info[0] / 1024;
    }

    glEnable(GL_DEBUG_OUTPUT);
    glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
    glDebugMessageCallback(OnDebugMessage, this);

    // The conventions of the interface this layer stands for: clip-space y up with memory row 0 at the
    // top of a render target, depth 0 to 1, clockwise front faces (the rasterizer state may change it).
    glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    glFrontFace(GL_CW);
    glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

    GLint uniformBindings = 0, storageBindings = 0, textureUnits = 0;
    glGetIntegerv(GL_MAX_UNIFORM_BUFFER_BINDINGS, &uniformBindings);
    glGetIntegerv(GL_MAX_SHADER_STORAGE_BUFFER_BINDINGS, &storageBindings);
    glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &textureUnits);
    uniformStageBase = static_cast<GLuint>(std::max(uniformBindings / 2, 1));
    storageStageBase = static_cast<GLuint>(std::max(storageBindings / 2, 1));
    textureStageBase = static_cast<GLuint>(std::max(textureUnits / 2, 1));
    glGetIntegerv(GL_SHADER_STORAGE_BUFFER_OFFSET_ALIGNMENT, &storageOffsetAlignment);
    storageOffsetAlignment = std::max(storageOffsetAlignment, 1);

    // What a shader reads through an empty slot: transparent black, as on the interface this stands for.
    const uint32_t zero[6] = {};
    for (uint32_t shape = 0; shape < Hlsl::kTextureTypes; ++shape) {
        const GLenum target = TextureTarget(static_cast<Hlsl::TextureType>(shape));
        GLuint& texture = m_zeroTextures[shape];
        glCreateTextures(target, 1, &texture);
        if (target == GL_TEXTURE_1D) {
            glTextureStorage1D(texture, 1, GL_RGBA8, 1);
            glTextureSubImage1D(texture, 0, 0, 1, GL_RGBA, GL_UNSIGNED_BYTE, zero);
        } else if (target == GL_TEXTURE_1D_ARRAY || target == GL_TEXTURE_2D) {
            glTextureStorage2D(texture, 1, GL_RGBA8, 1, 1);
            glTextureSubImage2D(texture, 0, 0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, zero);
        } else if (target == GL_TEXTURE_CUBE_MAP) {
            glTextureStorage2D(texture, 1, GL_RGBA8, 1, 1);
            // A cube's faces are the layers of its storage.
            glTextureSubImage3D(texture, 0, 0, 0, 0, 1, 1, 6, GL_RGBA, GL_UNSIGNED_BYTE, zero);
        } else {
            glTextureStorage3D(texture, 1, GL_RGBA8, 1, 1, 1);
            glTextureSubImage3D(texture, 0, 0, 0, 0, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, zero);
        }
    }
    pointClampSampler = CreateSampler(GL_NEAREST);
    defaultSampler = CreateSampler(GL_LINEAR);
    ZeroBuffer(4096);
    return true;
}

uint64_t DeviceCore::InternLayout(const std::string& key) {
    if (key.empty()) return 0;
    auto found = m_layouts.find(key);
    if (found != m_layouts.end()) return found->second;
    const uint64_t id = m_layouts.size() + 1;
    m_layouts.emplace(key, id);
    return id;
}

GLuint DeviceCore::Pipeline(uint64_t vertexId, GLuint vertexProgram, uint64_t pixelId, GLuint pixelProgram) {
    const auto key = std::make_pair(vertexId, pixelId);
    auto found = m_pipelines.find(key);
    if (found != m_pipelines.end()) return found->second;
    GLuint pipeline = 0;
    glCreateProgramPipelines(1, &pipeline);
    if (vertexProgram) glUseProgramStages(pipeline, GL_VERTEX_SHADER_BIT, vertexProgram);
    if (pixelProgram) glUseProgramStages(pipeline, GL_FRAGMENT_SHADER_BIT, pixelProgram);
    // Stages that do not fit together (a pixel input no vertex output feeds, say) still draw, with
    // undefined inputs; the driver's verdict helps whoever wrote the shader.
    glValidateProgramPipeline(pipeline);
    GLint valid = GL_FALSE;
    glGetProgramPipelineiv(pipeline, GL_VALIDATE_STATUS, &valid);
    if (!valid) {
        GLint length = 0;
        glGetProgramPipelineiv(pipeline, GL_INFO_LOG_LENGTH, &length);
        std::string text(static_cast<size_t>(std::max(length, 1)), '\0');
        glGetProgramPipelineInfoLog(pipeline, length, nullptr, text.data());
        VLOG("Gpu::Context::Draw", "The vertex and pixel shaders do not fit together: %s", text.c_str());
    }
    m_pipelines.emplace(key, pipeline);
    return pipeline;
}

void DeviceCore::ForgetProgram(uint64_t id) {
    std::vector<GLuint> dead;
    for (auto it = m_pipelines.begin(); it != m_pipelines.end();) {
        if (it->first.first == id || it->first.second == id) {
            dead.push_back(it->second);
            it = m_pipelines.erase(it);
        } else {
            ++it;
        }
    }
    if (!dead.empty()) {
        Use();
        glDeleteProgramPipelines(static_cast<GLsizei>(dead.size()), dead.data());
        NoteDeletion();
    }
}

GLuint DeviceCore::ZeroBuffer(uint32_t size) {
    if (size > m_zeroBufferSize || m_zeroBuffer == 0) {
        const uint32_t newSize = std::max(size, std::max(m_zeroBufferSize * 2, 4096u));
        std::vector<uint8_t> zeros(newSize, 0);
        if (m_zeroBuffer) {
            glDeleteBuffers(1, &m_zeroBuffer);
            NoteDeletion();
        }
        glCreateBuffers(1, &m_zeroBuffer);
        glNamedBufferStorage(m_zeroBuffer, newSize, zeros.data(), 0);
        m_zeroBufferSize = newSize;
    }
    return m_zeroBuffer;
}

}  // namespace Gpu::Detail
