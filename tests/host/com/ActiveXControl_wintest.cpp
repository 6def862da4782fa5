// createControl: a control hosted in the player window (or a given one).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "host/ClassOrder.h"
#include "host/HostServices.h"
#include "script/Quill.h"

namespace paloma::host::test {
namespace {

// The program's side: a top-level window standing for the player window.
class PlayerWindow : public HostServices {
public:
    PlayerWindow() {
        window_ = CreateWindowExW(0, L"STATIC", L"player", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400, 300,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~PlayerWindow() override { DestroyWindow(window_); }
    WindowHandle playerWindow() override { return window_; }
    HWND window_;
};

class ActiveXControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(player.window_, nullptr);
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
    }
    void run(const std::string& source) { ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText; }
    std::string text(const char* name) {
        return quill::valueToText(*engine, engine->global(engine->internName(name)));
    }

    PlayerWindow player;
    ScopedHostServices services{player};
    std::unique_ptr<quill::Engine> engine;
};

// The control's container: a visible child with id 0xFFFF; its place in the parent.
RECT childPlace(HWND parent, HWND* found = nullptr) {
    HWND child = FindWindowExW(parent, nullptr, L"PalomaControlHost", nullptr);
    if (found)
        *found = child;
    RECT rc{-1, -1, -1, -1};
    if (!child)
        return rc;
    EXPECT_EQ(GetDlgCtrlID(child), 0xFFFF);
    EXPECT_TRUE(IsWindowVisible(child));
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

TEST_F(ActiveXControl, DefaultPlaceInThePlayerWindowAndDestroy) {
    run("var c = createControl('Shell.Explorer');"
        "var parts = c + ' ' + c.activex + ' ' + c.window;"
        "var size = c.window.left + ',' + c.window.top + ',' + c.window.width + ',' + c.window.height;"
        "var reported = c.activex.Width + ',' + c.activex.Height;");
    EXPECT_EQ(text("parts"), "[object ActiveXControl] [object ActiveXObject] [object Window]");
    EXPECT_EQ(text("size"), "0,0,50,50");
    EXPECT_EQ(text("reported"), "50,50"); // the control itself was given that place
    HWND child = nullptr;
    RECT rc = childPlace(player.window_, &child);
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right, 50);
    EXPECT_EQ(rc.bottom, 50);
    run("var first = c.destroy(); var second = c.destroy();");
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(text("first"), "true");
    EXPECT_EQ(text("second"), "false");
}

TEST_F(ActiveXControl, ClassIdPlaceAndParentGiven) {
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300, 200, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    run("var c = createControl('{8856F961-340A-11D0-A96B-00C04FD705A2}', 10, 20, 110, 70, undefined, undefined, " +
        std::to_string(reinterpret_cast<intptr_t>(other)) + ");"
        "var made = c + '';");
    EXPECT_EQ(text("made"), "[object ActiveXControl]");
    RECT rc = childPlace(other);
    EXPECT_EQ(rc.left, 10);
    EXPECT_EQ(rc.top, 20);
    EXPECT_EQ(rc.right, 110);
    EXPECT_EQ(rc.bottom, 70);
    EXPECT_EQ(FindWindowExW(player.window_, nullptr, L"PalomaControlHost", nullptr), nullptr);
    engine.reset(); // the control goes with its script object
    EXPECT_EQ(FindWindowExW(other, nullptr, L"PalomaControlHost", nullptr), nullptr);
    DestroyWindow(other);
}

TEST_F(ActiveXControl, BadInputGivesNull) {
    run("var results = [createControl('No.Such.Control') === null, createControl() === null,"
        "    createControl(5) === null, createControl('C:\\\\no\\\\such.ocx') === null];");
    EXPECT_EQ(text("results"), "true,true,true,true");
    EXPECT_EQ(FindWindowExW(player.window_, nullptr, L"PalomaControlHost", nullptr), nullptr);
}

} // namespace
} // namespace paloma::host::test
