// The collected heap and the collector: size classes, splitting and merging,
// finalisers exactly once, roots, long chains, collection only on request.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "script/values/Array.h"
#include "script/values/CallRecords.h"
#include "script/values/Native.h"
#include "script/values/Object.h"
#include "script/values/Property.h"
#include "script/values/String.h"

using namespace quill;

TEST(HeapSizes, ClassesAndRounding) {
    // Small blocks: a list per multiple of 8; larger: a list per power of two.
    EXPECT_EQ(Heap::sizeClass(8), 0);
    EXPECT_EQ(Heap::sizeClass(16), 1);
    EXPECT_EQ(Heap::sizeClass(Heap::kSmallMax), Heap::kSmallLists - 1);
    EXPECT_EQ(Heap::sizeClass(Heap::kSmallMax + 8), Heap::kSmallLists);
    EXPECT_EQ(Heap::sizeClass(1024), Heap::kSmallLists + 1);
    EXPECT_EQ(Heap::sizeClass(size_t(1) << 30), Heap::kSizeClasses - 1) << "capped at the last list";
    // Small requests round to 8 bytes, larger ones to an eighth of their power of two.
    EXPECT_EQ(Heap::roundRequest(1), 8u);
    EXPECT_EQ(Heap::roundRequest(9), 16u);
    EXPECT_EQ(Heap::roundRequest(65), 72u);
    EXPECT_EQ(Heap::roundRequest(513), 576u);
    EXPECT_EQ(Heap::roundRequest(50000), 53248u);
    // A chunk of its own ends at a page boundary.
    EXPECT_EQ(Heap::roundRequest((size_t(1) << 20) + 1) + Heap::kChunkHeadSize + Heap::kHeaderSize,
              (size_t(1) << 20) + 4096);
}

TEST(HeapAlloc, SplitsChunksAndReusesFreedBlocks) {
    Heap h;
    void* a = h.alloc(20);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Heap::blockSize(a), 24u);
    EXPECT_EQ(h.chunkCount(), 1u);
    EXPECT_EQ(h.bytesFromSystem(), Heap::kChunkSize);
    EXPECT_EQ(h.allocatedSinceSweep(), 24u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 8, 0u);
    void* b = h.alloc(32);
    EXPECT_NE(a, b);
    h.free(b);
    EXPECT_EQ(h.alloc(30), b) << "a freed block is reused at once";
    // A request larger than a chunk gets a chunk of its own.
    void* big = h.alloc(200000);
    ASSERT_NE(big, nullptr);
    EXPECT_GE(Heap::blockSize(big), 200000u);
    EXPECT_EQ(h.chunkCount(), 2u);
    EXPECT_TRUE(h.ownsBlock(big));
    EXPECT_FALSE(h.ownsBlock(static_cast<char*>(big) + 8));
    EXPECT_EQ(h.alloc(Heap::kMaxRequest + 1), nullptr);
}

TEST(HeapAlloc, ReallocKeepsContents) {
    Heap h;
    auto* p = static_cast<char*>(h.alloc(16));
    for (int i = 0; i < 16; ++i)
        p[i] = static_cast<char>(i);
    EXPECT_EQ(h.realloc(p, 10), p) << "large enough: kept";
    auto* q = static_cast<char*>(h.realloc(p, 100));
    ASSERT_NE(q, p);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(q[i], static_cast<char>(i));
}

TEST(HeapAlloc, LargeChunksAreWholeAndReused) {
    // Chunks of a megabyte and more come from the system in one piece: every
    // byte is writable, a sweep makes the block reusable, and the heap
    // gives it back when it goes.
    Heap h;
    const size_t size = 3u << 20;
    auto* big = static_cast<unsigned char*>(h.alloc(size));
    ASSERT_NE(big, nullptr);
    EXPECT_GE(h.bytesFromSystem(), size);
    for (size_t i = 0; i < size; i += 4096)
        big[i] = static_cast<unsigned char>(i >> 12);
    big[size - 1] = 0xAB;
    EXPECT_EQ(big[4096 * 5], 5u);
    EXPECT_TRUE(h.ownsBlock(big));
    h.sweep(); // nothing marked: the block is free again
    size_t chunks = h.chunkCount();
    void* again = h.alloc(size);
    EXPECT_EQ(again, big) << "the swept block serves the next request of its size";
    EXPECT_EQ(h.chunkCount(), chunks);
    // A second large block needs a chunk of its own.
    auto* other = static_cast<unsigned char*>(h.alloc(size / 2 + 1));
    ASSERT_NE(other, nullptr);
    other[size / 2] = 1;
    EXPECT_EQ(h.chunkCount(), chunks + 1);
    // Both die; the sweep keeps one chunk as a spare. A request larger than
    // the spare gives it back before taking a chunk of its own.
    h.sweep();
    size_t spareKept = h.bytesFromSystem();
    void* larger = h.alloc(2 * size);
    ASSERT_NE(larger, nullptr);
    EXPECT_LT(h.bytesFromSystem(), spareKept + 2 * size) << "the spare too small for it went back";
}

TEST(HeapAlloc, LargeBlocksGrowAndGoBackWhole) {
    // A block with a chunk of its own grows keeping its contents without
    // the old chunk staying behind, and freeing it returns the chunk.
    Heap h;
    size_t before = h.bytesFromSystem();
    const size_t size = 1u << 20;
    auto* big = static_cast<unsigned char*>(h.alloc(size));
    ASSERT_NE(big, nullptr);
    for (size_t i = 0; i < size; i += 4096)
        big[i] = static_cast<unsigned char>(i >> 12);
    auto* grown = static_cast<unsigned char*>(h.realloc(big, 4 * size));
    ASSERT_NE(grown, nullptr);
    for (size_t i = 0; i < size; i += 4096)
        ASSERT_EQ(grown[i], static_cast<unsigned char>(i >> 12));
    grown[4 * size - 1] = 1;
    EXPECT_LT(h.bytesFromSystem(), before + 5 * size);
    EXPECT_TRUE(h.ownsBlock(grown));
    h.free(grown);
    EXPECT_EQ(h.bytesFromSystem(), before);
    EXPECT_FALSE(h.ownsBlock(grown));
}

TEST(HeapAlloc, ManyChunksStayApart) {
    // Enough chunk-sized blocks to need several batches of chunks from the
    // system: each is a chunk of its own, writable in full, and none
    // overlaps another.
    Heap h;
    const size_t size = Heap::kChunkSize / 2 + 1; // one per chunk
    std::vector<unsigned char*> blocks;
    for (int i = 0; i < 200; ++i) {
        auto* b = static_cast<unsigned char*>(h.alloc(size));
        ASSERT_NE(b, nullptr);
        std::memset(b, i & 0xFF, Heap::blockSize(b));
        blocks.push_back(b);
    }
    EXPECT_EQ(h.chunkCount(), 200u);
    EXPECT_EQ(h.bytesFromSystem(), 200u * Heap::kChunkSize);
    for (size_t i = 0; i < blocks.size(); ++i) {
        size_t n = Heap::blockSize(blocks[i]);
        ASSERT_EQ(blocks[i][0], i & 0xFF) << i;
        ASSERT_EQ(blocks[i][n - 1], i & 0xFF) << i;
        ASSERT_TRUE(h.ownsBlock(blocks[i]));
    }
}

TEST(HeapSweep, MergesUnmarkedRunsAndCountsKept) {
    Heap h;
    std::vector<void*> blocks;
    for (int i = 0; i < 10; ++i)
        blocks.push_back(h.alloc(64));
    Heap::mark(blocks[0]);
    Heap::mark(blocks[5]);
    EXPECT_TRUE(Heap::mark(blocks[5])) << "marking reports an earlier mark";
    size_t kept = h.sweep();
    EXPECT_EQ(kept, 128u);
    EXPECT_FALSE(Heap::isMarked(blocks[0])) << "the sweep clears marks";
    EXPECT_EQ(h.allocatedSinceSweep(), 0u);
    EXPECT_EQ(h.collections, 1u);
    // Blocks 1..4 merged into one free block: a request of 4 * 64 + 3 * 8
    // bytes' worth fits where block 1 was.
    void* merged = h.alloc(256);
    EXPECT_EQ(merged, blocks[1]);
    EXPECT_EQ(Heap::blockSize(merged), 256u);
    EXPECT_EQ(h.alloc(8), static_cast<char*>(blocks[1]) + 256 + Heap::kHeaderSize)
        << "the merged block's tail was split off and listed";
}

namespace {
int destroyed = 0;
int classFreed = 0;
int classDataSeenByDestroy = 0;
void countDestroy(NativeClass* cls, void* data) {
    ++destroyed;
    if (cls->classData)
        ++classDataSeenByDestroy;
    delete static_cast<int*>(data);
}
void countFreeClass(void* data) {
    ++classFreed;
    delete static_cast<int*>(data);
}
struct Counters : ::testing::Test {
    void SetUp() override { destroyed = classFreed = classDataSeenByDestroy = 0; }
};
} // namespace

using Finalisers = Counters;

TEST_F(Finalisers, RunOnceWhenCollectedAndAtTeardown) {
    {
        Engine e;
        NativeClass* cls = newNativeClass(e);
        cls->destroyData = countDestroy;
        cls->classData = new int(1);
        cls->freeClassData = countFreeClass;
        e.classes[0] = cls; // keeps the class alive like a registered class
        Value kept;
        bindNativeObject(e, kept, cls, new int(1));
        e.global(e.internName("kept")) = kept;
        for (int i = 0; i < 5; ++i) {
            Value garbage;
            bindNativeObject(e, garbage, cls, new int(2));
        }
        e.collectGarbage();
        EXPECT_EQ(destroyed, 5);
        e.collectGarbage();
        EXPECT_EQ(destroyed, 5) << "a finaliser runs only once";
        EXPECT_EQ(classFreed, 0);
    }
    EXPECT_EQ(destroyed, 6) << "teardown finalises what is still reachable";
    EXPECT_EQ(classFreed, 1);
    EXPECT_EQ(classDataSeenByDestroy, 6) << "class data outlives every instance";
}

TEST_F(Finalisers, UnpinningANativeReleasesItsDataOnce) {
    Engine e;
    NativeClass* cls = newNativeClass(e);
    cls->destroyData = countDestroy;
    Value n;
    bindNativeObject(e, n, cls, new int(3));
    PinnedValue* p = e.pin(n);
    int64_t handle = Engine::handleOf(p);
    EXPECT_EQ(e.findPinned(handle), p);
    e.collectGarbage();
    EXPECT_EQ(destroyed, 0) << "pinned values are roots";
    EXPECT_TRUE(e.unpin(p));
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(n.asNative()->data, nullptr);
    EXPECT_EQ(e.findPinned(handle), nullptr) << "a stale handle is refused";
    e.collectGarbage();
    EXPECT_EQ(destroyed, 1) << "the collector does not release it again";
}

TEST(PinnedHandles, ArbitraryNumbersAreRefusedWithoutReading) {
    Engine e;
    PinnedValue* p = e.pin(Value::integer(5));
    int64_t h = Engine::handleOf(p);
    EXPECT_EQ(e.findPinned(0), nullptr);
    EXPECT_EQ(e.findPinned(1), nullptr);
    EXPECT_EQ(e.findPinned(-1), nullptr);
    EXPECT_EQ(e.findPinned(h + 8), nullptr);
    EXPECT_EQ(e.findPinned(0x7FFFFFFFFFFFFFF0LL), nullptr);
    EXPECT_EQ(e.findPinned(h)->value.asInteger(), 5);
    EXPECT_EQ(p->tag, PinnedValue::kTag);
    EXPECT_EQ(p->self, p);
    PinnedValue* q = e.pin(Value::integer(6));
    EXPECT_EQ(e.pinnedCount(), 2u);
    EXPECT_TRUE(e.unpin(p));
    EXPECT_FALSE(e.unpin(p)) << "unpinning twice";
    EXPECT_EQ(e.pinnedValues, q);
    EXPECT_EQ(e.findPinned(Engine::handleOf(q))->value.asInteger(), 6);
}

TEST(Collector, ChainOfAMillionObjects) {
    Engine e;
    SymbolId next = e.internName("next");
    ObjectRecord* head = newObject(e);
    ObjectRecord* tail = head;
    for (int i = 0; i < 1000000; ++i) {
        ObjectRecord* o = newObject(e);
        objectPut(e, tail, next, Value::object(o));
        tail = o;
    }
    objectPut(e, tail, e.internName("end"), Value::integer(42));
    SymbolId root = e.internName("root");
    e.global(root) = Value::object(head);
    size_t kept = e.collectGarbage();
    EXPECT_GE(kept, 1000000u * (sizeof(ObjectRecord) + sizeof(PropertySlot))) << "every record and its slot";
    // The chain survived intact.
    ObjectRecord* o = head;
    int length = 0;
    Value v;
    while (objectGetOwn(o, next, v)) {
        o = v.asObject();
        ++length;
    }
    EXPECT_EQ(length, 1000000);
    ASSERT_TRUE(objectGetOwn(o, e.internName("end"), v));
    EXPECT_EQ(v.asInteger(), 42);
    e.global(root) = Value::undefined();
    size_t after = e.collectGarbage();
    EXPECT_LT(after, kept / 100) << "the whole chain is swept";
}

TEST(Collector, RootsAndReachability) {
    Engine e;
    NativeClass* cls = newNativeClass(e);
    int counter = 0;
    struct Data {
        int* counter;
        Value held;
    };
    cls->destroyData = [](NativeClass*, void* d) {
        auto* data = static_cast<Data*>(d);
        ++*data->counter;
        delete data;
    };
    cls->markData = [](Engine& en, NativeClass*, void* d) { markValue(en, static_cast<Data*>(d)->held); };
    e.classes[7] = cls;
    auto make = [&](Value held) {
        Value v;
        bindNativeObject(e, v, cls, new Data{&counter, held});
        return v;
    };
    // Reached through: constant, stack, array element, string property,
    // function property object, native markData, root guard, lastResult.
    e.addConstant(make(Value::undefined()));
    *e.stackPosition-- = make(Value::undefined());
    Value arr = newArray(e);
    arrayPush(e, arr.asArray(), make(Value::undefined()));
    e.global(e.internName("arr")) = arr;
    Value s = newStringFromAnsi(e, "s");
    objectPut(e, ensurePropertyObject(e, s), e.internName("x"), make(Value::undefined()));
    e.global(e.internName("s")) = s;
    auto* fn = static_cast<FunctionRef*>(e.gcAllocZeroed(sizeof(FunctionRef)));
    fn->props = newObject(e);
    objectPut(e, fn->props, e.internName("y"), make(Value::undefined()));
    e.global(e.internName("f")) = Value::function(fn);
    e.global(e.internName("outer")) = make(make(Value::undefined()));
    ValueRoot guard(e, make(Value::undefined()));
    e.lastResult = make(Value::undefined());
    make(Value::undefined()); // garbage
    e.collectGarbage();
    EXPECT_EQ(counter, 1);
    e.stackPosition++;
    e.collectGarbage();
    EXPECT_EQ(counter, 2) << "popped stack slots are not roots";
    e.global(e.internName("outer")) = Value::undefined();
    e.collectGarbage();
    EXPECT_EQ(counter, 4) << "the native and the value its data held";
}

TEST(Collector, FrameWithScopesOnTheStack) {
    Engine e;
    NativeClass* cls = newNativeClass(e);
    static int gone;
    gone = 0;
    cls->destroyData = [](NativeClass*, void*) { ++gone; };
    e.classes[7] = cls;
    WithScopeList* list = nullptr;
    for (int i = 0; i < 6; ++i) { // grows past its first capacity
        Value n = Value::integer(i);
        if (i < 2)
            bindNativeObject(e, n, cls, &gone);
        list = withScopeAppend(e, list, n);
    }
    withScopeDrop(list, 4);
    ASSERT_EQ(list->count, 2u);
    // A frame, pushed from the highest slot down.
    *e.stackPosition-- = Value::raw(Kind::FrameLink, 0);
    *e.stackPosition-- = Value::raw(Kind::ArgCount, 3);
    *e.stackPosition-- = Value::raw(Kind::FrameLink, reinterpret_cast<uintptr_t>(list));
    *e.stackPosition-- = Value::raw(Kind::FrameLink, 0x1234);
    e.collectGarbage();
    EXPECT_EQ(gone, 0);
    EXPECT_EQ(list->values()[1].asNative()->cls, cls) << "the list itself survived";
    e.resetStack();
    e.collectGarbage();
    EXPECT_EQ(gone, 2);
}

TEST(Collector, OnlyOnRequestAfterTheThreshold) {
    Engine e;
    size_t before = e.heap.collections;
    // Objects are smaller on 32-bit targets: allocate until past the
    // threshold rather than a fixed count.
    for (int i = 0; i < 10000000 && e.heap.allocatedSinceSweep() < Heap::kDefaultThreshold; ++i)
        newObject(e);
    EXPECT_GE(e.heap.allocatedSinceSweep(), Heap::kDefaultThreshold);
    EXPECT_EQ(e.heap.collections, before) << "allocation never collects";
    EXPECT_TRUE(e.collectIfNeeded());
    EXPECT_FALSE(e.collectIfNeeded());
    EXPECT_EQ(e.heap.collections, before + 1);
}

TEST(Collector, ThresholdFollowsWhatSurvives) {
    // Building a live structure of N objects marks each a bounded number of
    // times: the threshold grows with the surviving heap, so the collections
    // needed to reach ~60 MB live are few (a fixed 2 MiB would take ~30).
    Engine e;
    SymbolId next = e.internName("next");
    ObjectRecord* head = newObject(e);
    e.global(e.internName("root")) = Value::object(head);
    ObjectRecord* tail = head;
    size_t before = e.heap.collections;
    for (int i = 0; i < 500000; ++i) {
        ObjectRecord* o = newObject(e);
        objectPut(e, tail, next, Value::object(o));
        tail = o;
        e.collectIfNeeded(); // tail is reachable from the root before the next allocation
    }
    uint64_t ran = e.heap.collections - before;
    EXPECT_GE(ran, 3u);
    EXPECT_LE(ran, 8u);
    size_t kept = e.collectGarbage();
    EXPECT_EQ(e.heap.threshold, std::max(Heap::kDefaultThreshold, kept / 100 * Heap::kGrowthPercent));
    EXPECT_GT(e.heap.threshold, Heap::kDefaultThreshold);
    e.global(e.internName("root")) = Value::undefined();
    e.collectGarbage();
    EXPECT_EQ(e.heap.threshold, Heap::kDefaultThreshold) << "the threshold falls back with the heap";
}

namespace {
int traced = 0, finalised = 0;
const GcType kTestType{
    "Test", [](void*) { ++finalised; },
    [](Engine& e, void* block) {
        ++traced;
        markValue(e, reinterpret_cast<Value*>(static_cast<char*>(block) + 8)[0]);
    },
    false};
} // namespace

TEST(Collector, UpperLayerRecordsAndTracers) {
    traced = finalised = 0;
    Engine e;
    GcObject* rec = e.gcAllocObject(8 + sizeof(Value), &kTestType);
    ObjectRecord* inner = newObject(e);
    objectPut(e, inner, e.internName("v"), Value::integer(1));
    reinterpret_cast<Value*>(reinterpret_cast<char*>(rec) + 8)[0] = Value::object(inner);
    auto* fn = static_cast<FunctionRef*>(e.gcAllocZeroed(sizeof(FunctionRef)));
    fn->compiled = rec;
    static Value extra;
    extra = Value::function(fn);
    auto tracer = [](Engine& en, void*) { markValue(en, extra); };
    e.addRootTracer(tracer, nullptr);
    e.collectGarbage();
    EXPECT_EQ(traced, 1);
    EXPECT_EQ(finalised, 0);
    Value v;
    EXPECT_TRUE(objectGetOwn(inner, e.internName("v"), v)) << "reached through the record's trace";
    e.removeRootTracer(tracer, nullptr);
    e.collectGarbage();
    EXPECT_EQ(finalised, 1);
}
