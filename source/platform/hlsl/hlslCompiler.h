// Run-time HLSL compilation: one entry point of an HLSL source becomes GLSL for one GL stage, with
// what the GPU layer needs to bind it as the HLSL side expects (see shaderCode.h). The front end we
// link can crash, hang or eat memory on some sources, so the program's compiles run in a compiler
// process of their own (compilerService.h); the same work is done in this process for tests, for
// fuzzing and by that compiler process itself.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/hlsl/loopBudget.h"
#include "platform/hlsl/shaderCode.h"

namespace Hlsl {

/// Fills `contents` with the file an include directive names, exactly as written (`requested`), and
/// returns true; `includer` comes in as the name of the file holding the directive. Where names resolve
/// from is the caller's choice: one that finds the file under another name than `requested` sets
/// `includer` to that name, which errors show and the file's own includes are looked for beside.
/// (A resolver taking `includer` as const leaves the written name standing.)
using IncludeResolver =
    std::function<bool(const std::string& requested, std::string& includer, std::string& contents)>;

struct CompileResult {
    std::shared_ptr<const ShaderCode> code;  ///< null on failure
    std::string errors;                      ///< the compiler's text on failure ("name:line: error: ...")
    bool transient = false;  ///< the failure was the machine's, not the source's: worth another try

    explicit operator bool() const { return code != nullptr; }
};

/// Bounds on the sources of one compile, each failing the compile with its own message: how deep
/// includes nest, how many include directives are expanded (a header that includes itself twice
/// doubles them at every level), and the bytes of the source with every expansion.
constexpr size_t kMaxIncludeDepth = 32;
constexpr size_t kMaxIncludes = 256;
constexpr size_t kMaxSourceBytes = size_t(16) << 20;

/// Compiles one entry point of an HLSL source for the target "vs_4_0" or "ps_4_0"; `name` is the
/// source's file name as errors show it. A shader whose interface or buffer layout cannot be honoured
/// on GL fails with errors saying why. Runs in the compiler process under its time and memory limits
/// when there is one, and answers from the shader cache when the same sources compiled before.
CompileResult Compile(const std::string& source, const std::string& name, const IncludeResolver& resolve,
                      const std::string& entryPoint, const std::string& target);

/// `target` ("vs_4_0" or "ps_4_0") asked for with the author's line markers in the translation, so that
/// an error a GL driver finds in it names the author's file and line. The markers cost about a tenth
/// of the compile time, so they are asked for only once a translation has been refused.
std::string WithLineMarkers(const std::string& target);

/// The same compile in this process, with neither cache nor limits of time and memory. Every loop
/// of the entry is bounded to `loopBudget` iterations per invocation (see loopBudget.h); 0 leaves
/// the loops as they are.
CompileResult CompileInProcess(const std::string& source, const std::string& name,
                               const IncludeResolver& resolve, const std::string& entryPoint,
                               const std::string& target, uint32_t loopBudget = kLoopBudget);

}  // namespace Hlsl
