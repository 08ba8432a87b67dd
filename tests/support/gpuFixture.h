// Test helpers for GPU work: one headless device shared by the whole test binary (making an EGL
// context costs time), a fixture that resets it between tests and insists on no GL errors, shader
// compilation, and image comparison that writes the actual and a difference image on failure.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/gpu/gpu.h"
#include "platform/hlsl/shaderCode.h"

namespace TestSupport {

/// An RGBA8 picture, rows top-down.
struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;

    /// The four channels at (x, y).
    std::array<int, 4> At(uint32_t x, uint32_t y) const;
};

/// The binary's headless device, made on first use; null members when no EGL device can be made.
const Gpu::DeviceSet& SharedGpu();

/// Writes `image` as a PNG file; false on failure.
bool WritePng(const std::filesystem::path& path, const Image& image);

/// Whether `actual` matches `expected` within `tolerance` per channel, allowing a fraction
/// `allowedBad` of differing pixels. On failure writes <name>-actual.png, -expected.png and -diff.png
/// to the folder "gpu-test-images" of the build directory and says where.
::testing::AssertionResult ImagesNear(const Image& actual, const Image& expected, int tolerance,
                                      double allowedBad, const std::string& name);

/// Whether the pixel at (x, y) is `expected` within `tolerance` per channel.
::testing::AssertionResult PixelNear(const Image& image, uint32_t x, uint32_t y, std::array<int, 4> expected,
                                     int tolerance = 2);

/// Compiles HLSL (no includes) for "vs_4_0" or "ps_4_0"; fails the test (returning null) on errors.
std::shared_ptr<const Hlsl::ShaderCode> CompileHlsl(const std::string& source, const std::string& entry,
                                                    const std::string& target);

/// Fixture for tests that draw: skips when no GPU device exists, starts each test from cleared state
/// and counters, and fails a test during which GL reported an error.
class GpuTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Gpu::Device& Device() { return *SharedGpu().device; }
    Gpu::Context& Context() { return *SharedGpu().context; }
    Gpu::Counters& Counters() { return SharedGpu().device->GetCounters(); }

    /// A render-target texture with its view, cleared to `clear`.
    struct Target {
        Gpu::Texture2DPtr texture;
        Gpu::RenderTargetViewPtr view;
        Gpu::ShaderResourceViewPtr resource;
    };
    Target MakeTarget(uint32_t width, uint32_t height, std::array<float, 4> clear = {0, 0, 0, 0},
                      Gpu::Format format = Gpu::Format::R8G8B8A8_UNORM);
    /// Reads an RGBA8 texture back.
    Image Read(const Gpu::Texture2DPtr& texture);
    /// A shader-readable RGBA8 texture from `width` × `height` pixels given row by row.
    Gpu::ShaderResourceViewPtr MakeTexture(uint32_t width, uint32_t height,
                                           const std::vector<uint32_t>& pixels);
    /// Binds `target` alone and a viewport covering it.
    void BindTarget(const Target& target, const Gpu::DepthStencilViewPtr& depth = nullptr);
    /// Vertex and pixel shaders from one HLSL source with entries "VS" and `pixelEntry`.
    struct Program {
        std::shared_ptr<const Hlsl::ShaderCode> vertexCode;
        std::shared_ptr<const Hlsl::ShaderCode> pixelCode;
        Gpu::VertexShaderPtr vertex;
        Gpu::PixelShaderPtr pixel;
    };
    Program MakeProgram(const std::string& source, const std::string& pixelEntry = "PS");
    /// Binds both stages with the generic quad (kQuad, a triangle strip) as their vertices, ready for
    /// Draw(4, 0); false after failing the test when the stages or the input layout are missing.
    bool BindQuad(const Gpu::VertexShaderPtr& vertex,
                  const std::shared_ptr<const Hlsl::ShaderCode>& vertexCode,
                  const Gpu::PixelShaderPtr& pixel);
    bool BindQuad(const Program& program) {
        return BindQuad(program.vertex, program.vertexCode, program.pixel);
    }
    /// A point-filtering sampler that clamps at the edges.
    Gpu::SamplerStatePtr PointSampler();

private:
    Gpu::BufferPtr m_quad;
    Gpu::InputLayoutPtr m_quadLayout;
};

/// The system's vertex format: position, texture coordinate, normal (32 bytes).
struct QuadVertex {
    float position[3];
    float uv[2];
    float normal[3];
};
static_assert(sizeof(QuadVertex) == 32);

/// The generic quad as a triangle strip from -0.5 to 0.5, texture row 0 at the top.
inline constexpr QuadVertex kQuad[4] = {
    {{-0.5f, -0.5f, 0}, {0, 1}, {1, 0, 0}},
    {{-0.5f, 0.5f, 0}, {0, 0}, {1, 0, 0}},
    {{0.5f, -0.5f, 0}, {1, 1}, {1, 0, 0}},
    {{0.5f, 0.5f, 0}, {1, 0}, {1, 0, 0}},
};

/// The input layout of QuadVertex at slot 0.
inline const Gpu::InputElementDesc kQuadLayout[3] = {
    {"POSITION", 0, Gpu::Format::R32G32B32_FLOAT, 0, 0, Gpu::InputClassification::PER_VERTEX_DATA, 0},
    {"TEXCOORD", 0, Gpu::Format::R32G32_FLOAT, 0, 12, Gpu::InputClassification::PER_VERTEX_DATA, 0},
    {"NORMAL", 0, Gpu::Format::R32G32B32_FLOAT, 0, 20, Gpu::InputClassification::PER_VERTEX_DATA, 0},
};

/// Packs 0..255 channels as the bytes R, G, B, A of one pixel.
constexpr uint32_t Rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) {
    return r | (g << 8) | (b << 16) | (a << 24);
}

}  // namespace TestSupport
