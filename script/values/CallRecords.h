#pragma once
// Small records of the call machinery: function references, with-scope
// lists and argument blocks built by native code.

#include <initializer_list>
#include <vector>

#include "script/values/Engine.h"

namespace quill {

// A Function Value for a compiled function record (no property object yet).
Value newFunction(Engine& engine, GcObject* compiled);

// Appends a scope to a frame's with-scope list, creating or growing the list;
// returns the list to store back into the frame slot.
WithScopeList* withScopeAppend(Engine& engine, WithScopeList* list, const Value& scope);
// Removes the last n scopes (all of them when fewer exist).
void withScopeDrop(WithScopeList* list, uint64_t n);

// An argument block owned by C++ code: element 0 the count, then the
// arguments. Its Values are not roots; hand it to a call before the next
// collection point.
class ArgBlock {
public:
    ArgBlock() : values_{Value::integer(0)} {}
    ArgBlock(std::initializer_list<Value> args) : values_{Value::integer(static_cast<int64_t>(args.size()))} {
        values_.insert(values_.end(), args.begin(), args.end());
    }
    void push(const Value& v) {
        values_.push_back(v);
        values_[0] = Value::integer(static_cast<int64_t>(values_.size() - 1));
    }
    ArgList list() { return ArgList{values_.data()}; }
    int64_t count() const { return static_cast<int64_t>(values_.size() - 1); }

private:
    std::vector<Value> values_;
};

} // namespace quill
