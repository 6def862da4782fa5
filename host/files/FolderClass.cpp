// Folder and File: one class under two global names, a path on disk.
#include <memory>
#include <string>

#include "host/files/FileSystem.h"
#include "host/files/FilesClasses.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"

namespace paloma::host {

namespace {

using quill::ArgList;
using quill::Engine;
using quill::NativeClass;
using quill::SymbolId;
using quill::Value;

struct FolderEntry {
    std::string path; // absolute, normalised
    bool directory;   // taken when the object was made
};

bool isSeparator(char ch) { return ch == '/' || ch == '\\'; }

std::string join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == fs::kSeparator)
        return folder + name;
    return folder + fs::kSeparator + name;
}

size_t lastSeparator(const std::string& path) {
    size_t at = path.rfind(fs::kSeparator);
    return at == std::string::npos ? 0 : at;
}

std::string lastElement(const std::string& path) {
    size_t root = fs::rootLength(path);
    if (path.size() <= root)
        return std::string();
    size_t at = path.rfind(fs::kSeparator);
    return at == std::string::npos ? path : path.substr(at + 1);
}

bool isRoot(const std::string& path) { return path.size() == fs::rootLength(path); }

// True when `inner` is `outer` or lies inside it.
bool within(const std::string& inner, const std::string& outer) {
    if (inner.size() < outer.size() || inner.compare(0, outer.size(), outer) != 0)
        return false;
    return inner.size() == outer.size() || inner[outer.size()] == fs::kSeparator ||
           outer.back() == fs::kSeparator;
}

bool copyTree(const std::string& from, const std::string& to) {
    auto a = fs::attributes(to);
    if (!a && !fs::createDirectory(to))
        return false;
    if (a && !(*a & fs::kDirectory))
        return false;
    for (const fs::Entry& e : fs::listFolder(from, "*")) {
        std::string source = join(from, e.name), target = join(to, e.name);
        if (!(e.directory ? copyTree(source, target) : fs::copyFile(source, target)))
            return false;
    }
    return true;
}

uint64_t treeSize(const std::string& folder) {
    uint64_t total = 0;
    for (const fs::Entry& e : fs::listFolder(folder, "*")) {
        std::string path = join(folder, e.name);
        total += e.directory ? treeSize(path) : fs::fileSize(path).value_or(0);
    }
    return total;
}

Value fileList(Engine& engine, const std::string& folder, const std::string& patterns) {
    Value list = arrayResult(engine);
    size_t start = 0;
    for (;;) {
        size_t end = patterns.find(';', start);
        std::string pattern = patterns.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // A pattern names entries of this folder only.
        if (!pattern.empty() && pattern.find_first_of("/\\") == std::string::npos)
            for (const fs::Entry& e : fs::listFolder(folder, pattern))
                if (!e.directory)
                    appendElement(engine, list, ansiTextResult(engine, join(folder, e.name)));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return list;
}

void construct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    result = nullResult();
    auto given = stringArg(args, 1);
    if (!given)
        return;
    auto path = fs::absolutePath(*given);
    if (!path)
        return;
    auto a = fs::attributes(*path);
    if (!a) {
        if (!fs::createDirectory(*path))
            return;
        a = fs::attributes(*path);
        if (!a)
            return;
    }
    bindHandle(engine, cls, std::make_unique<FolderEntry>(FolderEntry{*path, (*a & fs::kDirectory) != 0}), result);
}

void call(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) { construct(engine, cls, args, result); }

// ---- members ----

void exists(MemberCall& c) {
    auto given = c.string(1);
    if (!given)
        return;
    auto path = fs::absolutePath(*given);
    c.result = booleanResult(path && fs::attributes(*path).has_value());
}

void copy(FolderEntry& f, MemberCall& c) {
    auto given = c.string(1);
    if (!given)
        return;
    auto to = fs::absolutePath(*given);
    if (!to) {
        c.result = booleanResult(false);
        return;
    }
    if (!f.directory) {
        c.result = booleanResult(fs::copyFile(f.path, *to));
        return;
    }
    // A tree copied into itself would never end.
    c.result = booleanResult(!within(*to, f.path) && copyTree(f.path, *to));
}

void remove(FolderEntry& f, MemberCall& c) {
    c.result = booleanResult(f.directory ? fs::removeDirectory(f.path) : fs::removeFile(f.path));
}

void move(FolderEntry& f, MemberCall& c) {
    auto given = c.string(1);
    if (!given)
        return;
    auto to = fs::absolutePath(*given);
    c.result = booleanResult(to && fs::moveEntry(f.path, *to));
}

// Members that exist for directories only: not handled on a file.
template <void (*F)(FolderEntry&, MemberCall&)>
int directoryMember(MemberCall& c) {
    FolderEntry* f = liveObject<FolderEntry>(c.self);
    if (!f || !f->directory)
        return 0;
    F(*f, c);
    return 1;
}

void filesMethod(FolderEntry& f, MemberCall& c) {
    std::string patterns = "*.*";
    if (c.has(1)) {
        auto given = c.string(1);
        if (!given)
            return;
        patterns = *given;
    }
    c.result = fileList(c.engine, f.path, patterns);
}

void attributes(FolderEntry& f, MemberCall& c) {
    if (!c.put) {
        if (auto a = fs::attributes(f.path))
            c.value = integerResult(*a);
    } else if (auto n = numberFrom(c.value)) {
        fs::setAttributes(f.path, uint32_t(*n));
    }
}

// A date written to a property: milliseconds (Integer or Float) or a Date object.
std::optional<int64_t> dateFrom(Engine& engine, const Value& v) {
    if (auto n = numberFrom(v))
        return n;
    if (!v.isNative() && !v.isObject())
        return std::nullopt;
    Value none[1] = {Value::integer(0)};
    if (!quill::callMethodByName(engine, v, "getTime", ArgList{none}))
        return std::nullopt;
    return numberFrom(engine.lastResult);
}

template <fs::TimeKind Kind>
void date(FolderEntry& f, MemberCall& c) {
    if (!c.put) {
        if (auto ms = fs::fileTime(f.path, Kind))
            c.value = integerResult(*ms);
        else
            c.value = Kind == fs::TimeKind::Created ? Value::nan() : booleanResult(false);
    } else if (auto ms = dateFrom(c.engine, c.value)) {
        fs::setFileTime(f.path, Kind, *ms);
    }
}

void drive(FolderEntry& f, MemberCall& c) {
    if (c.put)
        return;
    std::string root = f.path.substr(0, fs::rootLength(f.path));
    if (root.size() > 1 && root.back() == fs::kSeparator)
        root.pop_back();
    if (root.size() == 1 && root[0] == fs::kSeparator)
        root.clear(); // no drive on a system with a single tree
    c.value = ansiTextResult(c.engine, root);
}

void isRootFolder(FolderEntry& f, MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(isRoot(f.path));
}

void name(FolderEntry& f, MemberCall& c) {
    if (!c.put) {
        c.value = ansiTextResult(c.engine, lastElement(f.path));
        return;
    }
    auto given = stringFrom(c.value);
    // A new name only: nothing that would move the entry to another folder.
    if (!given || given->empty() || *given == "." || *given == ".." || isRoot(f.path) ||
        given->find('\0') != std::string::npos)
        return;
    for (char ch : *given)
        if (isSeparator(ch))
            return;
    std::string to = join(f.path.substr(0, std::max(lastSeparator(f.path), fs::rootLength(f.path))), *given);
    if (to.size() < fs::kMaxPath && fs::moveEntry(f.path, to))
        f.path = to;
}

void parentPath(FolderEntry& f, MemberCall& c) {
    if (c.put)
        return;
    std::string parent = f.path.substr(0, lastSeparator(f.path));
    if (parent.empty())
        parent = f.path.substr(0, fs::rootLength(f.path));
    c.value = ansiTextResult(c.engine, parent);
}

void path(FolderEntry& f, MemberCall& c) {
    if (!c.put)
        c.value = ansiTextResult(c.engine, f.path);
}

void shortName(FolderEntry& f, MemberCall& c) {
    if (!c.put)
        c.value = ansiTextResult(c.engine, lastElement(fs::shortPath(f.path)));
}

void shortPath(FolderEntry& f, MemberCall& c) {
    if (!c.put)
        c.value = ansiTextResult(c.engine, fs::shortPath(f.path));
}

void size(FolderEntry& f, MemberCall& c) {
    if (c.put)
        return;
    if (isRoot(f.path)) {
        auto used = fs::usedSpace(f.path);
        c.value = used ? integerResult(int64_t(*used)) : Value::nan();
    } else if (f.directory) {
        c.value = integerResult(int64_t(treeSize(f.path)));
    } else if (auto n = fs::fileSize(f.path)) {
        c.value = integerResult(int64_t(*n));
    }
}

void subFolders(FolderEntry& f, MemberCall& c) {
    if (c.put)
        return;
    c.value = arrayResult(c.engine);
    for (const fs::Entry& e : fs::listFolder(f.path, "*"))
        if (e.directory)
            appendElement(c.engine, c.value, ansiTextResult(c.engine, join(f.path, e.name)));
}

void type(FolderEntry& f, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(f.directory ? 1 : 0);
}

constexpr Member kMembers[] = {
    classMethod<exists>("exists", Fallback::False),
    method<copy>("copy", Fallback::False),
    method<remove>("remove", Fallback::False),
    method<move>("move", Fallback::False),
    Member::method("files", directoryMember<filesMethod>),
    property<attributes>("attributes"),
    property<date<fs::TimeKind::Created>>("dateCreated"),
    property<date<fs::TimeKind::Accessed>>("dateLastAccessed"),
    property<date<fs::TimeKind::Modified>>("dateLastModified"),
    property<drive>("drive"),
    Member::property("isRootFolder", directoryMember<isRootFolder>),
    property<name>("name"),
    property<parentPath>("parentPath"),
    property<path>("path"),
    property<shortName>("shortName"),
    property<shortPath>("shortPath"),
    property<size>("size"),
    Member::property("subFolders", directoryMember<subFolders>),
    property<type>("type"),
};

// `files` is a method and a property at once: one table row (the method),
// and its property read answered here before the kit's own dispatch.
int accessProperty(Engine& engine, NativeClass* cls, void* self, SymbolId member, int put, Value& value) {
    if (member == engine.internName("files")) {
        FolderEntry* f = liveObject<FolderEntry>(self);
        if (!f || !f->directory)
            return 0;
        if (!put)
            value = fileList(engine, f->path, "*.*");
        return 1;
    }
    return quill::kitAccessProperty(engine, cls, self, member, put, value);
}

} // namespace

void registerFolderClass(Engine& engine) {
    registerHostClass(engine, {.className = "Folder",
                               .globalNames = {"Folder", "File"},
                               .members = kMembers,
                               .call = call,
                               .accessProperty = accessProperty,
                               .construct = construct,
                               .destroyData = destroyHandle<FolderEntry>});
}

} // namespace paloma::host
