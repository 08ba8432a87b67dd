#include "main/sizeOption.h"

#include <cstdio>
#include <regex>

#include "graphics/renderSize.h"
#include "graphics/sharedGraphics.h"

namespace {

// Digits only: no sign, no fraction, no exponent, at most five of them so no overflow.
bool ParseWhole(const std::string& text, int& value) {
    static const std::regex kWhole("[0-9]{1,5}");
    if (!std::regex_match(text, kWhole)) return false;
    value = std::stoi(text);
    return true;
}

}  // namespace

std::string ParseSize(const std::string& text, SizeRequest& request) {
    if (text == "native") {
        request.native = true;
        request.width = request.height = 0;
        return "";
    }
    const size_t x = text.find_first_of("xX");
    int width = 0, height = 0;
    if (x == std::string::npos || !ParseWhole(text.substr(0, x), width) ||
        !ParseWhole(text.substr(x + 1), height)) {
        return "not a size (WIDTHxHEIGHT in pixels, or native):";
    }
    if (width < 1 || height < 1) return "a size needs at least one pixel each way:";
    if (width > kMaxOutputWidth || height > kMaxOutputHeight) return "a size may be at most 7680x4320:";
    request.width = width;
    request.height = height;
    request.native = false;
    return "";
}

std::string ParseSupersample(const std::string& text, SizeRequest& request) {
    int factor = 0;
    if (!ParseWhole(text, factor) || factor < 1 || factor > kMaxSupersample)
        return "--supersample takes a whole number from 1 to 4, not";
    request.supersample = factor;
    return "";
}

void ApplySizeRequest(const SizeRequest& request, int width, int height) {
    if (!request.HasSize() && request.supersample == 1) return;
    g_graphics.fitPicture = request.HasSize();
    const PictureRect picture =
        request.HasSize() ? FitPicture(width, height) : PictureRect{0, 0, kShowWidth, kShowHeight};
    SetRenderSize(picture.width, picture.height, request.supersample);
}
