// createControl and ActiveXControl: an ActiveX control hosted in a child
// window of the player (or of a given window), for scripts as the pair of
// its ActiveXObject and its Window.
//
// The control lives in a container window of its own (a child, visible,
// control id 0xFFFF) at the requested place; the control is activated in
// place inside it, so that windowless controls have a window too.
#include "host/com/ActiveXControl.h"

#include <olectl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "base/TextCodec.h"
#include "host/HostServices.h"
#include "host/com/ActiveXObject.h"
#include "host/com/ComCall.h"
#include "host/framework/ComObject.h"
#include "host/framework/ControlSite.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"
#include "host/framework/WinHandles.h"
#include "host/window/Window.h"

namespace paloma::host {

namespace {

using quill::Engine;
using quill::NativeClass;
using quill::Value;

constexpr int kControlId = 0xFFFF;
constexpr wchar_t kContainerClass[] = L"PalomaControlHost";

// ---- initial properties ------------------------------------------------------------

// The property bag of the initial-properties text "name=value&name=value":
// names without regard to case; pairs with an empty name or value dropped.
class InitialProperties final : public ComObject<IPropertyBag> {
public:
    explicit InitialProperties(const std::string& text) {
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('&', start);
            if (end == std::string::npos)
                end = text.size();
            std::string pair = text.substr(start, end - start);
            size_t equals = pair.find('=');
            if (equals != std::string::npos && equals > 0 && equals + 1 < pair.size()) {
                std::string name = pair.substr(0, equals);
                for (char& ch : name)
                    ch = char(std::tolower(static_cast<unsigned char>(ch)));
                values_[name] = pair.substr(equals + 1);
            }
            start = end + 1;
        }
    }

    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        if (!name || !value)
            return E_POINTER;
        std::string key = utf16ToAnsi(reinterpret_cast<const char16_t*>(name));
        for (char& ch : key)
            ch = char(std::tolower(static_cast<unsigned char>(ch)));
        auto found = values_.find(key);
        if (found == values_.end())
            return E_INVALIDARG;
        return convert(found->second, *value);
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

private:
    // The text as the type the control asks for.
    static HRESULT convert(const std::string& text, VARIANT& out) {
        VARTYPE wanted = out.vt;
        const char* s = text.c_str();
        long number = 0;
        unsigned long unsignedNumber = 0;
        double real = 0;
        switch (wanted) {
        case VT_I2:
        case VT_I4:
        case VT_INT:
            if (std::sscanf(s, "%ld", &number) != 1)
                return E_INVALIDARG;
            if (wanted == VT_I2)
                out.iVal = SHORT(number);
            else
                out.lVal = LONG(number);
            return S_OK;
        case VT_UI2:
        case VT_UI4:
        case VT_UINT:
            if (std::sscanf(s, "%lu", &unsignedNumber) != 1)
                return E_INVALIDARG;
            if (wanted == VT_UI2)
                out.uiVal = USHORT(unsignedNumber);
            else
                out.ulVal = ULONG(unsignedNumber);
            return S_OK;
        case VT_R4:
        case VT_R8:
            if (std::sscanf(s, "%lf", &real) != 1)
                return E_INVALIDARG;
            if (wanted == VT_R4)
                out.fltVal = float(real);
            else
                out.dblVal = real;
            return S_OK;
        case VT_BOOL:
            if (_stricmp(s, "true") == 0)
                out.boolVal = VARIANT_TRUE;
            else if (_stricmp(s, "false") == 0)
                out.boolVal = VARIANT_FALSE;
            else
                return E_INVALIDARG;
            return S_OK;
        case VT_EMPTY:
        case VT_BSTR: {
            std::u16string wide = ansiToUtf16(text);
            out.vt = VT_BSTR;
            out.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), UINT(wide.size()));
            return out.bstrVal ? S_OK : E_OUTOFMEMORY;
        }
        default: return E_INVALIDARG;
        }
    }
    void* findInterface(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_IPropertyBag)
            return static_cast<IPropertyBag*>(this);
        return nullptr;
    }

    std::map<std::string, std::string> values_;
};

// ---- the site -----------------------------------------------------------------------

// Client site, in-place site and frame of one control, in its container window.
class ControlSite final : public ControlSiteBase<> {
public:
    ControlSite(HWND container, RECT rect) : container_(container), rect_(rect) {}
    void detach() { container_ = nullptr; }

private:
    HWND siteWindow() override { return container_; }
    RECT siteRect() override { return rect_; }
    void siteRectChanged(const RECT& rect) override { rect_ = rect; }
    void* findInterface(REFIID iid) override { return findSiteInterface(iid); }

    HWND container_;
    RECT rect_;
};

// ---- the hosted control -----------------------------------------------------------

// The native data of ActiveXControl: the control, its site and container
// window, and the two script Values handed out for it.
class HostedControl {
public:
    ~HostedControl() { destroy(); }

    void destroy() {
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
        if (container_ && IsWindow(container_))
            DestroyWindow(container_);
        container_ = nullptr;
    }
    void markValues(Engine& engine) const {
        quill::markValue(engine, activex);
        quill::markValue(engine, window);
    }

    ComPtr<IOleObject> object_;
    ComPtr<ControlSite> site_;
    HWND container_ = nullptr;
    UniqueModule module_; // a control file loaded directly
    Value activex;
    Value window;
};

LRESULT CALLBACK containerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

bool registerContainerClass() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = containerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kContainerClass;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

// The class factory of a control file loaded directly: the first class of
// the type library in its resources.
ComPtr<IClassFactory> factoryFromFile(const std::string& path, UniqueModule& module) {
    std::u16string wide = ansiToUtf16(path);
    ComPtr<ITypeLib> library;
    if (FAILED(LoadTypeLibEx(reinterpret_cast<LPCOLESTR>(wide.c_str()), REGKIND_NONE, library.put())))
        return {};
    CLSID clsid = CLSID_NULL;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        TYPEKIND kind;
        ComPtr<ITypeInfo> info;
        TYPEATTR* attr = nullptr;
        if (SUCCEEDED(library->GetTypeInfoType(i, &kind)) && kind == TKIND_COCLASS &&
            SUCCEEDED(library->GetTypeInfo(i, info.put())) && SUCCEEDED(info->GetTypeAttr(&attr))) {
            clsid = attr->guid;
            info->ReleaseTypeAttr(attr);
            break;
        }
    }
    if (IsEqualCLSID(clsid, CLSID_NULL))
        return {};
    module.reset(LoadLibraryA(path.c_str()));
    if (!module)
        return {};
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    if (!get || FAILED(get(clsid, IID_IClassFactory, factory.putVoid())))
        return {};
    return factory;
}

// A new control object from its factory, with the run-time key when one is given.
HRESULT createObject(IClassFactory* factory, const std::optional<std::string>& key, ComPtr<IOleObject>& out) {
    if (key) {
        ComPtr<IClassFactory2> licensed = ComPtr<IClassFactory>::share(factory).query<IClassFactory2>(
            IID_IClassFactory2);
        if (licensed) {
            std::u16string wide = ansiToUtf16(*key);
            BSTR text = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), UINT(wide.size()));
            HRESULT status = licensed->CreateInstanceLic(nullptr, nullptr, IID_IOleObject, text, out.putVoid());
            SysFreeString(text);
            return status;
        }
    }
    return factory->CreateInstance(nullptr, IID_IOleObject, out.putVoid());
}

std::optional<int> intArg(quill::ArgList args, int64_t i) {
    auto n = quill::numberArg(args, i);
    if (!n)
        return std::nullopt;
    return int(*n);
}

// createControl(id, left, top, right, bottom, properties, key, parent)
void createControl(Engine& engine, NativeClass*, void*, Value& result, quill::ArgList args) {
    result = Value::null();
    auto name = quill::stringArg(args, 1);
    if (!name)
        return;
    RECT place{intArg(args, 2).value_or(0), intArg(args, 3).value_or(0), intArg(args, 4).value_or(50),
               intArg(args, 5).value_or(50)};
    auto properties = quill::stringArg(args, 6);
    auto key = quill::stringArg(args, 7);
    HWND parent = HWND(hostServices().playerWindow());
    if (auto given = quill::numberArg(args, 8)) {
        HWND candidate = reinterpret_cast<HWND>(static_cast<intptr_t>(*given));
        if (IsWindow(candidate))
            parent = candidate;
    }
    if (!parent || !registerContainerClass())
        return;

    auto control = std::make_unique<HostedControl>();
    std::u16string wide = ansiToUtf16(*name);
    CLSID clsid;
    ComPtr<IClassFactory> factory;
    HRESULT status = CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(wide.c_str()), &clsid);
    if (FAILED(status))
        status = CLSIDFromString(reinterpret_cast<LPCOLESTR>(wide.c_str()), &clsid);
    if (SUCCEEDED(status))
        status = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                  factory.putVoid());
    if (FAILED(status))
        factory = factoryFromFile(*name, control->module_);
    if (!factory) {
        reportComFailure(engine, FAILED(status) ? status : REGDB_E_CLASSNOTREG);
        return;
    }
    status = createObject(factory.get(), key, control->object_);
    if (FAILED(status)) {
        reportComFailure(engine, status);
        return;
    }

    int width = place.right - place.left, height = place.bottom - place.top;
    control->container_ = CreateWindowExW(0, kContainerClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                          place.left, place.top, width, height, parent,
                                          reinterpret_cast<HMENU>(static_cast<intptr_t>(kControlId)),
                                          GetModuleHandleW(nullptr), nullptr);
    if (!control->container_)
        return;
    RECT inside{0, 0, width, height};
    control->site_.reset(new ControlSite(control->container_, inside));
    IOleObject* object = control->object_.get();
    DWORD misc = 0;
    object->GetMiscStatus(DVASPECT_CONTENT, &misc);
    bool siteFirst = misc & OLEMISC_SETCLIENTSITEFIRST;
    if (siteFirst)
        object->SetClientSite(control->site_.get());
    if (properties) {
        ComPtr<InitialProperties> bag(new InitialProperties(*properties));
        auto persist = control->object_.query<IPersistPropertyBag>(IID_IPersistPropertyBag);
        status = persist ? persist->Load(bag.get(), nullptr) : E_NOINTERFACE;
    } else if (auto stream = control->object_.query<IPersistStreamInit>(IID_IPersistStreamInit)) {
        status = stream->InitNew();
    } else if (auto bag = control->object_.query<IPersistPropertyBag>(IID_IPersistPropertyBag)) {
        status = bag->InitNew();
    }
    if (FAILED(status)) {
        reportComFailure(engine, status);
        return;
    }
    if (!siteFirst)
        object->SetClientSite(control->site_.get());
    status = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, control->site_.get(), 0, control->container_, &inside);
    if (FAILED(status)) {
        reportComFailure(engine, status);
        return;
    }
    ComPtr<IDispatch> dispatch = control->object_.query<IDispatch>(IID_IDispatch);
    quill::RootedValues parts(engine);
    parts.values = {newActiveXObject(engine, dispatch.get()), Value::null()};
    if (parts.values[0].isNull() || !makeWindowObject(engine, control->container_, parts.values[1]))
        return;
    control->activex = parts.values[0];
    control->window = parts.values[1];
    auto handle = std::make_unique<NativeHandle<HostedControl>>();
    handle->object = std::move(control);
    if (quill::newHostObject(engine, "ActiveXControl", handle.get(), result))
        handle.release(); // the new object owns it
}

// ---- ActiveXControl ------------------------------------------------------------------

void activex(HostedControl& control, MemberCall& c) {
    if (!c.put)
        c.value = control.activex;
}
void window(HostedControl& control, MemberCall& c) {
    if (!c.put)
        c.value = control.window;
}
void destroy(HostedControl& control, MemberCall& c) {
    bool had = control.container_ != nullptr;
    control.destroy();
    c.result = booleanResult(had);
}

constexpr Member kControlMembers[] = {
    property<activex>("activex"),
    property<window>("window"),
    method<destroy>("destroy", Fallback::False),
};

} // namespace

void registerActiveXControlClasses(Engine& engine) {
    quill::defineGlobalFunction(engine, "createControl", createControl);
    registerHostClass(engine, {.className = "ActiveXControl",
                               .members = kControlMembers,
                               .destroyData = destroyHandle<HostedControl>,
                               .markData = markHandle<HostedControl>});
}

} // namespace paloma::host
