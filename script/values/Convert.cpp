// Conversions between Value kinds.
#include "script/values/Convert.h"
#include "script/values/Messages.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "script/values/Array.h"
#include "script/values/Native.h"
#include "script/values/Object.h"
#include "script/values/String.h"

namespace quill {

namespace {

bool isSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

int digitValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'Z')
        return c - u'A' + 10;
    return 99;
}

bool isPrimitiveKind(Kind k) {
    return (static_cast<int>(k) >= 0 && static_cast<int>(k) <= 5) || k == Kind::NaN;
}

// The text up to its first NUL (conversions work on a NUL-terminated copy).
std::u16string_view untilNul(std::u16string_view text) {
    size_t n = text.find(u'\0');
    return n == std::u16string_view::npos ? text : text.substr(0, n);
}

// A power-of-two radix overflow: the digits as a double with 53 significant
// bits, rounding half up.
double powerOfTwoDigits(std::u16string_view digits, int radix) {
    int bitsPerDigit = std::countr_zero(static_cast<unsigned>(radix));
    uint64_t mantissa = 0;
    int taken = 0;      // significant bits in mantissa
    int64_t dropped = 0; // significant bits beyond the 53 kept
    int roundBit = 0;
    for (char16_t c : digits) {
        int d = digitValue(c);
        for (int b = bitsPerDigit - 1; b >= 0; --b) {
            int bit = (d >> b) & 1;
            if (taken == 0 && bit == 0)
                continue;
            if (taken < 53) {
                mantissa = (mantissa << 1) | static_cast<uint64_t>(bit);
                ++taken;
            } else {
                if (dropped == 0)
                    roundBit = bit;
                ++dropped;
            }
        }
    }
    if (roundBit)
        ++mantissa;
    return std::ldexp(static_cast<double>(mantissa), static_cast<int>(dropped));
}

Value callObjectMethod(Engine& engine, const Value& self, SymbolId id, bool& ok) {
    ok = false;
    Value fn;
    if (!objectGet(engine, self.asObject(), id, fn) || !fn.isFunction() || !engine.callFunction) {
        std::string text = "Warning: unknown method \"";
        text += engine.nameOf(id);
        text += "\"";
        engine.setErrorText(text);
        return Value::undefined();
    }
    Value count = Value::integer(0);
    ValueRoot result(engine);
    ok = engine.callFunction(engine, self, fn, ArgList{&count}, result.value);
    return result.value;
}

// Offers a method call without arguments to the class's callMethod hook
// (offerMethod); false when the class has no such hook or does not handle
// the name, `result` then being untouched.
bool callClassMethod(Engine& engine, NativeClass* cls, const Value& receiver, SymbolId id, Value& result) {
    Value count = Value::integer(0);
    return offerMethod(engine, cls, receiver, id, ArgList{&count}, result);
}

Value ansi(Engine& engine, std::string_view text) { return newStringFromAnsi(engine, text); }

// The elements' texts joined with ","; a hole writes nothing. Used when no
// Array class answers toString.
std::u16string joinArray(Engine& engine, const ArrayBody* a, int depth) {
    std::u16string out;
    if (depth > 64)
        return out; // an array that contains itself
    if (a->length > kMaxStringLength)
        engine.raiseError(kErrOutOfMemory); // the text could not be held
    for (uint64_t i = 0; i < a->length; ++i) {
        if (i)
            out += u',';
        Value e;
        if (!arrayGet(a, i, e))
            continue;
        if (e.isArray())
            out += joinArray(engine, e.asArray(), depth + 1);
        else
            out += toText(engine, e);
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------
// typeof and ToBoolean

const char* typeofName(Kind kind) {
    switch (kind) {
    case Kind::Undefined: return "undefined";
    case Kind::Null: return "object";
    case Kind::Boolean: return "boolean";
    case Kind::Integer: return "number";
    case Kind::String: return "string";
    case Kind::Float: return "number";
    case Kind::Array: return "object";
    case Kind::Object: return "object";
    case Kind::Native: return "object";
    case Kind::Function: return "function";
    case Kind::NaN: return "number";
    default: return "";
    }
}

bool toBoolean(const Value& v) {
    switch (v.kind) {
    case Kind::Boolean: return v.asBoolean();
    case Kind::Integer: return v.asInteger() != 0;
    case Kind::Float: return v.asFloat() != 0.0;
    case Kind::String: return v.asString()->length != 0;
    case Kind::Array:
    case Kind::Object:
    case Kind::Native:
    case Kind::Function: return true;
    default: return false;
    }
}

// ---------------------------------------------------------------------------
// Number scanning

size_t parseDecimal(std::u16string_view text, double& out) {
    size_t i = 0, n = text.size();
    while (i < n && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    std::string ascii;
    size_t digits = 0;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        ascii += static_cast<char>(text[i++]);
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        ascii += '.';
        ++i;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            ascii += static_cast<char>(text[i++]);
            ++digits;
        }
    }
    if (digits == 0) {
        out = 0;
        return 0;
    }
    if (i < n && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        size_t j = i + 1;
        std::string exp = "e";
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            exp += static_cast<char>(text[j++]);
        size_t expDigits = 0;
        while (j < n && text[j] >= u'0' && text[j] <= u'9') {
            exp += static_cast<char>(text[j++]);
            ++expDigits;
        }
        if (expDigits) {
            ascii += exp;
            i = j;
        }
    }
    double value = 0;
    auto [ptr, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (ec == std::errc::result_out_of_range)
        value = std::strtod(ascii.c_str(), nullptr); // infinity or zero
    (void)ptr;
    out = negative ? -value : value;
    return i;
}

ScanResult scanInteger(std::u16string_view text, int radix) {
    ScanResult r;
    if (radix != 0 && (radix < 2 || radix > 36))
        return r;
    size_t i = 0, n = text.size();
    while (i < n && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    while (i < n && isSpace(text[i]))
        ++i;
    bool hexPrefix = i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X');
    if (radix == 0) {
        if (hexPrefix) {
            radix = 16;
            i += 2;
        } else if (i < n && text[i] == u'0') {
            radix = 8;
        } else {
            radix = 10;
        }
    } else if (radix == 16 && hexPrefix) {
        i += 2;
    }
    size_t start = i;
    uint64_t value = 0;
    long double wide = 0;
    bool overflow = false;
    const uint64_t limit = uint64_t(1) << 63;
    while (i < n) {
        int d = digitValue(text[i]);
        if (d >= radix)
            break;
        if (!overflow) {
            if (value > (std::numeric_limits<uint64_t>::max() - static_cast<uint64_t>(d)) / static_cast<uint64_t>(radix))
                overflow = true;
            else {
                value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(d);
                if (value >= limit)
                    overflow = true;
            }
        }
        wide = wide * radix + d;
        ++i;
    }
    if (i == start)
        return r; // no digits: end stays at the start of the text
    r.end = i;
    std::u16string_view digits = text.substr(start, i - start);
    if (!overflow) {
        r.type = ScanResult::Integer;
        auto s = static_cast<int64_t>(value);
        r.integer = negative ? -s : s;
        return r;
    }
    double d;
    if (radix == 10)
        parseDecimal(digits, d);
    else if ((radix & (radix - 1)) == 0)
        d = powerOfTwoDigits(digits, radix);
    else
        d = static_cast<double>(wide);
    r.type = ScanResult::Double;
    r.number = negative ? -d : d;
    return r;
}

// ---------------------------------------------------------------------------
// ToNumber, ToInteger

Value toNumber(Engine& engine, const Value& v) {
    switch (v.kind) {
    case Kind::Null: return Value::integer(0);
    case Kind::Boolean: return Value::integer(v.asBoolean() ? 1 : 0);
    case Kind::Integer:
    case Kind::Float:
    case Kind::NaN: return v;
    case Kind::String: {
        const StringBody* s = v.asString();
        if (s->length == 0)
            return Value::integer(0);
        return withUnits(textOf(s), [](std::u16string_view whole) -> Value {
            std::u16string_view text = untilNul(whole);
            ScanResult r = scanInteger(text, 0);
            double d;
            switch (r.type) {
            case ScanResult::None:
                if (parseDecimal(text, d) == 0)
                    return Value::nan();
                return Value::floating(d);
            case ScanResult::Integer:
                if (r.end < text.size()) {
                    char16_t c = text[r.end];
                    if (c == u'.' || c == u'E' || c == u'e' || c == u'D' || c == u'd') {
                        parseDecimal(text, d);
                        return Value::floating(d);
                    }
                }
                return Value::integer(r.integer);
            case ScanResult::Double: return Value::floating(r.number);
            }
            return Value::nan();
        });
    }
    case Kind::Array:
    case Kind::Object:
    case Kind::Native:
    case Kind::Function: {
        Value p = toPrimitive(engine, v, Hint::Number);
        if (p.isString()) {
            ValueRoot keep(engine, p);
            return toNumber(engine, p);
        }
        return toNumber(engine, p);
    }
    default: return Value::nan();
    }
}

namespace {
int64_t truncateFloat(double d) {
    if (std::isinf(d) || std::isnan(d))
        return 0;
    double t = std::trunc(d);
    // Beyond the 64-bit range the processor's conversion gives the lowest
    // 64-bit integer; do the same without undefined behaviour.
    if (t >= 9223372036854775808.0 || t < -9223372036854775808.0)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(t);
}
} // namespace

int64_t toInteger(Engine& engine, const Value& v) {
    Value n = toNumber(engine, v);
    if (n.isInteger())
        return n.asInteger();
    if (n.isFloat())
        return truncateFloat(n.asFloat());
    return 0;
}

int64_t toInteger32(Engine& engine, const Value& v) {
    Value n = toNumber(engine, v);
    if (n.isInteger())
        return static_cast<int64_t>(static_cast<uint32_t>(n.asInteger()));
    if (n.isFloat())
        return truncateFloat(n.asFloat());
    return 0;
}

// ---------------------------------------------------------------------------
// ToPrimitive

Value toPrimitive(Engine& engine, const Value& v, Hint hint) {
    if (isPrimitiveKind(v.kind))
        return v;
    switch (v.kind) {
    case Kind::Object: {
        bool ok;
        if (hint == Hint::String) {
            Value r = callObjectMethod(engine, v, Engine::kToStringId, ok);
            if (ok && isPrimitiveKind(r.kind))
                return r;
            r = callObjectMethod(engine, v, Engine::kValueOfId, ok);
            if (ok && isPrimitiveKind(r.kind))
                return r;
            break;
        }
        Value r = callObjectMethod(engine, v, Engine::kValueOfId, ok);
        if (ok && isPrimitiveKind(r.kind))
            return r;
        return toString(engine, v);
    }
    case Kind::Native: {
        NativeObject* n = v.asNative();
        NativeClass* cls = n->cls;
        if (!cls || !cls->callMethod)
            break;
        // Only a primitive answer counts: a class whose valueOf gives back an
        // object (the Object class object gives itself) would otherwise
        // convert forever.
        Value r;
        if (hint == Hint::String) {
            if (callClassMethod(engine, cls, v, Engine::kToStringId, r) && isPrimitiveKind(r.kind))
                return r;
            if (callClassMethod(engine, cls, v, Engine::kValueOfId, r) && isPrimitiveKind(r.kind))
                return r;
            break;
        }
        if (callClassMethod(engine, cls, v, Engine::kValueOfId, r) && isPrimitiveKind(r.kind))
            return r;
        return toString(engine, v);
    }
    case Kind::Array:
    case Kind::Function: return toString(engine, v);
    default: break;
    }
    engine.raiseError("Can't convert to primitive type");
}

// ---------------------------------------------------------------------------
// ToString

std::string formatFloat(double d) {
    if (std::isinf(d))
        return d < 0 ? "-inf" : "inf";
    if (std::isnan(d))
        return "nan";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", d);
    std::string s = buf;
    // Some runtime libraries print three exponent digits; keep two, as C does.
    size_t e = s.find('e');
    if (e != std::string::npos && s.size() - e == 5 && s[e + 2] == '0')
        s.erase(e + 2, 1);
    return s;
}

namespace {

template <typename Unit>
Unit* digitsInto(std::int64_t value, Unit (&buffer)[kDecimalDigitsMax]) {
    std::uint64_t magnitude = value < 0 ? 0 - std::uint64_t(value) : std::uint64_t(value);
    Unit* p = buffer + kDecimalDigitsMax;
    do {
        *--p = Unit('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        *--p = Unit('-');
    return p;
}

} // namespace

char16_t* decimalDigits(std::int64_t value, char16_t (&buffer)[kDecimalDigitsMax]) { return digitsInto(value, buffer); }

unsigned char* decimalDigits(std::int64_t value, unsigned char (&buffer)[kDecimalDigitsMax]) {
    return digitsInto(value, buffer);
}

Value toString(Engine& engine, const Value& v) {
    Value r;
    switch (v.kind) {
    case Kind::Undefined:
    case Kind::Null: return ansi(engine, "undefined");
    case Kind::String: return v;
    case Kind::Symbol: return ansi(engine, engine.nameOf(v.asSymbol()));
    case Kind::Boolean:
    case Kind::Integer:
    case Kind::Float:
    case Kind::NaN:
    case Kind::Array:
    case Kind::Function:
        if (callClassMethod(engine, engine.classOf(v.kind), v, Engine::kToStringId, r) && r.isString())
            return r;
        switch (v.kind) {
        case Kind::Boolean: return ansi(engine, v.asBoolean() ? "true" : "false");
        case Kind::Integer: {
            unsigned char digits[kDecimalDigitsMax];
            const unsigned char* from = decimalDigits(v.asInteger(), digits);
            return newString(engine, TextView::ofBytes(from, size_t(digits + kDecimalDigitsMax - from)));
        }
        case Kind::Float: return ansi(engine, formatFloat(v.asFloat()));
        case Kind::NaN: return ansi(engine, "NaN");
        case Kind::Array: return newString(engine, joinArray(engine, v.asArray(), 0));
        default: return ansi(engine, "[object Function]");
        }
    case Kind::Object: {
        bool ok;
        r = callObjectMethod(engine, v, Engine::kToStringId, ok);
        if (ok && r.isString())
            return r;
        return ansi(engine, "object");
    }
    case Kind::Native: {
        NativeObject* n = v.asNative();
        if (callClassMethod(engine, n->cls, v, Engine::kToStringId, r)) {
            if (r.isString())
                return r;
            if (isPrimitiveKind(r.kind) || r.isSymbol())
                return toString(engine, r);
        }
        return ansi(engine, "object");
    }
    default: return ansi(engine, "unknown");
    }
}

std::u16string toText(Engine& engine, const Value& v) {
    Value s = toString(engine, v);
    return stringToWide(s.asString());
}

// ---------------------------------------------------------------------------
// ToObject

Value toObject(Engine& engine, const Value& v) {
    switch (v.kind) {
    case Kind::Boolean:
    case Kind::Integer:
    case Kind::Float:
    case Kind::Array:
    case Kind::Object:
    case Kind::Native:
    case Kind::Function:
    case Kind::NaN: return v;
    case Kind::String: {
        return newString(engine, textOf(v.asString()));
    }
    default: engine.raiseError("Can't convert to object");
    }
}

} // namespace quill
