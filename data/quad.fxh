// What every full-screen pass of the demo shares: the generic quad (-0.5 to 0.5, texture (0, 0) at
// the top left) doubled to cover the viewport, the four shared samplers, and helpers.

SamplerState linearClamp : register(s0);
SamplerState pointClamp : register(s1);
SamplerState linearWrap : register(s2);
SamplerState pointWrap : register(s3);

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
    output.position = float4(input.position.xy * 2.0, 0.0, 1.0);
    output.texcoord = input.texcoord;
    return output;
}

static const float kTau = 6.2831853;

// A point of the picture centred on the screen, 4:3, y up, the short side running from -0.5 to 0.5.
float2 Centred(float2 texcoord) {
    return (texcoord - 0.5) * float2(4.0 / 3.0, -1.0);
}

// 1 on each beat, falling away quickly before the next (time in beats from a beat).
float BeatPulse(float time) {
    return exp(-frac(time) * 5.0);
}

// A smooth cycle of hues, from warm to cool, with no harsh primaries.
float3 Palette(float t) {
    return 0.5 + 0.5 * cos(kTau * (t + float3(0.0, 0.15, 0.3)));
}
