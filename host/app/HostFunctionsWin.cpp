// The global host functions: getMainWnd, getAppDir, getExeName, getMovies,
// getAdditionalFile, readProfile, writeProfile, processMsg, invoke, _call.
#include "host/app/Application.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <vector>

#include "app/MovieList.h"
#include "app/ResourceBlock.h"
#include "base/TextCodec.h"
#include "host/ClassOrder.h"
#include "host/HostServices.h"
#include "host/app/ApplicationState.h"
#include "host/app/HostFunctions.h"
#include "host/framework/HostClass.h"
#include "host/window/Window.h"

namespace paloma::host {

using quill::ArgList;
using quill::Engine;
using quill::NativeClass;
using quill::Value;

namespace {

std::string exeFolder() {
    std::string path = executablePath();
    size_t cut = path.find_last_of("\\/");
    std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    if (!folder.empty() && folder.back() == '/')
        folder.back() = '\\';
    return folder;
}

void getMainWnd(Engine& engine, NativeClass*, void*, Value& result, ArgList) {
    result = nullResult();
    HWND main = HWND(hostServices().playerWindow());
    if (!main || !IsWindow(main))
        return;
    quill::SymbolId slot = engine.internName("$_PALOMA_MAIN_WINDOW_");
    if (windowHandleOf(engine, engine.global(slot)) != main) {
        Value made;
        if (!makeWindowObject(engine, main, made))
            return;
        engine.global(slot) = made;
    }
    result = engine.global(slot);
}

void getAppDir(Engine& engine, NativeClass*, void*, Value& result, ArgList) {
    result = ansiTextResult(engine, exeFolder());
}

void getExeName(Engine& engine, NativeClass*, void*, Value& result, ArgList) {
    std::string path = executablePath();
    result = path.empty() ? Value::undefined() : ansiTextResult(engine, path);
}

void getMovies(Engine& engine, NativeClass*, void*, Value& result, ArgList) {
    result = arrayResult(engine);
    if (const MovieList* list = hostServices().movieList())
        for (const MovieEntry& entry : list->entries)
            if (entry.kind == kMovieEntryMovie)
                appendElement(engine, result, wideTextResult(engine, entry.path));
}

void getAdditionalFile(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    std::string name = args.count() >= 1 ? quill::valueToText(engine, args.arg(1)) : std::string();
    auto path = additionalFilePath(name);
    result = path ? ansiTextResult(engine, *path) : nullResult();
}

void readProfile(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    result = Value::undefined();
    auto section = quill::stringArg(args, 1), entry = quill::stringArg(args, 2);
    if (!section || !entry)
        return;
    auto text = hostServices().readProfileString(*section, *entry);
    if (text && !text->empty())
        result = ansiTextResult(engine, *text);
}

void writeProfile(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    result = Value::undefined();
    auto section = quill::stringArg(args, 1), entry = quill::stringArg(args, 2);
    if (!section || !entry || args.count() < 3)
        return;
    hostServices().writeProfileString(*section, *entry, quill::valueToText(engine, args.arg(3)));
}

void processMsg(Engine&, NativeClass*, void*, Value& result, ArgList) {
    result = booleanResult(pumpWaitingMessages());
}

// ---- invoke: the second script host -------------------------------------------------

struct InvokeHost {
    std::unique_ptr<Engine> engine;
    // Loaded scripts by lower-case name, for the life of the process.
    std::map<std::string, std::unique_ptr<quill::LoadedImage>> scripts;
};

InvokeHost& invokeHost() {
    static InvokeHost host;
    return host;
}

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The QUILL resource of that name, read as a resource block.
std::optional<std::vector<uint8_t>> scriptResource(const std::string& name) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceA(self, name.c_str(), "QUILL");
    if (!found)
        return std::nullopt;
    HGLOBAL loaded = LoadResource(self, found);
    const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!bytes)
        return std::nullopt;
    try {
        return readResourceBlock(std::span<const uint8_t>(bytes, SizeofResource(self, found)));
    } catch (...) {
        return std::nullopt;
    }
}

void invoke(Engine&, NativeClass*, void*, Value& result, ArgList args) {
    result = Value::undefined();
    auto name = quill::stringArg(args, 1);
    if (!name)
        return;
    InvokeHost& host = invokeHost();
    std::string key = lowerCase(*name);
    auto it = host.scripts.find(key);
    if (it == host.scripts.end()) {
        auto block = scriptResource(*name);
        if (!block)
            return;
        auto sections = quill::loadImage(*block);
        if (!sections)
            return;
        it = host.scripts.emplace(key, std::make_unique<quill::LoadedImage>(std::move(*sections))).first;
    }
    if (!host.engine) {
        host.engine = quill::createEngine(hostEngineOptions());
        if (!host.engine)
            return;
    }
    Engine& second = *host.engine;
    if (!quill::runImage(second, *it->second) && second.errorText[0])
        quill::writeTrace(second, second.errorText);
}

// _call(name, args): the global function of that name with args[0 .. length-1].
void callGlobal(Engine& engine, NativeClass*, void*, Value& result, ArgList args) {
    result = Value::undefined();
    Value name = args.arg(1), list = args.arg(2);
    if (args.count() < 2 || !name.isString())
        return;
    quill::RootedValues call(engine);
    call.values.push_back(Value::integer(0));
    if (list.isObject()) {
        Value length;
        if (!quill::objectGetByName(engine, list.asObject(), "length", length) || !length.isInteger())
            return;
        for (int64_t i = 0; i < length.asInteger() && i < (int64_t{1} << 20); ++i)
            call.values.push_back(quill::objectGetByKey(engine, list.asObject(), Value::integer(i)));
    } else if (list.isArray()) {
        // An `arguments` list is an Array.
        quill::ArrayBody* array = list.asArray();
        for (uint64_t i = 0; i < array->length && i < (uint64_t{1} << 20); ++i) {
            Value member;
            if (!quill::arrayGet(array, i, member))
                member = Value::undefined();
            call.values.push_back(member);
        }
    } else {
        return;
    }
    call.values[0] = Value::integer(int64_t(call.values.size() - 1));
    std::string function = quill::stringToAnsi(name.asString());
    if (quill::callValue(engine, function.c_str(), Value::undefined(), quill::ArgList{call.values.data()}))
        result = engine.lastResult;
}

} // namespace

std::optional<std::string> additionalFilePath(std::string name) {
    std::replace(name.begin(), name.end(), '/', '\\');
    if (executableHasArchive())
        return hostServices().extractAdditionalFile(name);
    return exeFolder() + name;
}

void registerHostFunctions(Engine& engine) {
    quill::defineGlobalFunction(engine, "getMainWnd", getMainWnd);
    quill::defineGlobalFunction(engine, "getAppDir", getAppDir);
    quill::defineGlobalFunction(engine, "getExeName", getExeName);
    quill::defineGlobalFunction(engine, "getMovies", getMovies);
    quill::defineGlobalFunction(engine, "getAdditionalFile", getAdditionalFile);
    quill::defineGlobalFunction(engine, "readProfile", readProfile);
    quill::defineGlobalFunction(engine, "writeProfile", writeProfile);
    quill::defineGlobalFunction(engine, "processMsg", processMsg);
    quill::defineGlobalFunction(engine, "invoke", invoke);
    quill::defineGlobalFunction(engine, "_call", callGlobal);
}

void releaseApplicationState() {
    InvokeHost& host = invokeHost();
    host.engine.reset();
    ApplicationState& state = applicationState();
    if (state.cursor)
        DestroyCursor(state.cursor);
    state.cursor = nullptr;
    state.traceFile.reset();
    releaseMenuState();
}

} // namespace paloma::host
