// Post-processes for FullScreenShaderEffect: the picture so far at t0, one image at t1.
//
// Block: time in beats.
//   PS_Grade     maps brightness through the colour ramp at t1 (left dark, right light), mixes it
//                with the picture and darkens the corners; a faint scan-line shimmer on the beat.
//   PS_Kaleido   folds the picture into six mirrored wedges turning slowly; alpha is kept, so the
//                pass works inside a layer.
//   PS_Flip      draws nothing: a pass that only makes the other texture of the pair current.
#include "quad.fxh"

cbuffer Block : register(b0) {
    float time;
    float3 padding;
};

Texture2D picture : register(t0);
Texture2D ramp : register(t1);

float4 PS_Grade(PixelIn input) : SV_Target {
    float3 colour = picture.Sample(pointClamp, input.texcoord).rgb;
    float light = dot(colour, float3(0.299, 0.587, 0.114));
    float3 graded = ramp.SampleLevel(linearClamp, float2(saturate(light), 0.5), 0).rgb;
    colour = lerp(colour, graded, 0.6);
    float2 p = Centred(input.texcoord);
    float vignette = saturate(1.25 - dot(p, p) * 1.6);
    float lines = 1.0 - 0.06 * BeatPulse(time) * (0.5 + 0.5 * sin(input.texcoord.y * 600.0 * 3.14159));
    return float4(colour * vignette * lines, 1.0);
}

float4 PS_Kaleido(PixelIn input) : SV_Target {
    float2 p = Centred(input.texcoord);
    float r = length(p);
    float wedge = kTau / 6.0;
    float a = atan2(p.y, p.x) + time * 0.05;
    a = abs(a - wedge * floor(a / wedge + 0.5));
    float2 q = r * float2(cos(a), sin(a));
    float2 uv = q / float2(4.0 / 3.0, -1.0) + 0.5;
    return picture.SampleLevel(linearClamp, uv, 0);
}

float4 PS_Flip(PixelIn input) : SV_Target {
    return float4(0.0, 0.0, 0.0, 0.0);
}
