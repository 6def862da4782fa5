#pragma once
// The words the manifest and the listing use for the settings' bit sets,
// keys and colours: one table each, read in both directions.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace paloma::pack {

struct FlagWord {
    const char* word;
    uint32_t bit;
};

const std::vector<FlagWord>& wakeUpWords();   // leftButton ... hotKey
const std::vector<FlagWord>& optionWords();   // mute, hideCursor, disableCdAutorun, defaultMovieSize
const std::vector<FlagWord>& modifierWords(); // shift, ctrl, alt, extended

std::optional<uint32_t> flagOf(const std::vector<FlagWord>& table, std::string_view word);
// "a, b" for the bits set; "none" for none; unknown bits as hexadecimal.
std::string wordsOf(const std::vector<FlagWord>& table, uint32_t bits);

// Virtual-key codes by name: A-Z, 0-9, F1-F24 and the named keys.
std::optional<uint16_t> keyOf(std::string_view name);
std::string keyName(uint16_t code);

// "#RRGGBB" <-> COLORREF (0x00BBGGRR).
std::optional<uint32_t> colourOf(std::string_view text);
std::string colourText(uint32_t colorref);

} // namespace paloma::pack
