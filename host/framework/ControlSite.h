#pragma once
// The client site, in-place site and in-place frame that a container gives
// an OLE control it shows in one of its windows (the player's control, and
// controls scripts create). The site has no menus, no tool space and no undo;
// what differs between containers is where the control lives:
//
//     class Site final : public ControlSiteBase<DispatchByIdOnly> {
//         HWND siteWindow() override { ... }
//         RECT siteRect() override { ... }
//         void siteRectChanged(const RECT& rect) override { ... }
//         void* findInterface(REFIID iid) override {
//             if (void* site = findSiteInterface(iid))
//                 return site;
//             ... the extra interfaces ...
//         }
//     };
// Windows only.

#include "host/framework/ComObject.h"

namespace paloma::host {

template <class... Extra>
class ControlSiteBase : public ComObject<IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame, Extra...> {
public:
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
        *out = siteWindow();
        return *out ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return S_OK; }

    // --- IOleInPlaceSite ----------------------------------------------------
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return siteAttached() ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !doc || !pos || !clip || !info)
            return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        this->AddRef();
        *doc = nullptr;
        RECT rect = siteRect();
        *pos = rect;
        *clip = rect;
        info->fMDIApp = FALSE;
        info->hwndFrame = siteWindow();
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
        siteRectChanged(*rect);
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

protected:
    // The container window the control lives in (null: none to give).
    virtual HWND siteWindow() = 0;
    // False once the container has gone: the control is refused activation.
    virtual bool siteAttached() { return siteWindow() != nullptr; }
    // The control's rectangle in that window.
    virtual RECT siteRect() = 0;
    // The control asks for another rectangle.
    virtual void siteRectChanged(const RECT& rect) = 0;

    // The site's own interfaces, for the derived class's findInterface.
    void* findSiteInterface(REFIID iid) {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            return static_cast<IOleClientSite*>(this);
        if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            return static_cast<IOleInPlaceSite*>(this);
        if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
            return static_cast<IOleInPlaceFrame*>(this);
        return nullptr;
    }
};

} // namespace paloma::host
