// Objects: lookup through __proto__, slot order and reuse, element access by
// position and name, enumeration in name-hash order, and a randomized
// comparison with a plain slot-array model of the same rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "script/values/Object.h"
#include "script/values/String.h"

using namespace quill;

namespace {

Value str(Engine& e, std::string_view s) { return newStringFromAnsi(e, s); }

int64_t get(Engine& e, ObjectRecord* o, std::string_view name) {
    Value v;
    if (!objectGet(e, o, e.internName(name), v))
        return -999;
    return v.isInteger() ? v.asInteger() : -1;
}

std::vector<std::string> names(Engine& e, ObjectRecord* o) {
    std::vector<std::string> out;
    Value v;
    for (uint64_t n = 0; objectNthName(e, o, n, v); ++n)
        out.push_back(stringToAnsi(v.asString()));
    return out;
}

} // namespace

TEST(ObjectLookup, FollowsTheProtoChain) {
    Engine e;
    ObjectRecord* base = newObject(e);
    ObjectRecord* mid = newObject(e);
    ObjectRecord* top = newObject(e);
    objectPut(e, base, e.internName("x"), Value::integer(1));
    objectPut(e, mid, Engine::kProtoId, Value::object(base));
    objectPut(e, top, Engine::kProtoId, Value::object(mid));
    EXPECT_EQ(get(e, top, "x"), 1);
    objectPut(e, mid, e.internName("x"), Value::integer(2));
    EXPECT_EQ(get(e, top, "x"), 2) << "the nearest object answers";
    EXPECT_EQ(get(e, top, "missing"), -999);
    Value out = Value::integer(5);
    EXPECT_FALSE(objectGet(e, top, e.internName("missing"), out));
    EXPECT_TRUE(out.isUndefined());
}

TEST(ObjectLookup, NonObjectProtoEndsTheChain) {
    Engine e;
    ObjectRecord* base = newObject(e);
    objectPut(e, base, e.internName("x"), Value::integer(1));
    ObjectRecord* o = newObject(e);
    objectPut(e, o, Engine::kProtoId, Value::object(base));
    EXPECT_EQ(get(e, o, "x"), 1);
    objectPut(e, o, Engine::kProtoId, Value::integer(3));
    EXPECT_EQ(get(e, o, "x"), -999);
    Value p;
    ASSERT_TRUE(objectGet(e, o, Engine::kProtoId, p));
    EXPECT_TRUE(p.isInteger()) << "__proto__ itself is an ordinary property";
}

TEST(ObjectLookup, CyclicChainEndsAsNotFound) {
    Engine e;
    ObjectRecord* a = newObject(e);
    ObjectRecord* b = newObject(e);
    ObjectRecord* c = newObject(e);
    objectPut(e, a, Engine::kProtoId, Value::object(b));
    objectPut(e, b, Engine::kProtoId, Value::object(c));
    objectPut(e, c, Engine::kProtoId, Value::object(a));
    objectPut(e, c, e.internName("deep"), Value::integer(9));
    EXPECT_EQ(get(e, a, "deep"), 9);
    EXPECT_EQ(get(e, a, "nowhere"), -999);
    objectPut(e, a, Engine::kProtoId, Value::object(a));
    EXPECT_EQ(get(e, a, "nowhere"), -999);
}

TEST(ObjectLookup, PositionZeroStoreActsAsProto) {
    Engine e;
    ObjectRecord* holder = newObject(e);
    objectPut(e, holder, e.internName("only"), Value::integer(77));
    ObjectRecord* o = newObject(e);
    objectPutByKey(e, o, Value::integer(0), Value::object(holder));
    ASSERT_EQ(o->slotCount, 1u);
    EXPECT_EQ(o->slots[0].id, 0) << "the new slot carries the id of __proto__";
    EXPECT_EQ(get(e, o, "only"), 77);
}

TEST(ObjectLookup, LastObjectProtoSlotLinks) {
    Engine e;
    ObjectRecord* first = newObject(e);
    ObjectRecord* second = newObject(e);
    objectPut(e, first, e.internName("n"), Value::integer(1));
    objectPut(e, second, e.internName("n"), Value::integer(2));
    ObjectRecord* o = newObject(e);
    objectPutByKey(e, o, Value::integer(0), Value::object(first));
    objectPutByKey(e, o, Value::integer(2), Value::object(second));
    objectPutByKey(e, o, Value::integer(3), Value::integer(5));
    EXPECT_EQ(o->slotCount, 4u);
    EXPECT_EQ(get(e, o, "n"), 2) << "the last __proto__ slot holding an Object continues the chain";
    Value p;
    ASSERT_TRUE(objectGet(e, o, Engine::kProtoId, p));
    EXPECT_TRUE(p.sameAs(Value::object(first))) << "reading __proto__ answers the first such slot";
}

TEST(ObjectSlots, CreationOrderAndDeletedSlotReuse) {
    Engine e;
    ObjectRecord* o = newObject(e);
    for (const char* n : {"a", "b", "c", "d"})
        objectPut(e, o, e.internName(n), Value::integer(n[0]));
    EXPECT_TRUE(objectDelete(e, o, e.internName("b")));
    EXPECT_TRUE(objectDelete(e, o, e.internName("c")));
    EXPECT_FALSE(objectDelete(e, o, e.internName("c")));
    EXPECT_EQ(o->slots[1].id, -1);
    EXPECT_TRUE(o->slots[1].value().isUndefined());
    objectPut(e, o, e.internName("x"), Value::integer(1));
    EXPECT_EQ(o->slots[2].id, static_cast<int32_t>(e.internName("x"))) << "the last deleted slot is reused";
    objectPut(e, o, e.internName("y"), Value::integer(2));
    EXPECT_EQ(o->slots[1].id, static_cast<int32_t>(e.internName("y")));
    objectPut(e, o, e.internName("z"), Value::integer(3));
    EXPECT_EQ(o->slotCount, 5u);
    EXPECT_EQ(o->slots[4].id, static_cast<int32_t>(e.internName("z")));
}

TEST(ObjectKeys, PositionAndName) {
    Engine e;
    ObjectRecord* o = newObject(e);
    objectPut(e, o, e.internName("a"), Value::integer(10));
    objectPut(e, o, e.internName("b"), Value::integer(20));
    EXPECT_EQ(objectGetByKey(e, o, Value::integer(0)).asInteger(), 10);
    EXPECT_EQ(objectGetByKey(e, o, Value::integer(1)).asInteger(), 20);
    EXPECT_TRUE(objectGetByKey(e, o, Value::integer(2)).isUndefined());
    EXPECT_TRUE(objectGetByKey(e, o, Value::integer(-1)).isUndefined());
    EXPECT_EQ(objectGetByKey(e, o, str(e, "b")).asInteger(), 20);
    EXPECT_TRUE(objectGetByKey(e, o, str(e, "never-interned-name")).isUndefined());
    EXPECT_TRUE(objectGetByKey(e, o, Value::floating(0)).isUndefined());
    // Names go through the hash and append.
    objectPutByKey(e, o, str(e, "c"), Value::integer(30));
    EXPECT_EQ(get(e, o, "c"), 30);
    EXPECT_EQ(o->slotCount, 3u);
    objectPutByKey(e, o, str(e, "a"), Value::integer(11));
    EXPECT_EQ(get(e, o, "a"), 11);
    // A position beyond the end fills with empty __proto__ slots.
    objectPutByKey(e, o, Value::integer(6), Value::integer(60));
    EXPECT_EQ(o->slotCount, 7u);
    EXPECT_EQ(o->slots[4].id, 0);
    EXPECT_EQ(o->slots[6].value().asInteger(), 60);
    // Negative positions are ignored; absurd ones are refused.
    objectPutByKey(e, o, Value::integer(-3), Value::integer(1));
    EXPECT_EQ(o->slotCount, 7u);
    EXPECT_THROW(objectPutByKey(e, o, Value::integer(int64_t(1) << 40), Value::integer(1)), RuntimeError);
    EXPECT_STREQ(e.errorText, "Runtime error: Out of memory");
    EXPECT_EQ(o->slotCount, 7u);
    // Position writes keep the slot's name.
    objectPutByKey(e, o, Value::integer(1), Value::integer(21));
    EXPECT_EQ(get(e, o, "b"), 21);
    // Delete by key, then the deleted slot reads Undefined by position.
    objectDeleteByKey(e, o, str(e, "b"));
    EXPECT_TRUE(objectGetByKey(e, o, Value::integer(1)).isUndefined());
    EXPECT_EQ(get(e, o, "b"), -999);
    objectDeleteByKey(e, o, Value::integer(0));
    EXPECT_EQ(get(e, o, "a"), -999);
    // A deleted slot written by position still reads Undefined.
    objectPutByKey(e, o, Value::integer(0), Value::integer(5));
    EXPECT_TRUE(objectGetByKey(e, o, Value::integer(0)).isUndefined());
}

TEST(ObjectEnumeration, FollowsTheNameHash) {
    Engine e;
    ObjectRecord* o = newObject(e);
    std::vector<std::string> created;
    for (int i = 0; i < 40; ++i) {
        created.push_back("name" + std::to_string(i));
        objectPut(e, o, e.internName(created.back()), Value::integer(i));
    }
    std::vector<std::string> seen = names(e, o);
    ASSERT_EQ(seen.size(), created.size());
    // Bucket order: non-decreasing bucket numbers.
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_LE(nameHash(seen[i - 1]) & 0x7F, nameHash(seen[i]) & 0x7F) << seen[i - 1] << " " << seen[i];
    EXPECT_NE(seen, created) << "enumeration is not creation order";
    std::vector<std::string> a = seen, b = created;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
    // A name added after the hash exists is enumerated too; a deleted one is not.
    objectPut(e, o, e.internName("late"), Value::integer(1));
    objectDelete(e, o, e.internName("name3"));
    seen = names(e, o);
    EXPECT_EQ(seen.size(), created.size());
    EXPECT_NE(std::find(seen.begin(), seen.end(), "late"), seen.end());
    EXPECT_EQ(std::find(seen.begin(), seen.end(), "name3"), seen.end());
    Value v;
    EXPECT_FALSE(objectNthName(e, o, seen.size(), v));
}

TEST(ObjectEnumeration, SameBucketNewestFirst) {
    Engine e;
    // Find two names that share a bucket.
    std::string first = "k0", second;
    for (int i = 1; second.empty(); ++i) {
        std::string n = "k" + std::to_string(i);
        if ((nameHash(n) & 0x7F) == (nameHash(first) & 0x7F))
            second = n;
    }
    ObjectRecord* o = newObject(e);
    objectPut(e, o, e.internName(first), Value::integer(1));
    objectPut(e, o, e.internName(second), Value::integer(2));
    EXPECT_EQ(names(e, o), (std::vector<std::string>{second, first}));
}

TEST(NameHash, MatchesTheDefinition) {
    EXPECT_EQ(nameHash(""), 0u);
    EXPECT_EQ(nameHash("a"), 97u);
    // h = (97>>7) ^ (97>>16) ^ 'b' ^ (97<<5)
    EXPECT_EQ(nameHash("ab"), (0u ^ 0u ^ 98u ^ (97u << 5)));
}

// ---------------------------------------------------------------------------
// Randomized comparison with a plain slot array that follows the rules
// literally (linear scans, last deleted slot reused).

namespace {
struct ModelSlot {
    int32_t id;
    int64_t value; // -1: Undefined
};

struct Model {
    std::vector<ModelSlot> slots;
    int64_t find(int32_t id) const {
        for (size_t i = 0; i < slots.size(); ++i)
            if (slots[i].id == id)
                return static_cast<int64_t>(i);
        return -1;
    }
    void put(int32_t id, int64_t v) {
        int64_t s = find(id);
        if (s >= 0) {
            slots[s].value = v;
            return;
        }
        int64_t reuse = -1;
        for (size_t i = 0; i < slots.size(); ++i)
            if (slots[i].id == -1)
                reuse = static_cast<int64_t>(i);
        if (reuse >= 0)
            slots[reuse] = {id, v};
        else
            slots.push_back({id, v});
    }
    bool del(int32_t id) {
        int64_t s = find(id);
        if (s < 0)
            return false;
        slots[s] = {-1, -1};
        return true;
    }
};
} // namespace

TEST(ObjectModel, RandomOperationsMatchLinearScan) {
    Engine e;
    std::mt19937 rng(12345);
    std::vector<SymbolId> ids;
    for (int i = 0; i < 300; ++i)
        ids.push_back(e.internName("p" + std::to_string(i)));
    for (int round = 0; round < 4; ++round) {
        ObjectRecord* o = newObject(e);
        Model m;
        int limit = round == 0 ? 6 : 300; // small objects scan, large ones index
        for (int step = 0; step < 6000; ++step) {
            SymbolId id = ids[rng() % limit];
            int op = rng() % 10;
            if (op < 5) {
                int64_t v = rng() % 1000;
                objectPut(e, o, id, Value::integer(v));
                m.put(static_cast<int32_t>(id), v);
            } else if (op < 8) {
                EXPECT_EQ(objectDelete(e, o, id), m.del(static_cast<int32_t>(id)));
            } else {
                Value v;
                bool found = objectGetOwn(o, id, v);
                int64_t s = m.find(static_cast<int32_t>(id));
                ASSERT_EQ(found, s >= 0);
                if (found) {
                    EXPECT_EQ(v.asInteger(), m.slots[s].value);
                }
            }
        }
        ASSERT_EQ(o->slotCount, m.slots.size());
        for (size_t i = 0; i < m.slots.size(); ++i)
            ASSERT_EQ(o->slots[i].id, m.slots[i].id) << "slot " << i;
        // Every live name is enumerated exactly once.
        size_t live = std::count_if(m.slots.begin(), m.slots.end(), [](const ModelSlot& s) { return s.id >= 0; });
        EXPECT_EQ(objectNameCount(e, o), live);
    }
}

TEST(ObjectModel, ThousandsOfSlotsKeepPositions) {
    Engine e;
    ObjectRecord* o = newObject(e);
    for (int i = 0; i < 5000; ++i)
        objectPut(e, o, e.internName("f" + std::to_string(i)), Value::integer(i));
    for (int i = 0; i < 5000; i += 7)
        ASSERT_EQ(get(e, o, "f" + std::to_string(i)), i);
    EXPECT_EQ(objectGetByKey(e, o, Value::integer(4321)).asInteger(), 4321);
    EXPECT_EQ(objectGetByKey(e, o, str(e, "f4999")).asInteger(), 4999);
}
