#pragma once
// The runtime settings record (resource "ST" of type PALOMA, and the
// per-user "Options" copy in the registry, which holds exactly the same
// bytes without the block around them).
//
// The record is read front to back with no padding:
//   seven texts; the screen-saver options (wake-up methods, option flags,
//   hot key, background colour); the preview and help entries, each a
//   selector, a path and that path's embedded file content; the "About me"
//   page (link and e-mail texts, colours and fonts, page flags, the page's
//   movie path with embedded content, one more text); and a trailer that is
//   carried unchanged.
//
// Reading skips embedded file contents. Writing embeds, after each of the
// three paths, the content of the file the path names when the loader finds
// one, else a length of 0.

#include "app/FieldText.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace paloma {

// Wake-up methods (published to scripts as $WULEFTBUTTON ... $WUHOTKEY).
constexpr uint32_t kWakeLeftButton = 0x01;
constexpr uint32_t kWakeRightButton = 0x02;
constexpr uint32_t kWakeMouseMove = 0x04;
constexpr uint32_t kWakeKeyStroke = 0x08;
constexpr uint32_t kWakeEsc = 0x10;
constexpr uint32_t kWakeHotKey = 0x20;

// Option flags.
constexpr uint32_t kOptionBackgroundColour = 0x01;
constexpr uint32_t kOptionMute = 0x02;
constexpr uint32_t kOptionHideCursor = 0x04;
constexpr uint32_t kOptionNoCdAutorun = 0x08;
constexpr uint32_t kOptionDefaultMovieSize = 0x10;

// Hot-key modifier flags, as the system's hot-key control reports them.
constexpr uint16_t kHotKeyShift = 0x01;
constexpr uint16_t kHotKeyCtrl = 0x02;
constexpr uint16_t kHotKeyAlt = 0x04;
constexpr uint16_t kHotKeyExtended = 0x08;

// Preview selector: 0 the application's icon, 1 the packaged movie,
// 2 or more the archive file named by the path.
constexpr uint32_t kPreviewIcon = 0;
constexpr uint32_t kPreviewMovie = 1;
constexpr uint32_t kPreviewFile = 2;

// "About me" page flags.
constexpr uint32_t kPagePlaysMovie = 0x10;
constexpr uint32_t kPagePlaysFile = 0x100;

// Indices of the project texts the shell reads.
constexpr size_t kTextTitle = 0;
constexpr size_t kTextRights = 3;
constexpr size_t kTextVersion = 6;
constexpr size_t kProjectTextCount = 7;

constexpr size_t kFaceNameField = 32;

// A font in the fields and order of a Windows LOGFONT.
struct FontRecord {
    int32_t height = 0;
    uint32_t width = 0;
    uint32_t escapement = 0;
    uint32_t orientation = 0;
    uint32_t weight = 0;
    uint8_t italic = 0;
    uint8_t underline = 0;
    uint8_t strikeOut = 0;
    uint8_t charSet = 0;
    uint8_t outPrecision = 0;
    uint8_t clipPrecision = 0;
    uint8_t quality = 0;
    uint8_t pitchAndFamily = 0;
    Text faceName; // 32-byte field

    bool operator==(const FontRecord&) const = default;
};

// A selector with a path (260-byte field); the preview and help entries.
struct FileEntry {
    uint32_t selector = 0;
    Text path;

    bool operator==(const FileEntry&) const = default;
};

// The Windows SYSTEMTIME layout.
struct SystemTime {
    uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
    uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;

    bool operator==(const SystemTime&) const = default;
};

struct RuntimeSettings {
    // 1. Project texts: 0 title, 3 rights notice, 6 version; the others are
    // carried (description, author, an empty text and the product name in
    // what the packager writes).
    std::array<Text, kProjectTextCount> texts;

    // 2. Screen-saver options.
    uint32_t wakeUpMethods = 0;
    uint32_t optionFlags = 0;
    uint16_t hotKeyCode = 0;
    uint16_t hotKeyModifiers = 0;
    uint32_t backgroundColour = 0; // COLORREF 0x00BBGGRR

    // 3. Preview and help entries.
    FileEntry preview;
    FileEntry help;

    // 4. "About me" page.
    Text linkCaption;
    Text linkTarget;
    Text mailCaption;
    Text mailAddress;
    uint32_t linkColour = 0;
    uint32_t mailColour = 0;
    FontRecord linkFont;
    FontRecord mailFont;
    uint32_t pageFlags = 0;
    uint32_t pageReserved = 0; // carried
    Text pageMoviePath;        // 260-byte field
    Text pageExtra;            // 260-byte field, carried

    // 5. Trailer, carried unchanged.
    uint32_t trailerWord1 = 0;
    Text trailerText;
    uint32_t trailerWord2 = 0;
    SystemTime trailerTime;
    uint32_t trailerWord3 = 0;
    Text trailerPath; // 260-byte field
    uint16_t trailerShort1 = 0;
    uint16_t trailerShort2 = 0;

    bool operator==(const RuntimeSettings&) const = default;
};

// Decodes the record. False when the bytes end before the record does;
// `out` is then unspecified. Texts of fixed fields are cut to the field.
bool readRuntimeSettings(std::span<const uint8_t> data, RuntimeSettings& out);

// Content to embed after a path, or nullopt when the path names no file.
using EmbedLoader = std::function<std::optional<std::vector<uint8_t>>(const std::u16string& path)>;

// Serialises the record; without a loader every embedded length is 0.
std::vector<uint8_t> writeRuntimeSettings(const RuntimeSettings& settings, const EmbedLoader& embed = {});

// The loader that reads the file a path names on this machine, if it exists.
std::optional<std::vector<uint8_t>> loadLocalFile(const std::u16string& path);

} // namespace paloma
