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
using quill::Value;

namespace {

int gLiveObjects = 0;

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

void name(TestObject& object, MemberCall& c) {
    if (!c.put)
        c.value = ansiTextResult(c.engine, object.name);
}

void value(TestObject& object, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(object.value);
    else if (auto n = numberFrom(c.value))
        object.value = *n;
}

void add(TestObject&, MemberCall& c) {
    auto a = c.number(1), b = c.number(2);
    if (a && b)
        c.result = integerResult(static_cast<int64_t>(static_cast<uint64_t>(*a) + static_cast<uint64_t>(*b)));
}

void ping(TestObject& object, MemberCall& c) {
    auto text = c.string(1);
    if (!text)
        return;
    // The handler may close this object: nothing touches it after fire().
    bool ok = object.events.fire(c.engine, kPingEvent,
                                 {ansiTextResult(c.engine, object.name), ansiTextResult(c.engine, *text)});
    c.result = ok ? c.engine.lastResult : nullResult();
}

void close(TestObject&, MemberCall& c) { c.result = booleanResult(closeHandle<TestObject>(c.self)); }

constexpr Member kMembers[] = {
    property<name>("name"),
    property<value>("value"),
    method<add>("add"),
    method<ping>("ping"),
    method<close>("close"),
    event<TestObject, kPingEvent>("onPing"),
};

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
                               .construct = testConstruct,
                               .destroyData = destroyHandle<TestObject>,
                               .markData = markHandle<TestObject>,
                               .constants = kConstants});
    quill::defineGlobalFunction(engine, "testHostEcho", testHostEcho);
}

int liveTestObjects() { return gLiveObjects; }
