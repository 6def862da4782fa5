// CMainWnd: creating the player, loading the movie, the FSCommand dispatch
// table, the closing protocol and the process-wide state of the host.
#include "app/shell/MainWnd.h"

#include "app/MovieHeader.h"
#include "app/ShellErrors.h"
#include "app/shell/FlashHostPrintHook.h"
#include "app/shell/ModuleResources.h"
#include "app/shell/PrivatePlayer.h"
#include "app/shell/RunFolder.h"
#include "app/shell/ShellMessageBox.h"
#include "base/TextCodec.h"
#include "base/WinText.h"
#include "host/framework/SystemError.h"

#include <algorithm>
#include <cwctype>

namespace paloma::shell {

// ---------------------------------------------------------------------------
// Process-wide state
// ---------------------------------------------------------------------------

namespace {

struct HostState {
    std::unique_ptr<ShellScripts> scripts;
    int depth = 0;
    bool closePending = false;
    ScriptCache cache;
    CMainWnd* current = nullptr;
};

HostState& host() {
    static HostState state;
    return state;
}

bool equalNoCase(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

bool endsWithNoCase(const std::wstring& text, const wchar_t* suffix) {
    size_t n = wcslen(suffix);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, suffix) == 0;
}


} // namespace

void setShellScripts(std::unique_ptr<ShellScripts> scripts) { host().scripts = std::move(scripts); }
ShellScripts* shellScripts() { return host().scripts.get(); }
int dispatchDepth() { return host().depth; }
bool closePending() { return host().closePending; }
ScriptCache& scriptCache() { return host().cache; }
DispatchScope::DispatchScope() { ++host().depth; }
DispatchScope::~DispatchScope() { --host().depth; }

// ---------------------------------------------------------------------------
// Default services
// ---------------------------------------------------------------------------

std::wstring ShellServices::privatePlayerPath() { return widen(privatePlayer().path()); }

void ShellServices::keepPlayerModule(HMODULE module) { privatePlayer().addModule(module); }

std::wstring ShellServices::runFolder() { return widen(paloma::runFolder()); }

std::optional<std::vector<uint8_t>> ShellServices::readScriptResource(const std::wstring& name, std::wstring& error) {
    // A bad block's message is shown by the block reader itself.
    error.clear();
    std::vector<uint8_t> image;
    try {
        if (!readBlockResource(name.c_str(), kTypeQuill, image))
            return std::nullopt;
    } catch (const CKelBaseException&) {
        return std::nullopt; // no such resource
    }
    return image;
}

void ShellServices::showMessage(HWND owner, const std::wstring& text) {
    showMessageBox(owner, text, L"", MB_OK | MB_ICONEXCLAMATION);
}

void ShellServices::startProgram(const std::wstring& commandLine) {
    WinExec(narrow(commandLine).c_str(), SW_SHOWNORMAL);
}

// ---------------------------------------------------------------------------
// Accelerators and the registered player
// ---------------------------------------------------------------------------

const AcceleratorEntry kShellAccelerators[11] = {
    {FVIRTKEY | FCONTROL, 'A', 57642},      {FVIRTKEY | FCONTROL, 'C', 57634},
    {FVIRTKEY | FCONTROL, VK_INSERT, 57634}, {FVIRTKEY | FCONTROL, 'V', 57637},
    {FVIRTKEY | FSHIFT, VK_INSERT, 57637},  {FVIRTKEY | FCONTROL, 'X', 57635},
    {FVIRTKEY | FSHIFT, VK_DELETE, 57635},  {FVIRTKEY | FCONTROL, 'Z', 57643},
    {FVIRTKEY | FALT, VK_BACK, 57643},      {FVIRTKEY, VK_F6, 57680},
    {FVIRTKEY | FSHIFT, VK_F6, 57681},
};

HACCEL loadShellAccelerators(HINSTANCE instance) {
    if (HACCEL table = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(128)))
        return table;
    ACCEL entries[std::size(kShellAccelerators)];
    for (size_t i = 0; i < std::size(kShellAccelerators); ++i)
        entries[i] = ACCEL{kShellAccelerators[i].flags, kShellAccelerators[i].key, kShellAccelerators[i].command};
    return CreateAcceleratorTableW(entries, int(std::size(entries)));
}

std::wstring registeredPlayerPath() {
    std::wstring key = std::wstring(L"CLSID\\") + kClsidShockwaveFlashText + L"\\InProcServer32";
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return {};
    char path[260];
    DWORD size = sizeof(path);
    DWORD type = 0;
    LONG rc = RegQueryValueExA(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(handle);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return {};
    std::string text(path, size);
    text.resize(std::min(text.find('\0'), text.size()));
    if (type == REG_EXPAND_SZ) {
        char expanded[260];
        DWORD n = ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof(expanded));
        if (n == 0 || n > sizeof(expanded))
            return {};
        text = expanded;
    }
    return widen(text);
}

// ---------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------

CMainWnd* CMainWnd::current() { return host().current; }

CMainWnd* CMainWnd::create(ShellServices& services, const std::wstring& title, DWORD style, const RECT& rect) {
    if (!registerClass(kClassName, CS_HREDRAW | CS_VREDRAW))
        return nullptr;
    style &= ~DWORD(WS_BORDER | WS_DLGFRAME);
    style |= WS_POPUP | WS_VISIBLE;
    std::unique_ptr<CMainWnd> window(new CMainWnd(services));
    CreateArgs args;
    args.className = kClassName;
    args.title = title.c_str();
    args.style = style;
    args.rect = rect;
    CMainWnd* self = window.get();
    host().current = self;
    bool created = self->createWindow(args);
    // From here the window owns the object: it deletes itself on its last
    // message, also when the creation failed.
    window.release();
    if (!created) {
        // A failed creation still sent WM_NCDESTROY when WM_CREATE failed;
        // only a window that never got as far must be deleted here.
        if (host().current == self) {
            host().current = nullptr;
            std::unique_ptr<CMainWnd> orphan(self);
        }
        return nullptr;
    }
    return self;
}

void CMainWnd::onFinalMessage() {
    if (host().current == this)
        host().current = nullptr;
    std::unique_ptr<CMainWnd> self(this);
}

bool CMainWnd::createPlayer() {
    // 1-2: the private player first, then the registered one.
    std::wstring path = services_.privatePlayerPath();
    if (path.empty())
        path = registeredPlayerPath();
    // 3: from the module file when a path is known, else by CLSID.
    HMODULE module = nullptr;
    bool created = player_.create(hwnd(), kPlayerId, path, &module);
    if (created && module)
        services_.keepPlayerModule(module);
    if (!created) {
        // 4: the start-up script may end the run quietly.
        if (dispatchCommand(L"Quill_Run", L"Initialize") != ShellScripts::Result::False)
            services_.showMessage(hwnd(), kNoPlayerMessage);
        return false;
    }
    modulePath_ = path;
    // 5: the control's print dialog goes through the print hook.
    if (!path.empty()) {
        if (HMODULE again = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
            installPrintHook(again);
            FreeLibrary(again);
        }
    }
    // 6: keyboard focus to the control.
    if (player_.hwnd())
        SetFocus(player_.hwnd());
    return true;
}

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------

LRESULT CMainWnd::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        return createPlayer() ? 0 : -1;
    case WM_SIZE: {
        RECT rc = {0, 0, LOWORD(lParam), HIWORD(lParam)};
        if (player_.exists())
            player_.move(rc, true);
        return 0;
    }
    case WM_ACTIVATEAPP:
        if (!wParam)
            PostMessageW(hwnd(), WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
    case kCloseRequest:
        close();
        return 0;
    case WM_DESTROY:
        player_.destroy();
        break;
    case WM_COMMAND: {
        UINT id = LOWORD(wParam);
        if (id >= kFirstMenuCommand && id <= kLastMenuCommand) {
            ShellScripts* scripts = shellScripts();
            if (scripts && scripts->hasEngine()) {
                DispatchScope scope;
                scripts->menuCommand(id);
            }
        }
        break;
    }
    }
    return defaultProc(msg, wParam, lParam);
}

// ---------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------

ShellScripts::Result CMainWnd::runCompiled(const std::wstring& name) {
    ShellScripts* scripts = shellScripts();
    if (!scripts)
        return ShellScripts::Result::Other;
    std::string key = narrow(name);
    ScriptCache::Entry* entry = scriptCache().find(key);
    if (!entry) {
        std::wstring error;
        std::optional<std::vector<uint8_t>> image = services_.readScriptResource(name, error);
        if (!image) {
            if (!error.empty())
                services_.showMessage(hwnd(), error);
            return ShellScripts::Result::Other;
        }
        entry = &scriptCache().add(std::move(key), std::move(*image));
    }
    return scripts->runImage(entry->image, entry->state);
}

ShellScripts::Result CMainWnd::dispatchCommand(const std::wstring& command, const std::wstring& args) {
    if (command.empty())
        return ShellScripts::Result::Other;
    DispatchScope scope;
    ShellScripts* scripts = shellScripts();
    if (equalNoCase(command, L"Quill_Quit")) {
        if (scripts)
            scripts->destroyEngine();
    } else if (equalNoCase(command, L"Quill_Run")) {
        return runCompiled(args);
    } else if (equalNoCase(command, L"Quill_AsynRun")) {
        queueCommand(args);
    } else if (equalNoCase(command, L"Quill_Eval")) {
        if (scripts)
            return scripts->evalSource(args);
    } else if (equalNoCase(command, L"Quill_File")) {
        if (scripts)
            return scripts->runFile(args, endsWithNoCase(args, L".qsc"));
    } else if (equalNoCase(command, L"Quill_Trace")) {
        // Nothing: the trace goes through the Application object.
    } else if (equalNoCase(command, L"quit")) {
        close();
    } else if (equalNoCase(command, L"exec")) {
        services_.startProgram(args);
    }
    return ShellScripts::Result::Other;
}

bool CMainWnd::runPendingCommand() {
    if (pending_.empty())
        return false;
    std::wstring text = std::move(pending_.front());
    pending_.pop_front();
    dispatchCommand(L"Quill_Run", text);
    // The run may have closed the window; the object is then gone only after
    // the outermost dispatch returned, which is this one.
    return !pending_.empty();
}

void CMainWnd::onFSCommand(const std::wstring& command, const std::wstring& args) { dispatchCommand(command, args); }

void CMainWnd::onFlashCall(const std::wstring& request) {
    std::optional<std::wstring> answer;
    {
        DispatchScope scope;
        if (ShellScripts* scripts = shellScripts())
            answer = scripts->flashCall(request);
    }
    if (!player_.exists())
        return;
    std::vector<VARIANT> args = {textVariant(answer.value_or(L"<undefined/>"))};
    player_.host().call(L"SetReturnValue", args, nullptr);
    VariantClear(&args[0]);
}

// ---------------------------------------------------------------------------
// Movie
// ---------------------------------------------------------------------------

namespace {

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() {
        if (valid())
            CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

bool readAt(HANDLE file, uint64_t offset, std::vector<uint8_t>& out, size_t count) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN))
        return false;
    out.resize(count);
    DWORD got = 0;
    if (!ReadFile(file, out.data(), DWORD(count), &got, nullptr))
        return false;
    out.resize(got);
    return true;
}

// Enough for the header of a plain or compressed movie.
constexpr size_t kHeaderBytes = 4096;

} // namespace

bool CMainWnd::loadMovie(const std::wstring& path) {
    if (!player_.exists() || FAILED(player_.host().put(L"Movie", path)))
        return false;
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        services_.showMessage(hwnd(), paloma::host::systemErrorText(GetLastError()));
        return true;
    }
    std::vector<uint8_t> head;
    std::optional<MovieHeader> header;
    if (readAt(file.get(), 0, head, kHeaderBytes) && hasMovieSignature(head)) {
        header = readMovieHeader(head);
    } else {
        // A projector: the movie ends 8 bytes before the end of the file,
        // and the file's last 4 bytes give its length.
        LARGE_INTEGER size{};
        std::vector<uint8_t> trailer;
        if (GetFileSizeEx(file.get(), &size) && size.QuadPart >= 8 &&
            readAt(file.get(), uint64_t(size.QuadPart) - 8, trailer, 8) && trailer.size() == 8) {
            uint64_t length = uint64_t(trailer[4]) | uint64_t(trailer[5]) << 8 | uint64_t(trailer[6]) << 16 |
                              uint64_t(trailer[7]) << 24;
            uint64_t end = uint64_t(size.QuadPart) - 8;
            std::vector<uint8_t> movie;
            if (length <= end && readAt(file.get(), end - length, movie, size_t(std::min<uint64_t>(length, kHeaderBytes))))
                header = readMovieHeader(movie);
        }
    }
    if (header)
        player_.setMovieSize(header->width(), header->height());
    return true;
}

// ---------------------------------------------------------------------------
// Closing
// ---------------------------------------------------------------------------

void CMainWnd::close() {
    HWND self = hwnd();
    if (!self || !IsWindowEnabled(self))
        return;
    ShowOwnedPopups(self, FALSE);
    ShowWindow(self, SW_HIDE);
    SetWindowPos(self, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    HostState& state = host();
    if (state.depth == 0) {
        state.closePending = false;
        dispatchCommand(L"Quill_Quit", L"");
        if (state.scripts)
            state.scripts->releaseGlobalState();
        state.cache.clear();
        player_.destroy();
        DestroyWindow(self); // deletes this object
        PostQuitMessage(0);
        return;
    }
    // A script is running below this call: retry once it has returned, and
    // cancel a dialog it may be waiting on.
    HWND active = GetActiveWindow();
    if (active && active != self) {
        DWORD process = 0;
        GetWindowThreadProcessId(active, &process);
        if (process == GetCurrentProcessId())
            PostMessageW(active, WM_COMMAND, IDCANCEL, 0);
    }
    state.closePending = true;
    PostMessageW(self, WM_CLOSE, 0, 0);
}

} // namespace paloma::shell
