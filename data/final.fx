// The show's picture drawn over a whole target: "PS" puts it on screen opaque, "PS_WithAlpha" keeps
// its alpha so that a group of effects can be blended over the picture beneath it.
//
// Inputs: the generic quad (-0.5 to 0.5, texture (0, 0) at the top left), the picture at t0 and the
// shared linear-clamp sampler at s0. No constants.

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

// Opaque: the final pass draws with the blend state in force, and parts of the picture left
// transparent must not show whatever the screen held before.
float4 PS(PixelIn input) : SV_Target {
    return float4(picture.Sample(linearClamp, input.texcoord).rgb, 1.0);
}

float4 PS_WithAlpha(PixelIn input) : SV_Target {
    return picture.Sample(linearClamp, input.texcoord);
}
