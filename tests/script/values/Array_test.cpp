// Arrays: holes and length, bucket order, shifting, copying, rebuilding, and
// a randomized comparison with a model that keeps 127 buckets of nodes.
#include <gtest/gtest.h>

#include <list>
#include <map>
#include <random>
#include <vector>

#include "script/values/Array.h"
#include "script/values/Object.h"

using namespace quill;

namespace {
std::vector<int64_t> ints(const std::vector<Value>& vs) {
    std::vector<int64_t> out;
    for (const Value& v : vs)
        out.push_back(v.asInteger());
    return out;
}
} // namespace

TEST(ArrayBuckets, ZeroAnd127ShareABucket) {
    Engine e;
    ArrayBody* a = newArrayBody(e);
    arraySet(e, a, 0, Value::integer(10));
    arraySet(e, a, 127, Value::integer(20));
    EXPECT_EQ(a->length, 128u);
    EXPECT_EQ(arrayElementCount(a), 2u);
    Value v;
    EXPECT_FALSE(arrayGet(a, 1, v)) << "a hole";
    EXPECT_EQ(arrayGatherIndices(a), (std::vector<uint64_t>{127, 0})) << "newest of the bucket first";
}

TEST(ArrayBuckets, GatherOrderIsBucketThenNewest) {
    Engine e;
    ArrayBody* a = newArrayBody(e);
    for (int64_t i = 0; i < 300; ++i)
        arrayPush(e, a, Value::integer(i));
    std::vector<uint64_t> order = arrayGatherIndices(a);
    ASSERT_EQ(order.size(), 300u);
    EXPECT_EQ(order[0], 254u);
    EXPECT_EQ(order[1], 127u);
    EXPECT_EQ(order[2], 0u);
    EXPECT_EQ(order[3], 255u);
    // Replacing in place keeps the position; adding anew moves to the front.
    arraySet(e, a, 127, Value::integer(-1));
    EXPECT_EQ(arrayGatherIndices(a)[1], 127u);
    arrayRemove(e, a, 0);
    arrayAdd(e, a, 0, Value::integer(-2));
    EXPECT_EQ(arrayGatherIndices(a)[0], 0u);
}

TEST(ArraySparse, FarIndexCostsOneElement) {
    Engine e;
    ArrayBody* a = newArrayBody(e);
    arraySet(e, a, 1000000, Value::integer(1));
    EXPECT_EQ(a->length, 1000001u);
    EXPECT_EQ(arrayElementCount(a), 1u);
    EXPECT_LT(arrayDenseCapacity(a), 1000u);
    arraySet(e, a, uint64_t(1) << 40, Value::integer(2));
    EXPECT_EQ(a->length, (uint64_t(1) << 40) + 1);
    Value v;
    ASSERT_TRUE(arrayGet(a, uint64_t(1) << 40, v));
    EXPECT_EQ(v.asInteger(), 2);
    // Filling from 0 eventually moves far elements into the dense part.
    for (int64_t i = 0; i < 1000; ++i)
        arraySet(e, a, static_cast<uint64_t>(i), Value::integer(i));
    ASSERT_TRUE(arrayGet(a, 1000000, v));
    EXPECT_EQ(v.asInteger(), 1);
    EXPECT_EQ(arrayElementCount(a), 1002u);
}

TEST(ArrayReserve, TakesTheCountAndStillGrows) {
    Engine e;
    ArrayBody* a = newArrayBody(e);
    arrayReserve(e, a, 100000);
    EXPECT_GE(arrayDenseCapacity(a), 100000u);
    EXPECT_LT(arrayDenseCapacity(a), 115000u) << "not rounded up to a power of two";
    for (int64_t i = 0; i <= 100000; ++i)
        arrayAdd(e, a, uint64_t(i), Value::integer(i));
    EXPECT_TRUE(arrayIsCompact(a));
    Value v;
    ASSERT_TRUE(arrayGet(a, 100000, v));
    EXPECT_EQ(v.asInteger(), 100000);
    EXPECT_EQ(arrayElementCount(a), 100001u);
}

TEST(ArrayShift, RemoveWithShiftAndShiftUp) {
    Engine e;
    ArrayBody* a = newArrayBody(e);
    for (int64_t i = 0; i < 5; ++i)
        arrayPush(e, a, Value::integer(i * 10));
    arrayRemoveShift(e, a, 1);
    EXPECT_EQ(a->length, 4u);
    Value v;
    ASSERT_TRUE(arrayGet(a, 1, v));
    EXPECT_EQ(v.asInteger(), 20);
    EXPECT_FALSE(arrayGet(a, 4, v));
    arrayRemoveShift(e, a, 10);
    EXPECT_EQ(a->length, 4u) << "beyond the length nothing moves";
    arrayShiftUp(e, a, 2);
    EXPECT_EQ(a->length, 6u);
    EXPECT_FALSE(arrayGet(a, 0, v));
    ASSERT_TRUE(arrayGet(a, 2, v));
    EXPECT_EQ(v.asInteger(), 0);
    ASSERT_TRUE(arrayGet(a, 5, v));
    EXPECT_EQ(v.asInteger(), 40);
}

TEST(ArrayCopy, OffsetsAndRebuild) {
    Engine e;
    ArrayBody* src = newArrayBody(e);
    arraySet(e, src, 0, Value::integer(1));
    arraySet(e, src, 2, Value::integer(3));
    src->length = 4; // a trailing hole counts
    ArrayBody* dst = newArrayBody(e);
    arrayPush(e, dst, Value::integer(9));
    arrayCopy(e, dst, src, 1);
    EXPECT_EQ(dst->length, 5u);
    Value v;
    ASSERT_TRUE(arrayGet(dst, 3, v));
    EXPECT_EQ(v.asInteger(), 3);
    EXPECT_FALSE(arrayGet(dst, 2, v));
    arrayRebuild(e, dst, {Value::integer(7), Value::integer(8)});
    EXPECT_EQ(dst->length, 2u);
    EXPECT_EQ(ints(arrayGather(dst)), (std::vector<int64_t>{7, 8}));
}

// The model: 127 buckets of nodes, new nodes at the head, as a literal
// reading of the sparse array's rules.
TEST(ArrayModel, RandomOperationsMatchBucketLists) {
    Engine e;
    std::mt19937_64 rng(99);
    ArrayBody* a = newArrayBody(e);
    std::vector<std::list<std::pair<uint64_t, int64_t>>> buckets(127);
    auto find = [&](uint64_t i) {
        auto& b = buckets[i % 127];
        for (auto it = b.begin(); it != b.end(); ++it)
            if (it->first == i)
                return std::make_pair(&b, it);
        return std::make_pair(&b, b.end());
    };
    for (int step = 0; step < 20000; ++step) {
        uint64_t i = rng() % 4 == 0 ? rng() % 100000 : rng() % 600;
        int64_t v = static_cast<int64_t>(rng() % 1000);
        switch (rng() % 4) {
        case 0: { // set (replace in place)
            arraySet(e, a, i, Value::integer(v));
            auto [b, it] = find(i);
            if (it != b->end())
                it->second = v;
            else
                b->push_front({i, v});
            break;
        }
        case 1: { // remove + add
            arrayRemove(e, a, i);
            arrayAdd(e, a, i, Value::integer(v));
            auto [b, it] = find(i);
            if (it != b->end())
                b->erase(it);
            b->push_front({i, v});
            break;
        }
        case 2: {
            bool had = arrayRemove(e, a, i);
            auto [b, it] = find(i);
            ASSERT_EQ(had, it != b->end());
            if (had)
                b->erase(it);
            break;
        }
        default: {
            Value got;
            bool has = arrayGet(a, i, got);
            auto [b, it] = find(i);
            ASSERT_EQ(has, it != b->end());
            if (has) {
                ASSERT_EQ(got.asInteger(), it->second);
            }
        }
        }
    }
    std::vector<uint64_t> want;
    for (auto& b : buckets)
        for (auto& n : b)
            want.push_back(n.first);
    EXPECT_EQ(arrayGatherIndices(a), want);
}

// Shifting must give the same contents and bucket order whether the
// elements sit near 0 or far away.
TEST(ArrayShift, DenseAndSparseLayoutsAgree) {
    Engine e;
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        ArrayBody* near = newArrayBody(e);
        ArrayBody* far = newArrayBody(e);
        // `far` carries one element at a huge index, which keeps the sparse
        // table in use; the comparison ignores it.
        constexpr uint64_t kFar = uint64_t(1) << 50;
        arraySet(e, far, kFar, Value::integer(-1));
        for (int i = 0; i < 40; ++i) {
            uint64_t idx = rng() % 60;
            Value v = Value::integer(rng() % 100);
            arraySet(e, near, idx, v);
            arraySet(e, far, idx, v);
        }
        for (int step = 0; step < 10; ++step) {
            if (rng() % 2) {
                uint64_t idx = rng() % 70;
                arrayRemoveShift(e, near, idx);
                if (idx < near->length + 1)
                    arrayRemoveShift(e, far, idx);
            } else {
                uint64_t n = 1 + rng() % 3;
                arrayShiftUp(e, near, n);
                arrayShiftUp(e, far, n);
            }
        }
        std::vector<uint64_t> a = arrayGatherIndices(near), b;
        for (uint64_t i : arrayGatherIndices(far))
            if (i < (uint64_t(1) << 49))
                b.push_back(i);
        ASSERT_EQ(a, b) << "round " << round;
        for (uint64_t i : a) {
            Value x, y;
            ASSERT_TRUE(arrayGet(near, i, x));
            ASSERT_TRUE(arrayGet(far, i, y));
            ASSERT_EQ(x.asInteger(), y.asInteger());
        }
    }
}

// Arrays filled in index order stay compact; whatever happens to them, they
// report the same elements in the same bucket order as an array that was
// bucketed from the start (one far element keeps it so; it is ignored).
TEST(ArrayCompact, SameOrderAsBucketedForm) {
    Engine e;
    std::mt19937 rng(11);
    constexpr uint64_t kFar = uint64_t(1) << 50;
    int stayedCompact = 0;
    for (int round = 0; round < 200; ++round) {
        ArrayBody* compact = newArrayBody(e);
        ArrayBody* bucketed = newArrayBody(e);
        arraySet(e, bucketed, kFar, Value::integer(-1));
        ASSERT_FALSE(arrayIsCompact(bucketed));
        int steps = 50 + int(rng() % 400);
        for (int step = 0; step < steps; ++step) {
            Value v = Value::integer(step);
            uint64_t length = compact->length;
            uint32_t op = rng() % 100;
            if (op < 70) { // append, sometimes leaving a gap
                uint64_t at = length + (rng() % 8 == 0 ? rng() % 40 : 0);
                arraySet(e, compact, at, v);
                arraySet(e, bucketed, at, v);
            } else if (op < 78 && length) { // remove somewhere
                uint64_t at = rng() % length;
                ASSERT_EQ(arrayRemove(e, compact, at), arrayRemove(e, bucketed, at));
            } else if (op < 84 && length) {
                uint64_t at = rng() % length;
                arrayRemoveShift(e, compact, at);
                arrayRemoveShift(e, bucketed, at);
            } else if (op < 88) {
                uint64_t n = 1 + rng() % 3;
                arrayShiftUp(e, compact, n);
                arrayShiftUp(e, bucketed, n);
            } else if (op < 96 && length) { // re-add: the element becomes the newest
                uint64_t at = rng() % 4 == 0 ? rng() % length : length - 1;
                arrayAdd(e, compact, at, v);
                arrayAdd(e, bucketed, at, v);
            } else if (length) { // replace in place
                uint64_t at = rng() % length;
                arraySet(e, compact, at, v);
                arraySet(e, bucketed, at, v);
            }
        }
        stayedCompact += arrayIsCompact(compact);
        std::vector<uint64_t> want;
        for (uint64_t i : arrayGatherIndices(bucketed))
            if (i < (uint64_t(1) << 49))
                want.push_back(i);
        std::vector<uint64_t> got = arrayGatherIndices(compact);
        ASSERT_EQ(got, want) << "round " << round;
        for (uint64_t i : got) {
            Value x, y;
            ASSERT_TRUE(arrayGet(compact, i, x));
            ASSERT_TRUE(arrayGet(bucketed, i, y));
            ASSERT_EQ(x.asInteger(), y.asInteger());
        }
        ASSERT_EQ(arrayElementCount(compact) + 1, arrayElementCount(bucketed));
    }
    EXPECT_GT(stayedCompact, 0) << "the walk keeps some arrays compact";
    EXPECT_LT(stayedCompact, 200) << "and turns others bucketed";
}

TEST(ArrayCompact, SmallArraysAndObjectsAreSmall) {
    Engine e;
    auto bytes = [](const void* block) { return Heap::blockSize(block) + Heap::kHeaderSize; };
    ArrayBody* a = newArrayBody(e);
    arrayAdd(e, a, 0, Value::integer(1));
    arrayAdd(e, a, 1, Value::integer(2));
    ASSERT_TRUE(arrayIsCompact(a));
    size_t arrayBytes = bytes(a) + bytes(a->storage);
    EXPECT_LT(arrayBytes, 100u);
    // An object with room for two properties is one block holding them.
    ObjectRecord* o = newObject(e, 2);
    objectPut(e, o, e.internName("x"), Value::integer(1));
    objectPut(e, o, e.internName("y"), Value::integer(2));
    EXPECT_EQ(o->aids, nullptr);
    EXPECT_TRUE(o->hasInlineSlots());
    EXPECT_LE(bytes(o), 64u);
    // A hundred thousand compact pairs survive a collection intact.
    ArrayBody* outer = newArrayBody(e);
    e.global(e.internName("keep")) = Value::array(outer);
    for (int64_t i = 0; i < 100000; ++i) {
        ArrayBody* pair = newArrayBody(e);
        arrayPush(e, pair, Value::integer(i));
        arrayPush(e, pair, Value::integer(i + 1));
        arrayPush(e, outer, Value::array(pair));
    }
    e.collectGarbage();
    Value v, w;
    ASSERT_TRUE(arrayGet(outer, 99999, v));
    ASSERT_TRUE(arrayGet(v.asArray(), 1, w));
    EXPECT_EQ(w.asInteger(), 100000);
}

// A block lent to a sort holds the elements in bucket order; the array still
// reads as itself, a change gives it a copy of its own in index order, and a
// loan ended with the scratch puts the block back as it was.
TEST(ArrayLoan, ReadsChangesAndReturn) {
    Engine e;
    for (uint32_t n : {2u, 126u, 127u, 128u, 300u, 1000u}) {
        for (bool change : {false, true}) {
            ArrayBody* a = newArrayBody(e);
            for (uint32_t i = 0; i < n; ++i)
                arrayPush(e, a, Value::integer(int64_t(i) * 3));
            std::vector<Value> gathered = arrayGather(a);
            std::vector<uint64_t> indices = arrayGatherIndices(a);
            std::vector<uint32_t> scratch(n);
            Value* block = arrayLend(a, scratch.data());
            ASSERT_NE(block, nullptr) << n;
            EXPECT_EQ(arrayLend(a, scratch.data()), nullptr) << "lent once at a time";
            EXPECT_EQ(arrayCompactSlot(a, 0), nullptr) << "the fast paths refuse a lent array";
            EXPECT_EQ(ints(std::vector<Value>(block, block + n)), ints(gathered)) << n;
            EXPECT_EQ(ints(arrayGather(a)), ints(gathered)) << n;
            EXPECT_EQ(arrayGatherIndices(a), indices) << n;
            Value v;
            for (uint32_t i = 0; i < n; ++i)
                ASSERT_TRUE(arrayGet(a, i, v) && v.asInteger() == int64_t(i) * 3) << n << " " << i;
            if (change) {
                arraySet(e, a, n - 1, Value::integer(-1));
                EXPECT_EQ(ints(std::vector<Value>(block, block + n)), ints(gathered)) << "the block keeps them";
                for (uint32_t i = 0; i + 1 < n; ++i)
                    ASSERT_EQ(arrayCompactSlot(a, i)->asInteger(), int64_t(i) * 3) << n << " " << i;
                EXPECT_EQ(arrayCompactSlot(a, n - 1)->asInteger(), -1);
                EXPECT_FALSE(arrayEndLoan(a, block, scratch.data()));
                e.gcFree(block);
            } else {
                EXPECT_TRUE(arrayEndLoan(a, block, scratch.data()));
                for (uint32_t i = 0; i < n; ++i)
                    ASSERT_EQ(arrayCompactSlot(a, i)->asInteger(), int64_t(i) * 3) << n << " " << i;
            }
            EXPECT_EQ(a->length, n);
            EXPECT_EQ(arrayElementCount(a), n);
        }
    }
}
