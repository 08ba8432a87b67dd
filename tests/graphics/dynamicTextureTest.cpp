#include "graphics/dynamicTexture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "graphics/shader.h"
#include "main/device.h"
#include "support/logCapture.h"
#include "support/showFixture.h"
#include "support/tempFolder.h"

namespace {

using TestSupport::Image;
using TestSupport::LogCapture;
using TestSupport::LogLine;
using TestSupport::PixelNear;

class DynamicTextureTest : public TestSupport::ShowTest {
protected:
    // A picture where every pixel differs from its neighbours in every channel, so that a copy that
    // is shifted, flipped, filtered or scaled cannot pass for the original.
    static Image Pattern(uint32_t width, uint32_t height, bool varyAlpha) {
        Image image{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                uint8_t* p = &image.rgba[(size_t(y) * width + x) * 4];
                p[0] = uint8_t(x * 37 + y * 3);
                p[1] = uint8_t(y * 53 + x * 11);
                p[2] = uint8_t((x ^ y) * 29);
                p[3] = varyAlpha ? uint8_t(x * 7 + y * 13) : 255;
            }
        }
        return image;
    }

    void Fill(const DynamicTexture& texture, const Image& image) {
        Context().UpdateSubresource(texture.texture, 0, nullptr, image.rgba.data(), image.width * 4, 0);
    }

    // The bundled demo's final shader, copied into the test's data folder.
    void CopyFinalShader() {
        const std::string source =
            TestSupport::ReadHostFile(std::string(VANTRISK_SOURCE_DIR) + "/data/final.fx");
        ASSERT_FALSE(source.empty());
        Data().Write("final.fx", source);
    }

    // The screen-effect pattern: unbind the targets, read the current picture, flip, draw it into
    // the other texture.
    void CopyThroughPair(RenderTexturePair& pair, Shader& shader, const char* entry) {
        ASSERT_TRUE(shader.Set(entry));
        // A texture bound as a target cannot be bound for reading at the same time.
        g_graphics.context->OMSetRenderTargets(nullptr);
        g_graphics.context->PSSetShaderResources(0, pair.CurrentView());
        g_graphics.context->VSSetShaderResources(0, pair.CurrentView());
        pair.Flip();
        const Gpu::Viewport viewport{0, 0, pair.width, pair.height, 0, 1};
        g_graphics.context->RSSetViewports(1, &viewport);
        BindGenericVertices();
        g_graphics.context->Draw(4, 0);
    }
};

// ---------------------------------------------------------------------------------------------------
// DynamicTexture

TEST_F(DynamicTextureTest, DynamicTexture_FractionalSizeTruncatesTheTextureButKeepsTheFloats) {
    const DynamicTexture texture(10.75f, 7.5f);
    ASSERT_NE(texture.texture, nullptr);
    ASSERT_NE(texture.view, nullptr);
    ASSERT_NE(texture.target, nullptr);
    EXPECT_EQ(texture.texture->Width(), 10u);
    EXPECT_EQ(texture.texture->Height(), 7u);
    EXPECT_EQ(texture.texture->MipLevels(), 1u);
    EXPECT_EQ(texture.texture->GetFormat(), Gpu::Format::R8G8B8A8_UNORM);
    EXPECT_EQ(texture.texture->GetDesc().BindFlags, 40u);
    EXPECT_EQ(texture.width, 10.75f);
    EXPECT_EQ(texture.height, 7.5f);
}

TEST_F(DynamicTextureTest, DynamicTexture_NewTextureIsClearedToTransparentBlack) {
    // Leave a bright picture in the driver's memory first, so a texture that reuses it is caught.
    {
        DynamicTexture old(64, 48);
        const float white[4] = {1, 1, 1, 1};
        Context().ClearRenderTargetView(old.target, white);
        Read(old.texture);
    }
    Counters().Reset();
    const DynamicTexture texture(64, 48);
    EXPECT_EQ(Counters().clears, 1u);
    const Image image = Read(texture.texture);
    ASSERT_EQ(image.rgba.size(), 64u * 48u * 4u);
    EXPECT_EQ(std::count(image.rgba.begin(), image.rgba.end(), 0), std::ptrdiff_t(image.rgba.size()));
}

TEST_F(DynamicTextureTest, DynamicTexture_SizesWithNoPixelsAreLoggedAndLeaveNullMembers) {
    for (const float size :
         {0.0f, 0.5f, -3.0f, std::nanf(""), std::numeric_limits<float>::infinity(), 1e30f}) {
        LogCapture log;
        const DynamicTexture texture(size, 16.0f);
        EXPECT_EQ(texture.texture, nullptr) << size;
        EXPECT_EQ(texture.view, nullptr) << size;
        EXPECT_EQ(texture.target, nullptr) << size;
        std::vector<LogLine> ours;
        for (const LogLine& line : log.Lines()) {
            if (line.function == "DynamicTexture::DynamicTexture") ours.push_back(line);
        }
        EXPECT_EQ(
            ours,
            (std::vector<LogLine>{
                {"DynamicTexture::DynamicTexture", "Failed to create render texture"},
                {"DynamicTexture::DynamicTexture", "Failed to create render target view"},
                {"DynamicTexture::DynamicTexture", "Failed to create render target shader resource view"},
            }))
            << size;
    }
    // A pair of such textures still exists and flips.
    RenderTexturePair pair(-1.0f, -1.0f);
    pair.Flip();
    EXPECT_EQ(pair.current, 1);
    EXPECT_EQ(pair.CurrentTarget(), nullptr);
}

// ---------------------------------------------------------------------------------------------------
// RenderTexturePair

TEST_F(DynamicTextureTest, RenderTexturePair_HoldsTwoTexturesOfItsSizeAndTwoFlipsReturnToTheStart) {
    RenderTexturePair pair(32.9f, 16.0f);
    ASSERT_EQ(pair.textures.size(), 2u);
    EXPECT_NE(pair.textures[0]->texture, pair.textures[1]->texture);
    for (const auto& texture : pair.textures) {
        EXPECT_EQ(texture->texture->Width(), 32u);
        EXPECT_EQ(texture->width, 32.9f);
    }
    EXPECT_EQ(pair.width, 32.9f);
    EXPECT_EQ(pair.current, 0);
    pair.Flip();
    EXPECT_EQ(pair.current, 1);
    EXPECT_EQ(pair.CurrentTarget(), pair.textures[1]->target);
    pair.Flip();
    EXPECT_EQ(pair.current, 0);
    EXPECT_EQ(pair.CurrentView(), pair.textures[0]->view);
}

TEST_F(DynamicTextureTest, RenderTexturePair_FlipBindsTheNewCurrentTextureForDrawing) {
    RenderTexturePair pair(16, 16);
    Data().Write("solid.fx", R"(
struct VertexIn { float3 position : POSITION; float2 texcoord : TEXCOORD0; float3 normal : NORMAL; };
float4 VS(VertexIn input) : SV_Position { return float4(input.position.xy * 2.0, 0.0, 1.0); }
float4 PS() : SV_Target { return float4(0, 1, 0, 1); }
)");
    Shader shader("solid.fx");
    ASSERT_TRUE(shader.Set("PS"));
    pair.Flip();
    const Gpu::Viewport viewport{0, 0, 16, 16, 0, 1};
    g_graphics.context->RSSetViewports(1, &viewport);
    BindGenericVertices();
    g_graphics.context->Draw(4, 0);
    EXPECT_TRUE(PixelNear(Read(pair.textures[1]->texture), 5, 5, {0, 255, 0, 255}));
    EXPECT_TRUE(PixelNear(Read(pair.textures[0]->texture), 5, 5, {0, 0, 0, 0}));
}

TEST_F(DynamicTextureTest, RenderTexturePair_FinalShaderCopiesThePictureExactlyAndUpright) {
    CopyFinalShader();
    Shader shader("final.fx");
    ASSERT_TRUE(shader.LoadVS("VS"));
    ASSERT_TRUE(shader.LoadPS("PS"));
    RenderTexturePair pair{float(kShowWidth), float(kShowHeight)};
    const Image picture = Pattern(kShowWidth, kShowHeight, false);
    Fill(pair.Current(), picture);

    CopyThroughPair(pair, shader, "PS");
    EXPECT_EQ(pair.current, 1);
    EXPECT_TRUE(ImagesNear(Read(pair.Current().texture), picture, 0, 0.0, "final-PS-copy"));
}

TEST_F(DynamicTextureTest, RenderTexturePair_FinalShaderMakesThePictureOpaqueOrKeepsItsAlpha) {
    CopyFinalShader();
    Shader shader("final.fx");
    // Without blending, so that the written alpha is what the pixel shader returned.
    g_graphics.context->OMSetBlendState(nullptr, nullptr, 0xFFFFFFFF);
    RenderTexturePair pair(64, 32);
    const Image picture = Pattern(64, 32, true);
    Image opaque = picture;
    for (size_t i = 3; i < opaque.rgba.size(); i += 4) opaque.rgba[i] = 255;

    Fill(pair.Current(), picture);
    CopyThroughPair(pair, shader, "PS");
    EXPECT_TRUE(ImagesNear(Read(pair.Current().texture), opaque, 0, 0.0, "final-PS-opaque"));

    Fill(pair.Current(), picture);
    CopyThroughPair(pair, shader, "PS_WithAlpha");
    EXPECT_EQ(pair.current, 0);
    EXPECT_TRUE(ImagesNear(Read(pair.Current().texture), picture, 0, 0.0, "final-PS_WithAlpha"));
}

}  // namespace
