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

#include <colordlg.h>
#include <commctrl.h>
#include <prsht.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

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

// Whether the process has loaded a module of that name.
bool hasModule(DWORD process, const wchar_t* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    bool found = false;
    for (BOOL more = Module32FirstW(snapshot, &module); more && !found; more = Module32NextW(snapshot, &module))
        found = _wcsicmp(module.szModule, name) == 0;
    CloseHandle(snapshot);
    return found;
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
        exe_ = build(L"sheet", R"({
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
})");
    }
    std::wstring build(const std::wstring& name, const std::string& manifest) {
        std::wstring json = scratch_ / (name + L".json"), exe = scratch_ / (name + L".exe");
        EXPECT_TRUE(e2e::writeText(json, manifest));
        auto built = e2e::runProcess(L"\"" + e2e::hostPath(PALOMA_PACK_EXE) + L"\" build \"" + json + L"\" -o \"" + exe +
                                     L"\" --runtime \"" + e2e::hostPath(PALOMA_RUNTIME_EXE) + L"\"");
        EXPECT_TRUE(built.finished && built.exitCode == 0);
        return exe;
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
    // Starts the package (extra environment entries NAME=value) and waits for its sheet.
    HWND start(const std::wstring& args, std::vector<std::wstring> environment = {}) {
        for (const std::wstring& e : {L"TMP=" + tmp_, L"TEMP=" + tmp_, L"PALOMA_MESSAGE_LOG=" + (scratch_ / L"boxes.log")})
            environment.push_back(e);
        // Set for the child only: this process keeps its own temporary folder.
        std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved;
        for (const std::wstring& e : environment) {
            std::wstring name = e.substr(0, e.find(L'='));
            wchar_t old[MAX_PATH * 2];
            DWORD n = GetEnvironmentVariableW(name.c_str(), old, MAX_PATH * 2);
            saved.emplace_back(name, n ? std::optional<std::wstring>(old) : std::nullopt);
            SetEnvironmentVariableW(name.c_str(), e.substr(e.find(L'=') + 1).c_str());
        }
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring cmd = L"\"" + exe_ + L"\"" + args;
        BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &process_);
        for (auto& [name, value] : saved)
            SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
        return started ? waitForWindow(process_.dwProcessId, L"Configurations") : nullptr;
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

    // A click on the swatch opens the colour dialog; its colour is taken.
    SendMessageW(sheet, PSM_SETCURSEL, 0, 0);
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_SWATCH, STN_CLICKED), reinterpret_cast<LPARAM>(swatchWindow));
    HWND colours = waitForWindow(process_.dwProcessId, L"Color");
    ASSERT_NE(colours, nullptr);
    SetDlgItemInt(colours, COLOR_RED, 0x11, FALSE);
    SetDlgItemInt(colours, COLOR_GREEN, 0x22, FALSE);
    SetDlgItemInt(colours, COLOR_BLUE, 0x33, FALSE);
    PostMessageW(colours, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(colours, IDOK)));
    EXPECT_EQ(pixelOnceShown(swatchWindow, 3, 3, RGB(0x11, 0x22, 0x33)), RGB(0x11, 0x22, 0x33));

    // Two boxes changed, a hot key typed, OK.
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
    EXPECT_EQ(afterOk.backgroundColour, 0x332211u);
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

TEST_F(SheetTest, HelpButtonsAndAMovieWithoutAPlayerControlWarns) {
    ASSERT_TRUE(e2e::writeText(scratch_ / L"guide.chm", "not a compiled help file"));
    exe_ = build(L"movie", R"({
  "identity": "Paloma E2E Sheet/Sheet\\V2",
  "movie": "movie.swf",
  "files": ["movie.swf", "guide.chm"],
  "help": {"path": "guide.chm"},
  "about": {"plays": "movie"}
})");
    HWND sheet = start(L" /c");
    ASSERT_NE(sheet, nullptr);
    HWND help = GetDlgItem(sheet, IDHELP);
    ASSERT_TRUE(help && IsWindowVisible(help));
    // The HTML help library is loaded when Help is first pressed.
    EXPECT_FALSE(hasModule(process_.dwProcessId, L"hhctrl.ocx"));
    PostMessageW(sheet, WM_COMMAND, MAKEWPARAM(IDHELP, BN_CLICKED), reinterpret_cast<LPARAM>(help));
    bool loaded = false;
    for (int i = 0; i < 100 && !loaded; ++i, Sleep(50))
        loaded = hasModule(process_.dwProcessId, L"hhctrl.ocx");
    EXPECT_TRUE(loaded);
    // No player in the package and none registered: the page says so.
    SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    EXPECT_EQ(finish(), 0u);
    EXPECT_EQ(e2e::readText(scratch_ / L"boxes.log"),
              "Configurations\tThe Macromedia Flash Player ActiveX control is not installed on this Computer.\n");
}

TEST_F(SheetTest, AboutPagePlaysTheMovieInThePrivatePlayerAndShowsAnotherFileAsAPicture) {
    ASSERT_TRUE(CopyFileW(e2e::hostPath(PALOMA_FIXTURES "/player_installer.exe").c_str(),
                          (scratch_ / L"player_setup.exe").c_str(), FALSE));
    exe_ = build(L"player", R"({
  "identity": "Paloma E2E Sheet/Sheet\\V2",
  "movie": "movie.swf",
  "installer": "player_setup.exe",
  "files": ["movie.swf", "player_setup.exe"],
  "about": {"plays": "movie"}
})");
    std::wstring log = scratch_ / L"player.log";
    HWND sheet = start(L" /c", {L"PALOMA_FAKEPLAYER_LOG=" + log});
    ASSERT_NE(sheet, nullptr);
    SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
    HWND about = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(about, nullptr);
    // The control covers the picture area and was given the extracted movie.
    HWND player = GetDlgItem(about, IDC_ABOUT_AREA + 1000);
    ASSERT_NE(player, nullptr);
    RECT area, shown;
    GetWindowRect(GetDlgItem(about, IDC_ABOUT_AREA), &area);
    GetWindowRect(player, &shown);
    EXPECT_TRUE(EqualRect(&area, &shown));
    std::string calls;
    for (int i = 0; i < 100 && calls.find("movie movie.swf") == std::string::npos; ++i, Sleep(50))
        calls = e2e::readText(log);
    EXPECT_NE(calls.find("put Movie "), std::string::npos) << calls;
    EXPECT_NE(calls.find("\\_extra\\movie.swf\n"), std::string::npos) << calls;
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    EXPECT_EQ(finish(), 0u);
    EXPECT_FALSE(e2e::exists(scratch_ / L"boxes.log")) << e2e::readText(scratch_ / L"boxes.log");
    EXPECT_TRUE(e2e::listFolder(tmp_).empty());

    // Another packaged file that is no movie is shown as a picture.
    ASSERT_TRUE(e2e::writeFile(scratch_ / L"green.bmp", bitmapFile(40, 20, RGB(0, 160, 0))));
    exe_ = build(L"picture", R"({
  "identity": "Paloma E2E Sheet/Sheet\\V2",
  "movie": "movie.swf",
  "files": ["movie.swf", "green.bmp"],
  "about": {"plays": "file", "file": "green.bmp"}
})");
    sheet = start(L" /c");
    ASSERT_NE(sheet, nullptr);
    SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
    about = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(about, nullptr);
    GetWindowRect(GetDlgItem(about, IDC_ABOUT_AREA), &area);
    MapWindowPoints(nullptr, about, reinterpret_cast<POINT*>(&area), 2);
    EXPECT_EQ(pixelOnceShown(about, (area.left + area.right) / 2, (area.top + area.bottom) / 2, RGB(0, 160, 0)),
              RGB(0, 160, 0));
    EXPECT_EQ(GetDlgItem(about, IDC_ABOUT_AREA + 1000), nullptr);
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    EXPECT_EQ(finish(), 0u);
}

#endif
