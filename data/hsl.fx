// Colour grading in hue, saturation and lightness: the hue turns by "hue" degrees around the colour
// wheel, saturation and lightness are scaled by "saturation" and "luminance" (1 keeps them) and kept
// within 0 to 1. Hue 0, saturation 1 and luminance 1 leave the picture as it is; saturation 0 gives
// the grey of the same lightness. Alpha passes through.
//
// Inputs: the generic quad (-0.5 to 0.5, texture (0, 0) at the top left), the picture at t0 and the
// shared linear-clamp sampler at s0.

cbuffer GradingConstants : register(b0) {
    float hue;         // degrees
    float saturation;  // factor
    float luminance;   // factor on lightness
    float unused;
};

Texture2D picture : register(t0);
SamplerState linearClamp : register(s0);

struct VertexIn {
    float3 position : POSITION;
    float2 texcoord : TEXCOORD0;
    float3 normal : NORMAL;
};

struct PixelIn {
    float4 position : SV_Position;
    float2 texcoord : TEXCOORD0;
};

PixelIn VS(VertexIn input) {
    PixelIn output;
    // The quad spans -0.5 to 0.5; doubled it covers the viewport exactly.
    output.position = float4(input.position.xy * 2.0, 0.0, 1.0);
    output.texcoord = input.texcoord;
    return output;
}

// Hue in turns (0 to 1), saturation and lightness in 0 to 1.
float3 RgbToHsl(float3 rgb) {
    const float high = max(rgb.r, max(rgb.g, rgb.b));
    const float low = min(rgb.r, min(rgb.g, rgb.b));
    const float lightness = (high + low) * 0.5;
    const float chroma = high - low;
    if (chroma <= 0.0) return float3(0.0, 0.0, lightness);

    const float sat = chroma / max(1.0 - abs(2.0 * lightness - 1.0), 1e-6);
    float sector;
    if (high == rgb.r) {
        sector = (rgb.g - rgb.b) / chroma;
        if (sector < 0.0) sector += 6.0;
    } else if (high == rgb.g) {
        sector = (rgb.b - rgb.r) / chroma + 2.0;
    } else {
        sector = (rgb.r - rgb.g) / chroma + 4.0;
    }
    return float3(sector / 6.0, sat, lightness);
}

float3 HslToRgb(float3 hsl) {
    // Each channel's share of the chroma around the wheel: a trapezoid over the six sectors.
    const float3 wheel = saturate(abs(fmod(hsl.x * 6.0 + float3(0.0, 4.0, 2.0), 6.0) - 3.0) - 1.0);
    const float chroma = (1.0 - abs(2.0 * hsl.z - 1.0)) * hsl.y;
    return hsl.z + chroma * (wheel - 0.5);
}

float4 PS(PixelIn input) : SV_Target {
    const float4 colour = picture.Sample(linearClamp, input.texcoord);
    float3 hsl = RgbToHsl(saturate(colour.rgb));
    hsl.x = frac(hsl.x + hue / 360.0);
    hsl.y = saturate(hsl.y * saturation);
    hsl.z = saturate(hsl.z * luminance);
    return float4(HslToRgb(hsl), colour.a);
}
