// FlashBridge: ExternalInterface requests from the movie, the built-in
// bridge functions, and forwarding functions that call the movie.
#include "app/bridge/FlashBridge.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "app/bridge/XmlValue.h"
#include "base/TextCodec.h"

namespace paloma::bridge {

using quill::ArgList;
using quill::Engine;
using quill::Kind;
using quill::Value;
using quill::ValueRoot;

namespace {

constexpr std::u16string_view kUndefinedAnswer = u"<undefined/>";

// The transport of each engine with the bridge installed. The runtime has
// one thread; engines remove themselves before they are destroyed. The map
// is never freed: an engine owned by a static may be removed during exit.
std::unordered_map<const Engine*, MovieTransport>& transports() {
    static auto* map = new std::unordered_map<const Engine*, MovieTransport>;
    return *map;
}

// An argument list whose Values stay alive across calls into the engine:
// they are also held by a rooted Array.
class RootedArgs {
public:
    explicit RootedArgs(Engine& engine) : engine_(engine), holder_(engine, quill::newArray(engine)) {
        values_.push_back(Value::integer(0));
    }
    void push(const Value& v) {
        quill::arrayPush(engine_, holder_.value.asArray(), v);
        values_.push_back(v);
        values_[0] = Value::integer(static_cast<int64_t>(values_.size() - 1));
    }
    ArgList list() { return ArgList{values_.data()}; }

private:
    Engine& engine_;
    ValueRoot holder_;
    std::vector<Value> values_;
};

void traceFailure(Engine& engine) {
    if (engine.errorText[0])
        quill::writeTrace(engine, engine.errorText);
}

std::string toAnsi(const Value& v) { return v.isString() && v.asString() ? quill::stringToAnsi(v.asString()) : ""; }

// A live pinned Native for an Integer handle, or nothing.
bool nativeOfHandle(Engine& engine, const Value& v, Value& out) {
    if (!v.isInteger())
        return false;
    quill::PinnedValue* record = engine.findPinned(v.asInteger());
    if (!record || !record->value.isNative())
        return false;
    out = record->value;
    return true;
}

// An object reference: an Integer handle of a live pinned Value, or a String
// naming a script global; either way the Value must be a Native.
bool resolveObject(Engine& engine, const Value& ref, Value& out) {
    if (ref.isInteger())
        return nativeOfHandle(engine, ref, out);
    if (!ref.isString())
        return false;
    quill::SymbolId id;
    if (!engine.findName(toAnsi(ref), id) || id >= engine.globals.size())
        return false;
    const Value& global = engine.global(id);
    if (!global.isNative())
        return false;
    out = global;
    return true;
}

// The movie may pass a host object inside one of its own objects, as the
// handle in its "Identifier" property.
Value substituteIdentifier(Engine& engine, const Value& arg) {
    if (!arg.isObject())
        return arg;
    quill::SymbolId id;
    Value handle;
    if (!engine.findName("Identifier", id) || !quill::objectGet(engine, arg.asObject(), id, handle))
        return arg;
    Value native;
    return nativeOfHandle(engine, handle, native) ? native : arg;
}

// Runs a class's property hook on a Native.
bool accessNativeProperty(Engine& engine, const Value& target, std::string_view name, int put, Value& value) {
    quill::NativeObject* object = target.asNative();
    if (!object || !object->cls || !object->cls->accessProperty)
        return false;
    quill::SymbolId member = engine.internName(name);
    ValueRoot keepTarget(engine, target);
    ValueRoot keepValue(engine, value);
    bool ok = quill::runAsEntryPoint(engine, [&] {
        object->cls->accessProperty(engine, object->cls, object->data, member, put, keepValue.value);
    });
    if (!ok) {
        traceFailure(engine);
        return false;
    }
    value = keepValue.value;
    return true;
}

// ---- the built-in functions --------------------------------------------------------
// Each reads the request's arguments (1-based; args[0] unused) and leaves the
// answer in `answer`, which starts out Undefined.

struct Request {
    Engine& engine;
    const BridgeHooks& hooks;
    std::string name;
    std::vector<Value> args; // args[0] unused: index i is argument i
    size_t count() const { return args.size() - 1; }
};

void quillNew(Request& r, Value& answer) {
    if (r.count() < 1 || !r.args[1].isString())
        return;
    RootedArgs ctorArgs(r.engine);
    for (size_t i = 2; i <= r.count(); ++i)
        ctorArgs.push(substituteIdentifier(r.engine, r.args[i]));
    if (quill::constructByName(r.engine, toAnsi(r.args[1]), ctorArgs.list()))
        answer = r.engine.lastResult;
    else
        traceFailure(r.engine);
}

void quillDelete(Request& r, Value& answer) {
    if (r.count() < 1 || !r.args[1].isInteger())
        return;
    quill::PinnedValue* record = r.engine.findPinned(r.args[1].asInteger());
    answer = Value::boolean(record && r.engine.unpin(record));
}

void quillCall(Request& r, Value& answer, bool fromArray) {
    if (r.count() < (fromArray ? 3u : 2u) || !r.args[2].isString())
        return;
    Value target;
    if (!resolveObject(r.engine, r.args[1], target))
        return;
    ValueRoot keepTarget(r.engine, target);
    RootedArgs callArgs(r.engine);
    if (fromArray) {
        if (!r.args[3].isArray())
            return;
        quill::ArrayBody* array = r.args[3].asArray();
        for (uint64_t i = 0; i < array->length; ++i) {
            Value element;
            if (!quill::arrayGet(array, i, element))
                element = Value::undefined();
            callArgs.push(substituteIdentifier(r.engine, element));
        }
    } else {
        for (size_t i = 3; i <= r.count(); ++i)
            callArgs.push(substituteIdentifier(r.engine, r.args[i]));
    }
    if (quill::callMethodByName(r.engine, target, toAnsi(r.args[2]), callArgs.list()))
        answer = r.engine.lastResult;
    else
        traceFailure(r.engine);
}

void quillGetProp(Request& r, Value& answer) {
    if (r.count() < 2 || !r.args[2].isString())
        return;
    Value target;
    if (!resolveObject(r.engine, r.args[1], target))
        return;
    Value value;
    if (accessNativeProperty(r.engine, target, toAnsi(r.args[2]), 0, value))
        answer = value;
}

void quillSetProp(Request& r, Value&) {
    if (r.count() < 3 || !r.args[2].isString())
        return;
    Value target;
    if (!resolveObject(r.engine, r.args[1], target))
        return;
    Value value = substituteIdentifier(r.engine, r.args[3]);
    accessNativeProperty(r.engine, target, toAnsi(r.args[2]), 1, value);
}

void fsCommand(Request& r, Value& answer) {
    if (r.count() < 1 || !r.args[1].isString())
        return;
    std::u16string argument(quill::stringToWide(r.args[1].asString()));
    r.engine.lastResult = Value::undefined();
    if (r.hooks.fsCommand) {
        r.hooks.fsCommand(r.engine, r.name, argument);
    } else if (r.name.size() == 10 && (r.name[0] | 0x20) == 'q' && (r.name[6] | 0x20) == 'e') { // quill_eval
        if (!quill::evalSource(r.engine, utf16ToAnsi(argument)))
            traceFailure(r.engine);
    } else {
        return;
    }
    answer = r.engine.lastResult;
}

// quill_seh: the event E of object O calls the movie function F. The event
// handler f<n>_<E> passes its arguments through `_call` to the forwarding
// function F.
void quillSeh(Request& r, Value&) {
    if (r.count() < 3 || !r.args[2].isString() || !r.args[3].isString())
        return;
    Value target;
    if (!resolveObject(r.engine, r.args[1], target))
        return;
    ValueRoot keepTarget(r.engine, target);
    std::string event = toAnsi(r.args[2]);
    std::string function = toAnsi(r.args[3]);
    // Both names go into script source: the event name becomes part of an
    // identifier and the function name a string literal, so refuse names
    // that would change what that source says.
    auto identifierChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
               static_cast<unsigned char>(c) >= 0x80;
    };
    if (event.empty() || !std::all_of(event.begin(), event.end(), identifierChar))
        return;
    if (function.find_first_of("'\\\r\n") != std::string::npos || function.find('\0') != std::string::npos)
        return;
    if (!registerForwardingFunction(r.engine, function))
        return;
    // The low 32 bits of the reference, unsigned so that the handler's name
    // is always an identifier.
    char number[16];
    std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(r.args[1].payload.bits & 0xFFFFFFFFu));
    std::string handler = std::string("f") + number + "_" + event;
    std::string source = "function " + handler + "() { return _call('" + function + "', arguments);}";
    if (!quill::evalSource(r.engine, source)) {
        traceFailure(r.engine);
        return;
    }
    quill::SymbolId id;
    if (!r.engine.findName(handler, id) || !r.engine.global(id).isFunction())
        return;
    Value handlerValue = r.engine.global(id);
    accessNativeProperty(r.engine, target, event, 1, handlerValue);
}

void globalCall(Request& r, Value& answer) {
    quill::SymbolId id;
    if (!r.engine.findName(r.name, id))
        return; // never interned: no script function of that name
    RootedArgs callArgs(r.engine);
    for (size_t i = 1; i <= r.count(); ++i)
        callArgs.push(r.args[i]);
    if (quill::callValue(r.engine, r.name.c_str(), Value::undefined(), callArgs.list()))
        answer = r.engine.lastResult;
    else
        traceFailure(r.engine);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != b[i])
            return false;
    }
    return true;
}

void dispatch(Request& r, Value& answer) {
    const std::string& n = r.name;
    if (equalsNoCase(n, "quill_new"))
        quillNew(r, answer);
    else if (equalsNoCase(n, "quill_delete"))
        quillDelete(r, answer);
    else if (equalsNoCase(n, "quill_call"))
        quillCall(r, answer, false);
    else if (equalsNoCase(n, "quill_call2"))
        quillCall(r, answer, true);
    else if (equalsNoCase(n, "quill_getprop"))
        quillGetProp(r, answer);
    else if (equalsNoCase(n, "quill_setprop"))
        quillSetProp(r, answer);
    else if (equalsNoCase(n, "quill_run") || equalsNoCase(n, "quill_eval") || equalsNoCase(n, "exec"))
        fsCommand(r, answer);
    else if (equalsNoCase(n, "quill_seh"))
        quillSeh(r, answer);
    else
        globalCall(r, answer);
}

// ---- forwarding functions and _call --------------------------------------------------

void forwardingCall(Engine& engine, quill::NativeClass* cls, void*, Value& result, ArgList args) {
    const auto* name = static_cast<const std::string*>(cls->classData);
    result = name ? callMovieFunction(engine, *name, args) : Value::undefined();
}

void freeName(void* data) { delete static_cast<std::string*>(data); }

// _call(name, args): calls the script global `name` with args[0..length-1].
void callThrough(Engine& engine, quill::NativeClass*, void*, Value& result, ArgList args) {
    result = Value::undefined();
    if (args.count() < 2 || !args.arg(1).isString())
        return;
    Value list = args.arg(2);
    std::vector<Value> members;
    if (list.isObject()) {
        quill::SymbolId lengthId = engine.internName("length");
        Value length;
        if (!quill::objectGet(engine, list.asObject(), lengthId, length) || !length.isInteger())
            return;
        for (int64_t i = 0; i < length.asInteger() && i < (int64_t{1} << 20); ++i) {
            // args[i] as a script reads it (an Integer key).
            members.push_back(quill::objectGetByKey(engine, list.asObject(), Value::integer(i)));
        }
    } else if (list.isArray()) {
        // An `arguments` list of the engine is an Array.
        quill::ArrayBody* array = list.asArray();
        for (uint64_t i = 0; i < array->length && i < (uint64_t{1} << 20); ++i) {
            Value member;
            if (!quill::arrayGet(array, i, member))
                member = Value::undefined();
            members.push_back(member);
        }
    } else {
        return;
    }
    ValueRoot keepList(engine, list);
    RootedArgs callArgs(engine);
    for (const Value& m : members)
        callArgs.push(m);
    std::string name = toAnsi(args.arg(1));
    if (quill::callValue(engine, name.c_str(), Value::undefined(), callArgs.list()))
        result = engine.lastResult;
}

} // namespace

// ---- requests -----------------------------------------------------------------------

bool parseFlashRequest(Engine& engine, std::u16string_view requestXml, FlashRequest& out) {
    XmlDocument document;
    if (!document.parse(requestXml))
        return false;
    XmlNode* invoke = document.root();
    if (!nameIs(invoke, "invoke"))
        return false;
    const rapidxml::xml_attribute<char>* nameAttr = nullptr;
    for (auto* a = invoke->first_attribute(); a; a = a->next_attribute())
        if (a->name_size() == 4 && equalsNoCase(std::string_view(a->name(), 4), "name")) {
            nameAttr = a;
            break;
        }
    if (!nameAttr)
        return false;
    std::string_view name(nameAttr->value(), nameAttr->value_size());
    out.name = utf16ToAnsi(utf8ToUtf16(name.substr(0, name.find('\0'))));
    out.args.clear();
    for (XmlNode* c = invoke->first_node(); c; c = c->next_sibling()) {
        if (c->type() != rapidxml::node_element || !nameIs(c, "arguments"))
            continue;
        for (XmlNode* a = c->first_node(); a; a = a->next_sibling()) {
            Value v;
            if (a->type() == rapidxml::node_element && readValueElement(engine, a, v))
                out.args.push_back(v);
        }
        break;
    }
    return true;
}

std::u16string answerFlashCall(Engine& engine, std::u16string_view requestXml, const BridgeHooks& hooks) {
    ValueRoot answer(engine);
    try {
        bool ok = quill::runAsEntryPoint(engine, [&] {
            ValueRoot held(engine, quill::newArray(engine));
            FlashRequest parsed;
            if (!parseFlashRequest(engine, requestXml, parsed))
                return;
            for (const Value& v : parsed.args)
                quill::arrayPush(engine, held.value.asArray(), v);
            Request request{engine, hooks, std::move(parsed.name), {Value::undefined()}};
            request.args.insert(request.args.end(), parsed.args.begin(), parsed.args.end());
            Value result;
            dispatch(request, result);
            answer.value = result;
        });
        if (!ok) {
            traceFailure(engine);
            answer.value = Value::undefined();
        }
        return writeXmlValue(engine, answer.value);
    } catch (...) {
        return std::u16string(kUndefinedAnswer);
    }
}

// ---- calls to the movie ------------------------------------------------------------

void installBridge(Engine& engine, MovieTransport transport) {
    transports()[&engine] = std::move(transport);
    quill::defineGlobalFunction(engine, "_call", callThrough);
}

void removeBridge(Engine& engine) { transports().erase(&engine); }

bool bridgeInstalled(const Engine* engine) { return transports().count(engine) != 0; }

std::u16string buildCallXml(Engine& engine, std::string_view function, ArgList args) {
    std::u16string out = u"<invoke name=\"";
    appendEscaped(ansiToUtf16(function), out);
    out += u"\" returntype=\"xml\"><arguments>";
    for (int64_t i = 1; i <= args.count(); ++i)
        appendXmlValue(engine, args.arg(i), out);
    out += u"</arguments></invoke>";
    return out;
}

Value callMovieFunction(Engine& engine, std::string_view function, ArgList args) {
    auto it = transports().find(&engine);
    if (it == transports().end() || !it->second)
        return Value::undefined();
    MovieTransport transport = it->second; // the movie may call back and replace it
    std::optional<std::u16string> reply = transport(buildCallXml(engine, function, args));
    Value result;
    if (!reply || !readXmlValue(engine, *reply, result))
        return Value::undefined();
    return result;
}

bool registerForwardingFunction(Engine& engine, std::string_view name) {
    if (name.empty())
        return false;
    quill::NativeClass* cls = quill::defineGlobalFunction(engine, name, forwardingCall);
    cls->classData = new std::string(name);
    cls->freeClassData = freeName;
    return true;
}

} // namespace paloma::bridge
