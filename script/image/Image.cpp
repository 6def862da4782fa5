// The compiled script image: constant pool builder, writer, readers and the
// decoding of sections into a SectionSet.
#include "script/image/Image.h"
#include "script/image/ImageCode.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <random>

#include "base/TextCodec.h"

namespace quill {

namespace {

// ---------------------------------------------------------------------------
// Byte helpers: big-endian inside the sections, little-endian in the header
// ---------------------------------------------------------------------------

void putU32BE(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void putU32LE(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 24));
}

uint32_t getU32LE(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putUtf16LE(std::vector<uint8_t>& out, std::u16string_view text) {
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
}

// A bounds-checked cursor over one section's bytes. Every read reports
// failure instead of running past the end.
class Cursor {
public:
    explicit Cursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool atEnd() const { return pos_ >= bytes_.size(); }
    size_t remaining() const { return bytes_.size() - pos_; }

    bool u8(uint8_t& out) {
        if (remaining() < 1)
            return false;
        out = bytes_[pos_++];
        return true;
    }
    bool u32be(uint32_t& out) {
        if (remaining() < 4)
            return false;
        const uint8_t* p = bytes_.data() + pos_;
        out = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
        pos_ += 4;
        return true;
    }
    bool bytes(size_t count, std::span<const uint8_t>& out) {
        if (remaining() < count)
            return false;
        out = bytes_.subspan(pos_, count);
        pos_ += count;
        return true;
    }
    // Single-byte text up to a 0 byte, which is consumed.
    bool cString(std::string& out) {
        const uint8_t* begin = bytes_.data() + pos_;
        const uint8_t* end = bytes_.data() + bytes_.size();
        const uint8_t* nul = std::find(begin, end, uint8_t{0});
        if (nul == end)
            return false;
        out.assign(reinterpret_cast<const char*>(begin), static_cast<size_t>(nul - begin));
        pos_ += static_cast<size_t>(nul - begin) + 1;
        return true;
    }
    // u32 byte length L, then L bytes of UTF-16LE; an odd last byte is dropped.
    bool utf16(std::u16string& out) {
        uint32_t length = 0;
        std::span<const uint8_t> raw;
        if (!u32be(length) || !bytes(length, raw))
            return false;
        out.resize(length / 2);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<char16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

bool fail(std::string* error) {
    if (error)
        *error = kUnimplementedBytecode;
    return false;
}

// ---------------------------------------------------------------------------
// Section encoders
// ---------------------------------------------------------------------------

void encodeConstant(std::vector<uint8_t>& out, const Constant& c) {
    out.push_back(static_cast<uint8_t>(c.kind));
    switch (c.kind) {
    case ConstantKind::Null:
    case ConstantKind::NaN: break;
    case ConstantKind::Boolean: out.push_back(c.integer != 0 ? 1 : 0); break;
    case ConstantKind::Integer: {
        uint64_t bits = static_cast<uint64_t>(c.integer);
        putU32BE(out, static_cast<uint32_t>(bits >> 32));
        putU32BE(out, static_cast<uint32_t>(bits));
        break;
    }
    case ConstantKind::Number: {
        uint64_t bits = std::bit_cast<uint64_t>(c.number);
        putU32LE(out, static_cast<uint32_t>(bits));
        putU32LE(out, static_cast<uint32_t>(bits >> 32));
        break;
    }
    case ConstantKind::String:
        putU32BE(out, static_cast<uint32_t>(c.text.size() * 2));
        putUtf16LE(out, c.text);
        break;
    case ConstantKind::Identifier:
        out.insert(out.end(), c.name.begin(), c.name.end());
        out.push_back(0);
        break;
    case ConstantKind::RegExp:
        out.push_back(c.flags);
        putU32BE(out, static_cast<uint32_t>(c.text.size() * 2));
        putUtf16LE(out, c.text);
        break;
    }
}

std::vector<uint8_t> encodeConstants(const std::vector<Constant>& constants) {
    std::vector<uint8_t> out;
    for (const Constant& c : constants)
        encodeConstant(out, c);
    return out;
}

std::vector<uint8_t> encodeFunctions(const std::vector<FunctionEntry>& functions) {
    std::vector<uint8_t> out;
    putU32BE(out, static_cast<uint32_t>(functions.size()));
    for (const FunctionEntry& f : functions) {
        out.insert(out.end(), f.name.begin(), f.name.end());
        out.push_back(0);
        putU32BE(out, f.offset);
    }
    return out;
}

std::vector<uint8_t> encodeLines(const LineTable& lines) {
    std::vector<uint8_t> out;
    if (lines.sourceName) {
        out.push_back(1);
        putU32BE(out, static_cast<uint32_t>(lines.sourceName->size()));
        out.insert(out.end(), lines.sourceName->begin(), lines.sourceName->end());
    }
    for (const LineRecord& r : lines.records) {
        out.push_back(2);
        putU32BE(out, r.offset);
        putU32BE(out, r.line);
    }
    return out;
}

// ---------------------------------------------------------------------------
// Section decoders
// ---------------------------------------------------------------------------

bool decodeConstants(std::span<const uint8_t> bytes, std::vector<Constant>& out) {
    Cursor in(bytes);
    while (!in.atEnd()) {
        uint8_t kind = 0;
        in.u8(kind);
        Constant c;
        c.kind = static_cast<ConstantKind>(kind);
        switch (c.kind) {
        case ConstantKind::Null:
        case ConstantKind::NaN: break;
        case ConstantKind::Boolean: {
            uint8_t b = 0;
            if (!in.u8(b))
                return false;
            c.integer = b != 0;
            break;
        }
        case ConstantKind::Integer: {
            uint32_t high = 0, low = 0;
            if (!in.u32be(high) || !in.u32be(low))
                return false;
            c.integer = static_cast<int64_t>(uint64_t(high) << 32 | low);
            break;
        }
        case ConstantKind::Number: {
            std::span<const uint8_t> raw;
            if (!in.bytes(8, raw))
                return false;
            uint64_t bits = 0;
            for (int i = 7; i >= 0; --i)
                bits = bits << 8 | raw[static_cast<size_t>(i)];
            c.number = std::bit_cast<double>(bits);
            break;
        }
        case ConstantKind::String:
            if (!in.utf16(c.text))
                return false;
            break;
        case ConstantKind::Identifier:
            if (!in.cString(c.name))
                return false;
            break;
        case ConstantKind::RegExp:
            if (!in.u8(c.flags) || !in.utf16(c.text))
                return false;
            break;
        default: return false;
        }
        out.push_back(std::move(c));
    }
    return true;
}

bool decodeFunctions(std::span<const uint8_t> bytes, size_t codeSize,
                     std::vector<FunctionEntry>& out) {
    Cursor in(bytes);
    uint32_t count = 0;
    if (!in.u32be(count))
        return false;
    uint32_t previous = 0;
    for (uint32_t i = 0; i < count; ++i) {
        FunctionEntry f;
        if (!in.cString(f.name) || !in.u32be(f.offset))
            return false;
        // A function runs up to the next entry's offset: the entries must
        // ascend and stay inside the code, or a range would run backwards or
        // past the end.
        if (f.offset > codeSize || f.offset < previous)
            return false;
        previous = f.offset;
        out.push_back(std::move(f));
    }
    return true;
}

bool decodeLines(std::span<const uint8_t> bytes, LineTable& out) {
    Cursor in(bytes);
    while (!in.atEnd()) {
        uint8_t tag = 0;
        in.u8(tag);
        if (tag == 1) {
            uint32_t length = 0;
            std::span<const uint8_t> raw;
            if (!in.u32be(length) || !in.bytes(length, raw))
                return false;
            out.sourceName.emplace(reinterpret_cast<const char*>(raw.data()), raw.size());
        } else if (tag == 2) {
            LineRecord r;
            if (!in.u32be(r.offset) || !in.u32be(r.line))
                return false;
            out.records.push_back(r);
        } else {
            return false;
        }
    }
    return true;
}

template <typename Char>
bool endsWithNoCase(const std::basic_string<Char>& text, const char* suffix) {
    size_t n = std::strlen(suffix);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        Char c = text[text.size() - n + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<Char>(c - 'A' + 'a');
        if (c != static_cast<Char>(suffix[i]))
            return false;
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// Constants, line table, section set
// ---------------------------------------------------------------------------

Constant Constant::makeInteger(int64_t value) {
    Constant c;
    c.kind = ConstantKind::Integer;
    c.integer = value;
    return c;
}

Constant Constant::makeNumber(double value) {
    Constant c;
    c.kind = ConstantKind::Number;
    c.number = value;
    return c;
}

Constant Constant::makeIdentifier(std::string_view name) {
    Constant c;
    c.kind = ConstantKind::Identifier;
    c.name = name;
    return c;
}

Constant Constant::makeString(std::u16string_view text) {
    Constant c;
    c.kind = ConstantKind::String;
    c.text = text;
    return c;
}

Constant Constant::makeRegExp(std::u16string_view pattern, uint8_t flags) {
    Constant c;
    c.kind = ConstantKind::RegExp;
    c.text = pattern;
    c.flags = flags;
    return c;
}

bool Constant::operator==(const Constant& other) const {
    return kind == other.kind && integer == other.integer &&
           std::bit_cast<uint64_t>(number) == std::bit_cast<uint64_t>(other.number) &&
           name == other.name && text == other.text && flags == other.flags;
}

void LineTable::note(uint32_t endOffset, uint32_t line) {
    if (!records.empty() && records.back().line == line)
        return;
    records.push_back({endOffset, line});
}

uint32_t LineTable::lineAt(uint32_t endOffset) const {
    auto after = std::upper_bound(records.begin(), records.end(), endOffset,
                                  [](uint32_t off, const LineRecord& r) { return off < r.offset; });
    return after == records.begin() ? 0 : std::prev(after)->line;
}

uint32_t SectionSet::functionEnd(size_t index) const {
    if (index + 1 < functions.size())
        return functions[index + 1].offset;
    return static_cast<uint32_t>(code.size());
}

// ---------------------------------------------------------------------------
// Constant pool builder
// ---------------------------------------------------------------------------

uint32_t poolHash(std::string_view key) {
    uint32_t h = 0;
    for (char ch : key) {
        uint32_t b = static_cast<uint8_t>(ch);
        h = (h >> 7) ^ (h >> 16) ^ b ^ (h << 5);
    }
    return h;
}

ConstantPool::ConstantPool() : buckets_(kPoolBuckets) {}

uint32_t ConstantPool::enter(ConstantKind kind, std::string key, Constant&& constant) {
    std::vector<Slot>& bucket = buckets_[poolHash(key) % kPoolBuckets];
    for (const Slot& slot : bucket)
        if (slot.kind == kind && slot.key == key)
            return slot.index;
    uint32_t index = static_cast<uint32_t>(entries_.size());
    bucket.push_back({kind, std::move(key), index});
    entries_.push_back(std::move(constant));
    return index;
}

uint32_t ConstantPool::identifier(std::string_view name) {
    return enter(ConstantKind::Identifier, std::string(name), Constant::makeIdentifier(name));
}

uint32_t ConstantPool::integer(int64_t value) {
    return enter(ConstantKind::Integer, std::to_string(value), Constant::makeInteger(value));
}

uint32_t ConstantPool::number(double value) {
    // Keyed by the exact value: its eight bytes, so that -0 and 0 (and NaNs
    // of different bits) keep entries of their own.
    uint64_t bits = std::bit_cast<uint64_t>(value);
    std::string key(8, '\0');
    for (int i = 0; i < 8; ++i)
        key[static_cast<size_t>(i)] = static_cast<char>(bits >> (8 * i));
    return enter(ConstantKind::Number, std::move(key), Constant::makeNumber(value));
}

uint32_t ConstantPool::string(std::string_view ansiText) {
    return enter(ConstantKind::String, std::string(ansiText),
                 Constant::makeString(paloma::ansiToUtf16(ansiText)));
}

uint32_t ConstantPool::regExp(std::string_view ansiPattern, uint8_t flags) {
    std::string key(ansiPattern);
    if (flags & kRegExpGlobal)
        key += 'g';
    if (flags & kRegExpIgnoreCase)
        key += 'i';
    if (flags & kRegExpMultiline)
        key += 'm';
    return enter(ConstantKind::RegExp, std::move(key),
                 Constant::makeRegExp(paloma::ansiToUtf16(ansiPattern), flags));
}

std::vector<Constant> ConstantPool::take() {
    std::vector<Constant> out = std::move(entries_);
    entries_.clear();
    buckets_.assign(kPoolBuckets, {});
    return out;
}

// ---------------------------------------------------------------------------
// Code
// ---------------------------------------------------------------------------

void appendInstruction(std::vector<uint8_t>& code, Op op, int64_t operand) {
    code.push_back(static_cast<uint8_t>(op));
    uint32_t v = static_cast<uint32_t>(operand);
    switch (operandKind(op)) {
    case OperandKind::None: break;
    case OperandKind::Name:
    case OperandKind::Const:
    case OperandKind::Rel:
    case OperandKind::I32: putU32BE(code, v); break;
    case OperandKind::U16:
        code.push_back(static_cast<uint8_t>(v >> 8));
        code.push_back(static_cast<uint8_t>(v));
        break;
    case OperandKind::U8:
    case OperandKind::S8: code.push_back(static_cast<uint8_t>(v)); break;
    }
}

// ---------------------------------------------------------------------------
// Writer
// ---------------------------------------------------------------------------

std::vector<uint8_t> writeImage(const SectionSet& sections, std::optional<uint32_t> tagSeed) {
    std::vector<uint8_t> bodies[kSectionCount] = {
        sections.code,
        encodeConstants(sections.constants),
        encodeFunctions(sections.functions),
        encodeLines(sections.lines),
    };

    // The upper 24 bits of every tag are noise, in the 15-bit range of the
    // runtime library generator whose output images have always carried.
    uint32_t seed = tagSeed ? *tagSeed
                            : static_cast<uint32_t>(
                                  std::chrono::system_clock::now().time_since_epoch().count());
    std::minstd_rand random(seed);
    auto draw = [&random] { return static_cast<uint32_t>(random() & 0x7FFF); };

    std::vector<uint8_t> image(kImageMagic, kImageMagic + 4);
    uint32_t offset = kImageHeaderSize;
    for (int n = 0; n < kSectionCount; ++n) {
        uint32_t tag = n == 0 ? draw() << 8 : draw() * 256 + static_cast<uint32_t>(n);
        uint32_t size = static_cast<uint32_t>(bodies[n].size());
        putU32LE(image, tag);
        putU32LE(image, offset);
        putU32LE(image, size);
        offset += size;
    }
    putU32LE(image, kSectionListEnd);
    for (const auto& body : bodies)
        image.insert(image.end(), body.begin(), body.end());
    return image;
}

bool writeImageFile(const std::filesystem::path& path, std::span<const uint8_t> image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    return static_cast<bool>(out);
}

// ---------------------------------------------------------------------------
// Readers
// ---------------------------------------------------------------------------

const RawSection* RawImage::find(SectionNumber number) const {
    for (const RawSection& s : sections)
        if (s.number == static_cast<uint8_t>(number))
            return &s;
    return nullptr;
}

size_t skipHashLine(std::span<const uint8_t> data) {
    if (data.empty() || data[0] != '#')
        return 0;
    auto newline = std::find(data.begin(), data.end(), uint8_t{'\n'});
    return newline == data.end() ? data.size() : static_cast<size_t>(newline - data.begin()) + 1;
}

bool looksLikeImage(std::span<const uint8_t> data) {
    data = data.subspan(skipHashLine(data));
    return data.size() >= 4 && std::memcmp(data.data(), kImageMagic, 4) == 0;
}

namespace {

std::optional<RawImage> readSections(std::span<const uint8_t> data) {
    data = data.subspan(skipHashLine(data));
    if (data.size() < 8 || std::memcmp(data.data(), kImageMagic, 4) != 0)
        return std::nullopt;

    RawImage image;
    bool seen[kSectionCount] = {};
    for (size_t pos = 4;; pos += 12) {
        if (data.size() - pos < 4)
            return std::nullopt;
        uint32_t tag = getU32LE(data.data() + pos);
        if (tag == kSectionListEnd)
            break;
        if (data.size() - pos < 12)
            return std::nullopt;
        uint32_t offset = getU32LE(data.data() + pos + 4);
        uint32_t size = getU32LE(data.data() + pos + 8);
        if (offset > data.size() || size > data.size() - offset)
            return std::nullopt;
        // Only the first record of each known section is kept: further
        // records would be ignored by the loader anyway, and copying them
        // would let a small hostile file claim any amount of memory.
        uint8_t number = static_cast<uint8_t>(tag);
        if (number >= kSectionCount || seen[number])
            continue;
        seen[number] = true;
        image.sections.push_back({number, tag, offset,
                                  std::vector<uint8_t>(data.begin() + offset,
                                                       data.begin() + offset + size)});
    }
    return image;
}

} // namespace

std::optional<RawImage> readImage(std::span<const uint8_t> data) {
    try {
        return readSections(data);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<RawImage> readImageFile(std::FILE* file) {
    if (!file)
        return std::nullopt;
    try {
        std::vector<uint8_t> data;
        uint8_t buffer[16384];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            data.insert(data.end(), buffer, buffer + got);
        if (std::ferror(file))
            return std::nullopt;
        return readImage(data);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<RawImage> readImageFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    try {
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        if (in.bad())
            return std::nullopt;
        return readImage(data);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<SectionSet> decodeSections(const RawImage& raw, std::string* error) {
    auto bytesOf = [&raw](SectionNumber n) -> std::span<const uint8_t> {
        const RawSection* s = raw.find(n);
        return s ? std::span<const uint8_t>(s->bytes) : std::span<const uint8_t>();
    };
    try {
        SectionSet out;
        auto code = bytesOf(SectionNumber::Code);
        out.code.assign(code.begin(), code.end());
        if (!decodeConstants(bytesOf(SectionNumber::Constants), out.constants) ||
            !decodeFunctions(bytesOf(SectionNumber::Functions), out.code.size(), out.functions) ||
            !decodeLines(bytesOf(SectionNumber::Lines), out.lines)) {
            fail(error);
            return std::nullopt;
        }
        return out;
    } catch (const std::bad_alloc&) {
        if (error)
            *error = kOutOfMemory;
        return std::nullopt;
    }
}

std::optional<SectionSet> loadImage(std::span<const uint8_t> data, std::string* error) {
    std::optional<RawImage> raw = readImage(data);
    if (!raw) {
        if (error)
            *error = kImageUnreadable;
        return std::nullopt;
    }
    return decodeSections(*raw, error);
}

// ---------------------------------------------------------------------------
// Recognising script files
// ---------------------------------------------------------------------------

ScriptFileKind recogniseScriptFile(const std::filesystem::path& path) {
    const auto& name = path.native();
    if (endsWithNoCase(name, ".qsc"))
        return ScriptFileKind::Image;
    if (endsWithNoCase(name, ".qls"))
        return ScriptFileKind::Source;

    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ScriptFileKind::Source;
    int c = in.get();
    if (c == '#') {
        while (c != EOF && c != '\n')
            c = in.get();
        c = in.get();
    }
    char magic[4];
    for (char& m : magic) {
        if (c == EOF)
            return ScriptFileKind::Source;
        m = static_cast<char>(c);
        c = in.get();
    }
    return std::memcmp(magic, kImageMagic, 4) == 0 ? ScriptFileKind::Image : ScriptFileKind::Source;
}

} // namespace quill
