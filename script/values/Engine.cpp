// Engine record: creation and teardown, symbols, globals, constants, the error
// channel, pinned values and memory.
#include "script/values/Engine.h"
#include "script/values/Messages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/TextCodec.h"
#include "script/values/Native.h"

namespace quill {

namespace {
constexpr size_t kGlobalStep = 1024;
constexpr size_t kConstantStep = 1024;
constexpr size_t kInitialSymbolCells = 1024; // a power of two
} // namespace

uint32_t nameHash(std::string_view name) {
    uint32_t h = 0;
    for (unsigned char c : name)
        h = (h >> 7) ^ (h >> 16) ^ c ^ (h << 5);
    return h;
}

// ---------------------------------------------------------------------------
// Creation and teardown

Engine::Engine(const EngineOptions& options)
    : parent(options.parent), flags(options.flags), hook(options.hook), hookData(options.hookData) {
    stackSize = options.stackSize < 16 ? 16 : options.stackSize;
    if (stackSize > SIZE_MAX / sizeof(Value))
        throw std::bad_alloc();
    size_t stackBytes = stackSize * sizeof(Value);
    stackStorage = std::unique_ptr<Value[], StackFree>(static_cast<Value*>(allocateZeroedMemory(stackBytes)),
                                                       StackFree{stackBytes});
    if (!stackStorage)
        throw std::bad_alloc();
    stack = stackStorage.get();
    resetStack();
    symbolTable_.assign(kInitialSymbolCells, SymbolCell{0, kNoSymbol});
    for (const char* name : {"__proto__", "prototype", "toSource", "toString", "valueOf"})
        internName(name);
}

Engine::~Engine() {
    // The final sweep marks nothing, so every finaliser runs exactly once:
    // native objects release their data, class records their class data.
    stringProps.clear();
    heap.sweep();
    PinnedValue* p = pinnedValues;
    while (p) {
        PinnedValue* next = p->next;
        delete p;
        p = next;
    }
    pinnedValues = nullptr;
    pinnedSet_.clear();
}

// ---------------------------------------------------------------------------
// Symbols and globals

// Symbol table hash: FNV-1a over the name's bytes with a final mix, so the
// low bits that pick a cell depend on every byte. A UTF-16 name whose units
// are all below 0x80 hashes as its ANSI bytes would.
namespace {

inline uint32_t unitOf(char c) { return static_cast<unsigned char>(c); }
inline uint32_t unitOf(char16_t c) { return c; }

template <typename Char>
uint32_t symbolHash(const Char* name, size_t length) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < length; ++i)
        h = (h ^ unitOf(name[i])) * 16777619u;
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    return h;
}

// A stored name's length is one byte, or kLongName and a 32-bit length.
constexpr unsigned char kLongName = 0xFF;

// The characters of a stored name, and their count.
const char* nameText(const char* record, uint32_t& length) {
    auto first = static_cast<unsigned char>(record[0]);
    if (first != kLongName) {
        length = first;
        return record + 1;
    }
    std::memcpy(&length, record + 1, sizeof length);
    return record + 1 + sizeof length;
}

template <typename Char>
bool sameName(const char* record, const Char* name, size_t length) {
    uint32_t storedLength;
    const char* stored = nameText(record, storedLength);
    if (storedLength != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (unitOf(stored[i]) != unitOf(name[i]))
            return false;
    return true;
}

bool isAscii(std::u16string_view text) {
    for (char16_t c : text)
        if (c >= 0x80)
            return false;
    return true;
}

} // namespace

template <typename Char>
const Engine::SymbolCell* Engine::probeSymbol(const Char* name, size_t length, uint32_t hash) const {
    size_t mask = symbolTable_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const SymbolCell& cell = symbolTable_[i];
        if (cell.id == kNoSymbol)
            return &cell;
        if (cell.hash == hash && sameName(nameRecord(symbolNames_[cell.id]), name, length))
            return &cell;
    }
}

namespace {
// Puts a cell into the first free place of its probe sequence.
template <typename Table, typename Cell>
void placeSymbolCell(Table& table, const Cell& cell, SymbolId empty) {
    size_t mask = table.size() - 1;
    size_t i = cell.hash & mask;
    while (table[i].id != empty)
        i = (i + 1) & mask;
    table[i] = cell;
}
} // namespace

uint32_t Engine::keepName(std::string_view name) {
    constexpr size_t kNameBlock = size_t(4) << kNameOffsetBits;
    bool isLong = name.size() >= kLongName;
    size_t head = isLong ? 1 + sizeof(uint32_t) : 1;
    size_t need = (head + name.size() + 1 + 3) & ~size_t(3);
    if (need > nameRoom_) {
        // The references have room for 2^20 blocks (16 GB of names).
        if (nameBlocks_.size() >= (size_t(1) << (32 - kNameOffsetBits)))
            throw std::bad_alloc();
        size_t bytes = std::max(kNameBlock, need);
        nameBlocks_.push_back(std::make_unique<char[]>(bytes));
        nameNext_ = nameBlocks_.back().get();
        nameRoom_ = bytes;
    }
    auto offset = static_cast<uint32_t>(nameNext_ - nameBlocks_.back().get()) / 4;
    auto ref = static_cast<uint32_t>(nameBlocks_.size() - 1) << kNameOffsetBits | offset;
    auto length = static_cast<uint32_t>(name.size());
    if (isLong) {
        nameNext_[0] = static_cast<char>(kLongName);
        std::memcpy(nameNext_ + 1, &length, sizeof length);
    } else {
        nameNext_[0] = static_cast<char>(length);
    }
    char* text = nameNext_ + head;
    std::memcpy(text, name.data(), name.size());
    text[name.size()] = 0;
    nameNext_ += need;
    nameRoom_ -= need;
    return ref;
}

SymbolId Engine::addSymbol(std::string_view name, uint32_t hash) {
    auto id = static_cast<SymbolId>(symbolNames_.size());
    symbolNames_.push_back(keepName(name));
    if (symbolNames_.size() * 2 > symbolTable_.size()) {
        std::vector<SymbolCell, BulkAllocator<SymbolCell>> grown(symbolTable_.size() * 2, SymbolCell{0, kNoSymbol});
        for (const SymbolCell& cell : symbolTable_)
            if (cell.id != kNoSymbol)
                placeSymbolCell(grown, cell, kNoSymbol);
        symbolTable_.swap(grown);
    }
    placeSymbolCell(symbolTable_, SymbolCell{hash, id}, kNoSymbol);
    return id;
}

// The table grows by 1024 entries at a time; the vector's own capacity
// grows geometrically underneath, so covering ids stays linear.
void Engine::coverGlobal(SymbolId id) {
    globals.resize((size_t(id) / kGlobalStep + 1) * kGlobalStep);
}

template <typename Char>
bool Engine::lookupSymbol(const Char* name, size_t length, uint32_t& hash, SymbolId& id) const {
    hash = symbolHash(name, length);
    id = probeSymbol(name, length, hash)->id;
    return id != kNoSymbol;
}

SymbolId Engine::internKey(std::string_view name) {
    uint32_t hash;
    SymbolId id;
    return lookupSymbol(name.data(), name.size(), hash, id) ? id : addSymbol(name, hash);
}

SymbolId Engine::internName(std::string_view name) {
    SymbolId id = internKey(name);
    global(id); // makes sure the name has its slot
    return id;
}

bool Engine::findName(std::string_view name, SymbolId& id) const {
    uint32_t hash;
    return lookupSymbol(name.data(), name.size(), hash, id);
}

// Names of plain ASCII are looked up without converting them; any other
// name goes through the ANSI conversion, so both spellings meet in one id.
SymbolId Engine::internKey(std::u16string_view name) {
    if (!isAscii(name))
        return internKey(paloma::utf16ToAnsi(name));
    uint32_t hash;
    SymbolId id;
    if (lookupSymbol(name.data(), name.size(), hash, id))
        return id;
    return addSymbol(std::string(name.begin(), name.end()), hash);
}

SymbolId Engine::internName(std::u16string_view name) {
    SymbolId id = internKey(name);
    global(id); // makes sure the name has its slot
    return id;
}

bool Engine::findName(std::u16string_view name, SymbolId& id) const {
    if (!isAscii(name))
        return findName(paloma::utf16ToAnsi(name), id);
    uint32_t hash;
    return lookupSymbol(name.data(), name.size(), hash, id);
}

const char* Engine::nameOf(SymbolId id) const {
    if (id < symbolNames_.size())
    {
        uint32_t length;
        return nameText(nameRecord(symbolNames_[id]), length);
    }
    return "???";
}

// ---------------------------------------------------------------------------
// Constants and classes

size_t Engine::addConstant(const Value& v) {
    if (constants.capacity() == 0)
        constants.reserve(kConstantStep);
    constants.push_back(v);
    return constants.size() - 1;
}

const char16_t* Engine::keepConstantText(std::u16string_view text) {
    auto buf = std::make_unique<char16_t[]>(text.size() + 1);
    std::copy(text.begin(), text.end(), buf.get());
    buf[text.size()] = 0;
    constantText_.push_back(std::move(buf));
    return constantText_.back().get();
}

void Engine::setKindClass(Kind kind, NativeClass* cls) {
    int k = static_cast<int>(kind);
    if (k >= 0 && k < kKindClassCount)
        classes[k] = cls;
}

// ---------------------------------------------------------------------------
// Error channel

void Engine::setErrorText(std::string_view text) {
    size_t n = std::min(text.size(), kErrorTextSize - 1);
    std::memcpy(errorText, text.data(), n);
    errorText[n] = 0;
}

void Engine::raiseError(std::string_view message) {
    std::string text = "Runtime error: ";
    text.append(message);
    setErrorText(text);
    if (raiseHook)
        raiseHook(*this);
    throw RuntimeError();
}

// ---------------------------------------------------------------------------
// Pinned values

PinnedValue* Engine::pin(const Value& v) {
    auto* p = new PinnedValue{v, PinnedValue::kTag, nullptr, nullptr, pinnedValues};
    p->self = p;
    if (pinnedValues)
        pinnedValues->prev = p;
    pinnedValues = p;
    pinnedSet_.insert(p);
    return p;
}

bool Engine::unpin(PinnedValue* record) {
    if (!record || !pinnedSet_.count(record))
        return false;
    QUILL_ASSERT(record->tag == PinnedValue::kTag && record->self == record);
    QUILL_ASSERT(record->prev ? record->prev->next == record : pinnedValues == record);
    pinnedSet_.erase(record);
    if (record->prev)
        record->prev->next = record->next;
    else
        pinnedValues = record->next;
    if (record->next)
        record->next->prev = record->prev;
    if (record->value.isNative())
        releaseNativeData(record->value.asNative());
    record->tag = 0;
    record->self = nullptr;
    delete record;
    return true;
}

PinnedValue* Engine::findPinned(int64_t handle) const {
    if (handle <= 0 || static_cast<uint64_t>(handle) > UINTPTR_MAX)
        return nullptr; // no address of this target
    auto* p = reinterpret_cast<const PinnedValue*>(static_cast<uintptr_t>(static_cast<uint64_t>(handle)));
    if (!pinnedSet_.count(p))
        return nullptr;
    auto* live = const_cast<PinnedValue*>(p);
    if (live->tag != PinnedValue::kTag || live->self != live)
        return nullptr;
    return live;
}

// ---------------------------------------------------------------------------
// Memory

void* Engine::engineAlloc(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p)
        raiseError(kErrOutOfMemory);
    return p;
}

void* Engine::engineRealloc(void* p, size_t size) {
    void* q = std::realloc(p, size ? size : 1);
    if (!q)
        raiseError(kErrOutOfMemory);
    return q;
}

void Engine::engineFree(void* p) { std::free(p); }

void* Engine::gcAlloc(size_t size) {
    void* p = heap.alloc(size);
    if (!p)
        raiseError(kErrOutOfMemory);
    return p;
}

void* Engine::gcAllocZeroed(size_t size) {
    void* p = heap.allocZeroed(size, false);
    if (!p)
        raiseError(kErrOutOfMemory);
    return p;
}

void* Engine::gcAllocZeroedWithFinaliser(size_t size) {
    void* p = heap.allocZeroed(size < sizeof(GcObject) ? sizeof(GcObject) : size, true);
    if (!p)
        raiseError(kErrOutOfMemory);
    return p;
}

void* Engine::gcRealloc(void* block, size_t size) {
    void* p = heap.realloc(block, size);
    if (!p)
        raiseError(kErrOutOfMemory);
    return p;
}

GcObject* Engine::gcAllocObject(size_t size, const GcType* type) {
    auto* o = static_cast<GcObject*>(gcAllocZeroedWithFinaliser(size));
    o->gcType = type;
    return o;
}

// ---------------------------------------------------------------------------
// Root guards

ValueRoot::ValueRoot(Engine& engine, const Value& v) : value(v), engine_(engine), prev_(nullptr), next_(engine.roots) {
    if (next_)
        next_->prev_ = this;
    engine.roots = this;
}

ValueRoot::~ValueRoot() {
    QUILL_ASSERT(prev_ ? prev_->next_ == this : engine_.roots == this); // guards end in reverse order of links
    if (prev_)
        prev_->next_ = next_;
    else if (engine_.roots == this)
        engine_.roots = next_;
    if (next_)
        next_->prev_ = prev_;
}

void Engine::addRootTracer(RootTracer tracer, void* data) { rootTracers_.emplace_back(tracer, data); }

void Engine::removeRootTracer(RootTracer tracer, void* data) {
    auto it = std::find(rootTracers_.begin(), rootTracers_.end(), std::make_pair(tracer, data));
    if (it != rootTracers_.end())
        rootTracers_.erase(it);
}

} // namespace quill
