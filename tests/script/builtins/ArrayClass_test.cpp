// The Array class: construction, length, methods, sort.
#include "ClassHarness.h"

#include "script/builtins/BuiltinSupport.h"
#include "script/values/Native.h"
#include "script/values/Property.h"

using namespace quill;
using namespace quill::test;

TEST(ArrayClass, Construction) {
    ClassHarness h;
    Value empty3 = h.construct("Array", {I(3)});
    EXPECT_EQ(empty3.asArray()->length, 3u);
    EXPECT_EQ(arrayElementCount(empty3.asArray()), 0u);
    EXPECT_EQ(h.text(h.call(empty3, "join")), u",,");
    Value oneFloat = h.construct("Array", {F(3.0)});
    EXPECT_EQ(h.dump(oneFloat), u"3");
    EXPECT_EQ(h.dump(h.construct("Array", {I(1), I(2)})), u"1,2");
    // An array literal passes -n: [3] is one element.
    Value literal = h.array({I(3)});
    EXPECT_EQ(literal.asArray()->length, 1u);
    EXPECT_EQ(h.dump(literal), u"3");
    EXPECT_EQ(h.array({}).asArray()->length, 0u);
    // Called as a function it constructs too; the result has its own
    // property object linked to the class prototype.
    Value called = h.callClass("Array", {I(2)});
    EXPECT_EQ(called.asArray()->length, 2u);
    EXPECT_NE(propertyObject(h.engine, called), nullptr);
}

TEST(ArrayClass, LengthReadsAndTruncates) {
    ClassHarness h;
    Value a = h.array({I(0), I(1), I(2), I(3), I(4)});
    EXPECT_EQ(h.get(a, "length").asInteger(), 5);
    EXPECT_TRUE(h.put(a, "length", I(2)));
    EXPECT_EQ(h.dump(a), u"0,1");
    EXPECT_EQ(arrayElementCount(a.asArray()), 2u);
    EXPECT_TRUE(h.put(a, "length", h.str(u"7"))); // ignored
    EXPECT_EQ(a.asArray()->length, 2u);
    EXPECT_TRUE(h.put(a, "length", F(4.9)));
    EXPECT_EQ(h.dump(a), u"0,1,_,_");
    EXPECT_TRUE(h.put(a, "length", F(-1.0))); // ignored
    EXPECT_EQ(a.asArray()->length, 4u);
    // The class object reads 1 and does not take writes.
    Value cls = h.global("Array");
    EXPECT_EQ(h.get(cls, "length").asInteger(), 1);
    EXPECT_FALSE(h.put(cls, "length", I(5)));
    Value other;
    EXPECT_FALSE(h.get(a, "size", other));
}

TEST(ArrayClass, JoinAndToString) {
    ClassHarness h;
    Value a = h.array({I(1), Value::undefined(), h.str(u"x"), F(0.5)});
    EXPECT_EQ(h.text(h.call(a, "join")), u"1,undefined,x,0.5");
    EXPECT_EQ(h.text(h.call(a, "join", {h.str(u" - ")})), u"1 - undefined - x - 0.5");
    EXPECT_EQ(h.text(h.call(a, "join", {I(0)})), u"10undefined0x00.5");
    EXPECT_EQ(h.text(h.call(a, "toString")), u"1,undefined,x,0.5");
    EXPECT_EQ(h.text(h.call(h.array({}), "join")), u"");
    EXPECT_EQ(h.text(h.call(h.global("Array"), "toString")), u"[object Array]");
    // A sparse array with a huge length costs its elements.
    Value sparse = h.construct("Array", {I(4000000000LL)});
    arraySet(h.engine, sparse.asArray(), 2, I(7));
    EXPECT_EQ(h.text(h.call(sparse, "join", {h.str(u"")})), u"7");
    // An array that holds itself does not recurse forever.
    Value self = h.array({I(1)});
    arraySet(h.engine, self.asArray(), 1, self);
    EXPECT_EQ(h.text(h.call(self, "join")).substr(0, 4), u"1,1,");
}

TEST(ArrayClass, PushPopShiftUnshift) {
    ClassHarness h;
    Value a = h.array({});
    EXPECT_TRUE(h.call(a, "pop").isUndefined());
    EXPECT_TRUE(h.call(a, "shift").isUndefined());
    EXPECT_EQ(a.asArray()->length, 0u);
    EXPECT_EQ(h.call(a, "push", {I(1), I(2), I(3)}).asInteger(), 3);
    EXPECT_EQ(h.call(a, "pop").asInteger(), 3);
    EXPECT_EQ(h.call(a, "unshift", {I(8), I(9)}).asInteger(), 4);
    EXPECT_EQ(h.dump(a), u"8,9,1,2");
    EXPECT_EQ(h.call(a, "shift").asInteger(), 8);
    EXPECT_EQ(h.dump(a), u"9,1,2");
    EXPECT_EQ(h.call(a, "unshift").asInteger(), 3);
    // A hole at the end pops as Undefined and still shortens the array.
    Value holes = h.construct("Array", {I(2)});
    EXPECT_TRUE(h.call(holes, "pop").isUndefined());
    EXPECT_EQ(holes.asArray()->length, 1u);
}

TEST(ArrayClass, ReverseConcatSlice) {
    ClassHarness h;
    Value a = h.array({I(1), I(2), I(3)});
    arraySet(h.engine, a.asArray(), 4, I(5)); // 1,2,3,_,5
    EXPECT_TRUE(h.call(a, "reverse").isUndefined());
    EXPECT_EQ(h.dump(a), u"5,_,3,2,1");
    Value c = h.call(a, "concat", {h.array({I(7), I(8)}), I(9)});
    EXPECT_EQ(h.dump(c), u"5,_,3,2,1,7,8,9");
    EXPECT_EQ(h.dump(a), u"5,_,3,2,1"); // unchanged
    EXPECT_EQ(h.dump(h.call(a, "slice", {I(3), I(1)})), u"_,3");
    EXPECT_EQ(h.dump(h.call(a, "slice", {I(-2)})), u"2,1");
    EXPECT_EQ(h.dump(h.call(a, "slice")), u"5,_,3,2,1");
    EXPECT_EQ(h.dump(h.call(a, "slice", {I(3), I(7)})), u"2,1,_,_"); // no clamping
    EXPECT_EQ(h.dump(h.call(a, "slice", {h.str(u"1")})), u"5,_,3,2,1"); // non-Integer start is 0
}

TEST(ArrayClass, Splice) {
    ClassHarness h;
    Value a = h.array({I(0), I(1), I(2), I(3), I(4)});
    Value removed = h.call(a, "splice", {I(1), I(2)});
    EXPECT_EQ(h.dump(removed), u"1,2");
    EXPECT_EQ(h.dump(a), u"0,3,4");
    Value b = h.array({I(0), I(1), I(2), I(3), I(4)});
    EXPECT_EQ(h.dump(h.call(b, "splice", {I(1)})), u"1,2,3,4");
    EXPECT_EQ(h.dump(b), u"0");
    Value c = h.array({I(0), I(1), I(2)});
    EXPECT_EQ(h.dump(h.call(c, "splice", {I(1), I(1), h.str(u"a"), h.str(u"b")})), u"1");
    EXPECT_EQ(h.dump(c), u"0,a,b,2");
    EXPECT_EQ(h.dump(h.call(c, "splice", {I(-1), I(5)})), u"2");
    EXPECT_EQ(h.dump(c), u"0,a,b");
    EXPECT_EQ(h.dump(h.call(c, "splice", {I(5), I(1), I(9)})), u""); // beyond the end: nothing deleted
    EXPECT_EQ(h.dump(c), u"0,a,b,_,_,9");
    // Far indices move without touching every index in between.
    Value far = h.array({I(1)});
    arraySet(h.engine, far.asArray(), 3000000000ULL, I(2));
    h.call(far, "splice", {I(0), I(1)});
    Value v;
    EXPECT_TRUE(arrayGet(far.asArray(), 2999999999ULL, v));
    EXPECT_EQ(far.asArray()->length, 3000000000ULL);
}

TEST(ArrayClass, SortDefaultAndHoles) {
    ClassHarness h;
    Value a = h.array({I(10), I(9), I(1)});
    EXPECT_TRUE(h.call(a, "sort").isUndefined());
    EXPECT_EQ(h.dump(a), u"1,10,9");
    Value u = h.array({Value::undefined(), h.str(u"b"), h.str(u"a")});
    h.call(u, "sort");
    EXPECT_EQ(h.dump(u), u"a,b,undefined");
    // Elements only at 0 and 5 (length 6) move to 0 and 1; the length stays.
    Value sparse = h.construct("Array", {I(6)});
    arraySet(h.engine, sparse.asArray(), 0, I(3));
    arraySet(h.engine, sparse.asArray(), 5, I(2));
    h.call(sparse, "sort");
    EXPECT_EQ(h.dump(sparse), u"2,3,_,_,_,_");
    EXPECT_EQ(arrayElementCount(sparse.asArray()), 2u);
}

namespace {

// A callable native comparing the integer parts of two-element arrays: the
// first element is the key, the second tells equal keys apart.
void compareKeys(Engine&, NativeClass*, void*, Value& result, ArgList args) {
    Value a, b;
    arrayGet(args[1].asArray(), 0, a);
    arrayGet(args[2].asArray(), 0, b);
    result = Value::integer(a.asInteger() - b.asInteger());
}

void compareDescendingFloat(Engine&, NativeClass*, void*, Value& result, ArgList args) {
    result = Value::floating(double(args[2].asInteger()) - double(args[1].asInteger()));
}

} // namespace

TEST(ArrayClass, SortWithComparisonIsStable) {
    ClassHarness h;
    NativeClass* cmp = newNativeClass(h.engine);
    cmp->call = compareKeys;
    Value compare = classValue(h.engine, cmp);
    Value a = h.array({});
    for (int i = 0; i < 200; ++i)
        h.call(a, "push", {h.array({I((i * 37) % 5), I(i)})});
    // Equal keys keep the order in which the elements are gathered: bucket
    // order (index mod 127, the newest element of a bucket first).
    std::vector<std::int64_t> rank(200);
    std::vector<Value> gathered = arrayGather(a.asArray());
    for (size_t i = 0; i < gathered.size(); ++i) {
        Value order;
        arrayGet(gathered[i].asArray(), 1, order);
        rank[size_t(order.asInteger())] = std::int64_t(i);
    }
    EXPECT_EQ(rank[127], 0); // bucket 0 holds 127 (newest) and then 0
    EXPECT_EQ(rank[0], 1);
    h.call(a, "sort", {compare});
    std::int64_t lastKey = -1, lastOrder = -1;
    for (std::uint64_t i = 0; i < 200; ++i) {
        Value pair, key, order;
        ASSERT_TRUE(arrayGet(a.asArray(), i, pair));
        arrayGet(pair.asArray(), 0, key);
        arrayGet(pair.asArray(), 1, order);
        ASSERT_GE(key.asInteger(), lastKey);
        if (key.asInteger() == lastKey) {
            ASSERT_GT(rank[size_t(order.asInteger())], lastOrder);
        }
        lastKey = key.asInteger();
        lastOrder = rank[size_t(order.asInteger())];
    }
    NativeClass* desc = newNativeClass(h.engine);
    desc->call = compareDescendingFloat;
    Value b = h.array({I(3), I(10), I(1), I(2)});
    h.call(b, "sort", {classValue(h.engine, desc)});
    EXPECT_EQ(h.dump(b), u"10,3,2,1");
}
