#pragma once
// The packager's own file, wherever it was started from: the runtime that
// users install beside it is found through it.

#include <filesystem>

namespace paloma::pack {

// The running program's full path; `argv0` made absolute when the system
// cannot say.
std::filesystem::path programPath(const char* argv0);

} // namespace paloma::pack
