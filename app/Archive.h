#pragma once
// The package archive appended to the executable, and its extraction.
//
//   "P" "A" "F" 0, u32 version (1), string group name ("Application"),
//   u32 group size, the group's entries, u32 archive size (bytes from the
//   magic up to that field), u32 group count (1)
//
// The last two words are the last 8 bytes of the file. An entry is u32 kind
// (0 a file, else a folder), string name (one path component), u32 content
// size, content: a file's content is a zlib stream of its bytes and a u32
// CRC-32 of them, a folder's content is its own entries back to back.
//
// Paths inside the archive use "\" or "/" alike; names match without regard
// to case. A lookup searches only the bytes of the current folder, so it
// never wanders into a sibling. Entry names that could leave the extraction
// folder ("..", ".", names with a separator or a drive colon, empty names)
// are never matched and never extracted.

#include "app/ByteSource.h"
#include "app/FieldText.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace paloma {

inline constexpr char16_t kArchiveGroupName[] = u"Application";
constexpr uint32_t kArchiveVersion = 1;

struct ArchiveEntry {
    uint32_t kind = 0;
    std::u16string name;
    uint64_t contentOffset = 0; // in the source
    uint64_t contentSize = 0;

    bool isFolder() const { return kind != 0; }
};

// One node of a listed tree (packager's inspect).
struct ArchiveListing {
    ArchiveEntry entry;
    std::vector<ArchiveListing> children;
};

// True for a name that is one harmless path component.
bool isSafeEntryName(std::u16string_view name);

class Archive {
public:
    explicit Archive(ByteSource& source) : source_(source) {}

    // Finds the archive at the end of the source. False when there is none
    // or its magic, version or group name is wrong.
    bool open();
    bool isOpen() const { return open_; }

    // The group as a folder entry (name empty).
    ArchiveEntry root() const;

    // The entry at `path` (either separator; empty components ignored);
    // the root for an empty path; nullopt when any component is missing.
    std::optional<ArchiveEntry> lookup(std::u16string_view path);

    // The entries directly inside a folder entry. Stops at the first entry
    // that does not fit the folder.
    std::vector<ArchiveEntry> children(const ArchiveEntry& folder);

    // The whole tree, for listings.
    std::vector<ArchiveListing> list();

    // Resolves `path` below `extractRoot`: a file is extracted (unless it is
    // already there) and its local path returned; a folder is extracted
    // whole and its local path returned with a trailing separator; an empty
    // path extracts the whole group and returns `extractRoot`. The empty
    // path answers a missing component or a CRC mismatch. zlib failures
    // throw CZipException.
    std::filesystem::path resolve(std::u16string_view path, const std::filesystem::path& extractRoot);

    // Extracts one file entry to `local`. A file already there is kept and
    // not checked. A CRC mismatch or a short read deletes what was written
    // and answers false; a zlib failure throws CZipException.
    bool extractFile(const ArchiveEntry& file, const std::filesystem::path& local);

    // Extracts a folder entry's whole tree into `localFolder`. Unsafe names
    // are skipped; every byte of each entry header counts against the
    // folder's size, so extraction never runs into a sibling.
    // `progress`, when given, hears the packed size of each file done.
    void extractFolder(const ArchiveEntry& folder, const std::filesystem::path& localFolder,
                       const std::function<void(uint64_t)>& progress = {});

private:
    // Reads the entry header at `offset`, which must end (content included)
    // by `limit`.
    std::optional<ArchiveEntry> entryAt(uint64_t offset, uint64_t limit);

    ByteSource& source_;
    bool open_ = false;
    uint64_t groupOffset_ = 0;
    uint64_t groupSize_ = 0;
};

// The whole resolution of the runtime: in the archive of `source` when it
// has one, else beside the executable (`exeFolder` / path, when a file or
// folder of that name exists). The empty path when nothing is found.
std::filesystem::path resolveArchivePath(ByteSource& source, std::u16string_view path,
                                         const std::filesystem::path& extractRoot,
                                         const std::filesystem::path& exeFolder);

// A node of an archive to write: a file with its bytes, or a folder.
struct ArchiveNode {
    std::u16string name;
    bool folder = false;
    std::vector<uint8_t> content;
    std::vector<ArchiveNode> children;
};

// A complete archive (magic to group count) of one "Application" group.
// `progress`, when given, hears the size of each file compressed.
std::vector<uint8_t> writeArchive(const std::vector<ArchiveNode>& entries,
                                  const std::function<void(uint64_t)>& progress = {});

// The node for a file or folder on disk, named after its last component.
// nullopt (and a message) when it cannot be read.
std::optional<ArchiveNode> archiveNodeFromDisk(const std::filesystem::path& path, std::string* error = nullptr);

} // namespace paloma
