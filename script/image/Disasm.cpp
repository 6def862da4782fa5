// Compiled images as text: listings and the disassembly dump.
#include "script/image/Disasm.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

#include "base/TextCodec.h"

namespace quill {

namespace {

std::string hex4(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04x", v);
    return buf;
}

std::string label(int64_t offset) { return "L" + hex4(static_cast<uint32_t>(offset)); }

std::string ansiForDisplay(std::string_view text) {
    return paloma::utf16ToUtf8(paloma::ansiToUtf16(text));
}

std::string quoted(std::u16string_view text, char quote) {
    std::u16string out;
    out += static_cast<char16_t>(quote);
    for (char16_t c : text) {
        switch (c) {
        case u'\n': out += u"\\n"; break;
        case u'\r': out += u"\\r"; break;
        case u'\t': out += u"\\t"; break;
        case u'\\': out += u"\\\\"; break;
        default:
            if (c == static_cast<char16_t>(quote)) {
                out += u'\\';
                out += c;
            } else if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(c));
                for (const char* p = buf; *p; ++p)
                    out += static_cast<char16_t>(*p);
            } else {
                out += c;
            }
        }
    }
    out += static_cast<char16_t>(quote);
    return paloma::utf16ToUtf8(out);
}

std::string formatNumber(double v) {
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v < 0 ? "-Infinity" : "Infinity";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    std::string text(buf, ec == std::errc() ? end : buf);
    // Keep numbers apart from integers in listings.
    if (text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return text;
}

const char* kindName(ConstantKind kind) {
    switch (kind) {
    case ConstantKind::Null: return "null";
    case ConstantKind::Boolean: return "boolean";
    case ConstantKind::Integer: return "integer";
    case ConstantKind::String: return "string";
    case ConstantKind::Number: return "number";
    case ConstantKind::Identifier: return "identifier";
    case ConstantKind::RegExp: return "regexp";
    case ConstantKind::NaN: return "nan";
    }
    return "?";
}

std::string pad(std::string text, size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

const char* sectionName(uint8_t number) {
    static const char* const names[] = {"code", "constants", "functions", "lines"};
    return number < 4 ? names[number] : "?";
}

} // namespace

std::string formatConstant(const Constant& c) {
    switch (c.kind) {
    case ConstantKind::Null: return "null";
    case ConstantKind::NaN: return "NaN";
    case ConstantKind::Boolean: return c.integer ? "true" : "false";
    case ConstantKind::Integer: return std::to_string(c.integer);
    case ConstantKind::Number: return formatNumber(c.number);
    case ConstantKind::String: return quoted(c.text, '"');
    case ConstantKind::Identifier: return ansiForDisplay(c.name);
    case ConstantKind::RegExp: {
        std::string out = "/" + paloma::utf16ToUtf8(c.text) + "/";
        if (c.flags & kRegExpGlobal)
            out += 'g';
        if (c.flags & kRegExpIgnoreCase)
            out += 'i';
        if (c.flags & kRegExpMultiline)
            out += 'm';
        return out;
    }
    }
    return "?";
}

std::string formatOperand(const SectionSet& sections, const Instruction& ins) {
    switch (operandKind(ins.op)) {
    case OperandKind::None: return {};
    case OperandKind::Name:
    case OperandKind::Const: {
        if (uint64_t(ins.operand) >= sections.constants.size())
            return "#" + std::to_string(ins.operand) + " (outside the pool)";
        const Constant& c = sections.constants[size_t(ins.operand)];
        if (operandKind(ins.op) == OperandKind::Name && c.kind != ConstantKind::Identifier)
            return "#" + std::to_string(ins.operand) + " (not a name)";
        return formatConstant(c);
    }
    case OperandKind::Rel: return label(ins.target());
    case OperandKind::I32:
    case OperandKind::U16:
    case OperandKind::U8:
    case OperandKind::S8: return std::to_string(ins.operand);
    }
    return {};
}

std::string formatFunction(const SectionSet& sections, size_t index, const char* nl) {
    const FunctionEntry& f = sections.functions[index];
    uint32_t begin = f.offset;
    uint32_t end = sections.functionEnd(index);
    std::string error;
    std::optional<std::vector<Instruction>> verified = decodeFunction(sections, index, &error);
    bool truncated = false;
    std::vector<Instruction> code =
        verified ? std::move(*verified) : decodeForDisplay(sections.code, begin, end, &truncated);

    std::string out = ansiForDisplay(f.name) + ":  ; offset " + std::to_string(begin) + ", " +
                      std::to_string(end >= begin ? end - begin : 0) + " bytes" + nl;
    std::set<int64_t> targets;
    for (const Instruction& ins : code)
        if (isJump(ins.op))
            targets.insert(ins.target());

    bool lines = !sections.lines.records.empty();
    uint32_t lastLine = 0;
    for (const Instruction& ins : code) {
        if (targets.count(ins.offset))
            out += label(ins.offset) + ":" + nl;
        std::string text = "  " + hex4(ins.offset) + "  " + mnemonic(ins.op);
        std::string operand = formatOperand(sections, ins);
        if (!operand.empty())
            text = pad(std::move(text), 18) + " " + operand;
        if (lines) {
            uint32_t line = sections.lines.lineAt(ins.end());
            if (line != lastLine) {
                text = pad(std::move(text), 44) + " ; line " + std::to_string(line);
                lastLine = line;
            }
        }
        out += text + nl;
    }
    if (targets.count(end))
        out += label(end) + ":" + nl;
    if (!verified) {
        out += "  ; " + error;
        if (truncated)
            out += " (operand cut short)";
        out += nl;
    }
    return out;
}

std::string formatListing(const SectionSet& sections) {
    const char* nl = "\r\n";
    std::string out = std::string("; -*- asm -*-") + nl;
    if (sections.lines.sourceName)
        out += "; source: " + ansiForDisplay(*sections.lines.sourceName) + nl;
    for (size_t i = 0; i < sections.functions.size(); ++i)
        out += nl + formatFunction(sections, i, nl);
    return out;
}

std::string disassemble(const RawImage& raw, const SectionSet& sections, bool* ok) {
    std::string out = "sections:\n";
    for (const RawSection& s : raw.sections) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "  %u %-10s tag %08x  offset %u  size %zu\n",
                      static_cast<unsigned>(s.number), sectionName(s.number), s.tag, s.offset,
                      s.bytes.size());
        out += buf;
    }

    out += "constants: " + std::to_string(sections.constants.size()) + "\n";
    for (size_t i = 0; i < sections.constants.size(); ++i) {
        const Constant& c = sections.constants[i];
        out += "  " + pad("#" + std::to_string(i), 7) + pad(kindName(c.kind), 11) + formatConstant(c) +
               "\n";
    }

    out += "functions: " + std::to_string(sections.functions.size()) + "\n";
    for (size_t i = 0; i < sections.functions.size(); ++i) {
        const FunctionEntry& f = sections.functions[i];
        out += "  " + pad(ansiForDisplay(f.name), 24) + " offset " + std::to_string(f.offset) +
               "  size " + std::to_string(sections.functionEnd(i) - f.offset) + "\n";
    }

    out += "source: ";
    out += sections.lines.sourceName ? ansiForDisplay(*sections.lines.sourceName)
                                     : std::string(kUnknownSourceName);
    out += "  (" + std::to_string(sections.lines.records.size()) + " line records)\n";

    bool allGood = true;
    for (size_t i = 0; i < sections.functions.size(); ++i) {
        out += "\n" + formatFunction(sections, i);
        if (!decodeFunction(sections, i))
            allGood = false;
    }
    if (ok)
        *ok = allGood;
    return out;
}

} // namespace quill
