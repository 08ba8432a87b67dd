// The player's side of its compiler process: starting it, handing it compiles, answering its include
// questions, and watching each compile's time and the process's memory. A compile that runs out of
// either, or a process that dies, ends the process; the next compile starts a fresh one.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "platform/hlsl/hlslCompiler.h"

namespace Hlsl {

/// What one compile may use.
struct CompileLimits {
    double seconds = 5.0;                      ///< processor time of the compiler for one compile
    uint64_t memoryBytes = uint64_t(1) << 30;  ///< resident memory of the compiler process
    /// Clock time one compile may wait on a compiler that gets no processor time, a failure of the
    /// moment rather than of the source (0: three times `seconds`, at least `seconds` + 10).
    double wallSeconds = 0;
    /// Loop iterations of one shader invocation (see loopBudget.h); 0 leaves loops unbounded.
    uint32_t loopBudget = kLoopBudget;
};

class CompilerProcess {
public:
    /// How a compile ended.
    enum class Outcome {
        Answered,        ///< the compiler answered: compiled, or the source's own errors
        CompilerFailed,  ///< the source took too much processor time or memory, or crashed the compiler
        Transient,       ///< the machine gave the compiler no time: says nothing about the source
        NotStarted,      ///< no compiler process could be started; the result is empty
    };

    /// Starts nothing yet: the process starts with the first compile.
    explicit CompilerProcess(std::string executable);
    ~CompilerProcess();
    CompilerProcess(const CompilerProcess&) = delete;
    CompilerProcess& operator=(const CompilerProcess&) = delete;

    /// Compiles in the process. A compile that ran out of time or memory, or whose process died,
    /// fails with a message naming the file, and the process is ended; `outcome` tells which. A
    /// process that ran out of memory or died after earlier compiles may have been worn down by
    /// them, so the compile is tried once more on a fresh process before the source is blamed.
    CompileResult Compile(const std::string& source, const std::string& name, const IncludeResolver& resolve,
                          const std::string& entryPoint, const std::string& target,
                          const CompileLimits& limits, Outcome& outcome);

    /// Processes started so far, restarts included.
    uint64_t Starts() const { return m_starts; }
    /// The running process's id, or -1 between processes.
    pid_t Pid() const { return m_pid; }

private:
    /// How the last compile on a process ended, when it did not answer.
    enum class Failure { None, TimedOut, OutOfMemory, Crashed };

    CompileResult CompileOnce(const std::string& source, const std::string& name,
                              const IncludeResolver& resolve, const std::string& entryPoint,
                              const std::string& target, const CompileLimits& limits, Outcome& outcome,
                              Failure& failure);
    /// Counts an answered compile, and ends a process that kept much of the memory it took.
    CompileResult Answered(CompileResult result, const CompileLimits& limits);
    bool Start(uint64_t memoryBytes);
    /// Ends the process (if it still runs) and collects it; its wait status, or -1.
    int Stop(bool kill);

    std::string m_executable;
    pid_t m_pid = -1;
    int m_socket = -1;
    uint64_t m_memoryBytes = 0;
    uint64_t m_starts = 0;
    uint64_t m_answered = 0;  ///< compiles the running process has answered
};

}  // namespace Hlsl
