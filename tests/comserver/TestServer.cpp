// The test COM server (palomatestcom.dll): one class, Paloma.TestCounter,
// described by the type library in the DLL's resources (TestServer.idl).
// It fires events with by-reference parameters, notifies property changes,
// raises exceptions, takes by-reference parameters, can be disconnected, and
// counts its live objects so that tests can see every reference returned.
#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <map>
#include <new>
#include <string>

namespace {

// {44D1D978-6D05-48B2-831B-5935347BE674} library, {53AC6034-...} ITestCounter,
// {41B22AC2-...} DTestCounterEvents, {E4AAC6CB-...} TestCounter.
const GUID kLibId = {0x44D1D978, 0x6D05, 0x48B2, {0x83, 0x1B, 0x59, 0x35, 0x34, 0x7B, 0xE6, 0x74}};
const IID kIidCounter = {0x53AC6034, 0xFBDA, 0x4953, {0xA1, 0x63, 0x97, 0x57, 0xDF, 0xE2, 0x32, 0x27}};
const IID kIidEvents = {0x41B22AC2, 0x6ACA, 0x4478, {0x8A, 0x9C, 0x5D, 0x6C, 0xB5, 0xDA, 0x40, 0xDC}};
const CLSID kClsid = {0xE4AAC6CB, 0x55EC, 0x4A8F, {0xB2, 0x64, 0x5E, 0x54, 0x74, 0x23, 0x28, 0xC8}};
const wchar_t kClsidText[] = L"{E4AAC6CB-55EC-4A8F-B264-5E54742328C8}";
const wchar_t kProgId[] = L"Paloma.TestCounter";

constexpr DISPID kValueId = 1;
constexpr DISPID kRaiseId = 3;
constexpr DISPID kLiveId = 5;
constexpr DISPID kChangedId = 1;

HMODULE gModule = nullptr;
std::atomic<long> gLive{0};
std::atomic<long> gLocks{0};

struct ITestCounter : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Value(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Value(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Fire(LONG number, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Raise(BSTR description) = 0;
    virtual HRESULT STDMETHODCALLTYPE Twist(LONG* number, BSTR* text) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Live(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE Spawn(ITestCounter** counter) = 0;
};

ITypeLib* typeLibrary() {
    static ITypeLib* library = [] {
        wchar_t path[MAX_PATH];
        ITypeLib* loaded = nullptr;
        if (GetModuleFileNameW(gModule, path, MAX_PATH))
            LoadTypeLibEx(path, REGKIND_NONE, &loaded);
        return loaded;
    }();
    return library;
}

ITypeInfo* typeInfoOf(const GUID& guid) {
    ITypeInfo* info = nullptr;
    if (ITypeLib* library = typeLibrary())
        library->GetTypeInfoOfGuid(guid, &info);
    return info;
}

class Counter;

// One connection point: the sinks advised to it, by cookie.
class Point final : public IConnectionPoint {
public:
    Point(Counter& owner, const IID& iid) : owner_(owner), iid_(iid) {}
    ~Point() { clear(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (riid != IID_IUnknown && riid != IID_IConnectionPoint)
            return E_NOINTERFACE;
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        *iid = iid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie)
            return E_POINTER;
        IUnknown* wanted = nullptr;
        if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&wanted))))
            return CONNECT_E_CANNOTCONNECT;
        *cookie = ++next_;
        sinks_[*cookie] = wanted;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        auto found = sinks_.find(cookie);
        if (found == sinks_.end())
            return CONNECT_E_NOCONNECTION;
        IUnknown* sink = found->second;
        sinks_.erase(found);
        sink->Release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    // The sinks now (a handler may unadvise while being called).
    template <class F>
    void each(F f) {
        std::map<DWORD, IUnknown*> now = sinks_;
        for (auto& [cookie, sink] : now) {
            sink->AddRef();
            f(sink);
            sink->Release();
        }
    }
    void clear() {
        for (auto& [cookie, sink] : sinks_)
            sink->Release();
        sinks_.clear();
    }

private:
    Counter& owner_;
    IID iid_;
    DWORD next_ = 0;
    std::map<DWORD, IUnknown*> sinks_;
};

class Counter final : public ITestCounter, public IProvideClassInfo, public IConnectionPointContainer {
public:
    Counter() : events_(*this, kIidEvents), notify_(*this, IID_IPropertyNotifySink) {
        ++gLive;
        info_ = typeInfoOf(kIidCounter);
    }
    ~Counter() {
        if (info_)
            info_->Release();
        --gLive;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIidCounter)
            *out = static_cast<ITestCounter*>(this);
        else if (riid == IID_IProvideClassInfo)
            *out = static_cast<IProvideClassInfo*>(this);
        else if (riid == IID_IConnectionPointContainer)
            *out = static_cast<IConnectionPointContainer*>(this);
        else
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

    // IDispatch through the type library; Raise fills the exception itself.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = info_ ? 1 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (index != 0 || !info_)
            return DISP_E_BADINDEX;
        info_->AddRef();
        *out = info_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return info_ ? DispGetIDsOfNames(info_, names, count, ids) : E_UNEXPECTED;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override {
        if (closed_ && id != kLiveId)
            return RPC_E_DISCONNECTED;
        if (id == kRaiseId) {
            if (!params || params->cArgs != 1 || params->rgvarg[0].vt != VT_BSTR)
                return DISP_E_TYPEMISMATCH;
            if (exception) {
                *exception = EXCEPINFO{};
                exception->scode = E_FAIL;
                exception->bstrSource = SysAllocString(L"PalomaTestServer");
                exception->bstrDescription = SysAllocString(params->rgvarg[0].bstrVal);
                exception->bstrHelpFile = SysAllocString(L"counter.hlp");
            }
            return DISP_E_EXCEPTION;
        }
        return DispInvoke(static_cast<ITestCounter*>(this), info_, id, flags, params, result, exception, argError);
    }

    // ITestCounter
    HRESULT STDMETHODCALLTYPE get_Value(LONG* value) override {
        *value = value_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Value(LONG value) override {
        notifyAll(true);
        value_ = value;
        notifyAll(false);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Fire(LONG number, BSTR* result) override {
        LONG reply = number + 1;
        BSTR note = SysAllocString(L"note");
        events_.each([&](IUnknown* sink) {
            auto* dispatch = static_cast<IDispatch*>(sink);
            VARIANT args[3];
            for (VARIANT& a : args)
                VariantInit(&a);
            args[0].vt = VT_BYREF | VT_BSTR;
            args[0].pbstrVal = &note;
            args[1].vt = VT_BYREF | VT_I4;
            args[1].plVal = &reply;
            args[2].vt = VT_I4;
            args[2].lVal = number;
            DISPPARAMS dp{args, nullptr, 3, 0};
            dispatch->Invoke(kChangedId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, nullptr, nullptr,
                             nullptr);
        });
        std::wstring text = std::to_wstring(reply) + L":" + (note ? note : L"");
        SysFreeString(note);
        *result = SysAllocString(text.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Raise(BSTR) override { return E_FAIL; } // answered by Invoke
    HRESULT STDMETHODCALLTYPE Twist(LONG* number, BSTR* text) override {
        *number *= 2;
        std::wstring reversed(*text ? *text : L"");
        reversed.assign(reversed.rbegin(), reversed.rend());
        SysFreeString(*text);
        *text = SysAllocString(reversed.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Live(LONG* count) override {
        *count = gLive;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close() override {
        closed_ = true;
        events_.clear();
        notify_.clear();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Spawn(ITestCounter** counter) override {
        *counter = new (std::nothrow) Counter;
        return *counter ? S_OK : E_OUTOFMEMORY;
    }

    // IProvideClassInfo
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
        *out = typeInfoOf(kClsid);
        return *out ? S_OK : E_FAIL;
    }

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (closed_)
            return CONNECT_E_NOCONNECTION;
        if (iid == kIidEvents)
            *out = &events_;
        else if (iid == IID_IPropertyNotifySink)
            *out = &notify_;
        else
            return CONNECT_E_NOCONNECTION;
        (*out)->AddRef();
        return S_OK;
    }

private:
    void notifyAll(bool before) {
        notify_.each([&](IUnknown* sink) {
            auto* s = static_cast<IPropertyNotifySink*>(sink);
            before ? s->OnRequestEdit(kValueId) : s->OnChanged(kValueId);
        });
    }

    std::atomic<long> refs_{1};
    ITypeInfo* info_ = nullptr;
    LONG value_ = 0;
    bool closed_ = false;
    Point events_;
    Point notify_;
};

ULONG Point::AddRef() { return owner_.AddRef(); }
ULONG Point::Release() { return owner_.Release(); }
HRESULT Point::GetConnectionPointContainer(IConnectionPointContainer** out) {
    return owner_.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* counter = new (std::nothrow) Counter;
        if (!counter)
            return E_OUTOFMEMORY;
        HRESULT hr = counter->QueryInterface(riid, out);
        counter->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++gLocks : --gLocks;
        return S_OK;
    }
};

ClassFactory gFactory;

LONG setKey(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc;
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (clsid != kClsid)
        return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return gLive == 0 && gLocks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(gModule, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return SELFREG_E_CLASS;
    std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
    if (setKey(clsidKey, nullptr, L"Paloma test counter") != ERROR_SUCCESS ||
        setKey(clsidKey + L"\\InprocServer32", nullptr, path) != ERROR_SUCCESS ||
        setKey(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") != ERROR_SUCCESS ||
        setKey(clsidKey + L"\\ProgID", nullptr, kProgId) != ERROR_SUCCESS ||
        setKey(std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    ITypeLib* library = typeLibrary();
    if (!library || FAILED(RegisterTypeLib(library, path, nullptr)))
        return SELFREG_E_TYPELIB;
    return S_OK;
}

STDAPI DllUnregisterServer() {
    std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
    RegDeleteTreeW(HKEY_CLASSES_ROOT, clsidKey.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, clsidKey.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kProgId);
#ifdef _WIN64
    UnRegisterTypeLib(kLibId, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
#else
    UnRegisterTypeLib(kLibId, 1, 0, LOCALE_NEUTRAL, SYS_WIN32);
#endif
    return S_OK;
}

// Objects of the server alive in this process (for tests that check that
// every reference was returned).
__declspec(dllexport) LONG TestServerLiveObjects() { return gLive; }

} // extern "C"
