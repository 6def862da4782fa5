// SysInfo: machine facts, display modes, the screen-saver settings, log-off
// and shut-down.
#include <windows.h>

#include <intrin.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"
#include "host/system/ErrorReportWin.h"
#include "host/system/SystemClasses.h"
#include "host/system/SystemScreenSaver.h"
#include "base/WinText.h"

namespace paloma::host {

namespace {

using quill::Engine;
using quill::Value;

BOOL WINAPI systemExitWindows(UINT flags, DWORD reason) { return ExitWindowsEx(flags, reason); }
ExitWindowsFunction gExitWindows = systemExitWindows;

// ---- facts ----

void computerName(MemberCall& c) {
    if (c.put)
        return;
    char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD n = sizeof name;
    if (GetComputerNameA(name, &n))
        c.value = ansiTextResult(c.engine, name);
}

void userName(MemberCall& c) {
    if (c.put)
        return;
    char name[257] = "";
    DWORD n = sizeof name;
    if (GetUserNameA(name, &n))
        c.value = ansiTextResult(c.engine, name);
}

std::string productName(const OSVERSIONINFOEXA& v) {
    bool server = v.wProductType != VER_NT_WORKSTATION;
    DWORD version = v.dwMajorVersion * 100 + v.dwMinorVersion;
    switch (version) {
    case 500: return server ? "Windows 2000 Server" : "Windows 2000";
    case 501: return "Windows XP";
    case 502: return server ? "Windows Server 2003" : "Windows XP x64";
    case 600: return server ? "Windows Server 2008" : "Windows Vista";
    case 601: return server ? "Windows Server 2008 R2" : "Windows 7";
    case 602: return server ? "Windows Server 2012" : "Windows 8";
    case 603: return server ? "Windows Server 2012 R2" : "Windows 8.1";
    case 1000: return server ? "Windows Server" : v.dwBuildNumber >= 22000 ? "Windows 11" : "Windows 10";
    default: {
        char text[48];
        std::snprintf(text, sizeof text, "Windows %lu.%lu", v.dwMajorVersion, v.dwMinorVersion);
        return text;
    }
    }
}

void version(MemberCall& c) {
    if (c.put)
        return;
    // The kernel's own numbers (the compatibility layer may lower those of
    // GetVersionEx).
    OSVERSIONINFOEXA v{};
    v.dwOSVersionInfoSize = sizeof v;
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto rtl = reinterpret_cast<RtlGetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOEXW w{};
    w.dwOSVersionInfoSize = sizeof w;
    if (rtl && rtl(&w) == 0) {
        v.dwMajorVersion = w.dwMajorVersion;
        v.dwMinorVersion = w.dwMinorVersion;
        v.dwBuildNumber = w.dwBuildNumber;
        v.wServicePackMajor = w.wServicePackMajor;
        v.wProductType = w.wProductType;
        v.wSuiteMask = w.wSuiteMask;
    } else if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&v))) {
        return;
    }
    std::string text = "Microsoft " + productName(v);
    if (v.wProductType == VER_NT_WORKSTATION && v.dwMajorVersion >= 5)
        text += (v.wSuiteMask & VER_SUITE_PERSONAL) ? " Home Edition" : " Professional";
    SYSTEM_INFO info{};
    using NativeInfo = void(WINAPI*)(SYSTEM_INFO*);
    auto native = reinterpret_cast<NativeInfo>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
    native ? native(&info) : GetSystemInfo(&info);
    if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64)
        text += " (64-bit)";
    if (v.wServicePackMajor) {
        char pack[32];
        std::snprintf(pack, sizeof pack, " Service Pack %u", unsigned(v.wServicePackMajor));
        text += pack;
    }
    char build[32];
    std::snprintf(build, sizeof build, " (Build %lu)", v.dwBuildNumber & 0xFFFF);
    text += build;
    c.value = ansiTextResult(c.engine, text);
}

template <bool System>
void directory(MemberCall& c) {
    if (c.put)
        return;
    char path[MAX_PATH] = "";
    UINT n = System ? GetSystemDirectoryA(path, MAX_PATH) : GetWindowsDirectoryA(path, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        c.value = ansiTextResult(c.engine, path);
}

template <int Side>
void workarea(MemberCall& c) {
    if (c.put)
        return;
    RECT r;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0)) {
        c.value = Value::nan();
        return;
    }
    const LONG sides[] = {r.left, r.top, r.right, r.bottom};
    c.value = integerResult(sides[Side]);
}

template <bool Total>
void memory(MemberCall& c) {
    if (c.put)
        return;
    MEMORYSTATUSEX m{};
    m.dwLength = sizeof m;
    if (GlobalMemoryStatusEx(&m))
        c.value = integerResult(int64_t(Total ? m.ullTotalPhys : m.ullAvailPhys));
}

// The time-stamp counter timed against the performance counter for 50 ms.
void cpuSpeed(MemberCall& c) {
    if (c.put)
        return;
    LARGE_INTEGER frequency, start, now;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart == 0) {
        c.value = Value::nan();
        return;
    }
    QueryPerformanceCounter(&start);
    uint64_t ticks = __rdtsc();
    do
        QueryPerformanceCounter(&now);
    while (now.QuadPart - start.QuadPart < frequency.QuadPart / 20);
    double seconds = double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    double mhz = double(__rdtsc() - ticks) / seconds / 1e6;
    c.value = std::isfinite(mhz) && mhz > 0 ? quill::floatResult(mhz) : Value::nan();
}

// ---- the screen saver (the shell's own screen-saver entry) ----

void screenSaver(MemberCall& c) {
    if (!c.put) {
        c.value = ansiTextResult(c.engine, narrow(paloma::currentSystemScreenSaver()));
        return;
    }
    auto path = stringFrom(c.value);
    if (!path || path->empty() || path->find('\0') != std::string::npos)
        return;
    paloma::makeSystemScreenSaver(widen(*path));
}

void screenSaverActive(MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(paloma::screenSaverActive());
    else if (auto b = booleanFrom(c.value, true))
        paloma::setScreenSaverActive(*b);
}

void screenSaverTimeout(MemberCall& c) {
    if (!c.put)
        c.value = integerResult(paloma::screenSaverTimeout());
    else if (auto n = numberFrom(c.value); n && *n >= 0 && *n <= 0x7FFFFFFF)
        paloma::setScreenSaverTimeout(int(*n));
}

// ---- display modes ----

Value modeObject(Engine& engine, const DEVMODEA& mode) {
    Value object = objectResult(engine);
    setField(engine, object, "pelsWidth", integerResult(mode.dmPelsWidth));
    setField(engine, object, "pelsHeight", integerResult(mode.dmPelsHeight));
    setField(engine, object, "displayFrequency", integerResult(mode.dmDisplayFrequency));
    setField(engine, object, "bitsPerPel", integerResult(mode.dmBitsPerPel));
    return object;
}

std::optional<int64_t> fieldNumber(Engine& engine, const Value& object, const char* name) {
    Value v;
    if (!object.isObject() || !quill::objectGetByName(engine, object.asObject(), name, v))
        return std::nullopt;
    return numberFrom(v);
}

void displaySetting(MemberCall& c) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    if (!c.put) {
        if (EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode))
            c.value = modeObject(c.engine, mode);
        return;
    }
    if (!c.value.isObject())
        return;
    // Only the fields the object gives change.
    static const struct {
        const char* name;
        DWORD flag;
        DWORD DEVMODEA::*field;
    } kFields[] = {{"pelsWidth", DM_PELSWIDTH, &DEVMODEA::dmPelsWidth},
                   {"pelsHeight", DM_PELSHEIGHT, &DEVMODEA::dmPelsHeight},
                   {"displayFrequency", DM_DISPLAYFREQUENCY, &DEVMODEA::dmDisplayFrequency},
                   {"bitsPerPel", DM_BITSPERPEL, &DEVMODEA::dmBitsPerPel}};
    for (const auto& f : kFields)
        if (auto n = fieldNumber(c.engine, c.value, f.name)) {
            mode.*f.field = DWORD(*n);
            mode.dmFields |= f.flag;
        }
    Value testValue;
    bool test = quill::objectGetByName(c.engine, c.value.asObject(), "test", testValue) && quill::toBoolean(testValue);
    LONG r = ChangeDisplaySettingsA(&mode, test ? CDS_TEST : CDS_UPDATEREGISTRY);
    quill::objectPut(c.engine, c.value.asObject(), c.engine.internName("test"), integerResult(r));
}

void getDisplaySettings(MemberCall& c) {
    c.result = arrayResult(c.engine);
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i)
        appendElement(c.engine, c.result, modeObject(c.engine, mode));
}

// ---- leaving the session ----

template <UINT Flags>
void exitWindows(MemberCall& c) {
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    bool ok = gExitWindows(Flags, 0) != FALSE;
    if (!ok)
        reportSystemError(c.engine, GetLastError());
    c.result = booleanResult(ok);
}

constexpr Member kMembers[] = {
    classProperty<computerName>("computerName"),
    classProperty<userName>("userName"),
    classProperty<version>("version"),
    classProperty<directory<true>>("sysDir"),
    classProperty<directory<false>>("winDir"),
    classProperty<workarea<0>>("workareaLeft"),
    classProperty<workarea<1>>("workareaTop"),
    classProperty<workarea<2>>("workareaRight"),
    classProperty<workarea<3>>("workareaBottom"),
    classProperty<memory<true>>("totalPhysMemory"),
    classProperty<memory<false>>("availPhysMemory"),
    classProperty<cpuSpeed>("cpuSpeed"),
    classProperty<screenSaver>("screenSaver"),
    classProperty<screenSaverActive>("screenSaverActive"),
    classProperty<screenSaverTimeout>("screenSaverTimeout"),
    classProperty<displaySetting>("displaySetting"),
    classMethod<getDisplaySettings>("getDisplaySettings"),
    classMethod<exitWindows<EWX_LOGOFF>>("logOff"),
    classMethod<exitWindows<EWX_SHUTDOWN>>("shutdown"),
    classMethod<exitWindows<EWX_REBOOT>>("reboot"),
    classMethod<exitWindows<EWX_POWEROFF>>("powerOff"),
};

} // namespace

ExitWindowsFunction setExitWindowsFunction(ExitWindowsFunction f) {
    ExitWindowsFunction previous = gExitWindows;
    gExitWindows = f ? f : systemExitWindows;
    return previous;
}

void registerSysInfoClass(Engine& engine) {
    registerHostClass(engine, {.className = "SysInfo", .members = kMembers});
}

} // namespace paloma::host
