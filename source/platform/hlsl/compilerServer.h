// The compiler process's side: compile requests served one after another over a socket, includes
// asked back from the player, which alone sees its virtual file system.
#pragma once

#include <cstdint>

namespace Hlsl {

/// Exit status of a compiler process that could not allocate memory.
constexpr int kCompilerOutOfMemoryExit = 86;

/// Makes this process a compiler process for the player that started it: it dies with the player,
/// allocations beyond about `memoryBytes` end it with kCompilerOutOfMemoryExit, and requests on
/// `socket` are served until the player closes it. Returns the exit status.
int RunCompilerServer(int socket, uint64_t memoryBytes);

}  // namespace Hlsl
