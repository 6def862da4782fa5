// The engine record: symbols, globals, constants, the error channel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "script/values/Engine.h"
#include "script/values/Heap.h"
#include "script/values/String.h"

using namespace quill;

TEST(Symbols, WellKnownNamesComeFirst) {
    Engine e;
    EXPECT_EQ(e.internName("__proto__"), 0u);
    EXPECT_EQ(e.internName("prototype"), 1u);
    EXPECT_EQ(e.internName("toSource"), 2u);
    EXPECT_EQ(e.internName("toString"), 3u);
    EXPECT_EQ(e.internName("valueOf"), 4u);
    EXPECT_EQ(e.symbolCount(), 5u);
}

TEST(Symbols, DenseIdsAndNames) {
    Engine e;
    SymbolId a = e.internName("alpha");
    SymbolId b = e.internName("beta");
    EXPECT_EQ(a, 5u);
    EXPECT_EQ(b, 6u);
    EXPECT_EQ(e.internName("alpha"), a);
    EXPECT_STREQ(e.nameOf(b), "beta");
    EXPECT_STREQ(e.nameOf(999999), "???");
    SymbolId found = 0;
    EXPECT_TRUE(e.findName("beta", found));
    EXPECT_EQ(found, b);
    EXPECT_FALSE(e.findName("gamma", found));
    EXPECT_EQ(e.symbolCount(), 7u) << "finding does not intern";
    Engine other;
    EXPECT_EQ(other.internName("beta"), 5u) << "engines share nothing";
}

TEST(Symbols, WideNamesInternAsTheirAnsiText) {
    Engine e;
    SymbolId ascii = e.internName(std::u16string_view(u"k123"));
    EXPECT_EQ(e.internName("k123"), ascii);
    EXPECT_STREQ(e.nameOf(ascii), "k123");
    SymbolId found = 0;
    EXPECT_TRUE(e.findName(std::u16string_view(u"k123"), found));
    EXPECT_EQ(found, ascii);
    EXPECT_FALSE(e.findName(std::u16string_view(u"k1234"), found));
    EXPECT_FALSE(e.findName(std::u16string_view(u"k12"), found));
    // Non-ASCII text goes through the ANSI conversion: the same id as the
    // converted bytes, also for bytes above 0x7F interned first.
    std::u16string accented = u"caf\u00e9";
    Value s = newString(e, accented);
    std::string ansi = stringToAnsi(s.asString());
    SymbolId narrowFirst = e.internName(ansi);
    EXPECT_EQ(e.internName(std::u16string_view(accented)), narrowFirst);
    EXPECT_TRUE(e.findName(std::u16string_view(accented), found));
    EXPECT_EQ(found, narrowFirst);
    EXPECT_EQ(std::string(e.nameOf(narrowFirst)), ansi);
    // Embedded NUL and the empty name are names like any other.
    SymbolId withNul = e.internName(std::u16string_view(u"a\0b", 3));
    EXPECT_EQ(e.internName(std::string_view("a\0b", 3)), withNul);
    EXPECT_NE(e.internName("a"), withNul);
    SymbolId empty = e.internName(std::u16string_view());
    EXPECT_EQ(e.internName(""), empty);
}

TEST(Symbols, ManyNamesKeepTheirIds) {
    Engine e;
    std::vector<SymbolId> ids;
    for (int i = 0; i < 20000; ++i) {
        std::string name = "n" + std::to_string(i);
        ids.push_back(i % 2 ? e.internName(name) : e.internName(std::u16string(name.begin(), name.end())));
    }
    EXPECT_EQ(e.symbolCount(), 5u + 20000u);
    for (int i = 0; i < 20000; ++i) {
        std::string name = "n" + std::to_string(i);
        ASSERT_EQ(ids[size_t(i)], SymbolId(5 + i));
        SymbolId found = 0;
        ASSERT_TRUE(e.findName(name, found));
        ASSERT_EQ(found, ids[size_t(i)]);
        ASSERT_TRUE(e.findName(std::u16string(name.begin(), name.end()), found));
        ASSERT_EQ(found, ids[size_t(i)]);
        ASSERT_EQ(e.nameOf(found), name);
    }
    SymbolId found = 0;
    EXPECT_FALSE(e.findName("n20000", found));
}

TEST(Globals, GrowInStepsOf1024) {
    Engine e;
    EXPECT_EQ(e.globals.size(), 1024u);
    for (int i = 0; i < 1100; ++i)
        e.internName("g" + std::to_string(i));
    EXPECT_EQ(e.globals.size(), 2048u);
    SymbolId id = e.internName("g1099");
    EXPECT_TRUE(e.global(id).isUndefined());
    e.global(id) = Value::integer(3);
    EXPECT_EQ(e.global(e.internName("g1099")).asInteger(), 3);
}

TEST(Globals, KeysGetTheirSlotOnlyWhenUsedAsGlobals) {
    Engine e;
    std::string longName(20000, 'x'); // longer than a block of names
    std::vector<SymbolId> keys;
    for (int i = 0; i < 3000; ++i)
        keys.push_back(e.internKey(i == 1500 ? longName : "k" + std::to_string(i)));
    EXPECT_EQ(e.globals.size(), 1024u) << "keys alone add no global slots";
    EXPECT_EQ(e.nameOf(keys[1500]), longName);
    EXPECT_STREQ(e.nameOf(keys[1501]), "k1501");
    EXPECT_STREQ(e.nameOf(keys[2999]), "k2999");
    for (size_t length : {254u, 255u, 256u}) { // about where a name's length needs more than a byte
        std::string name(length, 'y');
        SymbolId id = e.internKey(name);
        SymbolId found = 0;
        ASSERT_TRUE(e.findName(name, found));
        EXPECT_EQ(found, id);
        EXPECT_EQ(e.nameOf(id), name);
        EXPECT_FALSE(e.findName(std::string(length - 1, 'y') + "z", found));
    }
    EXPECT_EQ(e.internName("k2999"), keys[2999]);
    EXPECT_GT(e.globals.size(), keys[2999]) << "interning as a name covers the id";
    SymbolId late = e.internKey("late");
    EXPECT_TRUE(e.global(late).isUndefined());
    e.global(late) = Value::integer(7);
    EXPECT_EQ(e.global(e.internName("late")).asInteger(), 7);
}

TEST(Constants, AppendAndKeepText) {
    Engine e;
    EXPECT_EQ(e.addConstant(Value::integer(1)), 0u);
    EXPECT_EQ(e.addConstant(Value::integer(2)), 1u);
    const char16_t* t = e.keepConstantText(u"hello");
    Value s = newStaticString(e, t, 5);
    EXPECT_TRUE(s.asString()->isStatic());
    EXPECT_EQ(stringToAnsi(s.asString()), "hello");
    EXPECT_EQ(t[5], u'\0');
}

TEST(ErrorChannel, RaiseWritesPrefixedTextAndUsesTheHook) {
    Engine e;
    EXPECT_THROW(e.raiseError("Out of memory"), RuntimeError);
    EXPECT_STREQ(e.errorText, "Runtime error: Out of memory");
    struct Caught {};
    e.raiseHook = [](Engine&) { throw Caught{}; };
    EXPECT_THROW(e.raiseError("stack overflow"), Caught);
    EXPECT_STREQ(e.errorText, "Runtime error: stack overflow");
    std::string longText(5000, 'x');
    e.setErrorText(longText);
    EXPECT_EQ(std::string(e.errorText).size(), Engine::kErrorTextSize - 1);
}

TEST(EngineOptions, StackAndFlags) {
    Engine d;
    EXPECT_EQ(d.stackSize, 4096u);
    EXPECT_TRUE(d.warningsOn());
    EXPECT_EQ(d.stackPosition, d.stack + 4095);
    EngineOptions o;
    o.stackSize = 100;
    o.flags = 0;
    Engine e(o);
    EXPECT_EQ(e.stackSize, 100u);
    EXPECT_FALSE(e.warningsOn());
    EXPECT_EQ(e.heap.threshold, 0x200000u);
}

TEST(EngineMemory, OutOfMemoryIsARuntimeError) {
    Engine e;
    EXPECT_THROW(e.gcAlloc(size_t(1) << 31), RuntimeError);
    EXPECT_STREQ(e.errorText, "Runtime error: Out of memory");
    void* p = e.engineAlloc(16);
    p = e.engineRealloc(p, 64);
    e.engineFree(p);
}

TEST(Symbols, NameTextStaysValidWhileInterning) {
    Engine e;
    const char* first = e.nameOf(e.internName("x"));
    for (int i = 0; i < 5000; ++i)
        e.internName("name" + std::to_string(i));
    EXPECT_STREQ(first, "x");
    EXPECT_EQ(first, e.nameOf(e.internName("x")));
}

TEST(StringLayout, ShortStringsAreOneSmallBlock) {
    Engine e;
    Value piece = newString(e, u"12345");
    EXPECT_EQ(Heap::blockSize(piece.asString()) + Heap::kHeaderSize, 24u) << "header, flags and length, one byte a unit";
    Value wide = newString(e, u"1234\u0100");
    EXPECT_EQ(Heap::blockSize(wide.asString()) + Heap::kHeaderSize, 32u) << "two bytes a unit when one does not fit";
    EXPECT_EQ(Heap::blockSize(newString(e, u"").asString()), Heap::roundRequest(8 + sizeof(char16_t*))) << "room for a pointer";
    std::u16string text(100, u'a');
    Value head = newString(e, text);
    Value longer = appendToString(e, head.asString(), u"b", 1);
    EXPECT_EQ(Heap::blockSize(longer.asString()), Heap::roundRequest(8 + sizeof(char16_t*))) << "a body that shares its characters";
}

TEST(StringAppend, DoublingTakesItsSizeAndSmallAppendsShareRoom) {
    Engine e;
    std::u16string text(100, u'a');
    Value s = newString(e, text);
    Value d = appendToString(e, s.asString(), text.data(), text.size());
    ASSERT_EQ(stringToWide(d.asString()), text + text);
    // Room for half as much again would be 300 characters; doubling cannot use it.
    EXPECT_LT(Heap::blockSize(d.asString()->rawChars()), 200 + 64);
    // The next small append gets a buffer with room, which the one after uses.
    Value x = appendToString(e, d.asString(), u"x", 1);
    Value y = appendToString(e, x.asString(), u"y", 1);
    EXPECT_EQ(x.asString()->rawChars(), y.asString()->rawChars());
    EXPECT_EQ(stringToWide(y.asString()), text + text + u"xy");
    EXPECT_EQ(stringToWide(d.asString()), text + text);
}

TEST(StringWidth, WidenedInPlaceKeepsItsBodyAndSurvivesCollections) {
    Engine e;
    ValueRoot s(e, newString(e, u"narrow text"));
    StringBody* body = s.value.asString();
    ASSERT_TRUE(body->isOneByte());
    EXPECT_EQ(stringView(e, body), u"narrow text");
    EXPECT_FALSE(body->isOneByte());
    const void* units = body->rawChars();
    for (int round = 0; round < 3; ++round) {
        e.collectGarbage();
        // Blocks freed by the sweep are handed out again and overwritten.
        for (int k = 0; k < 2000; ++k)
            std::memset(e.gcAlloc(11 * sizeof(char16_t)), '#', 11 * sizeof(char16_t));
    }
    EXPECT_TRUE(e.heap.ownsBlock(units));
    EXPECT_EQ(s.value.asString()->rawChars(), units);
    EXPECT_EQ(stringToWide(s.value.asString()), u"narrow text");
}
