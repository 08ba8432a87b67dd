#include "graphics/dynamicTexture.h"

#include <cassert>
#include <cmath>

#include "graphics/sharedGraphics.h"
#include "system/log.h"

namespace {

constexpr char kFunction[] = "DynamicTexture::DynamicTexture";

// Truncates toward zero. Sizes that have no pixel count (negative, not a number, beyond 32 bits)
// become 0, which the device refuses, so they end in the logged failure instead of undefined casts.
uint32_t PixelCount(float size) {
    if (!(size >= 0.0f) || size >= 4294967296.0f) return 0;
    return static_cast<uint32_t>(size);
}

}  // namespace

DynamicTexture::DynamicTexture(float width, float height) : width(width), height(height) {
    Gpu::Device& device = *g_graphics.device;

    Gpu::Texture2DDesc desc;
    desc.Width = PixelCount(width);
    desc.Height = PixelCount(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = Gpu::Format::R8G8B8A8_UNORM;
    desc.SampleDesc = {1, 0};
    desc.Usage = Gpu::Usage::DEFAULT;
    desc.BindFlags = Gpu::BIND_RENDER_TARGET | Gpu::BIND_SHADER_RESOURCE;
    desc.CPUAccessFlags = 0;
    desc.MiscFlags = 0;
    texture = device.CreateTexture2D(desc);
    if (!texture) VLOG(kFunction, "Failed to create render texture");

    Gpu::RenderTargetViewDesc targetDesc;
    targetDesc.Format = desc.Format;
    targetDesc.ViewDimension = Gpu::RtvDimension::TEXTURE2D;
    targetDesc.Texture2D.MipSlice = 0;
    if (texture) target = device.CreateRenderTargetView(texture, &targetDesc);
    if (!target) VLOG(kFunction, "Failed to create render target view");

    Gpu::ShaderResourceViewDesc viewDesc;
    viewDesc.Format = desc.Format;
    viewDesc.ViewDimension = Gpu::SrvDimension::TEXTURE2D;
    viewDesc.Texture.MostDetailedMip = 0;
    viewDesc.Texture.MipLevels = 1;
    if (texture) view = device.CreateShaderResourceView(texture, &viewDesc);
    if (!view) VLOG(kFunction, "Failed to create render target shader resource view");

    // A new texture holds whatever memory it was given; effects that blend over it expect nothing.
    if (target) {
        const float transparentBlack[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        g_graphics.context->ClearRenderTargetView(target, transparentBlack);
    }
}

RenderTexturePair::RenderTexturePair(float width, float height) : width(width), height(height) {
    textures.push_back(std::make_unique<DynamicTexture>(width, height));
    textures.push_back(std::make_unique<DynamicTexture>(width, height));
}

void RenderTexturePair::Flip() {
    assert(!textures.empty());
    current = (current + 1) % static_cast<int>(textures.size());
    g_graphics.context->OMSetRenderTargets(textures[current]->target, nullptr);
}
