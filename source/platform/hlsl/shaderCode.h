// What a compiled HLSL shader carries to the GPU layer: the GLSL text of one stage and the facts
// needed to bind it the way the HLSL side expects (registers, semantics, and the HLSL compiler's
// buffer packing, which GL does not share).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Hlsl {

enum class Stage { Vertex, Pixel };

/// One byte range moved when the CPU's HLSL-packed bytes are laid out for GL.
struct CopyRange {
    uint32_t source = 0;       ///< offset in the HLSL-packed bytes (or element)
    uint32_t destination = 0;  ///< offset in the GL-packed bytes (or element)
    uint32_t size = 0;         ///< bytes
};

/// A vertex shader input: bound to the input-layout element with the same semantic and index.
struct VertexInput {
    std::string semantic;  ///< upper case, e.g. "POSITION", "TEXCOORD"
    uint32_t index = 0;    ///< semantic index (TEXCOORD1 gives 1)
    uint32_t location = 0; ///< GLSL input location
};

/// A cbuffer at register bN, bound as a uniform block with binding N.
struct ConstantBlock {
    uint32_t slot = 0;         ///< register number N of bN
    std::string name;          ///< block name in the GLSL text
    uint32_t hlslSize = 0;     ///< bytes the HLSL compiler's packing gives (rounded to 16)
    uint32_t glSize = 0;       ///< bytes of the GL (std140) layout
    std::vector<CopyRange> repack;  ///< empty when the two layouts are identical
};

/// A StructuredBuffer at register tN, bound as a shader storage block with binding N.
struct StructuredBlock {
    uint32_t slot = 0;         ///< register number N of tN
    std::string name;          ///< block name in the GLSL text
    uint32_t hlslStride = 0;   ///< element size with tight packing
    uint32_t glStride = 0;     ///< element size in the GL (std430) layout
    std::vector<CopyRange> repack;  ///< per element; empty when the two layouts are identical
};

/// A texture read through a sampler: one GL texture unit of the linked program.
struct TextureBinding {
    std::string name;        ///< combined sampler uniform name in the GLSL text
    uint32_t textureSlot = 0;  ///< register number N of tN
    int samplerSlot = -1;      ///< register number of sM; -1 when the texture is only Load()ed
    uint32_t dimensions = 2;   ///< 2 or 3 (a cube table is read as a 3D texture)
};

/// One compiled stage: everything the GPU layer needs to create and bind it.
struct ShaderCode {
    Stage stage = Stage::Vertex;
    std::string entryPoint;
    std::string glsl;                       ///< GLSL 4.50 core text
    std::vector<VertexInput> inputs;        ///< vertex stage only
    std::vector<ConstantBlock> constants;
    std::vector<StructuredBlock> structured;
    std::vector<TextureBinding> textures;   ///< the GPU layer gives each a texture unit
};

}  // namespace Hlsl
