// The stand-in Shockwave Flash control: an in-process COM server with the
// control's CLSID and dispatch members, for running the runtime where no real
// player exists. It embeds like an ActiveX control (OLE object, in-place
// object, view object, persistence, connection points), reads the header of
// the movie it is given, plays the movie's companion event script (see
// EventScript.h), keeps movie variables, paints what it knows, and appends
// every call it receives to the log named by PALOMA_FAKEPLAYER_LOG.
#include "app/MovieHeader.h"
#include "host/framework/ComObject.h"
#include "tests/fakeplayer/EventScript.h"

#include <windows.h>
#include <commdlg.h>
#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Identity
// ---------------------------------------------------------------------------

const CLSID kClsidFlash = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID kIidFlash = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID kDiidFlashEvents = {0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const wchar_t kClsidText[] = L"{D27CDB6E-AE6D-11CF-96B8-444553540000}";
const wchar_t kProgId[] = L"ShockwaveFlash.ShockwaveFlash";
const wchar_t kWindowClass[] = L"PalomaStandInPlayer";

HMODULE gModule = nullptr;
std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};

// Dispatch members, with the control's own DISPIDs.
enum : DISPID {
    kReadyState = -525,
    kMovie = 0x66,
    kQuality = 0x69,
    kLoop = 0x6a,
    kFrameNum = 0x6b,
    kSetZoomRect = 0x6d,
    kPlay = 0x70,
    kStop = 0x71,
    kBack = 0x72,
    kForward = 0x73,
    kRewind = 0x74,
    kZoom = 0x76,
    kPan = 0x77,
    kScaleMode = 0x78,
    kAlignMode = 0x79,
    kBackgroundColor = 0x7b,
    kTotalFrames = 0x7c,
    kPlaying = 0x7d,
    kStopPlay = 0x7e,
    kGotoFrame = 0x7f,
    kCurrentFrame = 0x80,
    kIsPlaying = 0x81,
    kPercentLoaded = 0x82,
    kFrameLoaded = 0x83,
    kFlashVersion = 0x84,
    kWMode = 0x85,
    kSAlign = 0x86,
    kMenu = 0x87,
    kBase = 0x88,
    kScale = 0x89,
    kDeviceFont = 0x8a,
    kEmbedMovie = 0x8b,
    kBGColor = 0x8c,
    kQuality2 = 0x8d,
    kLoadMovie = 0x8e,
    kTGotoFrame = 0x8f,
    kTGotoLabel = 0x90,
    kTCurrentFrame = 0x91,
    kTCurrentLabel = 0x92,
    kTPlay = 0x93,
    kTStopPlay = 0x94,
    kFSCommandEvent = 0x96,
    kSetVariable = 0x97,
    kGetVariable = 0x98,
    kTSetProperty = 0x99,
    kTGetProperty = 0x9a,
    kTCallFrame = 0x9b,
    kTCallLabel = 0x9c,
    kTSetPropertyNum = 0x9d,
    kTGetPropertyNum = 0x9e,
    kSWRemote = 0x9f,
    kFlashVars = 0xaa,
    kAllowScriptAccess = 0xab,
    kTGetPropertyAsNumber = 0xac,
    kFlashCallEvent = 0xc5,
    kCallFunction = 0xc6,
    kSetReturnValue = 0xc7,
};

struct Member {
    const wchar_t* name;
    DISPID id;
    bool method;
};

const Member kMembers[] = {
    {L"ReadyState", kReadyState, false},   {L"TotalFrames", kTotalFrames, false},
    {L"Playing", kPlaying, false},         {L"Quality", kQuality, false},
    {L"ScaleMode", kScaleMode, false},     {L"AlignMode", kAlignMode, false},
    {L"BackgroundColor", kBackgroundColor, false}, {L"Loop", kLoop, false},
    {L"Movie", kMovie, false},             {L"FrameNum", kFrameNum, false},
    {L"SetZoomRect", kSetZoomRect, true},  {L"Zoom", kZoom, true},
    {L"Pan", kPan, true},                  {L"Play", kPlay, true},
    {L"Stop", kStop, true},                {L"Back", kBack, true},
    {L"Forward", kForward, true},          {L"Rewind", kRewind, true},
    {L"StopPlay", kStopPlay, true},        {L"GotoFrame", kGotoFrame, true},
    {L"CurrentFrame", kCurrentFrame, true}, {L"IsPlaying", kIsPlaying, true},
    {L"PercentLoaded", kPercentLoaded, true}, {L"FrameLoaded", kFrameLoaded, true},
    {L"FlashVersion", kFlashVersion, true}, {L"WMode", kWMode, false},
    {L"SAlign", kSAlign, false},           {L"Menu", kMenu, false},
    {L"Base", kBase, false},               {L"Scale", kScale, false},
    {L"DeviceFont", kDeviceFont, false},   {L"EmbedMovie", kEmbedMovie, false},
    {L"BGColor", kBGColor, false},         {L"Quality2", kQuality2, false},
    {L"LoadMovie", kLoadMovie, true},      {L"TGotoFrame", kTGotoFrame, true},
    {L"TGotoLabel", kTGotoLabel, true},    {L"TCurrentFrame", kTCurrentFrame, true},
    {L"TCurrentLabel", kTCurrentLabel, true}, {L"TPlay", kTPlay, true},
    {L"TStopPlay", kTStopPlay, true},      {L"SetVariable", kSetVariable, true},
    {L"GetVariable", kGetVariable, true},  {L"TSetProperty", kTSetProperty, true},
    {L"TGetProperty", kTGetProperty, true}, {L"TCallFrame", kTCallFrame, true},
    {L"TCallLabel", kTCallLabel, true},    {L"TSetPropertyNum", kTSetPropertyNum, true},
    {L"TGetPropertyNum", kTGetPropertyNum, true}, {L"TGetPropertyAsNumber", kTGetPropertyAsNumber, true},
    {L"SWRemote", kSWRemote, false},       {L"FlashVars", kFlashVars, false},
    {L"AllowScriptAccess", kAllowScriptAccess, false}, {L"CallFunction", kCallFunction, true},
    {L"SetReturnValue", kSetReturnValue, true},
};

const Member* memberById(DISPID id) {
    for (const Member& m : kMembers)
        if (m.id == id)
            return &m;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Log and text helpers
// ---------------------------------------------------------------------------

std::string toUtf8(const std::wstring& text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

std::wstring escapeLine(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\n')
            out += L"\\n";
        else if (c == L'\r')
            out += L"\\r";
        else
            out += c;
    }
    return out;
}

// One line per call, opened and closed each time so that a reader sees every
// line at once, even when the process ends abruptly.
void logLine(const std::wstring& line) {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(L"PALOMA_FAKEPLAYER_LOG", path, DWORD(std::size(path)));
    if (n == 0 || n >= std::size(path))
        return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string bytes = toUtf8(escapeLine(line)) + "\n";
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

bool readFile(const std::wstring& path, std::vector<uint8_t>& out, size_t limit) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    out.resize(limit);
    DWORD got = 0;
    BOOL ok = ReadFile(file, out.data(), DWORD(limit), &got, nullptr);
    CloseHandle(file);
    out.resize(ok ? got : 0);
    return ok;
}

// Text of a VARIANT for the log and for string arguments.
std::wstring variantText(const VARIANT& v) {
    if (v.vt == VT_BSTR)
        return v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring();
    VARIANT copy;
    VariantInit(&copy);
    std::wstring out;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), VARIANT_ALPHABOOL, VT_BSTR)) && copy.bstrVal)
        out.assign(copy.bstrVal, SysStringLen(copy.bstrVal));
    VariantClear(&copy);
    return out;
}

bool variantLong(const VARIANT& v, long& out) {
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_I4)))
        return false;
    out = copy.lVal;
    return true;
}

bool variantDouble(const VARIANT& v, double& out) {
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_R8)))
        return false;
    out = copy.dblVal;
    return true;
}

void setResultText(VARIANT* result, const std::wstring& text) {
    if (!result)
        return;
    VariantInit(result);
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
}

void setResultLong(VARIANT* result, long value) {
    if (!result)
        return;
    VariantInit(result);
    result->vt = VT_I4;
    result->lVal = value;
}

void setResultBool(VARIANT* result, bool value) {
    if (!result)
        return;
    VariantInit(result);
    result->vt = VT_BOOL;
    result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void setResultDouble(VARIANT* result, double value) {
    if (!result)
        return;
    VariantInit(result);
    result->vt = VT_R8;
    result->dblVal = value;
}

std::wstring fileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// "file:///C:/x/y.swf" and plain paths both name a local file.
std::wstring localPath(std::wstring movie) {
    const std::wstring prefix = L"file:///";
    if (movie.size() > prefix.size() && _wcsnicmp(movie.c_str(), prefix.c_str(), prefix.size()) == 0) {
        movie = movie.substr(prefix.size());
        std::replace(movie.begin(), movie.end(), L'/', L'\\');
    }
    return movie;
}

// ---------------------------------------------------------------------------
// The control
// ---------------------------------------------------------------------------

class FlashControl;

// The connection point of the event dispinterface: a list of sinks.
class EventPoint final : public paloma::host::ComPart<IConnectionPoint> {
public:
    explicit EventPoint(FlashControl& owner);
    ~EventPoint() { clear(); }

    void clear() {
        for (auto& [cookie, sink] : sinks_)
            sink->Release();
        sinks_.clear();
    }

    // A snapshot with references, so that a sink may unadvise while it is called.
    std::vector<IDispatch*> snapshot() {
        std::vector<IDispatch*> out;
        for (auto& [cookie, sink] : sinks_) {
            sink->AddRef();
            out.push_back(sink);
        }
        return out;
    }

    void* findInterface(REFIID riid) override {
        return riid == IID_IUnknown || riid == IID_IConnectionPoint ? static_cast<IConnectionPoint*>(this) : nullptr;
    }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid)
            return E_POINTER;
        *iid = kDiidFlashEvents;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie)
            return E_POINTER;
        IDispatch* dispatch = nullptr;
        if (FAILED(sink->QueryInterface(kDiidFlashEvents, reinterpret_cast<void**>(&dispatch))) &&
            FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
            return CONNECT_E_CANNOTCONNECT;
        *cookie = ++lastCookie_;
        sinks_[*cookie] = dispatch;
        logLine(L"advise " + std::to_wstring(*cookie));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        auto it = sinks_.find(cookie);
        if (it == sinks_.end())
            return CONNECT_E_NOCONNECTION;
        IDispatch* sink = it->second;
        sinks_.erase(it);
        sink->Release();
        logLine(L"unadvise " + std::to_wstring(cookie));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    FlashControl& owner_;
    std::map<DWORD, IDispatch*> sinks_;
    DWORD lastCookie_ = 0;
};

class FlashControl final
    : public paloma::host::ComObject<IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject, IViewObject2,
                                     IPersistStreamInit, IPersistPropertyBag, IConnectionPointContainer,
                                     IProvideClassInfo, IDispatch> {
public:
    FlashControl() : events_(*this) {
        ++gObjects;
        logLine(L"create");
    }
    ~FlashControl() override {
        destroyWindow();
        events_.clear();
        if (site_)
            site_->Release();
        clearProperties();
        --gObjects;
    }

    // --- IUnknown ---------------------------------------------------------
    void* findInterface(REFIID riid) override {
        if (riid == IID_IUnknown || riid == IID_IOleObject)
            return static_cast<IOleObject*>(this);
        if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject)
            return static_cast<IOleInPlaceObject*>(this);
        if (riid == IID_IOleInPlaceActiveObject)
            return static_cast<IOleInPlaceActiveObject*>(this);
        if (riid == IID_IViewObject || riid == IID_IViewObject2)
            return static_cast<IViewObject2*>(this);
        if (riid == IID_IPersist || riid == IID_IPersistStreamInit)
            return static_cast<IPersistStreamInit*>(this);
        if (riid == IID_IPersistPropertyBag)
            return static_cast<IPersistPropertyBag*>(this);
        if (riid == IID_IConnectionPointContainer)
            return static_cast<IConnectionPointContainer*>(this);
        if (riid == IID_IProvideClassInfo)
            return static_cast<IProvideClassInfo*>(this);
        if (riid == IID_IDispatch || riid == kIidFlash)
            return static_cast<IDispatch*>(this);
        return nullptr;
    }

    // --- IOleObject -------------------------------------------------------
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        if (site_)
            site_->Release();
        site_ = site;
        if (site_) {
            site_->AddRef();
            readAmbientProperties();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** out) override {
        if (!out)
            return E_POINTER;
        *out = site_;
        if (site_)
            site_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override {
        logLine(L"close");
        InPlaceDeactivate();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                     LPCRECT rect) override {
        switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE:
        case OLEIVERB_UIACTIVATE:
            return activate(site ? site : site_, parent, rect, verb == OLEIVERB_UIACTIVATE);
        case OLEIVERB_HIDE:
            if (window_)
                ShowWindow(window_, SW_HIDE);
            return S_OK;
        default:
            return OLEOBJ_S_INVALIDVERB;
        }
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return OLEOBJ_E_NOVERBS; }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override {
        if (aspect != DVASPECT_CONTENT || !size)
            return E_INVALIDARG;
        extent_ = *size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override {
        if (aspect != DVASPECT_CONTENT || !size)
            return E_INVALIDARG;
        *size = extent_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD* cookie) override {
        if (cookie)
            *cookie = 0;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
        if (!status)
            return E_POINTER;
        *status = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT |
                  OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // --- IOleWindow / IOleInPlaceObject / IOleInPlaceActiveObject ----------
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
        if (!out)
            return E_POINTER;
        *out = window_;
        return window_ ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override {
        if (!window_)
            return S_OK;
        destroyWindow();
        if (IOleInPlaceSite* site = inPlaceSite()) {
            site->OnInPlaceDeactivate();
            site->Release();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT pos, LPCRECT) override {
        if (!pos)
            return E_POINTER;
        rect_ = *pos;
        if (window_)
            MoveWindow(window_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

    // --- IViewObject2 -------------------------------------------------------
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdc, LPCRECTL bounds,
                                   LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override {
        if (aspect != DVASPECT_CONTENT || !hdc || !bounds)
            return DV_E_DVASPECT;
        RECT rc = {bounds->left, bounds->top, bounds->right, bounds->bottom};
        paint(hdc, rc);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD, DWORD, IAdviseSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD*, DWORD*, IAdviseSink**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override {
        return GetExtent(aspect, size);
    }

    // --- IPersistStreamInit / IPersistPropertyBag ---------------------------
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        if (!clsid)
            return E_POINTER;
        *clsid = kClsidFlash;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override {
        if (!size)
            return E_POINTER;
        size->QuadPart = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InitNew() override {
        logLine(L"initnew");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override {
        if (!bag)
            return E_POINTER;
        logLine(L"load");
        // FlashVars first: the movie sees them as it loads.
        for (auto [name, id] : {std::pair{L"FlashVars", kFlashVars}, std::pair{L"Movie", kMovie}}) {
            VARIANT v;
            VariantInit(&v);
            v.vt = VT_BSTR;
            if (SUCCEEDED(bag->Read(name, &v, log)) && v.vt == VT_BSTR)
                putProperty(id, v);
            VariantClear(&v);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag*, BOOL, BOOL) override { return S_OK; }

    // --- IConnectionPointContainer / IProvideClassInfo ----------------------
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (riid != kDiidFlashEvents)
            return CONNECT_E_NOCONNECTION;
        *out = &events_;
        events_.AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }

    // --- IDispatch ----------------------------------------------------------
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
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids)
            return E_POINTER;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (i > 0) {
                hr = DISP_E_UNKNOWNNAME; // no named arguments
                continue;
            }
            for (const Member& m : kMembers)
                if (names[i] && _wcsicmp(names[i], m.name) == 0)
                    ids[i] = m.id;
            if (ids[i] == DISPID_UNKNOWN)
                hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT* argError) override;

    // --- Operations used by the window and the script -----------------------
    LRESULT windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    HRESULT activate(IOleClientSite* site, HWND parent, LPCRECT rect, bool uiActivate);
    void destroyWindow();
    IOleInPlaceSite* inPlaceSite() {
        IOleInPlaceSite* site = nullptr;
        if (site_)
            site_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site));
        return site;
    }
    void readAmbientProperties();
    void putProperty(DISPID id, const VARIANT& value);
    void clearProperties() {
        for (auto& [id, v] : properties_)
            VariantClear(&v);
        properties_.clear();
    }
    void loadMovie(const std::wstring& movie);
    void startScript();
    void runNextStep();
    void fire(DISPID id, const std::vector<std::wstring>& args);
    void noteEvent(const std::wstring& text) {
        lastEvents_.push_back(text);
        while (lastEvents_.size() > 6)
            lastEvents_.pop_front();
        if (window_)
            InvalidateRect(window_, nullptr, TRUE);
    }
    void paint(HDC hdc, const RECT& rc);
    std::wstring callFunction(const std::wstring& request, bool& answered);

    IOleClientSite* site_ = nullptr;
    EventPoint events_;
    HWND window_ = nullptr;
    RECT rect_{};
    SIZEL extent_{14111, 10583}; // 400 x 300 at 96 dpi, in HIMETRIC
    std::map<DISPID, VARIANT> properties_;
    std::map<std::wstring, std::wstring> variables_;
    std::wstring movie_;
    std::optional<paloma::MovieHeader> header_;
    fakeplayer::EventScript script_;
    size_t nextStep_ = 0;
    bool playing_ = false;
    long currentFrame_ = 0;
    std::deque<std::wstring> lastEvents_;
    std::wstring lastReturn_;
    std::map<std::wstring, std::wstring> kept_; // keep steps: name -> answer text
    std::map<std::wstring, std::wstring> targetProperties_;

    friend class EventPoint;
};

EventPoint::EventPoint(FlashControl& owner) : ComPart(static_cast<IOleObject&>(owner)), owner_(owner) {}
HRESULT STDMETHODCALLTYPE EventPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out)
        return E_POINTER;
    *out = &owner_;
    owner_.AddRef();
    return S_OK;
}

LRESULT CALLBACK controlWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* control = reinterpret_cast<FlashControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (control)
        return control->windowProc(hwnd, msg, wParam, lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool registerWindowClass() {
    WNDCLASSW existing;
    if (GetClassInfoW(gModule, kWindowClass, &existing))
        return true;
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = controlWndProc;
    wc.hInstance = gModule;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    return RegisterClassW(&wc) != 0;
}

namespace {
// The control's window takes drops, as the real control's does; that needs
// OLE initialised on the container's thread. This target refuses them all.
class RefusingDropTarget final : public IDropTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = (iid == IID_IUnknown || iid == IID_IDropTarget) ? static_cast<IDropTarget*>(this) : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override { return refuse(effect); }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override { return refuse(effect); }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override { return refuse(effect); }

private:
    static HRESULT refuse(DWORD* effect) {
        if (effect)
            *effect = DROPEFFECT_NONE;
        return S_OK;
    }
};
RefusingDropTarget gDropTarget;
} // namespace

HRESULT FlashControl::activate(IOleClientSite* clientSite, HWND parent, LPCRECT rect, bool uiActivate) {
    if (window_) {
        ShowWindow(window_, SW_SHOW);
        return S_OK;
    }
    if (clientSite && clientSite != site_)
        SetClientSite(clientSite);
    IOleInPlaceSite* site = inPlaceSite();
    if (site && site->CanInPlaceActivate() != S_OK) {
        site->Release();
        return E_FAIL;
    }
    if (site) {
        HWND siteWindow = nullptr;
        if (SUCCEEDED(site->GetWindow(&siteWindow)) && siteWindow)
            parent = siteWindow;
        site->OnInPlaceActivate();
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* doc = nullptr;
        RECT pos{}, clip{};
        OLEINPLACEFRAMEINFO info = {};
        info.cb = sizeof(info);
        if (SUCCEEDED(site->GetWindowContext(&frame, &doc, &pos, &clip, &info))) {
            rect_ = pos;
            rect = &rect_;
        }
        if (frame)
            frame->Release();
        if (doc)
            doc->Release();
    }
    if (rect)
        rect_ = *rect;
    if (!parent || !registerWindowClass()) {
        if (site)
            site->Release();
        return E_FAIL;
    }
    window_ = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rect_.left, rect_.top,
                              rect_.right - rect_.left, rect_.bottom - rect_.top, parent, nullptr, gModule, this);
    if (!window_) {
        if (site)
            site->Release();
        return E_FAIL;
    }
    logLine(L"activate");
    HRESULT dropped = RegisterDragDrop(window_, &gDropTarget);
    if (SUCCEEDED(dropped)) {
        logLine(L"dragdrop ok");
    } else {
        wchar_t code[16];
        swprintf(code, std::size(code), L"%08lX", static_cast<unsigned long>(dropped));
        logLine(std::wstring(L"dragdrop failed ") + code);
    }
    if (site) {
        if (uiActivate)
            site->OnUIActivate();
        site->Release();
    }
    startScript();
    return S_OK;
}

void FlashControl::destroyWindow() {
    if (!window_)
        return;
    HWND w = window_;
    window_ = nullptr;
    RevokeDragDrop(w);
    SetWindowLongPtrW(w, GWLP_USERDATA, 0);
    DestroyWindow(w);
}

void FlashControl::readAmbientProperties() {
    IDispatch* ambient = nullptr;
    if (FAILED(site_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient))) || !ambient)
        return;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                  &v, nullptr, nullptr)))
        logLine(L"ambient UserMode " + variantText(v));
    VariantClear(&v);
    ambient->Release();
}

void FlashControl::putProperty(DISPID id, const VARIANT& value) {
    VARIANT& slot = properties_[id];
    VariantClear(&slot);
    VariantInit(&slot);
    VariantCopy(&slot, const_cast<VARIANT*>(&value));
    const Member* m = memberById(id);
    logLine(std::wstring(L"put ") + (m ? m->name : L"?") + L" " + variantText(value));
    if (id == kMovie)
        loadMovie(variantText(value));
    if (id == kPlaying) {
        long on = 0;
        playing_ = variantLong(value, on) && on != 0;
    }
    if (window_)
        InvalidateRect(window_, nullptr, TRUE);
}

void FlashControl::loadMovie(const std::wstring& movie) {
    movie_ = movie;
    header_.reset();
    script_ = {};
    nextStep_ = 0;
    variables_.clear();
    kept_.clear();
    currentFrame_ = 0;
    // FlashVars ("name=value&name=value") become variables of the movie.
    if (auto vars = properties_.find(kFlashVars); vars != properties_.end()) {
        std::wstring text = variantText(vars->second);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(L'&', start);
            std::wstring pair = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
            if (size_t eq = pair.find(L'='); eq != std::wstring::npos && eq > 0)
                variables_[pair.substr(0, eq)] = pair.substr(eq + 1);
            if (end == std::wstring::npos)
                break;
            start = end + 1;
        }
    }
    if (movie.empty())
        return;
    std::wstring path = localPath(movie);
    std::vector<uint8_t> bytes;
    if (readFile(path, bytes, 4096))
        header_ = paloma::readMovieHeader(bytes);
    if (header_) {
        playing_ = true;
        wchar_t line[200];
        swprintf(line, std::size(line), L"movie %ls %dx%d %.2f fps %u frames", fileName(path).c_str(),
                 header_->width(), header_->height(), header_->framesPerSecond(), unsigned(header_->frameCount));
        logLine(line);
    } else {
        logLine(L"movie " + fileName(path) + L" unreadable");
    }

    std::vector<uint8_t> scriptBytes;
    bool haveScript = readFile(path + L".events", scriptBytes, 1 << 20);
    if (!haveScript) {
        wchar_t fallback[MAX_PATH * 2];
        DWORD n = GetEnvironmentVariableW(L"PALOMA_FAKEPLAYER_SCRIPT", fallback, DWORD(std::size(fallback)));
        if (n > 0 && n < std::size(fallback))
            haveScript = readFile(fallback, scriptBytes, 1 << 20);
    }
    if (haveScript) {
        std::wstring text = fromUtf8(std::string(scriptBytes.begin(), scriptBytes.end()));
        text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
        script_ = fakeplayer::parseEventScript(text);
        logLine(L"script " + std::to_wstring(script_.steps.size()) + L" steps " +
                std::to_wstring(script_.answers.size()) + L" answers");
        for (const std::wstring& error : script_.errors)
            logLine(L"script error " + error);
    }
    startScript();
}

constexpr UINT_PTR kStepTimer = 1;
constexpr UINT kStepInterval = 10;

void FlashControl::startScript() {
    if (window_ && nextStep_ < script_.steps.size())
        SetTimer(window_, kStepTimer, kStepInterval, nullptr);
}

void FlashControl::runNextStep() {
    if (nextStep_ >= script_.steps.size())
        return;
    // Keep this object alive: an event may make the container close it.
    AddRef();
    const fakeplayer::EventStep step = script_.steps[nextStep_++];
    UINT delay = kStepInterval;
    using Kind = fakeplayer::EventStep::Kind;
    switch (step.kind) {
    case Kind::FsCommand:
        fire(kFSCommandEvent, {fakeplayer::substituteKept(step.first, kept_),
                               fakeplayer::substituteKept(step.second, kept_)});
        break;
    case Kind::FlashCall:
        lastReturn_.clear();
        fire(kFlashCallEvent, {fakeplayer::substituteKept(step.first, kept_)});
        logLine(L"returned " + lastReturn_);
        break;
    case Kind::Keep:
        kept_[step.first] = fakeplayer::answerText(lastReturn_);
        logLine(L"keep " + step.first + L" " + kept_[step.first]);
        break;
    case Kind::Wait:
        delay = step.delay;
        break;
    case Kind::Set:
        variables_[step.first] = step.second;
        logLine(L"set " + step.first + L" " + step.second);
        break;
    case Kind::Print: {
        PRINTDLGA pd = {};
        pd.lStructSize = sizeof(pd);
        pd.hwndOwner = window_;
        pd.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
        BOOL ok = PrintDlgA(&pd);
        logLine(std::wstring(L"print ") + (ok ? L"ok" : L"cancelled"));
        if (pd.hDC)
            DeleteDC(pd.hDC);
        if (pd.hDevMode)
            GlobalFree(pd.hDevMode);
        if (pd.hDevNames)
            GlobalFree(pd.hDevNames);
        break;
    }
    case Kind::Quit:
        nextStep_ = script_.steps.size();
        fire(kFSCommandEvent, {L"quit", L""});
        break;
    }
    if (window_ && nextStep_ < script_.steps.size())
        SetTimer(window_, kStepTimer, delay, nullptr);
    Release();
}

void FlashControl::fire(DISPID id, const std::vector<std::wstring>& args) {
    std::wstring name = id == kFSCommandEvent ? L"FSCommand" : L"FlashCall";
    std::wstring line = L"fire " + name;
    for (const std::wstring& a : args)
        line += L" " + a;
    logLine(line);
    noteEvent(name + L": " + (args.empty() ? L"" : args[0]) + (args.size() > 1 ? L" " + args[1] : L""));
    // Arguments go in reverse order.
    std::vector<VARIANT> vars(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        VARIANT& v = vars[args.size() - 1 - i];
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(args[i].data(), UINT(args[i].size()));
    }
    DISPPARAMS params = {vars.data(), nullptr, UINT(vars.size()), 0};
    for (IDispatch* sink : events_.snapshot()) {
        VARIANT result;
        VariantInit(&result);
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
        VariantClear(&result);
        sink->Release();
    }
    for (VARIANT& v : vars)
        VariantClear(&v);
}

std::wstring FlashControl::callFunction(const std::wstring& request, bool& answered) {
    std::wstring name = fakeplayer::invokeName(request);
    if (auto steps = script_.onCall.find(name); steps != script_.onCall.end()) {
        // Keep this object alive: an event may make the container close it.
        AddRef();
        for (const fakeplayer::EventStep& step : std::vector<fakeplayer::EventStep>(steps->second)) {
            if (step.kind == fakeplayer::EventStep::Kind::FsCommand) {
                fire(kFSCommandEvent, {step.first, step.second});
            } else {
                logLine(L"loop " + std::to_wstring(step.delay));
                startScript(); // the timed steps go on while the loop runs
                DWORD start = GetTickCount();
                MSG msg;
                bool quit = false;
                while (!quit && GetTickCount() - start < step.delay) {
                    while (!quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                        if (msg.message == WM_QUIT) {
                            // The container's loop must still see it.
                            PostQuitMessage(int(msg.wParam));
                            quit = true;
                            break;
                        }
                        TranslateMessage(&msg);
                        DispatchMessageW(&msg);
                    }
                    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
                }
                // A last pass: on a busy machine the time can run out before
                // the loop saw a timer that was due long ago.
                while (!quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    if (msg.message == WM_QUIT) {
                        PostQuitMessage(int(msg.wParam));
                        quit = true;
                        break;
                    }
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
        }
        Release();
    }
    auto it = script_.answers.find(name);
    answered = it != script_.answers.end();
    noteEvent(L"CallFunction: " + name);
    return answered ? it->second : std::wstring();
}

void FlashControl::paint(HDC hdc, const RECT& rc) {
    COLORREF background = RGB(255, 255, 255);
    auto bg = properties_.find(kBackgroundColor);
    long rgb = 0;
    if (bg != properties_.end() && variantLong(bg->second, rgb) && rgb >= 0)
        background = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    HBRUSH brush = CreateSolidBrush(background);
    FillRect(hdc, &rc, brush);
    DeleteObject(brush);

    int luminance = GetRValue(background) * 3 + GetGValue(background) * 6 + GetBValue(background);
    SetTextColor(hdc, luminance > 1275 ? RGB(0, 0, 0) : RGB(255, 255, 255));
    SetBkMode(hdc, TRANSPARENT);
    std::vector<std::wstring> lines;
    lines.push_back(L"Stand-in player");
    if (movie_.empty()) {
        lines.push_back(L"no movie");
    } else {
        lines.push_back(L"movie: " + fileName(localPath(movie_)));
        if (header_) {
            wchar_t text[160];
            swprintf(text, std::size(text), L"%d x %d, %.2f fps, %u frames", header_->width(), header_->height(),
                     header_->framesPerSecond(), unsigned(header_->frameCount));
            lines.push_back(text);
        } else {
            lines.push_back(L"header unreadable");
        }
    }
    long scale = 0;
    auto sm = properties_.find(kScaleMode);
    if (sm != properties_.end() && variantLong(sm->second, scale))
        lines.push_back(L"scale mode " + std::to_wstring(scale));
    for (const std::wstring& e : lastEvents_)
        lines.push_back(e);
    int y = rc.top + 8;
    for (const std::wstring& l : lines) {
        TextOutW(hdc, rc.left + 8, y, l.c_str(), int(l.size()));
        y += 18;
    }
}

LRESULT FlashControl::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        paint(hdc, rc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_TIMER:
        if (wParam == kStepTimer) {
            KillTimer(hwnd, kStepTimer);
            runNextStep();
            return 0;
        }
        break;
    case WM_MOUSEACTIVATE:
        return MA_ACTIVATE;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// ---------------------------------------------------------------------------
// Dispatch
// ---------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE FlashControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                               VARIANT* result, EXCEPINFO*, UINT* argError) {
    const Member* member = memberById(id);
    if (!member)
        return DISP_E_MEMBERNOTFOUND;
    static DISPPARAMS noParams = {nullptr, nullptr, 0, 0};
    if (!params)
        params = &noParams;
    UINT count = params->cArgs;
    // Argument i counted from the left.
    auto arg = [&](UINT i) -> const VARIANT& {
        const VARIANT& v = params->rgvarg[count - 1 - i];
        return v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal ? *v.pvarVal : v;
    };
    auto need = [&](UINT n) -> HRESULT {
        if (count < n) {
            return DISP_E_BADPARAMCOUNT;
        }
        return S_OK;
    };
    auto text = [&](UINT i) { return variantText(arg(i)); };
    auto number = [&](UINT i, long& out) -> bool {
        if (!variantLong(arg(i), out)) {
            if (argError)
                *argError = count - 1 - i;
            return false;
        }
        return true;
    };

    if (!member->method) {
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (count < 1)
                return DISP_E_BADPARAMCOUNT;
            if (id == kReadyState || id == kTotalFrames)
                return DISP_E_MEMBERNOTFOUND;
            putProperty(id, params->rgvarg[0]);
            return S_OK;
        }
        if (!(flags & DISPATCH_PROPERTYGET))
            return DISP_E_MEMBERNOTFOUND;
        switch (id) {
        case kReadyState:
            setResultLong(result, header_ ? 4 : 0);
            return S_OK;
        case kTotalFrames:
            setResultLong(result, header_ ? header_->frameCount : 0);
            return S_OK;
        case kPlaying:
            setResultBool(result, playing_);
            return S_OK;
        case kFrameNum:
            setResultLong(result, currentFrame_);
            return S_OK;
        }
        auto it = properties_.find(id);
        if (result) {
            VariantInit(result);
            if (it != properties_.end())
                VariantCopy(result, &it->second);
            else if (id == kQuality || id == kScaleMode || id == kAlignMode || id == kBackgroundColor)
                setResultLong(result, id == kBackgroundColor ? -1 : 0);
            else if (id == kLoop || id == kMenu || id == kEmbedMovie || id == kDeviceFont)
                setResultBool(result, id == kLoop || id == kMenu);
            else
                setResultText(result, L"");
        }
        return S_OK;
    }

    if (!(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    std::wstring line = std::wstring(L"call ") + member->name;
    for (UINT i = 0; i < count; ++i)
        line += (i == 0 ? L" " : L" | ") + text(i);
    logLine(line);

    long a = 0, b = 0;
    HRESULT hr = S_OK;
    switch (id) {
    case kPlay:
        playing_ = true;
        break;
    case kStop:
    case kStopPlay:
        playing_ = false;
        break;
    case kBack:
        if (currentFrame_ > 0)
            --currentFrame_;
        break;
    case kForward:
        if (header_ && currentFrame_ + 1 < header_->frameCount)
            ++currentFrame_;
        break;
    case kRewind:
        currentFrame_ = 0;
        break;
    case kGotoFrame:
        if (FAILED(hr = need(1)))
            return hr;
        if (!number(0, a))
            return DISP_E_TYPEMISMATCH;
        currentFrame_ = a;
        break;
    case kCurrentFrame:
        setResultLong(result, currentFrame_);
        break;
    case kIsPlaying:
        setResultBool(result, playing_);
        break;
    case kPercentLoaded:
        setResultLong(result, header_ ? 100 : 0);
        break;
    case kFrameLoaded:
        if (FAILED(hr = need(1)))
            return hr;
        if (!number(0, a))
            return DISP_E_TYPEMISMATCH;
        setResultBool(result, header_ && a >= 0 && a < header_->frameCount);
        break;
    case kFlashVersion:
        setResultLong(result, 0x000A0000);
        break;
    case kSetZoomRect:
        if (FAILED(hr = need(4)))
            return hr;
        break;
    case kZoom:
        if (FAILED(hr = need(1)))
            return hr;
        break;
    case kPan:
        if (FAILED(hr = need(3)))
            return hr;
        break;
    case kLoadMovie:
        if (FAILED(hr = need(2)))
            return hr;
        if (!number(0, a))
            return DISP_E_TYPEMISMATCH;
        if (a == 0) {
            VARIANT v;
            VariantInit(&v);
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocString(text(1).c_str());
            putProperty(kMovie, v);
            VariantClear(&v);
        }
        break;
    case kSetVariable:
        if (FAILED(hr = need(2)))
            return hr;
        variables_[text(0)] = text(1);
        break;
    case kGetVariable: {
        if (FAILED(hr = need(1)))
            return hr;
        auto it = variables_.find(text(0));
        if (it == variables_.end()) {
            // The control answers an unknown variable with an empty result.
            if (result)
                VariantInit(result);
            return E_FAIL;
        }
        setResultText(result, it->second);
        break;
    }
    case kTGotoFrame:
    case kTCallFrame:
        if (FAILED(hr = need(2)))
            return hr;
        if (!number(1, b))
            return DISP_E_TYPEMISMATCH;
        break;
    case kTGotoLabel:
    case kTCallLabel:
        if (FAILED(hr = need(2)))
            return hr;
        break;
    case kTCurrentFrame:
        if (FAILED(hr = need(1)))
            return hr;
        setResultLong(result, currentFrame_);
        break;
    case kTCurrentLabel:
        if (FAILED(hr = need(1)))
            return hr;
        setResultText(result, L"");
        break;
    case kTPlay:
    case kTStopPlay:
        if (FAILED(hr = need(1)))
            return hr;
        break;
    case kTSetProperty:
    case kTSetPropertyNum:
        if (FAILED(hr = need(3)))
            return hr;
        if (!number(1, b))
            return DISP_E_TYPEMISMATCH;
        targetProperties_[text(0) + L"#" + std::to_wstring(b)] = text(2);
        break;
    case kTGetProperty:
    case kTGetPropertyNum:
    case kTGetPropertyAsNumber: {
        if (FAILED(hr = need(2)))
            return hr;
        if (!number(1, b))
            return DISP_E_TYPEMISMATCH;
        auto it = targetProperties_.find(text(0) + L"#" + std::to_wstring(b));
        std::wstring value = it == targetProperties_.end() ? L"0" : it->second;
        if (id == kTGetProperty) {
            setResultText(result, value);
        } else {
            double d = 0;
            VARIANT v;
            VariantInit(&v);
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocString(value.c_str());
            if (!variantDouble(v, d))
                d = 0;
            VariantClear(&v);
            setResultDouble(result, d);
        }
        break;
    }
    case kCallFunction: {
        if (FAILED(hr = need(1)))
            return hr;
        bool answered = false;
        std::wstring answer = callFunction(text(0), answered);
        if (!answered) {
            logLine(L"no answer");
            return E_FAIL;
        }
        logLine(L"answer " + answer);
        setResultText(result, answer);
        break;
    }
    case kSetReturnValue:
        if (FAILED(hr = need(1)))
            return hr;
        lastReturn_ = text(0);
        break;
    default:
        break;
    }
    return S_OK;
}

// ---------------------------------------------------------------------------
// Class factory and server entry points
// ---------------------------------------------------------------------------

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
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
        auto* control = new (std::nothrow) FlashControl;
        if (!control)
            return E_OUTOFMEMORY;
        HRESULT hr = control->QueryInterface(riid, out);
        control->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++gLocks : --gLocks;
        return S_OK;
    }
};

ClassFactory gFactory;

LONG setKey(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
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
    if (clsid != kClsidFlash)
        return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return gObjects == 0 && gLocks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(gModule, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return SELFREG_E_CLASS;
    std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
    if (setKey(HKEY_CLASSES_ROOT, clsidKey, nullptr, L"Shockwave Flash Object") != ERROR_SUCCESS ||
        setKey(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", nullptr, path) != ERROR_SUCCESS ||
        setKey(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") !=
            ERROR_SUCCESS ||
        setKey(HKEY_CLASSES_ROOT, clsidKey + L"\\ProgID", nullptr, kProgId) != ERROR_SUCCESS ||
        setKey(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    return S_OK;
}

STDAPI DllUnregisterServer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidText).c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidText).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kProgId);
    return S_OK;
}

} // extern "C"
