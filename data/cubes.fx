// The cubes of every 3D scene: one unit cube drawn once per instance record, lit by one directional
// light. "PS_Untextured" shades with the instance's colours alone; "PS_Textured" multiplies in the
// 3 by 2 atlas bound at t0 (each face has its own cell).
//
// Inputs: the constant block at b0 (formation, view and projection, all row-vector matrices stored
// transposed, the eye, the light direction and the first instance drawn), the instance records at t5
// (read at instance id + first), the cube mesh in the system's vertex format.
//
// Shading: a face turned to the light shows the lit colour, one turned away the unlit colour, with a
// soft wrap between them so the edges of a turning cube do not snap; a Blinn-Phong highlight of the
// instance's specular colour and power follows the eye on the lit side, and a faint rim of the lit
// colour separates dark faces from a dark background.

cbuffer CubeConstants : register(b0) {
    float4x4 formation;
    float4x4 view;
    float4x4 projection;
    float3 eye;
    float eyePadding;
    float3 lightDirection;
    // Without the padding the compiler would pack the index into the light's register.
    float lightPadding;
    int first;
};

struct CubeInstance {
    float4x4 world;
    float4 colourLit;
    float4 colourUnlit;
    float4 colourSpecular;
};

StructuredBuffer<CubeInstance> instances : register(t5);
Texture2D atlas : register(t0);
SamplerState linearClamp : register(s0);

struct VertexIn {
    float3 position : POSITION;
    float2 texcoord : TEXCOORD0;
    float3 normal : NORMAL;
};

struct PixelIn {
    float4 position : SV_Position;
    float2 texcoord : TEXCOORD0;
    float3 normal : NORMAL;
    float3 worldPosition : TEXCOORD1;
    float4 colourLit : COLOR0;
    float4 colourUnlit : COLOR1;
    float4 colourSpecular : COLOR2;
};

PixelIn VS(VertexIn input, uint instanceId : SV_InstanceID) {
    CubeInstance cube = instances[instanceId + first];
    float4 world = mul(mul(float4(input.position, 1.0), cube.world), formation);
    PixelIn output;
    output.position = mul(mul(world, view), projection);
    output.texcoord = input.texcoord;
    // Cubes are scaled before they are turned, so a face normal keeps its direction under the scale
    // and only needs normalising.
    output.normal = mul(mul(float4(input.normal, 0.0), cube.world), formation).xyz;
    output.worldPosition = world.xyz;
    output.colourLit = cube.colourLit;
    output.colourUnlit = cube.colourUnlit;
    output.colourSpecular = cube.colourSpecular;
    return output;
}

float4 Shade(PixelIn input, float4 surface) {
    float3 n = normalize(input.normal);
    float3 toLight = -lightDirection;
    float facing = dot(n, toLight);
    // Wrapped diffuse: full lit colour facing the light, full unlit colour facing away.
    float lit = saturate(facing * 0.75 + 0.25);
    lit = lit * lit * (3.0 - 2.0 * lit);
    float4 colour = lerp(input.colourUnlit, input.colourLit, lit) * surface;

    float3 toEye = normalize(eye - input.worldPosition);
    float3 halfway = normalize(toLight + toEye + float3(0.0, 0.0, 1e-6));
    float power = max(input.colourSpecular.w, 1.0);
    float highlight = pow(saturate(dot(n, halfway)), power) * step(0.0, facing) * step(1e-6, dot(toLight, toLight));
    colour.rgb += input.colourSpecular.rgb * highlight;

    float rim = pow(1.0 - saturate(dot(n, toEye)), 4.0);
    colour.rgb += input.colourLit.rgb * rim * 0.15;
    return colour;
}

float4 PS_Untextured(PixelIn input) : SV_Target {
    return Shade(input, float4(1.0, 1.0, 1.0, 1.0));
}

float4 PS_Textured(PixelIn input) : SV_Target {
    return Shade(input, atlas.Sample(linearClamp, input.texcoord));
}
