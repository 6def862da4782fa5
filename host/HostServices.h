#pragma once
// What host classes need from the program that runs them: the player
// window, the Flash control, the live runtime settings, the package
// archive, the trace output and the application profile. The shell
// implements this interface (app/shell); `quill` and the tests run with the
// defaults, where there is no window, no control and no archive: classes
// that need one exist and answer their documented failure results.
//
// Families include this header only; nothing under host/ includes the
// shell's own headers.
//
// One program runs its script engines on its single user-interface thread,
// so the services are process-wide: the shell installs its implementation
// with ScopedHostServices for the life of its main window.

#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#include <oaidl.h>
#endif

namespace paloma {
struct RuntimeSettings;
class Archive;
} // namespace paloma

namespace paloma::host {

#ifdef _WIN32
using WindowHandle = HWND;
using ControlDispatch = IDispatch*;
#else
using WindowHandle = void*;
using ControlDispatch = void*;
#endif

class HostServices {
public:
    virtual ~HostServices() = default;

    // The player's main window; null when there is none.
    virtual WindowHandle playerWindow() { return nullptr; }
    // The Flash control's automation interface (not AddRef'ed: valid while
    // the player window lives); null when there is no control.
    virtual ControlDispatch flashControl() { return nullptr; }
    // The live runtime settings (changed by scripts while the player runs);
    // null when the program has none.
    virtual RuntimeSettings* settings() { return nullptr; }
    // The package archive; null when the program runs without one.
    virtual const Archive* archive() { return nullptr; }
    // Writes one line to the program's trace output (without its line end).
    virtual void trace(std::string_view line) { (void)line; }
    // The application profile file (readProfile/writeProfile), ANSI path;
    // empty when there is none.
    virtual std::string profilePath() { return {}; }
};

// The services now installed; the defaults when none are.
HostServices& hostServices();

// Installs `services` for the scope (the previous ones come back after it).
class ScopedHostServices {
public:
    explicit ScopedHostServices(HostServices& services);
    ~ScopedHostServices();
    ScopedHostServices(const ScopedHostServices&) = delete;
    ScopedHostServices& operator=(const ScopedHostServices&) = delete;

private:
    HostServices* previous_;
};

} // namespace paloma::host
