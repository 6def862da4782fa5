// The package archive: finding it, looking paths up, extracting, writing.
#include "app/Archive.h"

#include "app/ResourceBlock.h"
#include "app/ShellErrors.h"
#include "base/ByteWriter.h"
#include "base/Zlib.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace paloma {

namespace fs = std::filesystem;

namespace {

// Hostile archives can nest folders as deep as their size allows; listing
// and extraction stop descending here.
constexpr int kMaxFolderDepth = 128;

char16_t foldCase(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return char16_t(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return char16_t(c - 32);
    return c;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return foldCase(x) == foldCase(y); });
}

std::vector<std::u16string> splitPath(std::u16string_view path) {
    std::vector<std::u16string> parts;
    std::u16string current;
    for (char16_t c : path) {
        if (c == u'\\' || c == u'/') {
            if (!current.empty())
                parts.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty())
        parts.push_back(std::move(current));
    return parts;
}

bool readU32(ByteSource& source, uint64_t offset, uint32_t& value) {
    uint8_t b[4];
    if (!source.read(offset, b))
        return false;
    value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

// A stored string of `count` units at `offset`, cut at its first NUL.
bool readUnits(ByteSource& source, uint64_t offset, uint32_t count, std::u16string& text) {
    std::vector<uint8_t> raw(size_t(count) * 2);
    if (!source.read(offset, raw))
        return false;
    text.clear();
    for (uint32_t i = 0; i < count; ++i) {
        char16_t c = char16_t(raw[2 * i] | raw[2 * i + 1] << 8);
        if (c == 0)
            break;
        text.push_back(c);
    }
    return true;
}

void removeQuietly(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

} // namespace

bool isSafeEntryName(std::u16string_view name) {
    if (name.empty())
        return false;
    bool onlyDotsAndSpaces = true;
    for (char16_t c : name) {
        if (c < 0x20 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
            c == u'>' || c == u'|')
            return false;
        if (c != u'.' && c != u' ')
            onlyDotsAndSpaces = false;
    }
    // ".", "..", and what the system trims to them.
    return !onlyDotsAndSpaces;
}

bool Archive::open() {
    open_ = false;
    uint64_t size = source_.size();
    if (size < 8)
        return false;
    uint32_t groupCount = 0, archiveSize = 0;
    // 1. No groups: no archive.
    if (!readU32(source_, size - 4, groupCount) || groupCount == 0)
        return false;
    // 2. The archive size leads back to the magic.
    if (!readU32(source_, size - 8, archiveSize) || uint64_t(archiveSize) > size - 8)
        return false;
    uint64_t start = size - 8 - archiveSize;
    uint64_t end = size - 8;
    uint8_t magic[4];
    if (!source_.read(start, magic) || magic[0] != 'P' || magic[1] != 'A' || magic[2] != 'F' || magic[3] != 0)
        return false;
    // 3. Version, group name, group size.
    uint32_t version = 0, nameCount = 0;
    if (!readU32(source_, start + 4, version) || version == 0)
        return false;
    if (!readU32(source_, start + 8, nameCount))
        return false;
    uint64_t pos = start + 12;
    if (uint64_t(nameCount) * 2 > end - pos)
        return false;
    std::u16string name;
    if (!readUnits(source_, pos, nameCount, name) || !sameName(name, kArchiveGroupName))
        return false;
    pos += uint64_t(nameCount) * 2;
    uint32_t groupSize = 0;
    if (pos + 4 > end || !readU32(source_, pos, groupSize))
        return false;
    pos += 4;
    if (groupSize > end - pos)
        return false;
    groupOffset_ = pos;
    groupSize_ = groupSize;
    open_ = true;
    return true;
}

ArchiveEntry Archive::root() const {
    ArchiveEntry e;
    e.kind = 1;
    e.contentOffset = groupOffset_;
    e.contentSize = groupSize_;
    return e;
}

std::optional<ArchiveEntry> Archive::entryAt(uint64_t offset, uint64_t limit) {
    ArchiveEntry e;
    uint32_t nameCount = 0, size = 0;
    if (offset > limit || limit - offset < 8)
        return std::nullopt;
    if (!readU32(source_, offset, e.kind) || !readU32(source_, offset + 4, nameCount))
        return std::nullopt;
    uint64_t pos = offset + 8;
    if (uint64_t(nameCount) * 2 + 4 > limit - pos)
        return std::nullopt;
    if (!readUnits(source_, pos, nameCount, e.name))
        return std::nullopt;
    pos += uint64_t(nameCount) * 2;
    if (!readU32(source_, pos, size))
        return std::nullopt;
    pos += 4;
    if (size > limit - pos)
        return std::nullopt;
    e.contentOffset = pos;
    e.contentSize = size;
    return e;
}

std::vector<ArchiveEntry> Archive::children(const ArchiveEntry& folder) {
    std::vector<ArchiveEntry> out;
    if (!open_ || !folder.isFolder())
        return out;
    uint64_t limit = folder.contentOffset + folder.contentSize;
    for (uint64_t pos = folder.contentOffset; pos < limit;) {
        auto e = entryAt(pos, limit);
        if (!e)
            break;
        pos = e->contentOffset + e->contentSize;
        out.push_back(std::move(*e));
    }
    return out;
}

std::vector<ArchiveListing> Archive::list() {
    std::vector<ArchiveListing> top;
    if (!open_)
        return top;
    auto fill = [&](auto& self, const ArchiveEntry& folder, std::vector<ArchiveListing>& into, int depth) -> void {
        for (ArchiveEntry& e : children(folder)) {
            ArchiveListing node{std::move(e), {}};
            if (node.entry.isFolder() && depth < kMaxFolderDepth)
                self(self, node.entry, node.children, depth + 1);
            into.push_back(std::move(node));
        }
    };
    fill(fill, root(), top, 0);
    return top;
}

std::optional<ArchiveEntry> Archive::lookup(std::u16string_view path) {
    if (!open_)
        return std::nullopt;
    ArchiveEntry current = root();
    for (const std::u16string& part : splitPath(path)) {
        // A file has no components below it, and a component that could
        // leave the folder names nothing.
        if (!current.isFolder() || !isSafeEntryName(part))
            return std::nullopt;
        uint64_t limit = current.contentOffset + current.contentSize;
        std::optional<ArchiveEntry> found;
        for (uint64_t pos = current.contentOffset; pos < limit;) {
            auto e = entryAt(pos, limit);
            if (!e)
                return std::nullopt;
            if (sameName(e->name, part) && isSafeEntryName(e->name)) {
                found = std::move(e);
                break;
            }
            pos = e->contentOffset + e->contentSize;
        }
        if (!found)
            return std::nullopt;
        current = std::move(*found);
    }
    return current;
}

bool Archive::extractFile(const ArchiveEntry& file, const fs::path& local) {
    std::error_code ec;
    // 1. An existing file is taken as it is.
    if (fs::exists(local, ec))
        return fs::is_regular_file(local, ec);
    if (file.isFolder() || file.contentSize < 4)
        return false;
    // 2. Inflate the stream into the file in chunks, with a running CRC.
    std::ofstream out(local, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    InflateStream inflater;
    if (int rc = inflater.init(); rc != kZlibOk) {
        out.close();
        removeQuietly(local);
        throw CZipException(zipErrorMessage(rc));
    }
    uint32_t crc = 0;
    bool written = true;
    auto sink = [&](std::span<const uint8_t> chunk) {
        crc = crc32Of(chunk, crc);
        out.write(reinterpret_cast<const char*>(chunk.data()), std::streamsize(chunk.size()));
        written = written && bool(out);
        return written;
    };
    uint64_t streamSize = file.contentSize - 4;
    bool complete = true;
    uint8_t chunk[4096];
    for (uint64_t done = 0; done < streamSize && !inflater.finished();) {
        size_t n = size_t(std::min<uint64_t>(sizeof chunk, streamSize - done));
        if (!source_.read(file.contentOffset + done, std::span(chunk, n))) {
            complete = false; // the archive ends early
            break;
        }
        int rc = inflater.feed(std::span(chunk, n), sink);
        if (rc != kZlibOk) {
            out.close();
            removeQuietly(local);
            if (!written)
                return false;
            throw CZipException(zipErrorMessage(rc));
        }
        done += n;
    }
    out.close();
    // 3. The stored CRC decides; a stream that did not end is no file.
    uint32_t stored = 0;
    if (!complete || !written || !out || !inflater.finished() ||
        !readU32(source_, file.contentOffset + streamSize, stored) || stored != crc) {
        removeQuietly(local);
        return false;
    }
    return true;
}

void Archive::extractFolder(const ArchiveEntry& folder, const fs::path& localFolder,
                            const std::function<void(uint64_t)>& progress) {
    auto walk = [&](auto& self, const ArchiveEntry& dir, const fs::path& into, int depth) -> void {
        std::error_code ec;
        fs::create_directories(into, ec);
        uint64_t pos = dir.contentOffset;
        uint64_t remaining = dir.contentSize;
        while (remaining > 4) {
            // Kind, name and size field all count against the folder: an
            // entry whose header or content would pass its end stops here.
            auto e = entryAt(pos, pos + remaining);
            if (!e)
                break;
            uint64_t used = e->contentOffset + e->contentSize - pos;
            if (isSafeEntryName(e->name)) {
                if (e->isFolder()) {
                    if (depth < kMaxFolderDepth)
                        self(self, *e, into / pathOf(e->name), depth + 1);
                } else {
                    extractFile(*e, into / pathOf(e->name));
                    if (progress)
                        progress(e->contentSize);
                }
            }
            pos += used;
            remaining -= used;
        }
    };
    if (open_ && folder.isFolder())
        walk(walk, folder, localFolder, 0);
}

fs::path Archive::resolve(std::u16string_view path, const fs::path& extractRoot) {
    if (!open_)
        return {};
    std::error_code ec;
    fs::create_directories(extractRoot, ec);
    ArchiveEntry current = root();
    fs::path local = extractRoot;
    // Walk the components one folder at a time, creating local folders.
    std::vector<std::u16string> parts = splitPath(path);
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::u16string& part = parts[i];
        if (!current.isFolder() || !isSafeEntryName(part))
            return {};
        std::optional<ArchiveEntry> found;
        for (const ArchiveEntry& e : children(current)) {
            if (sameName(e.name, part) && isSafeEntryName(e.name)) {
                found = e;
                break;
            }
        }
        if (!found)
            return {};
        current = std::move(*found);
        local /= pathOf(part);
        if (!current.isFolder()) {
            if (i + 1 != parts.size())
                return {}; // components left below a file
            return extractFile(current, local) ? local : fs::path();
        }
        fs::create_directories(local, ec);
    }
    extractFolder(current, local);
    return local / "";
}

fs::path resolveArchivePath(ByteSource& source, std::u16string_view path, const fs::path& extractRoot,
                            const fs::path& exeFolder) {
    Archive archive(source);
    if (archive.open())
        return archive.resolve(path, extractRoot);
    fs::path local = exeFolder;
    for (const std::u16string& part : splitPath(path))
        local /= pathOf(part);
    std::error_code ec;
    if (exeFolder.empty() || !fs::exists(local, ec))
        return {};
    // The empty path names the executable's folder itself.
    return local == exeFolder ? local / "" : local;
}

namespace {

void writeNode(ByteWriter& w, const ArchiveNode& node, const std::function<void(uint64_t)>& progress) {
    w.u32(node.folder ? 1 : 0);
    w.string16(std::u16string_view(node.name));
    size_t sizeAt = w.size();
    w.u32(0);
    size_t start = w.size();
    if (node.folder) {
        for (const ArchiveNode& child : node.children)
            writeNode(w, child, progress);
    } else {
        w.bytes(zlibCompress(node.content));
        w.u32(crc32Of(node.content));
        if (progress)
            progress(node.content.size());
    }
    w.patchU32(sizeAt, uint32_t(w.size() - start));
}

} // namespace

std::vector<uint8_t> writeArchive(const std::vector<ArchiveNode>& entries,
                                  const std::function<void(uint64_t)>& progress) {
    ByteWriter w;
    w.bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("PAF"), 4));
    w.u32(kArchiveVersion);
    w.string16(std::u16string_view(kArchiveGroupName));
    size_t sizeAt = w.size();
    w.u32(0);
    size_t start = w.size();
    for (const ArchiveNode& node : entries)
        writeNode(w, node, progress);
    w.patchU32(sizeAt, uint32_t(w.size() - start));
    w.u32(uint32_t(w.size()));
    w.u32(1);
    return w.take();
}

std::optional<ArchiveNode> archiveNodeFromDisk(const fs::path& path, std::string* error) {
    std::error_code ec;
    ArchiveNode node;
    fs::path clean = path.has_filename() ? path : path.parent_path();
    try {
        node.name = clean.filename().u16string();
    } catch (const std::exception&) {
        if (error)
            *error = "cannot use the name of " + clean.string();
        return std::nullopt;
    }
    if (fs::is_directory(clean, ec)) {
        node.folder = true;
        std::vector<fs::path> items;
        for (const auto& item : fs::directory_iterator(clean, ec))
            items.push_back(item.path());
        if (ec) {
            if (error)
                *error = "cannot list folder " + clean.string();
            return std::nullopt;
        }
        std::sort(items.begin(), items.end());
        for (const fs::path& item : items) {
            auto child = archiveNodeFromDisk(item, error);
            if (!child)
                return std::nullopt;
            node.children.push_back(std::move(*child));
        }
        return node;
    }
    std::ifstream in(clean, std::ios::binary);
    if (!in || !fs::is_regular_file(clean, ec)) {
        if (error)
            *error = "cannot read " + clean.string();
        return std::nullopt;
    }
    node.content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return node;
}

} // namespace paloma
