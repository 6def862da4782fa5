#pragma once
// Registration of the built-in classes and global functions of a new engine,
// in the fixed order the engine registers its classes.
//
// Each built-in class lives in its own file pair and ends in one register
// function; registerBuiltins() calls them in order. Classes of later layers
// (Date, Math, RegExp, Array, Number, String) add their register functions
// to the table in Builtins.cpp at their place in the order.

#include <string_view>

#include "script/values/Engine.h"

namespace quill {

// Registers every built-in class and global function, in order.
void registerBuiltins(Engine& engine);

// One group of the built-ins, for hosts that interleave their own classes
// with them (BuiltinGroup is declared in Quill.h).
enum class BuiltinGroup;
void registerBuiltinGroup(Engine& engine, BuiltinGroup group);

// The host's eval and evals (bound after every class).
void registerEvalFunctions(Engine& engine);

// One register function per class or group.
void registerGlobalValues(Engine& engine);    // NaN, Infinity
void registerGlobalFunctions(Engine& engine); // parseInt ... trace
void registerUriFunctions(Engine& engine);    // encodeURI ... decodeURIComponent
void registerBooleanClass(Engine& engine);
void registerFunctionClass(Engine& engine);
void registerObjectClass(Engine& engine);

// ---- helpers shared by the built-in classes ------------------------------------
// The argument as a String: itself, or its ToString.
Value stringArgument(Engine& engine, const Value& v);

} // namespace quill
