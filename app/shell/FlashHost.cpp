// The ActiveX container of the Flash control: sites, frame, ambient
// properties and the event sink.
#include "app/shell/FlashHost.h"

#include <olectl.h>

#include <atomic>

namespace paloma::shell {

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

// An IDispatch reached only by DISPID: it has no type information and
// knows no names.
class DispatchByIdOnly : public IDispatch {
public:
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
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; ids && i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
};

class FlashSite final : public IOleClientSite,
                        public IOleInPlaceSite,
                        public IOleInPlaceFrame,
                        public DispatchByIdOnly {
public:
    explicit FlashSite(FlashHost* host) : host_(host), sink_(*this) {}

    // The host is going away: events and window requests find nobody.
    void detach() { host_ = nullptr; }
    IDispatch* sink() { return &sink_; }

    // --- IUnknown ---------------------------------------------------------
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        void* face = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            face = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
            face = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
            face = static_cast<IOleInPlaceFrame*>(this);
        else if (riid == IID_IDispatch)
            face = static_cast<IDispatch*>(this);
        *out = face;
        if (!face)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        long left = --refs_;
        if (left == 0)
            delete this;
        return ULONG(left);
    }

    // --- IOleClientSite -----------------------------------------------------
    HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
        if (out)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // --- IOleWindow ---------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
        if (!out)
            return E_POINTER;
        *out = host_ ? host_->parent_ : nullptr;
        return *out ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return S_OK; }

    // --- IOleInPlaceSite ----------------------------------------------------
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return host_ ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !doc || !pos || !clip || !info)
            return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        RECT rc = host_ ? host_->rect_ : RECT{};
        *pos = rc;
        *clip = rc;
        info->fMDIApp = FALSE;
        info->hwndFrame = host_ ? host_->parent_ : nullptr;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT rect) override {
        if (!rect)
            return E_POINTER;
        if (host_)
            host_->setRect(*rect);
        return S_OK;
    }

    // --- IOleInPlaceUIWindow / IOleInPlaceFrame -----------------------------
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

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
    class EventSink final : public DispatchByIdOnly {
    public:
        explicit EventSink(FlashSite& site) : site_(site) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
            if (!out)
                return E_POINTER;
            if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kDiidShockwaveFlashEvents) {
                *out = static_cast<IDispatch*>(this);
                AddRef();
                return S_OK;
            }
            *out = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return site_.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return site_.Release(); }
        HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                         UINT*) override {
            FlashHost* host = site_.host_;
            if (!host || !params)
                return S_OK;
            // Keep the site alive: the handler may close the host.
            site_.AddRef();
            UINT n = params->cArgs;
            auto arg = [&](UINT i) { return i < n ? variantToText(params->rgvarg[n - 1 - i]) : std::wstring(); };
            if (id == kDispidFSCommand)
                host->events_.onFSCommand(arg(0), arg(1));
            else if (id == kDispidFlashCall)
                host->events_.onFlashCall(arg(0));
            site_.Release();
            return S_OK;
        }

    private:
        FlashSite& site_;
    };

    std::atomic<long> refs_{1};
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

IOleObject* createFromModule(const std::wstring& path, HMODULE* moduleOut) {
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module)
        return nullptr;
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    IOleObject* object = nullptr;
    if (getClassObject &&
        SUCCEEDED(getClassObject(kClsidShockwaveFlash, IID_IClassFactory, reinterpret_cast<void**>(&factory))) &&
        factory) {
        factory->CreateInstance(nullptr, IID_IOleObject, reinterpret_cast<void**>(&object));
        factory->Release();
    }
    if (!object) {
        FreeLibrary(module);
        return nullptr;
    }
    if (moduleOut)
        *moduleOut = module;
    return object;
}

} // namespace

bool FlashHost::create(HWND parent, int id, const RECT& rect, const std::wstring& modulePath, HMODULE* module) {
    close();
    if (module)
        *module = nullptr;
    parent_ = parent;
    rect_ = rect;
    if (!modulePath.empty())
        object_ = createFromModule(modulePath, module);
    else
        CoCreateInstance(kClsidShockwaveFlash, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                         reinterpret_cast<void**>(&object_));
    if (!object_)
        return false;

    site_ = new (std::nothrow) FlashSite(this);
    if (!site_) {
        close();
        return false;
    }
    DWORD misc = 0;
    object_->GetMiscStatus(DVASPECT_CONTENT, &misc);
    bool siteFirst = misc & OLEMISC_SETCLIENTSITEFIRST;
    if (siteFirst)
        object_->SetClientSite(site_);
    IPersistStreamInit* persist = nullptr;
    if (SUCCEEDED(object_->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist))) && persist) {
        persist->InitNew();
        persist->Release();
    } else {
        IPersistPropertyBag* bag = nullptr;
        if (SUCCEEDED(object_->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&bag))) && bag) {
            bag->InitNew();
            bag->Release();
        }
    }
    if (!siteFirst)
        object_->SetClientSite(site_);
    object_->SetHostNames(L"Paloma", nullptr);

    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(object_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points))) &&
        points) {
        if (SUCCEEDED(points->FindConnectionPoint(kDiidShockwaveFlashEvents, &eventPoint_)) && eventPoint_) {
            if (FAILED(eventPoint_->Advise(site_->sink(), &eventCookie_))) {
                eventPoint_->Release();
                eventPoint_ = nullptr;
                eventCookie_ = 0;
            }
        }
        points->Release();
    }

    if (FAILED(object_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_))) ||
        FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, parent, &rect))) {
        close();
        return false;
    }
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace))) && inPlace) {
        inPlace->GetWindow(&window_);
        inPlace->Release();
    }
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
        eventPoint_->Release();
        eventPoint_ = nullptr;
        eventCookie_ = 0;
    }
    if (dispatch_) {
        dispatch_->Release();
        dispatch_ = nullptr;
    }
    if (object_) {
        IOleInPlaceObject* inPlace = nullptr;
        if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace))) &&
            inPlace) {
            inPlace->InPlaceDeactivate();
            inPlace->Release();
        }
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_->Release();
        object_ = nullptr;
    }
    if (site_) {
        site_->detach();
        site_->Release();
        site_ = nullptr;
    }
    window_ = nullptr;
}

void FlashHost::setRect(const RECT& rect) {
    rect_ = rect;
    if (!object_)
        return;
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace))) && inPlace) {
        inPlace->SetObjectRects(&rect, &rect);
        inPlace->Release();
    }
    SIZEL pixels = {rect.right - rect.left, rect.bottom - rect.top};
    HDC screen = GetDC(nullptr);
    SIZEL himetric = {MulDiv(pixels.cx, 2540, GetDeviceCaps(screen, LOGPIXELSX)),
                      MulDiv(pixels.cy, 2540, GetDeviceCaps(screen, LOGPIXELSY))};
    ReleaseDC(nullptr, screen);
    object_->SetExtent(DVASPECT_CONTENT, &himetric);
}

namespace {

HRESULT memberId(IDispatch* dispatch, const wchar_t* name, DISPID* id) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

} // namespace

HRESULT FlashHost::put(const wchar_t* name, const VARIANT& value) {
    if (!dispatch_)
        return E_UNEXPECTED;
    DISPID id;
    HRESULT hr = memberId(dispatch_, name, &id);
    if (FAILED(hr))
        return hr;
    DISPID named = DISPID_PROPERTYPUT;
    VARIANT arg = value;
    DISPPARAMS params = {&arg, &named, 1, 1};
    return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                             nullptr);
}

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

HRESULT FlashHost::get(const wchar_t* name, VARIANT* result) {
    if (!dispatch_)
        return E_UNEXPECTED;
    DISPID id;
    HRESULT hr = memberId(dispatch_, name, &id);
    if (FAILED(hr))
        return hr;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result, nullptr,
                             nullptr);
}

HRESULT FlashHost::call(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
    if (!dispatch_)
        return E_UNEXPECTED;
    DISPID id;
    HRESULT hr = memberId(dispatch_, name, &id);
    if (FAILED(hr))
        return hr;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, UINT(reversed.size()), 0};
    return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

} // namespace paloma::shell
