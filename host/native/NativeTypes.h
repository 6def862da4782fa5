#pragma once
// Native type descriptors: what a DLL function's parameters and result are,
// from the type names of a registration.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace paloma::host {

// Type codes (ORDER TYPECODE).
enum TypeCode : uint32_t {
    kTypeVoid = 0,
    kTypeChar = 1,
    kTypeByte = 2,
    kTypeShort = 3,
    kTypeUShort = 4,
    kTypeLong = 5,
    kTypeULong = 6,
    kTypeInt64 = 7,
    kTypeFloat = 8,
    kTypeDouble = 9,
    kTypePointer = 10,
    kTypeStruct = 11,
};

struct TypeDescriptor {
    bool byReference = false;
    uint32_t code = kTypeVoid;
    uint32_t size = 0;
    std::string structName; // code 11 only
};

// A name of the type table (matched without regard to case); nothing for a
// name that is not in it (a structure name, or invalid).
std::optional<TypeDescriptor> tableType(std::string_view name);

// The convention flags of a call type name: cdecl 4, stdcall and pascal 32,
// fastcall 64, anything else 0.
uint32_t conventionFlags(std::string_view name);

// Bytes of one element of the type (the unit of a by-reference buffer).
uint32_t elementSize(uint32_t code);

} // namespace paloma::host
