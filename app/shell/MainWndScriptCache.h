#pragma once
// The cache of compiled scripts run by "Quill_Run": 17 hash buckets of
// entries {name as given, image bytes, the engine's per-image state}. The
// bucket of a name is h mod 17, with h running over the name's bytes as
// h = (h >> 7) ^ (h >> 16) ^ byte ^ (h << 5) from 0. Names compare without
// regard to case, so the bytes are hashed with ASCII letters in lower case:
// hashing them as given would put "Intro" and "INTRO" in different buckets
// and make the lookup miss a name it is meant to find.

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace paloma::shell {

class ScriptCache {
public:
    static constexpr size_t kBuckets = 17;

    struct Entry {
        std::string name;
        std::vector<uint8_t> image;
        std::shared_ptr<void> state;
    };

    static uint32_t hash(std::string_view name);
    static size_t bucketOf(std::string_view name) { return hash(name) % kBuckets; }

    Entry* find(std::string_view name);
    // Entries stay where they are until clear(): a run may add others.
    Entry& add(std::string name, std::vector<uint8_t> image);
    void clear();
    size_t size() const;
    size_t bucketSize(size_t bucket) const { return buckets_[bucket].size(); }

private:
    std::array<std::list<Entry>, kBuckets> buckets_;
};

} // namespace paloma::shell
