#pragma once
// One base for the program's own COM objects (the Flash control's site, the
// event sinks, the stand-in player of the tests, and the sites and sinks of
// host classes still to come). Windows only.
//
//     class Site final : public ComObject<IOleClientSite, DispatchByIdOnly> {
//         void* findInterface(REFIID iid) override {
//             if (iid == IID_IUnknown || iid == IID_IOleClientSite)
//                 return static_cast<IOleClientSite*>(this);
//             if (iid == IID_IDispatch)
//                 return static_cast<IDispatch*>(this);
//             return nullptr;
//         }
//         ... the interfaces' own methods ...
//     };
//     ComPtr<Site> site(new Site);   // made with one reference, the creator's
//
// ComObject gives IUnknown: QueryInterface through findInterface (which
// must answer IID_IUnknown with the same pointer every time), AddRef, and a
// Release that deletes the object with its last reference. A second
// identity that lives inside an object and shares its count (an event sink
// beside its site) is a ComPart. DispatchByIdOnly is an IDispatch without
// type information and without names, reached by DISPID only: the object
// writes Invoke.

#include <windows.h>
#include <oaidl.h>
#include <ole2.h>

#include <atomic>

namespace paloma::host {

template <class... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = findInterface(iid);
        if (!*out)
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

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

    // The object's pointer for the interface, or null when it has none.
    virtual void* findInterface(REFIID iid) = 0;

private:
    std::atomic<long> refs_{1};
};

// An interface implemented inside an object that owns its life: AddRef and
// Release go to the owner; QueryInterface answers through findInterface.
template <class Interface>
class ComPart : public Interface {
public:
    explicit ComPart(IUnknown& owner) : owner_(owner) {}
    ComPart(const ComPart&) = delete;
    ComPart& operator=(const ComPart&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = findInterface(iid);
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }

protected:
    virtual ~ComPart() = default;
    virtual void* findInterface(REFIID iid) = 0;
    IUnknown& owner() { return owner_; }

private:
    IUnknown& owner_;
};

// IDispatch without type information: no type info and no names; the
// object implements Invoke.
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

} // namespace paloma::host
