// Shaders and input layouts. A shader is one stage compiled from HLSL (its GLSL text and binding
// facts in Hlsl::ShaderCode) and built as a separable GL program, so that vertex and pixel shaders
// bind independently; the context joins the two in a cached program pipeline at draw time.
#pragma once

#include <epoxy/gl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/gpu/gpuTypes.h"
#include "platform/gpu/resources.h"
#include "platform/hlsl/shaderCode.h"

namespace Gpu {

/// What vertex and pixel shaders share.
class StageShader {
public:
    ~StageShader();
    StageShader(const StageShader&) = delete;
    StageShader& operator=(const StageShader&) = delete;
    /// The compiled code it was made from.
    const Hlsl::ShaderCode& GetCode() const { return *m_code; }

protected:
    friend class Device;
    friend class Context;

    StageShader(std::shared_ptr<Detail::DeviceCore> core, std::shared_ptr<const Hlsl::ShaderCode> code);
    /// Builds the GL program and gives its blocks and textures their GL bindings; false after logging,
    /// except that the driver's refusal of the code goes to `refusal` instead where one is given.
    bool Create(const char* function, std::string* refusal = nullptr);
    /// The program to draw with after `vertex`: this one, or (for a pixel stage reading varyings of other
    /// names than the common ones) a copy that reads them where `vertex` writes them.
    GLuint ProgramAfter(const StageShader& vertex);

    /// Gives the blocks and textures of `program` (this stage's program or a copy) their bindings.
    void ApplyBindings(GLuint program) const;

    struct ConstantSlot {
        std::string name;
        uint32_t slot = 0;  ///< register bN
        GLuint binding = 0;
        Detail::PackLayout layout;
    };
    struct StructuredSlot {
        std::string name;
        uint32_t slot = 0;  ///< register tN
        GLuint binding = 0;
        Detail::PackLayout layout;
    };
    struct TextureSlot {
        std::string name;
        uint32_t textureSlot = 0;
        int samplerSlot = -1;
        GLuint unit = 0;
        GLenum target = GL_TEXTURE_2D;  ///< a view of another target reads as nothing
        GLuint zeroTexture = 0;         ///< what the slot reads when nothing of its target is bound
    };

    std::shared_ptr<Detail::DeviceCore> m_core;
    std::shared_ptr<const Hlsl::ShaderCode> m_code;
    GLuint m_program = 0;
    uint64_t m_id = 0;
    std::vector<ConstantSlot> m_constants;
    std::vector<StructuredSlot> m_structured;
    std::vector<TextureSlot> m_textures;
    bool m_loopBudget = false;      ///< the program has the loop-budget block, bound at the stage's binding
    uint32_t m_loopBudgetSlot = 0;  ///< its word in the device's LoopBudgetFlags
    bool m_ownNamedInputs = false;  ///< reads varyings of other names than the common ones
    std::map<uint64_t, GLuint> m_afterVertex;  ///< ProgramAfter's answers by vertex shader id; 0 is m_program
};

class VertexShader final : public StageShader {
private:
    friend class Device;
    using StageShader::StageShader;
};

class PixelShader final : public StageShader {
private:
    friend class Device;
    using StageShader::StageShader;
};

/// Binds the elements of vertex buffers to a vertex shader's inputs by semantic.
class InputLayout {
public:
    ~InputLayout();
    InputLayout(const InputLayout&) = delete;
    InputLayout& operator=(const InputLayout&) = delete;

private:
    friend class Device;
    friend class Context;
    explicit InputLayout(std::shared_ptr<Detail::DeviceCore> core) : m_core(std::move(core)) {}

    std::shared_ptr<Detail::DeviceCore> m_core;
    GLuint m_vertexArray = 0;
    uint32_t m_slotMask = 0;  ///< vertex-buffer slots the layout reads
};

using VertexShaderPtr = std::shared_ptr<VertexShader>;
using PixelShaderPtr = std::shared_ptr<PixelShader>;
using InputLayoutPtr = std::shared_ptr<InputLayout>;

}  // namespace Gpu
