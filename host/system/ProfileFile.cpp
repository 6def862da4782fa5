// Profile files: parsing, lookups and edits that keep untouched lines intact.
#include "host/system/ProfileFile.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "base/StdFile.h"

namespace paloma::host {

namespace {

constexpr size_t kNone = size_t(-1);

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lower(x) == lower(y);
           });
}

bool endsLine(const std::string& raw) { return !raw.empty() && raw.back() == '\n'; }

File openFile(const std::filesystem::path& path, bool write) { return openBinaryFile(path, write); }

} // namespace

ProfileFile::Line ProfileFile::parseLine(std::string raw) {
    Line line;
    std::string_view text = raw;
    while (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    text = trim(text);
    if (!text.empty() && text.front() == '[') {
        size_t close = text.rfind(']');
        if (close != std::string_view::npos) {
            line.header = true;
            line.key = std::string(trim(text.substr(1, close - 1)));
        }
    }
    if (!line.header) {
        size_t eq = text.find('=');
        if (eq == std::string_view::npos) {
            line.key = std::string(text);
        } else {
            line.key = std::string(trim(text.substr(0, eq)));
            line.value = std::string(trim(text.substr(eq + 1)));
        }
    }
    line.raw = std::move(raw);
    return line;
}

ProfileFile::Line ProfileFile::entryLine(std::string_view key, std::string_view value) {
    std::string raw;
    raw.append(key).append("=").append(value).append("\r\n");
    return parseLine(std::move(raw));
}

ProfileFile ProfileFile::parse(std::string_view bytes) {
    ProfileFile profile;
    size_t at = 0;
    // A UTF-8 byte-order mark belongs to no name.
    size_t skip = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    while (at < bytes.size()) {
        size_t lf = bytes.find('\n', at);
        size_t end = lf == std::string_view::npos ? bytes.size() : lf + 1;
        std::string raw(bytes.substr(at, end - at));
        Line line = parseLine(raw.substr(at == 0 ? skip : 0));
        line.raw = std::move(raw);
        profile.lines_.push_back(std::move(line));
        at = end;
    }
    return profile;
}

std::string ProfileFile::serialize() const {
    std::string out;
    for (const Line& line : lines_)
        out += line.raw;
    return out;
}

std::optional<ProfileFile::Section> ProfileFile::findSection(std::string_view name) const {
    size_t header = kNone;
    size_t i = 0;
    if (!name.empty()) {
        while (i < lines_.size() && !(lines_[i].header && sameName(lines_[i].key, name)))
            ++i;
        if (i == lines_.size())
            return std::nullopt;
        header = i++;
    }
    while (i < lines_.size() && !lines_[i].header)
        ++i;
    return Section{header, i};
}

std::optional<size_t> ProfileFile::findKey(const Section& section, std::string_view key) const {
    for (size_t i = section.header + 1; i < section.end; ++i)
        if (!lines_[i].key.empty() && sameName(lines_[i].key, key))
            return i;
    return std::nullopt;
}

size_t ProfileFile::insertionPoint(const Section& section) const {
    size_t at = section.end;
    while (at > section.header + 1 && lines_[at - 1].blank())
        --at;
    return at;
}

ProfileFile::Section ProfileFile::appendSection(std::string_view name) {
    if (!lines_.empty() && !endsLine(lines_.back().raw))
        lines_.back().raw += "\r\n";
    std::string raw;
    raw.append("[").append(name).append("]\r\n");
    lines_.push_back(parseLine(std::move(raw)));
    return Section{lines_.size() - 1, lines_.size()};
}

std::optional<std::string> ProfileFile::getString(std::string_view section, std::string_view key) const {
    auto found = findSection(section);
    if (!found)
        return std::nullopt;
    auto at = findKey(*found, key);
    if (!at)
        return std::nullopt;
    std::string_view value = lines_[*at].value ? std::string_view(*lines_[*at].value) : std::string_view();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

int32_t ProfileFile::getInt(std::string_view section, std::string_view key) const {
    auto text = getString(section, key);
    if (!text)
        return 0;
    std::string_view s = trim(*text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    uint32_t base = 10;
    if (s.size() >= 2 && s[0] == '0' && lower(s[1]) == 'x') {
        base = 16;
        s.remove_prefix(2);
    }
    uint32_t value = 0;
    for (char c : s) {
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = uint32_t(c - '0');
        else if (base == 16 && lower(c) >= 'a' && lower(c) <= 'f')
            digit = uint32_t(lower(c) - 'a' + 10);
        else
            break;
        value = value * base + digit; // wraps as the 32-bit result does
    }
    return int32_t(negative ? 0u - value : value);
}

std::vector<std::string> ProfileFile::getSection(std::string_view section) const {
    std::vector<std::string> out;
    auto found = findSection(section);
    if (!found)
        return out;
    for (size_t i = found->header + 1; i < found->end; ++i) {
        const Line& line = lines_[i];
        if (line.key.empty() && !line.value)
            continue;
        if (!line.key.empty() && line.key.front() == ';')
            continue;
        out.push_back(line.value ? line.key + "=" + *line.value : line.key);
    }
    return out;
}

std::vector<std::string> ProfileFile::getSectionNames() const {
    std::vector<std::string> out;
    for (const Line& line : lines_)
        if (line.header && !line.key.empty())
            out.push_back(line.key);
    return out;
}

void ProfileFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    auto found = findSection(section);
    Section target = found ? *found : appendSection(section);
    if (auto at = findKey(target, key)) {
        Line line = entryLine(lines_[*at].key, value);
        if (!endsLine(lines_[*at].raw))
            line.raw.resize(line.raw.size() - 2); // the file's last line keeps having no line end
        if (lines_[*at].value != line.value)
            lines_[*at] = std::move(line);
        return;
    }
    size_t at = insertionPoint(target);
    if (at > 0 && !endsLine(lines_[at - 1].raw))
        lines_[at - 1].raw += "\r\n";
    lines_.insert(lines_.begin() + ptrdiff_t(at), entryLine(key, value));
}

void ProfileFile::writeSection(std::string_view section, const std::vector<std::string>& entries) {
    auto found = findSection(section);
    Section target = found ? *found : appendSection(section);
    size_t first = target.header + 1;
    size_t at = insertionPoint(target);
    lines_.erase(lines_.begin() + ptrdiff_t(first), lines_.begin() + ptrdiff_t(at));
    if (first > 0 && !endsLine(lines_[first - 1].raw))
        lines_[first - 1].raw += "\r\n";
    std::vector<Line> fresh;
    for (const std::string& entry : entries)
        fresh.push_back(parseLine(entry + "\r\n"));
    lines_.insert(lines_.begin() + ptrdiff_t(first), fresh.begin(), fresh.end());
}

bool ProfileFile::deleteSection(std::string_view section) {
    auto found = findSection(section);
    if (!found)
        return false;
    size_t first = found->header == kNone ? 0 : found->header;
    if (first == found->end)
        return false;
    lines_.erase(lines_.begin() + ptrdiff_t(first), lines_.begin() + ptrdiff_t(found->end));
    return true;
}

bool ProfileFile::deleteKey(std::string_view section, std::string_view key) {
    auto found = findSection(section);
    if (!found)
        return false;
    auto at = findKey(*found, key);
    if (!at)
        return false;
    lines_.erase(lines_.begin() + ptrdiff_t(*at));
    return true;
}

ProfileFile loadProfile(const std::filesystem::path& path) {
    return ProfileFile::parse(detail::readProfileBytes(path).value_or(std::string()));
}

namespace detail {

std::optional<std::string> readProfileBytes(const std::filesystem::path& path) {
    File file = openFile(path, false);
    if (!file)
        return std::nullopt;
    std::string bytes;
    char piece[4096];
    size_t n;
    while ((n = std::fread(piece, 1, sizeof piece, file.get())) > 0)
        bytes.append(piece, n);
    if (std::ferror(file.get()))
        return std::nullopt;
    return bytes;
}

bool writeProfileBytes(const std::filesystem::path& path, const std::string& bytes) {
    File file = openFile(path, true);
    if (!file)
        return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return false;
    return std::fclose(file.release()) == 0;
}

bool profileExists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec) || ec;
}

} // namespace detail

} // namespace paloma::host
