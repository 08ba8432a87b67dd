// Fixture for the screen effects' tests: effects built from a script snippet through the factory and
// run headless against a render-texture pair of the show's size, plus small helpers for their data.
#pragma once

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "graphics/dynamicTexture.h"
#include "platform/image/imageCodec.h"
#include "support/showFixture.h"

namespace TestSupport {

class ScreenEffectTest : public ShowTest {
protected:
    void SetUp() override {
        ShowTest::SetUp();
        if (IsSkipped()) return;
        pair = std::make_unique<RenderTexturePair>(800.0f, 600.0f);
    }
    void TearDown() override {
        effects.clear();
        pair.reset();
        ShowTest::TearDown();
    }

    /// Builds the "effect" children of `<demo>xml</demo>`; the factory's result.
    bool Load(const std::string& xml) {
        effects.clear();
        const std::string text = "<demo>" + xml + "</demo>";
        EXPECT_TRUE(m_document.load_string(text.c_str())) << text;
        return Effects::Effect::LoadEffects(m_document.child("demo"), effects);
    }
    /// One frame at show time `time`, as the effects manager runs it.
    void Run(double time) {
        for (const auto& effect : effects) effect->Update(time, pair.get());
    }
    /// The pair's current picture.
    Image Current() { return Read(pair->Current().texture); }
    /// Clears the pair's current texture.
    void Fill(std::array<float, 4> colour) {
        Context().ClearRenderTargetView(pair->CurrentTarget(), colour.data());
    }
    /// Copies a file of the repository's bundled demo into the test's data folder.
    void CopyDemoFile(const std::string& name) {
        Data().Write(name, ReadHostFile(std::filesystem::path(VANTRISK_SOURCE_DIR) / "data" / name));
    }

    std::unique_ptr<RenderTexturePair> pair;
    std::vector<std::unique_ptr<Effects::Effect>> effects;

private:
    pugi::xml_document m_document;
};

/// A PNG of `width` × `height` pixels given row by row as Rgba() values (alpha is not stored).
inline std::string Png(int width, int height, const std::vector<uint32_t>& pixels) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(::Image::EncodePng(reinterpret_cast<const uint8_t*>(pixels.data()), width, height, width * 4,
                                 true, "test", bytes, error))
        << error;
    return std::string(bytes.begin(), bytes.end());
}

/// A save that file watchers surely notice, however fast the test runs.
inline void Touch(const std::filesystem::path& path) {
    using namespace std::chrono_literals;
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + 2s);
}

/// Whether the colour channels at (x, y) are `rgb` within `tolerance`; alpha is not compared.
inline ::testing::AssertionResult RgbNear(const Image& image, uint32_t x, uint32_t y, std::array<int, 3> rgb,
                                          int tolerance = 2) {
    const auto actual = image.At(x, y);
    return PixelNear(image, x, y, {rgb[0], rgb[1], rgb[2], actual[3]}, tolerance);
}

/// The vertex side every test shader shares: the generic quad doubled to cover the target.
constexpr const char* kQuadVertexShader = R"(
struct VertexIn { float3 position : POSITION; float2 texcoord : TEXCOORD0; float3 normal : NORMAL; };
struct PixelIn { float4 position : SV_Position; float2 texcoord : TEXCOORD0; };
PixelIn VS(VertexIn input) {
    PixelIn output;
    output.position = float4(input.position.xy * 2.0, 0.0, 1.0);
    output.texcoord = input.texcoord;
    return output;
}
)";

}  // namespace TestSupport
