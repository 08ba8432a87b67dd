// Tests of the dynamic buffers: geometry, vertex, constant and structured buffers.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

#include "graphics/constantBuffer.h"
#include "graphics/geometryBuffer.h"
#include "graphics/shader.h"
#include "graphics/structuredBuffer.h"
#include "graphics/vertexBuffer.h"
#include "main/device.h"
#include "support/logCapture.h"
#include "support/showFixture.h"

namespace {

using TestSupport::Image;
using TestSupport::LogCapture;
using TestSupport::LogLine;
using TestSupport::PixelNear;

struct Tap {
    float value[4];
};

std::vector<Tap> Taps(uint32_t count, float first) {
    std::vector<Tap> taps(count);
    for (uint32_t i = 0; i < count; ++i) taps[i] = {{first + i, 0.25f, 0.5f, 1.0f}};
    return taps;
}

class BuffersTest : public TestSupport::ShowTest {
protected:
    uint64_t Maps() { return Counters().maps; }
};

// ---------------------------------------------------------------------------------------------------
// Uploading only what changed

TEST_F(BuffersTest, ConstantBuffer_IdenticalUpdatesUploadOnce) {
    ConstantBuffer constants(32);
    ASSERT_NE(constants.GetBuffer(), nullptr);
    EXPECT_EQ(constants.GetBuffer()->GetDesc().BindFlags, unsigned(Gpu::BIND_CONSTANT_BUFFER));
    EXPECT_EQ(constants.GetBuffer()->GetDesc().Usage, Gpu::Usage::DYNAMIC);
    std::array<float, 8> values{1, 2, 3, 4, 5, 6, 7, 8};
    constants.Update(values.data());
    constants.Update(values.data());
    EXPECT_EQ(Maps(), 1u);
    values[7] = 9;  // a change in the last byte counts as much as one in the first
    constants.Update(values.data());
    EXPECT_EQ(Maps(), 2u);
}

TEST_F(BuffersTest, Buffers_FirstUpdateAfterCreationAlwaysUploads) {
    // All-zero bytes equal the fresh shadow, yet the GPU side holds nothing defined yet.
    const std::array<uint8_t, 64> zeros{};
    ConstantBuffer constants(16);
    constants.Update(zeros.data());
    EXPECT_EQ(Maps(), 1u);

    GeometryBuffer indices(Gpu::BIND_INDEX_BUFFER, 64);
    indices.Update(zeros.data(), 64);
    EXPECT_EQ(Maps(), 2u);

    StructuredBuffer<Tap> taps(16, 4);
    std::memset(taps.GetShadow(), 0, 4 * sizeof(Tap));
    taps.Update(reinterpret_cast<const Tap*>(zeros.data()), 4);
    EXPECT_EQ(Maps(), 3u);
    taps.Update(reinterpret_cast<const Tap*>(zeros.data()), 4);
    EXPECT_EQ(Maps(), 3u);
}

TEST_F(BuffersTest, GeometryBuffer_UploadsWhatTheGpuMightNotHold) {
    GeometryBuffer buffer(Gpu::BIND_VERTEX_BUFFER, 16);
    const uint8_t a[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    uint8_t b[16];
    std::memcpy(b, a, 16);
    b[0] = 99;
    buffer.Update(a, 16);
    buffer.Update(a, 8);  // a prefix of what was written: nothing to do
    EXPECT_EQ(Maps(), 1u);
    buffer.Update(b, 8);  // the discard leaves bytes 8 to 15 undefined on the GPU...
    EXPECT_EQ(Maps(), 2u);
    b[0] = 1;
    buffer.Update(a, 16);  // ...so although the shadow's tail still matches, all 16 go up again
    EXPECT_EQ(Maps(), 3u);
    EXPECT_EQ(std::memcmp(buffer.GetShadow(), a, 16), 0);
}

TEST_F(BuffersTest, GeometryBuffer_OversizedUpdateIsCutToTheBufferAndLoggedOnce) {
    GeometryBuffer buffer(Gpu::BIND_INDEX_BUFFER, 8);
    std::vector<uint16_t> indices{0, 1, 2, 3, 4, 5, 6, 7};
    LogCapture log;
    buffer.Update(indices.data(), 16);
    indices[1] = 7;
    buffer.Update(indices.data(), 16);
    EXPECT_EQ(log.Lines(),
              (std::vector<LogLine>{{"GeometryBuffer::Update",
                                     "Update of 16 bytes exceeds the buffer's 8 bytes; only those "
                                     "are written"}}));
    EXPECT_EQ(Maps(), 2u);
    EXPECT_EQ(std::memcmp(buffer.GetShadow(), indices.data(), 8), 0);
}

// ---------------------------------------------------------------------------------------------------
// Vertex buffers

TEST_F(BuffersTest, VertexBuffer_HoldsThirtyTwoByteVertices) {
    VertexBuffer<SVertexDesc> vertices(6);
    const AbstractVertexBuffer& abstract = vertices;
    EXPECT_EQ(abstract.GetStride(), 32u);
    EXPECT_EQ(vertices.GetVertexCount(), 6u);
    EXPECT_EQ(vertices.GetByteSize(), 192u);
    ASSERT_NE(vertices.GetBuffer(), nullptr);
    EXPECT_EQ(vertices.GetBuffer()->GetDesc().BindFlags, unsigned(Gpu::BIND_VERTEX_BUFFER));
    EXPECT_EQ(vertices.GetBuffer()->GetDesc().CPUAccessFlags, unsigned(Gpu::CPU_ACCESS_WRITE));
    EXPECT_EQ(offsetof(SVertexDesc, texcoord), 12u);
    EXPECT_EQ(offsetof(SVertexDesc, normal), 20u);
}

TEST_F(BuffersTest, VertexBuffer_DrawsWhatWasWrittenWithTheStandardLayout) {
    Data().Write("plain.fx", R"(
struct VertexIn { float3 position : POSITION; float2 texcoord : TEXCOORD0; float3 normal : NORMAL; };
struct PixelIn { float4 position : SV_Position; float3 colour : COLOR0; };
PixelIn VS(VertexIn input) {
    PixelIn output;
    output.position = float4(input.position, 1.0);
    output.colour = float3(input.texcoord, input.normal.z);
    return output;
}
float4 PS(PixelIn input) : SV_Target { return float4(input.colour, 1.0); }
)");
    Shader shader("plain.fx");
    const Target target = MakeTarget(16, 16);
    BindTarget(target);
    // A quad on the right half of the target, in strip order, all vertices alike but for position.
    VertexBuffer<SVertexDesc> vertices(4);
    std::array<SVertexDesc, 4> quad;
    const float corners[4][2] = {{0, -1}, {0, 1}, {1, -1}, {1, 1}};
    for (int i = 0; i < 4; ++i) quad[i] = {{corners[i][0], corners[i][1], 0.5f}, {1.0f, 0.0f}, {0, 0, 1.0f}};
    vertices.Update(quad.data(), 4);
    ASSERT_TRUE(shader.Set("PS"));
    g_graphics.context->IASetVertexBuffers(0, vertices.GetBuffer(), vertices.GetStride(), 0);
    g_graphics.context->IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
    g_graphics.context->Draw(4, 0);
    const Image image = Read(target.texture);
    EXPECT_TRUE(PixelNear(image, 12, 8, {255, 0, 255, 255}));
    EXPECT_TRUE(PixelNear(image, 3, 8, {0, 0, 0, 0}));
}

// ---------------------------------------------------------------------------------------------------
// Structured buffers

TEST_F(BuffersTest, StructuredBuffer_SmallerUpdateComparesAndUploadsOnlyItsElements) {
    StructuredBuffer<Tap> buffer(16, 8);
    EXPECT_EQ(buffer.GetCount(), 0u);
    EXPECT_EQ(buffer.GetStride(), 16u);
    EXPECT_EQ(buffer.GetCapacity(), 8u);
    ASSERT_NE(buffer.GetBuffer(), nullptr);
    ASSERT_NE(buffer.GetView(), nullptr);
    EXPECT_EQ(buffer.GetBuffer()->GetDesc().MiscFlags, unsigned(Gpu::RESOURCE_MISC_BUFFER_STRUCTURED));
    EXPECT_EQ(buffer.GetBuffer()->GetDesc().StructureByteStride, 16u);
    EXPECT_EQ(buffer.GetView()->GetDesc().Buffer.NumElements, 8u);

    const std::vector<Tap> eight = Taps(8, 0.0f);
    buffer.Update(eight.data(), 8);
    EXPECT_EQ(buffer.GetCount(), 8u);
    EXPECT_EQ(Maps(), 1u);

    // The first four as before: compared, equal, nothing sent; the count still follows.
    buffer.Update(eight.data(), 4);
    EXPECT_EQ(buffer.GetCount(), 4u);
    EXPECT_EQ(Maps(), 1u);

    std::vector<Tap> changed = Taps(4, 10.0f);
    const uint64_t bytesBefore = Counters().uploadBytes;
    buffer.Update(changed.data(), 4);
    EXPECT_EQ(buffer.GetCount(), 4u);
    EXPECT_EQ(Maps(), 2u);
    EXPECT_EQ(std::memcmp(buffer.GetShadow(), changed.data(), 4 * sizeof(Tap)), 0);
    EXPECT_EQ(std::memcmp(buffer.GetShadow() + 4, eight.data() + 4, 4 * sizeof(Tap)), 0);
    EXPECT_EQ(Counters().uploadBytes, bytesBefore);  // the device sends bytes only when a draw reads them
}

TEST_F(BuffersTest, StructuredBuffer_OverCapacityUpdateIsClampedAndLoggedOnce) {
    StructuredBuffer<Tap> buffer(16, 4);
    std::vector<Tap> many = Taps(64, 1.0f);
    LogCapture log;
    buffer.Update(many.data(), 64);
    EXPECT_EQ(buffer.GetCount(), 4u);
    many[0].value[0] = 42.0f;
    buffer.Update(many.data(), 1000000);
    EXPECT_EQ(buffer.GetCount(), 4u);
    EXPECT_EQ(log.Lines(),
              (std::vector<LogLine>{{"StructuredBuffer::Update",
                                     "Update of 64 elements exceeds the structured buffer's capacity "
                                     "of 4; only those are written"}}));
    EXPECT_EQ(Maps(), 2u);
    EXPECT_EQ(std::memcmp(buffer.GetShadow(), many.data(), 4 * sizeof(Tap)), 0);
}

TEST_F(BuffersTest, StructuredBuffer_ShadersReadTheElementsThroughTheView) {
    // Each pixel of an 8 by 1 target shows the element of its column.
    Data().Write("taps.fx", R"(
struct Tap { float4 value; };
StructuredBuffer<Tap> taps : register(t5);
struct VertexIn { float3 position : POSITION; float2 texcoord : TEXCOORD0; float3 normal : NORMAL; };
float4 VS(VertexIn input) : SV_Position { return float4(input.position.xy * 2.0, 0.0, 1.0); }
float4 PS(float4 position : SV_Position) : SV_Target { return taps[uint(position.x)].value; }
)");
    Shader shader("taps.fx");
    StructuredBuffer<Tap> buffer(16, 8);
    std::vector<Tap> taps(8);
    for (uint32_t i = 0; i < 8; ++i) taps[i] = {{i / 8.0f, 1.0f - i / 8.0f, (i % 2) * 1.0f, 1.0f}};
    buffer.Update(taps.data(), 8);
    std::vector<Tap> firstFour(taps.begin(), taps.begin() + 4);
    for (Tap& tap : firstFour) tap.value[2] = 0.5f;
    buffer.Update(firstFour.data(), 4);

    const Target target = MakeTarget(8, 1);
    BindTarget(target);
    ASSERT_TRUE(shader.Set("PS"));
    g_graphics.context->PSSetShaderResources(5, buffer.GetView());
    BindGenericVertices();
    g_graphics.context->Draw(4, 0);
    const Image image = Read(target.texture);
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(PixelNear(image, i, 0, {int(i * 32), int(255 - i * 32), 128, 255}, 1)) << i;
    }
}

}  // namespace
