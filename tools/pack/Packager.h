#pragma once
// Building a packaged executable from a manifest: a copy of the runtime stub
// with the configuration resources added (ResourceNames.h) and the archive
// of the listed files appended. Everything is built in memory and checked
// before anything is written.

#include "tools/pack/Manifest.h"

#include "base/Md5.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace paloma::pack {

// The compiled image of a script file: a ".qsc" file checked and without
// its '#' first line, a ".qls" source (ANSI, or UTF-8 or UTF-16 with a byte
// order mark) compiled with a line table. nullopt and a message (with the
// compiler's messages) on failure.
std::optional<std::vector<uint8_t>> scriptImage(const std::filesystem::path& path, std::string& error);

// The packaged executable for `manifest` on the runtime `stub`.
// `progress`, when given, hears the size of each packed file as it is
// compressed.
std::optional<std::vector<uint8_t>> buildPackage(const Manifest& manifest, std::span<const uint8_t> stub,
                                                 std::string& error,
                                                 const std::function<void(uint64_t)>& progress = {});

// Reads the stub (`runtime`, else the manifest's), builds and writes `out`.
// On failure nothing is written. Unless `quiet`, a large build shows its
// progress on a terminal.
bool buildPackageFile(const Manifest& manifest, const std::optional<std::filesystem::path>& runtime,
                      const std::filesystem::path& out, std::string& error, bool quiet = true);

} // namespace paloma::pack
