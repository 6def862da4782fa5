#pragma once
// Move-only owners of Win32 handles, one small class per handle kind, each
// knowing its release call. A null handle and INVALID_HANDLE_VALUE both count
// as empty. Windows only.

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <ole2.h>

#include <utility>

#include "host/framework/LazyApis.h"

namespace paloma {

// Common shape: holds one raw handle, releases it through Traits::close.
template <typename Traits>
class UniqueWin {
public:
    using Handle = typename Traits::Handle;

    UniqueWin() = default;
    explicit UniqueWin(Handle h) : h_(h) {}
    ~UniqueWin() { reset(); }
    UniqueWin(UniqueWin&& other) noexcept : h_(std::exchange(other.h_, Traits::empty())) {}
    UniqueWin& operator=(UniqueWin&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.h_, Traits::empty()));
        return *this;
    }
    UniqueWin(const UniqueWin&) = delete;
    UniqueWin& operator=(const UniqueWin&) = delete;

    Handle get() const { return h_; }
    bool valid() const { return Traits::valid(h_); }
    explicit operator bool() const { return valid(); }
    // For out-parameters: releases the current handle first.
    Handle* put() {
        reset();
        return &h_;
    }
    Handle release() { return std::exchange(h_, Traits::empty()); }
    void reset(Handle h = Traits::empty()) {
        if (Traits::valid(h_))
            Traits::close(h_);
        h_ = h;
    }

private:
    Handle h_ = Traits::empty();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) { CloseHandle(h); }
};
using UniqueHandle = UniqueWin<KernelHandleTraits>;

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle empty() { return INVALID_HANDLE_VALUE; }
    static bool valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) { FindClose(h); }
};
using UniqueFindHandle = UniqueWin<FindHandleTraits>;

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { RegCloseKey(h); }
};
using UniqueRegKey = UniqueWin<RegKeyTraits>;

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { FreeLibrary(h); }
};
using UniqueModule = UniqueWin<ModuleTraits>;

struct SocketTraits {
    using Handle = SOCKET;
    static Handle empty() { return INVALID_SOCKET; }
    static bool valid(Handle h) { return h != INVALID_SOCKET; }
    static void close(Handle h) { closesocket(h); }
};
using UniqueSocket = UniqueWin<SocketTraits>;

// An Internet handle (session, connection or request); closed through the
// Internet library loaded on first use (LazyApis.h).
struct InternetTraits {
    using Handle = void*;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) {
        if (auto closeHandle = host::lazy::InternetCloseHandle.get())
            closeHandle(h);
    }
};
using UniqueInternet = UniqueWin<InternetTraits>;

// A GDI object (pen, brush, font, bitmap, region, palette).
template <typename T>
struct GdiObjectTraits {
    using Handle = T;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { DeleteObject(h); }
};
template <typename T>
using UniqueGdi = UniqueWin<GdiObjectTraits<T>>;
using UniqueFont = UniqueGdi<HFONT>;
using UniqueBrush = UniqueGdi<HBRUSH>;
using UniquePen = UniqueGdi<HPEN>;
using UniqueBitmap = UniqueGdi<HBITMAP>;
using UniqueRegion = UniqueGdi<HRGN>;

struct MenuTraits {
    using Handle = HMENU;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { DestroyMenu(h); }
};
using UniqueMenu = UniqueWin<MenuTraits>;

struct AcceleratorTraits {
    using Handle = HACCEL;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { DestroyAcceleratorTable(h); }
};
using UniqueAccelerators = UniqueWin<AcceleratorTraits>;

struct IconTraits {
    using Handle = HICON;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { DestroyIcon(h); }
};
using UniqueIcon = UniqueWin<IconTraits>;

// A device context made by CreateDC / CreateCompatibleDC (DeleteDC).
struct CreatedDcTraits {
    using Handle = HDC;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { DeleteDC(h); }
};
using UniqueCreatedDc = UniqueWin<CreatedDcTraits>;

// A window's device context from GetDC / GetWindowDC, released to its
// window (ReleaseDC). Move-only.
class WindowDc {
public:
    WindowDc() = default;
    // GetDC(window); a null window gives the screen's context.
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() { reset(); }
    WindowDc(WindowDc&& other) noexcept
        : window_(std::exchange(other.window_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
    WindowDc& operator=(WindowDc&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = std::exchange(other.window_, nullptr);
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }
    void reset() {
        if (dc_)
            ReleaseDC(window_, std::exchange(dc_, nullptr));
        window_ = nullptr;
    }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

// Selects a GDI object into a context for the scope, and the previous one
// back after it.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~ScopedSelect() {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// An ICMP handle of the ICMP library loaded on first use (LazyApis.h).
struct IcmpTraits {
    using Handle = HANDLE;
    static Handle empty() { return INVALID_HANDLE_VALUE; }
    static bool valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) {
        if (auto closeHandle = host::lazy::IcmpCloseHandle.get())
            closeHandle(h);
    }
};
using UniqueIcmp = UniqueWin<IcmpTraits>;

// A COM interface pointer: Release on reset.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {}
    ~ComPtr() { reset(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    // A new reference to p (AddRef'ed here).
    static ComPtr share(T* p) {
        if (p)
            p->AddRef();
        return ComPtr(p);
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() {
        reset();
        return &p_;
    }
    // For out-parameters typed void** (QueryInterface, CoCreateInstance).
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    // Gives up the reference without releasing it.
    T* detach() { return std::exchange(p_, nullptr); }
    void reset(T* p = nullptr) {
        if (p_)
            std::exchange(p_, nullptr)->Release();
        p_ = p;
    }
    // Another interface of the same object; empty when it has none.
    template <typename U>
    ComPtr<U> query(REFIID iid) const {
        ComPtr<U> other;
        if (p_)
            p_->QueryInterface(iid, other.putVoid());
        return other;
    }

private:
    T* p_ = nullptr;
};

// The COM/OLE library for the current thread, initialised for the scope.
class ScopedOleInit {
public:
    ScopedOleInit() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~ScopedOleInit() {
        if (ok_)
            OleUninitialize();
    }
    ScopedOleInit(const ScopedOleInit&) = delete;
    ScopedOleInit& operator=(const ScopedOleInit&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// The socket library, started for the scope with the given version.
class ScopedWinsock {
public:
    explicit ScopedWinsock(WORD version) {
        WSADATA data;
        ok_ = WSAStartup(version, &data) == 0;
    }
    ~ScopedWinsock() {
        if (ok_)
            WSACleanup();
    }
    ScopedWinsock(const ScopedWinsock&) = delete;
    ScopedWinsock& operator=(const ScopedWinsock&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

} // namespace paloma
