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
    uint32_t source = 0;       ///< offset in the HLSL-packed bytes (of the block, or of one element)
    uint32_t destination = 0;  ///< offset in the GL-packed bytes (of the block, or of one element)
    uint32_t size = 0;         ///< bytes

    bool operator==(const CopyRange&) const = default;
};

/// A vertex shader input: bound to the input-layout element with the same semantic and index.
struct VertexInput {
    std::string semantic;   ///< upper case, e.g. "POSITION", "TEXCOORD"
    uint32_t index = 0;     ///< semantic index (TEXCOORD1 gives 1)
    uint32_t location = 0;  ///< GLSL input location
};

/// A value passed from the vertex to the pixel stage. Both stages place a common semantic (TEXCOORD,
/// COLOR, ...) at a location that follows from the semantic alone, so that stages compiled apart meet
/// whatever order they declare things in. Any other name takes a free location of its own stage; the
/// GPU layer moves such a pixel input to where the vertex stage drawn with it writes the semantic.
struct Varying {
    std::string semantic;     ///< upper case, e.g. "TEXCOORD", "COLOR"
    uint32_t index = 0;       ///< semantic index
    uint32_t location = 0;    ///< GLSL location
    uint32_t components = 4;  ///< 1 to 4; a pixel input reading fewer components than written is legal in
                              ///< HLSL but makes the GL stage interface mismatch
    bool named = false;       ///< placed by its stage alone; declared in the GLSL as kNamedVaryingPrefix
                              ///< followed by the semantic and index of its first location
};

/// The GLSL name of a varying placed by its stage alone: this prefix, the semantic, its index.
inline constexpr char kNamedVaryingPrefix[] = "semantic_";

/// A cbuffer at register bN, bound as a uniform block with binding N.
struct ConstantBlock {
    uint32_t slot = 0;      ///< register number N of bN
    std::string name;       ///< block name in the GLSL text
    uint32_t hlslSize = 0;  ///< bytes the HLSL compiler's packing gives (rounded to 16)
    uint32_t glSize = 0;    ///< bytes of the GL (std140) layout
    /// Moves every component of the block from its HLSL offset to its GL offset. Empty when the two
    /// layouts are identical: then the HLSL bytes are uploaded as they are.
    std::vector<CopyRange> repack;
};

/// A StructuredBuffer at register tN, bound as a shader storage block with binding N.
struct StructuredBlock {
    uint32_t slot = 0;        ///< register number N of tN
    std::string name;         ///< block name in the GLSL text
    uint32_t hlslStride = 0;  ///< size of the declared element with tight packing
    uint32_t glStride = 0;    ///< element size in the GL (std430) layout
    /// Ranges within one element. HLSL reads element i at i times the stride the buffer was created
    /// with, which may exceed hlslStride (a 36-byte record in a buffer of stride 40); GL reads it at
    /// i times glStride. So the source steps by the buffer's own stride and the destination by
    /// glStride. Empty when the element's bytes keep their offsets and hlslStride equals glStride; a
    /// buffer whose stride is not glStride still needs its elements moved then (hlslStride bytes each).
    std::vector<CopyRange> repack;
};

/// The shape of texture a shader declares; a view of another shape bound to its slot reads as nothing.
enum class TextureType : uint32_t {
    Texture1D,
    Texture1DArray,
    Texture2D,
    Texture2DArray,
    Texture3D,
    TextureCube
};
constexpr uint32_t kTextureTypes = 6;

/// A texture read through a sampler: one GL texture unit of the linked program.
struct TextureBinding {
    std::string name;          ///< combined sampler uniform name in the GLSL text
    uint32_t textureSlot = 0;  ///< register number N of tN
    int samplerSlot = -1;      ///< register number of sM; -1 when the texture is only Load()ed
    TextureType type = TextureType::Texture2D;
};

/// One compiled stage: everything the GPU layer needs to create and bind it.
struct ShaderCode {
    Stage stage = Stage::Vertex;
    std::string entryPoint;
    std::string glsl;                 ///< GLSL 4.50 core text
    std::vector<VertexInput> inputs;  ///< vertex stage only
    std::vector<Varying> varyings;    ///< vertex outputs or pixel inputs (system values excluded)
    std::vector<ConstantBlock> constants;
    std::vector<StructuredBlock> structured;
    std::vector<TextureBinding> textures;  ///< the GPU layer gives each a texture unit
    std::string sourceName;                ///< the HLSL file it came from, for messages
    /// The stage bounds its loops and declares the storage block kLoopBudgetBlock (loopBudget.h),
    /// which the GPU layer binds to a word it reads back to learn that an invocation was cut.
    bool loopBudget = false;
};

}  // namespace Hlsl
