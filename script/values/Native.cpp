// Native classes and native objects.
#include "script/values/Native.h"

#include "script/values/Object.h"

namespace quill {

namespace {

void finaliseNativeObject(void* block) { releaseNativeData(static_cast<NativeObject*>(block)); }

void finaliseNativeClass(void* block) {
    auto* cls = static_cast<NativeClass*>(block);
    if (cls->freeClassData && cls->classData)
        cls->freeClassData(cls->classData);
    cls->classData = nullptr;
}

const GcType kNativeObjectType{"NativeObject", finaliseNativeObject, nullptr, false};
// Late: instances' destroyData may still use the class data.
const GcType kNativeClassType{"NativeClass", finaliseNativeClass, nullptr, true};

} // namespace

void releaseNativeData(NativeObject* object) {
    void* data = object->data;
    object->data = nullptr;
    if (data && object->cls && object->cls->destroyData)
        object->cls->destroyData(object->cls, data);
}

NativeClass* newNativeClass(Engine& engine) {
    auto* cls = static_cast<NativeClass*>(engine.gcAllocZeroedWithFinaliser(sizeof(NativeClass)));
    cls->finaliser = &kNativeClassType;
    ObjectRecord* proto = newObject(engine, 1);
    objectPut(engine, proto, Engine::kProtoId, Value::null());
    cls->prototype = proto;
    return cls;
}

void bindNativeObject(Engine& engine, Value& out, NativeClass* cls, void* data) {
    auto* obj = static_cast<NativeObject*>(engine.gcAllocZeroedWithFinaliser(sizeof(NativeObject)));
    obj->finaliser = &kNativeObjectType;
    obj->cls = cls;
    obj->data = data;
    if (data) {
        ObjectRecord* props = newObject(engine, 1); // room for its __proto__
        objectPut(engine, props, Engine::kProtoId,
                  cls && cls->prototype ? Value::object(cls->prototype) : Value::null());
        obj->props = props;
    }
    out = Value::native(obj);
}

bool isInstanceOf(const Value& v, Engine& engine, std::string_view globalName) {
    if (!v.isNative())
        return false;
    SymbolId id;
    if (!engine.findName(globalName, id))
        return false;
    const Value& g = engine.global(id);
    return g.isNative() && g.asNative()->cls == v.asNative()->cls;
}

bool offerMethod(Engine& engine, NativeClass* cls, const Value& receiver, SymbolId id, ArgList args,
                 Value& result) {
    if (!cls || !cls->callMethod)
        return false;
    Value self = receiver, r;
    void* data = receiver.isNative() ? receiver.asNative()->data : &self;
    if (!cls->callMethod(engine, cls, data, id, r, args))
        return false;
    result = r;
    return true;
}

} // namespace quill
