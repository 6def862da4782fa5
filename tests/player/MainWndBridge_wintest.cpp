// The movie and the shell's engine calling each other through the main
// window: ExternalInterface requests answered into SetReturnValue, and
// forwarding functions reaching CallFunction.
#include "PlayerSupport.h"

#include "app/bridge/FlashBridge.h"
#include "app/shell/MainWndBridge.h"
#include "app/shell/MainWndQuill.h"
#include "script/Quill.h"
#include "tests/hostclass/TestHostClass.h"

#include <algorithm>

using namespace paloma;
using namespace paloma::shell;
using namespace paloma::testing;

namespace {

class BridgeThroughWindowTest : public MainWindowTest {
protected:
    std::unique_ptr<ShellScripts> makeScripts() override {
        auto owned = std::make_unique<QuillShellScripts>();
        connectBridge(*owned, [this](quill::Engine& engine) {
            engines.push_back(&engine);
            registerTestHostClass(engine);
            bridge::registerForwardingFunction(engine, "getScore");
            bridge::registerForwardingFunction(engine, "waitForMovie");
            quill::setTraceOutput(engine, [this](std::string_view line) { trace.emplace_back(line); });
        });
        return owned;
    }

    // Loads a movie whose event script is `events` and runs until it quits.
    void play(const std::string& events) {
        CMainWnd* w = CMainWnd::create(services, L"", 0, screenRect());
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(w->loadMovie(scratch.movie(L"bridge.swf", events)));
        EXPECT_TRUE(runLoop(8000).quit);
    }

    std::vector<std::string> trace;
    std::vector<const quill::Engine*> engines; // every engine made, in order
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
         "fscommand Quill_Quit\n"
         "flashcall <invoke name=\"quill_eval\" returntype=\"xml\"><arguments><string>typeof greet</string>"
         "</arguments></invoke>\n"
         "quit\n");
    EXPECT_TRUE(scratch.logHas("returned <string>Hello, movie!</string>")) << scratch.logText();
    EXPECT_TRUE(scratch.logHas("returned <number>42</number>")) << scratch.logText();
    EXPECT_TRUE(scratch.logHas("returned <number>3</number>")) << scratch.logText();
    // An unknown function and a malformed request answer the default.
    EXPECT_EQ(scratch.logCount("returned <undefined/>"), 2u) << scratch.logText();
    // After Quill_Quit a request gets a fresh engine.
    EXPECT_TRUE(scratch.logHas("returned <string>undefined</string>")) << scratch.logText();
}

TEST_F(BridgeThroughWindowTest, ScriptsCallTheMovieThroughCallFunction) {
    services.resources[L"Init"] = compiled("Application.registerASMethods(\"getLevel\", 5, \"\");\n"
                                           "var got = getScore(\"player one\") + getLevel(2);\n"
                                           "trace(\"score \" + got);\n");
    play("answer getScore <number>99</number>\n"
         "answer getLevel <number>7</number>\n"
         "fscommand Quill_Run Init\n"
         "quit\n");
    EXPECT_TRUE(scratch.logHas("call CallFunction <invoke name=\"getLevel\" returntype=\"xml\"><arguments>"
                               "<number>2</number></arguments></invoke>"))
        << scratch.logText();
    EXPECT_TRUE(scratch.logHas("call CallFunction <invoke name=\"getScore\" returntype=\"xml\"><arguments>"
                               "<string>player one</string></arguments></invoke>"))
        << scratch.logText();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), "score 106");
}

// The movie drives a host object through handles: create, call, properties,
// an event handler that calls back into the movie, and deletion.
TEST_F(BridgeThroughWindowTest, MovieDrivesHostObjectsThroughHandles) {
    play("answer moviePing <string>pong from the movie</string>\n"
         "flashcall <invoke name=\"quill_new\" returntype=\"xml\"><arguments><string>TestObject</string>"
         "<string>alpha</string></arguments></invoke>\n"
         "keep h\n"
         "flashcall <invoke name=\"quill_call\" returntype=\"xml\"><arguments><number>{h}</number>"
         "<string>add</string><number>40</number><number>2</number></arguments></invoke>\n"
         "flashcall <invoke name=\"quill_setprop\" returntype=\"xml\"><arguments><number>{h}</number>"
         "<string>value</string><number>7</number></arguments></invoke>\n"
         "flashcall <invoke name=\"quill_getprop\" returntype=\"xml\"><arguments><number>{h}</number>"
         "<string>value</string></arguments></invoke>\n"
         "flashcall <invoke name=\"quill_getprop\" returntype=\"xml\"><arguments><number>{h}</number>"
         "<string>name</string></arguments></invoke>\n"
         "flashcall <invoke name=\"quill_call2\" returntype=\"xml\"><arguments><number>{h}</number>"
         "<string>add</string><array><property id=\"0\"><number>5</number></property>"
         "<property id=\"1\"><number>6</number></property></array></arguments></invoke>\n"
         "flashcall <invoke name=\"quill_seh\" returntype=\"xml\"><arguments><number>{h}</number>"
         "<string>onPing</string><string>moviePing</string></arguments></invoke>\n"
         "flashcall <invoke name=\"quill_call\" returntype=\"xml\"><arguments><number>{h}</number>"
         "<string>ping</string><string>hi</string></arguments></invoke>\n"
         "flashcall <invoke name=\"quill_delete\" returntype=\"xml\"><arguments><number>{h}</number>"
         "</arguments></invoke>\n"
         "flashcall <invoke name=\"quill_delete\" returntype=\"xml\"><arguments><number>{h}</number>"
         "</arguments></invoke>\n"
         "flashcall <invoke name=\"quill_delete\" returntype=\"xml\"><arguments><number>12345</number>"
         "</arguments></invoke>\n"
         "quit\n");
    std::string log = scratch.logText();
    // The handle is a number the movie keeps and passes back.
    size_t kept = log.find("keep h ");
    ASSERT_NE(kept, std::string::npos) << log;
    std::string handle = log.substr(kept + 7, log.find('\n', kept) - kept - 7);
    ASSERT_FALSE(handle.empty());
    EXPECT_EQ(handle.find_first_not_of("0123456789"), std::string::npos) << handle;

    EXPECT_TRUE(scratch.logHas("returned <number>42</number>")) << log;
    EXPECT_TRUE(scratch.logHas("returned <number>7</number>")) << log;
    EXPECT_TRUE(scratch.logHas("returned <string>alpha</string>")) << log;
    EXPECT_TRUE(scratch.logHas("returned <number>11</number>")) << log;
    // The handler set by quill_seh forwards the event to the movie function,
    // whose answer becomes ping's result.
    EXPECT_TRUE(scratch.logHas("call CallFunction <invoke name=\"moviePing\" returntype=\"xml\"><arguments>"
                               "<string>alpha</string><string>hi</string></arguments></invoke>"))
        << log;
    EXPECT_TRUE(scratch.logHas("returned <string>pong from the movie</string>")) << log;
    // The first delete of the handle succeeds, the second and one of a
    // handle never issued do not.
    size_t firstDelete = log.find("returned <true/>");
    ASSERT_NE(firstDelete, std::string::npos) << log;
    EXPECT_EQ(scratch.logCount("returned <true/>"), 1u) << log;
    EXPECT_EQ(scratch.logCount("returned <false/>"), 2u) << log;
    EXPECT_GT(log.find("returned <false/>"), firstDelete);
}

// "Quill_Quit" while the script that called the movie still runs: fired by
// the movie from inside CallFunction, and from a message loop that runs while
// the script waits for the movie. The engine lives on until the script has
// returned, then it is gone, out of the bridge too.
TEST_F(BridgeThroughWindowTest, QuitWhileAScriptRunsTakesEffectWhenItReturns) {
    services.resources[L"Init"] = compiled("var got = getScore('first');\n"
                                           "var parts = [];\n"
                                           "for (var i = 0; i < 2000; i++) parts.push('part ' + i);\n"
                                           "trace('after call ' + got + ' ' + parts.length);\n"
                                           "var level = waitForMovie();\n"
                                           "for (var j = 0; j < 2000; j++) parts.push('more ' + j);\n"
                                           "trace('after loop ' + level + ' ' + parts.length);\n");
    play("answer getScore <number>99</number>\n"
         "oncall getScore fscommand Quill_Quit\n"
         "answer waitForMovie <number>7</number>\n"
         "oncall waitForMovie wait 400\n"
         "fscommand Quill_Run Init\n"
         "fscommand Quill_Quit\n"
         "wait 600\n"
         "flashcall <invoke name=\"quill_eval\" returntype=\"xml\"><arguments><string>typeof got</string>"
         "</arguments></invoke>\n"
         "quit\n");
    std::string log = scratch.logText();
    EXPECT_TRUE(scratch.logHas("fire FSCommand Quill_Quit ")) << log;
    EXPECT_TRUE(scratch.logHas("loop 400")) << log;
    // The timed Quill_Quit fired inside the loop, before the script went on.
    EXPECT_LT(log.find("fire FSCommand Quill_Quit \n", log.find("loop 400")), log.find("answer <number>7</number>"))
        << log;
    auto traced = [&](const std::string& line) { return std::find(trace.begin(), trace.end(), line) != trace.end(); };
    EXPECT_TRUE(traced("after call 99 2000"));
    EXPECT_TRUE(traced("after loop 7 4000"));
    // The script's engine was destroyed when it returned; the request after
    // it ran in a new engine, and the old one is no longer in the bridge.
    EXPECT_TRUE(scratch.logHas("returned <string>undefined</string>")) << log;
    ASSERT_EQ(engines.size(), 2u);
    EXPECT_FALSE(bridge::bridgeInstalled(engines[0]));
}
