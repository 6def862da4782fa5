#pragma once
// The player-installer record (resource "FP" of type PALOMA): exactly 276
// bytes, four carried words and the installer's file name inside the
// package archive as a 260-byte NUL-terminated ANSI field. A record of any
// other size is ignored.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace paloma {

constexpr size_t kPlayerInstallerRecordSize = 276;
constexpr std::array<uint32_t, 4> kPlayerInstallerWords = {9, 0, 46, 0}; // what the packager writes

struct PlayerInstallerRecord {
    std::array<uint32_t, 4> words{};
    std::string fileName; // ANSI, at most 259 bytes
};

std::optional<PlayerInstallerRecord> readPlayerInstallerRecord(std::span<const uint8_t> data);
// Always 276 bytes; a longer name is cut to the field.
std::vector<uint8_t> writePlayerInstallerRecord(const PlayerInstallerRecord& record);

} // namespace paloma
