// The movie and the shell's engine calling each other through the main
// window: ExternalInterface requests answered into SetReturnValue, and
// forwarding functions reaching CallFunction.
#include "PlayerSupport.h"

#include "app/bridge/FlashBridge.h"
#include "app/shell/MainWndBridge.h"
#include "app/shell/MainWndQuill.h"
#include "script/Quill.h"

using namespace paloma;
using namespace paloma::shell;
using namespace paloma::testing;

namespace {

class BridgeThroughWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        services.playerPath = fakePlayerPath();
        auto owned = std::make_unique<QuillShellScripts>();
        connectBridge(*owned, [this](quill::Engine& engine) {
            bridge::registerForwardingFunction(engine, "getScore");
            quill::setTraceOutput(engine, [this](std::string_view line) { trace.emplace_back(line); });
        });
        setShellScripts(std::move(owned));
        scriptCache().clear();
    }
    void TearDown() override {
        if (CMainWnd* w = CMainWnd::current())
            DestroyWindow(w->hwnd());
        runLoop(50);
        setShellScripts(nullptr);
        scriptCache().clear();
        OleUninitialize();
    }

    // Loads a movie whose event script is `events` and runs until it quits.
    void play(const std::string& events) {
        CMainWnd* w = CMainWnd::create(services, L"", 0, screenRect());
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(w->loadMovie(scratch.movie(L"bridge.swf", events)));
        EXPECT_TRUE(runLoop(8000).quit);
    }

    Scratch scratch;
    RecordingServices services;
    std::vector<std::string> trace;
};

} // namespace

TEST_F(BridgeThroughWindowTest, RequestsReachScriptFunctionsAndAnswersReachTheMovie) {
    services.resources[L"Init"] = compiled("function greet(name) { return \"Hello, \" + name + \"!\"; }\n"
                                           "function sum(a, b) { return a + b; }\n");
    play("fscommand Quill_Run Init\n"
         "flashcall <invoke name=\"greet\" returntype=\"xml\"><arguments><string>movie</string></arguments></invoke>\n"
         "flashcall <invoke name=\"sum\" returntype=\"xml\"><arguments><number>40</number><number>2</number>"
         "</arguments></invoke>\n"
         "flashcall <invoke name=\"quill_eval\" returntype=\"xml\"><arguments><string>[1, 2, 3].length</string>"
         "</arguments></invoke>\n"
         "flashcall <invoke name=\"nosuchfunction\" returntype=\"xml\"><arguments/></invoke>\n"
         "flashcall <invoke name=\"greet\"><arguments><string>unclosed</arguments>\n"
         "quit\n");
    EXPECT_TRUE(scratch.logHas("returned <string>Hello, movie!</string>")) << scratch.logText();
    EXPECT_TRUE(scratch.logHas("returned <number>42</number>")) << scratch.logText();
    EXPECT_TRUE(scratch.logHas("returned <number>3</number>")) << scratch.logText();
    // An unknown function and a malformed request answer the default.
    EXPECT_EQ(scratch.logCount("returned <undefined/>"), 2u) << scratch.logText();
}

TEST_F(BridgeThroughWindowTest, ScriptsCallTheMovieThroughCallFunction) {
    services.resources[L"Init"] = compiled("var got = getScore(\"player one\");\n"
                                           "trace(\"score \" + got);\n");
    play("answer getScore <number>99</number>\n"
         "fscommand Quill_Run Init\n"
         "quit\n");
    EXPECT_TRUE(scratch.logHas("call CallFunction <invoke name=\"getScore\" returntype=\"xml\"><arguments>"
                               "<string>player one</string></arguments></invoke>"))
        << scratch.logText();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), "score 99");
}
