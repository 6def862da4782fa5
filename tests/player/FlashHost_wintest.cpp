// The control container against the stand-in player: automation calls with
// the control's members, movie variables, CallFunction answers, events, and
// the pieces around it (event script, script cache, print settings, import
// redirection, the player window's input handling).
#include "PlayerSupport.h"

#include "app/shell/FlashHostPrintHook.h"
#include "tests/fakeplayer/EventScript.h"

using namespace paloma;
using namespace paloma::shell;
using namespace paloma::testing;

namespace {

struct RecordedEvents : FlashEvents {
    std::vector<std::pair<std::wstring, std::wstring>> commands;
    std::vector<std::wstring> calls;
    FlashHost* host = nullptr;
    std::wstring answer;
    void onFSCommand(const std::wstring& command, const std::wstring& args) override {
        commands.emplace_back(command, args);
    }
    void onFlashCall(const std::wstring& request) override {
        calls.push_back(request);
        if (host && !answer.empty()) {
            std::vector<VARIANT> args = {textVariant(answer)};
            host->call(L"SetReturnValue", args, nullptr);
            VariantClear(&args[0]);
        }
    }
};

LRESULT CALLBACK plainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class FlashHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        WNDCLASSW wc = {};
        wc.lpfnWndProc = plainProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PalomaHostTestParent";
        RegisterClassW(&wc);
        parent = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        ASSERT_NE(parent, nullptr);
        events.host = &host;
    }
    void TearDown() override {
        host.close();
        DestroyWindow(parent);
        runLoop(20);
        OleUninitialize();
    }

    void createFromFile() {
        HMODULE module = nullptr;
        ASSERT_TRUE(host.create(parent, 77, RECT{0, 0, 300, 200}, fakePlayerPath(), &module));
        EXPECT_NE(module, nullptr);
    }

    std::wstring getText(const wchar_t* name) {
        VARIANT v;
        VariantInit(&v);
        EXPECT_EQ(host.get(name, &v), S_OK) << narrow(name);
        std::wstring text = variantToText(v);
        VariantClear(&v);
        return text;
    }

    HRESULT callText(const wchar_t* name, std::vector<std::wstring> args, std::wstring* result = nullptr) {
        std::vector<VARIANT> vars;
        for (const std::wstring& a : args)
            vars.push_back(textVariant(a));
        VARIANT out;
        VariantInit(&out);
        HRESULT hr = host.call(name, vars, &out);
        if (result)
            *result = variantToText(out);
        VariantClear(&out);
        for (VARIANT& v : vars)
            VariantClear(&v);
        return hr;
    }

    Scratch scratch;
    RecordedEvents events;
    FlashHost host{events};
    HWND parent = nullptr;
};

} // namespace

TEST_F(FlashHostTest, ControlIsAnActivatedChildWithTheGivenId) {
    createFromFile();
    ASSERT_NE(host.window(), nullptr);
    EXPECT_EQ(GetParent(host.window()), parent);
    EXPECT_EQ(GetDlgCtrlID(host.window()), 77);
    RECT rc;
    GetClientRect(host.window(), &rc);
    EXPECT_EQ(rc.right, 300);
    host.setRect(RECT{10, 20, 110, 70});
    GetWindowRect(host.window(), &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(rc.left, 10);
    EXPECT_EQ(rc.top, 20);
    EXPECT_EQ(rc.right, 110);
    EXPECT_EQ(rc.bottom, 70);
    HWND w = host.window();
    host.close();
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(host.created());
    EXPECT_TRUE(scratch.logHas("close"));
    EXPECT_TRUE(scratch.logHas("unadvise 1"));
}

TEST_F(FlashHostTest, CreatingFromAMissingOrForeignModuleFails) {
    HMODULE module = reinterpret_cast<HMODULE>(1);
    EXPECT_FALSE(host.create(parent, 1, RECT{}, (scratch.dir() / L"none.ocx").wstring(), &module));
    EXPECT_EQ(module, nullptr);
    // A module without the class object.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_FALSE(host.create(parent, 1, RECT{}, std::wstring(system) + L"\\version.dll", &module));
    EXPECT_FALSE(host.created());
}

TEST_F(FlashHostTest, PropertiesArePutAndLoggedWithTheControlsMembers) {
    createFromFile();
    EXPECT_EQ(host.put(L"ScaleMode", 3L), S_OK);
    EXPECT_EQ(host.put(L"BackgroundColor", 0x336699L), S_OK);
    EXPECT_EQ(host.put(L"WMode", std::wstring(L"transparent")), S_OK);
    EXPECT_EQ(getText(L"ScaleMode"), L"3");
    EXPECT_EQ(getText(L"BackgroundColor"), std::to_wstring(0x336699));
    EXPECT_EQ(getText(L"wmode"), L"transparent"); // names are case-insensitive
    EXPECT_TRUE(scratch.logHas("put ScaleMode 3"));
    EXPECT_TRUE(scratch.logHas("put BackgroundColor 3368601"));
    EXPECT_NE(host.put(L"NoSuchMember", 1L), S_OK);
    EXPECT_NE(host.put(L"TotalFrames", 5L), S_OK); // read only

    IDispatch* d = host.dispatch();
    ASSERT_NE(d, nullptr);
    struct {
        const wchar_t* name;
        DISPID id;
    } ids[] = {{L"Movie", 102}, {L"ScaleMode", 120}, {L"BackgroundColor", 123}, {L"SetVariable", 151},
               {L"GetVariable", 152}, {L"CallFunction", 198}, {L"SetReturnValue", 199}, {L"Play", 112},
               {L"TotalFrames", 124}, {L"FlashVars", 170}};
    for (auto& m : ids) {
        DISPID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(m.name)};
        ASSERT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        EXPECT_EQ(id, m.id) << narrow(m.name);
    }
}

TEST_F(FlashHostTest, MovieHeaderDrivesFramesAndPlayback) {
    createFromFile();
    MovieShape shape;
    shape.frames = 25;
    shape.width = 200;
    shape.height = 100;
    shape.compressed = true;
    std::wstring movie = scratch.movie(L"clip.swf", "", shape);
    ASSERT_EQ(host.put(L"Movie", movie), S_OK);
    EXPECT_EQ(getText(L"Movie"), movie);
    EXPECT_EQ(getText(L"TotalFrames"), L"25");
    EXPECT_EQ(getText(L"ReadyState"), L"4");
    EXPECT_TRUE(scratch.logHas("movie clip.swf 200x100 12.00 fps 25 frames"));

    std::wstring frame;
    EXPECT_EQ(callText(L"GotoFrame", {L"7"}), S_OK);
    EXPECT_EQ(callText(L"CurrentFrame", {}, &frame), S_OK);
    EXPECT_EQ(frame, L"7");
    EXPECT_EQ(callText(L"Back", {}), S_OK);
    EXPECT_EQ(callText(L"CurrentFrame", {}, &frame), S_OK);
    EXPECT_EQ(frame, L"6");
    std::wstring playing;
    EXPECT_EQ(callText(L"StopPlay", {}), S_OK);
    EXPECT_EQ(callText(L"IsPlaying", {}, &playing), S_OK);
    EXPECT_EQ(playing, L"False");
    EXPECT_EQ(callText(L"Play", {}), S_OK);
    EXPECT_EQ(callText(L"IsPlaying", {}, &playing), S_OK);
    EXPECT_EQ(playing, L"True");
    EXPECT_EQ(callText(L"GotoFrame", {}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(callText(L"GotoFrame", {L"seven"}), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(scratch.logHas("call GotoFrame 7"));
}

TEST_F(FlashHostTest, UnreadableMovieIsReportedNotTrusted) {
    createFromFile();
    std::wstring junk = scratch.writeText(L"junk.swf", "FWS\x08\xff");
    EXPECT_EQ(host.put(L"Movie", junk), S_OK);
    EXPECT_EQ(getText(L"TotalFrames"), L"0");
    EXPECT_TRUE(scratch.logHas("movie junk.swf unreadable"));
}

TEST_F(FlashHostTest, MovieVariablesAndTargetProperties) {
    createFromFile();
    ASSERT_EQ(host.put(L"Movie", scratch.movie(L"v.swf")), S_OK);
    EXPECT_EQ(callText(L"SetVariable", {L"_root.score", L"42"}), S_OK);
    std::wstring value;
    EXPECT_EQ(callText(L"GetVariable", {L"_root.score"}, &value), S_OK);
    EXPECT_EQ(value, L"42");
    EXPECT_NE(callText(L"GetVariable", {L"_root.none"}, &value), S_OK);
    EXPECT_EQ(callText(L"TSetProperty", {L"/clip", L"2", L"1.5"}), S_OK);
    EXPECT_EQ(callText(L"TGetProperty", {L"/clip", L"2"}, &value), S_OK);
    EXPECT_EQ(value, L"1.5");
    EXPECT_TRUE(scratch.logHas("call SetVariable _root.score | 42"));
    // Loading a movie starts with fresh variables.
    ASSERT_EQ(host.put(L"Movie", scratch.movie(L"w.swf")), S_OK);
    EXPECT_NE(callText(L"GetVariable", {L"_root.score"}, &value), S_OK);
}

TEST_F(FlashHostTest, EventScriptFiresEventsAndAnswersCallFunction) {
    createFromFile();
    events.answer = L"<true/>";
    std::wstring movie = scratch.movie(L"e.swf",
                                       "# a comment\n"
                                       "answer add <number>3</number>\n"
                                       "fscommand Quill_Eval a = 1;\n"
                                       "wait 30\n"
                                       "flashcall <invoke name=\"ping\"/>\n"
                                       "set greeting hello world\n"
                                       "fscommand empty\n"
                                       "quit\n"
                                       "fscommand never\n");
    ASSERT_EQ(host.put(L"Movie", movie), S_OK);
    runLoop(3000, [&] { return events.commands.size() >= 3; });
    ASSERT_EQ(events.commands.size(), 3u);
    EXPECT_EQ(events.commands[0], std::make_pair(std::wstring(L"Quill_Eval"), std::wstring(L"a = 1;")));
    EXPECT_EQ(events.commands[1], std::make_pair(std::wstring(L"empty"), std::wstring()));
    EXPECT_EQ(events.commands[2], std::make_pair(std::wstring(L"quit"), std::wstring()));
    ASSERT_EQ(events.calls.size(), 1u);
    EXPECT_EQ(events.calls[0], L"<invoke name=\"ping\"/>");
    EXPECT_TRUE(scratch.logHas("returned <true/>"));
    std::wstring value;
    EXPECT_EQ(callText(L"GetVariable", {L"greeting"}, &value), S_OK);
    EXPECT_EQ(value, L"hello world");

    std::wstring answer;
    EXPECT_EQ(callText(L"CallFunction", {L"<invoke name=\"add\" returntype=\"xml\"><arguments/></invoke>"}, &answer),
              S_OK);
    EXPECT_EQ(answer, L"<number>3</number>");
    EXPECT_NE(callText(L"CallFunction", {L"<invoke name=\"other\"/>"}, &answer), S_OK);
    EXPECT_TRUE(scratch.logHas("call CallFunction <invoke name=\"other\"/>"));
    EXPECT_TRUE(scratch.logHas("no answer"));
    runLoop(100);
    EXPECT_EQ(events.commands.size(), 3u); // nothing after quit
}

TEST_F(FlashHostTest, EventScriptFromTheEnvironmentWhenNoneIsBesideTheMovie) {
    std::wstring fallback = scratch.writeText(L"fallback.events", "fscommand from env\n");
    SetEnvironmentVariableW(L"PALOMA_FAKEPLAYER_SCRIPT", fallback.c_str());
    createFromFile();
    ASSERT_EQ(host.put(L"Movie", scratch.movie(L"bare.swf")), S_OK);
    runLoop(2000, [&] { return !events.commands.empty(); });
    ASSERT_EQ(events.commands.size(), 1u);
    EXPECT_EQ(events.commands[0].second, L"env");
}

TEST_F(FlashHostTest, ClosingTheControlFromItsOwnEventIsSafe) {
    createFromFile();
    struct Closer : FlashEvents {
        FlashHost* host = nullptr;
        int seen = 0;
        void onFSCommand(const std::wstring&, const std::wstring&) override {
            ++seen;
            host->close();
        }
        void onFlashCall(const std::wstring&) override {}
    };
    Closer closer;
    FlashHost own(closer);
    closer.host = &own;
    HMODULE module = nullptr;
    ASSERT_TRUE(own.create(parent, 5, RECT{0, 0, 50, 50}, fakePlayerPath(), &module));
    ASSERT_EQ(own.put(L"Movie", scratch.movie(L"c.swf", "fscommand a\nfscommand b\n")), S_OK);
    runLoop(500);
    EXPECT_EQ(closer.seen, 1);
    EXPECT_FALSE(own.created());
}

// ---------------------------------------------------------------------------
// The player window
// ---------------------------------------------------------------------------

TEST_F(FlashHostTest, PlayerWindowSeesInputFirstAndRemembersTheFirstMouse) {
    PlayerWindow player(events);
    HMODULE module = nullptr;
    ASSERT_TRUE(player.create(parent, 1000, fakePlayerPath(), &module));
    EXPECT_EQ(player.firstMousePosition().x, -1);
    EXPECT_EQ(player.firstMousePosition().y, -1);
    std::vector<UINT> filtered;
    player.setInputFilter([&](UINT msg, WPARAM, LPARAM) {
        filtered.push_back(msg);
        return msg == WM_KEYDOWN;
    });
    SendMessageW(player.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(12, 34));
    SendMessageW(player.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(50, 60));
    SendMessageW(player.hwnd(), WM_KEYDOWN, VK_SPACE, 0);
    SendMessageW(player.hwnd(), WM_PAINT, 0, 0);
    EXPECT_EQ(player.firstMousePosition().x, 12);
    EXPECT_EQ(player.firstMousePosition().y, 34);
    ASSERT_EQ(filtered.size(), 3u);
    EXPECT_EQ(filtered[2], UINT(WM_KEYDOWN));

    HCURSOR cross = LoadCursor(nullptr, IDC_CROSS);
    setPlayerCursor(cross);
    EXPECT_EQ(SendMessageW(player.hwnd(), WM_SETCURSOR, WPARAM(player.hwnd()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(GetCursor(), cross);
    setPlayerCursor(nullptr);

    HWND w = player.hwnd();
    player.destroy();
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(player.control(), nullptr);
}

// ---------------------------------------------------------------------------
// Event script, cache, print settings, imports
// ---------------------------------------------------------------------------

TEST(FakePlayerEventScript, ParsesStepsAnswersAndReportsBadLines) {
    using Kind = fakeplayer::EventStep::Kind;
    fakeplayer::EventScript s = fakeplayer::parseEventScript(L"  # c\n\nfscommand  cmd  two words\\tx\n"
                                                             L"wait 25\nwait x\nwait 999999999\n"
                                                             L"answer f <a>\\n</a>\nanswer\nset v\nset\nbogus 1\n"
                                                             L"flashcall <invoke name='q'/>\nprint\nquit");
    ASSERT_EQ(s.steps.size(), 6u);
    EXPECT_EQ(s.steps[0].kind, Kind::FsCommand);
    EXPECT_EQ(s.steps[0].first, L"cmd");
    EXPECT_EQ(s.steps[0].second, L"two words\tx");
    EXPECT_EQ(s.steps[1].kind, Kind::Wait);
    EXPECT_EQ(s.steps[1].delay, 25u);
    EXPECT_EQ(s.steps[2].kind, Kind::Set);
    EXPECT_EQ(s.steps[2].second, L"");
    EXPECT_EQ(s.steps[3].kind, Kind::FlashCall);
    EXPECT_EQ(s.steps[4].kind, Kind::Print);
    EXPECT_EQ(s.steps[5].kind, Kind::Quit);
    EXPECT_EQ(s.answers.at(L"f"), L"<a>\n</a>");
    ASSERT_EQ(s.errors.size(), 5u);
    EXPECT_EQ(s.errors[0].rfind(L"line 5:", 0), 0u);
    EXPECT_EQ(fakeplayer::invokeName(L"<invoke name=\"abc\" returntype=\"xml\">"), L"abc");
    EXPECT_EQ(fakeplayer::invokeName(L"<invoke name='q'/>"), L"q");
    EXPECT_EQ(fakeplayer::invokeName(L"<invoke returntype=\"xml\"><name=\"x\">"), L"");
    EXPECT_EQ(fakeplayer::invokeName(L"<invoke name=\"open"), L"");
}

TEST(FakePlayerEventScript, KeptAnswersStandInForLaterSteps) {
    using Kind = fakeplayer::EventStep::Kind;
    fakeplayer::EventScript s = fakeplayer::parseEventScript(L"keep h\nkeep\nkeep a b\nkeep {x}\n");
    ASSERT_EQ(s.steps.size(), 1u);
    EXPECT_EQ(s.steps[0].kind, Kind::Keep);
    EXPECT_EQ(s.steps[0].first, L"h");
    EXPECT_EQ(s.errors.size(), 3u);

    EXPECT_EQ(fakeplayer::answerText(L"<number>17</number>"), L"17");
    EXPECT_EQ(fakeplayer::answerText(L"<string>a &lt; b</string>"), L"a &lt; b");
    EXPECT_EQ(fakeplayer::answerText(L"<undefined/>"), L"");
    EXPECT_EQ(fakeplayer::answerText(L""), L"");
    EXPECT_EQ(fakeplayer::answerText(L"<number>"), L"");

    std::map<std::wstring, std::wstring> kept{{L"h", L"42"}, {L"name", L"x"}};
    EXPECT_EQ(fakeplayer::substituteKept(L"<number>{h}</number>{h}", kept), L"<number>42</number>42");
    EXPECT_EQ(fakeplayer::substituteKept(L"{unknown} {{h}} {name", kept), L"{unknown} {42} {name");
    EXPECT_EQ(fakeplayer::substituteKept(L"", kept), L"");
}

TEST(ScriptCache, HashAndBuckets) {
    // h = (h >> 7) ^ (h >> 16) ^ byte ^ (h << 5), by hand.
    EXPECT_EQ(ScriptCache::hash("a"), 97u);
    EXPECT_EQ(ScriptCache::hash("ab"), 3138u);
    EXPECT_EQ(ScriptCache::bucketOf("a"), 97u % 17);
    EXPECT_EQ(ScriptCache::bucketOf("ab"), 3138u % 17);
    EXPECT_EQ(ScriptCache::hash(""), 0u);
    // Large values shift bits out on the left without trouble.
    uint32_t h = 0;
    std::string longName(300, 'z');
    for (char c : longName)
        h = (h >> 7) ^ (h >> 16) ^ uint8_t(c) ^ (h << 5);
    EXPECT_EQ(ScriptCache::hash(longName), h);
    EXPECT_EQ(ScriptCache::hash("INTRO"), ScriptCache::hash("intro"));
}

TEST(ScriptCache, FindsNamesWithoutRegardToCaseAndKeepsEntriesInPlace) {
    ScriptCache cache;
    ScriptCache::Entry& first = cache.add("Intro", {1, 2, 3});
    EXPECT_EQ(cache.find("INTRO"), &first);
    EXPECT_EQ(cache.find("intro")->name, "Intro");
    EXPECT_EQ(cache.find("Intr"), nullptr);
    // Many entries in every bucket: the first one does not move.
    for (int i = 0; i < 200; ++i)
        cache.add("script" + std::to_string(i), {uint8_t(i)});
    EXPECT_EQ(cache.find("intro"), &first);
    EXPECT_EQ(cache.size(), 201u);
    size_t total = 0;
    for (size_t b = 0; b < ScriptCache::kBuckets; ++b) {
        EXPECT_GT(cache.bucketSize(b), 0u);
        total += cache.bucketSize(b);
    }
    EXPECT_EQ(total, 201u);
    ASSERT_NE(cache.find("SCRIPT77"), nullptr);
    EXPECT_EQ(cache.find("SCRIPT77")->image, std::vector<uint8_t>{77});
    cache.clear();
    EXPECT_EQ(cache.find("intro"), nullptr);
    EXPECT_EQ(cache.size(), 0u);
}

TEST(PrintSettings, CopiesTheGivenFieldsIntoTheDeviceMode) {
    DEVMODEA mode = {};
    PRINTDLGA dialog = {};
    dialog.nCopies = 1;
    PrintSettings settings;
    settings.orientation = DMORIENT_LANDSCAPE;
    settings.copies = 3;
    settings.paperSize = DMPAPER_A4;
    applyPrintSettings(settings, mode, dialog);
    EXPECT_EQ(mode.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(mode.dmPaperSize, DMPAPER_A4);
    // The dialog keeps the count unless it asked the device mode to.
    EXPECT_EQ(dialog.nCopies, 3);
    EXPECT_EQ(mode.dmCopies, 1);
    EXPECT_EQ(mode.dmPaperWidth, 0);
    EXPECT_TRUE(mode.dmFields & DM_ORIENTATION);
    EXPECT_FALSE(mode.dmFields & DM_PAPERWIDTH);

    DEVMODEA second = {};
    PRINTDLGA devmodeCopies = {};
    devmodeCopies.Flags = PD_USEDEVMODECOPIESANDCOLLATE;
    devmodeCopies.nCopies = 1;
    PrintSettings sizes;
    sizes.copies = 4;
    sizes.pageWidth = 2100;
    sizes.pageHeight = 2970;
    applyPrintSettings(sizes, second, devmodeCopies);
    EXPECT_EQ(second.dmCopies, 4);
    EXPECT_EQ(devmodeCopies.nCopies, 1);
    EXPECT_EQ(second.dmPaperWidth, 2100);
    EXPECT_EQ(second.dmPaperLength, 2970);
    EXPECT_EQ(second.dmOrientation, 0);
}

TEST(ImportRedirection, ReplacesOnlyTheNamedImport) {
    HMODULE fake = LoadLibraryW(fakePlayerPath().c_str());
    ASSERT_NE(fake, nullptr);
    static int calls = 0;
    struct Local {
        static BOOL WINAPI replacement(LPPRINTDLGA) {
            ++calls;
            return FALSE;
        }
    };
    void* original = nullptr;
    void* before = nullptr;
    // Whatever sits there now (a test before may have hooked it) comes back.
    ASSERT_TRUE(redirectImport(fake, "COMDLG32.DLL", "PrintDlgA", reinterpret_cast<void*>(&Local::replacement),
                               &before));
    ASSERT_TRUE(redirectImport(fake, "comdlg32.dll", "PrintDlgA", before, &original));
    EXPECT_EQ(original, reinterpret_cast<void*>(&Local::replacement));
    EXPECT_FALSE(redirectImport(fake, "comdlg32.dll", "PrintDlgW", before, &original));
    EXPECT_FALSE(redirectImport(fake, "nosuch.dll", "PrintDlgA", before, &original));
    EXPECT_FALSE(redirectImport(nullptr, "comdlg32.dll", "PrintDlgA", before, &original));
    FreeLibrary(fake);
}

// ---------------------------------------------------------------------------
// The print hook in front of a stand-in system dialog
// ---------------------------------------------------------------------------

namespace {

struct DialogProbe {
    static inline DWORD flagsSeen = 0;
    static inline int calls = 0;
    static inline bool succeed = true;

    // Answers like the system dialog for a printer "Probe" on driver "winspool".
    static BOOL WINAPI dialog(LPPRINTDLGA pd) {
        ++calls;
        flagsSeen = pd->Flags;
        if (!succeed)
            return FALSE;
        pd->hDevMode = GlobalAlloc(GHND, sizeof(DEVMODEA));
        const char names[] = "winspool\0Probe\0LPT1:\0";
        pd->hDevNames = GlobalAlloc(GHND, sizeof(DEVNAMES) + sizeof(names));
        auto* dn = static_cast<DEVNAMES*>(GlobalLock(pd->hDevNames));
        dn->wDriverOffset = sizeof(DEVNAMES);
        dn->wDeviceOffset = sizeof(DEVNAMES) + 9;
        dn->wOutputOffset = sizeof(DEVNAMES) + 15;
        memcpy(reinterpret_cast<char*>(dn) + sizeof(DEVNAMES), names, sizeof(names));
        GlobalUnlock(pd->hDevNames);
        pd->nCopies = 1;
        return TRUE;
    }
};

std::optional<PrintSettings> orientation(long value) {
    PrintSettings s;
    s.orientation = value;
    return s;
}

class PrintHookTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = printHookState();
        printHookState().original = &DialogProbe::dialog;
        printHookState().silent = false;
        printHookState().settings = nullptr;
        DialogProbe::calls = 0;
        DialogProbe::flagsSeen = 0;
        DialogProbe::succeed = true;
    }
    void TearDown() override {
        if (pd.hDevMode)
            GlobalFree(pd.hDevMode);
        if (pd.hDevNames)
            GlobalFree(pd.hDevNames);
        if (pd.hDC)
            DeleteDC(pd.hDC);
        printHookState() = saved;
    }
    DEVMODEA mode() {
        DEVMODEA m = *static_cast<DEVMODEA*>(GlobalLock(pd.hDevMode));
        GlobalUnlock(pd.hDevMode);
        return m;
    }
    PrintHookState saved;
    PRINTDLGA pd = makeDialog();
    static PRINTDLGA makeDialog() {
        PRINTDLGA d = {};
        d.lStructSize = sizeof(d);
        return d;
    }
};

} // namespace

TEST_F(PrintHookTest, ShowsTheDialogUnchangedWhenNotSilent) {
    pd.Flags = PD_RETURNDC;
    printHookState().settings = [] { return orientation(3); };
    ASSERT_TRUE(printHook(&pd));
    EXPECT_EQ(DialogProbe::calls, 1);
    EXPECT_EQ(DialogProbe::flagsSeen, DWORD(PD_RETURNDC));
    EXPECT_EQ(mode().dmOrientation, 0);
}

TEST_F(PrintHookTest, SilentPrintingUsesTheDefaultPrinterAndAppliesSettings) {
    printHookState().silent = true;
    printHookState().settings = [] {
        PrintSettings s;
        s.orientation = DMORIENT_LANDSCAPE;
        s.copies = 2;
        return std::optional<PrintSettings>(s);
    };
    pd.Flags = PD_RETURNDC;
    unsigned before = printHookState().calls;
    printHook(&pd);
    EXPECT_EQ(printHookState().calls, before + 1);
    // The dialog is asked for the default printer, and the device context is
    // left for after the settings are in the device mode.
    EXPECT_TRUE(DialogProbe::flagsSeen & PD_RETURNDEFAULT);
    EXPECT_FALSE(DialogProbe::flagsSeen & PD_RETURNDC);
    EXPECT_TRUE(pd.Flags & PD_RETURNDC);
    EXPECT_EQ(mode().dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(pd.nCopies, 2);
}

TEST_F(PrintHookTest, SilentWithoutSettingsOnlyPicksTheDefaultPrinter) {
    printHookState().silent = true;
    pd.Flags = PD_RETURNDC;
    printHook(&pd);
    EXPECT_TRUE(DialogProbe::flagsSeen & PD_RETURNDEFAULT);
    EXPECT_TRUE(DialogProbe::flagsSeen & PD_RETURNDC);
    EXPECT_EQ(mode().dmOrientation, 0);
}

TEST_F(PrintHookTest, ACancelledDialogChangesNothing) {
    printHookState().silent = true;
    printHookState().settings = [] { return orientation(1); };
    DialogProbe::succeed = false;
    pd.Flags = PD_RETURNDC;
    EXPECT_FALSE(printHook(&pd));
    EXPECT_EQ(pd.hDevMode, nullptr);
    EXPECT_EQ(pd.hDC, nullptr);
}
