// The application object.
#include "app/shell/PalomaApp.h"

#include "app/ShellErrors.h"
#include "app/shell/ConfigurationLoader.h"
#include "app/shell/HookScript.h"
#include "app/shell/Hyperlink.h"
#include "app/shell/MainWnd.h"
#include "app/shell/MainWndBridge.h"
#include "app/shell/MainWndQuill.h"
#include "app/shell/PackageFiles.h"
#include "app/shell/PreviewWnd.h"
#include "app/shell/PrivatePlayer.h"
#include "app/shell/RunFolder.h"
#include "app/shell/ShellContext.h"
#include "app/shell/SettingsSheet.h"
#include "app/shell/ShellMessageBox.h"
#include "host/system/SystemScreenSaver.h"
#include "base/WinText.h"
#include "host/app/Application.h"
#include "host/window/Window.h"

#include <ole2.h>
#include <shellapi.h>

namespace paloma {

namespace {

std::string executableBaseName() {
    std::wstring path = modulePath();
    size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.resize(dot);
    return narrow(name);
}

} // namespace

std::vector<std::string> commandLineArguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(narrow(argv[i]));
    LocalFree(argv);
    return args;
}

bool PalomaApp::onIdle() {
    shell::CMainWnd* window = shell::CMainWnd::current();
    return window && window->hasPendingCommands() && window->runPendingCommand();
}

PalomaApp::PalomaApp(std::vector<std::string> args)
    : args_(std::move(args)), applicationName_(executableBaseName()) {}

std::wstring PalomaApp::profileTitle() const {
    std::wstring title = widen(store_.profileName().empty() ? applicationName_ : store_.profileName());
    for (wchar_t& c : title)
        if (c == L'\\')
            c = L' ';
    return title;
}

bool PalomaApp::initInstance() {
    mode_ = chooseRunMode(args_);

    // 1. Installer hooks run their script and end.
    if (std::string_view hook = hookScriptName(mode_); !hook.empty()) {
        runInstallerHook(hook);
        installHook_ = true;
        return false;
    }

    // 2.
    setDefault_ = false;
    accelerators_ = nullptr;

    // 3. Only install this executable as the system screen saver.
    if (mode_ == RunMode::SetDefault) {
        makeSystemScreenSaver(modulePath());
        setDefault_ = true;
        return true;
    }

    // 4. Hosting of ActiveX controls: OLE on this thread before any control
    // is created (the control is created by its CLSID through COM, and it
    // expects OLE for in-place activation). Released by the exit routine.
    oleInitialised_ = SUCCEEDED(OleInitialize(nullptr));
    shell::registerHyperlinkClass();

    // 5. The identity record names the settings store.
    auto store = readIdentityStore(ansiToUtf16(applicationName_));
    if (!store) {
        showMessageBox(nullptr, kInvalidApplicationData, profileTitle(), MB_OK | MB_ICONERROR);
        return false;
    }
    store_ = std::move(*store);

    // 6. The run folder; without one the program ends silently.
    if (!createRunFolder())
        return false;

    // 7. The settings through the store, and the movie list. A package
    // without its configuration resources stops with the same message.
    try {
        loadConfiguration(store_, runtimeSettings(), movieList());
    } catch (const CKelBaseException&) {
        showMessageBox(nullptr, kInvalidApplicationData, profileTitle(), MB_OK | MB_ICONERROR);
        return false;
    }

    // 8.
    ShellContext& context = shellContext();
    context.movieList = &movieList();
    context.settings = &runtimeSettings();
    context.store = &store_;

    // 9. The run mode.
    switch (mode_) {
    case RunMode::Settings:
        return startSettingsDialog();
    case RunMode::Preview:
        return startPreview();
    case RunMode::FullScreen:
        return startFullScreen();
    default:
        return true;
    }
}

// The settings sheet runs modally without owner; the run ends with it.
bool PalomaApp::startSettingsDialog() {
    shell::runSettingsSheet(nullptr, shellContext(), services_);
    return true;
}

bool PalomaApp::startPreview() {
    // A missing handle, or one that names no window, ends the run.
    HWND parent = reinterpret_cast<HWND>(static_cast<uintptr_t>(parsePreviewHandle(args_)));
    if (!parent || !IsWindow(parent))
        return true;
    shell::CPreviewWnd* preview =
        shell::CPreviewWnd::create(services_, parent, runtimeSettings(), textOr(movieList().name));
    if (!preview)
        return true;
    setShellMainWindow(preview->hwnd());
    return true;
}

bool PalomaApp::startFullScreen() {
    const RuntimeSettings& settings = runtimeSettings();

    // 1. The main window over the whole screen, with the shell's script
    // engine behind its script commands (the engine itself is created by
    // the first command that needs it).
    auto scripts = std::make_unique<shell::QuillShellScripts>();
    shell::connectBridge(*scripts);
    shell::setShellScripts(std::move(scripts));
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    shell::CMainWnd* window = shell::CMainWnd::create(services_, L"", 0, screen);
    if (!window)
        return false;
    HWND hwnd = window->hwnd();
    // The wake-up rules on the player window: input that wakes closes this window.
    window->player().setWakeRules({settings.wakeUpMethods, settings.optionFlags, settings.hotKeyCode,
                                   settings.hotKeyModifiers},
                                  hwnd);

    // 2.-3.
    accelerators_ = shell::loadShellAccelerators(GetModuleHandleW(nullptr));
    cdAutorunBefore_ = setCdAutorun((settings.optionFlags & kOptionNoCdAutorun) == 0);
    cdAutorunApplied_ = true;

    // 4. The start-up script may end the run.
    setShellMainWindow(hwnd);
    if (window->dispatchCommand(L"Quill_Run", L"Initialize") == shell::ShellScripts::Result::False ||
        shell::CMainWnd::current() != window) {
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
        return false;
    }

    // 5.-7. Scale mode, the movie, the background colour.
    shell::FlashHost& player = window->player().host();
    player.put(L"ScaleMode", long((settings.optionFlags & kOptionDefaultMovieSize) ? 3 : 2));
    // The start-up script's onGetMovie handler may choose the movie.
    std::wstring movie;
    if (auto chosen = host::movieFromScript())
        movie = *chosen;
    else
        movie = resolvePackagePath(textOr(movieList().name));
    if (shell::CMainWnd::current() != window)
        return false; // a script closed the window meanwhile
    if (window->loadMovie(movie))
        host::notifyMovieLoaded(movie);
    if (shell::CMainWnd::current() != window)
        return false;
    if (settings.optionFlags & kOptionBackgroundColour) {
        player.put(L"BackgroundColor", shell::colorRefToRgb(settings.backgroundColour));
    }

    // 8. Mute.
    if (settings.optionFlags & kOptionMute)
        muteChanged_ = applyMute(true, mute_);

    // 9.
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    return true;
}

bool translateShellKeys(MSG& msg, HWND main, HACCEL accelerators) {
    if (main && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
        if (host::translateMenuAccelerator(msg))
            return true; // a script menu's accelerator
        if (accelerators)
            return TranslateAcceleratorW(main, accelerators, &msg) != 0;
    }
    return false;
}

bool PalomaApp::preTranslateMessage(MSG& msg) { return translateShellKeys(msg, shellMainWindow(), accelerators_); }

int PalomaApp::run() {
    if (!shellMainWindow())
        return 0;
    MSG msg;
    for (;;) {
        // Idle processing while no message waits.
        bool moreIdle = true;
        while (moreIdle && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE))
            moreIdle = onIdle();
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1)
            return got == 0 ? int(msg.wParam) : 0;
        if (preTranslateMessage(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int PalomaApp::exitInstance() {
    // The shell's engine and its host objects go first: they may hold files
    // of the run folder, and they go before OLE does.
    shell::setShellScripts(nullptr);
    shell::scriptCache().clear();
    if (!installHook_ && !setDefault_) {
        shell::releaseHtmlHelp();
        // Free the settings' strings, clear the movie list.
        runtimeSettings() = RuntimeSettings{};
        movieList().clear();
        // What the full-screen start-up changed on the machine.
        if (cdAutorunApplied_)
            setCdAutorun(cdAutorunBefore_);
        if (muteChanged_)
            restoreMute(mute_);
        // A player module in the run folder is unloaded with the folder.
        deleteRunFolder();
    }
    privatePlayer().release();
    if (oleInitialised_) {
        OleUninitialize();
        oleInitialised_ = false;
    }
    return exitCode_;
}

} // namespace paloma
