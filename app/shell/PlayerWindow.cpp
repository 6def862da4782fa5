// The player window: the subclassed window of the hosted control.
#include "app/shell/PlayerWindow.h"

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

LRESULT PlayerWindow::onMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC next = controlProc_;
    if (msg == WM_MOUSEMOVE && firstMouse_.x == -1 && firstMouse_.y == -1)
        firstMouse_ = {short(LOWORD(lParam)), short(HIWORD(lParam))};
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
