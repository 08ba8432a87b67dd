// A two-pass Gaussian blur of the picture so far: horizontal, then vertical, each pass reading the
// current texture of the pair and drawing into the other one. The kernel is fixed when the effect
// loads (51 texels folded into 13 filtered reads per side); the script only keys the strength.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "effects/effect.h"
#include "graphics/constantBuffer.h"
#include "graphics/structuredBuffer.h"

class Shader;

namespace Effects {

/// One folded tap of the kernel, as the shader reads it from slot 5: `weight` applies once on each
/// side of the centre, at `offset` texels, where a filtered read blends two neighbouring texels.
struct BlurTap {
    float weight;
    float offset;
    float unused[2];
};
static_assert(sizeof(BlurTap) == 16);

class Blur : public Effect {
public:
    /// Texels on each side of the kernel's centre, and the taps they fold into.
    static constexpr int kRadius = 25;
    static constexpr int kWeightCount = 2 * kRadius + 1;
    static constexpr int kTapCount = 13;
    static constexpr uint32_t kTapCapacity = 32;

    /// Creates the tap buffer and the 16-byte constant block; the shader comes with Load.
    Blur();
    ~Blur() override;

    /// Compiles "blur.fx" (failures only logged), computes the kernel and uploads its taps.
    bool Load(const pugi::xml_node& node) override;
    /// Blurs the current texture in place (the pair flips twice) unless "strength" is not above 0;
    /// a pass that cannot be bound is skipped and the back buffer is cleared to hot pink.
    void Render(double localTime, RenderTexturePair* target) override;

    /// Layout of the constant block both passes read at b0.
    struct Constants {
        float texelWidth;   ///< 1/800
        float texelHeight;  ///< 1/600
        float strength;     ///< scales the tap offsets
        uint32_t tapCount;  ///< taps in the tap buffer
    };
    static_assert(sizeof(Constants) == 16);

    /// The 51 normalised weights of a Gaussian of width `sigma` (not numbers where it underflows).
    static std::array<double, kWeightCount> GaussianWeights(double sigma);

    /// The narrowest kernel whose outermost weights still exceed 1/2550 of the total.
    struct Kernel {
        double sigma = 0.0;
        int evaluations = 0;  ///< widths tried to find it
        std::array<double, kWeightCount> weights{};
    };
    static Kernel FindKernel();

    /// Folds 51 weights into the taps of one side (the centre split between both sides).
    static std::array<BlurTap, kTapCount> FoldTaps(const std::array<double, kWeightCount>& weights);

    /// The tap buffer the shader reads (13 taps once loaded).
    const StructuredBuffer<BlurTap>& GetTaps() const { return m_taps; }
    /// The constant block as last uploaded.
    const ConstantBuffer& GetConstants() const { return m_constants; }

private:
    /// One pass from the current texture into the other; false (nothing drawn) when `entry` cannot
    /// be bound.
    bool Pass(const char* entry, RenderTexturePair* target);

    std::unique_ptr<Shader> m_shader;
    StructuredBuffer<BlurTap> m_taps;
    ConstantBuffer m_constants;
};

}  // namespace Effects
