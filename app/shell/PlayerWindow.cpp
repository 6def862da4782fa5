// The player window: the subclassed window of the hosted control.
#include "app/shell/PlayerWindow.h"

#include "app/RuntimeSettings.h"
#include "app/ScreenSaverRules.h"

namespace paloma::shell {

namespace {

const wchar_t kSelfProperty[] = L"PalomaPlayerWindow";
HCURSOR gCursor = nullptr;

} // namespace

void setPlayerCursor(HCURSOR cursor) { gCursor = cursor; }
HCURSOR playerCursor() { return gCursor; }

bool PlayerWindow::create(HWND parent, int id, const std::wstring& modulePath, HMODULE* module) {
    destroy();
    firstMouse_ = {-1, -1};
    if (!host_.create(parent, id, RECT{0, 0, 0, 0}, modulePath, module))
        return false;
    HWND w = host_.window();
    if (w) {
        SetPropW(w, kSelfProperty, this);
        controlProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PlayerWindow::subclassProc)));
        subclassed_ = w;
    }
    return true;
}

void PlayerWindow::destroy() {
    if (subclassed_ && IsWindow(subclassed_)) {
        SetWindowLongPtrW(subclassed_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(controlProc_));
        RemovePropW(subclassed_, kSelfProperty);
    }
    subclassed_ = nullptr;
    controlProc_ = nullptr;
    host_.close();
}

void PlayerWindow::move(const RECT& rect, bool repaint) {
    host_.setRect(rect);
    if (HWND w = hwnd()) {
        MoveWindow(w, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, repaint);
        if (repaint)
            InvalidateRect(w, nullptr, TRUE);
    }
}

LRESULT CALLBACK PlayerWindow::subclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<PlayerWindow*>(GetPropW(hwnd, kSelfProperty));
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->onMessage(hwnd, msg, wParam, lParam);
}

namespace {

uint16_t modifiersDown() {
    uint16_t down = 0;
    if (GetKeyState(VK_SHIFT) & 0x8000)
        down |= kHotKeyShift;
    if (GetKeyState(VK_CONTROL) & 0x8000)
        down |= kHotKeyCtrl;
    if (GetKeyState(VK_MENU) & 0x8000)
        down |= kHotKeyAlt;
    return down;
}

} // namespace

bool PlayerWindow::applyWakeRules(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (!closeTarget_)
        return false;
    result = 0;
    bool wake = false;
    WakePoint first{firstMouse_.x, firstMouse_.y};
    WakePoint at{short(LOWORD(lParam)), short(HIWORD(lParam))};
    switch (msg) {
    case WM_MOUSEMOVE:
        wake = wakesOnMouse(WakeMouse::Move, at, rules_.mask, first);
        break;
    case WM_LBUTTONDOWN:
        wake = wakesOnMouse(WakeMouse::LeftDown, at, rules_.mask, first);
        break;
    case WM_RBUTTONDOWN:
        wake = wakesOnMouse(WakeMouse::RightDown, at, rules_.mask, first);
        break;
    case WM_MBUTTONDOWN:
        wake = wakesOnMouse(WakeMouse::MiddleDown, at, rules_.mask, first);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        wake = wakesOnKey(uint32_t(wParam), rules_.mask, rules_.hotKeyCode, rules_.hotKeyModifiers, modifiersDown());
        break;
    case WM_SYSCOMMAND: {
        UINT command = UINT(wParam & 0xFFF0);
        return command == SC_SCREENSAVE || command == SC_CLOSE;
    }
    case WM_SETCURSOR:
        if (rules_.optionFlags & kOptionHideCursor) {
            SetCursor(nullptr);
            result = TRUE;
            return true;
        }
        return false;
    default:
        return false;
    }
    if (wake)
        PostMessageW(closeTarget_, WM_CLOSE, 0, 0);
    return wake;
}

LRESULT PlayerWindow::onMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC next = controlProc_;
    if (msg == WM_MOUSEMOVE && firstMouse_.x == -1 && firstMouse_.y == -1)
        firstMouse_ = {short(LOWORD(lParam)), short(HIWORD(lParam))};
    if (LRESULT result = 0; applyWakeRules(msg, wParam, lParam, result))
        return result;
    if (msg == WM_SETCURSOR && gCursor && LOWORD(lParam) == HTCLIENT) {
        SetCursor(gCursor);
        return TRUE;
    }
    bool input = (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) || (msg >= WM_KEYFIRST && msg <= WM_KEYLAST);
    if (input && filter_ && filter_(msg, wParam, lParam))
        return 0;
    if (msg == WM_NCDESTROY) {
        // The control's window goes away on its own: unhook before the last message.
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next));
        RemovePropW(hwnd, kSelfProperty);
        subclassed_ = nullptr;
    }
    return CallWindowProcW(next, hwnd, msg, wParam, lParam);
}

} // namespace paloma::shell
