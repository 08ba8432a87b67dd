#include "effects/screenPass.h"

#include "graphics/constantBuffer.h"
#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "graphics/sharedGraphics.h"

namespace Effects {

bool SetShaderOrClear(Shader& shader, const char* pixelEntry, RenderTexturePair* target,
                      const float fallback[4]) {
    if (shader.Set(pixelEntry)) return true;
    g_graphics.context->ClearRenderTargetView(target->CurrentTarget(), fallback);
    return false;
}

void BindPassConstants(ConstantBuffer& constants, const void* data) {
    Gpu::Context& context = *g_graphics.context;
    constants.Update(data);
    context.VSSetConstantBuffers(0, constants.GetBuffer());
    context.PSSetConstantBuffers(0, constants.GetBuffer());
}

void DrawScreenPass(RenderTexturePair* target, uint32_t count, const Gpu::ShaderResourceViewPtr* views) {
    Gpu::Context& context = *g_graphics.context;
    // The picture so far is read, so it must not stay bound as the target.
    context.OMSetRenderTargets(nullptr, nullptr);
    context.PSSetShaderResources(0, count, views);
    context.VSSetShaderResources(0, count, views);
    target->Flip();
    BindGenericVertices();
    context.Draw(4, 0);
}

void DrawScreenPass(RenderTexturePair* target) {
    DrawScreenPass(target, 1, &target->CurrentView());
}

}  // namespace Effects
