// Number to text: radix conversion, "%g" and the safe printf-style format.
#include "script/builtins/NumberFormat.h"
#include "script/values/Convert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace quill::numberformat {

std::string integerToString(std::int64_t value, int radix) {
    if (radix < 2 || radix > 36)
        radix = 10;
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    bool negative = radix == 10 && value < 0;
    std::uint64_t magnitude = negative ? 0 - std::uint64_t(value) : std::uint64_t(value);
    char buf[72];
    char* p = buf + sizeof buf;
    do {
        *--p = kDigits[magnitude % unsigned(radix)];
        magnitude /= unsigned(radix);
    } while (magnitude);
    if (negative)
        *--p = '-';
    return std::string(p, buf + sizeof buf);
}


namespace {

// One conversion directive, parsed from the format.
struct Directive {
    std::string flags;
    int width = -1;
    int precision = -1;
    bool wide64 = false; // I64, ll, L, j, q
    char conversion = 0;
};

// Reads "%flags width .precision length conversion" starting after the '%'.
// Returns the index after the conversion, or 0 when the text is not a
// conversion this formatter accepts.
size_t parseDirective(std::u16string_view fmt, size_t i, Directive& directive) {
    const size_t n = fmt.size();
    while (i < n && (fmt[i] == u'-' || fmt[i] == u'+' || fmt[i] == u' ' || fmt[i] == u'#' || fmt[i] == u'0'))
        directive.flags += char(fmt[i++]);
    auto number = [&](int& out) {
        if (i >= n || fmt[i] < u'0' || fmt[i] > u'9')
            return;
        out = 0;
        for (; i < n && fmt[i] >= u'0' && fmt[i] <= u'9'; ++i)
            out = std::min(out * 10 + (fmt[i] - u'0'), int(kFormatMaxLength));
    };
    number(directive.width);
    if (i < n && fmt[i] == u'.') {
        ++i;
        directive.precision = 0;
        number(directive.precision);
    }
    // Length modifiers.
    if (fmt.substr(i, 3) == u"I64") {
        directive.wide64 = true;
        i += 3;
    } else if (fmt.substr(i, 3) == u"I32") {
        i += 3;
    } else if (fmt.substr(i, 2) == u"ll" || fmt.substr(i, 2) == u"hh") {
        directive.wide64 = fmt[i] == u'l';
        i += 2;
    } else if (i < n && (fmt[i] == u'L' || fmt[i] == u'j' || fmt[i] == u'q')) {
        directive.wide64 = true;
        ++i;
    } else if (i < n && (fmt[i] == u'l' || fmt[i] == u'h' || fmt[i] == u'z' || fmt[i] == u't' || fmt[i] == u'w')) {
        ++i;
    }
    if (i >= n)
        return 0;
    switch (fmt[i]) {
    case u'd': case u'i': case u'u': case u'x': case u'X': case u'o':
    case u'e': case u'E': case u'f': case u'F': case u'g': case u'G': case u'a': case u'A':
    case u'c': case u'C': case u's': case u'S':
        directive.conversion = char(fmt[i]);
        return i + 1;
    default:
        return 0;
    }
}

std::string printOne(const std::string& directive, auto value) {
    int size = std::snprintf(nullptr, 0, directive.c_str(), value);
    if (size <= 0)
        return {};
    std::vector<char> buf(size_t(size) + 1);
    std::snprintf(buf.data(), buf.size(), directive.c_str(), value);
    return std::string(buf.data(), size_t(size));
}

std::int64_t asInteger(const FormatNumber& number) {
    if (number.isInteger)
        return number.integer;
    double v = std::trunc(number.real);
    if (!(v > -9.2e18))
        return v < 0 ? INT64_MIN : 0;
    if (v >= 9.2e18)
        return INT64_MAX;
    return std::int64_t(v);
}

double asDouble(const FormatNumber& number) {
    return number.isInteger ? double(number.integer) : number.real;
}

// Pads text to the width of the directive (left-justified with '-').
std::u16string pad(std::u16string text, const Directive& directive) {
    if (directive.width > int(text.size())) {
        std::u16string fill(size_t(directive.width) - text.size(), u' ');
        text = directive.flags.find('-') != std::string::npos ? text + fill : fill + text;
    }
    return text;
}

std::u16string asciiToUtf16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::u16string convert(const Directive& directive, const FormatNumber& number) {
    std::string head = "%" + directive.flags;
    if (directive.width >= 0)
        head += std::to_string(directive.width);
    if (directive.precision >= 0) {
        head += '.';
        head += std::to_string(directive.precision);
    }
    switch (directive.conversion) {
    case 'd': case 'i': {
        std::int64_t v = asInteger(number);
        if (directive.wide64)
            return asciiToUtf16(printOne(head + "lld", static_cast<long long>(v)));
        return asciiToUtf16(printOne(head + "d", static_cast<int>(std::int32_t(std::uint32_t(v)))));
    }
    case 'u': case 'x': case 'X': case 'o': {
        std::uint64_t v = std::uint64_t(asInteger(number));
        if (directive.wide64)
            return asciiToUtf16(printOne(head + "ll" + directive.conversion, static_cast<unsigned long long>(v)));
        return asciiToUtf16(printOne(head + directive.conversion, static_cast<unsigned>(std::uint32_t(v))));
    }
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
        return asciiToUtf16(printOne(head + directive.conversion, asDouble(number)));
    case 'c': case 'C':
        return pad(std::u16string(1, char16_t(std::uint64_t(asInteger(number)) & 0xFFFF)), directive);
    default: { // 's', 'S': the number's own text
        std::string text = number.isInteger ? integerToString(number.integer, 10) : formatFloat(number.real);
        if (directive.precision >= 0 && size_t(directive.precision) < text.size())
            text.resize(size_t(directive.precision));
        return pad(asciiToUtf16(text), directive);
    }
    }
}

} // namespace

std::u16string format(std::u16string_view fmt, const FormatNumber& number) {
    std::u16string out;
    size_t i = 0;
    while (i < fmt.size() && out.size() < kFormatMaxLength) {
        char16_t c = fmt[i];
        if (c != u'%') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 < fmt.size() && fmt[i + 1] == u'%') {
            out += u'%';
            i += 2;
            continue;
        }
        Directive directive;
        size_t next = parseDirective(fmt, i + 1, directive);
        if (next == 0) {
            out += c; // not a conversion: the text stays as it is
            ++i;
            continue;
        }
        out += convert(directive, number);
        i = next;
    }
    if (out.size() > kFormatMaxLength)
        out.resize(kFormatMaxLength);
    return out;
}

} // namespace quill::numberformat
