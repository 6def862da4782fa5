// A package's start-up script using the Application object, script menus and
// file associations, run as the system runs it: the additional files, an
// interval counted through processMsg, the trace file, onGetMovie choosing a
// second packaged movie and onMovieLoaded, a script menu item chosen by a
// command posted to the main window, and an association left in the
// registry.
#include "base/WinText.h"
#include "E2eSupport.h"
#include "host/window/MenuCommands.h"
#include "tests/support/MovieBytes.h"

#include <gtest/gtest.h>

using namespace paloma;

#if defined(PALOMA_PACK_EXE) && defined(PALOMA_FAKEPLAYER_OCX)

namespace {

constexpr const wchar_t* kIdentityKey = L"Software\\Paloma E2E Scripts";

constexpr const char* kInitScript = R"(
Application.traceToFile(getAppDir() + "trace.txt");
trace("extra " + getAdditionalFile("data/sub/b.txt"));
Application.setBasePath("attachments");
Application.setBasePath("Q:\\no\\such\\folder");
trace("base " + Application.getBasePath());
var ticks = 0;
function tick() { ticks++; }
var id = Application.setInterval(tick, 10);
var t0 = new Date().getTime();
while (ticks < 3 && new Date().getTime() - t0 < 10000) processMsg();
Application.clearInterval(id);
trace("ticks " + (ticks >= 3));
invoke("other");
trace("invoked " + readProfile("E2E", "invoked"));
function chooseMovie(o) { o.value = getAdditionalFile("second.swf"); return true; }
Application.onGetMovie = chooseMovie;
function loaded(path) { trace("loaded " + path); }
Application.onMovieLoaded = loaded;
var menu = new Menu();
trace("menu " + menu.load("MAIN") + " " + menu.setMenu());
function command(textId) { trace("command " + textId); }
Menu.onCommand = command;
Application.associate(".palomae2e", "PalomaE2E.Document");
)";

// Run by invoke() in the second script host.
constexpr const char* kOtherScript = R"(
writeProfile("E2E", "invoked", 6 * 7);
)";

struct WindowSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK findMainWindow(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<WindowSearch*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    wchar_t name[64] = {};
    GetClassNameW(h, name, 64);
    if (owner == s->process && std::wstring(name) == L"PalomaMainWnd") {
        s->found = h;
        return FALSE;
    }
    return TRUE;
}

// The main window of a process, once it has one.
HWND mainWindowOf(DWORD process) {
    WindowSearch search{process, nullptr};
    EnumWindows(findMainWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

TEST(AppScripts, StartUpScriptDrivesTheApplicationObjectAndAScriptMenu) {
    e2e::ScratchFolder scratch(L"appscripts");
    std::wstring tmp = scratch / L"tmp";
    CreateDirectoryW(tmp.c_str(), nullptr);
    e2e::deleteRegistryTree(kIdentityKey);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"PalomaE2E.Document");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".palomae2e");

    ASSERT_TRUE(e2e::writeFile(scratch / L"movie.swf", paloma::testing::movieBytes({})));
    ASSERT_TRUE(e2e::writeFile(scratch / L"second.swf", paloma::testing::movieBytes({})));
    CreateDirectoryW((scratch / L"data").c_str(), nullptr);
    CreateDirectoryW((scratch / L"data\\sub").c_str(), nullptr);
    ASSERT_TRUE(e2e::writeText(scratch / L"data\\sub\\b.txt", "bravo"));
    ASSERT_TRUE(e2e::writeText(scratch / L"init.qls", kInitScript));
    ASSERT_TRUE(e2e::writeText(scratch / L"other.qls", kOtherScript));
    ASSERT_TRUE(CopyFileW(e2e::hostPath(PALOMA_FIXTURES "/player_installer.exe").c_str(),
                          (scratch / L"player_setup.exe").c_str(), FALSE));
    ASSERT_TRUE(e2e::writeText(scratch / L"app.json", R"({
  "identity": "Paloma E2E Scripts/App\\V1.0",
  "title": "Scripts",
  "movie": "movie.swf",
  "installer": "player_setup.exe",
  "files": ["movie.swf", "second.swf", "data", "player_setup.exe"],
  "scripts": {"INITIALIZE": "init.qls", "OTHER": "other.qls"},
  "menus": {"MAIN": [{"caption": "&File", "items": [{"id": "hello", "caption": "&Hello\tCtrl+H"}]}]}
})"));
    std::wstring exe = scratch / L"app.exe";
    auto built = e2e::runProcess(L"\"" + e2e::hostPath(PALOMA_PACK_EXE) + L"\" build \"" + (scratch / L"app.json") +
                                 L"\" -o \"" + exe + L"\" --runtime \"" + e2e::hostPath(PALOMA_RUNTIME_EXE) + L"\"");
    ASSERT_TRUE(built.finished && built.exitCode == 0);

    // The stand-in ends the run a while after the movie is loaded.
    std::wstring events = scratch / L"quit.events";
    std::wstring log = scratch / L"player.log";
    ASSERT_TRUE(e2e::writeText(events, "wait 1500\nquit\n"));
    std::wstring env;
    for (const std::wstring& e : {L"TMP=" + tmp, L"TEMP=" + tmp, L"PALOMA_MESSAGE_LOG=" + (scratch / L"boxes.log"),
                                  L"PALOMA_FAKEPLAYER_LOG=" + log, L"PALOMA_FAKEPLAYER_SCRIPT=" + events})
        SetEnvironmentVariableW(e.substr(0, e.find(L'=')).c_str(), e.substr(e.find(L'=') + 1).c_str());
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = L"\"" + exe + L"\" /s";
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));

    // Choose the script menu's item by posting its command, once the main
    // window exists and the start-up script has set the menu.
    UINT commandId = paloma::host::textIdHash("hello") % paloma::host::kMenuHashStride + paloma::host::kFirstMenuCommand;
    bool posted = false;
    for (int i = 0; i < 200 && !posted; ++i) {
        HWND main = mainWindowOf(pi.dwProcessId);
        if (main && GetMenu(main))
            posted = PostMessageW(main, WM_COMMAND, commandId, 0) != 0;
        else
            Sleep(50);
    }
    bool finished = WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0;
    if (!finished)
        TerminateProcess(pi.hProcess, 99);
    DWORD exitCode = 0;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_TRUE(finished) << e2e::readText(log);
    EXPECT_TRUE(posted);
    EXPECT_EQ(exitCode, 0u);

    std::string trace = e2e::readText(scratch / L"trace.txt");
    std::string calls = e2e::readText(log);
    // The additional file was extracted below the run folder.
    EXPECT_NE(trace.find("extra " + narrow(tmp) + "\\{"), std::string::npos) << trace;
    EXPECT_NE(trace.find("}\\_extra\\data\\sub\\b.txt\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("ticks true\r\n"), std::string::npos) << trace;
    // The control's base URL: the extraction folder as a file URL.
    std::string base = "base file:///" + narrow(tmp) + "/{";
    for (char& c : base)
        c = c == '\\' ? '/' : c;
    EXPECT_NE(trace.find(base), std::string::npos) << trace;
    EXPECT_NE(trace.find("}/_extra/\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("invoked 42\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("menu true true\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("}\\_extra\\second.swf\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("loaded "), std::string::npos) << trace;
    EXPECT_NE(trace.find("command hello\r\n"), std::string::npos) << trace;
    // The stand-in was given the movie the handler chose.
    EXPECT_NE(calls.find("movie second.swf 550x400"), std::string::npos) << calls;
    EXPECT_EQ(calls.find("movie movie.swf"), std::string::npos) << calls;
    EXPECT_FALSE(e2e::exists(scratch / L"boxes.log")) << e2e::readText(scratch / L"boxes.log");
    EXPECT_TRUE(e2e::listFolder(tmp).empty()) << "the run folder is deleted at exit";

    auto command = e2e::registryString(HKEY_CLASSES_ROOT, L"PalomaE2E.Document\\shell\\open\\command", nullptr);
    ASSERT_TRUE(command.has_value());
    EXPECT_EQ(*command, exe + L" \"%1\"");
    EXPECT_EQ(e2e::registryString(HKEY_CLASSES_ROOT, L".palomae2e", nullptr).value_or(L""), L"PalomaE2E.Document");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"PalomaE2E.Document");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".palomae2e");
    // The application profile is the per-user store of the package.
    EXPECT_EQ(e2e::registryString(HKEY_CURRENT_USER, std::wstring(kIdentityKey) + L"\\App\\V1.0\\E2E", L"invoked")
                  .value_or(L""),
              L"42");
    e2e::deleteRegistryTree(kIdentityKey);
}

#endif
