// The settings sheet.
#include "app/shell/SettingsSheet.h"

#include "app/MovieHeader.h"
#include "app/ShellErrors.h"
#include "app/ScreenSaverRules.h"
#include "app/shell/ConfigurationLoader.h"
#include "app/shell/FlashHost.h"
#include "app/shell/Hyperlink.h"
#include "app/shell/MainWnd.h"
#include "app/shell/ModuleResources.h"
#include "app/shell/PackageFiles.h"
#include "app/shell/ShellContext.h"
#include "app/shell/ShellMessageBox.h"
#include "app/shell/ShellResources.h"
#include "base/WinText.h"
#include "host/framework/WinHandles.h"

#include <commctrl.h>
#include <commdlg.h>
#include <olectl.h>
#include <prsht.h>

#include <fstream>
#include <memory>

namespace paloma::shell {

namespace {

std::wstring wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
std::wstring wide(const Text& text) { return wide(textOr(text)); }

bool endsWithNoCase(const std::wstring& text, const wchar_t* suffix) {
    size_t n = wcslen(suffix);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, suffix) == 0;
}

// ---- the HTML help library ---------------------------------------------------------

HMODULE gHtmlHelp = nullptr;

using HtmlHelpAFn = HWND(WINAPI*)(HWND caller, const char* file, UINT command, DWORD_PTR data);

HtmlHelpAFn htmlHelpA() {
    if (!gHtmlHelp) {
        // From the system folder only: a planted HHCTRL.OCX elsewhere never loads.
        wchar_t folder[MAX_PATH];
        UINT n = GetSystemDirectoryW(folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return nullptr;
        gHtmlHelp = LoadLibraryExW((std::wstring(folder, n) + L"\\hhctrl.ocx").c_str(), nullptr,
                                   LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return gHtmlHelp ? reinterpret_cast<HtmlHelpAFn>(reinterpret_cast<void (*)()>(GetProcAddress(gHtmlHelp, "HtmlHelpA")))
                     : nullptr;
}

// ---- what both pages share -------------------------------------------------------------

struct SheetState {
    const ShellContext& context;
    ShellServices& services;
    RuntimeSettings edited; // the Preferences page's values, taken on OK
    bool accepted = false;
};

SheetState* stateOf(HWND page) { return reinterpret_cast<SheetState*>(GetWindowLongPtrW(page, DWLP_USER)); }

void keepState(HWND page, LPARAM initParam) {
    auto* sheetPage = reinterpret_cast<PROPSHEETPAGEW*>(initParam);
    SetWindowLongPtrW(page, DWLP_USER, sheetPage->lParam);
}

void showHelp(HWND page, const SheetState& state) {
    std::u16string stored = textOr(state.context.settings->help.path);
    std::wstring file = resolvePackagePath(stored);
    openSettingsHelp(page, file.empty() ? wide(stored) : file);
}

// ---- the Preferences page ---------------------------------------------------------------

struct Bit {
    int control;
    uint32_t bit;
};
constexpr Bit kWakeBoxes[] = {{IDC_WAKE_LEFT, kWakeLeftButton}, {IDC_WAKE_RIGHT, kWakeRightButton},
                              {IDC_WAKE_MOVE, kWakeMouseMove},  {IDC_WAKE_KEY, kWakeKeyStroke},
                              {IDC_WAKE_ESC, kWakeEsc},         {IDC_WAKE_HOTKEY, kWakeHotKey}};
constexpr Bit kOptionBoxes[] = {{IDC_CUSTOM_COLOUR, kOptionBackgroundColour},
                                {IDC_MUTE, kOptionMute},
                                {IDC_HIDE_CURSOR, kOptionHideCursor},
                                {IDC_NO_AUTORUN, kOptionNoCdAutorun},
                                {IDC_DEFAULT_SIZE, kOptionDefaultMovieSize}};

void showPreferences(HWND page, const RuntimeSettings& s) {
    for (const Bit& b : kWakeBoxes)
        CheckDlgButton(page, b.control, (s.wakeUpMethods & b.bit) ? BST_CHECKED : BST_UNCHECKED);
    for (const Bit& b : kOptionBoxes)
        CheckDlgButton(page, b.control, (s.optionFlags & b.bit) ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageW(page, IDC_HOTKEY, HKM_SETHOTKEY, MAKEWORD(s.hotKeyCode & 0xFF, s.hotKeyModifiers & 0xFF), 0);
}

// The boxes and the hot key back into the record; bits without a box are kept.
void takePreferences(HWND page, RuntimeSettings& s) {
    for (const Bit& b : kWakeBoxes)
        s.wakeUpMethods = IsDlgButtonChecked(page, b.control) == BST_CHECKED ? (s.wakeUpMethods | b.bit)
                                                                               : (s.wakeUpMethods & ~b.bit);
    for (const Bit& b : kOptionBoxes)
        s.optionFlags = IsDlgButtonChecked(page, b.control) == BST_CHECKED ? (s.optionFlags | b.bit)
                                                                             : (s.optionFlags & ~b.bit);
    LRESULT key = SendDlgItemMessageW(page, IDC_HOTKEY, HKM_GETHOTKEY, 0, 0);
    s.hotKeyCode = LOBYTE(LOWORD(key));
    s.hotKeyModifiers = HIBYTE(LOWORD(key));
}

void paintSwatch(const DRAWITEMSTRUCT& item, COLORREF colour) {
    UniqueBrush brush(CreateSolidBrush(colour));
    FillRect(item.hDC, &item.rcItem, brush.get());
    std::wstring text = widen(swatchText(colour));
    RECT box = item.rcItem;
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, swatchTextColour(colour));
    HGDIOBJ old = SelectObject(item.hDC, GetStockObject(DEFAULT_GUI_FONT));
    DrawTextW(item.hDC, text.c_str(), int(text.size()), &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(item.hDC, old);
}

void chooseColour(HWND page, SheetState& state) {
    static COLORREF custom[16] = {};
    CHOOSECOLORW choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = page;
    choose.rgbResult = state.edited.backgroundColour & 0xFFFFFF;
    choose.lpCustColors = custom;
    choose.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (ChooseColorW(&choose)) {
        state.edited.backgroundColour = choose.rgbResult;
        InvalidateRect(GetDlgItem(page, IDC_SWATCH), nullptr, TRUE);
    }
}

INT_PTR CALLBACK preferencesProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        keepState(page, lParam);
        showPreferences(page, stateOf(page)->edited);
        return TRUE;
    case WM_DRAWITEM:
        if (wParam == IDC_SWATCH) {
            paintSwatch(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam), stateOf(page)->edited.backgroundColour & 0xFFFFFF);
            return TRUE;
        }
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SWATCH && HIWORD(wParam) == STN_CLICKED &&
            IsDlgButtonChecked(page, IDC_CUSTOM_COLOUR) == BST_CHECKED) {
            chooseColour(page, *stateOf(page));
            return TRUE;
        }
        break;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == PSN_APPLY) {
            SheetState* state = stateOf(page);
            takePreferences(page, state->edited);
            state->accepted = true;
            SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
        if (header->code == PSN_HELP) {
            showHelp(page, *stateOf(page));
            return TRUE;
        }
        break;
    }
    }
    return FALSE;
}

// ---- the "About me" page -------------------------------------------------------------------

LOGFONTW logFont(const FontRecord& f) {
    LOGFONTW font{};
    font.lfHeight = f.height;
    font.lfWidth = LONG(f.width);
    font.lfEscapement = LONG(f.escapement);
    font.lfOrientation = LONG(f.orientation);
    font.lfWeight = LONG(f.weight);
    font.lfItalic = f.italic;
    font.lfUnderline = f.underline;
    font.lfStrikeOut = f.strikeOut;
    font.lfCharSet = f.charSet;
    font.lfOutPrecision = f.outPrecision;
    font.lfClipPrecision = f.clipPrecision;
    font.lfQuality = f.quality;
    font.lfPitchAndFamily = f.pitchAndFamily;
    std::wstring face = wide(f.faceName);
    wcsncpy(font.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return font;
}

// Events of the page's movie are not for the shell.
class QuietEvents final : public FlashEvents {
public:
    void onFSCommand(const std::wstring&, const std::wstring&) override {}
    void onFlashCall(const std::wstring&) override {}
};

struct AboutPage {
    QuietEvents events;
    FlashHost player{events};
    ComPtr<IPicture> picture;
    RECT area{};
};

// The "About me" page's own state, beside the sheet's.
AboutPage* aboutOf(HWND page) { return static_cast<AboutPage*>(GetPropW(page, L"PalomaAbout")); }

// The background picture, written once per run to "Paloma.BK" in the run folder.
std::wstring backgroundPictureFile(ShellServices& services) {
    std::wstring folder = services.runFolder();
    if (folder.empty())
        return {};
    std::wstring file = folder + L"Paloma.BK";
    if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES)
        return file;
    std::vector<uint8_t> data;
    try {
        if (!readBlockResource(L"BK", kTypePaloma, data))
            return {};
    } catch (const CKelBaseException&) {
        // A package without a background picture: the page shows none. (The
        // loader's boxes belong to the main window, and a settings run has none.)
        return {};
    }
    std::ofstream out(file.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return out ? file : std::wstring();
}

// A ".swf", or an ".exe" projector that carries a movie.
bool isMovieFile(const std::wstring& file) {
    if (endsWithNoCase(file, L".swf"))
        return true;
    if (!endsWithNoCase(file, L".exe"))
        return false;
    std::ifstream in(file.c_str(), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return findAppendedMovie(bytes).has_value();
}

ComPtr<IPicture> loadPicture(const std::wstring& file) {
    ComPtr<IPicture> picture;
    std::ifstream in(file.c_str(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty())
        return picture;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!memory)
        return picture;
    memcpy(GlobalLock(memory), bytes.data(), bytes.size());
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (SUCCEEDED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        OleLoadPicture(stream, LONG(bytes.size()), FALSE, IID_IPicture, reinterpret_cast<void**>(picture.put()));
        stream->Release();
    } else {
        GlobalFree(memory);
    }
    return picture;
}

void showPicture(HWND page, SheetState& state, AboutPage& about) {
    const RuntimeSettings& s = *state.context.settings;
    std::wstring file;
    if (s.pageFlags & kPagePlaysFile)
        file = resolvePackagePath(textOr(s.pageMoviePath));
    else if (s.pageFlags & kPagePlaysMovie)
        file = resolvePackagePath(textOr(state.context.movieList->name));
    else
        file = backgroundPictureFile(state.services);
    if (file.empty())
        return;
    if (isMovieFile(file)) {
        std::wstring module = state.services.privatePlayerPath();
        if (module.empty())
            module = registeredPlayerPath();
        HMODULE loaded = nullptr;
        if (!about.player.create(page, IDC_ABOUT_AREA + 1000, about.area, module, &loaded)) {
            wchar_t text[256] = {};
            LoadStringW(GetModuleHandleW(nullptr), IDS_NO_PLAYER, text, 256);
            wchar_t title[256] = {};
            GetWindowTextW(GetParent(page), title, 256);
            showMessageBox(page, text, title, MB_OK | MB_ICONWARNING);
            return;
        }
        if (loaded)
            state.services.keepPlayerModule(loaded);
        about.player.put(L"Movie", file);
        return;
    }
    about.picture = loadPicture(file);
}

void paintPicture(HWND page, AboutPage& about) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(page, &ps);
    if (about.picture) {
        OLE_XSIZE_HIMETRIC width = 0;
        OLE_YSIZE_HIMETRIC height = 0;
        about.picture->get_Width(&width);
        about.picture->get_Height(&height);
        const RECT& r = about.area;
        about.picture->Render(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, height, width, -height,
                              nullptr);
    }
    EndPaint(page, &ps);
}

void showAbout(HWND page, SheetState& state) {
    const RuntimeSettings& s = *state.context.settings;
    // The page's own OK button belongs to its use as a dialog of its own.
    ShowWindow(GetDlgItem(page, IDOK), SW_HIDE);
    SetDlgItemTextW(page, IDC_ABOUT_TITLE, wide(s.texts[kTextTitle]).c_str());
    SetDlgItemTextW(page, IDC_ABOUT_VERSION, wide(versionLine(textOr(s.texts[kTextVersion]))).c_str());
    SetDlgItemTextW(page, IDC_ABOUT_RIGHTS, wide(s.texts[kTextRights]).c_str());
    setUpHyperlink(GetDlgItem(page, IDC_ABOUT_LINK), wide(s.linkCaption), s.linkColour, logFont(s.linkFont),
                   wide(s.linkTarget));
    setUpHyperlink(GetDlgItem(page, IDC_ABOUT_MAIL), wide(s.mailCaption), s.mailColour, logFont(s.mailFont),
                   wide(mailTarget(textOr(s.mailAddress))));

    auto about = std::make_unique<AboutPage>();
    HWND area = GetDlgItem(page, IDC_ABOUT_AREA);
    GetWindowRect(area, &about->area);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&about->area), 2);
    ShowWindow(area, SW_HIDE);
    showPicture(page, state, *about);
    SetPropW(page, L"PalomaAbout", about.release());
}

INT_PTR CALLBACK aboutProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    switch (msg) {
    case WM_INITDIALOG:
        keepState(page, lParam);
        showAbout(page, *stateOf(page));
        return TRUE;
    case WM_PAINT:
        if (AboutPage* about = aboutOf(page); about && about->picture) {
            paintPicture(page, *about);
            return TRUE;
        }
        break;
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR*>(lParam)->code == PSN_HELP) {
            showHelp(page, *stateOf(page));
            return TRUE;
        }
        break;
    case WM_DESTROY:
        if (AboutPage* about = aboutOf(page)) {
            RemovePropW(page, L"PalomaAbout");
            about->player.close();
            delete about;
        }
        break;
    }
    return FALSE;
}

PROPSHEETPAGEW sheetPage(int templateId, int iconId, DLGPROC proc, SheetState& state, bool help) {
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USEICONID | (help ? PSP_HASHELP : 0);
    page.hInstance = GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(templateId);
    page.pszIcon = MAKEINTRESOURCEW(iconId);
    page.pfnDlgProc = proc;
    page.lParam = reinterpret_cast<LPARAM>(&state);
    return page;
}

} // namespace

bool openSettingsHelp(HWND caller, const std::wstring& helpFile) {
    if (endsWithNoCase(helpFile, L".chm")) {
        HtmlHelpAFn help = htmlHelpA();
        return help && help(caller, narrow(helpFile).c_str(), 0, 0) != nullptr;
    }
    if (endsWithNoCase(helpFile, L".hlp"))
        return WinHelpW(caller, helpFile.c_str(), HELP_CONTENTS, 0) != FALSE;
    return false;
}

void releaseHtmlHelp() {
    if (gHtmlHelp) {
        FreeLibrary(gHtmlHelp);
        gHtmlHelp = nullptr;
    }
}

bool runSettingsSheet(HWND parent, const ShellContext& context, ShellServices& services) {
    if (!context.settings || !context.movieList)
        return false;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_HOTKEY_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    SheetState state{context, services, *context.settings};
    bool help = context.settings->help.selector != 0;
    PROPSHEETPAGEW pages[] = {sheetPage(IDD_PREFERENCES, IDI_PREFERENCES_TAB, preferencesProc, state, help),
                              sheetPage(IDD_ABOUT, IDI_ABOUT_TAB, aboutProc, state, help)};
    PROPSHEETHEADERW sheet{};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USEICONID | (help ? PSH_HASHELP : 0);
    sheet.hwndParent = parent;
    sheet.hInstance = GetModuleHandleW(nullptr);
    sheet.pszIcon = MAKEINTRESOURCEW(IDI_PALOMA);
    sheet.pszCaption = L"Configurations";
    sheet.nPages = UINT(std::size(pages));
    sheet.ppsp = pages;
    PropertySheetW(&sheet);
    if (!state.accepted)
        return false;
    *context.settings = state.edited;
    if (context.store)
        saveRuntimeSettings(*context.store, *context.settings);
    return true;
}

} // namespace paloma::shell
