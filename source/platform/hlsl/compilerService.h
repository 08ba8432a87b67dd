// Where the program's compiles go: results of this run kept in memory, then the shader cache on disk
// in the write directory (in the user's cache folder for an installed program), then the compiler
// process ("vantrisk-shaderc" beside the program or in an installed tree), or this process when there
// is no compiler process to start.
//
// A compile's result follows from its source, entry point, target and compiler and from what each
// include directive read; the key covers the first four and each result records the last, so a
// result is reused only when every include it read still reads the same. That is the preprocessed
// source in all but name, found without running the preprocessor. Failures are kept in memory too:
// a shader that hangs the compiler costs its time limit once per version of its files, not once per
// frame.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/hlsl/compilerProcess.h"
#include "platform/hlsl/hlslCompiler.h"
#include "platform/hlsl/shaderCache.h"

namespace Hlsl {

/// What the compiles of this run did, for tests, benchmarks and the log.
struct CompileCounters {
    uint64_t compiles = 0;         ///< compiles run, in the compiler process or here
    uint64_t cacheHits = 0;        ///< answered from the cache on disk
    uint64_t memoryHits = 0;       ///< answered from results kept in memory
    uint64_t processStarts = 0;    ///< compiler processes started, restarts included
    uint64_t processFailures = 0;  ///< compiles that ran out of time or memory or crashed the compiler
};

class CompilerService {
public:
    /// The program's one service.
    static CompilerService& Get();

    /// Compiles as Hlsl::Compile describes.
    CompileResult Compile(const std::string& source, const std::string& name, const IncludeResolver& resolve,
                          const std::string& entryPoint, const std::string& target);

    /// Limits of each compile in the compiler process.
    void SetLimits(const CompileLimits& limits);
    CompileLimits GetLimits() const;
    /// The compiler process's executable; "" compiles in this process.
    void SetExecutable(const std::string& executable);
    std::string GetExecutable() const;
    /// "vantrisk-shaderc" beside the running program or in its installed tree, or "" when there is none.
    static std::string DefaultExecutable();
    /// The host folder of the cache on disk: "ShaderCache" in the write directory, or in the user's
    /// cache folder for an installed program; "" without one.
    static std::string CacheFolder();
    /// Counts since the start of the run.
    CompileCounters Counters() const;
    /// Forgets the results kept in memory, so that the next compiles ask the disk cache again.
    void ForgetResults();

private:
    CompilerService();

    struct Kept {
        std::vector<IncludeRecord> includes;
        CompileResult result;
    };

    mutable std::mutex m_mutex;
    CompileLimits m_limits;
    std::string m_executable;
    std::unique_ptr<CompilerProcess> m_process;
    std::map<ContentHash::Digest, std::vector<Kept>> m_kept;
    size_t m_keptCount = 0;
    CompileCounters m_counters;
};

}  // namespace Hlsl
