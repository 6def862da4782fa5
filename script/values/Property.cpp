// Property read and scope write on any Value.
#include "script/values/Property.h"

#include "script/values/Object.h"

namespace quill {

namespace {

// The field that holds the property object of an Array, Function or Native;
// strings keep theirs in the engine's side table instead.
ObjectRecord** propertyObjectField(const Value& v) {
    switch (v.kind) {
    case Kind::Array: return &v.asArray()->props;
    case Kind::Function: return &v.asFunction()->props;
    case Kind::Native: return &v.asNative()->props;
    default: return nullptr;
    }
}

bool hasOwnPropertyObjectKind(Kind k) { return k == Kind::String || k == Kind::Array || k == Kind::Function; }

ObjectRecord* stringPropertyObject(Engine& engine, const StringBody* s) {
    if (!s->hasOwnProperties())
        return nullptr;
    auto entry = engine.stringProps.find(s);
    return entry != engine.stringProps.end() ? entry->second : nullptr;
}

void setStringPropertyObject(Engine& engine, StringBody* s, ObjectRecord* object) {
    if (object) {
        engine.stringProps[s] = object;
        s->flags |= StringBody::kOwnProperties;
    } else {
        engine.stringProps.erase(s);
        s->flags &= ~StringBody::kOwnProperties;
    }
}

// A new own property object whose `__proto__` is proto, or the class
// prototype of the kind when proto is null.
ObjectRecord* newPropertyObject(Engine& engine, Kind kind, ObjectRecord* proto) {
    ObjectRecord* o = newObject(engine, 1); // room for its __proto__
    if (!proto) {
        NativeClass* cls = engine.classOf(kind);
        proto = cls ? cls->prototype : nullptr;
    }
    objectPut(engine, o, Engine::kProtoId, proto ? Value::object(proto) : Value::null());
    return o;
}

} // namespace

ObjectRecord* propertyObject(Engine& engine, const Value& v) {
    if (v.isString())
        return stringPropertyObject(engine, v.asString());
    if (v.isArray() && arrayPendingPrototype(v.asArray()))
        return nullptr;
    ObjectRecord** field = propertyObjectField(v);
    return field ? *field : nullptr;
}

ObjectRecord* ensurePropertyObject(Engine& engine, const Value& v) {
    if (v.isString()) {
        StringBody* s = v.asString();
        ObjectRecord* own = stringPropertyObject(engine, s);
        if (!own) {
            own = newPropertyObject(engine, Kind::String, nullptr);
            setStringPropertyObject(engine, s, own);
        }
        return own;
    }
    ObjectRecord** field = propertyObjectField(v);
    if (!field)
        return nullptr;
    ObjectRecord* pending = v.isArray() ? arrayPendingPrototype(v.asArray()) : nullptr;
    if ((!*field || pending) && hasOwnPropertyObjectKind(v.kind))
        *field = newPropertyObject(engine, v.kind, pending);
    return *field;
}

void deferPropertyObject(Engine& engine, const Value& array) {
    if (!array.isArray() || array.asArray()->props)
        return;
    NativeClass* cls = engine.classOf(Kind::Array);
    if (!cls || !cls->prototype) {
        ensurePropertyObject(engine, array);
        return;
    }
    array.asArray()->props = reinterpret_cast<ObjectRecord*>(reinterpret_cast<uintptr_t>(cls->prototype) | 1);
}

ObjectRecord* ownPropertyObject(Engine& engine, const Value& v, bool create) {
    if (!hasOwnPropertyObjectKind(v.kind))
        return nullptr;
    if (create || (v.isArray() && arrayPendingPrototype(v.asArray())))
        return ensurePropertyObject(engine, v);
    return propertyObject(engine, v);
}

bool replacePropertyObject(Engine& engine, const Value& v, ObjectRecord* object) {
    if (v.isNative()) {
        NativeObject* n = v.asNative();
        if (n->props)
            n->props = object;
        else if (n->cls)
            n->cls->prototype = object;
        else
            return false;
        return true;
    }
    if (!hasOwnPropertyObjectKind(v.kind))
        return false;
    if (v.isString())
        setStringPropertyObject(engine, v.asString(), object);
    else
        *propertyObjectField(v) = object;
    return true;
}

// ---------------------------------------------------------------------------
// Read

bool getProperty(Engine& engine, const Value& target, SymbolId id, Value& out) {
    out = Value::undefined();
    switch (target.kind) {
    case Kind::Object: return objectGet(engine, target.asObject(), id, out);
    case Kind::Native: {
        NativeObject* n = target.asNative();
        NativeClass* cls = n->cls;
        if (cls && cls->accessProperty && cls->accessProperty(engine, cls, n->data, id, 0, out))
            return true;
        ObjectRecord* where = n->props ? n->props : (cls ? cls->prototype : nullptr);
        if (id == Engine::kProtoId) {
            if (!where) {
                out = Value::undefined();
                return false;
            }
            out = Value::object(where);
            return true;
        }
        if (!where) {
            out = Value::undefined();
            return false;
        }
        return objectGet(engine, where, id, out);
    }
    default: break;
    }
    NativeClass* cls = engine.classOf(target.kind);
    if (!cls)
        return false;
    if (cls->accessProperty) {
        Value self = target;
        if (cls->accessProperty(engine, cls, &self, id, 0, out))
            return true;
    }
    if (id == Engine::kProtoId && hasOwnPropertyObjectKind(target.kind)) {
        out = Value::object(ensurePropertyObject(engine, target));
        return true;
    }
    if (ObjectRecord* own = ownPropertyObject(engine, target, false)) {
        if (objectGet(engine, own, id, out))
            return true;
    }
    if (cls->prototype)
        return objectGet(engine, cls->prototype, id, out);
    out = Value::undefined();
    return false;
}

bool readProperty(Engine& engine, const Value& receiver, SymbolId id, Value& out) {
    if (receiver.isObject())
        return objectGet(engine, receiver.asObject(), id, out);
    if (receiver.isNative() && !receiver.asNative()->cls->accessProperty) {
        out = Value::undefined();
        return false;
    }
    return getProperty(engine, receiver, id, out);
}

// ---------------------------------------------------------------------------
// Writes

bool offerPropertyWrite(Engine& engine, NativeClass* cls, const Value& receiver, SymbolId id, const Value& v) {
    if (!cls || !cls->accessProperty)
        return false;
    Value self = receiver, in = v;
    void* data = receiver.isNative() ? receiver.asNative()->data : &self;
    return cls->accessProperty(engine, cls, data, id, 1, in) != 0;
}

bool putPropertyInScope(Engine& engine, const Value& scope, SymbolId id, const Value& v) {
    Value ignored;
    switch (scope.kind) {
    case Kind::Object:
        if (!objectHas(engine, scope.asObject(), id))
            return false;
        objectPut(engine, scope.asObject(), id, v);
        return true;
    case Kind::Native: {
        NativeObject* n = scope.asNative();
        NativeClass* cls = n->cls;
        if (offerPropertyWrite(engine, cls, scope, id, v))
            return true;
        if (id == Engine::kProtoId) {
            if (!v.isObject())
                return false;
            return replacePropertyObject(engine, scope, v.asObject());
        }
        if (n->props && objectGetOwn(n->props, id, ignored)) {
            objectPut(engine, n->props, id, v);
            return true;
        }
        if (cls && cls->prototype && objectGetOwn(cls->prototype, id, ignored)) {
            objectPut(engine, cls->prototype, id, v);
            return true;
        }
        return false;
    }
    case Kind::String:
    case Kind::Array:
    case Kind::Function: {
        if (offerPropertyWrite(engine, engine.classOf(scope.kind), scope, id, v))
            return true;
        if (id == Engine::kProtoId) {
            if (!v.isObject())
                return false;
            return replacePropertyObject(engine, scope, v.asObject());
        }
        ObjectRecord* own = ownPropertyObject(engine, scope, false);
        if (own && objectGetOwn(own, id, ignored)) {
            objectPut(engine, own, id, v);
            return true;
        }
        return false;
    }
    default: return false;
    }
}

} // namespace quill
