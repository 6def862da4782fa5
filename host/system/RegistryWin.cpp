// RegKey and RegValue: the registry.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"
#include "host/system/SystemClasses.h"
#include "host/system/ErrorReportWin.h"

namespace paloma::host {

namespace {

using quill::ArgList;
using quill::Engine;
using quill::NativeClass;
using quill::Value;

constexpr REGSAM kAllAccess = 0xF003F;

// ---- RegValue ----

struct RegValueData {
    std::optional<std::string> name; // none: the default value
    DWORD type = REG_SZ;
    std::vector<uint8_t> data;
};

uint32_t little32(const std::vector<uint8_t>& d) {
    return uint32_t(d[0]) | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16 | uint32_t(d[3]) << 24;
}

Value dataValue(Engine& engine, const RegValueData& v) {
    const std::vector<uint8_t>& d = v.data;
    if (d.empty())
        return Value::undefined();
    std::string_view bytes(reinterpret_cast<const char*>(d.data()), d.size());
    switch (v.type) {
    case REG_NONE:
    case REG_BINARY:
    case REG_LINK:
        return ansiTextResult(engine, bytes);
    case REG_DWORD:
        // Short data has no 32-bit value.
        return d.size() < 4 ? Value::undefined() : integerResult(little32(d));
    case REG_DWORD_BIG_ENDIAN:
        return d.size() < 4 ? Value::undefined() : integerResult(int32_t(little32(d)));
    case REG_MULTI_SZ: {
        Value list = arrayResult(engine);
        size_t at = 0;
        while (at < bytes.size()) {
            size_t end = bytes.find('\0', at);
            if (end == at)
                break; // the empty string that ends the list
            if (end == std::string_view::npos)
                end = bytes.size();
            appendElement(engine, list, ansiTextResult(engine, bytes.substr(at, end - at)));
            at = end + 1;
        }
        return list;
    }
    default:
        return ansiTextResult(engine, bytes.substr(0, std::min(bytes.find('\0'), bytes.size())));
    }
}

void appendLittle(std::vector<uint8_t>& out, uint64_t v, size_t count) {
    for (size_t i = 0; i < count; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

// The bytes a written `data` value stores; nothing for kinds it does not take.
std::optional<std::vector<uint8_t>> dataBytes(const Value& v) {
    std::vector<uint8_t> out;
    if (v.isInteger()) {
        appendLittle(out, uint64_t(v.asInteger()), 4);
    } else if (v.isFloat()) {
        double d = v.asFloat();
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        appendLittle(out, bits, 8);
    } else if (v.isString()) {
        std::string text = stringFrom(v).value_or(std::string());
        out.assign(text.begin(), text.end());
    } else if (v.isArray()) {
        const quill::ArrayBody* array = v.asArray();
        // Elements are read in index order; a sparse array's holes add nothing.
        constexpr uint64_t kMaxElements = 1u << 20;
        for (uint64_t i = 0; i < std::min(array->length, kMaxElements); ++i) {
            Value e;
            if (!quill::arrayGet(array, i, e))
                continue;
            if (e.isInteger() || e.isFloat()) {
                auto bytes = dataBytes(e);
                out.insert(out.end(), bytes->begin(), bytes->end());
            } else if (e.isString()) {
                std::string text = stringFrom(e).value_or(std::string());
                out.insert(out.end(), text.begin(), text.end());
                out.push_back(0);
            }
        }
    } else {
        return std::nullopt;
    }
    return out;
}

void regValueConstruct(Engine& engine, NativeClass* cls, ArgList, Value& result) {
    bindHandle(engine, cls, std::make_unique<RegValueData>(), result);
}
void regValueCall(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) {
    regValueConstruct(engine, cls, args, result);
}

void valueName(RegValueData& v, MemberCall& c) {
    if (!c.put)
        c.value = v.name ? ansiTextResult(c.engine, *v.name) : nullResult();
    else if (auto text = stringFrom(c.value))
        v.name = *text;
}

void valueType(RegValueData& v, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(v.type);
    else if (auto n = numberFrom(c.value))
        v.type = DWORD(*n);
}

void valueData(RegValueData& v, MemberCall& c) {
    if (!c.put)
        c.value = dataValue(c.engine, v);
    else if (auto bytes = dataBytes(c.value))
        v.data = std::move(*bytes);
}

constexpr Member kValueMembers[] = {
    property<valueName>("name"),
    property<valueType>("type"),
    property<valueData>("data"),
};

Value newRegValue(Engine& engine, RegValueData data) {
    auto handle = std::make_unique<NativeHandle<RegValueData>>();
    handle->object = std::make_unique<RegValueData>(std::move(data));
    Value out = nullResult();
    if (quill::newHostObject(engine, "RegValue", handle.get(), out))
        handle.release();
    return out;
}

// ---- RegKey ----

struct RegKeyData {
    HKEY key = nullptr;
    bool created = false;
    ~RegKeyData() {
        if (key)
            RegCloseKey(key);
    }
};

// The root a path starts with, and the rest of the path; no root when the
// text before the first `\` names none.
struct KeyPath {
    HKEY root = nullptr;
    std::string subkey;
};

KeyPath splitPath(const std::string& path) {
    static const struct {
        const char* name;
        HKEY root;
    } kRoots[] = {{"HKCR", HKEY_CLASSES_ROOT},  {"HKCU", HKEY_CURRENT_USER},     {"HKLM", HKEY_LOCAL_MACHINE},
                  {"HKCC", HKEY_CURRENT_CONFIG}, {"HKPD", HKEY_PERFORMANCE_DATA}, {"HKDD", HKEY_DYN_DATA}};
    size_t slash = path.find('\\');
    std::string head = path.substr(0, slash);
    for (const auto& r : kRoots)
        if (lstrcmpiA(head.c_str(), r.name) == 0)
            return {r.root, slash == std::string::npos ? std::string() : path.substr(slash + 1)};
    return {nullptr, path};
}

// The key a path is relative to: its root, else the key the call is made on.
HKEY baseKey(const KeyPath& p, void* self) {
    if (p.root)
        return p.root;
    RegKeyData* key = liveObject<RegKeyData>(self);
    return key ? key->key : nullptr;
}

bool validText(const std::string& s) { return s.find('\0') == std::string::npos; }

Value openKey(Engine& engine, NativeClass* cls, void* self, const std::string& path, REGSAM access) {
    KeyPath p = splitPath(path);
    HKEY base = baseKey(p, self);
    if (!base || !validText(path))
        return nullResult();
    HKEY key;
    LONG status = RegOpenKeyExA(base, p.subkey.c_str(), 0, access, &key);
    if (status != ERROR_SUCCESS) {
        reportSystemError(engine, DWORD(status));
        return nullResult();
    }
    auto data = std::make_unique<RegKeyData>();
    data->key = key;
    Value result = nullResult();
    bindHandle(engine, cls, std::move(data), result);
    return result;
}

std::optional<REGSAM> accessArgument(MemberCall& c, int64_t i) {
    if (!c.has(i))
        return kAllAccess;
    auto n = c.number(i);
    if (!n)
        return std::nullopt;
    return REGSAM(*n);
}

void regKeyConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    result = nullResult();
    auto path = stringArg(args, 1);
    REGSAM access = kAllAccess;
    if (hasArgs(args, 2)) {
        auto n = numberArg(args, 2);
        if (!n)
            return;
        access = REGSAM(*n);
    }
    if (path)
        result = openKey(engine, cls, nullptr, *path, access);
}
void regKeyCall(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) {
    regKeyConstruct(engine, cls, args, result);
}

void open(MemberCall& c) {
    auto path = c.string(1);
    auto access = accessArgument(c, 2);
    if (path && access)
        c.result = openKey(c.engine, c.cls, c.self, *path, *access);
}

REGSAM accessOfIndex(int64_t index) {
    static constexpr REGSAM kAccess[] = {kAllAccess, 0x20, 4, 8, 0x20019, 0x10, 1, 0x20019, 2, 0x20006};
    return index >= 0 && index < 10 ? kAccess[index] : kAllAccess;
}

void create(MemberCall& c) {
    auto path = c.string(1);
    if (!path)
        return;
    std::string className = "REG_SZ";
    if (c.has(2)) {
        auto given = c.string(2);
        if (!given)
            return;
        className = *given;
    }
    int64_t index = 0;
    if (c.has(3)) {
        auto n = c.number(3);
        if (!n)
            return;
        index = *n;
    }
    KeyPath p = splitPath(*path);
    HKEY base = baseKey(p, c.self);
    if (!base || !validText(*path) || !validText(className)) {
        c.result = nullResult();
        return;
    }
    HKEY key;
    DWORD disposition = 0;
    LONG status = RegCreateKeyExA(base, p.subkey.c_str(), 0, className.data(), REG_OPTION_NON_VOLATILE,
                                  accessOfIndex(index), nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS) {
        reportSystemError(c.engine, DWORD(status));
        c.result = nullResult();
        return;
    }
    auto data = std::make_unique<RegKeyData>();
    data->key = key;
    data->created = disposition == REG_CREATED_NEW_KEY;
    bindHandle(c.engine, c.cls, std::move(data), c.result);
}

void deleteKey(MemberCall& c) {
    auto path = c.string(1);
    if (!path)
        return;
    KeyPath p = splitPath(*path);
    HKEY base = baseKey(p, c.self);
    // The root itself is never deleted.
    if (!base || p.subkey.empty() || !validText(*path)) {
        c.result = booleanResult(false);
        return;
    }
    LONG status = RegDeleteKeyA(base, p.subkey.c_str());
    if (status != ERROR_SUCCESS)
        reportSystemError(c.engine, DWORD(status));
    c.result = booleanResult(status == ERROR_SUCCESS);
}

void deleteValue(RegKeyData& k, MemberCall& c) {
    auto name = c.string(1);
    if (!name)
        return;
    LONG status = RegDeleteValueA(k.key, name->c_str());
    if (status != ERROR_SUCCESS)
        reportSystemError(c.engine, DWORD(status));
    c.result = booleanResult(status == ERROR_SUCCESS);
}

struct KeyInfo {
    DWORD subkeys = 0, maxSubkeyLength = 0, values = 0, maxValueName = 0, maxValueData = 0;
    std::string className;
    FILETIME lastWrite{};
    bool ok = false;
};

KeyInfo keyInfo(HKEY key) {
    KeyInfo info;
    char className[1024] = "";
    DWORD classLength = sizeof className;
    info.ok = RegQueryInfoKeyA(key, className, &classLength, nullptr, &info.subkeys, &info.maxSubkeyLength, nullptr,
                               &info.values, &info.maxValueName, &info.maxValueData, nullptr,
                               &info.lastWrite) == ERROR_SUCCESS;
    info.className.assign(className, std::min<DWORD>(classLength, sizeof className - 1));
    return info;
}

void getSubkeyNames(RegKeyData& k, MemberCall& c) {
    KeyInfo info = keyInfo(k.key);
    c.result = arrayResult(c.engine);
    if (!info.ok)
        return;
    std::vector<char> name(info.maxSubkeyLength + 2);
    quill::ArrayBody* list = c.result.asArray();
    for (DWORD i = 0; i < info.subkeys; ++i) {
        DWORD length = DWORD(name.size());
        if (RegEnumKeyExA(k.key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            quill::arraySet(c.engine, list, i, ansiTextResult(c.engine, std::string_view(name.data(), length)));
        else
            list->length = std::max<uint64_t>(list->length, i + 1); // left undefined
    }
}

std::optional<RegValueData> queryValue(HKEY key, const std::optional<std::string>& name, LONG& status) {
    const char* n = name ? name->c_str() : nullptr;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0, size = 0;
        status = RegQueryValueExA(key, n, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            return std::nullopt;
        RegValueData v{name, type, std::vector<uint8_t>(size)};
        status = RegQueryValueExA(key, n, nullptr, &type, v.data.data(), &size);
        if (status == ERROR_MORE_DATA)
            continue; // it grew in between
        if (status != ERROR_SUCCESS)
            return std::nullopt;
        v.type = type;
        v.data.resize(std::min<size_t>(size, v.data.size()));
        return v;
    }
    return std::nullopt;
}

void getValues(RegKeyData& k, MemberCall& c) {
    KeyInfo info = keyInfo(k.key);
    c.result = arrayResult(c.engine);
    if (!info.ok)
        return;
    std::vector<char> name(info.maxValueName + 2);
    for (DWORD i = 0; i < info.values; ++i) {
        DWORD length = DWORD(name.size());
        if (RegEnumValueA(k.key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        LONG status;
        std::string valueName(name.data(), length);
        if (auto v = queryValue(k.key, valueName.empty() ? std::nullopt : std::optional(valueName), status))
            appendElement(c.engine, c.result, newRegValue(c.engine, std::move(*v)));
    }
}

void getValue(RegKeyData& k, MemberCall& c) {
    std::optional<std::string> name;
    if (c.has(1)) {
        name = c.string(1);
        if (!name)
            return;
    }
    c.result = nullResult();
    LONG status;
    if (auto v = queryValue(k.key, name, status))
        c.result = newRegValue(c.engine, std::move(*v));
    else
        reportSystemError(c.engine, DWORD(status));
}

void write(RegKeyData& k, MemberCall& c) {
    RegValueData* v = liveObject<RegValueData>(quill::instanceData(c.arg(1), c.engine, "RegValue"));
    if (!v)
        return;
    std::vector<uint8_t> data = v->data;
    if (v->type == REG_MULTI_SZ) {
        // A multi-string ends with two NULs (the last string's and the empty one).
        while (data.size() < 2 || data[data.size() - 1] != 0 || data[data.size() - 2] != 0)
            data.push_back(0);
    }
    if (v->name && !validText(*v->name)) {
        c.result = booleanResult(false);
        return;
    }
    LONG status = RegSetValueExA(k.key, v->name ? v->name->c_str() : nullptr, 0, v->type, data.data(),
                                 DWORD(data.size()));
    if (status != ERROR_SUCCESS)
        reportSystemError(c.engine, DWORD(status));
    c.result = booleanResult(status == ERROR_SUCCESS);
}

void clone(RegKeyData& k, MemberCall& c) {
    c.result = nullResult();
    HKEY key;
    LONG status = RegOpenKeyExA(k.key, "", 0, kAllAccess, &key);
    if (status != ERROR_SUCCESS) {
        reportSystemError(c.engine, DWORD(status));
        return;
    }
    auto data = std::make_unique<RegKeyData>();
    data->key = key;
    bindHandle(c.engine, c.cls, std::move(data), c.result);
}

void className(RegKeyData& k, MemberCall& c) {
    if (c.put)
        return;
    KeyInfo info = keyInfo(k.key);
    if (info.ok)
        c.value = ansiTextResult(c.engine, info.className);
}

void newCreated(RegKeyData& k, MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(k.created);
}

void lastWriteTime(RegKeyData& k, MemberCall& c) {
    if (c.put)
        return;
    KeyInfo info = keyInfo(k.key);
    if (!info.ok)
        return;
    uint64_t units = uint64_t(info.lastWrite.dwHighDateTime) << 32 | info.lastWrite.dwLowDateTime;
    c.value = quill::floatResult(double(units / 10000) - 11644473600000.0);
}

constexpr Member kKeyMembers[] = {
    classMethod<open>("open", Fallback::Null),
    classMethod<create>("create", Fallback::Null),
    classMethod<deleteKey>("deleteKey", Fallback::False),
    method<deleteValue>("deleteValue", Fallback::False),
    method<getSubkeyNames>("getSubkeyNames"),
    method<getValues>("getValues"),
    method<getValue>("getValue", Fallback::Null),
    method<write>("write", Fallback::False),
    method<clone>("clone", Fallback::Null),
    property<className>("className"),
    property<newCreated>("newCreated"),
    property<lastWriteTime>("lastWriteTime"),
};

} // namespace

void registerRegKeyClass(Engine& engine) {
    registerHostClass(engine, {.className = "RegKey",
                               .members = kKeyMembers,
                               .call = regKeyCall,
                               .construct = regKeyConstruct,
                               .destroyData = destroyHandle<RegKeyData>});
}

void registerRegValueClass(Engine& engine) {
    registerHostClass(engine, {.className = "RegValue",
                               .members = kValueMembers,
                               .call = regValueCall,
                               .construct = regValueConstruct,
                               .destroyData = destroyHandle<RegValueData>});
}

} // namespace paloma::host
