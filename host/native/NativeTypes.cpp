// The type names of DLL registrations.
#include "host/native/NativeTypes.h"

#include <cctype>

namespace paloma::host {

namespace {

struct TypeRow {
    std::string_view name; // lower case
    uint8_t byReference, code, size;
};

constexpr TypeRow kTypes[] = {
    {"void", 0, 0, 0},           {"void*", 0, 10, 4},          {"char", 0, 1, 1},
    {"char*", 1, 1, 4},          {"string", 1, 1, 4},          {"byte", 0, 2, 1},
    {"byte*", 1, 2, 4},          {"short", 0, 3, 2},           {"short*", 1, 3, 4},
    {"widestring", 1, 3, 4},     {"ushort", 0, 4, 2},          {"ushort*", 1, 4, 4},
    {"long", 0, 5, 4},           {"long*", 1, 5, 4},           {"ulong", 0, 6, 4},
    {"ulong*", 1, 6, 4},         {"longlong", 0, 7, 8},        {"float", 0, 8, 4},
    {"float*", 1, 8, 4},         {"double", 0, 9, 8},          {"double*", 1, 9, 4},
    {"unsigned char", 0, 2, 1},  {"unsigned char*", 1, 2, 4},  {"unsigned short", 0, 4, 2},
    {"unsigned short*", 1, 4, 4}, {"int", 0, 5, 4},            {"int*", 1, 5, 4},
    {"unsigned int", 0, 6, 4},   {"unsigned int*", 1, 6, 4},   {"unsigned long", 0, 6, 4},
    {"unsigned long*", 1, 6, 4}, {"int64", 0, 7, 8},           {"int64*", 1, 7, 4},
    {"unsigned int64", 0, 7, 8}, {"unsigned int64*", 1, 7, 4}, {"string*", 0, 10, 4},
    {"pointer", 0, 10, 4},       {"pointer*", 0, 10, 4},       {"boolean", 0, 5, 4},
    {"boolean*", 1, 5, 4},
};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

std::optional<TypeDescriptor> tableType(std::string_view name) {
    std::string key = lower(name);
    for (const TypeRow& row : kTypes)
        if (row.name == key)
            return TypeDescriptor{row.byReference != 0, row.code, row.size, {}};
    return std::nullopt;
}

uint32_t conventionFlags(std::string_view name) {
    std::string key = lower(name);
    if (key == "cdecl")
        return 4;
    if (key == "stdcall" || key == "pascal")
        return 32;
    if (key == "fastcall")
        return 64;
    return 0;
}

uint32_t elementSize(uint32_t code) {
    switch (code) {
    case kTypeChar:
    case kTypeByte: return 1;
    case kTypeShort:
    case kTypeUShort: return 2;
    case kTypeLong:
    case kTypeULong:
    case kTypeFloat: return 4;
    case kTypeInt64:
    case kTypeDouble: return 8;
    case kTypePointer: return sizeof(void*);
    default: return 1;
    }
}

} // namespace paloma::host
