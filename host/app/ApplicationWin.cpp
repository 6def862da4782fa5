// The Application object and the Preferences object.
#include "host/app/Application.h"

#include <oleauto.h>

#include <cstdio>
#include <memory>
#include <unordered_map>
#include <vector>

#include "app/MovieList.h"
#include "app/RuntimeSettings.h"
#include "app/bridge/FlashBridge.h"
#include "base/TextCodec.h"
#include "host/HostServices.h"
#include "host/app/ApplicationState.h"
#include "host/app/CommandItems.h"
#include "host/app/HotKeyText.h"
#include "host/framework/HostClass.h"
#include "host/framework/WinHandles.h"

namespace paloma::host {

using quill::Engine;
using quill::NativeClass;
using quill::Value;

// ---------------------------------------------------------------------------
// Process-wide state
// ---------------------------------------------------------------------------

ApplicationState& applicationState() {
    static ApplicationState state;
    return state;
}

quill::Engine* applicationEngine() { return applicationState().engine; }
size_t intervalCount() { return applicationState().intervals.size(); }

void ApplicationState::setHandler(int slot, Engine* owner, const Value& v) {
    HookHandler& h = handlers[slot];
    if (h.value && h.engine)
        h.engine->unpin(h.value);
    h = HookHandler{};
    if (owner && v.isFunction())
        h = HookHandler{owner, owner->pin(v)};
}

Value ApplicationState::handler(int slot) const {
    return handlers[slot].value ? handlers[slot].value->value : Value::undefined();
}

void ApplicationState::stopInterval(UINT_PTR id, bool engineAlive) {
    auto it = intervals.find(id);
    if (it == intervals.end())
        return;
    KillTimer(nullptr, id);
    IntervalRecord record = std::move(it->second);
    intervals.erase(it);
    if (engineAlive) {
        record.engine->unpin(record.target);
        for (quill::PinnedValue* p : record.args)
            record.engine->unpin(p);
    }
}

void ApplicationState::engineGone(Engine* gone) {
    std::vector<UINT_PTR> ids;
    for (auto& [id, record] : intervals)
        if (record.engine == gone)
            ids.push_back(id);
    for (UINT_PTR id : ids)
        stopInterval(id, false);
    if (engine == gone)
        engine = nullptr;
    for (HookHandler& h : handlers)
        if (h.engine == gone)
            h = HookHandler{};
    if (menuEngineGone)
        menuEngineGone(gone);
}

namespace {

// Freed with the Application class, that is when its engine is destroyed:
// the engine's timers and handlers go with it.
struct EngineWatch {
    Engine* engine;
    ~EngineWatch() { applicationState().engineGone(engine); }
};

// Calls the method or function of an interval record.
void CALLBACK intervalTick(HWND, UINT, UINT_PTR id, DWORD) {
    ApplicationState& state = applicationState();
    auto it = state.intervals.find(id);
    if (it == state.intervals.end()) {
        KillTimer(nullptr, id);
        return;
    }
    Engine& engine = *it->second.engine;
    // Copies: the callee may clear this very interval.
    std::vector<Value> list{Value::integer(int64_t(it->second.args.size()))};
    for (quill::PinnedValue* p : it->second.args)
        list.push_back(p->value);
    Value target = it->second.target->value;
    std::string method = it->second.method;
    quill::ValueRoot keep(engine, target);
    ScriptCallScope scope;
    bool ok = method.empty() ? quill::callWithThis(engine, Value::null(), target, quill::ArgList{list.data()})
                             : quill::callMethodByName(engine, target, method, quill::ArgList{list.data()});
    if (!ok && engine.errorText[0])
        quill::writeTrace(engine, engine.errorText);
}

// ---- the Flash control's base URL ------------------------------------------------

DISPID dispatchId(IDispatch* control, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    if (FAILED(control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
        return DISPID_UNKNOWN;
    return id;
}

std::optional<std::wstring> controlBase() {
    IDispatch* control = static_cast<IDispatch*>(hostServices().flashControl());
    if (!control)
        return std::nullopt;
    DISPID id = dispatchId(control, L"Base");
    if (id == DISPID_UNKNOWN)
        return std::nullopt;
    DISPPARAMS none = {};
    VARIANT result;
    VariantInit(&result);
    std::optional<std::wstring> text;
    if (SUCCEEDED(control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                  nullptr)) &&
        result.vt == VT_BSTR && result.bstrVal && SysStringLen(result.bstrVal) > 0)
        text = std::wstring(result.bstrVal, SysStringLen(result.bstrVal));
    VariantClear(&result);
    return text;
}

void putControlBase(const std::wstring& url) {
    IDispatch* control = static_cast<IDispatch*>(hostServices().flashControl());
    if (!control)
        return;
    DISPID id = dispatchId(control, L"Base");
    if (id == DISPID_UNKNOWN)
        return;
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocStringLen(url.data(), UINT(url.size()));
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&arg, &named, 1, 1};
    control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
    VariantClear(&arg);
}

bool isDirectory(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string folderOf(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool sameTextNoCase(std::string_view a, const char* b) { return _stricmp(std::string(a).c_str(), b) == 0; }

// ---- Application members --------------------------------------------------------

struct Application {}; // all state is process-wide

void getBasePath(MemberCall& c) {
    if (auto base = controlBase())
        c.result = wideTextResult(c.engine, base->c_str(), base->size());
    else
        c.result = nullResult();
}

void setBasePath(MemberCall& c) {
    // 1. Choose a folder.
    std::optional<std::string> folder;
    if (!c.has(1)) {
        folder = folderOf(executablePath());
    } else if (auto where = c.string(1)) {
        if (sameTextNoCase(*where, "movies")) {
            if (const MovieList* list = hostServices().movieList())
                for (const MovieEntry& entry : list->entries)
                    if (entry.kind == kMovieEntryMovie) {
                        folder = folderOf(utf16ToAnsi(entry.path));
                        break;
                    }
        } else if (sameTextNoCase(*where, "attachments")) {
            std::string chosen = executableHasArchive() ? hostServices().extractionFolder()
                                                        : folderOf(executablePath());
            if (!chosen.empty() && (isDirectory(chosen) || CreateDirectoryA(chosen.c_str(), nullptr)))
                folder = chosen;
        } else if (isDirectory(*where)) {
            folder = *where;
        }
    } else {
        return;
    }
    if (!folder || folder->empty())
        return;
    // 2. The folder as a file URL.
    std::string url = *folder;
    for (char& ch : url)
        if (ch == '\\')
            ch = '/';
    if (url.back() != '/')
        url += '/';
    url = "file:///" + url;
    std::u16string wide = ansiToUtf16(url);
    putControlBase(std::wstring(wide.begin(), wide.end()));
}

void setInterval(MemberCall& c) {
    c.result = integerResult(0);
    Value a1 = c.arg(1), a2 = c.arg(2), a3 = c.arg(3);
    IntervalRecord record;
    int64_t interval = 0;
    int64_t firstExtra = 0;
    if (c.has(2) && a1.isFunction() && a2.isInteger()) {
        interval = a2.asInteger();
        firstExtra = 3;
    } else if (c.has(3) && a2.isString() && a3.isInteger()) {
        interval = a3.asInteger();
        record.method = quill::stringToAnsi(a2.asString());
        if (record.method.empty())
            return;
        firstExtra = 4;
    } else {
        return;
    }
    if (interval < 0 || interval > 0x7FFFFFFF)
        interval = interval < 0 ? 0 : 0x7FFFFFFF;
    // 2. A thread timer with no window.
    UINT_PTR id = SetTimer(nullptr, 0, UINT(interval), intervalTick);
    if (!id)
        return;
    // 3.-4.
    record.engine = &c.engine;
    record.target = c.engine.pin(a1);
    for (int64_t i = firstExtra; i <= c.count(); ++i)
        record.args.push_back(c.engine.pin(c.arg(i)));
    ApplicationState& state = applicationState();
    state.stopInterval(id, true); // an id the system reuses replaces a stale record
    state.intervals.emplace(id, std::move(record));
    c.result = integerResult(int64_t(id));
}

void clearInterval(MemberCall& c) {
    Value id = c.arg(1);
    if (!id.isInteger())
        return;
    ApplicationState& state = applicationState();
    auto it = state.intervals.find(UINT_PTR(id.asInteger()));
    if (it != state.intervals.end())
        state.stopInterval(it->first, true);
}

bool setDefaultValue(HKEY root, const std::string& key, const std::string& value) {
    HKEY h = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    UniqueRegKey owner(h);
    return RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD(value.size() + 1)) == ERROR_SUCCESS;
}

void associate(MemberCall& c) {
    auto extension = c.string(1), type = c.string(2);
    if (!extension || !type || type->empty() || extension->empty())
        return;
    std::string exe = executablePath();
    char icon[32];
    std::snprintf(icon, sizeof icon, ",%d", 1);
    // 1.-2.
    if (!setDefaultValue(HKEY_CLASSES_ROOT, *type + "\\DefaultIcon", exe + icon))
        return;
    if (!setDefaultValue(HKEY_CLASSES_ROOT, *type + "\\shell\\open\\command", exe + " \"%1\""))
        return;
    // 3. An extension already linked to another type is left alone.
    char current[260] = {};
    LONG size = sizeof current - 1;
    LONG rc = RegQueryValueA(HKEY_CLASSES_ROOT, extension->c_str(), current, &size);
    if (rc != ERROR_SUCCESS || !current[0] || *extension == current)
        setDefaultValue(HKEY_CLASSES_ROOT, *extension, *type);
}

void traceToFile(MemberCall& c) {
    ApplicationState& state = applicationState();
    state.traceFile.reset();
    auto path = c.string(1);
    if (!path) {
        quill::setTraceOutput(c.engine, {});
        return;
    }
    std::FILE* f = std::fopen(path->c_str(), "w");
    if (!f) {
        quill::setTraceOutput(c.engine, {});
        return;
    }
    state.traceFile = std::shared_ptr<std::FILE>(f, std::fclose);
    std::weak_ptr<std::FILE> file = state.traceFile;
    quill::setTraceOutput(c.engine, [file](std::string_view line) {
        if (auto f = file.lock()) {
            std::fwrite(line.data(), 1, line.size(), f.get());
            std::fputc('\n', f.get());
            std::fflush(f.get());
        }
    });
}

void sendMessage(MemberCall& c) {
    Value w = c.arg(1), m = c.arg(2);
    if (!w.isInteger() || !m.isInteger())
        return;
    Value wp = c.arg(3), lp = c.arg(4);
    LRESULT r = SendMessageA(HWND(intptr_t(w.asInteger())), UINT(m.asInteger()),
                             WPARAM(wp.isInteger() ? wp.asInteger() : 0), LPARAM(lp.isInteger() ? lp.asInteger() : 0));
    c.result = integerResult(int64_t(r));
}

void registerASMethods(MemberCall& c) {
    for (int64_t i = 1; i <= c.count(); ++i) {
        Value v = c.arg(i);
        if (!v.isString())
            continue;
        std::string name = quill::stringToAnsi(v.asString());
        if (!name.empty())
            bridge::registerForwardingFunction(c.engine, name);
    }
}

// ---- Application properties ------------------------------------------------------

void preferences(MemberCall& c) {
    if (!c.put)
        c.value = c.engine.global(c.engine.internName("_Preferences_"));
}

void cmdLine(MemberCall& c) {
    if (!c.put)
        c.value = ansiTextResult(c.engine, GetCommandLineA());
}

void cmdItems(MemberCall& c) {
    if (c.put)
        return;
    Value list = arrayResult(c.engine);
    for (const std::string& item : commandItems(GetCommandLineA()))
        appendElement(c.engine, list, ansiTextResult(c.engine, item));
    c.value = list;
}

bool cursorOverPlayer() {
    HWND player = HWND(hostServices().playerWindow());
    POINT at;
    if (!player || !GetCursorPos(&at))
        return false;
    HWND under = WindowFromPoint(at);
    return under && (under == player || IsChild(player, under));
}

void cursor(MemberCall& c) {
    if (!c.put)
        return;
    ApplicationState& state = applicationState();
    if (c.value.isNull()) {
        // 3. Back to the window class's own cursor.
        if (state.cursor)
            DestroyCursor(state.cursor);
        state.cursor = nullptr;
        if (cursorOverPlayer())
            SetCursor(HCURSOR(GetClassLongPtrW(HWND(hostServices().playerWindow()), GCLP_HCURSOR)));
        return;
    }
    auto text = stringFrom(c.value);
    if (!text)
        return;
    if (sameTextNoCase(*text, "hide")) {
        ShowCursor(FALSE);
        return;
    }
    ShowCursor(TRUE);
    HCURSOR loaded = LoadCursorFromFileA(text->c_str());
    if (!loaded)
        loaded = LoadCursorFromFileA((folderOf(executablePath()) + *text).c_str());
    if (!loaded)
        return;
    if (state.cursor)
        DestroyCursor(state.cursor);
    state.cursor = loaded;
    if (cursorOverPlayer())
        SetCursor(loaded);
}

void traceWnd(MemberCall& c) {
    if (!c.put)
        c.value = nullResult();
}

template <int Slot>
void hook(MemberCall& c) {
    ApplicationState& state = applicationState();
    if (!c.put)
        c.value = state.handler(Slot);
    else if (c.value.isFunction())
        state.setHandler(Slot, &c.engine, c.value);
}

void isScr(MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(true);
}

void isPreview(MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(false);
}

void captureMouse(MemberCall& c) {
    HWND player = HWND(hostServices().playerWindow());
    if (!c.put) {
        c.value = booleanResult(player && GetCapture() == player);
    } else if (auto on = booleanFrom(c.value, true)) {
        if (*on && player)
            SetCapture(player);
        else if (!*on && player && GetCapture() == player)
            ReleaseCapture();
    }
}

void setFocusProperty(MemberCall& c) {
    HWND player = HWND(hostServices().playerWindow());
    if (!c.put) {
        c.value = booleanResult(player && GetFocus() == player);
    } else if (auto on = booleanFrom(c.value, true); on && *on && player) {
        SetFocus(player);
    }
}

constexpr Member kApplicationMembers[] = {
    classMethod<getBasePath>("getBasePath"),
    classMethod<setBasePath>("setBasePath"),
    classProperty<preferences>("Preferences"),
    classMethod<setInterval>("setInterval", Fallback::Zero),
    classMethod<clearInterval>("clearInterval"),
    classMethod<associate>("associate"),
    classProperty<cmdLine>("cmdLine"),
    classProperty<cmdItems>("cmdItems"),
    classProperty<cursor>("cursor"),
    classMethod<traceToFile>("traceToFile"),
    classProperty<traceWnd>("traceWnd"),
    classMethod<registerASMethods>("registerASMethods"),
    classProperty<hook<kOnGetMovie>>("onGetMovie"),
    classProperty<hook<kOnGetFlashPlayer>>("onGetFlashPlayer"),
    classProperty<hook<kOnMovieLoaded>>("onMovieLoaded"),
    classProperty<isScr>("isScr"),
    classProperty<isPreview>("isPreview"),
    classProperty<captureMouse>("captureMouse"),
    classProperty<setFocusProperty>("setFocus"),
    classMethod<sendMessage>("sendMessage"),
};

// new Application(), Application(): another data-less object of the class.
void applicationConstruct(Engine& engine, NativeClass* cls, quill::ArgList, Value& result) {
    result = quill::classValue(engine, cls);
}
void applicationCall(Engine& engine, NativeClass* cls, void*, Value& result, quill::ArgList args) {
    applicationConstruct(engine, cls, args, result);
}

// ---- Preferences -----------------------------------------------------------------

void wakeupMethod(MemberCall& c) {
    RuntimeSettings* s = hostServices().settings();
    if (!s)
        return;
    if (!c.put)
        c.value = integerResult(s->wakeUpMethods);
    else if (c.value.isInteger())
        s->wakeUpMethods = uint32_t(c.value.asInteger());
}

void hotKey(MemberCall& c) {
    RuntimeSettings* s = hostServices().settings();
    if (!s)
        return;
    if (!c.put) {
        uint16_t key = makeHotKey(uint8_t(s->hotKeyCode), uint8_t(s->hotKeyModifiers));
        c.value = ansiTextResult(c.engine, hotKeyText(key, keyboardKeyName));
    } else if (auto text = stringFrom(c.value)) {
        uint16_t key = parseHotKeyText(*text);
        s->hotKeyCode = hotKeyCode(key);
        s->hotKeyModifiers = hotKeyFlags(key);
    }
}

template <uint32_t Flag>
void optionFlag(MemberCall& c) {
    RuntimeSettings* s = hostServices().settings();
    if (!s)
        return;
    if (!c.put) {
        c.value = booleanResult((s->optionFlags & Flag) != 0);
        return;
    }
    if (quill::toBoolean(c.value))
        s->optionFlags |= Flag;
    else
        s->optionFlags &= ~Flag;
    if (Flag == kOptionNoCdAutorun)
        hostServices().applyCdAutorun();
}

constexpr Member kPreferencesMembers[] = {
    classProperty<wakeupMethod>("wakeupMethod"),
    classProperty<hotKey>("hotKey"),
    classProperty<optionFlag<kOptionHideCursor>>("disableCursor"),
    classProperty<optionFlag<kOptionNoCdAutorun>>("disableCDAutoRun"),
};

constexpr IntegerConstant kWakeUpConstants[] = {
    {"$WULEFTBUTTON", 1}, {"$WURIGHTBUTTON", 2}, {"$WUMOUSEMOVE", 4},
    {"$WUKEYSTROKE", 8},  {"$WUESC", 16},        {"$WUHOTKEY", 32},
};

} // namespace

std::string executablePath() {
    char path[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, n < sizeof path ? n : 0);
}

bool executableHasArchive() {
    UniqueHandle file(CreateFileA(executablePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 4)
        return false;
    LARGE_INTEGER at;
    at.QuadPart = size.QuadPart - 4;
    uint8_t last[4] = {};
    DWORD got = 0;
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) || !ReadFile(file.get(), last, 4, &got, nullptr) ||
        got != 4)
        return false;
    return (last[0] | last[1] | last[2] | last[3]) != 0;
}

void registerApplicationClass(Engine& engine) {
    NativeClass* cls = registerHostClass(engine, {.className = "Application",
                                                  .members = kApplicationMembers,
                                                  .call = applicationCall,
                                                  .construct = applicationConstruct,
                                                  .constants = kWakeUpConstants});
    memberIds(cls).setState(new EngineWatch{&engine});
    registerHostClass(engine, {.className = "Preferences", .globalNames = {"_Preferences_"},
                               .members = kPreferencesMembers});
    // This engine now runs the handlers and new timers; the handlers start
    // empty. Timers already running keep running in their own engines.
    ApplicationState& state = applicationState();
    for (int slot = 0; slot < kHookCount; ++slot)
        state.setHandler(slot, nullptr, Value::null());
    state.engine = &engine;
}

std::optional<std::wstring> movieFromScript() {
    ApplicationState& state = applicationState();
    Engine* engine = state.handlers[kOnGetMovie].engine;
    Value handler = state.handler(kOnGetMovie);
    if (!engine || !handler.isFunction())
        return std::nullopt;
    ScriptCallScope scope;
    quill::ValueRoot holder(*engine, objectResult(*engine));
    Value list[] = {Value::integer(1), holder.value};
    if (!quill::callValue(*engine, nullptr, handler, quill::ArgList{list})) {
        if (engine->errorText[0])
            quill::writeTrace(*engine, engine->errorText);
        return std::nullopt;
    }
    if (!quill::toBoolean(engine->lastResult) || !holder.value.isObject())
        return std::nullopt;
    Value chosen;
    if (!quill::objectGetByName(*engine, holder.value.asObject(), "value", chosen) || !chosen.isString())
        return std::nullopt;
    std::u16string text = quill::stringToWide(chosen.asString());
    return std::wstring(text.begin(), text.end());
}

void notifyMovieLoaded(const std::wstring& path) {
    ApplicationState& state = applicationState();
    Engine* engine = state.handlers[kOnMovieLoaded].engine;
    Value handler = state.handler(kOnMovieLoaded);
    if (!engine || !handler.isFunction())
        return;
    ScriptCallScope scope;
    Value list[] = {Value::integer(1), wideTextResult(*engine, path.c_str(), path.size())};
    if (!quill::callValue(*engine, nullptr, handler, quill::ArgList{list}) && engine->errorText[0])
        quill::writeTrace(*engine, engine->errorText);
}

HCURSOR applicationCursor() { return applicationState().cursor; }

} // namespace paloma::host
