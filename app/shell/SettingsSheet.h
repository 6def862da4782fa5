#pragma once
// The screen saver's settings sheet "Configurations": the Preferences page
// (wake-up methods, hot key, background colour and the options) and the
// "About me" page (title, version, rights notice, link and e-mail
// hyperlinks, and a picture area showing the page's movie, another packaged
// file as a picture, or the background picture). OK writes the Preferences
// page back into the runtime settings and stores the whole record as
// "Options"; Cancel changes nothing. Both pages come from the runtime's own
// dialog templates (133 and 3000).

#include "app/shell/MainWndServices.h"

#include <windows.h>

namespace paloma {
struct ShellContext;
}

namespace paloma::shell {

// Runs the sheet modally, owned by `parent` (may be null). True when it
// ended with OK; the context's settings are then updated and stored.
bool runSettingsSheet(HWND parent, const ShellContext& context, ShellServices& services);

// Opens the help file the settings name: ".chm" through the HTML help
// library (loaded on first use), ".hlp" through WinHelp (the contents).
// False when the name has neither ending or the call failed.
bool openSettingsHelp(HWND caller, const std::wstring& helpFile);

// Releases the HTML help library if it was loaded; the exit routine calls it.
void releaseHtmlHelp();

} // namespace paloma::shell
