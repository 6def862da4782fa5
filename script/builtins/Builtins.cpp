// The registration order of the built-in classes.
#include "script/builtins/Builtins.h"

#include "script/Quill.h"

#include "script/builtins/ArrayClass.h"
#include "script/builtins/DateClass.h"
#include "script/builtins/NumberClass.h"
#include "script/builtins/RegExpClass.h"
#include "script/builtins/StringClass.h"

#include "script/values/Convert.h"
#include "script/values/Native.h"
#include "script/values/String.h"

namespace quill {

void registerBuiltinGroup(Engine& engine, BuiltinGroup group) {
    switch (group) {
    case BuiltinGroup::GlobalValues: registerGlobalValues(engine); return;
    case BuiltinGroup::GlobalFunctions: registerGlobalFunctions(engine); return;
    case BuiltinGroup::Date: registerDateClass(engine); return;
    case BuiltinGroup::Math: registerMathClass(engine); return;
    case BuiltinGroup::RegExp: registerRegExpClass(engine); return;
    case BuiltinGroup::Array: registerArrayClass(engine); return;
    case BuiltinGroup::Boolean: registerBooleanClass(engine); return;
    case BuiltinGroup::Function: registerFunctionClass(engine); return;
    case BuiltinGroup::Number: registerNumberClass(engine); return;
    case BuiltinGroup::String: registerStringClass(engine); return;
    case BuiltinGroup::Object: registerObjectClass(engine); return;
    case BuiltinGroup::UriFunctions: registerUriFunctions(engine); return;
    }
}

void registerBuiltins(Engine& engine) {
    // ORDER CLASSES: the engine registers its classes in this order. A host
    // that adds its own classes interleaves them with these groups (the file
    // classes after Date; the host's global functions, with which the URI
    // functions are bound, after the Object class).
    for (BuiltinGroup group : kBuiltinOrder)
        registerBuiltinGroup(engine, group);
}


Value stringArgument(Engine& engine, const Value& v) { return v.isString() ? v : toString(engine, v); }

} // namespace quill
