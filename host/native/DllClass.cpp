// Dll, DllParam and the registered DLL functions.
#include "host/native/DllClass.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/files/StreamValues.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"
#include "host/native/NativeCall.h"
#include "host/native/NativeTypes.h"
#include "host/native/StructClass.h"

namespace paloma::host {

using quill::ArgList;
using quill::Engine;
using quill::NativeClass;
using quill::ObjectRecord;
using quill::SymbolId;
using quill::Value;

namespace {

// ---- modules and function records --------------------------------------------------

// The engine's loaded modules by short path: a module is loaded once however
// many functions it serves and freed with the last of them.
struct ModuleTable {
    std::map<std::string, std::weak_ptr<NativeModule>> modules;

    std::shared_ptr<NativeModule> add(std::unique_ptr<NativeModule> loaded) {
        std::string key = loaded->key();
        auto& slot = modules[key];
        if (auto existing = slot.lock())
            return existing; // `loaded` is released: the extra load is undone
        std::shared_ptr<NativeModule> module = std::move(loaded);
        slot = module;
        return module;
    }
};

struct DllFunction {
    void* procedure = nullptr;
    std::shared_ptr<NativeModule> module;
    uint32_t flags = 0;
    TypeDescriptor result;
    std::vector<TypeDescriptor> params;
    // Integers in and out, a word each, at most kFewWords, no register
    // words of fastcall: such a call may skip the argument block.
    bool fewWords = false;
};

// An integer type of a word at most (a pointer included), by value.
bool wordInteger(const TypeDescriptor& d) {
    return !d.byReference && ((d.code >= kTypeChar && d.code <= kTypeULong) || d.code == kTypePointer ||
                              (d.code == kTypeInt64 && sizeof(uintptr_t) == 8));
}

bool takesFewWords(const DllFunction& f) {
    if (f.params.size() > kFewWords || (f.flags & (kCallFastcall | kCallFloatResult | kCallDoubleResult)))
        return false;
    for (const TypeDescriptor& d : f.params)
        if (!wordInteger(d))
            return false;
    const TypeDescriptor& r = f.result;
    return r.byReference || r.code == kTypeVoid || wordInteger(r) || r.code == kTypeInt64;
}

struct DllClassState {
    NativeClass* functionClass = nullptr;
    NativeClass* paramClass = nullptr;
    ModuleTable modules;
};

DllClassState* dllState(Engine& engine) {
    NativeClass* cls = classBoundTo(engine, "Dll");
    if (!cls || !cls->classData)
        return nullptr;
    return quill::memberIds(cls).state<DllClassState>();
}

// ---- types ---------------------------------------------------------------------------

// A type name (the table, else a structure named by a global descriptor) or
// a DllParam.
std::optional<TypeDescriptor> typeOf(Engine& engine, const Value& v, NativeClass* paramClass) {
    if (v.isNative() && v.asNative()->cls == paramClass) {
        if (auto* d = liveObject<TypeDescriptor>(v.asNative()->data))
            return *d;
        return std::nullopt;
    }
    if (!v.isString())
        return std::nullopt;
    std::string name = quill::stringToAnsi(v.asString());
    if (auto t = tableType(name))
        return t;
    TypeDescriptor t;
    t.code = kTypeStruct;
    if (!name.empty() && name.back() == '*') {
        t.byReference = true;
        name.pop_back();
    }
    SymbolId id;
    if (name.empty() || !engine.findName(name, id) || !engine.global(id).isString())
        return std::nullopt;
    auto layout = layoutDescriptor(engine, quill::stringToAnsi(engine.global(id).asString()));
    if (!layout || layout->size < 1)
        return std::nullopt;
    t.size = layout->size;
    t.structName = name;
    return t;
}

// ---- the argument block ------------------------------------------------------------------

constexpr size_t kWord = sizeof(uintptr_t);

// What goes back into an Object argument's `value` after the call.
struct WriteBack {
    ObjectRecord* object;
    Value held; // `value` before the call
    uint32_t code;
    const uint8_t* buffer;
    size_t size;
    NativeStructCopy* copy; // when `value` held a Struct
};

struct ArgumentBlock {
    // The words live in the block itself: a call allocates nothing for
    // them. A call that would need more words than the table has fails.
    // Only the first `count` are set: the call reads no others.
    std::array<uintptr_t, kMaxArgumentWords> words;
    std::array<uint8_t, kMaxArgumentWords> flags; // WordFlag bits of each word
    size_t count = 0;
    bool overflow = false;
    std::list<std::vector<uint8_t>> buffers;
    std::list<NativeStructCopy> copies;
    std::vector<WriteBack> writeBacks;

    uint8_t* buffer(size_t n) {
        buffers.emplace_back(std::max<size_t>(n, 8), 0);
        return buffers.back().data();
    }
    // A zero-filled buffer of `size` bytes (and one more zero, so that a
    // callee reading text stops inside it) holding a copy of `bytes`,
    // which must not be longer.
    uint8_t* copyOf(const std::vector<uint8_t>& bytes, size_t size) {
        uint8_t* p = buffer(size + 1);
        if (!bytes.empty())
            std::memcpy(p, bytes.data(), bytes.size());
        return p;
    }
    void pushWord(uintptr_t w, uint8_t wordFlags) {
        if (count == kMaxArgumentWords) {
            overflow = true;
            return;
        }
        words[count] = w;
        flags[count++] = wordFlags;
    }
    void pushPointer(const void* p) { pushWord(reinterpret_cast<uintptr_t>(p), kWordInRegister); }
    // Up to 8 bytes of a scalar (zero after its width): fixed-size copies.
    void pushScalar(const uint8_t (&bytes)[8], size_t width, uint8_t wordFlags) {
        uintptr_t w;
        std::memcpy(&w, bytes, sizeof w);
        if (width <= 4) {
            pushWord(w, wordFlags);
            return;
        }
        wordFlags &= uint8_t(~kWordInRegister);
        pushWord(w, wordFlags);
        if (kWord == 4) {
            std::memcpy(&w, bytes + 4, sizeof w);
            pushWord(w, wordFlags);
        }
    }
    // A value of n bytes by value: whole words (32-bit: n rounded up to 4;
    // 64-bit: one word, larger values by a pointer to a copy).
    void pushBytes(const void* p, size_t n, uint8_t wordFlags) {
        if (kWord == 8 && n > 8) {
            uint8_t* copy = buffer(n);
            std::memcpy(copy, p, n);
            pushPointer(copy);
            return;
        }
        size_t count = (n + kWord - 1) / kWord;
        for (size_t i = 0; i < count; ++i) {
            uintptr_t w = 0;
            std::memcpy(&w, static_cast<const uint8_t*>(p) + i * kWord, std::min(kWord, n - i * kWord));
            pushWord(w, n <= 4 ? wordFlags : uint8_t(wordFlags & ~kWordInRegister));
        }
    }
};

// A scalar argument: an integer or a floating-point number.
struct Scalar {
    int64_t integer = 0;
    double number = 0;
    bool isFloat = false;
};

// Integer, Boolean, Float and non-empty String values as a scalar for codes
// 1-9 (Integer and Boolean for 10 too).
std::optional<Scalar> scalarOf(const Value& v, uint32_t code) {
    if (code < kTypeChar || code > kTypePointer)
        return std::nullopt;
    if (v.isInteger() || v.isBoolean())
        return Scalar{v.isInteger() ? v.asInteger() : (v.asBoolean() ? 1 : 0), 0, false};
    if (code == kTypePointer)
        return std::nullopt;
    if (v.isFloat()) {
        double d = v.asFloat();
        Scalar s{0, d, true};
        if (code != kTypeFloat && code != kTypeDouble) {
            if (!std::isfinite(d) || std::fabs(d) >= 9.2e18)
                return std::nullopt;
            s.integer = static_cast<int64_t>(d);
        }
        return s;
    }
    if (v.isString() && v.asString()->length > 0)
        return Scalar{quill::textOf(v.asString())[0], 0, false};
    return std::nullopt;
}

// The scalar's bytes with the type's width; returns the width.
size_t encode(const Scalar& s, uint32_t code, uint8_t out[8]) {
    // All eight bytes are written at once: the bytes past the width are zero.
    uint64_t bits;
    size_t width;
    if (code == kTypeFloat) {
        bits = std::bit_cast<uint32_t>(s.isFloat ? float(s.number) : float(s.integer));
        width = 4;
    } else if (code == kTypeDouble) {
        bits = std::bit_cast<uint64_t>(s.isFloat ? s.number : double(s.integer));
        width = 8;
    } else {
        width = code == kTypePointer ? sizeof(void*) : elementSize(code);
        bits = uint64_t(s.integer); // little-endian: the low bytes
        if (width < 8)
            bits &= (uint64_t(1) << (8 * width)) - 1;
    }
    std::memcpy(out, &bits, 8);
    return width;
}

// x64 passes structures of 1, 2, 4 or 8 bytes by value in a word; the
// 32-bit build copies any structure onto the stack.
bool structInWord(size_t size) { return kWord == 4 || size == 1 || size == 2 || size == 4 || size == 8; }

Value valueProperty(Engine& engine, ObjectRecord* object) {
    Value out;
    quill::objectGet(engine, object, engine.internName("value"), out);
    return out;
}

// A number, Boolean or one-character string by value, with the type's width.
bool pushScalar(ArgumentBlock& block, const TypeDescriptor& d, const Value& v) {
    auto scalar = scalarOf(v, d.code);
    if (!scalar)
        return false;
    uint8_t bytes[8];
    size_t width = encode(*scalar, d.code, bytes);
    bool floating = d.code == kTypeFloat || d.code == kTypeDouble;
    block.pushScalar(bytes, width, floating ? kWordFloating : d.code == kTypeInt64 ? 0 : kWordInRegister);
    return true;
}

bool pushByValue(Engine& engine, ArgumentBlock& block, const TypeDescriptor& d, const Value& v, bool viaObject) {
    if (v.isInteger() || v.isBoolean() || v.isFloat())
        return pushScalar(block, d, v); // the common case first
    if (v.isObject() && !viaObject)
        return pushByValue(engine, block, d, valueProperty(engine, v.asObject()), true);
    if (v.isNull() && d.code == kTypePointer) {
        block.pushWord(0, kWordInRegister);
        return true;
    }
    if (StructObject* s = structOf(engine, v)) {
        if (d.code != kTypePointer && (d.code != kTypeStruct || s->layout->size != d.size))
            return false;
        NativeStructCopy& copy = block.copies.emplace_back();
        if (!copy.build(engine, *s))
            return false;
        if (d.code == kTypePointer)
            block.pushPointer(copy.data());
        else if (structInWord(copy.size()))
            block.pushBytes(copy.data(), copy.size(), 0);
        else
            block.pushPointer(copy.data());
        return true;
    }
    if (MemoryStream* stream = stringStreamOf(engine, v)) {
        // A pointer to a copy of its bytes, or its bytes as the structure.
        if (d.code == kTypePointer) {
            block.pushPointer(block.copyOf(stream->content(), stream->length()));
            return true;
        }
        if (d.code != kTypeStruct || stream->length() > d.size)
            return false;
        uint8_t* p = block.copyOf(stream->content(), d.size);
        if (structInWord(d.size))
            block.pushBytes(p, d.size, 0);
        else
            block.pushPointer(p);
        return true;
    }
    return pushScalar(block, d, v);
}

bool pushByReference(Engine& engine, ArgumentBlock& block, const TypeDescriptor& d, const Value& v,
                     ObjectRecord* object) {
    if (v.isObject() && !object) {
        Value held = valueProperty(engine, v.asObject());
        return pushByReference(engine, block, d, held, v.asObject());
    }
    WriteBack wb{object, v, d.code, nullptr, 0, nullptr};
    if (StructObject* s = structOf(engine, v)) {
        if (d.code == kTypeStruct && s->layout->size != d.size)
            return false;
        NativeStructCopy& copy = block.copies.emplace_back();
        if (!copy.build(engine, *s))
            return false;
        block.pushPointer(copy.data());
        wb.buffer = copy.data();
        wb.size = copy.size();
        wb.copy = &copy;
    } else if (MemoryStream* stream = stringStreamOf(engine, v)) {
        // A copy of its data; for a structure, in a buffer of the
        // structure's size that the data must fit.
        size_t size = stream->length();
        if (d.code == kTypeStruct) {
            if (size > d.size)
                return false;
            size = d.size;
        }
        uint8_t* p = block.copyOf(stream->content(), size);
        block.pushPointer(p);
        wb.buffer = p;
        wb.size = size;
    } else if (v.isString()) {
        std::vector<uint8_t> text;
        if (d.code == kTypeShort || d.code == kTypeUShort) {
            std::u16string w = quill::stringToWide(v.asString());
            text.resize((w.size() + 1) * 2);
            std::memcpy(text.data(), w.c_str(), text.size());
        } else {
            std::string a = quill::stringToAnsi(v.asString());
            text.assign(a.begin(), a.end());
            text.push_back(0);
        }
        uint8_t* p = block.buffer(text.size());
        std::memcpy(p, text.data(), text.size());
        block.pushPointer(p);
        wb.buffer = p;
        wb.size = text.size();
    } else if ((v.isInteger() || v.isBoolean() || v.isFloat()) && d.code != kTypeStruct) {
        auto scalar = scalarOf(v, d.code);
        if (!scalar)
            return false;
        uint8_t bytes[8];
        size_t width = encode(*scalar, d.code, bytes);
        uint8_t* p = block.buffer(width);
        std::memcpy(p, bytes, width);
        block.pushPointer(p);
        wb.buffer = p;
        wb.size = width;
    } else {
        return false;
    }
    if (object)
        block.writeBacks.push_back(wb);
    return true;
}

// A new StringStream holding a copy of `size` bytes (null when the engine
// has no StringStream class).
Value bytesStream(Engine& engine, const uint8_t* p, size_t size) {
    try {
        return newStringStream(engine, MemoryStream(std::vector<uint8_t>(p, p + size)));
    } catch (const std::bad_alloc&) {
        return Value::null();
    }
}

// The pointed-to data of a by-reference Object argument, read back by the
// parameter's type: one element as a number, text when `value` held text,
// a Struct when it held one, otherwise a StringStream of the bytes.
Value readBack(Engine& engine, const WriteBack& wb) {
    const uint8_t* p = wb.buffer;
    size_t unit = elementSize(wb.code), n = unit ? wb.size / unit : 0;
    bool one = n == 1;
    switch (wb.code) {
    case kTypeChar:
    case kTypeByte:
        if (one)
            return Value::integer(wb.code == kTypeChar ? int64_t(int8_t(p[0])) : int64_t(p[0]));
        if (wb.held.isString())
            return ansiTextResult(engine, std::string_view(reinterpret_cast<const char*>(p),
                                                           strnlen(reinterpret_cast<const char*>(p), wb.size)));
        break;
    case kTypeShort:
    case kTypeUShort: {
        if (one) {
            uint16_t u;
            std::memcpy(&u, p, 2);
            return Value::integer(wb.code == kTypeShort ? int64_t(int16_t(u)) : int64_t(u));
        }
        if (wb.held.isString()) {
            std::u16string w(n, u'\0');
            std::memcpy(w.data(), p, n * 2);
            w.resize(std::char_traits<char16_t>::find(w.data(), n, u'\0') ? w.find(u'\0') : n);
            return wideTextResult(engine, w);
        }
        break;
    }
    case kTypeLong:
    case kTypeULong:
        if (one) {
            int32_t i;
            std::memcpy(&i, p, 4);
            return Value::integer(i);
        }
        break;
    case kTypeInt64:
        if (one) {
            int64_t i;
            std::memcpy(&i, p, 8);
            return Value::integer(i);
        }
        break;
    case kTypeFloat:
        if (one) {
            float f;
            std::memcpy(&f, p, 4);
            return quill::floatResult(f);
        }
        break;
    case kTypeDouble:
        if (one) {
            double f;
            std::memcpy(&f, p, 8);
            return quill::floatResult(f);
        }
        break;
    default:
        if (wb.copy) {
            Value out;
            if (wb.copy->toStruct(engine, out))
                return out;
        }
        break;
    }
    return bytesStream(engine, p, wb.size);
}

// The integer result by the result descriptor.
Value integerValue(const TypeDescriptor& d, uint64_t bits) {
    if (d.byReference || d.code == kTypePointer)
        return Value::integer(int64_t(uintptr_t(bits)));
    switch (d.code) {
    case kTypeChar: return Value::integer(int8_t(bits));
    case kTypeByte: return Value::integer(uint8_t(bits));
    case kTypeShort: return Value::integer(int16_t(bits));
    case kTypeUShort: return Value::integer(uint16_t(bits));
    case kTypeLong: return Value::integer(int32_t(bits));
    case kTypeULong: return Value::integer(uint32_t(bits));
    case kTypeInt64: return Value::integer(int64_t(bits));
    default: return Value::undefined();
    }
}

// ---- calling a registered function -------------------------------------------------------

// The call of a function that takes few integer words, when every argument
// is an Integer or a Boolean (the values scalarOf takes as they are); false
// to leave the call to the general path.
bool callWithFewWords(const DllFunction& f, const ArgList& args, Value& result) {
    uintptr_t words[kFewWords] = {};
    for (size_t i = 0; i < f.params.size(); ++i) {
        const Value& v = args.values[i + 1];
        int64_t n;
        if (v.isInteger())
            n = v.asInteger();
        else if (v.isBoolean())
            n = v.asBoolean() ? 1 : 0;
        else
            return false;
        uint8_t bytes[8];
        encode(Scalar{n, 0, false}, f.params[i].code, bytes);
        std::memcpy(&words[i], bytes, sizeof words[i]);
    }
    uint64_t bits;
    if (!invokeWords(f.procedure, f.flags, words, f.params.size(), bits))
        return true; // not callable here: undefined, as on the general path
    if (f.result.code != kTypeVoid || f.result.byReference)
        result = integerValue(f.result, bits);
    return true;
}

void callFunction(Engine& engine, NativeClass*, void* data, Value& result, ArgList args) {
    result = Value::undefined();
    DllFunction* f = liveObject<DllFunction>(data);
    if (!f || argCount(args) < int64_t(f->params.size()))
        return;
    if (f->fewWords && callWithFewWords(*f, args, result))
        return;
    ArgumentBlock block;
    // 3. A structure result by value: its buffer, passed first when it does
    // not come back in registers.
    const TypeDescriptor& r = f->result;
    bool structResult = r.code == kTypeStruct && !r.byReference;
    bool hidden = structResult && (kWord == 4 ? r.size > 8 : !structInWord(r.size));
    uint8_t* resultBuffer = structResult ? block.buffer(r.size) : nullptr;
    if (hidden)
        block.pushPointer(resultBuffer);
    // 2. The arguments.
    for (size_t i = 0; i < f->params.size(); ++i) {
        const TypeDescriptor& d = f->params[i];
        Value v = args.values[i + 1];
        bool ok = d.byReference ? pushByReference(engine, block, d, v, nullptr) : pushByValue(engine, block, d, v, false);
        if (!ok)
            return;
    }
    // 4. The call.
    NativeResultKind kind = (f->flags & kCallFloatResult)    ? NativeResultKind::Float
                            : (f->flags & kCallDoubleResult) ? NativeResultKind::Double
                                                             : NativeResultKind::Integer;
    NativeResult out;
    if (block.overflow ||
        !invokeNative(f->procedure, f->flags, block.words.data(), block.flags.data(), block.count, kind, out))
        return;
    // 5-7. The result, then the by-reference Objects.
    if (kind != NativeResultKind::Integer) {
        result = quill::floatResult(out.floating);
    } else if (structResult) {
        if (!hidden)
            std::memcpy(resultBuffer, &out.integer, std::min<size_t>(r.size, 8));
        // A Struct of the named layout when its size matches, else the bytes.
        bool made = false;
        SymbolId id;
        if (!r.structName.empty() && engine.findName(r.structName, id) && engine.global(id).isString()) {
            auto layout = layoutDescriptor(engine, quill::stringToAnsi(engine.global(id).asString()));
            if (layout && layout->size == r.size)
                made = newStructValue(engine, layout, resultBuffer, r.size, result);
        }
        if (!made)
            result = bytesStream(engine, resultBuffer, r.size);
    } else if (r.code != kTypeVoid || r.byReference) {
        result = integerValue(r, out.integer);
    }
    for (const WriteBack& wb : block.writeBacks)
        quill::objectPut(engine, wb.object, engine.internName("value"), readBack(engine, wb));
}

// ---- Dll -------------------------------------------------------------------------------------

// registerFunction(dll, name, alias, callType, resultType, paramType1, ...)
void registerFunction(MemberCall& c) {
    DllClassState* state = dllState(c.engine);
    if (!state || !c.has(5))
        return;
    for (int i = 1; i <= 4; ++i)
        if (!c.arg(i).isString())
            return;
    std::string dll = *c.string(1), name = *c.string(2), alias = *c.string(3);
    if (alias.empty())
        alias = name;
    // 1. The convention; an unknown one registers nothing.
    uint32_t flags = conventionFlags(*c.string(4));
    if (flags == 0)
        return;
    // 2. The result and parameter types.
    auto function = std::make_unique<DllFunction>();
    auto result = typeOf(c.engine, c.arg(5), state->paramClass);
    if (!result)
        return;
    if (!result->byReference && result->code == kTypeFloat)
        flags |= kCallFloatResult;
    if (!result->byReference && result->code == kTypeDouble)
        flags |= kCallDoubleResult;
    function->result = *result;
    for (int64_t i = 6; i <= c.count(); ++i) {
        auto param = typeOf(c.engine, c.arg(i), state->paramClass);
        if (!param || (param->code == kTypeVoid && !param->byReference))
            return;
        function->params.push_back(*param);
    }
    function->flags = flags;
    function->fewWords = takesFewWords(*function);
    // 3. The module and the procedure.
    auto loaded = NativeModule::load(dll);
    if (!loaded)
        return;
    function->procedure = loaded->procedure(name);
    if (!function->procedure)
        return; // `loaded` releases the library
    // 4. One load per module.
    function->module = state->modules.add(std::move(loaded));
    // 5. The function value, in the global of the alias.
    SymbolId id = c.engine.internName(alias);
    Value fn;
    bindHandle(c.engine, state->functionClass, std::move(function), fn);
    c.engine.global(id) = fn;
    c.result = booleanResult(true);
}

void unregisterFunction(MemberCall& c) {
    DllClassState* state = dllState(c.engine);
    auto name = c.string(1);
    SymbolId id;
    if (!state || !name || !c.engine.findName(*name, id))
        return;
    Value& v = c.engine.global(id);
    if (v.isNative() && v.asNative()->cls == state->functionClass)
        v = Value::undefined(); // the module goes with the last function value, when it is collected
}

std::optional<const void*> addressArg(MemberCall& c, int64_t i) {
    auto a = c.number(i);
    if (!a || *a == 0)
        return std::nullopt; // a null address is never read
    return addressOf(*a);
}

void getPointerStringValue(MemberCall& c) {
    if (auto p = addressArg(c, 1)) {
        const char* text = static_cast<const char*>(*p);
        c.result = ansiTextResult(c.engine, std::string_view(text, std::strlen(text)));
    }
}

void getPointerWideStringValue(MemberCall& c) {
    if (auto p = addressArg(c, 1)) {
        const char16_t* text = static_cast<const char16_t*>(*p);
        c.result = wideTextResult(c.engine, std::u16string_view(text));
    }
}

// A StringStream holding a copy of the bytes at the address.
void getPointerValue(MemberCall& c) {
    auto p = addressArg(c, 1);
    auto n = c.number(2);
    if (!p || !n || *n < 0 || uint64_t(*n) > MemoryStream::kMaxLength)
        return;
    c.result = bytesStream(c.engine, static_cast<const uint8_t*>(*p), size_t(*n));
}

constexpr Member kDllMembers[] = {
    classMethod<registerFunction>("registerFunction", Fallback::False),
    classMethod<unregisterFunction>("unregisterFunction"),
    classMethod<getPointerValue>("getPointerValue"),
    classMethod<getPointerStringValue>("getPointerStringValue"),
    classMethod<getPointerWideStringValue>("getPointerWideStringValue"),
};

// ---- DllParam -------------------------------------------------------------------------------

// new DllParam(size, byReference [, structureName])
void paramConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    result = nullResult();
    auto size = argAt(args, 1), byRef = argAt(args, 2);
    if (!size || !byRef || !size->isInteger() || !byRef->isInteger())
        return;
    if (size->asInteger() < 0 || uint64_t(size->asInteger()) > kMaxStructSize)
        return;
    auto d = std::make_unique<TypeDescriptor>();
    d->byReference = byRef->asInteger() != 0;
    d->code = kTypeStruct;
    d->size = uint32_t(size->asInteger());
    if (auto name = argAt(args, 3); name && name->isString())
        d->structName = quill::stringToAnsi(name->asString());
    bindHandle(engine, cls, std::move(d), result);
}

void paramCall(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) {
    paramConstruct(engine, cls, args, result);
}


} // namespace

void registerDllClasses(Engine& engine) {
    NativeClass* paramCls = registerHostClass(engine, {.className = "DllParam",
                                                       .call = paramCall,
                                                       .construct = paramConstruct,
                                                       .destroyData = destroyHandle<TypeDescriptor>});
    // The function values: a class bound to no global, with only `call`.
    NativeClass* functionCls = quill::newNativeClass(engine);
    functionCls->call = callFunction;
    functionCls->destroyData = destroyHandle<DllFunction>;
    // Nothing else refers to the class until its first function exists:
    // a pinned class object keeps it for the engine's life.
    engine.pin(quill::classValue(engine, functionCls));
    NativeClass* dllCls = registerHostClass(engine, {.className = "Dll", .members = kDllMembers});
    auto state = std::make_unique<DllClassState>();
    state->functionClass = functionCls;
    state->paramClass = paramCls;
    quill::memberIds(dllCls).setState(state.release());
}

} // namespace paloma::host
