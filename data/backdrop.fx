// Generator for the backgrounds of the 3D scenes: a soft glow from below the centre into a dark
// tint, with a slow drift of light bands, so that lit cubes stand out without a flat black behind.
//
// Block (FullScreenShader): float1 brightness of the glow; float2, float3, float4 red, green, blue of
// the glow; float5 how much the bands show; float6 the beat pulse's strength.
#include "quad.fxh"

cbuffer Block : register(b0) {
    float time;
    float glow;
    float red;
    float green;
    float blue;
    float bands;
    float pulse;
    float padding;
};

float4 PS_Backdrop(PixelIn input) : SV_Target {
    float2 p = Centred(input.texcoord);
    float d = length(p - float2(0.0, -0.15));
    float3 tint = float3(red, green, blue);
    float light = glow * (1.0 + pulse * BeatPulse(time)) * exp(-d * d * 3.0);
    float band = 0.5 + 0.5 * sin(p.y * 14.0 - time * 0.8 + sin(p.x * 3.0 + time * 0.3) * 1.5);
    float3 colour = tint * (0.12 + light) + tint * bands * band * 0.08;
    // Darker corners keep the eye in the middle.
    colour *= 1.0 - 0.5 * saturate(dot(p, p) * 0.8);
    return float4(colour, 1.0);
}
