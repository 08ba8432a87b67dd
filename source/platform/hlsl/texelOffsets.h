// Texel offsets that GL wants constant. HLSL lets a texture read take its offset from loop counters
// (t.Sample(s, uv, int2(x, y)) inside for loops), which the Direct3D compiler makes constant by unrolling
// the loops; GL rejects a non-constant offset outright. This pass does what that compiler does, on the
// SPIR-V of the shaders that need it only: it unrolls the loops and folds the offsets to constants.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Hlsl {

/// Whether a texture read of the module takes its texel offset from a value not known when compiling.
bool HasVariableTexelOffsets(const std::vector<uint32_t>& words);

/// Unrolls the loops of the module and folds what they compute, so that texel offsets become
/// constants. True when none is left variable; otherwise false with `error` saying why, and `where`
/// set to "file:line" of the first read still variable when the module carries line information.
bool MakeTexelOffsetsConstant(std::vector<uint32_t>& words, std::string& where, std::string& error);

}  // namespace Hlsl
