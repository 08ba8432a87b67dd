interface I { float F(); };
float G(float4 v) { float a[4] = (float[4])v; return a[0]; }
cbuffer C { float4 m; static float s = m.x; };
