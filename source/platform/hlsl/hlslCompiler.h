// Run-time HLSL compilation: one entry point of an HLSL source becomes GLSL for one GL stage, with
// what the GPU layer needs to bind it as the HLSL side expects (see shaderCode.h).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/hlsl/shaderCode.h"

namespace Hlsl {

/// Fills `contents` with the file an include directive names, exactly as written (`requested`), and
/// returns true; `includer` is the name of the file holding the directive. Where names resolve from
/// is the caller's choice.
using IncludeResolver =
    std::function<bool(const std::string& requested, const std::string& includer, std::string& contents)>;

struct CompileResult {
    std::shared_ptr<const ShaderCode> code;  ///< null on failure
    std::string errors;                      ///< the compiler's text on failure ("name:line: error: ...")

    explicit operator bool() const { return code != nullptr; }
};

/// Compiles one entry point of an HLSL source for the target "vs_4_0" or "ps_4_0"; `name` is the
/// source's file name as errors show it. A shader whose interface or buffer layout cannot be honoured
/// on GL fails with errors saying why.
CompileResult Compile(const std::string& source, const std::string& name, const IncludeResolver& resolve,
                      const std::string& entryPoint, const std::string& target);

}  // namespace Hlsl
