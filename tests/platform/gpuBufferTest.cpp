// Buffers seen by shaders: write-discard updates of dynamic buffers and what they upload, instanced
// draws reading row-vector matrices from a structured buffer at t5, and the packing of constant and
// structured buffers: every value the CPU writes at the shader language's offsets must reach the
// shader intact, rendered out as colours into a float target and read back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/gpu/gpu.h"
#include "support/gpuFixture.h"

namespace {

using TestSupport::GpuTest;
using TestSupport::Image;
using TestSupport::kQuad;
using TestSupport::kQuadLayout;
using TestSupport::PixelNear;
using Vertex = TestSupport::QuadVertex;

const uint16_t kQuadIndices[6] = {0, 1, 2, 2, 1, 3};

// Row-vector 4x4 matrices: p' = p * M, translation in the fourth row.
struct Matrix {
    float m[4][4];
};

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

Matrix Transposed(const Matrix& a) {
    Matrix r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = a.m[j][i];
    return r;
}

// Scale (sx, sy), then a rotation by `angle` in the plane, then a move to (tx, ty, tz).
Matrix Placement(float sx, float sy, float angle, float tx, float ty, float tz) {
    const float c = std::cos(angle), s = std::sin(angle);
    Matrix scale{{{sx, 0, 0, 0}, {0, sy, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    Matrix rotate{{{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    Matrix move{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {tx, ty, tz, 1}}};
    return Multiply(Multiply(scale, rotate), move);
}

// Where the point p lands in a width x height target after p * M (clip space to pixels, y down).
std::array<float, 2> ToPixel(const float p[3], const Matrix& m, uint32_t width, uint32_t height) {
    float out[4] = {};
    const float in[4] = {p[0], p[1], p[2], 1};
    for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 4; ++k) out[j] += in[k] * m.m[k][j];
    return {(out[0] / out[3] * 0.5f + 0.5f) * width, (0.5f - out[1] / out[3] * 0.5f) * height};
}

class GpuBuffers : public GpuTest {
protected:
    void SetUp() override {
        GpuTest::SetUp();
        if (IsSkipped()) return;
        Gpu::SubresourceData quadData{kQuad, 0, 0};
        quad = Device().CreateBuffer({sizeof kQuad, Gpu::Usage::IMMUTABLE, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0},
                                     &quadData);
        Gpu::SubresourceData indexData{kQuadIndices, 0, 0};
        indices = Device().CreateBuffer(
            {sizeof kQuadIndices, Gpu::Usage::IMMUTABLE, Gpu::BIND_INDEX_BUFFER, 0, 0, 0}, &indexData);
        ASSERT_TRUE(quad && indices);
    }

    // Binds the program and the quad as a triangle strip.
    void Use(const Program& program) {
        auto layout = Device().CreateInputLayout(kQuadLayout, 3, *program.vertexCode);
        ASSERT_TRUE(layout);
        Context().IASetInputLayout(layout);
        Context().VSSetShader(program.vertex);
        Context().PSSetShader(program.pixel);
        Context().IASetVertexBuffers(0, quad, sizeof(Vertex), 0);
        Context().IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
    }

    Gpu::BufferPtr DynamicConstants(uint32_t size) {
        return Device().CreateBuffer(
            {size, Gpu::Usage::DYNAMIC, Gpu::BIND_CONSTANT_BUFFER, Gpu::CPU_ACCESS_WRITE, 0, 0});
    }

    Gpu::BufferPtr DynamicStructured(uint32_t stride, uint32_t capacity) {
        return Device().CreateBuffer({stride * capacity, Gpu::Usage::DYNAMIC, Gpu::BIND_SHADER_RESOURCE,
                                      Gpu::CPU_ACCESS_WRITE, Gpu::RESOURCE_MISC_BUFFER_STRUCTURED, stride});
    }

    void Write(const Gpu::BufferPtr& buffer, const void* bytes, size_t size) {
        Gpu::MappedSubresource mapped;
        ASSERT_TRUE(Context().Map(buffer, 0, Gpu::MapType::WRITE_DISCARD, 0, &mapped));
        std::memcpy(mapped.pData, bytes, size);
        Context().Unmap(buffer, 0);
    }

    // Reads a R32G32B32A32_FLOAT texture back as floats.
    std::vector<float> ReadFloats(const Gpu::Texture2DPtr& texture) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(Context().ReadTexture(texture, 0, bytes));
        std::vector<float> floats(bytes.size() / 4);
        std::memcpy(floats.data(), bytes.data(), bytes.size());
        return floats;
    }

    Gpu::BufferPtr quad;
    Gpu::BufferPtr indices;
};

// --- Write-discard updates ----------------------------------------------------------------------

const char* kColourSource = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; };
cbuffer Colour : register(b0) { float4 colour; };
VSOut VS(VSIn input) { VSOut output; output.pos = float4(input.pos.xy * 2.0, 0.5, 1.0); return output; }
float4 PS(VSOut input) : SV_Target { return colour; }
)";

TEST_F(GpuBuffers, WriteDiscardUpdateReachesTheNextDrawAndUploadsOnlyWhatDrawsUse) {
    Use(MakeProgram(kColourSource));
    auto colour = DynamicConstants(16);
    ASSERT_TRUE(colour);
    Context().PSSetConstantBuffers(0, colour);
    auto first = MakeTarget(2, 2);
    auto second = MakeTarget(2, 2);
    Counters().Reset();

    const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1}, blue[4] = {0, 0, 1, 1};
    Write(colour, red, sizeof red);
    BindTarget(first);
    Context().Draw(4, 0);
    Write(colour, green, sizeof green);
    BindTarget(second);
    Context().Draw(4, 0);
    EXPECT_TRUE(PixelNear(Read(first.texture), 0, 0, {255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(Read(second.texture), 1, 1, {0, 255, 0, 255}));
    EXPECT_EQ(Counters().maps, 2u);
    EXPECT_EQ(Counters().uploads, 2u);
    EXPECT_EQ(Counters().uploadBytes, 32u);
    EXPECT_EQ(Counters().draws, 2u);

    // Rewritten twice between draws: sent once. Drawn again unchanged: nothing sent.
    Counters().Reset();
    Write(colour, red, sizeof red);
    Write(colour, blue, sizeof blue);
    Context().Draw(4, 0);
    Context().Draw(4, 0);
    EXPECT_EQ(Counters().maps, 2u);
    EXPECT_EQ(Counters().uploads, 1u);
    EXPECT_TRUE(PixelNear(Read(second.texture), 0, 1, {0, 0, 255, 255}));
}

TEST_F(GpuBuffers, MapRefusesBuffersWhoseUsageDoesNotAllowIt) {
    const float data[4] = {};
    Gpu::SubresourceData initial{data, 0, 0};
    auto fixed =
        Device().CreateBuffer({16, Gpu::Usage::IMMUTABLE, Gpu::BIND_CONSTANT_BUFFER, 0, 0, 0}, &initial);
    auto plain = Device().CreateBuffer({16, Gpu::Usage::DEFAULT, Gpu::BIND_CONSTANT_BUFFER, 0, 0, 0});
    ASSERT_TRUE(fixed && plain);
    Gpu::MappedSubresource mapped;
    EXPECT_FALSE(Context().Map(fixed, 0, Gpu::MapType::WRITE_DISCARD, 0, &mapped));
    EXPECT_FALSE(Context().Map(plain, 0, Gpu::MapType::WRITE_DISCARD, 0, &mapped));
    auto dynamic = DynamicConstants(16);
    ASSERT_TRUE(Context().Map(dynamic, 0, Gpu::MapType::WRITE_DISCARD, 0, &mapped));
    EXPECT_FALSE(Context().Map(dynamic, 0, Gpu::MapType::WRITE_DISCARD, 0, &mapped)) << "mapped twice";
    Context().Unmap(dynamic, 0);
    EXPECT_EQ(Counters().maps, 1u);

    // A default buffer takes whole updates instead, and the next draw sees them.
    Use(MakeProgram(kColourSource));
    const float yellow[4] = {1, 1, 0, 1};
    Context().UpdateSubresource(plain, 0, nullptr, yellow, 0, 0);
    Context().PSSetConstantBuffers(0, plain);
    auto target = MakeTarget(1, 1);
    BindTarget(target);
    Context().Draw(4, 0);
    EXPECT_TRUE(PixelNear(Read(target.texture), 0, 0, {255, 255, 0, 255}));
}

TEST_F(GpuBuffers, UnboundConstantBufferReadsAsZero) {
    Use(MakeProgram(kColourSource));
    auto target = MakeTarget(1, 1, {1, 1, 1, 1});
    BindTarget(target);
    Context().Draw(4, 0);
    EXPECT_TRUE(PixelNear(Read(target.texture), 0, 0, {0, 0, 0, 0}));
}

// --- Instanced draws from a structured buffer at t5 -------------------------------------------

const char* kInstancedSource = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; float4 colour : COLOR0; };
cbuffer Frame : register(b0) { float4x4 viewProjection; int first; float3 padding; };
struct Instance { float4x4 world; float4 colour; };
StructuredBuffer<Instance> instances : register(t5);
VSOut VS(VSIn input, uint id : SV_InstanceID) {
    Instance instance = instances[id + first];
    VSOut output;
    output.pos = mul(mul(float4(input.pos, 1.0), instance.world), viewProjection);
    output.colour = instance.colour;
    return output;
}
float4 PS(VSOut input) : SV_Target { return input.colour; }
)";

struct Instance {
    Matrix world;  // transposed
    float colour[4];
};
static_assert(sizeof(Instance) == 80);

struct Frame {
    Matrix viewProjection;  // transposed
    int32_t first;
    float padding[3];
};
static_assert(sizeof(Frame) == 80);

// Six placed quads, long and thin and turned, so that a transposed or misread matrix shows.
struct InstancedScene {
    Matrix viewProjection;
    std::vector<Matrix> worlds;
    std::vector<std::array<float, 4>> colours;
    InstancedScene() {
        // A view-projection that is not symmetric either: squash x, move a little.
        viewProjection = Matrix{{{0.8f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0.5f, 0}, {0.05f, -0.05f, 0.25f, 1}}};
        const float pi = 3.14159265f;
        for (int i = 0; i < 6; ++i) {
            const float x = -0.6f + 0.4f * (i % 3);
            const float y = i < 3 ? 0.45f : -0.45f;
            worlds.push_back(Placement(0.5f, 0.08f, i * pi / 6.0f, x, y, 0.1f * i));
            colours.push_back({i & 1 ? 1.0f : 0.2f, i & 2 ? 1.0f : 0.2f, i & 4 ? 1.0f : 0.2f, 1.0f});
        }
    }
    std::vector<Instance> Records() const {
        std::vector<Instance> records;
        for (size_t i = 0; i < worlds.size(); ++i) {
            Instance record{Transposed(worlds[i]), {}};
            std::memcpy(record.colour, colours[i].data(), sizeof record.colour);
            records.push_back(record);
        }
        return records;
    }
};

void ExpectInstancesDrawn(const Image& image, const InstancedScene& scene, int first, int last) {
    for (int i = 0; i < int(scene.worlds.size()); ++i) {
        const Matrix transform = Multiply(scene.worlds[i], scene.viewProjection);
        const bool drawn = i >= first && i < last;
        // Along the quad's long axis, inside it, and across its short axis, just outside it.
        const float along[3] = {0.35f, 0, 0};
        const float across[3] = {0, 1.5f, 0};
        const float centre[3] = {0, 0, 0};
        for (const float* point : {centre, along}) {
            const auto p = ToPixel(point, transform, image.width, image.height);
            const auto pixel = image.At(uint32_t(p[0]), uint32_t(p[1]));
            const std::array<int, 4> expected =
                drawn ? std::array<int, 4>{int(std::lround(scene.colours[i][0] * 255)),
                                           int(std::lround(scene.colours[i][1] * 255)),
                                           int(std::lround(scene.colours[i][2] * 255)), 255}
                      : std::array<int, 4>{0, 0, 0, 0};
            EXPECT_TRUE(PixelNear(image, uint32_t(p[0]), uint32_t(p[1]), expected, 2))
                << "instance " << i << (point == centre ? " centre" : " along its length") << ", pixel "
                << pixel[0];
        }
        const auto outside = ToPixel(across, transform, image.width, image.height);
        EXPECT_TRUE(PixelNear(image, uint32_t(outside[0]), uint32_t(outside[1]), {0, 0, 0, 0}, 2))
            << "instance " << i << " beside its width";
    }
}

TEST_F(GpuBuffers, InstancedDrawPlacesEachInstanceByItsTransposedMatrixFromT5AsTheCpuDoes) {
    const InstancedScene scene;
    const auto records = scene.Records();
    auto instances = DynamicStructured(sizeof(Instance), 8);
    auto frame = DynamicConstants(sizeof(Frame));
    ASSERT_TRUE(instances && frame);
    Write(instances, records.data(), records.size() * sizeof(Instance));
    const Frame frameData{Transposed(scene.viewProjection), 2, {}};
    Write(frame, &frameData, sizeof frameData);
    auto view = Device().CreateShaderResourceView(instances);
    ASSERT_TRUE(view);

    auto program = MakeProgram(kInstancedSource);
    Use(program);
    Gpu::RasterizerDesc noCulling;
    noCulling.CullMode = Gpu::CullMode::NONE;
    Context().RSSetState(Device().CreateRasterizerState(noCulling));
    Context().VSSetConstantBuffers(0, frame);
    Context().VSSetShaderResources(5, view);

    // Indexed, as the cube and shape renderers draw: instances 2, 3 and 4.
    auto indexed = MakeTarget(128, 128);
    BindTarget(indexed);
    Context().IASetIndexBuffer(indices, Gpu::Format::R16_UINT, 0);
    Context().IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLELIST);
    Context().DrawIndexedInstanced(6, 3, 0, 0, 0);
    ExpectInstancesDrawn(Read(indexed.texture), scene, 2, 5);

    // Strip, as the sprite renderer draws: from instance 0, five of them.
    const Frame fromZero{Transposed(scene.viewProjection), 0, {}};
    Write(frame, &fromZero, sizeof fromZero);
    auto strip = MakeTarget(128, 128);
    BindTarget(strip);
    Context().IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
    Context().DrawInstanced(4, 5, 0, 0);
    ExpectInstancesDrawn(Read(strip.texture), scene, 0, 5);
}

// --- Packing: what the CPU writes at the shader language's offsets is what the shader reads -------

TEST_F(GpuBuffers, ConstantBufferWithArraysMatrixAndTrailingScalarsReadsEveryValueAtItsOffset) {
    // Register packing: e[0] at 0 and e[1] at 16 (arrays take whole registers), g in the rest of
    // e[1]'s register at 20, the float3x3 (three column registers, 44 bytes) from 32, then t1 at 76,
    // t2 at 80 and t3 at 88.
    const char* source = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; };
cbuffer Packed : register(b0) {
    float e[2];
    float g;
    float3x3 m;
    float t1;
    float2 t2;
    float t3;
};
VSOut VS(VSIn input) { VSOut output; output.pos = float4(input.pos.xy * 2.0, 0.5, 1.0); return output; }
float4 PS(VSOut input) : SV_Target {
    int x = (int)input.pos.x;
    float v = -1.0;
    if (x < 2) v = e[x];
    else if (x == 2) v = g;
    else if (x < 12) v = m[(x - 3) / 3][(x - 3) % 3];
    else if (x == 12) v = t1;
    else if (x == 13) v = t2.x;
    else if (x == 14) v = t2.y;
    else if (x == 15) v = t3;
    return float4(v, 0, 0, 1);
}
)";
    std::vector<uint8_t> bytes(96, 0xcd);  // filler that must never be read
    auto put = [&](uint32_t offset, float value) { std::memcpy(bytes.data() + offset, &value, 4); };
    std::vector<float> expected;
    put(0, 1.5f), put(16, -2.25f), put(20, 3.0f);
    expected = {1.5f, -2.25f, 3.0f};
    // m[row][column], stored column by column (column c at 32 + 16 c, row r at + 4 r).
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) put(32 + 16 * c + 4 * r, 10.0f * (r + 1) + (c + 1));
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) expected.push_back(10.0f * (r + 1) + (c + 1));
    put(76, 0.125f), put(80, 7.0f), put(84, -8.5f), put(88, 99.0f);
    expected.insert(expected.end(), {0.125f, 7.0f, -8.5f, 99.0f});

    auto packed = DynamicConstants(96);
    Write(packed, bytes.data(), bytes.size());
    const Program program = MakeProgram(source);
    ASSERT_TRUE(program.pixelCode && program.pixelCode->constants.size() == 1);
    EXPECT_FALSE(program.pixelCode->constants[0].repack.empty()) << "GL lays this block out as HLSL does?";
    Use(program);
    Context().PSSetConstantBuffers(0, packed);
    auto target = MakeTarget(16, 1, {0, 0, 0, 0}, Gpu::Format::R32G32B32A32_FLOAT);
    BindTarget(target);
    Context().Draw(4, 0);
    const auto floats = ReadFloats(target.texture);
    for (size_t x = 0; x < expected.size(); ++x) EXPECT_EQ(floats[x * 4], expected[x]) << "value " << x;
}

TEST_F(GpuBuffers, StructuredSpriteRecordsOfStride40ReadExactlyTheBytesTheCpuWrote) {
    // Tight packing: x 0, y 4, colour 8, two shader values at 24 and 28, cell at 32; the buffer's
    // stride of 40 leaves 4 bytes unused at the end of each record.
    const char* source = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; };
struct Sprite { float x; float y; float4 colour; float a; float b; int cell; };
StructuredBuffer<Sprite> sprites : register(t5);
VSOut VS(VSIn input) { VSOut output; output.pos = float4(input.pos.xy * 2.0, 0.5, 1.0); return output; }
float4 PS(VSOut input) : SV_Target {
    Sprite s = sprites[(int)input.pos.y];
    int x = (int)input.pos.x;
    if (x == 0) return float4(s.x, s.y, s.a, s.b);
    if (x == 1) return s.colour;
    return float4((float)s.cell, 0, 0, 0);
}
)";
    constexpr uint32_t kStride = 40, kCount = 5;
    std::vector<uint8_t> bytes(kStride * kCount, 0xee);
    auto put = [&](uint32_t sprite, uint32_t offset, const void* value) {
        std::memcpy(bytes.data() + sprite * kStride + offset, value, 4);
    };
    for (uint32_t i = 0; i < kCount; ++i) {
        const float x = 100.0f + i, y = 200.5f + i, a = 1.0f, b = -0.5f * i;
        const float colour[4] = {0.1f * i, 0.25f, 0.5f + 0.1f * i, 1.0f - 0.2f * i};
        const int32_t cell = 65 + int32_t(i) * 7;
        put(i, 0, &x), put(i, 4, &y);
        for (uint32_t c = 0; c < 4; ++c) put(i, 8 + 4 * c, &colour[c]);
        put(i, 24, &a), put(i, 28, &b), put(i, 32, &cell);
    }
    auto sprites = DynamicStructured(kStride, kCount);
    ASSERT_TRUE(sprites);
    Write(sprites, bytes.data(), bytes.size());
    const Program program = MakeProgram(source);
    ASSERT_TRUE(program.pixelCode && program.pixelCode->structured.size() == 1);
    EXPECT_FALSE(program.pixelCode->structured[0].repack.empty()) << "GL lays the record out as HLSL does?";
    Use(program);
    Context().PSSetShaderResources(5, Device().CreateShaderResourceView(sprites));
    auto target = MakeTarget(3, kCount, {0, 0, 0, 0}, Gpu::Format::R32G32B32A32_FLOAT);
    BindTarget(target);
    Context().Draw(4, 0);
    const auto f = ReadFloats(target.texture);
    for (uint32_t i = 0; i < kCount; ++i) {
        const float* row = f.data() + i * 3 * 4;
        EXPECT_EQ(row[0], 100.0f + i) << "x of " << i;
        EXPECT_EQ(row[1], 200.5f + i) << "y of " << i;
        EXPECT_EQ(row[2], 1.0f) << "first shader value of " << i;
        EXPECT_EQ(row[3], -0.5f * i) << "second shader value of " << i;
        EXPECT_EQ(row[4], 0.1f * i) << "red of " << i;
        EXPECT_EQ(row[5], 0.25f) << "green of " << i;
        EXPECT_EQ(row[6], 0.5f + 0.1f * i) << "blue of " << i;
        EXPECT_EQ(row[7], 1.0f - 0.2f * i) << "alpha of " << i;
        EXPECT_EQ(row[8], float(65 + 7 * i)) << "cell of " << i;
    }
    // Rewritten, the records reach the shader again (the repacked copy follows the bytes).
    const float moved = -1.0f;
    put(3, 0, &moved);
    Write(sprites, bytes.data(), bytes.size());
    Context().Draw(4, 0);
    EXPECT_EQ(ReadFloats(target.texture)[3 * 3 * 4], -1.0f);
}

TEST_F(GpuBuffers, ViewOfPartOfAStructuredBufferStartsAtItsFirstElement) {
    const char* source = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; };
struct Tap { float4 value; };
StructuredBuffer<Tap> taps : register(t5);
VSOut VS(VSIn input) { VSOut output; output.pos = float4(input.pos.xy * 2.0, 0.5, 1.0); return output; }
float4 PS(VSOut input) : SV_Target { return taps[(int)input.pos.x].value; }
)";
    std::vector<float> values(4 * 8);
    for (size_t i = 0; i < values.size(); ++i) values[i] = float(i);
    auto taps = DynamicStructured(16, 8);
    Write(taps, values.data(), values.size() * 4);
    Gpu::ShaderResourceViewDesc desc;
    desc.ViewDimension = Gpu::SrvDimension::BUFFER;
    desc.Buffer.FirstElement = 3;
    desc.Buffer.NumElements = 2;
    auto view = Device().CreateShaderResourceView(taps, &desc);
    ASSERT_TRUE(view);
    Use(MakeProgram(source));
    Context().PSSetShaderResources(5, view);
    auto target = MakeTarget(2, 1, {0, 0, 0, 0}, Gpu::Format::R32G32B32A32_FLOAT);
    BindTarget(target);
    Context().Draw(4, 0);
    const auto f = ReadFloats(target.texture);
    EXPECT_EQ(f[0], 12.0f);
    EXPECT_EQ(f[4], 16.0f);

    desc.Buffer.FirstElement = 7;
    EXPECT_FALSE(Device().CreateShaderResourceView(taps, &desc)) << "elements beyond the buffer";

    // Single floats: the third starts at byte 12, which GL cannot bind from directly.
    const char* floatSource = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; };
StructuredBuffer<float> values : register(t5);
VSOut VS(VSIn input) { VSOut output; output.pos = float4(input.pos.xy * 2.0, 0.5, 1.0); return output; }
float4 PS(VSOut input) : SV_Target { return float4(values[(int)input.pos.x], 0, 0, 1); }
)";
    auto singles = DynamicStructured(4, 8);
    Write(singles, values.data(), 8 * 4);
    desc.Buffer.FirstElement = 3;
    Use(MakeProgram(floatSource));
    Context().PSSetShaderResources(5, Device().CreateShaderResourceView(singles, &desc));
    Context().Draw(4, 0);
    const auto g = ReadFloats(target.texture);
    EXPECT_EQ(g[0], 3.0f);
    EXPECT_EQ(g[4], 4.0f);
}

}  // namespace
