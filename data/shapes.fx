// The flat shapes of the shape scenes: one unit quad drawn once per instance record, each copy placed
// by its own world matrix and cut by the pixel shader into one outline.
//
// Inputs: the constant block at b0 (the view-projection, a row-vector matrix stored transposed, and
// the colour of every shape), the instance records at t5 (world matrix stored transposed, type,
// inner and outer radius), the quad (-0.5 to 0.5 in x and y) in the system's vertex format.
//
// Radii are measured in units of half the quad, so 1 reaches its edge. Where a type draws the band
// between the two radii, the smaller of them is its inside edge whichever way round they are given;
// a radius below zero reaches the centre. The types:
//   0  ring: the band between the two radii, round
//   1  triangle outline: the same band measured as an equilateral triangle with a corner pointing
//      down the quad's y axis, the radius being the distance of the corners from the centre
//   2  square outline: the same band measured as a square, the radius being half its side
//   3  five-pointed star, filled: tips at the larger radius, the notches between them at the smaller,
//      one tip pointing up the quad's y axis
//   4  disc, filled, of the outer radius (the inner radius is not used)
// Any other type draws nothing.
//
// Edges are anti-aliased over one pixel whatever the size on screen. The coverage multiplies both
// colour and alpha, so one output serves the alpha blend (transparent around the shape) and the
// additive blend (adds nothing around it).

cbuffer ShapeConstants : register(b0) {
    float4x4 viewProjection;
    float4 colour;
};

struct ShapeInstance {
    float4x4 world;
    int type;
    float inner;
    float outer;
    float unused;
};

StructuredBuffer<ShapeInstance> instances : register(t5);

struct VertexIn {
    float3 position : POSITION;
    float2 texcoord : TEXCOORD0;
    float3 normal : NORMAL;
};

struct PixelIn {
    float4 position : SV_Position;
    float2 local : TEXCOORD0;                 // -1 to 1 across the quad, y up
    nointerpolation float4 shape : TEXCOORD1;  // type, inner, outer
};

static const float kTau = 6.2831853;

PixelIn VS(VertexIn input, uint instanceId : SV_InstanceID) {
    ShapeInstance shape = instances[instanceId];
    PixelIn output;
    output.position = mul(mul(float4(input.position, 1.0), shape.world), viewProjection);
    output.local = input.position.xy * 2.0;
    output.shape = float4((float)shape.type, shape.inner, shape.outer, 0.0);
    return output;
}

// How much of the pixel lies in [lo, hi] of the measure d, smoothed over `pixel` (d's change from one
// pixel to the next).
float Band(float d, float pixel, float lo, float hi) {
    return saturate((d - lo) / pixel + 0.5) * saturate((hi - d) / pixel + 0.5);
}

// How much of the pixel lies where the signed measure s is negative, smoothed over `pixel`.
float Inside(float s, float pixel) {
    return saturate(0.5 - s / pixel);
}

// Signed distance of p from the edge of a five-pointed star (negative inside).
float StarDistance(float2 p, float tip, float notch) {
    float r = length(p);
    float sector = kTau / 5.0;
    float a = r > 1e-6 ? atan2(p.x, p.y) : 0.0;
    a = abs(a - sector * round(a / sector));  // 0 towards the nearest tip, sector / 2 at a notch
    float2 q = r * float2(cos(a), sin(a));
    float2 tipPoint = float2(tip, 0.0);
    float2 notchPoint = notch * float2(cos(sector * 0.5), sin(sector * 0.5));
    float2 edge = notchPoint - tipPoint;
    float2 outward = normalize(float2(edge.y, -edge.x));
    return dot(q - tipPoint, outward);
}

float4 PS(PixelIn input) : SV_Target {
    float2 p = input.local;
    int type = (int)round(input.shape.x);
    float lo = min(input.shape.y, input.shape.z);
    float hi = max(input.shape.y, input.shape.z);

    // Every measure and its change per pixel is taken outside the branches, where screen derivatives
    // are always defined.
    float roundMeasure = length(p);
    // Twice the largest distance along the three edge normals: 1 on the triangle whose corners lie
    // at (0, -1) and (+-0.866, 0.5).
    float triangleMeasure = 2.0 * max(p.y, max(dot(p, float2(0.8660254, -0.5)), dot(p, float2(-0.8660254, -0.5))));
    float squareMeasure = max(abs(p.x), abs(p.y));
    float starEdge = StarDistance(p, max(hi, 1e-6), lo);
    float discEdge = roundMeasure - input.shape.z;
    float roundPixel = max(fwidth(roundMeasure), 1e-6);
    float trianglePixel = max(fwidth(triangleMeasure), 1e-6);
    float squarePixel = max(fwidth(squareMeasure), 1e-6);
    float starPixel = max(fwidth(starEdge), 1e-6);

    float coverage = 0.0;
    if (type == 0) coverage = Band(roundMeasure, roundPixel, lo, hi);
    else if (type == 1) coverage = Band(triangleMeasure, trianglePixel, lo, hi);
    else if (type == 2) coverage = Band(squareMeasure, squarePixel, lo, hi);
    else if (type == 3) coverage = hi > 0.0 ? Inside(starEdge, starPixel) : 0.0;
    else if (type == 4) coverage = Inside(discEdge, roundPixel);
    if (coverage <= 0.0) discard;
    return float4(colour.rgb * coverage, colour.a * coverage);
}
