// Generator: flight down a tunnel lined with the image at t0, its far end lost in the dark, the walls
// flaring on every beat.
//
// Block (FullScreenShader): time in beats; float1 brightness; float2 speed (wall lengths per beat);
// float3 twist of the walls; float4 beat flash strength; float5 sway of the vanishing point.
#include "quad.fxh"

cbuffer Block : register(b0) {
    float time;
    float brightness;
    float speed;
    float twist;
    float flash;
    float sway;
    float unused6;
    float padding;
};

Texture2D wall : register(t0);

float4 PS_Tunnel(PixelIn input) : SV_Target {
    float2 centre = sway * 0.12 * float2(sin(time * 0.5), cos(time * 0.37));
    float2 p = Centred(input.texcoord) - centre;
    float r = max(length(p), 0.001);
    float depth = 0.25 / r;
    float around = atan2(p.y, p.x) / kTau + twist * depth * 0.1 + time * 0.02;
    float2 uv = float2(around * 4.0, depth + time * speed);
    // Level 0 always: the seam of the angle would otherwise pick a tiny mip along one line.
    float3 colour = wall.SampleLevel(linearWrap, uv, 0).rgb;
    float fog = saturate(r * 2.2);
    float pulse = BeatPulse(time) * flash;
    colour = colour * fog * fog * (1.0 + pulse * 0.8) + pulse * 0.05 * fog;
    return float4(colour * brightness, 1.0);
}
