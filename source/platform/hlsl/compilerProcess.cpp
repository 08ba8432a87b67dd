// Sections: start and stop | watching a compile | one compile
#include "platform/hlsl/compilerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/hlsl/compilerProtocol.h"
#include "platform/hlsl/compilerServer.h"
#include "platform/hlsl/hlslSource.h"
#include "platform/hlsl/wireFormat.h"

extern char** environ;

namespace Hlsl {

// ---------------------------------------------------------------------------------------------------
// Start and stop

CompilerProcess::CompilerProcess(std::string executable) : m_executable(std::move(executable)) {}

CompilerProcess::~CompilerProcess() {
    Stop(false);
}

bool CompilerProcess::Start(uint64_t memoryBytes) {
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The compiler's end of the socket becomes its standard input; standard output and error stay
    // ours, so that whatever the compiler prints lands where the player's own messages go.
    posix_spawn_file_actions_adddup2(&actions, sockets[1], STDIN_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const std::string memory = std::to_string(memoryBytes);
    char* arguments[] = {const_cast<char*>(m_executable.c_str()), const_cast<char*>("--memory"),
                         const_cast<char*>(memory.c_str()), nullptr};
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, m_executable.c_str(), &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(sockets[1]);
    if (failed != 0) {
        close(sockets[0]);
        return false;
    }
    m_pid = pid;
    m_socket = sockets[0];
    m_memoryBytes = memoryBytes;
    m_answered = 0;
    ++m_starts;
    return true;
}

int CompilerProcess::Stop(bool kill) {
    if (m_socket >= 0) close(m_socket);
    m_socket = -1;
    if (m_pid < 0) return -1;
    // Closing the socket ends a waiting process by itself; one that is busy is killed.
    if (kill) ::kill(m_pid, SIGKILL);
    int status = -1;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return status;
}

// ---------------------------------------------------------------------------------------------------
// Watching a compile

namespace {

using Clock = std::chrono::steady_clock;

enum class Verdict { Running, TimedOut, Starved, OutOfMemory };

// Reads one /proc file of the process into `text`; false when it is gone.
bool ReadProc(pid_t pid, const char* file, char (&text)[512]) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/%s", static_cast<int>(pid), file);
    FILE* stream = std::fopen(path, "r");
    if (!stream) return false;
    const size_t read = std::fread(text, 1, sizeof text - 1, stream);
    std::fclose(stream);
    text[read] = '\0';
    return read > 0;
}

uint64_t ResidentBytes(pid_t pid) {
    char text[512];
    unsigned long long size = 0, resident = 0;
    if (!ReadProc(pid, "statm", text) || std::sscanf(text, "%llu %llu", &size, &resident) != 2) return 0;
    return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

// Processor time the process has used, in seconds: user and system time, fields 14 and 15 of its
// stat line, counted after the command name (which may hold spaces and brackets).
double ProcessorSeconds(pid_t pid) {
    char text[512];
    if (!ReadProc(pid, "stat", text)) return 0;
    const char* at = std::strrchr(text, ')');
    if (!at) return 0;
    unsigned long long user = 0, system = 0;
    if (std::sscanf(at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) != 2)
        return 0;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Waits on the socket in short steps, looking at the process's memory and time in between. The time
// limit counts the processor time the compile takes, so that a compile on a busy machine, or in a
// player that was paused, is not taken for one that hangs; a compile that gets no processor at all
// for much longer than the limit is given up too, but as a matter of the moment, not of its source.
struct Watch {
    pid_t pid;
    double seconds;
    uint64_t memoryBytes;
    double wallSeconds;
    double processorAtStart = ProcessorSeconds(pid);
    Clock::time_point wallDeadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                        std::chrono::duration<double>(wallSeconds));
    Verdict verdict = Verdict::Running;

    bool operator()(int socket, short events) {
        constexpr int kStepMilliseconds = 10;
        while (true) {
            // What is there to read is taken first: a finished compile is never failed for its time.
            pollfd entry{socket, events, 0};
            const int ready = poll(&entry, 1, 0);
            if (ready > 0) return true;
            if (ready < 0 && errno != EINTR) return false;
            if (memoryBytes > 0 && ResidentBytes(pid) > memoryBytes) {
                verdict = Verdict::OutOfMemory;
                return false;
            }
            if (ProcessorSeconds(pid) - processorAtStart > seconds) {
                verdict = Verdict::TimedOut;
                return false;
            }
            if (Clock::now() > wallDeadline) {
                verdict = Verdict::Starved;
                return false;
            }
            entry.revents = 0;
            const int waited = poll(&entry, 1, kStepMilliseconds);
            if (waited > 0) return true;
            if (waited < 0 && errno != EINTR) return false;
        }
    }
};

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// One compile

CompileResult CompilerProcess::Answered(CompileResult result, const CompileLimits& limits) {
    ++m_answered;
    // Freed memory often stays with the process; the next source would find it counted against its
    // own limit, so a process holding over half the limit is replaced before the next compile.
    if (limits.memoryBytes > 0 && ResidentBytes(m_pid) > limits.memoryBytes / 2) Stop(true);
    return result;
}

CompileResult CompilerProcess::Compile(const std::string& source, const std::string& name,
                                       const IncludeResolver& resolve, const std::string& entryPoint,
                                       const std::string& target, const CompileLimits& limits,
                                       Outcome& outcome) {
    const bool fresh = m_pid < 0 || m_answered == 0 || m_memoryBytes != limits.memoryBytes;
    Failure failure = Failure::None;
    CompileResult result = CompileOnce(source, name, resolve, entryPoint, target, limits, outcome, failure);
    // Memory an earlier compile left behind counts against this one, and an earlier source may have
    // left the compiler's state damaged. A time-out is not tried again: the time counted is this
    // compile's own, and a second try would double the wait for a source that truly hangs.
    if (!fresh && (failure == Failure::OutOfMemory || failure == Failure::Crashed))
        result = CompileOnce(source, name, resolve, entryPoint, target, limits, outcome, failure);
    return result;
}

CompileResult CompilerProcess::CompileOnce(const std::string& source, const std::string& name,
                                           const IncludeResolver& resolve, const std::string& entryPoint,
                                           const std::string& target, const CompileLimits& limits,
                                           Outcome& outcome, Failure& failure) {
    outcome = Outcome::Answered;
    failure = Failure::None;
    if (m_pid >= 0 && m_memoryBytes != limits.memoryBytes) Stop(true);
    if (m_pid < 0 && !Start(limits.memoryBytes)) {
        outcome = Outcome::NotStarted;
        return {};
    }

    const double seconds = std::isfinite(limits.seconds) && limits.seconds > 0 ? limits.seconds : 1e6;
    const double wallSeconds = limits.wallSeconds > 0 && std::isfinite(limits.wallSeconds)
                                   ? limits.wallSeconds
                                   : std::max(3 * seconds, seconds + 10);
    Watch watch{m_pid, seconds, limits.memoryBytes, wallSeconds};
    const Protocol::Wait wait = std::ref(watch);

    Wire::Writer request;
    request.String(source);
    request.String(name);
    request.String(entryPoint);
    request.String(target);
    request.U32(limits.loopBudget);
    bool ok = Protocol::Send(m_socket, Protocol::Message::Compile, request.Bytes(), wait);
    CompileResult result;
    while (ok) {
        Protocol::Message type;
        std::string payload;
        ok = Protocol::Receive(m_socket, type, payload, wait);
        if (!ok) break;
        Wire::Reader in(payload);
        if (type == Protocol::Message::Include) {
            const std::string requested = in.String();
            std::string includer = in.String();
            std::string contents;
            const bool found = in.Ok() && resolve && resolve(requested, includer, contents);
            Wire::Writer reply;
            reply.U8(found ? 1 : 0);
            reply.String(found ? contents : std::string());
            reply.String(includer);
            ok = in.Ok() && Protocol::Send(m_socket, Protocol::Message::IncludeReply, reply.Bytes(), wait);
            continue;
        }
        if (type != Protocol::Message::Result) break;
        if (in.U8() != 0) {
            auto code = std::make_shared<ShaderCode>();
            if (Wire::ReadShaderCode(in, *code) && in.AtEnd()) {
                result.code = std::move(code);
                return Answered(std::move(result), limits);
            }
        } else {
            result.errors = in.String();
            if (in.Ok() && in.AtEnd()) return Answered(std::move(result), limits);
        }
        break;
    }

    // Whatever went wrong, this process is done with: it is stopped, and says how it ended.
    outcome = Outcome::CompilerFailed;
    const std::string what = name + ": error: compiling '" + entryPoint + "'";
    if (watch.verdict == Verdict::TimedOut || watch.verdict == Verdict::Starved) {
        Stop(true);
        failure = Failure::TimedOut;
        result.errors = what + " took longer than " + Seconds(seconds) + " s";
        if (watch.verdict == Verdict::Starved) {
            result.errors += " (the machine gave it no time)";
            outcome = Outcome::Transient;
        }
    } else if (watch.verdict == Verdict::OutOfMemory) {
        Stop(true);
        failure = Failure::OutOfMemory;
        result.errors =
            what + " ran out of memory (more than " + std::to_string(limits.memoryBytes >> 20) + " MiB)";
    } else {
        // Gone on its own, or talking nonsense: give it a moment to end before it is made to.
        failure = Failure::Crashed;
        for (int i = 0; i < 50 && m_pid >= 0; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                close(m_socket);
                m_socket = -1;
                if (WIFEXITED(status) && WEXITSTATUS(status) == kCompilerOutOfMemoryExit) {
                    failure = Failure::OutOfMemory;
                    result.errors = what + " ran out of memory";
                } else if (WIFSIGNALED(status)) {
                    result.errors =
                        what + " crashed the compiler (signal " + std::to_string(WTERMSIG(status)) + ")";
                } else {
                    result.errors = what + " crashed the compiler (exit status " +
                                    std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
                }
                // A call the compiler is known to fall over is named at the author's line.
                result.errors = ExplainUnsupported(result.errors, {{name, source}});
                return result;
            }
            usleep(2000);
        }
        Stop(true);
        result.errors = what + " crashed the compiler (it stopped answering)";
    }
    result.code = nullptr;
    return result;
}

}  // namespace Hlsl
