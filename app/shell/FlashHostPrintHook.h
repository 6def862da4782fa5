#pragma once
// The print hook: the control's import of PrintDlgA from comdlg32.dll is
// redirected to the shell, which can print silently to the default printer
// and apply the print settings a script gave (orientation, copies, paper).

#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <optional>

#include "host/HostServices.h"

namespace paloma::shell {

// Replaces, in the import table of `module`, the entry of `function` imported
// from `dll` (names compared without regard to case) with `replacement`.
// `original` receives the address that was there. False when the module has
// no such import.
bool redirectImport(HMODULE module, const char* dll, const char* function, void* replacement, void** original);

// Print settings from a script; every field is optional.
using PrintSettings = host::PrintSettings;

struct PrintHookState {
    // The system's print dialog that the control imported.
    BOOL(WINAPI* original)(LPPRINTDLGA) = nullptr;
    bool silent = false;
    // The print settings object, when a script set one.
    std::function<std::optional<PrintSettings>()> settings;
    unsigned calls = 0;
};

PrintHookState& printHookState();

// Redirects the control module's PrintDlgA to printHook.
bool installPrintHook(HMODULE controlModule);

BOOL WINAPI printHook(LPPRINTDLGA dialog);

// Writes the settings into a device mode, as the hook does after the dialog.
void applyPrintSettings(const PrintSettings& settings, DEVMODEA& mode, PRINTDLGA& dialog);

} // namespace paloma::shell
