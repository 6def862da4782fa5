// Structure descriptors: reading the descriptor text and laying it out.
#include "host/native/StructLayout.h"

#include <algorithm>
#include <charconv>

namespace paloma::host {

namespace {

// ---- the descriptor text ------------------------------------------------------
// A small reader for the descriptor's XML form: elements with attributes in
// double or single quotes, nested elements, no text content. Whitespace
// between the parts is allowed, so a hand-written descriptor reads too.

struct Element {
    std::string tag;
    std::string type;
    std::optional<std::string> count;
    std::vector<Element> children;
};

// Deep enough for any real structure; deeper text is refused rather than
// recursing without bound.
constexpr int kMaxDepth = 32;

class DescriptorReader {
public:
    explicit DescriptorReader(std::string_view text) : text_(text) {}

    std::optional<Element> document() {
        skipSpace();
        auto root = element(0);
        if (!root)
            return std::nullopt;
        skipSpace();
        if (pos_ != text_.size())
            return std::nullopt;
        return root;
    }

private:
    static bool nameChar(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '$' || c == '-' || c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
    }
    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r' ||
                                       text_[pos_] == '\n'))
            ++pos_;
    }
    bool take(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    std::string name() {
        size_t start = pos_;
        while (pos_ < text_.size() && nameChar(text_[pos_]))
            ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    }

    // element := '<' name {attribute} ( '/>' | '>' {element} '</' name '>' )
    std::optional<Element> element(int depth) {
        if (depth > kMaxDepth || !take('<'))
            return std::nullopt;
        Element e;
        e.tag = name();
        if (e.tag.empty())
            return std::nullopt;
        for (;;) {
            skipSpace();
            if (take('/'))
                return take('>') ? std::optional<Element>(std::move(e)) : std::nullopt;
            if (take('>'))
                break;
            // attribute := name '=' quoted-value
            std::string attribute = name();
            if (attribute.empty())
                return std::nullopt;
            skipSpace();
            if (!take('='))
                return std::nullopt;
            skipSpace();
            if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\''))
                return std::nullopt;
            char quote = text_[pos_++];
            size_t end = text_.find(quote, pos_);
            if (end == std::string_view::npos)
                return std::nullopt;
            std::string value(text_.substr(pos_, end - pos_));
            pos_ = end + 1;
            if (attribute == "type")
                e.type = std::move(value);
            else if (attribute == "count")
                e.count = std::move(value);
        }
        for (;;) {
            skipSpace();
            if (pos_ + 1 < text_.size() && text_[pos_] == '<' && text_[pos_ + 1] == '/') {
                pos_ += 2;
                if (name() != e.tag)
                    return std::nullopt;
                skipSpace();
                return take('>') ? std::optional<Element>(std::move(e)) : std::nullopt;
            }
            auto child = element(depth + 1);
            if (!child)
                return std::nullopt;
            e.children.push_back(std::move(*child));
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
};

// ---- layout ---------------------------------------------------------------------

uint64_t roundUp(uint64_t value, uint64_t multiple) {
    return multiple == 0 ? value : (value + multiple - 1) / multiple * multiple;
}

class LayoutBuilder {
public:
    LayoutBuilder(const LayoutRules& rules, const DescriptorLookup& lookup) : rules_(rules), lookup_(lookup) {}

    // Lays out the children of `e` (a structure); `depth` counts the
    // structures being laid out around it.
    std::shared_ptr<const StructLayout> build(const Element& e, int depth) {
        if (depth > kMaxDepth || ++structures_ > kMaxStructures)
            return nullptr;
        auto layout = std::make_shared<StructLayout>();
        layout->name = e.tag;
        const uint64_t a = rules_.alignment;
        uint64_t offset = 0, m = 0;
        for (const Element& child : e.children) {
            auto type = memberType(child.type, rules_);
            if (!type)
                return nullptr;
            StructMember member;
            member.name = child.tag;
            member.flags = type->flags;
            member.baseFlags = type->baseFlags;
            if (child.count) {
                int32_t n = 0;
                const std::string& text = *child.count;
                auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
                if (ec != std::errc() || end != text.data() + text.size() || n < 0)
                    return nullptr;
                member.count = n;
            }
            uint64_t size = type->size, align = std::min<uint64_t>(a, size);
            if (type->baseFlags == kStructNested) {
                // The nested layout: its own children (type `struct`) or the
                // descriptor named by the type.
                std::shared_ptr<const StructLayout> nested;
                if (type->structName.empty()) {
                    nested = build(child, depth + 1);
                } else if (member.isPointer()) {
                    // A pointer to a named structure is a pointer-sized
                    // member; what it points at is whatever Struct the
                    // script stores there.
                    nested = std::make_shared<StructLayout>();
                } else {
                    auto text = lookup_ ? lookup_(type->structName) : std::nullopt;
                    if (!text)
                        return nullptr;
                    DescriptorReader reader(*text);
                    auto root = reader.document();
                    if (!root)
                        return nullptr;
                    nested = build(*root, depth + 1);
                }
                if (!nested)
                    return nullptr;
                member.nested = nested;
                if (!member.isPointer()) {
                    size = nested->size;
                    align = std::min<uint64_t>(a, nested->alignment);
                }
            }
            member.elementSize = static_cast<uint32_t>(size);
            m = std::max(m, align);
            offset = roundUp(offset, align);
            member.offset = static_cast<uint32_t>(offset);
            uint64_t total = size * (member.count > 1 ? uint64_t(member.count) : 1);
            offset += total;
            if (offset > kMaxStructSize)
                return nullptr;
            layout->members.push_back(std::move(member));
        }
        offset = roundUp(offset, m);
        if (offset > kMaxStructSize)
            return nullptr;
        layout->size = static_cast<uint32_t>(offset);
        layout->alignment = static_cast<uint32_t>(m);
        return layout;
    }

private:
    // Named structures repeated inside each other could make the work grow
    // exponentially with the nesting depth: the number of structures laid
    // out for one descriptor is bounded.
    static constexpr int kMaxStructures = 4096;

    const LayoutRules& rules_;
    const DescriptorLookup& lookup_;
    int structures_ = 0;
};

} // namespace

std::optional<MemberType> memberType(std::string_view text, const LayoutRules& rules) {
    MemberType t;
    bool isUnsigned = false;
    constexpr std::string_view kUnsigned = "unsigned ";
    if (text.starts_with(kUnsigned)) {
        isUnsigned = true;
        text.remove_prefix(kUnsigned.size());
    }
    const bool pointer = text.find('*') != std::string_view::npos;
    struct Row {
        std::string_view name;
        uint32_t flag, size, unsignedFlag; // unsignedFlag 0: "unsigned " is invalid
    };
    // int64 before int: the type text is matched at its start.
    static constexpr Row kRows[] = {
        {"char", kStructChar, 1, kStructUChar},       {"short", kStructShort, 2, kStructUShort},
        {"int64", kStructInt64, 8, kStructUInt64},    {"int", kStructLong, 4, kStructULong},
        {"long", kStructLong, 4, kStructULong},       {"float", kStructFloat, 4, 0},
        {"double", kStructDouble, 8, 0},              {"pointer", kStructPointer, 0, 0},
        {"String", kStructString, 0, 0},              {"Boolean", kStructBoolean, 4, 0},
    };
    bool found = false;
    for (const Row& row : kRows) {
        if (!text.starts_with(row.name))
            continue;
        if (isUnsigned && row.unsignedFlag == 0)
            return std::nullopt;
        t.baseFlags = isUnsigned ? row.unsignedFlag : row.flag;
        t.size = row.size ? row.size : rules.pointerSize;
        found = true;
        break;
    }
    if (!found) {
        if (isUnsigned)
            return std::nullopt;
        std::string_view name = text.substr(0, text.find('*'));
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        if (name.empty())
            return std::nullopt;
        t.baseFlags = kStructNested;
        if (name != "struct")
            t.structName = std::string(name);
    }
    t.flags = t.baseFlags;
    if (pointer) {
        t.flags |= kStructPointer;
        t.size = rules.pointerSize;
    }
    return t;
}

std::shared_ptr<const StructLayout> layoutStruct(std::string_view descriptor, const LayoutRules& rules,
                                                 const DescriptorLookup& lookup) {
    if (!validAlignment(rules.alignment) || (rules.pointerSize != 4 && rules.pointerSize != 8))
        return nullptr;
    DescriptorReader reader(descriptor);
    auto root = reader.document();
    if (!root)
        return nullptr;
    return LayoutBuilder(rules, lookup).build(*root, 0);
}

} // namespace paloma::host
