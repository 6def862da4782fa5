// The shell's side of the host classes' services.
#include "app/shell/ShellHostServices.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/shell/FlashHostPrintHook.h"
#include "app/shell/MainWnd.h"
#include "app/shell/PackageFiles.h"
#include "app/shell/ScreenSaverOptions.h"
#include "app/shell/SettingsStore.h"
#include "app/shell/ShellContext.h"
#include "base/TextCodec.h"
#include "base/WinText.h"
#include "host/framework/WinHandles.h"

namespace paloma::shell {

// While a timer or window event runs a script: the engine stays (a
// "Quill_Quit" meanwhile is carried out afterwards) and so does the main
// window (a close meanwhile is retried afterwards).
struct ShellHostServices::Hold {
    explicit Hold(bridge::EngineKeeper& keeper) : use(keeper) {}
    DispatchScope depth;
    bridge::EngineKeeper::Use use;
};

ShellHostServices::ShellHostServices() = default;

ShellHostServices::~ShellHostServices() {
    if (accelerators_)
        DestroyAcceleratorTable(accelerators_);
}

host::WindowHandle ShellHostServices::playerWindow() {
    CMainWnd* main = CMainWnd::current();
    return main ? main->hwnd() : nullptr;
}

host::ControlDispatch ShellHostServices::flashControl() {
    CMainWnd* main = CMainWnd::current();
    return main ? main->player().control() : nullptr;
}

RuntimeSettings* ShellHostServices::settings() { return shellContext().settings; }

const MovieList* ShellHostServices::movieList() { return shellContext().movieList; }

void ShellHostServices::trace(std::string_view line) {
    // The shell's trace output is the file PALOMA_TRACE_LOG names, when set.
    if (const char* log = std::getenv("PALOMA_TRACE_LOG"); log && *log) {
        if (FILE* f = std::fopen(log, "ab")) {
            std::fwrite(line.data(), 1, line.size(), f);
            std::fputs("\r\n", f);
            std::fclose(f);
        }
    }
}

std::string ShellHostServices::extractionFolder() { return narrow(paloma::extractionFolder()); }

std::optional<std::string> ShellHostServices::extractAdditionalFile(std::string_view path) {
    if (path.empty() || paloma::extractionFolder().empty())
        return std::nullopt;
    std::wstring local = resolvePackagePath(ansiToUtf16(path));
    if (local.empty())
        return std::nullopt;
    return narrow(local);
}

void ShellHostServices::applyCdAutorun() {
    if (RuntimeSettings* s = settings())
        setCdAutorun((s->optionFlags & kOptionNoCdAutorun) == 0);
}

bool ShellHostServices::preTranslateMessage(MSG& msg) {
    HWND main = shellMainWindow();
    if (!main || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST)
        return false;
    if (!accelerators_)
        accelerators_ = loadShellAccelerators(GetModuleHandleW(nullptr));
    return accelerators_ && TranslateAcceleratorW(main, accelerators_, &msg) != 0;
}

void ShellHostServices::exitApplication(int exitCode) {
    // The program's own loop ends the run once the script has returned: the
    // engine that called the pump is never torn down underneath it.
    PostQuitMessage(exitCode);
}

std::optional<std::string> ShellHostServices::readProfileString(const std::string& section, const std::string& entry) {
    const SettingsStore* store = shellContext().store;
    if (!store)
        return HostServices::readProfileString(section, entry);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, store->sectionPath(section).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    UniqueRegKey owner(key);
    char text[4096] = {};
    DWORD size = sizeof text - 1, type = 0;
    if (RegQueryValueExA(key, entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    return std::string(text);
}

bool ShellHostServices::writeProfileString(const std::string& section, const std::string& entry,
                                           const std::string& value) {
    const SettingsStore* store = shellContext().store;
    if (!store)
        return HostServices::writeProfileString(section, entry, value);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, store->sectionPath(section).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    UniqueRegKey owner(key);
    return RegSetValueExA(key, entry.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD(value.size() + 1)) == ERROR_SUCCESS;
}

void ShellHostServices::enterScripts() {
    if (keeper_ && keeper_->engine())
        holds_.push_back(std::make_unique<Hold>(*keeper_));
    else
        holds_.push_back(nullptr);
}

void ShellHostServices::leaveScripts() {
    if (!holds_.empty())
        holds_.pop_back();
}

bool ShellHostServices::movieSize(int& width, int& height) {
    CMainWnd* main = CMainWnd::current();
    if (!main || main->player().movieWidth() <= 0 || main->player().movieHeight() <= 0)
        return false;
    width = main->player().movieWidth();
    height = main->player().movieHeight();
    return true;
}

void ShellHostServices::forwardFSCommand(const std::wstring& command, const std::wstring& args) {
    if (CMainWnd* main = CMainWnd::current())
        main->dispatchCommand(command, args);
}

std::wstring ShellHostServices::flashModulePath() {
    CMainWnd* main = CMainWnd::current();
    return main ? main->playerModulePath() : std::wstring();
}

bool ShellHostServices::printDialogShown() { return !printHookState().silent; }

void ShellHostServices::showPrintDialog(bool shown) { printHookState().silent = !shown; }

void ShellHostServices::setPrintSettings(const void* owner, host::PrintSettingsSource source) {
    printSettingsOwner_ = source ? owner : nullptr;
    printHookState().settings = std::move(source);
}

void ShellHostServices::releasePrintSettings(const void* owner) {
    if (!owner || owner != printSettingsOwner_)
        return;
    printSettingsOwner_ = nullptr;
    printHookState().settings = nullptr;
}

} // namespace paloma::shell
