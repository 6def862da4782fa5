#pragma once
// paloma-pack init: a commented starting manifest for a movie, which build
// accepts as it is.

#include "app/MovieHeader.h"

#include <filesystem>
#include <optional>
#include <string>

namespace paloma::pack {

// The manifest text for the movie at `movieFromManifest` (relative to the
// manifest's folder) whose file name stem is `name` and whose header is
// `header`.
std::string starterManifest(const std::filesystem::path& movieFromManifest, const std::u8string& name,
                            const MovieHeader& header);

// Reads the movie's header and writes "<stem>.json" into `dir` (default:
// the movie's folder). The manifest's path, or nullopt and a message when
// the file is no movie or the manifest exists already (it is never
// overwritten).
std::optional<std::filesystem::path> writeStarterManifest(const std::filesystem::path& movie,
                                                          const std::optional<std::filesystem::path>& dir,
                                                          std::string& error);

} // namespace paloma::pack
