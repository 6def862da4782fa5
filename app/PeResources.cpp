// PE resources: parsing the resource directory and writing a new one.
#include "app/PeResources.h"

#include "base/ByteReader.h"
#include "base/ByteWriter.h"

#include <algorithm>
#include <map>

namespace paloma {

namespace {

constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kImportDirIndex = 1;
constexpr uint32_t kResourceDirIndex = 2;
constexpr uint32_t kDelayImportDirIndex = 13;
constexpr size_t kImportDescriptorSize = 20;
constexpr size_t kDelayDescriptorSize = 32;
// More modules than any program imports; a hostile table without its
// terminating entry stops here, and so does a name without its NUL.
constexpr size_t kMaxImportedModules = 4096;
constexpr size_t kMaxModuleNameLength = 260;
constexpr uint32_t kSecurityDirIndex = 4;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionCharacteristics = 0x40000040; // initialised data, readable
constexpr uint32_t kSectionDiscardable = 0x02000000;
constexpr size_t kSymbolSize = 18;
// A resource tree of a real program is small; a hostile one can make its
// directories point at each other. Visiting stops here.
constexpr size_t kMaxResourceEntries = 65536;

uint16_t get16(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
uint32_t get32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}
uint64_t alignUp(uint64_t v, uint64_t a) { return a ? (v + a - 1) / a * a : v; }

struct Section {
    uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
    size_t headerOffset;
    uint32_t characteristics;
};

struct Layout {
    uint32_t peOffset = 0;
    size_t optOffset = 0;
    uint16_t optSize = 0;
    bool is64 = false;
    uint32_t sectionAlignment = 0, fileAlignment = 0, sizeOfHeaders = 0;
    size_t dirOffset = 0; // data directories
    uint32_t dirCount = 0;
    size_t sectionTable = 0;
    std::vector<Section> sections;
    uint64_t imageEnd = 0;
};

bool fail(std::string* error, const char* message) {
    if (error)
        *error = message;
    return false;
}

bool parseLayout(std::span<const uint8_t> f, Layout& l, std::string* error) {
    if (f.size() < 0x40 || f[0] != 'M' || f[1] != 'Z')
        return fail(error, "not an executable (no MZ header)");
    l.peOffset = get32(f, 0x3C);
    if (l.peOffset > f.size() || f.size() - l.peOffset < 24 || f[l.peOffset] != 'P' || f[l.peOffset + 1] != 'E' ||
        f[l.peOffset + 2] != 0 || f[l.peOffset + 3] != 0)
        return fail(error, "not a PE executable (no PE signature)");
    uint16_t sectionCount = get16(f, l.peOffset + 6);
    l.optSize = get16(f, l.peOffset + 20);
    l.optOffset = l.peOffset + 24;
    if (l.optSize < 2 || f.size() - l.optOffset < l.optSize)
        return fail(error, "truncated optional header");
    uint16_t magic = get16(f, l.optOffset);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus)
        return fail(error, "unknown optional header magic");
    l.is64 = magic == kMagicPe32Plus;
    size_t countAt = l.is64 ? 108 : 92;
    if (l.optSize < countAt + 4)
        return fail(error, "truncated optional header");
    l.sectionAlignment = get32(f, l.optOffset + 32);
    l.fileAlignment = get32(f, l.optOffset + 36);
    l.sizeOfHeaders = get32(f, l.optOffset + 60);
    l.dirCount = get32(f, l.optOffset + countAt);
    l.dirOffset = l.optOffset + countAt + 4;
    if (l.dirCount > (l.optSize - countAt - 4) / 8)
        l.dirCount = uint32_t((l.optSize - countAt - 4) / 8);
    if (l.dirCount <= kResourceDirIndex)
        return fail(error, "the executable has no resource directory slot");
    // The system loads nothing aligned in the file to more than 64 KiB.
    if (l.fileAlignment == 0 || l.sectionAlignment == 0 || (l.fileAlignment & (l.fileAlignment - 1)) ||
        (l.sectionAlignment & (l.sectionAlignment - 1)) || l.fileAlignment > 0x10000)
        return fail(error, "bad section or file alignment");
    l.sectionTable = l.optOffset + l.optSize;
    if (f.size() < l.sectionTable || (f.size() - l.sectionTable) / kSectionHeaderSize < sectionCount)
        return fail(error, "truncated section table");
    l.imageEnd = std::max<uint64_t>(l.sizeOfHeaders, l.sectionTable + sectionCount * kSectionHeaderSize);
    for (uint16_t i = 0; i < sectionCount; ++i) {
        size_t at = l.sectionTable + i * kSectionHeaderSize;
        Section s{get32(f, at + 8), get32(f, at + 12), get32(f, at + 16), get32(f, at + 20), at, get32(f, at + 36)};
        if (s.rawSize > 0) {
            if (uint64_t(s.rawPointer) + s.rawSize > f.size())
                return fail(error, "a section reaches past the end of the file");
            l.imageEnd = std::max<uint64_t>(l.imageEnd, uint64_t(s.rawPointer) + s.rawSize);
        }
        l.sections.push_back(s);
    }
    if (l.imageEnd > f.size())
        return fail(error, "truncated headers");
    return true;
}

// File offset of `size` bytes at `rva`, when they lie in one section's raw data.
std::optional<uint64_t> rvaToOffset(const Layout& l, uint32_t rva, uint32_t size) {
    for (const Section& s : l.sections) {
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize &&
            uint64_t(rva - s.virtualAddress) + size <= s.rawSize)
            return uint64_t(s.rawPointer) + (rva - s.virtualAddress);
    }
    return std::nullopt;
}

class TreeReader {
public:
    TreeReader(std::span<const uint8_t> file, const Layout& layout, std::span<const uint8_t> area)
        : file_(file), layout_(layout), area_(area) {}

    bool read(std::vector<PeResource>& out, std::string* error) {
        return directory(0, 0, PeResource{}, out, error);
    }

private:
    bool name(uint32_t field, ResourceId& id) {
        if (!(field & 0x80000000)) {
            id = ResourceId{uint16_t(field), {}};
            return true;
        }
        uint32_t at = field & 0x7FFFFFFF;
        if (at > area_.size() || area_.size() - at < 2)
            return false;
        uint16_t length = get16(area_, at);
        if ((area_.size() - at - 2) / 2 < length)
            return false;
        id.number = 0;
        id.text.clear();
        for (uint16_t i = 0; i < length; ++i)
            id.text.push_back(char16_t(get16(area_, at + 2 + 2 * i)));
        if (id.text.empty())
            id.text.assign(1, u'#'); // an empty name cannot be told from a number
        return true;
    }

    bool directory(uint32_t at, int level, PeResource current, std::vector<PeResource>& out, std::string* error) {
        if (at > area_.size() || area_.size() - at < 16)
            return fail(error, "damaged resource directory");
        size_t count = size_t(get16(area_, at + 12)) + get16(area_, at + 14);
        if ((area_.size() - at - 16) / 8 < count)
            return fail(error, "damaged resource directory");
        for (size_t i = 0; i < count; ++i) {
            if (++visited_ > kMaxResourceEntries)
                return fail(error, "too many resource entries");
            size_t entry = at + 16 + 8 * i;
            uint32_t nameField = get32(area_, entry);
            uint32_t target = get32(area_, entry + 4);
            bool isDir = target & 0x80000000;
            ResourceId id;
            if (!name(nameField, id))
                return fail(error, "damaged resource name");
            if (level == 0)
                current.type = id;
            else if (level == 1)
                current.name = id;
            else
                current.language = id.number;
            if (level < 2) {
                if (!isDir)
                    return fail(error, "resource data where a directory belongs");
                if (!directory(target & 0x7FFFFFFF, level + 1, current, out, error))
                    return false;
                continue;
            }
            if (isDir)
                return fail(error, "resource directory nested too deep");
            if (target > area_.size() || area_.size() - target < 16)
                return fail(error, "damaged resource data entry");
            uint32_t rva = get32(area_, target), size = get32(area_, target + 4);
            auto offset = rvaToOffset(layout_, rva, size);
            if (!offset)
                return fail(error, "resource data outside the image");
            current.codePage = get32(area_, target + 8);
            current.data.assign(file_.begin() + *offset, file_.begin() + *offset + size);
            out.push_back(current);
        }
        return true;
    }

    std::span<const uint8_t> file_;
    const Layout& layout_;
    std::span<const uint8_t> area_;
    size_t visited_ = 0;
};

bool idLess(const ResourceId& a, const ResourceId& b) {
    if (a.isText() != b.isText())
        return a.isText(); // named entries come first
    if (a.isText())
        return a.text < b.text;
    return a.number < b.number;
}

struct IdOrder {
    bool operator()(const ResourceId& a, const ResourceId& b) const { return idLess(a, b); }
};

// The resource section's bytes for `resources`, to be loaded at `baseRva`.
std::vector<uint8_t> buildTree(const std::vector<PeResource>& resources, uint32_t baseRva) {
    using Languages = std::map<uint16_t, const PeResource*>;
    using Names = std::map<ResourceId, Languages, IdOrder>;
    std::map<ResourceId, Names, IdOrder> tree;
    for (const PeResource& r : resources)
        tree[r.type][r.name][r.language] = &r;

    // Sizes of the regions: directories, data entries, strings, data.
    size_t dirBytes = 16 + 8 * tree.size();
    size_t leafCount = 0, stringBytes = 0;
    auto addString = [&](const ResourceId& id) {
        if (id.isText())
            stringBytes += 2 + 2 * id.text.size();
    };
    for (auto& [type, names] : tree) {
        addString(type);
        dirBytes += 16 + 8 * names.size();
        for (auto& [name, langs] : names) {
            addString(name);
            dirBytes += 16 + 8 * langs.size();
            leafCount += langs.size();
        }
    }
    size_t leafStart = dirBytes;
    size_t stringStart = leafStart + 16 * leafCount;
    size_t dataStart = alignUp(stringStart + stringBytes, 8);

    std::vector<uint8_t> out(dataStart, 0);
    size_t nextDir = 0, nextLeaf = leafStart, nextString = stringStart;
    auto newDir = [&](size_t named, size_t numbered) {
        size_t at = nextDir;
        put16(out, at + 12, uint16_t(named));
        put16(out, at + 14, uint16_t(numbered));
        nextDir += 16 + 8 * (named + numbered);
        return at;
    };
    auto nameField = [&](const ResourceId& id) -> uint32_t {
        if (!id.isText())
            return id.number;
        size_t at = nextString;
        put16(out, at, uint16_t(id.text.size()));
        for (size_t i = 0; i < id.text.size(); ++i)
            put16(out, at + 2 + 2 * i, uint16_t(id.text[i]));
        nextString += 2 + 2 * id.text.size();
        return 0x80000000u | uint32_t(at);
    };
    auto countNamed = [](const auto& m) {
        return size_t(std::count_if(m.begin(), m.end(), [](const auto& kv) { return kv.first.isText(); }));
    };
    // Every data entry starts inside the section, an empty one too: placed
    // at the very end of the tree it would point just past the section's
    // raw data when the tree fills it exactly, and the reader (like any
    // careful reader) would call it outside the image.
    auto appendData = [&](const std::vector<uint8_t>& data) {
        size_t at = out.size();
        out.insert(out.end(), data.begin(), data.end());
        out.resize(alignUp(std::max(out.size(), at + 1), 8), 0);
        return at;
    };

    // Directories breadth-first: the root, then every type, then every name.
    size_t root = newDir(countNamed(tree), tree.size() - countNamed(tree));
    std::vector<size_t> typeDirs;
    size_t i = 0;
    for (auto& [type, names] : tree) {
        size_t dir = newDir(countNamed(names), names.size() - countNamed(names));
        typeDirs.push_back(dir);
        put32(out, root + 16 + 8 * i, nameField(type));
        put32(out, root + 16 + 8 * i + 4, 0x80000000u | uint32_t(dir));
        ++i;
    }
    i = 0;
    for (auto& [type, names] : tree) {
        size_t j = 0;
        for (auto& [name, langs] : names) {
            size_t dir = newDir(0, langs.size());
            put32(out, typeDirs[i] + 16 + 8 * j, nameField(name));
            put32(out, typeDirs[i] + 16 + 8 * j + 4, 0x80000000u | uint32_t(dir));
            size_t k = 0;
            for (auto& [lang, res] : langs) {
                size_t leaf = nextLeaf;
                nextLeaf += 16;
                put32(out, dir + 16 + 8 * k, lang);
                put32(out, dir + 16 + 8 * k + 4, uint32_t(leaf));
                size_t dataAt = appendData(res->data);
                put32(out, leaf, baseRva + uint32_t(dataAt));
                put32(out, leaf + 4, uint32_t(res->data.size()));
                put32(out, leaf + 8, res->codePage);
                ++k;
            }
            ++j;
        }
        ++i;
    }
    return out;
}

// A section whose name is "/" and a decimal offset: the real name lives in
// the COFF string table after the symbol table.
bool hasLongName(std::span<const uint8_t> f, const Section& s) { return f[s.headerOffset] == '/'; }

// The first eight bytes of a long section name, read from the string table;
// empty when the table or the name cannot be found.
std::string shortenedLongName(std::span<const uint8_t> f, const Layout& l, const Section& s) {
    uint64_t offset = 0;
    for (size_t i = 1; i < 8; ++i) {
        uint8_t c = f[s.headerOffset + i];
        if (c == 0)
            break;
        if (c < '0' || c > '9' || offset > 0xFFFFFFF)
            return {};
        offset = offset * 10 + (c - '0');
    }
    uint64_t symbols = get32(f, l.peOffset + 12), count = get32(f, l.peOffset + 16);
    uint64_t table = symbols + count * kSymbolSize;
    if (symbols == 0 || table > f.size() || f.size() - table < 4)
        return {};
    uint64_t tableSize = std::min<uint64_t>(get32(f, size_t(table)), f.size() - table);
    if (offset < 4 || offset >= tableSize)
        return {};
    std::string name;
    for (uint64_t at = table + offset; at < table + tableSize && f[at] && name.size() < 8; ++at)
        name.push_back(char(f[at]));
    return name;
}

// Takes out of `image` what cannot stay once the bytes after the last
// section are gone. Sections named through the string table there are the
// debugging sections a strip removes: discardable ones at the top of the
// address space go, with the data directories pointing into them. Any other
// long name becomes its first eight characters, so that no section header
// points into a table the file no longer has.
void dropStringTableSections(std::vector<uint8_t>& image, Layout& l) {
    std::vector<size_t> byAddress(l.sections.size());
    for (size_t i = 0; i < byAddress.size(); ++i)
        byAddress[i] = i;
    std::stable_sort(byAddress.begin(), byAddress.end(), [&](size_t a, size_t b) {
        return l.sections[a].virtualAddress < l.sections[b].virtualAddress;
    });
    std::vector<bool> dropped(l.sections.size(), false);
    for (size_t n = byAddress.size(); n > 1; --n) {
        const Section& s = l.sections[byAddress[n - 1]];
        if (!hasLongName(image, s) || !(s.characteristics & kSectionDiscardable))
            break;
        dropped[byAddress[n - 1]] = true;
    }
    for (size_t i = 0; i < l.sections.size(); ++i) {
        const Section& s = l.sections[i];
        if (dropped[i] || !hasLongName(image, s))
            continue;
        std::string name = shortenedLongName(image, l, s);
        std::fill(image.begin() + s.headerOffset, image.begin() + s.headerOffset + 8, 0);
        std::copy(name.begin(), name.end(), image.begin() + s.headerOffset);
    }
    if (std::find(dropped.begin(), dropped.end(), true) == dropped.end())
        return;

    // Directories into a dropped section's addresses (the debug directory,
    // typically) no longer lead anywhere.
    for (uint32_t d = 0; d < l.dirCount; ++d) {
        if (d == kSecurityDirIndex)
            continue; // a file offset, not an address
        uint32_t rva = get32(image, l.dirOffset + 8 * d);
        for (size_t i = 0; i < l.sections.size(); ++i) {
            const Section& s = l.sections[i];
            if (dropped[i] && rva >= s.virtualAddress &&
                rva - s.virtualAddress < std::max(std::max(s.virtualSize, s.rawSize), 1u)) {
                put32(image, l.dirOffset + 8 * d, 0);
                put32(image, l.dirOffset + 8 * d + 4, 0);
            }
        }
    }

    // The kept headers close up in their order; the image ends after the
    // last kept section's data.
    size_t tableBytes = l.sections.size() * kSectionHeaderSize;
    std::vector<uint8_t> headers(image.begin() + l.sectionTable, image.begin() + l.sectionTable + tableBytes);
    std::fill(image.begin() + l.sectionTable, image.begin() + l.sectionTable + tableBytes, 0);
    std::vector<Section> kept;
    l.imageEnd = std::max<uint64_t>(l.sizeOfHeaders, l.sectionTable);
    for (size_t i = 0; i < l.sections.size(); ++i) {
        if (dropped[i])
            continue;
        Section s = l.sections[i];
        s.headerOffset = l.sectionTable + kept.size() * kSectionHeaderSize;
        std::copy(headers.begin() + i * kSectionHeaderSize, headers.begin() + (i + 1) * kSectionHeaderSize,
                  image.begin() + s.headerOffset);
        if (s.rawSize > 0)
            l.imageEnd = std::max<uint64_t>(l.imageEnd, uint64_t(s.rawPointer) + s.rawSize);
        kept.push_back(s);
    }
    l.imageEnd = std::max<uint64_t>(l.imageEnd, l.sectionTable + kept.size() * kSectionHeaderSize);
    l.sections = std::move(kept);
    put16(image, l.peOffset + 6, uint16_t(l.sections.size()));
}

} // namespace

ResourceId ResourceId::of(std::u16string_view t) {
    ResourceId id;
    for (char16_t c : t)
        id.text.push_back(c >= u'a' && c <= u'z' ? char16_t(c - 32) : c);
    return id;
}

std::optional<PeImage> PeImage::parse(std::span<const uint8_t> file, std::string* error) {
    Layout l;
    if (!parseLayout(file, l, error))
        return std::nullopt;
    PeImage image;
    image.is64_ = l.is64;
    image.peOffset_ = l.peOffset;
    image.imageEnd_ = l.imageEnd;
    uint32_t rsrcRva = get32(file, l.dirOffset + 8 * kResourceDirIndex);
    uint32_t rsrcSize = get32(file, l.dirOffset + 8 * kResourceDirIndex + 4);
    if (rsrcRva != 0 && rsrcSize != 0) {
        // The directory's offsets are relative to its start and stay inside
        // the section that holds it.
        const Section* home = nullptr;
        for (const Section& s : l.sections)
            if (rsrcRva >= s.virtualAddress && rsrcRva - s.virtualAddress < s.rawSize)
                home = &s;
        if (!home) {
            if (error)
                *error = "resource directory outside the image";
            return std::nullopt;
        }
        uint32_t inSection = rsrcRva - home->virtualAddress;
        auto area = file.subspan(home->rawPointer + inSection, home->rawSize - inSection);
        TreeReader reader(file, l, area);
        if (!reader.read(image.resources_, error))
            return std::nullopt;
    }
    image.file_.assign(file.begin(), file.end());
    return image;
}

const std::vector<uint8_t>* PeImage::find(const ResourceId& type, const ResourceId& name) const {
    for (const PeResource& r : resources_)
        if (r.type == type && r.name == name)
            return &r.data;
    return nullptr;
}

void PeImage::set(PeResource resource) {
    std::erase_if(resources_, [&](const PeResource& r) { return r.type == resource.type && r.name == resource.name; });
    resources_.push_back(std::move(resource));
}

std::vector<std::string> PeImage::importedModules() const {
    std::vector<std::string> modules;
    Layout l;
    if (!parseLayout(file_, l, nullptr))
        return modules;
    std::span<const uint8_t> f(file_);
    // The module name at `rva`: NUL-terminated inside one section's raw data.
    auto nameAt = [&](uint32_t rva) -> std::optional<std::string> {
        auto at = rvaToOffset(l, rva, 1);
        if (!at)
            return std::nullopt;
        std::string name;
        for (uint64_t i = *at; i < f.size() && name.size() <= kMaxModuleNameLength; ++i) {
            if (f[size_t(i)] == 0)
                return name;
            name.push_back(char(f[size_t(i)]));
            if (!rvaToOffset(l, uint32_t(rva + name.size()), 1))
                break;
        }
        return std::nullopt;
    };
    // One descriptor table: fixed-size entries up to an all-zero one, the
    // module name's RVA at `nameField`.
    auto readTable = [&](uint32_t dirIndex, size_t entrySize, size_t nameField) {
        if (l.dirCount <= dirIndex)
            return;
        uint32_t rva = get32(f, l.dirOffset + 8 * dirIndex);
        if (rva == 0)
            return;
        for (size_t i = 0; i < kMaxImportedModules; ++i) {
            auto at = rvaToOffset(l, uint32_t(rva + i * entrySize), uint32_t(entrySize));
            if (!at)
                return;
            auto entry = f.subspan(size_t(*at), entrySize);
            if (std::all_of(entry.begin(), entry.end(), [](uint8_t b) { return b == 0; }))
                return;
            if (auto name = nameAt(get32(entry, nameField)))
                modules.push_back(std::move(*name));
        }
    };
    readTable(kImportDirIndex, kImportDescriptorSize, 12);
    readTable(kDelayImportDirIndex, kDelayDescriptorSize, 4);
    return modules;
}

std::span<const uint8_t> PeImage::overlay() const {
    return std::span<const uint8_t>(file_).subspan(size_t(imageEnd_));
}

std::optional<std::vector<uint8_t>> PeImage::write(std::string* error) const {
    Layout l;
    if (!parseLayout(file_, l, error))
        return std::nullopt;
    if (l.sections.empty()) {
        fail(error, "the executable has no sections");
        return std::nullopt;
    }
    std::vector<uint8_t> base(file_);
    dropStringTableSections(base, l);
    // The last section by address; reuse it when it is the resource section
    // and also last in the file, else add a section after it.
    const Section* last = &l.sections[0];
    for (const Section& s : l.sections)
        if (s.virtualAddress > last->virtualAddress)
            last = &s;
    uint32_t rsrcRva = get32(base, l.dirOffset + 8 * kResourceDirIndex);
    bool reuse = rsrcRva != 0 && rsrcRva == last->virtualAddress && last->rawSize > 0 &&
                 uint64_t(last->rawPointer) + last->rawSize == l.imageEnd;
    // Only a section of its own is rewritten: its data after the headers and
    // every other section's data, its addresses above every other section's.
    if (reuse) {
        size_t tableEnd = l.sectionTable + l.sections.size() * kSectionHeaderSize;
        reuse = last->rawPointer >= std::max<uint64_t>(l.sizeOfHeaders, tableEnd);
        for (const Section& s : l.sections) {
            if (&s == last)
                continue;
            if (s.rawSize > 0 && uint64_t(s.rawPointer) + s.rawSize > last->rawPointer)
                reuse = false;
            if (uint64_t(s.virtualAddress) + std::max(s.virtualSize, s.rawSize) > last->virtualAddress)
                reuse = false;
        }
    }

    std::vector<uint8_t> out;
    size_t header;
    uint32_t rva;
    uint64_t raw;
    if (reuse) {
        header = last->headerOffset;
        rva = last->virtualAddress;
        raw = last->rawPointer;
        out.assign(base.begin(), base.begin() + raw);
    } else {
        size_t tableEnd = l.sectionTable + l.sections.size() * kSectionHeaderSize;
        uint64_t firstRaw = l.imageEnd;
        for (const Section& s : l.sections)
            if (s.rawSize > 0)
                firstRaw = std::min<uint64_t>(firstRaw, s.rawPointer);
        uint64_t headersNeeded = alignUp(tableEnd + kSectionHeaderSize, l.fileAlignment);
        if (headersNeeded > firstRaw) {
            fail(error, "no room for another section header");
            return std::nullopt;
        }
        header = tableEnd;
        // After every section and the headers, whatever order the table has.
        uint64_t end = std::max<uint64_t>(l.sizeOfHeaders, 1);
        for (const Section& s : l.sections)
            end = std::max<uint64_t>(end, uint64_t(s.virtualAddress) + std::max(s.virtualSize, s.rawSize));
        end = alignUp(end, l.sectionAlignment);
        if (end > 0xFFFFFFFFull) {
            fail(error, "no address space left for the resources");
            return std::nullopt;
        }
        rva = uint32_t(end);
        raw = alignUp(l.imageEnd, l.fileAlignment);
        out.assign(base.begin(), base.begin() + l.imageEnd);
        out.resize(raw, 0);
        std::fill(out.begin() + header, out.begin() + header + kSectionHeaderSize, 0);
        const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
        std::copy(name, name + 8, out.begin() + header);
        put16(out, l.peOffset + 6, uint16_t(l.sections.size() + 1));
        if (headersNeeded > l.sizeOfHeaders)
            put32(out, l.optOffset + 60, uint32_t(headersNeeded));
    }
    std::vector<uint8_t> tree = buildTree(resources_, rva);
    if (uint64_t(rva) + alignUp(tree.size(), l.sectionAlignment) > 0xFFFFFFFFull) {
        fail(error, "no address space left for the resources");
        return std::nullopt;
    }
    uint32_t rawSize = uint32_t(alignUp(tree.size(), l.fileAlignment));
    out.insert(out.end(), tree.begin(), tree.end());
    out.resize(raw + rawSize, 0);

    put32(out, header + 8, uint32_t(tree.size()));
    put32(out, header + 12, rva);
    put32(out, header + 16, rawSize);
    put32(out, header + 20, uint32_t(raw));
    put32(out, header + 36, kSectionCharacteristics);
    put32(out, l.optOffset + 56, uint32_t(alignUp(uint64_t(rva) + tree.size(), l.sectionAlignment)));
    put32(out, l.dirOffset + 8 * kResourceDirIndex, rva);
    put32(out, l.dirOffset + 8 * kResourceDirIndex + 4, uint32_t(tree.size()));
    // What lived after the image is gone: the signature and the symbol
    // table that pointed there no longer apply, nor does the checksum.
    if (l.dirCount > kSecurityDirIndex) {
        put32(out, l.dirOffset + 8 * kSecurityDirIndex, 0);
        put32(out, l.dirOffset + 8 * kSecurityDirIndex + 4, 0);
    }
    if (get32(out, l.peOffset + 12) >= l.imageEnd) {
        put32(out, l.peOffset + 12, 0);
        put32(out, l.peOffset + 16, 0);
    }
    put32(out, l.optOffset + 64, 0);
    return out;
}

} // namespace paloma
