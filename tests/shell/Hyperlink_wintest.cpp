// The hyperlink control: set-up sizing, the hover and pressed states with
// the mouse capture, and its record going with the window.
#include "app/shell/Hyperlink.h"

#include <gtest/gtest.h>

#include <string>

using namespace paloma::shell;

TEST(Hyperlink, SetUpSizesToTheTextAndTheMouseDrivesItsState) {
    ASSERT_TRUE(registerHyperlinkClass());
    ASSERT_TRUE(registerHyperlinkClass()); // once is enough; again is no failure
    HWND parent = CreateWindowW(L"STATIC", L"", WS_POPUP | WS_VISIBLE, 10, 10, 400, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    HWND link = CreateWindowW(kHyperlinkClass, L"", WS_CHILD | WS_VISIBLE, 5, 5, 300, 24, parent, HMENU(6010),
                              GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(hyperlinkRecord(link), nullptr);

    LOGFONTW font{};
    font.lfHeight = -16;
    font.lfWeight = FW_BOLD;
    wcscpy(font.lfFaceName, L"Tahoma");
    const std::wstring text = L"Visit the home page";
    setUpHyperlink(link, text, RGB(0, 128, 0), font, L"https://example.invalid/");

    // The width is the text's in that font plus 6; the height is kept.
    HDC dc = GetDC(link);
    HFONT f = CreateFontIndirectW(&font);
    HGDIOBJ old = SelectObject(dc, f);
    RECT measured{};
    DrawTextW(dc, text.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteObject(f);
    ReleaseDC(link, dc);
    RECT rc;
    GetWindowRect(link, &rc);
    EXPECT_GT(measured.right, 0);
    EXPECT_EQ(rc.right - rc.left, measured.right + 6);
    EXPECT_EQ(rc.bottom - rc.top, 24);
    wchar_t shown[64] = {};
    GetWindowTextW(link, shown, 64);
    EXPECT_EQ(std::wstring(shown), text);

    const HyperlinkRecord* record = hyperlinkRecord(link);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->colour, RGB(0, 128, 0));
    EXPECT_EQ(record->target, L"https://example.invalid/");
    EXPECT_EQ(record->state, 1u);

    SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(record->state, 1u | kLinkHovering);
    EXPECT_EQ(GetCapture(), link);
    SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    EXPECT_EQ(record->state, 1u | kLinkHovering | kLinkPressed);
    UpdateWindow(link); // painting while pressed and hovering
    SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(2000, 3));
    EXPECT_EQ(record->state, 1u);
    EXPECT_EQ(GetCapture(), nullptr);

    // A release opens the target with the shell's "open" verb: here a batch
    // file that leaves a mark.
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    std::wstring stem = std::wstring(temp) + L"paloma-link-" + std::to_wstring(GetCurrentProcessId());
    std::wstring script = stem + L".bat", mark = stem + L".txt";
    DeleteFileW(mark.c_str());
    std::string body = "@echo opened> \"" + std::string(mark.begin(), mark.end()) + "\"\r\n";
    HANDLE file = CreateFileW(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, body.data(), DWORD(body.size()), &written, nullptr);
    CloseHandle(file);
    setUpHyperlink(link, text, RGB(0, 128, 0), font, script);
    SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(hyperlinkRecord(link)->state, 1u);
    bool opened = false;
    for (int i = 0; i < 200 && !opened; ++i, Sleep(50))
        opened = GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_TRUE(opened);
    DeleteFileW(mark.c_str());
    DeleteFileW(script.c_str());

    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(link));
}
