#pragma once
// Profile files (".ini"): sections headed "[name]" holding "key=value"
// lines, read and written the way the system's profile functions do, in
// portable code.
//
// Reading: leading white space of a line is skipped. A line beginning with
// "[" that has a "]" names a section (the text between "[" and the last "]",
// trimmed); lines before the first section belong to a nameless one. Any
// other line is an entry: the key is the text before the first "=" and the
// value the text after it, both trimmed of spaces and tabs; a line without
// "=" is a key without a value. Entries whose key begins with ";" are
// comments. Section and key names compare without regard to ASCII case; the
// first match wins.
//
// Writing keeps every line it does not change byte for byte, line ends
// included. A new entry goes after the last non-blank line of its section; a
// new section goes at the end of the file. New lines end in CR LF.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paloma::host {

class ProfileFile {
public:
    static ProfileFile parse(std::string_view bytes);
    std::string serialize() const;

    // The value with one pair of matching surrounding quotes (" or ')
    // removed; empty for a key without a value; nothing when absent.
    std::optional<std::string> getString(std::string_view section, std::string_view key) const;
    // The value as a 32-bit integer (decimal, or hexadecimal after "0x",
    // optional sign; parsing stops at the first other character); 0 when
    // absent.
    int32_t getInt(std::string_view section, std::string_view key) const;
    // "key=value" (or "key" alone) for every entry of the section that is not
    // a comment, in file order.
    std::vector<std::string> getSection(std::string_view section) const;
    // The names of the named sections, in file order.
    std::vector<std::string> getSectionNames() const;

    void writeString(std::string_view section, std::string_view key, std::string_view value);
    // Replaces the entries of the section (created when missing) with `lines`.
    void writeSection(std::string_view section, const std::vector<std::string>& lines);
    // Whether anything was removed.
    bool deleteSection(std::string_view section);
    bool deleteKey(std::string_view section, std::string_view key);

private:
    struct Line {
        std::string raw;                  // as in the file, with its line end
        std::string key;                  // entry key or section name, trimmed
        std::optional<std::string> value; // entries with "="
        bool header = false;
        bool blank() const { return !header && key.empty() && !value; }
    };
    struct Section {
        size_t header; // index of the header line; npos for the nameless section
        size_t end;    // one past its last line
    };

    static Line parseLine(std::string raw);
    static Line entryLine(std::string_view key, std::string_view value);
    std::optional<Section> findSection(std::string_view name) const;
    std::optional<size_t> findKey(const Section& section, std::string_view key) const;
    Section appendSection(std::string_view name);
    // Where a new entry of the section goes: after its last non-blank line.
    size_t insertionPoint(const Section& section) const;

    std::vector<Line> lines_;
};

// Profile files on disk, one operation at a time as the system's functions
// work: the file is read anew each time (a missing file reads as empty), and
// a writer writes it back only when the change altered it.
ProfileFile loadProfile(const std::filesystem::path& path);
// Applies `change` to the file; false when the file exists but cannot be
// read (nothing is written then: its content would be lost), or when it had
// to be written and could not be.
template <typename Change>
bool updateProfile(const std::filesystem::path& path, Change&& change);

namespace detail {
std::optional<std::string> readProfileBytes(const std::filesystem::path& path);
bool writeProfileBytes(const std::filesystem::path& path, const std::string& bytes);
bool profileExists(const std::filesystem::path& path);
} // namespace detail

template <typename Change>
bool updateProfile(const std::filesystem::path& path, Change&& change) {
    auto read = detail::readProfileBytes(path);
    if (!read && detail::profileExists(path))
        return false;
    std::string before = read.value_or(std::string());
    ProfileFile profile = ProfileFile::parse(before);
    change(profile);
    std::string after = profile.serialize();
    return after == before || detail::writeProfileBytes(path, after);
}

} // namespace paloma::host
