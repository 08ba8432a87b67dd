#include "graphics/spriteRenderer.h"

#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "graphics/sharedGraphics.h"
#include "graphics/texture.h"

SpriteRenderer::SpriteRenderer(const std::string& textureName, uint32_t cellWidth, uint32_t cellHeight,
                               uint32_t cellsAcross, uint32_t cellsDown)
    : m_constants(sizeof(SpriteConstants)),
      m_instances(sizeof(SpriteInstance), kCapacity),
      m_hasCells(cellWidth > 0 && cellHeight > 0 && cellsAcross > 0 && cellsDown > 0) {
    // The instance shadow starts zero-filled, records and all.
    SpriteConstants constants;
    constants.targetSize = {float(kShowWidth), float(kShowHeight)};
    constants.cellSize = {float(cellWidth), float(cellHeight)};
    constants.gridSize = {float(cellsAcross), float(cellsDown)};
    m_constants.Update(&constants);

    m_texture = std::make_unique<Texture>();
    m_texture->Load(textureName);
    m_shader = std::make_unique<Shader>("sprites.fx");
    m_shader->LoadVS("VS");
    m_shader->LoadPS("PS");
}

SpriteRenderer::~SpriteRenderer() = default;

void SpriteRenderer::SetInstances(const SpriteInstance* instances, uint32_t count) {
    m_instances.Update(instances, count);
}

void SpriteRenderer::Render(RenderTexturePair* target) {
    Gpu::Context& context = *g_graphics.context;
    if (!m_texture || !m_shader->Set("PS")) {
        context.ClearRenderTargetView(target->CurrentTarget(), kSpriteHotPink);
        return;
    }
    // Without cells the shader would divide by zero: nothing can be cut from such a grid.
    if (!m_hasCells) return;
    context.VSSetShaderResources(5, m_instances.GetView());
    context.VSSetConstantBuffers(0, m_constants.GetBuffer());
    m_texture->ReloadIfChanged();
    context.PSSetShaderResources(0, m_texture->view);
    context.VSSetShaderResources(0, m_texture->view);
    context.OMSetRenderTargets(target->CurrentTarget(), nullptr);
    BindGenericVertices();
    context.DrawInstanced(4, m_instances.GetCount(), 0, 0);
}
