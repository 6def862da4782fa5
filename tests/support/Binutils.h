#pragma once
// Windows tests under Wine: asks the build machine's binutils whether they
// read an executable. Signing tools, scanners and debuggers read the headers
// the Windows loader ignores; objdump refuses a file whose headers are not
// consistent ("file format not recognized"), so a package it reads is
// well-formed for them too. Wine starts Linux programs directly.

#include <windows.h>

#include <string>

namespace testsupport {

namespace detail {

using UnixName = char*(CDECL*)(const wchar_t*);

inline std::string unixName(const std::wstring& path) {
    auto convert = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert)
        return {};
    char* name = convert(path.c_str());
    if (!name)
        return {};
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

inline std::string readText(const std::wstring& path) {
    std::string text;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(f);
    return text;
}

} // namespace detail

// Empty when `objdump -p` reads `path` without complaint, else what went
// wrong (objdump's own message included).
inline std::string objdumpProblem(const std::wstring& path) {
#ifndef PALOMA_OBJDUMP
    (void)path;
    return "built without PALOMA_OBJDUMP";
#else
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    static int runs = 0;
    std::wstring folder = std::wstring(temp) + L"paloma-objdump-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++runs);
    CreateDirectoryW(folder.c_str(), nullptr);
    std::string file = detail::unixName(path), dir = detail::unixName(folder);
    if (file.empty() || dir.empty())
        return "not running under Wine: no way to start objdump";
    // Wine gives no handle of a Linux process to wait on, nor does it pass
    // it our standard handles: a shell writes the outputs and the exit
    // status to files, the status last.
    std::string script = "'" PALOMA_OBJDUMP "' -p '" + file + "' >'" + dir + "/out' 2>'" + dir +
                         "/err'; echo $? >'" + dir + "/status.part'; mv '" + dir + "/status.part' '" + dir +
                         "/status'";
    std::wstring command = L"/bin/sh -c \"";
    for (char c : script)
        command += wchar_t(static_cast<unsigned char>(c));
    command += L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string problem;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        problem = "objdump could not be started";
    if (pi.hThread)
        CloseHandle(pi.hThread);
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    std::wstring status = folder + L"\\status";
    for (int waited = 0; problem.empty() && GetFileAttributesW(status.c_str()) == INVALID_FILE_ATTRIBUTES; ++waited) {
        if (waited == 600)
            problem = "objdump did not finish";
        Sleep(100);
    }
    std::string code = detail::readText(status), messages = detail::readText(folder + L"\\err"),
                listing = detail::readText(folder + L"\\out");
    if (!problem.empty()) {
    } else if (code != "0\n" || !messages.empty()) {
        problem = "objdump -p (exit status " + code.substr(0, code.find('\n')) + "): " + messages;
    } else if (listing.find("The Data Directory") == std::string::npos) {
        problem = "objdump listed no data directory";
    } else if (auto at = listing.find("orrupt"); at != std::string::npos) {
        problem = "objdump found damage: " + listing.substr(at > 60 ? at - 60 : 0, 120);
    }
    for (const wchar_t* name : {L"\\out", L"\\err", L"\\status", L"\\status.part"})
        DeleteFileW((folder + name).c_str());
    RemoveDirectoryW(folder.c_str());
    return problem;
#endif
}

} // namespace testsupport
