#pragma once
// The run folder: a fresh folder below the temporary directory that holds
// every file the run extracts (below "_extra\"), deleted with all its content
// at exit. Also the temporary file names of the player installer.

#include <optional>
#include <string>
#include <string_view>

namespace paloma {

// TMP, TEMP or the Windows directory (each only when 1 to 259 characters
// long), ending in "\".
std::string temporaryDirectory();

// Creates the run folder "<temporary directory>{GUID}\" and makes it the
// process's run folder, holding its lock file (Paloma.lock, sharing denied)
// open for the rest of the run. False when no GUID or no folder could be had.
// First it sweeps the run folders that earlier runs left behind when they
// were killed or crashed (sweepStaleRunFolders).
bool createRunFolder();

// Deletes every folder directly inside `temporaryDirectory` whose name has
// the run folders' form and whose lock file exists and can be opened with
// sharing denied: its owner is gone. A folder whose lock is held belongs to
// a live run, one without a lock file is not known to be a run folder (or
// its run is just starting), and links are never followed; all of them
// stay. The number of folders deleted.
int sweepStaleRunFolders(const std::string& temporaryDirectory);

// The run folder's path with its trailing "\", empty before creation.
const std::string& runFolder();

// Unloads a "flash.ocx" module loaded from the run folder, then deletes the
// folder with everything below it. Safe to call when there is none.
void deleteRunFolder();

// Deletes a folder and everything below it (read-only files included; links
// are removed, never followed). True when nothing is left.
bool deleteTree(const std::wstring& folder);

// A temporary file path that does not exist yet: the temporary directory,
// the tick count as "%04X" and a counter, then the suffix (".tmp", ".cab").
std::optional<std::string> temporaryFileName(std::string_view suffix);

} // namespace paloma
