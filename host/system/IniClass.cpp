// Ini: profile files for scripts ("[section]" and "key=value" lines), each
// member one read or one edit of the file on disk (ProfileFile).
#include "host/system/IniClass.h"

#include <memory>

#include "base/HostPath.h"
#include "base/TextCodec.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"
#include "host/system/ProfileFile.h"
#include "host/system/ProfilePath.h"

namespace paloma::host {

namespace {

using quill::Engine;
using quill::NativeClass;
using quill::Value;

// The real object: the profile file's path.
struct Ini {
    std::filesystem::path path;
};

constexpr const char* kKeyNotFound = "key not found";

void construct(Engine& engine, NativeClass* cls, quill::ArgList args, Value& result) {
    auto path = stringArg(args, 1);
    // A NUL would leave the system only the part of the path before it.
    if (!path || path->find('\0') != std::string::npos) {
        result = nullResult();
        return;
    }
    bindHandle(engine, cls, std::make_unique<Ini>(Ini{profilePath(ansiToUtf16(*path))}), result);
}

void call(Engine& engine, NativeClass* cls, void*, Value& result, quill::ArgList args) {
    construct(engine, cls, args, result);
}

Value textArray(Engine& engine, const std::vector<std::string>& texts) {
    Value array = arrayResult(engine);
    for (const std::string& text : texts)
        appendElement(engine, array, ansiTextResult(engine, text));
    return array;
}

void getInt(Ini& ini, MemberCall& c) {
    auto section = c.string(1), key = c.string(2);
    if (section && key)
        c.result = integerResult(loadProfile(ini.path).getInt(*section, *key));
}

void getString(Ini& ini, MemberCall& c) {
    auto section = c.string(1), key = c.string(2);
    if (section && key)
        c.result = ansiTextResult(c.engine, loadProfile(ini.path).getString(*section, *key).value_or(kKeyNotFound));
}

void getSection(Ini& ini, MemberCall& c) {
    if (auto section = c.string(1))
        c.result = textArray(c.engine, loadProfile(ini.path).getSection(*section));
}

void getSectionNames(Ini& ini, MemberCall& c) {
    c.result = textArray(c.engine, loadProfile(ini.path).getSectionNames());
}

void writeString(Ini& ini, MemberCall& c) {
    auto section = c.string(1), key = c.string(2), value = c.string(3);
    if (section && key && value)
        c.result = booleanResult(
            updateProfile(ini.path, [&](ProfileFile& p) { p.writeString(*section, *key, *value); }));
}

void writeSection(Ini& ini, MemberCall& c) {
    auto section = c.string(1);
    Value lines = c.arg(2);
    if (!section || !lines.isArray())
        return;
    std::vector<std::string> entries;
    for (const Value& v : quill::arrayGather(lines.asArray()))
        if (auto text = stringFrom(v))
            entries.push_back(*text);
    c.result = booleanResult(updateProfile(ini.path, [&](ProfileFile& p) { p.writeSection(*section, entries); }));
}

void deleteSection(Ini& ini, MemberCall& c) {
    auto section = c.string(1);
    if (section && c.count() == 1)
        c.result = booleanResult(updateProfile(ini.path, [&](ProfileFile& p) { p.deleteSection(*section); }));
}

void deleteKey(Ini& ini, MemberCall& c) {
    auto section = c.string(1), key = c.string(2);
    if (section && key)
        c.result = booleanResult(updateProfile(ini.path, [&](ProfileFile& p) { p.deleteKey(*section, *key); }));
}

constexpr Member kMembers[] = {
    method<getInt>("getInt"),
    method<getString>("getString"),
    method<getSection>("getSection"),
    method<getSectionNames>("getSectionNames"),
    method<writeString>("writeString"),
    method<writeSection>("writeSection"),
    method<deleteSection>("deleteSection"),
    method<deleteKey>("deleteKey"),
};

} // namespace

void registerIniClass(quill::Engine& engine) {
    // The object's text is "[object INI]".
    registerHostClass(engine, {.className = "INI",
                               .globalNames = {"Ini"},
                               .members = kMembers,
                               .call = call,
                               .construct = construct,
                               .destroyData = destroyHandle<Ini>});
}

} // namespace paloma::host
