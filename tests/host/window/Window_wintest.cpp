// Window: wrapping a window the test creates, its events shared per handle,
// onQueryClose and onSizing honoured, the members of a window that is gone,
// and sliding.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "host/ClassOrder.h"
#include "host/HostServices.h"
#include "host/window/Window.h"
#include "script/Quill.h"

using namespace paloma::host;

namespace {

class MainWindowServices : public HostServices {
public:
    WindowHandle playerWindow() override { return main; }
    HWND main = nullptr;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = CreateWindowExW(0, L"STATIC", L"events", WS_OVERLAPPEDWINDOW, 50, 60, 320, 240, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
        quill::setTraceOutput(*engine, [this](std::string_view line) { trace.emplace_back(line); });
        define("h", int64_t(reinterpret_cast<intptr_t>(window)));
    }
    void TearDown() override {
        engine.reset();
        if (IsWindow(window))
            DestroyWindow(window);
    }
    void define(const char* name, int64_t v) { engine->global(engine->internName(name)) = quill::Value::integer(v); }
    void run(const std::string& source) {
        ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText;
    }
    std::string text(const char* name) {
        return quill::valueToText(*engine, engine->global(engine->internName(name)));
    }

    HWND window = nullptr;
    std::unique_ptr<quill::Engine> engine;
    std::vector<std::string> trace;
};

} // namespace

TEST_F(WindowTest, EventsAreSharedPerHandleAndTheirResultsHonoured) {
    run(R"(
        a = new Window(h); b = Window(h);
        function sized(type, w, hh) { sizes += w + "x" + hh + ";"; }
        function refuse() { refused++; }
        function closing() { closed++; }
        function sizing(edge, r) { r.right = r.left + 300; lastEdge = edge; }
        function moved(x, y) { moves++; }
        function anyMessage(m, wp, lp) { if (m == 0x8000) seen = wp + lp; }
        var sizes = "", refused = 0, closed = 0, moves = 0;
        a.onSize = sized; a.onQueryClose = refuse; a.onClose = closing; a.onSizing = sizing; a.onMove = moved;
        a.onMessage = anyMessage;
        a.onLeave = 5;
        shared = (b.onSize === sized) + "," + (b.onLeave === null) + "," + a + "," + (a.handle == h);
        bad = Window(12345) === null;
        text = a.className + "," + a.caption;
        a.caption = 42;
        rect = a.clientRect.width > 0;
    )");
    EXPECT_EQ(text("shared"), "true,true,[object Window],true");
    EXPECT_EQ(text("bad"), "true");
    EXPECT_EQ(text("text"), "Static,events");
    wchar_t caption[16];
    GetWindowTextW(window, caption, 16);
    EXPECT_STREQ(caption, L"42");

    SetWindowPos(window, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_NE(text("sizes").find(std::to_string(client.right) + "x" + std::to_string(client.bottom) + ";"),
              std::string::npos)
        << text("sizes");

    // onQueryClose answering nothing keeps the window; onClose is not called.
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(text("refused"), "1");
    EXPECT_EQ(text("closed"), "0");

    // onSizing fixes the width at 300.
    RECT proposed = {10, 20, 900, 500};
    SendMessageW(window, WM_SIZING, WMSZ_RIGHT, reinterpret_cast<LPARAM>(&proposed));
    EXPECT_EQ(proposed.right, 310);
    EXPECT_EQ(proposed.bottom, 500);
    EXPECT_EQ(text("lastEdge"), std::to_string(WMSZ_RIGHT));

    SendMessageW(window, 0x8000, 3, 4);
    EXPECT_EQ(text("seen"), "7");

    // The other events, without arguments except onMoving's rectangle.
    run(R"(
        var menus = 0, loops = "", acts = "";
        function menu() { menus++; } function enterLoop() { loops += "enter;"; } function exitLoop() { loops += "exit;"; }
        function moving(edge, r) { r.left = 5; r.top = 6; r.bottom = "x"; }
        function gained() { acts += "on;"; } function lost() { acts += "off;"; }
        b.onContextMenu = menu; b.onEnterSizeMove = enterLoop; b.onExitSizeMove = exitLoop; b.onMoving = moving;
        b.onActivate = gained; b.onDeactivate = lost;
    )");
    SendMessageW(window, WM_CONTEXTMENU, WPARAM(window), MAKELPARAM(20, 20));
    SendMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    SendMessageW(window, WM_ENTERSIZEMOVE, 0, 0);
    SendMessageW(window, WM_EXITSIZEMOVE, 0, 0);
    RECT moving = {100, 110, 300, 310};
    SendMessageW(window, WM_MOVING, WMSZ_LEFT, reinterpret_cast<LPARAM>(&moving));
    SendMessageW(window, WM_ACTIVATEAPP, TRUE, 0);
    SendMessageW(window, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_EQ(text("menus"), "2");
    EXPECT_EQ(text("loops"), "enter;exit;");
    EXPECT_EQ(text("acts"), "on;off;");
    EXPECT_EQ(moving.left, 5);
    EXPECT_EQ(moving.top, 6);
    EXPECT_EQ(moving.right, 300);
    EXPECT_EQ(moving.bottom, 310) << "a side that is not an Integer stays";

    // Properties through the other object.
    run(R"(
        b.move(70, 80, 370, 280);
        geometry = b.left + "," + b.top + "," + b.width + "," + b.height;
        b.width = 250;
        w2 = a.width;
        b.enable = false; disabled = a.enable;
        b.enable = true;
        state = a.windowState;
        a.windowState = "minimized"; min = b.windowState;
        a.windowState = 1;
        a.modifyStyleEx(0, 0x80);
        kids = a.getChildren().length;
        missing = Window.find("NoSuchPalomaClass").handle;
        found = Window.find("Static", "42").handle == h;
        named = Window.getWindowsByName("42").length >= 1;
    )");
    EXPECT_EQ(text("geometry"), "70,80,300,200");
    EXPECT_EQ(text("w2"), "250");
    EXPECT_EQ(text("disabled"), "false");
    EXPECT_EQ(text("state"), "normal");
    EXPECT_EQ(text("min"), "minimized");
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & 0x80);
    EXPECT_EQ(text("kids"), "0");
    EXPECT_EQ(text("missing"), "undefined") << "a Window object that names no window answers nothing";
    EXPECT_EQ(text("found"), "true");
    EXPECT_EQ(text("named"), "true");

    // center places a top-level window in the middle of the work area.
    run("a.center();");
    RECT area, placed;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(window, &placed);
    EXPECT_LE(std::abs((placed.left + placed.right) - (area.left + area.right)), 1);
    EXPECT_LE(std::abs((placed.top + placed.bottom) - (area.top + area.bottom)), 1);

    // onQueryClose answering true lets the close (posted by close) through to onClose.
    run("function agree() { return true; } b.onQueryClose = agree; a.close();");
    EXPECT_TRUE(IsWindow(window)) << "posted, not sent";
    MSG m;
    while (PeekMessageW(&m, window, 0, 0, PM_REMOVE))
        DispatchMessageW(&m);
    EXPECT_EQ(text("closed"), "1");
    EXPECT_FALSE(IsWindow(window)) << "the default procedure destroyed it";

    // The window is gone: members do nothing.
    run(R"(
        goneCaption = typeof a.caption; goneUpdate = typeof a.update(); a.show();
        a.move(1, 2, 3, 4); a.fly(0, 0, true, 0); a.caption = "back";
        gone = typeof a.left + "," + typeof a.getChildren() + "," + a.animate(10, $AW_HIDE) + "," + typeof a.parent;
    )");
    EXPECT_EQ(text("goneCaption"), "undefined");
    EXPECT_EQ(text("goneUpdate"), "undefined");
    EXPECT_EQ(text("gone"), "undefined,undefined,false,undefined");
}

TEST_F(WindowTest, HandlerErrorsAreReportedAndTheWindowProcedureComesBack) {
    WNDPROC original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    run("function boom() { throw 'size failed'; } w = new Window(h); w.onSize = boom;");
    EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)), original);
    SetWindowPos(window, nullptr, 0, 0, 200, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(std::any_of(trace.begin(), trace.end(),
                            [](const std::string& l) { return l.find("size failed") != std::string::npos; }));
    // The last Window object collected: the previous procedure is back.
    engine.reset();
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)), original);
}

TEST_F(WindowTest, FlyUsesTheWorkAreaCornersAndCreateMakesAChild) {
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    POINT in, out;
    flyPositions(area, 100, 50, 0, 2, in, out);
    EXPECT_EQ(in.x, area.right - 100);
    EXPECT_EQ(in.y, area.bottom - 50);
    EXPECT_EQ(out.x, area.right);
    EXPECT_EQ(out.y, area.bottom);
    flyPositions(area, 100, 50, 2, 1, in, out);
    EXPECT_EQ(out.x, area.left);
    EXPECT_EQ(out.y, area.top - 50);

    SetWindowPos(window, nullptr, 0, 0, 60, 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Corner 7 acts as 3 (bottom left), direction 5 as 2 (both); fly-in ends inside.
    run("w = new Window(h); w.fly(7, 5, true, 0); x = w.left; y = w.top;");
    EXPECT_EQ(text("x"), std::to_string(area.left));
    EXPECT_EQ(text("y"), std::to_string(area.bottom - 40));
    run("w.fly2(5, 6, 25, 16, 0); x = w.left; y = w.top;");
    EXPECT_EQ(text("x"), "25");
    EXPECT_EQ(text("y"), "16");
    run("w.fly2(25, 16, 25, 30, 0); y = w.top; w.fly(1, 0, false, 0); x = w.left; y2 = w.top;");
    EXPECT_EQ(text("y"), "30");
    EXPECT_EQ(text("x"), std::to_string(area.right)) << "flown out to the right of the top right corner";
    EXPECT_EQ(text("y2"), std::to_string(area.top));

    MainWindowServices services;
    ScopedHostServices installed(services);
    run("none = Window.create('STATIC') === null;");
    EXPECT_EQ(text("none"), "true") << "no main window";
    services.main = window;
    run("child = Window.create('STATIC'); parentOk = child.parent.handle == h; cw = child.width;");
    EXPECT_EQ(text("parentOk"), "true");
    EXPECT_EQ(text("cw"), "200");
}

TEST_F(WindowTest, WrongKindsAndTooFewArgumentsChangeNothing) {
    MainWindowServices services;
    services.main = window;
    ScopedHostServices installed(services);
    MoveWindow(window, 50, 60, 320, 240, FALSE);
    run(R"(
        w = new Window(h);
        made = (Window() === null) + "," + (Window("x") === null) + "," + (new Window(1.5) === null);
        w.move("a", null); w.move(); w.modifyStyle(1); w.modifyStyleEx(); w.fly2(1, 2, 3, 4);
        w.left = "3"; w.width = null; w.windowState = "sideways"; w.parent = 7;
        w.onSize = 5;
        kinds = (w.onSize === null) + "," + w.windowState + "," + (w.parent === null) + "," + w.animate() + "," +
                (Window.create() === null) + "," + (Window.create(5) === null);
        // Other kinds count as absent for find; no title lists every top-level window.
        byName = Window.find(5, "events").handle == h;
        var all = Window.getWindowsByName(), listed = false;
        for (var i = 0; i < all.length; i++) if (all[i].handle == h) listed = true;
        m = new Menu();
        empty = m.load() + "," + m.setMenu() + "," + m.appendItem("a", "A") + "," + m.removeItem(0) + "," +
                (m.getSubMenu(0) === null) + "," + (m.show() === null);
        m.createPopupMenu();
        menu = m.load(5) + "," + m.insertItem("0", "a", "A") + "," + m.removeItem("0") + "," + m.appendItem(5, 6) + "," +
               m.removeItem(0) + "," + m.removeItem(0);
        m.enableAccel = true;
        Menu.onCommand = "not a function";
        handler = typeof Menu.onCommand;
    )");
    EXPECT_EQ(text("made"), "true,true,true");
    RECT rc;
    GetWindowRect(window, &rc);
    EXPECT_EQ(rc.left, 50);
    EXPECT_EQ(rc.top, 60);
    EXPECT_EQ(rc.right - rc.left, 320);
    EXPECT_EQ(text("kinds"), "true,normal,true,false,true,true");
    EXPECT_EQ(text("byName"), "true");
    EXPECT_EQ(text("listed"), "true");
    EXPECT_EQ(text("empty"), "false,false,false,false,true,true");
    // appendItem with other kinds appends a separator, which removeItem takes away again.
    EXPECT_EQ(text("menu"), "false,false,false,true,true,false");
    EXPECT_EQ(text("handler"), "undefined");
}
