#pragma once
// Files of the package: a path inside the archive appended to an executable
// (the program's own by default) resolved to a local file below the run
// folder's "_extra\", extracted on first use; beside the executable when it
// carries no archive.

#include <string>
#include <string_view>

namespace paloma {

// The local path of a file (or of a folder, with a trailing "\"), empty when
// nothing of that name exists. A decompression failure is shown in an error
// box owned by the main window (when there is one) and answers empty.
std::wstring resolvePackagePath(std::u16string_view archivePath, const std::wstring& executable = {});

// The folder extracted files go to: the run folder plus "_extra\"; empty
// while there is no run folder (nothing is extracted then).
std::wstring extractionFolder();

} // namespace paloma
