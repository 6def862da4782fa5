#pragma once
// The runtime's command-line grammar: which run mode argv[1] selects, and the
// screen-saver switch match (one leading "-" or "/" dropped, then the letter
// alone or as the first character, case ignored).

#include <string_view>
#include <vector>
#include <string>

namespace paloma {

enum class RunMode {
    AfterInstall,  // "/AfterInstall": run that hook script, then end
    BeforeUninst,  // "/BeforeUninst": run that hook script, then end
    SetDefault,    // "-setdefault": make this executable the system screen saver
    Settings,      // no argument or c: the settings dialog
    Preview,       // p: draw into the window whose handle is argv[2]
    FullScreen,    // s: full-screen playback
    End,           // anything else: end at once
};

// True when arg matches the switch letter (ASCII letter, either case).
bool matchesSwitch(std::string_view arg, char letter);

// Mode chosen by the arguments after the program name (args[0] is argv[1]).
RunMode chooseRunMode(const std::vector<std::string>& args);

// The hook script's resource name for the two installer-hook modes, else empty.
std::string_view hookScriptName(RunMode mode);

// The preview's parent window handle: argv[2] read as a decimal number. An
// absent, empty or non-numeric argument gives 0 (no window).
unsigned long long parsePreviewHandle(const std::vector<std::string>& args);

} // namespace paloma
