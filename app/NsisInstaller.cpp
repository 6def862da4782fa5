// Extraction of the first ".ocx" file from a script-built installer.
//
// Layout after the 28-byte first header (flags, 0xDEADBEEF, "NullsoftInst",
// header length, length of everything that follows):
//   non-solid: a header block, then the data blocks; every block is a u32
//              length (bit 31 set: raw deflate data follows, else stored
//              bytes) and that many bytes;
//   solid:     one raw deflate stream whose content is the non-solid layout
//              with every block stored.
// The header starts with a flags word and eight (offset, count) pairs; pair 2
// locates the instruction table (28-byte entries: opcode and six parameters),
// pair 3 the string table (UTF-16 or ANSI). Opcode 20 extracts a file: its
// parameter 1 is the name's string offset, parameter 2 the data block offset.
#include "app/NsisInstaller.h"

#include <cstring>
#include <string>

#include <zlib.h>

namespace paloma {

namespace {

constexpr size_t kFirstHeaderSize = 28;
constexpr uint32_t kSignature = 0xDEADBEEF;
constexpr uint32_t kCompressedBit = 0x80000000u;
constexpr size_t kEntrySize = 28;
constexpr uint32_t kOpExtractFile = 20;
constexpr size_t kHeaderBlockPairs = 8;
constexpr size_t kEntriesPair = 2;
constexpr size_t kStringsPair = 3;

std::optional<uint32_t> readU32(std::span<const uint8_t> bytes, size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4)
        return std::nullopt;
    const uint8_t* p = bytes.data() + offset;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Raw deflate data to bytes; nothing on any error or past the limit. The
// input may continue past the stream's end (solid data carries a checksum).
std::optional<std::vector<uint8_t>> inflateRaw(std::span<const uint8_t> input) {
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return std::nullopt;
    std::vector<uint8_t> out;
    size_t consumed = 0;
    int rc = Z_OK;
    uint8_t chunk[16384];
    while (rc != Z_STREAM_END) {
        size_t remaining = input.size() - consumed;
        zs.next_in = const_cast<Bytef*>(input.data() + consumed);
        zs.avail_in = uInt(remaining > (1u << 30) ? (1u << 30) : remaining);
        uInt givenIn = zs.avail_in;
        zs.next_out = chunk;
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        consumed += givenIn - zs.avail_in;
        size_t produced = sizeof chunk - zs.avail_out;
        if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && produced > 0))
            break;
        if (out.size() + produced > kNsisMaxInflated)
            break;
        out.insert(out.end(), chunk, chunk + produced);
        if (rc != Z_STREAM_END && produced == 0 && givenIn == zs.avail_in)
            break; // no progress: the input ended early
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return std::nullopt;
    return out;
}

// One block of the non-solid layout (or of an inflated solid stream, where
// `allowCompressed` is false) at `offset` of `area`.
std::optional<std::vector<uint8_t>> readBlock(std::span<const uint8_t> area, size_t offset, bool allowCompressed) {
    auto length = readU32(area, offset);
    if (!length)
        return std::nullopt;
    bool compressed = (*length & kCompressedBit) != 0;
    size_t size = *length & ~kCompressedBit;
    size_t start = offset + 4;
    if (start > area.size() || area.size() - start < size)
        return std::nullopt;
    auto bytes = area.subspan(start, size);
    if (!compressed)
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    if (!allowCompressed)
        return std::nullopt;
    return inflateRaw(bytes);
}

bool endsWithOcx(const std::u16string& name) {
    if (name.size() < 4)
        return false;
    const char16_t* tail = name.data() + name.size() - 4;
    auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; };
    return tail[0] == u'.' && lower(tail[1]) == u'o' && lower(tail[2]) == u'c' && lower(tail[3]) == u'x';
}

// The name at string offset `index`, read as UTF-16 (units) or as ANSI bytes;
// empty when it runs past the header without a terminator.
std::u16string readName(std::span<const uint8_t> header, size_t strings, uint32_t index, bool wide) {
    std::u16string name;
    if (wide) {
        size_t at = strings + size_t(index) * 2;
        if (at < strings)
            return {};
        for (; at + 1 < header.size(); at += 2) {
            char16_t c = char16_t(header[at] | header[at + 1] << 8);
            if (c == 0)
                return name;
            name += c;
        }
        return {};
    }
    for (size_t at = strings + index; at < header.size(); ++at) {
        if (header[at] == 0)
            return name;
        name += char16_t(header[at]);
    }
    return {};
}

struct Layout {
    std::vector<uint8_t> header;
    std::span<const uint8_t> data; // the data blocks, offsets counted from here
    bool compressedBlocks = false;
    std::vector<uint8_t> solidStorage;
};

std::optional<Layout> openLayout(std::span<const uint8_t> file, size_t firstHeader) {
    auto headerLength = readU32(file, firstHeader + 20);
    if (!headerLength)
        return std::nullopt;
    auto after = file.subspan(firstHeader + kFirstHeaderSize);
    auto lead = readU32(after, 0);
    if (!lead)
        return std::nullopt;

    Layout layout;
    size_t leadSize = *lead & ~kCompressedBit;
    bool nonSolid = *lead == *headerLength || ((*lead & kCompressedBit) && leadSize <= after.size() - 4);
    if (nonSolid) {
        auto header = readBlock(after, 0, true);
        if (header && header->size() == *headerLength) {
            layout.header = std::move(*header);
            layout.data = after.subspan(4 + leadSize);
            layout.compressedBlocks = true;
            return layout;
        }
    }
    // Solid: one raw deflate stream holding the stored layout.
    auto inflated = inflateRaw(after);
    if (!inflated)
        return std::nullopt;
    layout.solidStorage = std::move(*inflated);
    std::span<const uint8_t> stream(layout.solidStorage);
    auto header = readBlock(stream, 0, false);
    if (!header || header->size() != *headerLength)
        return std::nullopt;
    layout.header = std::move(*header);
    layout.data = stream.subspan(4 + layout.header.size());
    return layout;
}

} // namespace

std::optional<size_t> findNsisFirstHeader(std::span<const uint8_t> file) {
    for (size_t pos = 0; pos <= file.size() && file.size() - pos >= kFirstHeaderSize; pos += 512) {
        auto flags = readU32(file, pos);
        auto signature = readU32(file, pos + 4);
        if (*flags < 16 && *signature == kSignature && std::memcmp(file.data() + pos + 8, "NullsoftInst", 12) == 0)
            return pos;
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> extractFirstOcxFromNsis(std::span<const uint8_t> file) {
    auto first = findNsisFirstHeader(file);
    if (!first)
        return std::nullopt;
    auto layout = openLayout(file, *first);
    if (!layout)
        return std::nullopt;
    std::span<const uint8_t> header(layout->header);

    auto entriesAt = readU32(header, 4 + 8 * kEntriesPair);
    auto entryCount = readU32(header, 4 + 8 * kEntriesPair + 4);
    auto stringsAt = readU32(header, 4 + 8 * kStringsPair);
    if (!entriesAt || !entryCount || !stringsAt || header.size() < 4 + 8 * kHeaderBlockPairs)
        return std::nullopt;
    if (*entriesAt > header.size() || (header.size() - *entriesAt) / kEntrySize < *entryCount)
        return std::nullopt;

    for (uint32_t i = 0; i < *entryCount; ++i) {
        size_t entry = *entriesAt + size_t(i) * kEntrySize;
        if (*readU32(header, entry) != kOpExtractFile)
            continue;
        uint32_t nameIndex = *readU32(header, entry + 8);
        uint32_t dataOffset = *readU32(header, entry + 12);
        if (!endsWithOcx(readName(header, *stringsAt, nameIndex, true)) &&
            !endsWithOcx(readName(header, *stringsAt, nameIndex, false)))
            continue;
        return readBlock(layout->data, dataOffset, layout->compressedBlocks);
    }
    return std::nullopt;
}

} // namespace paloma
