// Sections: set-up and teardown; the frame; the panels (time, frame times, transport, timeline,
// problems); presenting onto the window.
#include "overlay/authorOverlay.h"

#include <SDL.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "effects/effect.h"
#include "effects/effectsManager.h"
#include "graphics/sharedGraphics.h"
#include "platform/window/window.h"
#include "system/audio.h"
#include "system/log.h"

namespace Overlay {

namespace {

constexpr float kPanelWidth = 420.0f;
constexpr float kLabelWidth = 230.0f;
constexpr float kRowHeight = 16.0f;
constexpr float kFramePlotMilliseconds = 50.0f;
const ImU32 kActiveBar = IM_COL32(90, 200, 120, 255);
const ImU32 kIdleBar = IM_COL32(90, 110, 140, 200);
const ImU32 kNowLine = IM_COL32(255, 210, 60, 255);
const ImVec4 kProblemColour{1.0f, 0.5f, 0.2f, 1.0f};

}  // namespace

// --- Set-up and teardown ---------------------------------------------------------------------------

AuthorOverlay::AuthorOverlay(Platform::Window& window, Effects::EffectsManager& manager, bool transport)
    : m_window(window), m_manager(manager), m_transport(transport), m_problems("demo.xml") {
    IMGUI_CHECKVERSION();
    m_context = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    // Nothing of the overlay is written to disk: no layout file, no log of its own.
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    // The cursor stays the program's business: hidden during the show, shown while the overlay is.
    io.ConfigFlags |= ImGuiConfigFlags_NoMouseCursorChange;
    ImGui::StyleColorsDark();
    ImGui::GetStyle().Alpha = 0.92f;
    ImGui_ImplSDL2_InitForOpenGL(window.Handle(), nullptr);
    ImGui_ImplOpenGL3_Init("#version 410 core");
}

AuthorOverlay::~AuthorOverlay() {
    if (g_graphics.swapChain) g_graphics.swapChain->SetWindowOverlay(nullptr);
    m_window.SetEventHook(nullptr);
    if (m_shown) ShowCursor(false);
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext(m_context);
}

void AuthorOverlay::ShowCursor(bool shown) {
    SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

// --- The frame --------------------------------------------------------------------------------------

void AuthorOverlay::Frame(bool shown) {
    m_prepared = false;
    if (shown != m_shown) {
        m_shown = shown;
        ShowCursor(shown);
        // Hidden, the overlay hears no event and the present draws nothing more.
        if (shown) {
            m_window.SetEventHook([](const SDL_Event& event) { ImGui_ImplSDL2_ProcessEvent(&event); });
            if (g_graphics.swapChain)
                g_graphics.swapChain->SetWindowOverlay(
                    [this](int width, int height) { Present(width, height); });
        } else {
            m_window.SetEventHook(nullptr);
            if (g_graphics.swapChain) g_graphics.swapChain->SetWindowOverlay(nullptr);
        }
        // Time spent hidden is no frame of the plot.
        m_lastFrame = std::chrono::steady_clock::now();
    }
    if (!shown) return;

    const auto now = std::chrono::steady_clock::now();
    m_frames.Add(std::chrono::duration<double>(now - m_lastFrame).count());
    m_lastFrame = now;
    ReadShow();

    ImGui::SetCurrentContext(m_context);
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    Build();
    ImGui::Render();
    m_prepared = true;
}

void AuthorOverlay::ReadShow() {
    m_clock = ClockReading::At(m_manager.GetMusicSeconds(), m_manager.GetShowTime(), m_manager.IsPaused());
    m_timeline.Build(m_manager.GetEffects());
    m_timeline.MarkActive(m_manager.GetEffects(), m_clock.showTime);
    m_problems.Update();

    // The timeline spans the music; a show without music spans its effects' starts and a little more.
    const double beatsPerSecond = m_manager.GetBpm() / 60.0;
    const double musicLength = Audio_GetLength();
    m_spanBegin = std::min(0.0, m_manager.GetTimeOffset());
    if (musicLength > 0.0 && beatsPerSecond > 0.0) {
        m_spanEnd = m_manager.GetTimeOffset() + musicLength * beatsPerSecond;
    } else {
        double last = std::max(m_clock.showTime, 0.0);
        for (const TimelineRow& row : m_timeline.Rows()) {
            if (row.everActive && std::isfinite(row.begin)) last = std::max(last, row.begin);
        }
        m_spanEnd = last + 8.0;
    }
    if (!(m_spanEnd > m_spanBegin) || !std::isfinite(m_spanEnd - m_spanBegin)) m_spanEnd = m_spanBegin + 1.0;
}

void AuthorOverlay::Build() {
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    const ImGuiWindowFlags fixed = ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize |
                                   ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings;

    ImGui::SetNextWindowPos(ImVec2(8, 8));
    ImGui::SetNextWindowSizeConstraints(ImVec2(kPanelWidth, 0), ImVec2(kPanelWidth, display.y * 0.6f));
    ImGui::SetNextWindowBgAlpha(0.8f);
    if (ImGui::Begin("Show", nullptr, fixed | ImGuiWindowFlags_AlwaysAutoResize)) {
        DrawTime();
        DrawFrameTimes();
        if (m_transport) DrawTransport();
        DrawProblems();
    }
    ImGui::End();

    // The timeline along the bottom of the window, as wide as the window.
    const float rows = static_cast<float>(m_timeline.Rows().size());
    const float height = std::min(display.y * 0.4f, 48.0f + kRowHeight * std::max(rows, 1.0f));
    ImGui::SetNextWindowPos(ImVec2(0, display.y - height));
    ImGui::SetNextWindowSize(ImVec2(display.x, height));
    ImGui::SetNextWindowBgAlpha(0.8f);
    if (ImGui::Begin("Timeline", nullptr, fixed)) DrawTimeline();
    ImGui::End();
}

// --- The panels -------------------------------------------------------------------------------------

void AuthorOverlay::DrawTime() {
    ImGui::Text("Music %8.3f s   Show %9.3f beats", m_clock.musicSeconds, m_clock.showTime);
    ImGui::Text("Bar %lld  beat %d", m_clock.bar, m_clock.beat);
    if (m_clock.paused) {
        ImGui::SameLine();
        ImGui::TextColored(ImVec4(1.0f, 0.8f, 0.3f, 1.0f), "   PAUSED");
    }
}

void AuthorOverlay::DrawFrameTimes() {
    float milliseconds[FrameTimes::kCapacity];
    const int count = static_cast<int>(m_frames.CopyMilliseconds(milliseconds));
    char caption[96];
    std::snprintf(caption, sizeof caption, "last second: mean %.1f ms, worst %.1f ms",
                  m_frames.MeanOfLastSecond() * 1000.0, m_frames.WorstOfLastSecond() * 1000.0);
    ImGui::TextUnformatted(caption);
    const ImVec2 size(kPanelWidth - 2.0f * ImGui::GetStyle().WindowPadding.x, 56.0f);
    const ImVec2 corner = ImGui::GetCursorScreenPos();
    ImGui::PlotLines("##frames", milliseconds, count, 0, nullptr, 0.0f, kFramePlotMilliseconds, size);
    // The 60 Hz line: frames above it missed a refresh.
    const float y = corner.y + size.y * (1.0f - (1000.0f / 60.0f) / kFramePlotMilliseconds);
    ImGui::GetWindowDrawList()->AddLine(ImVec2(corner.x, y), ImVec2(corner.x + size.x, y), kNowLine);
}

void AuthorOverlay::DrawTransport() {
    // The same calls as the transport keys, with the keys' plain step of one beat.
    const double step = m_manager.GetBpm() / 60.0;
    if (ImGui::Button(m_clock.paused ? "Play" : "Pause")) m_manager.TogglePause();
    ImGui::SameLine();
    if (ImGui::Button("Step back")) m_manager.Seek(-step);
    ImGui::SameLine();
    if (ImGui::Button("Step on")) m_manager.Seek(step);
    ImGui::SameLine();
    if (ImGui::Button("Restart")) m_manager.Restart();
}

void AuthorOverlay::DrawTimeline() {
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const ImVec2 room = ImGui::GetContentRegionAvail();
    const float barsLeft = origin.x + kLabelWidth;
    const float barsWidth = std::max(room.x - kLabelWidth, 1.0f);
    const auto x = [&](double time) {
        const double f = (time - m_spanBegin) / (m_spanEnd - m_spanBegin);
        return barsLeft + static_cast<float>(std::clamp(f, 0.0, 1.0)) * barsWidth;
    };

    ImDrawList* draw = ImGui::GetWindowDrawList();
    const std::vector<TimelineRow>& rows = m_timeline.Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const TimelineRow& row = rows[i];
        const float top = origin.y + kRowHeight * static_cast<float>(i);
        if (top > origin.y + room.y) break;
        char label[160];
        std::snprintf(label, sizeof label, "%*s%s%s%s", row.depth * 2, "", row.type.c_str(),
                      row.resource.empty() ? "" : "  ", row.resource.c_str());
        draw->PushClipRect(ImVec2(origin.x, top), ImVec2(barsLeft - 4.0f, top + kRowHeight), true);
        draw->AddText(ImVec2(origin.x, top), row.active ? kActiveBar : IM_COL32(200, 200, 200, 255), label);
        draw->PopClipRect();
        if (!row.everActive || row.end < m_spanBegin || row.begin > m_spanEnd) continue;
        draw->AddRectFilled(ImVec2(x(row.begin), top + 2),
                            ImVec2(std::max(x(row.end), x(row.begin) + 2), top + 13),
                            row.active ? kActiveBar : kIdleBar, 2.0f);
    }
    const float nowX = x(m_clock.showTime);
    draw->AddLine(ImVec2(nowX, origin.y), ImVec2(nowX, origin.y + room.y), kNowLine, 2.0f);

    // A click on the bars seeks there, in transport mode.
    ImGui::SetCursorScreenPos(ImVec2(barsLeft, origin.y));
    ImGui::InvisibleButton("##seek", ImVec2(barsWidth, std::max(room.y, 1.0f)));
    if (m_transport && ImGui::IsItemClicked(ImGuiMouseButton_Left)) {
        const double f = (ImGui::GetIO().MousePos.x - barsLeft) / barsWidth;
        const double showTime = m_spanBegin + std::clamp(f, 0.0, 1.0) * (m_spanEnd - m_spanBegin);
        VLOG("Overlay::AuthorOverlay", "Seeking to show time %.3f from the timeline", showTime);
        m_manager.SeekToShowTime(showTime);
    }
}

void AuthorOverlay::DrawProblems() {
    const std::vector<Problem>& problems = m_problems.Problems();
    ImGui::Separator();
    if (problems.empty()) {
        ImGui::TextUnformatted("No problems");
        return;
    }
    ImGui::TextColored(kProblemColour, "%zu problem%s, newest first", problems.size(),
                       problems.size() == 1 ? "" : "s");
    ImGui::PushStyleColor(ImGuiCol_Text, kProblemColour);
    ImGui::PushTextWrapPos(0.0f);
    int shown = 0;
    for (const Problem& problem : problems) {
        if (++shown > 12) break;
        ImGui::TextUnformatted(problem.text.c_str());
    }
    ImGui::PopTextWrapPos();
    ImGui::PopStyleColor();
}

// --- Presenting -------------------------------------------------------------------------------------

void AuthorOverlay::Present(int, int) {
    if (!m_prepared) return;
    m_prepared = false;
    ImGui::SetCurrentContext(m_context);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
}

}  // namespace Overlay
