// Plain descriptions, enumerations and small records of the GPU layer. They keep the field names and
// numeric values of the Direct3D 11 structures they stand for, so that a description written for that
// interface translates field by field; members start at that interface's defaults, so call sites name
// only what differs.
//
// Sections: formats and flags | resource descriptions | view descriptions | state descriptions |
// input layout | pipeline records | counters
#pragma once

#include <cfloat>
#include <cstdint>
#include <memory>

namespace Gpu {

// ---------------------------------------------------------------------------------------------------
// Formats and flags

/// Pixel, vertex-element and index formats (values of the DXGI formats they stand for).
enum class Format : uint32_t {
    UNKNOWN = 0,
    R32G32B32A32_FLOAT = 2,
    R32G32B32A32_UINT = 3,
    R32G32B32A32_SINT = 4,
    R32G32B32_FLOAT = 6,
    R16G16B16A16_FLOAT = 10,
    R32G32_FLOAT = 16,
    D32_FLOAT = 40,
    R32_FLOAT = 41,
    R32_UINT = 42,
    R32_SINT = 43,
    D24_UNORM_S8_UINT = 45,
    R8G8B8A8_UNORM = 28,
    R16G16_FLOAT = 34,
    R8G8_UNORM = 49,
    R16_FLOAT = 54,
    R16_UINT = 57,
    R8_UNORM = 61,
    B8G8R8A8_UNORM = 87,
};

enum class Usage : uint32_t { DEFAULT = 0, IMMUTABLE = 1, DYNAMIC = 2, STAGING = 3 };

enum BindFlag : uint32_t {
    BIND_VERTEX_BUFFER = 0x1,
    BIND_INDEX_BUFFER = 0x2,
    BIND_CONSTANT_BUFFER = 0x4,
    BIND_SHADER_RESOURCE = 0x8,
    BIND_RENDER_TARGET = 0x20,
    BIND_DEPTH_STENCIL = 0x40,
};

enum CpuAccessFlag : uint32_t { CPU_ACCESS_WRITE = 0x10000, CPU_ACCESS_READ = 0x20000 };

enum ResourceMiscFlag : uint32_t {
    RESOURCE_MISC_GENERATE_MIPS = 0x1,
    RESOURCE_MISC_TEXTURECUBE = 0x4,  ///< a 2D texture of six square layers read as a cube
    RESOURCE_MISC_BUFFER_STRUCTURED = 0x40
};

enum class MapType : uint32_t {
    READ = 1,
    WRITE = 2,
    READ_WRITE = 3,
    WRITE_DISCARD = 4,
    WRITE_NO_OVERWRITE = 5
};

enum ClearFlag : uint32_t { CLEAR_DEPTH = 0x1, CLEAR_STENCIL = 0x2 };

enum class PrimitiveTopology : uint32_t {
    UNDEFINED = 0,
    POINTLIST = 1,
    LINELIST = 2,
    LINESTRIP = 3,
    TRIANGLELIST = 4,
    TRIANGLESTRIP = 5,
};

/// Special value of `InputElementDesc::AlignedByteOffset`: right after the previous element.
constexpr uint32_t APPEND_ALIGNED_ELEMENT = 0xffffffffu;

// ---------------------------------------------------------------------------------------------------
// Resource descriptions

/// Initial contents of one subresource (mip level); pitches in bytes (0: tightly packed).
struct SubresourceData {
    const void* pSysMem = nullptr;
    uint32_t SysMemPitch = 0;
    uint32_t SysMemSlicePitch = 0;
};

struct BufferDesc {
    uint32_t ByteWidth = 0;
    Gpu::Usage Usage = Gpu::Usage::DEFAULT;
    uint32_t BindFlags = 0;
    uint32_t CPUAccessFlags = 0;
    uint32_t MiscFlags = 0;
    uint32_t StructureByteStride = 0;
};

struct SampleDesc {
    uint32_t Count = 1;
    uint32_t Quality = 0;
};

/// MipLevels 0 asks for the full chain down to 1 by 1, as on the interface this stands for.
struct Texture2DDesc {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t MipLevels = 1;
    uint32_t ArraySize = 1;
    Gpu::Format Format = Gpu::Format::R8G8B8A8_UNORM;
    Gpu::SampleDesc SampleDesc{};
    Gpu::Usage Usage = Gpu::Usage::DEFAULT;
    uint32_t BindFlags = BIND_SHADER_RESOURCE;
    uint32_t CPUAccessFlags = 0;
    uint32_t MiscFlags = 0;
};

/// A row of texels; ArraySize > 1 makes an array of rows, read by a shader's Texture1DArray.
struct Texture1DDesc {
    uint32_t Width = 0;
    uint32_t MipLevels = 1;
    uint32_t ArraySize = 1;
    Gpu::Format Format = Gpu::Format::R8G8B8A8_UNORM;
    Gpu::Usage Usage = Gpu::Usage::DEFAULT;
    uint32_t BindFlags = BIND_SHADER_RESOURCE;
    uint32_t CPUAccessFlags = 0;
    uint32_t MiscFlags = 0;
};

struct Texture3DDesc {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t Depth = 0;
    uint32_t MipLevels = 1;
    Gpu::Format Format = Gpu::Format::R8G8B8A8_UNORM;
    Gpu::Usage Usage = Gpu::Usage::DEFAULT;
    uint32_t BindFlags = BIND_SHADER_RESOURCE;
    uint32_t CPUAccessFlags = 0;
    uint32_t MiscFlags = 0;
};

/// A region of a subresource, in texels (or bytes for buffers); right, bottom and back are exclusive.
struct Box {
    uint32_t left = 0, top = 0, front = 0;
    uint32_t right = 0, bottom = 0, back = 0;
};

/// Where a mapped subresource can be written.
struct MappedSubresource {
    void* pData = nullptr;
    uint32_t RowPitch = 0;
    uint32_t DepthPitch = 0;
};

// ---------------------------------------------------------------------------------------------------
// View descriptions (a null description views the whole resource in its own format)

enum class SrvDimension : uint32_t {
    UNKNOWN = 0,
    BUFFER = 1,
    TEXTURE1D = 2,
    TEXTURE1DARRAY = 3,
    TEXTURE2D = 4,
    TEXTURE2DARRAY = 5,
    TEXTURE3D = 8,
    TEXTURECUBE = 9
};

struct ShaderResourceViewDesc {
    Gpu::Format Format = Gpu::Format::UNKNOWN;  ///< UNKNOWN: the resource's format (always so for buffers)
    Gpu::SrvDimension ViewDimension = Gpu::SrvDimension::UNKNOWN;
    struct {
        uint32_t FirstElement = 0;
        uint32_t NumElements = 0;
    } Buffer{};
    struct {
        uint32_t MostDetailedMip = 0;
        uint32_t MipLevels = 0xffffffffu;  ///< -1: down to the smallest level
    } Texture;                             ///< 2D and 3D alike
};

enum class RtvDimension : uint32_t { UNKNOWN = 0, TEXTURE2D = 4 };

struct RenderTargetViewDesc {
    Gpu::Format Format = Gpu::Format::UNKNOWN;
    Gpu::RtvDimension ViewDimension = Gpu::RtvDimension::TEXTURE2D;
    struct {
        uint32_t MipSlice = 0;
    } Texture2D{};
};

enum class DsvDimension : uint32_t { UNKNOWN = 0, TEXTURE2D = 3 };

struct DepthStencilViewDesc {
    Gpu::Format Format = Gpu::Format::UNKNOWN;
    Gpu::DsvDimension ViewDimension = Gpu::DsvDimension::TEXTURE2D;
    uint32_t Flags = 0;
    struct {
        uint32_t MipSlice = 0;
    } Texture2D{};
};

// ---------------------------------------------------------------------------------------------------
// State descriptions

enum class ComparisonFunc : uint32_t {
    NEVER = 1,
    LESS = 2,
    EQUAL = 3,
    LESS_EQUAL = 4,
    GREATER = 5,
    NOT_EQUAL = 6,
    GREATER_EQUAL = 7,
    ALWAYS = 8,
};

enum class DepthWriteMask : uint32_t { ZERO = 0, ALL = 1 };

enum class StencilOp : uint32_t {
    KEEP = 1,
    ZERO = 2,
    REPLACE = 3,
    INCR_SAT = 4,
    DECR_SAT = 5,
    INVERT = 6,
    INCR = 7,
    DECR = 8,
};

struct DepthStencilOpDesc {
    Gpu::StencilOp StencilFailOp = Gpu::StencilOp::KEEP;
    Gpu::StencilOp StencilDepthFailOp = Gpu::StencilOp::KEEP;
    Gpu::StencilOp StencilPassOp = Gpu::StencilOp::KEEP;
    Gpu::ComparisonFunc StencilFunc = Gpu::ComparisonFunc::ALWAYS;
};

struct DepthStencilDesc {
    bool DepthEnable = true;
    Gpu::DepthWriteMask DepthWriteMask = Gpu::DepthWriteMask::ALL;
    Gpu::ComparisonFunc DepthFunc = Gpu::ComparisonFunc::LESS;
    bool StencilEnable = false;
    uint8_t StencilReadMask = 0xff;
    uint8_t StencilWriteMask = 0xff;
    Gpu::DepthStencilOpDesc FrontFace{};
    Gpu::DepthStencilOpDesc BackFace{};
};

enum class FillMode : uint32_t { WIREFRAME = 2, SOLID = 3 };
enum class CullMode : uint32_t { NONE = 1, FRONT = 2, BACK = 3 };

struct RasterizerDesc {
    Gpu::FillMode FillMode = Gpu::FillMode::SOLID;
    Gpu::CullMode CullMode = Gpu::CullMode::BACK;
    bool FrontCounterClockwise = false;  ///< false: clockwise triangles are front faces
    int32_t DepthBias = 0;
    float DepthBiasClamp = 0.0f;
    float SlopeScaledDepthBias = 0.0f;
    bool DepthClipEnable = true;
    bool ScissorEnable = false;
    bool MultisampleEnable = false;
    bool AntialiasedLineEnable = false;
};

enum class Blend : uint32_t {
    ZERO = 1,
    ONE = 2,
    SRC_COLOR = 3,
    INV_SRC_COLOR = 4,
    SRC_ALPHA = 5,
    INV_SRC_ALPHA = 6,
    DEST_ALPHA = 7,
    INV_DEST_ALPHA = 8,
    DEST_COLOR = 9,
    INV_DEST_COLOR = 10,
    SRC_ALPHA_SAT = 11,
    BLEND_FACTOR = 14,
    INV_BLEND_FACTOR = 15,
};

enum class BlendOp : uint32_t { ADD = 1, SUBTRACT = 2, REV_SUBTRACT = 3, MIN = 4, MAX = 5 };

enum ColorWriteEnable : uint8_t {
    COLOR_WRITE_ENABLE_RED = 1,
    COLOR_WRITE_ENABLE_GREEN = 2,
    COLOR_WRITE_ENABLE_BLUE = 4,
    COLOR_WRITE_ENABLE_ALPHA = 8,
    COLOR_WRITE_ENABLE_ALL = 15,
};

struct RenderTargetBlendDesc {
    bool BlendEnable = false;
    Gpu::Blend SrcBlend = Gpu::Blend::ONE;
    Gpu::Blend DestBlend = Gpu::Blend::ZERO;
    Gpu::BlendOp BlendOp = Gpu::BlendOp::ADD;
    Gpu::Blend SrcBlendAlpha = Gpu::Blend::ONE;
    Gpu::Blend DestBlendAlpha = Gpu::Blend::ZERO;
    Gpu::BlendOp BlendOpAlpha = Gpu::BlendOp::ADD;
    uint8_t RenderTargetWriteMask = COLOR_WRITE_ENABLE_ALL;
};

constexpr uint32_t kMaxRenderTargets = 8;

struct BlendDesc {
    bool AlphaToCoverageEnable = false;
    bool IndependentBlendEnable = false;  ///< false: RenderTarget[0] applies to every target
    Gpu::RenderTargetBlendDesc RenderTarget[kMaxRenderTargets]{};
};

/// Sampler filters; the bits say min (0x10), mag (0x4) and mip (0x1) linear, 0x40 anisotropic.
enum class Filter : uint32_t {
    MIN_MAG_MIP_POINT = 0x0,
    MIN_MAG_POINT_MIP_LINEAR = 0x1,
    MIN_POINT_MAG_LINEAR_MIP_POINT = 0x4,
    MIN_POINT_MAG_MIP_LINEAR = 0x5,
    MIN_LINEAR_MAG_MIP_POINT = 0x10,
    MIN_LINEAR_MAG_POINT_MIP_LINEAR = 0x11,
    MIN_MAG_LINEAR_MIP_POINT = 0x14,
    MIN_MAG_MIP_LINEAR = 0x15,
    ANISOTROPIC = 0x55,
};

enum class TextureAddressMode : uint32_t { WRAP = 1, MIRROR = 2, CLAMP = 3, BORDER = 4, MIRROR_ONCE = 5 };

struct SamplerDesc {
    Gpu::Filter Filter = Gpu::Filter::MIN_MAG_MIP_LINEAR;
    Gpu::TextureAddressMode AddressU = Gpu::TextureAddressMode::CLAMP;
    Gpu::TextureAddressMode AddressV = Gpu::TextureAddressMode::CLAMP;
    Gpu::TextureAddressMode AddressW = Gpu::TextureAddressMode::CLAMP;
    float MipLODBias = 0.0f;
    uint32_t MaxAnisotropy = 1;
    Gpu::ComparisonFunc ComparisonFunc = Gpu::ComparisonFunc::NEVER;
    float BorderColor[4] = {0, 0, 0, 0};
    float MinLOD = -FLT_MAX;
    float MaxLOD = FLT_MAX;
};

// ---------------------------------------------------------------------------------------------------
// Input layout

enum class InputClassification : uint32_t { PER_VERTEX_DATA = 0, PER_INSTANCE_DATA = 1 };

struct InputElementDesc {
    const char* SemanticName = "";
    uint32_t SemanticIndex = 0;
    Gpu::Format Format = Gpu::Format::UNKNOWN;
    uint32_t InputSlot = 0;
    uint32_t AlignedByteOffset = 0;
    Gpu::InputClassification InputSlotClass = Gpu::InputClassification::PER_VERTEX_DATA;
    uint32_t InstanceDataStepRate = 0;
};

// ---------------------------------------------------------------------------------------------------
// Pipeline records

struct Viewport {
    float TopLeftX = 0.0f;
    float TopLeftY = 0.0f;
    float Width = 0.0f;
    float Height = 0.0f;
    float MinDepth = 0.0f;
    float MaxDepth = 1.0f;
};

/// A scissor rectangle in pixels; right and bottom are exclusive.
struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Register counts per shader stage, as the interface this stands for offers them.
constexpr uint32_t kConstantBufferSlots = 14;
constexpr uint32_t kShaderResourceSlots = 32;
constexpr uint32_t kSamplerSlots = 16;
constexpr uint32_t kVertexBufferSlots = 16;
constexpr uint32_t kViewportSlots = 16;

// ---------------------------------------------------------------------------------------------------
// Counters

/// What the layer sent to the GPU since the counters were last reset (tests and benchmarks read it).
struct Counters {
    uint64_t uploads = 0;      ///< buffer and texture data transfers actually made
    uint64_t uploadBytes = 0;  ///< bytes of those transfers
    uint64_t maps = 0;         ///< Map calls that succeeded
    uint64_t draws = 0;        ///< Draw, DrawInstanced, DrawIndexed and DrawIndexedInstanced calls
    uint64_t instances = 0;    ///< instances asked for by DrawInstanced and DrawIndexedInstanced
    uint64_t clears = 0;       ///< render-target and depth-stencil clears
    uint64_t presents = 0;     ///< swap chain presents
    uint64_t glErrors = 0;     ///< errors the GL driver reported (always 0 in a sound program)

    void Reset() { *this = Counters{}; }
};

}  // namespace Gpu
