// The global values NaN and Infinity and the global functions parseInt,
// parseFloat, escape, unescape, isNaN, isFinite and trace.
#include "script/builtins/Builtins.h"
#include "script/builtins/BuiltinSupport.h"

#include <limits>
#include <string>

#include "script/Quill.h"
#include "script/vm/Interpreter.h"
#include "script/vm/Operators.h"

namespace quill {

namespace {

// parseInt(text, radix): the integer scanner with the radix (0: automatic).
void parseIntCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    if (args.count() < 1) {
        result = Value::nan();
        return;
    }
    Value text = stringArgument(engine, args[1]);
    ValueRoot keep(engine, text);
    int radix = 0;
    if (args.count() >= 2)
        radix = int(int32_t(args[2].isInteger() ? args[2].asInteger() : toInteger(engine, args[2])));
    if (radix < 0 || radix == 1 || radix > 36) {
        result = Value::nan();
        return;
    }
    ScanResult r = withUnits(textOf(text.asString()), [&](std::u16string_view t) { return scanInteger(t, radix); });
    switch (r.type) {
    case ScanResult::Integer: result = Value::integer(r.integer); break;
    case ScanResult::Double: result = floatResult(r.number); break;
    default: result = Value::nan(); break;
    }
}

// parseFloat(text): ToNumber, with an Integer result made a Float.
void parseFloatCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    if (args.count() < 1) {
        result = Value::nan();
        return;
    }
    Value n = toNumber(engine, args[1]);
    result = n.isInteger() ? Value::floating(double(n.asInteger())) : n;
}

const char16_t kHex[] = u"0123456789ABCDEF";

bool keptByEscape(char16_t c) {
    if (c >= u'A' && c <= u'Z')
        return true;
    if (c >= u'a' && c <= u'z')
        return true;
    if (c >= u'0' && c <= u'9')
        return true;
    return std::u16string_view(u"@*_+-./").find(c) != std::u16string_view::npos;
}

// escape(text): kept characters and NUL as they are, other units below 256
// as %XX, the rest as %uXXXX.
void escapeCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    if (args.count() < 1) {
        result = staticTextResult(engine, u"");
        return;
    }
    Value text = stringArgument(engine, args[1]);
    std::u16string_view in = stringView(engine, text.asString());
    // 1. Size the result.
    size_t size = in.size();
    for (char16_t c : in)
        if (c != 0 && !keptByEscape(c))
            size += c < 256 ? 2 : 5;
    // 2. Fill it in one pass.
    std::u16string out;
    out.reserve(size);
    for (char16_t c : in) {
        if (c == 0 || keptByEscape(c)) {
            out += c;
        } else if (c < 256) {
            out += u'%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += u"%u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += kHex[(c >> shift) & 15];
        }
    }
    result = newString(engine, out);
}

// Value of `count` hexadecimal digits at text[at], or -1.
int hexAt(std::u16string_view text, size_t at, int count) {
    if (at + size_t(count) > text.size())
        return -1;
    int v = 0;
    for (int i = 0; i < count; ++i) {
        int d = hexDigit(text[at + size_t(i)]);
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

// unescape(text): %uXXXX and %XX become their units; anything else stays.
void unescapeCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    if (args.count() < 1) {
        result = Value::undefined();
        return;
    }
    Value text = stringArgument(engine, args[1]);
    std::u16string_view in = stringView(engine, text.asString());
    std::u16string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        char16_t c = in[i];
        if (c == u'%') {
            int v;
            if (i + 1 < in.size() && in[i + 1] == u'u' && (v = hexAt(in, i + 2, 4)) >= 0) {
                out += char16_t(v);
                i += 5;
                continue;
            }
            if ((v = hexAt(in, i + 1, 2)) >= 0) {
                out += char16_t(v);
                i += 2;
                continue;
            }
        }
        out += c;
    }
    result = newString(engine, out);
}

void isNaNCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    if (args.count() < 1) {
        result = Value::undefined();
        return;
    }
    const Value& v = args[1];
    if (v.isInteger() || v.isFloat())
        result = Value::boolean(v.isFloat() && v.asFloat() != v.asFloat());
    else if (v.isNaN())
        result = Value::boolean(true);
    else
        result = Value::boolean(toNumber(engine, v).isNaN());
}

void isFiniteCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    if (args.count() < 1) {
        result = Value::undefined();
        return;
    }
    Value v = args[1];
    if (!v.isInteger() && !v.isFloat() && !v.isNaN())
        v = toNumber(engine, v);
    if (v.isInteger())
        result = Value::boolean(true);
    else if (v.isFloat())
        result = Value::boolean(v.asFloat() - v.asFloat() == 0.0);
    else
        result = Value::boolean(false);
}

// trace(values...): the text of every argument, then the end of the line.
void traceCall(Engine& engine, NativeClass*, void*, Value&, ArgList args) {
    if (!hasTraceSink(engine))
        return;
    std::string line;
    for (int64_t i = 1; i <= args.count(); ++i)
        line += valueToText(engine, args[i]);
    writeTrace(engine, line);
}

struct GlobalFunction {
    const char* name;
    CallHook hook;
};

// ORDER GLOBALS
const GlobalFunction kGlobalFunctions[] = {
    {"parseInt", parseIntCall}, {"parseFloat", parseFloatCall}, {"escape", escapeCall},
    {"unescape", unescapeCall}, {"isNaN", isNaNCall},           {"isFinite", isFiniteCall},
    {"trace", traceCall},
};

} // namespace

void registerGlobalValues(Engine& engine) {
    engine.global(engine.internName("NaN")) = Value::nan();
    engine.global(engine.internName("Infinity")) = Value::floating(std::numeric_limits<double>::infinity());
}

void registerGlobalFunctions(Engine& engine) {
    for (const GlobalFunction& f : kGlobalFunctions)
        defineGlobalFunction(engine, f.name, f.hook);
}

} // namespace quill
