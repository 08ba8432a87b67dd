// Music playback, the clock of the show: one piece of music loaded from the virtual file system,
// started, scrubbed and followed frame by frame; its end ends the show.
#pragma once

#include <string>

#include "platform/sound/channel.h"

/// Starts the sound system; false when it cannot be used (the show then runs without music).
bool Audio_Init();
/// Loads `fileName` and stands it ready, paused at its start; the same name again keeps it playing.
bool Audio_Load(const std::string& fileName);
/// Starts the music from its beginning if it stands paused.
void Audio_Resume();
/// Moves the music by `seconds` (negative: back); a target outside the music is ignored.
void Audio_Seek(double seconds);
/// Once per frame: follows an edited music file, sets the quit flag at the end of the music, and
/// returns the position heard now in seconds.
double Audio_Update();
/// Releases the music and the sound system.
void Audio_Shutdown();

/// The current playback of the music, for the transport keys (an empty handle when there is none).
Platform::Channel& Audio_GetChannel();
/// Sets the volume for new playbacks (1 is full).
void Audio_SetVolume(double volume);
/// The volume for new playbacks.
double Audio_GetVolume();

/// Makes the next Audio_Init use the silent output, never a sound device (captures, tests).
void Audio_UseSilentOutput(bool silent);
/// Length of the loaded music in seconds (0 when there is none).
double Audio_GetLength();
/// Name of the music file the script asked for ("" when none).
const std::string& Audio_GetFileName();
