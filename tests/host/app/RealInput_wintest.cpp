// Members that answer to the real mouse and keyboard, driven with SendInput
// (under Wine: the X server's pointer and keyboard): the Application's
// cursor and focus, Window's hide, animate and mouse events, sendMessage,
// a menu accelerator typed on the keyboard and a popup menu chosen with keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "host/ClassOrder.h"
#include "host/HostServices.h"
#include "host/app/Application.h"
#include "host/window/MenuCommands.h"
#include "host/window/Window.h"
#include "script/Quill.h"

using namespace paloma::host;

namespace {

// A 32x32 monochrome cursor file: a filled square, hot spot in its middle.
std::vector<char> cursorFile() {
    std::vector<char> out;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(char((v >> (8 * i)) & 0xFF));
    };
    put(0, 2), put(2, 2), put(1, 2);                             // header: a cursor, one image
    put(32, 1), put(32, 1), put(2, 1), put(0, 1), put(16, 2), put(16, 2); // size, colours, hot spot
    put(40 + 8 + 128 + 128, 4), put(22, 4);                      // image size and offset
    put(40, 4), put(32, 4), put(64, 4), put(1, 2), put(1, 2);    // BITMAPINFOHEADER
    for (int i = 0; i < 6; ++i)
        put(0, 4);
    put(0x000000, 4), put(0xFFFFFF, 4);                          // palette
    for (int y = 0; y < 32; ++y)                                 // XOR: white inside
        put(y >= 8 && y < 24 ? 0x00FFFF00u : 0u, 4);
    for (int y = 0; y < 32; ++y)                                 // AND: transparent outside
        put(y >= 8 && y < 24 ? 0xFF0000FFu : 0xFFFFFFFFu, 4);
    return out;
}

void moveMouse(int x, int y) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = LONG(x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1));
    in.mi.dy = LONG(y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1));
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}

void keys(std::initializer_list<std::pair<WORD, bool>> strokes) {
    std::vector<INPUT> in;
    for (auto [key, up] : strokes) {
        INPUT k{};
        k.type = INPUT_KEYBOARD;
        k.ki.wVk = key;
        k.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(k);
    }
    SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
}

// The shell's main window passes script-menu commands on; the test's window does the same.
LRESULT CALLBACK mainProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND && dispatchMenuCommand(LOWORD(wParam)))
        return 0;
    return DefWindowProcW(w, msg, wParam, lParam);
}

class Services : public HostServices {
public:
    WindowHandle playerWindow() override { return window; }
    HWND window = nullptr;
};

// Pumps the thread's messages until `done` or the time is up.
template <class Done>
bool pumpUntil(Done done, DWORD ms = 3000) {
    DWORD end = GetTickCount() + ms;
    while (!done() && int(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    return done();
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = mainProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"PalomaInputTest";
        RegisterClassW(&wc);
        window = CreateWindowExW(WS_EX_TOPMOST, L"PalomaInputTest", L"input", WS_POPUP | WS_VISIBLE, 100, 100, 200, 150,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        services.window = window;
        SetForegroundWindow(window);
        SetFocus(window);
        moveMouse(20, 20); // outside the window
        pumpUntil([] { return false; }, 200);
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
        engine->global(engine->internName("h")) = quill::Value::integer(int64_t(reinterpret_cast<intptr_t>(window)));
    }
    void TearDown() override {
        engine.reset();
        if (IsWindow(window))
            DestroyWindow(window);
    }
    void run(const std::string& source) { ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText; }
    std::string text(const char* name) {
        return quill::valueToText(*engine, engine->global(engine->internName(name)));
    }
    // The cursor's display count, read without changing it.
    static int cursorCount() {
        int count = ShowCursor(TRUE) - 1;
        ShowCursor(FALSE);
        return count;
    }

    Services services;
    ScopedHostServices installed{services};
    HWND window = nullptr;
    std::unique_ptr<quill::Engine> engine;
};

} // namespace

TEST_F(InputTest, CursorFileHideAndFocus) {
    char folder[MAX_PATH + 1];
    GetTempPathA(MAX_PATH + 1, folder);
    std::string file = std::string(folder) + "paloma-cursor-" + std::to_string(GetCurrentProcessId()) + ".cur";
    auto bytes = cursorFile();
    std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    std::string literal;
    for (char c : file)
        literal += c == '\\' ? std::string("\\\\") : std::string(1, c);

    // The mouse over the player window: a loaded cursor is shown at once.
    moveMouse(200, 175);
    ASSERT_TRUE(pumpUntil([&] {
        POINT p;
        GetCursorPos(&p);
        return WindowFromPoint(p) == window;
    })) << "the pointer did not reach the window";
    int count = cursorCount();
    run("Application.cursor = '" + literal + "';");
    HCURSOR custom = applicationCursor();
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(GetCursor(), custom);
    EXPECT_EQ(cursorCount(), count + 1);
    run("Application.cursor = 'HIDE';");
    EXPECT_EQ(cursorCount(), count);
    EXPECT_EQ(applicationCursor(), custom) << "hiding keeps the custom cursor";
    run("Application.cursor = null;");
    EXPECT_EQ(applicationCursor(), nullptr);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW)) << "the window class's own cursor again";
    DeleteFileA(file.c_str());

    // setFocus takes the focus back from another window of the program.
    HWND other = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | WS_VISIBLE, 400, 100, 100, 30, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SetFocus(other);
    run("before = Application.setFocus; Application.setFocus = false; still = Application.setFocus;"
        "Application.setFocus = true; after = Application.setFocus;");
    EXPECT_EQ(text("before") + text("still") + text("after"), "falsefalsetrue");
    EXPECT_EQ(GetFocus(), window);
    DestroyWindow(other);
}

TEST_F(InputTest, WindowHideAnimateSendMessageAndMouseEvents) {
    run(R"(
        w = new Window(h); log = "";
        function enter() { log += "enter;"; } function leave() { log += "leave;"; }
        function hover() { if (log.indexOf("hover") < 0) log += "hover;"; }
        function message(m, wp, lp) { if (m == 0x8001) got = wp * 10 + lp; }
        w.onEnter = enter; w.onLeave = leave; w.onHover = hover; w.onMessage = message;
        sent = Application.sendMessage(h, 0x8001, 4, 2);
        length = Application.sendMessage(h, 0x000E);
        none = typeof Application.sendMessage(h);
    )");
    EXPECT_EQ(text("got"), "42");
    EXPECT_EQ(text("sent"), "0");
    EXPECT_EQ(text("length"), "5");
    EXPECT_EQ(text("none"), "undefined");

    // The pointer enters, rests (the 500 ms hover timer) and leaves.
    moveMouse(200, 175);
    EXPECT_TRUE(pumpUntil([&] { return text("log") == "enter;"; })) << text("log");
    EXPECT_TRUE(pumpUntil([&] { return text("log") == "enter;hover;"; })) << text("log");
    moveMouse(600, 600);
    EXPECT_TRUE(pumpUntil([&] { return text("log") == "enter;hover;leave;"; })) << text("log");
    EXPECT_NE(GetCapture(), window);

    run("w.hide();");
    EXPECT_FALSE(IsWindowVisible(window));
    run("w.show(); shown = w.animate(150, $AW_HIDE | $AW_BLEND);");
    EXPECT_EQ(text("shown"), "true");
    EXPECT_FALSE(IsWindowVisible(window));
    run("back = w.animate(150, $AW_ACTIVATE | $AW_SLIDE | $AW_HOR_POSITIVE); bad = w.animate('x');");
    EXPECT_EQ(text("back"), "true");
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(text("bad"), "false");
}

TEST_F(InputTest, TypedAcceleratorAndAPopupChosenWithKeys) {
    run(R"(
        bar = new Menu(); bar.createMenu();
        file = new Menu(); file.createPopupMenu();
        file.appendItem("open", "&Open\tCtrl+O"); file.appendItem("save", "&Save");
        bar.appendItem(file, "&File"); bar.setMenu();
        file.enableAccel = true;
        function command(id) { chosen = id; }
        Menu.onCommand = command;
    )");
    SetForegroundWindow(window);
    SetFocus(window);
    keys({{VK_CONTROL, false}, {'O', false}, {'O', true}, {VK_CONTROL, true}});
    run("t0 = new Date().getTime(); while (typeof chosen == 'undefined' && new Date().getTime() - t0 < 3000) "
        "processMsg();");
    EXPECT_EQ(text("chosen"), "open");

    // show waits for the menu; a second thread presses keys on it. (Posted:
    // 32-bit Wine delivers typed arrow keys to menus as other keys.)
    std::atomic<bool> typed{false};
    std::thread down([&] {
        for (int i = 0; i < 300; ++i, Sleep(10)) {
            HWND popup = FindWindowW(L"#32768", nullptr);
            if (popup && IsWindowVisible(popup)) {
                Sleep(100);
                for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN})
                    PostMessageW(window, WM_KEYDOWN, key, 1);
                typed = true;
                return;
            }
        }
    });
    run("picked = file.show(150, 150);");
    down.join();
    EXPECT_TRUE(typed);
    EXPECT_EQ(text("picked"), "save");
    // A click beside the menu closes it with nothing chosen.
    std::thread beside([&] {
        for (int i = 0; i < 300; ++i, Sleep(10)) {
            HWND popup = FindWindowW(L"#32768", nullptr);
            if (popup && IsWindowVisible(popup)) {
                Sleep(100);
                moveMouse(700, 700);
                INPUT click[2] = {};
                click[0].type = click[1].type = INPUT_MOUSE;
                click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
                click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
                SendInput(2, click, sizeof(INPUT));
                return;
            }
        }
    });
    run("nothing = file.show(150, 150) === null;");
    beside.join();
    EXPECT_EQ(text("nothing"), "true");
    run("bar.enableAccel = false; ghost = new Menu(); noMenu = ghost.show() === null;");
    EXPECT_EQ(text("noMenu"), "true");
}
