#pragma once
// Registration of the system family's Windows classes: RegKey, RegValue,
// Shortcut, URLShortcut, Shell and SysInfo.

#ifdef _WIN32
#include <windows.h>
#endif

#include "script/Quill.h"

namespace paloma::host {

#ifdef _WIN32
void registerRegKeyClass(quill::Engine& engine);
void registerRegValueClass(quill::Engine& engine);
void registerShortcutClass(quill::Engine& engine);
void registerURLShortcutClass(quill::Engine& engine);
void registerShellClass(quill::Engine& engine);
void registerSysInfoClass(quill::Engine& engine);

// The call through which SysInfo's logOff, shutdown, reboot and powerOff
// leave the session (the system's ExitWindowsEx unless replaced). Tests
// replace it so that nothing is ever shut down; returns the previous one
// (null restores the system's).
using ExitWindowsFunction = BOOL(WINAPI*)(UINT flags, DWORD reason);
ExitWindowsFunction setExitWindowsFunction(ExitWindowsFunction f);
#endif

} // namespace paloma::host
