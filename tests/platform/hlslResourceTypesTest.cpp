// Every texture shape a shader may declare, compiled from HLSL and drawn headless: what an empty slot
// reads for each shape, a layer of a bound array, the faces of a bound cube, a bound row of texels, and a
// view of the wrong shape, which reads as an empty slot does.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gpu/gpu.h"
#include "support/gpuFixture.h"

namespace {

using TestSupport::GpuTest;
using TestSupport::Image;
using TestSupport::PixelNear;
using TestSupport::Rgba;

// The quad scaled to the viewport, with the texture coordinate and a direction for cube lookups.
const char* kPrelude = R"(
struct VSIn { float3 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : NORMAL; };
struct VSOut { float4 pos : SV_Position; float2 uv : TEXCOORD0; };
SamplerState pointClamp : register(s0);
VSOut VS(VSIn input) {
    VSOut output;
    output.pos = float4(input.pos.xy * 2.0, 0.5, 1.0);
    output.uv = input.uv;
    return output;
}
)";

class HlslResourceTypes : public GpuTest {
protected:
    void SetUp() override {
        GpuTest::SetUp();
        if (IsSkipped()) return;
        sampler = PointSampler();
        ASSERT_TRUE(sampler);
    }

    // Draws the 2x2 target with the pixel entry `entry` of kPrelude + `body` and `views` from t0 on;
    // the target starts magenta, so that a draw that did not happen shows.
    Image Draw(const std::string& body, const std::vector<Gpu::ShaderResourceViewPtr>& views,
               const std::string& entry = "PS") {
        auto program = MakeProgram(std::string(kPrelude) + body, entry);
        if (!BindQuad(program)) return {};
        Context().PSSetSamplers(0, 1, &sampler);
        for (size_t i = 0; i < views.size(); ++i) Context().PSSetShaderResources(uint32_t(i), views[i]);
        auto target = MakeTarget(2, 2, {1, 0, 1, 1});
        BindTarget(target);
        Context().Draw(4, 0);
        return Read(target.texture);
    }

    // A 1x1 RGBA8 texture of `layers` layers (a cube when `cube`), layer i of colour `colours[i]`.
    Gpu::ShaderResourceViewPtr MakeLayers(const std::vector<uint32_t>& colours, bool cube) {
        Gpu::Texture2DDesc desc;
        desc.Width = desc.Height = 1;
        desc.ArraySize = uint32_t(colours.size());
        desc.MiscFlags = cube ? uint32_t(Gpu::RESOURCE_MISC_TEXTURECUBE) : 0u;
        std::vector<Gpu::SubresourceData> data;
        for (const uint32_t& colour : colours) data.push_back({&colour, 4, 0});
        auto texture = Device().CreateTexture2D(desc, data.data());
        EXPECT_TRUE(texture);
        return texture ? Device().CreateShaderResourceView(texture) : nullptr;
    }

    Gpu::SamplerStatePtr sampler;
};

// --- Empty slots ----------------------------------------------------------------------------------

TEST_F(HlslResourceTypes, AnEmptySlotOfEveryShapeReadsTransparentBlackThroughEveryReadingForm) {
    struct Case {
        const char* declaration;
        const char* reads;
    };
    const Case cases[] = {
        {"Texture1D t : register(t3);",
         "t.Sample(pointClamp, uv.x) + t.SampleLevel(pointClamp, uv.x, 0) + t.Load(int2(0, 0)) + "
         "t.SampleGrad(pointClamp, uv.x, 0.1, 0.1)"},
        {"Texture1DArray t : register(t3);", "t.Sample(pointClamp, float2(uv.x, 1)) + t.Load(int3(0, 1, 0))"},
        {"Texture2D t : register(t3);", "t.Sample(pointClamp, uv) + t.Load(int3(0, 0, 0))"},
        {"Texture2DArray t : register(t3);",
         "t.Sample(pointClamp, float3(uv, 2)) + t.SampleLevel(pointClamp, float3(uv, 1), 0) + "
         "t.Load(int4(0, 0, 1, 0)) + t.Gather(pointClamp, float3(uv, 0))"},
        {"Texture3D t : register(t3);", "t.Sample(pointClamp, uv.xyx) + t.Load(int4(0, 0, 0, 0))"},
        {"TextureCube t : register(t3);",
         "t.Sample(pointClamp, float3(1, uv)) + t.SampleLevel(pointClamp, float3(uv, -1), 0) + "
         "t.SampleGrad(pointClamp, float3(uv, 1), 0.1, 0.1) + t.Gather(pointClamp, float3(-1, uv))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.declaration);
        const std::string body = std::string(c.declaration) +
                                 "\nfloat4 PS(VSOut input) : SV_Target { float2 uv = input.uv; return " +
                                 c.reads + " + float4(0, 0, 0, 1); }\n";
        const Image image = Draw(body, {nullptr, nullptr, nullptr, nullptr});
        ASSERT_EQ(image.width, 2u);
        EXPECT_TRUE(PixelNear(image, 0, 0, {0, 0, 0, 255}));
        EXPECT_TRUE(PixelNear(image, 1, 1, {0, 0, 0, 255}));
    }
}

TEST_F(HlslResourceTypes, AViewOfAnotherShapeReadsAsAnEmptySlot) {
    auto white2D = MakeTexture(1, 1, {Rgba(255, 255, 255)});
    const char* body = R"(
TextureCube cube : register(t0);
Texture2DArray layers : register(t1);
Texture2D flat : register(t2);
float4 PS(VSOut input) : SV_Target {
    return float4(cube.Sample(pointClamp, float3(1, 0, 0)).r, layers.Sample(pointClamp, float3(0.5, 0.5, 0)).r,
                  flat.Sample(pointClamp, float2(0.5, 0.5)).r, 1);
}
)";
    const Image image = Draw(body, {white2D, white2D, white2D});
    EXPECT_TRUE(PixelNear(image, 0, 0, {0, 0, 255, 255}));
}

// --- Bound arrays and cubes -------------------------------------------------------------------------

TEST_F(HlslResourceTypes, EachLayerOfATextureArrayReadsItsOwnTexels) {
    const std::vector<uint32_t> colours = {Rgba(255, 0, 0), Rgba(0, 255, 0), Rgba(0, 0, 255)};
    auto layers = MakeLayers(colours, false);
    ASSERT_TRUE(layers);
    const char* body = R"(
Texture2DArray layers : register(t0);
float4 PS_Sample(VSOut input) : SV_Target { return layers.Sample(pointClamp, float3(input.uv, 2)); }
float4 PS_Load(VSOut input) : SV_Target { return layers.Load(int4(0, 0, 1, 0)); }
// Past the last layer reads the last, as the layer index is clamped.
float4 PS_Beyond(VSOut input) : SV_Target { return layers.SampleLevel(pointClamp, float3(input.uv, 7), 0); }
float4 PS_Size(VSOut input) : SV_Target {
    uint width, height, elements, levels;
    layers.GetDimensions(0, width, height, elements, levels);
    return float4(width, height, elements, levels) / 4.0;
}
)";
    struct Case {
        const char* entry;
        std::array<int, 4> expected;
    };
    const Case cases[] = {
        {"PS_Sample", {0, 0, 255, 255}},
        {"PS_Load", {0, 255, 0, 255}},
        {"PS_Beyond", {0, 0, 255, 255}},
        {"PS_Size", {64, 64, 191, 64}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const Image image = Draw(body, {layers}, c.entry);
        ASSERT_EQ(image.width, 2u);
        EXPECT_TRUE(PixelNear(image, 1, 0, c.expected));
    }
}

TEST_F(HlslResourceTypes, ACubeReadsTheFaceItsDirectionPointsAt) {
    // Faces +X, -X, +Y, -Y, +Z, -Z.
    const std::vector<uint32_t> faces = {Rgba(255, 0, 0),   Rgba(0, 255, 0),   Rgba(0, 0, 255),
                                         Rgba(255, 255, 0), Rgba(0, 255, 255), Rgba(255, 0, 255)};
    auto cube = MakeLayers(faces, true);
    ASSERT_TRUE(cube);
    const char* body = R"(
TextureCube cube : register(t0);
static const float3 directions[6] = { float3(1, 0, 0), float3(-1, 0, 0), float3(0, 1, 0),
                                      float3(0, -1, 0), float3(0, 0, 1), float3(0, 0, -1) };
float4 PS(VSOut input) : SV_Target {
    // Each pixel of the 2x2 target looks along one axis; the other two pixels check +Z and -Z.
    uint which = uint(input.pos.x) + 2 * uint(input.pos.y);
    return cube.Sample(pointClamp, directions[which + (which >= 2 ? 2 : 0)]);
}
float4 PS_Gather(VSOut input) : SV_Target { return cube.Gather(pointClamp, float3(0, -1, 0)); }
)";
    Image image = Draw(body, {cube});
    ASSERT_EQ(image.width, 2u);
    EXPECT_TRUE(PixelNear(image, 0, 0, {255, 0, 0, 255}));
    EXPECT_TRUE(PixelNear(image, 1, 0, {0, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(image, 0, 1, {0, 255, 255, 255}));
    EXPECT_TRUE(PixelNear(image, 1, 1, {255, 0, 255, 255}));
    // Gather returns the red channel of the four texels around: all of face -Y, which is yellow.
    image = Draw(body, {cube}, "PS_Gather");
    EXPECT_TRUE(PixelNear(image, 0, 0, {255, 255, 255, 255}));
}

TEST_F(HlslResourceTypes, A1DTextureAndA1DArrayReadTheirTexelsBySampleLoadAndSize) {
    // Four texels in a row; the array has two such rows, the second the first reversed.
    const uint32_t row[8] = {Rgba(255, 0, 0),   Rgba(0, 255, 0), Rgba(0, 0, 255), Rgba(255, 255, 0),
                             Rgba(255, 255, 0), Rgba(0, 0, 255), Rgba(0, 255, 0), Rgba(255, 0, 0)};
    Gpu::Texture1DDesc desc;
    desc.Width = 4;
    const Gpu::SubresourceData first{row, 16, 0};
    auto line = Device().CreateTexture1D(desc, &first);
    desc.ArraySize = 2;
    const Gpu::SubresourceData layers[2] = {{row, 16, 0}, {row + 4, 16, 0}};
    auto lines = Device().CreateTexture1D(desc, layers);
    ASSERT_TRUE(line && lines);
    auto lineView = Device().CreateShaderResourceView(line);
    auto linesView = Device().CreateShaderResourceView(lines);
    ASSERT_TRUE(lineView && linesView);

    const char* body = R"(
Texture1D row : register(t0);
Texture1DArray rows : register(t1);
// The 2x2 target's left column reads texel 1 (u = 0.375), its right column texel 2 (u = 0.625).
float4 PS_Sample(VSOut input) : SV_Target { return row.Sample(pointClamp, input.pos.x < 1 ? 0.375 : 0.625); }
float4 PS_Load(VSOut input) : SV_Target { return row.Load(int2(3, 0)); }
float4 PS_Layer(VSOut input) : SV_Target {
    return rows.Sample(pointClamp, float2(input.pos.x < 1 ? 0.125 : 0.875, 1));
}
float4 PS_LayerLoad(VSOut input) : SV_Target { return rows.Load(int3(1, 1, 0)); }
float4 PS_Size(VSOut input) : SV_Target {
    uint width, elements, levels;
    rows.GetDimensions(0, width, elements, levels);
    return float4(width, elements, levels, 4) / 4.0;
}
)";
    struct Case {
        const char* entry;
        std::array<int, 4> left, right;
    };
    const Case cases[] = {
        {"PS_Sample", {0, 255, 0, 255}, {0, 0, 255, 255}},
        {"PS_Load", {255, 255, 0, 255}, {255, 255, 0, 255}},
        {"PS_Layer", {255, 255, 0, 255}, {255, 0, 0, 255}},
        {"PS_LayerLoad", {0, 0, 255, 255}, {0, 0, 255, 255}},
        {"PS_Size", {255, 128, 64, 255}, {255, 128, 64, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const Image image = Draw(body, {lineView, linesView}, c.entry);
        ASSERT_EQ(image.width, 2u);
        EXPECT_TRUE(PixelNear(image, 0, 1, c.left));
        EXPECT_TRUE(PixelNear(image, 1, 1, c.right));
    }
}

TEST_F(HlslResourceTypes, CubesAndArraysOfImpossibleShapesAreRefusedWithAMessage) {
    Gpu::Texture2DDesc desc;
    desc.Width = 2;
    desc.Height = 1;
    desc.ArraySize = 6;
    desc.MiscFlags = Gpu::RESOURCE_MISC_TEXTURECUBE;
    EXPECT_FALSE(Device().CreateTexture2D(desc));  // faces not square
    desc.Height = 2;
    desc.ArraySize = 4;
    EXPECT_FALSE(Device().CreateTexture2D(desc));  // not six faces
    desc.MiscFlags = 0;
    desc.BindFlags = Gpu::BIND_SHADER_RESOURCE | Gpu::BIND_RENDER_TARGET;
    EXPECT_FALSE(Device().CreateTexture2D(desc));  // arrays are not drawn into
    Gpu::Texture1DDesc line;
    line.Width = 4;
    line.BindFlags = Gpu::BIND_SHADER_RESOURCE | Gpu::BIND_RENDER_TARGET;
    EXPECT_FALSE(Device().CreateTexture1D(line));  // nor are rows
    line.BindFlags = Gpu::BIND_SHADER_RESOURCE;
    line.ArraySize = 0;
    EXPECT_FALSE(Device().CreateTexture1D(line));
}

}  // namespace
