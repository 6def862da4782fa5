// Arithmetic and comparison on Values.
#include "script/vm/Operators.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "script/builtins/NumberClass.h"
#include "script/values/Convert.h"
#include "script/values/String.h"

namespace quill {

namespace {

// Integer, Float or NaN: the operand itself when it already is one.
Value numeric(Engine& engine, const Value& v) {
    if (v.isInteger() || v.isFloat() || v.isNaN())
        return v;
    return toNumber(engine, v);
}

double asDouble(const Value& v) { return v.isInteger() ? double(v.asInteger()) : v.asFloat(); }

bool isZero(const Value& v) { return v.isInteger() ? v.asInteger() == 0 : v.asFloat() == 0.0; }
bool isInfinite(const Value& v) { return v.isFloat() && std::isinf(v.asFloat()); }

int64_t wrapAdd(int64_t a, int64_t b) { return int64_t(uint64_t(a) + uint64_t(b)); }
int64_t wrapSub(int64_t a, int64_t b) { return int64_t(uint64_t(a) - uint64_t(b)); }
int64_t wrapMul(int64_t a, int64_t b) { return int64_t(uint64_t(a) * uint64_t(b)); }

// One operand of a concatenation as text. Strings are used in place; an
// Integer is formatted into `digits` when the Number class is the built-in
// one (its toString gives the decimal digits); anything else is converted.
struct ConcatPart {
    TextView text;
    bool isDigits = false;
    unsigned char digits[kDecimalDigitsMax];
};

bool integerDigits(Engine& engine, const Value& v, ConcatPart& part) {
    if (!v.isInteger() || !isNumberClass(engine.classOf(Kind::Integer)))
        return false;
    const unsigned char* first = decimalDigits(v.asInteger(), part.digits);
    part.text = TextView::ofBytes(first, size_t(part.digits + kDecimalDigitsMax - first));
    part.isDigits = true;
    return true;
}

// Concatenation of two Values as strings.
Value concat(Engine& engine, const Value& a, const Value& b) {
    ConcatPart pa, pb;
    Value sa = a, sb = b;
    if (!integerDigits(engine, a, pa) && !a.isString())
        sa = toString(engine, a);
    ValueRoot keep(engine, sa);
    if (!integerDigits(engine, b, pb) && !b.isString())
        sb = toString(engine, b);
    if (!pa.isDigits)
        pa.text = textOf(sa.asString());
    if (!pb.isDigits)
        pb.text = textOf(sb.asString());
    // A string on the left may grow its buffer in place (allocation never
    // collects, so both parts stay where they are meanwhile).
    if (sa.isString())
        return appendToString(engine, sa.asString(), pb.text);
    // One copy of each part straight into the new string.
    return concatTexts(engine, pa.text, pb.text);
}

// The shift count: an Integer's low 32 bits, a Float truncated; only the
// low 8 bits count.
unsigned shiftCount(Engine& engine, const Value& b) {
    return unsigned(toInteger32(engine, b) & 0xFF);
}

Value shift(ArithOp op, int64_t a, unsigned n) {
    // Counts of 64 and more shift every bit out (arithmetic shifts keep the sign).
    switch (op) {
    case ArithOp::Shl: return Value::integer(n >= 64 ? 0 : int64_t(uint64_t(a) << n));
    case ArithOp::Shr: return Value::integer(n >= 64 ? (a < 0 ? -1 : 0) : a >> n);
    default: return Value::integer(n >= 64 ? 0 : int64_t(uint64_t(a) >> n));
    }
}

bool isPrimitiveForEquality(Kind k) {
    return k == Kind::String || k == Kind::Boolean || k == Kind::Integer || k == Kind::Float || k == Kind::NaN;
}

bool numericEqual(const Value& a, const Value& b) {
    if (a.isNaN() || b.isNaN())
        return false;
    if (a.isInteger() && b.isInteger())
        return a.asInteger() == b.asInteger();
    return asDouble(a) == asDouble(b);
}

} // namespace

bool appendInPlace(Engine& engine, StringBody* s, const Value& b) {
    ConcatPart part;
    if (b.isString())
        part.text = textOf(b.asString());
    else if (!integerDigits(engine, b, part))
        return false;
    return lengthenSoleString(s, part.text);
}

Value appendForLocal(Engine& engine, const Value& s, const Value& b) {
    QUILL_ASSERT(s.isString());
    // concat makes a new body whenever the left side is a String.
    Value r = concat(engine, s, b);
    r.asString()->flags |= StringBody::kSoleHolder;
    return r;
}

Value arithmetic(Engine& engine, ArithOp op, const Value& a0, const Value& b0) {
    if (op == ArithOp::Add && (a0.isString() || b0.isString()))
        return concat(engine, a0, b0);
    switch (op) {
    case ArithOp::And:
    case ArithOp::Or:
    case ArithOp::Xor: {
        int64_t x = a0.isInteger() ? a0.asInteger() : toInteger(engine, a0);
        int64_t y = b0.isInteger() ? b0.asInteger() : toInteger(engine, b0);
        return Value::integer(op == ArithOp::And ? (x & y) : op == ArithOp::Or ? (x | y) : (x ^ y));
    }
    case ArithOp::Shl:
    case ArithOp::Shr:
    case ArithOp::Ushr: {
        unsigned n = shiftCount(engine, b0);
        int64_t x = a0.isInteger() ? a0.asInteger() : toInteger(engine, a0);
        return shift(op, x, n);
    }
    default: break;
    }

    Value a = numeric(engine, a0);
    ValueRoot keep(engine, a);
    Value b = numeric(engine, b0);
    if (a.isNaN() || b.isNaN())
        return Value::nan();
    const bool ints = a.isInteger() && b.isInteger();
    switch (op) {
    case ArithOp::Add:
        return ints ? Value::integer(wrapAdd(a.asInteger(), b.asInteger())) : numberValue(asDouble(a) + asDouble(b));
    case ArithOp::Sub:
        return ints ? Value::integer(wrapSub(a.asInteger(), b.asInteger())) : numberValue(asDouble(a) - asDouble(b));
    case ArithOp::Mul:
        if (ints)
            return Value::integer(wrapMul(a.asInteger(), b.asInteger()));
        if ((isInfinite(a) && isZero(b)) || (isInfinite(b) && isZero(a)))
            return Value::nan();
        return numberValue(asDouble(a) * asDouble(b));
    case ArithOp::Div: {
        if (isInfinite(a) && isInfinite(b))
            return Value::nan();
        if (isInfinite(a) && isZero(b))
            return a;
        if (isZero(a) && isZero(b))
            return Value::nan();
        return numberValue(asDouble(a) / asDouble(b));
    }
    case ArithOp::Mod: {
        if (isInfinite(a) || isZero(b))
            return Value::nan();
        if (isInfinite(b) || isZero(a))
            return a;
        if (ints) {
            int64_t y = b.asInteger();
            if (y == -1) // also keeps INT64_MIN % -1 defined
                return Value::integer(0);
            return Value::integer(a.asInteger() % y);
        }
        double x = asDouble(a), y = asDouble(b);
        double q = std::trunc(x / y);
        if (q >= -9.2e18 && q <= 9.2e18)
            return numberValue(x - y * double(int64_t(q)));
        return numberValue(std::fmod(x, y));
    }
    default: return Value::nan();
    }
}

Value negate(Engine& engine, const Value& a0) {
    Value a = numeric(engine, a0);
    if (a.isInteger())
        return Value::integer(wrapSub(0, a.asInteger()));
    if (a.isFloat())
        return Value::floating(-a.asFloat());
    return Value::nan();
}

Value compare(Engine& engine, CompareOp op, const Value& a0, const Value& b0) {
    int c;
    if (a0.isString() && b0.isString()) {
        c = compareStrings(a0.asString(), b0.asString());
    } else if (a0.isInteger() && b0.isInteger()) {
        int64_t x = a0.asInteger(), y = b0.asInteger();
        c = x < y ? -1 : x > y ? 1 : 0;
    } else {
        Value a = toNumber(engine, a0);
        ValueRoot keep(engine, a);
        Value b = toNumber(engine, b0);
        if (a.isNaN() || b.isNaN())
            return Value::undefined();
        if (a.isInteger() && b.isInteger()) {
            int64_t x = a.asInteger(), y = b.asInteger();
            c = x < y ? -1 : x > y ? 1 : 0;
        } else {
            double x = asDouble(a), y = asDouble(b);
            if (x != x || y != y)
                return Value::undefined();
            c = x < y ? -1 : x > y ? 1 : 0;
        }
    }
    switch (op) {
    case CompareOp::Lt: return Value::boolean(c < 0);
    case CompareOp::Le: return Value::boolean(c <= 0);
    case CompareOp::Gt: return Value::boolean(c > 0);
    default: return Value::boolean(c >= 0);
    }
}

bool strictEquals(const Value& a, const Value& b) {
    if (a.kind != b.kind) {
        if ((a.isInteger() && b.isFloat()) || (a.isFloat() && b.isInteger()))
            return asDouble(a) == asDouble(b);
        return false;
    }
    switch (a.kind) {
    case Kind::Undefined:
    case Kind::Null: return true;
    case Kind::Boolean: return a.asBoolean() == b.asBoolean();
    case Kind::Integer: return a.asInteger() == b.asInteger();
    case Kind::String: return stringsEqual(a.asString(), b.asString());
    case Kind::Float: return a.asFloat() == b.asFloat();
    case Kind::Array:
    case Kind::Object:
    case Kind::Function: return a.payload.bits == b.payload.bits;
    case Kind::Native:
        return a.asNative()->cls == b.asNative()->cls && a.asNative()->data == b.asNative()->data;
    default: return false;
    }
}

bool looseEquals(Engine& engine, const Value& a, const Value& b) {
    if (a.kind == b.kind) {
        switch (a.kind) {
        case Kind::Array: return true;
        case Kind::Reserved8:
        case Kind::Reserved9:
        case Kind::FrameLink:
        case Kind::ArgCount: return true;
        default: return strictEquals(a, b);
        }
    }
    auto nullish = [](const Value& v) { return v.isUndefined() || v.isNull(); };
    if (nullish(a) && nullish(b))
        return true;
    if (a.isNumber() && b.isNumber())
        return numericEqual(a, b);
    if (isPrimitiveForEquality(a.kind) && isPrimitiveForEquality(b.kind)) {
        Value x = toNumber(engine, a);
        ValueRoot keep(engine, x);
        Value y = toNumber(engine, b);
        return numericEqual(x, y);
    }
    if (a.isObject() && isPrimitiveForEquality(b.kind)) {
        Value p = toPrimitive(engine, a, Hint::Number);
        ValueRoot keep(engine, p);
        return looseEquals(engine, p, b);
    }
    if (b.isObject() && isPrimitiveForEquality(a.kind)) {
        Value p = toPrimitive(engine, b, Hint::Number);
        ValueRoot keep(engine, p);
        return looseEquals(engine, a, p);
    }
    return false;
}

} // namespace quill

