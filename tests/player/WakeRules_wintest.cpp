// The screen saver's wake-up rules on the player window of a full-screen
// run: input posted to the player window goes through the shell's keyboard
// pre-translation (accelerators first) and ends the run only as tabled.
#include "PlayerSupport.h"

#include "app/RuntimeSettings.h"
#include "app/shell/PalomaApp.h"

using namespace paloma;
using namespace paloma::shell;
using namespace paloma::testing;

namespace {

class WakeRulesTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // Keep the pointer off the window: only posted input counts.
        SetCursorPos(2000, 2000);
        accelerators = loadShellAccelerators(GetModuleHandleW(nullptr));
        ASSERT_NE(accelerators, nullptr);
    }
    void TearDown() override {
        holdKeys({});
        DestroyAcceleratorTable(accelerators);
        MainWindowTest::TearDown();
    }
    std::unique_ptr<ShellScripts> makeScripts() override { return std::make_unique<RecordingScripts>(scripts); }

    CMainWnd* saver(PlayerWindow::WakeRules rules) {
        CMainWnd* w = CMainWnd::create(services, L"", 0, screenRect());
        EXPECT_NE(w, nullptr);
        if (w)
            w->player().setWakeRules(rules, w->hwnd());
        return w;
    }

    // Posts one message to the player window and runs the loop the way the
    // application does; true when the run ended (the main window is gone).
    bool post(CMainWnd* w, UINT msg, WPARAM wParam, LPARAM lParam = 0) {
        PostMessageW(w->player().hwnd(), msg, wParam, lParam);
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 300) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                if (m.message == WM_QUIT)
                    return CMainWnd::current() == nullptr;
                if (translateShellKeys(m, CMainWnd::current() ? CMainWnd::current()->hwnd() : nullptr, accelerators))
                    continue;
                TranslateMessage(&m);
                DispatchMessageW(&m);
            }
            if (!CMainWnd::current())
                return true;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return CMainWnd::current() == nullptr;
    }

    // The modifier keys the thread sees as held down.
    static void holdKeys(std::initializer_list<int> keys) {
        BYTE state[256] = {};
        for (int k : keys)
            state[k] = 0x80;
        SetKeyboardState(state);
    }

    HACCEL accelerators = nullptr;
    RecordingScripts::Shared scripts;
};

} // namespace

TEST_F(WakeRulesTest, MouseWakesOnlyAsTabled) {
    // Only "Mouse move": the first move sets the reference, one pixel off wakes.
    CMainWnd* w = saver({kWakeMouseMove, 0, 0, 0});
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(post(w, WM_MOUSEMOVE, 0, MAKELPARAM(40, 30)));
    EXPECT_FALSE(post(w, WM_MOUSEMOVE, 0, MAKELPARAM(40, 30)));
    EXPECT_FALSE(post(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 30)));
    EXPECT_FALSE(post(w, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(40, 30)));
    EXPECT_FALSE(post(w, WM_KEYDOWN, 'A'));
    EXPECT_TRUE(post(w, WM_MOUSEMOVE, 0, MAKELPARAM(41, 30)));

    // The buttons by their bits.
    w = saver({kWakeRightButton, 0, 0, 0});
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(post(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)));
    EXPECT_TRUE(post(w, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5)));

    // Mask 0: nothing but the middle button; the system's screen-saver and
    // close commands are swallowed by the player window.
    w = saver({0, 0, 0, 0});
    ASSERT_NE(w, nullptr);
    HWND player = w->player().hwnd();
    EXPECT_FALSE(post(w, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1)));
    EXPECT_FALSE(post(w, WM_MOUSEMOVE, 0, MAKELPARAM(300, 200)));
    EXPECT_FALSE(post(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)));
    EXPECT_FALSE(post(w, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5)));
    EXPECT_FALSE(post(w, WM_KEYDOWN, VK_ESCAPE));
    EXPECT_FALSE(post(w, WM_SYSCOMMAND, SC_CLOSE));
    EXPECT_FALSE(post(w, WM_SYSCOMMAND, SC_SCREENSAVE));
    EXPECT_TRUE(IsWindow(player));
    EXPECT_TRUE(post(w, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(5, 5)));
    EXPECT_FALSE(IsWindow(player));
}

TEST_F(WakeRulesTest, KeysAfterTheAcceleratorsAndTheHotKeyWithItsModifiers) {
    // A hot key that is also an accelerator (Ctrl+C) never wakes.
    CMainWnd* w = saver({kWakeHotKey, 0, 'C', kHotKeyCtrl});
    ASSERT_NE(w, nullptr);
    holdKeys({VK_CONTROL});
    EXPECT_FALSE(post(w, WM_KEYDOWN, 'C'));
    holdKeys({});
    DestroyWindow(w->hwnd());

    // Ctrl+F12: not F12 alone, not Esc; with Ctrl and Shift held it wakes.
    w = saver({kWakeHotKey, 0, VK_F12, kHotKeyCtrl});
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(post(w, WM_KEYDOWN, VK_F12));
    EXPECT_FALSE(post(w, WM_KEYDOWN, VK_ESCAPE));
    holdKeys({VK_CONTROL, VK_SHIFT});
    EXPECT_TRUE(post(w, WM_KEYDOWN, VK_F12));
    holdKeys({});

    // ...and with Ctrl alone, also as a system key.
    w = saver({kWakeHotKey, 0, VK_F12, kHotKeyCtrl});
    ASSERT_NE(w, nullptr);
    holdKeys({VK_CONTROL});
    EXPECT_TRUE(post(w, WM_SYSKEYDOWN, VK_F12));
    holdKeys({});

    // Esc and any key.
    w = saver({kWakeEsc, 0, 0, 0});
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(post(w, WM_KEYDOWN, 'Q'));
    EXPECT_TRUE(post(w, WM_KEYDOWN, VK_ESCAPE));
    w = saver({kWakeKeyStroke, 0, 0, 0});
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(post(w, WM_KEYDOWN, 'Q'));
}

TEST_F(WakeRulesTest, DisableCursorShowsNoCursorOverThePlayer) {
    CMainWnd* w = saver({0, kOptionHideCursor, 0, 0});
    ASSERT_NE(w, nullptr);
    HWND player = w->player().hwnd();
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    EXPECT_EQ(SendMessageW(player, WM_SETCURSOR, WPARAM(player), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
    EXPECT_EQ(GetCursor(), nullptr);
}
