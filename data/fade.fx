// Generator for transitions: one colour over the whole picture, blended by its opacity, for fades
// to black and flashes to white.
//
// Block (FullScreenShader): float1 opacity; float2, float3, float4 red, green, blue.
#include "quad.fxh"

cbuffer Block : register(b0) {
    float time;
    float opacity;
    float red;
    float green;
    float blue;
    float unused5;
    float unused6;
    float padding;
};

float4 PS_Fade(PixelIn input) : SV_Target {
    return float4(red, green, blue, saturate(opacity));
}
