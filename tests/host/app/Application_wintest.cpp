// The Application object, Preferences and the global host functions in an
// engine of the host's class order, with a window of the test as the
// player's main window.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/MovieList.h"
#include "app/RuntimeSettings.h"
#include "host/HostServices.h"
#include "host/app/Application.h"
#include "host/window/MenuCommands.h"
#include "host/window/Window.h"
#include "host/ClassOrder.h"
#include "script/Quill.h"

using namespace paloma;
using namespace paloma::host;

namespace {

std::string tempPath(const char* name) {
    char folder[MAX_PATH + 1];
    GetTempPathA(MAX_PATH + 1, folder);
    return std::string(folder) + name + std::to_string(GetCurrentProcessId());
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The shell's side for these tests: a plain top-level window, settings and a
// movie list of the test's own.
class TestServices : public HostServices {
public:
    TestServices() {
        window = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        movies.entries = {{u"C:\\movies\\first.swf", kMovieEntryMovie},
                          {u"C:\\movies\\notes.txt", 0},
                          {u"D:\\second.swf", kMovieEntryMovie}};
    }
    ~TestServices() override {
        if (IsWindow(window))
            DestroyWindow(window);
        DeleteFileA(profile.c_str());
    }
    WindowHandle playerWindow() override { return window; }
    RuntimeSettings* settings() override { return &live; }
    const MovieList* movieList() override { return &movies; }
    std::string profilePath() override { return profile; }
    void applyCdAutorun() override { ++cdAutorunApplied; }
    void enterScripts() override { ++depth; }
    void leaveScripts() override { --depth; }
    void exitApplication(int code) override { exitCode = code; }

    HWND window;
    int exitCode = -1;
    RuntimeSettings live;
    MovieList movies;
    std::string profile = tempPath("paloma-profile-") + ".ini";
    int cdAutorunApplied = 0;
    int depth = 0;
};

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
        quill::setTraceOutput(*engine, [this](std::string_view line) { trace.emplace_back(line); });
    }
    void run(const std::string& source) {
        trace.clear();
        ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText;
    }
    quill::Value global(const char* name) { return engine->global(engine->internName(name)); }
    std::string text(const char* name) { return quill::valueToText(*engine, global(name)); }
    int64_t integer(const char* name) {
        quill::Value v = global(name);
        EXPECT_TRUE(v.isInteger()) << name;
        return v.isInteger() ? v.asInteger() : -999999;
    }

    TestServices services;
    ScopedHostServices installed{services};
    std::unique_ptr<quill::Engine> engine;
    std::vector<std::string> trace;
};

} // namespace

TEST_F(ApplicationTest, IntervalsTickThroughProcessMsgAndStopWhenCleared) {
    run(R"(
        var ticks = 0;
        var seen;
        var bad = 0;
        function bump(k) { this.n += k; }
        function tick(a, b) { ticks++; seen = a + b; }
        function failing() { bad++; throw "tick failed"; }
        function spin(ms) { var t = new Date().getTime(); while (new Date().getTime() - t < ms) processMsg(); }
        obj = new Object(); obj.n = 0; obj.bump = bump;
        idA = Application.setInterval(tick, 10, "x", "y");
        idB = Application.setInterval(obj, "bump", 10, 5);
        idC = Application.setInterval(failing, 10);
        var t0 = new Date().getTime();
        while ((ticks < 3 || obj.n < 15 || bad < 2) && new Date().getTime() - t0 < 10000) processMsg();
        Application.clearInterval(idA); Application.clearInterval(idB); Application.clearInterval(idC);
        stopped = ticks; stoppedN = obj.n;
        spin(100);
        after = ticks; afterN = obj.n;
        zeroes = Application.setInterval(tick, "10") + Application.setInterval(tick, 1.5) +
                 Application.setInterval(obj, 5, 10) + Application.setInterval(tick);
        Application.clearInterval("1"); Application.clearInterval(1.0);
        empty = processMsg();
    )");
    EXPECT_GE(integer("stopped"), 3);
    EXPECT_EQ(text("seen"), "xy");
    EXPECT_GE(integer("stoppedN"), 15);
    EXPECT_GE(integer("bad"), 2) << "a failing callback does not stop its timer";
    EXPECT_TRUE(std::any_of(trace.begin(), trace.end(),
                            [](const std::string& l) { return l.find("tick failed") != std::string::npos; }));
    EXPECT_EQ(integer("after"), integer("stopped"));
    EXPECT_EQ(integer("afterN"), integer("stoppedN"));
    EXPECT_EQ(integer("zeroes"), 0);
    EXPECT_EQ(text("empty"), "true");
    EXPECT_EQ(intervalCount(), 0u);
    EXPECT_EQ(services.depth, 0) << "every tick left the scripts again";

    // A timer still running when its engine goes dies with it.
    run("Application.setInterval(tick, 1000);");
    EXPECT_EQ(intervalCount(), 1u);
    engine.reset();
    EXPECT_EQ(intervalCount(), 0u);
    EXPECT_EQ(applicationEngine(), nullptr);
}

TEST_F(ApplicationTest, PropertiesHooksTraceFileAndRegistry) {
    std::string traceFile = tempPath("paloma-trace-") + ".txt";
    // The path in a script string literal: backslashes doubled.
    std::string literal;
    for (char c : traceFile)
        literal += c == '\\' ? std::string("\\\\") : std::string(1, c);
    run("Application.traceToFile('" + literal + "'); trace('to the file'); trace('again');"
        "Application.traceToFile(); trace('nowhere');");
    EXPECT_EQ(readAll(traceFile), "to the file\r\nagain\r\n");
    DeleteFileA(traceFile.c_str());

    run(R"(
        s = "" + Application + " " + Application.Preferences + " " + (Application.Preferences === _Preferences_);
        flags = Application.isScr + "," + Application.isPreview + "," + (Application.traceWnd === null) + "," +
                typeof Application.cursor;
        line = Application.cmdLine;
        items = typeof Application.cmdItems.length;
        function chooser(o) { o.value = "chosen.swf"; return true; }
        Application.onGetMovie = chooser;
        Application.onGetMovie = "not a function";
        kept = Application.onGetMovie === chooser;
        unset = typeof Application.onGetFlashPlayer;
        function onLoaded(p) { loaded = p; }
        Application.onMovieLoaded = onLoaded;
        other = "" + new Application() + (Application() != null);
        p = _Preferences_;
        p.wakeupMethod = $WUESC | $WUHOTKEY;
        p.wakeupMethod = "7";
        wake = p.wakeupMethod;
        noKey = p.hotKey;
        p.hotKey = "ctrl+alt+f5";
        key = p.hotKey;
        p.disableCursor = 1;
        p.disableCDAutoRun = true;
        cursorFlag = p.disableCursor;
        Application.cursor = "no-such-cursor.cur";
        Application.captureMouse = true; captured = Application.captureMouse;
        Application.captureMouse = false; released = Application.captureMouse;
    )");
    EXPECT_EQ(applicationCursor(), nullptr) << "a cursor file that cannot be loaded changes nothing";
    EXPECT_EQ(text("captured"), "true");
    EXPECT_EQ(text("released"), "false");
    EXPECT_EQ(text("s"), "[object Application] [object Preferences] true");
    EXPECT_EQ(text("flags"), "true,false,true,undefined");
    EXPECT_EQ(text("line"), GetCommandLineA());
    EXPECT_EQ(text("items"), "number");
    EXPECT_EQ(text("kept"), "true");
    EXPECT_EQ(text("unset"), "undefined");
    EXPECT_EQ(text("other"), "[object Application]true");
    EXPECT_EQ(integer("wake"), 48);
    EXPECT_EQ(text("noKey"), "None");
    EXPECT_EQ(text("key"), "CTRL+ALT+F5");
    EXPECT_EQ(services.live.hotKeyCode, 0x74);
    EXPECT_EQ(services.live.hotKeyModifiers, kHotKeyCtrl | kHotKeyAlt);
    EXPECT_EQ(services.live.optionFlags, kOptionHideCursor | kOptionNoCdAutorun);
    EXPECT_EQ(services.cdAutorunApplied, 1);

    // The shell's hooks.
    auto movie = movieFromScript();
    ASSERT_TRUE(movie.has_value());
    EXPECT_EQ(*movie, L"chosen.swf");
    notifyMovieLoaded(L"C:\\run\\chosen.swf");
    EXPECT_EQ(text("loaded"), "C:\\run\\chosen.swf");
    run("function refuse(o) { o.value = 'ignored'; return false; } Application.onGetMovie = refuse;");
    EXPECT_FALSE(movieFromScript().has_value());
    run("function fail(o) { throw 'no movie'; } Application.onGetMovie = fail;");
    EXPECT_FALSE(movieFromScript().has_value());
    EXPECT_EQ(services.depth, 0);

    // associate under the classes root.
    run(R"(Application.associate(".palomatest", "PalomaTest.Document"); Application.associate(5, "x");)");
    char exe[MAX_PATH * 2];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    char value[600] = {};
    LONG size = sizeof value;
    ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "PalomaTest.Document\\shell\\open\\command", value, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), std::string(exe) + " \"%1\"");
    size = sizeof value;
    ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "PalomaTest.Document\\DefaultIcon", value, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), std::string(exe) + ",1");
    size = sizeof value;
    ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, ".palomatest", value, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), "PalomaTest.Document");
    // An extension linked to another type is left alone.
    run(R"(Application.associate(".palomatest", "PalomaTest.Other");)");
    size = sizeof value;
    RegQueryValueA(HKEY_CLASSES_ROOT, ".palomatest", value, &size);
    EXPECT_EQ(std::string(value), "PalomaTest.Document");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "PalomaTest.Document");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "PalomaTest.Other");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ".palomatest");

    // A new engine takes over the handlers, which start empty.
    auto second = quill::createEngine(hostEngineOptions());
    EXPECT_EQ(applicationEngine(), second.get());
    EXPECT_FALSE(movieFromScript().has_value());
    second.reset();
    EXPECT_EQ(applicationEngine(), nullptr);
}

TEST_F(ApplicationTest, GlobalFunctions) {
    char exe[MAX_PATH * 2];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string folder(exe, std::strrchr(exe, '\\') + 1);
    run(R"(
        dir = getAppDir(); name = getExeName();
        movies = getMovies().join("|");
        w = getMainWnd(); same = getMainWnd() === w; kind = "" + w;
        handle = w.handle;
        writeProfile("Section", "entry", 42);
        back = readProfile("Section", "entry");
        missing = typeof readProfile("Section", "nothing");
        bad = typeof readProfile(1, 2);
        function add(a, b) { return a + b; }
        sum = _call("add", [40, 2]);
        function passOn() { return _call("add", arguments); }
        sum2 = passOn("a", "b");
        none = typeof _call("add", 5) + typeof _call(3, [1]);
        inv = typeof invoke("NO_SUCH_SCRIPT");
        uri = encodeURIComponent("a b");
    )");
    EXPECT_EQ(text("dir"), folder);
    EXPECT_EQ(text("name"), exe);
    EXPECT_EQ(text("movies"), "C:\\movies\\first.swf|D:\\second.swf");
    EXPECT_EQ(text("same"), "true");
    EXPECT_EQ(text("kind"), "[object Window]");
    EXPECT_EQ(integer("handle"), int64_t(reinterpret_cast<intptr_t>(services.window)));
    EXPECT_EQ(text("back"), "42");
    EXPECT_EQ(text("missing"), "undefined");
    EXPECT_EQ(text("bad"), "undefined");
    EXPECT_EQ(integer("sum"), 42);
    EXPECT_EQ(text("sum2"), "ab");
    EXPECT_EQ(text("none"), "undefinedundefined");
    EXPECT_EQ(text("inv"), "undefined");
    EXPECT_EQ(text("uri"), "a%20b");

    // processMsg meets the quit message: the exit routine runs with its code
    // and the script gets false.
    PostQuitMessage(3);
    run("quit = processMsg();");
    EXPECT_EQ(text("quit"), "false");
    EXPECT_EQ(services.exitCode, 3);

    // No main window: null.
    DestroyWindow(services.window);
    run("gone = getMainWnd() === null;");
    EXPECT_EQ(text("gone"), "true");
}

TEST_F(ApplicationTest, ScriptMenusReachOnCommandByTextId) {
    run(R"(
        m = new Menu(); p = new Menu();
        before = m.appendItem("x", "X");
        ok = "" + m.createMenu();
        ok += p.createPopupMenu();
        ok += p.appendItem("open", "&Open\tCtrl+O");
        ok += p.appendItem();
        ok += p.insertItem(0, "first", "First");
        ok += m.appendItem(p, "&File");
        ok += m.setMenu();
        sub = "" + m.getSubMenu(0); noSub = m.getSubMenu(7) === null;
        function onCommand(id) { chosen = id; self = "" + this; }
        Menu.onCommand = onCommand;
        handler = typeof Menu.onCommand;
        Menu.onUpdateItem = onCommand; update = Menu.onUpdateItem === onCommand;
        p.enableAccel = true;
        loaded = m.load("NO_SUCH_MENU");
    )");
    EXPECT_EQ(text("before"), "false");
    EXPECT_EQ(text("ok"), "truetruetruetruetruetruetrue");
    EXPECT_EQ(text("sub"), "[object Menu]");
    EXPECT_EQ(text("noSub"), "true");
    EXPECT_EQ(text("handler"), "function");
    EXPECT_EQ(text("update"), "true");
    EXPECT_EQ(text("loaded"), "false");
    EXPECT_NE(GetMenu(services.window), nullptr);
    // The command id of "open" comes from its text id.
    UINT id = textIdHash("open") % 191 + 47000;
    EXPECT_TRUE(dispatchMenuCommand(id));
    EXPECT_EQ(text("chosen"), "open");
    EXPECT_EQ(text("self"), "[object Menu]");
    EXPECT_FALSE(dispatchMenuCommand(46999));
    // A throwing handler is reported and the next command still arrives.
    run("function broken(id) { throw 'menu failed'; } Menu.onCommand = broken;");
    EXPECT_TRUE(dispatchMenuCommand(id));
    EXPECT_TRUE(std::any_of(trace.begin(), trace.end(),
                            [](const std::string& l) { return l.find("menu failed") != std::string::npos; }));
    run("Menu.onCommand = onCommand; chosen = '';");
    EXPECT_TRUE(dispatchMenuCommand(id));
    EXPECT_EQ(text("chosen"), "open");
    EXPECT_EQ(services.depth, 0);
    // The popup belongs to the bar now: collecting its own object leaves it in place.
    run("p = null;");
    engine->collectGarbage();
    EXPECT_TRUE(IsMenu(GetSubMenu(GetMenu(services.window), 0)));
    releaseMenuState();
    EXPECT_FALSE(dispatchMenuCommand(id)) << "the command table is emptied";
}
