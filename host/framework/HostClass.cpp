// Registering host classes and global host functions.
#include "host/framework/HostClass.h"

#include <memory>

#include "host/framework/Arguments.h"

namespace paloma::host {

MemberIds::MemberIds(quill::Engine& engine, std::string_view className, std::span<const char* const> names)
    : className_(className) {
    ids_.reserve(names.size());
    for (const char* name : names)
        ids_.push_back(engine.internName(name));
    text_ = u"[object ";
    for (char c : className_)
        text_.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    text_ += u"]";
}

bool answerToString(quill::Engine& engine, quill::NativeClass* cls, quill::SymbolId member, quill::Value& result) {
    if (member != quill::Engine::kToStringId || !cls || !cls->classData)
        return false;
    result = staticTextResult(engine, memberIds(cls).text());
    return true;
}

void setIntegerConstants(quill::Engine& engine, std::span<const IntegerConstant> constants) {
    for (const IntegerConstant& c : constants) {
        // Interning may grow the global table: take the id first.
        quill::SymbolId id = engine.internName(c.name);
        engine.global(id) = quill::Value::integer(c.value);
    }
}

quill::NativeClass* registerHostClass(quill::Engine& engine, const ClassDefinition& definition) {
    std::string_view className = definition.className ? definition.className : "";
    // 1. The member ids, owned by the class from here on.
    auto ids = std::make_unique<MemberIds>(engine, className, definition.members);
    // 2. The class record and its hooks.
    quill::NativeClass* cls = quill::newNativeClass(engine);
    cls->classData = ids.release();
    cls->freeClassData = [](void* data) { delete static_cast<MemberIds*>(data); };
    cls->call = definition.call;
    cls->callMethod = definition.callMethod;
    cls->accessProperty = definition.accessProperty;
    cls->construct = definition.construct;
    cls->destroyData = definition.destroyData;
    cls->markData = definition.markData;
    // 3. The globals.
    if (definition.globalNames.size() == 0) {
        quill::bindClass(engine, className, cls);
    } else {
        for (const char* name : definition.globalNames)
            quill::bindClass(engine, name, cls);
    }
    // 4. The constants.
    setIntegerConstants(engine, definition.constants);
    return cls;
}

} // namespace paloma::host
