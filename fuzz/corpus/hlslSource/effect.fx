// technique11 in a comment { not a block
Texture2D<float4> tex : register(t0) < string ResourceName = "a.png"; >;
SamplerState samp : register(s0)
{
    Filter = MIN_MAG_MIP_LINEAR; // comment }
    AddressU = Wrap;
    BorderColor = float4(0, 0, 0, 1);
};
sampler2D old = sampler_state { Texture = <tex>; };
BlendState NoBlend { BlendEnable[0] = FALSE; };
DepthStencilState Depth
{
    DepthEnable = TRUE;
};
cbuffer C : register(b0)
{
    float4 m < string UIName = "m"; >;
    static float s[2] = { m.x, 1.5e-3f };
    float4x4 World : WORLD < string UIWidget = "none"; >;
};
float4 colour < string UIName = "c"; > = float4(1, 2 < 3, 0, 1);
#define X 1
float4 PS(float4 p : SV_Position) : SV_Target { return p.x < 3 ? tex.Sample(samp, p.xy) : s[0]; }
technique11 T < string Script = "x"; >
{
#if X
    pass P0 { SetPixelShader(CompileShader(ps_4_0, PS())); SetBlendState(NoBlend, float4(0,0,0,0), 0xFFFFFFFF); }
#endif
};
