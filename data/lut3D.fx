// Colour grading through a 3D look-up table: the picture's colour is the coordinate into the table
// (red along x, green along y, blue along z), and the table's answer is blended over the picture by
// "strength" (0 leaves it, 1 replaces it). Alpha passes through.
//
// Inputs: the generic quad (-0.5 to 0.5, texture (0, 0) at the top left), the table at t0, the
// picture at t1 and the shared linear-clamp sampler at s0.

cbuffer GradingConstants : register(b0) {
    float strength;
    float3 unused;
};

Texture3D table : register(t0);
Texture2D picture : register(t1);
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
    const float4 colour = picture.Sample(linearClamp, input.texcoord);
    uint width, height, depth;
    table.GetDimensions(width, height, depth);
    // Entry 0 and entry N-1 sit at the centres of the first and last texels, not at the edges:
    // colour 0 must read entry 0 exactly and colour 1 entry N-1, whatever N is.
    const float3 size = max(float3(width, height, depth), 1.0);
    const float3 coordinate = saturate(colour.rgb) * ((size - 1.0) / size) + 0.5 / size;
    const float4 graded = table.SampleLevel(linearClamp, coordinate, 0);
    // Every entry of a table is opaque; a transparent answer means no table is bound (its file is
    // missing or broken), and then the picture passes unchanged rather than turning black.
    if (graded.a < 0.5) return colour;
    return float4(lerp(colour.rgb, graded.rgb, strength), colour.a);
}
