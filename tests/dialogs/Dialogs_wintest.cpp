// Dialogs and FontObject: each dialog shown by a script and answered by a
// helper thread of the test that finds the dialog window and presses its
// buttons or types into it.
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/ClassOrder.h"
#include "host/HostServices.h"
#include "script/Quill.h"

using namespace paloma;
using namespace paloma::host;

namespace {

std::string tempFolder() {
    char folder[MAX_PATH + 1];
    GetTempPathA(MAX_PATH + 1, folder);
    std::string path = std::string(folder) + "dialogs" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

std::string windowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

BOOL CALLBACK findDialog(HWND w, LPARAM out) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[32] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (pid == GetCurrentProcessId() && IsWindowVisible(w) && std::string(cls) == "#32770") {
        *reinterpret_cast<HWND*>(out) = w;
        return FALSE;
    }
    return TRUE;
}

// A visible dialog window of this process, waited for up to ten seconds.
HWND waitForDialog() {
    for (int i = 0; i < 500; ++i) {
        HWND found = nullptr;
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&found));
        if (found)
            return found;
        Sleep(20);
    }
    return nullptr;
}

void press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The file name box of a file dialog.
HWND fileNameBox(HWND dialog) {
    HWND box = GetDlgItem(dialog, cmb13);
    return box ? box : GetDlgItem(dialog, edt1);
}

// The program's side: a main window and a profile file of the test's own.
class Services : public HostServices {
public:
    Services() {
        window = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 600, 500,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~Services() override {
        DestroyWindow(window);
        DeleteFileA(profile.c_str());
    }
    WindowHandle playerWindow() override { return window; }
    std::string profilePath() override { return profile; }
    HWND window;
    std::string profile = tempFolder() + "\\profile.ini";
};

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
        quill::setTraceOutput(*engine, [this](std::string_view line) { trace.emplace_back(line); });
        folder = tempFolder();
        for (const char* name : {"a.txt", "b.txt"}) {
            HANDLE f = CreateFileA((folder + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            CloseHandle(f);
        }
        GetCurrentDirectoryA(MAX_PATH, previousDirectory);
        SetCurrentDirectoryA(folder.c_str());
    }
    void TearDown() override {
        SetCurrentDirectoryA(previousDirectory);
        engine.reset();
        for (const char* name : {"a.txt", "b.txt", "new.txt"})
            DeleteFileA((folder + "\\" + name).c_str());
        RemoveDirectoryA(folder.c_str());
    }

    // Runs `expression` in a script while `answer` handles the dialog it
    // shows; gives the expression's text. The dialog's owner and title are
    // kept for the test.
    std::string answered(const std::string& expression, std::function<void(HWND)> answer) {
        owner = nullptr;
        title.clear();
        std::thread helper([&] {
            HWND dialog = waitForDialog();
            if (!dialog)
                return;
            owner = GetWindow(dialog, GW_OWNER);
            title = windowText(dialog);
            answer(dialog);
        });
        trace.clear();
        bool ok = quill::evalSource(*engine, "var r = " + expression + "; trace(r);");
        helper.join();
        EXPECT_TRUE(ok) << engine->errorText;
        return trace.empty() ? "<none>" : trace.back();
    }
    std::string eval(const std::string& expression) {
        trace.clear();
        EXPECT_TRUE(quill::evalSource(*engine, "trace(" + expression + ");")) << engine->errorText;
        return trace.empty() ? "<none>" : trace.back();
    }
    std::string quoted(const std::string& text) {
        std::string out = "\"";
        for (char ch : text)
            out += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
        return out + "\"";
    }

    Services services;
    ScopedHostServices scope{services};
    std::unique_ptr<quill::Engine> engine;
    std::vector<std::string> trace;
    std::string folder;
    char previousDirectory[MAX_PATH] = {};
    HWND owner = nullptr;
    std::string title;
};

} // namespace

TEST_F(Dialogs, MessageBoxesHaveTheDefaultTitleAndGiveTheButtonPressed) {
    std::string text;
    EXPECT_EQ(answered("Dialogs.msgBox('Hello there')",
                       [&](HWND d) {
                           text = windowText(GetDlgItem(d, 0xFFFF));
                           press(d, IDOK);
                       }),
              std::to_string(IDOK));
    EXPECT_EQ(title, "Paloma");
    EXPECT_EQ(owner, services.window);
    EXPECT_EQ(text, "Hello there");
    // A title that is not a string is shown as text; the type's buttons.
    EXPECT_EQ(answered("Dialogs.msgBox('Sure?', 42, 4)", [](HWND d) { press(d, IDNO); }), std::to_string(IDNO));
    EXPECT_EQ(title, "42");
    EXPECT_EQ(answered("Dialogs.msgBox('Go on?', 'Ask', 1)", [](HWND d) { press(d, IDCANCEL); }),
              std::to_string(IDCANCEL));
}

TEST_F(Dialogs, FileOpenGivesThePathOrTheFolderAndNames) {
    auto chooseIn = [this](const char* names) {
        return [this, names](HWND d) {
            // A folder typed as the name opens it; then the names.
            SetWindowTextA(fileNameBox(d), folder.c_str());
            press(d, IDOK);
            Sleep(300);
            SetWindowTextA(fileNameBox(d), names);
            press(d, IDOK);
        };
    };
    EXPECT_EQ(answered("Dialogs.fileOpen('Text|*.txt|All|*.*', 'txt', " + quoted(folder + "\\a.txt") + ", false)",
                       [](HWND d) { press(d, IDOK); }),
              folder + "\\a.txt");
    EXPECT_EQ(owner, services.window);
    EXPECT_EQ(answered("Dialogs.fileOpen('Text|*.txt', 'txt', '', true)", chooseIn("\"a.txt\" \"b.txt\"")),
              folder + ",a.txt,b.txt");
    EXPECT_EQ(eval("r.length"), "3");
    EXPECT_EQ(answered("Dialogs.fileOpen('Text|*.txt', 'txt', '', true)", chooseIn("b.txt")), folder + "\\b.txt");
    EXPECT_EQ(eval("r.length"), "1");
    EXPECT_EQ(answered("Dialogs.fileOpen('Text|*.txt')", [](HWND d) { press(d, IDCANCEL); }), "false");
}

TEST_F(Dialogs, FileSaveCentresOnTheMainWindowAndAddsTheDefaultExtension) {
    RECT box = {};
    EXPECT_EQ(answered("Dialogs.fileSave('Text|*.txt', 'txt', " + quoted(folder + "\\new") + ")",
                       [&](HWND d) {
                           Sleep(200);
                           GetWindowRect(d, &box);
                           press(d, IDOK);
                       }),
              folder + "\\new.txt");
    RECT main;
    GetWindowRect(services.window, &main);
    EXPECT_NEAR((box.left + box.right) / 2, (main.left + main.right) / 2, 2);
    EXPECT_NEAR((box.top + box.bottom) / 2, (main.top + main.bottom) / 2, 2);
    EXPECT_EQ(answered("Dialogs.fileSave('Text|*.txt', 'txt', " + quoted(folder + "\\new") + ")", [](HWND d) { press(d, IDCANCEL); }), "false");
}

TEST_F(Dialogs, SecondStyleRemembersTheFolderInTheProfile) {
    // Not remembering: the dialog starts where the system places it; the
    // chosen folder is stored all the same.
    std::string typed = folder + "\\b.txt";
    EXPECT_EQ(answered("Dialogs.fileOpen2('Text|*.txt', 'C:\\\\', false, 'txt', 'details')",
                       [&](HWND d) {
                           SetWindowTextA(fileNameBox(d), typed.c_str());
                           press(d, IDOK);
                       }),
              folder + "\\b.txt");
    EXPECT_EQ(services.readProfileString("Settings", "FDN_LastDir"), folder);
    // Remembering: the next dialog starts in the stored folder, wherever the
    // program is.
    SetCurrentDirectoryA("C:\\");
    EXPECT_EQ(answered("Dialogs.fileOpen2('Text|*.txt', 'C:\\\\', true, 'txt', 'icons')",
                       [](HWND d) {
                           SetWindowTextA(fileNameBox(d), "a.txt");
                           press(d, IDOK);
                       }),
              folder + "\\a.txt");
    // Saving in the remembered folder adds the default extension.
    EXPECT_EQ(answered("Dialogs.fileSave2('Text|*.txt', 'C:\\\\', true, 'txt', 'list')",
                       [](HWND d) {
                           SetWindowTextA(fileNameBox(d), "new");
                           press(d, IDOK);
                       }),
              folder + "\\new.txt");
    EXPECT_EQ(answered("Dialogs.fileSave2('Text|*.txt', '', false, 'txt', 'list')", [](HWND d) { press(d, IDCANCEL); }),
              "false");
    EXPECT_EQ(answered("Dialogs.fileOpen2('Text|*.txt', '', true, 'txt', 'tiles')", [](HWND d) { press(d, IDCANCEL); }),
              "false");
}

TEST_F(Dialogs, ColourPickerStartsAtTheGivenColour) {
    EXPECT_EQ(answered("Dialogs.chooseColor(0xFF0000)", [](HWND d) { press(d, IDOK); }), std::to_string(0xFF0000));
    EXPECT_EQ(owner, services.window);
    // Another colour typed into the dialog's red, green and blue boxes.
    EXPECT_EQ(answered("Dialogs.chooseColor(0xFF0000)",
                       [](HWND d) {
                           for (auto [id, value] : {std::pair{706, "18"}, {707, "52"}, {708, "86"}}) // red, green, blue
                               SendMessageA(GetDlgItem(d, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value));
                           press(d, IDOK);
                       }),
              std::to_string(0x123456));
    EXPECT_EQ(answered("Dialogs.chooseColor(0x00FF00)", [](HWND d) { press(d, IDCANCEL); }), "false");
}

TEST_F(Dialogs, FontPickerGivesANewFontObject) {
    quill::evalSource(*engine, "var f = new FontObject(); f.name = 'DejaVu Sans'; f.size = 12; f.bold = true;"
                               "f.underline = true; f.color = 0x0000FF;");
    EXPECT_EQ(answered("Dialogs.chooseFont(f)", [](HWND d) { press(d, IDOK); }), "[object FontObject]");
    EXPECT_EQ(eval("r === f"), "false");
    EXPECT_EQ(eval("r.name + ' ' + r.size + ' ' + r.bold + ' ' + r.italic + ' ' + r.underline + ' ' + r.color"),
              "DejaVu Sans 12 true false true 255");
    answered("Dialogs.chooseFont(f)", [](HWND d) { press(d, IDCANCEL); });
    EXPECT_EQ(eval("r === null"), "true");
}

TEST_F(Dialogs, FolderBrowserStartsAtTheGivenFolder) {
    std::string status;
    EXPECT_EQ(answered("Dialogs.browse('Pick a folder', " + quoted(folder) + ")",
                       [&](HWND d) {
                           // The dialog moves to the folder once its tree is
                           // filled, which takes long in a fresh prefix and
                           // longer on a loaded machine: up to 20 s.
                           for (int i = 0; i < 400 && status != folder; ++i) {
                               Sleep(50);
                               status = windowText(GetDlgItem(d, 0x3743)); // the status line
                           }
                           press(d, IDOK);
                       }),
              folder);
    EXPECT_EQ(owner, services.window);
    EXPECT_EQ(status, folder);
    EXPECT_EQ(answered("Dialogs.browse('Pick a folder')", [](HWND d) { press(d, IDCANCEL); }), "false");
}

TEST_F(Dialogs, FontObjectHoldsALogicalFont) {
    ASSERT_TRUE(quill::evalSource(*engine, "var f = new FontObject(); var fresh = f.name + '|' + f.size + '|' + f.bold;"
                                           "f.name = '0123456789012345678901234567890123456789'; f.bold = 1;"
                                           "var b = f.bold; f.bold = 0;"));
    EXPECT_EQ(eval("f + ' ' + fresh"), "[object FontObject] |0|false");
    EXPECT_EQ(eval("f.name.length + ' ' + b + ' ' + f.bold + ' ' + f.italic"), "31 true false false");
    EXPECT_EQ(eval("f.getFonts(1, 'DejaVu Sans').length > 0"), "true");
    EXPECT_EQ(eval("f.getFonts(1, 'No Such Face At All') === null"), "true");
}
