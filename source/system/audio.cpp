#include "system/audio.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "platform/sound/soundSystem.h"
#include "system/dataFile.h"
#include "system/fileWatcher.h"
#include "system/flags.h"
#include "system/log.h"

// Module state: one sound system, one piece of music and its current playback. Older playbacks
// that a resume leaves paused behind stay with the sound and go when it is released.
namespace {
std::unique_ptr<Platform::SoundSystem> g_system;
std::unique_ptr<Platform::Sound> g_sound;
Platform::Channel g_channel;
std::string g_musicFileName;
bool g_silentOutput = false;
double g_volume = 1.0;

constexpr int kMaxChannels = 32;
}  // namespace

bool Audio_Init() {
    g_system = std::make_unique<Platform::SoundSystem>();
    g_system->SetOutput(g_silentOutput ? Platform::SoundOutputType::Silent : Platform::SoundOutputType::Autodetect);
    g_system->SetDriver(0);
    g_system->Init(kMaxChannels);
    return true;
}

bool Audio_Load(const std::string& fileName) {
    // A reloaded script that names the same music keeps it playing.
    if (fileName == g_musicFileName) return true;

    g_sound.reset();
    g_channel.Stop();
    g_channel = Platform::Channel();
    g_musicFileName = fileName;

    // The compressed file is kept whole (a four-hour piece is a few megabytes); it is decoded a
    // little at a time as it plays.
    FileData file;
    const DataFileRead read = ReadDataFile(fileName, file, "Audio_Load");
    if (read == DataFileRead::Missing) {
        VLOG("Audio_Load", "Couldn't load audio file '%s'", fileName.c_str());
        return false;
    }
    // A file too large to read (logged by the reader) leaves no sound, as an undecodable one does.
    if (read == DataFileRead::Refused) return true;
    const auto* first = reinterpret_cast<const std::byte*>(file.data.get());
    std::vector<std::byte> bytes(first, first + file.size);
    file = FileData{};

    // An undecodable file leaves no sound and no channel: the show time stays 0.
    if (!g_system || g_system->CreateSound(std::move(bytes), g_sound) != Platform::SoundResult::Ok) return true;
    g_system->PlaySound(*g_sound, true, g_channel);
    return true;
}

void Audio_Resume() {
    bool paused = false;
    g_channel.GetPaused(paused);
    if (!paused || !g_system || !g_sound) return;
    // A new playback from the start; the paused one stays behind, paused.
    g_system->PlaySound(*g_sound, false, g_channel);
    g_channel.SetVolume(static_cast<float>(g_volume));
}

void Audio_Seek(double seconds) {
    uint32_t position = 0;
    g_channel.GetPosition(position);
    if (std::isnan(seconds)) return;
    // Clamped before the conversion, which is undefined for numbers beyond 64 bits; any target outside
    // 32 bits of milliseconds lies outside the music anyway.
    const double delta = std::trunc(std::clamp(seconds * 1000.0, -1e12, 1e12));
    const int64_t target = static_cast<int64_t>(position) + static_cast<int64_t>(delta);
    if (target < 0 || target > std::numeric_limits<uint32_t>::max()) return;
    g_channel.SetPosition(static_cast<uint32_t>(target));
}

double Audio_Update() {
    if (g_system) g_system->Update();

    // An edited music file is not reloaded; it restarts a paused playback at its position, so that
    // saving the music (re-exported by its author) is heard at once.
    if (!g_musicFileName.empty() && HasFileChanged(g_musicFileName)) {
        uint32_t position = 0;
        g_channel.GetPosition(position);
        bool paused = false;
        g_channel.GetPaused(paused);
        if (paused && g_system && g_sound) {
            g_system->PlaySound(*g_sound, false, g_channel);
            g_channel.SetVolume(static_cast<float>(g_volume));
        }
        g_channel.SetPosition(position);
    }

    const Platform::Sound* current = nullptr;
    g_channel.GetCurrentSound(current);
    if (g_sound && !current) g_quit = true;

    uint32_t position = 0;
    if (g_channel.GetPosition(position) != Platform::SoundResult::Ok) position = 0;
    return static_cast<double>(static_cast<float>(position) / 1000.0f);
}

void Audio_Shutdown() {
    g_sound.reset();
    g_channel.Stop();
    g_channel = Platform::Channel();
    g_system.reset();
    // Back to the state before Audio_Init, so that a new start loads its music anew.
    g_musicFileName.clear();
    g_volume = 1.0;
}

Platform::Channel& Audio_GetChannel() {
    return g_channel;
}

void Audio_SetVolume(double volume) {
    g_volume = volume;
}

double Audio_GetVolume() {
    return g_volume;
}

void Audio_UseSilentOutput(bool silent) {
    g_silentOutput = silent;
}

double Audio_GetLength() {
    uint32_t milliseconds = 0;
    if (!g_sound || g_sound->GetLength(milliseconds) != Platform::SoundResult::Ok) return 0.0;
    return milliseconds / 1000.0;
}

const std::string& Audio_GetFileName() {
    return g_musicFileName;
}
