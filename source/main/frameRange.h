// The frame arithmetic of a capture: exact rational frame rates, how many frames a span holds, and
// the contiguous ranges of frames that a capture split over several machines gives to each of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// Frames per second as a fraction of whole numbers, so that 30000/1001 stays exact.
struct FrameRate {
    int64_t numerator = 60;
    int64_t denominator = 1;

    /// The rate as a number, for messages and estimates (never for frame times).
    double Value() const { return double(numerator) / double(denominator); }
    /// "60" or "30000/1001", as video tools read it.
    std::string Text() const;
    bool operator==(const FrameRate&) const = default;
};

/// Reads "60", "12.5" or "30000/1001" (above 0, at most 1000 frames a second) into `rate`, in lowest
/// terms; "" on success, else what is wrong with it.
std::string ParseFrameRate(std::string_view text, FrameRate& rate);

/// The music time of frame `index` of a capture from `from`: from + index x denominator / numerator.
double FrameTime(double from, const FrameRate& rate, int64_t index);

/// How many frames the span from `from` to `to` holds (frame k lies at FrameTime(from, rate, k)).
int64_t FrameCount(double from, double to, const FrameRate& rate);

/// Frames `first` to `end` - 1 of a capture.
struct FrameRange {
    int64_t first = 0;
    int64_t end = 0;

    int64_t Size() const { return end - first; }
    /// "A:B", as --frames takes it.
    std::string Text() const;
    bool operator==(const FrameRange&) const = default;
};

/// Reads "A:B" (whole numbers, 0 <= A < B) into `range`; "" on success, else what is wrong with it.
std::string ParseFrameRange(std::string_view text, FrameRange& range);

/// Piece `index` of `count` of a split capture (1-based).
struct Segment {
    int64_t index = 1;
    int64_t count = 1;
};

/// Reads "K/N" (1 <= K <= N) into `segment`; "" on success, else what is wrong with it.
std::string ParseSegment(std::string_view text, Segment& segment);

/// The frames of `segment` of a capture of `total` frames: N equal, contiguous ranges, the last also
/// taking the remainder; "" on success, else why there is no such range.
std::string SegmentFrames(const Segment& segment, int64_t total, FrameRange& range);

/// "" when `range` lies within a capture of `total` frames, else what is wrong with it.
std::string CheckFrameRange(const FrameRange& range, int64_t total);
