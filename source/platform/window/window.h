// The program's one window, its events as window messages, key state, and message boxes, over SDL2.
// Events arrive at the window procedure the caller registers, in the order the window saw them.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>

struct SDL_Window;
union SDL_Event;

namespace Platform {

/// Keys the program reacts to.
enum class Key { Escape, F1, F11, Space, Left, Right, Up, Shift, Control, Other };

/// What the window procedure is told.
enum class MessageKind { Destroy, Close, Size, SetFocus, KillFocus, KeyDown };

struct Message {
    MessageKind kind = MessageKind::Size;
    int width = 0;         ///< Size: new client width
    int height = 0;        ///< Size: new client height
    Key key = Key::Other;  ///< KeyDown
    bool repeat = false;   ///< KeyDown: the key was already down (auto-repeat)
};

using WindowProcedure = std::function<void(const Message&)>;

struct WindowDesc {
    std::string title;
    int clientWidth = 800;
    int clientHeight = 600;
    bool alwaysOnTop = false;
    bool hideCursor = false;
};

/// The main window: created visible and centred on the primary screen, not resizable by the user.
class Window {
public:
    /// Creates the window; sends one Size message for its client area before returning, as the
    /// window reports its size while it is being created. Null window on failure (see Error()).
    Window(const WindowDesc& desc, WindowProcedure procedure);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    /// True when the window exists.
    bool IsOpen() const { return m_window != nullptr; }
    /// Why creation failed.
    const std::string& Error() const { return m_error; }
    /// The SDL window, for the GPU layer that draws into it.
    SDL_Window* Handle() const { return m_window; }
    /// Delivers every pending event to the window procedure; returns without waiting.
    void PumpMessages();
    /// Current client size in pixels.
    void GetClientSize(int& width, int& height) const;
    /// Hands every event, as SDL gave it, to `hook` before the window procedure sees it (an on-screen
    /// user interface reads the mouse from them); null: to nobody.
    void SetEventHook(std::function<void(const SDL_Event&)> hook) { m_eventHook = std::move(hook); }

private:
    SDL_Window* m_window = nullptr;
    WindowProcedure m_procedure;
    std::function<void(const SDL_Event&)> m_eventHook;
    std::string m_error;
    bool m_videoStarted = false;
};

/// Is this key down now, or was it pressed since the last query of it? Clears that press, so a tap
/// between two pumps is seen exactly once.
bool IsKeyDown(Key key);
/// Replaces the keyboard's state with `keys` (held down, all others up) for tests that have no
/// window; std::nullopt restores the keyboard.
void SetKeyStateOverride(std::optional<std::set<Key>> keys);

enum class MessageBoxButtons { Ok, YesNoCancel };
enum class MessageBoxResult { Ok, Yes, No, Cancel, Failed };

/// Shows a blocking message box. Its text also goes to standard error, so that it is seen where no
/// box can be shown (then the result is Failed).
MessageBoxResult ShowMessageBox(const std::string& text, const std::string& caption,
                                MessageBoxButtons buttons);

/// Size of the primary screen (800 by 600 when it cannot be told).
void GetPrimaryScreenSize(int& width, int& height);

}  // namespace Platform
