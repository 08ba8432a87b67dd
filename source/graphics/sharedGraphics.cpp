#include "graphics/sharedGraphics.h"

SharedGraphics g_graphics;

void BindGenericVertices() {
    g_graphics.context->IASetVertexBuffers(0, g_graphics.genericVertices, kVertexStride, 0);
    g_graphics.context->IASetPrimitiveTopology(Gpu::PrimitiveTopology::TRIANGLESTRIP);
}
