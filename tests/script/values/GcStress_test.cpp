// Collections in the middle of building and changing every kind of record:
// whatever is reachable must read back intact afterwards. Debug builds
// poison reclaimed memory, so a record the marker misses shows up here.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "script/values/Array.h"
#include "script/values/CallRecords.h"
#include "script/values/Native.h"
#include "script/values/Object.h"
#include "script/values/Property.h"
#include "script/values/String.h"

using namespace quill;

namespace {
std::string text(const Value& v) { return v.isString() ? stringToAnsi(v.asString()) : "<not a string>"; }
} // namespace

TEST(GcStress, ReachableRecordsSurviveRepeatedCollections) {
    Engine e;
    std::mt19937 rng(2024);
    SymbolId rootId = e.internName("root");
    ObjectRecord* root = newObject(e);
    e.global(rootId) = Value::object(root);
    // Expected contents: property name -> text stored under it.
    std::map<std::string, std::string> expected;
    Value arr = newArray(e);
    objectPut(e, root, e.internName("arr"), arr);
    std::map<uint64_t, std::string> expectedElems;

    for (int round = 0; round < 30; ++round) {
        for (int i = 0; i < 400; ++i) {
            std::string name = "p" + std::to_string(rng() % 600);
            int op = rng() % 6;
            if (op < 3) {
                std::string t = "v" + std::to_string(rng());
                objectPut(e, root, e.internName(name), newStringFromAnsi(e, t));
                expected[name] = t;
            } else if (op == 3) {
                objectDelete(e, root, e.internName(name));
                expected.erase(name);
            } else if (op == 4) {
                std::string t = "k" + std::to_string(rng());
                objectPutByKey(e, root, newStringFromAnsi(e, name), newStringFromAnsi(e, t));
                expected[name] = t;
            } else {
                uint64_t idx = rng() % 3 == 0 ? (uint64_t(1) << 33) + rng() % 1000 : rng() % 2000;
                std::string t = "e" + std::to_string(idx);
                arraySet(e, arr.asArray(), idx, newStringFromAnsi(e, t));
                expectedElems[idx] = t;
            }
            newObject(e); // garbage between the live records
            newStringFromAnsi(e, "garbage");
        }
        Value n;
        objectGetByKey(e, root, Value::integer(0)); // keeps the name hash in use
        objectNthName(e, root, 0, n);
        e.collectGarbage();
        for (const auto& [name, t] : expected) {
            Value v;
            ASSERT_TRUE(objectGet(e, root, e.internName(name), v)) << name;
            ASSERT_EQ(text(v), t) << name;
            ASSERT_EQ(text(objectGetByKey(e, root, newStringFromAnsi(e, name))), t) << name;
        }
        ASSERT_EQ(objectNameCount(e, root), expected.size() + 1); // + "arr"
        for (const auto& [idx, t] : expectedElems) {
            Value v;
            ASSERT_TRUE(arrayGet(arr.asArray(), idx, v));
            ASSERT_EQ(text(v), t);
        }
    }
}

TEST(GcStress, OwnPropertyObjectsAndNativesSurvive) {
    Engine e;
    NativeClass* cls = newNativeClass(e);
    e.setKindClass(Kind::String, newNativeClass(e));
    e.setKindClass(Kind::Array, newNativeClass(e));
    SymbolId tag = e.internName("tag");
    objectPut(e, cls->prototype, tag, newStringFromAnsi(e, "from prototype"));
    int data = 0;
    Value native;
    bindNativeObject(e, native, cls, &data);
    Value s = newStringFromAnsi(e, "text");
    Value a = newArray(e);
    Value f = newFunction(e, nullptr);
    for (Value* v : {&s, &a, &f})
        objectPut(e, ensurePropertyObject(e, *v), tag, newStringFromAnsi(e, "own"));
    PinnedValue* pinned = e.pin(native);
    ValueRoot rs(e, s), ra(e, a), rf(e, f);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 20000; ++j)
            newStringFromAnsi(e, "garbage garbage garbage");
        e.collectGarbage();
        Value v;
        ASSERT_TRUE(getProperty(e, native, tag, v));
        EXPECT_EQ(text(v), "from prototype");
        for (Value* x : {&s, &a, &f}) {
            ASSERT_TRUE(objectGetOwn(propertyObject(e, *x), tag, v));
            EXPECT_EQ(text(v), "own");
        }
        EXPECT_EQ(text(s), "text");
    }
    e.unpin(pinned);
}

TEST(GcStress, DeadStringsTakeTheirPropertyObjectsAlong) {
    // A string's own property object lives while the string does and goes
    // with it; a new string made where a dead one was has none.
    Engine e;
    static int gone = 0;
    gone = 0;
    NativeClass* cls = newNativeClass(e);
    cls->destroyData = [](NativeClass*, void*) { ++gone; };
    e.setKindClass(Kind::String, newNativeClass(e));
    SymbolId tag = e.internName("tag");
    int data = 0;
    Value kept = newStringFromAnsi(e, "kept");
    Value dead = newStringFromAnsi(e, "dead");
    ValueRoot root(e, kept);
    for (Value* s : {&kept, &dead}) {
        Value held;
        bindNativeObject(e, held, cls, &data);
        objectPut(e, ensurePropertyObject(e, *s), tag, held);
    }
    const StringBody* deadBody = dead.asString();
    e.collectGarbage();
    EXPECT_EQ(gone, 1) << "the dead string's object and what it held were freed";
    Value v;
    ASSERT_TRUE(getProperty(e, kept, tag, v));
    EXPECT_TRUE(v.isNative());
    bool reused = false;
    for (int i = 0; i < 100000 && !reused; ++i) {
        Value fresh = newStringFromAnsi(e, "anew");
        if (fresh.asString() != deadBody)
            continue;
        reused = true;
        EXPECT_EQ(propertyObject(e, fresh), nullptr);
        EXPECT_FALSE(getProperty(e, fresh, tag, v));
        objectPut(e, ensurePropertyObject(e, fresh), tag, Value::integer(3));
        e.collectGarbage(); // fresh is garbage again
    }
    EXPECT_TRUE(reused);
    EXPECT_EQ(e.stringProps.size(), 1u) << "only the live string has an entry";
    ASSERT_TRUE(getProperty(e, kept, tag, v));
    EXPECT_TRUE(v.isNative());
}
