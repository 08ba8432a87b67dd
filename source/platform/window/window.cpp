#include "platform/window/window.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <utility>

namespace Platform {

namespace {

// Keys held down by a test instead of the keyboard.
std::optional<std::set<Key>> g_keyStateOverride;

// Keys pressed since their last query. A tap (press and release between two pumps) leaves the
// keyboard state as it found it, so only this remembers that it happened.
constexpr int kKeyCount = static_cast<int>(Key::Other) + 1;
bool g_pressedSinceQuery[kKeyCount] = {};

Key TranslateKey(SDL_Keycode code) {
    switch (code) {
        case SDLK_ESCAPE:
            return Key::Escape;
        case SDLK_F1:
            return Key::F1;
        case SDLK_F11:
            return Key::F11;
        case SDLK_SPACE:
            return Key::Space;
        case SDLK_LEFT:
            return Key::Left;
        case SDLK_RIGHT:
            return Key::Right;
        case SDLK_UP:
            return Key::Up;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return Key::Shift;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return Key::Control;
        default:
            return Key::Other;
    }
}

// The keyboard's state after the last pump.
bool IsKeyHeld(Key key) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    const Uint8* state = SDL_GetKeyboardState(nullptr);
    switch (key) {
        case Key::Escape:
            return state[SDL_SCANCODE_ESCAPE];
        case Key::F1:
            return state[SDL_SCANCODE_F1];
        case Key::F11:
            return state[SDL_SCANCODE_F11];
        case Key::Space:
            return state[SDL_SCANCODE_SPACE];
        case Key::Left:
            return state[SDL_SCANCODE_LEFT];
        case Key::Right:
            return state[SDL_SCANCODE_RIGHT];
        case Key::Up:
            return state[SDL_SCANCODE_UP];
        case Key::Shift:
            return state[SDL_SCANCODE_LSHIFT] || state[SDL_SCANCODE_RSHIFT];
        case Key::Control:
            return state[SDL_SCANCODE_LCTRL] || state[SDL_SCANCODE_RCTRL];
        case Key::Other:
            return false;
    }
    return false;
}

}  // namespace

Window::Window(const WindowDesc& desc, WindowProcedure procedure) : m_procedure(std::move(procedure)) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        m_error = SDL_GetError();
        return;
    }
    m_videoStarted = true;

    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);

    int screenWidth = 0;
    int screenHeight = 0;
    GetPrimaryScreenSize(screenWidth, screenHeight);
    const int x = (screenWidth - desc.clientWidth) / 2;
    const int y = (screenHeight - desc.clientHeight) / 2;

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
    if (desc.alwaysOnTop) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    m_window = SDL_CreateWindow(desc.title.c_str(), x, y, desc.clientWidth, desc.clientHeight, flags);
    if (!m_window) {
        m_error = SDL_GetError();
        return;
    }
    if (desc.hideCursor) SDL_ShowCursor(SDL_DISABLE);
    SDL_RaiseWindow(m_window);

    // The window announces its size while it is being created, before anything can draw into it.
    if (m_procedure) {
        Message size;
        size.kind = MessageKind::Size;
        size.width = desc.clientWidth;
        size.height = desc.clientHeight;
        m_procedure(size);
    }
}

Window::~Window() {
    // Presses still unread belong to this window's keyboard focus, not to the next window's.
    for (bool& pressed : g_pressedSinceQuery) pressed = false;
    if (m_window) SDL_DestroyWindow(m_window);
    if (m_videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void Window::PumpMessages() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (m_eventHook) m_eventHook(event);
        if (event.type == SDL_KEYDOWN)
            g_pressedSinceQuery[static_cast<int>(TranslateKey(event.key.keysym.sym))] = true;
        if (!m_procedure) continue;
        Message message;
        switch (event.type) {
            case SDL_QUIT:
                message.kind = MessageKind::Close;
                m_procedure(message);
                break;
            case SDL_WINDOWEVENT:
                switch (event.window.event) {
                    case SDL_WINDOWEVENT_CLOSE:
                        message.kind = MessageKind::Close;
                        m_procedure(message);
                        break;
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                        message.kind = MessageKind::Size;
                        message.width = event.window.data1;
                        message.height = event.window.data2;
                        m_procedure(message);
                        break;
                    case SDL_WINDOWEVENT_FOCUS_GAINED:
                        message.kind = MessageKind::SetFocus;
                        m_procedure(message);
                        break;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        message.kind = MessageKind::KillFocus;
                        m_procedure(message);
                        break;
                    default:
                        break;
                }
                break;
            case SDL_KEYDOWN:
                message.kind = MessageKind::KeyDown;
                message.key = TranslateKey(event.key.keysym.sym);
                message.repeat = event.key.repeat != 0;
                m_procedure(message);
                break;
            default:
                break;
        }
    }
}

void Window::GetClientSize(int& width, int& height) const {
    width = 0;
    height = 0;
    if (m_window) SDL_GL_GetDrawableSize(m_window, &width, &height);
}

void SetKeyStateOverride(std::optional<std::set<Key>> keys) {
    g_keyStateOverride = std::move(keys);
}

bool IsKeyDown(Key key) {
    if (g_keyStateOverride) return g_keyStateOverride->count(key) != 0;
    const bool tapped = std::exchange(g_pressedSinceQuery[static_cast<int>(key)], false);
    return tapped || IsKeyHeld(key);
}

MessageBoxResult ShowMessageBox(const std::string& text, const std::string& caption,
                                MessageBoxButtons buttons) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());

    SDL_MessageBoxButtonData ok[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "OK"}};
    SDL_MessageBoxButtonData question[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        {0, 2, "No"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 3, "Cancel"},
    };
    SDL_MessageBoxData data{};
    data.flags = buttons == MessageBoxButtons::Ok ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    data.title = caption.c_str();
    data.message = text.c_str();
    if (buttons == MessageBoxButtons::Ok) {
        data.numbuttons = 1;
        data.buttons = ok;
    } else {
        data.numbuttons = 3;
        data.buttons = question;
    }
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) return MessageBoxResult::Failed;
    switch (pressed) {
        case 0:
            return MessageBoxResult::Ok;
        case 1:
            return MessageBoxResult::Yes;
        case 2:
            return MessageBoxResult::No;
        case 3:
            return MessageBoxResult::Cancel;
        default:  // closed without a button: the escape default
            return buttons == MessageBoxButtons::Ok ? MessageBoxResult::Ok : MessageBoxResult::Cancel;
    }
}

void GetPrimaryScreenSize(int& width, int& height) {
    width = 800;
    height = 600;
    SDL_DisplayMode mode;
    if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        width = mode.w;
        height = mode.h;
    }
}

}  // namespace Platform
