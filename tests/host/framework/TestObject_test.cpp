// Host objects as scripts see them, through the TestObject class: creation,
// members and argument rules, events, close, own fields, collection.
#include "HostFixture.h"

#include "host/framework/Arguments.h"

using namespace paloma::host::test;
using quill::Value;

TEST_F(HostTest, NewAndCallBothMakeInstances) {
    int before = liveTestObjects();
    run(R"(
        a = new TestObject("alpha");
        b = TestObject("beta");
        c = new TestObject();
        d = new TestObject(5);
        na = a.name; nb = b.name; nc = c.name;
        ta = a.toString();
        tc = "" + c;
    )");
    EXPECT_EQ(liveTestObjects(), before + 3);
    EXPECT_TRUE(quill::isInstanceOf(global("a"), *engine, "TestObject"));
    EXPECT_TRUE(quill::isInstanceOf(global("b"), *engine, "TestObject")) << "a call without new constructs";
    EXPECT_EQ(text("na"), "alpha");
    EXPECT_EQ(text("nb"), "beta");
    EXPECT_EQ(text("nc"), "") << "the name is optional";
    EXPECT_TRUE(global("d").isNull()) << "a name that is not a String makes nothing";
    EXPECT_EQ(text("ta"), "[object TestObject]");
    EXPECT_EQ(text("tc"), "[object TestObject]");
}

TEST_F(HostTest, MethodsOnTheBareClassObjectAreNotHandled) {
    run(R"(
        r = TestObject.read();
        s = TestObject.add(1, 2);
        t = TestObject.toString();
        n = TestObject.name;
    )");
    EXPECT_TRUE(traced("Warning: unknown method \"read\""));
    EXPECT_TRUE(traced("Warning: unknown method \"add\""));
    EXPECT_TRUE(traced("Warning: using undefined property \"name\""));
    EXPECT_TRUE(global("r").isUndefined());
    EXPECT_TRUE(global("s").isUndefined());
    EXPECT_EQ(text("t"), "[object TestObject]");
    EXPECT_TRUE(global("n").isUndefined());
}

TEST_F(HostTest, UnknownMethodOfAnInstanceWarns) {
    run(R"( a = new TestObject("x"); r = a.frobnicate(1); )");
    EXPECT_TRUE(traced("Warning: unknown method \"frobnicate\""));
    EXPECT_TRUE(global("r").isUndefined());
}

TEST_F(HostTest, AddTakesNumbersByTheArgumentRules) {
    run(R"(
        a = new TestObject("x");
        r1 = a.add(2, 3);
        r2 = a.add(2.9, -1.9);
        r3 = a.add("2", 3);
        r4 = a.add(1);
        r5 = a.add(true, 1);
        r6 = a.add(1e300, 1);
        big = 4611686018427387904;
        big = big + (big - 1);
        r7 = a.add(big, 1);
    )");
    EXPECT_EQ(integer("r1"), 5);
    EXPECT_EQ(integer("r2"), 1) << "Floats are truncated toward zero: 2 + -1";
    EXPECT_TRUE(global("r3").isUndefined()) << "a String is no number";
    EXPECT_TRUE(global("r4").isUndefined()) << "too few arguments";
    EXPECT_TRUE(global("r5").isUndefined()) << "a Boolean is no number";
    EXPECT_TRUE(global("r6").isUndefined()) << "a Float beyond 64 bits is no number";
    EXPECT_EQ(integer("r7"), INT64_MIN) << "the sum wraps as the engine's own integer sums do";
    EXPECT_TRUE(trace.empty()) << "handled members warn about nothing";
}

TEST_F(HostTest, PropertiesReadAndWrite) {
    run(R"(
        a = new TestObject("named");
        v0 = a.value;
        a.value = 12;     v1 = a.value;
        a.value = -7.8;   v2 = a.value;
        a.value = "33";   v3 = a.value;
        a.value = null;   v4 = a.value;
        a.name = "other"; n = a.name;
    )");
    EXPECT_EQ(integer("v0"), 0);
    EXPECT_EQ(integer("v1"), 12);
    EXPECT_EQ(integer("v2"), -7);
    EXPECT_EQ(integer("v3"), -7) << "a String write is ignored";
    EXPECT_EQ(integer("v4"), -7) << "a null write is ignored";
    EXPECT_EQ(text("n"), "named") << "name is read-only";
}

TEST_F(HostTest, ScriptsKeepTheirOwnFieldsOnHostObjects) {
    run(R"(
        a = new TestObject("a");
        b = new TestObject("b");
        a.tag = "mine";
        a.greet = function() { return "hi " + this.name; };
        g = a.greet();
        ta = a.tag;
        tb = b.tag;
        TestObject.shared = 5;
        sa = a.shared; sb = b.shared;
        ownProto = typeof a.__proto__;
        classShared = TestObject.__proto__.shared;
        protoShared = a.__proto__.shared;
        a.__proto__ = { fromProto: 8 };
        p = a.fromProto;
        q = b.fromProto;
    )");
    EXPECT_EQ(text("ta"), "mine");
    EXPECT_TRUE(global("tb").isUndefined()) << "fields belong to one instance";
    EXPECT_EQ(text("g"), "hi a") << "a function field is called as a method with the object as this";
    EXPECT_EQ(integer("sa"), 5) << "fields of the class object land in the class prototype";
    EXPECT_EQ(integer("sb"), 5);
    EXPECT_EQ(text("ownProto"), "object") << "__proto__ of an instance is its own property object";
    EXPECT_EQ(integer("classShared"), 5) << "__proto__ of the class object is the class prototype";
    EXPECT_EQ(integer("protoShared"), 5) << "the own property object links to the class prototype";
    EXPECT_EQ(integer("p"), 8) << "__proto__ relinks the own property object";
    EXPECT_TRUE(global("q").isUndefined());
}

TEST_F(HostTest, EventPropertyTakesOnlyFunctions) {
    run(R"(
        a = new TestObject("a");
        unset = typeof a.onPing;
        f = function(n, t) { return 1; };
        a.onPing = f;
        a.onPing = "not a function";
        a.onPing = 17;
        a.onPing = null;
        kept = a.onPing == f;
        r = a.ping("t");
    )");
    EXPECT_EQ(text("unset"), "undefined");
    EXPECT_TRUE(global("kept").isBoolean() && global("kept").asBoolean()) << "the first handler stays";
    EXPECT_EQ(integer("r"), 1);
}

TEST_F(HostTest, PingFiresTheHandlerWithTheObjectAsThis) {
    run(R"(
        a = new TestObject("alpha");
        a.value = 3;
        a.onPing = function(n, t) {
            got = n + "|" + t + "|" + (this == a) + "|" + this.value + "|" + arguments.length;
            return "answer";
        };
        r = a.ping("hello");
        b = new TestObject("beta");
        none = b.ping("x");
        wrong = a.ping(5);
        few = a.ping();
    )");
    EXPECT_EQ(text("got"), "alpha|hello|true|3|2");
    EXPECT_EQ(text("r"), "answer") << "the handler's result";
    EXPECT_TRUE(global("none").isNull()) << "no handler: null";
    EXPECT_TRUE(global("wrong").isUndefined()) << "a number is no string argument";
    EXPECT_TRUE(global("few").isUndefined());
}

TEST_F(HostTest, PingWithoutNumberConversionDoesNotFire) {
    run(R"(
        a = new TestObject("a");
        fired = 0;
        a.onPing = function(n, t) { fired = fired + 1; };
        a.ping(42);
        a.ping(null);
        a.ping("yes");
    )");
    EXPECT_EQ(integer("fired"), 1);
}

TEST_F(HostTest, FailingHandlerLeavesErrorTextAndTheScriptGoesOn) {
    run(R"(
        a = new TestObject("a");
        a.onPing = function(n, t) { throw "boom " + t; };
        r = a.ping("x");
        after = a.add(1, 1);
    )");
    EXPECT_TRUE(global("r").isNull()) << "a failed handler gives null";
    EXPECT_EQ(integer("after"), 2) << "the object still works";
    EXPECT_STREQ(engine->errorText, "boom x");

    run(R"(
        function deep(n) { return deep(n + 1); }
        a.onPing = function(n, t) { return deep(0); };
        r = a.ping("y");
        after = a.add(2, 2);
    )");
    EXPECT_TRUE(global("r").isNull());
    EXPECT_EQ(integer("after"), 4);
    EXPECT_STREQ(engine->errorText, "Runtime error: stack overflow");
}

TEST_F(HostTest, HandlerCaughtInsideTheHandlerIsNoFailure) {
    run(R"(
        a = new TestObject("a");
        a.onPing = function(n, t) { try { throw "inner"; } catch (e) { return "caught " + e; } };
        r = a.ping("x");
    )");
    EXPECT_EQ(text("r"), "caught inner");
}

TEST_F(HostTest, CloseReleasesOnceAndEveryMemberFailsAfterwards) {
    run(R"( a = new TestObject("a"); a.value = 9; a.onPing = function() { return 1; }; a.tag = "kept"; )");
    int open = liveTestObjects();
    run(R"(
        first = a.close();
        second = a.close();
        add = a.add(1, 2);
        ping = a.ping("x");
        name = a.name;
        value = a.value;
        handler = a.onPing;
        a.value = 5;
        value2 = a.value;
        text = a.toString();
        tag = a.tag;
    )");
    EXPECT_EQ(liveTestObjects(), open - 1) << "close released the object";
    auto isFalse = [&](const char* name) {
        Value v = global(name);
        return v.isBoolean() && !v.asBoolean();
    };
    EXPECT_TRUE(global("first").isBoolean() && global("first").asBoolean());
    EXPECT_TRUE(isFalse("second")) << "already closed";
    EXPECT_TRUE(isFalse("add"));
    EXPECT_TRUE(isFalse("ping"));
    EXPECT_TRUE(global("name").isUndefined());
    EXPECT_TRUE(global("value").isUndefined());
    EXPECT_TRUE(global("handler").isUndefined());
    EXPECT_TRUE(global("value2").isUndefined()) << "a write after close is not kept anywhere";
    EXPECT_EQ(text("text"), "[object TestObject]");
    EXPECT_EQ(text("tag"), "kept") << "the script object lives on";
    engine->collectGarbage();
    run("a = null;");
    engine->collectGarbage();
    EXPECT_EQ(liveTestObjects(), open - 1) << "collection does not release a closed object again";
}

TEST_F(HostTest, HandlerMayCloseOrDropItsOwnObject) {
    run(R"(
        a = new TestObject("a");
        a.onPing = function(n, t) { this.close(); return "closed in handler"; };
        r = a.ping("x");
        after = a.add(1, 2);

        g = new TestObject("g");
        g.onPing = function(n, t) { delete g; return n; };
        r2 = g.ping("x");
    )");
    EXPECT_EQ(text("r"), "closed in handler");
    EXPECT_TRUE(global("after").isBoolean() && !global("after").asBoolean());
    EXPECT_EQ(text("r2"), "g");
    EXPECT_TRUE(global("g").isUndefined());
}

TEST_F(HostTest, HandlerSurvivesCollections) {
    int before = liveTestObjects();
    run(R"(
        keep = new TestObject("kept");
        keep.onPing = function(n, t) { return "seen " + t + " by " + this.name; };
        new TestObject("dropped").onPing = function() { return 0; };
        done = true;
    )");
    EXPECT_EQ(liveTestObjects(), before + 1) << "the run's closing collection took the unreachable object";
    engine->collectGarbage();
    // Reuse the freed memory, then call the handler that only the object holds.
    run(R"(
        junk = new Array();
        for (var i = 0; i < 2000; i++) {
            var o = new Object();
            o.n = i;
            o.s = "filler " + i;
            o.f = function() { return 1; };
            junk[i] = o;
        }
        junk = null;
    )");
    engine->collectGarbage();
    engine->collectGarbage();
    run(R"( r = keep.ping("x"); )");
    EXPECT_EQ(text("r"), "seen x by kept");
    EXPECT_EQ(liveTestObjects(), before + 1);
}

TEST_F(HostTest, HandlerHeldOnlyByTheObjectSurvives) {
    run(R"(
        keep = new TestObject("kept");
        keep.onPing = function(n, t) { return "still here: " + t; };
        h = keep.onPing;
    )");
    // Function literals are also bound to hidden globals; drop every global
    // that holds the handler so that only the object keeps it.
    Value handler = global("h");
    ASSERT_TRUE(handler.isFunction());
    int dropped = 0;
    for (Value& g : engine->globals)
        if (g.sameAs(handler)) {
            g = Value::undefined();
            ++dropped;
        }
    EXPECT_GE(dropped, 1);
    engine->lastResult = Value::undefined();
    engine->collectGarbage();
    run(R"(
        junk = new Array();
        for (var i = 0; i < 3000; i++) { var o = new Object(); o.s = "filler " + i; o.n = i; junk[i] = o; }
        junk = null;
    )");
    engine->collectGarbage();
    run(R"( r = keep.ping("x"); again = typeof keep.onPing; )");
    EXPECT_EQ(text("r"), "still here: x");
    EXPECT_EQ(text("again"), "function");
}

TEST_F(HostTest, CollectionDuringTheHandlerKeepsEverything) {
    run(R"(
        a = new TestObject("busy");
        a.onPing = function(n, t) {
            var s;
            for (var i = 0; i < 60000; i++) s = "garbage garbage garbage " + i;
            return n + " " + t + " " + this.name;
        };
        r1 = a.ping("one");
        r2 = a.ping("two");
    )");
    EXPECT_EQ(text("r1"), "busy one busy");
    EXPECT_EQ(text("r2"), "busy two busy");
}

TEST_F(HostTest, ConstantsAndGlobalFunctions) {
    run(R"(
        answer = $TEST_ANSWER;
        e1 = testHostEcho("echo");
        e2 = testHostEcho();
        a = new TestObject("a");
        same = testHostEcho(a) == a;
        t = typeof testHostEcho;
    )");
    EXPECT_EQ(integer("answer"), 42);
    EXPECT_EQ(text("e1"), "echo");
    EXPECT_TRUE(global("e2").isUndefined());
    EXPECT_TRUE(global("same").isBoolean() && global("same").asBoolean());
    EXPECT_EQ(text("t"), "object");
}

TEST_F(HostTest, InstanceTestFollowsTheGlobal) {
    run(R"( a = new TestObject("a"); )");
    Value a = global("a");
    EXPECT_TRUE(quill::isInstanceOf(a, *engine, "TestObject"));
    EXPECT_NE(paloma::host::instanceData(a, *engine, "TestObject"), nullptr);
    EXPECT_EQ(paloma::host::instanceData(global("TestObject"), *engine, "TestObject"), nullptr)
        << "the class object has no data";
    run(R"( TestObject = 1; )");
    EXPECT_FALSE(quill::isInstanceOf(global("a"), *engine, "TestObject"));
    EXPECT_EQ(paloma::host::instanceData(global("a"), *engine, "TestObject"), nullptr);
    run(R"( n = a.name; )");
    EXPECT_EQ(text("n"), "a") << "the instance itself still works";
}

TEST_F(HostTest, UnpinningReleasesTheObjectAtOnce) {
    run(R"( a = new TestObject("pinned"); )");
    int open = liveTestObjects();
    quill::PinnedValue* pinned = engine->pin(global("a"));
    engine->collectGarbage();
    EXPECT_EQ(liveTestObjects(), open);
    EXPECT_TRUE(engine->unpin(pinned));
    EXPECT_EQ(liveTestObjects(), open - 1) << "destroyData ran when the handle was unpinned";
    run(R"( r = a.add(1, 2); t = a.toString(); )");
    EXPECT_TRUE(global("r").isUndefined()) << "no native data left: the member is not handled";
    EXPECT_TRUE(traced("Warning: unknown method \"add\""));
    EXPECT_EQ(text("t"), "[object TestObject]");
    engine->collectGarbage();
    run("a = null;");
    engine->collectGarbage();
    EXPECT_EQ(liveTestObjects(), open - 1);
}

TEST(TestObjectLife, EngineTeardownReleasesWhatIsOpen) {
    int before = liveTestObjects();
    {
        auto engine = quill::createEngine(paloma::host::hostEngineOptions());
        ASSERT_NE(engine, nullptr);
        registerTestHostClass(*engine);
        ASSERT_TRUE(quill::evalSource(*engine, R"(
            a = new TestObject("a");
            b = new TestObject("b");
            b.close();
            a.onPing = function(n, t) { return t; };
        )")) << engine->errorText;
        EXPECT_EQ(liveTestObjects(), before + 1);
    }
    EXPECT_EQ(liveTestObjects(), before);
}
