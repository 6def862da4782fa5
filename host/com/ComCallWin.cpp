// The live object behind an ActiveXObject: member lookup, typed and
// late-bound invocation, event sinks, property notifications, and the
// reporting of failed automation calls.
#include "host/com/ComCall.h"

#include <dispex.h>
#include <olectl.h>

#include <algorithm>
#include <unordered_map>

#include "base/TextCodec.h"
#include "host/com/VariantConvert.h"
#include "host/framework/ComObject.h"
#include "host/framework/SystemError.h"

namespace paloma::host {

using quill::Engine;
using quill::Value;

// ---- failures -----------------------------------------------------------------------

void reportComFailure(Engine& engine, HRESULT status) {
    std::wstring text = systemErrorText(DWORD(status));
    std::string ansi = utf16ToAnsi(std::u16string(text.begin(), text.end()));
    engine.setErrorText(ansi);
    quill::writeTrace(engine, ansi);
}

namespace {

std::string bstrText(BSTR text) {
    if (!text)
        return {};
    return utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text)));
}

// A name no script can write (it is no identifier).
constexpr std::string_view kErrorHandlerGlobal = "ActiveXObject onError";

} // namespace

std::string exceptionText(const EXCEPINFO& info) {
    return bstrText(info.bstrSource) + ":" + bstrText(info.bstrDescription) + ". See also: " +
           bstrText(info.bstrHelpFile) + ".";
}

Value& activeXErrorHandler(Engine& engine) { return engine.global(engine.internName(kErrorHandlerGlobal)); }

void reportException(Engine& engine, EXCEPINFO& info) {
    if (info.pfnDeferredFillIn)
        info.pfnDeferredFillIn(&info);
    std::string text = exceptionText(info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    info = EXCEPINFO{};
    quill::writeTrace(engine, text);
    Value handler = activeXErrorHandler(engine);
    if (handler.isFunction()) {
        quill::RootedValues args(engine);
        args.values = {Value::integer(1), quill::ansiTextResult(engine, text)};
        quill::callValue(engine, nullptr, handler, quill::ArgList{args.values.data()});
    }
    engine.setErrorText(text);
}

// ---- type information ---------------------------------------------------------------

namespace {

// A type description reduced to a variant type: aliases and enumerations
// resolved, interfaces as dispatch or unknown; VT_VARIANT when the
// description is not one a variant can carry (the table's variant is used).
VARTYPE variantTypeOf(ITypeInfo* info, const TYPEDESC& desc) {
    switch (desc.vt) {
    case VT_USERDEFINED: {
        ComPtr<ITypeInfo> ref;
        if (FAILED(info->GetRefTypeInfo(desc.hreftype, ref.put())))
            return VT_VARIANT;
        TYPEATTR* attr = nullptr;
        if (FAILED(ref->GetTypeAttr(&attr)))
            return VT_VARIANT;
        VARTYPE type = VT_VARIANT;
        switch (attr->typekind) {
        case TKIND_ENUM: type = VT_I4; break;
        case TKIND_ALIAS: type = variantTypeOf(ref.get(), attr->tdescAlias); break;
        case TKIND_DISPATCH: type = VT_DISPATCH; break;
        case TKIND_INTERFACE: type = VT_UNKNOWN; break;
        default: break;
        }
        ref->ReleaseTypeAttr(attr);
        return type;
    }
    case VT_INT: return VT_I4;
    case VT_UINT: return VT_UI4;
    case VT_HRESULT: return VT_ERROR;
    case VT_PTR:
    case VT_SAFEARRAY:
    case VT_CARRAY:
    case VT_LPSTR:
    case VT_LPWSTR:
    case VT_VOID: return VT_VARIANT;
    default: return desc.vt;
    }
}

// One declared parameter: its variant type and whether it is passed by
// reference.
struct Parameter {
    VARTYPE type = VT_VARIANT;
    bool byReference = false;
};

std::vector<Parameter> parametersOf(ITypeInfo* info, const FUNCDESC& f) {
    std::vector<Parameter> params;
    for (SHORT i = 0; i < f.cParams; ++i) {
        const ELEMDESC& e = f.lprgelemdescParam[i];
        Parameter p;
        if (e.tdesc.vt == VT_PTR && e.tdesc.lptdesc) {
            VARTYPE inner = variantTypeOf(info, *e.tdesc.lptdesc);
            // A pointer to an interface is the interface itself, not a reference.
            if (e.tdesc.lptdesc->vt == VT_USERDEFINED && (inner == VT_DISPATCH || inner == VT_UNKNOWN)) {
                p.type = inner;
            } else {
                p.type = inner;
                p.byReference = true;
            }
        } else {
            p.type = variantTypeOf(info, e.tdesc);
        }
        params.push_back(p);
    }
    return params;
}

// The declared parameters of member `id` for an invocation of kind `flags`,
// or nothing when the type information does not describe it.
std::optional<std::vector<Parameter>> declaredParameters(ITypeInfo* info, DISPID id, WORD flags) {
    if (!info)
        return std::nullopt;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)))
        return std::nullopt;
    std::optional<std::vector<Parameter>> found;
    for (UINT i = 0; i < attr->cFuncs && !found; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f)))
            continue;
        bool kindFits = (f->invkind & INVOKE_FUNC && flags & DISPATCH_METHOD) ||
                        (f->invkind & INVOKE_PROPERTYGET && flags & DISPATCH_PROPERTYGET) ||
                        (f->invkind & INVOKE_PROPERTYPUT && flags & DISPATCH_PROPERTYPUT) ||
                        (f->invkind & INVOKE_PROPERTYPUTREF && flags & DISPATCH_PROPERTYPUTREF);
        if (f->memid == id && kindFits)
            found = parametersOf(info, *f);
        info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
    return found;
}

// The `value` property of an ordinary object argument, if it has one.
std::optional<Value> valueField(Engine& engine, const Value& v) {
    Value out;
    if (v.isObject() && quill::objectGet(engine, v.asObject(), engine.internName("value"), out))
        return out;
    return std::nullopt;
}

} // namespace

// ---- the object -----------------------------------------------------------------------

// IDispatchEx (not every import library has its id).
constexpr IID kIidDispatchEx = {0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};

AutomationObject::AutomationObject(Engine& engine, ComPtr<IDispatch> dispatch)
    : engine_(engine), dispatch_(std::move(dispatch)) {
    // Objects whose members change at run time (script objects answering
    // IDispatchEx) are bound late: their type information is a snapshot at
    // best, and asking some script engines for it is not safe.
    if (dispatch_.query<IDispatchEx>(kIidDispatchEx))
        return;
    UINT count = 0;
    if (SUCCEEDED(dispatch_->GetTypeInfoCount(&count)) && count > 0)
        dispatch_->GetTypeInfo(0, LOCALE_USER_DEFAULT, typeInfo_.put());
}

std::optional<DISPID> AutomationObject::memberId(const std::string& name) const {
    std::u16string wide = ansiToUtf16(name);
    auto* text = reinterpret_cast<LPOLESTR>(wide.data());
    DISPID id = DISPID_UNKNOWN;
    if (typeInfo_ && SUCCEEDED(typeInfo_->GetIDsOfNames(&text, 1, &id)))
        return id;
    if (SUCCEEDED(dispatch_->GetIDsOfNames(IID_NULL, &text, 1, LOCALE_USER_DEFAULT, &id)))
        return id;
    return std::nullopt;
}

void AutomationObject::invoke(DISPID id, WORD flags, std::span<const Value> args, Value& result) {
    result = Value::undefined();
    std::optional<std::vector<Parameter>> declared = declaredParameters(typeInfo_.get(), id, flags);
    size_t n = args.size();
    // Arguments go in reverse order; storage[i] holds the value of a
    // by-reference argument i, whose slot refers to it.
    std::vector<OwnedVariant> slots(n);
    std::vector<OwnedVariant> storage(n);
    std::vector<int> writeBack(n, 0); // 1: the object's `value` takes storage[i] after the call
    for (size_t i = 0; i < n; ++i) {
        VARIANT& slot = *slots[n - 1 - i];
        const Value& arg = args[i];
        Parameter p;
        bool typed = declared && i < declared->size();
        if (typed)
            p = (*declared)[i];
        std::optional<Value> field = valueField(engine_, arg);
        if (field && (typed ? p.byReference : true)) {
            // By reference: the referenced storage holds the converted value.
            VARTYPE type = typed ? p.type : VARTYPE(VT_VARIANT);
            if (type == VT_VARIANT) {
                valueToVariant(engine_, *field, *storage[i]);
                slot.vt = VT_BYREF | VT_VARIANT;
                slot.pvarVal = storage[i].get();
            } else {
                if (FAILED(valueToVariantOfType(engine_, *field, type, *storage[i]))) {
                    reportComFailure(engine_, DISP_E_TYPEMISMATCH);
                    return;
                }
                slot.vt = VARTYPE(VT_BYREF | type);
                slot.byref = &storage[i]->lVal; // every member of the union starts here
            }
            writeBack[i] = 1;
            continue;
        }
        HRESULT status = typed ? valueToVariantOfType(engine_, arg, p.type, slot) : S_OK;
        if (!typed)
            valueToVariant(engine_, arg, slot);
        if (FAILED(status)) {
            reportComFailure(engine_, status);
            return;
        }
    }
    std::vector<VARIANT> params(n);
    for (size_t i = 0; i < n; ++i)
        params[i] = *slots[i]; // shallow: the owners keep them
    DISPPARAMS dp{params.data(), nullptr, UINT(n), 0};
    DISPID putId = DISPID_PROPERTYPUT;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        dp.rgdispidNamedArgs = &putId;
        dp.cNamedArgs = 1;
    }
    OwnedVariant out;
    EXCEPINFO info{};
    UINT badArg = 0;
    HRESULT status = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, out.get(), &info, &badArg);
    if (status == DISP_E_EXCEPTION) {
        reportException(engine_, info);
        return;
    }
    if (FAILED(status)) {
        reportComFailure(engine_, status);
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        if (!writeBack[i])
            continue;
        VARIANT& slot = *slots[n - 1 - i];
        quill::objectPut(engine_, args[i].asObject(), engine_.internName("value"), variantToValue(engine_, slot));
    }
    result = variantToValue(engine_, *out);
}

// ---- events -----------------------------------------------------------------------------

// The sink of one source interface: calls the function registered for an
// event with the event's parameters; by-reference parameters travel as
// objects whose `value` goes back to the object after the call.
class EventSink final : public ComObject<IDispatch> {
public:
    static constexpr size_t kMaxReferences = 16;

    EventSink(AutomationObject& owner, const IID& iid, ComPtr<ITypeInfo> info)
        : owner_(owner), iid_(iid), info_(std::move(info)) {}

    const IID& iid() const { return iid_; }
    ITypeInfo* info() const { return info_.get(); }

    bool connect() {
        if (cookie_)
            return true;
        auto container = ComPtr<IDispatch>::share(owner_.dispatch()).query<IConnectionPointContainer>(
            IID_IConnectionPointContainer);
        if (!container || FAILED(container->FindConnectionPoint(iid_, point_.put())) || !point_)
            return false;
        if (FAILED(point_->Advise(static_cast<IDispatch*>(this), &cookie_))) {
            cookie_ = 0;
            point_.reset();
            return false;
        }
        return true;
    }
    void disconnect() {
        if (cookie_ && point_)
            point_->Unadvise(cookie_);
        cookie_ = 0;
        point_.reset();
    }

    void setHandler(DISPID id, const Value& function, std::vector<int> references) {
        handlers_[id] = Handler{function, std::move(references)};
    }
    void mark(Engine& engine) const {
        for (const auto& [id, handler] : handlers_)
            quill::markValue(engine, handler.function);
    }

    // IDispatch: events arrive as method invocations.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (out)
            *out = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        auto found = handlers_.find(id);
        if (found == handlers_.end())
            return S_OK;
        fire(found->second, params);
        return S_OK;
    }

private:
    struct Handler {
        Value function;
        std::vector<int> references; // positions of by-reference parameters
    };

    void fire(const Handler& handler, DISPPARAMS* params) {
        Engine& engine = owner_.engine();
        UINT n = params ? params->cArgs : 0;
        quill::RootedValues rooted(engine);
        rooted.values.push_back(owner_.self());
        rooted.values.push_back(handler.function);
        std::vector<Value>& args = rooted.values; // [0] this, [1] function, then the ArgList
        args.push_back(Value::integer(n));
        std::vector<int> boxed(n, 0);
        for (UINT i = 0; i < n; ++i) {
            VARIANT& v = params->rgvarg[n - 1 - i];
            Value converted = variantToValue(engine, v);
            bool byRef = (v.vt & VT_BYREF) &&
                         std::find(handler.references.begin(), handler.references.end(), int(i)) !=
                             handler.references.end();
            if (byRef) {
                Value box = quill::objectResult(engine);
                quill::setField(engine, box, "value", converted);
                converted = box;
                boxed[i] = 1;
            }
            args.push_back(converted);
        }
        Value self = args[0];
        Value function = args[1];
        // A Value of this sink's vector may move while the script runs: the
        // call gets its own copy of the ArgList.
        std::vector<Value> list(args.begin() + 2, args.end());
        quill::RootedValues listRoot(engine);
        listRoot.values = list;
        ComPtr<EventSink> keep = ComPtr<EventSink>::share(this); // the handler may drop the object
        quill::callWithThis(engine, self, function, quill::ArgList{listRoot.values.data()});
        for (UINT i = 0; i < n; ++i) {
            if (!boxed[i])
                continue;
            Value now;
            if (quill::objectGet(engine, listRoot.values[i + 1].asObject(), engine.internName("value"), now))
                storeThroughReference(engine, now, params->rgvarg[n - 1 - i]);
        }
    }

    void* findInterface(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == iid_)
            return static_cast<IDispatch*>(this);
        return nullptr;
    }

    AutomationObject& owner_;
    IID iid_;
    ComPtr<ITypeInfo> info_;
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    std::unordered_map<DISPID, Handler> handlers_;
};

// Property-change notifications, given to OnPropertyChanged and
// OnPropertyWillChange with the member id.
class PropertyNotifySink final : public ComObject<IPropertyNotifySink> {
public:
    explicit PropertyNotifySink(AutomationObject& owner) : owner_(owner) {}

    HRESULT STDMETHODCALLTYPE OnChanged(DISPID id) override {
        notify(0, id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID id) override {
        notify(1, id);
        return S_OK;
    }

private:
    void notify(int which, DISPID id) {
        Engine& engine = owner_.engine();
        quill::RootedValues rooted(engine);
        rooted.values = {owner_.self(), owner_.notifyHandlers[which], Value::integer(1), Value::integer(id)};
        if (!rooted.values[1].isFunction())
            return;
        ComPtr<PropertyNotifySink> keep = ComPtr<PropertyNotifySink>::share(this);
        quill::callWithThis(engine, rooted.values[0], rooted.values[1], quill::ArgList{&rooted.values[2]});
    }
    void* findInterface(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_IPropertyNotifySink)
            return static_cast<IPropertyNotifySink*>(this);
        return nullptr;
    }

    AutomationObject& owner_;
};

AutomationObject::~AutomationObject() {
    enablePropertyNotify(false);
    for (auto& sink : sinks_)
        sink->disconnect();
}

void AutomationObject::markValues(Engine& engine) const {
    quill::markValue(engine, self_);
    quill::markValue(engine, notifyHandlers[0]);
    quill::markValue(engine, notifyHandlers[1]);
    for (const auto& sink : sinks_)
        sink->mark(engine);
}

namespace {

// The class description of the object: what it provides itself, else the
// class of its type library whose default interface is the object's.
ComPtr<ITypeInfo> classInfoOf(IDispatch* dispatch, ITypeInfo* typeInfo) {
    ComPtr<ITypeInfo> classInfo;
    auto provider = ComPtr<IDispatch>::share(dispatch).query<IProvideClassInfo>(IID_IProvideClassInfo);
    if (provider && SUCCEEDED(provider->GetClassInfo(classInfo.put())) && classInfo)
        return classInfo;
    if (!typeInfo)
        return {};
    TYPEATTR* own = nullptr;
    if (FAILED(typeInfo->GetTypeAttr(&own)))
        return {};
    GUID wanted = own->guid;
    typeInfo->ReleaseTypeAttr(own);
    ComPtr<ITypeLib> library;
    UINT index = 0;
    if (FAILED(typeInfo->GetContainingTypeLib(library.put(), &index)))
        return {};
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        TYPEKIND kind;
        if (FAILED(library->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS)
            continue;
        ComPtr<ITypeInfo> candidate;
        if (FAILED(library->GetTypeInfo(i, candidate.put())))
            continue;
        TYPEATTR* attr = nullptr;
        if (FAILED(candidate->GetTypeAttr(&attr)))
            continue;
        bool match = false;
        for (UINT j = 0; j < attr->cImplTypes && !match; ++j) {
            INT flags = 0;
            HREFTYPE ref;
            ComPtr<ITypeInfo> implemented;
            TYPEATTR* implAttr = nullptr;
            if (SUCCEEDED(candidate->GetImplTypeFlags(j, &flags)) && (flags & IMPLTYPEFLAG_FDEFAULT) &&
                !(flags & IMPLTYPEFLAG_FSOURCE) && SUCCEEDED(candidate->GetRefTypeOfImplType(j, &ref)) &&
                SUCCEEDED(candidate->GetRefTypeInfo(ref, implemented.put())) &&
                SUCCEEDED(implemented->GetTypeAttr(&implAttr))) {
                match = IsEqualGUID(implAttr->guid, wanted);
                implemented->ReleaseTypeAttr(implAttr);
            }
        }
        candidate->ReleaseTypeAttr(attr);
        if (match)
            return candidate;
    }
    return {};
}

} // namespace

void AutomationObject::loadSources() {
    if (sourcesLoaded_)
        return;
    sourcesLoaded_ = true;
    ComPtr<ITypeInfo> classInfo = classInfoOf(dispatch_.get(), typeInfo_.get());
    if (!classInfo)
        return;
    TYPEATTR* attr = nullptr;
    if (FAILED(classInfo->GetTypeAttr(&attr)))
        return;
    for (UINT j = 0; j < attr->cImplTypes; ++j) {
        INT flags = 0;
        HREFTYPE ref;
        ComPtr<ITypeInfo> source;
        TYPEATTR* sourceAttr = nullptr;
        if (FAILED(classInfo->GetImplTypeFlags(j, &flags)) || !(flags & IMPLTYPEFLAG_FSOURCE) ||
            FAILED(classInfo->GetRefTypeOfImplType(j, &ref)) ||
            FAILED(classInfo->GetRefTypeInfo(ref, source.put())) || FAILED(source->GetTypeAttr(&sourceAttr)))
            continue;
        IID iid = sourceAttr->guid;
        source->ReleaseTypeAttr(sourceAttr);
        sinks_.emplace_back(new EventSink(*this, iid, std::move(source)));
    }
    classInfo->ReleaseTypeAttr(attr);
}

bool AutomationObject::setEventHandler(const std::string& name, const Value& handler) {
    loadSources();
    std::u16string wide = ansiToUtf16(name);
    auto* text = reinterpret_cast<LPOLESTR>(wide.data());
    for (auto& sink : sinks_) {
        DISPID id = DISPID_UNKNOWN;
        if (FAILED(sink->info()->GetIDsOfNames(&text, 1, &id)))
            continue;
        std::vector<int> references;
        UINT index = 0;
        FUNCDESC* f = nullptr;
        ComPtr<ITypeInfo2> info2 = ComPtr<ITypeInfo>::share(sink->info()).query<ITypeInfo2>(IID_ITypeInfo2);
        if (info2 && SUCCEEDED(info2->GetFuncIndexOfMemId(id, INVOKE_FUNC, &index)) &&
            SUCCEEDED(sink->info()->GetFuncDesc(index, &f))) {
            std::vector<Parameter> params = parametersOf(sink->info(), *f);
            for (size_t i = 0; i < params.size() && references.size() < EventSink::kMaxReferences; ++i)
                if (params[i].byReference)
                    references.push_back(int(i));
            sink->info()->ReleaseFuncDesc(f);
        }
        sink->setHandler(id, handler, std::move(references));
        if (!sink->connect())
            reportComFailure(engine_, CONNECT_E_NOCONNECTION);
        return true;
    }
    return false;
}

bool AutomationObject::enablePropertyNotify(bool enable) {
    if (!enable) {
        if (notifyCookie_ && notifyPoint_)
            notifyPoint_->Unadvise(notifyCookie_);
        notifyCookie_ = 0;
        notifyPoint_.reset();
        notify_.reset();
        return true;
    }
    if (notifyCookie_)
        return true;
    auto container =
        ComPtr<IDispatch>::share(dispatch_.get()).query<IConnectionPointContainer>(IID_IConnectionPointContainer);
    HRESULT status = container ? container->FindConnectionPoint(IID_IPropertyNotifySink, notifyPoint_.put())
                               : E_NOINTERFACE;
    if (SUCCEEDED(status)) {
        notify_.reset(new PropertyNotifySink(*this));
        status = notifyPoint_->Advise(notify_.get(), &notifyCookie_);
    }
    if (FAILED(status)) {
        notifyCookie_ = 0;
        notifyPoint_.reset();
        notify_.reset();
        reportComFailure(engine_, status);
        return false;
    }
    return true;
}

} // namespace paloma::host
