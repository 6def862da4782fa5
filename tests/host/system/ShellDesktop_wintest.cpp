// Shell members that start programs or change the user's desktop, against
// the system's own shell: a started program's window, the shell verbs of a
// file association, the recycle bin and the wallpaper.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/ClassOrder.h"
#include "script/Quill.h"

namespace paloma::host::test {
namespace {

namespace fs = std::filesystem;

std::string fullPath(const std::string& path) {
    char out[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, out, nullptr);
    return n > 0 && n < MAX_PATH ? std::string(out, n) : path;
}

// Quill string literal of a text.
std::string literal(const std::string& text) {
    std::string out = "'";
    for (char ch : text) {
        if (ch == '\\' || ch == '\'')
            out += '\\';
        out += ch;
    }
    return out + "'";
}

std::string lower(std::string s) {
    for (char& ch : s)
        ch = char(tolower(uint8_t(ch)));
    return s;
}

// The file's text once it exists (other processes write it), else empty.
std::string awaitFile(const fs::path& path) {
    for (int i = 0; i < 300; ++i) {
        std::ifstream in(path);
        std::stringstream text;
        if (in && (text << in.rdbuf()) && !text.str().empty())
            return text.str();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

std::string wallpaper() {
    char path[MAX_PATH] = "";
    SystemParametersInfoA(SPI_GETDESKWALLPAPER, MAX_PATH, path, 0);
    return path;
}

std::string storedWallpaper() {
    char path[MAX_PATH] = "";
    DWORD size = sizeof path;
    RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "Wallpaper", RRF_RT_REG_SZ, nullptr, path, &size);
    return path;
}

// A 2x2 24-bit bitmap file.
void writeBitmap(const fs::path& path) {
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = 2;
    info.biHeight = 2;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const uint8_t pixels[16] = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + sizeof pixels;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(reinterpret_cast<const char*>(pixels), sizeof pixels);
}

UINT gSettingChanges = 0;

LRESULT CALLBACK countSettingChanges(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_WININICHANGE)
        ++gSettingChanges;
    return DefWindowProcA(window, message, w, l);
}

// The names of the files in a folder that begin with `prefix`.
std::vector<std::string> filesStartingWith(const fs::path& dir, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            names.push_back(entry.path().filename().string());
    return names;
}

class ShellDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = fs::path(temp) / ("paloma-shell-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        helper = fullPath(PALOMA_DESKTOP_HELPER);
        run("var helper = " + literal(helper) + "; var folder = " + literal(folder.string()) + ";");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    void run(const std::string& source) { ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText; }
    std::string eval(const std::string& source) {
        run(source);
        return quill::valueToText(*engine, engine->global(engine->internName("r")));
    }

    std::unique_ptr<quill::Engine> engine;
    fs::path folder;
    std::string helper;
};

TEST_F(ShellDesktopTest, RunGivesTheProgramsTopLevelWindow) {
    // The helper's popup lies above its window: the popup is passed over.
    EXPECT_EQ(eval("var w = Shell.run('\"' + helper + '\" window \"Started by Shell\"');"
                   "r = [w, w.caption, w.className, w.visible]"),
                   "[object Window],Started by Shell,PalomaHelperWindow,true");
    run("var handle = w.handle; w.close();");
    HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(engine->global(engine->internName("handle")).asInteger()));
    for (int i = 0; i < 100 && IsWindow(window); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(IsWindow(window)) << "the program did not end when its window closed";
    // A program without windows gives null.
    EXPECT_EQ(eval("r = Shell.run('\"' + helper + '\" record ' + folder + '\\\\ran.txt') === null"), "true");
    EXPECT_NE(awaitFile(folder / "ran.txt"), "");
}

// The verbs through a file association, as an installed program would have
// made it.
class ShellVerbsTest : public ShellDesktopTest {
protected:
    void SetUp() override {
        ShellDesktopTest::SetUp();
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ".palomatest", 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr), ERROR_SUCCESS);
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("PalomaTest.Document"), 20);
        RegCloseKey(key);
        for (const char* verb : {"open", "print"}) {
            std::string path = std::string("PalomaTest.Document\\shell\\") + verb + "\\command";
            std::string command = "\"" + helper + "\" record \"%1." + verb + "ed\"";
            ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                      nullptr), ERROR_SUCCESS);
            RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                           DWORD(command.size() + 1));
            RegCloseKey(key);
        }
        document = folder / "letter.palomatest";
        std::ofstream(document) << "text";
        run("var document = " + literal(document.string()) + ";");
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ".palomatest");
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "PalomaTest.Document");
        ShellDesktopTest::TearDown();
    }

    fs::path document;
};

TEST_F(ShellVerbsTest, OpenPrintAndFindExecutableFollowTheAssociation) {
    run("var found = Shell.findExecutable(document);");
    EXPECT_EQ(lower(fullPath(quill::valueToText(*engine, engine->global(engine->internName("found"))))),
              lower(helper));
    EXPECT_EQ(eval("r = [Shell.open(document), Shell.print(document)]"), "true,true");
    EXPECT_NE(awaitFile(folder / "letter.palomatest.opened"), "");
    EXPECT_NE(awaitFile(folder / "letter.palomatest.printed"), "");
    // A program with a working folder and parameters.
    fs::path work = folder / "work";
    fs::create_directories(work);
    EXPECT_EQ(eval("r = Shell.open(helper, " + literal(work.string()) + ", 'record out.txt alpha beta')"), "true");
    std::string recorded = awaitFile(work / "out.txt");
    EXPECT_EQ(lower(recorded.substr(0, recorded.find('\n'))), lower(work.string()));
    EXPECT_NE(recorded.find("record out.txt alpha beta"), std::string::npos) << recorded;
    // What the shell cannot do: false and null.
    EXPECT_EQ(eval("r = [Shell.open(folder + '\\\\missing.palomatest'), Shell.print(folder + '\\\\missing.txt'),"
                   "Shell.findExecutable(folder + '\\\\missing.palomatest') === null, typeof Shell.open(5)]"),
              "false,false,true,undefined");
}

BOOL CALLBACK exploredWindow(HWND window, LPARAM found) {
    char title[512] = "";
    GetWindowTextA(window, title, sizeof title);
    if (!strstr(title, "PalomaExplored"))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

TEST_F(ShellDesktopTest, ExploreOpensAFolderWindow) {
    fs::path shown = folder / "PalomaExplored";
    fs::create_directories(shown);
    EXPECT_EQ(eval("r = Shell.explore(" + literal(shown.string()) + ")"), "true");
    // The shell's folder window names the folder.
    HWND window = nullptr;
    for (int i = 0; i < 200 && !window; ++i) {
        EnumWindows(exploredWindow, reinterpret_cast<LPARAM>(&window));
        if (!window)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(window, nullptr) << "no folder window appeared";
    PostMessageA(window, WM_CLOSE, 0, 0);
}

TEST_F(ShellDesktopTest, EmptyRecycleBinEmptiesIt) {
    // Wine keeps the bin below XDG_DATA_HOME: only ever the test's own.
    char data[MAX_PATH] = "";
    GetEnvironmentVariableA("XDG_DATA_HOME", data, MAX_PATH);
    ASSERT_EQ(std::string(data), PALOMA_TEST_XDG_DATA) << "run through CTest: the bin would be the user's";
    fs::path file = folder / "thrown away.txt";
    std::ofstream(file) << "contents";
    std::string from = file.string() + '\0';
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    ASSERT_EQ(SHFileOperationA(&op), 0);
    SHQUERYRBINFO bin{};
    bin.cbSize = sizeof bin;
    ASSERT_EQ(SHQueryRecycleBinA(nullptr, &bin), S_OK);
    ASSERT_GE(bin.i64NumItems, 1);
    EXPECT_EQ(eval("r = Shell.emptyRecycleBin()"), "true");
    ASSERT_EQ(SHQueryRecycleBinA(nullptr, &bin), S_OK);
    EXPECT_EQ(bin.i64NumItems, 0);
}

TEST_F(ShellDesktopTest, SettingChangeReachesEveryTopLevelWindow) {
    WNDCLASSA cls{};
    cls.lpfnWndProc = countSettingChanges;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "PalomaSettingWatcher";
    RegisterClassA(&cls);
    HWND watcher = CreateWindowA(cls.lpszClassName, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                 cls.hInstance, nullptr);
    ASSERT_NE(watcher, nullptr);
    gSettingChanges = 0;
    run("Shell.settingChange();");
    EXPECT_EQ(gSettingChanges, 1u);
    DestroyWindow(watcher);
}

TEST_F(ShellDesktopTest, RecentDocumentsAreAddedAndCleared) {
    char recent[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, recent, CSIDL_RECENT, TRUE));
    fs::path document = folder / "PalomaRecentNote.txt";
    std::ofstream(document) << "note";
    run("Shell.addToRecentDocs(" + literal(document.string()) + ");");
    EXPECT_FALSE(filesStartingWith(recent, "PalomaRecentNote").empty()) << "no link in " << recent;
    // The shell's list of recent documents goes (the system may keep the links).
    const char* list = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs";
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, list, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    run("Shell.clearRecentDocs();");
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, list, 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST_F(ShellDesktopTest, WallpaperWithAndWithoutTheProfile) {
    std::string before = storedWallpaper();
    fs::path first = folder / "first.bmp", second = folder / "second.bmp";
    writeBitmap(first);
    writeBitmap(second);
    EXPECT_EQ(eval("r = Shell.setDesktopWallpaper(" + literal(first.string()) + ")"), "true");
    EXPECT_EQ(wallpaper(), first.string());
    EXPECT_EQ(storedWallpaper(), first.string());
    // Not stored in the profile: the desktop changes, the profile keeps the first.
    EXPECT_EQ(eval("r = Shell.setDesktopWallpaper(" + literal(second.string()) + ", false, false)"), "true");
    EXPECT_EQ(wallpaper(), second.string());
    EXPECT_EQ(storedWallpaper(), first.string());
    EXPECT_EQ(eval("r = typeof Shell.setDesktopWallpaper(" + literal(second.string()) + ", 'yes')"), "undefined");
    SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, before.data(), SPIF_UPDATEINIFILE);
}

} // namespace
} // namespace paloma::host::test
