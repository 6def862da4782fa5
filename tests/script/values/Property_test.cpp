// Property read and scope write on every kind of Value: objects, natives
// (accessProperty, own property object, class prototype), per-kind classes
// with own property objects, kinds without a class; native classes and
// instances.
#include <gtest/gtest.h>

#include "script/values/Array.h"
#include "script/values/Native.h"
#include "script/values/Object.h"
#include "script/values/Property.h"
#include "script/values/String.h"

using namespace quill;

namespace {

// A class that answers the property "size" with 99 and takes writes to it.
int sizeWrites = 0;
int accessSize(Engine& e, NativeClass*, void*, SymbolId member, int put, Value& value) {
    if (member != e.internName("size")) {
        if (!put)
            value = Value::undefined();
        return 0;
    }
    if (put)
        ++sizeWrites;
    else
        value = Value::integer(99);
    return 1;
}

int64_t read(Engine& e, const Value& target, std::string_view name, bool* found = nullptr) {
    Value out;
    bool ok = getProperty(e, target, e.internName(name), out);
    if (found)
        *found = ok;
    if (!ok)
        return -999;
    return out.isInteger() ? out.asInteger() : -1;
}

} // namespace

TEST(NativeClasses, FreshClassAndInstances) {
    Engine e;
    NativeClass* cls = newNativeClass(e);
    EXPECT_EQ(cls->call, nullptr);
    EXPECT_EQ(cls->callMethod, nullptr);
    ASSERT_NE(cls->prototype, nullptr);
    Value p;
    ASSERT_TRUE(objectGetOwn(cls->prototype, Engine::kProtoId, p));
    EXPECT_TRUE(p.isNull());
    Value bare;
    bindNativeObject(e, bare, cls, nullptr);
    EXPECT_EQ(bare.asNative()->props, nullptr) << "no data, no own property object";
    int data = 0;
    Value inst;
    bindNativeObject(e, inst, cls, &data);
    ASSERT_NE(inst.asNative()->props, nullptr);
    ASSERT_TRUE(objectGetOwn(inst.asNative()->props, Engine::kProtoId, p));
    EXPECT_TRUE(p.sameAs(Value::object(cls->prototype)));
}

TEST(NativeClasses, InstanceOfFollowsTheCurrentGlobal) {
    Engine e;
    NativeClass* cls = newNativeClass(e);
    NativeClass* other = newNativeClass(e);
    SymbolId g = e.internName("Thing");
    bindNativeObject(e, e.global(g), cls, nullptr);
    int data = 0;
    Value inst;
    bindNativeObject(e, inst, cls, &data);
    EXPECT_TRUE(isInstanceOf(inst, e, "Thing"));
    EXPECT_FALSE(isInstanceOf(inst, e, "Nothing"));
    EXPECT_FALSE(isInstanceOf(Value::integer(1), e, "Thing"));
    e.global(g) = Value::integer(3);
    EXPECT_FALSE(isInstanceOf(inst, e, "Thing"));
    bindNativeObject(e, e.global(g), other, nullptr);
    EXPECT_FALSE(isInstanceOf(inst, e, "Thing"));
}

TEST(PropertyRead, NativeHookThenOwnObjectThenPrototype) {
    Engine e;
    NativeClass* cls = newNativeClass(e);
    cls->accessProperty = accessSize;
    objectPut(e, cls->prototype, e.internName("shared"), Value::integer(1));
    int data = 0;
    Value inst;
    bindNativeObject(e, inst, cls, &data);
    EXPECT_EQ(read(e, inst, "size"), 99);
    EXPECT_EQ(read(e, inst, "shared"), 1) << "through the own object's __proto__";
    objectPut(e, inst.asNative()->props, e.internName("own"), Value::integer(2));
    EXPECT_EQ(read(e, inst, "own"), 2);
    EXPECT_EQ(read(e, inst, "missing"), -999);
    Value p;
    ASSERT_TRUE(getProperty(e, inst, Engine::kProtoId, p));
    EXPECT_TRUE(p.sameAs(Value::object(inst.asNative()->props)));
    // The class object itself has no own object: the prototype answers.
    Value bare;
    bindNativeObject(e, bare, cls, nullptr);
    ASSERT_TRUE(getProperty(e, bare, Engine::kProtoId, p));
    EXPECT_TRUE(p.sameAs(Value::object(cls->prototype)));
    EXPECT_EQ(read(e, bare, "shared"), 1);
}

TEST(PropertyRead, KindClassesAndOwnPropertyObjects) {
    Engine e;
    bool found = true;
    EXPECT_EQ(read(e, Value::integer(1), "x", &found), -999);
    EXPECT_FALSE(found) << "no class: not found";
    NativeClass* strings = newNativeClass(e);
    objectPut(e, strings->prototype, e.internName("shared"), Value::integer(5));
    e.setKindClass(Kind::String, strings);
    Value s = newStringFromAnsi(e, "abc");
    EXPECT_EQ(read(e, s, "shared"), 5);
    EXPECT_EQ(propertyObject(e, s), nullptr) << "reading a name does not create the own object";
    Value p;
    ASSERT_TRUE(getProperty(e, s, Engine::kProtoId, p));
    ASSERT_TRUE(p.isObject());
    EXPECT_TRUE(p.sameAs(Value::object(propertyObject(e, s)))) << "__proto__ creates the own object";
    Value link;
    ASSERT_TRUE(objectGetOwn(p.asObject(), Engine::kProtoId, link));
    EXPECT_TRUE(link.sameAs(Value::object(strings->prototype)));
    objectPut(e, propertyObject(e, s), e.internName("mine"), Value::integer(6));
    EXPECT_EQ(read(e, s, "mine"), 6);
    // A kind class's hook gets a pointer to the Value.
    NativeClass* numbers = newNativeClass(e);
    numbers->accessProperty = [](Engine& en, NativeClass*, void* self, SymbolId member, int, Value& v) {
        if (member != en.internName("twice"))
            return 0;
        v = Value::integer(static_cast<Value*>(self)->asInteger() * 2);
        return 1;
    };
    e.setKindClass(Kind::Integer, numbers);
    EXPECT_EQ(read(e, Value::integer(21), "twice"), 42);
    EXPECT_EQ(read(e, Value::integer(21), "other"), -999);
}

TEST(ScopeWrite, OnlyExistingPropertiesAreUpdated) {
    Engine e;
    SymbolId x = e.internName("x");
    ObjectRecord* proto = newObject(e);
    objectPut(e, proto, x, Value::integer(1));
    ObjectRecord* o = newObject(e);
    objectPut(e, o, Engine::kProtoId, Value::object(proto));
    EXPECT_TRUE(putPropertyInScope(e, Value::object(o), x, Value::integer(2)));
    Value v;
    ASSERT_TRUE(objectGetOwn(o, x, v)) << "written on the object itself";
    EXPECT_EQ(v.asInteger(), 2);
    ASSERT_TRUE(objectGetOwn(proto, x, v));
    EXPECT_EQ(v.asInteger(), 1);
    EXPECT_FALSE(putPropertyInScope(e, Value::object(o), e.internName("y"), Value::integer(3)));
    EXPECT_FALSE(objectHas(e, o, e.internName("y")));
    EXPECT_FALSE(putPropertyInScope(e, Value::integer(3), x, Value::integer(1)));
}

TEST(ScopeWrite, NativesHookOwnObjectPrototype) {
    Engine e;
    NativeClass* cls = newNativeClass(e);
    cls->accessProperty = accessSize;
    SymbolId shared = e.internName("shared");
    objectPut(e, cls->prototype, shared, Value::integer(1));
    int data = 0;
    Value a, b;
    bindNativeObject(e, a, cls, &data);
    bindNativeObject(e, b, cls, &data);
    sizeWrites = 0;
    EXPECT_TRUE(putPropertyInScope(e, a, e.internName("size"), Value::integer(4)));
    EXPECT_EQ(sizeWrites, 1);
    EXPECT_TRUE(putPropertyInScope(e, a, shared, Value::integer(7)));
    EXPECT_EQ(read(e, b, "shared"), 7) << "the class prototype changed for every instance";
    EXPECT_FALSE(putPropertyInScope(e, a, e.internName("nope"), Value::integer(1)));
    ObjectRecord* replacement = newObject(e);
    objectPut(e, replacement, e.internName("r"), Value::integer(8));
    EXPECT_TRUE(putPropertyInScope(e, a, Engine::kProtoId, Value::object(replacement)));
    EXPECT_EQ(read(e, a, "r"), 8);
    EXPECT_EQ(read(e, b, "r"), -999);
    EXPECT_FALSE(putPropertyInScope(e, a, Engine::kProtoId, Value::integer(1)));
}

TEST(ScopeWrite, ArraysUseTheirOwnObject) {
    Engine e;
    Value arr = newArray(e);
    SymbolId tag = e.internName("tag");
    EXPECT_FALSE(putPropertyInScope(e, arr, tag, Value::integer(1)));
    ObjectRecord* own = ensurePropertyObject(e, arr);
    ASSERT_NE(own, nullptr);
    Value link;
    ASSERT_TRUE(objectGetOwn(own, Engine::kProtoId, link));
    EXPECT_TRUE(link.isNull()) << "no Array class: __proto__ is null";
    objectPut(e, own, tag, Value::integer(1));
    EXPECT_TRUE(putPropertyInScope(e, arr, tag, Value::integer(2)));
    Value v;
    ASSERT_TRUE(objectGetOwn(own, tag, v));
    EXPECT_EQ(v.asInteger(), 2);
    EXPECT_EQ(ensurePropertyObject(e, Value::integer(1)), nullptr);
}
