// The sprites of the text writer: each instance is one copy of the generic quad, placed in pixels on
// the 800 by 600 target and showing one cell of a texture cut into a grid of equal cells (a bitmap
// font, one character per cell).
//
// Inputs: the constant block at b0 (target size in pixels, cell size in texels, grid size in cells),
// the sprite records at t5, the cell grid texture at t0, the generic quad (-0.5 to 0.5, texture
// (0, 0) at the top left).
//
// A sprite is the cell's size in pixels times its first shader value (its scale: 1 shows one texel
// per pixel), turned about its centre by its second shader value (radians, clockwise on screen);
// (x, y) is the top left corner of the unscaled, unturned sprite. Cells are counted along the rows
// from the top left; an index outside the grid wraps around it, so a negative index counts back from
// the last cell. The texel is multiplied by the sprite's colour.

cbuffer SpriteConstants : register(b0) {
    float2 targetSize;
    float2 cellSize;
    float2 gridSize;
    float2 unused;
};

struct Sprite {
    float x;
    float y;
    float4 colour;
    float scale;
    float rotation;
    int cell;
};

StructuredBuffer<Sprite> sprites : register(t5);
Texture2D cells : register(t0);
SamplerState linearClamp : register(s0);

struct VertexIn {
    float3 position : POSITION;
    float2 texcoord : TEXCOORD0;
    float3 normal : NORMAL;
};

struct PixelIn {
    float4 position : SV_Position;
    float2 texcoord : TEXCOORD0;
    float4 colour : COLOR0;
};

PixelIn VS(VertexIn input, uint instanceId : SV_InstanceID) {
    Sprite sprite = sprites[instanceId];
    // Pixels run down the screen, the quad's y up.
    float2 corner = float2(input.position.x, -input.position.y) * cellSize * sprite.scale;
    float c = cos(sprite.rotation);
    float s = sin(sprite.rotation);
    float2 turned = float2(corner.x * c - corner.y * s, corner.x * s + corner.y * c);
    float2 pixel = float2(sprite.x, sprite.y) + cellSize * 0.5 + turned;

    int across = max((int)gridSize.x, 1);
    int count = max(across * (int)gridSize.y, 1);
    int index = sprite.cell % count;
    if (index < 0) index += count;
    float2 cell = float2((float)(index % across), (float)(index / across));

    PixelIn output;
    output.position = float4(pixel.x / targetSize.x * 2.0 - 1.0, 1.0 - pixel.y / targetSize.y * 2.0, 0.0, 1.0);
    output.texcoord = (cell + input.texcoord) / max(gridSize, float2(1.0, 1.0));
    output.colour = sprite.colour;
    return output;
}

float4 PS(PixelIn input) : SV_Target {
    return cells.Sample(linearClamp, input.texcoord) * input.colour;
}
