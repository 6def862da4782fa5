#pragma once
// Resources of the program's own file, by name and type: plain resources
// (copied bytes) and resource blocks (decompressed).

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace paloma {

// Resource types of the packaged configuration.
inline constexpr const wchar_t* kTypePaloma = L"PALOMA";
inline constexpr const wchar_t* kTypeQuill = L"QUILL";

// A copy of a resource's bytes. Throws CKelBaseException when it is missing
// or empty. `module` null means the program's own file.
std::vector<uint8_t> loadResourceBytes(const wchar_t* name, const wchar_t* type, HMODULE module = nullptr);

// The same, answering nothing instead of throwing.
std::optional<std::vector<uint8_t>> readPlainResource(const wchar_t* name, const wchar_t* type,
                                                      HMODULE module = nullptr);

// A resource block's data. A missing or empty resource throws
// CKelBaseException. A bad block answers false: the first form shows the
// block reader's message in an error box owned by the main window (only
// while there is one, titled with its title), the second says nothing.
bool readBlockResource(const wchar_t* name, const wchar_t* type, std::vector<uint8_t>& out,
                       HMODULE module = nullptr);
bool readBlockResourceSilently(const wchar_t* name, const wchar_t* type, std::vector<uint8_t>& out,
                               HMODULE module = nullptr);

// Shows a loader failure's message the way the shell reports them: an error
// box owned by the main window, and nothing while there is none.
void reportToMainWindow(const char* message);

} // namespace paloma
