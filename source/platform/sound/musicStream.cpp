#include "platform/sound/musicStream.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace Platform {

namespace {

// Frames of the file decoded at a time.
constexpr int64_t kPieceFrames = 4096;
// How far the decoder keeps ahead of the mixer, and how much a start or a seek decodes before it
// returns, in seconds of music: half a second covers a decoding thread that a busy machine leaves
// waiting for its turn, at a few milliseconds of decoding.
constexpr int64_t kLeadDivisor = 1;   // one second
constexpr int64_t kPrimeDivisor = 2;  // half a second

}  // namespace

MusicStream::MusicStream(std::shared_ptr<SoundSource> source) : m_source(std::move(source)) {
    const int64_t pieceOut = ConvertFrameCount(kPieceFrames, m_source->fileRate, m_source->outputRate) + 1024;
    m_capacity = m_source->outputRate / kLeadDivisor + 2 * pieceOut;
    m_ring.resize(static_cast<size_t>(m_capacity * 2));
    m_piece.resize(static_cast<size_t>(kPieceFrames * 2));
    {
        std::lock_guard decode(m_decodeLock);
        std::string error;
        if (!m_decoder.Open(m_source->bytes, error)) {
            std::lock_guard buffer(m_bufferLock);
            m_ended = true;
            m_message = "the music could not be opened again: " + error;
        } else {
            if (m_source->fileRate != m_source->outputRate)
                m_converter = std::make_unique<RateConverter>(m_source->fileRate, m_source->outputRate);
            Prime();
        }
    }
    m_thread = std::thread([this] { Run(); });
}

MusicStream::~MusicStream() {
    {
        std::lock_guard buffer(m_bufferLock);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void MusicStream::Run() {
    const int64_t lead = m_source->outputRate / kLeadDivisor;
    for (;;) {
        {
            std::unique_lock buffer(m_bufferLock);
            m_wake.wait(buffer, [&] { return m_stop || (!m_ended && m_count < lead); });
            if (m_stop) return;
        }
        std::lock_guard decode(m_decodeLock);
        {
            // A seek may have filled the buffer or found the end while this thread waited.
            std::lock_guard buffer(m_bufferLock);
            if (m_stop) return;
            if (m_ended || m_count >= lead) continue;
        }
        DecodePiece();
    }
}

void MusicStream::DecodePiece() {
    const int64_t got = m_decoder.Read(m_piece.data(), kPieceFrames);
    m_fileFrame += got;
    const bool end = got < kPieceFrames;
    const float* out = m_piece.data();
    int64_t outFrames = got;
    if (m_converter) {
        m_out.clear();
        m_converter->Put(m_piece.data(), got, m_out);
        if (end) m_converter->Finish(m_fileFrame, m_out);
        out = m_out.data();
        outFrames = static_cast<int64_t>(m_out.size() / 2);
    }

    std::lock_guard buffer(m_bufferLock);
    // The buffer holds a second and two pieces; only a seek's priming could overrun it, and that
    // starts from an empty buffer.
    const int64_t fits = std::min(outFrames, m_capacity - m_count);
    for (int64_t i = 0; i < fits;) {
        const int64_t at = (m_head + m_count) % m_capacity;
        const int64_t n = std::min(fits - i, m_capacity - at);
        std::copy(out + i * 2, out + (i + n) * 2, m_ring.begin() + at * 2);
        m_count += n;
        i += n;
    }
    m_converted += outFrames;
    if (!end) return;

    m_ended = true;
    m_endFrame = m_convertedStart + m_converted;
    m_source->exactFrames.store(m_endFrame);
    const std::string error = m_decoder.Error();
    const int64_t claimedFileFrames = m_decoder.ClaimedFrames();
    if (!error.empty() || (m_decoder.ClaimIsExact() && m_fileFrame < claimedFileFrames)) {
        char text[256];
        std::snprintf(
            text, sizeof text, "The music could not be decoded past %.1f s of the %.1f s it claims (%s)",
            double(m_fileFrame) / m_source->fileRate, double(claimedFileFrames) / m_source->fileRate,
            error.empty() ? "its data ends early" : error.c_str());
        m_message = text;
    }
}

int64_t MusicStream::Take(float* out, int64_t frames) {
    std::lock_guard buffer(m_bufferLock);
    const int64_t n = std::min(frames, m_count);
    for (int64_t i = 0; i < n;) {
        const int64_t k = std::min(n - i, m_capacity - m_head);
        std::copy(m_ring.begin() + m_head * 2, m_ring.begin() + (m_head + k) * 2, out + i * 2);
        m_head = (m_head + k) % m_capacity;
        m_count -= k;
        i += k;
    }
    if (n > 0) m_wake.notify_one();
    return n;
}

void MusicStream::Seek(int64_t frame) {
    std::lock_guard decode(m_decodeLock);
    if (m_converter)
        m_converter = std::make_unique<RateConverter>(m_source->fileRate, m_source->outputRate, frame);
    // The converter wants a little of the music before the frame, for its filter.
    const int64_t fileFrame = m_converter ? m_converter->FirstInputFrame() : frame;
    bool reached = m_decoder.Seek(fileFrame);
    if (!reached) {
        // A format that cannot seek is read again from the front up to the frame.
        std::string error;
        reached = m_decoder.Open(m_source->bytes, error);
        for (int64_t skipped = 0; reached && skipped < fileFrame;) {
            const int64_t got = m_decoder.Read(m_piece.data(), std::min(kPieceFrames, fileFrame - skipped));
            if (got == 0) reached = false;
            skipped += got;
        }
    }
    m_fileFrame = fileFrame;
    m_convertedStart = frame;
    m_converted = 0;
    {
        std::lock_guard buffer(m_bufferLock);
        m_head = 0;
        m_count = 0;
        m_ended = !reached;
        m_endFrame = frame;
    }
    Prime();
    m_wake.notify_all();
}

void MusicStream::Prime() {
    for (;;) {
        {
            std::lock_guard buffer(m_bufferLock);
            if (m_ended || m_count >= m_source->outputRate / kPrimeDivisor) return;
        }
        DecodePiece();
    }
}

bool MusicStream::Drained() const {
    std::lock_guard buffer(m_bufferLock);
    return m_ended && m_count == 0;
}

int64_t MusicStream::EndFrame() const {
    std::lock_guard buffer(m_bufferLock);
    if (m_ended) return m_endFrame;
    // Data that runs on past the claimed length keeps the end ahead of what was decoded.
    return std::max(m_source->Length(), m_convertedStart + m_converted + 1);
}

std::string MusicStream::TakeMessage() {
    std::lock_guard buffer(m_bufferLock);
    return std::exchange(m_message, {});
}

}  // namespace Platform
