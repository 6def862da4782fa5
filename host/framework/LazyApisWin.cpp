// Entry points of optional system libraries, loaded by name on first use.
#include "host/framework/LazyApis.h"

#include <string>

namespace paloma::host {

namespace {

// The system libraries are loaded from the system folder by full path, never
// from the current or the program's folder, where another file of that name
// could be planted.
HMODULE loadSystemLibrary(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return nullptr;
    std::wstring path(folder, n);
    path += L'\\';
    path += name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace

HMODULE LazyLibrary::module() {
    if (!tried_) {
        tried_ = true;
        for (int i = 0; i < count_ && !module_; ++i)
            module_ = loadSystemLibrary(names_[i]);
    }
    return module_;
}

FARPROC LazyLibrary::entry(const char* name) {
    HMODULE m = module();
    return m ? GetProcAddress(m, name) : nullptr;
}

namespace lazy {

LazyLibrary wininet{L"wininet.dll"};
LazyLibrary icmp{L"iphlpapi.dll", L"icmp.dll"};
LazyLibrary ipHelper{L"iphlpapi.dll"};
LazyLibrary htmlHelp{L"hhctrl.ocx"};
LazyLibrary mixer{L"winmm.dll"};

#define PALOMA_LAZY(library, name) decltype(name) name{library, #name}

PALOMA_LAZY(wininet, InternetOpenW);
PALOMA_LAZY(wininet, InternetOpenUrlW);
PALOMA_LAZY(wininet, InternetConnectW);
PALOMA_LAZY(wininet, InternetReadFile);
PALOMA_LAZY(wininet, InternetWriteFile);
PALOMA_LAZY(wininet, InternetCloseHandle);
PALOMA_LAZY(wininet, InternetGetConnectedState);
PALOMA_LAZY(wininet, HttpQueryInfoW);
PALOMA_LAZY(wininet, FtpGetFileW);
PALOMA_LAZY(wininet, FtpPutFileW);
PALOMA_LAZY(wininet, InternetCanonicalizeUrlW);
PALOMA_LAZY(wininet, InternetCrackUrlW);
PALOMA_LAZY(wininet, InternetSetOptionW);
PALOMA_LAZY(wininet, HttpOpenRequestW);
PALOMA_LAZY(wininet, HttpSendRequestW);
PALOMA_LAZY(wininet, FtpCreateDirectoryW);
PALOMA_LAZY(wininet, FtpRemoveDirectoryW);
PALOMA_LAZY(wininet, FtpDeleteFileW);
PALOMA_LAZY(wininet, FtpRenameFileW);
PALOMA_LAZY(wininet, FtpGetCurrentDirectoryW);
PALOMA_LAZY(wininet, FtpSetCurrentDirectoryW);
PALOMA_LAZY(wininet, FtpFindFirstFileW);
PALOMA_LAZY(wininet, InternetFindNextFileW);
PALOMA_LAZY(wininet, FtpOpenFileW);

PALOMA_LAZY(icmp, IcmpCreateFile);
PALOMA_LAZY(icmp, IcmpCloseHandle);
PALOMA_LAZY(icmp, IcmpSendEcho);

PALOMA_LAZY(ipHelper, GetNetworkParams);
PALOMA_LAZY(ipHelper, GetAdaptersInfo);

PALOMA_LAZY(htmlHelp, HtmlHelpW);

PALOMA_LAZY(mixer, mixerGetNumDevs);
PALOMA_LAZY(mixer, mixerOpen);
PALOMA_LAZY(mixer, mixerClose);
PALOMA_LAZY(mixer, mixerGetLineInfoW);
PALOMA_LAZY(mixer, mixerGetLineControlsW);
PALOMA_LAZY(mixer, mixerGetControlDetailsW);
PALOMA_LAZY(mixer, mixerSetControlDetails);

#undef PALOMA_LAZY

} // namespace lazy

} // namespace paloma::host
