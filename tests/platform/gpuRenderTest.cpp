// Drawing through the GPU layer, headless on the software rasterizer, with shaders compiled from
// HLSL: the conventions of the interface the layer stands for (row 0 on top after a single pass,
// depth 0 to 1, clockwise front faces), clears, depth, culling, blending and the four samplers.
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
using TestSupport::Rgba;
using Vertex = TestSupport::QuadVertex;

// Full-screen passes: the quad scaled to the viewport; a colour and a depth from constant buffer 0.
const char* kFullScreen = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; float2 uv : TEXCOORD0; };
cbuffer Params : register(b0) { float4 colour; float depth; float3 unused; };
Texture2D image : register(t0);
SamplerState linearClamp : register(s0);
SamplerState pointClamp : register(s1);
VSOut VS(VSIn input) {
    VSOut output;
    output.pos = float4(input.pos.xy * 2.0, depth, 1.0);
    output.uv = input.uv;
    return output;
}
float4 PS_Colour(VSOut input) : SV_Target { return colour; }
float4 PS_Texture(VSOut input) : SV_Target { return image.Sample(pointClamp, input.uv); }
float4 PS_Uv(VSOut input) : SV_Target { return float4(input.uv, 0, 1); }
float4 PS_Position(VSOut input) : SV_Target { return float4(input.pos.xy / 64.0, input.pos.z, 1); }
)";

// Triangles given in clip space directly.
const char* kTriangles = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; };
VSOut VS(VSIn input) { VSOut output; output.pos = float4(input.pos, 1.0); return output; }
float4 PS(VSOut input) : SV_Target { return float4(1, 1, 1, 1); }
)";

struct Params {
    float colour[4];
    float depth;
    float unused[3];
};

class GpuRender : public GpuTest {
protected:
    void SetUp() override {
        GpuTest::SetUp();
        if (IsSkipped()) return;
        Gpu::BufferDesc quadDesc{sizeof kQuad, Gpu::Usage::IMMUTABLE, Gpu::BIND_VERTEX_BUFFER, 0, 0, 0};
        Gpu::SubresourceData quadData{kQuad, 0, 0};
        quad = Device().CreateBuffer(quadDesc, &quadData);
        Gpu::BufferDesc paramsDesc{
            sizeof(Params), Gpu::Usage::DYNAMIC, Gpu::BIND_CONSTANT_BUFFER, Gpu::CPU_ACCESS_WRITE, 0, 0};
        params = Device().CreateBuffer(paramsDesc);
        ASSERT_TRUE(quad && params);
    }

    // Binds the full-screen program with pixel entry `entry` and the quad.
    void UseFullScreen(const std::string& entry) {
        program = MakeProgram(kFullScreen, entry);
        layout = Device().CreateInputLayout(kQuadLayout, 3, *program.vertexCode);
        ASSERT_TRUE(layout);
        Context().IASetInputLayout(layout);
        Context().VSSetShader(program.vertex);
        Context().PSSetShader(program.pixel);
        Context().IASetVertexBuffers(0, quad, sizeof(Vertex), 0);
        Context().IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
        Context().VSSetConstantBuffers(0, params);
        Context().PSSetConstantBuffers(0, params);
    }

    void SetParams(std::array<float, 4> colour, float depth = 0.5f) {
        Gpu::MappedSubresource mapped;
        ASSERT_TRUE(Context().Map(params, 0, Gpu::MapType::WRITE_DISCARD, 0, &mapped));
        Params p{};
        std::memcpy(p.colour, colour.data(), sizeof p.colour);
        p.depth = depth;
        std::memcpy(mapped.pData, &p, sizeof p);
        Context().Unmap(params, 0);
    }

    // Draws the clip-space triangles in `vertices` (positions only) with the rasterizer state given.
    void DrawTriangles(const std::vector<std::array<float, 3>>& positions,
                       const Gpu::RasterizerStatePtr& state) {
        std::vector<Vertex> vertices;
        for (const auto& p : positions) vertices.push_back({{p[0], p[1], p[2]}, {0, 0}, {0, 0, 1}});
        Gpu::BufferDesc desc{uint32_t(vertices.size() * sizeof(Vertex)),
                             Gpu::Usage::DEFAULT,
                             Gpu::BIND_VERTEX_BUFFER,
                             0,
                             0,
                             0};
        Gpu::SubresourceData data{vertices.data(), 0, 0};
        auto buffer = Device().CreateBuffer(desc, &data);
        auto triangles = MakeProgram(kTriangles);
        auto triangleLayout = Device().CreateInputLayout(kQuadLayout, 3, *triangles.vertexCode);
        Context().IASetInputLayout(triangleLayout);
        Context().VSSetShader(triangles.vertex);
        Context().PSSetShader(triangles.pixel);
        Context().IASetVertexBuffers(0, buffer, sizeof(Vertex), 0);
        Context().IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLELIST);
        Context().RSSetState(state);
        Context().Draw(uint32_t(vertices.size()), 0);
    }

    Gpu::BufferPtr quad;
    Gpu::BufferPtr params;
    Program program;
    Gpu::InputLayoutPtr layout;
};

// --- Clears -------------------------------------------------------------------------------------

TEST_F(GpuRender, ClearFillsTheWholeViewWhateverTheStatesAndViewport) {
    auto target = MakeTarget(8, 4, {0.25f, 0.5f, 1.0f, 0.0f});
    EXPECT_EQ(Counters().clears, 1u);
    Image image = Read(target.texture);
    for (uint32_t y = 0; y < 4; ++y) {
        for (uint32_t x = 0; x < 8; ++x) ASSERT_TRUE(PixelNear(image, x, y, {64, 128, 255, 0}, 1));
    }

    // Write masks, blending, scissor and a small viewport do not limit a clear.
    Gpu::BlendDesc blend;
    blend.RenderTarget[0].RenderTargetWriteMask = 0;
    Context().OMSetBlendState(Device().CreateBlendState(blend), nullptr, 0xffffffff);
    Gpu::RasterizerDesc raster;
    raster.ScissorEnable = true;
    Context().RSSetState(Device().CreateRasterizerState(raster));
    const Gpu::Rect scissor{0, 0, 1, 1};
    Context().RSSetScissorRects(1, &scissor);
    BindTarget(target);
    const Gpu::Viewport small{1, 1, 2, 2, 0, 1};
    Context().RSSetViewports(1, &small);
    const float red[4] = {1, 0, 0, 1};
    Context().ClearRenderTargetView(target.view, red);
    image = Read(target.texture);
    EXPECT_TRUE(PixelNear(image, 0, 0, {255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(image, 7, 3, {255, 0, 0, 255}));
    EXPECT_EQ(Counters().clears, 2u);
}

TEST_F(GpuRender, NewRenderTextureReadsTransparentBlackAfterItsFirstClear) {
    auto target = MakeTarget(3, 3);
    const Image image = Read(target.texture);
    for (uint8_t byte : image.rgba) ASSERT_EQ(byte, 0);
}

// --- Orientation: checked after one pass, because two passes would hide a flip ------------------

TEST_F(GpuRender, OnePassKeepsTheTopRowOfATextureOnTop) {
    // Row 0 of the source is red, the rest blue; a texture coordinate v = 0 reads row 0.
    std::vector<uint32_t> pixels(16, Rgba(0, 0, 255));
    for (int x = 0; x < 4; ++x) pixels[x] = Rgba(255, 0, 0);
    auto source = MakeTexture(4, 4, pixels);
    UseFullScreen("PS_Texture");
    SetParams({0, 0, 0, 0});
    auto target = MakeTarget(4, 4);
    BindTarget(target);
    Context().PSSetShaderResources(0, source);
    const Gpu::SamplerStatePtr samplers[2] = {
        Device().CreateSamplerState({}),
        Device().CreateSamplerState({.Filter = Gpu::Filter::MIN_MAG_MIP_POINT}),
    };
    Context().PSSetSamplers(0, 2, samplers);
    Context().Draw(4, 0);
    const Image image = Read(target.texture);
    for (uint32_t x = 0; x < 4; ++x) {
        EXPECT_TRUE(PixelNear(image, x, 0, {255, 0, 0, 255})) << "top row";
        EXPECT_TRUE(PixelNear(image, x, 3, {0, 0, 255, 255})) << "bottom row";
    }
    EXPECT_EQ(Counters().draws, 1u);
}

TEST_F(GpuRender, ClipSpaceUpIsRowZeroAndPixelPositionsCountFromTheTopLeft) {
    UseFullScreen("PS_Uv");
    SetParams({0, 0, 0, 0});
    auto target = MakeTarget(8, 8);
    BindTarget(target);
    Context().Draw(4, 0);
    Image image = Read(target.texture);
    // The quad's vertex at y = +0.5 has v = 0: row 0 shows v near 0, the last row v near 1.
    EXPECT_TRUE(PixelNear(image, 0, 0, {16, 16, 0, 255}, 3));
    EXPECT_TRUE(PixelNear(image, 7, 7, {239, 239, 0, 255}, 3));

    // SV_Position holds pixel centres counted from the top left, and the depth given.
    UseFullScreen("PS_Position");
    SetParams({0, 0, 0, 0}, 0.25f);
    Context().Draw(4, 0);
    image = Read(target.texture);
    for (uint32_t y = 0; y < 8; ++y) {
        const int expected = int(std::lround((y + 0.5) / 64.0 * 255.0));
        EXPECT_TRUE(PixelNear(image, 2, y, {int(std::lround(2.5 / 64 * 255)), expected, 64, 255}, 1))
            << "row " << y;
    }
}

TEST_F(GpuRender, ViewportTopLeftCountsFromTheTopOfTheTarget) {
    UseFullScreen("PS_Colour");
    SetParams({0, 1, 0, 1});
    auto target = MakeTarget(4, 8);
    BindTarget(target);
    const Gpu::Viewport band{0, 2, 4, 2, 0, 1};
    Context().RSSetViewports(1, &band);
    Context().Draw(4, 0);
    const Image image = Read(target.texture);
    for (uint32_t y = 0; y < 8; ++y) {
        const bool inside = y == 2 || y == 3;
        EXPECT_TRUE(PixelNear(image, 1, y,
                              inside ? std::array<int, 4>{0, 255, 0, 255} : std::array<int, 4>{0, 0, 0, 0}))
            << "row " << y;
    }
}

// --- Depth and culling --------------------------------------------------------------------------

TEST_F(GpuRender, DepthOnStateKeepsTheNearerQuadAndDepthOffDrawsInOrder) {
    Gpu::Texture2DDesc depthDesc;
    depthDesc.Width = 4;
    depthDesc.Height = 4;
    depthDesc.Format = Gpu::Format::D24_UNORM_S8_UINT;
    depthDesc.BindFlags = Gpu::BIND_DEPTH_STENCIL;
    auto depthTexture = Device().CreateTexture2D(depthDesc);
    ASSERT_TRUE(depthTexture);
    Gpu::DepthStencilViewDesc viewDesc;
    viewDesc.Format = Gpu::Format::D24_UNORM_S8_UINT;
    auto depthView = Device().CreateDepthStencilView(depthTexture, &viewDesc);
    ASSERT_TRUE(depthView);

    // The shared states of the program: stencil on, depth test off or on.
    Gpu::DepthStencilDesc desc;
    desc.DepthEnable = false;
    desc.DepthWriteMask = Gpu::DepthWriteMask::ALL;
    desc.DepthFunc = Gpu::ComparisonFunc::LESS;
    desc.StencilEnable = true;
    desc.FrontFace = {Gpu::StencilOp::KEEP, Gpu::StencilOp::INCR, Gpu::StencilOp::KEEP,
                      Gpu::ComparisonFunc::ALWAYS};
    desc.BackFace = {Gpu::StencilOp::KEEP, Gpu::StencilOp::DECR, Gpu::StencilOp::KEEP,
                     Gpu::ComparisonFunc::ALWAYS};
    auto depthOff = Device().CreateDepthStencilState(desc);
    desc.DepthEnable = true;
    auto depthOn = Device().CreateDepthStencilState(desc);

    UseFullScreen("PS_Colour");
    for (bool depthTest : {true, false}) {
        auto target = MakeTarget(4, 4);
        Context().ClearDepthStencilView(depthView, Gpu::CLEAR_DEPTH | Gpu::CLEAR_STENCIL, 1.0f, 0);
        BindTarget(target, depthView);
        Context().OMSetDepthStencilState(depthTest ? depthOn : depthOff, 1);
        SetParams({0, 1, 0, 1}, 0.2f);  // near, green
        Context().Draw(4, 0);
        SetParams({1, 0, 0, 1}, 0.8f);  // far, red
        Context().Draw(4, 0);
        const Image image = Read(target.texture);
        EXPECT_TRUE(PixelNear(
            image, 1, 1, depthTest ? std::array<int, 4>{0, 255, 0, 255} : std::array<int, 4>{255, 0, 0, 255}))
            << (depthTest ? "depth on" : "depth off");
    }
    // A depth beyond the cleared value never passes.
    auto target = MakeTarget(4, 4);
    Context().ClearDepthStencilView(depthView, Gpu::CLEAR_DEPTH, 0.5f, 0);
    BindTarget(target, depthView);
    Context().OMSetDepthStencilState(depthOn, 1);
    SetParams({1, 1, 1, 1}, 0.6f);
    Context().Draw(4, 0);
    EXPECT_TRUE(PixelNear(Read(target.texture), 2, 2, {0, 0, 0, 0}));
}

TEST_F(GpuRender, ClockwiseTrianglesSurviveBackFaceCulling) {
    // Left half: clockwise on screen; right half: counter-clockwise.
    const std::vector<std::array<float, 3>> triangles = {
        {-1, 1, 0.5f}, {0, 1, 0.5f},  {-1, -1, 0.5f},  // clockwise
        {0, 1, 0.5f},  {1, -1, 0.5f}, {1, 1, 0.5f},    // counter-clockwise
    };
    struct Case {
        Gpu::RasterizerDesc desc;
        bool left, right;
        const char* name;
    };
    Gpu::RasterizerDesc backCulling;  // solid, cull back, clockwise front: the program's state
    Gpu::RasterizerDesc noCulling;
    noCulling.CullMode = Gpu::CullMode::NONE;
    Gpu::RasterizerDesc counterClockwiseFront;
    counterClockwiseFront.FrontCounterClockwise = true;
    Gpu::RasterizerDesc frontCulling;
    frontCulling.CullMode = Gpu::CullMode::FRONT;
    const Case cases[] = {
        {backCulling, true, false, "cull back"},
        {noCulling, true, true, "cull none"},
        {counterClockwiseFront, false, true, "counter-clockwise front"},
        {frontCulling, false, true, "cull front"},
    };
    for (const Case& c : cases) {
        auto target = MakeTarget(8, 8);
        BindTarget(target);
        DrawTriangles(triangles, Device().CreateRasterizerState(c.desc));
        const Image image = Read(target.texture);
        EXPECT_EQ(image.At(1, 1)[0], c.left ? 255 : 0) << c.name;
        EXPECT_EQ(image.At(6, 1)[0], c.right ? 255 : 0) << c.name;
    }
    // Without a rasterizer state the default applies: back faces culled.
    auto target = MakeTarget(8, 8);
    BindTarget(target);
    DrawTriangles(triangles, nullptr);
    const Image image = Read(target.texture);
    EXPECT_EQ(image.At(1, 1)[0], 255);
    EXPECT_EQ(image.At(6, 1)[0], 0);
}

// --- Blending -------------------------------------------------------------------------------------

TEST_F(GpuRender, AlphaAndAdditiveBlendingAndWriteMask) {
    Gpu::BlendDesc alpha;
    alpha.RenderTarget[0] = {true,
                             Gpu::Blend::SRC_ALPHA,
                             Gpu::Blend::INV_SRC_ALPHA,
                             Gpu::BlendOp::ADD,
                             Gpu::Blend::ONE,
                             Gpu::Blend::ZERO,
                             Gpu::BlendOp::ADD,
                             Gpu::COLOR_WRITE_ENABLE_ALL};
    Gpu::BlendDesc additive = alpha;
    additive.RenderTarget[0].SrcBlend = Gpu::Blend::ONE;
    additive.RenderTarget[0].DestBlend = Gpu::Blend::ONE;
    Gpu::BlendDesc redOnly;
    redOnly.RenderTarget[0].RenderTargetWriteMask = Gpu::COLOR_WRITE_ENABLE_RED;

    struct Case {
        Gpu::BlendDesc desc;
        std::array<int, 4> expected;
        const char* name;
    };
    const Case cases[] = {
        {alpha, {64, 0, 191, 64}, "alpha"},
        {additive, {255, 0, 255, 64}, "additive"},
        {redOnly, {255, 0, 255, 255}, "write mask"},
    };
    UseFullScreen("PS_Colour");
    SetParams({1, 0, 0, 0.25f});
    for (const Case& c : cases) {
        auto target = MakeTarget(2, 2, {0, 0, 1, 1});
        BindTarget(target);
        Context().OMSetBlendState(Device().CreateBlendState(c.desc), nullptr, 0xffffffff);
        Context().Draw(4, 0);
        EXPECT_TRUE(PixelNear(Read(target.texture), 1, 1, c.expected)) << c.name;
    }
}

// --- Samplers -----------------------------------------------------------------------------------

TEST_F(GpuRender, EachOfTheFourSamplersFiltersAndAddressesAsItsSlotSays) {
    // The program's samplers: linear clamp, point clamp, linear wrap, point wrap at slots 0 to 3.
    auto makeSampler = [&](Gpu::Filter filter, Gpu::TextureAddressMode mode) {
        Gpu::SamplerDesc desc;
        desc.Filter = filter;
        desc.AddressU = desc.AddressV = desc.AddressW = mode;
        desc.MaxAnisotropy = 0;
        desc.MinLOD = 0;
        return Device().CreateSamplerState(desc);
    };
    const Gpu::SamplerStatePtr samplers[4] = {
        makeSampler(Gpu::Filter::MIN_MAG_MIP_LINEAR, Gpu::TextureAddressMode::CLAMP),
        makeSampler(Gpu::Filter::MIN_MAG_MIP_POINT, Gpu::TextureAddressMode::CLAMP),
        makeSampler(Gpu::Filter::MIN_MAG_MIP_LINEAR, Gpu::TextureAddressMode::WRAP),
        makeSampler(Gpu::Filter::MIN_MAG_MIP_POINT, Gpu::TextureAddressMode::WRAP),
    };
    const char* source = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; };
cbuffer Params : register(b0) { int which; float3 unused; };
Texture2D image : register(t0);
SamplerState s0 : register(s0);
SamplerState s1 : register(s1);
SamplerState s2 : register(s2);
SamplerState s3 : register(s3);
VSOut VS(VSIn input) { VSOut output; output.pos = float4(input.pos.xy * 2.0, 0.5, 1.0); return output; }
float4 PS(VSOut input) : SV_Target {
    // Column 0 samples between the two top texels, column 1 beyond the right edge.
    float2 uv = input.pos.x < 1.0 ? float2(0.625, 0.25) : float2(1.125, 0.25);
    if (which == 0) return image.Sample(s0, uv);
    if (which == 1) return image.Sample(s1, uv);
    if (which == 2) return image.Sample(s2, uv);
    return image.Sample(s3, uv);
}
)";
    auto samplerProgram = MakeProgram(source);
    auto samplerLayout = Device().CreateInputLayout(kQuadLayout, 3, *samplerProgram.vertexCode);
    Context().IASetInputLayout(samplerLayout);
    Context().VSSetShader(samplerProgram.vertex);
    Context().PSSetShader(samplerProgram.pixel);
    Context().IASetVertexBuffers(0, quad, sizeof(Vertex), 0);
    Context().IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
    Context().PSSetConstantBuffers(0, params);
    Context().PSSetSamplers(0, 4, samplers);
    // 2 by 2: red, green on top; blue, white below.
    Context().PSSetShaderResources(
        0, MakeTexture(2, 2, {Rgba(255, 0, 0), Rgba(0, 255, 0), Rgba(0, 0, 255), Rgba(255, 255, 255)}));
    auto target = MakeTarget(2, 4);
    Context().OMSetRenderTargets(target.view);
    for (int which = 0; which < 4; ++which) {
        const Gpu::Viewport row{0, float(which), 2, 1, 0, 1};
        Context().RSSetViewports(1, &row);
        Gpu::MappedSubresource mapped;
        ASSERT_TRUE(Context().Map(params, 0, Gpu::MapType::WRITE_DISCARD, 0, &mapped));
        std::memset(mapped.pData, 0, sizeof(Params));
        std::memcpy(mapped.pData, &which, sizeof which);
        Context().Unmap(params, 0);
        Context().Draw(4, 0);
    }
    const Image image = Read(target.texture);
    // Linear at u = 0.625 is 3/4 green; past the edge, clamping keeps green while wrapping blends
    // 3/4 red (linear) or lands on red (point).
    EXPECT_TRUE(PixelNear(image, 0, 0, {64, 191, 0, 255}, 3)) << "linear clamp";
    EXPECT_TRUE(PixelNear(image, 1, 0, {0, 255, 0, 255}, 3)) << "linear clamp";
    EXPECT_TRUE(PixelNear(image, 0, 1, {0, 255, 0, 255}, 0)) << "point clamp";
    EXPECT_TRUE(PixelNear(image, 1, 1, {0, 255, 0, 255}, 0)) << "point clamp";
    EXPECT_TRUE(PixelNear(image, 0, 2, {64, 191, 0, 255}, 3)) << "linear wrap";
    EXPECT_TRUE(PixelNear(image, 1, 2, {191, 64, 0, 255}, 3)) << "linear wrap";
    EXPECT_TRUE(PixelNear(image, 0, 3, {0, 255, 0, 255}, 0)) << "point wrap";
    EXPECT_TRUE(PixelNear(image, 1, 3, {255, 0, 0, 255}, 0)) << "point wrap";
}

}  // namespace
