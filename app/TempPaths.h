#pragma once
// Where the runtime puts its temporary files: the choice of the temporary
// directory, the run folder's name and the numbered temporary file names.
// Pure text rules; the Windows side supplies the environment, the clock and
// the file-existence test.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace paloma {

// TMP if set and 1 to 259 characters long, else TEMP under the same
// condition, else the Windows directory; always ending in one "\" (a trailing
// "/" becomes "\").
std::string chooseTempDirectory(const std::optional<std::string>& tmp, const std::optional<std::string>& temp,
                                std::string_view windowsDirectory);

// The run folder below a temporary directory: the directory, then the GUID in
// its braced registry form, then "\".
std::string runFolderName(std::string_view tempDirectory, std::string_view bracedGuid);

// The lock file inside a run folder: held open with sharing denied for as
// long as the run that owns the folder lives.
inline constexpr char kRunFolderLockName[] = "Paloma.lock";

// True for a name of the run folders' form: a GUID in its registry text
// form with braces, "{8-4-4-4-12 hexadecimal digits}".
bool isRunFolderName(std::string_view name);

// The suffixes of the two temporary file kinds: "%s%04X%d" + suffix.
inline constexpr std::string_view kTempSuffixTmp = ".tmp";
inline constexpr std::string_view kTempSuffixCab = ".cab";

// One candidate: folder, the tick count as "%04X" (at least four upper-case
// hexadecimal digits) and the counter in decimal, then the suffix.
std::string formatTempFileName(std::string_view folder, uint32_t ticks, int counter, std::string_view suffix);

// The first candidate, counting from 0, that `exists` rejects; nothing when
// the counter reaches 65534 without a free name.
inline constexpr int kTempCounterLimit = 65534;
std::optional<std::string> findFreeTempFileName(std::string_view folder, uint32_t ticks, std::string_view suffix,
                                                const std::function<bool(const std::string&)>& exists);

} // namespace paloma
