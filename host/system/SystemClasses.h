#pragma once
// Registration of the system family's Windows classes: RegKey, RegValue,
// Shortcut, URLShortcut, Shell and SysInfo.

#include "script/Quill.h"

namespace paloma::host {

#ifdef _WIN32
void registerRegKeyClass(quill::Engine& engine);
void registerRegValueClass(quill::Engine& engine);
void registerShortcutClass(quill::Engine& engine);
void registerURLShortcutClass(quill::Engine& engine);
void registerShellClass(quill::Engine& engine);
void registerSysInfoClass(quill::Engine& engine);
#endif

} // namespace paloma::host
