// Steps the full-screen passes of the effects share: binding a pass's shader (with the fallback clear
// when it cannot be bound), its constants, and the draw that reads the picture so far and writes the
// result into the pair's other texture.
#pragma once

#include <cstdint>

#include "platform/gpu/gpu.h"

class ConstantBuffer;
class RenderTexturePair;
class Shader;

namespace Effects {

/// Shown instead of a pass whose shader cannot be bound, so the broken layer is plain to see.
inline constexpr float kHotPink[4] = {1.0f, 0.4117647f, 0.7058824f, 1.0f};

/// Sets `shader` with this pixel entry; when it cannot be bound, clears the picture so far to
/// `fallback` in place (the pair is not flipped) and returns false.
bool SetShaderOrClear(Shader& shader, const char* pixelEntry, RenderTexturePair* target,
                      const float fallback[4]);

/// Writes `data` into `constants` and binds it to slot 0 of the vertex and pixel stages.
void BindPassConstants(ConstantBuffer& constants, const void* data);

/// Draws the full-screen quad with the shader set now, reading `views` from slot 0 of both stages
/// (one of them the picture so far), into the pair's other texture, which becomes current.
void DrawScreenPass(RenderTexturePair* target, uint32_t count, const Gpu::ShaderResourceViewPtr* views);

/// The same with the picture so far as the only input.
void DrawScreenPass(RenderTexturePair* target);

}  // namespace Effects
