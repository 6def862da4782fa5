#pragma once
// The Application object, its Preferences object and the global host
// functions, and what the shell asks of them: the movie a script chooses,
// the notice that a movie was loaded, the custom cursor, and the release of
// the process-wide state when the main window closes.

#include <optional>
#include <string>
#include <string_view>

#include "script/Quill.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace paloma::host {

#ifdef _WIN32
// Application (with `_Preferences_` and the `$WU...` constants).
void registerApplicationClass(quill::Engine& engine);
// getMainWnd, getAppDir, getExeName, getMovies, getAdditionalFile,
// readProfile, writeProfile, processMsg, invoke, _call.
void registerHostFunctions(quill::Engine& engine);

// The shell's hooks. onGetMovie: the movie a script's handler chooses, or
// nothing (no handler, a false result, or no string `value`).
std::optional<std::wstring> movieFromScript();
// onMovieLoaded: after the control has accepted `path`.
void notifyMovieLoaded(const std::wstring& path);
// The custom cursor set through Application.cursor; null when none.
HCURSOR applicationCursor();
// When the main window closes: the second script host of `invoke`, the
// custom cursor and the trace file go.
void releaseApplicationState();

// The engine Application handlers run in (the one that registered the
// class last), and the number of live interval timers.
quill::Engine* applicationEngine();
size_t intervalCount();
#endif

} // namespace paloma::host
