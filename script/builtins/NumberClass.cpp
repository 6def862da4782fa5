// The Number class: the constructor, the constants, and toString with a
// radix, toInteger, format and valueOf on Integer, Float and NaN Values.
#include "script/builtins/NumberClass.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

#include "script/builtins/BuiltinMessages.h"
#include "script/builtins/BuiltinSupport.h"
#include "script/builtins/NumberFormat.h"
#include "script/values/Convert.h"
#include "script/values/String.h"

namespace quill {

namespace {

// ORDER NUMBERMEMBERS
enum NumberMember { MaxValue, MinValue, NaNMember, NegativeInfinity, PositiveInfinity, Format, ToInteger };
constexpr const char* kNumberMembers[] = {"MAX_VALUE",         "MIN_VALUE", "NaN",      "NEGATIVE_INFINITY",
                                          "POSITIVE_INFINITY", "format",    "toInteger"};

void numberCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    result = argCount(args) >= 1 ? toNumber(engine, args.values[1]) : Value::integer(0);
}

void numberConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    numberCall(engine, cls, nullptr, result, args);
}

Value numberToString(Engine& engine, const Value& v, ArgList args) {
    if (v.isInteger()) {
        int radix = 10;
        if (auto r = integerArg(args, 1))
            radix = int(std::clamp<std::int64_t>(*r, 0, 99));
        return asciiTextResult(engine, numberformat::integerToString(v.asInteger(), radix));
    }
    if (v.isFloat())
        return asciiTextResult(engine, formatFloat(v.asFloat()));
    return asciiTextResult(engine, builtinMessage(BuiltinMessage::NotANumber));
}

Value numberFormat(Engine& engine, const Value& v, ArgList args) {
    if (v.isNaN())
        return asciiTextResult(engine, builtinMessage(BuiltinMessage::NotANumber));
    Value fmt = args.arg(1);
    if (!fmt.isString())
        return toString(engine, v);
    numberformat::FormatNumber n;
    n.isInteger = v.isInteger();
    n.integer = v.isInteger() ? v.asInteger() : 0;
    n.real = v.isFloat() ? v.asFloat() : 0;
    return wideTextResult(engine, numberformat::format(stringView(fmt.asString()), n));
}

int numberCallMethod(Engine& engine, NativeClass* cls, void* self, SymbolId member, Value& result, ArgList args) {
    const Value* receiver = static_cast<const Value*>(self);
    if (!receiver) {
        // The class object.
        if (member == Engine::kToStringId) {
            result = asciiTextResult(engine, builtinMessage(BuiltinMessage::NumberClassText));
            return 1;
        }
        if (member == Engine::kValueOfId) {
            result = classValue(engine, cls);
            return 1;
        }
        return 0;
    }
    const Value& v = *receiver;
    if (member == Engine::kToStringId) {
        result = numberToString(engine, v, args);
        return 1;
    }
    if (member == Engine::kValueOfId) {
        result = v;
        return 1;
    }
    switch (classData<MemberTable>(cls).find(member)) {
    case ToInteger:
        if (v.isInteger())
            result = v;
        else if (v.isFloat() && std::isfinite(v.asFloat()))
            result = Value::integer(toInteger(engine, v));
        else
            result = Value::nan();
        return 1;
    case Format: result = numberFormat(engine, v, args); return 1;
    default: return 0;
    }
}

int numberAccessProperty(Engine&, NativeClass* cls, void* self, SymbolId member, int put, Value& value) {
    int which = self ? -1 : classData<MemberTable>(cls).find(member);
    if (which < MaxValue || which > PositiveInfinity) {
        if (!put)
            value = Value::undefined();
        return 0;
    }
    if (put)
        return 1; // the constants are read-only
    switch (which) {
    case MaxValue: value = Value::floating(DBL_MAX); break;
    case MinValue: value = Value::floating(DBL_MIN); break;
    case NaNMember: value = Value::nan(); break;
    case NegativeInfinity: value = Value::floating(-std::numeric_limits<double>::infinity()); break;
    default: value = Value::floating(std::numeric_limits<double>::infinity()); break;
    }
    return 1;
}

} // namespace

bool isNumberClass(const NativeClass* cls) { return cls && cls->callMethod == numberCallMethod; }

void registerNumberClass(Engine& engine) {
    NativeClass* cls = registerClass(engine, "Number");
    setClassData(cls, new MemberTable(engine, kNumberMembers, int(std::size(kNumberMembers))));
    cls->call = numberCall;
    cls->construct = numberConstruct;
    cls->callMethod = numberCallMethod;
    cls->accessProperty = numberAccessProperty;
    engine.setKindClass(Kind::Integer, cls);
    engine.setKindClass(Kind::Float, cls);
    engine.setKindClass(Kind::NaN, cls);
}

} // namespace quill
