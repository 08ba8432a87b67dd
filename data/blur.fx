// Separable Gaussian blur: "PS_NoMaskHorizontal" blurs along x, "PS_NoMaskVertical" along y.
//
// Inputs: the generic quad (-0.5 to 0.5, texture (0, 0) at the top left), the picture at t0, the
// kernel's taps at t5 and the shared linear-clamp sampler at s0. Each tap weighs two reads, one on
// each side of the centre; a read at a fractional offset blends two neighbouring texels through the
// linear filter, so 13 taps cover 25 texels per side and the centre twice (each tap 0 read holds half
// of it).

cbuffer BlurConstants : register(b0) {
    float2 texelSize;  // 1/800, 1/600
    float strength;    // scales the tap offsets: 1 is the kernel as computed, 2 twice as wide
    uint tapCount;
};

struct Tap {
    float weight;
    float offset;  // in texels from the centre
    float2 unused;
};

Texture2D picture : register(t0);
StructuredBuffer<Tap> taps : register(t5);
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

float4 BlurAlong(float2 texcoord, float2 axis) {
    float4 sum = 0.0;
    for (uint i = 0; i < tapCount; ++i) {
        const Tap tap = taps[i];
        const float2 delta = axis * (tap.offset * strength);
        sum += tap.weight * (picture.Sample(linearClamp, texcoord + delta) +
                             picture.Sample(linearClamp, texcoord - delta));
    }
    return sum;
}

float4 PS_NoMaskHorizontal(PixelIn input) : SV_Target {
    return BlurAlong(input.texcoord, float2(texelSize.x, 0.0));
}

float4 PS_NoMaskVertical(PixelIn input) : SV_Target {
    return BlurAlong(input.texcoord, float2(0.0, texelSize.y));
}
