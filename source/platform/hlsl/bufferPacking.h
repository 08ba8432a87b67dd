// The two ways HLSL lays out buffer contents (constant-buffer register packing and the tight packing
// of structured buffers), the two ways GL does (std140 and std430), and the copy list that moves bytes
// from one to the other. Pure arithmetic over a small type tree, so it can be checked by hand.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/hlsl/shaderCode.h"

namespace Hlsl {

/// The shape of a buffer member as the packing rules see it: a run of `vectorCount` contiguous vectors
/// of `vectorSize` 32-bit components (a scalar or vector has one; a matrix one per column or row as
/// stored), or a struct when `members` is non-empty; either of them repeated `arrayLength` times when
/// that is non-zero.
struct PackedType {
    uint32_t vectorSize = 1;
    uint32_t vectorCount = 1;
    uint32_t arrayLength = 0;
    std::vector<PackedType> members;

    bool IsStruct() const { return !members.empty(); }
    bool IsMatrix() const { return !IsStruct() && vectorCount > 1; }
    bool IsArray() const { return arrayLength > 0; }
};

/// Where one member lies under one packing: mirrors the PackedType it was computed from.
struct PackedLayout {
    uint32_t offset = 0;  ///< relative to the enclosing struct (or block)
    uint32_t size = 0;    ///< bytes from offset to the end of the last byte used
    uint32_t alignment = 4;
    uint32_t arrayStride = 0;   ///< arrays only
    uint32_t vectorStride = 0;  ///< between the vectors of a matrix
    std::vector<PackedLayout> members;
};

enum class Packing {
    Registers,  ///< HLSL constant buffers: 16-byte registers, nothing straddles one
    Tight,      ///< HLSL structured buffers: 4-byte aligned, no padding
    Std140,     ///< GL uniform blocks
    Std430,     ///< GL shader storage blocks
};

/// Lays out the members of a block (a struct type) under one packing. Offsets are from the block start;
/// the result's size is the unpadded end for the HLSL packings and the padded struct size for GL.
PackedLayout LayOut(const PackedType& block, Packing packing);

/// Byte ranges that move every component from the `from` layout to the `to` layout of the same type,
/// in ascending source order, adjacent ranges merged.
std::vector<CopyRange> CopyList(const PackedType& block, const PackedLayout& from, const PackedLayout& to);

/// True when the copy list moves nothing: every component sits at the same offset in both layouts.
bool IsIdentity(const std::vector<CopyRange>& copies);

}  // namespace Hlsl
