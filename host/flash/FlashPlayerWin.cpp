// FlashPlayer and MovieClip: the player window's Flash control for scripts,
// with data binding between script Values and movie variables.
#include "host/flash/FlashClasses.h"
#include "host/flash/FlashControl.h"

#include <memory>

#include "base/TextCodec.h"
#include "base/WinText.h"
#include "host/HostServices.h"
#include "host/flash/FlashData.h"
#include "host/framework/HostClass.h"
#include "host/window/Window.h"

namespace paloma::host {

namespace {

using quill::Engine;
using quill::Value;

IDispatch* playerControl() { return static_cast<IDispatch*>(hostServices().flashControl()); }

// ---------------------------------------------------------------------------
// Class data: the binding table and the printer properties, kept alive by
// the engine's collector for as long as the class lives.
// ---------------------------------------------------------------------------

struct FlashData {
    explicit FlashData(Engine& e) : engine(e) { engine.addRootTracer(trace, this); }
    ~FlashData() {
        engine.removeRootTracer(trace, this);
        hostServices().releasePrintSettings(this);
    }
    FlashData(const FlashData&) = delete;
    FlashData& operator=(const FlashData&) = delete;

    static void trace(Engine& engine, void* p) {
        auto* data = static_cast<FlashData*>(p);
        data->bindings.mark(engine);
        quill::markValue(engine, data->printerProperties);
    }

    // The print settings read from the printer-properties object.
    std::optional<PrintSettings> printSettings() const {
        if (!printerProperties.isObject())
            return std::nullopt;
        PrintSettings s;
        auto field = [&](const char* name, std::optional<long>& out) {
            Value v;
            if (quill::objectGetByName(engine, printerProperties.asObject(), name, v) && v.isInteger())
                out = long(v.asInteger());
        };
        field("orientation", s.orientation);
        field("copies", s.copies);
        field("paperSize", s.paperSize);
        field("pageWidth", s.pageWidth);
        field("pageHeight", s.pageHeight);
        return s;
    }

    Engine& engine;
    BindingTable bindings;
    Value printerProperties;
};

// What the FlashPlayer and MovieClip classes keep (both share the data).
struct FlashClassState {
    std::shared_ptr<FlashData> data;
};

FlashData* flashData(quill::NativeClass* cls) {
    auto* state = quill::memberIds(cls).state<FlashClassState>();
    return state ? state->data.get() : nullptr;
}

std::u16string memberName(Engine& engine, quill::SymbolId id) { return ansiToUtf16(engine.nameOf(id)); }

// A property of a bound path, a clip path or neither (FlashPlayer's other
// names and every MovieClip name).
int bindingAccess(Engine& engine, FlashData& data, const std::u16string& path, int put, Value& value) {
    if (Value* bound = data.bindings.find(path)) {
        if (put)
            *bound = value;
        else
            value = *bound;
        return 1;
    }
    if (put)
        return 1; // accepted and dropped
    if (data.bindings.isClip(path)) {
        auto clip = std::make_unique<std::u16string>(path);
        if (quill::newHostObject(engine, "MovieClip", clip.get(), value)) {
            clip.release();
            return 1;
        }
    }
    value = Value::undefined();
    return 0;
}

// ---------------------------------------------------------------------------
// Members that are one call of the control
// ---------------------------------------------------------------------------

enum class Out : uint8_t {
    Success,      // the call's success as a boolean
    Integer,      // the result as an integer, -1 on failure
    IntegerOrZero, // the result as an integer, 0 on failure
    Boolean,      // the result as a boolean, false on failure
    Text,         // the result text; undefined on failure
    Number,       // the result as a double; undefined on failure
};

struct ControlMethod {
    const wchar_t* control;
    // One letter per argument: s a string, i a number (an Integer or a
    // truncated Float), d a Float only.
    const char* args;
    Out out;
};

// In the order of the method rows below.
constexpr ControlMethod kControlMethods[] = {
    {L"SetZoomRect", "iiii", Out::Success},       {L"Zoom", "i", Out::Success},
    {L"Pan", "iii", Out::Success},                {L"Play", "", Out::Success},
    {L"Stop", "", Out::Success},                  {L"Back", "", Out::Success},
    {L"Forward", "", Out::Success},               {L"Rewind", "", Out::Success},
    {L"StopPlay", "", Out::Success},              {L"GotoFrame", "i", Out::Success},
    {L"CurrentFrame", "", Out::Integer},          {L"IsPlaying", "", Out::Boolean},
    {L"PercentLoaded", "", Out::Integer},         {L"FrameLoaded", "i", Out::Boolean},
    {L"FlashVersion", "", Out::IntegerOrZero},    {L"LoadMovie", "is", Out::Success},
    {L"SetVariable", "ss", Out::Success},         {L"GetVariable", "s", Out::Text},
    {L"TGotoFrame", "si", Out::Success},          {L"TGotoLabel", "ss", Out::Success},
    {L"TCurrentFrame", "s", Out::Integer},        {L"TCurrentLabel", "s", Out::Text},
    {L"TPlay", "s", Out::Success},                {L"TStopPlay", "s", Out::Success},
    {L"TGetProperty", "si", Out::Text},           {L"TSetProperty", "sis", Out::Success},
    {L"TCallFrame", "si", Out::Success},          {L"TCallLabel", "ss", Out::Success},
    {L"TGetPropertyAsNumber", "si", Out::Number}, {L"TSetPropertyNum", "sid", Out::Success},
};

int controlMethod(quill::MemberCall& c) {
    IDispatch* control = playerControl();
    if (!control)
        return 1;
    const ControlMethod& m = kControlMethods[c.member.tag];
    ControlArgs args;
    int64_t i = 1;
    for (const char* kind = m.args; *kind; ++kind, ++i) {
        if (!c.has(i))
            return 1;
        Value v = c.arg(i);
        if (*kind == 's') {
            if (!v.isString())
                return 1;
            args.text(quill::stringToWide(v.asString()));
        } else if (*kind == 'i') {
            auto n = quill::numberFrom(v);
            if (!n)
                return 1;
            args.integer(*n);
        } else {
            if (!v.isFloat())
                return 1;
            args.number(v.asFloat());
        }
    }
    OwnedVariant result;
    bool ok = SUCCEEDED(dispatchCall(control, m.control, args.values(), result.get()));
    switch (m.out) {
    case Out::Success:
        c.result = quill::booleanResult(ok);
        break;
    case Out::Integer:
    case Out::IntegerOrZero: {
        auto n = ok ? variantInteger(*result.get()) : std::nullopt;
        c.result = quill::integerResult(n ? *n : m.out == Out::Integer ? -1 : 0);
        break;
    }
    case Out::Boolean: {
        auto n = ok ? variantInteger(*result.get()) : std::nullopt;
        c.result = quill::booleanResult(n && *n != 0);
        break;
    }
    case Out::Text:
        if (auto text = ok ? variantText(*result.get()) : std::nullopt)
            c.result = quill::newString(c.engine, *text);
        break;
    case Out::Number:
        if (auto d = ok ? variantNumber(*result.get()) : std::nullopt)
            c.result = quill::floatResult(*d);
        break;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Properties that are a property of the control
// ---------------------------------------------------------------------------

enum class Kind : uint8_t { Integer, ReadOnlyInteger, Boolean, Text };

struct ControlProperty {
    const wchar_t* control;
    Kind kind;
};

constexpr ControlProperty kControlProperties[] = {
    {L"TotalFrames", Kind::ReadOnlyInteger},
    {L"Playing", Kind::Boolean},
    {L"Quality", Kind::Integer},
    {L"ScaleMode", Kind::Integer},
    {L"AlignMode", Kind::Integer},
    {L"BackgroundColor", Kind::Integer},
    {L"Loop", Kind::Boolean},
    {L"Movie", Kind::Text},
    {L"FrameNum", Kind::Integer},
    {L"WMode", Kind::Text},
    {L"SAlign", Kind::Text},
    {L"Base", Kind::Text},
    {L"Scale", Kind::Text},
    {L"BGColor", Kind::Text},
    {L"Quality2", Kind::Text},
    {L"SWRemote", Kind::Text},
    {L"FlashVars", Kind::Text},
    {L"Menu", Kind::Boolean},
    {L"DeviceFont", Kind::Boolean},
    {L"EmbedMovie", Kind::Boolean},
};

int controlProperty(quill::MemberCall& c) {
    IDispatch* control = playerControl();
    if (!control)
        return 0;
    const ControlProperty& p = kControlProperties[c.member.tag];
    if (!c.put) {
        OwnedVariant result;
        if (FAILED(dispatchGet(control, p.control, result.get())))
            return 1;
        if (p.kind == Kind::Text) {
            if (auto text = variantText(*result.get()))
                c.value = quill::newString(c.engine, *text);
        } else if (auto n = variantInteger(*result.get())) {
            c.value = p.kind == Kind::Boolean ? quill::booleanResult(*n != 0) : quill::integerResult(*n);
        }
        return 1;
    }
    ControlArgs arg;
    switch (p.kind) {
    case Kind::ReadOnlyInteger:
        return 1;
    case Kind::Integer:
        if (auto n = quill::numberFrom(c.value))
            arg.integer(*n);
        break;
    case Kind::Boolean:
        if (auto b = quill::booleanFrom(c.value, true))
            arg.boolean(*b);
        break;
    case Kind::Text:
        if (c.value.isString())
            arg.text(quill::stringToWide(c.value.asString()));
        break;
    }
    if (!arg.values().empty())
        dispatchPut(control, p.control, arg.values()[0]);
    return 1;
}

// ---------------------------------------------------------------------------
// Binding, arrays and objects
// ---------------------------------------------------------------------------

std::optional<std::u16string> stringValue(const Value& v) {
    if (!v.isString())
        return std::nullopt;
    return quill::stringToWide(v.asString());
}

int bindData(quill::MemberCall& c) {
    FlashData* data = flashData(c.cls);
    if (!playerControl() || !data)
        return 1;
    for (int64_t i = 1; i <= c.count(); ++i)
        if (auto path = stringValue(c.arg(i)))
            data->bindings.bind(*path);
    return 1;
}

int unbindData(quill::MemberCall& c) {
    FlashData* data = flashData(c.cls);
    if (!playerControl() || !data)
        return 1;
    for (int64_t i = 1; i <= c.count(); ++i)
        if (auto path = stringValue(c.arg(i)))
            data->bindings.unbind(*path);
    return 1;
}

int unbindAll(quill::MemberCall& c) {
    FlashData* data = flashData(c.cls);
    if (playerControl() && data)
        data->bindings.clear();
    return 1;
}

int updateData(quill::MemberCall& c) {
    IDispatch* control = playerControl();
    FlashData* data = flashData(c.cls);
    if (!control || !data)
        return 1;
    std::optional<bool> fromMovie = c.has(1) ? c.boolean(1) : std::optional<bool>(true);
    if (!fromMovie)
        return 1;
    // Work on copies: a Value's conversion to text may run script code that
    // changes the table.
    std::vector<std::u16string> paths;
    quill::RootedValues values(c.engine);
    for (BindingTable::Entry* e : data->bindings.entries()) {
        paths.push_back(e->path);
        values.values.push_back(e->value);
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        if (*fromMovie) {
            if (auto text = getMovieVariable(control, paths[i]))
                if (Value* bound = data->bindings.find(paths[i]))
                    *bound = movieTextValue(c.engine, *text);
        } else {
            setMovieVariable(control, paths[i], quill::toText(c.engine, values.values[i]));
        }
    }
    return 1;
}

int getArray(quill::MemberCall& c) {
    IDispatch* control = playerControl();
    auto path = stringValue(c.arg(1));
    if (!control || !path)
        return 1;
    if (auto length = getMovieVariable(control, *path + u".length")) {
        quill::ScanResult n = quill::scanInteger(*length, 0);
        if (n.type == quill::ScanResult::Integer && n.end == length->size() && n.integer >= 0 && n.integer <= 5000) {
            Value array = quill::arrayResult(c.engine);
            for (int64_t i = 0; i < n.integer; ++i) {
                std::u16string item = *path + u"." + ansiToUtf16(std::to_string(i));
                if (auto text = getMovieVariable(control, item))
                    quill::arraySet(c.engine, array.asArray(), uint64_t(i), movieTextValue(c.engine, *text));
            }
            array.asArray()->length = uint64_t(n.integer);
            c.result = array;
            return 1;
        }
    }
    if (auto text = getMovieVariable(control, *path)) {
        Value array = quill::arrayResult(c.engine);
        size_t start = 0;
        for (;;) {
            size_t comma = text->find(u',', start);
            std::u16string_view piece = std::u16string_view(*text).substr(start, comma - start);
            quill::appendElement(c.engine, array, quill::newString(c.engine, piece));
            if (comma == std::u16string::npos)
                break;
            start = comma + 1;
        }
        c.result = array;
    }
    return 1;
}

int putArray(quill::MemberCall& c) {
    IDispatch* control = playerControl();
    auto path = stringValue(c.arg(1));
    Value array = c.arg(2);
    if (!control || !path || !array.isArray())
        return 1;
    for (uint64_t i = 0; i < array.asArray()->length; ++i) {
        Value item;
        if (!quill::arrayGet(array.asArray(), i, item))
            item = Value::undefined();
        setMovieVariable(control, *path + u"." + ansiToUtf16(std::to_string(i)), quill::toText(c.engine, item));
    }
    return 1;
}

int getObject(quill::MemberCall& c) {
    IDispatch* control = playerControl();
    auto path = stringValue(c.arg(1));
    if (!control || !path)
        return 1;
    for (int64_t i = 2; i <= c.count(); ++i)
        if (!c.arg(i).isString() && !c.arg(i).isArray())
            return 1;
    Value object = quill::objectResult(c.engine);
    auto add = [&](const Value& name) {
        if (!name.isString())
            return;
        std::u16string n = quill::stringToWide(name.asString());
        if (auto text = getMovieVariable(control, *path + u"." + std::u16string(n)))
            quill::objectPutByKey(c.engine, object.asObject(), name, quill::newString(c.engine, *text));
    };
    for (int64_t i = 2; i <= c.count(); ++i) {
        Value arg = c.arg(i);
        if (arg.isString()) {
            add(arg);
        } else {
            for (uint64_t k = 0; k < arg.asArray()->length; ++k) {
                Value name;
                if (quill::arrayGet(arg.asArray(), k, name))
                    add(name);
            }
        }
    }
    c.result = object;
    return 1;
}

int putObject(quill::MemberCall& c) {
    IDispatch* control = playerControl();
    auto path = stringValue(c.arg(1));
    Value object = c.arg(2);
    if (!control || !path || !object.isObject())
        return 1;
    uint64_t count = quill::objectNameCount(c.engine, object.asObject());
    for (uint64_t n = 0; n < count; ++n) {
        Value name;
        if (!quill::objectNthName(c.engine, object.asObject(), n, name) || !name.isString())
            continue;
        Value v = quill::objectGetByKey(c.engine, object.asObject(), name);
        if (!v.isBoolean() && !v.isNumber() && !v.isString() && !v.isArray())
            continue;
        setMovieVariable(control, *path + u"." + quill::stringToWide(name.asString()),
                         quill::toText(c.engine, v));
    }
    return 1;
}

int movieToWindowMember(quill::MemberCall& c) {
    IDispatch* control = playerControl();
    auto left = quill::numericArg(c.args, 1), right = quill::numericArg(c.args, 2);
    auto top = quill::numericArg(c.args, 3), bottom = quill::numericArg(c.args, 4);
    if (!control || !left || !right || !top || !bottom)
        return 1;
    int w = 0, h = 0;
    HWND window = static_cast<HWND>(hostServices().playerWindow());
    RECT client{};
    if (!hostServices().movieSize(w, h) || !window || !GetClientRect(window, &client))
        return 1;
    OwnedVariant mode;
    if (FAILED(dispatchGet(control, L"ScaleMode", mode.get())))
        return 1;
    auto scaleMode = variantInteger(*mode.get());
    if (!scaleMode)
        return 1;
    auto rect = movieToWindow(int(*scaleMode), w, h, client.right - client.left, client.bottom - client.top, *left,
                              *right, *top, *bottom);
    if (!rect)
        return 1;
    Value out = quill::objectResult(c.engine);
    quill::setField(c.engine, out, "left", quill::integerResult(rect->left));
    quill::setField(c.engine, out, "right", quill::integerResult(rect->right));
    quill::setField(c.engine, out, "top", quill::integerResult(rect->top));
    quill::setField(c.engine, out, "bottom", quill::integerResult(rect->bottom));
    c.result = out;
    return 1;
}

int getMovieInfo(quill::MemberCall& c) {
    auto path = c.string(1);
    if (!playerControl() || !path)
        return 1;
    auto info = readMovieInfo(std::filesystem::path(widen(*path)));
    if (!info) {
        c.result = Value::null();
        return 1;
    }
    Engine& e = c.engine;
    Value frame = quill::objectResult(e);
    quill::setField(e, frame, "xMin", quill::integerResult(info->xMin));
    quill::setField(e, frame, "xMax", quill::integerResult(info->xMax));
    quill::setField(e, frame, "yMin", quill::integerResult(info->yMin));
    quill::setField(e, frame, "yMax", quill::integerResult(info->yMax));
    Value out = quill::objectResult(e);
    quill::setField(e, out, "frameSize", frame);
    quill::setField(e, out, "rate", quill::integerResult(info->rate));
    quill::setField(e, out, "frameCount", quill::integerResult(info->frameCount));
    quill::setField(e, out, "version", quill::integerResult(info->version));
    quill::setField(e, out, "size", quill::integerResult(info->size));
    c.result = out;
    return 1;
}

// ---------------------------------------------------------------------------
// The window, its context menu and printing
// ---------------------------------------------------------------------------

constexpr const char* kWindowGlobal = "$_PALOMA_FLASHPLAYER_WINDOW_";

// The player window's Window object, made anew only when the global does
// not already hold one for the window; null without a player window.
Value playerWindowObject(Engine& engine) {
    HWND window = static_cast<HWND>(hostServices().playerWindow());
    if (!window)
        return Value::null();
    quill::SymbolId id = engine.internName(kWindowGlobal);
    Value cached = engine.global(id);
    if (windowHandleOf(engine, cached) == window)
        return cached;
    Value made;
    if (!makeWindowObject(engine, window, made))
        return Value::null();
    engine.global(id) = made;
    return made;
}

int windowProperty(quill::MemberCall& c) {
    if (!playerControl())
        return 0;
    if (!c.put)
        c.value = playerWindowObject(c.engine);
    return 1;
}

int onContextMenu(quill::MemberCall& c) {
    if (!playerControl())
        return 0;
    if (!c.put)
        return 1;
    quill::RootedValues keep(c.engine);
    keep.values.push_back(c.value);
    Value window = playerWindowObject(c.engine);
    if (!window.isNative() || !window.asNative()->cls->accessProperty)
        return 1;
    keep.values.push_back(window);
    quill::NativeObject* object = window.asNative();
    Value handler = c.value;
    object->cls->accessProperty(c.engine, object->cls, object->data, c.engine.internName("onContextMenu"), 1, handler);
    return 1;
}

int showPrintDlg(quill::MemberCall& c) {
    if (!playerControl())
        return 0;
    if (!c.put)
        c.value = quill::booleanResult(hostServices().printDialogShown());
    else if (auto shown = quill::booleanFrom(c.value))
        hostServices().showPrintDialog(*shown);
    return 1;
}

int printerProperties(quill::MemberCall& c) {
    FlashData* data = flashData(c.cls);
    if (!playerControl() || !data)
        return 0;
    if (!c.put) {
        c.value = data->printerProperties;
        return 1;
    }
    data->printerProperties = c.value;
    hostServices().setPrintSettings(data, [data] { return data->printSettings(); });
    return 1;
}

// ---------------------------------------------------------------------------
// Registration
// ---------------------------------------------------------------------------

using quill::Member;

constexpr Member kFlashPlayerMembers[] = {
    Member::method("bindData", bindData),
    Member::method("unbindData", unbindData),
    Member::method("unbindAll", unbindAll),
    Member::method("updateData", updateData),
    Member::method("getArray", getArray),
    Member::method("putArray", putArray),
    Member::method("getObject", getObject),
    Member::method("putObject", putObject),
    Member::method("movieToWindow", movieToWindowMember),
    Member::method("setZoomRect", controlMethod, 0),
    Member::method("zoom", controlMethod, 1),
    Member::method("pan", controlMethod, 2),
    Member::method("play", controlMethod, 3),
    Member::method("stop", controlMethod, 4),
    Member::method("back", controlMethod, 5),
    Member::method("forward", controlMethod, 6),
    Member::method("rewind", controlMethod, 7),
    Member::method("stopPlay", controlMethod, 8),
    Member::method("gotoFrame", controlMethod, 9),
    Member::method("currentFrame", controlMethod, 10),
    Member::method("isPlaying", controlMethod, 11),
    Member::method("percentLoaded", controlMethod, 12),
    Member::method("frameLoaded", controlMethod, 13),
    Member::method("flashVersion", controlMethod, 14),
    Member::method("loadMovie", controlMethod, 15),
    Member::method("setVariable", controlMethod, 16),
    Member::method("getVariable", controlMethod, 17),
    Member::method("targetGotoFrame", controlMethod, 18),
    Member::method("targetGotoLabel", controlMethod, 19),
    Member::method("targetCurrentFrame", controlMethod, 20),
    Member::method("targetCurrentLabel", controlMethod, 21),
    Member::method("targetPlay", controlMethod, 22),
    Member::method("targetStopPlay", controlMethod, 23),
    Member::method("targetGetProperty", controlMethod, 24),
    Member::method("targetSetProperty", controlMethod, 25),
    Member::method("targetCallFrame", controlMethod, 26),
    Member::method("targetCallLabel", controlMethod, 27),
    Member::method("targetGetPropertyNum", controlMethod, 28),
    Member::method("targetSetPropertyNum", controlMethod, 29),
    Member::method("getMovieInfo", getMovieInfo),
    Member::property("totalFrames", controlProperty, 0),
    Member::property("playing", controlProperty, 1),
    Member::property("quality", controlProperty, 2),
    Member::property("scaleMode", controlProperty, 3),
    Member::property("alignMode", controlProperty, 4),
    Member::property("backgroundColor", controlProperty, 5),
    Member::property("loop", controlProperty, 6),
    Member::property("movie", controlProperty, 7),
    Member::property("frameNum", controlProperty, 8),
    Member::property("wmode", controlProperty, 9),
    Member::property("salign", controlProperty, 10),
    Member::property("base", controlProperty, 11),
    Member::property("scale", controlProperty, 12),
    Member::property("bgColor", controlProperty, 13),
    Member::property("quality2", controlProperty, 14),
    Member::property("SWRemote", controlProperty, 15),
    Member::property("flashVars", controlProperty, 16),
    Member::property("menu", controlProperty, 17),
    Member::property("deviceFont", controlProperty, 18),
    Member::property("embedMovie", controlProperty, 19),
    Member::property("window", windowProperty),
    Member::property("onContextMenu", onContextMenu),
    Member::property("showPrintDlg", showPrintDlg),
    Member::property("printerProperties", printerProperties),
};

// Members first; any other name is a binding (with a control only).
int flashPlayerAccess(Engine& engine, quill::NativeClass* cls, void* self, quill::SymbolId member, int put,
                      Value& value) {
    if (!playerControl()) {
        if (!put)
            value = Value::undefined();
        return 0;
    }
    if (quill::kitAccessProperty(engine, cls, self, member, put, value))
        return 1;
    FlashData* data = flashData(cls);
    if (!data)
        return 0;
    return bindingAccess(engine, *data, memberName(engine, member), put, value);
}

// `new FlashPlayer` is another data-less FlashPlayer.
void flashPlayerConstruct(Engine& engine, quill::NativeClass* cls, quill::ArgList, Value& result) {
    quill::bindNativeObject(engine, result, cls, nullptr);
}

int movieClipAccess(Engine& engine, quill::NativeClass* cls, void* self, quill::SymbolId member, int put,
                    Value& value) {
    FlashData* data = flashData(cls);
    if (!self || !data) {
        if (!put)
            value = Value::undefined();
        return 0;
    }
    std::u16string path = *static_cast<const std::u16string*>(self) + u"." + memberName(engine, member);
    return bindingAccess(engine, *data, path, put, value);
}

void movieClipDestroy(quill::NativeClass*, void* data) { delete static_cast<std::u16string*>(data); }

} // namespace

void registerFlashPlayerClass(Engine& engine) {
    quill::NativeClass* cls = registerHostClass(engine, {.className = "FlashPlayer",
                                                         .members = kFlashPlayerMembers,
                                                         .accessProperty = flashPlayerAccess,
                                                         .construct = flashPlayerConstruct});
    quill::memberIds(cls).setState(new FlashClassState{std::make_shared<FlashData>(engine)});
}

void registerMovieClipClass(Engine& engine) {
    quill::NativeClass* cls = registerHostClass(engine, {.className = "MovieClip",
                                                         .accessProperty = movieClipAccess,
                                                         .destroyData = movieClipDestroy});
    // The clips read the FlashPlayer's binding table.
    auto* state = new FlashClassState;
    if (quill::NativeClass* player = quill::classBoundTo(engine, "FlashPlayer"))
        if (auto* playerState = quill::memberIds(player).state<FlashClassState>())
            state->data = playerState->data;
    quill::memberIds(cls).setState(state);
}

} // namespace paloma::host
