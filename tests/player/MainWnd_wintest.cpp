// The main window with the stand-in player: creating the control, loading
// movies, the FSCommand dispatch table, the idle queue, the closing protocol
// and menu forwarding.
#include "PlayerSupport.h"

#include "app/shell/FlashHostPrintHook.h"

using namespace paloma;
using namespace paloma::shell;
using namespace paloma::testing;

namespace {

class MainWndTest : public MainWindowTest {
protected:
    std::unique_ptr<ShellScripts> makeScripts() override { return std::make_unique<RecordingScripts>(scripts); }

    CMainWnd* createWindow() { return CMainWnd::create(services, L"", 0, screenRect()); }

    // Loads a movie whose event script fires the given steps, and plays it
    // until the window has closed or `until` holds.
    LoopResult play(CMainWnd* w, const std::string& events, const std::function<bool()>& until = {},
                    std::vector<int>* passes = nullptr, DWORD timeout = 6000) {
        std::wstring movie = scratch.movie(L"events.swf", events);
        EXPECT_TRUE(w->loadMovie(movie));
        return runLoop(timeout, until, passes);
    }

    RecordingScripts::Shared scripts;
};

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

} // namespace

// ---------------------------------------------------------------------------
// Creating the window and the player
// ---------------------------------------------------------------------------

TEST_F(MainWndTest, CreatesPopupWindowWithPlayerChild1000) {
    CMainWnd* w = CMainWnd::create(services, L"", WS_OVERLAPPEDWINDOW, screenRect());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(CMainWnd::current(), w);
    LONG_PTR style = GetWindowLongPtrW(w->hwnd(), GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_FALSE(style & WS_BORDER);
    EXPECT_FALSE(style & WS_DLGFRAME);

    HWND player = GetDlgItem(w->hwnd(), CMainWnd::kPlayerId);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player, w->player().hwnd());
    EXPECT_TRUE(GetWindowLongPtrW(player, GWL_STYLE) & WS_CHILD);
    EXPECT_TRUE(IsWindowVisible(player));
    EXPECT_EQ(GetParent(player), w->hwnd());
    EXPECT_EQ(w->playerModulePath(), fakePlayerPath());
    EXPECT_EQ(services.modules.size(), 1u);
    EXPECT_TRUE(services.messages.empty());
    EXPECT_TRUE(scratch.logHas("create"));
    EXPECT_TRUE(scratch.logHas("activate"));
    EXPECT_TRUE(scratch.logHas("advise 1"));
    EXPECT_TRUE(scratch.logHas("ambient UserMode True"));
}

TEST_F(MainWndTest, SizeMovesThePlayerOverTheClientArea) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    SetWindowPos(w->hwnd(), nullptr, 0, 0, 400, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client, player;
    GetClientRect(w->hwnd(), &client);
    GetClientRect(w->player().hwnd(), &player);
    EXPECT_EQ(player.right, client.right);
    EXPECT_EQ(player.bottom, client.bottom);
    EXPECT_EQ(client.right, 400);
    SetWindowPos(w->hwnd(), nullptr, 0, 0, 200, 100, SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(w->player().hwnd(), &player);
    EXPECT_EQ(player.right, 200);
    EXPECT_EQ(player.bottom, 100);
}

TEST_F(MainWndTest, FindsTheRegisteredPlayerWhenThereIsNoPrivateOne) {
    HMODULE fake = LoadLibraryW(fakePlayerPath().c_str());
    ASSERT_NE(fake, nullptr);
    auto reg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(fake, "DllRegisterServer")));
    auto unreg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(fake, "DllUnregisterServer")));
    ASSERT_TRUE(reg && unreg);
    ASSERT_EQ(reg(), S_OK);

    std::wstring registered = registeredPlayerPath();
    EXPECT_TRUE(std::filesystem::equivalent(registered, fakePlayerPath()));
    services.playerPath.clear();
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->player().exists());
    EXPECT_EQ(w->playerModulePath(), registered);
    DestroyWindow(w->hwnd());

    EXPECT_EQ(unreg(), S_OK);
    EXPECT_TRUE(registeredPlayerPath().empty());
    FreeLibrary(fake);
}

TEST_F(MainWndTest, WithoutAnyPlayerTheMessageAppearsAndCreationFails) {
    services.playerPath = (scratch.dir() / L"missing.ocx").wstring();
    EXPECT_EQ(createWindow(), nullptr);
    EXPECT_EQ(CMainWnd::current(), nullptr);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0], L"Failed to load the Macromedia Flash Player!");
    // The start-up script was asked first.
    EXPECT_EQ(services.resourceReads[L"Initialize"], 1);
}

TEST_F(MainWndTest, WithoutAnyPlayerAStartupScriptAnsweringFalseSuppressesTheMessage) {
    services.playerPath = (scratch.dir() / L"missing.ocx").wstring();
    services.resources[L"Initialize"] = bytesOf("init");
    scripts.onRun = [](const std::string&) { return ShellScripts::Result::False; };
    EXPECT_EQ(createWindow(), nullptr);
    EXPECT_TRUE(services.messages.empty());
    ASSERT_EQ(scripts.runs.size(), 1u);
    EXPECT_EQ(scripts.runs[0], "image:init");
}

TEST_F(MainWndTest, RuntimeServicesWithoutAnyPlayerReportThroughTheShellsMessageBoxes) {
    std::wstring messages = (scratch.dir() / L"messages.log").wstring();
    SetEnvironmentVariableW(L"PALOMA_MESSAGE_LOG", messages.c_str());
    ShellServices runtime;
    EXPECT_TRUE(runtime.privatePlayerPath().empty()); // this program carries no player
    std::wstring error = L"x";
    EXPECT_FALSE(runtime.readScriptResource(L"Initialize", error));
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(CMainWnd::create(runtime, L"", 0, screenRect()), nullptr);
    SetEnvironmentVariableW(L"PALOMA_MESSAGE_LOG", nullptr);
    std::ifstream in{std::filesystem::path(messages)};
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_NE(line.find("Failed to load the Macromedia Flash Player!"), std::string::npos);
}

TEST_F(MainWndTest, ColourReferencesBecomeTheControlsColourForm) {
    EXPECT_EQ(colorRefToRgb(RGB(0x12, 0x34, 0x56)), 0x123456);
    EXPECT_EQ(colorRefToRgb(RGB(0xFF, 0, 0)), 0xFF0000);
    EXPECT_EQ(colorRefToRgb(RGB(0, 0, 0xFF)), 0x0000FF);
}

TEST_F(MainWndTest, PrintDialogImportOfTheControlIsRedirected) {
    printHookState().calls = 0;
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_NE(printHookState().original, nullptr);
    EXPECT_NE(reinterpret_cast<void*>(printHookState().original), reinterpret_cast<void*>(&printHook));
    play(w, "print\n", [&] { return scratch.logCount("print ") > 0; });
    EXPECT_EQ(printHookState().calls, 1u);
    EXPECT_EQ(scratch.logCount("print "), 1u);
}

// ---------------------------------------------------------------------------
// Movies
// ---------------------------------------------------------------------------

TEST_F(MainWndTest, LoadingMoviesRecordsTheirNaturalSize) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    MovieShape plain;
    plain.width = 321;
    plain.height = 123;
    ASSERT_TRUE(w->loadMovie(scratch.write(L"plain.swf", movieBytes(plain))));
    EXPECT_EQ(w->player().movieWidth(), 321);
    EXPECT_EQ(w->player().movieHeight(), 123);
    EXPECT_TRUE(scratch.logHas("movie plain.swf 321x123 12.00 fps 1 frames"));

    MovieShape packed;
    packed.width = 800;
    packed.height = 600;
    packed.compressed = true;
    packed.frames = 42;
    ASSERT_TRUE(w->loadMovie(scratch.write(L"packed.swf", movieBytes(packed))));
    EXPECT_EQ(w->player().movieWidth(), 800);
    EXPECT_EQ(w->player().movieHeight(), 600);

    MovieShape inside;
    inside.width = 1024;
    inside.height = 768;
    inside.compressed = true;
    ASSERT_TRUE(w->loadMovie(scratch.write(L"projector.exe", projectorBytes(movieBytes(inside), 5000))));
    EXPECT_EQ(w->player().movieWidth(), 1024);
    EXPECT_EQ(w->player().movieHeight(), 768);
    EXPECT_TRUE(services.messages.empty());
    EXPECT_EQ(scratch.logCount("put Movie "), 3u);
}

TEST_F(MainWndTest, AFileThatIsNeitherMovieNorProjectorKeepsTheOldSize) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    MovieShape shape;
    shape.width = 99;
    ASSERT_TRUE(w->loadMovie(scratch.write(L"a.swf", movieBytes(shape))));
    std::vector<uint8_t> junk(300, 0xEE);
    ASSERT_TRUE(w->loadMovie(scratch.write(L"junk.bin", junk)));
    EXPECT_EQ(w->player().movieWidth(), 99);
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(MainWndTest, AMissingMovieShowsTheFileError) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->loadMovie((scratch.dir() / L"nowhere.swf").wstring()));
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_FALSE(services.messages[0].empty());
    EXPECT_EQ(w->player().movieWidth(), 0);
}

// ---------------------------------------------------------------------------
// FSCommand dispatch
// ---------------------------------------------------------------------------

TEST_F(MainWndTest, QuillRunReadsAResourceOnceAndRunsItFromTheCache) {
    services.resources[L"Hello"] = bytesOf("hello-image");
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    play(w, "fscommand Quill_Run Hello\nfscommand QUILL_RUN Hello\n",
         [&] { return scripts.runs.size() >= 2; });
    ASSERT_EQ(scripts.runs.size(), 2u);
    EXPECT_EQ(scripts.runs[0], "image:hello-image");
    EXPECT_EQ(scripts.runs[1], "image:hello-image");
    EXPECT_EQ(services.resourceReads[L"Hello"], 1);
    // The engine's per-image state survives between the runs.
    EXPECT_EQ(scripts.stateCreated, 1);
    EXPECT_EQ(scripts.depths[0], 1);
    ASSERT_NE(scriptCache().find("hello"), nullptr);
}

TEST_F(MainWndTest, QuillRunOfUnknownOrBadResources) {
    services.badResources[L"Broken"] = L"Bad resource block";
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->dispatchCommand(L"Quill_Run", L"Nothing"), ShellScripts::Result::Other);
    EXPECT_TRUE(services.messages.empty());
    w->dispatchCommand(L"Quill_Run", L"Broken");
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0], L"Bad resource block");
    EXPECT_TRUE(scripts.runs.empty());
    EXPECT_EQ(scriptCache().size(), 0u);
}

TEST_F(MainWndTest, EvalFileTraceExecAndUnknownCommands) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    play(w,
         "fscommand Quill_Eval x = 1 + 2;\n"
         "fscommand quill_file C:\\scripts\\a.QSC\n"
         "fscommand Quill_File C:\\scripts\\b.qls\n"
         "fscommand Quill_Trace ignored\n"
         "fscommand something else\n"
         "fscommand exec notepad.exe readme.txt\n",
         [&] { return !services.programs.empty(); });
    ASSERT_EQ(scripts.runs.size(), 3u);
    EXPECT_EQ(scripts.runs[0], "eval:x = 1 + 2;");
    EXPECT_EQ(scripts.runs[1], "file:C:\\scripts\\a.QSC:compiled");
    EXPECT_EQ(scripts.runs[2], "file:C:\\scripts\\b.qls:source");
    ASSERT_EQ(services.programs.size(), 1u);
    EXPECT_EQ(services.programs[0], L"notepad.exe readme.txt");
    EXPECT_EQ(dispatchDepth(), 0);
}

TEST_F(MainWndTest, AsynchronousRunsGoOnePerIdlePassInOrder) {
    services.resources[L"First"] = bytesOf("1");
    services.resources[L"Second"] = bytesOf("2");
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    // Both queued by one script, so that they wait for the idle loop together.
    scripts.onRun = [&](const std::string& what) {
        if (what == "eval:queue") {
            w->dispatchCommand(L"Quill_AsynRun", L"First");
            w->dispatchCommand(L"Quill_AsynRun", L"Second");
            EXPECT_TRUE(w->hasPendingCommands());
            EXPECT_EQ(scripts.runs.size(), 1u);
        }
        return ShellScripts::Result::Other;
    };
    std::vector<int> passes;
    play(w, "fscommand Quill_Eval queue\n", [&] { return scripts.runs.size() >= 3; }, &passes);
    ASSERT_EQ(scripts.runs.size(), 3u);
    EXPECT_EQ(scripts.runs[1], "image:1");
    EXPECT_EQ(scripts.runs[2], "image:2");
    ASSERT_EQ(passes.size(), 2u);
    EXPECT_EQ(passes[1], passes[0] + 1);
    EXPECT_FALSE(w->hasPendingCommands());
}

TEST_F(MainWndTest, FlashCallAnswersThroughSetReturnValue) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    scripts.answer = L"<string>hi</string>";
    play(w, "flashcall <invoke name=\"greet\" returntype=\"xml\"><arguments/></invoke>\n",
         [&] { return scratch.logCount("returned ") > 0; });
    ASSERT_EQ(scripts.calls.size(), 1u);
    EXPECT_EQ(scripts.calls[0], L"<invoke name=\"greet\" returntype=\"xml\"><arguments/></invoke>");
    EXPECT_EQ(scripts.depths[0], 1);
    EXPECT_TRUE(scratch.logHas("call SetReturnValue <string>hi</string>"));
    EXPECT_TRUE(scratch.logHas("returned <string>hi</string>"));
}

TEST_F(MainWndTest, FlashCallWithoutAnswerReturnsUndefined) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    play(w, "flashcall <invoke name=\"x\"/>\n", [&] { return scratch.logCount("returned ") > 0; });
    EXPECT_TRUE(scratch.logHas("call SetReturnValue <undefined/>"));
}

// ---------------------------------------------------------------------------
// Closing
// ---------------------------------------------------------------------------

TEST_F(MainWndTest, MovieQuitClosesTheWindowAndDestroysTheEngine) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->hwnd();
    LoopResult result = play(w, "fscommand Quill_Eval start\nquit\n");
    EXPECT_TRUE(result.quit);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(CMainWnd::current(), nullptr);
    EXPECT_EQ(scripts.destroyed, 1);
    EXPECT_EQ(scripts.released, 1);
    EXPECT_FALSE(closePending());
    EXPECT_TRUE(scratch.logHas("fire FSCommand quit "));
    EXPECT_TRUE(scratch.logHas("close"));
}

TEST_F(MainWndTest, QuitFromARunningScriptWaitsUntilItReturns) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->hwnd();
    bool aliveAfterQuit = false, pendingAfterQuit = false, engineDuringRun = false;
    scripts.onRun = [&](const std::string& what) {
        if (what == "eval:long") {
            w->dispatchCommand(L"quit", L"");
            // Pump messages as a script would: the window must survive.
            runLoop(100);
            aliveAfterQuit = IsWindow(hwnd) && CMainWnd::current() == w;
            pendingAfterQuit = closePending();
            engineDuringRun = scripts.engine;
        }
        return ShellScripts::Result::Other;
    };
    LoopResult result = play(w, "fscommand Quill_Eval long\n");
    EXPECT_TRUE(aliveAfterQuit);
    EXPECT_TRUE(pendingAfterQuit);
    EXPECT_TRUE(engineDuringRun);
    EXPECT_TRUE(result.quit);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(scripts.destroyed, 1);
}

namespace {

bool gDialogCancelled = false;

// Ends only on Cancel, as a script's message box would.
INT_PTR CALLBACK cancelOnlyDialog(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) {
        SetActiveWindow(dialog);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        gDialogCancelled = true;
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// A modal dialog a script could open (no owner, so the main window stays
// enabled); answers whether it was cancelled.
bool runScriptDialog() {
    struct {
        DLGTEMPLATE t;
        WORD menu, cls, title;
    } tpl = {};
    tpl.t.style = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME;
    tpl.t.cx = 100;
    tpl.t.cy = 50;
    gDialogCancelled = false;
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &tpl.t, nullptr, cancelOnlyDialog, 0);
    return gDialogCancelled;
}

} // namespace

TEST_F(MainWndTest, ADeferredCloseCancelsTheDialogARunningScriptWaitsOn) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->hwnd();
    bool cancelled = false, aliveAfterDialog = false;
    scripts.onRun = [&](const std::string& what) {
        if (what == "eval:dialog") {
            w->dispatchCommand(L"quit", L"");
            cancelled = runScriptDialog();
            aliveAfterDialog = IsWindow(hwnd);
        }
        return ShellScripts::Result::Other;
    };
    LoopResult result = play(w, "fscommand Quill_Eval dialog\n");
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(aliveAfterDialog);
    EXPECT_TRUE(result.quit);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(MainWndTest, DeactivatingTheApplicationEndsTheRun) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->hwnd();
    SendMessageW(hwnd, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_FALSE(runLoop(100).quit);
    EXPECT_TRUE(IsWindow(hwnd));
    SendMessageW(hwnd, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_TRUE(runLoop(6000).quit);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(MainWndTest, CloseRequestMessageAndDisabledWindow) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    HWND hwnd = w->hwnd();
    // While a modal dialog has the window disabled, closing does nothing.
    EnableWindow(hwnd, FALSE);
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EnableWindow(hwnd, TRUE);
    PostMessageW(hwnd, CMainWnd::kCloseRequest, 0, 0);
    EXPECT_TRUE(runLoop(6000).quit);
    EXPECT_FALSE(IsWindow(hwnd));
}

// ---------------------------------------------------------------------------
// Menu commands and accelerators
// ---------------------------------------------------------------------------

TEST_F(MainWndTest, MenuCommandsGoToTheScriptMenusOnlyInTheirRangeAndWithAnEngine) {
    CMainWnd* w = createWindow();
    ASSERT_NE(w, nullptr);
    SendMessageW(w->hwnd(), WM_COMMAND, 47000, 0);
    EXPECT_TRUE(scripts.runs.empty()); // no engine yet
    scripts.engine = true;
    for (UINT id : {46999u, 47000u, 52000u, 56999u, 57000u})
        SendMessageW(w->hwnd(), WM_COMMAND, id, 0);
    ASSERT_EQ(scripts.runs.size(), 3u);
    EXPECT_EQ(scripts.runs[0], "menu:47000");
    EXPECT_EQ(scripts.runs[1], "menu:52000");
    EXPECT_EQ(scripts.runs[2], "menu:56999");
    for (int depth : scripts.depths)
        EXPECT_EQ(depth, 1);
    EXPECT_EQ(dispatchDepth(), 0);
}

TEST(ShellAccelerators, TableHoldsTheStandardEditingKeys) {
    HACCEL table = loadShellAccelerators(GetModuleHandleW(nullptr));
    ASSERT_NE(table, nullptr);
    ACCEL entries[16];
    int n = CopyAcceleratorTableW(table, entries, 16);
    ASSERT_EQ(n, 11);
    auto command = [&](BYTE flags, WORD key) -> int {
        for (int i = 0; i < n; ++i)
            if ((entries[i].fVirt & ~0x80) == (flags | FVIRTKEY) && entries[i].key == key)
                return entries[i].cmd;
        return -1;
    };
    EXPECT_EQ(command(FCONTROL, 'A'), 57642);
    EXPECT_EQ(command(FCONTROL, VK_INSERT), 57634);
    EXPECT_EQ(command(FSHIFT, VK_INSERT), 57637);
    EXPECT_EQ(command(FSHIFT, VK_DELETE), 57635);
    EXPECT_EQ(command(FALT, VK_BACK), 57643);
    EXPECT_EQ(command(0, VK_F6), 57680);
    EXPECT_EQ(command(FSHIFT, VK_F6), 57681);
    EXPECT_EQ(command(0, 'A'), -1);
    DestroyAcceleratorTable(table);
}
