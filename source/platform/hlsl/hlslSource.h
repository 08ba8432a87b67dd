// The author's HLSL as the Direct3D compiler reads it, made readable by the GL front end before it
// sees a byte: a text pass run on the main source and on every included file. Every line keeps its
// number, so that the front end's errors point at the author's lines.
//   - A UTF-8 byte-order mark is dropped (editors save one; the front end reads it as a bad token).
//   - Effect-framework syntax, which the Direct3D compiler skips when it compiles one entry point, is
//     blanked: technique and pass blocks, blend, depth-stencil and rasterizer state objects, the state
//     blocks of samplers (the sampler itself stays declared) and annotations `< ... >`.
//   - A `static` variable declared inside a cbuffer is not part of the buffer: it moves to just after
//     the cbuffer's closing brace, on the same line, where the front end accepts its initialiser.
// The front end also defines its own GL macros in an HLSL compile; MacroReset() undoes them.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace Hlsl {

/// The text of one file as the front end should read it (see above); same number of lines.
std::string ReadAsDirect3D(std::string_view text);

/// Lines to put before the main source: they undefine every macro the front end predefines in an
/// HLSL compile of either stage, then restore the author's line numbering with `#line 1`.
const std::string& MacroReset();

/// Adds to the front end's error text one line per construct it cannot compile found on a line an
/// error points at ("name:line: error: <construct> is not supported"), so that the author reads what
/// to change. `files` maps each file name as errors show it to its text.
std::string ExplainUnsupported(const std::string& errors,
                               const std::map<std::string, std::string_view>& files);

}  // namespace Hlsl
