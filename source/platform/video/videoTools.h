// The ffmpeg tools run to their end on finished files: ffprobe tells what a video holds, and ffmpeg
// joins pieces of one video without re-encoding them and puts a span of audio under the result.
// Started with an argument vector, never through a shell.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Platform {

/// What ffprobe reads from the first video stream of a file and from its container.
struct VideoFacts {
    std::string codec;  ///< "h264", "vp9", ...
    int width = 0;
    int height = 0;
    std::string rate;     ///< the stream's frame rate as a fraction ("30000/1001", "60/1")
    long frames = 0;      ///< packets of the video stream: one per frame
    std::string comment;  ///< the container's comment tag
};

/// What `path` holds; none with the reason in `error` when ffprobe cannot read a video from it.
std::optional<VideoFacts> ProbeVideo(const std::string& path, std::string& error);

/// One piece of a join: its file and its length in microseconds.
struct ConcatPiece {
    std::string path;
    long long microseconds = 0;
};

/// The list the concat demuxer reads: each piece with its exact length, so that rounding in the
/// pieces' containers cannot shift a seam.
std::string ConcatList(const std::vector<ConcatPiece>& pieces);

struct ConcatDesc {
    std::string listPath;   ///< ConcatList written to a file
    std::string output;     ///< the joined file; its extension picks the container
    std::string audioPath;  ///< audio to put under the video ("" for none)
    double audioStart = 0;  ///< seconds into the audio where the video starts
    double duration = 0;    ///< seconds of the video, and of the audio taken
};

/// ffmpeg's command line for a join: the video copied, the audio encoded as a capture encodes it.
std::vector<std::string> ConcatArguments(const ConcatDesc& desc);

/// Runs `arguments` (argument 0 the program, searched on PATH) to its end; true when it exits with 0.
/// `output` receives the last lines of what it wrote (standard output and error together).
bool RunVideoTool(const std::vector<std::string>& arguments, std::string& output);

/// Whether ffprobe can be found.
bool IsVideoProbeAvailable();

}  // namespace Platform
