#pragma once
// The packager's project manifest: a JSON file naming every setting of the
// runtime settings record in words, the movie, the files to pack, the start-
// up and installer scripts, and the runtime to copy. Every setting has a
// default; a field that is unknown, of the wrong type or out of range is an
// error naming the field, and nothing is built.
//
// {
//   "runtime": "paloma.exe",              the runtime stub (else --runtime)
//   "identity": "Author/Product\\V1.0",   registry key "/" profile name
//   "title", "description", "author", "rights", "product", "version": texts
//   "wakeUp": ["mouseMove", "esc"],        leftButton rightButton mouseMove
//                                          keyStroke esc hotKey
//   "hotKey": {"key": "Q", "modifiers": ["ctrl", "alt"]}
//   "options": {"mute": true, "hideCursor": false, "disableCdAutorun": false,
//               "defaultMovieSize": false}
//   "backgroundColour": "#RRGGBB"          (absent: the movie's own)
//   "preview": {"mode": "icon" | "movie" | "file", "path": "p.swf"}
//   "help": {"path": "help.chm"}
//   "about": {"link": {"caption", "target", "colour", "font"},
//             "mail": {"caption", "address", "colour", "font"},
//             "plays": "nothing" | "movie" | "file", "file": "a.swf",
//             "picture": "background.bmp"}
//   "movie": "movie.swf",                  path inside the archive
//   "installer": "install.exe",            player installer inside the archive
//   "files": ["movie.swf", "data"],        files and folders to pack
//   "scripts": {"INITIALIZE": "init.qls", "AfterInstall": "hook.qsc"}
//   "menus": {"MAIN": [{"caption": "&File", "items": [
//               {"id": "open", "caption": "&Open\tCtrl+O", "icon": "open.ico"},
//               {"separator": true}]}]}   also "disabled", "checked",
//                                          "grayed", "default"
// }
//
// A font is {"face", "height", "width", "escapement", "orientation",
// "weight", "italic", "underline", "strikeOut", "charSet", "outPrecision",
// "clipPrecision", "quality", "pitchAndFamily"}. Paths on disk are relative
// to the manifest's folder.

#include "app/MenusResource.h"
#include "app/MovieList.h"
#include "app/RuntimeSettings.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paloma::pack {

struct ScriptSource {
    std::u16string name;
    std::filesystem::path path;
};

struct MenuSource {
    std::u16string name;
    std::vector<MenuItemRecord> items;
};

struct Manifest {
    std::filesystem::path baseDir;
    std::optional<std::filesystem::path> runtime;
    std::u16string identity;
    RuntimeSettings settings;
    MovieList movie;
    std::optional<std::u16string> installer; // path inside the archive
    std::optional<std::filesystem::path> picture;
    std::vector<std::filesystem::path> files;
    std::vector<ScriptSource> scripts;
    std::vector<MenuSource> menus;
};

// Reads a manifest; on failure nullopt and a message naming the field.
std::optional<Manifest> parseManifest(std::string_view json, const std::filesystem::path& baseDir, std::string& error);
std::optional<Manifest> loadManifest(const std::filesystem::path& path, std::string& error);

} // namespace paloma::pack
