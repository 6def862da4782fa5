// The binding table, movie variable texts, coordinates and movie headers.
#include "host/flash/FlashData.h"

#include <algorithm>
#include <cmath>

#include "app/ByteSource.h"
#include "app/MovieHeader.h"

namespace paloma::host {

namespace {

char16_t lowerUnit(char16_t c) {
    if (c >= u'A' && c <= u'Z')
        return char16_t(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return char16_t(c + 32);
    return c;
}

// Each prefix of a path that ends before a dot preceded by at least one
// character.
std::vector<std::u16string_view> clipPrefixes(std::u16string_view path) {
    std::vector<std::u16string_view> out;
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == u'.')
            out.push_back(path.substr(0, i));
    return out;
}

} // namespace

bool samePath(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerUnit(a[i]) != lowerUnit(b[i]))
            return false;
    return true;
}

uint32_t BindingTable::bucketOf(std::u16string_view path) {
    uint32_t h = 0;
    for (char16_t c : path)
        h = (h >> 7) ^ (h >> 16) ^ uint32_t(lowerUnit(c)) ^ (h << 5);
    return h % kBuckets;
}

void BindingTable::bind(std::u16string_view path) {
    if (find(path))
        return;
    entries_[bucketOf(path)].push_back({std::u16string(path), quill::Value::undefined()});
    for (std::u16string_view prefix : clipPrefixes(path)) {
        auto& bucket = clips_[bucketOf(prefix)];
        auto it = std::find_if(bucket.begin(), bucket.end(), [&](const Clip& c) { return samePath(c.path, prefix); });
        if (it != bucket.end())
            ++it->count;
        else
            bucket.push_back({std::u16string(prefix), 1});
    }
}

void BindingTable::unbind(std::u16string_view path) {
    auto& bucket = entries_[bucketOf(path)];
    auto it = std::find_if(bucket.begin(), bucket.end(), [&](const Entry& e) { return samePath(e.path, path); });
    if (it == bucket.end())
        return;
    // The clip paths come from the stored path (the argument may differ in case).
    std::u16string stored = std::move(it->path);
    bucket.erase(it);
    for (std::u16string_view prefix : clipPrefixes(stored)) {
        auto& clips = clips_[bucketOf(prefix)];
        auto c = std::find_if(clips.begin(), clips.end(), [&](const Clip& x) { return samePath(x.path, prefix); });
        if (c != clips.end() && --c->count <= 0)
            clips.erase(c);
    }
}

void BindingTable::clear() {
    for (auto& b : entries_)
        b.clear();
    for (auto& b : clips_)
        b.clear();
}

quill::Value* BindingTable::find(std::u16string_view path) {
    for (Entry& e : entries_[bucketOf(path)])
        if (samePath(e.path, path))
            return &e.value;
    return nullptr;
}

int BindingTable::clipCount(std::u16string_view path) const {
    for (const Clip& c : clips_[bucketOf(path)])
        if (samePath(c.path, path))
            return c.count;
    return 0;
}

bool BindingTable::isClip(std::u16string_view path) const { return clipCount(path) > 0; }

size_t BindingTable::size() const {
    size_t n = 0;
    for (const auto& b : entries_)
        n += b.size();
    return n;
}

std::vector<BindingTable::Entry*> BindingTable::entries() {
    std::vector<Entry*> out;
    for (auto& b : entries_)
        for (Entry& e : b)
            out.push_back(&e);
    return out;
}

void BindingTable::mark(quill::Engine& engine) const {
    for (const auto& b : entries_)
        for (const Entry& e : b)
            quill::markValue(engine, e.value);
}

quill::Value movieTextValue(quill::Engine& engine, std::u16string_view text) {
    if (text == u"true")
        return quill::Value::boolean(true);
    if (text == u"false")
        return quill::Value::boolean(false);
    if (text == u"undefined")
        return quill::Value::undefined();
    if (!text.empty()) {
        quill::ScanResult scan = quill::scanInteger(text, 0);
        if (scan.type == quill::ScanResult::Integer && scan.end == text.size())
            return quill::Value::integer(scan.integer);
        double d = 0;
        if (quill::parseDecimal(text, d) == text.size())
            return quill::floatResult(d);
    }
    return quill::newString(engine, text);
}

std::optional<WindowRect> movieToWindow(int scaleMode, double w, double h, double cw, double ch, double left,
                                        double right, double top, double bottom) {
    if (!(w > 0) || !(h > 0))
        return std::nullopt;
    double sw = 0, sh = 0, dx = 0, dy = 0;
    switch (scaleMode) {
    case 0:
    case 1: {
        double s = scaleMode == 0 ? std::min(cw / w, ch / h) : std::max(cw / w, ch / h);
        sw = std::trunc(s * w);
        sh = std::trunc(s * h);
        dx = std::trunc((cw - sw) / 2);
        dy = std::trunc((ch - sh) / 2);
        break;
    }
    case 2:
        sw = cw;
        sh = ch;
        break;
    case 3:
        sw = w;
        sh = h;
        dx = std::trunc((cw - w) / 2);
        dy = std::trunc((ch - h) / 2);
        break;
    default:
        return std::nullopt;
    }
    // Coordinates far outside any window do not fit an integer: none then.
    auto coordinate = [](double offset, double scaled) -> std::optional<int64_t> {
        double v = offset + std::trunc(scaled);
        if (!(std::fabs(v) < 9.0e15))
            return std::nullopt;
        return int64_t(v);
    };
    auto l = coordinate(dx, sw / w * left), r = coordinate(dx, sw / w * right);
    auto t = coordinate(dy, sh / h * top), b = coordinate(dy, sh / h * bottom);
    if (!l || !r || !t || !b)
        return std::nullopt;
    return WindowRect{*l, *r, *t, *b};
}

std::optional<MovieInfo> readMovieInfo(const std::filesystem::path& path) {
    std::u16string ext = path.extension().u16string();
    bool movie = samePath(ext, u".swf"), projector = samePath(ext, u".exe");
    if (!movie && !projector)
        return std::nullopt;
    FileSource file;
    if (!file.open(path))
        return std::nullopt;
    uint64_t offset = 0, length = file.size();
    if (projector) {
        // The last four bytes give the length L of the movie that ends eight
        // bytes before the end of the file.
        uint8_t tail[4];
        if (length < 8 || !file.read(length - 4, tail))
            return std::nullopt;
        uint64_t l = uint64_t(tail[0]) | uint64_t(tail[1]) << 8 | uint64_t(tail[2]) << 16 | uint64_t(tail[3]) << 24;
        if (l == 0 || l > length - 8)
            return std::nullopt;
        offset = length - 8 - l;
        length = l;
    }
    // The header and the start of a compressed body fit well in this much.
    std::vector<uint8_t> start(size_t(std::min<uint64_t>(length, 4096)));
    if (start.empty() || !file.read(offset, start))
        return std::nullopt;
    std::optional<MovieHeader> header = readMovieHeader(start);
    if (!header)
        return std::nullopt;
    MovieInfo info;
    info.xMin = header->xMin;
    info.xMax = header->xMax;
    info.yMin = header->yMin;
    info.yMax = header->yMax;
    info.rate = header->frameRate >> 8;
    info.frameCount = header->frameCount;
    info.version = header->version;
    info.size = header->fileLength;
    return info;
}

} // namespace paloma::host
