// Function references and with-scope lists.
#include "script/values/CallRecords.h"

#include <cstring>

namespace quill {

Value newFunction(Engine& engine, GcObject* compiled) {
    auto* ref = static_cast<FunctionRef*>(engine.gcAllocZeroed(sizeof(FunctionRef)));
    ref->compiled = compiled;
    return Value::function(ref);
}

WithScopeList* withScopeAppend(Engine& engine, WithScopeList* list, const Value& scope) {
    if (!list || list->count == list->capacity) {
        uint64_t cap = list ? list->capacity * 2 : 4;
        auto* grown =
            static_cast<WithScopeList*>(engine.gcAlloc(sizeof(WithScopeList) + size_t(cap) * sizeof(Value)));
        grown->count = list ? list->count : 0;
        grown->capacity = cap;
        if (list) {
            std::memcpy(static_cast<void*>(grown->values()), list->values(), size_t(list->count) * sizeof(Value));
            engine.gcFree(list);
        }
        list = grown;
    }
    list->values()[list->count++] = scope;
    return list;
}

void withScopeDrop(WithScopeList* list, uint64_t n) {
    if (!list)
        return;
    list->count = n >= list->count ? 0 : list->count - n;
}

} // namespace quill
