// Rendering the show without a display: frame-exact captures to PNG files or to a video with the
// music, and single frames. The same frame path as playback, on a headless device, with the music
// clock set to each frame's time.
#pragma once

#include <optional>
#include <string>

#include "main/frameRange.h"
#include "main/sizeOption.h"
#include "platform/video/videoEncoder.h"

struct CaptureOptions {
    std::string output;            ///< PNG pattern ("%05d"), folder, or video (.mp4 .mkv .webm .mov)
    FrameRate fps;                 ///< exact: frame k lies at from + k / fps
    double from = 0.0;             ///< music time of the first frame, seconds
    std::optional<double> to;      ///< end of the span (default: the end of the music)
    std::optional<double> single;  ///< one frame at this music time into `output` (a PNG file)
    bool progress = true;          ///< draw a progress bar on standard error
    Platform::VideoQuality quality = Platform::VideoQuality::Normal;  ///< of a video output
    /// Render and read back every frame as a capture does, then drop it: no file, no encoder. What a
    /// capture costs above rendering is measured against this (bench/captureBench.cpp); `output` is
    /// not used.
    bool dropFrames = false;
    /// The picture's size and supersampling (800 by 600, none, when not given); native is refused.
    SizeRequest size;
    /// Only these frames of the capture (--frames), or this piece of it (--segment): PNG files keep
    /// the capture's frame numbers, a video is a silent piece labelled with its frames, for --join.
    std::optional<FrameRange> frames;
    std::optional<Segment> segment;
};

/// Renders the frames; the exit code (0 on success, -1 when the data cannot be mounted or the
/// device made, 1 for any other failure, each with a message on standard error).
int RunCapture(const CaptureOptions& options);

/// Whether `output` names a video file for the encoder.
bool IsVideoOutput(const std::string& output);

/// The file name of frame `index` for a PNG pattern or folder output.
std::string FrameFileName(const std::string& output, long index);

/// Copies the show's music file `name` (from the mounted data) to the temporary folder, for ffmpeg;
/// its path, or "" when it cannot be read. The caller removes it.
std::string CopyMusicToHost(const std::string& name);
