// Fuzz target: the image decoder over arbitrary bytes. A small size limit keeps each run cheap; the
// code paths are the same as with the default limit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/image/imageCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Image::Picture picture;
    std::string error;
    const bool ok = Image::Decode(data, size, picture, error, 512);
    const bool consistent =
        ok ? error.empty() && picture.width > 0 && picture.height > 0 &&
                 picture.rgba.size() == static_cast<size_t>(picture.width) * picture.height * 4
           : !error.empty() && picture.rgba.empty();
    if (!consistent) __builtin_trap();
    return 0;
}
