// Shortcut and URLShortcut: shell links and Internet shortcut files, through
// the shell's own objects (IShellLinkA / IUniformResourceLocatorA with
// IPersistFile).
#include <windows.h>
#include <objbase.h>
#include <intshcut.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cctype>
#include <memory>
#include <string>

#include "host/app/HotKeyText.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"
#include "host/system/SystemClasses.h"

namespace paloma::host {

namespace {

using quill::ArgList;
using quill::Engine;
using quill::NativeClass;
using quill::Value;

// The Internet-shortcut object and its interface.
constexpr GUID kInternetShortcut = {0xFBF23B40, 0xE3F0, 0x101B, {0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8}};
constexpr GUID kUniformResourceLocatorA = {0xFBF23B80, 0xE3F0, 0x101B, {0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8}};

// COM for the calling thread while an object lives (balanced; a thread
// whose host already initialised it just adds a reference).
class ComScope {
public:
    ComScope() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComScope() {
        if (ok_)
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool ok_;
};

template <class I>
struct ComRelease {
    void operator()(I* p) const { p->Release(); }
};
template <class I>
using ComPtr = std::unique_ptr<I, ComRelease<I>>;

std::wstring widePath(const std::string& path) {
    int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? size_t(n) : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), n);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

// ---- Shortcut ----

struct ShellLink {
    ComScope com;
    ComPtr<IShellLinkA> link;
    std::string path;
};

void shortcutConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    result = nullResult();
    auto path = stringArg(args, 1);
    if (!path)
        return;
    auto object = std::make_unique<ShellLink>();
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return;
    object->link.reset(link);
    object->path = *path;
    if (GetFileAttributesA(path->c_str()) != INVALID_FILE_ATTRIBUTES) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            ComPtr<IPersistFile> owned(file);
            if (SUCCEEDED(file->Load(widePath(*path).c_str(), STGM_READ)))
                link->Resolve(nullptr, SLR_NO_UI);
        }
    }
    bindHandle(engine, cls, std::move(object), result);
}
void shortcutCall(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) {
    shortcutConstruct(engine, cls, args, result);
}

// A text property: read with Get(buffer, size), written with Set(text).
template <HRESULT (STDMETHODCALLTYPE IShellLinkA::*Get)(LPSTR, int),
          HRESULT (STDMETHODCALLTYPE IShellLinkA::*Set)(LPCSTR)>
void textProperty(ShellLink& s, MemberCall& c) {
    if (!c.put) {
        char text[INFOTIPSIZE + MAX_PATH] = "";
        if (SUCCEEDED((s.link.get()->*Get)(text, int(sizeof text))))
            c.value = ansiTextResult(c.engine, text);
    } else if (auto text = stringFrom(c.value)) {
        (s.link.get()->*Set)(text->c_str());
    }
}

void targetPath(ShellLink& s, MemberCall& c) {
    if (!c.put) {
        LPITEMIDLIST list = nullptr;
        char path[MAX_PATH] = "";
        if (SUCCEEDED(s.link->GetIDList(&list)) && list) {
            SHGetPathFromIDListA(list, path);
            CoTaskMemFree(list);
        }
        c.value = ansiTextResult(c.engine, path);
    } else if (auto text = stringFrom(c.value)) {
        s.link->SetPath(text->c_str());
    }
}

void iconLocation(ShellLink& s, MemberCall& c) {
    if (!c.put) {
        char path[MAX_PATH] = "";
        int index = 0;
        if (SUCCEEDED(s.link->GetIconLocation(path, MAX_PATH, &index)))
            c.value = ansiTextResult(c.engine, std::string(path) + "," + std::to_string(index));
    } else if (auto text = stringFrom(c.value)) {
        size_t comma = text->find(',');
        int index = comma == std::string::npos ? 0 : atoi(text->c_str() + comma + 1);
        s.link->SetIconLocation(text->substr(0, comma).c_str(), index);
    }
}

void hotKey(ShellLink& s, MemberCall& c) {
    if (!c.put) {
        WORD key = 0;
        if (SUCCEEDED(s.link->GetHotkey(&key)))
            c.value = ansiTextResult(c.engine, hotKeyText(key, keyboardKeyName));
    } else if (auto text = stringFrom(c.value)) {
        WORD key = parseHotKeyText(*text);
        // Only a key with at least one of the three modifiers.
        if (LOBYTE(key) && (HIBYTE(key) & (HOTKEYF_CONTROL | HOTKEYF_SHIFT | HOTKEYF_ALT)))
            s.link->SetHotkey(key);
    }
}

void windowStyle(ShellLink& s, MemberCall& c) {
    if (!c.put) {
        int show = 0;
        if (SUCCEEDED(s.link->GetShowCmd(&show)))
            c.value = integerResult(show);
    } else if (auto n = numberFrom(c.value)) {
        s.link->SetShowCmd(int(*n));
    }
}

template <class T>
void fullName(T& s, MemberCall& c) {
    if (!c.put)
        c.value = ansiTextResult(c.engine, s.path);
}

template <class T>
bool saveTo(T& s, IUnknown* object) {
    IPersistFile* file = nullptr;
    if (FAILED(object->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))))
        return false;
    ComPtr<IPersistFile> owned(file);
    return SUCCEEDED(file->Save(widePath(s.path).c_str(), TRUE));
}

void shortcutSave(ShellLink& s, MemberCall& c) { c.result = booleanResult(saveTo(s, s.link.get())); }

constexpr Member kShortcutMembers[] = {
    property<textProperty<&IShellLinkA::GetArguments, &IShellLinkA::SetArguments>>("arguments"),
    property<textProperty<&IShellLinkA::GetDescription, &IShellLinkA::SetDescription>>("description"),
    property<textProperty<&IShellLinkA::GetWorkingDirectory, &IShellLinkA::SetWorkingDirectory>>(
        "workingDirectory"),
    property<targetPath>("targetPath"),
    property<iconLocation>("iconLocation"),
    property<hotKey>("hotKey"),
    property<windowStyle>("windowStyle"),
    property<fullName<ShellLink>>("fullName"),
    method<shortcutSave>("save", Fallback::False),
};

// ---- URLShortcut ----

struct InternetShortcut {
    ComScope com;
    ComPtr<IUniformResourceLocatorA> url;
    std::string path;
};

void urlConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    result = nullResult();
    auto path = stringArg(args, 1);
    if (!path)
        return;
    auto object = std::make_unique<InternetShortcut>();
    IUniformResourceLocatorA* url = nullptr;
    if (FAILED(CoCreateInstance(kInternetShortcut, nullptr, CLSCTX_INPROC_SERVER, kUniformResourceLocatorA,
                                reinterpret_cast<void**>(&url))))
        return;
    object->url.reset(url);
    object->path = *path;
    if (GetFileAttributesA(path->c_str()) != INVALID_FILE_ATTRIBUTES) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(url->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            ComPtr<IPersistFile> owned(file);
            file->Load(widePath(*path).c_str(), STGM_READ);
        }
    }
    bindHandle(engine, cls, std::move(object), result);
}
void urlCall(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) {
    urlConstruct(engine, cls, args, result);
}

void url(InternetShortcut& s, MemberCall& c) {
    if (!c.put) {
        LPSTR text = nullptr;
        if (SUCCEEDED(s.url->GetURL(&text)) && text) {
            c.value = ansiTextResult(c.engine, text);
            CoTaskMemFree(text);
        }
    } else if (auto text = stringFrom(c.value)) {
        s.url->SetURL(text->c_str(), IURL_SETURL_FL_GUESS_PROTOCOL | IURL_SETURL_FL_USE_DEFAULT_PROTOCOL);
    }
}

void urlSave(InternetShortcut& s, MemberCall& c) { c.result = booleanResult(saveTo(s, s.url.get())); }

constexpr Member kUrlMembers[] = {
    property<url>("url"),
    method<urlSave>("save", Fallback::False),
};

} // namespace

void registerShortcutClass(Engine& engine) {
    registerHostClass(engine, {.className = "Shortcut",
                               .members = kShortcutMembers,
                               .call = shortcutCall,
                               .construct = shortcutConstruct,
                               .destroyData = destroyHandle<ShellLink>});
}

void registerURLShortcutClass(Engine& engine) {
    registerHostClass(engine, {.className = "URLShortcut",
                               .members = kUrlMembers,
                               .call = urlCall,
                               .construct = urlConstruct,
                               .destroyData = destroyHandle<InternetShortcut>});
}

} // namespace paloma::host
