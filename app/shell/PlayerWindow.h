#pragma once
// The player window: the hosted Flash control's own child window, subclassed
// so that the shell sees the control's mouse and keyboard input first. It
// owns the container of the control and records the loaded movie's natural
// size.

#include "app/shell/FlashHost.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace paloma::shell {

class PlayerWindow {
public:
    // Input seen before the control; returning true consumes the message.
    using InputFilter = std::function<bool(UINT msg, WPARAM wParam, LPARAM lParam)>;

    explicit PlayerWindow(FlashEvents& events) : host_(events) {}
    PlayerWindow(const PlayerWindow&) = delete;
    PlayerWindow& operator=(const PlayerWindow&) = delete;
    ~PlayerWindow() { destroy(); }

    bool create(HWND parent, int id, const std::wstring& modulePath, HMODULE* module);
    // Releases the control's automation interface and destroys the control.
    void destroy();

    HWND hwnd() const { return host_.window(); }
    bool exists() const { return host_.created(); }
    FlashHost& host() { return host_; }
    IDispatch* control() const { return host_.dispatch(); }

    void move(const RECT& rect, bool repaint);

    // The first mouse position seen over the control, (-1, -1) before any.
    POINT firstMousePosition() const { return firstMouse_; }
    void setInputFilter(InputFilter filter) { filter_ = std::move(filter); }

    // The screen saver's wake-up rules: input that wakes posts WM_CLOSE to
    // `closeTarget` and is swallowed; SC_SCREENSAVE and SC_CLOSE are
    // swallowed; with the disable-cursor option no cursor is shown.
    struct WakeRules {
        uint32_t mask = 0;
        uint32_t optionFlags = 0;
        uint16_t hotKeyCode = 0;
        uint16_t hotKeyModifiers = 0;
    };
    void setWakeRules(const WakeRules& rules, HWND closeTarget) {
        rules_ = rules;
        closeTarget_ = closeTarget;
    }

    void setMovieSize(int width, int height) {
        movieWidth_ = width;
        movieHeight_ = height;
    }
    int movieWidth() const { return movieWidth_; }
    int movieHeight() const { return movieHeight_; }

private:
    static LRESULT CALLBACK subclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT onMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // True when the message is consumed by the wake-up rules.
    bool applyWakeRules(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

    FlashHost host_;
    WNDPROC controlProc_ = nullptr;
    HWND subclassed_ = nullptr;
    POINT firstMouse_{-1, -1};
    InputFilter filter_;
    WakeRules rules_;
    HWND closeTarget_ = nullptr;
    int movieWidth_ = 0;
    int movieHeight_ = 0;
};

// The custom cursor shown over the control; null leaves the control's own.
void setPlayerCursor(HCURSOR cursor);
HCURSOR playerCursor();

} // namespace paloma::shell
