// Supersampling: the final pass draws into a target of the render size, several times finer than the
// picture, and a box filter averages each picture pixel's block of it into the back buffer. It runs
// after the final pass, so it works whatever sampler a show's final.fx uses.
#pragma once

#include <cstdint>
#include <memory>

#include "graphics/constantBuffer.h"
#include "graphics/dynamicTexture.h"
#include "platform/gpu/gpu.h"

class Supersampler {
public:
    /// Makes the `width` by `height` target and compiles the filter; failures are logged once and
    /// leave it not ready.
    Supersampler(int width, int height);
    Supersampler(const Supersampler&) = delete;
    Supersampler& operator=(const Supersampler&) = delete;

    /// True when the target and the filter exist.
    bool IsReady() const;
    /// The target the final pass draws into.
    const Gpu::RenderTargetViewPtr& Target() const { return m_target.target; }
    /// Writes into `view` over `viewport` the mean of the target's texels under each pixel (an exact
    /// N by N box when the target is N times the viewport), without blending.
    void Resolve(const Gpu::RenderTargetViewPtr& view, const Gpu::Viewport& viewport);

    /// Layout of the filter's constant block.
    struct Constants {
        float originX;  ///< top left of the viewport in the output, pixels
        float originY;
        float stepX;  ///< target texels per output pixel
        float stepY;
        int32_t blockWidth;  ///< texels averaged across and down for each pixel
        int32_t blockHeight;
        int32_t padding[2];
    };
    static_assert(sizeof(Constants) == 32);

private:
    DynamicTexture m_target;
    ConstantBuffer m_constants;
    Gpu::VertexShaderPtr m_vertexShader;
    Gpu::PixelShaderPtr m_pixelShader;
    Gpu::InputLayoutPtr m_layout;
};
