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

// The constants, in the order of their rows below.
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
    mathrules::Random48 random;
};

// The argument as a number (Integer, Float or NaN); NaN when missing.
Value numberOf(Engine& engine, ArgList args, std::int64_t i) {
    return i <= argCount(args) ? toNumber(engine, args.values[i]) : Value::nan();
}

double asDouble(const Value& v) { return v.isInteger() ? double(v.asInteger()) : v.asFloat(); }

Value oneArgument(Engine& engine, ArgList args, double (*f)(double)) {
    Value x = numberOf(engine, args, 1);
    return x.isNaN() ? Value::nan() : floatResult(f(asDouble(x)));
}

Value extreme(Engine& engine, ArgList args, bool wantMax) {
    std::int64_t n = argCount(args);
    if (n == 0)
        return Value::nan();
    double best = 0;
    for (std::int64_t i = 1; i <= n; ++i) {
        Value x = numberOf(engine, args, i);
        if (x.isNaN())
            return Value::nan();
        double d = asDouble(x);
        if (i == 1 || (wantMax ? d > best : d < best))
            best = d;
    }
    return Value::floating(best);
}

Value powFunction(Engine& engine, ArgList args) {
    Value x = numberOf(engine, args, 1), y = numberOf(engine, args, 2);
    if (x.isNaN() || y.isNaN())
        return Value::nan();
    if (x.isInteger() && y.isInteger())
        if (auto exact = mathrules::integerPow(x.asInteger(), y.asInteger()))
            return Value::integer(*exact);
    return floatResult(std::pow(asDouble(x), asDouble(y)));
}

Value roundFunction(Engine& engine, ArgList args) {
    Value x = numberOf(engine, args, 1);
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

// The functions of one number argument, in the order of their rows below.
double (*const kOneArgument[])(double) = {absOf, acosOf, asinOf, atanOf, ceilOf, cosOf,
                                           expOf, floorOf, logOf, sinOf, sqrtOf, tanOf};
enum { Abs, Acos, Asin, Atan, Ceil, Cos, Exp, Floor, Log, Sin, Sqrt, Tan };

int oneArgumentMember(MemberCall& c) {
    c.result = oneArgument(c.engine, c.args, kOneArgument[c.member.tag]);
    return 1;
}

int atan2Member(MemberCall& c) {
    Value y = numberOf(c.engine, c.args, 1), x = numberOf(c.engine, c.args, 2);
    c.result = (x.isNaN() || y.isNaN()) ? Value::nan() : floatResult(std::atan2(asDouble(y), asDouble(x)));
    return 1;
}

int maxMember(MemberCall& c) {
    c.result = extreme(c.engine, c.args, true);
    return 1;
}

int minMember(MemberCall& c) {
    c.result = extreme(c.engine, c.args, false);
    return 1;
}

int powMember(MemberCall& c) {
    c.result = powFunction(c.engine, c.args);
    return 1;
}

int randomMember(MemberCall& c) {
    c.result = Value::floating(classState<MathClassData>(c.cls).random.next());
    return 1;
}

int roundMember(MemberCall& c) {
    c.result = roundFunction(c.engine, c.args);
    return 1;
}

int toStringMember(MemberCall& c) {
    c.result = asciiTextResult(c.engine, builtinMessage(BuiltinMessage::MathText));
    return 1;
}

// A constant: reads its value; writes are taken and ignored (read-only).
int constantMember(MemberCall& c) {
    if (!c.put)
        c.value = Value::floating(kConstants[c.member.tag]);
    return 1;
}

constexpr Member kMathMembers[] = {
    Member::method("toString", toStringMember),
    Member::method("abs", oneArgumentMember, Abs),
    Member::method("acos", oneArgumentMember, Acos),
    Member::method("asin", oneArgumentMember, Asin),
    Member::method("atan", oneArgumentMember, Atan),
    Member::method("atan2", atan2Member),
    Member::method("ceil", oneArgumentMember, Ceil),
    Member::method("cos", oneArgumentMember, Cos),
    Member::method("exp", oneArgumentMember, Exp),
    Member::method("floor", oneArgumentMember, Floor),
    Member::method("log", oneArgumentMember, Log),
    Member::method("max", maxMember),
    Member::method("min", minMember),
    Member::method("pow", powMember),
    Member::method("random", randomMember),
    Member::method("round", roundMember),
    Member::method("sin", oneArgumentMember, Sin),
    Member::method("sqrt", oneArgumentMember, Sqrt),
    Member::method("tan", oneArgumentMember, Tan),
    Member::property("E", constantMember, 0),
    Member::property("LN10", constantMember, 1),
    Member::property("LN2", constantMember, 2),
    Member::property("LOG10E", constantMember, 3),
    Member::property("LOG2E", constantMember, 4),
    Member::property("PI", constantMember, 5),
    Member::property("SQRT1_2", constantMember, 6),
    Member::property("SQRT2", constantMember, 7),
};

} // namespace

void registerMathClass(Engine& engine) {
    NativeClass* cls = defineClass(engine, {.globalNames = {"Math"}, .members = kMathMembers});
    auto* data = new MathClassData{};
    data->random.seed(paloma::currentTimeMillis() / 1000);
    memberIds(cls).setState(data);
}

} // namespace quill
