// The starting manifest of paloma-pack init.
#include "tools/pack/Starter.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace paloma::pack {

namespace fs = std::filesystem;

namespace {

// A JSON string literal of UTF-8 text.
std::string jsonText(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string utf8(const std::u8string& s) { return std::string(s.begin(), s.end()); }

} // namespace

std::string starterManifest(const fs::path& movieFromManifest, const std::u8string& name, const MovieHeader& h) {
    std::string stem = utf8(name);
    std::string movieFile = utf8(movieFromManifest.filename().u8string());
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", h.framesPerSecond());
    std::string m;
    m += "{\n";
    m += "  // Starting manifest for " + movieFile + ", written by paloma-pack init.\n";
    m += "  // Build it with: paloma-pack build " + stem + ".json -o " + stem + ".exe\n";
    m += "  // (the runtime is paloma.exe beside paloma-pack, else give --runtime PATH\n";
    m += "  // or a \"runtime\" field here). Check the result with paloma-pack verify.\n";
    m += "  //\n";
    m += "  // The movie: " + std::to_string(h.width()) + " x " + std::to_string(h.height()) + " pixels, " + rate +
         " frames per second, " + std::to_string(h.frameCount) + " frames, Flash version " +
         std::to_string(h.version) + ".\n";
    m += "\n";
    m += "  // Registry key \"/\" profile name: where each user's settings are kept.\n";
    m += "  // Put your own name before the \"/\"; change the version when you ship.\n";
    m += "  \"identity\": " + jsonText(stem + "/" + stem + "\\V1.0") + ",\n";
    m += "  \"title\": " + jsonText(stem) + ",\n";
    m += "  \"version\": \"1.0\",\n";
    m += "  // \"author\": \"Your name\", \"rights\": \"(c) Your name\",\n";
    m += "\n";
    m += "  // As a screen saver: what wakes it (leftButton, rightButton, mouseMove,\n";
    m += "  // keyStroke, esc, hotKey) and how it plays.\n";
    m += "  \"wakeUp\": [\"leftButton\", \"rightButton\", \"mouseMove\", \"keyStroke\"],\n";
    m += "  \"options\": {\"mute\": false, \"hideCursor\": true, \"disableCdAutorun\": false,\n";
    m += "              \"defaultMovieSize\": false},\n";
    m += "  // The small preview in the system's screen-saver settings: icon, movie or file.\n";
    m += "  \"preview\": {\"mode\": \"movie\"},\n";
    m += "\n";
    m += "  // The movie to play (its path inside the package) and every file or\n";
    m += "  // folder to pack with it (paths relative to this manifest).\n";
    m += "  \"movie\": " + jsonText(movieFile) + ",\n";
    m += "  \"files\": [" + jsonText(utf8(movieFromManifest.generic_u8string())) + "]\n";
    m += "}\n";
    return m;
}

std::optional<fs::path> writeStarterManifest(const fs::path& movie, const std::optional<fs::path>& dir,
                                             std::string& error) {
    std::ifstream in(movie, std::ios::binary);
    std::error_code ec;
    if (!in || !fs::is_regular_file(movie, ec)) {
        error = "cannot read " + movie.string();
        return std::nullopt;
    }
    std::vector<uint8_t> start(64);
    in.read(reinterpret_cast<char*>(start.data()), std::streamsize(start.size()));
    start.resize(size_t(in.gcount()));
    if (!hasMovieSignature(start)) {
        error = movie.string() + " is not a Flash movie (it does not start with \"FWS\" or \"CWS\")";
        return std::nullopt;
    }
    // A compressed header may need more than the first bytes to inflate.
    in.clear();
    in.seekg(0);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto header = readMovieHeader(bytes);
    if (!header) {
        error = movie.string() + " is not a Flash movie (its header is cut short or does not decompress)";
        return std::nullopt;
    }
    fs::path folder = dir ? *dir : movie.parent_path();
    if (folder.empty())
        folder = ".";
    if (!fs::is_directory(folder, ec)) {
        error = folder.string() + " is not a folder";
        return std::nullopt;
    }
    fs::path manifest = folder / movie.stem();
    manifest += ".json";
    if (fs::exists(manifest, ec)) {
        error = manifest.string() + " exists already; it is left as it is";
        return std::nullopt;
    }
    fs::path relative = fs::relative(fs::absolute(movie, ec), fs::absolute(folder, ec), ec);
    if (ec || relative.empty())
        relative = fs::absolute(movie, ec);
    std::string text = starterManifest(relative, movie.stem().u8string(), *header);
    std::ofstream out(manifest, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        fs::remove(manifest, ec);
        error = "cannot write " + manifest.string();
        return std::nullopt;
    }
    return manifest;
}

} // namespace paloma::pack
