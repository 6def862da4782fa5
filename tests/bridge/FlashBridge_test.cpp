// ExternalInterface requests against a real engine, handles, the
// forwarding functions and `_call`.
#include <gtest/gtest.h>

#include "app/bridge/FlashBridge.h"
#include "app/bridge/XmlValue.h"
#include "base/TextCodec.h"
#include "tests/bridge/WidgetClass.h"

namespace paloma::bridge {
namespace {

using quill::Value;

std::u16string invoke(std::string_view name, std::u16string_view args) {
    return u"<invoke name=\"" + ansiToUtf16(name) + u"\" returntype=\"xml\"><arguments>" + std::u16string(args) +
           u"</arguments></invoke>";
}

std::u16string str(std::string_view s) { return u"<string>" + ansiToUtf16(s) + u"</string>"; }
std::u16string num(int64_t n) { return u"<number>" + ansiToUtf16(std::to_string(n)) + u"</number>"; }

class FlashBridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = quill::createEngine();
        ASSERT_TRUE(engine);
        test::registerWidgetClass(*engine);
        installBridge(*engine, [this](std::u16string_view xml) -> std::optional<std::u16string> {
            sent.emplace_back(xml);
            return movieAnswer;
        });
    }
    void TearDown() override {
        if (engine)
            removeBridge(*engine);
    }
    std::u16string ask(std::string_view name, std::u16string_view args, const BridgeHooks& hooks = {}) {
        return answerFlashCall(*engine, invoke(name, args), hooks);
    }
    void eval(const std::string& source) { ASSERT_TRUE(quill::evalSource(*engine, source)) << engine->errorText; }
    Value global(std::string_view name) { return engine->global(engine->internName(name)); }
    // A new widget's handle, as the movie receives it.
    int64_t newWidget(int64_t value) {
        std::u16string answer = ask("quill_new", str("Widget") + num(value));
        Value v;
        EXPECT_TRUE(readXmlValue(*engine, answer, v)) << utf16ToUtf8(answer);
        EXPECT_TRUE(v.isInteger());
        return v.isInteger() ? v.asInteger() : 0;
    }

    std::unique_ptr<quill::Engine> engine;
    std::vector<std::u16string> sent;
    std::optional<std::u16string> movieAnswer;
};

// ---- requests in general -------------------------------------------------------------

TEST_F(FlashBridgeTest, ScriptGlobalFunctionsAnswerTheirResult) {
    eval("function sum(a, b) { return a + b; }");
    EXPECT_EQ(ask("sum", num(2) + num(40)), u"<number>42</number>");
    eval("function greet(who) { return 'hi <' + who + '>'; }");
    EXPECT_EQ(ask("greet", str("x&y")), u"<string>hi &lt;x&amp;y&gt;</string>");
}

TEST_F(FlashBridgeTest, UnknownNamesAndFailingScriptsAnswerUndefined) {
    EXPECT_EQ(ask("noSuchFunction", num(1)), u"<undefined/>");
    eval("notAFunction = 5; function boom() { throw 'bad'; }");
    EXPECT_EQ(ask("notAFunction", u""), u"<undefined/>");
    EXPECT_EQ(ask("boom", u""), u"<undefined/>");
}

TEST_F(FlashBridgeTest, MalformedRequestsAnswerUndefined) {
    eval("function f() { return 1; }");
    EXPECT_EQ(answerFlashCall(*engine, u""), u"<undefined/>");
    EXPECT_EQ(answerFlashCall(*engine, u"<invoke name=\"f\"><arguments>"), u"<undefined/>");
    EXPECT_EQ(answerFlashCall(*engine, u"<invoke><arguments/></invoke>"), u"<undefined/>");
    EXPECT_EQ(answerFlashCall(*engine, u"<call name=\"f\"><arguments/></call>"), u"<undefined/>");
    EXPECT_EQ(answerFlashCall(*engine, u"<invoke name=\"f\"><arguments/></invoke>"), u"<number>1</number>");
    EXPECT_EQ(answerFlashCall(*engine, u"<INVOKE NAME=\"f\"/>"), u"<number>1</number>");
}

TEST_F(FlashBridgeTest, ArgumentsThatAreNotValuesAreLeftOut) {
    FlashRequest request;
    ASSERT_TRUE(parseFlashRequest(*engine, invoke("g", num(1) + u"<bogus/>" + str("s") + u"<true/>"), request));
    EXPECT_EQ(request.name, "g");
    ASSERT_EQ(request.args.size(), 3u);
    EXPECT_TRUE(request.args[0].isInteger());
    EXPECT_TRUE(request.args[1].isString());
    EXPECT_TRUE(request.args[2].isBoolean());
}

// ---- handles --------------------------------------------------------------------------

TEST_F(FlashBridgeTest, NewCallAndPropertiesWorkThroughAHandle) {
    int64_t handle = newWidget(5);
    ASSERT_NE(engine->findPinned(handle), nullptr);
    EXPECT_EQ(ask("quill_call", num(handle) + str("add") + num(10)), u"<number>15</number>");
    EXPECT_EQ(ask("quill_getprop", num(handle) + str("value")), u"<number>15</number>");
    EXPECT_EQ(ask("quill_setprop", num(handle) + str("value") + num(-3)), u"<undefined/>");
    EXPECT_EQ(ask("quill_getprop", num(handle) + str("value")), u"<number>-3</number>");
    EXPECT_EQ(ask("QUILL_CALL2", num(handle) + str("add") + u"<array><property id=\"0\">" + num(4) +
                                     u"</property></array>"),
              u"<number>1</number>");
}

TEST_F(FlashBridgeTest, DeletingAHandleAnswersTrueThenFalse) {
    int64_t handle = newWidget(1);
    int destroyedBefore = test::gWidgetsDestroyed;
    EXPECT_EQ(ask("quill_delete", num(handle)), u"<true/>");
    EXPECT_EQ(test::gWidgetsDestroyed, destroyedBefore + 1);
    EXPECT_EQ(ask("quill_delete", num(handle)), u"<false/>");
    EXPECT_EQ(ask("quill_delete", num(12345)), u"<false/>");
    EXPECT_EQ(ask("quill_delete", num(0)), u"<false/>");
    EXPECT_EQ(ask("quill_delete", num(-8)), u"<false/>");
    EXPECT_EQ(ask("quill_delete", num(handle + 8)), u"<false/>");
    EXPECT_EQ(ask("quill_delete", str("1")), u"<undefined/>");
    // A stale handle no longer reaches the object.
    EXPECT_EQ(ask("quill_call", num(handle) + str("add") + num(1)), u"<undefined/>");
}

TEST_F(FlashBridgeTest, EveryCrossingPinsANewHandle) {
    eval("w = new Widget(2); function same() { return w; }");
    size_t before = engine->pinnedCount();
    std::u16string a = ask("same", u""), b = ask("same", u"");
    EXPECT_NE(a, b);
    EXPECT_EQ(engine->pinnedCount(), before + 2);
    Value ha, hb;
    ASSERT_TRUE(readXmlValue(*engine, a, ha));
    ASSERT_TRUE(readXmlValue(*engine, b, hb));
    EXPECT_EQ(ask("quill_delete", num(ha.asInteger())), u"<true/>");
    EXPECT_EQ(ask("quill_delete", num(hb.asInteger())), u"<true/>");
    EXPECT_EQ(engine->pinnedCount(), before);
}

TEST_F(FlashBridgeTest, GlobalNamesServeAsObjectReferences) {
    eval("w = new Widget(9); plain = {value: 1};");
    EXPECT_EQ(ask("quill_getprop", str("w") + str("value")), u"<number>9</number>");
    EXPECT_EQ(ask("quill_getprop", str("plain") + str("value")), u"<undefined/>");
    EXPECT_EQ(ask("quill_getprop", str("nothingByThatName") + str("value")), u"<undefined/>");
    EXPECT_EQ(ask("quill_call", str("w") + str("add") + num(1)), u"<number>10</number>");
}

TEST_F(FlashBridgeTest, MissingOrWrongArgumentsAnswerUndefined) {
    int64_t handle = newWidget(1);
    EXPECT_EQ(ask("quill_new", u""), u"<undefined/>");
    EXPECT_EQ(ask("quill_new", num(3)), u"<undefined/>");
    EXPECT_EQ(ask("quill_new", str("NoSuchClass")), u"<undefined/>");
    EXPECT_EQ(ask("quill_call", num(handle)), u"<undefined/>");
    EXPECT_EQ(ask("quill_call", num(handle) + num(5)), u"<undefined/>");
    EXPECT_EQ(ask("quill_call", str("add") + num(handle)), u"<undefined/>");
    EXPECT_EQ(ask("quill_call2", num(handle) + str("add") + num(4)), u"<undefined/>");
    EXPECT_EQ(ask("quill_call2", num(handle) + str("add")), u"<undefined/>");
    EXPECT_EQ(ask("quill_getprop", num(handle)), u"<undefined/>");
    EXPECT_EQ(ask("quill_setprop", num(handle) + str("value")), u"<undefined/>");
    EXPECT_EQ(ask("quill_seh", num(handle) + str("onPing")), u"<undefined/>");
    EXPECT_EQ(ask("quill_eval", num(1)), u"<undefined/>");
    EXPECT_EQ(ask("quill_getprop", num(handle) + str("value")), u"<number>1</number>"); // unchanged
}

TEST_F(FlashBridgeTest, IdentifierObjectsStandForTheirHostObject) {
    int64_t handle = newWidget(1);
    int64_t other = newWidget(2);
    std::u16string wrapped = u"<object><property id=\"Identifier\">" + num(other) + u"</property></object>";
    EXPECT_EQ(ask("quill_call", num(handle) + str("describe") + wrapped), u"<string>widget</string>");
    EXPECT_EQ(ask("quill_call2", num(handle) + str("describe") + u"<array><property id=\"0\">" + wrapped +
                                     u"</property></array>"),
              u"<string>widget</string>");
    ASSERT_EQ(ask("quill_delete", num(other)), u"<true/>");
    EXPECT_EQ(ask("quill_call", num(handle) + str("describe") + wrapped), u"<string>other</string>");
    // Plain global calls get the object as it is.
    eval("function kind(x) { return typeof x; }");
    int64_t third = newWidget(3);
    EXPECT_EQ(ask("kind", u"<object><property id=\"Identifier\">" + num(third) + u"</property></object>"),
              u"<string>object</string>");
}

// ---- FSCommand requests ----------------------------------------------------------------

TEST_F(FlashBridgeTest, EvalAnswersTheResultRegister) {
    EXPECT_EQ(ask("quill_eval", str("6 * 7;")), u"<number>42</number>");
    EXPECT_EQ(ask("quill_eval", str("x = ;")), u"<undefined/>");
}

TEST_F(FlashBridgeTest, RunEvalAndExecGoThroughTheShellHook) {
    std::vector<std::string> seen;
    BridgeHooks hooks;
    hooks.fsCommand = [&](quill::Engine& e, std::string_view command, std::u16string_view argument) {
        seen.push_back(std::string(command) + ":" + utf16ToUtf8(argument));
        e.lastResult = Value::integer(7);
    };
    EXPECT_EQ(ask("quill_run", str("INITIALIZE"), hooks), u"<number>7</number>");
    EXPECT_EQ(ask("Exec", str("notepad.exe"), hooks), u"<number>7</number>");
    EXPECT_EQ(ask("quill_eval", str("1;"), hooks), u"<number>7</number>");
    EXPECT_EQ(ask("exec", u"", hooks), u"<undefined/>");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "quill_run:INITIALIZE");
    EXPECT_EQ(seen[1], "Exec:notepad.exe");
    // Without the hook only evaluation is possible.
    EXPECT_EQ(ask("quill_run", str("INITIALIZE")), u"<undefined/>");
}

// ---- calls to the movie ----------------------------------------------------------------

TEST_F(FlashBridgeTest, CallXmlListsTheArgumentsInOrder) {
    std::vector<Value> args{Value::integer(3), Value::integer(1), quill::newStringFromAnsi(*engine, "a'b"),
                            Value::null()};
    EXPECT_EQ(buildCallXml(*engine, "show", quill::ArgList{args.data()}),
              u"<invoke name=\"show\" returntype=\"xml\"><arguments><number>1</number>"
              u"<string>a&apos;b</string><null/></arguments></invoke>");
}

TEST_F(FlashBridgeTest, ForwardingFunctionsReachTheMovieAndReadItsAnswer) {
    ASSERT_TRUE(registerForwardingFunction(*engine, "movieAdd"));
    EXPECT_FALSE(registerForwardingFunction(*engine, ""));
    movieAnswer = u"<number>99</number>";
    eval("r = movieAdd(1, 'two');");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], u"<invoke name=\"movieAdd\" returntype=\"xml\"><arguments><number>1</number>"
                       u"<string>two</string></arguments></invoke>");
    Value r = global("r");
    ASSERT_TRUE(r.isInteger());
    EXPECT_EQ(r.asInteger(), 99);
    movieAnswer = u"<object><property id=\"k\"><string>v</string></property></object>";
    eval("r = movieAdd().k;");
    EXPECT_EQ(quill::valueToText(*engine, global("r")), "v");
    movieAnswer.reset();
    eval("r = movieAdd();");
    EXPECT_TRUE(global("r").isUndefined());
    movieAnswer = u"<notAValue/>";
    eval("r = movieAdd();");
    EXPECT_TRUE(global("r").isUndefined());
    removeBridge(*engine);
    eval("r = movieAdd();");
    EXPECT_TRUE(global("r").isUndefined());
    EXPECT_EQ(sent.size(), 4u); // no transport, no call
}

TEST_F(FlashBridgeTest, UnderscoreCallPassesTheListOn) {
    eval("function join3(a, b, c) { return a + '-' + b + '-' + c; }"
         "function viaArgs() { return _call('join3', arguments); }"
         "r1 = viaArgs('x', 'y', 'z');"
         "o = {length: 2, 0: 'p', 1: 'q'};"
         "r2 = _call('join3', o); e2 = o[0] + '-' + o[1] + '-' + undefined;"
         "r3 = _call('join3');"
         "r4 = _call(5, {length: 0});"
         "r5 = _call('join3', {0: 'p'});");
    EXPECT_EQ(quill::valueToText(*engine, global("r1")), "x-y-z");
    EXPECT_EQ(quill::valueToText(*engine, global("r2")), quill::valueToText(*engine, global("e2")));
    EXPECT_NE(quill::valueToText(*engine, global("r2")), "undefined-undefined-undefined");
    EXPECT_TRUE(global("r3").isUndefined());
    EXPECT_TRUE(global("r4").isUndefined());
    EXPECT_TRUE(global("r5").isUndefined());
}

TEST_F(FlashBridgeTest, EventHandlersCallBackIntoTheMovie) {
    int64_t handle = newWidget(1);
    EXPECT_EQ(ask("quill_seh", num(handle) + str("onPing") + str("moviePing")), u"<undefined/>");
    movieAnswer = u"<string>pong</string>";
    EXPECT_EQ(ask("quill_call", num(handle) + str("fire") + num(8) + str("s")), u"<string>pong</string>");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], u"<invoke name=\"moviePing\" returntype=\"xml\"><arguments><number>8</number>"
                       u"<string>s</string></arguments></invoke>");
    // The handler is an ordinary script global named after the reference.
    char name[64];
    std::snprintf(name, sizeof name, "f%u_onPing", static_cast<unsigned>(static_cast<uint64_t>(handle) & 0xFFFFFFFFu));
    EXPECT_TRUE(global(name).isFunction());
}

TEST_F(FlashBridgeTest, EventHandlersWorkForObjectsNamedByGlobal) {
    eval("w = new Widget(0);");
    EXPECT_EQ(ask("quill_seh", str("w") + str("onPing") + str("byName")), u"<undefined/>");
    movieAnswer = u"<true/>";
    eval("r = w.fire();");
    EXPECT_TRUE(global("r").isBoolean() && global("r").asBoolean());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], u"<invoke name=\"byName\" returntype=\"xml\"><arguments></arguments></invoke>");
}

TEST_F(FlashBridgeTest, EventHandlerNamesCannotRewriteTheHandlerSource) {
    eval("w = new Widget(0); hit = 0;");
    size_t symbols = engine->symbolCount();
    EXPECT_EQ(ask("quill_seh", str("w") + str("onPing") + str("x', 0); hit = 1; ('")), u"<undefined/>");
    EXPECT_EQ(ask("quill_seh", str("w") + str("on(){} hit = 2; function g") + str("movie")), u"<undefined/>");
    EXPECT_EQ(ask("quill_seh", str("w") + str("") + str("movie")), u"<undefined/>");
    EXPECT_EQ(global("hit").asInteger(), 0);
    EXPECT_EQ(engine->symbolCount(), symbols + 0u); // nothing was compiled
    eval("r = w.fire();");
    EXPECT_TRUE(sent.empty());
}

} // namespace
} // namespace paloma::bridge
