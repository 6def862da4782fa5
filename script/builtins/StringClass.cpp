// The String class: construction, `length`, and the methods of String
// Values, including the RegExp forms of match, replace, search and split.
// The text algorithms are in StringOps and RegExpPattern; this file applies
// the argument rules: an argument counts only when the count reaches it, and
// a method whose arguments are missing or of the wrong kind gives the result
// stated for that case, otherwise the empty String.
#include "script/builtins/StringClass.h"

#include "script/builtins/BuiltinMessages.h"
#include "script/builtins/BuiltinSupport.h"
#include "script/builtins/RegExpClass.h"
#include "script/builtins/StringOps.h"
#include "script/values/Array.h"
#include "script/values/Convert.h"
#include "script/values/Property.h"
#include "script/values/String.h"

namespace quill {

namespace {

using namespace stringops;

// ORDER STRINGMEMBERS
enum StringMember {
    Length, CharAt, CharCodeAt, Concat, FromCharCode, IndexOf, LastIndexOf, Match, Replace, Search, Slice,
    Split, Substr, Substring, ToLowerCase, ToUpperCase, Anchor, Big, Blink, Bold, Fixed, FontColor, FontSize,
    Italics, Link, Small, Strike, Sub, Sup
};
constexpr const char* kStringMembers[] = {
    "length",  "charAt", "charCodeAt", "concat",      "fromCharCode", "indexOf",     "lastIndexOf", "match",
    "replace", "search", "slice",      "split",       "substr",       "substring",   "toLowerCase", "toUpperCase",
    "anchor",  "big",    "blink",      "bold",        "fixed",        "fontColor",   "fontSize",    "italics",
    "link",    "small",  "strike",     "sub",         "sup"};

constexpr std::int64_t kNoLimit = 2147483647;

Value emptyText(Engine& engine) { return wideTextResult(engine, u""); }

template <typename Text>
Value arrayOfTexts(Engine& engine, const std::vector<Text>& texts) {
    ValueRoot array(engine, newArray(engine));
    for (size_t i = 0; i < texts.size(); ++i)
        arrayAdd(engine, array.value.asArray(), i, wideTextResult(engine, texts[i]));
    return array.value;
}

// The class-wide RegExp state, or null when the engine has no RegExp class.
RegExpClassData* regExpState(Engine& engine) {
    NativeClass* cls = regExpClass(engine);
    return cls ? static_cast<RegExpClassData*>(cls->classData) : nullptr;
}

// ---------------------------------------------------------------------------
// Construction

void stringCall(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    result = argCount(args) >= 1 ? toString(engine, args.values[1]) : emptyText(engine);
}

void stringConstruct(Engine& engine, NativeClass*, ArgList args, Value& result) {
    std::u16string text = argCount(args) >= 1 ? toText(engine, args.values[1]) : std::u16string();
    ValueRoot copy(engine, wideTextResult(engine, text));
    ensurePropertyObject(engine, copy.value);
    result = copy.value;
}

// ---------------------------------------------------------------------------
// Methods

Value charCodeAtMethod(std::u16string_view s, ArgList args) {
    std::int64_t n = std::int64_t(s.size()), i;
    if (argCount(args) == 0)
        i = 0;
    else if (args.values[1].isInteger())
        i = args.values[1].asInteger();
    else
        i = n;
    return i >= 0 && i < n ? Value::integer(s[size_t(i)]) : Value::nan();
}

Value concatMethod(Engine& engine, const Value& receiver, ArgList args) {
    // The argument slots are replaced by their Strings, which keeps them alive.
    for (std::int64_t i = 1; i <= argCount(args); ++i)
        args.values[i] = toString(engine, args.values[i]);
    std::u16string out(stringView(receiver.asString()));
    for (std::int64_t i = 1; i <= argCount(args); ++i)
        out.append(stringView(args.values[i].asString()));
    return wideTextResult(engine, out);
}

Value fromCharCodeMethod(Engine& engine, ArgList args) {
    std::u16string out;
    out.reserve(size_t(argCount(args)));
    for (std::int64_t i = 1; i <= argCount(args); ++i) {
        const Value& v = args.values[i];
        if (v.isInteger())
            out += char16_t(std::uint64_t(v.asInteger()) & 0xFFFF);
        else if (v.isString())
            out += codeFromText(stringView(v.asString()));
        else if (v.isFloat())
            out += codeFromFloat(v.asFloat());
        else
            out += u'\0';
    }
    return wideTextResult(engine, out);
}

Value matchMethod(Engine& engine, const Value& receiver, ArgList args) {
    RegExpClassData* state = regExpState(engine);
    RegExpData* re = argCount(args) >= 1 ? regExpData(engine, args.values[1]) : nullptr;
    if (!state || !re || !re->pattern.isCompiled())
        return newArray(engine);
    state->input = receiver;
    if (!re->global())
        return regExpExecString(engine, *re, receiver);
    auto matches = regExpMatchAll(re->pattern, stringView(receiver.asString()), re->lastIndex, state->table);
    return arrayOfTexts(engine, matches);
}

Value replaceMethod(Engine& engine, const Value& receiver, ArgList args) {
    if (argCount(args) < 2 || !args.values[2].isString())
        return emptyText(engine);
    std::u16string_view s = stringView(receiver.asString());
    std::u16string_view replacement = stringView(args.values[2].asString());
    const Value& pattern = args.values[1];
    if (pattern.isString()) {
        bool all = argCount(args) >= 3 && toBoolean(args.values[3]);
        return wideTextResult(engine, replaceText(s, stringView(pattern.asString()), replacement, all));
    }
    RegExpClassData* state = regExpState(engine);
    RegExpData* re = regExpData(engine, pattern);
    if (!state || !re)
        return emptyText(engine);
    state->input = receiver;
    return wideTextResult(engine, regExpReplace(re->pattern, re->global(), re->lastIndex, s, replacement, state->table));
}

Value searchMethod(Engine& engine, const Value& receiver, ArgList args) {
    if (argCount(args) == 0)
        return Value::integer(-1);
    const Value& pattern = args.values[1];
    if (pattern.isString())
        return Value::integer(searchText(stringView(receiver.asString()), stringView(pattern.asString())));
    RegExpClassData* state = regExpState(engine);
    RegExpData* re = regExpData(engine, pattern);
    if (!state || !re)
        return Value::integer(-1);
    state->input = receiver;
    RegExpSubject subject(stringView(receiver.asString()));
    if (!regExpExec(re->pattern, re->global(), re->lastIndex, subject, state->table))
        return Value::integer(-1);
    return Value::integer(state->table.start(0));
}

Value splitMethod(Engine& engine, const Value& receiver, ArgList args) {
    std::u16string_view s = stringView(receiver.asString());
    std::int64_t limit = integerArg(args, 2).value_or(kNoLimit);
    const Value separator = args.arg(1);
    if (separator.isString()) {
        // The pieces go straight into the array; the receiver's characters
        // stay put meanwhile (allocation never collects).
        ValueRoot array(engine, newArray(engine));
        ArrayBody* a = array.value.asArray();
        uint64_t count = 0;
        splitByText(s, stringView(separator.asString()), limit, [&](std::u16string_view) { ++count; });
        arrayReserve(engine, a, count);
        uint64_t index = 0;
        splitByText(s, stringView(separator.asString()), limit,
                    [&](std::u16string_view piece) { arrayAdd(engine, a, index++, wideTextResult(engine, piece)); });
        return array.value;
    }
    RegExpClassData* state = regExpState(engine);
    RegExpData* re = regExpData(engine, separator);
    if (state && re) {
        state->input = receiver;
        return arrayOfTexts(engine, regExpSplit(re->pattern, s, limit, state->table));
    }
    ValueRoot array(engine, newArray(engine));
    arrayAdd(engine, array.value.asArray(), 0, receiver);
    return array.value;
}

Value rangeResult(Engine& engine, std::u16string_view s, Range r) {
    return wideTextResult(engine, s.substr(size_t(r.first), size_t(r.count)));
}

int stringCallMethod(Engine& engine, NativeClass* cls, void* self, SymbolId member, Value& result, ArgList args) {
    const MemberTable& members = classData<MemberTable>(cls);
    int which = members.find(member);
    const Value* receiverPtr = static_cast<const Value*>(self);
    if (!receiverPtr || !receiverPtr->isString()) {
        // The class object: toString, valueOf and fromCharCode.
        if (member == Engine::kToStringId) {
            result = asciiTextResult(engine, builtinMessage(BuiltinMessage::StringClassText));
            return 1;
        }
        if (member == Engine::kValueOfId) {
            result = classValue(engine, cls);
            return 1;
        }
        if (which == FromCharCode) {
            result = fromCharCodeMethod(engine, args);
            return 1;
        }
        return 0;
    }
    const Value receiver = *receiverPtr;
    std::u16string_view s = stringView(receiver.asString());
    const std::int64_t n = std::int64_t(s.size());
    const std::int64_t count = argCount(args);
    if (member == Engine::kToStringId || member == Engine::kValueOfId) {
        result = receiver;
        return 1;
    }
    switch (which) {
    case CharAt: {
        auto i = integerArg(args, 1);
        result = (i && *i >= 0 && *i < n) ? wideTextResult(engine, s.substr(size_t(*i), 1)) : emptyText(engine);
        return 1;
    }
    case CharCodeAt: result = charCodeAtMethod(s, args); return 1;
    case Concat: result = concatMethod(engine, receiver, args); return 1;
    case FromCharCode: result = fromCharCodeMethod(engine, args); return 1;
    case IndexOf:
    case LastIndexOf: {
        if (count == 0) {
            result = Value::integer(-1);
            return 1;
        }
        std::u16string text = toText(engine, args.values[1]);
        s = stringView(receiver.asString()); // the conversion may have run script code
        result = Value::integer(which == IndexOf ? indexOf(s, text, integerArg(args, 2))
                                                 : lastIndexOf(s, text, integerArg(args, 2)));
        return 1;
    }
    case Match: result = matchMethod(engine, receiver, args); return 1;
    case Replace: result = replaceMethod(engine, receiver, args); return 1;
    case Search: result = searchMethod(engine, receiver, args); return 1;
    case Slice:
    case Substr:
    case Substring: {
        auto start = integerArg(args, 1);
        if (!start) {
            result = emptyText(engine);
            return 1;
        }
        auto second = integerArg(args, 2);
        Range r = which == Slice ? sliceRange(n, *start, second)
                                 : which == Substr ? substrRange(n, *start, second) : substringRange(n, *start, second);
        result = rangeResult(engine, s, r);
        return 1;
    }
    case Split: result = splitMethod(engine, receiver, args); return 1;
    case ToLowerCase: result = wideTextResult(engine, toLowerCase(s)); return 1;
    case ToUpperCase: result = wideTextResult(engine, toUpperCase(s)); return 1;
    default:
        if (which >= Anchor && which <= Sup) {
            auto tag = HtmlTag(which - Anchor);
            std::u16string argument;
            if (htmlTagTakesArgument(tag) && count >= 1) {
                argument = toText(engine, args.values[1]);
                s = stringView(receiver.asString());
            }
            result = wideTextResult(engine, htmlWrap(tag, s, argument));
            return 1;
        }
        return 0;
    }
}

int stringAccessProperty(Engine&, NativeClass* cls, void* self, SymbolId member, int put, Value& value) {
    const Value* receiver = static_cast<const Value*>(self);
    if (!receiver || !receiver->isString() || classData<MemberTable>(cls).find(member) != Length) {
        if (!put)
            value = Value::undefined();
        return 0;
    }
    if (!put)
        value = Value::integer(receiver->asString()->length);
    return 1; // writes are accepted and ignored
}

} // namespace

void registerStringClass(Engine& engine) {
    NativeClass* cls = registerClass(engine, "String");
    setClassData(cls, new MemberTable(engine, kStringMembers, int(std::size(kStringMembers))));
    cls->call = stringCall;
    cls->construct = stringConstruct;
    cls->callMethod = stringCallMethod;
    cls->accessProperty = stringAccessProperty;
    engine.setKindClass(Kind::String, cls);
}

} // namespace quill
