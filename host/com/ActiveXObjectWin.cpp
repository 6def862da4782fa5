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
        HRESULT status = createByName(std::u16string(quill::stringView(given.asString())), dispatch);
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
    handle->object = std::make_unique<AutomationObject>(ComPtr<IDispatch>::share(dispatch));
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

// ---- registration ---------------------------------------------------------------------

namespace {

void getTypeInfoCount(AutomationObject& object, MemberCall& c) {
    UINT count = 0;
    if (SUCCEEDED(object.dispatch()->GetTypeInfoCount(&count)))
        c.result = integerResult(count);
}

constexpr Member kActiveXMembers[] = {
    method<getTypeInfoCount>("GetTypeInfoCount"),
};

} // namespace

void registerActiveXObjectClass(Engine& engine) {
    initialiseCom();
    registerHostClass(engine, {.className = "ActiveXObject",
                               .members = kActiveXMembers,
                               .call = call,
                               .construct = construct,
                               .destroyData = destroyHandle<AutomationObject>,
                               .markData = markHandle<AutomationObject>});
}

} // namespace paloma::host
