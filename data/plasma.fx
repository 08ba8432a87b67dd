// Generator: a slowly churning plasma of four interfering waves, brightened on every beat.
//
// Block (FullScreenShader): time in beats; float1 brightness (0 to 1); float2 beat flash strength;
// float3 palette shift; float4 scale of the pattern; float5 swirl about the centre.
#include "quad.fxh"

cbuffer Block : register(b0) {
    float time;
    float brightness;
    float flash;
    float hueShift;
    float scale;
    float swirl;
    float unused6;
    float padding;
};

float4 PS_Plasma(PixelIn input) : SV_Target {
    float2 p = Centred(input.texcoord) * max(scale, 0.05) * 6.0;
    float r = length(p);
    float angle = swirl * exp(-r * 0.3);
    float s = sin(angle), c = cos(angle);
    p = float2(c * p.x - s * p.y, s * p.x + c * p.y);
    float t = time * 0.35;
    float v = sin(p.x + t) + sin(p.y * 1.3 - t * 1.1) + sin((p.x + p.y) * 0.7 + t * 0.6) +
              sin(r * 1.5 - t * 1.7);
    float pulse = BeatPulse(time) * flash;
    float3 colour = Palette(v * 0.15 + hueShift + time * 0.01);
    // Deepened, so that the bands between the hues stay dark and the picture keeps some contrast.
    colour = pow(colour, 1.6) * (0.8 + 0.4 * pulse) + pulse * 0.06;
    return float4(colour * brightness, 1.0);
}
