// Enumerator: walks a collection through the enumerator its _NewEnum gives.
//
// `item` fetches the next element from the enumerator on every call, while
// the position (and so `atEnd`) moves only with `moveNext`: the count comes
// from the collection's `Count`.
#include <memory>

#include "host/com/ActiveXObject.h"
#include "host/com/ComCall.h"
#include "host/com/VariantConvert.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"

namespace paloma::host {

namespace {

using quill::Engine;
using quill::NativeClass;
using quill::Value;

struct Enumeration {
    ComPtr<IEnumVARIANT> enumerator;
    int64_t count = 0;
    int64_t position = 0;
};

// A property of the collection read by name; nothing when it has no such member.
std::optional<Value> readMember(AutomationObject& collection, const char* name) {
    auto id = collection.memberId(name);
    if (!id)
        return std::nullopt;
    Value v;
    collection.invoke(*id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, v);
    return v;
}

ComPtr<IEnumVARIANT> newEnumOf(Engine& engine, AutomationObject& collection) {
    auto id = collection.memberId("_NewEnum");
    DISPPARAMS none{};
    OwnedVariant out;
    EXCEPINFO info{};
    HRESULT status = collection.dispatch()->Invoke(id ? *id : DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT,
                                                   DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, out.get(),
                                                   &info, nullptr);
    if (status == DISP_E_EXCEPTION) {
        reportException(engine, info);
        return {};
    }
    if (FAILED(status)) {
        reportComFailure(engine, status);
        return {};
    }
    IUnknown* unknown = out->vt == VT_UNKNOWN ? out->punkVal : out->vt == VT_DISPATCH ? out->pdispVal : nullptr;
    ComPtr<IEnumVARIANT> enumerator;
    if (unknown)
        unknown->QueryInterface(IID_IEnumVARIANT, enumerator.putVoid());
    return enumerator;
}

void construct(Engine& engine, NativeClass* cls, quill::ArgList args, Value& result) {
    result = Value::null();
    if (quill::argCount(args) < 1)
        return;
    auto* collection = liveObject<AutomationObject>(quill::instanceData(args.values[1], engine, "ActiveXObject"));
    if (!collection)
        return;
    std::optional<Value> count = readMember(*collection, "Count");
    if (!count || !count->isInteger())
        return;
    auto enumeration = std::make_unique<Enumeration>();
    enumeration->count = count->asInteger();
    enumeration->enumerator = newEnumOf(engine, *collection);
    if (!enumeration->enumerator)
        return;
    bindHandle(engine, cls, std::move(enumeration), result);
}

void call(Engine& engine, NativeClass* cls, void*, Value& result, quill::ArgList args) {
    construct(engine, cls, args, result);
}

void atEnd(Enumeration& e, MemberCall& c) { c.result = booleanResult(e.position >= e.count); }

void item(Enumeration& e, MemberCall& c) {
    OwnedVariant element;
    ULONG fetched = 0;
    if (e.enumerator->Next(1, element.get(), &fetched) == S_OK && fetched == 1)
        c.result = variantToValue(c.engine, *element);
}

void moveNext(Enumeration& e, MemberCall&) { ++e.position; }

void moveFirst(Enumeration& e, MemberCall&) {
    e.enumerator->Reset();
    e.position = 0;
}

constexpr Member kEnumeratorMembers[] = {
    method<atEnd>("atEnd"),
    method<item>("item"),
    method<moveNext>("moveNext"),
    method<moveFirst>("moveFirst"),
};

} // namespace

void registerEnumeratorClass(Engine& engine) {
    registerHostClass(engine, {.className = "Enumerator",
                               .members = kEnumeratorMembers,
                               .call = call,
                               .construct = construct,
                               .destroyData = destroyHandle<Enumeration>});
}

} // namespace paloma::host
