#pragma once
// Widget: a small host class for the bridge tests. new Widget(n) holds an
// Integer `value`; add(n) adds to it and answers the sum; describe(x)
// answers "widget" when x is a Widget and "other" otherwise; fire(args...)
// calls the function held in the event property `onPing` with `this` the
// widget. destroyData counts the widgets it frees.
#include "script/Quill.h"

namespace paloma::bridge::test {

struct Widget {
    int64_t value = 0;
    quill::Value onPing;
};

inline int gWidgetsDestroyed = 0;

inline void widgetConstruct(quill::Engine& engine, quill::NativeClass* cls, quill::ArgList args, quill::Value& result) {
    auto* w = new Widget;
    w->value = args.arg(1).isInteger() ? args.arg(1).asInteger() : 0;
    quill::bindNativeObject(engine, result, cls, w);
}

inline int widgetAdd(quill::MemberCall& c) {
    auto* w = static_cast<Widget*>(c.self);
    if (!w)
        return 0;
    w->value += c.arg(1).isInteger() ? c.arg(1).asInteger() : 0;
    c.result = quill::Value::integer(w->value);
    return 1;
}

inline int widgetDescribe(quill::MemberCall& c) {
    if (!c.self)
        return 0;
    quill::Value x = c.arg(1);
    bool widget = x.isNative() && x.asNative()->cls == c.cls;
    c.result = quill::newStringFromAnsi(c.engine, widget ? "widget" : "other");
    return 1;
}

inline int widgetFire(quill::MemberCall& c) {
    auto* w = static_cast<Widget*>(c.self);
    if (!w)
        return 0;
    quill::ValueRoot handler(c.engine, w->onPing);
    c.result = quill::Value::undefined();
    if (handler.value.isFunction() && quill::callWithThis(c.engine, quill::Value::null(), handler.value, c.args))
        c.result = c.engine.lastResult;
    return 1;
}

// value: a write of anything but an Integer sets 0.
inline int widgetValue(quill::MemberCall& c) {
    auto* w = static_cast<Widget*>(c.self);
    if (!w)
        return 0;
    if (c.put)
        w->value = c.value.isInteger() ? c.value.asInteger() : 0;
    else
        c.value = quill::Value::integer(w->value);
    return 1;
}

// onPing keeps whatever is written.
inline int widgetOnPing(quill::MemberCall& c) {
    auto* w = static_cast<Widget*>(c.self);
    if (!w)
        return 0;
    if (c.put)
        w->onPing = c.value;
    else
        c.value = w->onPing;
    return 1;
}

inline void widgetDestroy(quill::NativeClass*, void* data) {
    delete static_cast<Widget*>(data);
    ++gWidgetsDestroyed;
}

inline void widgetMark(quill::Engine& engine, quill::NativeClass*, void* data) {
    if (data)
        quill::markValue(engine, static_cast<Widget*>(data)->onPing);
}

inline constexpr quill::Member kWidgetMembers[] = {
    quill::Member::property("value", widgetValue), quill::Member::event("onPing", widgetOnPing),
    quill::Member::method("add", widgetAdd),       quill::Member::method("describe", widgetDescribe),
    quill::Member::method("fire", widgetFire),
};

inline void registerWidgetClass(quill::Engine& engine) {
    quill::defineClass(engine, {.globalNames = {"Widget"},
                                .members = kWidgetMembers,
                                .construct = widgetConstruct,
                                .destroyData = widgetDestroy,
                                .markData = widgetMark});
}

} // namespace paloma::bridge::test
