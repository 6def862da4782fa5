// Helpers shared by the Array, String, RegExp, Number, Math and Date classes.
#include "script/builtins/BuiltinSupport.h"

#include <algorithm>
#include <cmath>

#include "script/values/Native.h"
#include "script/values/String.h"

namespace quill {

bool callCallable(Engine& engine, const Value& callee, std::initializer_list<Value> arguments, Value& result) {
    constexpr size_t kShortBlock = 4;
    if (callee.isFunction() && arguments.size() < kShortBlock) {
        // A Function call copies the arguments onto the operand stack before
        // anything can collect, so a short block can live here unrooted.
        Value block[kShortBlock];
        block[0] = Value::integer(std::int64_t(arguments.size()));
        std::copy(arguments.begin(), arguments.end(), block + 1);
        result = Value::undefined();
        if (!engine.callFunction)
            return false;
        return engine.callFunction(engine, Value::null(), callee, ArgList{block}, result);
    }
    // The argument block: the count, then the arguments.
    RootedValues block(engine);
    block.values.push_back(Value::integer(std::int64_t(arguments.size())));
    block.values.insert(block.values.end(), arguments.begin(), arguments.end());
    ArgList args{block.values.data()};
    result = Value::undefined();
    if (callee.isFunction()) {
        if (!engine.callFunction)
            return false;
        return engine.callFunction(engine, Value::null(), callee, args, result);
    }
    if (callee.isNative() && callee.asNative()->cls && callee.asNative()->cls->call) {
        NativeObject* n = callee.asNative();
        try {
            n->cls->call(engine, n->cls, n->data, result, args);
        } catch (const RuntimeError&) {
            return false;
        }
        return true;
    }
    return false;
}

} // namespace quill
