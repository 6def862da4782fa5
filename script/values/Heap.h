#pragma once
// The collected heap: size-class free lists over 100 KiB chunks, with a
// mark bit and a finaliser flag in every block header.
//
// Block sizes: a request up to kSmallMax bytes is rounded up to a multiple
// of 8 and has a free list of its exact size; a larger one is rounded up to
// an eighth of the power of two below it (so at most 12.5% is lost to
// rounding) and shares a list with the blocks of its power of two, except
// that a block too large for a regular chunk, which gets a chunk of its own,
// is rounded only to the end of that chunk's last page. Two bit
// masks tell which lists hold blocks, so finding the smallest list that can
// serve a request takes a bit scan, not a walk.
//
// Invariant
// ---------
// Every block handed out by gcAlloc lies inside a chunk and is preceded by an
// 8-byte header holding (size << 2) | finaliser flag (bit 1) | mark flag
// (bit 0). The blocks of a chunk tile it without gaps, so the sweep can walk a
// chunk from its first block to its end by sizes alone. Outside a collection
// every mark flag is clear. A block with the finaliser flag begins with a
// `const GcType*`; the sweep calls that type's finaliser once, with the block,
// before the block's memory is reused, and clears the flag. A free block has
// both flags clear and sits on exactly one free list.
//
// The header is 8 bytes rather than 4 so that every block starts on an 8-byte
// boundary on both 32-bit and 64-bit targets (payloads hold doubles, 64-bit
// integers and Values).
//
// Nothing allocates and collects at the same time: allocation never collects.
// A collection happens only when the engine's owner asks for one (the
// interpreter at its collection points; Engine::collectIfNeeded). Between
// collection points native code may therefore hold raw pointers to fresh
// records without rooting them.
//
// Roots of a collection, marked in this order: the constant pool, every
// global, the class records of kinds 0 to 14, every pinned Value, the operand
// stack from the current position to its top end (call frames as units, with
// their with-scope lists), then lastResult, the C++ root guards (ValueRoot)
// and the tracers registered by upper layers (Engine::addRootTracer).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quill {

struct Engine;

// Type descriptor of a block that carries a finaliser and/or knows how to
// trace its own references. Records of upper layers (compiled functions,
// regular expressions) begin with a GcObject and are allocated with
// gcAllocObject; the collector then finalises and traces them through it.
struct GcType {
    const char* name;
    // Called once with the block's address before its memory is reused
    // (also during the final sweep when the engine is destroyed). May be null.
    void (*finalise)(void* block);
    // Marks what the block refers to with markValue/markBlock/markObject.
    // May be null.
    void (*trace)(Engine& engine, void* block);
    // Late finalisers run after every ordinary finaliser of the same sweep:
    // class records, whose class data the instances' destroyData may still use.
    bool lateFinalise;
};

struct GcObject {
    const GcType* gcType;
};

class Heap {
public:
    static constexpr size_t kHeaderSize = 8;
    static constexpr size_t kChunkSize = 102400;
    static constexpr size_t kChunkHeadSize = 16;
    // Lists: one per small size (8, 16, .. kSmallMax), then one per power of
    // two above it, the last also taking every larger block.
    static constexpr size_t kSmallMax = 512;
    static constexpr int kSmallLists = static_cast<int>(kSmallMax / 8);
    static constexpr int kLargeLists = 22;
    static constexpr int kSizeClasses = kSmallLists + kLargeLists;
    // The first collection threshold; after each collection the threshold
    // is kGrowthPercent of the bytes that survived, but never below this.
    // While what survived is below kSmallHeap the threshold is only
    // kSmallHeapGrowthPercent of it: collections of a small heap are short,
    // and a heap that doubles before each one would hold as much garbage as
    // live data.
    static constexpr size_t kDefaultThreshold = 0x200000;
    static constexpr size_t kGrowthPercent = 100;
    static constexpr size_t kSmallHeap = size_t(16) << 20;
    static constexpr size_t kSmallHeapGrowthPercent = 50;
    // The largest single request; bigger ones are refused as out of memory.
    static constexpr size_t kMaxRequest = size_t(1) << 30;

    Heap() = default;
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;
    ~Heap(); // frees the chunks; finalisers must have run (Engine does that)

    // Returns null when the process heap refuses a new chunk or the request
    // is too large; the engine turns that into "Out of memory".
    void* alloc(size_t size);
    void* allocZeroed(size_t size, bool finaliser);
    void* realloc(void* block, size_t newSize);
    // A block that fills a chunk of its own gives the chunk back at once.
    void free(void* block);

    // Sets the mark bit; returns whether it was already set.
    static bool mark(void* block) {
        uint64_t& h = header(block);
        bool was = (h & 1) != 0;
        h |= 1;
        return was;
    }
    static bool isMarked(const void* block) { return (header(block) & 1) != 0; }
    static size_t blockSize(const void* block) { return static_cast<size_t>(header(block) >> 2); }
    static bool hasFinaliser(const void* block) { return (header(block) & 2) != 0; }

    // Sweeps after marking: runs the finalisers of unmarked blocks, merges runs
    // of unmarked blocks onto the free lists, clears the marks, restarts the
    // allocation counter. Returns the number of bytes kept.
    size_t sweep();

    // The list of a free block of `size` bytes (a multiple of 8).
    static int sizeClass(size_t size);
    // The size of the block that serves a request.
    static size_t roundRequest(size_t size);

    // Bytes that a block just handed out owns outside this heap (a native
    // object's buffer): they count towards the next collection like the
    // heap's own, so buffers that scripts drop come back before many more
    // are taken from the process.
    void noteExternal(size_t bytes) { allocated_ += bytes; }

    // Counters.
    size_t allocatedSinceSweep() const { return allocated_; }
    size_t bytesFromSystem() const { return systemBytes_; }
    size_t peakBytesFromSystem() const { return peakSystemBytes_; }
    size_t bytesFree() const { return freeBytes_; }
    size_t threshold = kDefaultThreshold;
    uint64_t collections = 0;
    uint64_t longestPauseMicros = 0; // the longest collection so far
    size_t chunkCount() const;

    // Whether the address is the start of a live block handed out by this
    // heap (walks the chunks; for tests and assertions only).
    bool ownsBlock(const void* block) const;

private:
    struct Chunk {
        Chunk* next;
        size_t usable;
    };
    struct FreeBlock {
        FreeBlock* next;
    };

    static uint64_t& header(const void* block) {
        return *reinterpret_cast<uint64_t*>(const_cast<char*>(static_cast<const char*>(block)) - kHeaderSize);
    }
    static void setHeader(void* block, size_t size, uint64_t flags) {
        header(block) = (static_cast<uint64_t>(size) << 2) | flags;
    }
    void pushFree(void* block, size_t size);
    // Takes the first block of list c (which must hold one).
    void* popFree(int c);
    // Takes the block at *link off list c.
    FreeBlock* unlinkFree(FreeBlock** link, int c);
    // Whether a block of `size` bytes is too large for a regular chunk and
    // gets a chunk of its own.
    static bool needsOwnChunk(size_t size) { return size + kHeaderSize > kChunkSize - kChunkHeadSize; }
    // The smallest list from c upward that holds a block, or -1.
    int firstListFrom(int c) const;
    // Hands out `request` bytes of the free block b, listing the tail.
    void* carve(void* b, size_t request);
    bool addChunk(size_t request);
    // Gives a chunk made for one large request back to the system when the
    // free block (of `size` bytes) fills all of it; false otherwise.
    bool releaseWholeChunk(void* block, size_t size);
    // Unlinks the chunk at *link from the chunk list and gives its memory back.
    void releaseChunk(Chunk** link);
    // Gives the spare chunk back when a large request finds it too small.
    void releaseSpare();
    // Grows a block that fills a chunk of its own by resizing the chunk in
    // place where the system can (no copy, no second block meanwhile);
    // null when it cannot, the block then being unchanged.
    void* growWholeChunk(void* block, size_t newSize);
    // The link to the chunk of its own that the block fills, or null.
    Chunk** wholeChunkOf(void* block, size_t size);

    Chunk* chunks_ = nullptr;
    // Regular chunks are cut from regions taken from the system a few
    // chunks at a time (growing to kMaxRegionChunks); a chunk's pages are
    // brought in together when it is cut (prepareChunkMemory), not the
    // whole region's, so what a region holds ahead costs address space
    // only. Larger chunks are taken one by one.
    // Every piece of system memory is listed for the destructor.
    // The first region is a single chunk, so a small script touches little
    // more than the memory it uses; the cap bounds what a region holds
    // before it is needed.
    static constexpr size_t kFirstRegionChunks = 1;
    static constexpr size_t kMaxRegionChunks = 16;
    struct SystemBlock {
        void* memory;
        size_t bytes;
    };
    std::vector<SystemBlock> systemBlocks_;
    char* regionNext_ = nullptr;
    size_t regionChunksLeft_ = 0;
    size_t nextRegionChunks_ = kFirstRegionChunks;
    // The first chunk's pages come in one by one as they are written: a
    // short script uses a fraction of it, and bringing in all of it would
    // add a tenth of a megabyte to the smallest run.
    bool firstChunkCut_ = false;
    FreeBlock* freeLists_[kSizeClasses] = {};
    uint64_t smallMask_ = 0; // bit i: freeLists_[i] holds a block
    uint32_t largeMask_ = 0; // bit i: freeLists_[kSmallLists + i] holds a block
    size_t allocated_ = 0;
    size_t systemBytes_ = 0;
    size_t peakSystemBytes_ = 0;
    size_t freeBytes_ = 0;
    // The free block filling the chunk of its own that the last sweep kept
    // for reuse, while it stays free; null otherwise.
    void* spareBlock_ = nullptr;
};

static_assert(sizeof(GcObject) <= Heap::kHeaderSize, "a type word fits in the smallest block");
static_assert(Heap::kSmallLists == 64 && Heap::kLargeLists <= 32, "the list masks have a bit per list");

} // namespace quill
