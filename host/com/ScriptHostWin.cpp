// ScriptHost: runs code of an installed Active Scripting language (JScript,
// VBScript) inside the player. Each instance owns one script engine and is
// its site; the site publishes the "Scripter" object (IZScriptHost) to the
// foreign script, and getScriptObject hands the foreign script's objects to
// Quill as ActiveXObjects.
//
// Lifetime: the engine holds the site while it is open, so the Quill object
// closes the engine when it goes; the site's last reference then goes with
// the engine's.
#include "host/com/ScriptHost.h"

#include <activscp.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "base/TextCodec.h"
#include "host/HostServices.h"
#include "host/com/ActiveXObject.h"
#include "host/framework/ComObject.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"
#include "host/framework/WinHandles.h"

namespace paloma::host {

namespace {

using quill::Engine;
using quill::NativeClass;
using quill::Value;

constexpr wchar_t kScripterName[] = L"Scripter";

// The Active Scripting interface ids (not every import library has them).
constexpr IID kIidActiveScript = {0xBB1A2AE1, 0xA4F9, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
#ifdef _WIN64
constexpr IID kIidActiveScriptParse = {0xC7EF7658, 0xE1EE, 0x480E, {0x97, 0xEA, 0xD5, 0x2C, 0xB4, 0xD7, 0x6D, 0x17}};
#else
constexpr IID kIidActiveScriptParse = {0xBB1A2AE2, 0xA4F9, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
#endif
constexpr IID kIidActiveScriptSite = {0xDB01A1E3, 0xA42B, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
constexpr IID kIidActiveScriptSiteWindow = {
    0xD10F6761, 0x83E9, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};

// IZScriptHost's member ids.
constexpr DISPID kFlashPlayerId = 1;
constexpr DISPID kTraceId = 2;
constexpr DISPID kHostCreateObjectId = 3;

BSTR newBstr(const std::wstring& text) { return SysAllocStringLen(text.data(), UINT(text.size())); }

// The type information of IZScriptHost, built once per process: FlashPlayer
// (read-only, an automation object), Trace(message) returning a Boolean,
// HostCreateObject(progID) returning an automation object.
ITypeInfo* scripterTypeInfo() {
    static ITypeInfo* info = [] {
        static PARAMDATA text[] = {{const_cast<OLECHAR*>(L"message"), VT_BSTR}};
        static PARAMDATA progId[] = {{const_cast<OLECHAR*>(L"progID"), VT_BSTR}};
        static METHODDATA methods[] = {
            {const_cast<OLECHAR*>(L"FlashPlayer"), nullptr, kFlashPlayerId, 7, CC_STDCALL, 0, DISPATCH_PROPERTYGET,
             VT_DISPATCH},
            {const_cast<OLECHAR*>(L"Trace"), text, kTraceId, 8, CC_STDCALL, 1, DISPATCH_METHOD, VT_BOOL},
            {const_cast<OLECHAR*>(L"HostCreateObject"), progId, kHostCreateObjectId, 9, CC_STDCALL, 1,
             DISPATCH_METHOD, VT_DISPATCH},
        };
        static INTERFACEDATA data = {methods, 3};
        ITypeInfo* made = nullptr;
        CreateDispTypeInfo(&data, LOCALE_SYSTEM_DEFAULT, &made);
        return made;
    }();
    return info;
}

// A string argument of an automation call (by reference or not).
std::optional<std::wstring> stringParameter(const VARIANT& v) {
    VARIANT plain;
    VariantInit(&plain);
    if (FAILED(VariantCopyInd(&plain, const_cast<VARIANT*>(&v))))
        return std::nullopt;
    std::optional<std::wstring> text;
    if (plain.vt == VT_BSTR)
        text = plain.bstrVal ? std::wstring(plain.bstrVal, SysStringLen(plain.bstrVal)) : std::wstring();
    VariantClear(&plain);
    return text;
}

HRESULT fail(EXCEPINFO* info, HRESULT status, const std::wstring& text) {
    if (!info)
        return status;
    *info = EXCEPINFO{};
    info->scode = status;
    info->bstrSource = newBstr(L"Scripter");
    info->bstrDescription = newBstr(text);
    return DISP_E_EXCEPTION;
}

// ---- the site -----------------------------------------------------------------------

class ScriptSite final : public ComObject<IActiveScriptSite, IActiveScriptSiteWindow> {
public:
    ScriptSite() : scripter_(*static_cast<IActiveScriptSite*>(this)) {}
    ~ScriptSite() override { close(); }

    bool isOpen() const { return open_; }

    bool open(const std::u16string& language) {
        close();
        CLSID clsid;
        if (FAILED(CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(language.c_str()), &clsid)))
            return false;
        ComPtr<IActiveScript> script;
        if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidActiveScript, script.putVoid())))
            return false;
        ComPtr<IActiveScriptParse> parse = script.query<IActiveScriptParse>(kIidActiveScriptParse);
        if (!parse)
            return false;
        if (FAILED(script->SetScriptSite(this)) || FAILED(parse->InitNew())) {
            script->Close();
            return false;
        }
        items_[kScripterName] = ComPtr<IDispatch>::share(&scripter_);
        for (auto& [name, item] : items_)
            script->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISSOURCE);
        if (FAILED(script->SetScriptState(SCRIPTSTATE_STARTED))) {
            script->Close();
            items_.clear();
            return false;
        }
        script_ = std::move(script);
        parse_ = std::move(parse);
        open_ = true;
        return true;
    }

    bool close() {
        if (!open_)
            return true;
        if (FAILED(script_->Close()))
            return false;
        parse_.reset();
        script_.reset();
        items_.clear();
        open_ = false;
        return true;
    }

    bool run(const std::u16string& code) {
        if (!open_)
            return false;
        // The engines take UTF-16 text: the code goes to them as it is, so
        // that characters outside the ANSI code page survive.
        EXCEPINFO info{};
        HRESULT status = parse_->ParseScriptText(reinterpret_cast<LPCOLESTR>(code.c_str()), nullptr, nullptr,
                                                 nullptr, 0, 0, 0, nullptr, &info);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        return SUCCEEDED(status);
    }

    ComPtr<IDispatch> scriptObject(const std::optional<std::u16string>& item) {
        ComPtr<IDispatch> dispatch;
        if (open_)
            script_->GetScriptDispatch(item ? reinterpret_cast<LPCOLESTR>(item->c_str()) : nullptr, dispatch.put());
        return dispatch;
    }

    // IActiveScriptSite
    HRESULT STDMETHODCALLTYPE GetLCID(LCID* lcid) override {
        if (!lcid)
            return E_POINTER;
        *lcid = GetUserDefaultLCID();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override {
        if (item)
            *item = nullptr;
        if (info)
            *info = nullptr;
        if (!name)
            return E_INVALIDARG;
        IDispatch* found = nullptr;
        ITypeInfo* typeInfo = nullptr;
        if (_wcsicmp(name, kScripterName) == 0) {
            found = &scripter_;
            typeInfo = scripterTypeInfo();
        } else {
            auto it = items_.find(name);
            if (it == items_.end())
                return TYPE_E_ELEMENTNOTFOUND;
            found = it->second.get();
        }
        if ((mask & SCRIPTINFO_IUNKNOWN) && item) {
            found->AddRef();
            *item = found;
        }
        if ((mask & SCRIPTINFO_ITYPEINFO) && info && typeInfo) {
            typeInfo->AddRef();
            *info = typeInfo;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* version) override {
        if (version)
            *version = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
    // Script errors are not shown: Quill sees them as a false result.
    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

    // IActiveScriptSiteWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window)
            return E_POINTER;
        *window = HWND(hostServices().playerWindow());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

private:
    // "Scripter": IZScriptHost, sharing the site's life.
    class Scripter final : public ComPart<IDispatch> {
    public:
        explicit Scripter(IUnknown& owner) : ComPart<IDispatch>(owner) {}

        HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
            if (!count)
                return E_POINTER;
            *count = scripterTypeInfo() ? 1 : 0;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
            if (!out)
                return E_POINTER;
            *out = index == 0 ? scripterTypeInfo() : nullptr;
            if (!*out)
                return DISP_E_BADINDEX;
            (*out)->AddRef();
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
            if (!names || !ids)
                return E_POINTER;
            HRESULT status = S_OK;
            for (UINT i = 0; i < count; ++i) {
                ids[i] = DISPID_UNKNOWN;
                if (i == 0 && _wcsicmp(names[i], L"FlashPlayer") == 0)
                    ids[i] = kFlashPlayerId;
                else if (i == 0 && _wcsicmp(names[i], L"Trace") == 0)
                    ids[i] = kTraceId;
                else if (i == 0 && _wcsicmp(names[i], L"HostCreateObject") == 0)
                    ids[i] = kHostCreateObjectId;
                else
                    status = DISP_E_UNKNOWNNAME;
            }
            return status;
        }
        HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                         EXCEPINFO* info, UINT*) override {
            UINT count = params ? params->cArgs : 0;
            if (result)
                VariantInit(result);
            switch (id) {
            case kFlashPlayerId: {
                if (!(flags & DISPATCH_PROPERTYGET))
                    return DISP_E_MEMBERNOTFOUND;
                auto* control = static_cast<IDispatch*>(hostServices().flashControl());
                if (result) {
                    if (control)
                        control->AddRef();
                    result->vt = VT_DISPATCH;
                    result->pdispVal = control;
                }
                return S_OK;
            }
            case kTraceId:
                if (count < 1)
                    return DISP_E_BADPARAMCOUNT;
                if (result) {
                    result->vt = VT_BOOL;
                    result->boolVal = VARIANT_TRUE;
                }
                return S_OK;
            case kHostCreateObjectId: {
                if (count < 1)
                    return DISP_E_BADPARAMCOUNT;
                std::optional<std::wstring> progId = stringParameter(params->rgvarg[count - 1]);
                if (!progId)
                    return fail(info, E_INVALIDARG, L"");
                CLSID clsid;
                if (FAILED(CLSIDFromProgID(progId->c_str(), &clsid)))
                    return fail(info, E_INVALIDARG, *progId);
                ComPtr<IDispatch> made;
                if (FAILED(CoCreateInstance(clsid, nullptr,
                                            CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                                            IID_IDispatch, made.putVoid())) ||
                    !made)
                    return fail(info, E_FAIL, *progId);
                if (result) {
                    result->vt = VT_DISPATCH;
                    result->pdispVal = made.detach();
                }
                return S_OK;
            }
            default: return DISP_E_MEMBERNOTFOUND;
            }
        }

    private:
        void* findInterface(REFIID iid) override {
            if (iid == IID_IUnknown || iid == IID_IDispatch)
                return static_cast<IDispatch*>(this);
            return nullptr;
        }
    };

    void* findInterface(REFIID iid) override {
        if (iid == IID_IUnknown || iid == kIidActiveScriptSite)
            return static_cast<IActiveScriptSite*>(this);
        if (iid == kIidActiveScriptSiteWindow)
            return static_cast<IActiveScriptSiteWindow*>(this);
        return nullptr;
    }

    Scripter scripter_;
    ComPtr<IActiveScript> script_;
    ComPtr<IActiveScriptParse> parse_;
    std::map<std::wstring, ComPtr<IDispatch>> items_;
    bool open_ = false;
};

// The native data: the site. Closing the engine breaks the cycle between
// the engine and its site.
struct HostData {
    ~HostData() {
        if (site)
            site->close();
    }
    ComPtr<ScriptSite> site;
};

// ---- members ---------------------------------------------------------------------------

std::optional<std::u16string> wideArg(MemberCall& c, int64_t i) {
    Value v = c.arg(i);
    if (i > c.count() || !v.isString())
        return std::nullopt;
    return quill::stringToWide(v.asString());
}

void open(HostData& h, MemberCall& c) {
    auto language = wideArg(c, 1);
    if (!language)
        return;
    c.result = booleanResult(h.site->open(*language));
}

void close(HostData& h, MemberCall& c) { c.result = booleanResult(h.site->close()); }

void runScript(HostData& h, MemberCall& c) {
    auto code = wideArg(c, 1);
    if (!code)
        return;
    c.result = booleanResult(h.site->run(*code));
}

// The file is read whole as ANSI text. It is opened for reading only, so
// that read-only script files (on a CD) run as well.
void runScriptFile(HostData& h, MemberCall& c) {
    auto path = c.string(1);
    if (!path || !h.site->isOpen())
        return;
    std::FILE* file = std::fopen(path->c_str(), "rb");
    if (!file)
        return;
    std::string bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    std::fclose(file);
    bytes.resize(std::strlen(bytes.c_str())); // the text ends at a zero byte
    c.result = booleanResult(h.site->run(ansiToUtf16(bytes)));
}

void getScriptObject(HostData& h, MemberCall& c) {
    std::optional<std::u16string> item;
    if (c.count() >= 1) {
        item = wideArg(c, 1);
        if (!item)
            return;
    }
    ComPtr<IDispatch> dispatch = h.site->scriptObject(item);
    if (dispatch)
        c.result = newActiveXObject(c.engine, dispatch.get());
}

constexpr Member kScriptHostMembers[] = {
    method<open>("open", Fallback::False),
    method<close>("close", Fallback::False),
    method<runScript>("runScript", Fallback::False),
    method<runScriptFile>("runScriptFile", Fallback::False),
    method<getScriptObject>("getScriptObject", Fallback::Null, Fallback::Null),
};

void construct(Engine& engine, NativeClass* cls, quill::ArgList, Value& result) {
    result = Value::null();
    auto data = std::make_unique<HostData>();
    data->site.reset(new (std::nothrow) ScriptSite);
    if (!data->site)
        return;
    bindHandle(engine, cls, std::move(data), result);
}

void call(Engine& engine, NativeClass* cls, void*, Value& result, quill::ArgList args) {
    construct(engine, cls, args, result);
}

} // namespace

void registerScriptHostClass(Engine& engine) {
    registerHostClass(engine, {.className = "ScriptHost",
                               .members = kScriptHostMembers,
                               .call = call,
                               .construct = construct,
                               .destroyData = destroyHandle<HostData>});
}

} // namespace paloma::host
