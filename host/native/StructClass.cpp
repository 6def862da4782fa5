// Struct and StructArray: structure memory exposed to scripts.
#include "host/native/StructClass.h"

#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include "host/files/StreamValues.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"

namespace paloma::host {

using quill::ArgList;
using quill::Engine;
using quill::NativeClass;
using quill::SymbolId;
using quill::Value;

namespace {

// ---- class state ------------------------------------------------------------------

// Per engine, in the Struct class: the alignment (`Struct.align`) and the
// interned member names of every layout seen so far.
struct StructClassState {
    uint32_t alignment = 8;
    NativeClass* arrayClass = nullptr;
    struct BoundLayout {
        std::shared_ptr<const StructLayout> layout;
        std::vector<SymbolId> ids;
    };
    std::unordered_map<const StructLayout*, BoundLayout> bound;

    const std::vector<SymbolId>& idsOf(Engine& engine, const std::shared_ptr<const StructLayout>& layout) {
        auto& b = bound[layout.get()];
        if (!b.layout) {
            b.layout = layout;
            for (const StructMember& m : layout->members)
                b.ids.push_back(engine.internName(m.name));
        }
        return b.ids;
    }
};

NativeClass* structClass(Engine& engine) {
    NativeClass* cls = classBoundTo(engine, "Struct");
    if (!cls || !cls->classData || !quill::memberIds(cls).state<StructClassState>())
        return nullptr;
    return cls;
}

// A StructArray: one array member of a Struct.
struct StructArrayObject {
    std::shared_ptr<StructMemory> memory;
    std::shared_ptr<const StructLayout> owner; // keeps `member` alive
    const StructMember* member = nullptr;
    uint32_t offset = 0; // of element 0 in the memory

    void markValues(Engine& engine) const {
        for (const auto& [at, v] : memory->pointers)
            quill::markValue(engine, v);
    }
};

// ---- reading and writing one element --------------------------------------------

template <class T>
T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class T>
void store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

bool makeStruct(Engine& engine, std::shared_ptr<StructMemory> memory, uint32_t base,
                std::shared_ptr<const StructLayout> layout, Value& out);
bool makeArray(Engine& engine, const StructObject& s, const StructMember& m, Value& out);

// Element `at` (absolute byte offset) of member m.
Value readElement(Engine& engine, const std::shared_ptr<StructMemory>& memory, const StructMember& m,
                  uint32_t at) {
    if (m.isPointer()) {
        auto it = memory->pointers.find(at);
        if (it != memory->pointers.end())
            return it->second;
        // No Value stored: a pointer the native side left there reads as
        // its address.
        uint64_t address = m.elementSize == 8 ? load<uint64_t>(&memory->bytes[at]) : load<uint32_t>(&memory->bytes[at]);
        return address ? Value::integer(int64_t(address)) : Value::undefined();
    }
    const uint8_t* p = &memory->bytes[at];
    switch (m.flags) {
    case kStructBoolean: return Value::boolean(load<int32_t>(p) != 0);
    case kStructChar: return Value::integer(load<int8_t>(p));
    case kStructUChar: return Value::integer(load<uint8_t>(p));
    case kStructShort: return Value::integer(load<int16_t>(p));
    case kStructUShort: return Value::integer(load<uint16_t>(p));
    case kStructLong: return Value::integer(load<int32_t>(p));
    case kStructULong: return Value::integer(load<uint32_t>(p));
    case kStructInt64:
    case kStructUInt64: return Value::integer(load<int64_t>(p));
    case kStructFloat: return quill::floatResult(load<float>(p));
    case kStructDouble: return quill::floatResult(load<double>(p));
    case kStructNested: {
        Value out;
        if (!makeStruct(engine, memory, at, m.nested, out))
            return Value::null();
        return out;
    }
    default: return Value::undefined();
    }
}

bool isStringStream(Engine& engine, const Value& v) { return quill::isInstanceOf(v, engine, "StringStream"); }

// Whether a pointer member of m's pointed-to type takes the Value.
bool pointerAccepts(Engine& engine, const StructMember& m, const Value& v) {
    switch (m.baseFlags) {
    case kStructPointer:
    case kStructString: return true;
    case kStructBoolean: return v.isBoolean();
    case kStructFloat:
    case kStructDouble: return v.isFloat();
    case kStructNested: return structOf(engine, v) != nullptr;
    default: return v.isBoolean() || v.isInteger() || v.isFloat() || v.isString() || isStringStream(engine, v);
    }
}

void writeElement(Engine& engine, StructMemory& memory, const StructMember& m, uint32_t at, const Value& v) {
    if (m.isPointer()) {
        if (pointerAccepts(engine, m, v))
            memory.pointers[at] = v;
        return;
    }
    uint8_t* p = &memory.bytes[at];
    if (m.flags == kStructFloat || m.flags == kStructDouble) {
        double d;
        if (v.isInteger())
            d = double(v.asInteger());
        else if (v.isFloat())
            d = v.asFloat();
        else
            return;
        if (m.flags == kStructFloat)
            store(p, float(d));
        else
            store(p, d);
        return;
    }
    if (m.flags == kStructNested)
        return; // structure members cannot be written
    Value n = v.isBoolean() ? Value::integer(v.asBoolean() ? 1 : 0) : quill::toNumber(engine, v);
    if (!n.isInteger())
        return;
    auto bits = uint64_t(n.asInteger());
    switch (m.flags) {
    case kStructBoolean: store<int32_t>(p, bits != 0 ? 1 : 0); break;
    case kStructChar:
    case kStructUChar: store(p, uint8_t(bits)); break;
    case kStructShort:
    case kStructUShort: store(p, uint16_t(bits)); break;
    case kStructLong:
    case kStructULong: store(p, uint32_t(bits)); break;
    case kStructInt64:
    case kStructUInt64: store(p, bits); break;
    default: break;
    }
}

// ---- Struct -------------------------------------------------------------------------

void structConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    result = nullResult();
    auto text = argAt(args, 1);
    if (!text || !text->isString())
        return;
    auto layout = layoutDescriptor(engine, quill::stringToAnsi(text->asString()));
    if (!layout)
        return;
    auto object = std::make_unique<StructObject>();
    try {
        object->memory = std::make_shared<StructMemory>();
        object->memory->bytes.assign(layout->size, 0);
    } catch (const std::bad_alloc&) {
        return;
    }
    object->layout = std::move(layout);
    bindHandle(engine, cls, std::move(object), result);
}

void structCall(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) {
    structConstruct(engine, cls, args, result);
}

void structSize(StructObject& s, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(s.layout->size);
}

void align(MemberCall& c) {
    auto& state = quill::classState<StructClassState>(c.cls);
    if (!c.put) {
        c.value = integerResult(state.alignment);
        return;
    }
    if (auto n = numberFrom(c.value); n && validAlignment(*n))
        state.alignment = uint32_t(*n);
}

constexpr Member kStructMembers[] = {
    property<structSize>("structSize"),
    classProperty<align>("align"),
};

// The members of the layout, after the table's own.
int structAccessProperty(Engine& engine, NativeClass* cls, void* self, SymbolId id, int put, Value& value) {
    if (quill::kitAccessProperty(engine, cls, self, id, put, value))
        return 1;
    StructObject* s = liveObject<StructObject>(self);
    if (!s)
        return 0;
    if (!s->memberIds)
        s->memberIds = &quill::classState<StructClassState>(cls).idsOf(engine, s->layout);
    const auto& ids = *s->memberIds;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] != id)
            continue;
        const StructMember& m = s->layout->members[i];
        uint32_t at = s->base + m.offset;
        if (m.isArray()) {
            if (!put && !makeArray(engine, *s, m, value))
                value = nullResult();
            return 1;
        }
        if (put)
            writeElement(engine, *s->memory, m, at, value);
        else
            value = readElement(engine, s->memory, m, at);
        return 1;
    }
    return 0;
}

bool makeStruct(Engine& engine, std::shared_ptr<StructMemory> memory, uint32_t base,
                std::shared_ptr<const StructLayout> layout, Value& out) {
    NativeClass* cls = structClass(engine);
    if (!cls)
        return false;
    auto object = std::make_unique<StructObject>();
    object->memory = std::move(memory);
    object->base = base;
    object->layout = std::move(layout);
    bindHandle(engine, cls, std::move(object), out);
    return true;
}

// ---- StructArray -----------------------------------------------------------------------

bool makeArray(Engine& engine, const StructObject& s, const StructMember& m, Value& out) {
    NativeClass* structCls = structClass(engine);
    if (!structCls)
        return false;
    NativeClass* cls = quill::classState<StructClassState>(structCls).arrayClass;
    auto object = std::make_unique<StructArrayObject>();
    object->memory = s.memory;
    object->owner = s.layout;
    object->member = &m;
    object->offset = s.base + m.offset;
    bindHandle(engine, cls, std::move(object), out);
    return true;
}

void arrayElement(Engine& engine, NativeClass*, void* data, int64_t index, int put, Value& value) {
    StructArrayObject* a = liveObject<StructArrayObject>(data);
    if (!a)
        return;
    const StructMember& m = *a->member;
    if (index < 0 || index >= m.count)
        return; // outside the count: reads undefined, writes are ignored
    uint32_t at = a->offset + uint32_t(index) * m.elementSize;
    if (put)
        writeElement(engine, *a->memory, m, at, value);
    else
        value = readElement(engine, a->memory, m, at);
}

// toString: the member's bytes up to the first 0 as single-byte text; on the
// class object "[object StructArray]".
void arrayToString(MemberCall& c) {
    StructArrayObject* a = liveObject<StructArrayObject>(c.self);
    if (!a) {
        c.result = staticTextResult(c.engine, quill::memberIds(c.cls).text());
        return;
    }
    const char* p = reinterpret_cast<const char*>(&a->memory->bytes[a->offset]);
    size_t n = a->member->size();
    c.result = ansiTextResult(c.engine, std::string_view(p, strnlen(p, n)));
}

constexpr Member kArrayMembers[] = {
    classMethod<arrayToString>("toString"),
};

} // namespace

// ---- services ---------------------------------------------------------------------------

void StructObject::markValues(Engine& engine) const {
    for (const auto& [at, v] : memory->pointers)
        quill::markValue(engine, v);
}

LayoutRules currentLayoutRules(Engine& engine) {
    LayoutRules rules;
    rules.pointerSize = sizeof(void*);
    if (NativeClass* cls = structClass(engine))
        rules.alignment = quill::classState<StructClassState>(cls).alignment;
    return rules;
}

std::shared_ptr<const StructLayout> layoutDescriptor(Engine& engine, std::string_view descriptor) {
    DescriptorLookup lookup = [&engine](std::string_view name) -> std::optional<std::string> {
        SymbolId id;
        if (!engine.findName(name, id))
            return std::nullopt;
        const Value& v = engine.global(id);
        if (!v.isString())
            return std::nullopt;
        return quill::stringToAnsi(v.asString());
    };
    return layoutStruct(descriptor, currentLayoutRules(engine), lookup);
}

StructObject* structOf(Engine& engine, const Value& v) {
    if (!v.isNative())
        return nullptr;
    NativeClass* cls = structClass(engine);
    if (!cls || v.asNative()->cls != cls)
        return nullptr;
    return liveObject<StructObject>(v.asNative()->data);
}

bool newStructValue(Engine& engine, std::shared_ptr<const StructLayout> layout, const uint8_t* bytes, size_t count,
                    Value& out) {
    auto memory = std::make_shared<StructMemory>();
    memory->bytes.assign(layout->size, 0);
    if (bytes)
        std::memcpy(memory->bytes.data(), bytes, std::min<size_t>(count, layout->size));
    return makeStruct(engine, std::move(memory), 0, std::move(layout), out);
}

void registerStructClasses(Engine& engine) {
    // StructArray first: the Struct class state refers to it.
    NativeClass* arrayCls = registerHostClass(engine, {.className = "StructArray",
                                                       .members = kArrayMembers,
                                                       .destroyData = destroyHandle<StructArrayObject>,
                                                       .markData = markHandle<StructArrayObject>});
    engine.elementHooks.emplace_back(arrayCls, arrayElement);
    NativeClass* cls = registerHostClass(engine, {.className = "Struct",
                                                  .members = kStructMembers,
                                                  .call = structCall,
                                                  .accessProperty = structAccessProperty,
                                                  .construct = structConstruct,
                                                  .destroyData = destroyHandle<StructObject>,
                                                  .markData = markHandle<StructObject>});
    auto state = std::make_unique<StructClassState>();
    state->arrayClass = arrayCls;
    quill::memberIds(cls).setState(state.release());
}

// ---- native copies ------------------------------------------------------------------------

uint8_t* NativeStructCopy::keep(std::vector<uint8_t> buffer) {
    buffers_.push_back(std::move(buffer));
    return buffers_.back().data();
}

bool NativeStructCopy::build(Engine& engine, const StructObject& s) {
    layout_ = s.layout;
    bytes_.assign(s.data(), s.data() + s.layout->size);
    return fill(engine, s, bytes_.data(), 0);
}

// Writes a native pointer for every pointer member with a Value (nested
// structures included) into `into`, a copy of s's memory.
bool NativeStructCopy::fill(Engine& engine, const StructObject& s, uint8_t* into, int depth) {
    for (const auto& [at, v] : s.memory->pointers) {
        if (at < s.base || at >= s.base + s.layout->size)
            continue;
        // The member that holds this offset (nested structures searched).
        const StructLayout* layout = s.layout.get();
        uint32_t rel = at - s.base;
        const StructMember* found = nullptr;
        while (layout && !found) {
            const StructMember* next = nullptr;
            for (const StructMember& m : layout->members) {
                if (rel < m.offset || rel >= m.offset + m.size())
                    continue;
                if (m.isPointer())
                    found = &m;
                else if (m.flags == kStructNested) {
                    next = &m;
                    rel = (rel - m.offset) % m.elementSize;
                }
                break;
            }
            layout = found || !next ? nullptr : next->nested.get();
        }
        if (!found)
            continue;
        void* p = pointerFor(engine, *found, v, depth);
        uintptr_t bits = reinterpret_cast<uintptr_t>(p);
        std::memcpy(into + (at - s.base), &bits, sizeof bits);
        if (depth == 0)
            restore_.push_back({at - s.base, bits, v});
    }
    return true;
}

// A native pointer made from a pointer member's Value.
void* NativeStructCopy::pointerFor(Engine& engine, const StructMember& m, const Value& v, int depth) {
    auto bytesOf = [this](const void* p, size_t n) {
        std::vector<uint8_t> b(n);
        std::memcpy(b.data(), p, n);
        return static_cast<void*>(keep(std::move(b)));
    };
    if (v.isString()) {
        if (m.baseFlags == kStructShort || m.baseFlags == kStructUShort) {
            std::u16string w = quill::stringToWide(v.asString());
            return bytesOf(w.c_str(), (w.size() + 1) * sizeof(char16_t));
        }
        std::string a = quill::stringToAnsi(v.asString());
        return bytesOf(a.c_str(), a.size() + 1);
    }
    if (MemoryStream* stream = stringStreamOf(engine, v)) {
        // A copy of its bytes, with a zero after them.
        std::vector<uint8_t> b(stream->content());
        b.push_back(0);
        return keep(std::move(b));
    }
    if (StructObject* inner = structOf(engine, v)) {
        if (depth >= 16)
            return nullptr;
        std::vector<uint8_t> b(inner->data(), inner->data() + inner->layout->size);
        uint8_t* p = keep(std::move(b));
        fill(engine, *inner, p, depth + 1);
        return p;
    }
    if (v.isFloat()) {
        if (m.baseFlags == kStructFloat) {
            float f = float(v.asFloat());
            return bytesOf(&f, sizeof f);
        }
        double d = v.asFloat();
        return bytesOf(&d, sizeof d);
    }
    if (v.isInteger() || v.isBoolean()) {
        int64_t n = v.isInteger() ? v.asInteger() : (v.asBoolean() ? 1 : 0);
        if (m.baseFlags == kStructPointer || m.baseFlags == kStructString)
            return reinterpret_cast<void*>(static_cast<uintptr_t>(n)); // the Integer is the address
        size_t width = 4;
        switch (m.baseFlags) {
        case kStructChar:
        case kStructUChar: width = 1; break;
        case kStructShort:
        case kStructUShort: width = 2; break;
        case kStructInt64:
        case kStructUInt64: width = 8; break;
        default: break;
        }
        return bytesOf(&n, width); // little-endian: the low bytes
    }
    return nullptr;
}

bool NativeStructCopy::toStruct(Engine& engine, Value& out) {
    for (const Restore& r : restore_) {
        uintptr_t now;
        std::memcpy(&now, bytes_.data() + r.offset, sizeof now);
        if (now == r.pointer)
            std::memset(bytes_.data() + r.offset, 0, sizeof now);
    }
    if (!newStructValue(engine, layout_, bytes_.data(), bytes_.size(), out))
        return false;
    StructObject* s = structOf(engine, out);
    for (const Restore& r : restore_) {
        uintptr_t now;
        std::memcpy(&now, s->data() + r.offset, sizeof now);
        if (now == 0)
            s->memory->pointers[r.offset] = r.value;
    }
    return true;
}

} // namespace paloma::host
