// The demo's stand-in for the display settings of Windows:
//
//   paloma_demo_driver sheet PACKAGE OUTDIR
//       starts "PACKAGE /c", saves both pages of its settings sheet
//       (settings-preferences.bmp, settings-about.bmp) and cancels it;
//   paloma_demo_driver preview PACKAGE OUTDIR
//       creates a window of its own, starts "PACKAGE /p <window>", saves what
//       the window shows (preview.bmp) and closes it, which ends the preview.
//
// Prints what happened; exits 1 when a window did not appear or the package
// did not end.
#include "tests/support/Screenshot.h"

#include <commctrl.h>
#include <shellapi.h>
#include <prsht.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK findSheet(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    wchar_t text[64] = {};
    GetWindowTextW(h, text, 64);
    if (owner == s->process && IsWindowVisible(h) && std::wstring(text) == L"Configurations") {
        s->found = h;
        return FALSE;
    }
    return TRUE;
}

// Pumps this thread's messages for `ms` milliseconds.
void pump(DWORD ms) {
    DWORD end = GetTickCount() + ms;
    while (int(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(20);
    }
}

bool start(const std::wstring& commandLine, PROCESS_INFORMATION& process) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring cmd = commandLine;
    return CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &process) != 0;
}

// Waits for the package to end; prints and answers whether it did.
bool ended(PROCESS_INFORMATION& process) {
    bool done = WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0;
    DWORD code = 0;
    if (done) {
        GetExitCodeProcess(process.hProcess, &code);
        std::printf("the package ended with exit code %lu\n", static_cast<unsigned long>(code));
    } else {
        TerminateProcess(process.hProcess, 99);
        std::printf("the package did not end\n");
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return done;
}

int sheet(const std::wstring& package, const std::wstring& out) {
    PROCESS_INFORMATION process{};
    if (!start(L"\"" + package + L"\" /c", process))
        return 1;
    Search search{process.dwProcessId, nullptr};
    for (int i = 0; i < 300 && !search.found; ++i) {
        Sleep(50);
        EnumWindows(findSheet, reinterpret_cast<LPARAM>(&search));
    }
    if (!search.found) {
        std::printf("no settings sheet appeared\n");
        ended(process);
        return 1;
    }
    Sleep(500);
    testsupport::saveWindowScreenshot(search.found, out + L"\\settings-preferences.bmp");
    SendMessageW(search.found, PSM_SETCURSEL, 1, 0);
    Sleep(1500); // the page's picture or movie
    testsupport::saveWindowScreenshot(search.found, out + L"\\settings-about.bmp");
    std::printf("settings sheet: both pages saved; cancelling\n");
    PostMessageW(search.found, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    return ended(process) ? 0 : 1;
}

int preview(const std::wstring& package, const std::wstring& out) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = L"PalomaDemoPreview";
    RegisterClassW(&wc);
    HWND parent = CreateWindowW(L"PalomaDemoPreview", L"Preview", WS_POPUP | WS_VISIBLE, 100, 100, 304, 228, nullptr,
                                nullptr, wc.hInstance, nullptr);
    if (!parent)
        return 1;
    PROCESS_INFORMATION process{};
    if (!start(L"\"" + package + L"\" /p " + std::to_wstring(reinterpret_cast<uintptr_t>(parent)), process))
        return 1;
    HWND child = nullptr;
    for (int i = 0; i < 300 && !child; ++i) {
        pump(50);
        child = GetWindow(parent, GW_CHILD);
    }
    if (!child) {
        std::printf("no preview window appeared in the parent\n");
        DestroyWindow(parent);
        ended(process);
        return 1;
    }
    pump(2000); // the movie starts
    RECT rc{};
    GetClientRect(child, &rc);
    std::printf("preview: a %s child window of %ldx%ld pixels in the parent\n", IsWindowVisible(child) ? "visible" : "hidden",
                long(rc.right), long(rc.bottom));
    // Wine 8 shows nothing a child window of another process draws: under
    // Wine this screenshot shows the parent's own background only.
    testsupport::saveWindowScreenshot(parent, out + L"\\preview.bmp");
    std::printf("preview: saved; closing its parent window\n");
    DestroyWindow(parent);
    return ended(process) ? 0 : 1;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4) {
        std::printf("usage: paloma_demo_driver sheet|preview PACKAGE OUTDIR\n");
        return 2;
    }
    std::wstring what = argv[1];
    if (what == L"sheet")
        return sheet(argv[2], argv[3]);
    if (what == L"preview")
        return preview(argv[2], argv[3]);
    return 2;
}
