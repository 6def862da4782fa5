// Dialogs: the system's message box, file, colour, font and folder dialogs,
// modal and owned by the main window. All text crosses as ANSI.
#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/HostServices.h"
#include "host/dialogs/DialogsClasses.h"
#include "host/dialogs/FontObject.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"

namespace paloma::host {

namespace {

using quill::Value;

HWND owner() { return hostServices().playerWindow(); }

COLORREF toSystemColour(int64_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
int64_t fromSystemColour(COLORREF c) { return (int64_t(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// A cancelled dialog has no extended error; a failed one leaves it in the
// engine's error text.
void noteDialogError(quill::Engine& engine) {
    if (DWORD error = CommDlgExtendedError())
        std::snprintf(engine.errorText, sizeof engine.errorText, "Dialog error 0x%04lX", static_cast<unsigned long>(error));
}

// "Text|*.txt|All|*.*" with every "|" as the dialog's separator, ending in
// two zeros.
std::string dialogFilter(const std::string& filter) {
    std::string out = filter;
    std::replace(out.begin(), out.end(), '|', '\0');
    out.append(2, '\0');
    return out;
}

std::string textOf(quill::Engine& engine, const Value& v) { return quill::valueToText(engine, v); }

// ---- msgBox -----------------------------------------------------------------------------

void msgBox(MemberCall& c) {
    std::string text, title = "Paloma";
    if (c.count() >= 1)
        text = c.arg(1).isString() ? *c.string(1) : textOf(c.engine, c.arg(1));
    if (c.count() >= 2)
        title = c.arg(2).isString() ? *c.string(2) : textOf(c.engine, c.arg(2));
    UINT type = 0;
    if (auto n = c.number(3))
        type = UINT(*n);
    c.result = integerResult(MessageBoxA(owner(), text.c_str(), title.c_str(), type));
}

// ---- fileOpen, fileSave -----------------------------------------------------------------

UINT_PTR CALLBACK centreHook(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    // Centred once the dialog has its final size.
    if (message != WM_NOTIFY || reinterpret_cast<NMHDR*>(lParam)->code != CDN_INITDONE)
        return 0;
    // The explorer-style hook is a child of the dialog itself.
    HWND frame = GetParent(dialog) ? GetParent(dialog) : dialog;
    HWND main = owner();
    RECT outer, box;
    if (!main || !GetWindowRect(main, &outer))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &outer, 0);
    GetWindowRect(frame, &box);
    int w = box.right - box.left, h = box.bottom - box.top;
    SetWindowPos(frame, nullptr, outer.left + (outer.right - outer.left - w) / 2,
                 outer.top + (outer.bottom - outer.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

struct FileRequest {
    std::string filter, defaultExtension, initialFile, initialFolder;
    DWORD flags = 0;
    size_t bufferSize = 261;
    LPOFNHOOKPROC hook = nullptr;
    LPARAM hookData = 0;
};

// Runs the dialog; the buffer with what it chose, nothing when cancelled.
std::optional<std::vector<char>> runFileDialog(const FileRequest& r, bool save) {
    std::vector<char> buffer(r.bufferSize + 2, '\0');
    std::memcpy(buffer.data(), r.initialFile.data(), std::min(r.initialFile.size(), r.bufferSize - 1));
    std::string filter = dialogFilter(r.filter);
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner();
    ofn.lpstrFilter = r.filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = DWORD(r.bufferSize);
    ofn.lpstrDefExt = r.defaultExtension.empty() ? nullptr : r.defaultExtension.c_str();
    ofn.lpstrInitialDir = r.initialFolder.empty() ? nullptr : r.initialFolder.c_str();
    ofn.Flags = r.flags;
    ofn.lpfnHook = r.hook;
    ofn.lCustData = r.hookData;
    BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (!ok)
        return std::nullopt;
    return buffer;
}

void fileOpen(MemberCall& c) {
    c.result = booleanResult(false);
    FileRequest r;
    r.filter = c.string(1).value_or("");
    r.defaultExtension = c.string(2).value_or("");
    r.initialFile = c.string(3).value_or("");
    bool multi = c.boolean(4, true).value_or(false);
    r.flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | (multi ? OFN_ALLOWMULTISELECT : 0);
    r.bufferSize = multi ? 4096 : 261;
    auto chosen = runFileDialog(r, false);
    if (!chosen) {
        noteDialogError(c.engine);
        return;
    }
    if (!multi) {
        c.result = ansiTextResult(c.engine, chosen->data());
        return;
    }
    // The folder, then each name; a single file is its full path alone.
    c.result = arrayResult(c.engine);
    for (const char* p = chosen->data(); *p; p += std::strlen(p) + 1)
        appendElement(c.engine, c.result, ansiTextResult(c.engine, p));
}

void fileSave(MemberCall& c) {
    c.result = booleanResult(false);
    FileRequest r;
    r.filter = c.string(1).value_or("");
    r.defaultExtension = c.string(2).value_or("");
    r.initialFile = c.string(3).value_or("");
    r.flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_ENABLEHOOK;
    if (c.arg(4).isInteger())
        r.flags |= DWORD(c.arg(4).asInteger());
    r.hook = centreHook;
    auto chosen = runFileDialog(r, true);
    if (!chosen) {
        noteDialogError(c.engine);
        return;
    }
    c.result = ansiTextResult(c.engine, chosen->data());
}

// ---- fileOpen2, fileSave2 ---------------------------------------------------------------

// The file list's view commands of the shell view inside the dialog.
UINT viewCommand(const std::string& mode) {
    auto is = [&](const char* name) { return _stricmp(mode.c_str(), name) == 0; };
    if (is("ICONS"))
        return 0x7029;
    if (is("LIST"))
        return 0x702B;
    if (is("DETAIL"))
        return 0x702C;
    if (is("TILES"))
        return 0x702E;
    return 0x702D; // thumbnails
}

UINT_PTR CALLBACK viewHook(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<const OPENFILENAMEA*>(lParam)->lCustData);
    } else if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == CDN_INITDONE) {
        HWND frame = GetParent(dialog);
        if (HWND view = FindWindowExW(frame, nullptr, L"SHELLDLL_DefView", nullptr))
            PostMessageW(view, WM_COMMAND, WPARAM(GetWindowLongPtrW(dialog, GWLP_USERDATA)), 0);
    }
    return 0;
}

constexpr const char* kFolderSection = "Settings";
constexpr const char* kFolderEntry = "FDN_LastDir";

// fileOpen2 and fileSave2 (filter, initial folder, remember folder, default
// extension, view mode); the row's tag is 1 for saving.
void fileDialog2(MemberCall& c) {
    c.result = booleanResult(false);
    bool save = c.member.tag == 1;
    FileRequest r;
    r.filter = c.string(1).value_or("");
    if (c.boolean(3, true).value_or(false)) {
        std::string fallback = c.string(2).value_or("");
        r.initialFolder = hostServices().readProfileString(kFolderSection, kFolderEntry).value_or(fallback);
    }
    r.defaultExtension = c.string(4).value_or("");
    r.flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_ENABLEHOOK | (save ? OFN_OVERWRITEPROMPT : 0);
    r.bufferSize = MAX_PATH + 1;
    r.hook = viewHook;
    r.hookData = LPARAM(viewCommand(c.string(5).value_or("")));
    auto chosen = runFileDialog(r, save);
    if (!chosen) {
        noteDialogError(c.engine);
        return;
    }
    std::string path(chosen->data());
    path.resize(std::min<size_t>(path.size(), MAX_PATH));
    size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos) {
        // A root folder keeps its separator ("C:\\", not "C:").
        std::string chosenFolder = path.substr(0, slash == 2 && path[1] == ':' ? slash + 1 : slash);
        hostServices().writeProfileString(kFolderSection, kFolderEntry, chosenFolder);
    }
    c.result = ansiTextResult(c.engine, path);
}

// ---- chooseColor, chooseFont ------------------------------------------------------------

void chooseColor(MemberCall& c) {
    c.result = booleanResult(false);
    COLORREF custom[16] = {};
    CHOOSECOLORA cc = {};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = owner();
    cc.lpCustColors = custom;
    cc.Flags = CC_FULLOPEN | CC_ANYCOLOR;
    if (c.arg(1).isInteger()) {
        cc.rgbResult = toSystemColour(c.arg(1).asInteger());
        cc.Flags |= CC_RGBINIT;
    }
    if (!ChooseColorA(&cc)) {
        noteDialogError(c.engine);
        return;
    }
    c.result = integerResult(fromSystemColour(cc.rgbResult));
}

void chooseFont(MemberCall& c) {
    c.result = nullResult();
    FontData chosen;
    CHOOSEFONTA cf = {};
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = owner();
    cf.lpLogFont = &chosen.font;
    cf.Flags = CF_SCREENFONTS | CF_EFFECTS;
    if (const FontData* initial = fontDataOf(c.engine, c.arg(1))) {
        chosen = *initial;
        HDC screen = GetDC(nullptr);
        int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        chosen.font.lfHeight = LONG(-(initial->size * dpi / 72));
        cf.rgbColors = toSystemColour(initial->color);
        cf.Flags |= CF_INITTOLOGFONTSTRUCT;
    }
    if (!ChooseFontA(&cf)) {
        noteDialogError(c.engine);
        return;
    }
    chosen.size = cf.iPointSize / 10;
    chosen.color = fromSystemColour(cf.rgbColors);
    Value font;
    if (newFontObject(c.engine, chosen, font))
        c.result = font;
}

// ---- browse -----------------------------------------------------------------------------

struct BrowseState {
    std::string initial;
};

int CALLBACK browseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
    auto* state = reinterpret_cast<BrowseState*>(data);
    if (message == BFFM_INITIALIZED && !state->initial.empty()) {
        SendMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(state->initial.c_str()));
    } else if (message == BFFM_SELCHANGED) {
        char path[MAX_PATH + 1] = {};
        if (!SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path))
            path[0] = 0;
        SendMessageA(window, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
    }
    return 0;
}

// The folder browser needs the thread in a single-threaded apartment; it is
// entered for the call when the program has not done so.
class ApartmentForCall {
public:
    ApartmentForCall() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ApartmentForCall() {
        if (initialised_)
            CoUninitialize();
    }
    ApartmentForCall(const ApartmentForCall&) = delete;
    ApartmentForCall& operator=(const ApartmentForCall&) = delete;

private:
    bool initialised_;
};

void browse(MemberCall& c) {
    c.result = booleanResult(false);
    std::string title = c.string(1).value_or("");
    BrowseState state{c.string(2).value_or("")};
    bool computers = c.boolean(3, true).value_or(false);
    ApartmentForCall apartment;
    char display[MAX_PATH + 1] = {};
    BROWSEINFOA info = {};
    info.hwndOwner = owner();
    info.pszDisplayName = display;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_STATUSTEXT | (computers ? BIF_BROWSEFORCOMPUTER : BIF_RETURNONLYFSDIRS);
    info.lpfn = browseCallback;
    info.lParam = reinterpret_cast<LPARAM>(&state);
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info);
    if (!chosen)
        return;
    char path[MAX_PATH + 1] = {};
    bool ok = SHGetPathFromIDListA(chosen, path);
    CoTaskMemFree(chosen);
    if (ok)
        c.result = ansiTextResult(c.engine, path);
    else if (computers && display[0])
        c.result = ansiTextResult(c.engine, display); // a computer has no file-system path
}

template <auto F>
constexpr Member tagged(const char* name, int tag) {
    Member m = classMethod<F>(name);
    m.tag = tag;
    return m;
}

constexpr Member kMembers[] = {
    classMethod<msgBox>("msgBox"),
    classMethod<fileOpen>("fileOpen"),
    classMethod<fileSave>("fileSave"),
    tagged<fileDialog2>("fileOpen2", 0),
    tagged<fileDialog2>("fileSave2", 1),
    classMethod<chooseColor>("chooseColor"),
    classMethod<chooseFont>("chooseFont"),
    classMethod<browse>("browse"),
};

} // namespace

void registerDialogsClass(quill::Engine& engine) {
    registerHostClass(engine, {.className = "Dialogs", .members = kMembers});
}

} // namespace paloma::host
