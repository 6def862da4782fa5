#pragma once
// The process-wide state of the shell that start-up fills: the runtime
// settings, the movie list, the shell context handed to every window and
// dialog, and the main window (none until a mode creates one).

#include "app/MovieList.h"
#include "app/RuntimeSettings.h"

#include <windows.h>

namespace paloma {

// What start-up hands to the shell's windows and dialogs.
class SettingsStore;

struct ShellContext {
    MovieList* movieList = nullptr;
    RuntimeSettings* settings = nullptr;
    const SettingsStore* store = nullptr; // the per-user profile (readProfile/writeProfile)
    void* reserved[4] = {}; // slots for later parts of the shell
};

RuntimeSettings& runtimeSettings();
MovieList& movieList();
ShellContext& shellContext();

// The main window of the run: owner of the shell's error boxes.
HWND shellMainWindow();
void setShellMainWindow(HWND window);

// The program's own executable, full path.
std::wstring modulePath(HMODULE module = nullptr);

} // namespace paloma
