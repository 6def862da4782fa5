#pragma once
// The system's screen-saver entry, shared by the shell ("-setdefault") and
// the SysInfo class: installing an executable as the screen saver, reading
// which one is installed, the active flag and the time-out. Windows only.

#include <string>

namespace paloma {

// Switches screen saving on and makes `longPath` the system screen saver:
// SYSTEM.INI's [boot] SCRNSAVE.EXE (long path) on the 9x family, otherwise
// HKEY_CURRENT_USER\Control Panel\Desktop "SCRNSAVE.EXE" (short 8.3 path),
// followed by WM_WININICHANGE to every top-level window. False when the path
// has no short form or the entry could not be written.
bool makeSystemScreenSaver(const std::wstring& longPath);

// The installed screen saver's path (the registry value wins over SYSTEM.INI
// on the 9x family), empty when none.
std::wstring currentSystemScreenSaver();

bool screenSaverActive();
bool setScreenSaverActive(bool active);
int screenSaverTimeout();
bool setScreenSaverTimeout(int seconds);

} // namespace paloma
