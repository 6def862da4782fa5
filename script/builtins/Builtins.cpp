// The registration order of the built-in classes.
#include "script/builtins/Builtins.h"

#include "script/builtins/ArrayClass.h"
#include "script/builtins/DateClass.h"
#include "script/builtins/NumberClass.h"
#include "script/builtins/RegExpClass.h"
#include "script/builtins/StringClass.h"

#include "script/values/Convert.h"
#include "script/values/Native.h"
#include "script/values/String.h"

namespace quill {

void registerBuiltins(Engine& engine) {
    // ORDER CLASSES: the engine registers its classes in this order; a class
    // of a later layer takes its place here (Date, the file classes, Math,
    // RegExp, Array before Boolean; Number and String between Function and
    // Object).
    registerGlobalValues(engine);
    registerGlobalFunctions(engine);
    registerDateClass(engine);
    registerMathClass(engine);
    registerRegExpClass(engine);
    registerArrayClass(engine);
    registerBooleanClass(engine);
    registerFunctionClass(engine);
    registerNumberClass(engine);
    registerStringClass(engine);
    registerObjectClass(engine);
    // The host's global functions, with which the URI functions are bound.
    registerUriFunctions(engine);
}

Value staticText(Engine& engine, std::u16string_view text) {
    return newStaticString(engine, text.data(), text.size());
}

Value classObject(Engine& engine, NativeClass* cls) {
    Value v;
    bindNativeObject(engine, v, cls, nullptr);
    return v;
}

Value stringArgument(Engine& engine, const Value& v) { return v.isString() ? v : toString(engine, v); }

} // namespace quill
