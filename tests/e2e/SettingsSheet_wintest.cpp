// The settings sheet of a package started without argument or with /c, as
// the display settings start it: found by its caption, driven by control
// IDs from outside the process; OK stores the changed options, Cancel
// leaves them alone. Screenshots of both pages are kept as artifacts.
#include "app/RuntimeSettings.h"
#include "app/shell/ShellResources.h"
#include "base/WinText.h"
#include "E2eSupport.h"
#include "tests/support/MovieBytes.h"
#include "tests/support/Screenshot.h"

#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

using namespace paloma;

#ifdef PALOMA_PACK_EXE

namespace {

constexpr const wchar_t* kIdentityKey = L"Software\\Paloma E2E Sheet";
constexpr const wchar_t* kStoreKey = L"Software\\Paloma E2E Sheet\\Sheet\\V2\\SSettings";

// A 24-bit bitmap file of one colour.
std::vector<uint8_t> bitmapFile(int width, int height, COLORREF colour) {
    int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = DWORD(file.bfOffBits + stride * height);
    std::vector<uint8_t> bytes(file.bfSize, 0);
    memcpy(bytes.data(), &file, sizeof file);
    memcpy(bytes.data() + sizeof file, &info, sizeof info);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = bytes.data() + file.bfOffBits + y * stride + x * 3;
            p[0] = GetBValue(colour);
            p[1] = GetGValue(colour);
            p[2] = GetRValue(colour);
        }
    return bytes;
}

struct Search {
    DWORD process;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK findTitled(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    wchar_t text[128] = {};
    GetWindowTextW(h, text, 128);
    if (owner == s->process && IsWindowVisible(h) && std::wstring(text) == s->title) {
        s->found = h;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the process with that title, waiting for it.
HWND waitForWindow(DWORD process, const wchar_t* title) {
    for (int i = 0; i < 300; ++i) {
        Search search{process, title, nullptr};
        EnumWindows(findTitled, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(50);
    }
    return nullptr;
}

// The colour the screen shows at a client point once the window has painted
// it (or whatever it shows after three seconds).
COLORREF pixelOnceShown(HWND window, int x, int y, COLORREF expected) {
    COLORREF seen = CLR_INVALID;
    for (int i = 0; i < 60 && seen != expected; ++i, Sleep(50))
        seen = testsupport::screenPixel(window, x, y);
    return seen;
}

bool checked(HWND page, int id) { return SendDlgItemMessageW(page, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::wstring textOf(HWND page, int id) {
    wchar_t text[256] = {};
    GetDlgItemTextW(page, id, text, 256);
    return text;
}

class SheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::deleteRegistryTree(kIdentityKey);
        CreateDirectoryW(tmp_.c_str(), nullptr);
        ASSERT_TRUE(e2e::writeFile(scratch_ / L"movie.swf", paloma::testing::movieBytes({})));
        ASSERT_TRUE(e2e::writeFile(scratch_ / L"back.bmp", bitmapFile(64, 32, RGB(200, 0, 0))));
        ASSERT_TRUE(e2e::writeText(scratch_ / L"sheet.json", R"({
  "identity": "Paloma E2E Sheet/Sheet\\V2",
  "title": "Sheet Saver",
  "version": "2.0",
  "rights": "(c) Sheet",
  "wakeUp": ["mouseMove", "esc"],
  "options": {"mute": true},
  "backgroundColour": "#336699",
  "movie": "movie.swf",
  "files": ["movie.swf"],
  "about": {"link": {"caption": "Home page", "target": "http://127.0.0.1/"},
            "mail": {"caption": "Write to us", "address": "me@example.com"},
            "picture": "back.bmp"}
})"));
        exe_ = scratch_ / L"sheet.exe";
        auto built = e2e::runProcess(L"\"" + e2e::hostPath(PALOMA_PACK_EXE) + L"\" build \"" +
                                     (scratch_ / L"sheet.json") + L"\" -o \"" + exe_ + L"\" --runtime \"" +
                                     e2e::hostPath(PALOMA_RUNTIME_EXE) + L"\"");
        ASSERT_TRUE(built.finished && built.exitCode == 0);
    }
    void TearDown() override {
        if (process_.hProcess) {
            TerminateProcess(process_.hProcess, 99);
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
        e2e::deleteRegistryTree(kIdentityKey);
    }

    // Starts the package and answers its sheet.
    HWND start(const std::wstring& args) {
        for (const std::wstring& e : {L"TMP=" + tmp_, L"TEMP=" + tmp_, L"PALOMA_MESSAGE_LOG=" + (scratch_ / L"boxes.log")})
            SetEnvironmentVariableW(e.substr(0, e.find(L'=')).c_str(), e.substr(e.find(L'=') + 1).c_str());
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring cmd = L"\"" + exe_ + L"\"" + args;
        if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &process_))
            return nullptr;
        return waitForWindow(process_.dwProcessId, L"Configurations");
    }

    // Waits for the run to end; its exit code.
    DWORD finish() {
        bool ended = WaitForSingleObject(process_.hProcess, 20000) == WAIT_OBJECT_0;
        DWORD code = 99;
        if (ended)
            GetExitCodeProcess(process_.hProcess, &code);
        else
            TerminateProcess(process_.hProcess, 99);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
        process_ = {};
        return code;
    }

    RuntimeSettings stored() {
        RuntimeSettings settings;
        auto bytes = e2e::registryBinary(kStoreKey, L"Options");
        EXPECT_TRUE(bytes && readRuntimeSettings(*bytes, settings));
        return settings;
    }

    e2e::ScratchFolder scratch_{L"sheet"};
    std::wstring tmp_ = scratch_ / L"tmp";
    std::wstring exe_;
    PROCESS_INFORMATION process_{};
};

} // namespace

TEST_F(SheetTest, OkStoresTheChangedPreferencesAndCancelLeavesThem) {
    HWND sheet = start(L"");
    ASSERT_NE(sheet, nullptr) << "no settings sheet";
    HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(sheet, GWL_STYLE) & WS_CHILD, 0);

    // The boxes show the packaged values.
    EXPECT_TRUE(checked(page, IDC_WAKE_MOVE));
    EXPECT_TRUE(checked(page, IDC_WAKE_ESC));
    EXPECT_FALSE(checked(page, IDC_WAKE_LEFT));
    EXPECT_FALSE(checked(page, IDC_WAKE_KEY));
    EXPECT_TRUE(checked(page, IDC_MUTE));
    EXPECT_TRUE(checked(page, IDC_CUSTOM_COLOUR));
    EXPECT_FALSE(checked(page, IDC_NO_AUTORUN));
    // The swatch is painted in the colour (COLORREF 0x996633).
    HWND swatchWindow = GetDlgItem(page, IDC_SWATCH);
    EXPECT_EQ(pixelOnceShown(swatchWindow, 3, 3, RGB(0x33, 0x66, 0x99)), RGB(0x33, 0x66, 0x99));
    // No Apply button.
    HWND apply = GetDlgItem(sheet, 0x3021);
    EXPECT_TRUE(!apply || !IsWindowVisible(apply));
    EXPECT_TRUE(testsupport::saveWindowScreenshot(sheet, L"artifacts/settings-preferences.bmp"));

    // The "About me" page: its texts, its links and the background picture.
    SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
    HWND about = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(about, nullptr);
    ASSERT_NE(about, page);
    EXPECT_EQ(textOf(about, IDC_ABOUT_TITLE), L"Sheet Saver");
    EXPECT_EQ(textOf(about, IDC_ABOUT_VERSION), L"Version 2.0");
    EXPECT_EQ(textOf(about, IDC_ABOUT_RIGHTS), L"(c) Sheet");
    EXPECT_EQ(textOf(about, IDC_ABOUT_LINK), L"Home page");
    EXPECT_EQ(textOf(about, IDC_ABOUT_MAIL), L"Write to us");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(about, IDOK)));
    RECT area;
    GetWindowRect(GetDlgItem(about, IDC_ABOUT_AREA), &area);
    MapWindowPoints(nullptr, about, reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(pixelOnceShown(about, (area.left + area.right) / 2, (area.top + area.bottom) / 2, RGB(200, 0, 0)),
              RGB(200, 0, 0));
    EXPECT_TRUE(testsupport::saveWindowScreenshot(sheet, L"artifacts/settings-about.bmp"));

    // Two boxes changed, a hot key typed, OK.
    SendMessageW(sheet, PSM_SETCURSEL, 0, 0);
    SendDlgItemMessageW(page, IDC_WAKE_LEFT, BM_CLICK, 0, 0);
    SendDlgItemMessageW(page, IDC_MUTE, BM_CLICK, 0, 0);
    SendDlgItemMessageW(page, IDC_HOTKEY, HKM_SETHOTKEY, MAKEWORD(VK_F12, HOTKEYF_CONTROL), 0);
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    EXPECT_EQ(finish(), 0u);
    RuntimeSettings afterOk = stored();
    EXPECT_EQ(afterOk.wakeUpMethods, kWakeMouseMove | kWakeEsc | kWakeLeftButton);
    EXPECT_EQ(afterOk.optionFlags, kOptionBackgroundColour);
    EXPECT_EQ(afterOk.hotKeyCode, VK_F12);
    EXPECT_EQ(afterOk.hotKeyModifiers, kHotKeyCtrl);
    EXPECT_EQ(afterOk.backgroundColour, 0x996633u);
    EXPECT_EQ(textOr(afterOk.texts[kTextTitle]), u"Sheet Saver");

    // The next run (/c:1234) shows the stored values; Cancel stores nothing.
    auto before = e2e::registryBinary(kStoreKey, L"Options");
    sheet = start(L" /c:1234");
    ASSERT_NE(sheet, nullptr);
    page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    EXPECT_TRUE(checked(page, IDC_WAKE_LEFT));
    EXPECT_FALSE(checked(page, IDC_MUTE));
    EXPECT_EQ(SendDlgItemMessageW(page, IDC_HOTKEY, HKM_GETHOTKEY, 0, 0), MAKEWORD(VK_F12, HOTKEYF_CONTROL));
    SendDlgItemMessageW(page, IDC_NO_AUTORUN, BM_CLICK, 0, 0);
    SendDlgItemMessageW(page, IDC_WAKE_MOVE, BM_CLICK, 0, 0);
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    EXPECT_EQ(finish(), 0u);
    EXPECT_EQ(e2e::registryBinary(kStoreKey, L"Options"), before);
    EXPECT_TRUE(e2e::listFolder(tmp_).empty()) << "the run folder is deleted at exit";
    EXPECT_FALSE(e2e::exists(scratch_ / L"boxes.log")) << e2e::readText(scratch_ / L"boxes.log");
}

#endif
