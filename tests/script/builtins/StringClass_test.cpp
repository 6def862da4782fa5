// The String class: construction, length and every method's argument rules.
#include "ClassHarness.h"

#include "script/values/Property.h"

using namespace quill;
using namespace quill::test;

TEST(StringClass, ConstructionAndLength) {
    ClassHarness h;
    EXPECT_EQ(h.text(h.callClass("String")), u"");
    EXPECT_EQ(h.text(h.callClass("String", {I(5)})), u"5");
    Value made = h.construct("String", {I(5)});
    ASSERT_TRUE(made.isString()); // a String Value, not an object
    EXPECT_EQ(h.text(made), u"5");
    EXPECT_NE(propertyObject(h.engine, made), nullptr);
    EXPECT_EQ(h.text(h.construct("String")), u"");
    Value s = h.str(u"hello");
    EXPECT_EQ(h.get(s, "length").asInteger(), 5);
    EXPECT_TRUE(h.put(s, "length", I(1))); // accepted, ignored
    EXPECT_EQ(h.get(s, "length").asInteger(), 5);
    Value unused;
    EXPECT_FALSE(h.get(h.global("String"), "length", unused));
    EXPECT_EQ(h.text(h.call(h.global("String"), "toString")), u"[Object String]");
    EXPECT_TRUE(h.call(s, "valueOf").sameAs(s));
    h.call(h.global("String"), "charAt", {I(0)}, false); // not a class method
}

TEST(StringClass, CharacterAccess) {
    ClassHarness h;
    Value s = h.str(u"abc");
    EXPECT_EQ(h.text(h.call(s, "charAt", {I(1)})), u"b");
    EXPECT_EQ(h.text(h.call(s, "charAt", {F(1.0)})), u"");
    EXPECT_EQ(h.text(h.call(s, "charAt", {I(3)})), u"");
    EXPECT_EQ(h.text(h.call(s, "charAt")), u"");
    EXPECT_EQ(h.call(s, "charCodeAt").asInteger(), 'a');
    EXPECT_EQ(h.call(s, "charCodeAt", {I(2)}).asInteger(), 'c');
    EXPECT_TRUE(h.call(s, "charCodeAt", {I(3)}).isNaN());
    EXPECT_TRUE(h.call(s, "charCodeAt", {h.str(u"0")}).isNaN()); // other kinds read position n
    EXPECT_TRUE(h.call(s, "charCodeAt", {I(-1)}).isNaN());
}

TEST(StringClass, ConcatAndFromCharCode) {
    ClassHarness h;
    Value s = h.str(u"a");
    EXPECT_EQ(h.text(h.call(s, "concat", {I(1), F(0.5), Value::null(), h.str(u"z")})), u"a10.5undefinedz");
    EXPECT_EQ(h.text(h.call(s, "concat")), u"a");
    Value codes = h.call(h.global("String"), "fromCharCode",
                         {I(72), I(0x10069), h.str(u"33"), F(63.7), Value::boolean(true)});
    EXPECT_EQ(h.text(codes), std::u16string(u"Hi!?\0", 5));
    EXPECT_EQ(h.text(h.call(s, "fromCharCode", {I(66)})), u"B");
    // Far more than 1024 codes.
    std::vector<Value> many(3000, I('x'));
    std::vector<Value> block{I(3000)};
    block.insert(block.end(), many.begin(), many.end());
    NativeClass* cls = h.engine.classOf(Kind::String);
    Value result;
    ASSERT_TRUE(cls->callMethod(h.engine, cls, nullptr, h.engine.internName("fromCharCode"), result, ArgList{block.data()}));
    EXPECT_EQ(result.asString()->length, 3000u);
}

TEST(StringClass, Searching) {
    ClassHarness h;
    Value s = h.str(u"abcabc");
    EXPECT_EQ(h.call(s, "indexOf").asInteger(), -1);
    EXPECT_EQ(h.call(s, "indexOf", {h.str(u"c")}).asInteger(), 2);
    EXPECT_EQ(h.call(s, "indexOf", {h.str(u"c"), I(3)}).asInteger(), 5);
    EXPECT_EQ(h.call(s, "indexOf", {h.str(u"c"), F(3.0)}).asInteger(), 2); // start from Integers only
    EXPECT_EQ(h.call(h.str(u"a1b"), "indexOf", {I(1)}).asInteger(), 1);     // ToString of the text
    EXPECT_EQ(h.call(s, "lastIndexOf").asInteger(), -1);
    EXPECT_EQ(h.call(s, "lastIndexOf", {h.str(u"ab")}).asInteger(), 3);
    EXPECT_EQ(h.call(s, "lastIndexOf", {h.str(u"ab"), I(2)}).asInteger(), 0);
    EXPECT_EQ(h.call(s, "search").asInteger(), -1);
    EXPECT_EQ(h.call(s, "search", {h.str(u"ca")}).asInteger(), 2);
    EXPECT_EQ(h.call(s, "search", {I(1)}).asInteger(), -1);
}

TEST(StringClass, Substrings) {
    ClassHarness h;
    Value s = h.str(u"abcdef");
    EXPECT_EQ(h.text(h.call(s, "substring", {I(3), I(1)})), u"");
    EXPECT_EQ(h.text(h.call(s, "substring", {I(1), I(3)})), u"bc");
    EXPECT_EQ(h.text(h.call(s, "slice", {I(-2)})), u"ef");
    EXPECT_EQ(h.text(h.call(s, "substr", {I(-3), I(2)})), u"de");
    EXPECT_EQ(h.text(h.call(s, "substr", {I(2)})), u"cdef");
    EXPECT_EQ(h.text(h.call(s, "slice")), u"");                 // start must be an Integer
    EXPECT_EQ(h.text(h.call(s, "substr", {F(1.0)})), u"");
    EXPECT_EQ(h.text(h.call(s, "slice", {I(1), F(2.0)})), u"bcdef"); // end from Integers only
}

TEST(StringClass, SplitAndReplaceByText) {
    ClassHarness h;
    Value s = h.str(u"hello");
    EXPECT_EQ(h.dump(h.call(s, "split", {h.str(u""), I(2)})), u"h,e");
    EXPECT_EQ(h.dump(h.call(s, "split")), u"hello");
    EXPECT_EQ(h.dump(h.call(s, "split", {I(1)})), u"hello");
    EXPECT_EQ(h.dump(h.call(h.str(u"a,b,c"), "split", {h.str(u",")})), u"a,b,c");
    EXPECT_EQ(h.call(h.call(h.str(u"a,b,c"), "split", {h.str(u",")}), "join", {h.str(u"|")}).kind, Kind::String);
    Value text = h.str(u"one two one");
    EXPECT_EQ(h.text(h.call(text, "replace", {h.str(u"one"), h.str(u"1")})), u"1 two one");
    EXPECT_EQ(h.text(h.call(text, "replace", {h.str(u"one"), h.str(u"1"), Value::boolean(true)})), u"1 two 1");
    EXPECT_EQ(h.text(h.call(text, "replace", {h.str(u"one"), h.str(u"1"), I(0)})), u"1 two one");
    EXPECT_EQ(h.text(h.call(text, "replace", {h.str(u"one")})), u"");
    EXPECT_EQ(h.text(h.call(text, "replace", {h.str(u"one"), I(1)})), u"");
    EXPECT_EQ(h.text(h.call(text, "replace", {I(1), h.str(u"x")})), u"");
}

TEST(StringClass, CaseAndHtml) {
    ClassHarness h;
    Value s = h.str(u"MiXed");
    EXPECT_EQ(h.text(h.call(s, "toLowerCase")), u"mixed");
    EXPECT_EQ(h.text(h.call(s, "toUpperCase")), u"MIXED");
    EXPECT_EQ(h.text(h.call(s, "bold")), u"<B>MiXed</B>");
    EXPECT_EQ(h.text(h.call(s, "anchor", {h.str(u"top")})), u"<A NAME=\"top\">MiXed</A>");
    EXPECT_EQ(h.text(h.call(s, "anchor")), u"<A NAME=\"\">MiXed</A>");
    EXPECT_EQ(h.text(h.call(s, "fontSize", {I(7)})), u"<FONT SIZE=\"7\">MiXed</FONT>");
    EXPECT_EQ(h.text(h.call(s, "strike")), u"<STRIKE>MiXed</STRIKE>");
    std::u16string big(4000, u'q');
    EXPECT_EQ(h.call(h.str(big), "link", {h.str(big)}).asString()->length, 8000u + 15u);
}
