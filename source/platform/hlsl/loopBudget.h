// A bound on the loop iterations of one shader invocation, added to the SPIR-V between the front end
// and the GLSL back end. A shader that compiles can still draw forever (one wrong loop bound is
// enough): on a desktop GPU the driver then resets the device, on the software rasterizer a frame
// takes minutes. Each invocation counts the iterations of all its loops together; once the count
// passes the budget, every loop leaves at its next back edge, and the invocation sets a flag in a
// small storage block before it ends, so that the author can be told which shader was cut.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Hlsl {

/// Loop iterations one invocation may run, all its loops together. Measured on llvmpipe with the
/// worst loop we know of, a full-screen 800 by 600 pass whose body is a dependent chain of frac,
/// multiply-add and sin: every 1024 iterations per pixel cost the frame 1.4 s of processor time
/// (bench/loopBudgetBench.cpp, RunawayLoop), so at 3072 the frame ends in about 2 s on two cores,
/// about as long as a desktop driver waits before it resets the device. The bundled shaders' loops
/// run a few dozen iterations at most (the blur's taps).
constexpr uint32_t kLoopBudget = 3072;

/// Name of the storage block through which an instrumented stage says that an invocation reached
/// its budget: one uint member, set to 1 by such an invocation and never cleared by the shader.
constexpr char kLoopBudgetBlock[] = "LoopBudgetReached";

/// Adds `budget` to every loop of the SPIR-V module `words`. Returns true when the module had loops
/// and was changed (it then declares kLoopBudgetBlock); false when there was nothing to bound, or
/// when the module is not one this pass understands (`error` says why; the words are left as they
/// were).
bool AddLoopBudget(std::vector<uint32_t>& words, uint32_t budget, std::string& error);

}  // namespace Hlsl
