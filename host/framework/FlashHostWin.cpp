// The ActiveX container of the Flash control: sites, frame, ambient
// properties and the event sink.
#include "host/framework/FlashHost.h"

#include <olectl.h>

#include "host/framework/ComObject.h"
#include "host/framework/ControlSite.h"

#include <atomic>

namespace paloma::host {

const CLSID kClsidShockwaveFlash = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID kDiidShockwaveFlashEvents = {0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

VARIANT textVariant(const std::wstring& text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
    return v;
}

std::wstring variantToText(const VARIANT& value) {
    const VARIANT* v = &value;
    if (v->vt == (VT_VARIANT | VT_BYREF) && v->pvarVal)
        v = v->pvarVal;
    if (v->vt == VT_BSTR)
        return v->bstrVal ? std::wstring(v->bstrVal, SysStringLen(v->bstrVal)) : std::wstring();
    if (v->vt == (VT_BSTR | VT_BYREF) && v->pbstrVal && *v->pbstrVal)
        return std::wstring(*v->pbstrVal, SysStringLen(*v->pbstrVal));
    VARIANT copy;
    VariantInit(&copy);
    std::wstring out;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(v), VARIANT_ALPHABOOL, VT_BSTR)) && copy.bstrVal)
        out.assign(copy.bstrVal, SysStringLen(copy.bstrVal));
    VariantClear(&copy);
    return out;
}

// ---------------------------------------------------------------------------
// The site: client site, in-place site, in-place frame and ambient properties
// in one object; the event sink is a second object that shares its count.
// ---------------------------------------------------------------------------


class FlashSite final : public ControlSiteBase<DispatchByIdOnly> {
public:
    explicit FlashSite(FlashHost* host) : host_(host), sink_(*this) {}

    // The host is going away: events and window requests find nobody.
    void detach() { host_ = nullptr; }
    IDispatch* sink() { return &sink_; }

    // --- IUnknown ---------------------------------------------------------
    void* findInterface(REFIID riid) override {
        if (void* site = findSiteInterface(riid))
            return site;
        if (riid == IID_IDispatch)
            return static_cast<IDispatch*>(this);
        return nullptr;
    }

    // --- the container: the host's parent window and rectangle ----------------
    HWND siteWindow() override { return host_ ? host_->parent_ : nullptr; }
    bool siteAttached() override { return host_ != nullptr; }
    RECT siteRect() override { return host_ ? host_->rect_ : RECT{}; }
    void siteRectChanged(const RECT& rect) override {
        if (host_)
            host_->setRect(rect);
    }

    // --- IDispatch: ambient properties ----------------------------------------
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        if (!(flags & DISPATCH_PROPERTYGET) || !result)
            return DISP_E_MEMBERNOTFOUND;
        VariantInit(result);
        switch (id) {
        case DISPID_AMBIENT_USERMODE:
        case DISPID_AMBIENT_AUTOCLIP:
            result->vt = VT_BOOL;
            result->boolVal = VARIANT_TRUE;
            return S_OK;
        case DISPID_AMBIENT_UIDEAD:
        case DISPID_AMBIENT_SHOWGRABHANDLES:
        case DISPID_AMBIENT_SHOWHATCHING:
        case DISPID_AMBIENT_MESSAGEREFLECT:
        case DISPID_AMBIENT_DISPLAYASDEFAULT:
        case DISPID_AMBIENT_SUPPORTSMNEMONICS:
            result->vt = VT_BOOL;
            result->boolVal = VARIANT_FALSE;
            return S_OK;
        case DISPID_AMBIENT_BACKCOLOR:
            result->vt = VT_I4;
            result->lVal = LONG(GetSysColor(COLOR_WINDOW));
            return S_OK;
        case DISPID_AMBIENT_FORECOLOR:
            result->vt = VT_I4;
            result->lVal = LONG(GetSysColor(COLOR_WINDOWTEXT));
            return S_OK;
        case DISPID_AMBIENT_LOCALEID:
            result->vt = VT_I4;
            result->lVal = LONG(GetUserDefaultLCID());
            return S_OK;
        case DISPID_AMBIENT_APPEARANCE:
            result->vt = VT_I4;
            result->lVal = 0;
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    // The sink of the control's event dispinterface.
    class EventSink final : public ComPart<DispatchByIdOnly> {
    public:
        explicit EventSink(FlashSite& site) : ComPart(static_cast<IOleClientSite&>(site)), site_(site) {}
        void* findInterface(REFIID riid) override {
            if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kDiidShockwaveFlashEvents)
                return static_cast<IDispatch*>(this);
            return nullptr;
        }
        HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                         UINT*) override {
            FlashHost* host = site_.host_;
            if (!host || !params)
                return S_OK;
            // Keep the site alive: the handler may close the host.
            ComPtr<FlashSite> keep = ComPtr<FlashSite>::share(&site_);
            UINT n = params->cArgs;
            auto arg = [&](UINT i) { return i < n ? variantToText(params->rgvarg[n - 1 - i]) : std::wstring(); };
            if (id == kDispidFSCommand)
                host->events_.onFSCommand(arg(0), arg(1));
            else if (id == kDispidFlashCall)
                host->events_.onFlashCall(arg(0));
            return S_OK;
        }

    private:
        FlashSite& site_;
    };

    FlashHost* host_;
    EventSink sink_;
};

// ---------------------------------------------------------------------------
// The host
// ---------------------------------------------------------------------------

FlashHost::FlashHost(FlashEvents& events) : events_(events) {}

FlashHost::~FlashHost() { close(); }

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);

ComPtr<IOleObject> createFromModule(const std::wstring& path, HMODULE* moduleOut) {
    UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module)
        return {};
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    ComPtr<IOleObject> object;
    if (getClassObject && SUCCEEDED(getClassObject(kClsidShockwaveFlash, IID_IClassFactory, factory.putVoid())) &&
        factory)
        factory->CreateInstance(nullptr, IID_IOleObject, object.putVoid());
    if (!object)
        return {};
    // The module stays loaded for the control; the caller keeps its handle.
    if (moduleOut)
        *moduleOut = module.release();
    else
        module.release();
    return object;
}

} // namespace

bool FlashHost::create(HWND parent, int id, const RECT& rect, const std::wstring& modulePath, HMODULE* module,
                       IPropertyBag* initial) {
    close();
    if (module)
        *module = nullptr;
    parent_ = parent;
    rect_ = rect;
    if (!modulePath.empty())
        object_ = createFromModule(modulePath, module);
    else
        CoCreateInstance(kClsidShockwaveFlash, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object_.putVoid());
    if (!object_)
        return false;

    site_.reset(new (std::nothrow) FlashSite(this));
    if (!site_) {
        close();
        return false;
    }
    DWORD misc = 0;
    object_->GetMiscStatus(DVASPECT_CONTENT, &misc);
    bool siteFirst = misc & OLEMISC_SETCLIENTSITEFIRST;
    if (siteFirst)
        object_->SetClientSite(site_.get());
    auto fromBag = initial ? object_.query<IPersistPropertyBag>(IID_IPersistPropertyBag) : ComPtr<IPersistPropertyBag>();
    if (fromBag) {
        fromBag->Load(initial, nullptr);
    } else if (auto persist = object_.query<IPersistStreamInit>(IID_IPersistStreamInit)) {
        persist->InitNew();
    } else if (auto bag = object_.query<IPersistPropertyBag>(IID_IPersistPropertyBag)) {
        bag->InitNew();
    }
    if (!siteFirst)
        object_->SetClientSite(site_.get());
    object_->SetHostNames(L"Paloma", nullptr);

    if (auto points = object_.query<IConnectionPointContainer>(IID_IConnectionPointContainer)) {
        if (SUCCEEDED(points->FindConnectionPoint(kDiidShockwaveFlashEvents, eventPoint_.put())) && eventPoint_) {
            if (FAILED(eventPoint_->Advise(site_->sink(), &eventCookie_))) {
                eventPoint_.reset();
                eventCookie_ = 0;
            }
        }
    }

    if (FAILED(object_->QueryInterface(IID_IDispatch, dispatch_.putVoid())) ||
        FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, parent, &rect))) {
        close();
        return false;
    }
    if (auto inPlace = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject))
        inPlace->GetWindow(&window_);
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_ID, id);
        LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
        SetWindowLongPtrW(window_, GWL_STYLE, style | WS_CHILD | WS_VISIBLE);
        ShowWindow(window_, SW_SHOWNA);
    }
    return true;
}

void FlashHost::close() {
    if (eventPoint_) {
        eventPoint_->Unadvise(eventCookie_);
        eventPoint_.reset();
        eventCookie_ = 0;
    }
    dispatch_.reset();
    if (object_) {
        if (auto inPlace = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject))
            inPlace->InPlaceDeactivate();
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_.reset();
    }
    if (site_) {
        site_->detach();
        site_.reset();
    }
    window_ = nullptr;
}

void FlashHost::setRect(const RECT& rect) {
    rect_ = rect;
    if (!object_)
        return;
    if (auto inPlace = object_.query<IOleInPlaceObject>(IID_IOleInPlaceObject))
        inPlace->SetObjectRects(&rect, &rect);
    SIZEL pixels = {rect.right - rect.left, rect.bottom - rect.top};
    SIZEL himetric;
    {
        WindowDc screen(nullptr);
        himetric = {MulDiv(pixels.cx, 2540, GetDeviceCaps(screen.get(), LOGPIXELSX)),
                    MulDiv(pixels.cy, 2540, GetDeviceCaps(screen.get(), LOGPIXELSY))};
    }
    object_->SetExtent(DVASPECT_CONTENT, &himetric);
}

namespace {

HRESULT memberId(IDispatch* dispatch, const wchar_t* name, DISPID* id) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

} // namespace

HRESULT dispatchPut(IDispatch* dispatch, const wchar_t* name, const VARIANT& value) {
    if (!dispatch)
        return E_UNEXPECTED;
    DISPID id;
    HRESULT hr = memberId(dispatch, name, &id);
    if (FAILED(hr))
        return hr;
    DISPID named = DISPID_PROPERTYPUT;
    VARIANT arg = value;
    DISPPARAMS params = {&arg, &named, 1, 1};
    return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                            nullptr);
}

HRESULT dispatchGet(IDispatch* dispatch, const wchar_t* name, VARIANT* result) {
    if (!dispatch)
        return E_UNEXPECTED;
    DISPID id;
    HRESULT hr = memberId(dispatch, name, &id);
    if (FAILED(hr))
        return hr;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result, nullptr,
                            nullptr);
}

HRESULT dispatchCall(IDispatch* dispatch, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
    if (!dispatch)
        return E_UNEXPECTED;
    DISPID id;
    HRESULT hr = memberId(dispatch, name, &id);
    if (FAILED(hr))
        return hr;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, UINT(reversed.size()), 0};
    return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

HRESULT FlashHost::put(const wchar_t* name, const VARIANT& value) { return dispatchPut(dispatch_.get(), name, value); }

HRESULT FlashHost::put(const wchar_t* name, long value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return put(name, v);
}

HRESULT FlashHost::put(const wchar_t* name, const std::wstring& value) {
    VARIANT v = textVariant(value);
    HRESULT hr = put(name, v);
    VariantClear(&v);
    return hr;
}

HRESULT FlashHost::get(const wchar_t* name, VARIANT* result) { return dispatchGet(dispatch_.get(), name, result); }

HRESULT FlashHost::call(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
    return dispatchCall(dispatch_.get(), name, std::move(args), result);
}

} // namespace paloma::host
