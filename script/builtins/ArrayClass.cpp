// The Array class: construction, `length` with truncation, and the methods
// concat, join, pop, push, reverse, shift, slice, splice, sort, unshift and
// toString. Arrays are sparse, so every method works on the elements that
// exist (gathered from the array) rather than on every index up to the
// length; missing indices are holes.
#include "script/builtins/ArrayClass.h"
#include "script/values/Messages.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "script/builtins/BuiltinMessages.h"
#include "script/builtins/BuiltinSupport.h"
#include "script/builtins/MergeSort.h"
#include "script/builtins/NumberClass.h"
#include "script/builtins/StringOps.h"
#include "script/values/Array.h"
#include "script/values/Convert.h"
#include "script/values/HeapChunks.h"
#include "script/values/Property.h"
#include "script/values/String.h"
#include "script/vm/Calls.h"

namespace quill {

namespace {

// Nested joins deeper than this (an array that holds itself) give "".
constexpr int kMaxJoinDepth = 64;

struct ArrayClassData {
    int joinDepth = 0;
};

ArrayClassData* arrayData(Engine& engine) {
    NativeClass* cls = engine.classOf(Kind::Array);
    return cls ? memberIds(cls).state<ArrayClassData>() : nullptr;
}

// A new array with its own property object linked to the class prototype.
Value newArrayWithProps(Engine& engine) {
    Value v = newArray(engine);
    ensurePropertyObject(engine, v);
    return v;
}

// Elements of the array as (index, Value) pairs, in bucket order.
std::vector<std::pair<std::uint64_t, Value>> elementsOf(const ArrayBody* a) {
    std::vector<std::uint64_t> indices = arrayGatherIndices(a);
    std::vector<Value> values = arrayGather(a);
    std::vector<std::pair<std::uint64_t, Value>> out;
    out.reserve(indices.size());
    for (size_t i = 0; i < indices.size(); ++i)
        out.emplace_back(indices[i], values[i]);
    return out;
}

// Replaces the array's elements with the given (index, Value) pairs; the
// length is set by the caller.
void refillArray(Engine& engine, ArrayBody* a, const std::vector<std::pair<std::uint64_t, Value>>& elements) {
    std::uint64_t length = a->length;
    arrayRebuild(engine, a, {});
    for (const auto& [index, value] : elements)
        arrayAdd(engine, a, index, value);
    a->length = length;
}

// Removes every element at or above newLength.
void truncateArray(Engine& engine, ArrayBody* a, std::uint64_t newLength) {
    if (newLength < a->length) {
        for (std::uint64_t index : arrayGatherIndices(a))
            if (index >= newLength)
                arrayRemove(engine, a, index);
    }
    a->length = newLength;
}

// ---------------------------------------------------------------------------
// Construction

void arrayConstruct(Engine& engine, NativeClass*, ArgList args, Value& result) {
    std::int64_t raw = rawArgCount(args);
    // An array literal (made in bulk) gets its property object when first
    // needed; it answers as if it had it from the start.
    ValueRoot array(engine, newArray(engine));
    if (raw < 0)
        deferPropertyObject(engine, array.value);
    else
        ensurePropertyObject(engine, array.value);
    ArrayBody* a = array.value.asArray();
    if (raw == 1 && args.values[1].isInteger()) {
        // new Array(n): empty, length n.
        a->length = std::uint64_t(args.values[1].asInteger());
    } else {
        // The arguments are the elements; an array literal passes -n.
        std::int64_t n = raw < 0 ? -raw : raw;
        for (std::int64_t i = 0; i < n; ++i)
            arrayAdd(engine, a, std::uint64_t(i), args.values[i + 1]);
        a->length = std::uint64_t(n);
    }
    result = array.value;
}

void arrayCall(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) {
    arrayConstruct(engine, cls, args, result);
}

// ---------------------------------------------------------------------------
// Methods

Value concatMethod(Engine& engine, ArrayBody* self, ArgList args) {
    ValueRoot result(engine, newArrayWithProps(engine));
    ArrayBody* out = result.value.asArray();
    arrayCopy(engine, out, self, 0);
    out->length = self->length;
    for (std::int64_t i = 1; i <= argCount(args); ++i) {
        const Value& v = args.values[i];
        if (v.isArray()) {
            std::uint64_t base = out->length;
            arrayCopy(engine, out, v.asArray(), base);
            out->length = base + v.asArray()->length;
        } else {
            arraySet(engine, out, out->length, v);
        }
    }
    return result.value;
}

Value popMethod(Engine& engine, ArrayBody* self) {
    if (self->length == 0)
        return Value::undefined();
    std::uint64_t last = self->length - 1;
    Value v;
    if (!arrayGet(self, last, v))
        v = Value::undefined();
    arrayRemove(engine, self, last);
    self->length = last;
    return v;
}

Value pushMethod(Engine& engine, ArrayBody* self, ArgList args) {
    for (std::int64_t i = 1; i <= argCount(args); ++i)
        arraySet(engine, self, self->length, args.values[i]);
    return Value::integer(std::int64_t(self->length));
}

void reverseMethod(Engine& engine, ArrayBody* self) {
    auto elements = elementsOf(self);
    std::uint64_t last = self->length - 1;
    for (auto& [index, value] : elements)
        index = last - index;
    refillArray(engine, self, elements);
}

Value shiftMethod(Engine& engine, ArrayBody* self) {
    if (self->length == 0)
        return Value::undefined();
    Value v;
    if (!arrayGet(self, 0, v))
        v = Value::undefined();
    arrayRemoveShift(engine, self, 0);
    return v;
}

Value sliceMethod(Engine& engine, ArrayBody* self, ArgList args) {
    stringops::Range r = stringops::arraySliceRange(std::int64_t(self->length), integerArg(args, 1),
                                                    integerArg(args, 2));
    ValueRoot result(engine, newArrayWithProps(engine));
    ArrayBody* out = result.value.asArray();
    auto first = std::uint64_t(r.first), end = std::uint64_t(r.first) + std::uint64_t(r.count);
    if (std::uint64_t(r.count) <= 2 * arrayElementCount(self) + 64) {
        Value v;
        for (std::uint64_t i = first; i < end && i < self->length; ++i)
            if (arrayGet(self, i, v))
                arrayAdd(engine, out, i - first, v);
    } else {
        for (const auto& [index, value] : elementsOf(self))
            if (index >= first && index < end)
                arrayAdd(engine, out, index - first, value);
    }
    out->length = std::uint64_t(r.count);
    return result.value;
}

Value spliceMethod(Engine& engine, ArrayBody* self, ArgList args) {
    std::int64_t itemCount = std::max<std::int64_t>(argCount(args) - 2, 0);
    stringops::SpliceRange r = stringops::arraySpliceRange(std::int64_t(self->length), integerArg(args, 1),
                                                           integerArg(args, 2), itemCount);
    ValueRoot removed(engine, newArrayWithProps(engine));
    ArrayBody* out = removed.value.asArray();
    auto start = std::uint64_t(r.start), deleteEnd = std::uint64_t(r.start + r.deleteCount);
    std::int64_t delta = itemCount - r.deleteCount;
    // 1. Deleted elements go to the result; elements after them move by delta.
    std::vector<std::pair<std::uint64_t, Value>> kept;
    for (auto [index, value] : elementsOf(self)) {
        if (index >= start && index < deleteEnd) {
            arrayAdd(engine, out, index - start, value);
            continue;
        }
        if (index >= deleteEnd)
            index = std::uint64_t(std::int64_t(index) + delta);
        kept.emplace_back(index, value);
    }
    out->length = std::uint64_t(r.deleteCount);
    // 2. The items are stored at start, start + 1, ...
    for (std::int64_t i = 0; i < itemCount; ++i)
        kept.emplace_back(start + std::uint64_t(i), args.values[3 + i]);
    refillArray(engine, self, kept);
    self->length = std::uint64_t(r.newLength);
    return removed.value;
}

Value unshiftMethod(Engine& engine, ArrayBody* self, ArgList args) {
    std::int64_t n = argCount(args);
    if (n > 0) {
        arrayShiftUp(engine, self, std::uint64_t(n));
        for (std::int64_t i = 0; i < n; ++i)
            arraySet(engine, self, std::uint64_t(i), args.values[i + 1]);
    }
    return Value::integer(std::int64_t(self->length));
}

// ---------------------------------------------------------------------------
// Sort

// One gathered element, by its position in the gathered list, and for
// primitive kinds its text, converted once (their conversion cannot run
// script code, so converting early is not observable).
struct SortEntry {
    const void* text; // two bytes a unit, or one when oneByte
    std::uint32_t length : 31;
    std::uint32_t oneByte : 1;
    std::uint32_t index : 31;
    std::uint32_t hasText : 1;
};
static_assert(sizeof(SortEntry) <= 16, "sort entries stay small: there is one per element, twice");

// Positions in the gathered list are 31 bits: a list that long (32 GiB of
// Values) could not have been gathered.
constexpr std::size_t kMaxSortElements = 0x7FFFFFFF;

int defaultCompare(Engine& engine, const std::vector<Value>& values, const SortEntry& a, const SortEntry& b) {
    const Value& va = values[a.index];
    const Value& vb = values[b.index];
    // 1. Undefined goes after everything.
    if (va.isUndefined())
        return 1;
    if (vb.isUndefined())
        return -1;
    // 2. Text order of ToString.
    auto view = [](const SortEntry& e) {
        return e.oneByte ? TextView::ofBytes(static_cast<const unsigned char*>(e.text), e.length)
                         : TextView(static_cast<const char16_t*>(e.text), e.length);
    };
    std::u16string ta, tb;
    TextView sa = a.hasText ? view(a) : TextView(ta = toText(engine, va));
    TextView sb = b.hasText ? view(b) : TextView(tb = toText(engine, vb));
    return compareTexts(sa, sb);
}

// The sign of a comparison's result; anything but a number or a Boolean
// counts as equal.
int decimalDigitCount(std::uint64_t x) {
    int n = 1;
    while (x >= 10) {
        x /= 10;
        ++n;
    }
    return n;
}

// Orders two integers as their decimal texts order: '-' comes before every
// digit, and of two digit strings where one is a prefix of the other the
// shorter comes first. No text is made.
int decimalTextCompare(std::int64_t a, std::int64_t b) {
    static constexpr std::uint64_t kPow10[] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull,
        10000000ull, 100000000ull, 1000000000ull, 10000000000ull, 100000000000ull, 1000000000000ull,
        10000000000000ull, 100000000000000ull, 1000000000000000ull, 10000000000000000ull,
        100000000000000000ull, 1000000000000000000ull, 10000000000000000000ull};
    if ((a < 0) != (b < 0))
        return a < 0 ? -1 : 1;
    std::uint64_t x = a < 0 ? 0 - std::uint64_t(a) : std::uint64_t(a);
    std::uint64_t y = b < 0 ? 0 - std::uint64_t(b) : std::uint64_t(b);
    int dx = decimalDigitCount(x), dy = decimalDigitCount(y);
    if (dx == dy)
        return x < y ? -1 : (x > y ? 1 : 0);
    // Compare the shorter with the same number of leading digits of the longer.
    if (dx < dy)
        return x <= y / kPow10[dy - dx] ? -1 : 1;
    return x / kPow10[dx - dy] < y ? -1 : 1;
}

int comparisonSign(const Value& result) {
    if (result.isFloat())
        return result.asFloat() > 0 ? 1 : (result.asFloat() < 0 ? -1 : 0);
    if (result.isInteger())
        return result.asInteger() > 0 ? 1 : (result.asInteger() < 0 ? -1 : 0);
    if (result.isBoolean())
        return result.asBoolean() ? 1 : 0;
    return 0;
}

int userCompare(Engine& engine, const Value& compare, const Value& a, const Value& b) {
    Value result;
    if (!callCallable(engine, compare, {a, b}, result))
        return 0; // a failing comparison counts as equal; errorText keeps the message
    return comparisonSign(result);
}

// The default sort of a compact array without holes holding only integers:
// their texts' order is computed from the numbers, in the array's own block.
// No script runs and integers with the same text are the same Value, so the
// result is the one the gathering sort gives. False when it does not apply.
bool sortIntegersInPlace(Engine& engine, ArrayBody* self) {
    std::uint64_t n = arrayCompactTop(self);
    if (n < 2 || arrayElementCount(self) != n || !isNumberClass(engine.classOf(Kind::Integer)))
        return false;
    Value* first = arrayCompactSlot(self, 0);
    if (!first || !std::all_of(first, first + n, [](const Value& v) { return v.isInteger(); }))
        return false;
    std::sort(first, first + n, [](const Value& a, const Value& b) {
        return decimalTextCompare(a.asInteger(), b.asInteger()) < 0;
    });
    return true;
}

// The block of a compact array without holes, lent to a sort by a
// comparison function (arrayLend): the sort orders positions in it, the
// comparisons get its Values, and it holds the elements the sort began with,
// in bucket order, whatever the comparisons do to the array. Its Values are
// marked here for as long as the loan lasts, since the array stops marking
// them when it takes a copy of its own. A loan that ends early (an error
// leaving the sort) gives the array its elements back in index order; the
// block is freed here once the array has let it go.
class BlockLoan {
public:
    // `order` has room for the array's elements and outlives the loan.
    BlockLoan(Engine& engine, ArrayBody* array, std::vector<std::uint32_t>& order)
        : engine_(engine), array_(array), order_(order) {
        engine_.addRootTracer(trace, this); // before lending: it may throw
        block_ = arrayLend(array, order.data());
        count_ = block_ ? std::uint32_t(arrayElementCount(array)) : 0;
    }
    ~BlockLoan() {
        engine_.removeRootTracer(trace, this);
        if (block_ && !(ended_ ? held_ : arrayEndLoan(array_, block_, order_.data())))
            engine_.gcFree(block_);
    }
    BlockLoan(const BlockLoan&) = delete;
    BlockLoan& operator=(const BlockLoan&) = delete;

    Value* block() const { return block_; }
    std::uint32_t count() const { return count_; }
    // Ends the loan with the block in the order the array is to take: true
    // when the array still holds it, so that it has that order now.
    bool end() {
        ended_ = true;
        held_ = arrayEndLoan(array_, block_, nullptr);
        return held_;
    }

private:
    static void trace(Engine& engine, void* data) {
        auto* self = static_cast<BlockLoan*>(data);
        if (!self->block_)
            return;
        markBlock(engine, self->block_);
        for (std::uint32_t i = 0; i < self->count_; ++i)
            if (refersToRecord(self->block_[i].kind))
                markValue(engine, self->block_[i]);
    }
    Engine& engine_;
    ArrayBody* array_;
    std::vector<std::uint32_t>& order_;
    Value* block_ = nullptr;
    std::uint32_t count_ = 0;
    bool ended_ = false;
    bool held_ = false;
};

// Orders positions in values[0..n-1], starting from `order`, with the
// comparison function or native; script comparisons see the Values
// themselves, so these must stay where they are while the sort runs.
void sortPositions(Engine& engine, const Value& compare, const Value* values, std::vector<std::uint32_t>& order) {
    if (compare.isFunction()) {
        // One script function called for every comparison.
        RepeatedCall call(engine, compare);
        mergeSort(order, [&](std::uint32_t a, std::uint32_t b) {
            Value result;
            return call.call(values[a], values[b], result) ? comparisonSign(result) : 0;
        });
    } else {
        mergeSort(order, [&](std::uint32_t a, std::uint32_t b) {
            return userCompare(engine, compare, values[a], values[b]);
        });
    }
}

// Sorts a compact array without holes by a comparison in its own block,
// where the elements stand in bucket order, as the gathered list would.
// Whatever a comparison does to the array, the sorted elements then
// replace its contents as arrayRebuild does; when nothing changed them,
// they are already in place. False when the array cannot lend its block.
bool sortInLentBlock(Engine& engine, ArrayBody* self, const Value& compare) {
    std::uint64_t top = arrayCompactTop(self);
    if (top < 2 || arrayElementCount(self) != top)
        return false;
    std::vector<std::uint32_t> order(top);
    BlockLoan loan(engine, self, order);
    if (!loan.block())
        return false;
    std::uint32_t n = loan.count();
    for (std::uint32_t i = 0; i < n; ++i)
        order[i] = i;
    sortPositions(engine, compare, loan.block(), order);
    // No script runs from here on.
    arrayPermute(loan.block(), order.data(), n);
    if (!loan.end()) {
        std::uint64_t length = self->length;
        arrayRebuild(engine, self, loan.block(), n);
        self->length = std::max<std::uint64_t>(length, n);
    }
    return true;
}

void sortMethod(Engine& engine, ArrayBody* self, ArgList args) {
    // 1. The comparison: a Function or Native argument, else the default.
    Value compare = args.arg(1);
    bool user = compare.isFunction() || compare.isNative();
    if (!user && sortIntegersInPlace(engine, self))
        return;
    if (user && sortInLentBlock(engine, self, compare))
        return;
    // 2. Gather the elements in bucket order; they stay rooted while script
    //    comparisons run.
    RootedValues rooted(engine);
    rooted.values = arrayGather(self);
    if (rooted.values.size() > kMaxSortElements)
        engine.raiseError(kErrOutOfMemory);
    // 3. Stable merge sort of positions in the gathered list, which keeps
    //    every Value rooted where it is while script comparisons run; a
    //    comparison sees the Values themselves.
    std::vector<std::uint32_t> order;
    if (user) {
        order.resize(rooted.values.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = std::uint32_t(i);
        sortPositions(engine, compare, rooted.values.data(), order);
    } else if (isNumberClass(engine.classOf(Kind::Integer)) &&
               std::all_of(rooted.values.begin(), rooted.values.end(), [](const Value& v) { return v.isInteger(); })) {
        // Only integers: their texts' order is computed from the numbers,
        // and the list is sorted in place (`order` stays empty).
        mergeSort(rooted.values, [](const Value& a, const Value& b) {
            return decimalTextCompare(a.asInteger(), b.asInteger());
        });
    } else {
        // Texts of the other primitives go into one buffer, written first
        // (the entries point into it once it no longer grows).
        auto converted = [](const Value& v) {
            return v.isInteger() || v.isFloat() || v.isNaN() || v.isBoolean() || v.isNull();
        };
        bool integerDigits = isNumberClass(engine.classOf(Kind::Integer));
        std::u16string texts;
        std::vector<std::uint32_t> ends;
        for (const Value& v : rooted.values) {
            if (!converted(v))
                continue;
            if (v.isInteger() && integerDigits) {
                char16_t digits[kDecimalDigitsMax];
                const char16_t* from = decimalDigits(v.asInteger(), digits);
                texts.append(from, size_t(digits + kDecimalDigitsMax - from));
            } else {
                texts.append(toText(engine, v));
            }
            if (texts.size() > 0xFFFFFFFFu)
                engine.raiseError(kErrOutOfMemory);
            ends.push_back(std::uint32_t(texts.size()));
        }
        std::vector<SortEntry, BulkAllocator<SortEntry>> entries;
        entries.reserve(rooted.values.size());
        size_t next = 0;
        std::uint32_t start = 0;
        for (std::size_t i = 0; i < rooted.values.size(); ++i) {
            const Value& v = rooted.values[i];
            SortEntry e{nullptr, 0, 0, std::uint32_t(i), 0};
            if (v.isString()) {
                TextView t = textOf(v.asString());
                e.text = t.data;
                e.length = std::uint32_t(t.size());
                e.oneByte = t.oneByte;
                e.hasText = 1;
            } else if (converted(v)) {
                e.text = texts.data() + start;
                e.length = ends[next] - start;
                e.hasText = 1;
                start = ends[next++];
            }
            entries.push_back(e);
        }
        ends = {};
        const std::vector<Value>& values = rooted.values;
        mergeSort(entries,
                  [&](const SortEntry& a, const SortEntry& b) { return defaultCompare(engine, values, a, b); });
        texts = {};
        order.resize(entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i)
            order[i] = entries[i].index;
    }
    // The rooted list kept every Value alive while comparisons ran; no
    // script runs from here on, so it can take the sorted order.
    arrayPermute(rooted.values.data(), order.data(), order.size());
    // 4. Rebuild at indices 0..n-1; holes move to the end; the length stays.
    std::uint64_t length = self->length;
    arrayRebuild(engine, self, rooted.values);
    self->length = std::max<std::uint64_t>(length, rooted.values.size());
}

// ---------------------------------------------------------------------------
// Hooks

// The receiving array of a member; null for the class object.
ArrayBody* arrayOf(const MemberCall& c) {
    const Value* receiver = c.receiver();
    return receiver && receiver->isArray() ? receiver->asArray() : nullptr;
}

int toStringMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    c.result = a ? joinArray(c.engine, a, u",") : asciiTextResult(c.engine, builtinMessage(BuiltinMessage::ArrayClassText));
    return 1;
}

int concatMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    if (!a)
        return 0;
    c.result = concatMethod(c.engine, a, c.args);
    return 1;
}

int joinMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    if (!a)
        return 0;
    std::u16string separator = c.count() >= 1 ? toText(c.engine, c.args[1]) : u",";
    c.result = joinArray(c.engine, a, separator);
    return 1;
}

int popMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    if (!a)
        return 0;
    c.result = popMethod(c.engine, a);
    return 1;
}

int pushMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    if (!a)
        return 0;
    c.result = pushMethod(c.engine, a, c.args);
    return 1;
}

int reverseMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    if (!a)
        return 0;
    if (a->length > 0)
        reverseMethod(c.engine, a);
    return 1;
}

int shiftMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    if (!a)
        return 0;
    c.result = shiftMethod(c.engine, a);
    return 1;
}

int sliceMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    if (!a)
        return 0;
    c.result = sliceMethod(c.engine, a, c.args);
    return 1;
}

int spliceMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    if (!a)
        return 0;
    c.result = spliceMethod(c.engine, a, c.args);
    return 1;
}

int sortMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    if (!a)
        return 0;
    sortMethod(c.engine, a, c.args);
    c.result = Value::undefined();
    return 1;
}

int unshiftMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    if (!a)
        return 0;
    c.result = unshiftMethod(c.engine, a, c.args);
    return 1;
}

int lengthMember(MemberCall& c) {
    ArrayBody* a = arrayOf(c);
    if (!a) {
        // The class object reads 1; writes to it are not handled.
        if (c.put)
            return 0;
        c.value = Value::integer(1);
        return 1;
    }
    if (!c.put) {
        c.value = Value::integer(std::int64_t(a->length));
        return 1;
    }
    const Value& value = c.value;
    if (value.isInteger())
        truncateArray(c.engine, a, std::uint64_t(value.asInteger()));
    else if (value.isFloat() && value.asFloat() >= 0.0 && value.asFloat() < 1.8446744073709552e19)
        truncateArray(c.engine, a, std::uint64_t(value.asFloat()));
    return 1;
}

constexpr Member kArrayMembers[] = {
    Member::method("toString", toStringMember), Member::method("concat", concatMember),
    Member::method("join", joinMember),         Member::method("pop", popMember),
    Member::method("push", pushMember),         Member::method("reverse", reverseMember),
    Member::method("shift", shiftMember),       Member::method("slice", sliceMember),
    Member::method("splice", spliceMember),     Member::method("sort", sortMember),
    Member::method("unshift", unshiftMember),   Member::property("length", lengthMember),
};

// Appends ToString of the Value: a String as it stands and an Integer as
// its digits (what the built-in Number class gives) without a temporary.
// A text that would grow past the longest String raises "Out of memory"
// before anything is appended.
void appendText(Engine& engine, std::u16string& out, const Value& v) {
    auto append = [&](std::u16string_view text) {
        if (text.size() > kMaxStringLength - out.size())
            engine.raiseError(kErrOutOfMemory);
        out.append(text);
    };
    if (v.isString()) {
        withUnits(textOf(v.asString()), append);
    } else if (v.isInteger() && isNumberClass(engine.classOf(Kind::Integer))) {
        char16_t digits[kDecimalDigitsMax];
        const char16_t* from = decimalDigits(v.asInteger(), digits);
        append(std::u16string_view(from, size_t(digits + kDecimalDigitsMax - from)));
    } else {
        append(toText(engine, v));
    }
}

// The text of an element that is a String, or an Integer written as its
// digits (what the built-in Number class gives).
TextView plainText(const Value& v, unsigned char (&digits)[kDecimalDigitsMax]) {
    if (v.isString())
        return textOf(v.asString());
    const unsigned char* from = decimalDigits(v.asInteger(), digits);
    return TextView::ofBytes(from, size_t(digits + kDecimalDigitsMax - from));
}

// join of an array whose elements are all Strings and Integers (holes
// allowed) that is mostly filled: measured first, then written straight
// into the new string, one byte a unit when every unit fits. No conversion
// can run script code, so the array cannot change between the two passes.
// False when the array does not qualify; the general join then does the work.
bool joinPlainElements(Engine& engine, ArrayBody* a, std::u16string_view separator, Value& result) {
    if (a->length == 0 || a->length > 2 * arrayElementCount(a) + 64)
        return false;
    const bool integersPlain = isNumberClass(engine.classOf(Kind::Integer));
    unsigned char digits[kDecimalDigitsMax];
    TextView sep(separator);
    std::uint64_t total = (a->length - 1) * separator.size();
    bool oneByte = sep.fitsOneByte();
    Value v;
    for (std::uint64_t i = 0; i < a->length; ++i) {
        if (!arrayGet(a, i, v))
            continue;
        if (!v.isString() && !(v.isInteger() && integersPlain))
            return false;
        TextView text = plainText(v, digits);
        total += text.size();
        oneByte = oneByte && text.fitsOneByte();
    }
    if (total > kMaxStringLength)
        return false;
    TextWriter out;
    result = newStringToWrite(engine, size_t(total), oneByte, out);
    for (std::uint64_t i = 0; i < a->length; ++i) {
        if (i)
            out.put(sep);
        if (arrayGet(a, i, v))
            out.put(plainText(v, digits));
    }
    return true;
}

} // namespace

Value joinArray(Engine& engine, ArrayBody* a, std::u16string_view separator) {
    ArrayClassData* data = arrayData(engine);
    Value result;
    if (data && data->joinDepth < kMaxJoinDepth && joinPlainElements(engine, a, separator, result))
        return result;
    return wideTextResult(engine, joinArrayText(engine, a, separator));
}

std::u16string joinArrayText(Engine& engine, ArrayBody* a, std::u16string_view separator) {
    std::u16string out;
    ArrayClassData* data = arrayData(engine);
    if (a->length == 0 || (data && data->joinDepth >= kMaxJoinDepth))
        return out;
    // Present elements in index order; separators fill the gaps, so a huge
    // sparse array costs its elements, not its length. A mostly filled array
    // is read index by index.
    RootedValues rooted(engine);
    std::vector<std::pair<std::uint64_t, Value>> elements;
    std::uint64_t present = arrayElementCount(a);
    if (a->length <= 2 * present + 64) {
        elements.reserve(size_t(present));
        Value v;
        for (std::uint64_t i = 0; i < a->length; ++i)
            if (arrayGet(a, i, v))
                elements.emplace_back(i, v);
    } else {
        elements = elementsOf(a);
        std::sort(elements.begin(), elements.end(),
                  [](const auto& x, const auto& y) { return x.first < y.first; });
    }
    for (const auto& e : elements)
        rooted.values.push_back(e.second);
    auto appendSeparators = [&](std::uint64_t count) {
        if (separator.empty())
            return;
        if (count == 0)
            return;
        if (count > kMaxStringLength / separator.size() || out.size() + count * separator.size() > kMaxStringLength)
            engine.raiseError(kErrOutOfMemory);
        // A long run of holes is one fill, not one append per hole.
        if (separator.size() == 1) {
            out.append(size_t(count), separator[0]);
            return;
        }
        out.reserve(out.size() + size_t(count * separator.size()));
        for (std::uint64_t i = 0; i < count; ++i)
            out.append(separator);
    };
    struct DepthGuard {
        ArrayClassData* data;
        explicit DepthGuard(ArrayClassData* d) : data(d) { if (data) ++data->joinDepth; }
        ~DepthGuard() { if (data) --data->joinDepth; }
    } guard(data);
    std::uint64_t written = 0; // separators written so far
    for (const auto& [index, value] : elements) {
        if (index >= a->length)
            break;
        appendSeparators(index - written);
        written = index;
        appendText(engine, out, value);
    }
    appendSeparators(a->length - 1 - written);
    return out;
}

void registerArrayClass(Engine& engine) {
    NativeClass* cls = defineClass(
        engine, {.globalNames = {"Array"}, .members = kArrayMembers, .call = arrayCall, .construct = arrayConstruct});
    memberIds(cls).setState(new ArrayClassData{});
    engine.setKindClass(Kind::Array, cls);
}

} // namespace quill
