/* desktophelper.exe: a program the Shell tests start. Test infrastructure only.
     desktophelper window TITLE       shows a top-level window TITLE with a popup window above it;
                                      ends when the top-level window is closed
     desktophelper record FILE ...    writes its current folder and command line to FILE, then ends */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, w, l);
}

static int showWindow(const char* title) {
    WNDCLASSA cls = {0};
    HWND main, popup;
    MSG msg;
    cls.lpfnWndProc = mainProc;
    cls.hInstance = GetModuleHandleA(NULL);
    cls.lpszClassName = "PalomaHelperWindow";
    if (!RegisterClassA(&cls))
        return 2;
    main = CreateWindowA("PalomaHelperWindow", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 120, NULL, NULL,
                         cls.hInstance, NULL);
    popup = CreateWindowA("STATIC", "popup", WS_POPUP | WS_VISIBLE, 20, 20, 50, 50, NULL, NULL, cls.hInstance, NULL);
    if (!main || !popup)
        return 3;
    /* The popup comes first in the thread's window order. */
    SetWindowPos(popup, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

static int record(const char* path) {
    char folder[MAX_PATH];
    FILE* out;
    if (!GetCurrentDirectoryA(MAX_PATH, folder))
        return 2;
    out = fopen(path, "w");
    if (!out)
        return 3;
    fprintf(out, "%s\n%s\n", folder, GetCommandLineA());
    fclose(out);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show) {
    (void)instance;
    (void)previous;
    (void)line;
    (void)show;
    if (__argc == 3 && strcmp(__argv[1], "window") == 0)
        return showWindow(__argv[2]);
    if (__argc >= 3 && strcmp(__argv[1], "record") == 0)
        return record(__argv[2]);
    return 1;
}
