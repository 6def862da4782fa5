#pragma once
// Move-only owners of Win32 handles, one small class per handle kind, each
// knowing its release call. A null handle and INVALID_HANDLE_VALUE both count
// as empty. Windows only.

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <ole2.h>

#include <utility>

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

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_)
            std::exchange(p_, nullptr)->Release();
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
