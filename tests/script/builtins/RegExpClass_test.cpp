// The RegExp class and the RegExp forms of the String methods.
#include "ClassHarness.h"

#include "script/values/Object.h"
#include "script/values/Property.h"

using namespace quill;
using namespace quill::test;

namespace {

Value regexp(ClassHarness& h, std::u16string_view pattern, std::u16string_view flags = u"") {
    return h.construct("RegExp", {h.str(pattern), h.str(flags)});
}

} // namespace

TEST(RegExpClass, ConstructionAndInstanceProperties) {
    ClassHarness h;
    Value re = regexp(h, u"a+b", u"gmxi");
    ASSERT_TRUE(re.isNative());
    EXPECT_EQ(h.text(h.call(re, "toString")), u"/a+b/gim");
    EXPECT_TRUE(h.get(re, "global").asBoolean());
    EXPECT_TRUE(h.get(re, "ignoreCase").asBoolean());
    EXPECT_TRUE(h.get(re, "multiline").asBoolean());
    EXPECT_EQ(h.text(h.get(re, "source")), u"a+b");
    EXPECT_EQ(h.get(re, "lastIndex").asInteger(), 0);
    EXPECT_TRUE(h.put(re, "lastIndex", I(4)));
    EXPECT_EQ(h.get(re, "lastIndex").asInteger(), 4);
    EXPECT_TRUE(h.put(re, "source", h.str(u"zzz"))); // ignored
    EXPECT_EQ(h.text(h.get(re, "source")), u"a+b");
    Value plain = h.construct("RegExp", {h.str(u"x")});
    EXPECT_EQ(h.text(h.call(plain, "toString")), u"/x/");
    EXPECT_FALSE(h.get(plain, "global").asBoolean());
    Value empty = h.construct("RegExp");
    EXPECT_EQ(h.text(h.get(empty, "source")), u"^");
    EXPECT_EQ(h.call(h.str(u"xyz"), "search", {empty}).asInteger(), 0);
    EXPECT_EQ(h.text(h.call(h.global("RegExp"), "toString")), u"[Object RegExp]");
    Value unused;
    EXPECT_FALSE(h.get(h.global("RegExp"), "source", unused));
    EXPECT_TRUE(h.callClass("RegExp", {h.str(u"q")}).isNative());
}

TEST(RegExpClass, CompileErrors) {
    ClassHarness h;
    Value bad = regexp(h, u"a[b");
    EXPECT_TRUE(bad.isNull());
    ASSERT_EQ(traceLines().size(), 1u);
    EXPECT_EQ(traceLines()[0].rfind("RegExp runtime error: ", 0), 0u);
    EXPECT_GT(traceLines()[0].size(), 22u);
    Value re = regexp(h, u"a");
    EXPECT_FALSE(h.call(re, "compile").asBoolean());
    EXPECT_FALSE(h.call(re, "compile", {h.str(u"(x")}).asBoolean());
    EXPECT_EQ(traceLines().size(), 2u);
    // The failed instance keeps its new source and finds nothing.
    EXPECT_EQ(h.text(h.get(re, "source")), u"(x");
    EXPECT_TRUE(h.call(re, "exec", {h.str(u"(x")}).isNull());
    EXPECT_TRUE(h.call(re, "compile", {h.str(u"B"), h.str(u"i")}).asBoolean());
    EXPECT_TRUE(h.call(re, "test", {h.str(u"abc")}).asBoolean());
    EXPECT_EQ(h.text(h.call(re, "toString")), u"/B/i");
    // Without flags the compile method clears them.
    EXPECT_TRUE(h.call(re, "compile", {h.str(u"B")}).asBoolean());
    EXPECT_FALSE(h.call(re, "test", {h.str(u"abc")}).asBoolean());
}

TEST(RegExpClass, ExecResultAndClassProperties) {
    ClassHarness h;
    Value re = regexp(h, u"(\\w+)@(\\w+)(x)?");
    Value input = h.str(u"mail bob@host now");
    Value m = h.call(re, "exec", {input});
    ASSERT_TRUE(m.isArray());
    EXPECT_EQ(h.dump(m), u"bob@host,bob,host");
    ObjectRecord* props = propertyObject(h.engine, m);
    ASSERT_NE(props, nullptr);
    Value index, in;
    ASSERT_TRUE(objectGet(h.engine, props, h.engine.internName("index"), index));
    EXPECT_EQ(index.asInteger(), 5);
    ASSERT_TRUE(objectGet(h.engine, props, h.engine.internName("input"), in));
    EXPECT_EQ(h.text(in), u"mail bob@host now");
    Value cls = h.global("RegExp");
    EXPECT_EQ(h.text(h.get(cls, "$1")), u"bob");
    EXPECT_EQ(h.text(h.get(cls, "$2")), u"host");
    EXPECT_TRUE(h.get(cls, "$3").isNull());
    EXPECT_EQ(h.text(h.get(cls, "lastMatch")), u"bob@host");
    EXPECT_EQ(h.text(h.get(cls, "lastParen")), u"host");
    EXPECT_EQ(h.text(h.get(cls, "leftContext")), u"mail ");
    EXPECT_EQ(h.text(h.get(cls, "rightContext")), u" now");
    EXPECT_EQ(h.text(h.get(cls, "input")), u"mail bob@host now");
    EXPECT_EQ(h.text(h.get(cls, "$_")), u"mail bob@host now");
    EXPECT_TRUE(h.put(cls, "$1", h.str(u"x"))); // ignored
    EXPECT_EQ(h.text(h.get(cls, "$1")), u"bob");
    // exec without an argument uses the class-wide input; a failed search
    // clears the match table.
    EXPECT_TRUE(h.call(regexp(h, u"now"), "exec").isArray());
    EXPECT_TRUE(h.call(regexp(h, u"zzz"), "exec").isNull());
    EXPECT_TRUE(h.get(cls, "lastMatch").isNull());
    // An instance called as a function runs exec.
    Value called;
    std::vector<Value> block{I(1), h.str(u"x12y")};
    Value digits = regexp(h, u"[0-9]+");
    NativeObject* n = digits.asNative();
    n->cls->call(h.engine, n->cls, n->data, called, ArgList{block.data()});
    EXPECT_EQ(h.dump(called), u"12");
}

TEST(RegExpClass, LastIndexWithAndWithoutGlobal) {
    ClassHarness h;
    Value global = regexp(h, u"o", u"g");
    Value text = h.str(u"foo");
    EXPECT_TRUE(h.call(global, "test", {text}).asBoolean());
    EXPECT_EQ(h.get(global, "lastIndex").asInteger(), 2);
    EXPECT_TRUE(h.call(global, "test", {text}).asBoolean());
    EXPECT_EQ(h.get(global, "lastIndex").asInteger(), 3);
    EXPECT_FALSE(h.call(global, "test", {text}).asBoolean());
    EXPECT_EQ(h.get(global, "lastIndex").asInteger(), 0);
    Value once = regexp(h, u"o");
    EXPECT_TRUE(h.call(once, "test", {text}).asBoolean());
    EXPECT_EQ(h.get(once, "lastIndex").asInteger(), 0);
    h.put(once, "lastIndex", I(3)); // a non-global search starts there too
    EXPECT_FALSE(h.call(once, "test", {text}).asBoolean());
}

TEST(RegExpClass, StringMethods) {
    ClassHarness h;
    Value s = h.str(u"a1b22c333");
    EXPECT_EQ(h.dump(h.call(s, "match", {regexp(h, u"[0-9]+", u"g")})), u"1,22,333");
    EXPECT_EQ(h.dump(h.call(s, "match", {regexp(h, u"([a-z])([0-9]+)")})), u"a1,a,1");
    EXPECT_EQ(h.dump(h.call(s, "match", {h.str(u"1")})), u""); // not a RegExp: an empty Array
    EXPECT_EQ(h.call(s, "search", {regexp(h, u"[0-9]{3}")}).asInteger(), 6);
    EXPECT_EQ(h.call(s, "search", {regexp(h, u"x")}).asInteger(), -1);
    EXPECT_EQ(h.text(h.call(s, "replace", {regexp(h, u"[0-9]+", u"g"), h.str(u"<$&>")})), u"a<1>b<22>c<333>");
    EXPECT_EQ(h.text(h.call(s, "replace", {regexp(h, u"([a-z])([0-9]+)"), h.str(u"$2$1")})), u"1ab22c333");
    EXPECT_EQ(h.text(h.call(s, "replace", {regexp(h, u"[0-9]+", u"g"), I(1)})), u"");
    EXPECT_EQ(h.text(h.get(h.global("RegExp"), "lastMatch")), u"a1"); // the last search that ran
    EXPECT_EQ(h.dump(h.call(s, "split", {regexp(h, u"[0-9]+")})), u"a,b,c,");
    EXPECT_EQ(h.dump(h.call(s, "split", {regexp(h, u"[0-9]+"), I(2)})), u"a,b");
    EXPECT_EQ(h.dump(h.call(h.str(u"A-b-C"), "split", {regexp(h, u"B", u"i")})), u"A-,-C");
}
