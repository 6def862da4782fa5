#pragma once
// The application object: start-up (command line, installer hooks, making
// the executable the system screen saver, the packaged configuration, the
// run mode), the message loop with idle processing and accelerators, and
// the exit routine that undoes what the run changed and deletes the run
// folder.

#include "app/CommandLine.h"
#include "app/shell/SettingsStore.h"

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

    // Work for idle time (the main window's queued script commands). Answers
    // whether more idle time is wanted.
    using IdleHandler = bool (*)();
    static void setIdleHandler(IdleHandler handler);

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
    std::string applicationName_;
    int exitCode_ = 0;
};

// The arguments of the process's command line after the program name.
std::vector<std::string> commandLineArguments();

} // namespace paloma
