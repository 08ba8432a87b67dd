// Fuzz target: the cube scenes' picture walk over arbitrary image bytes. Each input is decoded and
// walked by all three builders (relief, wall, torus with itself as height map); every cube they make
// must come from a pixel that exists and carry a finite transform.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "effects/cubeCube.h"
#include "effects/cubeImage.h"
#include "effects/cubeTorus.h"
#include "platform/image/imageCodec.h"

namespace {

bool Finite(const std::vector<CubeInstance>& cubes) {
    for (const CubeInstance& cube : cubes) {
        for (const auto& row : cube.world.m)
            for (const float v : row)
                if (!std::isfinite(v)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Image::Picture picture;
    std::string error;
    if (!Image::Decode(data, size, picture, error, 256)) return 0;
    const size_t pixels = size_t(picture.width) * size_t(picture.height);
    if (picture.rgba.size() != pixels * 4) __builtin_trap();

    const auto relief = Effects::CubeCube::BuildRelief(picture, 0.7f, 0.0f, 1.0f, 0.5f);
    const auto wall = Effects::CubeImage::BuildWall(picture, 0.0f, 0.0f, 1.0f, 0.5f);
    const auto torus = Effects::CubeTorus::BuildTorus(picture, picture, {20.0f, 5.0f, 3.0f});
    if (relief.size() > pixels || wall.size() != relief.size() || torus.size() > pixels) __builtin_trap();
    if (!Finite(relief) || !Finite(wall) || !Finite(torus)) __builtin_trap();
    return 0;
}
