#pragma once
// Registering a host class: its member-id table, its hooks, the globals it is
// bound to and its `$` constants, in one call; global host functions.
//
// A host class lists its member names once, in the order of an enum of its
// own (ORDER MEMBERS), and registers with registerHostClass():
//
//     enum Member { kOpen, kClose, kOnReceive };               // ORDER MEMBERS
//     constexpr const char* kMembers[] = {"open", "close", "onReceive"};
//     registerHostClass(engine, {.className = "Socket", .members = kMembers,
//                                .callMethod = socketCallMethod, ...});
//
// Inside callMethod the pattern is always the same:
//     1. answerToString() answers `toString` with "[object <className>]";
//     2. missing native data (the bare class object, or a closed object):
//        return 0, or report failure as the member says;
//     3. memberIds(cls).find(member) gives the enum value; check and convert
//        the arguments (Arguments.h), act, store the result, return 1.
// A name that is not the class's returns 0: the engine then looks in the
// object's own fields and reports "Warning: unknown method ..." itself.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "script/Quill.h"

namespace paloma::host {

// The interned ids of a class's member names (methods, properties, event
// properties), interned once at registration; the class's classData. It also
// holds the class's text "[object <className>]".
class MemberIds {
public:
    MemberIds(quill::Engine& engine, std::string_view className, std::span<const char* const> names);

    // The position of the id among the names, or -1 when it is none of them.
    int find(quill::SymbolId id) const {
        for (size_t i = 0; i < ids_.size(); ++i)
            if (ids_[i] == id)
                return static_cast<int>(i);
        return -1;
    }
    quill::SymbolId id(size_t position) const { return ids_[position]; }
    size_t size() const { return ids_.size(); }
    const std::string& className() const { return className_; }
    // "[object <className>]"; lives as long as the class.
    std::u16string_view text() const { return text_; }

private:
    std::vector<quill::SymbolId> ids_;
    std::string className_;
    std::u16string text_;
};

// The MemberIds of a class registered by registerHostClass().
inline MemberIds& memberIds(quill::NativeClass* cls) { return *static_cast<MemberIds*>(cls->classData); }

// Step 1 of every callMethod hook: when the member is `toString`, stores the
// class's text as a static String and returns true.
bool answerToString(quill::Engine& engine, quill::NativeClass* cls, quill::SymbolId member, quill::Value& result);

// A named integer constant, set as a global at registration (`$FD_READ`).
struct IntegerConstant {
    const char* name;
    int64_t value;
};

// Everything registerHostClass() needs to know about a class.
struct ClassDefinition {
    // The name in the class's text, "[object <className>]".
    const char* className = nullptr;
    // The globals the class object is bound to; empty: className alone.
    // A class may be bound under two names (Stream and FileStream).
    std::initializer_list<const char*> globalNames = {};
    // Member names in the order of the class's member enum.
    std::span<const char* const> members = {};
    // Hooks the class has (the others stay null).
    quill::CallHook call = nullptr;
    quill::CallMethodHook callMethod = nullptr;
    quill::AccessPropertyHook accessProperty = nullptr;
    quill::ConstructHook construct = nullptr;
    quill::DestroyDataHook destroyData = nullptr;
    quill::MarkDataHook markData = nullptr;
    // The class's `$` constants.
    std::span<const IntegerConstant> constants = {};
};

// Registers a class: interns its members into a MemberIds table (the class
// data, freed with the class), makes the class record with the given hooks,
// binds a data-less object of it to each global name (replacing what those
// globals held) and sets its constants. Returns the class.
quill::NativeClass* registerHostClass(quill::Engine& engine, const ClassDefinition& definition);

// A global host function is quill::defineGlobalFunction(engine, name, hook):
// a class with only the `call` hook, bound to the function's name.

// Sets integer globals.
void setIntegerConstants(quill::Engine& engine, std::span<const IntegerConstant> constants);

} // namespace paloma::host
