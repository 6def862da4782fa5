#pragma once
// An engine with the Array, String, RegExp, Number, Math and Date classes,
// and helpers that call their hooks the way the interpreter does.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "script/builtins/ArrayClass.h"
#include "script/builtins/DateClass.h"
#include "script/builtins/NumberClass.h"
#include "script/builtins/RegExpClass.h"
#include "script/builtins/StringClass.h"
#include "script/values/Array.h"
#include "script/values/Convert.h"
#include "script/values/String.h"
#include "script/vm/Interpreter.h"

namespace quill::test {

inline std::vector<std::string>& traceLines() {
    static std::vector<std::string> lines;
    return lines;
}

struct ClassHarness {
    Engine engine;

    ClassHarness() {
        attachVm(engine);
        registerDateClass(engine);
        registerMathClass(engine);
        registerRegExpClass(engine);
        registerArrayClass(engine);
        registerNumberClass(engine);
        registerStringClass(engine);
        traceLines().clear();
        classState<RegExpClassData>(regExpClass(engine)).traceLine =
            [](Engine&, std::string_view line) { traceLines().emplace_back(line); };
    }

    Value str(std::u16string_view text) { return newString(engine, text); }
    std::u16string text(const Value& v) { return toText(engine, v); }
    Value global(const char* name) { return engine.global(engine.internName(name)); }

    // A method call on a Value (self as the interpreter passes it).
    Value call(const Value& target, const char* method, std::initializer_list<Value> args = {}, bool expectHandled = true) {
        std::vector<Value> block{Value::integer(std::int64_t(args.size()))};
        block.insert(block.end(), args.begin(), args.end());
        SymbolId id = engine.internName(method);
        Value result;
        Value receiver = target;
        NativeClass* cls;
        void* self;
        if (target.isNative()) {
            cls = target.asNative()->cls;
            self = target.asNative()->data;
        } else {
            cls = engine.classOf(target.kind);
            self = &receiver;
        }
        int handled = cls->callMethod(engine, cls, self, id, result, ArgList{block.data()});
        EXPECT_EQ(handled != 0, expectHandled) << method;
        return result;
    }
    // `new` on a class bound to a global, with a raw count (negative for
    // array literals).
    Value construct(const char* cls, std::initializer_list<Value> args, std::int64_t count) {
        std::vector<Value> block{Value::integer(count)};
        block.insert(block.end(), args.begin(), args.end());
        NativeClass* c = global(cls).asNative()->cls;
        Value result;
        c->construct(engine, c, ArgList{block.data()}, result);
        return result;
    }
    Value construct(const char* cls, std::initializer_list<Value> args = {}) {
        return construct(cls, args, std::int64_t(args.size()));
    }
    // The class called as a function.
    Value callClass(const char* cls, std::initializer_list<Value> args = {}) {
        std::vector<Value> block{Value::integer(std::int64_t(args.size()))};
        block.insert(block.end(), args.begin(), args.end());
        NativeClass* c = global(cls).asNative()->cls;
        Value result;
        c->call(engine, c, nullptr, result, ArgList{block.data()});
        return result;
    }
    // Property read and write through accessProperty; false when not handled.
    bool get(const Value& target, const char* name, Value& out) {
        Value receiver = target;
        NativeClass* cls = target.isNative() ? target.asNative()->cls : engine.classOf(target.kind);
        void* self = target.isNative() ? target.asNative()->data : &receiver;
        return cls->accessProperty(engine, cls, self, engine.internName(name), 0, out) != 0;
    }
    Value get(const Value& target, const char* name) {
        Value out;
        EXPECT_TRUE(get(target, name, out)) << name;
        return out;
    }
    bool put(const Value& target, const char* name, Value v) {
        Value receiver = target;
        NativeClass* cls = target.isNative() ? target.asNative()->cls : engine.classOf(target.kind);
        void* self = target.isNative() ? target.asNative()->data : &receiver;
        return cls->accessProperty(engine, cls, self, engine.internName(name), 1, v) != 0;
    }

    // An array literal: [a, b, ...].
    Value array(std::initializer_list<Value> elements) {
        return construct("Array", elements, -std::int64_t(elements.size()));
    }
    // Elements joined with "," as text, holes shown as "_".
    std::u16string dump(const Value& array) {
        std::u16string out;
        ArrayBody* a = array.asArray();
        for (std::uint64_t i = 0; i < a->length; ++i) {
            if (i)
                out += u',';
            Value v;
            out += arrayGet(a, i, v) ? toText(engine, v) : u"_";
        }
        return out;
    }
};

inline Value I(std::int64_t i) { return Value::integer(i); }
inline Value F(double d) { return Value::floating(d); }

} // namespace quill::test
