// The Math singleton: the constants, the functions, and the per-engine
// random generator (seeded from the clock whenever the class is registered).
#include <cmath>
#include <limits>

#include "base/LocalTime.h"
#include "script/builtins/BuiltinMessages.h"
#include "script/builtins/BuiltinSupport.h"
#include "script/builtins/MathRules.h"
#include "script/builtins/NumberClass.h"
#include "script/values/Convert.h"

namespace quill {

namespace {

// ORDER MATHMEMBERS
enum MathMember {
    Abs, Acos, Asin, Atan, Atan2, Ceil, Cos, Exp, Floor, Log, Max, Min, Pow, Random, Round, Sin, Sqrt, Tan,
    E, Ln10, Ln2, Log10e, Log2e, Pi, Sqrt1_2, Sqrt2
};
constexpr const char* kMathMembers[] = {"abs",  "acos",  "asin",   "atan",  "atan2", "ceil",  "cos",
                                        "exp",  "floor", "log",    "max",   "min",   "pow",   "random",
                                        "round", "sin",  "sqrt",   "tan",   "E",     "LN10",  "LN2",
                                        "LOG10E", "LOG2E", "PI",   "SQRT1_2", "SQRT2"};

constexpr double kConstants[] = {
    2.718281828459045,  // E
    2.302585092994046,  // LN10
    0.6931471805599453, // LN2
    0.4342944819032518, // LOG10E
    1.4426950408889634, // LOG2E
    3.141592653589793,  // PI
    0.7071067811865476, // SQRT1_2
    1.4142135623730951, // SQRT2
};

struct MathClassData {
    MemberTable members;
    mathrules::Random48 random;
};

// The argument as a number (Integer, Float or NaN); NaN when missing.
Value numberArg(Engine& engine, ArgList args, std::int64_t i) {
    return i <= argCount(args) ? toNumber(engine, args.values[i]) : Value::nan();
}

double asDouble(const Value& v) { return v.isInteger() ? double(v.asInteger()) : v.asFloat(); }

Value oneArgument(Engine& engine, ArgList args, double (*f)(double)) {
    Value x = numberArg(engine, args, 1);
    return x.isNaN() ? Value::nan() : floatResult(f(asDouble(x)));
}

Value extreme(Engine& engine, ArgList args, bool wantMax) {
    std::int64_t n = argCount(args);
    if (n == 0)
        return Value::nan();
    double best = 0;
    for (std::int64_t i = 1; i <= n; ++i) {
        Value x = numberArg(engine, args, i);
        if (x.isNaN())
            return Value::nan();
        double d = asDouble(x);
        if (i == 1 || (wantMax ? d > best : d < best))
            best = d;
    }
    return Value::floating(best);
}

Value powFunction(Engine& engine, ArgList args) {
    Value x = numberArg(engine, args, 1), y = numberArg(engine, args, 2);
    if (x.isNaN() || y.isNaN())
        return Value::nan();
    if (x.isInteger() && y.isInteger())
        if (auto exact = mathrules::integerPow(x.asInteger(), y.asInteger()))
            return Value::integer(*exact);
    return floatResult(std::pow(asDouble(x), asDouble(y)));
}

Value roundFunction(Engine& engine, ArgList args) {
    Value x = numberArg(engine, args, 1);
    if (x.isNaN() || x.isInteger())
        return x;
    mathrules::RoundResult r = mathrules::roundHalfUp(x.asFloat());
    return r.isInteger ? Value::integer(r.integer) : Value::floating(r.real);
}

double absOf(double x) { return std::fabs(x); }
double acosOf(double x) { return std::acos(x); }
double asinOf(double x) { return std::asin(x); }
double atanOf(double x) { return std::atan(x); }
double ceilOf(double x) { return std::ceil(x); }
double cosOf(double x) { return std::cos(x); }
double expOf(double x) { return std::exp(x); }
double floorOf(double x) { return std::floor(x); }
double logOf(double x) { return std::log(x); }
double sinOf(double x) { return std::sin(x); }
double sqrtOf(double x) { return std::sqrt(x); }
double tanOf(double x) { return std::tan(x); }

int mathCallMethod(Engine& engine, NativeClass* cls, void*, SymbolId member, Value& result, ArgList args) {
    if (member == Engine::kToStringId) {
        result = asciiTextResult(engine, builtinMessage(BuiltinMessage::MathText));
        return 1;
    }
    MathClassData& data = classData<MathClassData>(cls);
    switch (data.members.find(member)) {
    case Abs: result = oneArgument(engine, args, absOf); return 1;
    case Acos: result = oneArgument(engine, args, acosOf); return 1;
    case Asin: result = oneArgument(engine, args, asinOf); return 1;
    case Atan: result = oneArgument(engine, args, atanOf); return 1;
    case Atan2: {
        Value y = numberArg(engine, args, 1), x = numberArg(engine, args, 2);
        result = (x.isNaN() || y.isNaN()) ? Value::nan() : floatResult(std::atan2(asDouble(y), asDouble(x)));
        return 1;
    }
    case Ceil: result = oneArgument(engine, args, ceilOf); return 1;
    case Cos: result = oneArgument(engine, args, cosOf); return 1;
    case Exp: result = oneArgument(engine, args, expOf); return 1;
    case Floor: result = oneArgument(engine, args, floorOf); return 1;
    case Log: result = oneArgument(engine, args, logOf); return 1;
    case Max: result = extreme(engine, args, true); return 1;
    case Min: result = extreme(engine, args, false); return 1;
    case Pow: result = powFunction(engine, args); return 1;
    case Random: result = Value::floating(data.random.next()); return 1;
    case Round: result = roundFunction(engine, args); return 1;
    case Sin: result = oneArgument(engine, args, sinOf); return 1;
    case Sqrt: result = oneArgument(engine, args, sqrtOf); return 1;
    case Tan: result = oneArgument(engine, args, tanOf); return 1;
    default: return 0;
    }
}

int mathAccessProperty(Engine&, NativeClass* cls, void*, SymbolId member, int put, Value& value) {
    int which = classData<MathClassData>(cls).members.find(member);
    if (which < E) {
        if (!put)
            value = Value::undefined();
        return 0;
    }
    if (!put)
        value = Value::floating(kConstants[which - E]);
    return 1; // the constants are read-only
}

} // namespace

void registerMathClass(Engine& engine) {
    NativeClass* cls = registerClass(engine, "Math");
    auto* data = new MathClassData{MemberTable(engine, kMathMembers, int(std::size(kMathMembers))), {}};
    data->random.seed(paloma::currentTimeMillis() / 1000);
    setClassData(cls, data);
    cls->callMethod = mathCallMethod;
    cls->accessProperty = mathAccessProperty;
}

} // namespace quill
