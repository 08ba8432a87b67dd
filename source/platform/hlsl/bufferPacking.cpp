#include "platform/hlsl/bufferPacking.h"

#include <algorithm>
#include <cassert>

namespace Hlsl {
namespace {

constexpr uint32_t kRegister = 16;

uint32_t RoundUp(uint32_t value, uint32_t multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

// GL base alignment of a vector of n 32-bit components (std140 and std430 agree here).
uint32_t VectorAlignment(uint32_t components) {
    return components == 1 ? 4 : components == 2 ? 8 : 16;
}

bool IsGl(Packing packing) {
    return packing == Packing::Std140 || packing == Packing::Std430;
}

PackedLayout LayOutElement(const PackedType& type, Packing packing);

// Places `layout` (size and alignment known) after `end`, the first free byte of the enclosing struct.
uint32_t Place(const PackedType& type, const PackedLayout& layout, uint32_t end, Packing packing) {
    if (packing == Packing::Registers && !type.IsStruct() && !type.IsMatrix() && !type.IsArray()) {
        // A vector may follow anything in a register, but may not straddle two of them.
        const uint32_t offset = end;
        return offset / kRegister == (offset + layout.size - 1) / kRegister ? offset
                                                                            : RoundUp(offset, kRegister);
    }
    return RoundUp(end, layout.alignment);
}

PackedLayout LayOutMembers(const PackedType& type, Packing packing) {
    PackedLayout layout;
    uint32_t end = 0;
    uint32_t alignment = 4;
    for (const PackedType& member : type.members) {
        PackedLayout placed;
        if (member.IsArray()) {
            const PackedLayout element = LayOutElement(member, packing);
            uint32_t elementAlignment = element.alignment;
            uint32_t stride = element.size;
            switch (packing) {
                case Packing::Registers:
                    elementAlignment = kRegister;
                    stride = RoundUp(element.size, kRegister);
                    break;
                case Packing::Tight:
                    break;
                case Packing::Std140:
                    elementAlignment = RoundUp(element.alignment, kRegister);
                    stride = RoundUp(element.size, elementAlignment);
                    break;
                case Packing::Std430:
                    stride = RoundUp(element.size, element.alignment);
                    break;
            }
            placed = element;
            placed.alignment = elementAlignment;
            placed.arrayStride = stride;
            // HLSL packing leaves the last element unpadded: what follows may use its tail.
            placed.size = IsGl(packing) ? stride * member.arrayLength
                                        : stride * (member.arrayLength - 1) + element.size;
        } else {
            placed = LayOutElement(member, packing);
        }
        placed.offset = Place(member, placed, end, packing);
        end = placed.offset + placed.size;
        alignment = std::max(alignment, placed.alignment);
        layout.members.push_back(std::move(placed));
    }
    switch (packing) {
        case Packing::Registers:
            layout.alignment = kRegister;
            break;
        case Packing::Tight:
            layout.alignment = 4;
            break;
        case Packing::Std140:
            layout.alignment = RoundUp(alignment, kRegister);
            break;
        case Packing::Std430:
            layout.alignment = alignment;
            break;
    }
    layout.size = IsGl(packing) ? RoundUp(end, layout.alignment) : end;
    return layout;
}

// One element of `type` (arrays are handled by the caller), at offset 0.
PackedLayout LayOutElement(const PackedType& type, Packing packing) {
    if (type.IsStruct()) return LayOutMembers(type, packing);
    PackedLayout layout;
    const uint32_t bytes = 4 * type.vectorSize;
    if (!type.IsMatrix()) {
        layout.size = bytes;
        layout.alignment = IsGl(packing) ? VectorAlignment(type.vectorSize) : 4;
        return layout;
    }
    switch (packing) {
        case Packing::Registers:
            layout.vectorStride = kRegister;
            layout.alignment = kRegister;
            layout.size = kRegister * (type.vectorCount - 1) + bytes;
            break;
        case Packing::Tight:
            layout.vectorStride = bytes;
            layout.alignment = 4;
            layout.size = bytes * type.vectorCount;
            break;
        case Packing::Std140:
            layout.vectorStride = kRegister;
            layout.alignment = kRegister;
            layout.size = kRegister * type.vectorCount;
            break;
        case Packing::Std430:
            layout.alignment = VectorAlignment(type.vectorSize);
            layout.vectorStride = RoundUp(bytes, layout.alignment);
            layout.size = layout.vectorStride * type.vectorCount;
            break;
    }
    return layout;
}

void Append(std::vector<CopyRange>& copies, uint32_t source, uint32_t destination, uint32_t size) {
    if (!copies.empty()) {
        CopyRange& last = copies.back();
        if (last.source + last.size == source && last.destination + last.size == destination) {
            last.size += size;
            return;
        }
    }
    copies.push_back({source, destination, size});
}

void CopyElement(const PackedType& type, uint32_t fromBase, uint32_t toBase, const PackedLayout& from,
                 const PackedLayout& to, std::vector<CopyRange>& copies);

// `fromBase`/`toBase` are the starts of the struct that holds the member.
void CopyMember(const PackedType& type, uint32_t fromBase, uint32_t toBase, const PackedLayout& from,
                const PackedLayout& to, std::vector<CopyRange>& copies) {
    const uint32_t count = type.IsArray() ? type.arrayLength : 1;
    for (uint32_t i = 0; i < count; ++i) {
        CopyElement(type, fromBase + from.offset + i * from.arrayStride,
                    toBase + to.offset + i * to.arrayStride, from, to, copies);
    }
}

void CopyElement(const PackedType& type, uint32_t fromBase, uint32_t toBase, const PackedLayout& from,
                 const PackedLayout& to, std::vector<CopyRange>& copies) {
    if (type.IsStruct()) {
        assert(from.members.size() == type.members.size() && to.members.size() == type.members.size());
        for (size_t m = 0; m < type.members.size(); ++m) {
            CopyMember(type.members[m], fromBase, toBase, from.members[m], to.members[m], copies);
        }
        return;
    }
    for (uint32_t v = 0; v < type.vectorCount; ++v) {
        Append(copies, fromBase + v * from.vectorStride, toBase + v * to.vectorStride, 4 * type.vectorSize);
    }
}

}  // namespace

PackedLayout LayOut(const PackedType& block, Packing packing) {
    assert(block.IsStruct() && !block.IsArray());
    return LayOutMembers(block, packing);
}

std::vector<CopyRange> CopyList(const PackedType& block, const PackedLayout& from, const PackedLayout& to) {
    std::vector<CopyRange> copies;
    CopyElement(block, 0, 0, from, to, copies);
    return copies;
}

bool IsIdentity(const std::vector<CopyRange>& copies) {
    return std::all_of(copies.begin(), copies.end(),
                       [](const CopyRange& range) { return range.source == range.destination; });
}

}  // namespace Hlsl
