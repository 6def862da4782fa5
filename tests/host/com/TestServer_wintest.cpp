// ActiveXObject against the project's test COM server (tests/comserver):
// events with by-reference parameters, property notifications, typed
// by-reference calls, exceptions, a disconnected object, registration from
// scripts, a foreign script reaching the player's control through Scripter,
// and every reference returned once the engine is gone.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "host/ClassOrder.h"
#include "host/HostServices.h"
#include "host/framework/WinHandles.h"
#include "script/Quill.h"

namespace paloma::host::test {
namespace {

class TestServer : public ::testing::Test {
protected:
    // The server is registered in the prefix for the whole suite, the way an
    // installer would (the product registers servers only when a script asks).
    static void SetUpTestSuite() {
        module = LoadLibraryA(PALOMA_TEST_COM_SERVER);
        ASSERT_NE(module, nullptr);
        auto registerServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
        ASSERT_NE(registerServer, nullptr);
        ASSERT_EQ(registerServer(), S_OK);
        liveObjects = reinterpret_cast<LONG (*)()>(
            reinterpret_cast<void*>(GetProcAddress(module, "TestServerLiveObjects")));
        ASSERT_NE(liveObjects, nullptr);
    }
    static void TearDownTestSuite() {
        auto unregisterServer = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
        if (unregisterServer)
            unregisterServer();
    }

    void SetUp() override {
        engine = quill::createEngine(hostEngineOptions());
        ASSERT_NE(engine, nullptr);
        quill::setTraceOutput(*engine, [this](std::string_view line) { trace.emplace_back(line); });
    }
    // Every object of the server is released with the engine.
    void TearDown() override {
        engine.reset();
        EXPECT_EQ(liveObjects(), 0);
    }

    void run(const std::string& source) { ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText; }
    std::string text(const char* name) {
        return quill::valueToText(*engine, engine->global(engine->internName(name)));
    }

    static inline HMODULE module = nullptr;
    static inline LONG (*liveObjects)() = nullptr;
    std::unique_ptr<quill::Engine> engine;
    std::vector<std::string> trace;
};

TEST_F(TestServer, EventsChangeByReferenceParameters) {
    run(R"(
        var c = new ActiveXObject("Paloma.TestCounter");
        var seen = [];
        c.Changed = function (n, reply, note) {
            seen.push(n + "/" + reply.value + "/" + note.value + "/" + (this === c));
            reply.value = n * 10;
            note.value = "changed";
        };
        var first = c.Fire(4);
        c.Changed = function (n, reply, note) { seen.push("second " + n); };
        var second = c.Fire(7);
        var live = c.Live;
    )");
    EXPECT_EQ(text("seen"), "4/5/note/true,second 7");
    EXPECT_EQ(text("first"), "40:changed"); // what the handler assigned reached the server
    EXPECT_EQ(text("second"), "8:note");    // untouched references keep their values
    EXPECT_EQ(text("live"), "1");
    EXPECT_TRUE(trace.empty());
}

TEST_F(TestServer, PropertyNotificationsAndTypedReferences) {
    run(R"(
        var c = new ActiveXObject("Paloma.TestCounter");
        var log = [];
        c.OnPropertyWillChange = function (id) { log.push("will " + id + " " + this.Value); };
        c.OnPropertyChanged = function (id) { log.push("did " + id + " " + this.Value); };
        c.EnablePropertyNotify = true;
        var enabled = c.EnablePropertyNotify;
        c.Value = 5;
        c.EnablePropertyNotify = false;
        c.Value = 6;
        var n = {value: 21};
        var t = {value: "abc"};
        c.Twist(n, t);
        var twisted = n.value + " " + t.value;
        var other = c.Spawn();
        var live = c.Live + " " + other.Live + " " + other;
    )");
    EXPECT_EQ(text("enabled"), "true");
    EXPECT_EQ(text("log"), "will 1 0,did 1 5");
    EXPECT_EQ(text("twisted"), "42 cba");
    EXPECT_EQ(text("live"), "2 2 [object ActiveXObject]");
}

TEST_F(TestServer, ExceptionsAndADisconnectedObject) {
    run(R"(
        var errors = [];
        ActiveXObject.onError = function (text) { errors.push(text); };
        var c = new ActiveXObject("Paloma.TestCounter");
        var raised = c.Raise("the description") === undefined;
        c.Value = 3;
        c.Value = "not a number";
        var kept = c.Value;
        c.Close();
        var afterClose = (c.Value === undefined) + " " + (c.Fire(1) === undefined) + " " + c.Live;
        c.Changed = function () {};
    )");
    EXPECT_EQ(text("raised"), "true");
    EXPECT_EQ(text("errors"), "PalomaTestServer:the description. See also: counter.hlp.");
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace[0], "PalomaTestServer:the description. See also: counter.hlp.");
    EXPECT_EQ(text("kept"), "3"); // a value of the wrong kind changes nothing
    EXPECT_EQ(text("afterClose"), "true true 1");
    EXPECT_GE(trace.size(), 4u); // each failing call is reported
}

TEST_F(TestServer, RegisteredAndUnregisteredFromScripts) {
    std::string path = PALOMA_TEST_COM_SERVER;
    for (char& ch : path)
        if (ch == '/')
            ch = '\\';
    std::string quoted;
    for (char ch : path)
        quoted += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
    run("var gone = ActiveXObject.unregister(\"" + quoted + "\");"
        "var missing = new ActiveXObject('Paloma.TestCounter') === null;"
        // The class's entries alone, under another name.
        "var info = ActiveXObject.addObjectInfo('{E4AAC6CB-55EC-4A8F-B264-5E54742328C8}', 'Paloma.OtherCounter',"
        "    'another counter', \"" + quoted + "\");"
        "var other = new ActiveXObject('Paloma.OtherCounter');"
        "var viaInfo = other + ' ' + other.Value;"
        "var bad = ActiveXObject.addObjectInfo('E4AAC6CB', 'a', 'b', 'c') + ' ' + ActiveXObject.addObjectInfo('x');"
        "var back = ActiveXObject.register(\"" + quoted + "\");"
        "var made = new ActiveXObject('Paloma.TestCounter') + '';");
    EXPECT_EQ(text("gone"), "true");
    EXPECT_EQ(text("missing"), "true");
    EXPECT_EQ(text("info"), "0");
    EXPECT_EQ(text("viaInfo"), "[object ActiveXObject] 0");
    EXPECT_EQ(text("bad"), "87 87");
    EXPECT_EQ(text("back"), "true");
    EXPECT_EQ(text("made"), "[object ActiveXObject]");
    wchar_t description[64] = {};
    LONG size = sizeof description;
    EXPECT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT, L"Paloma.OtherCounter", description, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(description), L"another counter");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Paloma.OtherCounter");
}

// The program's side: a counter object standing for the player's control.
class ControlHost : public HostServices {
public:
    ControlDispatch flashControl() override { return control.get(); }
    ComPtr<IDispatch> control;
};

TEST_F(TestServer, ForeignScriptsReachThePlayerThroughScripter) {
    ControlHost host;
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(L"Paloma.TestCounter", &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, host.control.putVoid()), S_OK);
    ScopedHostServices services(host);
    // The JScript comes from a file another program holds open for reading
    // only: running it needs no write access.
    char folder[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, folder), 0u);
    std::string file = std::string(folder) + "scripter_test.js";
    std::string code = "Scripter.FlashPlayer.Value = 7; function player() { return Scripter.FlashPlayer; }";
    UniqueHandle writer(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writer.get(), code.data(), DWORD(code.size()), &written, nullptr));
    writer.reset();
    UniqueHandle reader(CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(reader.get(), INVALID_HANDLE_VALUE);
    std::string quoted;
    for (char ch : file)
        quoted += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
    run("var file = \"" + quoted + "\";" + R"(
        var results = [];
        var languages = ["JScript", "VBScript"];
        for (var i = 0; i < 2; i++) {
            var h = new ScriptHost();
            var ran = h.open(languages[i]) &&
                      (i == 0 ? h.runScriptFile(file)
                              : h.runScript("Scripter.FlashPlayer.Value = Scripter.FlashPlayer.Value + 1\n" +
                                            "Function Player()\n Set Player = Scripter.FlashPlayer\nEnd Function"));
            var p = h.getScriptObject().player();
            results.push(ran + " " + p.Value + " " + p.Live);
            h.close();
        }
    )");
    reader.reset();
    DeleteFileA(file.c_str());
    EXPECT_EQ(text("results"), "true 7 1,true 8 1"); // one object: the host's own
    engine.reset();
    EXPECT_EQ(liveObjects(), 1); // only the host still holds it
}

} // namespace
} // namespace paloma::host::test
