// The packing rules by hand: offsets an HLSL compiler gives (registers for cbuffers, tight for
// StructuredBuffers) and the GL layouts we translate them to.
#include "platform/hlsl/bufferPacking.h"

#include <gtest/gtest.h>

namespace {

using Hlsl::CopyRange;
using Hlsl::LayOut;
using Hlsl::PackedLayout;
using Hlsl::PackedType;
using Hlsl::Packing;

PackedType Vector(uint32_t components) {
    return PackedType{components, 1, 0, {}};
}
PackedType Array(PackedType element, uint32_t length) {
    element.arrayLength = length;
    return element;
}
// `vectors` contiguous vectors of `components` each, as the matrix is stored.
PackedType Matrix(uint32_t components, uint32_t vectors) {
    return PackedType{components, vectors, 0, {}};
}
PackedType Struct(std::vector<PackedType> members) {
    return PackedType{1, 1, 0, std::move(members)};
}

std::vector<uint32_t> Offsets(const PackedLayout& layout) {
    std::vector<uint32_t> offsets;
    for (const PackedLayout& member : layout.members) offsets.push_back(member.offset);
    return offsets;
}

TEST(HlslBufferPacking, RegistersLetNothingStraddleSixteenBytes) {
    // float a; float3 b; float2 c; float3 d; float e;
    const PackedType block = Struct({Vector(1), Vector(3), Vector(2), Vector(3), Vector(1)});
    const PackedLayout hlsl = LayOut(block, Packing::Registers);
    EXPECT_EQ(Offsets(hlsl), (std::vector<uint32_t>{0, 4, 16, 32, 44}));
    EXPECT_EQ(hlsl.size, 48u);
    // GL aligns a vec3 to 16 wherever it fits.
    EXPECT_EQ(Offsets(LayOut(block, Packing::Std140)), (std::vector<uint32_t>{0, 16, 32, 48, 60}));
}

TEST(HlslBufferPacking, RegistersStartArrayElementsOnRegistersButPackAfterTheLast) {
    // float e[2]; float g; float2 h[2]; float2 i;
    const PackedType block = Struct({Array(Vector(1), 2), Vector(1), Array(Vector(2), 2), Vector(2)});
    const PackedLayout hlsl = LayOut(block, Packing::Registers);
    EXPECT_EQ(Offsets(hlsl), (std::vector<uint32_t>{0, 20, 32, 56}));
    EXPECT_EQ(hlsl.members[0].arrayStride, 16u);
    EXPECT_EQ(hlsl.size, 64u);
    const PackedLayout gl = LayOut(block, Packing::Std140);
    EXPECT_EQ(Offsets(gl), (std::vector<uint32_t>{0, 32, 48, 80}));
    EXPECT_EQ(gl.size, 96u);
}

TEST(HlslBufferPacking, RegistersGiveEachMatrixVectorARegister) {
    // float3x3 m (three columns of three); float t; row_major float4x3 r (four rows of three); float u;
    const PackedType block = Struct({Matrix(3, 3), Vector(1), Matrix(3, 4), Vector(1)});
    const PackedLayout hlsl = LayOut(block, Packing::Registers);
    EXPECT_EQ(Offsets(hlsl), (std::vector<uint32_t>{0, 44, 48, 108}));
    EXPECT_EQ(hlsl.members[0].vectorStride, 16u);
    const PackedLayout gl = LayOut(block, Packing::Std140);
    EXPECT_EQ(Offsets(gl), (std::vector<uint32_t>{0, 48, 64, 128}));
    EXPECT_EQ(gl.size, 144u);
}

TEST(HlslBufferPacking, RegistersAlignStructsButLetTheNextMemberUseTheirTail) {
    // struct { float3 a; } s[2]; float b; struct { float a; float3 c; } t; float u;
    const PackedType block =
        Struct({Array(Struct({Vector(3)}), 2), Vector(1), Struct({Vector(1), Vector(3)}), Vector(1)});
    const PackedLayout hlsl = LayOut(block, Packing::Registers);
    EXPECT_EQ(Offsets(hlsl), (std::vector<uint32_t>{0, 28, 32, 48}));
    EXPECT_EQ(Offsets(hlsl.members[2]), (std::vector<uint32_t>{0, 4}));
    const PackedLayout gl = LayOut(block, Packing::Std140);
    EXPECT_EQ(Offsets(gl), (std::vector<uint32_t>{0, 32, 48, 80}));
    EXPECT_EQ(Offsets(gl.members[2]), (std::vector<uint32_t>{0, 16}));
}

TEST(HlslBufferPacking, TightPackingHasNoPaddingBeyondFourBytes) {
    // The sprite record: float x, y; float4 colour; float a, b; int cell.
    const PackedType sprite = Struct({Vector(1), Vector(1), Vector(4), Vector(1), Vector(1), Vector(1)});
    const PackedLayout hlsl = LayOut(sprite, Packing::Tight);
    EXPECT_EQ(Offsets(hlsl), (std::vector<uint32_t>{0, 4, 8, 24, 28, 32}));
    EXPECT_EQ(hlsl.size, 36u);
    const PackedLayout gl = LayOut(sprite, Packing::Std430);
    EXPECT_EQ(Offsets(gl), (std::vector<uint32_t>{0, 4, 16, 32, 36, 40}));
    EXPECT_EQ(gl.size, 48u);

    // float2 a; float3x2 m (two columns of three); float b[3]; float3 v;
    const PackedType mixed = Struct({Vector(2), Matrix(3, 2), Array(Vector(1), 3), Vector(3)});
    EXPECT_EQ(Offsets(LayOut(mixed, Packing::Tight)), (std::vector<uint32_t>{0, 8, 32, 44}));
    EXPECT_EQ(LayOut(mixed, Packing::Tight).size, 56u);
    EXPECT_EQ(Offsets(LayOut(mixed, Packing::Std430)), (std::vector<uint32_t>{0, 16, 48, 64}));
    EXPECT_EQ(LayOut(mixed, Packing::Std430).size, 80u);
}

TEST(HlslBufferPacking, CopyListMovesEveryComponentAndMergesNeighbours) {
    const PackedType sprite = Struct({Vector(1), Vector(1), Vector(4), Vector(1), Vector(1), Vector(1)});
    const auto copies = CopyList(sprite, LayOut(sprite, Packing::Tight), LayOut(sprite, Packing::Std430));
    EXPECT_EQ(copies, (std::vector<CopyRange>{{0, 0, 8}, {8, 16, 28}}));
    EXPECT_FALSE(Hlsl::IsIdentity(copies));

    // float e[2]; float g; float3x3 m; float t1, t2;
    const PackedType block = Struct({Array(Vector(1), 2), Vector(1), Matrix(3, 3), Vector(1), Vector(1)});
    const auto moved = CopyList(block, LayOut(block, Packing::Registers), LayOut(block, Packing::Std140));
    EXPECT_EQ(
        moved,
        (std::vector<CopyRange>{
            {0, 0, 4}, {16, 16, 4}, {20, 32, 4}, {32, 48, 12}, {48, 64, 12}, {64, 80, 12}, {76, 96, 8}}));
}

TEST(HlslBufferPacking, CommonRecordsNeedNoRepack) {
    // A 4x4 matrix and a colour; and a matrix with an int and three floats.
    const PackedType constants = Struct({Matrix(4, 4), Vector(4)});
    const auto copies =
        CopyList(constants, LayOut(constants, Packing::Registers), LayOut(constants, Packing::Std140));
    EXPECT_EQ(copies, (std::vector<CopyRange>{{0, 0, 80}}));
    EXPECT_TRUE(Hlsl::IsIdentity(copies));

    const PackedType shape = Struct({Matrix(4, 4), Vector(1), Vector(1), Vector(1), Vector(1)});
    EXPECT_EQ(LayOut(shape, Packing::Tight).size, 80u);
    EXPECT_EQ(LayOut(shape, Packing::Std430).size, 80u);
    EXPECT_TRUE(
        Hlsl::IsIdentity(CopyList(shape, LayOut(shape, Packing::Tight), LayOut(shape, Packing::Std430))));
}

}  // namespace
