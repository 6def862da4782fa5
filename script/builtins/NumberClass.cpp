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
    return wideTextResult(engine, numberformat::format(stringView(engine, fmt.asString()), n));
}

int toStringMember(MemberCall& c) {
    const Value* receiver = c.receiver();
    c.result = receiver ? numberToString(c.engine, *receiver, c.args)
                        : asciiTextResult(c.engine, builtinMessage(BuiltinMessage::NumberClassText));
    return 1;
}

int valueOfMember(MemberCall& c) {
    c.result = c.receiver() ? *c.receiver() : classValue(c.engine, c.cls);
    return 1;
}

int toIntegerMember(MemberCall& c) {
    const Value* receiver = c.receiver();
    if (!receiver)
        return 0;
    const Value& v = *receiver;
    if (v.isInteger())
        c.result = v;
    else if (v.isFloat() && std::isfinite(v.asFloat()))
        c.result = Value::integer(toInteger(c.engine, v));
    else
        c.result = Value::nan();
    return 1;
}

int formatMember(MemberCall& c) {
    if (!c.receiver())
        return 0;
    c.result = numberFormat(c.engine, *c.receiver(), c.args);
    return 1;
}

// The constants, read on the class object only; writes are taken and
// ignored (they are read-only).
enum NumberConstant { MaxValue, MinValue, NaNMember, NegativeInfinity, PositiveInfinity };

int constantMember(MemberCall& c) {
    if (c.self)
        return 0;
    if (c.put)
        return 1;
    switch (NumberConstant(c.member.tag)) {
    case MaxValue: c.value = Value::floating(DBL_MAX); break;
    case MinValue: c.value = Value::floating(DBL_MIN); break;
    case NaNMember: c.value = Value::nan(); break;
    case NegativeInfinity: c.value = Value::floating(-std::numeric_limits<double>::infinity()); break;
    case PositiveInfinity: c.value = Value::floating(std::numeric_limits<double>::infinity()); break;
    }
    return 1;
}

constexpr Member kNumberMembers[] = {
    Member::property("MAX_VALUE", constantMember, MaxValue),
    Member::property("MIN_VALUE", constantMember, MinValue),
    Member::property("NaN", constantMember, NaNMember),
    Member::property("NEGATIVE_INFINITY", constantMember, NegativeInfinity),
    Member::property("POSITIVE_INFINITY", constantMember, PositiveInfinity),
    Member::method("format", formatMember),
    Member::method("toInteger", toIntegerMember),
    Member::method("toString", toStringMember),
    Member::method("valueOf", valueOfMember),
};

} // namespace

bool isNumberClass(const NativeClass* cls) { return cls && cls->call == numberCall; }

void registerNumberClass(Engine& engine) {
    NativeClass* cls = defineClass(engine, {.globalNames = {"Number"},
                                            .members = kNumberMembers,
                                            .call = numberCall,
                                            .construct = numberConstruct});
    engine.setKindClass(Kind::Integer, cls);
    engine.setKindClass(Kind::Float, cls);
    engine.setKindClass(Kind::NaN, cls);
}

} // namespace quill
