// Values to variants and back through the system's automation library.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include "host/com/VariantConvert.h"
#include "tests/host/com/ComFixture.h"

namespace paloma::host::test {
namespace {

class VariantConvert : public HostTest {
protected:
    // The variant of a global, then its Value again.
    quill::Value back(const char* name, VARTYPE expected) {
        OwnedVariant v;
        valueToVariant(*engine, global(name), *v);
        EXPECT_EQ(v->vt, expected) << name;
        return variantToValue(*engine, *v);
    }
    std::string roundTrip(const char* name, VARTYPE expected) {
        return quill::valueToText(*engine, back(name, expected));
    }
};

TEST_F(VariantConvert, ScalarsArraysAndStreams) {
    run("var i = -7; var big = 4294967296; var f = 2.5; var s = 'h\\u00e9llo'; var b = true; var u;"
        "var strs = ['x', 'y']; var nested = [1, ['a', 2.5], true];"
        "var ss = new StringStream(); ss.writeString('AB');");
    EXPECT_EQ(roundTrip("i", VT_I4), "-7");
    EXPECT_EQ(back("big", VT_R8).asFloat(), 4294967296.0);
    EXPECT_EQ(roundTrip("f", VT_R8), "2.5");
    EXPECT_EQ(roundTrip("b", VT_BOOL), "true");
    EXPECT_TRUE(back("u", VT_NULL).isNull());
    EXPECT_EQ(roundTrip("strs", VT_ARRAY | VT_BSTR), "x,y");
    EXPECT_EQ(roundTrip("nested", VT_ARRAY | VT_VARIANT), "1,a,2.5,true");
    EXPECT_EQ(roundTrip("ss", VT_ARRAY | VT_UI1), "65,66,0");
    OwnedVariant text;
    valueToVariant(*engine, global("s"), *text);
    ASSERT_EQ(text->vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(text->bstrVal), 5u);
    EXPECT_EQ(text->bstrVal[1], L'\u00e9');
}

TEST_F(VariantConvert, DatesAreLocalDayCounts) {
    run("var d = new Date(2001, 1, 3, 12, 0, 0); var t = d.getTime();");
    OwnedVariant v;
    valueToVariant(*engine, global("d"), *v);
    ASSERT_EQ(v->vt, VT_DATE);
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(v->date, &st));
    EXPECT_EQ(st.wYear, 2001);
    EXPECT_EQ(st.wMonth, 2);
    EXPECT_EQ(st.wDay, 3);
    EXPECT_EQ(st.wHour, 12);
    quill::Value back = variantToValue(*engine, *v);
    ASSERT_TRUE(back.isFloat());
    EXPECT_EQ(back.asFloat(), double(integer("t")));
}

TEST_F(VariantConvert, OtherVariantKinds) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_CY;
    v.cyVal.int64 = 12345; // 1.2345
    EXPECT_EQ(quill::valueToText(*engine, variantToValue(*engine, v)), "1.2345");
    v.vt = VT_UI1;
    v.bVal = 200;
    EXPECT_EQ(variantToValue(*engine, v).asInteger(), 200);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    EXPECT_EQ(variantToValue(*engine, v).asInteger(), int32_t(DISP_E_PARAMNOTFOUND));
    LONG referenced = 41;
    v.vt = VT_BYREF | VT_I4;
    v.plVal = &referenced;
    EXPECT_EQ(variantToValue(*engine, v).asInteger(), 41);
    v.vt = VT_DISPATCH;
    v.pdispVal = nullptr;
    EXPECT_TRUE(variantToValue(*engine, v).isNull());
}

TEST_F(VariantConvert, WritesThroughReferences) {
    run("var n = 42; var s = 'out'; var x = 1.5;");
    LONG number = 0;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &number;
    EXPECT_TRUE(storeThroughReference(*engine, global("n"), ref));
    EXPECT_EQ(number, 42);
    BSTR text = SysAllocString(L"in");
    ref.vt = VT_BYREF | VT_BSTR;
    ref.pbstrVal = &text;
    EXPECT_TRUE(storeThroughReference(*engine, global("s"), ref));
    EXPECT_STREQ(text, L"out");
    SysFreeString(text);
    OwnedVariant inner;
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = inner.get();
    EXPECT_TRUE(storeThroughReference(*engine, global("x"), ref));
    EXPECT_EQ(inner->vt, VT_R8);
    // A value that does not convert to the referenced type leaves it alone.
    number = 7;
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &number;
    run("var word = 'not a number';");
    EXPECT_FALSE(storeThroughReference(*engine, global("word"), ref));
    EXPECT_EQ(number, 7);
    EXPECT_FALSE(storeThroughReference(*engine, global("n"), *inner)); // not by reference
}

} // namespace
} // namespace paloma::host::test
