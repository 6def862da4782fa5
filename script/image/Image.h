#pragma once
// The compiled script image: its in-memory form (SectionSet), the constant
// pool builder the code generator enters constants through, the writer, the
// readers from memory and from a file, and the recogniser of script files.
//
// Reading order: the on-disk layout first (below), then SectionSet and its
// parts, then ConstantPool (writing side), then the reader and writer.
//
// Layout of an image. Header words are little-endian; every integer inside the
// sections (counts, operands, lengths, offsets, line numbers) is big-endian.
//
//   0   "QS1b"
//   4   four section records of three u32: tag, offset, size. The low byte of
//       the tag is the section number, the upper 24 bits are random. Offsets
//       count from the magic; the bodies follow the header without gaps.
//   52  0xFFFFFFFF, where a fifth tag would stand: readers stop there.
//   56  section bodies 0 (code), 1 (constant pool), 2 (function table),
//       3 (line table, empty without line information).
//
// A script file may start with a line beginning with '#' (a command
// interpreter line); every reader skips it before looking for the magic.
//
// An image may come from any file, so nothing here trusts it: the readers
// check every offset and size, decodeSections() checks every record of the
// sections and decodeFunction() every instruction of the code (ImageCode.h).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "script/values/Messages.h"

namespace quill {

inline constexpr char kImageMagic[4] = {'Q', 'S', '1', 'b'};
inline constexpr size_t kImageHeaderSize = 56;
inline constexpr uint32_t kSectionListEnd = 0xFFFFFFFF;

// Section numbers (the low byte of a record's tag).
enum class SectionNumber : uint8_t { Code = 0, Constants = 1, Functions = 2, Lines = 3 };
inline constexpr int kSectionCount = 4;

// The message of every image the loader cannot accept.
inline constexpr const char* kUnimplementedBytecode = kErrBadBytecode;
// What decodeSections() reports when memory runs out.
inline constexpr const char* kOutOfMemory = kErrOutOfMemory;
// What loadImage() reports when the reader finds no image at all.
inline constexpr const char* kImageUnreadable = "not a compiled Quill script image";

// Name of the top-level code in the function table.
inline constexpr const char* kMainFunctionName = ".main";
// Source name of images compiled from memory, and of images without one.
inline constexpr const char* kStringSourceName = "string";
inline constexpr const char* kUnknownSourceName = "unknown";

// ---------------------------------------------------------------------------
// The section set: an image taken apart
// ---------------------------------------------------------------------------

// Kind byte of a constant pool entry; the values are those of the engine's
// Value kinds where one exists.
enum class ConstantKind : uint8_t {
    Null = 1,       // no payload; accepted by the reader, never written
    Boolean = 2,    // 1 byte; accepted by the reader, never written
    Integer = 3,    // 8 bytes: high u32, low u32, big-endian
    String = 4,     // u32 byte length L, L bytes of UTF-16LE
    Number = 5,     // 8 bytes, IEEE-754 double, little-endian
    Identifier = 10, // single-byte text, 0 byte
    RegExp = 11,    // flag byte, u32 byte length L, L bytes of UTF-16LE
    NaN = 13,       // no payload; accepted by the reader, never written
};

// Flag bits of a regular-expression constant.
inline constexpr uint8_t kRegExpGlobal = 1;
inline constexpr uint8_t kRegExpIgnoreCase = 2;
inline constexpr uint8_t kRegExpMultiline = 4;

struct Constant {
    ConstantKind kind = ConstantKind::Null;
    int64_t integer = 0;  // Integer; Boolean (0 or 1)
    double number = 0;    // Number
    std::string name;     // Identifier: single-byte (ANSI) text
    std::u16string text;  // String; RegExp pattern
    uint8_t flags = 0;    // RegExp: kRegExpGlobal | kRegExpIgnoreCase | kRegExpMultiline

    static Constant makeInteger(int64_t value);
    static Constant makeNumber(double value);
    static Constant makeIdentifier(std::string_view name);
    static Constant makeString(std::u16string_view text);
    static Constant makeRegExp(std::u16string_view pattern, uint8_t flags);

    // Same kind and same payload; numbers compare by their bits.
    bool operator==(const Constant& other) const;
};

// One entry of the function table.
struct FunctionEntry {
    std::string name;    // single-byte text: a declared name, ".main" or "@F_n"
    uint32_t offset = 0; // of its first instruction within the code section

    bool operator==(const FunctionEntry&) const = default;
};

// A tag-2 line record: the instruction that ends at `offset` (a byte offset of
// the code section) and those after it, up to the next record, come from
// source line `line`.
struct LineRecord {
    uint32_t offset = 0;
    uint32_t line = 0;

    bool operator==(const LineRecord&) const = default;
};

struct LineTable {
    // The tag-1 record: the script file's name, "string" for source compiled
    // from memory; none when the image has no line information.
    std::optional<std::string> sourceName;
    std::vector<LineRecord> records;

    bool empty() const { return !sourceName && records.empty(); }

    // Writing side: records that the instruction ending at endOffset comes
    // from `line`, unless the previously recorded line is the same.
    void note(uint32_t endOffset, uint32_t line);

    // Line of the instruction that ends at endOffset: that of the last record
    // at or before it; 0 when there is none.
    uint32_t lineAt(uint32_t endOffset) const;

    bool operator==(const LineTable&) const = default;
};

// Everything an image holds. The code generator's emitter fills one and hands
// it to writeImage(); decodeSections() rebuilds one from what a reader found.
struct SectionSet {
    std::vector<uint8_t> code;          // section 0
    std::vector<Constant> constants;    // section 1, entry index = position
    std::vector<FunctionEntry> functions; // section 2
    LineTable lines;                    // section 3

    // Byte range [begin, end) of function i within the code: up to the next
    // entry's offset, the last one to the end of the code.
    uint32_t functionEnd(size_t index) const;

    bool operator==(const SectionSet&) const = default;
};

// ---------------------------------------------------------------------------
// Constant pool builder (writing side)
// ---------------------------------------------------------------------------

// The hash of the pool's keys and of the compiler's symbol tables: for each
// byte b, h = (h >> 7) ^ (h >> 16) ^ b ^ (h << 5), in 32-bit arithmetic.
uint32_t poolHash(std::string_view key);
inline constexpr uint32_t kPoolBuckets = 257;

// Every identifier operand and every constant of a `pushconst` is entered here:
// equal constants of one kind share one entry, a new entry takes the next
// index and is appended at once. Text arrives as single-byte (ANSI) text, as
// the lexer produces it; strings and patterns are kept as UTF-16.
class ConstantPool {
public:
    ConstantPool();

    uint32_t identifier(std::string_view name);
    uint32_t integer(int64_t value);
    uint32_t number(double value);
    uint32_t string(std::string_view ansiText);
    uint32_t regExp(std::string_view ansiPattern, uint8_t flags);

    size_t size() const { return entries_.size(); }
    const std::vector<Constant>& entries() const { return entries_; }
    std::vector<Constant> take();

private:
    uint32_t enter(ConstantKind kind, std::string key, Constant&& constant);

    struct Slot {
        ConstantKind kind;
        std::string key;
        uint32_t index;
    };
    std::vector<std::vector<Slot>> buckets_; // kPoolBuckets of them
    std::vector<Constant> entries_;
};

// ---------------------------------------------------------------------------
// Writer
// ---------------------------------------------------------------------------

// The image of a section set. The upper bits of the section tags come from a
// generator seeded with the current time, or with `tagSeed` when given.
std::vector<uint8_t> writeImage(const SectionSet& sections,
                                std::optional<uint32_t> tagSeed = std::nullopt);

// Writes image bytes to a file opened in binary mode; false when that fails.
bool writeImageFile(const std::filesystem::path& path, std::span<const uint8_t> image);

// ---------------------------------------------------------------------------
// Readers
// ---------------------------------------------------------------------------

// One section as a reader found it.
struct RawSection {
    uint8_t number = 0;  // low byte of the tag
    uint32_t tag = 0;    // the whole tag, random upper bits included
    uint32_t offset = 0; // from the magic
    std::vector<uint8_t> bytes;
};

// The sections of an image in the order of their header records.
struct RawImage {
    std::vector<RawSection> sections;

    // First section of that number; null when the image has none.
    const RawSection* find(SectionNumber number) const;
};

// Reads an image from memory (an optional '#' line, then the magic). Returns
// nothing when the magic is missing, fewer than 8 bytes follow the '#' line,
// the record list runs past the data, a section lies beyond the data, or
// memory runs out.
std::optional<RawImage> readImage(std::span<const uint8_t> data);

// The same from an open file (read from its current position) or a path.
std::optional<RawImage> readImageFile(std::FILE* file);
std::optional<RawImage> readImageFile(const std::filesystem::path& path);

// Takes the sections apart and checks every record: constant kinds, lengths,
// terminators, the function table (offsets inside the code and ascending) and
// the line table tags. A missing section counts as empty, except that the
// function table needs at least its count. On failure returns nothing and
// sets *error to kUnimplementedBytecode when error is not null.
std::optional<SectionSet> decodeSections(const RawImage& raw, std::string* error = nullptr);

// readImage followed by decodeSections.
std::optional<SectionSet> loadImage(std::span<const uint8_t> data, std::string* error = nullptr);

// ---------------------------------------------------------------------------
// Recognising script files
// ---------------------------------------------------------------------------

enum class ScriptFileKind { Source, Image };

// A name ending in ".qsc" (any case) is an image, one ending in ".qls" source;
// any other file is opened, its '#' line skipped, and the next four bytes
// compared with the magic. A file that cannot be read counts as source (its
// compilation then reports that it cannot be opened).
ScriptFileKind recogniseScriptFile(const std::filesystem::path& path);

// The same test on text in memory: image when the magic follows the optional
// '#' line.
bool looksLikeImage(std::span<const uint8_t> data);

// Offset just past the optional '#' first line (0 when there is none; the
// size of the data when the line has no newline).
size_t skipHashLine(std::span<const uint8_t> data);

} // namespace quill
