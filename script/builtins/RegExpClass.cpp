// The RegExp class: construction and compile, exec and test, toString, the
// class-wide properties of the last match ($1..$9, input, lastMatch, ...)
// and the instance properties.
#include "script/builtins/RegExpClass.h"

#include <algorithm>
#include <memory>

#include "script/builtins/BuiltinMessages.h"
#include "script/values/Array.h"
#include "script/values/Convert.h"
#include "script/values/Native.h"
#include "script/values/Object.h"
#include "script/values/Property.h"
#include "script/values/String.h"
#include "script/vm/Interpreter.h"

namespace quill {

namespace {

// The properties that share handlers, told apart by their rows' tags.
enum RegExpMember {
    Dollar1, Dollar2, Dollar3, Dollar4, Dollar5, Dollar6, Dollar7, Dollar8, Dollar9, DollarInput, Input,
    LastMatch, LastParen, LeftContext, Multiline, RightContext, Global, IgnoreCase, LastIndex, Source
};

// The hidden global that remembers the class.
constexpr const char* kClassGlobal = " RegExp class";

void traceInput(Engine& engine, void* data) { markValue(engine, static_cast<RegExpClassData*>(data)->input); }

RegExpClassData& regExpClassData(NativeClass* cls) { return classState<RegExpClassData>(cls); }

// Compiles the instance's source with its flags; a failure is reported on
// the trace output and leaves a pattern that finds nothing.
bool compileInstance(RegExpClassData& data, RegExpData& re, RegExpSyntax syntax) {
    auto error = re.pattern.compile(re.source, re.flags, syntax);
    if (!error)
        return true;
    if (data.traceLine)
        data.traceLine(data.engine, std::string(builtinMessage(BuiltinMessage::RegExpRuntimeError)) + *error);
    return false;
}

Value makeRegExp(Engine& engine, NativeClass* cls, std::u16string_view pattern, std::uint32_t flags) {
    auto re = std::make_unique<RegExpData>();
    re->source = regExpSource(pattern);
    re->flags = flags & (kRegExpFlagGlobal | kRegExpFlagIgnoreCase | kRegExpFlagMultiline | kRegExpFlagFromImage);
    if (!compileInstance(regExpClassData(cls), *re, RegExpSyntax::Standard))
        return Value::null();
    Value v;
    bindNativeObject(engine, v, cls, re.release());
    return v;
}

// The text of group g of the last match, or Null.
Value groupText(Engine& engine, const RegExpClassData& data, std::size_t g) {
    if (!data.input.isString() || !data.table.matched(g))
        return Value::null();
    TextView text = textOf(data.input.asString());
    auto start = std::size_t(data.table.start(g)), end = std::size_t(data.table.end(g));
    if (end > text.size() || start > end)
        return Value::null();
    return newString(engine, text.substr(start, end - start));
}

// The class-wide input as a String (converted when it is not one).
Value inputText(Engine& engine, RegExpClassData& data) {
    if (!data.input.isString())
        data.input = toString(engine, data.input);
    return data.input;
}

// ---------------------------------------------------------------------------
// Hooks

void regExpConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    Value pattern = args.arg(1), flags = args.arg(2);
    result = makeRegExp(engine, cls, pattern.isString() ? stringView(engine, pattern.asString()) : std::u16string_view(),
                        flags.isString() ? withUnits(textOf(flags.asString()), regExpFlagsFromText) : 0);
}

void regExpCall(Engine& engine, NativeClass* cls, void* self, Value& result, ArgList args) {
    if (!self) {
        regExpConstruct(engine, cls, args, result);
        return;
    }
    RegExpClassData& data = regExpClassData(cls);
    if (argCount(args) >= 1)
        data.input = args.values[1].isString() ? args.values[1] : toString(engine, args.values[1]);
    result = regExpExecString(engine, *static_cast<RegExpData*>(self), inputText(engine, data));
}

void regExpDestroy(NativeClass*, void* data) { std::unique_ptr<RegExpData>(static_cast<RegExpData*>(data)); }

Value toStringOf(Engine& engine, const RegExpData& re) {
    std::u16string text = u"/" + re.source + u"/";
    if (re.flags & kRegExpFlagGlobal)
        text += u'g';
    if (re.flags & kRegExpFlagIgnoreCase)
        text += u'i';
    if (re.flags & kRegExpFlagMultiline)
        text += u'm';
    return wideTextResult(engine, text);
}

int toStringMember(MemberCall& c) {
    c.result = c.self ? toStringOf(c.engine, *static_cast<RegExpData*>(c.self))
                      : asciiTextResult(c.engine, builtinMessage(BuiltinMessage::RegExpClassText));
    return 1;
}

int compileMember(MemberCall& c) {
    if (!c.self)
        return 0;
    RegExpData& re = *static_cast<RegExpData*>(c.self);
    if (c.count() == 0) {
        c.result = Value::boolean(false);
        return 1;
    }
    re.source = regExpSource(toText(c.engine, c.args[1]));
    re.flags = c.count() >= 2 ? regExpFlagsFromText(toText(c.engine, c.args[2])) : 0;
    c.result = Value::boolean(compileInstance(regExpClassData(c.cls), re, RegExpSyntax::CompileMethod));
    return 1;
}

// exec (tag 0) and test (tag 1).
int execMember(MemberCall& c) {
    if (!c.self)
        return 0;
    RegExpData& re = *static_cast<RegExpData*>(c.self);
    RegExpClassData& data = regExpClassData(c.cls);
    if (c.count() >= 1)
        data.input = toString(c.engine, c.args[1]);
    Value found = regExpExecString(c.engine, re, inputText(c.engine, data));
    c.result = c.member.tag == 0 ? found : Value::boolean(!found.isNull());
    return 1;
}

// The class-wide results of the last match ($1..$9, input, lastMatch...),
// on the class object and on instances alike; writes are ignored.
int lastMatchMember(MemberCall& c) {
    if (c.put)
        return 1;
    Engine& engine = c.engine;
    RegExpClassData& data = regExpClassData(c.cls);
    int which = c.member.tag;
    Value& value = c.value;
    if (which <= Dollar9) {
        value = groupText(engine, data, std::size_t(which - Dollar1 + 1));
    } else if (which == DollarInput || which == Input) {
        value = data.input;
    } else if (which == LastMatch) {
        value = groupText(engine, data, 0);
    } else if (which == LastParen) {
        std::size_t last = data.table.leadingGroups();
        value = last ? groupText(engine, data, last) : Value::null();
    } else {
        value = Value::null();
        if (data.input.isString() && data.table.matched(0)) {
            TextView text = textOf(data.input.asString());
            auto start = std::min<std::size_t>(std::size_t(data.table.start(0)), text.size());
            auto end = std::min<std::size_t>(std::size_t(data.table.end(0)), text.size());
            value = newString(engine, which == LeftContext ? text.substr(0, start) : text.substr(end, text.size() - end));
        }
    }
    return 1;
}

// The instance properties; only lastIndex takes writes (of an Integer).
int instanceMember(MemberCall& c) {
    if (!c.self)
        return 0;
    RegExpData& re = *static_cast<RegExpData*>(c.self);
    int which = c.member.tag;
    if (c.put) {
        if (which == LastIndex && c.value.isInteger())
            re.lastIndex = std::uint32_t(c.value.asInteger());
        return 1;
    }
    switch (which) {
    case Multiline: c.value = Value::boolean(re.flags & kRegExpFlagMultiline); break;
    case Global: c.value = Value::boolean(re.flags & kRegExpFlagGlobal); break;
    case IgnoreCase: c.value = Value::boolean(re.flags & kRegExpFlagIgnoreCase); break;
    case LastIndex: c.value = Value::integer(re.lastIndex); break;
    default: c.value = wideTextResult(c.engine, re.source); break;
    }
    return 1;
}

constexpr Member matchRow(const char* name, RegExpMember which) {
    return Member::property(name, lastMatchMember, which);
}
constexpr Member instanceRow(const char* name, RegExpMember which) {
    return Member::property(name, instanceMember, which);
}

constexpr Member kRegExpMembers[] = {
    matchRow("$1", Dollar1),
    matchRow("$2", Dollar2),
    matchRow("$3", Dollar3),
    matchRow("$4", Dollar4),
    matchRow("$5", Dollar5),
    matchRow("$6", Dollar6),
    matchRow("$7", Dollar7),
    matchRow("$8", Dollar8),
    matchRow("$9", Dollar9),
    matchRow("$_", DollarInput),
    matchRow("input", Input),
    matchRow("lastMatch", LastMatch),
    matchRow("lastParen", LastParen),
    matchRow("leftContext", LeftContext),
    instanceRow("multiline", Multiline),
    matchRow("rightContext", RightContext),
    instanceRow("global", Global),
    instanceRow("ignoreCase", IgnoreCase),
    instanceRow("lastIndex", LastIndex),
    instanceRow("source", Source),
    Member::method("compile", compileMember),
    Member::method("exec", execMember, 0),
    Member::method("test", execMember, 1),
    Member::method("toString", toStringMember),
};

} // namespace

RegExpClassData::RegExpClassData(Engine& e) : engine(e) {
    indexId = engine.internName("index");
    inputId = engine.internName("input");
    engine.addRootTracer(traceInput, this);
}

RegExpClassData::~RegExpClassData() { engine.removeRootTracer(traceInput, this); }

NativeClass* regExpClass(Engine& engine) {
    SymbolId id;
    if (!engine.findName(kClassGlobal, id))
        return nullptr;
    const Value& v = engine.global(id);
    return v.isNative() ? v.asNative()->cls : nullptr;
}

RegExpData* regExpData(Engine&, const Value& v) {
    if (!v.isNative() || !v.asNative()->cls || v.asNative()->cls->construct != regExpConstruct)
        return nullptr;
    return static_cast<RegExpData*>(v.asNative()->data);
}

Value newRegExp(Engine& engine, std::u16string_view pattern, std::uint32_t flags) {
    NativeClass* cls = regExpClass(engine);
    return cls ? makeRegExp(engine, cls, pattern, flags) : Value::null();
}

bool regExpExecText(const RegExpPattern& pattern, bool global, std::uint32_t& lastIndex, TextView text,
                    MatchTable& table) {
    if (text.oneByte)
        return regExpExec(pattern, global, lastIndex, RegExpSubject(ByteText{text.bytes(), text.length}), table);
    return regExpExec(pattern, global, lastIndex, RegExpSubject(text.unitView()), table);
}

Value regExpExecString(Engine& engine, RegExpData& re, const Value& text) {
    NativeClass* cls = regExpClass(engine);
    RegExpClassData& data = regExpClassData(cls);
    TextView whole = text.isString() ? textOf(text.asString()) : TextView();
    if (!regExpExecText(re.pattern, re.global(), re.lastIndex, whole, data.table))
        return Value::null();
    // The whole match and the groups up to the first that did not take part.
    ValueRoot result(engine, newArray(engine));
    ArrayBody* a = result.value.asArray();
    std::size_t groups = data.table.leadingGroups();
    for (std::size_t g = 0; g <= groups; ++g) {
        auto start = std::size_t(data.table.start(g)), end = std::size_t(data.table.end(g));
        arrayAdd(engine, a, g, newString(engine, whole.substr(start, end - start)));
    }
    ObjectRecord* props = ensurePropertyObject(engine, result.value);
    objectPut(engine, props, data.indexId, Value::integer(data.table.start(0)));
    objectPut(engine, props, data.inputId, data.input);
    return result.value;
}

void registerRegExpClass(Engine& engine) {
    NativeClass* cls = defineClass(engine, {.globalNames = {"RegExp"},
                                            .members = kRegExpMembers,
                                            .call = regExpCall,
                                            .construct = regExpConstruct,
                                            .destroyData = regExpDestroy});
    memberIds(cls).setState(new RegExpClassData(engine));
    engine.global(engine.internName(kClassGlobal)) = classValue(engine, cls);
    // Errors go to the trace output; literals of loaded images become RegExp
    // objects.
    classState<RegExpClassData>(cls).traceLine = writeTrace;
    vmState(engine).regExpConstant = [](Engine& e, std::u16string_view pattern, std::uint8_t flags) {
        return newRegExp(e, pattern, flags | kRegExpFlagFromImage);
    };
}

} // namespace quill
