// The GPU layer's device, resources, views and swap chain, headless: descriptions honoured or refused,
// texture data in and out, mip levels, 3D textures, input layouts, the rule that a texture is not
// read while drawn into, and devices that live side by side or go away before their objects.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gpu/gpu.h"
#include "support/gpuFixture.h"

namespace {

using TestSupport::GpuTest;
using TestSupport::Image;
using TestSupport::kQuad;
using TestSupport::kQuadLayout;
using TestSupport::PixelNear;
using TestSupport::Rgba;
using Vertex = TestSupport::QuadVertex;

// A full-screen pass that shows texture t0 (2D, point sampling) or, from PS_Volume, slice `depth` of
// the 3D texture t1.
const char* kShowSource = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; float2 uv : TEXCOORD0; };
cbuffer Params : register(b0) { float depth; float3 unused; };
Texture2D image : register(t0);
Texture3D volume : register(t1);
SamplerState pointClamp : register(s1);
VSOut VS(VSIn input) {
    VSOut output;
    output.pos = float4(input.pos.xy * 2.0, 0.5, 1.0);
    output.uv = input.uv;
    return output;
}
float4 PS(VSOut input) : SV_Target { return image.Sample(pointClamp, input.uv); }
float4 PS_Volume(VSOut input) : SV_Target { return volume.Sample(pointClamp, float3(input.uv, depth)); }
)";

class GpuDevice : public GpuTest {
protected:
    void SetUp() override {
        GpuTest::SetUp();
        if (IsSkipped()) return;
        Gpu::SubresourceData quadData{kQuad, 0, 0};
        quad = Device().CreateBuffer({sizeof kQuad, Gpu::Usage::IMMUTABLE, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0},
                                     &quadData);
        ASSERT_TRUE(quad);
    }

    // Binds the show pass with pixel entry `entry`; samplers at slot 1 point-clamp.
    void UseShow(const std::string& entry = "PS") {
        program = MakeProgram(kShowSource, entry);
        Context().IASetInputLayout(Device().CreateInputLayout(kQuadLayout, 3, *program.vertexCode));
        Context().VSSetShader(program.vertex);
        Context().PSSetShader(program.pixel);
        Context().IASetVertexBuffers(0, quad, sizeof(Vertex), 0);
        Context().IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
        const Gpu::SamplerStatePtr samplers[2] = {
            nullptr, Device().CreateSamplerState({.Filter = Gpu::Filter::MIN_MAG_MIP_POINT})};
        Context().PSSetSamplers(0, 2, samplers);
    }

    // Draws the bound pass into a fresh target and reads it.
    Image Show(uint32_t width, uint32_t height) {
        auto target = MakeTarget(width, height, {0.5f, 0.5f, 0.5f, 0.5f});
        BindTarget(target);
        Context().Draw(4, 0);
        return Read(target.texture);
    }

    Gpu::BufferPtr quad;
    Program program;
};

// --- Device ---------------------------------------------------------------------------------------

TEST_F(GpuDevice, ReportsTheRendererForTheLog) {
    EXPECT_FALSE(Device().GetAdapterName().empty());
    EXPECT_GE(Device().GetVideoMemoryMB(), 0);
}

TEST_F(GpuDevice, RefusesDescriptionsItCannotHonour) {
    // Buffers.
    EXPECT_FALSE(Device().CreateBuffer(
        {20, Gpu::Usage::DYNAMIC, Gpu::BIND_CONSTANT_BUFFER, Gpu::CPU_ACCESS_WRITE, 0, 0}))
        << "constant buffer size not a multiple of 16";
    EXPECT_FALSE(Device().CreateBuffer({16, Gpu::Usage::IMMUTABLE, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0}))
        << "immutable without contents";
    EXPECT_FALSE(Device().CreateBuffer({16, Gpu::Usage::DYNAMIC, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0}))
        << "dynamic without CPU write access";
    EXPECT_FALSE(Device().CreateBuffer({0, Gpu::Usage::DEFAULT, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0}))
        << "empty";
    EXPECT_FALSE(Device().CreateBuffer(
        {100, Gpu::Usage::DEFAULT, Gpu::BIND_SHADER_RESOURCE, 0, Gpu::RESOURCE_MISC_BUFFER_STRUCTURED, 40}))
        << "not a whole number of elements";

    // Textures.
    EXPECT_FALSE(Device().CreateTexture2D({.Width = 0, .Height = 4})) << "zero width";
    EXPECT_FALSE(Device().CreateTexture2D({.Width = 1u << 20, .Height = 4})) << "beyond the GL limit";
    EXPECT_FALSE(Device().CreateTexture2D({.Width = 4, .Height = 4, .MipLevels = 4})) << "too many mips";
    EXPECT_FALSE(Device().CreateTexture2D({.Width = 4, .Height = 4, .Format = Gpu::Format::UNKNOWN}));
    EXPECT_FALSE(Device().CreateTexture2D(
        {.Width = 4, .Height = 4, .ArraySize = 2, .BindFlags = Gpu::BIND_RENDER_TARGET}))
        << "arrays drawn into";
    EXPECT_FALSE(
        Device().CreateTexture3D({.Width = 2, .Height = 2, .Depth = 2, .Format = Gpu::Format::D32_FLOAT}));

    // Views that do not fit their resource.
    auto plain = Device().CreateTexture2D({.Width = 4, .Height = 4, .BindFlags = Gpu::BIND_RENDER_TARGET});
    ASSERT_TRUE(plain);
    EXPECT_FALSE(Device().CreateShaderResourceView(plain)) << "not created for shader reading";
    EXPECT_FALSE(Device().CreateDepthStencilView(plain)) << "colour texture as depth";
    auto readable = Device().CreateTexture2D({.Width = 4, .Height = 4});
    EXPECT_FALSE(Device().CreateRenderTargetView(readable)) << "not created as a render target";
    auto vertices = Device().CreateBuffer({64, Gpu::Usage::DEFAULT, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0});
    EXPECT_FALSE(Device().CreateShaderResourceView(vertices));
    EXPECT_FALSE(Device().CreateShaderResourceView(nullptr));

    // Shaders: code of the wrong stage, GLSL that does not build.
    auto program = MakeProgram(kShowSource);
    EXPECT_FALSE(Device().CreatePixelShader(program.vertexCode));
    auto broken = std::make_shared<Hlsl::ShaderCode>(*program.pixelCode);
    broken->glsl = "#version 450\nvoid main() { undefined(); }\n";
    EXPECT_FALSE(Device().CreatePixelShader(broken));
    EXPECT_EQ(Counters().glErrors, 0u);
}

TEST_F(GpuDevice, DrawsWithNothingToDrawIntoOrNoVertexShaderWriteNothingAndAreCounted) {
    UseShow();
    Context().OMSetRenderTargets(0, nullptr, nullptr);
    const Gpu::Viewport viewport{0, 0, 4, 4, 0, 1};
    Context().RSSetViewports(1, &viewport);
    Context().Draw(4, 0);
    auto target = MakeTarget(4, 4);
    BindTarget(target);
    Context().VSSetShader(nullptr);
    Context().Draw(4, 0);
    EXPECT_EQ(Counters().draws, 2u);
    EXPECT_TRUE(PixelNear(Read(target.texture), 1, 1, {0, 0, 0, 0}));
}

// --- Texture data -------------------------------------------------------------------------------

TEST_F(GpuDevice, TextureDataGoesInAndComesBackRowByRowWithPitches) {
    // Rows 12 bytes apart for 2-pixel rows: the padding must be skipped.
    const uint32_t padded[3 * 3] = {Rgba(1, 2, 3, 4),     Rgba(5, 6, 7, 8),     0xdeadbeef,
                                    Rgba(9, 10, 11, 12),  Rgba(13, 14, 15, 16), 0xdeadbeef,
                                    Rgba(17, 18, 19, 20), Rgba(21, 22, 23, 24), 0xdeadbeef};
    Gpu::SubresourceData data{padded, 12, 0};
    Counters().Reset();
    auto texture = Device().CreateTexture2D({.Width = 2, .Height = 3}, &data);
    ASSERT_TRUE(texture);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(Context().ReadTexture(texture, 0, bytes));
    ASSERT_EQ(bytes.size(), 24u);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(bytes[i], i + 1);
    EXPECT_EQ(Counters().uploads, 1u);
    EXPECT_EQ(Counters().uploadBytes, 24u);

    // A region update of one pixel.
    const uint32_t one = Rgba(100, 101, 102, 103);
    const Gpu::Box box{1, 2, 0, 2, 3, 1};
    Context().UpdateSubresource(texture, 0, &box, &one, 4, 4);
    ASSERT_TRUE(Context().ReadTexture(texture, 0, bytes));
    EXPECT_EQ(bytes[20], 100);
    EXPECT_EQ(bytes[16], 17);

    // Blue-first pixels are swapped on the way in and out.
    const uint8_t bgra[4] = {10, 20, 30, 40};
    Gpu::SubresourceData bgraData{bgra, 4, 0};
    auto swapped =
        Device().CreateTexture2D({.Width = 1, .Height = 1, .Format = Gpu::Format::B8G8R8A8_UNORM}, &bgraData);
    ASSERT_TRUE(Context().ReadTexture(swapped, 0, bytes));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), std::vector<uint8_t>({10, 20, 30, 40}));
    UseShow();
    Context().PSSetShaderResources(0, Device().CreateShaderResourceView(swapped));
    EXPECT_TRUE(PixelNear(Show(1, 1), 0, 0, {30, 20, 10, 40}));
}

TEST_F(GpuDevice, DynamicTextureMapsForWritingAndTheNextDrawSeesIt) {
    auto texture = Device().CreateTexture2D(
        {.Width = 2, .Height = 2, .Usage = Gpu::Usage::DYNAMIC, .CPUAccessFlags = Gpu::CPU_ACCESS_WRITE});
    ASSERT_TRUE(texture);
    Gpu::MappedSubresource mapped;
    ASSERT_TRUE(Context().Map(texture, 0, Gpu::MapType::WRITE_DISCARD, 0, &mapped));
    EXPECT_EQ(mapped.RowPitch, 8u);
    const uint32_t pixels[4] = {Rgba(255, 0, 0), Rgba(255, 0, 0), Rgba(0, 0, 255), Rgba(0, 0, 255)};
    std::memcpy(mapped.pData, pixels, sizeof pixels);
    Context().Unmap(texture, 0);
    UseShow();
    Context().PSSetShaderResources(0, Device().CreateShaderResourceView(texture));
    const Image image = Show(2, 2);
    EXPECT_TRUE(PixelNear(image, 0, 0, {255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(image, 1, 1, {0, 0, 255, 255}));
    EXPECT_FALSE(Context().Map(texture, 0, Gpu::MapType::READ, 0, &mapped)) << "no CPU read access";
}

TEST_F(GpuDevice, FullMipChainIsGeneratedAndAViewCanStartAtALowerLevel) {
    auto texture = Device().CreateTexture2D({.Width = 4,
                                             .Height = 4,
                                             .MipLevels = 0,
                                             .BindFlags = Gpu::BIND_SHADER_RESOURCE | Gpu::BIND_RENDER_TARGET,
                                             .MiscFlags = Gpu::RESOURCE_MISC_GENERATE_MIPS});
    ASSERT_TRUE(texture);
    EXPECT_EQ(texture->GetDesc().MipLevels, 3u);
    // Half red, half green: the 1 by 1 level is their average.
    std::vector<uint32_t> pixels(16);
    for (int i = 0; i < 16; ++i) pixels[i] = (i % 4) < 2 ? Rgba(255, 0, 0) : Rgba(0, 255, 0);
    Context().UpdateSubresource(texture, 0, nullptr, pixels.data(), 16, 0);
    auto whole = Device().CreateShaderResourceView(texture);
    Context().GenerateMips(whole);
    Gpu::ShaderResourceViewDesc desc;
    desc.Texture.MostDetailedMip = 2;
    auto smallest = Device().CreateShaderResourceView(texture, &desc);
    ASSERT_TRUE(smallest);
    UseShow();
    Context().PSSetShaderResources(0, smallest);
    EXPECT_TRUE(PixelNear(Show(2, 2), 0, 0, {128, 128, 0, 255}, 2));
    // The whole view samples level 0 (point filtering, no minification).
    Context().PSSetShaderResources(0, whole);
    EXPECT_TRUE(PixelNear(Show(4, 4), 0, 0, {255, 0, 0, 255}));
}

TEST_F(GpuDevice, VolumeTextureSlicesReadBackThroughAThreeDimensionalView) {
    // 2 by 2 by 2: slice 0 red and green, slice 1 blue and white (the rows alike).
    const uint32_t voxels[8] = {Rgba(255, 0, 0), Rgba(0, 255, 0),     Rgba(255, 0, 0), Rgba(0, 255, 0),
                                Rgba(0, 0, 255), Rgba(255, 255, 255), Rgba(0, 0, 255), Rgba(255, 255, 255)};
    Gpu::SubresourceData data{voxels, 8, 16};
    auto volume = Device().CreateTexture3D({.Width = 2,
                                            .Height = 2,
                                            .Depth = 2,
                                            .MipLevels = 1,
                                            .Format = Gpu::Format::R8G8B8A8_UNORM,
                                            .Usage = Gpu::Usage::IMMUTABLE,
                                            .BindFlags = Gpu::BIND_SHADER_RESOURCE},
                                           &data);
    ASSERT_TRUE(volume);
    Gpu::ShaderResourceViewDesc desc;
    desc.Format = Gpu::Format::R8G8B8A8_UNORM;
    desc.ViewDimension = Gpu::SrvDimension::TEXTURE3D;
    desc.Texture.MostDetailedMip = 0;
    desc.Texture.MipLevels = 1;
    auto view = Device().CreateShaderResourceView(volume, &desc);
    ASSERT_TRUE(view);
    auto params = Device().CreateBuffer({16, Gpu::Usage::DEFAULT, Gpu::BIND_CONSTANT_BUFFER, 0, 0, 0});
    UseShow("PS_Volume");
    Context().PSSetConstantBuffers(0, params);
    Context().PSSetShaderResources(1, view);
    for (int slice = 0; slice < 2; ++slice) {
        const float depth[4] = {slice == 0 ? 0.25f : 0.75f, 0, 0, 0};
        Context().UpdateSubresource(params, 0, nullptr, depth, 0, 0);
        const Image image = Show(2, 2);
        EXPECT_TRUE(
            PixelNear(image, 0, 1,
                      slice == 0 ? std::array<int, 4>{255, 0, 0, 255} : std::array<int, 4>{0, 0, 255, 255}));
        EXPECT_TRUE(PixelNear(
            image, 1, 0,
            slice == 0 ? std::array<int, 4>{0, 255, 0, 255} : std::array<int, 4>{255, 255, 255, 255}));
    }
    // A 2D view where the shader reads a 3D texture, or nothing at all, reads transparent black.
    Context().PSSetShaderResources(1, MakeTexture(1, 1, {Rgba(9, 9, 9)}));
    EXPECT_TRUE(PixelNear(Show(2, 2), 0, 0, {0, 0, 0, 0}));
    Context().PSSetShaderResources(1, nullptr);
    EXPECT_TRUE(PixelNear(Show(2, 2), 0, 0, {0, 0, 0, 0}));
}

// --- Reading and drawing into the same texture -------------------------------------------------

TEST_F(GpuDevice, ATextureIsNeverReadWhileItIsDrawnInto) {
    auto first = MakeTarget(2, 2, {1, 0, 0, 1});
    auto second = MakeTarget(2, 2, {0, 1, 0, 1});
    // Bound for reading, then as the target: the reading binding goes.
    Context().PSSetShaderResources(0, first.resource);
    Context().VSSetShaderResources(0, first.resource);
    Context().OMSetRenderTargets(first.view);
    EXPECT_EQ(Context().PSGetShaderResource(0), nullptr);
    EXPECT_EQ(Context().VSGetShaderResource(0), nullptr);
    // While it is the target it cannot be bound for reading.
    Context().PSSetShaderResources(0, first.resource);
    EXPECT_EQ(Context().PSGetShaderResource(0), nullptr);
    // Other textures are unaffected; once unbound as a target it can be read again.
    Context().PSSetShaderResources(1, second.resource);
    EXPECT_EQ(Context().PSGetShaderResource(1), second.resource);
    Context().OMSetRenderTargets(0, nullptr, nullptr);
    Context().PSSetShaderResources(0, first.resource);
    EXPECT_EQ(Context().PSGetShaderResource(0), first.resource);

    // The screen-effect pattern: read the current texture, draw into the other.
    UseShow();
    Context().PSSetShaderResources(0, first.resource);
    BindTarget(second);
    Context().Draw(4, 0);
    EXPECT_TRUE(PixelNear(Read(second.texture), 1, 1, {255, 0, 0, 255}));
}

TEST_F(GpuDevice, ObjectsRemadeBetweenDrawsAreBoundAfresh) {
    // Many drivers hand out the names of deleted objects again (this Mesa does not); what the context
    // remembers as bound must not mistake a new object for the old one.
    const uint32_t colours[3] = {Rgba(255, 0, 0), Rgba(0, 255, 0), Rgba(0, 0, 255)};
    auto target = MakeTarget(2, 2);
    for (uint32_t colour : colours) {
        UseShow();
        Context().PSSetShaderResources(0, MakeTexture(1, 1, {colour}));
        BindTarget(target);
        Context().Draw(4, 0);
        const auto expected =
            std::array<int, 4>{int(colour & 255), int((colour >> 8) & 255), int((colour >> 16) & 255), 255};
        EXPECT_TRUE(PixelNear(Read(target.texture), 1, 1, expected));
        Context().ClearState();
        program = {};
        quad.reset();
        Gpu::SubresourceData quadData{kQuad, 0, 0};
        quad = Device().CreateBuffer({sizeof kQuad, Gpu::Usage::IMMUTABLE, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0},
                                     &quadData);
    }
}

// --- Input layouts ------------------------------------------------------------------------------

TEST_F(GpuDevice, InputLayoutMatchesSemanticsAppendsOffsetsAndStepsPerInstance) {
    const char* source = R"(
struct VSIn { float2 pos : POSITION; float4 colour : COLOR0; float2 shift : TEXCOORD1; };
struct VSOut { float4 pos : SV_Position; float4 colour : COLOR0; };
VSOut VS(VSIn input) {
    VSOut output;
    output.pos = float4(input.pos + input.shift, 0.5, 1.0);
    output.colour = input.colour;
    return output;
}
float4 PS(VSOut input) : SV_Target { return input.colour; }
)";
    auto program = MakeProgram(source);
    // Slot 0: position then colour (bytes, appended); slot 1: one shift per instance.
    const Gpu::InputElementDesc elements[3] = {
        {"position", 0, Gpu::Format::R32G32_FLOAT, 0, 0, Gpu::InputClassification::PER_VERTEX_DATA, 0},
        {"COLOR", 0, Gpu::Format::R8G8B8A8_UNORM, 0, Gpu::APPEND_ALIGNED_ELEMENT,
         Gpu::InputClassification::PER_VERTEX_DATA, 0},
        {"TEXCOORD", 1, Gpu::Format::R32G32_FLOAT, 1, 0, Gpu::InputClassification::PER_INSTANCE_DATA, 1},
    };
    auto layout = Device().CreateInputLayout(elements, 3, *program.vertexCode);
    ASSERT_TRUE(layout);
    EXPECT_FALSE(Device().CreateInputLayout(elements, 2, *program.vertexCode)) << "TEXCOORD1 missing";

    struct Corner {
        float x, y;
        uint32_t colour;
    };
    // A quad covering the left half of clip space, clockwise strip order.
    const Corner corners[4] = {{-1, -1, Rgba(255, 0, 0)},
                               {-1, 1, Rgba(255, 0, 0)},
                               {0, -1, Rgba(255, 0, 0)},
                               {0, 1, Rgba(255, 0, 0)}};
    const float shifts[2][2] = {{0, 0}, {1, 0}};  // the second instance covers the right half
    Gpu::SubresourceData cornerData{corners, 0, 0}, shiftData{shifts, 0, 0};
    auto cornerBuffer = Device().CreateBuffer(
        {sizeof corners, Gpu::Usage::IMMUTABLE, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0}, &cornerData);
    auto shiftBuffer = Device().CreateBuffer(
        {sizeof shifts, Gpu::Usage::IMMUTABLE, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0}, &shiftData);
    const Gpu::BufferPtr buffers[2] = {cornerBuffer, shiftBuffer};
    const uint32_t strides[2] = {sizeof(Corner), 8}, offsets[2] = {0, 0};
    Context().IASetVertexBuffers(0, 2, buffers, strides, offsets);
    Context().IASetInputLayout(layout);
    Context().IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
    Context().VSSetShader(program.vertex);
    Context().PSSetShader(program.pixel);
    auto target = MakeTarget(4, 2);
    BindTarget(target);
    Context().DrawInstanced(4, 1, 0, 0);
    Image image = Read(target.texture);
    EXPECT_TRUE(PixelNear(image, 0, 0, {255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(image, 3, 1, {0, 0, 0, 0}));
    // Starting at instance 1 reads the second shift: the right half.
    auto second = MakeTarget(4, 2);
    BindTarget(second);
    Context().DrawInstanced(4, 1, 0, 1);
    image = Read(second.texture);
    EXPECT_TRUE(PixelNear(image, 0, 0, {0, 0, 0, 0}));
    EXPECT_TRUE(PixelNear(image, 3, 1, {255, 0, 0, 255}));
}

// --- Swap chain, headless ------------------------------------------------------------------------

TEST_F(GpuDevice, HeadlessSwapChainHasAReadableBackBufferThatResizes) {
    auto set = Gpu::CreateHeadlessDevice(8, 6);
    ASSERT_TRUE(set);
    Gpu::SwapChain& swapChain = *set.swapChain;
    auto backBuffer = swapChain.GetBuffer(0);
    ASSERT_TRUE(backBuffer);
    EXPECT_FALSE(swapChain.GetBuffer(1));
    EXPECT_EQ(backBuffer->Width(), 8u);
    EXPECT_EQ(backBuffer->Height(), 6u);
    EXPECT_EQ(backBuffer->GetFormat(), Gpu::Format::R8G8B8A8_UNORM);

    // Top row red, the rest blue: read back top row first.
    auto view = set.device->CreateRenderTargetView(backBuffer);
    ASSERT_TRUE(view);
    const float blue[4] = {0, 0, 1, 1};
    set.context->ClearRenderTargetView(view, blue);
    std::vector<uint32_t> red(8, Rgba(255, 0, 0));
    const Gpu::Box topRow{0, 0, 0, 8, 1, 1};
    set.context->UpdateSubresource(backBuffer, 0, &topRow, red.data(), 32, 0);
    EXPECT_TRUE(swapChain.Present(1, 0));
    Image image;
    ASSERT_TRUE(swapChain.ReadBackBuffer(image.rgba, image.width, image.height));
    EXPECT_EQ(image.width, 8u);
    EXPECT_TRUE(PixelNear(image, 3, 0, {255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(image, 3, 5, {0, 0, 255, 255}));
    EXPECT_EQ(set.device->GetCounters().presents, 1u);

    // Resized: a new buffer of the new size and the same format; holders of the old one keep it.
    EXPECT_TRUE(swapChain.ResizeBuffers(0, 20, 10, Gpu::Format::UNKNOWN, 0));
    EXPECT_EQ(swapChain.GetBuffer(0)->Width(), 20u);
    EXPECT_EQ(swapChain.GetBuffer(0)->GetFormat(), Gpu::Format::R8G8B8A8_UNORM);
    EXPECT_EQ(backBuffer->Width(), 8u);
    EXPECT_TRUE(swapChain.SetFullscreenState(true));
    EXPECT_TRUE(swapChain.GetFullscreenState());
    EXPECT_TRUE(swapChain.SetFullscreenState(false));
    EXPECT_EQ(set.device->GetCounters().glErrors, 0u);
}

TEST_F(GpuDevice, TwoDevicesDrawSideBySideAndObjectsMayOutliveTheirDevice) {
    Gpu::Texture2DPtr survivor;
    {
        auto other = Gpu::CreateHeadlessDevice(4, 4);
        ASSERT_TRUE(other);
        auto otherView = other.device->CreateRenderTargetView(other.swapChain->GetBuffer(0));
        auto mine = MakeTarget(4, 4);
        // Interleaved work on both devices: each clear lands on its own device's texture.
        const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1};
        other.context->ClearRenderTargetView(otherView, red);
        Context().ClearRenderTargetView(mine.view, green);
        Image image;
        ASSERT_TRUE(other.swapChain->ReadBackBuffer(image.rgba, image.width, image.height));
        EXPECT_TRUE(PixelNear(image, 0, 0, {255, 0, 0, 255}));
        EXPECT_TRUE(PixelNear(Read(mine.texture), 0, 0, {0, 255, 0, 255}));
        survivor = other.device->CreateTexture2D({.Width = 2, .Height = 2});
        ASSERT_TRUE(survivor);
    }
    // The other device is gone; its texture still works and goes cleanly.
    std::vector<uint8_t> bytes;
    EXPECT_EQ(survivor->Width(), 2u);
    survivor.reset();
    // And this device carries on.
    auto target = MakeTarget(1, 1, {0, 0, 1, 1});
    EXPECT_TRUE(PixelNear(Read(target.texture), 0, 0, {0, 0, 255, 255}));
}

TEST_F(GpuDevice, DeviceWhoseDriverWasLoadedAheadOnAnotherThreadDrawsOnThisOne) {
    // Prepared twice (the second does nothing), taken by the next headless device only.
    Gpu::PrepareHeadlessDevice();
    Gpu::PrepareHeadlessDevice();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "prepared" : "made at once");
        auto set = Gpu::CreateHeadlessDevice(4, 2);
        ASSERT_TRUE(set);
        auto view = set.device->CreateRenderTargetView(set.swapChain->GetBuffer(0));
        const float green[4] = {0, 1, 0, 1};
        set.context->ClearRenderTargetView(view, green);
        Image image;
        ASSERT_TRUE(set.swapChain->ReadBackBuffer(image.rgba, image.width, image.height));
        EXPECT_TRUE(PixelNear(image, 3, 1, {0, 255, 0, 255}));
        EXPECT_EQ(set.device->GetCounters().glErrors, 0u);
    }
    // The shared device carries on on this thread.
    auto target = MakeTarget(1, 1, {1, 0, 0, 1});
    EXPECT_TRUE(PixelNear(Read(target.texture), 0, 0, {255, 0, 0, 255}));
}

}  // namespace
