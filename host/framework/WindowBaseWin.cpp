// The window base: message routing to virtual handlers.
#include "host/framework/WindowBase.h"

namespace paloma::host {

WindowBase::~WindowBase() {
    if (hwnd_) {
        HWND w = hwnd_;
        SetWindowLongPtrW(w, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        DestroyWindow(w);
    }
}

bool WindowBase::registerClass(const wchar_t* name, UINT classStyle, HCURSOR cursor, HBRUSH background) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW existing;
    if (GetClassInfoW(instance, name, &existing))
        return true;
    WNDCLASSW wc = {};
    wc.style = classStyle;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassW(&wc) != 0;
}

bool WindowBase::createWindow(const CreateArgs& args) {
    HWND w = CreateWindowExW(args.exStyle, args.className, args.title, args.style, args.rect.left, args.rect.top,
                             args.rect.right - args.rect.left, args.rect.bottom - args.rect.top, args.parent,
                             args.menuOrId, GetModuleHandleW(nullptr), this);
    return w != nullptr;
}

LRESULT WindowBase::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return defaultProc(msg, wParam, lParam);
}

LRESULT CALLBACK WindowBase::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<WindowBase*>(cs->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self)
            self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<WindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    LRESULT result = self->onMessage(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->onFinalMessage();
    }
    return result;
}

} // namespace paloma::host
