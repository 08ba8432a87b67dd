#include "platform/hlsl/compilerServer.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <new>
#include <string>

#include "platform/hlsl/compilerProtocol.h"
#include "platform/hlsl/hlslCompiler.h"
#include "platform/hlsl/wireFormat.h"

#if defined(__SANITIZE_ADDRESS__)
#define VANTRISK_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTRISK_ADDRESS_SANITIZER 1
#endif
#endif

namespace Hlsl {
namespace {

void OutOfMemory() {
    _exit(kCompilerOutOfMemoryExit);
}

// The player watches the resident memory of this process and ends it beyond the limit; the address
// space limit only catches what grows faster than the player looks. Twice the limit leaves room for
// address space that is reserved but never touched. The address sanitizer reserves terabytes up
// front, so it runs without.
void LimitMemory(uint64_t memoryBytes) {
    std::set_new_handler(OutOfMemory);
#ifndef VANTRISK_ADDRESS_SANITIZER
    if (memoryBytes == 0) return;
    const rlim_t bytes = static_cast<rlim_t>(memoryBytes) * 2 + (rlim_t(512) << 20);
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
#else
    (void)memoryBytes;
#endif
}

}  // namespace

int RunCompilerServer(int socket, uint64_t memoryBytes) {
    // Nobody may be left waiting on a compiler that hangs after the player has gone.
    const pid_t player = getppid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != player) return 0;
    LimitMemory(memoryBytes);

    const Protocol::Wait wait = Protocol::WaitForever;
    Protocol::Message type;
    std::string payload;
    while (Protocol::Receive(socket, type, payload, wait)) {
        if (type != Protocol::Message::Compile) return 2;
        Wire::Reader request(payload);
        const std::string source = request.String();
        const std::string name = request.String();
        const std::string entry = request.String();
        const std::string target = request.String();
        const uint32_t loopBudget = request.U32();
        if (!request.Ok()) return 2;

        // Includes are the player's to resolve; a player that stops answering has gone away.
        const IncludeResolver resolve = [&](const std::string& requested, std::string& includer,
                                            std::string& contents) {
            Wire::Writer ask;
            ask.String(requested);
            ask.String(includer);
            Protocol::Message replyType;
            std::string reply;
            if (!Protocol::Send(socket, Protocol::Message::Include, ask.Bytes(), wait) ||
                !Protocol::Receive(socket, replyType, reply, wait) ||
                replyType != Protocol::Message::IncludeReply)
                _exit(0);
            Wire::Reader answer(reply);
            const bool found = answer.U8() != 0;
            contents = answer.String();
            includer = answer.String();
            if (!answer.Ok()) _exit(2);
            return found;
        };
        const CompileResult result = CompileInProcess(source, name, resolve, entry, target, loopBudget);

        Wire::Writer out;
        out.U8(result ? 1 : 0);
        if (result) {
            Wire::WriteShaderCode(out, *result.code);
        } else {
            out.String(result.errors);
        }
        if (!Protocol::Send(socket, Protocol::Message::Result, out.Bytes(), wait)) return 0;
    }
    return 0;
}

}  // namespace Hlsl
