#pragma once
// Arithmetic and comparison on Values: the general cases of the operator
// instructions. The interpreter handles two Integers itself and comes here
// for everything else. Operands that are not numbers go through ToNumber
// (which may call script code); a result that is not a number is always the
// NaN kind, never a Float holding a NaN.

#include "script/values/Engine.h"

namespace quill {

enum class ArithOp { Add, Sub, Mul, Div, Mod, And, Or, Xor, Shl, Shr, Ushr };
enum class CompareOp { Lt, Le, Gt, Ge };

// A Float, or the NaN kind when d is not a number.
inline Value numberValue(double d) { return d != d ? Value::nan() : Value::floating(d); }

Value arithmetic(Engine& engine, ArithOp op, const Value& a, const Value& b);
// The append `s = s + b` into a local that holds the String s alone
// (StringBody::kSoleHolder): lengthens s in place when it can without
// converting b by script code (b a String, or an Integer while the Number
// class is the built-in one) and its buffer has room; false otherwise.
bool appendInPlace(Engine& engine, StringBody* s, const Value& b);
// `s + b` for a String s, as a new string flagged to be held alone by the
// local the caller stores it in.
Value appendForLocal(Engine& engine, const Value& s, const Value& b);
Value negate(Engine& engine, const Value& a);
// lt, le, gt, ge: a Boolean, or Undefined when either side is NaN.
Value compare(Engine& engine, CompareOp op, const Value& a, const Value& b);
// stricteq and eq.
bool strictEquals(const Value& a, const Value& b);
bool looseEquals(Engine& engine, const Value& a, const Value& b);

} // namespace quill
