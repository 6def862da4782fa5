#pragma once
// Reading and rewriting the resources of a Windows executable (PE32 and
// PE32+), portably. The packager uses it to add its resources to a copy of
// the runtime while keeping every resource the runtime already carries.
//
// Rewriting builds a fresh resource directory (type, name and language
// levels, named entries upper-cased and sorted before numbered ones, as the
// system's lookup expects) with all the data, and places it in the last
// section when that is the resource section, else in a new section after
// the last one. Bytes after the last section (an old archive, a symbol
// table, a signature) are dropped; the caller appends what it wants. With
// the symbol table go the sections named through its string table ("/4":
// the debugging sections a strip removes), so that every header of the
// result still points at something the file has.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace paloma {

// A resource type or name: a number or a text.
struct ResourceId {
    uint16_t number = 0;
    std::u16string text; // used when not empty; stored upper-case

    static ResourceId of(uint16_t n) { return {n, {}}; }
    static ResourceId of(std::u16string_view t);
    bool isText() const { return !text.empty(); }
    bool operator==(const ResourceId&) const = default;
};

constexpr uint16_t kResourceRcData = 10;
constexpr uint16_t kLanguageNeutral = 0;

struct PeResource {
    ResourceId type;
    ResourceId name;
    uint16_t language = kLanguageNeutral;
    uint32_t codePage = 0;
    std::vector<uint8_t> data;
};

class PeImage {
public:
    // Parses an executable; nullopt and a message when it is not a PE file
    // or its resource directory is damaged.
    static std::optional<PeImage> parse(std::span<const uint8_t> file, std::string* error = nullptr);

    bool is64() const { return is64_; }
    const std::vector<PeResource>& resources() const { return resources_; }

    // The data of the first resource with that type and name (any language).
    const std::vector<uint8_t>* find(const ResourceId& type, const ResourceId& name) const;

    // Adds a resource, replacing every language of the same type and name.
    void set(PeResource resource);

    // The names of the modules the image imports, as its import table and
    // its delay-load table spell them, in table order. Damaged tables give
    // what could be read before the damage.
    std::vector<std::string> importedModules() const;

    // The bytes after the image's last section (an archive, for example).
    std::span<const uint8_t> overlay() const;

    // The executable with the current resources, without any overlay.
    // nullopt and a message when the resources cannot be placed.
    std::optional<std::vector<uint8_t>> write(std::string* error = nullptr) const;

private:
    std::vector<uint8_t> file_;
    bool is64_ = false;
    uint32_t peOffset_ = 0;
    uint64_t imageEnd_ = 0; // end of the last section's raw data
    std::vector<PeResource> resources_;
};

} // namespace paloma
