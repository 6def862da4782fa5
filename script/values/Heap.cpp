// The collected heap: chunks, size classes, allocation and the sweep.
#include "script/values/Heap.h"

#include "script/values/HeapChunks.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace quill {

Heap::~Heap() {
    for (const SystemBlock& b : systemBlocks_)
        freeChunkMemory(b.memory, b.bytes);
}

// ---------------------------------------------------------------------------
// Size classes

int Heap::sizeClass(size_t size) {
    if (size <= kSmallMax)
        return size < 8 ? 0 : static_cast<int>(size / 8) - 1;
    // 513..1023 bytes: the first large list; each power of two after it one more.
    int c = kSmallLists + static_cast<int>(std::bit_width(size)) - 10;
    return c < kSizeClasses - 1 ? c : kSizeClasses - 1;
}

size_t Heap::roundRequest(size_t size) {
    if (size <= 8)
        return 8;
    if (size <= kSmallMax)
        return (size + 7) & ~size_t(7);
    // A block too large for a regular chunk gets a chunk of its own, which
    // it fills to the end of the chunk's last page: rounding it further
    // would only make memory resident that nothing uses.
    constexpr size_t kPage = 4096;
    constexpr size_t kOverhead = kChunkHeadSize + kHeaderSize;
    if (needsOwnChunk(size))
        return ((size + kOverhead + kPage - 1) & ~(kPage - 1)) - kOverhead;
    size_t step = std::bit_floor(size) / 8;
    return (size + step - 1) & ~(step - 1);
}

size_t Heap::chunkCount() const {
    size_t n = 0;
    for (Chunk* c = chunks_; c; c = c->next)
        ++n;
    return n;
}

// ---------------------------------------------------------------------------
// Allocation

void Heap::pushFree(void* block, size_t size) {
    setHeader(block, size, 0);
    auto* f = static_cast<FreeBlock*>(block);
    int c = sizeClass(size);
    f->next = freeLists_[c];
    freeLists_[c] = f;
    if (c < kSmallLists)
        smallMask_ |= uint64_t(1) << c;
    else
        largeMask_ |= uint32_t(1) << (c - kSmallLists);
    freeBytes_ += size;
}

void* Heap::popFree(int c) { return unlinkFree(&freeLists_[c], c); }

Heap::FreeBlock* Heap::unlinkFree(FreeBlock** link, int c) {
    FreeBlock* b = *link;
    *link = b->next;
    if (!freeLists_[c]) {
        if (c < kSmallLists)
            smallMask_ &= ~(uint64_t(1) << c);
        else
            largeMask_ &= ~(uint32_t(1) << (c - kSmallLists));
    }
    freeBytes_ -= blockSize(b);
    return b;
}

int Heap::firstListFrom(int c) const {
    if (c < kSmallLists) {
        uint64_t small = smallMask_ >> c;
        if (small)
            return c + std::countr_zero(small);
        c = kSmallLists;
    }
    uint32_t large = largeMask_ >> (c - kSmallLists);
    return large ? c + std::countr_zero(large) : -1;
}

void* Heap::carve(void* b, size_t request) {
    if (b == spareBlock_)
        spareBlock_ = nullptr;
    size_t have = blockSize(b);
    if (have - request > kHeaderSize) {
        char* tail = static_cast<char*>(b) + request + kHeaderSize;
        pushFree(tail, have - request - kHeaderSize);
        have = request;
    }
    setHeader(b, have, 0);
    allocated_ += have;
    return b;
}

bool Heap::addChunk(size_t request) {
    bool own = needsOwnChunk(request);
    size_t usable = own ? request + kHeaderSize : kChunkSize - kChunkHeadSize;
    Chunk* c;
    if (!own) {
        if (regionChunksLeft_ == 0) {
            size_t bytes = nextRegionChunks_ * kChunkSize;
            void* region = allocateRegionMemory(bytes);
            if (!region)
                return false;
            systemBlocks_.push_back({region, bytes});
            regionNext_ = static_cast<char*>(region);
            regionChunksLeft_ = nextRegionChunks_;
            nextRegionChunks_ = std::min(nextRegionChunks_ * 2, kMaxRegionChunks);
        }
        c = reinterpret_cast<Chunk*>(regionNext_);
        regionNext_ += kChunkSize;
        --regionChunksLeft_;
        if (firstChunkCut_)
            prepareChunkMemory(c, kChunkSize);
        firstChunkCut_ = true;
    } else {
        c = static_cast<Chunk*>(allocateChunkMemory(kChunkHeadSize + usable));
        if (!c)
            return false;
        systemBlocks_.push_back({c, kChunkHeadSize + usable});
    }
    c->next = chunks_;
    c->usable = usable;
    chunks_ = c;
    systemBytes_ += kChunkHeadSize + usable;
    peakSystemBytes_ = std::max(peakSystemBytes_, systemBytes_);
    char* first = reinterpret_cast<char*>(c) + kChunkHeadSize + kHeaderSize;
    pushFree(first, usable - kHeaderSize);
    return true;
}

namespace {
constexpr int kFirstFitLooks = 16;
}

void* Heap::alloc(size_t size) {
    if (size > kMaxRequest)
        return nullptr;
    size_t request = roundRequest(size);
    int first = sizeClass(request);
    for (int attempt = 0; attempt < 2; ++attempt) {
        // A large request's own list also holds smaller blocks: first fit
        // among its first few, so a list of blocks just too small is not
        // walked again and again.
        if (first >= kSmallLists) {
            FreeBlock** link = &freeLists_[first];
            for (int looked = 0; *link && looked < kFirstFitLooks; link = &(*link)->next, ++looked) {
                FreeBlock* b = *link;
                if (blockSize(b) >= request)
                    return carve(unlinkFree(link, first), request);
            }
        }
        // Every block of a list above the request's own fits.
        int c = firstListFrom(first >= kSmallLists ? first + 1 : first);
        if (c >= 0)
            return carve(popFree(c), request);
        if (attempt == 0) {
            if (spareBlock_ && needsOwnChunk(request))
                releaseSpare();
            if (!addChunk(request))
                return nullptr;
        }
    }
    return nullptr;
}

void* Heap::allocZeroed(size_t size, bool finaliser) {
    void* b = alloc(size);
    if (!b)
        return nullptr;
    std::memset(b, 0, blockSize(b));
    if (finaliser)
        header(b) |= 2;
    return b;
}

void* Heap::realloc(void* block, size_t newSize) {
    if (!block)
        return alloc(newSize);
    size_t have = blockSize(block);
    if (have >= newSize)
        return block;
    if (newSize <= kMaxRequest)
        if (void* grown = growWholeChunk(block, newSize))
            return grown;
    void* fresh = alloc(newSize);
    if (!fresh)
        return nullptr;
    std::memcpy(fresh, block, have);
    free(block);
    return fresh;
}

void Heap::free(void* block) {
    if (!block)
        return;
    size_t size = blockSize(block);
    if (!releaseWholeChunk(block, size))
        pushFree(block, size);
}

Heap::Chunk** Heap::wholeChunkOf(void* block, size_t size) {
    // Only chunks of their own hold blocks larger than a regular chunk's room.
    if (!needsOwnChunk(size))
        return nullptr;
    char* start = static_cast<char*>(block) - kHeaderSize - kChunkHeadSize;
    for (Chunk** link = &chunks_; *link; link = &(*link)->next)
        if (reinterpret_cast<char*>(*link) == start)
            return size + kHeaderSize == (*link)->usable ? link : nullptr;
    return nullptr;
}

bool Heap::releaseWholeChunk(void* block, size_t size) {
    Chunk** link = wholeChunkOf(block, size);
    if (!link)
        return false;
    releaseChunk(link);
    return true;
}

void Heap::releaseSpare() {
    size_t size = blockSize(spareBlock_);
    int c = sizeClass(size);
    for (FreeBlock** link = &freeLists_[c]; *link; link = &(*link)->next) {
        if (*link == spareBlock_) {
            releaseWholeChunk(unlinkFree(link, c), size);
            break;
        }
    }
    spareBlock_ = nullptr;
}

void Heap::releaseChunk(Chunk** link) {
    Chunk* c = *link;
    *link = c->next;
    size_t bytes = kChunkHeadSize + c->usable;
    systemBytes_ -= bytes;
    auto it = std::find_if(systemBlocks_.begin(), systemBlocks_.end(),
                           [&](const SystemBlock& b) { return b.memory == c; });
    if (it != systemBlocks_.end())
        systemBlocks_.erase(it);
    freeChunkMemory(c, bytes);
}

void* Heap::growWholeChunk(void* block, size_t newSize) {
    Chunk** link = wholeChunkOf(block, blockSize(block));
    if (!link)
        return nullptr;
    Chunk* c = *link;
    size_t request = roundRequest(newSize);
    size_t oldBytes = kChunkHeadSize + c->usable;
    size_t newBytes = kChunkHeadSize + request + kHeaderSize;
    auto* moved = static_cast<Chunk*>(resizeChunkMemory(c, oldBytes, newBytes));
    if (!moved)
        return nullptr;
    moved->usable = request + kHeaderSize;
    *link = moved;
    for (SystemBlock& b : systemBlocks_)
        if (b.memory == c) {
            b.memory = moved;
            b.bytes = newBytes;
            break;
        }
    systemBytes_ += newBytes - oldBytes;
    peakSystemBytes_ = std::max(peakSystemBytes_, systemBytes_);
    char* grown = reinterpret_cast<char*>(moved) + kChunkHeadSize + kHeaderSize;
    setHeader(grown, request, 0);
    allocated_ += request;
    return grown;
}

// ---------------------------------------------------------------------------
// Sweep

namespace {
void runFinaliser(void* block) {
    const GcType* type = static_cast<GcObject*>(block)->gcType;
    if (type && type->finalise)
        type->finalise(block);
}
bool isLate(void* block) {
    const GcType* type = static_cast<GcObject*>(block)->gcType;
    return type && type->lateFinalise;
}
} // namespace

size_t Heap::sweep() {
    for (auto& list : freeLists_)
        list = nullptr;
    smallMask_ = 0;
    largeMask_ = 0;
    freeBytes_ = 0;
    size_t kept = 0;
    std::vector<void*> late;

    // A chunk of its own whose block died goes back to the system, except
    // one, kept for the next large request (a program that builds and drops
    // a large array or text over and over reuses it).
    bool keptSpare = false;
    spareBlock_ = nullptr;
    for (Chunk** link = &chunks_; *link;) {
        Chunk* c = *link;
        bool released = false;
        char* p = reinterpret_cast<char*>(c) + kChunkHeadSize + kHeaderSize;
        char* end = reinterpret_cast<char*>(c) + kChunkHeadSize + c->usable + kHeaderSize;
        while (p < end) {
            uint64_t& h = header(p);
            size_t size = static_cast<size_t>(h >> 2);
            if (h & 1) {
                h &= ~uint64_t(1);
                kept += size;
                p += size + kHeaderSize;
                continue;
            }
            if ((h & 2) && isLate(p)) {
                // Finalised after every ordinary block; kept out of merging.
                late.push_back(p);
                p += size + kHeaderSize;
                continue;
            }
            if (h & 2) {
                runFinaliser(p);
                h &= ~uint64_t(2);
            }
            char* run = p;
            size_t runSize = size;
            char* q = p + size + kHeaderSize;
            while (q < end) {
                uint64_t& hq = header(q);
                if (hq & 1)
                    break;
                if ((hq & 2) && isLate(q))
                    break;
                size_t qs = static_cast<size_t>(hq >> 2);
                if (hq & 2) {
                    runFinaliser(q);
                    hq &= ~uint64_t(2);
                }
                runSize += qs + kHeaderSize;
                q += qs + kHeaderSize;
            }
            if (run == reinterpret_cast<char*>(c) + kChunkHeadSize + kHeaderSize && q >= end &&
                c->usable != kChunkSize - kChunkHeadSize) {
                if (keptSpare) {
                    released = true;
                    break;
                }
                keptSpare = true;
                spareBlock_ = run;
            }
#ifndef NDEBUG
            // Debug builds poison reclaimed memory, so a record the marker
            // missed fails loudly instead of reading stale but plausible data.
            std::memset(run, 0xDB, runSize);
#endif
            pushFree(run, runSize);
            p = q;
        }
        if (!released) {
            link = &c->next;
            continue;
        }
        releaseChunk(link);
    }
    for (void* b : late) {
        runFinaliser(b);
        pushFree(b, blockSize(b));
    }
    allocated_ = 0;
    ++collections;
    return kept;
}

bool Heap::ownsBlock(const void* block) const {
    for (Chunk* c = chunks_; c; c = c->next) {
        const char* p = reinterpret_cast<const char*>(c) + kChunkHeadSize + kHeaderSize;
        const char* end = reinterpret_cast<const char*>(c) + kChunkHeadSize + c->usable + kHeaderSize;
        while (p < end) {
            if (p == block)
                return true;
            p += blockSize(p) + kHeaderSize;
        }
    }
    return false;
}

} // namespace quill
