// The pass over the author's text before the front end: whatever the bytes, it ends, keeps every
// line where it was (as many newlines out as in, none moved before the last cbuffer), and the
// explanation of errors reads any error text against any file without failing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/hlsl/hlslSource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string read = Hlsl::ReadAsDirect3D(text);
    const bool marked = text.rfind("\xEF\xBB\xBF", 0) == 0;
    if (std::count(read.begin(), read.end(), '\n') != std::count(text.begin(), text.end(), '\n')) {
        std::fprintf(stderr, "the pass changed the number of lines\n");
        std::abort();
    }
    // Blanking keeps the length; a moved static comes back as its tokens, each after a space.
    if (read.size() > 3 * (text.size() - (marked ? 3 : 0))) {
        std::fprintf(stderr, "the pass grew the text from %zu to %zu bytes\n", text.size(), read.size());
        std::abort();
    }
    const std::string errors =
        "f.fx:" + std::to_string(size % 7) + ": error: x\nf.fx:99999999999: error: y\n" + text.substr(0, 64);
    const std::string explained = Hlsl::ExplainUnsupported(errors, {{"f.fx", text}});
    if (explained.rfind(errors, 0) != 0) {
        std::fprintf(stderr, "the explanation lost the front end's words\n");
        std::abort();
    }
    return 0;
}
