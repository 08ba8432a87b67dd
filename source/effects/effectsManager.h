// The effects manager runs the show: it loads the script and the music, owns the top-level
// effects, turns the music position into show time each frame, lets the effects draw into its
// render textures of the render size and composes the result onto the back buffer with "final.fx".
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "graphics/dynamicTexture.h"
#include "graphics/shader.h"
#include "system/fileWatcher.h"

namespace Effects {

class EffectsManager {
public:
    /// Compiles "final.fx", starts the audio, loads the script and starts the music.
    EffectsManager(bool transport, const std::string& scriptName);
    /// Stops and releases the music, destroys the effects.
    ~EffectsManager();
    EffectsManager(const EffectsManager&) = delete;
    EffectsManager& operator=(const EffectsManager&) = delete;

    /// (Re)reads the script and the music and builds the effects; true when both are ready.
    bool Load();
    /// One frame: hot reload, transport keys, show clock, effects, final pass to the back buffer.
    /// A capture passes the music time of its frame; playback follows the music.
    void RunFrame(std::optional<double> musicSeconds = std::nullopt);

    /// The show time of the last frame, in beats of the script's tempo.
    double GetShowTime() const { return m_showTime; }
    /// The top-level effects.
    const std::vector<std::unique_ptr<Effect>>& GetEffects() const { return m_effects; }
    /// The textures the effects draw into.
    RenderTexturePair& GetRenderTargets() { return *m_renderTargets; }
    /// The music time of the last frame, in seconds.
    double GetMusicSeconds() const { return m_musicSeconds; }
    double GetBpm() const { return m_bpm; }
    double GetTimeOffset() const { return m_timeOffset; }
    double GetVolume() const { return m_volume; }

    /// Transport: pauses the music, or resumes it when paused.
    void TogglePause();
    /// Transport: moves the music by `seconds` (negative: back).
    void Seek(double seconds);
    /// Transport: puts the music at its beginning.
    void Restart();
    /// Transport: puts the music at the moment whose show time is `showTime` (within the music).
    void SeekToShowTime(double showTime);
    /// Whether the music is paused.
    bool IsPaused() const;

private:
    void HandleTransportKeys();
    void ComposeFinalPicture();

    FileWatcher m_scriptWatcher;
    std::vector<std::unique_ptr<Effect>> m_effects;
    double m_timeOffset = 0.0;
    double m_bpm = 60.0;
    double m_volume = 1.0;
    bool m_transport = false;
    std::unique_ptr<Shader> m_finalShader;
    std::unique_ptr<RenderTexturePair> m_renderTargets;
    bool m_keyLatch = false;
    double m_showTime = 0.0;
    double m_musicSeconds = 0.0;
};

}  // namespace Effects
