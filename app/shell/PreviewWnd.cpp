// The preview window.
#include "app/shell/PreviewWnd.h"

#include "app/ScreenSaverRules.h"
#include "app/shell/MainWnd.h"
#include "app/shell/PackageFiles.h"
#include "app/shell/ShellContext.h"
#include "host/framework/WinHandles.h"

#include <memory>

namespace paloma::shell {

namespace {

// The object whose window is being created: deleted here when no window
// ever took it over.
CPreviewWnd* gCreating = nullptr;

bool endsWithNoCase(const std::wstring& text, const wchar_t* suffix) {
    size_t n = wcslen(suffix);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, suffix) == 0;
}

} // namespace

CPreviewWnd* CPreviewWnd::create(ShellServices& services, HWND parent, const RuntimeSettings& settings,
                                 const std::u16string& moviePath) {
    if (!parent || !IsWindow(parent) || !registerClass(kClassName, CS_HREDRAW | CS_VREDRAW))
        return nullptr;
    RECT client{};
    GetClientRect(parent, &client);
    auto* self = new CPreviewWnd(services, settings, moviePath);
    CreateArgs args;
    args.className = kClassName;
    args.style = WS_CHILD | WS_VISIBLE;
    args.rect = client;
    args.parent = parent;
    // From here the window owns the object, also when the creation fails
    // after WM_NCCREATE; a window that never existed leaves it to us.
    gCreating = self;
    bool created = self->createWindow(args);
    if (!created && gCreating == self)
        delete self;
    gCreating = nullptr;
    return created ? self : nullptr;
}

void CPreviewWnd::onFinalMessage() {
    if (gCreating == this)
        gCreating = nullptr;
    std::unique_ptr<CPreviewWnd> self(this);
}

void CPreviewWnd::onCreate() {
    uint32_t mode = settings_.preview.selector;
    if (mode == kPreviewIcon)
        return;
    file_ = resolvePackagePath(mode == kPreviewMovie ? moviePath_ : textOr(settings_.preview.path));
    if (!endsWithNoCase(file_, L".swf"))
        return;
    std::wstring module = services_.privatePlayerPath();
    if (module.empty())
        module = registeredPlayerPath();
    HMODULE loaded = nullptr;
    if (!player_.create(hwnd(), kPlayerId, module, &loaded))
        return;
    if (loaded)
        services_.keepPlayerModule(loaded);
    RECT client{};
    GetClientRect(hwnd(), &client);
    player_.move(client, true);
    player_.host().put(L"Movie", file_);
}

void CPreviewWnd::paint(HDC dc) {
    RECT clip{};
    GetClipBox(dc, &clip);
    uint32_t mode = settings_.preview.selector;
    if (mode == kPreviewIcon) {
        HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128));
        if (!icon)
            icon = LoadIconW(nullptr, IDI_APPLICATION);
        int w = GetSystemMetrics(SM_CXICON), h = GetSystemMetrics(SM_CYICON);
        DrawIcon(dc, clip.left + (clip.right - clip.left - w) / 2, clip.top + (clip.bottom - clip.top - h) / 2, icon);
        return;
    }
    // The bitmap extracted from the package when the preview was created.
    if (mode < kPreviewFile || !endsWithNoCase(file_, L".bmp"))
        return;
    UniqueBitmap bitmap(static_cast<HBITMAP>(LoadImageW(nullptr, file_.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
    if (!bitmap)
        return;
    BITMAP info{};
    GetObjectW(bitmap.get(), sizeof info, &info);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap.get());
    PixelRect to = previewBitmapRect({int(clip.left), int(clip.top), int(clip.right), int(clip.bottom)},
                                     int(info.bmWidth), int(info.bmHeight));
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, memory, 0, 0, info.bmWidth,
               info.bmHeight, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

LRESULT CPreviewWnd::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        onCreate();
        return 0;
    case WM_SIZE:
        if (player_.exists())
            player_.move(RECT{0, 0, LOWORD(lParam), HIWORD(lParam)}, true);
        return 0;
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(hwnd(), &rc);
        FillRect(HDC(wParam), &rc, HBRUSH(GetStockObject(BLACK_BRUSH)));
        return TRUE;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd(), &ps);
        paint(dc);
        EndPaint(hwnd(), &ps);
        return 0;
    }
    case WM_DESTROY:
        player_.destroy();
        // The main window of a preview run: its end ends the run.
        if (paloma::shellMainWindow() == hwnd()) {
            paloma::setShellMainWindow(nullptr);
            PostQuitMessage(0);
        }
        break;
    }
    return defaultProc(msg, wParam, lParam);
}

} // namespace paloma::shell
