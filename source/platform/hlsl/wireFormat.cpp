#include "platform/hlsl/wireFormat.h"

namespace Hlsl::Wire {

void Writer::U32(uint32_t value) {
    for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>(value >> (8 * i)));
}

void Writer::String(std::string_view text) {
    U32(static_cast<uint32_t>(text.size()));
    Raw(text);
}

bool Reader::Take(size_t size) {
    if (!m_ok || size > m_bytes.size() - m_at) {
        m_ok = false;
        return false;
    }
    return true;
}

uint8_t Reader::U8() {
    if (!Take(1)) return 0;
    return static_cast<uint8_t>(m_bytes[m_at++]);
}

uint32_t Reader::U32() {
    if (!Take(4)) return 0;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t(static_cast<uint8_t>(m_bytes[m_at++])) << (8 * i);
    return value;
}

std::string_view Reader::Raw(size_t size) {
    if (!Take(size)) return {};
    const std::string_view bytes = m_bytes.substr(m_at, size);
    m_at += size;
    return bytes;
}

std::string Reader::String() {
    const uint32_t size = U32();
    return std::string(Raw(size));
}

uint32_t Reader::Count(size_t minBytes) {
    const uint32_t count = U32();
    if (m_ok && minBytes > 0 && count > (m_bytes.size() - m_at) / minBytes) m_ok = false;
    return m_ok ? count : 0;
}

namespace {

void WriteRanges(Writer& out, const std::vector<CopyRange>& ranges) {
    out.U32(static_cast<uint32_t>(ranges.size()));
    for (const CopyRange& range : ranges) {
        out.U32(range.source);
        out.U32(range.destination);
        out.U32(range.size);
    }
}

void ReadRanges(Reader& in, std::vector<CopyRange>& ranges) {
    ranges.resize(in.Count(12));
    for (CopyRange& range : ranges) {
        range.source = in.U32();
        range.destination = in.U32();
        range.size = in.U32();
    }
}

// The GPU layer copies buffer bytes by these ranges and binds by these slots without asking again, so
// what comes from outside this process must stay within the blocks it describes.
bool RangesFit(const std::vector<CopyRange>& ranges, uint64_t sourceSize, uint64_t destinationSize) {
    for (const CopyRange& range : ranges) {
        if (uint64_t(range.source) + range.size > sourceSize ||
            uint64_t(range.destination) + range.size > destinationSize)
            return false;
    }
    return true;
}

bool Plausible(const ShaderCode& code) {
    constexpr uint32_t kSlots = 16;
    for (const ConstantBlock& block : code.constants) {
        if (block.slot >= kSlots || !RangesFit(block.repack, block.hlslSize, block.glSize)) return false;
    }
    for (const StructuredBlock& block : code.structured) {
        // A structured buffer's source stride is the buffer's own, known only at draw time.
        if (block.slot >= kSlots || !RangesFit(block.repack, UINT32_MAX, block.glStride)) return false;
    }
    for (const TextureBinding& texture : code.textures) {
        if (texture.textureSlot >= kSlots || texture.samplerSlot < -1 ||
            texture.samplerSlot >= static_cast<int>(kSlots) ||
            static_cast<uint32_t>(texture.type) >= kTextureTypes)
            return false;
    }
    return true;
}

}  // namespace

void WriteShaderCode(Writer& out, const ShaderCode& code) {
    out.U8(code.stage == Stage::Vertex ? 0 : 1);
    out.String(code.entryPoint);
    out.String(code.glsl);
    out.U32(static_cast<uint32_t>(code.inputs.size()));
    for (const VertexInput& input : code.inputs) {
        out.String(input.semantic);
        out.U32(input.index);
        out.U32(input.location);
    }
    out.U32(static_cast<uint32_t>(code.varyings.size()));
    for (const Varying& varying : code.varyings) {
        out.String(varying.semantic);
        out.U32(varying.index);
        out.U32(varying.location);
        out.U32(varying.components);
        out.U8(varying.named ? 1 : 0);
    }
    out.U32(static_cast<uint32_t>(code.constants.size()));
    for (const ConstantBlock& block : code.constants) {
        out.U32(block.slot);
        out.String(block.name);
        out.U32(block.hlslSize);
        out.U32(block.glSize);
        WriteRanges(out, block.repack);
    }
    out.U32(static_cast<uint32_t>(code.structured.size()));
    for (const StructuredBlock& block : code.structured) {
        out.U32(block.slot);
        out.String(block.name);
        out.U32(block.hlslStride);
        out.U32(block.glStride);
        WriteRanges(out, block.repack);
    }
    out.U32(static_cast<uint32_t>(code.textures.size()));
    for (const TextureBinding& texture : code.textures) {
        out.String(texture.name);
        out.U32(texture.textureSlot);
        out.U32(static_cast<uint32_t>(texture.samplerSlot));
        out.U32(static_cast<uint32_t>(texture.type));
    }
    out.String(code.sourceName);
    out.U8(code.loopBudget ? 1 : 0);
}

bool ReadShaderCode(Reader& in, ShaderCode& code) {
    const uint8_t stage = in.U8();
    if (stage > 1) return false;
    code.stage = stage == 0 ? Stage::Vertex : Stage::Pixel;
    code.entryPoint = in.String();
    code.glsl = in.String();
    code.inputs.resize(in.Count(12));
    for (VertexInput& input : code.inputs) {
        input.semantic = in.String();
        input.index = in.U32();
        input.location = in.U32();
    }
    code.varyings.resize(in.Count(17));
    for (Varying& varying : code.varyings) {
        varying.semantic = in.String();
        varying.index = in.U32();
        varying.location = in.U32();
        varying.components = in.U32();
        varying.named = in.U8() != 0;
    }
    code.constants.resize(in.Count(20));
    for (ConstantBlock& block : code.constants) {
        block.slot = in.U32();
        block.name = in.String();
        block.hlslSize = in.U32();
        block.glSize = in.U32();
        ReadRanges(in, block.repack);
    }
    code.structured.resize(in.Count(20));
    for (StructuredBlock& block : code.structured) {
        block.slot = in.U32();
        block.name = in.String();
        block.hlslStride = in.U32();
        block.glStride = in.U32();
        ReadRanges(in, block.repack);
    }
    code.textures.resize(in.Count(16));
    for (TextureBinding& texture : code.textures) {
        texture.name = in.String();
        texture.textureSlot = in.U32();
        texture.samplerSlot = static_cast<int>(in.U32());
        texture.type = static_cast<TextureType>(in.U32());
    }
    code.sourceName = in.String();
    code.loopBudget = in.U8() != 0;
    return in.Ok() && !code.glsl.empty() && Plausible(code);
}

}  // namespace Hlsl::Wire
