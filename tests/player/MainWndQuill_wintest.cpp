// The main window's script commands carried out by the Quill engine: source,
// compiled resources from the cache, script files, the start-up script's
// answer, and the engine's end on "Quill_Quit".
#include "PlayerSupport.h"

#include "app/shell/FlashHostPrintHook.h"
#include "app/shell/MainWndQuill.h"
#include "app/shell/ShellHostServices.h"
#include "script/Quill.h"

using namespace paloma;
using namespace paloma::shell;
using namespace paloma::testing;

namespace {

class QuillCommandsTest : public MainWindowTest {
protected:
    std::unique_ptr<ShellScripts> makeScripts() override {
        auto owned = std::make_unique<QuillShellScripts>();
        scripts = owned.get();
        scripts->setEngineCreatedHook([this](quill::Engine& engine) {
            ++enginesCreated;
            // Warnings (such as a first read of the counter below) are not
            // what these tests look at.
            quill::setTraceOutput(engine, [this](std::string_view line) {
                if (line.rfind("Warning: ", 0) != 0)
                    trace.emplace_back(line);
            });
        });
        return owned;
    }

    CMainWnd* window() {
        if (!main)
            main = CMainWnd::create(services, L"", 0, screenRect());
        return main;
    }
    ShellScripts::Result command(const wchar_t* name, const std::wstring& args) {
        return window()->dispatchCommand(name, args);
    }

    QuillShellScripts* scripts = nullptr;
    CMainWnd* main = nullptr;
    std::vector<std::string> trace;
    int enginesCreated = 0;
};

} // namespace

TEST_F(QuillCommandsTest, EvalRunsSourceInOneEngineCreatedOnFirstUse) {
    ASSERT_NE(window(), nullptr);
    EXPECT_FALSE(scripts->hasEngine());
    command(L"Quill_Eval", L"var total = 40;");
    EXPECT_TRUE(scripts->hasEngine());
    command(L"quill_eval", L"trace(\"sum \" + (total + 2));");
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "sum 42");
    EXPECT_EQ(enginesCreated, 1);
}

TEST_F(QuillCommandsTest, ErrorsGoToTheTraceAndTheEngineCarriesOn) {
    ASSERT_NE(window(), nullptr);
    EXPECT_EQ(command(L"Quill_Eval", L"var = ;"), ShellScripts::Result::Other);
    ASSERT_FALSE(trace.empty());
    size_t afterSyntax = trace.size();
    command(L"Quill_Eval", L"throw \"boom\";");
    EXPECT_GT(trace.size(), afterSyntax);
    command(L"Quill_Eval", L"trace(\"still here\");");
    EXPECT_EQ(trace.back(), "still here");
}

TEST_F(QuillCommandsTest, CompiledResourceRunsFromTheCacheKeepingItsState) {
    services.resources[L"Counter"] =
        compiled("if (typeof runs == \"undefined\") runs = 0; runs++; trace(\"run \" + runs);");
    ASSERT_NE(window(), nullptr);
    command(L"Quill_Run", L"Counter");
    command(L"Quill_Run", L"COUNTER");
    EXPECT_EQ(services.resourceReads[L"Counter"], 1);
    EXPECT_EQ(services.resourceReads[L"COUNTER"], 0);
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_EQ(trace[0], "run 1");
    EXPECT_EQ(trace[1], "run 2");

    // A new engine starts over with the cached image.
    command(L"Quill_Quit", L"");
    EXPECT_FALSE(scripts->hasEngine());
    command(L"Quill_Run", L"Counter");
    EXPECT_EQ(enginesCreated, 2);
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[2], "run 1");
    EXPECT_EQ(services.resourceReads[L"Counter"], 1);
}

TEST_F(QuillCommandsTest, ABadImageIsReportedNotRun) {
    services.resources[L"Junk"] = {1, 2, 3, 4, 5};
    ASSERT_NE(window(), nullptr);
    EXPECT_EQ(command(L"Quill_Run", L"Junk"), ShellScripts::Result::Other);
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_FALSE(trace[0].empty());
}

TEST_F(QuillCommandsTest, OnlyABooleanFalseResultCounts) {
    services.resources[L"No"] = compiled("false;");
    services.resources[L"Yes"] = compiled("true;");
    services.resources[L"Zero"] = compiled("0;");
    ASSERT_NE(window(), nullptr);
    EXPECT_EQ(command(L"Quill_Run", L"No"), ShellScripts::Result::False);
    EXPECT_EQ(command(L"Quill_Run", L"Yes"), ShellScripts::Result::Other);
    EXPECT_EQ(command(L"Quill_Run", L"Zero"), ShellScripts::Result::Other);
    EXPECT_EQ(command(L"Quill_Eval", L"1 == 2;"), ShellScripts::Result::False);
}

TEST_F(QuillCommandsTest, AStartupScriptAnsweringFalseEndsARunWithoutPlayerQuietly) {
    services.playerPath = (scratch.dir() / L"none.ocx").wstring();
    services.resources[L"Initialize"] = compiled("trace(\"init\"); false;");
    EXPECT_EQ(CMainWnd::create(services, L"", 0, screenRect()), nullptr);
    EXPECT_TRUE(services.messages.empty());
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "init");
}

TEST_F(QuillCommandsTest, ScriptFilesAsSourceOrCompiledImage) {
    ASSERT_NE(window(), nullptr);
    std::wstring source = scratch.writeText(L"hello.qls", "trace(\"from source\");");
    std::vector<uint8_t> image = compiled("trace(\"from image\");");
    std::wstring binary = scratch.write(L"hello.QSC", image);
    // Another name: source, whatever the bytes.
    std::wstring text = scratch.writeText(L"other.txt", "trace(\"from text\");");
    command(L"Quill_File", source);
    command(L"Quill_File", binary);
    command(L"Quill_File", text);
    command(L"Quill_File", (scratch.dir() / L"missing.qls").wstring());
    ASSERT_EQ(trace.size(), 4u);
    EXPECT_EQ(trace[0], "from source");
    EXPECT_EQ(trace[1], "from image");
    EXPECT_EQ(trace[2], "from text");
    EXPECT_NE(trace[3].find("can't open the script file"), std::string::npos);
}

TEST_F(QuillCommandsTest, MovieEventsRunScriptsAndQuitEndsTheEngine) {
    services.resources[L"Hello"] = compiled("trace(\"hello\");");
    CMainWnd* w = window();
    ASSERT_NE(w, nullptr);
    std::wstring movie = scratch.movie(L"m.swf",
                                       "fscommand Quill_Run Hello\n"
                                       "fscommand Quill_Eval trace(\"eval\");\n"
                                       "fscommand Quill_AsynRun Hello\n"
                                       "quit\n");
    ASSERT_TRUE(w->loadMovie(movie));
    LoopResult result = runLoop(6000);
    main = nullptr;
    EXPECT_TRUE(result.quit);
    EXPECT_FALSE(scripts->hasEngine());
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[0], "hello");
    EXPECT_EQ(trace[1], "eval");
    EXPECT_EQ(trace[2], "hello");
    EXPECT_EQ(services.resourceReads[L"Hello"], 1);
}

TEST_F(QuillCommandsTest, FlashPlayerPrintSettingsReachThePrintHookWhileTheEngineLives) {
    ShellHostServices hostServices;
    host::ScopedHostServices installed(hostServices);
    PrintHookState saved = printHookState();
    ASSERT_NE(window(), nullptr);
    command(L"Quill_Eval", L"var p = new Object(); p.orientation = 2; p.copies = 3; p.paperSize = \"A4\";"
                           L"FlashPlayer.printerProperties = p; FlashPlayer.showPrintDlg = false;"
                           L"trace(\"shown \" + FlashPlayer.showPrintDlg + \" \" + FlashPlayer.printerProperties.copies);");
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0], "shown false 3");
    EXPECT_TRUE(printHookState().silent);
    ASSERT_TRUE(printHookState().settings);
    auto settings = printHookState().settings();
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->orientation, 2);
    EXPECT_EQ(settings->copies, 3);
    EXPECT_FALSE(settings->paperSize); // not an Integer
    // Collected values stay: the settings are read at print time.
    command(L"Quill_Eval", L"p = null; p = FlashPlayer.printerProperties; p.copies = 5;");
    EXPECT_EQ(printHookState().settings()->copies, 5);
    // The engine goes: the hook no longer reads from it.
    command(L"Quill_Quit", L"");
    EXPECT_FALSE(scripts->hasEngine());
    EXPECT_FALSE(printHookState().settings);
    printHookState() = saved;
}
