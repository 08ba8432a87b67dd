#include "effects/effectsManager.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <pugixml.hpp>
#include <thread>
#include <vector>

#include "graphics/picturePrefetch.h"
#include "graphics/renderSize.h"
#include "graphics/sharedGraphics.h"
#include "platform/window/window.h"
#include "system/audio.h"
#include "system/dataFile.h"
#include "system/log.h"

namespace Effects {

namespace {

constexpr char kLoad[] = "Effects::EffectsManager::Load";

double NumberAttribute(const pugi::xml_node& node, const char* name, double fallback) {
    const pugi::xml_attribute attribute = node.attribute(name);
    return attribute ? std::strtod(attribute.value(), nullptr) : fallback;
}

}  // namespace

EffectsManager::EffectsManager(bool transport, const std::string& scriptName)
    : m_scriptWatcher(scriptName), m_transport(transport) {
    m_finalShader = std::make_unique<Shader>("final.fx");
    m_renderTargets =
        std::make_unique<RenderTexturePair>(float(g_graphics.renderWidth), float(g_graphics.renderHeight));
    m_finalShader->LoadVS("VS");
    m_finalShader->LoadPS("PS");
    Audio_Init();
    Load();
}

EffectsManager::~EffectsManager() {
    Audio_Shutdown();
    m_effects.clear();
    m_renderTargets.reset();
    m_finalShader.reset();
}

bool EffectsManager::Load() {
    const std::string name = m_scriptWatcher.GetFileName();
    FileData script;
    const DataFileRead read = ReadDataFile(name, script, kLoad);
    if (read == DataFileRead::Missing) {
        VLOG(kLoad, "Failed to find effects manager script '%s'", name.c_str());
        return false;
    }
    if (read == DataFileRead::Refused) return false;

    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(script.data.get(), static_cast<size_t>(script.size));
    if (!parsed) {
        VLOG(kLoad, "XML [%s] parsed with errors", name.c_str());
        VLOG(kLoad, "Error description: %s", parsed.status > 16 ? "Unknown error" : parsed.description());
        VLOG(kLoad, "Error offset: %d", static_cast<int>(parsed.offset));
        return false;
    }
    VLOG(kLoad, "XML [%s] parsed without errors", name.c_str());

    const pugi::xml_node demo = document.child("demo");
    // The pictures the effects will ask for are decoded and filtered meanwhile on other cores, unless
    // the start-up set about them already.
    std::optional<PicturePrefetch> prefetch;
    std::optional<PicturePrefetch::Scope> prefetching;
    if (!PicturePrefetch::Current()) {
        prefetch.emplace(PicturePrefetch::NamedPictures(demo));
        prefetching.emplace(*prefetch);
    }

    const std::string audioFilename = demo.attribute("audioFilename").value();
    m_timeOffset = NumberAttribute(demo, "timeOffset", 0.0);
    m_bpm = NumberAttribute(demo, "bpm", 60.0);
    m_volume = NumberAttribute(demo, "volume", 1.0);

    bool paused = false;
    Audio_GetChannel().GetPaused(paused);

    if (!Audio_Load(audioFilename)) {
        VLOG(kLoad, "Failed to load audio file '%s'", audioFilename.c_str());
        return false;
    }
    Audio_SetVolume(m_volume);
    Audio_GetChannel().SetVolume(static_cast<float>(m_volume));

    Effect::LoadEffects(demo, m_effects);

    if (!paused) Audio_Resume();
    return true;
}

void EffectsManager::RunFrame(std::optional<double> musicSeconds) {
    if (m_scriptWatcher.GetHasChanged()) {
        m_effects.clear();
        Load();
    }

    if (m_transport && g_graphics.hasFocus) HandleTransportKeys();

    const Gpu::Viewport viewport = RenderViewport();
    g_graphics.context->RSSetViewports(1, &viewport);

    const double heard = Audio_Update();
    const double seconds = musicSeconds ? *musicSeconds : heard;
    m_musicSeconds = seconds;
    m_showTime = seconds * (m_bpm / 60.0) + m_timeOffset;

    for (const auto& effect : m_effects) effect->Update(m_showTime, m_renderTargets.get());

    ComposeFinalPicture();

    bool paused = false;
    Platform::Channel& channel = Audio_GetChannel();
    if (!musicSeconds && channel.GetPaused(paused) == Platform::SoundResult::Ok && paused)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

void EffectsManager::HandleTransportKeys() {
    using Platform::IsKeyDown;
    using Platform::Key;
    // A key counts as down while held and also once after a tap between two frames; every key is
    // asked each frame, so that a tap is seen in the frame after it and never later.
    const bool shift = IsKeyDown(Key::Shift);
    const bool control = IsKeyDown(Key::Control);
    double step = m_bpm / 60.0;
    if (shift)
        step *= 4.0;
    else if (control)
        step *= 0.25;

    const bool space = IsKeyDown(Key::Space);
    const bool left = IsKeyDown(Key::Left);
    const bool right = IsKeyDown(Key::Right);
    const bool up = IsKeyDown(Key::Up);
    if (!space && !left && !right && !up) {
        m_keyLatch = false;
        return;
    }
    if (m_keyLatch) return;
    m_keyLatch = true;

    if (space)
        TogglePause();
    else if (left)
        Seek(-step);
    else if (right)
        Seek(step);
    else
        Restart();
}

void EffectsManager::TogglePause() {
    Platform::Channel& channel = Audio_GetChannel();
    bool paused = false;
    channel.GetPaused(paused);
    channel.SetPaused(!paused);
}

void EffectsManager::Seek(double seconds) {
    Audio_Seek(seconds);
}

void EffectsManager::Restart() {
    Audio_GetChannel().SetPosition(0);
}

void EffectsManager::SeekToShowTime(double showTime) {
    if (!(m_bpm > 0.0)) return;
    const double seconds = (showTime - m_timeOffset) * 60.0 / m_bpm;
    const double length = Audio_GetLength();
    if (!std::isfinite(seconds) || length <= 0.0) return;
    // The very end of the music would end the show; a seek stays just inside it.
    const double clamped = std::max(0.0, std::min(seconds, length - 0.001));
    Audio_GetChannel().SetPosition(static_cast<uint32_t>(std::lround(clamped * 1000.0)));
}

bool EffectsManager::IsPaused() const {
    bool paused = false;
    return Audio_GetChannel().GetPaused(paused) == Platform::SoundResult::Ok && paused;
}

void EffectsManager::ComposeFinalPicture() {
    SharedGraphics& g = g_graphics;
    if (!m_finalShader->Set("PS")) {
        const float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
        if (g.backBufferView) g.context->ClearRenderTargetView(g.backBufferView, red);
        return;
    }
    BeginFinalPass();
    const Gpu::ShaderResourceViewPtr& picture = m_renderTargets->textures[m_renderTargets->current]->view;
    g.context->PSSetShaderResources(0, picture);
    g.context->VSSetShaderResources(0, picture);
    BindGenericVertices();
    g.context->Draw(4, 0);
    EndFinalPass();
}

}  // namespace Effects
