// Fuzz target: the colour look-up table parser over arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "graphics/cubeLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CubeLoader cube(data, size);
    if (cube.ok && cube.table.size() != static_cast<size_t>(cube.size) * cube.size * cube.size * 4)
        __builtin_trap();
    return 0;
}
