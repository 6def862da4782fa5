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

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#include <oaidl.h>
#endif

namespace paloma {
struct RuntimeSettings;
struct MovieList;
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

// Print settings a script gave for the control's printing; every field is
// optional.
struct PrintSettings {
    std::optional<long> orientation, copies, paperSize, pageWidth, pageHeight;
};
using PrintSettingsSource = std::function<std::optional<PrintSettings>()>;

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

#ifdef _WIN32
    // The application's own handling of a message taken from the queue by a
    // script's message pump (accelerators, dialog keys), before translation
    // and dispatch: true when it consumed the message.
    virtual bool preTranslateMessage(MSG& msg) {
        (void)msg;
        return false;
    }
#endif
    // The application's exit routine, run when a script's message pump meets
    // the quit message (with the quit message's exit code).
    virtual void exitApplication(int exitCode) { (void)exitCode; }
    // A string of the application profile (ANSI); nothing when it is absent.
    // The default reads the profile file.
    virtual std::optional<std::string> readProfileString(const std::string& section, const std::string& entry);
    // Writes a string of the application profile; the default writes the
    // profile file (creating its folder).
    virtual bool writeProfileString(const std::string& section, const std::string& entry, const std::string& value);

    // The movie list of the package; null when the program has none.
    virtual const MovieList* movieList() { return nullptr; }
    // The folder additional files are extracted to (the run folder's
    // "_extra\"), ANSI, with its trailing backslash; empty when there is
    // none.
    virtual std::string extractionFolder() { return {}; }
    // Extracts the file of that path (backslashes) of the package archive's
    // application files below the extraction folder, creating its folders,
    // and gives its full path; nothing when it cannot be had.
    virtual std::optional<std::string> extractAdditionalFile(std::string_view path) {
        (void)path;
        return std::nullopt;
    }
    // Applies the CD-autorun setting of the live settings at once.
    virtual void applyCdAutorun() {}
    // Brackets a call into a script engine that does not come from a script
    // (a timer, a window event, a menu command): the program keeps the
    // engine alive and its main window open until the call has returned.
    virtual void enterScripts() {}
    virtual void leaveScripts() {}

    // The natural size of the movie loaded into the player window's control,
    // in pixels; false when none is known.
    virtual bool movieSize(int& width, int& height) {
        (void)width;
        (void)height;
        return false;
    }
#ifdef _WIN32
    // An FSCommand of another movie (a Form's) that the main window handles
    // as its own.
    virtual void forwardFSCommand(const std::wstring& command, const std::wstring& args) {
        (void)command;
        (void)args;
    }
    // The module file the player window's control came from; empty when it
    // was created through COM (or there is none).
    virtual std::wstring flashModulePath() { return {}; }
#endif
    // The control's printing: whether it shows the print dialog (else it
    // prints to the default printer), and where the print settings come
    // from. `owner` identifies the source: releasePrintSettings() of another
    // owner keeps it.
    virtual bool printDialogShown() { return true; }
    virtual void showPrintDialog(bool shown) { (void)shown; }
    virtual void setPrintSettings(const void* owner, PrintSettingsSource source) {
        (void)owner;
        (void)source;
    }
    virtual void releasePrintSettings(const void* owner) { (void)owner; }
};

// enterScripts()/leaveScripts() for a scope.
class ScriptCallScope {
public:
    ScriptCallScope();
    ~ScriptCallScope();
    ScriptCallScope(const ScriptCallScope&) = delete;
    ScriptCallScope& operator=(const ScriptCallScope&) = delete;
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
