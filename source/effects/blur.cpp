#include "effects/blur.h"

#include <cmath>

#include "effects/screenPass.h"
#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "graphics/sharedGraphics.h"

namespace Effects {

namespace {

// The outermost weight must stay above this (the float nearest to 1/2550, half a step of an 8-bit
// channel at full white) for the kernel's edge to still matter.
constexpr double kEdgeThreshold = 0.0003921568568330258;
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

Blur::Blur() : m_taps(sizeof(BlurTap), kTapCapacity), m_constants(sizeof(Constants)) {}

Blur::~Blur() = default;

bool Blur::Load(const pugi::xml_node& node) {
    if (!Effect::Load(node)) return false;
    m_shader = std::make_unique<Shader>("blur.fx");
    // Compile failures are logged by the shader and show as hot pink when drawing.
    m_shader->LoadVS("VS");
    m_shader->LoadPS("PS_NoMaskHorizontal");
    m_shader->LoadPS("PS_NoMaskVertical");

    const std::array<BlurTap, kTapCount> taps = FoldTaps(FindKernel().weights);
    m_taps.Update(taps.data(), kTapCount);
    return true;
}

std::array<double, Blur::kWeightCount> Blur::GaussianWeights(double sigma) {
    // The constant factor and the (25 / sigma)^2 term cancel in the normalisation; they are kept
    // because they decide where the float rounding underflows, and with it which widths the search
    // rejects.
    std::array<double, kWeightCount> weights{};
    double sum = 0.0;
    for (int i = 0; i < kWeightCount; ++i) {
        const double x = (i - kRadius) / sigma;
        const double edge = kRadius / sigma;
        const double g = std::sqrt(std::exp(-0.5 * (x * x + edge * edge)) / (kTwoPi * sigma * sigma));
        weights[i] = static_cast<float>(g);
        sum += weights[i];
    }
    const double total = static_cast<float>(sum);
    for (double& weight : weights) weight /= total;
    return weights;
}

Blur::Kernel Blur::FindKernel() {
    Kernel kernel;
    double sigma = 1.0;
    double step = 1.0;
    for (;;) {
        kernel.weights = GaussianWeights(sigma);
        ++kernel.evaluations;
        // Also false for the not-a-number weights of a width that underflows.
        if (kernel.weights[0] > kEdgeThreshold) {
            if (step <= 0.02) break;
            // Too wide: back off one step and go on with steps ten times finer.
            sigma -= step;
            step *= 0.1;
            sigma += step;
        } else {
            sigma += step;
        }
    }
    kernel.sigma = sigma;
    return kernel;
}

std::array<BlurTap, Blur::kTapCount> Blur::FoldTaps(const std::array<double, kWeightCount>& weights) {
    // One side of the kernel, centre first; the centre is halved since both sides add it.
    float half[kRadius + 1];
    half[0] = static_cast<float>(weights[kRadius]) * 0.5f;
    for (int k = 1; k <= kRadius; ++k) half[k] = static_cast<float>(weights[kRadius - k]);

    // Two neighbours share one linear-filtered read placed between them by their weights.
    std::array<BlurTap, kTapCount> taps{};
    for (int j = 0; j < kTapCount; ++j) {
        const float weight = half[2 * j] + half[2 * j + 1];
        taps[j] = {weight, half[2 * j + 1] / weight + static_cast<float>(2 * j), {0.0f, 0.0f}};
    }
    return taps;
}

bool Blur::Pass(const char* entry, RenderTexturePair* target) {
    if (!m_shader->Set(entry)) return false;
    DrawScreenPass(target);
    return true;
}

void Blur::Render(double localTime, RenderTexturePair* target) {
    const float strength = static_cast<float>(GetParam("strength")->GetAsDouble(localTime));
    if (!(strength > 0.0f)) return;

    Gpu::Context& context = *g_graphics.context;
    Constants constants{};
    constants.texelWidth = 1.0f / 800.0f;
    constants.texelHeight = 1.0f / 600.0f;
    constants.strength = strength;
    constants.tapCount = m_taps.GetCount();
    BindPassConstants(m_constants, &constants);
    context.PSSetShaderResources(5, m_taps.GetView());

    const bool horizontal = Pass("PS_NoMaskHorizontal", target);
    const bool vertical = Pass("PS_NoMaskVertical", target);
    // The back buffer shows the pink when a pass cannot be bound: the picture itself may look merely
    // unblurred, so the signal goes where it cannot be missed.
    if (!horizontal || !vertical) context.ClearRenderTargetView(g_graphics.backBufferView, kHotPink);
}

}  // namespace Effects
