// Words for settings bits, keys and colours.
#include "tools/pack/SettingWords.h"

#include "app/RuntimeSettings.h"

#include <cstdio>

namespace paloma::pack {

const std::vector<FlagWord>& wakeUpWords() {
    static const std::vector<FlagWord> table = {
        {"leftButton", kWakeLeftButton}, {"rightButton", kWakeRightButton}, {"mouseMove", kWakeMouseMove},
        {"keyStroke", kWakeKeyStroke},   {"esc", kWakeEsc},                 {"hotKey", kWakeHotKey},
    };
    return table;
}

const std::vector<FlagWord>& optionWords() {
    static const std::vector<FlagWord> table = {
        {"mute", kOptionMute},
        {"hideCursor", kOptionHideCursor},
        {"disableCdAutorun", kOptionNoCdAutorun},
        {"defaultMovieSize", kOptionDefaultMovieSize},
    };
    return table;
}

const std::vector<FlagWord>& modifierWords() {
    static const std::vector<FlagWord> table = {
        {"shift", kHotKeyShift}, {"ctrl", kHotKeyCtrl}, {"alt", kHotKeyAlt}, {"extended", kHotKeyExtended}};
    return table;
}

std::optional<uint32_t> flagOf(const std::vector<FlagWord>& table, std::string_view word) {
    for (const FlagWord& f : table)
        if (word == f.word)
            return f.bit;
    return std::nullopt;
}

std::string wordsOf(const std::vector<FlagWord>& table, uint32_t bits) {
    std::string out;
    for (const FlagWord& f : table) {
        if (bits & f.bit) {
            out += out.empty() ? "" : ", ";
            out += f.word;
            bits &= ~f.bit;
        }
    }
    if (bits) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%X", bits);
        out += out.empty() ? "" : ", ";
        out += buf;
    }
    return out.empty() ? "none" : out;
}

namespace {
struct NamedKey {
    const char* name;
    uint16_t code;
};
constexpr NamedKey kNamedKeys[] = {
    {"Backspace", 0x08}, {"Tab", 0x09},    {"Enter", 0x0D},    {"Pause", 0x13},  {"Space", 0x20},
    {"PageUp", 0x21},    {"PageDown", 0x22}, {"End", 0x23},    {"Home", 0x24},   {"Left", 0x25},
    {"Up", 0x26},        {"Right", 0x27},  {"Down", 0x28},     {"Insert", 0x2D}, {"Delete", 0x2E},
};
} // namespace

std::optional<uint16_t> keyOf(std::string_view name) {
    if (name.size() == 1 && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= '0' && name[0] <= '9')))
        return uint16_t(name[0]);
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'F') {
        int n = 0;
        for (char c : name.substr(1)) {
            if (c < '0' || c > '9')
                return std::nullopt;
            n = n * 10 + (c - '0');
        }
        if (n >= 1 && n <= 24)
            return uint16_t(0x70 + n - 1);
        return std::nullopt;
    }
    for (const NamedKey& k : kNamedKeys)
        if (name == k.name)
            return k.code;
    return std::nullopt;
}

std::string keyName(uint16_t code) {
    if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9'))
        return std::string(1, char(code));
    if (code >= 0x70 && code < 0x70 + 24)
        return "F" + std::to_string(code - 0x70 + 1);
    for (const NamedKey& k : kNamedKeys)
        if (code == k.code)
            return k.name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X", code);
    return buf;
}

std::optional<uint32_t> colourOf(std::string_view text) {
    if (text.size() != 7 || text[0] != '#')
        return std::nullopt;
    uint32_t rgb = 0;
    for (char c : text.substr(1)) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0)
            return std::nullopt;
        rgb = rgb << 4 | uint32_t(d);
    }
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

std::string colourText(uint32_t colorref) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
    return buf;
}

} // namespace paloma::pack
