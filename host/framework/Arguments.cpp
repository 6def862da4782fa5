// Arguments and results of host class members.
#include "host/framework/Arguments.h"

#include <cmath>

namespace paloma::host {

int64_t argCount(quill::ArgList args) {
    return args.values && args.values[0].isInteger() ? args.values[0].asInteger() : 0;
}

std::optional<quill::Value> argAt(quill::ArgList args, int64_t i) {
    if (i < 1 || argCount(args) < i)
        return std::nullopt;
    return args.values[i];
}

std::optional<std::string> stringFrom(const quill::Value& v) {
    if (!v.isString())
        return std::nullopt;
    return quill::stringToAnsi(v.asString());
}

std::optional<int64_t> numberFrom(const quill::Value& v) {
    if (v.isInteger())
        return v.asInteger();
    if (v.isFloat()) {
        double d = std::trunc(v.asFloat());
        // Converting a double outside the 64-bit range is undefined; such a
        // number (and an infinity) is not taken as a number at all.
        constexpr double kLimit = 9223372036854775808.0; // 2^63
        if (!(d >= -kLimit && d < kLimit))
            return std::nullopt;
        return static_cast<int64_t>(d);
    }
    return std::nullopt;
}

std::optional<bool> booleanFrom(const quill::Value& v, bool acceptInteger) {
    if (v.isBoolean())
        return v.asBoolean();
    if (acceptInteger && v.isInteger())
        return v.asInteger() != 0;
    return std::nullopt;
}

std::optional<quill::Value> functionFrom(const quill::Value& v) {
    if (!v.isFunction())
        return std::nullopt;
    return v;
}

std::optional<std::string> stringArg(quill::ArgList args, int64_t i) {
    auto v = argAt(args, i);
    return v ? stringFrom(*v) : std::nullopt;
}

std::optional<int64_t> numberArg(quill::ArgList args, int64_t i) {
    auto v = argAt(args, i);
    return v ? numberFrom(*v) : std::nullopt;
}

std::optional<bool> booleanArg(quill::ArgList args, int64_t i, bool acceptInteger) {
    auto v = argAt(args, i);
    return v ? booleanFrom(*v, acceptInteger) : std::nullopt;
}

std::optional<quill::Value> functionArg(quill::ArgList args, int64_t i) {
    auto v = argAt(args, i);
    return v ? functionFrom(*v) : std::nullopt;
}

quill::Value staticTextResult(quill::Engine& engine, std::u16string_view text) {
    return quill::newStaticString(engine, text.data(), text.size());
}

quill::Value ansiTextResult(quill::Engine& engine, std::string_view text) {
    return quill::newStringFromAnsi(engine, text);
}

quill::Value wideTextResult(quill::Engine& engine, std::u16string_view text) {
    return quill::newString(engine, text);
}

quill::Value wideTextResult(quill::Engine& engine, const char16_t* chars, size_t count) {
    return quill::newString(engine, chars, chars ? count : 0);
}

#if WCHAR_MAX <= 0xFFFF
quill::Value wideTextResult(quill::Engine& engine, const wchar_t* chars, size_t count) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return quill::newString(engine, reinterpret_cast<const char16_t*>(chars), chars ? count : 0);
}
#endif

quill::Value objectResult(quill::Engine& engine) { return quill::Value::object(quill::newObject(engine)); }

void setField(quill::Engine& engine, const quill::Value& object, std::string_view name, const quill::Value& v) {
    if (!object.isObject())
        return;
    quill::SymbolId id = engine.internName(name);
    quill::objectPut(engine, object.asObject(), id, v);
}

quill::Value arrayResult(quill::Engine& engine) { return quill::newArray(engine); }

void appendElement(quill::Engine& engine, const quill::Value& array, const quill::Value& v) {
    if (array.isArray())
        quill::arrayPush(engine, array.asArray(), v);
}

quill::NativeClass* classBoundTo(quill::Engine& engine, std::string_view globalName) {
    quill::SymbolId id;
    if (!engine.findName(globalName, id))
        return nullptr;
    const quill::Value& g = engine.global(id);
    return g.isNative() ? g.asNative()->cls : nullptr;
}

bool newHostObject(quill::Engine& engine, std::string_view globalName, void* data, quill::Value& out) {
    quill::NativeClass* cls = classBoundTo(engine, globalName);
    if (!cls) {
        out = quill::Value::null();
        return false;
    }
    quill::bindNativeObject(engine, out, cls, data);
    return true;
}

void* instanceData(const quill::Value& v, quill::Engine& engine, std::string_view globalName) {
    return quill::isInstanceOf(v, engine, globalName) ? v.asNative()->data : nullptr;
}

} // namespace paloma::host
