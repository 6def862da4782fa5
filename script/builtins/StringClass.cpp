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
#include "script/values/Messages.h"
#include "script/values/Property.h"
#include "script/values/String.h"

namespace quill {

namespace {

using namespace stringops;

constexpr std::int64_t kNoLimit = 2147483647;

Value emptyText(Engine& engine) { return wideTextResult(engine, u""); }

template <typename Text>
Value arrayOfTexts(Engine& engine, const std::vector<Text>& texts) {
    ValueRoot array(engine, newArray(engine));
    if (!texts.empty())
        arrayReserve(engine, array.value.asArray(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        arrayAdd(engine, array.value.asArray(), i, wideTextResult(engine, texts[i]));
    return array.value;
}

// The class-wide RegExp state, or null when the engine has no RegExp class.
RegExpClassData* regExpState(Engine& engine) {
    NativeClass* cls = regExpClass(engine);
    return cls ? memberIds(cls).state<RegExpClassData>() : nullptr;
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

Value charCodeAtMethod(TextView s, ArgList args) {
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
    // One copy of each part into the result, one byte a unit when all fit.
    TextView first = textOf(receiver.asString());
    size_t length = first.length;
    bool oneByte = first.fitsOneByte();
    for (std::int64_t i = 1; i <= argCount(args); ++i) {
        TextView part = textOf(args.values[i].asString());
        length += part.length;
        oneByte = oneByte && part.fitsOneByte();
        if (length > kMaxStringLength)
            engine.raiseError(kErrOutOfMemory);
    }
    TextWriter out;
    Value result = newStringToWrite(engine, length, oneByte, out);
    out.put(first);
    for (std::int64_t i = 1; i <= argCount(args); ++i)
        out.put(textOf(args.values[i].asString()));
    return result;
}

Value fromCharCodeMethod(Engine& engine, ArgList args) {
    std::u16string out;
    out.reserve(size_t(argCount(args)));
    for (std::int64_t i = 1; i <= argCount(args); ++i) {
        const Value& v = args.values[i];
        if (v.isInteger())
            out += char16_t(std::uint64_t(v.asInteger()) & 0xFFFF);
        else if (v.isString())
            out += withUnits(textOf(v.asString()), codeFromText);
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
    return withUnits(textOf(receiver.asString()), [&](std::u16string_view text) {
        return arrayOfTexts(engine, regExpMatchAll(re->pattern, text, re->lastIndex, state->table));
    });
}

Value replaceMethod(Engine& engine, const Value& receiver, ArgList args) {
    if (argCount(args) < 2 || !args.values[2].isString())
        return emptyText(engine);
    TextView s = textOf(receiver.asString());
    TextView replacement = textOf(args.values[2].asString());
    const Value& pattern = args.values[1];
    if (pattern.isString()) {
        bool all = argCount(args) >= 3 && toBoolean(args.values[3]);
        return withUnits(s, [&](std::u16string_view su) {
            return withUnits(textOf(pattern.asString()), [&](std::u16string_view pu) {
                return withUnits(replacement, [&](std::u16string_view ru) {
                    return wideTextResult(engine, replaceText(su, pu, ru, all));
                });
            });
        });
    }
    RegExpClassData* state = regExpState(engine);
    RegExpData* re = regExpData(engine, pattern);
    if (!state || !re)
        return emptyText(engine);
    state->input = receiver;
    // The result is written straight into its String; the receiver's and the
    // replacement's characters stay put meanwhile (allocation never collects).
    Value result;
    if (s.oneByte && replacement.fitsOneByte()) {
        // A one-byte text with a replacement that fits gives a one-byte result.
        std::string narrow;
        if (!replacement.oneByte) {
            narrow.resize(replacement.length);
            replacement.copyTo(narrow.data(), true);
            replacement = asText(narrow);
        }
        regExpReplace(re->pattern, re->global(), re->lastIndex, ByteText{s.bytes(), s.length},
                      ByteText{replacement.bytes(), replacement.length}, state->table, [&](std::size_t length) {
                          unsigned char* chars = nullptr;
                          result = newOneByteStringToFill(engine, length, chars);
                          return chars;
                      });
        return result;
    }
    withUnits(s, [&](std::u16string_view su) {
        withUnits(replacement, [&](std::u16string_view ru) {
            regExpReplace(re->pattern, re->global(), re->lastIndex, su, ru, state->table, [&](std::size_t length) {
                char16_t* chars = nullptr;
                result = newStringToFill(engine, length, chars);
                return chars;
            });
            return 0;
        });
        return 0;
    });
    return result;
}

Value searchMethod(Engine& engine, const Value& receiver, ArgList args) {
    if (argCount(args) == 0)
        return Value::integer(-1);
    const Value& pattern = args.values[1];
    if (pattern.isString())
        return Value::integer(withUnits(textOf(receiver.asString()), [&](std::u16string_view su) {
            return withUnits(textOf(pattern.asString()), [&](std::u16string_view pu) { return searchText(su, pu); });
        }));
    RegExpClassData* state = regExpState(engine);
    RegExpData* re = regExpData(engine, pattern);
    if (!state || !re)
        return Value::integer(-1);
    state->input = receiver;
    if (!regExpExecText(re->pattern, re->global(), re->lastIndex, textOf(receiver.asString()), state->table))
        return Value::integer(-1);
    return Value::integer(state->table.start(0));
}

Value splitMethod(Engine& engine, const Value& receiver, ArgList args) {
    TextView s = textOf(receiver.asString());
    std::int64_t limit = integerArg(args, 2).value_or(kNoLimit);
    const Value separator = args.arg(1);
    if (separator.isString()) {
        // The pieces go straight into the array; the receiver's characters
        // stay put meanwhile (allocation never collects).
        ValueRoot array(engine, newArray(engine));
        ArrayBody* a = array.value.asArray();
        withSameWidth(s, textOf(separator.asString()), [&](auto text, auto sep) {
            uint64_t count = 0;
            splitPieces(text, sep, limit, [&](auto) { ++count; });
            arrayReserve(engine, a, count);
            uint64_t index = 0;
            splitPieces(text, sep, limit,
                        [&](auto piece) { arrayAdd(engine, a, index++, newString(engine, asText(piece))); });
            return 0;
        });
        return array.value;
    }
    RegExpClassData* state = regExpState(engine);
    RegExpData* re = regExpData(engine, separator);
    if (state && re) {
        state->input = receiver;
        return withUnits(s, [&](std::u16string_view text) {
            return arrayOfTexts(engine, regExpSplit(re->pattern, text, limit, state->table));
        });
    }
    ValueRoot array(engine, newArray(engine));
    arrayAdd(engine, array.value.asArray(), 0, receiver);
    return array.value;
}

Value rangeResult(Engine& engine, TextView s, Range r) {
    return newString(engine, s.substr(size_t(r.first), size_t(r.count)));
}

// The receiving String of a member; null for the class object.
const Value* stringOf(const MemberCall& c) {
    const Value* receiver = c.receiver();
    return receiver && receiver->isString() ? receiver : nullptr;
}

// toString and valueOf: the receiver itself; on the class object its text
// and the class object.
int toStringMember(MemberCall& c) {
    const Value* s = stringOf(c);
    c.result = s ? *s : asciiTextResult(c.engine, builtinMessage(BuiltinMessage::StringClassText));
    return 1;
}

int valueOfMember(MemberCall& c) {
    const Value* s = stringOf(c);
    c.result = s ? *s : classValue(c.engine, c.cls);
    return 1;
}

// Also on the class object.
int fromCharCodeMember(MemberCall& c) {
    c.result = fromCharCodeMethod(c.engine, c.args);
    return 1;
}

int charAtMember(MemberCall& c) {
    const Value* r = stringOf(c);
    if (!r)
        return 0;
    TextView s = textOf(r->asString());
    auto i = integerArg(c.args, 1);
    c.result = (i && *i >= 0 && *i < std::int64_t(s.size())) ? newString(c.engine, s.substr(size_t(*i), 1))
                                                              : emptyText(c.engine);
    return 1;
}

int charCodeAtMember(MemberCall& c) {
    const Value* r = stringOf(c);
    if (!r)
        return 0;
    c.result = charCodeAtMethod(textOf(r->asString()), c.args);
    return 1;
}

// concat, match, replace, search and split: a method of the receiver and
// the arguments, told apart by the row's tag.
enum Whole { Concat, Match, Replace, Search, Split };

int wholeMember(MemberCall& c) {
    const Value* r = stringOf(c);
    if (!r)
        return 0;
    const Value receiver = *r;
    switch (Whole(c.member.tag)) {
    case Concat: c.result = concatMethod(c.engine, receiver, c.args); break;
    case Match: c.result = matchMethod(c.engine, receiver, c.args); break;
    case Replace: c.result = replaceMethod(c.engine, receiver, c.args); break;
    case Search: c.result = searchMethod(c.engine, receiver, c.args); break;
    case Split: c.result = splitMethod(c.engine, receiver, c.args); break;
    }
    return 1;
}

// indexOf (tag 0) and lastIndexOf (tag 1).
int indexOfMember(MemberCall& c) {
    const Value* r = stringOf(c);
    if (!r)
        return 0;
    const Value receiver = *r;
    if (c.count() == 0) {
        c.result = Value::integer(-1);
        return 1;
    }
    std::u16string text = toText(c.engine, c.args[1]);
    TextView s = textOf(receiver.asString()); // the conversion may have run script code
    c.result = Value::integer(withSameWidth(s, TextView(text), [&](auto sv, auto tv) {
        return c.member.tag == 0 ? indexOf(sv, tv, integerArg(c.args, 2)) : lastIndexOf(sv, tv, integerArg(c.args, 2));
    }));
    return 1;
}

// slice, substr and substring.
enum RangeKind { SliceRange, SubstrRange, SubstringRange };

int rangeMember(MemberCall& c) {
    const Value* r = stringOf(c);
    if (!r)
        return 0;
    TextView s = textOf(r->asString());
    const std::int64_t n = std::int64_t(s.size());
    auto start = integerArg(c.args, 1);
    if (!start) {
        c.result = emptyText(c.engine);
        return 1;
    }
    auto second = integerArg(c.args, 2);
    Range range = c.member.tag == SliceRange    ? sliceRange(n, *start, second)
                  : c.member.tag == SubstrRange ? substrRange(n, *start, second)
                                                : substringRange(n, *start, second);
    c.result = rangeResult(c.engine, s, range);
    return 1;
}

// toLowerCase (tag 0) and toUpperCase (tag 1).
int caseMember(MemberCall& c) {
    const Value* r = stringOf(c);
    if (!r)
        return 0;
    c.result = withUnits(textOf(r->asString()), [&](std::u16string_view s) {
        return wideTextResult(c.engine, c.member.tag == 0 ? toLowerCase(s) : toUpperCase(s));
    });
    return 1;
}

// The HTML wrappers; the tag is the HtmlTag.
int htmlMember(MemberCall& c) {
    const Value* r = stringOf(c);
    if (!r)
        return 0;
    const Value receiver = *r;
    auto tag = HtmlTag(c.member.tag);
    std::u16string argument;
    if (htmlTagTakesArgument(tag) && c.count() >= 1)
        argument = toText(c.engine, c.args[1]);
    c.result = withUnits(textOf(receiver.asString()), [&](std::u16string_view s) {
        return wideTextResult(c.engine, htmlWrap(tag, s, argument));
    });
    return 1;
}

// length: reads the length; writes are accepted and ignored. The class
// object has none.
int lengthMember(MemberCall& c) {
    const Value* r = stringOf(c);
    if (!r)
        return 0;
    if (!c.put)
        c.value = Value::integer(r->asString()->length);
    return 1;
}

constexpr Member htmlRow(const char* name, HtmlTag tag) { return Member::method(name, htmlMember, int(tag)); }

constexpr Member kStringMembers[] = {
    Member::property("length", lengthMember),
    Member::method("charAt", charAtMember),
    Member::method("charCodeAt", charCodeAtMember),
    Member::method("concat", wholeMember, Concat),
    Member::method("fromCharCode", fromCharCodeMember),
    Member::method("indexOf", indexOfMember, 0),
    Member::method("lastIndexOf", indexOfMember, 1),
    Member::method("match", wholeMember, Match),
    Member::method("replace", wholeMember, Replace),
    Member::method("search", wholeMember, Search),
    Member::method("slice", rangeMember, SliceRange),
    Member::method("split", wholeMember, Split),
    Member::method("substr", rangeMember, SubstrRange),
    Member::method("substring", rangeMember, SubstringRange),
    Member::method("toLowerCase", caseMember, 0),
    Member::method("toUpperCase", caseMember, 1),
    htmlRow("anchor", HtmlTag::Anchor),
    htmlRow("big", HtmlTag::Big),
    htmlRow("blink", HtmlTag::Blink),
    htmlRow("bold", HtmlTag::Bold),
    htmlRow("fixed", HtmlTag::Fixed),
    htmlRow("fontColor", HtmlTag::FontColor),
    htmlRow("fontSize", HtmlTag::FontSize),
    htmlRow("italics", HtmlTag::Italics),
    htmlRow("link", HtmlTag::Link),
    htmlRow("small", HtmlTag::Small),
    htmlRow("strike", HtmlTag::Strike),
    htmlRow("sub", HtmlTag::Sub),
    htmlRow("sup", HtmlTag::Sup),
    Member::method("toString", toStringMember),
    Member::method("valueOf", valueOfMember),
};

} // namespace

void registerStringClass(Engine& engine) {
    NativeClass* cls = defineClass(engine, {.globalNames = {"String"},
                                            .members = kStringMembers,
                                            .call = stringCall,
                                            .construct = stringConstruct});
    engine.setKindClass(Kind::String, cls);
}

} // namespace quill
