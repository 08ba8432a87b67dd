// One playback's music, decoded a little ahead of the mixer on a thread of its own, so that a piece
// of any length starts at once and holds no more than a few seconds of samples.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound/soundDecoder.h"

namespace Platform {

/// What every playback of one sound shares: the file's bytes, the rates and the length.
struct SoundSource {
    SoundBytes bytes;
    int fileRate = 0;
    int outputRate = 0;
    /// The length the file's header claims, in output frames.
    int64_t claimedFrames = 0;
    /// The exact length in output frames, once some playback decoded to the end (-1 before).
    std::atomic<int64_t> exactFrames{-1};

    /// The length in output frames: exact once known, the header's claim before.
    int64_t Length() const {
        const int64_t exact = exactFrames.load();
        return exact >= 0 ? exact : claimedFrames;
    }
};

class MusicStream {
public:
    /// Opens the source and decodes its first moments before returning, so that playback can start
    /// at once; the rest follows on the stream's thread.
    explicit MusicStream(std::shared_ptr<SoundSource> source);
    /// Stops the decoding thread.
    ~MusicStream();
    MusicStream(const MusicStream&) = delete;
    MusicStream& operator=(const MusicStream&) = delete;

    /// Copies up to `frames` decoded frames from the stream's position into `out` and moves on past
    /// them; never waits, so it may give fewer (none while the decoder catches up).
    int64_t Take(float* out, int64_t frames);
    /// Goes to output frame `frame`: what was decoded ahead is dropped and the first moments from
    /// there are decoded before returning.
    void Seek(int64_t frame);
    /// True once everything up to the end of the data has been taken.
    bool Drained() const;
    /// Output frame where the data ends: exact once the decoder has reached it, the claim before.
    int64_t EndFrame() const;
    /// A message about decoding that stopped before the end the file claims, given once ("" if none).
    std::string TakeMessage();

private:
    void Run();
    /// Decodes one piece and appends it to the buffer. Decoder lock held.
    void DecodePiece();
    /// Decodes until the first moments from the stream's position are buffered. Decoder lock held.
    void Prime();

    std::shared_ptr<SoundSource> m_source;

    // The decoder's side, guarded by m_decodeLock.
    std::mutex m_decodeLock;
    SoundDecoder m_decoder;
    std::unique_ptr<RateConverter> m_converter;
    int64_t m_fileFrame = 0;       // next frame of the file to decode
    int64_t m_convertedStart = 0;  // output frame of the first frame the converter gives
    int64_t m_converted = 0;       // frames the converter gave since the last seek
    std::vector<float> m_piece;
    std::vector<float> m_out;

    // The buffer between the decoder and the mixer, guarded by m_bufferLock.
    mutable std::mutex m_bufferLock;
    std::condition_variable m_wake;
    std::vector<float> m_ring;
    int64_t m_capacity = 0;
    int64_t m_head = 0;      // ring index of the first buffered frame
    int64_t m_count = 0;     // frames buffered
    bool m_ended = false;    // the decoder has reached the end of the data
    int64_t m_endFrame = 0;  // valid once m_ended
    bool m_stop = false;
    std::string m_message;

    std::thread m_thread;
};

}  // namespace Platform
