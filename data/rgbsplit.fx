// Chromatic split: red, green and blue are each read from the picture displaced along one direction
// by their own number of texels, and the split picture is blended over the original by "mix" (0 keeps
// the original, 1 shows the split alone). Alpha passes through from the undisplaced picture.
//
// Inputs: the generic quad (-0.5 to 0.5, texture (0, 0) at the top left), the picture at t0 and the
// shared linear-clamp sampler at s0.

cbuffer SplitConstants : register(b0) {
    float2 direction;  // one texel along the split, in texture units
    float mixAmount;
    float unused0;
    float3 offsets;    // texels along the direction for red, green and blue
    float unused1;
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

float4 PS(PixelIn input) : SV_Target {
    const float4 original = picture.Sample(linearClamp, input.texcoord);
    const float3 split = float3(picture.Sample(linearClamp, input.texcoord + offsets.x * direction).r,
                                picture.Sample(linearClamp, input.texcoord + offsets.y * direction).g,
                                picture.Sample(linearClamp, input.texcoord + offsets.z * direction).b);
    return float4(lerp(original.rgb, split, mixAmount), original.a);
}
