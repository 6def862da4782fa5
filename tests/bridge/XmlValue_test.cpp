// The XML value codec: writing Values for the movie and reading them back.
#include <gtest/gtest.h>

#include "app/bridge/XmlValue.h"
#include "script/Quill.h"
#include "tests/bridge/WidgetClass.h"

namespace paloma::bridge {
namespace {

using quill::Value;

class XmlValueTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = quill::createEngine();
        ASSERT_TRUE(engine);
        test::registerWidgetClass(*engine);
    }
    // Evaluates an expression in the engine and writes its value.
    std::u16string writeExpression(const std::string& expression) {
        EXPECT_TRUE(quill::evalSource(*engine, "__v = " + expression + ";")) << engine->errorText;
        quill::SymbolId id = engine->internName("__v");
        return writeXmlValue(*engine, engine->global(id));
    }
    Value read(std::u16string_view xml) {
        Value v = Value::raw(quill::Kind::Symbol, 0);
        EXPECT_TRUE(readXmlValue(*engine, xml, v)) << std::string(xml.begin(), xml.end());
        return v;
    }
    std::u16string text(const Value& v) {
        EXPECT_TRUE(v.isString());
        return v.isString() ? std::u16string(quill::stringToWide(v.asString())) : u"";
    }
    std::unique_ptr<quill::Engine> engine;
};

TEST_F(XmlValueTest, ScalarsUseTheWriterSpellings) {
    EXPECT_EQ(writeXmlValue(*engine, Value::undefined()), u"<undefined/>");
    EXPECT_EQ(writeXmlValue(*engine, Value::null()), u"<null/>");
    EXPECT_EQ(writeXmlValue(*engine, Value::boolean(true)), u"<true/>");
    EXPECT_EQ(writeXmlValue(*engine, Value::boolean(false)), u"<false/>");
    EXPECT_EQ(writeXmlValue(*engine, Value::integer(-42)), u"<number>-42</number>");
    EXPECT_EQ(writeXmlValue(*engine, Value::nan()), u"<number>NaN</number>");
}

TEST_F(XmlValueTest, FloatsAreWrittenWithSixSignificantDigits) {
    EXPECT_EQ(writeXmlValue(*engine, Value::floating(3.14159265)), u"<number>3.14159</number>");
    EXPECT_EQ(writeXmlValue(*engine, Value::floating(0.5)), u"<number>0.5</number>");
    EXPECT_EQ(writeXmlValue(*engine, Value::floating(1e20)), u"<number>1e+20</number>");
}

TEST_F(XmlValueTest, IntegersKeepAllSixtyFourBits) {
    EXPECT_EQ(writeXmlValue(*engine, Value::integer(INT64_C(9007199254740993))),
              u"<number>9007199254740993</number>");
    EXPECT_EQ(writeXmlValue(*engine, Value::integer(INT64_MIN)), u"<number>-9223372036854775808</number>");
    Value back = read(u"<number>9223372036854775807</number>");
    ASSERT_TRUE(back.isInteger());
    EXPECT_EQ(back.asInteger(), INT64_MAX);
    back = read(u"<number>4294967296</number>");
    ASSERT_TRUE(back.isInteger());
    EXPECT_EQ(back.asInteger(), INT64_C(4294967296));
}

TEST_F(XmlValueTest, NumberElementParseRules) {
    Value v = read(u"<number>42</number>");
    ASSERT_TRUE(v.isInteger());
    EXPECT_EQ(v.asInteger(), 42);
    v = read(u"<number>4.2</number>");
    ASSERT_TRUE(v.isFloat());
    EXPECT_DOUBLE_EQ(v.asFloat(), 4.2);
    v = read(u"<number>1e3</number>");
    ASSERT_TRUE(v.isFloat());
    EXPECT_DOUBLE_EQ(v.asFloat(), 1000.0);
    v = read(u"<number>2D2</number>");
    ASSERT_TRUE(v.isFloat());
    EXPECT_DOUBLE_EQ(v.asFloat(), 200.0);
    EXPECT_TRUE(read(u"<number>abc</number>").isNaN());
    v = read(u"<number></number>");
    ASSERT_TRUE(v.isInteger());
    EXPECT_EQ(v.asInteger(), 0);
    v = read(u"<number/>");
    ASSERT_TRUE(v.isInteger());
    EXPECT_EQ(v.asInteger(), 0);
    v = read(u"<number>-7</number>");
    ASSERT_TRUE(v.isInteger());
    EXPECT_EQ(v.asInteger(), -7);
}

TEST_F(XmlValueTest, StringsEscapeInOrderAndReadBackUnchanged) {
    Value s = quill::newString(*engine, u"a<b&c'd\"e>f");
    std::u16string xml = writeXmlValue(*engine, s);
    EXPECT_EQ(xml, u"<string>a&lt;b&amp;c&apos;d&quot;e&gt;f</string>");
    EXPECT_EQ(text(read(xml)), u"a<b&c'd\"e>f");
}

TEST_F(XmlValueTest, ReferencesAreDecodedExactlyOnce) {
    EXPECT_EQ(text(read(u"<string>&amp;lt;</string>")), u"&lt;");
    EXPECT_EQ(text(read(u"<string>&amp;amp;&quot;</string>")), u"&amp;\"");
}

TEST_F(XmlValueTest, NullAndAbsentStringTextReadAsEmpty) {
    EXPECT_EQ(text(read(u"<string>null</string>")), u"");
    EXPECT_EQ(text(read(u"<string/>")), u"");
    EXPECT_EQ(text(read(u"<string>nullx</string>")), u"nullx");
}

TEST_F(XmlValueTest, CharacterReferencesDecodeAndAZeroOneEndsTheText) {
    EXPECT_EQ(text(read(u"<string>&#65;&#x42;&#x1F600;</string>")), u"AB\U0001F600");
    EXPECT_EQ(text(read(u"<string>ab&#0;cd</string>")), u"ab");
}

TEST_F(XmlValueTest, NonAsciiTextSurvivesTheRoundTrip) {
    std::u16string original = u"\u00e9t\u00e9 \u4e2d\U0001F600";
    Value s = quill::newString(*engine, original);
    EXPECT_EQ(text(read(writeXmlValue(*engine, s))), original);
}

TEST_F(XmlValueTest, ElementNamesAreReadWithoutRegardToCase) {
    EXPECT_TRUE(read(u"<TRUE/>").asBoolean());
    EXPECT_TRUE(read(u"<Null/>").isNull());
    EXPECT_TRUE(read(u"<UnDefined/>").isUndefined());
    Value v = read(u"<NUMBER>5</NUMBER>");
    ASSERT_TRUE(v.isInteger());
    EXPECT_EQ(v.asInteger(), 5);
    EXPECT_EQ(text(read(u"<String>x</String>")), u"x");
}

TEST_F(XmlValueTest, ArraysAndObjectsAreWrittenRecursively) {
    quill::ValueRoot inner(*engine, quill::newArray(*engine));
    quill::arraySet(*engine, inner.value.asArray(), 0, Value::boolean(true));
    quill::ValueRoot outer(*engine, quill::newArray(*engine));
    quill::arraySet(*engine, outer.value.asArray(), 0, Value::integer(1));
    quill::arraySet(*engine, outer.value.asArray(), 1, quill::newStringFromAnsi(*engine, "x"));
    quill::arraySet(*engine, outer.value.asArray(), 2, inner.value);
    EXPECT_EQ(writeXmlValue(*engine, outer.value),
              u"<array><property id=\"0\"><number>1</number></property>"
              u"<property id=\"1\"><string>x</string></property>"
              u"<property id=\"2\"><array><property id=\"0\"><true/></property></array></property></array>");
    EXPECT_EQ(writeExpression("{}; __v.a = 1; __v.b = {c: null}"),
              u"<object><property id=\"a\"><number>1</number></property>"
              u"<property id=\"b\"><object><property id=\"c\"><null/></property></object></property></object>");
}

TEST_F(XmlValueTest, PropertyNamesAreEscaped) {
    quill::ValueRoot o(*engine, Value::object(quill::newObject(*engine)));
    quill::objectPut(*engine, o.value.asObject(), engine->internName("a\"b<"), Value::integer(1));
    std::u16string xml = writeXmlValue(*engine, o.value);
    EXPECT_EQ(xml, u"<object><property id=\"a&quot;b&lt;\"><number>1</number></property></object>");
    quill::ValueRoot back(*engine, read(xml));
    Value member;
    ASSERT_TRUE(quill::objectGetByName(*engine, back.value.asObject(), "a\"b<", member));
    EXPECT_EQ(member.asInteger(), 1);
}

TEST_F(XmlValueTest, NestedArraysAndObjectsReadBack) {
    quill::ValueRoot v(*engine, read(u"<object><property id=\"list\"><array>"
                                     u"<property id=\"0\"><number>7</number></property>"
                                     u"<property id=\"2\"><object><property id=\"k\"><string>v</string></property>"
                                     u"</object></property></array></property></object>"));
    ASSERT_TRUE(v.value.isObject());
    Value list;
    ASSERT_TRUE(quill::objectGetByName(*engine, v.value.asObject(), "list", list));
    ASSERT_TRUE(list.isArray());
    EXPECT_EQ(list.asArray()->length, 3u);
    EXPECT_EQ(quill::arrayElementCount(list.asArray()), 2u);
    Value first, third, k;
    ASSERT_TRUE(quill::arrayGet(list.asArray(), 0, first));
    EXPECT_EQ(first.asInteger(), 7);
    ASSERT_TRUE(quill::arrayGet(list.asArray(), 2, third));
    ASSERT_TRUE(third.isObject());
    ASSERT_TRUE(quill::objectGetByName(*engine, third.asObject(), "k", k));
    EXPECT_EQ(text(k), u"v");
}

TEST_F(XmlValueTest, ListMembersThatAreNotValuesAreSkipped) {
    quill::ValueRoot v(*engine, read(u"<array><property id=\"0\"><bogus/></property>"
                                     u"<property><number>1</number></property>"
                                     u"<property id=\"1\"><number>2</number></property><other/></array>"));
    ASSERT_TRUE(v.value.isArray());
    EXPECT_EQ(quill::arrayElementCount(v.value.asArray()), 1u);
    Value element;
    ASSERT_TRUE(quill::arrayGet(v.value.asArray(), 1, element));
    EXPECT_EQ(element.asInteger(), 2);
}

TEST_F(XmlValueTest, SelfContainingStructuresEnd) {
    std::u16string xml = writeExpression("{n: 1}; __v.self = __v");
    EXPECT_EQ(xml, u"<object><property id=\"n\"><number>1</number></property>"
                   u"<property id=\"self\"><null/></property></object>");
}

TEST_F(XmlValueTest, NativesCrossAsFreshHandles) {
    ASSERT_TRUE(quill::evalSource(*engine, "__v = new Widget(3);")) << engine->errorText;
    Value math = engine->global(engine->internName("__v"));
    ASSERT_TRUE(math.isNative());
    size_t before = engine->pinnedCount();
    std::u16string first = writeXmlValue(*engine, math);
    std::u16string second = writeXmlValue(*engine, math);
    EXPECT_NE(first, second);
    EXPECT_EQ(engine->pinnedCount(), before + 2);
    Value handle = read(first);
    ASSERT_TRUE(handle.isInteger());
    quill::PinnedValue* record = engine->findPinned(handle.asInteger());
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->value.sameAs(math));
}

TEST_F(XmlValueTest, MalformedAndForeignDocumentsAreNotValues) {
    Value v = Value::integer(99);
    EXPECT_FALSE(readXmlValue(*engine, u"", v));
    EXPECT_FALSE(readXmlValue(*engine, u"<number>1", v));
    EXPECT_FALSE(readXmlValue(*engine, u"<number>1</string>", v));
    EXPECT_FALSE(readXmlValue(*engine, u"<bogus/>", v));
    std::u16string deep;
    for (int i = 0; i < 5000; ++i)
        deep += u"<array><property id=\"0\">";
    EXPECT_FALSE(readXmlValue(*engine, deep, v));
    ASSERT_TRUE(v.isInteger());
    EXPECT_EQ(v.asInteger(), 99); // untouched by every failure
    // Unknown references are kept as they stand.
    EXPECT_EQ(text(read(u"<string>&bad;</string>")), u"&bad;");
}

} // namespace
} // namespace paloma::bridge
