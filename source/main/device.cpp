#include "main/device.h"

#include <cfloat>

#include "graphics/renderSize.h"
#include "main/mainWindow.h"
#include "system/log.h"

namespace {

constexpr char kFunction[] = "InitialiseD3D";

struct GenericVertex {
    float position[3];
    float texcoord[2];
    float normal[3];
};
static_assert(sizeof(GenericVertex) == kVertexStride);

// In triangle-strip order; texture v = 0 is the top of a picture.
constexpr GenericVertex kGenericVertices[4] = {
    {{-0.5f, -0.5f, 0.0f}, {0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}},
    {{-0.5f, 0.5f, 0.0f}, {0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}},
    {{0.5f, -0.5f, 0.0f}, {1.0f, 1.0f}, {1.0f, 0.0f, 0.0f}},
    {{0.5f, 0.5f, 0.0f}, {1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}},
};

bool Fail(const char* message) {
    SetTraceLocation(__FILE__, __LINE__, kFunction);
    Log("%s", message);
    return false;
}

}  // namespace

void PrepareHeadlessD3D() {
    Gpu::PrepareHeadlessDevice();
}

bool InitialiseD3D(int backBufferWidth, int backBufferHeight) {
    const auto width = static_cast<uint32_t>(backBufferWidth);
    const auto height = static_cast<uint32_t>(backBufferHeight);
    Gpu::DeviceSet set = g_mainWindow ? Gpu::CreateWindowDevice(g_mainWindow->Handle(), width, height)
                                      : Gpu::CreateHeadlessDevice(width, height);
    if (!set) return Fail("Failed to D3D11CreateDeviceAndSwapChain");
    return InitialiseSharedObjects(set);
}

bool InitialiseSharedObjects(const Gpu::DeviceSet& set) {
    SharedGraphics& g = g_graphics;
    g.device = set.device;
    g.context = set.context;
    g.swapChain = set.swapChain;
    VLOG(kFunction, "Video card is '%s' with %dMB", g.device->GetAdapterName().c_str(),
         g.device->GetVideoMemoryMB());

    Gpu::Texture2DPtr backBuffer = g.swapChain->GetBuffer(0);
    if (!backBuffer) return Fail("Failed to GetBuffer");
    g.backBufferView = g.device->CreateRenderTargetView(backBuffer);
    if (!g.backBufferView) return Fail("Failed to CreateRenderTargetView");

    Gpu::Texture2DDesc depthDesc;
    depthDesc.Width = static_cast<uint32_t>(g.renderWidth);
    depthDesc.Height = static_cast<uint32_t>(g.renderHeight);
    depthDesc.Format = Gpu::Format::D24_UNORM_S8_UINT;
    depthDesc.BindFlags = Gpu::BIND_DEPTH_STENCIL;
    g.depthTexture = g.device->CreateTexture2D(depthDesc);
    if (!g.depthTexture) {
        VLOG(kFunction, "The device cannot make textures of the render size %dx%d", g.renderWidth,
             g.renderHeight);
        return Fail("Failed to CreateTexture2D");
    }

    // The stencil counts how often a pixel was hidden (front faces up, back faces down).
    Gpu::DepthStencilDesc depth;
    depth.DepthEnable = false;
    depth.DepthWriteMask = Gpu::DepthWriteMask::ALL;
    depth.DepthFunc = Gpu::ComparisonFunc::LESS;
    depth.StencilEnable = true;
    depth.StencilReadMask = 0xFF;
    depth.StencilWriteMask = 0xFF;
    depth.FrontFace = {Gpu::StencilOp::KEEP, Gpu::StencilOp::INCR, Gpu::StencilOp::KEEP,
                       Gpu::ComparisonFunc::ALWAYS};
    depth.BackFace = {Gpu::StencilOp::KEEP, Gpu::StencilOp::DECR, Gpu::StencilOp::KEEP,
                      Gpu::ComparisonFunc::ALWAYS};
    g.depthOffState = g.device->CreateDepthStencilState(depth);
    depth.DepthEnable = true;
    g.depthOnState = g.device->CreateDepthStencilState(depth);
    if (!g.depthOffState || !g.depthOnState) return Fail("Failed to CreateDepthStencilState");
    g.context->OMSetDepthStencilState(g.depthOffState, 1);

    Gpu::DepthStencilViewDesc depthViewDesc;
    depthViewDesc.Format = Gpu::Format::D24_UNORM_S8_UINT;
    depthViewDesc.ViewDimension = Gpu::DsvDimension::TEXTURE2D;
    g.depthView = g.device->CreateDepthStencilView(g.depthTexture, &depthViewDesc);
    if (!g.depthView) return Fail("Failed to CreateDepthStencilView");
    g.context->OMSetRenderTargets(g.backBufferView, g.depthView);

    Gpu::RasterizerDesc rasterizer;  // solid, back faces culled, clockwise is front
    g.rasterizerState = g.device->CreateRasterizerState(rasterizer);
    if (!g.rasterizerState) return Fail("Failed to CreateRasterizerState");
    g.context->RSSetState(g.rasterizerState);

    const Gpu::Viewport viewport = RenderViewport();
    g.context->RSSetViewports(1, &viewport);

    Gpu::BufferDesc vertexDesc;
    vertexDesc.ByteWidth = sizeof kGenericVertices;
    vertexDesc.Usage = Gpu::Usage::IMMUTABLE;
    vertexDesc.BindFlags = Gpu::BIND_VERTEX_BUFFER;
    const Gpu::SubresourceData vertexData{kGenericVertices, 0, 0};
    g.genericVertices = g.device->CreateBuffer(vertexDesc, &vertexData);
    if (!g.genericVertices) return Fail("Failed to set up generic vertices)");

    Gpu::BlendDesc alpha;
    alpha.RenderTarget[0] = {true,
                             Gpu::Blend::SRC_ALPHA,
                             Gpu::Blend::INV_SRC_ALPHA,
                             Gpu::BlendOp::ADD,
                             Gpu::Blend::ONE,
                             Gpu::Blend::ZERO,
                             Gpu::BlendOp::ADD,
                             Gpu::COLOR_WRITE_ENABLE_ALL};
    g.alphaBlendState = g.device->CreateBlendState(alpha);
    Gpu::BlendDesc additive;
    additive.RenderTarget[0] = {true,
                                Gpu::Blend::ONE,
                                Gpu::Blend::ONE,
                                Gpu::BlendOp::ADD,
                                Gpu::Blend::ONE,
                                Gpu::Blend::ZERO,
                                Gpu::BlendOp::ADD,
                                Gpu::COLOR_WRITE_ENABLE_ALL};
    g.additiveBlendState = g.device->CreateBlendState(additive);
    g.context->OMSetBlendState(g.alphaBlendState, nullptr, 0xFFFFFFFF);

    const Gpu::Filter filters[4] = {Gpu::Filter::MIN_MAG_MIP_LINEAR, Gpu::Filter::MIN_MAG_MIP_POINT,
                                    Gpu::Filter::MIN_MAG_MIP_LINEAR, Gpu::Filter::MIN_MAG_MIP_POINT};
    for (int i = 0; i < 4; ++i) {
        Gpu::SamplerDesc sampler;
        sampler.Filter = filters[i];
        const auto address = i < 2 ? Gpu::TextureAddressMode::CLAMP : Gpu::TextureAddressMode::WRAP;
        sampler.AddressU = sampler.AddressV = sampler.AddressW = address;
        sampler.MaxAnisotropy = 0;
        sampler.ComparisonFunc = Gpu::ComparisonFunc::NEVER;
        sampler.MinLOD = 0.0f;
        sampler.MaxLOD = FLT_MAX;
        g.samplers[i] = g.device->CreateSamplerState(sampler);
    }
    // Every shader may rely on these four for the whole run.
    g.context->PSSetSamplers(0, 4, g.samplers);
    g.context->VSSetSamplers(0, 4, g.samplers);
    return true;
}

void ShutdownD3D() {
    if (g_graphics.context) g_graphics.context->ClearState();
    // The supersampler's resources go while the device is still whole.
    g_graphics.supersampler.reset();
    g_graphics = SharedGraphics{};
}
