#pragma once
// The application object: start-up (command line, installer hooks, making
// the executable the system screen saver, the packaged configuration, the
// run mode), the message loop with idle processing and accelerators, and
// the exit routine that undoes what the run changed and deletes the run
// folder.

#include "app/CommandLine.h"
#include "app/shell/ScreenSaverOptions.h"
#include "app/shell/SettingsStore.h"
#include "app/shell/StartupServices.h"

#include <windows.h>

#include <string>
#include <vector>

namespace paloma {

inline constexpr const wchar_t* kInvalidApplicationData = L"Invalid application data";

class PalomaApp {
public:
    // `args` are the arguments after the program name.
    explicit PalomaApp(std::vector<std::string> args);

    // Start-up; false ends the program at once (the exit routine still runs).
    bool initInstance();
    // The message loop; returns at once when there is no main window.
    int run();
    // The exit routine; answers the process exit code.
    int exitInstance();

    RunMode mode() const { return mode_; }
    bool installHookRun() const { return installHook_; }
    bool setDefaultRun() const { return setDefault_; }
    const SettingsStore& store() const { return store_; }

    // Idle processing: the main window's first queued script command.
    // Answers whether more idle time is wanted.
    static bool onIdle();

private:
    bool startFullScreen();
    bool startPreview();
    bool startSettingsDialog();
    bool preTranslateMessage(MSG& msg);
    // The profile name with every "\" as a space: the title of start-up's box.
    std::wstring profileTitle() const;

    std::vector<std::string> args_;
    RunMode mode_ = RunMode::End;
    bool installHook_ = false;
    bool setDefault_ = false;
    HACCEL accelerators_ = nullptr;
    SettingsStore store_;
    StartupServices services_;
    bool cdAutorunApplied_ = false;
    bool cdAutorunBefore_ = true;
    MuteState mute_;
    bool muteChanged_ = false;
    bool oleInitialised_ = false;
    std::string applicationName_;
    int exitCode_ = 0;
};

// Keyboard pre-translation of the message loop: a script menu's accelerator,
// then the shell's accelerator table for the main window. True when the
// message was consumed; keys reach their window only otherwise.
bool translateShellKeys(MSG& msg, HWND main, HACCEL accelerators);

// The arguments of the process's command line after the program name.
std::vector<std::string> commandLineArguments();

} // namespace paloma
