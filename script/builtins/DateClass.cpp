// The Date class: construction, parse and UTC on the class, the getters,
// setters and text forms of instances. The arithmetic is in DateMath; this
// file maps arguments and results. The local offset is taken once, when the
// class is registered.
#include "script/builtins/DateClass.h"

#include <cmath>
#include <memory>

#include "base/LocalTime.h"
#include "script/builtins/BuiltinMessages.h"
#include "script/builtins/BuiltinSupport.h"
#include "script/builtins/DateMath.h"
#include "script/values/Native.h"
#include "script/values/String.h"

namespace quill {

namespace {

using namespace datemath;

// The members that share handlers, told apart by their rows' tags.
enum DateMember {
    Parse, GetDate, GetDay, GetFullYear, GetHours, GetMilliseconds, GetMinutes, GetMonth, GetSeconds, GetTime,
    GetTimezoneOffset, GetUTCDate, GetUTCDay, GetUTCFullYear, GetUTCHours, GetUTCMilliseconds, GetUTCMinutes,
    GetUTCMonth, GetUTCSeconds, GetYear, SetDate, SetFullYear, SetHours, SetMinutes, SetMilliseconds, SetMonth,
    SetSeconds, SetTime, SetUTCDate, SetUTCFullYear, SetUTCHours, SetUTCMilliseconds, SetUTCMinutes, SetUTCMonth,
    SetUTCSeconds, SetYear, ToGMTString, ToLocaleString, Utc
};
struct DateClassData {
    double localOffset; // milliseconds, positive west of Greenwich
};

struct DateData {
    double time;
};

double now() { return double(paloma::currentTimeMillis()); }

// The numeric arguments from first on (floats as they are; nullopt for the
// others), at most count of them.
std::vector<std::optional<double>> numericArgs(ArgList args, std::int64_t first, std::int64_t count) {
    std::vector<std::optional<double>> out;
    for (std::int64_t i = first; i <= argCount(args) && i < first + count; ++i)
        out.push_back(numericArg(args, i));
    return out;
}

// parse of a Value: a String is parsed (the current time when it cannot be),
// a number is the time value itself.
double timeFromValue(const DateClassData& data, const Value& v) {
    if (v.isInteger())
        return double(v.asInteger());
    if (v.isFloat())
        return v.asFloat();
    if (v.isString())
        if (auto t = withUnits(textOf(v.asString()),
                               [&](std::u16string_view text) { return parseDate(text, data.localOffset); }))
            return *t;
    return now();
}

Value timeResult(double t) { return Value::integer(std::int64_t(t)); }

// ---------------------------------------------------------------------------
// Construction

void dateCall(Engine& engine, NativeClass* cls, void*, Value& result, ArgList) {
    result = asciiTextResult(engine, formatLocal(now(), classState<DateClassData>(cls).localOffset));
}

void dateConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    const DateClassData& data = classState<DateClassData>(cls);
    double t;
    std::int64_t n = argCount(args);
    if (n == 0) {
        t = now();
    } else if (n == 1) {
        t = timeFromValue(data, args.values[1]);
        if (!isValidTime(t))
            t = 0;
    } else {
        auto components = numericArgs(args, 1, 7);
        t = timeFromComponents(components, data.localOffset);
    }
    auto date = std::make_unique<DateData>(DateData{t});
    bindNativeObject(engine, result, cls, date.release());
}

void dateDestroy(NativeClass*, void* data) { std::unique_ptr<DateData>(static_cast<DateData*>(data)); }

// ---------------------------------------------------------------------------
// Methods

Value classMethod(NativeClass* cls, int which, ArgList args, bool& handled) {
    const DateClassData& data = classState<DateClassData>(cls);
    handled = true;
    switch (which) {
    case Parse: {
        if (argCount(args) == 0)
            return Value::integer(0);
        double t = timeFromValue(data, args.values[1]);
        return timeResult(isValidTime(t) ? t : 0);
    }
    case Utc: return timeResult(timeFromComponents(numericArgs(args, 1, 7), 0));
    default: handled = false; return Value::undefined();
    }
}

Value getter(const DateClassData& data, double t, int which) {
    double local = t - data.localOffset;
    switch (which) {
    case GetDate: return timeResult(dateFromTime(local));
    case GetDay: return timeResult(weekDay(local));
    case GetFullYear: return timeResult(yearFromTime(local));
    case GetHours: return timeResult(hourFromTime(local));
    case GetMilliseconds: return timeResult(msFromTime(local));
    case GetMinutes: return timeResult(minuteFromTime(local));
    case GetMonth: return timeResult(monthFromTime(local));
    case GetSeconds: return timeResult(secondFromTime(local));
    case GetTime: return timeResult(t);
    case GetTimezoneOffset: return timeResult(data.localOffset / kMsPerMinute);
    case GetUTCDate: return timeResult(dateFromTime(t));
    case GetUTCDay: return timeResult(weekDay(t));
    case GetUTCFullYear: return timeResult(yearFromTime(t));
    case GetUTCHours: return timeResult(hourFromTime(t));
    case GetUTCMilliseconds: return timeResult(msFromTime(t));
    case GetUTCMinutes: return timeResult(minuteFromTime(t));
    case GetUTCMonth: return timeResult(monthFromTime(t));
    case GetUTCSeconds: return timeResult(secondFromTime(t));
    default: return timeResult(yearForGetYear(yearFromTime(local))); // GetYear
    }
}

// The setter's first component and whether it works in local time.
bool setterField(int which, DateField& field, bool& local) {
    local = true;
    switch (which) {
    case SetDate: field = DateField::Date; return true;
    case SetFullYear: field = DateField::Year; return true;
    case SetHours: field = DateField::Hours; return true;
    case SetMinutes: field = DateField::Minutes; return true;
    case SetMilliseconds: field = DateField::Ms; return true;
    case SetMonth: field = DateField::Month; return true;
    case SetSeconds: field = DateField::Seconds; return true;
    default: break;
    }
    local = false;
    switch (which) {
    case SetUTCDate: field = DateField::Date; return true;
    case SetUTCFullYear: field = DateField::Year; return true;
    case SetUTCHours: field = DateField::Hours; return true;
    case SetUTCMilliseconds: field = DateField::Ms; return true;
    case SetUTCMinutes: field = DateField::Minutes; return true;
    case SetUTCMonth: field = DateField::Month; return true;
    case SetUTCSeconds: field = DateField::Seconds; return true;
    default: return false;
    }
}

DateData* dateOf(const MemberCall& c) { return static_cast<DateData*>(c.self); }

int toStringMember(MemberCall& c) {
    DateData* date = dateOf(c);
    c.result = date ? asciiTextResult(c.engine, formatLocal(date->time, classState<DateClassData>(c.cls).localOffset))
                    : asciiTextResult(c.engine, builtinMessage(BuiltinMessage::DateClassText));
    return 1;
}

int toLocaleStringMember(MemberCall& c) {
    DateData* date = dateOf(c);
    if (!date)
        return 0;
    c.result = asciiTextResult(c.engine, formatLocal(date->time, classState<DateClassData>(c.cls).localOffset));
    return 1;
}

int toGMTStringMember(MemberCall& c) {
    DateData* date = dateOf(c);
    if (!date)
        return 0;
    c.result = asciiTextResult(c.engine, formatGmt(date->time));
    return 1;
}

int valueOfMember(MemberCall& c) {
    DateData* date = dateOf(c);
    if (!date)
        return 0;
    c.result = timeResult(date->time);
    return 1;
}

// parse and UTC: on the class object only.
int classMember(MemberCall& c) {
    if (c.self)
        return 0;
    bool handled;
    c.result = classMethod(c.cls, c.member.tag, c.args, handled);
    return handled ? 1 : 0;
}

int getterMember(MemberCall& c) {
    DateData* date = dateOf(c);
    if (!date)
        return 0;
    c.result = getter(classState<DateClassData>(c.cls), date->time, c.member.tag);
    return 1;
}

// Setters: a result out of range leaves the instance unchanged.
int setterMember(MemberCall& c) {
    DateData* date = dateOf(c);
    if (!date)
        return 0;
    const DateClassData& data = classState<DateClassData>(c.cls);
    int which = c.member.tag;
    std::optional<double> updated;
    DateField field;
    bool local;
    if (which == SetTime) {
        if (auto t = numericArg(c.args, 1); t && isValidTime(*t))
            updated = std::trunc(*t);
    } else if (which == SetYear) {
        updated = applySetYear(date->time, numericArg(c.args, 1), data.localOffset);
    } else if (setterField(which, field, local)) {
        auto values = numericArgs(c.args, 1, setterArity(field));
        updated = applySetter(date->time, field, values, local ? data.localOffset : 0);
    } else {
        return 0;
    }
    if (updated)
        date->time = *updated;
    c.result = timeResult(date->time);
    return 1;
}

constexpr Member getterRow(const char* name, DateMember which) { return Member::method(name, getterMember, which); }
constexpr Member setterRow(const char* name, DateMember which) { return Member::method(name, setterMember, which); }

constexpr Member kDateMembers[] = {
    Member::method("toString", toStringMember),
    Member::method("valueOf", valueOfMember),
    Member::method("parse", classMember, Parse),
    getterRow("getDate", GetDate),
    getterRow("getDay", GetDay),
    getterRow("getFullYear", GetFullYear),
    getterRow("getHours", GetHours),
    getterRow("getMilliseconds", GetMilliseconds),
    getterRow("getMinutes", GetMinutes),
    getterRow("getMonth", GetMonth),
    getterRow("getSeconds", GetSeconds),
    getterRow("getTime", GetTime),
    getterRow("getTimezoneOffset", GetTimezoneOffset),
    getterRow("getUTCDate", GetUTCDate),
    getterRow("getUTCDay", GetUTCDay),
    getterRow("getUTCFullYear", GetUTCFullYear),
    getterRow("getUTCHours", GetUTCHours),
    getterRow("getUTCMilliseconds", GetUTCMilliseconds),
    getterRow("getUTCMinutes", GetUTCMinutes),
    getterRow("getUTCMonth", GetUTCMonth),
    getterRow("getUTCSeconds", GetUTCSeconds),
    getterRow("getYear", GetYear),
    setterRow("setDate", SetDate),
    setterRow("setFullYear", SetFullYear),
    setterRow("setHours", SetHours),
    setterRow("setMinutes", SetMinutes),
    setterRow("setMilliseconds", SetMilliseconds),
    setterRow("setMonth", SetMonth),
    setterRow("setSeconds", SetSeconds),
    setterRow("setTime", SetTime),
    setterRow("setUTCDate", SetUTCDate),
    setterRow("setUTCFullYear", SetUTCFullYear),
    setterRow("setUTCHours", SetUTCHours),
    setterRow("setUTCMilliseconds", SetUTCMilliseconds),
    setterRow("setUTCMinutes", SetUTCMinutes),
    setterRow("setUTCMonth", SetUTCMonth),
    setterRow("setUTCSeconds", SetUTCSeconds),
    setterRow("setYear", SetYear),
    Member::method("toGMTString", toGMTStringMember),
    Member::method("toLocaleString", toLocaleStringMember),
    Member::method("UTC", classMember, Utc),
};

} // namespace

void registerDateClass(Engine& engine) {
    NativeClass* cls = defineClass(engine, {.globalNames = {"Date"},
                                            .members = kDateMembers,
                                            .call = dateCall,
                                            .construct = dateConstruct,
                                            .destroyData = dateDestroy});
    memberIds(cls).setState(new DateClassData{double(paloma::localBiasMinutes()) * kMsPerMinute});
}

} // namespace quill
