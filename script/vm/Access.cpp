// Property and element access on any Value.
#include "script/vm/Access.h"

#include <cmath>

#include "script/values/Array.h"
#include "script/values/Native.h"
#include "script/values/Object.h"
#include "script/values/Property.h"
#include "script/values/String.h"
#include "script/vm/Interpreter.h"
#include "script/values/Messages.h"

namespace quill {

namespace {

// The class that serves a Value's kind (Number for Integer, Float and NaN).
NativeClass* kindClass(Engine& engine, const Value& v) { return engine.classOf(v.kind); }

// Index of an Array element key: an Integer or a Float truncated toward
// zero, taken as its low 32 bits unsigned.
bool arrayIndex(const Value& key, uint64_t& index) {
    if (key.isInteger()) {
        index = uint32_t(key.asInteger());
        return true;
    }
    if (key.isFloat()) {
        double d = std::trunc(key.asFloat());
        // Out-of-range and non-finite Floats wrap as the low bits of an
        // integer conversion would; keep it defined.
        int64_t i = (d >= -9.2e18 && d <= 9.2e18) ? int64_t(d) : 0;
        index = uint32_t(i);
        return true;
    }
    return false;
}

void warnProperty(Engine& engine, SymbolId id) { reportWarning(engine, kWarnUndefinedProperty, engine.nameOf(id)); }

// Whether a one-byte key is plain ASCII: the symbol table then takes its
// bytes as they stand (names are kept as ANSI bytes, and an ASCII name
// hashes the same in either width). Other keys go as UTF-16.
bool isAsciiKey(TextView name) {
    if (!name.oneByte)
        return false;
    unsigned char all = 0;
    for (size_t i = 0; i < name.length; ++i)
        all |= name.bytes()[i];
    return all < 0x80;
}

// The name of a String key as a symbol.
SymbolId keySymbol(Engine& engine, const Value& key) {
    TextView name = textOf(key.asString());
    if (isAsciiKey(name))
        return engine.internKey(name.byteView());
    return withUnits(name, [&](std::u16string_view units) { return engine.internKey(units); });
}

// The symbol of a String key that has been interned; false when none has.
bool findKeySymbol(Engine& engine, const Value& key, SymbolId& id) {
    TextView name = textOf(key.asString());
    if (isAsciiKey(name))
        return engine.findName(name.byteView(), id);
    return withUnits(name, [&](std::u16string_view units) { return engine.findName(units, id); });
}

} // namespace

void writeProperty(Engine& engine, const Value& receiver, SymbolId id, const Value& v) {
    switch (receiver.kind) {
    case Kind::Object: objectPut(engine, receiver.asObject(), id, v); return;
    case Kind::Native: {
        NativeObject* n = receiver.asNative();
        NativeClass* cls = n->cls;
        if (!cls->accessProperty) {
            warnProperty(engine, id);
            return;
        }
        if (offerPropertyWrite(engine, cls, receiver, id, v))
            return;
        if (id == Engine::kProtoId) {
            if (!v.isObject()) {
                reportWarning(engine, kWarnWrongType, engine.nameOf(id));
                return;
            }
            replacePropertyObject(engine, receiver, v.asObject());
            return;
        }
        ObjectRecord* holder = n->props ? n->props : cls->prototype;
        if (holder)
            objectPut(engine, holder, id, v);
        return;
    }
    case Kind::String:
    case Kind::Array:
    case Kind::Function: {
        if (offerPropertyWrite(engine, kindClass(engine, receiver), receiver, id, v))
            return;
        if (id == Engine::kProtoId) {
            if (!v.isObject()) {
                reportWarning(engine, kWarnWrongType, engine.nameOf(id));
                return;
            }
            replacePropertyObject(engine, receiver, v.asObject());
            return;
        }
        objectPut(engine, ownPropertyObject(engine, receiver, true), id, v);
        return;
    }
    default: {
        if (offerPropertyWrite(engine, kindClass(engine, receiver), receiver, id, v))
            return;
        warnProperty(engine, id);
        return;
    }
    }
}

Value readElement(Engine& engine, const Value& receiver, const Value& key) {
    switch (receiver.kind) {
    case Kind::Object: {
        if (key.isSymbol()) {
            Value out;
            objectGet(engine, receiver.asObject(), key.asSymbol(), out);
            return out;
        }
        if (key.isString()) {
            // Every name a slot was created under is interned, so the slot
            // of a String key is the object's own slot of that symbol (found
            // through the id index instead of the 128-bucket name hash). A
            // name never interned names no slot. `__proto__` slots made by
            // position are not in the name hash: that one name keeps the
            // lookup by name.
            SymbolId id;
            if (!findKeySymbol(engine, key, id))
                return Value::undefined();
            if (id != Engine::kProtoId) {
                Value out;
                objectGetOwn(receiver.asObject(), id, out);
                return out;
            }
        }
        return objectGetByKey(engine, receiver.asObject(), key);
    }
    case Kind::Array: {
        uint64_t index;
        if (!arrayIndex(key, index)) {
            reportWarning(engine, kWarnInvalidIndex);
            return Value::undefined();
        }
        ArrayBody* a = receiver.asArray();
        Value out;
        if (index >= a->length || !arrayGet(a, index, out))
            return Value::undefined();
        return out;
    }
    case Kind::String: {
        if (!key.isInteger()) {
            reportWarning(engine, kWarnInvalidIndex);
            return Value::undefined();
        }
        StringBody* s = receiver.asString();
        int64_t i = key.asInteger();
        if (i < 0 || uint64_t(i) >= s->length) {
            reportWarning(engine, kWarnStringIndex);
            return Value::undefined();
        }
        return Value::integer(textOf(s)[size_t(i)]);
    }
    case Kind::Native: {
        if (key.isString()) {
            SymbolId id = keySymbol(engine, key);
            NativeClass* cls = receiver.asNative()->cls;
            if (!cls->accessProperty) {
                warnProperty(engine, id);
                return Value::undefined();
            }
            Value out;
            if (!readProperty(engine, receiver, id, out))
                warnProperty(engine, id);
            return out;
        }
        if (key.isInteger()) {
            NativeObject* n = receiver.asNative();
            Value out;
            if (auto hook = engine.elementHookOf(n->cls); hook && n->data)
                hook(engine, n->cls, n->data, key.asInteger(), 0, out);
            return out;
        }
        reportWarning(engine, kWarnInvalidIndex);
        return Value::undefined();
    }
    default: return Value::undefined();
    }
}

void writeElement(Engine& engine, const Value& receiver, const Value& key, const Value& v) {
    switch (receiver.kind) {
    case Kind::Object:
        if (key.isSymbol()) {
            objectPut(engine, receiver.asObject(), key.asSymbol(), v);
            return;
        }
        if (key.isString()) {
            // An existing slot is replaced in place, as the store by name
            // does. A new name is appended with its interned id, which is
            // what the store by name does too as long as there is no
            // deleted slot that a put by id would reuse instead.
            ObjectRecord* o = receiver.asObject();
            SymbolId id = keySymbol(engine, key);
            Value old;
            if (id != Engine::kProtoId && (objectGetOwn(o, id, old) || !o->aids || o->aids->deletedCount == 0)) {
                objectPut(engine, o, id, v);
                return;
            }
        }
        objectPutByKey(engine, receiver.asObject(), key, v);
        return;
    case Kind::Array: {
        uint64_t index;
        if (!arrayIndex(key, index)) {
            reportWarning(engine, kWarnInvalidIndex);
            return;
        }
        arraySet(engine, receiver.asArray(), index, v);
        return;
    }
    case Kind::String: {
        if (!key.isInteger() || key.asInteger() < 0) {
            reportWarning(engine, kWarnInvalidIndex);
            return;
        }
        StringBody* s = receiver.asString();
        if (s->isStatic()) {
            reportWarning(engine, kWarnStaticString);
            return;
        }
        char16_t unit;
        if (v.isInteger())
            unit = char16_t(v.asInteger() & 0xFF);
        else if (v.isString() && v.asString()->length > 0)
            unit = textOf(v.asString())[0];
        else if (v.isString())
            unit = 0;
        else {
            reportWarning(engine, kWarnNonCharacter);
            return;
        }
        uint64_t index = uint64_t(key.asInteger());
        makeStringCharsPrivate(engine, s);
        if (unit > 0xFF)
            widenString(engine, s);
        if (index >= s->length) {
            // Strings are at most 2^30 bytes; a larger index cannot be had.
            if (index >= (uint64_t(1) << 29))
                engine.raiseError(kErrOutOfMemory);
            size_t newLength = size_t(index) + 1;
            // The characters move to a block of their own, of the same
            // width; the body keeps its place (every body has room for the
            // pointer).
            void* chars = engine.gcAlloc(newLength * s->unitSize());
            textOf(s).copyTo(chars, s->isOneByte());
            for (size_t i = s->length; i < newLength; ++i) {
                if (s->isOneByte())
                    static_cast<unsigned char*>(chars)[i] = ' ';
                else
                    static_cast<char16_t*>(chars)[i] = u' ';
            }
            s->setCharsPointer(chars);
            s->length = uint32_t(newLength);
        }
        if (s->isOneByte())
            s->bytes()[index] = static_cast<unsigned char>(unit);
        else
            s->units()[index] = unit;
        return;
    }
    case Kind::Native:
        if (key.isString()) {
            writeProperty(engine, receiver, keySymbol(engine, key), v);
            return;
        }
        if (key.isInteger()) {
            NativeObject* n = receiver.asNative();
            if (auto hook = engine.elementHookOf(n->cls)) {
                Value copy = v;
                if (n->data)
                    hook(engine, n->cls, n->data, key.asInteger(), 1, copy);
                return;
            }
        }
        reportWarning(engine, kWarnInvalidIndex);
        return;
    default: return;
    }
}

void deleteProperty(Engine& engine, const Value& receiver, SymbolId id) {
    if (receiver.isObject())
        objectDelete(engine, receiver.asObject(), id);
}

void deleteElement(Engine& engine, const Value& receiver, const Value& key) {
    if (receiver.isObject()) {
        if (key.isSymbol())
            objectDelete(engine, receiver.asObject(), key.asSymbol());
        else
            objectDeleteByKey(engine, receiver.asObject(), key);
    } else if (receiver.isArray() && key.isInteger() && key.asInteger() >= 0) {
        arrayRemoveShift(engine, receiver.asArray(), uint64_t(key.asInteger()));
    }
}

bool nextKey(Engine& engine, const Value& receiver, const Value& position, Value& key) {
    key = Value::undefined();
    if (!position.isInteger() || position.asInteger() < 0)
        return false;
    uint64_t i = uint64_t(position.asInteger());
    switch (receiver.kind) {
    case Kind::String: {
        StringBody* s = receiver.asString();
        if (i >= s->length)
            return false;
        key = Value::integer(textOf(s)[size_t(i)]);
        return true;
    }
    case Kind::Array: {
        ArrayBody* a = receiver.asArray();
        if (i >= a->length)
            return false;
        if (!arrayGet(a, i, key))
            key = Value::undefined();
        return true;
    }
    case Kind::Object: return objectNthName(engine, receiver.asObject(), i, key);
    default: return false;
    }
}

void deleteVariable(Value& variable) {
    if (variable.isNative())
        releaseNativeData(variable.asNative());
    variable = Value::undefined();
}

} // namespace quill
