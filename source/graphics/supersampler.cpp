#include "graphics/supersampler.h"

#include <algorithm>
#include <cmath>

#include "graphics/sharedGraphics.h"
#include "platform/hlsl/hlslCompiler.h"
#include "system/log.h"

namespace {

constexpr char kFunction[] = "Supersampler::Supersampler";

// Each output pixel covers a block of target texels starting at its top left corner mapped into the
// target; the block is averaged with Load, so no sampler can blur or skip a texel.
constexpr char kSource[] = R"(
Texture2D picture : register(t0);
cbuffer Resolve : register(b0) {
    float2 origin;
    float2 texelStep;
    int2 block;
    int2 padding;
};
struct PixelIn { float4 position : SV_Position; };
PixelIn VS(float3 position : POSITION, float2 texcoord : TEXCOORD0, float3 normal : NORMAL) {
    PixelIn o;
    o.position = float4(position.xy * 2.0, 0.0, 1.0);
    return o;
}
float4 PS(PixelIn input) : SV_Target {
    uint width, height;
    picture.GetDimensions(width, height);
    const int2 last = int2(width, height) - 1;
    const int2 first = int2(floor((input.position.xy - 0.5 - origin) * texelStep + 0.5));
    float4 sum = float4(0.0, 0.0, 0.0, 0.0);
    for (int y = 0; y < block.y; ++y) {
        for (int x = 0; x < block.x; ++x) {
            sum += picture.Load(int3(clamp(first + int2(x, y), int2(0, 0), last), 0));
        }
    }
    return sum / float(block.x * block.y);
}
)";

std::shared_ptr<const Hlsl::ShaderCode> Compile(const char* entry, const char* target) {
    const Hlsl::IncludeResolver noIncludes = [](const std::string&, const std::string&, std::string&) {
        return false;
    };
    Hlsl::CompileResult result = Hlsl::Compile(kSource, "supersample.fx", noIncludes, entry, target);
    if (!result) VLOG(kFunction, "Cannot compile the box filter's %s: %s", entry, result.errors.c_str());
    return result.code;
}

}  // namespace

Supersampler::Supersampler(int width, int height)
    : m_target(float(width), float(height)), m_constants(sizeof(Constants)) {
    Gpu::Device& device = *g_graphics.device;
    const auto vertexCode = Compile("VS", "vs_4_0");
    const auto pixelCode = Compile("PS", "ps_4_0");
    if (vertexCode) m_vertexShader = device.CreateVertexShader(vertexCode);
    if (pixelCode) m_pixelShader = device.CreatePixelShader(pixelCode);
    const Gpu::InputElementDesc elements[3] = {
        {"POSITION", 0, Gpu::Format::R32G32B32_FLOAT, 0, 0, Gpu::InputClassification::PER_VERTEX_DATA, 0},
        {"TEXCOORD", 0, Gpu::Format::R32G32_FLOAT, 0, 12, Gpu::InputClassification::PER_VERTEX_DATA, 0},
        {"NORMAL", 0, Gpu::Format::R32G32B32_FLOAT, 0, 20, Gpu::InputClassification::PER_VERTEX_DATA, 0},
    };
    if (vertexCode) m_layout = device.CreateInputLayout(elements, 3, *vertexCode);
    if (!m_target.target) {
        VLOG(kFunction,
             "The device cannot make a %dx%d target to supersample into; the picture is filtered "
             "by the final pass alone",
             width, height);
    } else if (!IsReady()) {
        VLOG(kFunction, "No box filter; the picture is filtered by the final pass alone");
    }
}

bool Supersampler::IsReady() const {
    return m_target.target && m_target.view && m_vertexShader && m_pixelShader && m_layout &&
           m_constants.GetBuffer();
}

void Supersampler::Resolve(const Gpu::RenderTargetViewPtr& view, const Gpu::Viewport& viewport) {
    if (!IsReady() || !view || !(viewport.Width > 0.0f) || !(viewport.Height > 0.0f)) return;
    Gpu::Context& context = *g_graphics.context;
    Constants constants{};
    constants.originX = viewport.TopLeftX;
    constants.originY = viewport.TopLeftY;
    constants.stepX = m_target.width / viewport.Width;
    constants.stepY = m_target.height / viewport.Height;
    constants.blockWidth = std::max(1, int(std::ceil(constants.stepX - 1e-3f)));
    constants.blockHeight = std::max(1, int(std::ceil(constants.stepY - 1e-3f)));
    m_constants.Update(&constants);

    context.OMSetRenderTargets(view, nullptr);
    context.RSSetViewports(1, &viewport);
    context.IASetInputLayout(m_layout);
    context.VSSetShader(m_vertexShader);
    context.PSSetShader(m_pixelShader);
    context.PSSetConstantBuffers(0, m_constants.GetBuffer());
    context.PSSetShaderResources(0, m_target.view);
    // The final pass blended already; the mean is written as it is.
    context.OMSetBlendState(nullptr, nullptr, 0xFFFFFFFF);
    BindGenericVertices();
    context.Draw(4, 0);
    context.OMSetBlendState(g_graphics.alphaBlendState, nullptr, 0xFFFFFFFF);
    context.PSSetShaderResources(0, Gpu::ShaderResourceViewPtr());
}
