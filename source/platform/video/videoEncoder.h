// Video files through the ffmpeg program: raw RGBA frames go down a pipe, optionally muxed with a
// span of an audio file. Started with an argument vector, never through a shell.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

/// How hard the encoder works on a frame: draft is the quickest, best the slowest and most careful;
/// all stay visually lossless for the show's pictures.
/// (The encoder's settings are indexed by it, in this order.)
enum class VideoQuality { Draft, Normal, Best };

/// The quality called `name` ("draft", "normal", "best"); none for any other name.
std::optional<VideoQuality> VideoQualityFromName(std::string_view name);

struct VideoDesc {
    std::string path;  ///< output file; its extension picks the container
    int width = 800;
    int height = 600;
    std::string rate = "60";  ///< frames per second as ffmpeg reads it ("60", "30000/1001"), exact
    std::string audioPath;    ///< audio to mux in ("" for none)
    double audioStart = 0;    ///< seconds into the audio where the video starts
    double duration = 0;      ///< seconds of audio to take
    VideoQuality quality = VideoQuality::Normal;
    std::string
        comment;  ///< the container's comment tag ("" for none): what a piece of a split capture holds
};

/// The encoder's command line for `desc`, frames coming on standard input (argument 0 the program).
std::vector<std::string> VideoEncoderArguments(const VideoDesc& desc);

class VideoEncoder {
public:
    VideoEncoder() = default;
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    /// Starts the encoder; false with a reason in Error() when it cannot run.
    bool Open(const VideoDesc& desc);
    /// Sends one frame, width by height RGBA rows top-down; false when the encoder went away.
    bool Write(const uint8_t* rgba);
    /// Ends the stream and waits for the encoder; false when it failed (see Error()).
    bool Close();
    const std::string& Error() const { return m_error; }

private:
    int m_pid = -1;
    int m_pipe = -1;
    size_t m_frameBytes = 0;
    std::string m_error;
    std::string m_logPath;
};

/// Whether the encoder program can be found.
bool IsVideoEncoderAvailable();

}  // namespace Platform
