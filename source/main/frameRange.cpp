#include "main/frameRange.h"

#include <charconv>
#include <cmath>
#include <numeric>

namespace {

// Rates above this many frames a second are refused, and numerators and denominators are kept
// below kLargestTerm so that index x denominator cannot overflow for any capture that fits a disk.
constexpr int64_t kMaxFramesPerSecond = 1000;
constexpr int64_t kLargestTerm = 1'000'000'000;

// A whole number of decimal digits and nothing else; false for signs, spaces, an empty text or
// one above kLargestTerm.
bool ParseWhole(std::string_view text, int64_t& value) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value <= kLargestTerm;
}

}  // namespace

std::string FrameRate::Text() const {
    return denominator == 1 ? std::to_string(numerator)
                            : std::to_string(numerator) + "/" + std::to_string(denominator);
}

std::string ParseFrameRate(std::string_view text, FrameRate& rate) {
    int64_t numerator = 0, denominator = 1;
    if (const size_t slash = text.find('/'); slash != std::string_view::npos) {
        if (!ParseWhole(text.substr(0, slash), numerator) || !ParseWhole(text.substr(slash + 1), denominator))
            return "a frame rate is a number (60, 12.5) or a fraction of whole numbers (30000/1001)";
    } else if (const size_t point = text.find('.'); point != std::string_view::npos) {
        // A decimal rate is the fraction it spells: 29.97 is 2997/100.
        const std::string_view whole = text.substr(0, point), decimals = text.substr(point + 1);
        int64_t wholePart = 0, decimalPart = 0;
        if (whole.empty() || decimals.empty() || decimals.size() > 6 || !ParseWhole(whole, wholePart) ||
            !ParseWhole(decimals, decimalPart) || wholePart > kMaxFramesPerSecond)
            return "a frame rate is a number (60, 12.5) or a fraction of whole numbers (30000/1001)";
        for (size_t i = 0; i < decimals.size(); ++i) denominator *= 10;
        numerator = wholePart * denominator + decimalPart;
    } else if (!ParseWhole(text, numerator)) {
        return "a frame rate is a number (60, 12.5) or a fraction of whole numbers (30000/1001)";
    }
    if (numerator == 0 || denominator == 0 || numerator > kMaxFramesPerSecond * denominator)
        return "the frame rate must lie above 0 and at most 1000 frames per second";
    const int64_t common = std::gcd(numerator, denominator);
    rate = {numerator / common, denominator / common};
    return "";
}

double FrameTime(double from, const FrameRate& rate, int64_t index) {
    // One rounding only: the product is exact in 64-bit integers, the division the one inexact step.
    return from + double(index * rate.denominator) / double(rate.numerator);
}

int64_t FrameCount(double from, double to, const FrameRate& rate) {
    // A span that ends a hair before a frame's time because of decimal input still holds that frame.
    const double frames = std::floor((to - from) * double(rate.numerator) / double(rate.denominator) + 1e-6);
    return frames > 0 ? int64_t(frames) : 0;
}

std::string FrameRange::Text() const {
    return std::to_string(first) + ":" + std::to_string(end);
}

std::string ParseFrameRange(std::string_view text, FrameRange& range) {
    const size_t colon = text.find(':');
    int64_t first = 0, end = 0;
    if (colon == std::string_view::npos || !ParseWhole(text.substr(0, colon), first) ||
        !ParseWhole(text.substr(colon + 1), end))
        return "frames are given as FIRST:END, whole numbers (0:120 is frames 0 to 119)";
    if (end <= first) return "the end of the frames must lie after their first";
    range = {first, end};
    return "";
}

std::string ParseSegment(std::string_view text, Segment& segment) {
    const size_t slash = text.find('/');
    int64_t index = 0, count = 0;
    if (slash == std::string_view::npos || !ParseWhole(text.substr(0, slash), index) ||
        !ParseWhole(text.substr(slash + 1), count))
        return "a segment is given as K/N, whole numbers (2/4 is the second of four)";
    if (count < 1 || index < 1 || index > count) return "a segment K/N needs 1 <= K <= N";
    segment = {index, count};
    return "";
}

std::string SegmentFrames(const Segment& segment, int64_t total, FrameRange& range) {
    const int64_t size = total / segment.count;
    if (size == 0) {
        return "the capture has " + std::to_string(total) + " frames, too few for " +
               std::to_string(segment.count) + " segments";
    }
    range.first = (segment.index - 1) * size;
    range.end = segment.index == segment.count ? total : segment.index * size;
    return "";
}

std::string CheckFrameRange(const FrameRange& range, int64_t total) {
    if (range.end > total) {
        return "frames " + range.Text() + " lie beyond the capture's " + std::to_string(total) + " frames";
    }
    return "";
}
