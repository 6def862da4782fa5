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

struct WidgetIds {
    quill::SymbolId value, onPing, add, describe, fire;
};

inline int gWidgetsDestroyed = 0;

inline WidgetIds& widgetIds(quill::NativeClass* cls) { return *static_cast<WidgetIds*>(cls->classData); }

inline void widgetConstruct(quill::Engine& engine, quill::NativeClass* cls, quill::ArgList args, quill::Value& result) {
    auto* w = new Widget;
    w->value = args.arg(1).isInteger() ? args.arg(1).asInteger() : 0;
    quill::bindNativeObject(engine, result, cls, w);
}

inline int widgetCallMethod(quill::Engine& engine, quill::NativeClass* cls, void* self, quill::SymbolId member,
                            quill::Value& result, quill::ArgList args) {
    auto* w = static_cast<Widget*>(self);
    if (!w)
        return 0;
    const WidgetIds& ids = widgetIds(cls);
    if (member == ids.add) {
        w->value += args.arg(1).isInteger() ? args.arg(1).asInteger() : 0;
        result = quill::Value::integer(w->value);
        return 1;
    }
    if (member == ids.describe) {
        quill::Value x = args.arg(1);
        bool widget = x.isNative() && x.asNative()->cls == cls;
        result = quill::newStringFromAnsi(engine, widget ? "widget" : "other");
        return 1;
    }
    if (member == ids.fire) {
        quill::ValueRoot handler(engine, w->onPing);
        result = quill::Value::undefined();
        if (handler.value.isFunction() && quill::callWithThis(engine, quill::Value::null(), handler.value, args))
            result = engine.lastResult;
        return 1;
    }
    return 0;
}

inline int widgetAccessProperty(quill::Engine&, quill::NativeClass* cls, void* self, quill::SymbolId member, int put,
                                quill::Value& value) {
    auto* w = static_cast<Widget*>(self);
    const WidgetIds& ids = widgetIds(cls);
    if (!w || (member != ids.value && member != ids.onPing)) {
        if (!put)
            value = quill::Value::undefined();
        return 0;
    }
    if (member == ids.value) {
        if (put)
            w->value = value.isInteger() ? value.asInteger() : 0;
        else
            value = quill::Value::integer(w->value);
    } else if (put) {
        w->onPing = value;
    } else {
        value = w->onPing;
    }
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

inline void registerWidgetClass(quill::Engine& engine) {
    quill::NativeClass* cls = quill::newNativeClass(engine);
    cls->classData = new WidgetIds{engine.internName("value"), engine.internName("onPing"), engine.internName("add"),
                                   engine.internName("describe"), engine.internName("fire")};
    cls->freeClassData = [](void* p) { delete static_cast<WidgetIds*>(p); };
    cls->construct = widgetConstruct;
    cls->callMethod = widgetCallMethod;
    cls->accessProperty = widgetAccessProperty;
    cls->destroyData = widgetDestroy;
    cls->markData = widgetMark;
    quill::bindClass(engine, "Widget", cls);
}

} // namespace paloma::bridge::test
