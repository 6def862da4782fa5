// The class kit: member tables, dispatch, arguments and results.
#include "script/ClassKit.h"

#include <cmath>
#include <memory>

#include "script/Quill.h"
#include "script/values/Array.h"
#include "script/values/Object.h"

namespace quill {

// ---- arguments -------------------------------------------------------------------

std::optional<std::string> stringFrom(const Value& v) {
    if (!v.isString())
        return std::nullopt;
    return stringToAnsi(v.asString());
}

std::optional<std::string> stringArg(ArgList args, int64_t i) {
    auto v = argAt(args, i);
    return v ? stringFrom(*v) : std::nullopt;
}

// ---- results -----------------------------------------------------------------------

Value floatResult(double d) { return std::isnan(d) ? Value::nan() : Value::floating(d); }

Value staticTextResult(Engine& engine, std::u16string_view text) {
    return newStaticString(engine, text.data(), text.size());
}

Value ansiTextResult(Engine& engine, std::string_view text) { return newStringFromAnsi(engine, text); }

Value asciiTextResult(Engine& engine, std::string_view text) { return newString(engine, asText(text)); }

Value wideTextResult(Engine& engine, std::u16string_view text) { return newString(engine, text); }

Value wideTextResult(Engine& engine, const char16_t* chars, size_t count) {
    return newString(engine, chars, chars ? count : 0);
}

#if WCHAR_MAX <= 0xFFFF
Value wideTextResult(Engine& engine, const wchar_t* chars, size_t count) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return newString(engine, reinterpret_cast<const char16_t*>(chars), chars ? count : 0);
}
#endif

Value objectResult(Engine& engine) { return Value::object(newObject(engine)); }

void setField(Engine& engine, const Value& object, std::string_view name, const Value& v) {
    if (!object.isObject())
        return;
    SymbolId id = engine.internName(name);
    objectPut(engine, object.asObject(), id, v);
}

Value arrayResult(Engine& engine) { return newArray(engine); }

void appendElement(Engine& engine, const Value& array, const Value& v) {
    if (array.isArray())
        arrayPush(engine, array.asArray(), v);
}

RootedValues::RootedValues(Engine& engine) : engine_(engine) { engine_.addRootTracer(trace, this); }

RootedValues::~RootedValues() { engine_.removeRootTracer(trace, this); }

void RootedValues::trace(Engine& engine, void* data) {
    for (const Value& v : static_cast<RootedValues*>(data)->values)
        markValue(engine, v);
}

Value fallbackValue(Engine& engine, Fallback f) {
    switch (f) {
    case Fallback::Undefined: return Value::undefined();
    case Fallback::Null: return Value::null();
    case Fallback::False: return Value::boolean(false);
    case Fallback::True: return Value::boolean(true);
    case Fallback::Zero: return Value::integer(0);
    case Fallback::MinusOne: return Value::integer(-1);
    case Fallback::EmptyText: return newStaticString(engine, u"", 0);
    }
    return Value::undefined();
}

// ---- member tables ---------------------------------------------------------------------

namespace {

std::u16string classText(std::string_view className) {
    if (className.empty())
        return {};
    std::u16string text = u"[object ";
    for (char c : className)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    text += u"]";
    return text;
}

} // namespace

MemberIds::MemberIds(Engine& engine, std::string_view className, std::span<const Member> members)
    : members_(members.begin(), members.end()), className_(className), text_(classText(className)) {
    ids_.reserve(members_.size());
    for (const Member& m : members_)
        ids_.push_back(engine.internName(m.name));
    buildIndex();
}

MemberIds::MemberIds(Engine& engine, std::string_view className, std::span<const char* const> names)
    : className_(className), text_(classText(className)) {
    members_.reserve(names.size());
    ids_.reserve(names.size());
    for (const char* name : names) {
        members_.push_back(Member{name, MemberKind::Method, nullptr});
        ids_.push_back(engine.internName(name));
    }
    buildIndex();
}

MemberIds::~MemberIds() { freeState(); }

void MemberIds::buildIndex() {
    SymbolId top = 0;
    for (SymbolId id : ids_)
        top = id > top ? id : top;
    index_.assign(ids_.empty() ? 0 : size_t(top) + 1, 0);
    // A name listed twice resolves to its first row.
    for (size_t i = ids_.size(); i-- > 0;)
        index_[ids_[i]] = static_cast<uint16_t>(i + 1);
}

void MemberIds::freeState() {
    if (state_ && freeState_)
        freeState_(state_);
    state_ = nullptr;
    freeState_ = nullptr;
}

// ---- dispatch ----------------------------------------------------------------------------

int kitCallMethod(Engine& engine, NativeClass* cls, void* self, SymbolId id, Value& result, ArgList args) {
    const MemberIds& ids = memberIds(cls);
    const Member* m = ids.member(id);
    if (m && m->kind == MemberKind::Method && m->handler) {
        result = m->neutral == Fallback::Undefined ? Value::undefined() : fallbackValue(engine, m->neutral);
        MemberCall call{engine, cls, self, *m, args, result, 0};
        return m->handler(call);
    }
    if (!m && id == Engine::kToStringId && !ids.text().empty()) {
        result = staticTextResult(engine, ids.text());
        return 1;
    }
    return 0;
}

int kitAccessProperty(Engine& engine, NativeClass* cls, void* self, SymbolId id, int put, Value& value) {
    const Member* m = memberIds(cls).member(id);
    if (m && m->kind != MemberKind::Method && m->handler) {
        if (!put)
            value = Value::undefined();
        MemberCall call{engine, cls, self, *m, ArgList{}, value, put};
        if (m->handler(call))
            return 1;
    }
    if (!put)
        value = Value::undefined();
    return 0;
}

bool answerToString(Engine& engine, NativeClass* cls, SymbolId member, Value& result) {
    if (member != Engine::kToStringId || !cls || !cls->classData || memberIds(cls).text().empty())
        return false;
    result = staticTextResult(engine, memberIds(cls).text());
    return true;
}

void setIntegerConstants(Engine& engine, std::span<const IntegerConstant> constants) {
    for (const IntegerConstant& c : constants) {
        // Interning may grow the global table: take the id first.
        SymbolId id = engine.internName(c.name);
        engine.global(id) = Value::integer(c.value);
    }
}

NativeClass* defineClass(Engine& engine, const ClassDefinition& definition) {
    std::string_view className = definition.className ? definition.className : "";
    // 1. The member table, owned by the class from here on.
    auto ids = definition.members.empty() && !definition.names.empty()
                   ? std::make_unique<MemberIds>(engine, className, definition.names)
                   : std::make_unique<MemberIds>(engine, className, definition.members);
    bool hasMethods = !ids->text().empty(), hasProperties = false;
    for (const Member& m : definition.members) {
        hasMethods = hasMethods || m.kind == MemberKind::Method;
        hasProperties = hasProperties || m.kind != MemberKind::Method;
    }
    // 2. The class record and its hooks.
    NativeClass* cls = newNativeClass(engine);
    cls->classData = ids.release();
    cls->freeClassData = [](void* data) { delete static_cast<MemberIds*>(data); };
    cls->call = definition.call;
    cls->callMethod = definition.callMethod ? definition.callMethod : hasMethods ? kitCallMethod : nullptr;
    cls->accessProperty =
        definition.accessProperty ? definition.accessProperty : hasProperties ? kitAccessProperty : nullptr;
    cls->construct = definition.construct;
    cls->destroyData = definition.destroyData;
    cls->markData = definition.markData;
    // 3. The globals.
    if (definition.globalNames.size() == 0) {
        if (!className.empty())
            bindClass(engine, className, cls);
    } else {
        for (const char* name : definition.globalNames)
            bindClass(engine, name, cls);
    }
    // 4. The constants.
    setIntegerConstants(engine, definition.constants);
    return cls;
}

Value classValue(Engine& engine, NativeClass* cls) {
    Value v;
    bindNativeObject(engine, v, cls, nullptr);
    return v;
}

// ---- host objects ----------------------------------------------------------------------

NativeClass* classBoundTo(Engine& engine, std::string_view globalName) {
    SymbolId id;
    if (!engine.findName(globalName, id))
        return nullptr;
    const Value& g = engine.global(id);
    return g.isNative() ? g.asNative()->cls : nullptr;
}

bool newHostObject(Engine& engine, std::string_view globalName, void* data, Value& out) {
    NativeClass* cls = classBoundTo(engine, globalName);
    if (!cls) {
        out = Value::null();
        return false;
    }
    bindNativeObject(engine, out, cls, data);
    return true;
}

void* instanceData(const Value& v, Engine& engine, std::string_view globalName) {
    return isInstanceOf(v, engine, globalName) ? v.asNative()->data : nullptr;
}

} // namespace quill
