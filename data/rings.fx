// Generator for a layer: glowing rings rippling out from a point that circles the centre, on a
// transparent ground, their colour cycling and their glow swelling on the beat. Alpha carries the
// glow, for layering over a picture.
//
// Block (FullScreenShader): time in beats; float1 opacity; float2 rings across the screen;
// float3 palette shift; float4 radius of the outermost ring; float5 angle of the rings' source
// around the centre (radians).
#include "quad.fxh"

cbuffer Block : register(b0) {
    float time;
    float opacity;
    float count;
    float hueShift;
    float reach;
    float spin;
    float unused6;
    float padding;
};

float4 PS_Rings(PixelIn input) : SV_Target {
    float2 p = Centred(input.texcoord);
    float2 source = 0.16 * float2(cos(spin), sin(spin));
    float2 d = p - source;
    float r = length(d);
    float wobble = 0.02 * sin(atan2(d.y, d.x) * 6.0 + spin * 2.0);
    float phase = (r + wobble) * max(count, 1.0) - time * 0.5;
    float band = abs(frac(phase) - 0.5);
    float pulse = BeatPulse(time);
    float glow = exp(-band * band * (120.0 - 60.0 * pulse)) * 0.55 + exp(-band * band * 2500.0);
    float edge = saturate((reach - length(p)) * 6.0);
    float alpha = saturate(glow * edge * opacity);
    float3 colour = Palette(hueShift + floor(phase) * 0.15) * 0.7 + 0.45;
    return float4(saturate(colour), alpha);
}
