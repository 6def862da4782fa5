// Shell: starting programs, shell verbs, special folders, the environment,
// recent documents, the recycle bin, the wallpaper and version resources.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/TextCodec.h"
#include "host/HostServices.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"
#include "host/system/ErrorReportWin.h"
#include "host/system/SystemClasses.h"

namespace paloma::host {

namespace {

using quill::Engine;
using quill::Value;

struct Handle {
    HANDLE h = nullptr;
    Handle() = default;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

struct Process {
    Handle process, thread;
    DWORD threadId = 0;
};

// Starts a command line; false with the system's message reported.
bool startProcess(Engine& engine, const std::string& commandLine, DWORD flags, STARTUPINFOA& startup,
                  Process& out, bool inheritHandles = false) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    PROCESS_INFORMATION info{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, inheritHandles, flags, nullptr, nullptr, &startup,
                        &info)) {
        reportSystemError(engine, GetLastError());
        return false;
    }
    out.process.h = info.hProcess;
    out.thread.h = info.hThread;
    out.threadId = info.dwThreadId;
    return true;
}

bool validText(const std::string& s) { return s.find('\0') == std::string::npos; }

BOOL CALLBACK firstWindow(HWND window, LPARAM found) {
    if (GetWindowLongA(window, GWL_STYLE) & WS_POPUP)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void run(MemberCall& c) {
    auto command = c.string(1);
    if (!command)
        return;
    c.result = nullResult();
    STARTUPINFOA startup{};
    Process p;
    if (!validText(*command) || !startProcess(c.engine, *command, NORMAL_PRIORITY_CLASS, startup, p))
        return;
    WaitForInputIdle(p.process.h, 10000);
    HWND found = nullptr;
    EnumThreadWindows(p.threadId, firstWindow, reinterpret_cast<LPARAM>(&found));
    if (!found || !quill::classBoundTo(c.engine, "Window"))
        return;
    Value args[2] = {Value::integer(1), Value::integer(int64_t(reinterpret_cast<intptr_t>(found)))};
    if (quill::constructByName(c.engine, "Window", quill::ArgList{args}))
        c.result = c.engine.lastResult;
}

// Waits for the program to end and returns its exit code.
void runAndWait(MemberCall& c) {
    auto command = c.string(1);
    if (!command)
        return;
    c.result = nullResult();
    HWND focus = GetFocus();
    STARTUPINFOA startup{};
    Process p;
    if (!validText(*command) || !startProcess(c.engine, *command, NORMAL_PRIORITY_CLASS, startup, p))
        return;
    WaitForSingleObject(p.process.h, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(p.process.h, &code);
    if (HWND main = hostServices().playerWindow())
        SetActiveWindow(main);
    if (focus && IsWindow(focus))
        SetFocus(focus);
    c.result = integerResult(code);
}

void runConsole(MemberCall& c) {
    auto command = c.string(1);
    if (!command || !validText(*command))
        return;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        reportSystemError(c.engine, GetLastError());
        return;
    }
    Handle reader(readEnd), writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    Process p;
    if (!startProcess(c.engine, *command, CREATE_NO_WINDOW, startup, p, true))
        return;
    // Only the child holds the write end now: the pipe ends with it.
    CloseHandle(writer.h);
    writer.h = nullptr;
    std::string output;
    char piece[100];
    DWORD n;
    while (ReadFile(readEnd, piece, sizeof piece, &n, nullptr) && n > 0)
        output.append(piece, n);
    c.result = ansiTextResult(c.engine, output);
}

template <int Verb>
void execute(MemberCall& c) {
    static constexpr const char* kVerbs[] = {"open", "explore", "print"};
    auto file = c.string(1);
    if (!file)
        return;
    std::optional<std::string> directory, parameters;
    if (c.has(2) && !(directory = c.string(2)))
        return;
    if (c.has(3) && !(parameters = c.string(3)))
        return;
    HINSTANCE r = ShellExecuteA(hostServices().playerWindow(), kVerbs[Verb], file->c_str(),
                                parameters ? parameters->c_str() : nullptr, directory ? directory->c_str() : nullptr,
                                SW_SHOWNORMAL);
    c.result = booleanResult(reinterpret_cast<intptr_t>(r) > 32);
}

void findExecutable(MemberCall& c) {
    auto document = c.string(1);
    if (!document)
        return;
    char program[MAX_PATH] = "";
    HINSTANCE r = FindExecutableA(document->c_str(), nullptr, program);
    c.result = reinterpret_cast<intptr_t>(r) > 32 ? ansiTextResult(c.engine, program) : nullResult();
}

std::optional<std::string> environment(const char* name) {
    DWORD n = GetEnvironmentVariableA(name, nullptr, 0);
    if (n == 0)
        return std::nullopt;
    std::string value(n, '\0');
    n = GetEnvironmentVariableA(name, value.data(), n);
    value.resize(n);
    return value;
}

void getSpecialFolder(MemberCall& c) {
    auto given = c.string(1);
    if (!given)
        return;
    std::string name = *given;
    for (char& ch : name)
        ch = char(std::tolower(uint8_t(ch)));
    static const struct {
        const char* name;
        int id;
    } kFolders[] = {{"appdata", 26},        {"cookies", 33},       {"desktop", 16},       {"desktop all", 25},
                    {"favorites", 6},       {"fonts", 20},         {"history", 34},       {"internet cache", 32},
                    {"my documents", 5},    {"nethood", 19},       {"printers", 27},      {"programs", 2},
                    {"programs all", 23},   {"recent", 8},         {"sendto", 9},         {"startmenu", 11},
                    {"startmenu all", 22},  {"startup", 7},        {"startup all", 24},   {"templates", 21}};
    c.result = nullResult();
    char path[MAX_PATH] = "";
    for (const auto& f : kFolders) {
        if (name != f.name)
            continue;
        LPITEMIDLIST list = nullptr;
        if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, f.id, &list)) && list) {
            if (SHGetPathFromIDListA(list, path))
                c.result = ansiTextResult(c.engine, path);
            CoTaskMemFree(list);
        }
        return;
    }
    if (name == "windows" || name == "system") {
        UINT n = name == "windows" ? GetWindowsDirectoryA(path, MAX_PATH) : GetSystemDirectoryA(path, MAX_PATH);
        if (n > 0 && n < MAX_PATH)
            c.result = ansiTextResult(c.engine, path);
    } else if (name == "temp") {
        auto temp = environment("TMP");
        if (!temp)
            temp = environment("TEMP");
        if (!temp && GetWindowsDirectoryA(path, MAX_PATH))
            temp = path;
        if (temp)
            c.result = ansiTextResult(c.engine, *temp);
    } else if (name == "program files") {
        auto folder = environment("ProgramFiles");
        if (!folder) {
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion", 0, KEY_READ,
                              &key) == ERROR_SUCCESS) {
                DWORD size = MAX_PATH, type = 0;
                if (RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(path),
                                     &size) == ERROR_SUCCESS && type == REG_SZ)
                    folder = std::string(path, strnlen(path, std::min<DWORD>(size, MAX_PATH)));
                RegCloseKey(key);
            }
        }
        if (folder)
            c.result = ansiTextResult(c.engine, *folder);
    }
}

void addToRecentDocs(MemberCall& c) {
    if (auto path = c.string(1))
        SHAddToRecentDocs(SHARD_PATHA, path->c_str());
}

void clearRecentDocs(MemberCall&) { SHAddToRecentDocs(SHARD_PATHA, nullptr); }

void emptyRecycleBin(MemberCall& c) {
    using Empty = HRESULT(WINAPI*)(HWND, LPCSTR, DWORD);
    HMODULE shell = GetModuleHandleA("Shell32.dll");
    if (!shell)
        shell = LoadLibraryA("Shell32.dll");
    auto empty = shell ? reinterpret_cast<Empty>(reinterpret_cast<void*>(GetProcAddress(shell, "SHEmptyRecycleBinA")))
                       : nullptr;
    if (empty)
        c.result = booleanResult(SUCCEEDED(
            empty(nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND)));
}

void getEnvironmentStrings(MemberCall& c) {
    c.result = arrayResult(c.engine);
    wchar_t* block = GetEnvironmentStringsW();
    if (!block)
        return;
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
        std::u16string_view text(reinterpret_cast<const char16_t*>(entry), wcslen(entry));
        // A name may begin with '=' (the per-drive folders): that one is kept.
        size_t equals = text.find(u'=', 1);
        appendElement(c.engine, c.result, ansiTextResult(c.engine, utf16ToAnsi(text.substr(0, equals))));
    }
    FreeEnvironmentStringsW(block);
}

void getEnvironmentVariable(MemberCall& c) {
    auto name = c.string(1);
    if (!name)
        return;
    auto value = validText(*name) ? environment(name->c_str()) : std::nullopt;
    c.result = value ? ansiTextResult(c.engine, *value) : nullResult();
}

void setEnvironmentVariable(MemberCall& c) {
    if (!c.has(2))
        return;
    std::string name = quill::valueToText(c.engine, c.arg(1));
    std::string value = quill::valueToText(c.engine, c.arg(2));
    c.result = booleanResult(validText(name) && validText(value) &&
                             SetEnvironmentVariableA(name.c_str(), value.c_str()));
}

void delEnvironmentVariable(MemberCall& c) {
    auto name = c.string(1);
    if (name)
        c.result = booleanResult(validText(*name) && SetEnvironmentVariableA(name->c_str(), nullptr));
}

void expandEnvironmentStrings(MemberCall& c) {
    auto text = c.string(1);
    if (!text)
        return;
    DWORD n = ExpandEnvironmentStringsA(text->c_str(), nullptr, 0);
    if (n == 0)
        return;
    std::string out(n, '\0');
    n = ExpandEnvironmentStringsA(text->c_str(), out.data(), n);
    out.resize(n > 0 ? n - 1 : 0);
    c.result = ansiTextResult(c.engine, out);
}

void setDesktopWallpaper(MemberCall& c) {
    auto path = c.string(1);
    if (!path)
        return;
    bool update = true, broadcast = true;
    if (c.has(2)) {
        auto b = c.boolean(2, true);
        if (!b)
            return;
        update = *b;
    }
    if (c.has(3)) {
        auto b = c.boolean(3, true);
        if (!b)
            return;
        broadcast = *b;
    }
    UINT flags = (update ? SPIF_UPDATEINIFILE : 0) | (broadcast ? SPIF_SENDCHANGE : 0);
    c.result = booleanResult(SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, path->data(), flags));
}

void settingChange(MemberCall&) {
    // A window that does not answer is not waited for forever.
    DWORD_PTR ignored;
    SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

void getFileVersionInfo(MemberCall& c) {
    auto path = c.string(1);
    if (!path || !validText(*path))
        return;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path->c_str(), &ignored);
    if (size == 0)
        return;
    std::vector<char> info(size);
    if (!GetFileVersionInfoA(path->c_str(), 0, size, info.data()))
        return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || length < 52 || !fixed)
        return;
    Value object = objectResult(c.engine);
    setField(c.engine, object, "fileVersionNum",
             integerResult(int64_t(uint64_t(fixed->dwFileVersionMS) << 32 | fixed->dwFileVersionLS)));
    setField(c.engine, object, "productVersionNum",
             integerResult(int64_t(uint64_t(fixed->dwProductVersionMS) << 32 | fixed->dwProductVersionLS)));
    uint32_t translation = 0;
    WORD* pair = nullptr;
    if (VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pair), &length) &&
        length >= 4 && pair)
        translation = uint32_t(pair[0]) << 16 | pair[1];
    setField(c.engine, object, "translation", integerResult(translation));
    static const struct {
        const char* property;
        const char* block;
    } kStrings[] = {{"comments", "Comments"},
                    {"companyName", "CompanyName"},
                    {"fileDescription", "FileDescription"},
                    {"fileVersion", "FileVersion"},
                    {"internalName", "InternalName"},
                    {"legalCopyright", "LegalCopyright"},
                    {"legalTrademarks", "LegalTrademarks"},
                    {"originalFilename", "OriginalFilename"},
                    {"privateBuild", "PrivateBuild"},
                    {"productName", "ProductName"},
                    {"productVersion", "productVersion"},
                    {"specialBuild", "SpecialBuild"}};
    for (const auto& s : kStrings) {
        char block[96];
        std::snprintf(block, sizeof block, "\\StringFileInfo\\%08X\\%s", unsigned(translation), s.block);
        char* text = nullptr;
        std::string value;
        if (VerQueryValueA(info.data(), block, reinterpret_cast<void**>(&text), &length) && text && length > 0)
            value.assign(text, strnlen(text, length));
        setField(c.engine, object, s.property, ansiTextResult(c.engine, value));
    }
    c.result = object;
}

constexpr Member kMembers[] = {
    classMethod<run>("run"),
    classMethod<runAndWait>("runAndWait"),
    classMethod<runConsole>("runConsole"),
    classMethod<execute<0>>("open"),
    classMethod<execute<1>>("explore"),
    classMethod<execute<2>>("print"),
    classMethod<findExecutable>("findExecutable"),
    classMethod<getSpecialFolder>("getSpecialFolder"),
    classMethod<addToRecentDocs>("addToRecentDocs"),
    classMethod<clearRecentDocs>("clearRecentDocs"),
    classMethod<emptyRecycleBin>("emptyRecycleBin"),
    classMethod<getEnvironmentStrings>("getEnvironmentStrings"),
    classMethod<getEnvironmentVariable>("getEnvironmentVariable"),
    classMethod<setEnvironmentVariable>("setEnvironmentVariable"),
    classMethod<delEnvironmentVariable>("delEnvironmentVariable"),
    classMethod<expandEnvironmentStrings>("expandEnvironmentStrings"),
    classMethod<setDesktopWallpaper>("setDesktopWallpaper"),
    classMethod<settingChange>("settingChange"),
    classMethod<getFileVersionInfo>("getFileVersionInfo"),
};

} // namespace

void registerShellClass(Engine& engine) {
    registerHostClass(engine, {.className = "Shell", .members = kMembers});
}

} // namespace paloma::host
