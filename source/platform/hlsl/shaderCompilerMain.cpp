// Entry point of "vantrisk-shaderc", the player's compiler process (built beside the program, not
// part of the library): it serves compiles on its standard input, which the player made a socket.
#include <cstdlib>
#include <cstring>

#include "platform/hlsl/compilerServer.h"

// A compiler that crashes is expected here and reported by the player; the sanitizer's own report
// of the crash would only bury that message.
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_abort=0:detect_leaks=0";
}

int main(int argc, char** argv) {
    unsigned long long memoryBytes = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--memory") == 0) memoryBytes = std::strtoull(argv[i + 1], nullptr, 10);
    }
    return Hlsl::RunCompilerServer(0, memoryBytes);
}
