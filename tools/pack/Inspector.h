#pragma once
// Reading a packaged executable back: the decoded resources in words and
// the archive tree (inspect), and the archive's files (extract).

#include <filesystem>
#include <ostream>
#include <span>
#include <string>

namespace paloma::pack {

// Writes the listing; false and a message when the file is no executable.
// Damaged resources are reported in the listing, not as failures.
bool inspectPackage(std::span<const uint8_t> exe, std::ostream& out, std::string& error);

// Writes every file of the archive below `dir`.
// Unless `quiet`, a large extraction shows its progress on a terminal.
bool extractPackage(const std::filesystem::path& exe, const std::filesystem::path& dir, std::string& error,
                    bool quiet = true);

} // namespace paloma::pack
