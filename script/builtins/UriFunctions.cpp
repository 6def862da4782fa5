// encodeURI, encodeURIComponent, decodeURI and decodeURIComponent.
#include "script/builtins/Builtins.h"
#include "script/builtins/BuiltinSupport.h"

#include <string>

#include "script/Quill.h"

namespace quill {

namespace {

constexpr std::u16string_view kReserved = u";/?:@&=+$,#";
constexpr std::u16string_view kUnreserved =
    u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-_.!~*'()";
const char16_t kHex[] = u"0123456789ABCDEF";

void invalidUri(Engine& engine, Value& result) {
    writeTrace(engine, "Invalid URI string");
    result = Value::undefined();
}

void appendEscaped(std::u16string& out, unsigned byte) {
    out += u'%';
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
}

// Every unit outside the kept sets becomes the %XX escapes of its UTF-8
// bytes; a surrogate pair is one code point, a lone surrogate fails.
void encode(Engine& engine, Value& result, ArgList args, bool keepReserved) {
    if (args.count() < 1) {
        result = Value::undefined();
        return;
    }
    Value text = stringArgument(engine, args[1]);
    std::u16string_view in = stringView(engine, text.asString());
    std::u16string out;
    for (size_t i = 0; i < in.size(); ++i) {
        char16_t c = in[i];
        if (kUnreserved.find(c) != std::u16string_view::npos ||
            (keepReserved && kReserved.find(c) != std::u16string_view::npos)) {
            out += c;
            continue;
        }
        uint32_t cp = c;
        if (c >= 0xDC00 && c <= 0xDFFF)
            return invalidUri(engine, result);
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= in.size() || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF)
                return invalidUri(engine, result);
            cp = 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(in[i + 1]) - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            appendEscaped(out, cp);
        } else if (cp < 0x800) {
            appendEscaped(out, 0xC0 | (cp >> 6));
            appendEscaped(out, 0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            appendEscaped(out, 0xE0 | (cp >> 12));
            appendEscaped(out, 0x80 | ((cp >> 6) & 0x3F));
            appendEscaped(out, 0x80 | (cp & 0x3F));
        } else {
            appendEscaped(out, 0xF0 | (cp >> 18));
            appendEscaped(out, 0x80 | ((cp >> 12) & 0x3F));
            appendEscaped(out, 0x80 | ((cp >> 6) & 0x3F));
            appendEscaped(out, 0x80 | (cp & 0x3F));
        }
    }
    result = newString(engine, out);
}

// The byte of a "%XX" escape at in[at], or -1.
int escapedByte(std::u16string_view in, size_t at) {
    if (at + 3 > in.size() || in[at] != u'%')
        return -1;
    int hi = hexDigit(in[at + 1]), lo = hexDigit(in[at + 2]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// Each %XX (and the UTF-8 sequence it starts) becomes its character, except
// characters of the reserved set, whose escape text is kept.
void decode(Engine& engine, Value& result, ArgList args, bool keepReserved) {
    if (args.count() < 1) {
        result = Value::undefined();
        return;
    }
    Value text = stringArgument(engine, args[1]);
    std::u16string_view in = stringView(engine, text.asString());
    std::u16string out;
    for (size_t i = 0; i < in.size();) {
        if (in[i] != u'%') {
            out += in[i++];
            continue;
        }
        size_t start = i;
        int b = escapedByte(in, i);
        if (b < 0)
            return invalidUri(engine, result);
        i += 3;
        uint32_t cp;
        if (b < 0x80) {
            cp = uint32_t(b);
        } else {
            // A lead byte 11xxxxxx gives the length of the sequence.
            int length = 0;
            while (length < 7 && (b & (0x80 >> length)))
                ++length;
            if (length < 2 || length > 6)
                return invalidUri(engine, result);
            cp = uint32_t(b) & (0xFFu >> (length + 1));
            for (int k = 1; k < length; ++k) {
                int next = escapedByte(in, i);
                if (next < 0 || (next & 0xC0) != 0x80)
                    return invalidUri(engine, result);
                cp = (cp << 6) | uint32_t(next & 0x3F);
                i += 3;
            }
            if (cp > 0x10FFFF)
                return invalidUri(engine, result);
        }
        if (cp < 0x10000) {
            char16_t c = char16_t(cp);
            if (keepReserved && kReserved.find(c) != std::u16string_view::npos)
                out.append(in.substr(start, i - start));
            else
                out += c;
        } else {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        }
    }
    result = newString(engine, out);
}

void encodeUriCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    encode(engine, result, args, true);
}
void encodeUriComponentCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    encode(engine, result, args, false);
}
void decodeUriCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    decode(engine, result, args, true);
}
void decodeUriComponentCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    decode(engine, result, args, false);
}

} // namespace

void registerUriFunctions(Engine& engine) {
    defineGlobalFunction(engine, "encodeURI", encodeUriCall);
    defineGlobalFunction(engine, "encodeURIComponent", encodeUriComponentCall);
    defineGlobalFunction(engine, "decodeURI", decodeUriCall);
    defineGlobalFunction(engine, "decodeURIComponent", decodeUriComponentCall);
}

} // namespace quill
