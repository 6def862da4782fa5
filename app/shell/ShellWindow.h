#pragma once
// The base of the shell's own windows: one static window procedure that hands
// every message to the object's virtual onMessage. A window object created
// with `owned` set deletes itself when its window is gone.

#include <windows.h>

namespace paloma::shell {

class ShellWindow {
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

    ShellWindow() = default;
    ShellWindow(const ShellWindow&) = delete;
    ShellWindow& operator=(const ShellWindow&) = delete;
    virtual ~ShellWindow();

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

} // namespace paloma::shell
