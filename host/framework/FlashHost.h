#pragma once
// The ActiveX container of one Shockwave Flash control: the client site, the
// in-place site and frame, the ambient properties and the sink of the
// control's events (FSCommand and FlashCall). It creates the control from a
// module file or through COM, activates it in place as a child window, and
// offers calls of the control's automation interface by member name. The
// shell's player window and every script Form host their control with it.

#include <ocidl.h>
#include <oleauto.h>
#include <windows.h>

#include <string>
#include <vector>

#include "host/framework/WinHandles.h"

namespace paloma::host {

extern const CLSID kClsidShockwaveFlash;
extern const IID kDiidShockwaveFlashEvents;
inline constexpr wchar_t kClsidShockwaveFlashText[] = L"{D27CDB6E-AE6D-11CF-96B8-444553540000}";

// Event DISPIDs of the control's event interface.
inline constexpr DISPID kDispidFSCommand = 150;
inline constexpr DISPID kDispidFlashCall = 197;

class FlashEvents {
public:
    virtual ~FlashEvents() = default;
    virtual void onFSCommand(const std::wstring& command, const std::wstring& args) = 0;
    virtual void onFlashCall(const std::wstring& request) = 0;
};

class FlashSite;

class FlashHost {
public:
    explicit FlashHost(FlashEvents& events);
    FlashHost(const FlashHost&) = delete;
    FlashHost& operator=(const FlashHost&) = delete;
    ~FlashHost();

    // Creates the control as a visible child of `parent` with the given ID
    // and rectangle. With a module path the control comes from that file (its
    // module handle is returned in `module` and stays loaded), else from COM.
    // With `initial`, the control's first properties are loaded from that
    // bag (IPersistPropertyBag::Load) instead of starting empty.
    bool create(HWND parent, int id, const RECT& rect, const std::wstring& modulePath, HMODULE* module,
                IPropertyBag* initial = nullptr);
    // Deactivates and releases the control; the host can create again.
    void close();

    bool created() const { return bool(dispatch_); }
    HWND window() const { return window_; }
    IDispatch* dispatch() const { return dispatch_.get(); }
    void setRect(const RECT& rect);

    // Calls of the automation interface by member name. Arguments are given
    // left to right.
    HRESULT put(const wchar_t* name, const VARIANT& value);
    HRESULT put(const wchar_t* name, long value);
    HRESULT put(const wchar_t* name, const std::wstring& value);
    HRESULT get(const wchar_t* name, VARIANT* result);
    HRESULT call(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result);

private:
    friend class FlashSite;
    FlashEvents& events_;
    ComPtr<FlashSite> site_;
    ComPtr<IOleObject> object_;
    ComPtr<IDispatch> dispatch_;
    ComPtr<IConnectionPoint> eventPoint_;
    DWORD eventCookie_ = 0;
    HWND parent_ = nullptr;
    HWND window_ = nullptr;
    RECT rect_{};
};

// Calls of an automation interface by member name (GetIDsOfNames, then
// Invoke); arguments are given left to right.
HRESULT dispatchGet(IDispatch* dispatch, const wchar_t* name, VARIANT* result);
HRESULT dispatchPut(IDispatch* dispatch, const wchar_t* name, const VARIANT& value);
HRESULT dispatchCall(IDispatch* dispatch, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result);

// A BSTR VARIANT that owns its text; VariantClear releases it.
VARIANT textVariant(const std::wstring& text);
std::wstring variantToText(const VARIANT& value);

} // namespace paloma::host
