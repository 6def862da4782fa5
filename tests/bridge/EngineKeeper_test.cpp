// The shell's engine lifetime: "Quill_Quit" arriving while a script runs
// (from inside a call to the movie, or from a loop the script runs) leaves
// the engine alive until the outermost call has returned, and a destroyed
// engine is no longer known to the bridge.
#include <gtest/gtest.h>

#include "app/bridge/EngineKeeper.h"
#include "app/bridge/FlashBridge.h"

namespace paloma::bridge {
namespace {

using quill::Value;

class EngineKeeperTest : public ::testing::Test {
protected:
    // Every engine gets the bridge; its movie answers CallFunction after
    // running `duringCall` (what the movie does inside the call).
    EngineKeeper keeper{[this] {
        std::unique_ptr<quill::Engine> engine = quill::createEngine();
        installBridge(*engine, [this](std::u16string_view) -> std::optional<std::u16string> {
            if (duringCall)
                duringCall();
            return u"<number>41</number>";
        });
        registerForwardingFunction(*engine, "movieFunction");
        return engine;
    }};
    std::function<void()> duringCall;

    Value global(quill::Engine& e, std::string_view name) { return e.global(e.internName(name)); }
};

TEST_F(EngineKeeperTest, QuitFromInsideACallToTheMovieWaitsForTheOutermostReturn) {
    const quill::Engine* first = nullptr;
    {
        EngineKeeper::Use outer(keeper);
        ASSERT_NE(outer.engine(), nullptr);
        first = outer.engine();
        EXPECT_TRUE(bridgeInstalled(first));
        // The movie quits the engine from inside the call, while the script
        // that made it is still running; a nested request runs meanwhile.
        duringCall = [&] {
            EngineKeeper::Use nested(keeper);
            EXPECT_EQ(nested.engine(), first);
            EXPECT_TRUE(quill::evalSource(*nested.engine(), "var nestedRan = true;"));
            keeper.destroy();
            EXPECT_TRUE(keeper.destroyPending());
        };
        ASSERT_TRUE(quill::evalSource(*outer.engine(),
                                      "var answer = movieFunction('x');\n"
                                      "var parts = [];\n"
                                      "for (var i = 0; i < 2000; i++) parts.push('item ' + i);\n"
                                      "var after = answer + 1;\n"))
            << outer.engine()->errorText;
        // Still the same, intact engine after the call returned.
        EXPECT_EQ(keeper.engine(), first);
        EXPECT_EQ(global(*outer.engine(), "after").asInteger(), 42);
        EXPECT_TRUE(global(*outer.engine(), "nestedRan").isBoolean());
        EXPECT_TRUE(bridgeInstalled(first));
    }
    // Gone once the outermost call returned, and out of the bridge.
    EXPECT_EQ(keeper.engine(), nullptr);
    EXPECT_FALSE(keeper.destroyPending());
    EXPECT_FALSE(bridgeInstalled(first));

    // The next call gets a fresh engine with nothing of the old one.
    EngineKeeper::Use next(keeper);
    ASSERT_NE(next.engine(), nullptr);
    EXPECT_EQ(keeper.generation(), 2u);
    EXPECT_TRUE(global(*next.engine(), "after").isUndefined());
    EXPECT_TRUE(bridgeInstalled(next.engine()));
}

// A native function stands for a loop that a script runs (a host method
// pumping messages): the quit arrives through it.
EngineKeeper* gKeeper = nullptr;

void quitFromLoop(quill::Engine&, quill::NativeClass*, void*, Value& result, quill::ArgList) {
    gKeeper->destroy();
    result = Value::boolean(true);
}

TEST_F(EngineKeeperTest, QuitFromALoopTheScriptRunsAndDestroyWhenIdle) {
    {
        EngineKeeper::Use use(keeper);
        gKeeper = &keeper;
        quill::defineGlobalFunction(*use.engine(), "processMessages", quitFromLoop);
        ASSERT_TRUE(quill::evalSource(*use.engine(),
                                      "var seen = processMessages();\n"
                                      "var text = ''; for (var i = 0; i < 500; i++) text += i;\n"
                                      "var done = text.length > 0 && seen;\n"))
            << use.engine()->errorText;
        EXPECT_TRUE(global(*use.engine(), "done").asBoolean());
        EXPECT_NE(keeper.engine(), nullptr);
        gKeeper = nullptr;
    }
    EXPECT_EQ(keeper.engine(), nullptr);

    // With no script running, destroy is immediate.
    const quill::Engine* engine = nullptr;
    {
        EngineKeeper::Use use(keeper);
        engine = use.engine();
    }
    ASSERT_NE(keeper.engine(), nullptr);
    keeper.destroy();
    EXPECT_EQ(keeper.engine(), nullptr);
    EXPECT_FALSE(bridgeInstalled(engine));
}

} // namespace
} // namespace paloma::bridge
