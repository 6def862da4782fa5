// The compiled-script cache of "Quill_Run".
#include "app/shell/MainWndScriptCache.h"

namespace paloma::shell {

namespace {

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

uint32_t ScriptCache::hash(std::string_view name) {
    uint32_t h = 0;
    for (char c : name) {
        uint8_t byte = static_cast<uint8_t>(c);
        if (byte >= 'A' && byte <= 'Z')
            byte = static_cast<uint8_t>(byte - 'A' + 'a');
        h = (h >> 7) ^ (h >> 16) ^ byte ^ (h << 5);
    }
    return h;
}

ScriptCache::Entry* ScriptCache::find(std::string_view name) {
    for (Entry& e : buckets_[bucketOf(name)])
        if (equalNoCase(e.name, name))
            return &e;
    return nullptr;
}

ScriptCache::Entry& ScriptCache::add(std::string name, std::vector<uint8_t> image) {
    auto& bucket = buckets_[bucketOf(name)];
    bucket.push_back(Entry{std::move(name), std::move(image), nullptr});
    return bucket.back();
}

void ScriptCache::clear() {
    for (auto& bucket : buckets_)
        bucket.clear();
}

size_t ScriptCache::size() const {
    size_t n = 0;
    for (const auto& bucket : buckets_)
        n += bucket.size();
    return n;
}

} // namespace paloma::shell
