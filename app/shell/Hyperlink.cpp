// The hyperlink control.
#include "app/shell/Hyperlink.h"

#include "host/framework/WinHandles.h"

#include <shellapi.h>

namespace paloma::shell {

namespace {

HyperlinkRecord* recordOf(HWND w) { return reinterpret_cast<HyperlinkRecord*>(GetWindowLongPtrW(w, GWLP_USERDATA)); }

std::wstring windowText(HWND w) {
    std::wstring text(size_t(GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(w, text.data(), int(text.size()))));
    return text;
}

// The font the control draws with: the record's, underlined while hovering;
// without a record the default GUI font.
HFONT makeFont(const HyperlinkRecord* record) {
    if (!record)
        return nullptr;
    LOGFONTW font = record->font;
    font.lfUnderline = (record->state & kLinkHovering) ? TRUE : FALSE;
    return CreateFontIndirectW(&font);
}

void paint(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    RECT rc;
    GetClientRect(w, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    const HyperlinkRecord* record = recordOf(w);
    UniqueFont own(makeFont(record));
    HGDIOBJ old = SelectObject(dc, own ? static_cast<HGDIOBJ>(own.get()) : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    COLORREF colour = record ? record->colour : 0xFF0000;
    if (record && (record->state & kLinkPressed))
        colour = GetSysColor(COLOR_HIGHLIGHT);
    SetTextColor(dc, colour);
    std::wstring text = windowText(w);
    DrawTextW(dc, text.c_str(), int(text.size()), &rc, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, old);
    EndPaint(w, &ps);
}

void setState(HWND w, HyperlinkRecord* record, unsigned state) {
    if (!record || record->state == state)
        return;
    record->state = state;
    InvalidateRect(w, nullptr, TRUE);
}

LRESULT CALLBACK hyperlinkProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
    HyperlinkRecord* record = recordOf(w);
    switch (msg) {
    case WM_PAINT:
        paint(w);
        return 0;
    case WM_ERASEBKGND:
        return TRUE;
    case WM_SETCURSOR: {
        HCURSOR hand = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(156));
        SetCursor(hand ? hand : LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    case WM_MOUSEMOVE: {
        POINT at{short(LOWORD(lParam)), short(HIWORD(lParam))};
        RECT rc;
        GetClientRect(w, &rc);
        if (PtInRect(&rc, at)) {
            if (GetCapture() != w)
                SetCapture(w);
            if (record)
                setState(w, record, record->state | kLinkHovering);
        } else {
            if (GetCapture() == w)
                ReleaseCapture();
            setState(w, record, 1);
        }
        return 0;
    }
    case WM_LBUTTONDOWN:
        if (record)
            setState(w, record, record->state | kLinkPressed);
        return 0;
    case WM_LBUTTONUP: {
        std::wstring target = record ? record->target : kHyperlinkDefaultTarget;
        ShellExecuteW(GetParent(w), L"open", target.c_str(), nullptr, nullptr, SW_SHOW);
        setState(w, record, 1);
        return 0;
    }
    case WM_NCDESTROY:
        SetWindowLongPtrW(w, GWLP_USERDATA, 0);
        delete record;
        break;
    }
    return DefWindowProcW(w, msg, wParam, lParam);
}

} // namespace

bool registerHyperlinkClass() {
    WNDCLASSW wc{};
    if (GetClassInfoW(GetModuleHandleW(nullptr), kHyperlinkClass, &wc))
        return true;
    wc.lpfnWndProc = hyperlinkProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kHyperlinkClass;
    return RegisterClassW(&wc) != 0;
}

void setUpHyperlink(HWND link, const std::wstring& text, COLORREF colour, const LOGFONTW& font,
                    const std::wstring& target) {
    SetWindowTextW(link, text.c_str());
    HyperlinkRecord* record = recordOf(link);
    if (!record) {
        record = new HyperlinkRecord;
        SetWindowLongPtrW(link, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    }
    record->colour = colour;
    record->font = font;
    record->target = target;
    // The width of the text as drawn in that font, plus 6 pixels.
    HDC dc = GetDC(link);
    UniqueFont own(CreateFontIndirectW(&font));
    HGDIOBJ old = SelectObject(dc, own.get());
    RECT measured{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), int(text.size()), &measured, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(link, dc);
    RECT rc;
    GetWindowRect(link, &rc);
    SetWindowPos(link, nullptr, 0, 0, measured.right - measured.left + 6, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(link, nullptr, TRUE);
}

const HyperlinkRecord* hyperlinkRecord(HWND link) { return recordOf(link); }

} // namespace paloma::shell
