// Outcome of the sound layer's operations. Callers above the platform only look at the values they
// need; everything else is for tests and diagnostics.
#pragma once

namespace Platform {

enum class SoundResult {
    Ok,
    /// The channel was never played, has been stopped, or its sound or sound system is gone.
    InvalidHandle,
    /// A position outside the sound; the playback keeps its position.
    InvalidPosition,
    /// An argument out of its range (a channel count, a driver index).
    InvalidParam,
    /// The sound system has not been initialised (or was initialised twice).
    NotInitialised,
    AlreadyInitialised,
    /// The data is no audio file that the decoder reads, or holds no samples.
    BadFormat,
    /// The finished playback can no longer be paused or moved.
    ChannelEnded,
};

/// A short English description of a result, for logs.
const char* SoundResultText(SoundResult result);

}  // namespace Platform
