#pragma once
// CMainWnd: the full-screen window of a playback run. It hosts the Flash
// control as its only child (the player window, ID 1000), loads the movie,
// turns the control's FSCommand and FlashCall events into script work, queues
// asynchronous script commands for the idle loop, forwards script menu
// commands, and closes itself without pulling the script engine from under a
// running script: while a dispatch runs (the dispatch depth is above 0) a
// close is deferred by posting WM_CLOSE again.

#include "app/shell/MainWndScriptCache.h"
#include "app/shell/MainWndServices.h"
#include "app/shell/PlayerWindow.h"
#include "host/framework/WindowBase.h"

#include <deque>
#include <memory>
#include <string>

namespace paloma::shell {

class CMainWnd final : public host::WindowBase, private FlashEvents {
public:
    static constexpr int kPlayerId = 1000;
    static constexpr UINT kCloseRequest = WM_APP + 100;
    static constexpr UINT kFirstMenuCommand = 47000;
    static constexpr UINT kLastMenuCommand = 56999;
    static constexpr wchar_t kClassName[] = L"PalomaMainWnd";
    static constexpr wchar_t kNoPlayerMessage[] = L"Failed to load the Macromedia Flash Player!";

    // Creates the main window with its player. The style is adjusted first
    // (no caption or frame; popup and visible). Null when the window or the
    // player cannot be created; the window object then no longer exists. The
    // window object deletes itself when its window is destroyed.
    static CMainWnd* create(ShellServices& services, const std::wstring& title, DWORD style, const RECT& rect);
    // The main window of the run, or null.
    static CMainWnd* current();

    ShellScripts::Result dispatchCommand(const std::wstring& command, const std::wstring& args);
    void queueCommand(const std::wstring& text) { pending_.push_back(text); }
    bool hasPendingCommands() const { return !pending_.empty(); }
    // Idle processing: runs the first queued command as "Quill_Run"; true
    // when more are queued.
    bool runPendingCommand();

    // Puts the path into the control's Movie and records the movie's size.
    bool loadMovie(const std::wstring& path);
    // The closing protocol.
    void close();

    PlayerWindow& player() { return player_; }
    ShellServices& services() { return services_; }
    // Path of the module the control came from; empty when it came from COM.
    const std::wstring& playerModulePath() const { return modulePath_; }

private:
    explicit CMainWnd(ShellServices& services) : services_(services), player_(*this) {}

    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void onFinalMessage() override;
    bool createPlayer();
    ShellScripts::Result runCompiled(const std::wstring& name);

    void onFSCommand(const std::wstring& command, const std::wstring& args) override;
    void onFlashCall(const std::wstring& request) override;

    ShellServices& services_;
    PlayerWindow player_;
    std::deque<std::wstring> pending_;
    std::wstring modulePath_;
};

// ---------------------------------------------------------------------------
// Process-wide state of the host
// ---------------------------------------------------------------------------

// The shell's script engine behind its interface; start-up installs it.
void setShellScripts(std::unique_ptr<ShellScripts> scripts);
ShellScripts* shellScripts();

// How many FSCommand or bridge calls are running; they nest.
int dispatchDepth();
bool closePending();

// Raises the dispatch depth for its lifetime; other parts that call into
// scripts on the main window's behalf use it too.
class DispatchScope {
public:
    DispatchScope();
    ~DispatchScope();
    DispatchScope(const DispatchScope&) = delete;
    DispatchScope& operator=(const DispatchScope&) = delete;
};

ScriptCache& scriptCache();

// The control's colour form 0xRRGGBB of a COLORREF (0x00BBGGRR).
constexpr long colorRefToRgb(COLORREF c) {
    return long((c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
}

// The registered player's module path: the default value of the control's
// InProcServer32 key, empty when there is none.
std::wstring registeredPlayerPath();

// Accelerator table 128: from the executable's resources when it carries the
// table, else built from the same entries.
HACCEL loadShellAccelerators(HINSTANCE instance);
struct AcceleratorEntry {
    BYTE flags;
    WORD key;
    WORD command;
};
extern const AcceleratorEntry kShellAccelerators[11];

} // namespace paloma::shell
