#pragma once
// Entry points of optional system libraries, loaded by name on first use:
// the Internet library (wininet.dll), the ICMP library (iphlpapi.dll, then
// icmp.dll), the IP helper's tables (iphlpapi.dll), the HTML help control (HHCTRL.OCX) and the mixer (winmm.dll).
// A library or an entry that is missing makes the operation that needs it
// fail (the entry reads null); the program goes on. Windows only.
//
//     auto open = lazy::InternetOpenW.get();
//     if (!open) return fail();
//     HINTERNET session = open(L"agent", 0, nullptr, nullptr, 0);
//
// The signatures are written here with plain types, so no optional SDK
// header is needed; each matches the system's declaration.

#include <windows.h>

#include <initializer_list>

namespace paloma::host {

// A library loaded on first use and kept for the life of the process. The
// first of its file names that loads from the system folder is used.
class LazyLibrary {
public:
    constexpr LazyLibrary(std::initializer_list<const wchar_t*> names) : names_{}, count_(0) {
        for (const wchar_t* n : names)
            if (count_ < kMaxNames)
                names_[count_++] = n;
    }
    LazyLibrary(const LazyLibrary&) = delete;
    LazyLibrary& operator=(const LazyLibrary&) = delete;

    // The module; null when none of the names loads (tried once).
    HMODULE module();
    // An entry of the module by name; null when either is missing.
    FARPROC entry(const char* name);

private:
    static constexpr int kMaxNames = 3;
    const wchar_t* names_[kMaxNames];
    int count_;
    HMODULE module_ = nullptr;
    bool tried_ = false;
};

// One entry point of a LazyLibrary, with its signature.
template <class Fn>
class LazyEntry {
public:
    constexpr LazyEntry(LazyLibrary& library, const char* name) : library_(library), name_(name) {}
    LazyEntry(const LazyEntry&) = delete;
    LazyEntry& operator=(const LazyEntry&) = delete;

    // The function; null when the library or the entry is missing.
    Fn get() {
        if (!tried_) {
            tried_ = true;
            fn_ = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(library_.entry(name_)));
        }
        return fn_;
    }
    explicit operator bool() { return get() != nullptr; }

private:
    LazyLibrary& library_;
    const char* name_;
    Fn fn_ = nullptr;
    bool tried_ = false;
};

namespace lazy {

// ---- the libraries -----------------------------------------------------------------
extern LazyLibrary wininet;
extern LazyLibrary icmp;
extern LazyLibrary htmlHelp;
extern LazyLibrary mixer;

// ---- wininet.dll ---------------------------------------------------------------------
using HInternet = void*;
extern LazyEntry<HInternet(WINAPI*)(const wchar_t* agent, DWORD access, const wchar_t* proxy,
                                    const wchar_t* bypass, DWORD flags)>
    InternetOpenW;
extern LazyEntry<HInternet(WINAPI*)(HInternet session, const wchar_t* url, const wchar_t* headers,
                                    DWORD headersLength, DWORD flags, DWORD_PTR context)>
    InternetOpenUrlW;
extern LazyEntry<HInternet(WINAPI*)(HInternet session, const wchar_t* server, WORD port, const wchar_t* user,
                                    const wchar_t* password, DWORD service, DWORD flags, DWORD_PTR context)>
    InternetConnectW;
extern LazyEntry<BOOL(WINAPI*)(HInternet file, void* buffer, DWORD toRead, DWORD* read)> InternetReadFile;
extern LazyEntry<BOOL(WINAPI*)(HInternet file, const void* buffer, DWORD toWrite, DWORD* written)>
    InternetWriteFile;
extern LazyEntry<BOOL(WINAPI*)(HInternet handle)> InternetCloseHandle;
extern LazyEntry<BOOL(WINAPI*)(DWORD* flags, DWORD reserved)> InternetGetConnectedState;
extern LazyEntry<BOOL(WINAPI*)(HInternet request, DWORD level, void* buffer, DWORD* length, DWORD* index)>
    HttpQueryInfoW;
extern LazyEntry<BOOL(WINAPI*)(HInternet connection, const wchar_t* remote, const wchar_t* local, BOOL failIfExists,
                               DWORD attributes, DWORD flags, DWORD_PTR context)>
    FtpGetFileW;
extern LazyEntry<BOOL(WINAPI*)(HInternet connection, const wchar_t* local, const wchar_t* remote, DWORD flags,
                               DWORD_PTR context)>
    FtpPutFileW;
extern LazyEntry<BOOL(WINAPI*)(const wchar_t* url, wchar_t* buffer, DWORD* length, DWORD flags)>
    InternetCanonicalizeUrlW;
// components: a URL_COMPONENTSW.
extern LazyEntry<BOOL(WINAPI*)(const wchar_t* url, DWORD length, DWORD flags, void* components)> InternetCrackUrlW;
extern LazyEntry<BOOL(WINAPI*)(HInternet handle, DWORD option, void* buffer, DWORD length)> InternetSetOptionW;
extern LazyEntry<HInternet(WINAPI*)(HInternet connection, const wchar_t* verb, const wchar_t* object,
                                    const wchar_t* version, const wchar_t* referrer, const wchar_t** acceptTypes,
                                    DWORD flags, DWORD_PTR context)>
    HttpOpenRequestW;
extern LazyEntry<BOOL(WINAPI*)(HInternet request, const wchar_t* headers, DWORD headersLength, void* optional,
                               DWORD optionalLength)>
    HttpSendRequestW;
extern LazyEntry<BOOL(WINAPI*)(HInternet connection, const wchar_t* directory)> FtpCreateDirectoryW;
extern LazyEntry<BOOL(WINAPI*)(HInternet connection, const wchar_t* directory)> FtpRemoveDirectoryW;
extern LazyEntry<BOOL(WINAPI*)(HInternet connection, const wchar_t* file)> FtpDeleteFileW;
extern LazyEntry<BOOL(WINAPI*)(HInternet connection, const wchar_t* from, const wchar_t* to)> FtpRenameFileW;
extern LazyEntry<BOOL(WINAPI*)(HInternet connection, wchar_t* directory, DWORD* length)> FtpGetCurrentDirectoryW;
extern LazyEntry<BOOL(WINAPI*)(HInternet connection, const wchar_t* directory)> FtpSetCurrentDirectoryW;
extern LazyEntry<HInternet(WINAPI*)(HInternet connection, const wchar_t* pattern, WIN32_FIND_DATAW* found,
                                    DWORD flags, DWORD_PTR context)>
    FtpFindFirstFileW;
extern LazyEntry<BOOL(WINAPI*)(HInternet find, void* found)> InternetFindNextFileW;
extern LazyEntry<HInternet(WINAPI*)(HInternet connection, const wchar_t* file, DWORD access, DWORD flags,
                                    DWORD_PTR context)>
    FtpOpenFileW;

// ---- the ICMP library ------------------------------------------------------------------
extern LazyEntry<HANDLE(WINAPI*)()> IcmpCreateFile;
extern LazyEntry<BOOL(WINAPI*)(HANDLE icmp)> IcmpCloseHandle;
extern LazyEntry<DWORD(WINAPI*)(HANDLE icmp, ULONG address, void* data, WORD size, void* options, void* reply,
                                DWORD replySize, DWORD timeout)>
    IcmpSendEcho;

// ---- the IP helper's tables (iphlpapi.dll; absent on the oldest systems) ----------------
extern LazyEntry<DWORD(WINAPI*)(void* info, ULONG* size)> GetNetworkParams;
extern LazyEntry<DWORD(WINAPI*)(void* info, ULONG* size)> GetAdaptersInfo;

// ---- HHCTRL.OCX -------------------------------------------------------------------------
extern LazyEntry<HWND(WINAPI*)(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data)> HtmlHelpW;

// ---- the mixer (winmm.dll) ------------------------------------------------------------------
extern LazyEntry<UINT(WINAPI*)()> mixerGetNumDevs;
extern LazyEntry<UINT(WINAPI*)(HANDLE* mixer, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)>
    mixerOpen;
extern LazyEntry<UINT(WINAPI*)(HANDLE mixer)> mixerClose;
extern LazyEntry<UINT(WINAPI*)(HANDLE mixer, void* line, DWORD flags)> mixerGetLineInfoW;
extern LazyEntry<UINT(WINAPI*)(HANDLE mixer, void* controls, DWORD flags)> mixerGetLineControlsW;
extern LazyEntry<UINT(WINAPI*)(HANDLE mixer, void* details, DWORD flags)> mixerGetControlDetailsW;
extern LazyEntry<UINT(WINAPI*)(HANDLE mixer, void* details, DWORD flags)> mixerSetControlDetails;

} // namespace lazy

} // namespace paloma::host
