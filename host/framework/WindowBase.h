#pragma once
// The base of the program's own windows (the shell's main and player
// windows, and the windows host classes make): one static window procedure
// that hands every message to the object's virtual onMessage. Windows only.

#include <windows.h>

namespace paloma::host {

class WindowBase {
public:
    struct CreateArgs {
        const wchar_t* className = nullptr;
        const wchar_t* title = L"";
        DWORD style = 0;
        DWORD exStyle = 0;
        RECT rect{};
        HWND parent = nullptr;
        HMENU menuOrId = nullptr;
    };

    WindowBase() = default;
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;
    virtual ~WindowBase();

    HWND hwnd() const { return hwnd_; }

    // Registers a window class that routes to this base, once per name.
    static bool registerClass(const wchar_t* name, UINT classStyle, HCURSOR cursor = nullptr,
                              HBRUSH background = nullptr);

protected:
    // Creates the window; a false result leaves no window behind.
    bool createWindow(const CreateArgs& args);

    virtual LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // Called after the last message (WM_NCDESTROY), with hwnd() already null.
    virtual void onFinalMessage() {}

    LRESULT defaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
        return DefWindowProcW(hwnd_, msg, wParam, lParam);
    }

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

} // namespace paloma::host
