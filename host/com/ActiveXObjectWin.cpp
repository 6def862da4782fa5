// ActiveXObject: a COM object's dispatch interface for scripts.
#include "host/com/ActiveXObject.h"

#include <memory>
#include <string>

#include "base/TextCodec.h"
#include "host/com/ComCall.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"
#include "host/framework/WinHandles.h"

namespace paloma::host {

namespace {

using quill::Engine;
using quill::NativeClass;
using quill::Value;

// COM for the user-interface thread, for as long as the thread runs.
void initialiseCom() {
    thread_local ScopedOleInit ole;
    (void)ole;
}

} // namespace

// ---- construction -------------------------------------------------------------------

namespace {

// The dispatch interface named by `text`: a programmatic id, a class id in
// registry form, else the name of a running object or a moniker's display
// name.
HRESULT createByName(const std::u16string& text, ComPtr<IDispatch>& out) {
    auto* name = reinterpret_cast<LPCOLESTR>(text.c_str());
    CLSID clsid;
    HRESULT status = CLSIDFromProgID(name, &clsid);
    if (FAILED(status) && text.starts_with(u"{"))
        status = CLSIDFromString(name, &clsid);
    if (SUCCEEDED(status))
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                out.putVoid());
    HRESULT bound = CoGetObject(name, nullptr, IID_IDispatch, out.putVoid());
    return SUCCEEDED(bound) ? bound : status;
}

void construct(Engine& engine, NativeClass*, quill::ArgList args, Value& result) {
    result = Value::null();
    if (quill::argCount(args) < 1)
        return;
    const Value& given = args.values[1];
    ComPtr<IDispatch> dispatch;
    if (given.isString()) {
        HRESULT status = createByName(quill::stringToWide(given.asString()), dispatch);
        if (FAILED(status) || !dispatch) {
            reportComFailure(engine, FAILED(status) ? status : E_NOINTERFACE);
            return;
        }
    } else if (given.isInteger()) {
        auto* existing = reinterpret_cast<IDispatch*>(static_cast<intptr_t>(given.asInteger()));
        if (!existing || IsBadReadPtr(existing, sizeof(void*)))
            return;
        dispatch = ComPtr<IDispatch>::share(existing);
    } else {
        return;
    }
    result = newActiveXObject(engine, dispatch.get());
}

void call(Engine& engine, NativeClass* cls, void*, Value& result, quill::ArgList args) {
    construct(engine, cls, args, result);
}

} // namespace

// ---- wrapping ---------------------------------------------------------------------------

Value newActiveXObject(Engine& engine, IDispatch* dispatch) {
    if (!dispatch)
        return Value::null();
    auto handle = std::make_unique<NativeHandle<AutomationObject>>();
    handle->object = std::make_unique<AutomationObject>(engine, ComPtr<IDispatch>::share(dispatch));
    Value out = Value::null();
    if (!quill::newHostObject(engine, "ActiveXObject", handle.get(), out))
        return Value::null();
    handle->object->setSelf(out);
    handle.release(); // the new object owns it
    return out;
}

IDispatch* dispatchOf(Engine& engine, const Value& v) {
    AutomationObject* object = liveObject<AutomationObject>(quill::instanceData(v, engine, "ActiveXObject"));
    return object ? object->dispatch() : nullptr;
}

// ---- members ---------------------------------------------------------------------------

namespace {

// ORDER ACTIVEX: the names the class handles itself, then any other name is
// the object's own member.
enum ClassMember {
    GetTypeInfoCount,
    OnPropertyChanged,
    OnPropertyWillChange,
    OnError,
    EnablePropertyNotify,
    Register,
    Unregister,
    AddObjectInfo,
    SetProperty,
};
constexpr const char* kClassMemberNames[] = {
    "GetTypeInfoCount", "OnPropertyChanged", "OnPropertyWillChange", "onError", "EnablePropertyNotify",
    "register",         "unregister",        "addObjectInfo",        "setProperty",
};

// register / unregister: the DLL's own registration entry.
Value callRegistrationEntry(const quill::ArgList& args, const char* entry) {
    auto path = quill::stringArg(args, 1);
    if (!path)
        return Value::boolean(false);
    UniqueModule module(LoadLibraryA(path->c_str()));
    if (!module)
        return Value::boolean(false);
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto function = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module.get(), entry)));
    return Value::boolean(function && SUCCEEDED(function()));
}

// addObjectInfo(class id, programmatic id, description, server path): the
// registry entries of an in-process server, as its own registration would
// write them. The class id is ANSI text in registry form;
// the other texts are wide. The result is the Win32 status (0 on success).
LONG writeKey(const std::wstring& path, const wchar_t* name, const std::u16string& value) {
    UniqueRegKey key;
    LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD((value.size() + 1) * sizeof(char16_t)));
}

Value addObjectInfo(quill::ArgList args) {
    auto classId = quill::stringArg(args, 1);
    std::u16string texts[3];
    for (int i = 0; i < 3; ++i) {
        if (quill::argCount(args) < i + 2 || !args.values[i + 2].isString())
            return Value::integer(ERROR_INVALID_PARAMETER);
        texts[i] = quill::stringToWide(args.values[i + 2].asString());
    }
    CLSID clsid;
    if (!classId || classId->size() != 38 || FAILED(CLSIDFromString(
                                                  reinterpret_cast<LPCOLESTR>(ansiToUtf16(*classId).c_str()), &clsid)))
        return Value::integer(ERROR_INVALID_PARAMETER);
    const std::u16string& progId = texts[0];
    if (progId.empty() || texts[2].empty())
        return Value::integer(ERROR_INVALID_PARAMETER);
    std::wstring key = L"CLSID\\" + std::wstring(classId->begin(), classId->end());
    std::wstring progKey(progId.begin(), progId.end());
    std::u16string id(classId->begin(), classId->end());
    for (LONG status : {writeKey(key, nullptr, texts[1]), writeKey(key + L"\\ProgID", nullptr, progId),
                        writeKey(key + L"\\InprocServer32", nullptr, texts[2]),
                        writeKey(key + L"\\InprocServer32", L"ThreadingModel", u"Apartment"),
                        writeKey(progKey, nullptr, texts[1]), writeKey(progKey + L"\\CLSID", nullptr, id)})
        if (status != ERROR_SUCCESS)
            return Value::integer(status);
    return Value::integer(0);
}

std::span<const Value> scriptArgs(quill::ArgList args, int64_t first) {
    int64_t n = quill::argCount(args);
    if (n < first)
        return {};
    return {args.values + first, size_t(n - first + 1)};
}

int callMethod(Engine& engine, NativeClass* cls, void* self, quill::SymbolId member, Value& result,
               quill::ArgList args) {
    if (answerToString(engine, cls, member, result))
        return 1;
    AutomationObject* object = liveObject<AutomationObject>(self);
    switch (memberIds(cls).find(member)) {
    case Register: result = callRegistrationEntry(args, "DllRegisterServer"); return 1;
    case Unregister: result = callRegistrationEntry(args, "DllUnregisterServer"); return 1;
    case AddObjectInfo: result = addObjectInfo(args); return 1;
    case GetTypeInfoCount: {
        if (!object)
            return 0;
        UINT count = 0;
        if (SUCCEEDED(object->dispatch()->GetTypeInfoCount(&count)))
            result = quill::integerResult(count);
        return 1;
    }
    case SetProperty: {
        if (!object)
            return 0;
        auto name = quill::stringArg(args, 1);
        if (!name || quill::argCount(args) < 2)
            return 1;
        if (auto id = object->memberId(*name))
            object->invoke(*id, DISPATCH_PROPERTYPUT, scriptArgs(args, 2), result);
        result = Value::undefined();
        return 1;
    }
    default: break;
    }
    if (!object)
        return 0;
    auto id = object->memberId(engine.nameOf(member));
    if (!id)
        return 0;
    object->invoke(*id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, scriptArgs(args, 1), result);
    return 1;
}

int accessProperty(Engine& engine, NativeClass* cls, void* self, quill::SymbolId member, int put, Value& value) {
    int which = memberIds(cls).find(member);
    if (which == OnError) {
        Value& handler = activeXErrorHandler(engine);
        if (!put)
            value = handler;
        else
            handler = value.isFunction() ? value : Value::undefined();
        return 1;
    }
    AutomationObject* object = liveObject<AutomationObject>(self);
    if (!object)
        return 0;
    switch (which) {
    case EnablePropertyNotify:
        if (!put)
            value = Value::boolean(object->propertyNotifyEnabled());
        else if (auto on = quill::booleanFrom(value, true))
            object->enablePropertyNotify(*on);
        return 1;
    case OnPropertyChanged:
    case OnPropertyWillChange:
        if (put && value.isFunction())
            object->notifyHandlers[which == OnPropertyChanged ? 0 : 1] = value;
        return 1;
    default: break;
    }
    std::string name = engine.nameOf(member);
    if (put && value.isFunction() && object->setEventHandler(name, value))
        return 1;
    auto id = object->memberId(name);
    if (!id)
        return 0;
    if (put) {
        Value ignored;
        object->invoke(*id, DISPATCH_PROPERTYPUT, {&value, 1}, ignored);
    } else {
        object->invoke(*id, DISPATCH_PROPERTYGET, {}, value);
    }
    return 1;
}

} // namespace

// ---- registration ---------------------------------------------------------------------

void registerActiveXObjectClass(Engine& engine) {
    initialiseCom();
    registerHostClass(engine, {.className = "ActiveXObject",
                               .names = kClassMemberNames,
                               .call = call,
                               .callMethod = callMethod,
                               .accessProperty = accessProperty,
                               .construct = construct,
                               .destroyData = destroyHandle<AutomationObject>,
                               .markData = markHandle<AutomationObject>});
}

} // namespace paloma::host
