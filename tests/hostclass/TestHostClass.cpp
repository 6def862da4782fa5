// TestObject, a host class written the way every host class is.
#include "tests/hostclass/TestHostClass.h"

#include <memory>
#include <string>

#include "host/framework/Arguments.h"
#include "host/framework/Events.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"

using namespace paloma::host;
using quill::ArgList;
using quill::Engine;
using quill::NativeClass;
using quill::SymbolId;
using quill::Value;

namespace {

int gLiveObjects = 0;

enum Member { kName, kValue, kAdd, kPing, kClose, kOnPing }; // ORDER MEMBERS
constexpr const char* kMembers[] = {"name", "value", "add", "ping", "close", "onPing"};

enum Event { kPingEvent, kEventCount };

// The real object behind a TestObject's native data block.
struct TestObject {
    TestObject() { ++gLiveObjects; }
    ~TestObject() { --gLiveObjects; }
    TestObject(const TestObject&) = delete;
    TestObject& operator=(const TestObject&) = delete;

    void markValues(Engine& engine) const { events.mark(engine); }

    std::string name; // ANSI
    int64_t value = 0;
    EventSlots<kEventCount> events;
};

// new TestObject(name), and TestObject(name) called as a function.
void testConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    std::string name;
    if (hasArgs(args, 1)) {
        auto given = stringArg(args, 1);
        if (!given) {
            result = nullResult();
            return;
        }
        name = *given;
    }
    auto object = std::make_unique<TestObject>();
    object->name = std::move(name);
    TestObject* bound = bindHandle(engine, cls, std::move(object), result);
    bound->events.setSelf(result);
}

void testCall(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) {
    testConstruct(engine, cls, args, result);
}

int testCallMethod(Engine& engine, NativeClass* cls, void* self, SymbolId member, Value& result, ArgList args) {
    if (answerToString(engine, cls, member, result))
        return 1;
    if (!self)
        return 0; // the class object itself has no members
    int m = memberIds(cls).find(member);
    if (m != kAdd && m != kPing && m != kClose)
        return 0;
    TestObject* object = liveObject<TestObject>(self);
    if (!object) {
        result = booleanResult(false); // closed
        return 1;
    }
    switch (m) {
    case kAdd: {
        auto a = numberArg(args, 1), b = numberArg(args, 2);
        if (a && b)
            result = integerResult(static_cast<int64_t>(static_cast<uint64_t>(*a) + static_cast<uint64_t>(*b)));
        return 1;
    }
    case kPing: {
        auto text = stringArg(args, 1);
        if (!text)
            return 1;
        // The handler may close this object: nothing touches it after fire().
        bool ok = object->events.fire(engine, kPingEvent,
                                      {ansiTextResult(engine, object->name), ansiTextResult(engine, *text)});
        result = ok ? engine.lastResult : nullResult();
        return 1;
    }
    case kClose: result = booleanResult(closeHandle<TestObject>(self)); return 1;
    }
    return 0;
}

int testAccessProperty(Engine& engine, NativeClass* cls, void* self, SymbolId member, int put, Value& value) {
    int m = memberIds(cls).find(member);
    if (!self || (m != kName && m != kValue && m != kOnPing)) {
        if (!put)
            value = Value::undefined();
        return 0;
    }
    TestObject* object = liveObject<TestObject>(self);
    if (!object) {
        // Closed: the members still belong to the class, but read undefined
        // and take no writes.
        if (!put)
            value = Value::undefined();
        return 1;
    }
    switch (m) {
    case kName:
        if (!put)
            value = ansiTextResult(engine, object->name);
        return 1;
    case kValue:
        if (!put)
            value = integerResult(object->value);
        else if (auto n = numberFrom(value))
            object->value = *n;
        return 1;
    case kOnPing: object->events.access(kPingEvent, put, value); return 1;
    }
    return 0;
}

void testHostEcho(Engine&, NativeClass*, void*, Value& result, ArgList args) {
    auto x = argAt(args, 1);
    result = x ? *x : Value::undefined();
}

constexpr IntegerConstant kConstants[] = {{"$TEST_ANSWER", 42}};

} // namespace

void registerTestHostClass(Engine& engine) {
    registerHostClass(engine, {.className = "TestObject",
                               .members = kMembers,
                               .call = testCall,
                               .callMethod = testCallMethod,
                               .accessProperty = testAccessProperty,
                               .construct = testConstruct,
                               .destroyData = destroyHandle<TestObject>,
                               .markData = markHandle<TestObject>,
                               .constants = kConstants});
    quill::defineGlobalFunction(engine, "testHostEcho", testHostEcho);
}

int liveTestObjects() { return gLiveObjects; }
