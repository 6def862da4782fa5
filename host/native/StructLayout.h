#pragma once
// The layout of a native structure: member offsets and sizes computed from a
// structure descriptor text, by the alignment rules of the target.
//
// A descriptor is the text a `struct` statement stores in its variable:
//     <POINT type="struct"><x type="long"></x><y type="long"></y></POINT>
// Each child element of the root is a member: its tag the member name, its
// `type` attribute the type text ("[unsigned ]TYPE[*]"), its optional `count`
// attribute the number of elements. A member of type `struct` lays out its
// own child elements; a member whose type names a structure takes the
// descriptor held by the global variable of that name (the caller resolves
// it).
//
// Alignment (A, the current global alignment; M, the structure's alignment):
//   - each member of element size s is placed at its running offset rounded
//     up to min(A, s), and M = max(M, min(A, s));
//   - a structure member is placed by its own layout's alignment (at most A);
//   - an array takes count x s bytes;
//   - the structure's size is the final offset rounded up to M.
// The layout is plain data and portable: the rules of both Windows targets
// (4-byte pointers on the 32-bit build, 8-byte pointers on the 64-bit one)
// are computed the same way everywhere.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paloma::host {

// Member type flags, from the member's type text.
enum StructFlag : uint32_t {
    kStructBoolean = 1,
    kStructChar = 2,
    kStructUChar = 4,
    kStructShort = 8,
    kStructUShort = 16,
    kStructLong = 32,
    kStructULong = 64,
    kStructInt64 = 128,
    kStructUInt64 = 256,
    kStructFloat = 512,
    kStructDouble = 1024,
    kStructNested = 2048,
    kStructPointer = 0x10000000,
    kStructString = 0x10000002, // a char pointer
};

struct LayoutRules {
    uint32_t alignment = 8;    // 1, 2, 4 or a positive multiple of 8
    uint32_t pointerSize = 4;  // sizeof(void*) of the target
};

struct StructLayout;

struct StructMember {
    std::string name;
    uint32_t flags = 0;     // StructFlag bits, kStructPointer included for pointer members
    uint32_t baseFlags = 0; // the pointed-to (or own) type, without kStructPointer
    uint32_t elementSize = 0;
    uint32_t offset = 0;
    int32_t count = -1;     // -1 without a count attribute
    bool isPointer() const { return (flags & kStructPointer) != 0; }
    bool isArray() const { return count >= 0; }
    uint32_t elementCount() const { return count > 1 ? uint32_t(count) : 1; }
    uint32_t size() const { return elementSize * elementCount(); }
    // Structure members and structure pointers: the (pointed-to) layout.
    std::shared_ptr<const StructLayout> nested;
};

struct StructLayout {
    std::string name; // the root element's tag
    std::vector<StructMember> members;
    uint32_t size = 0;
    uint32_t alignment = 0; // M; 0 for a structure without sized members
};

// Resolves the name of a structure type to the descriptor text of that
// structure (the global variable of that name), or nothing.
using DescriptorLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The largest structure the runtime lays out (bytes): larger ones are refused
// instead of exhausting memory.
inline constexpr uint64_t kMaxStructSize = 64u << 20;

// Lays out a descriptor text; null when the text is not well-formed, a type
// is unknown, a named structure cannot be resolved, the structures nest
// themselves or the size exceeds kMaxStructSize.
std::shared_ptr<const StructLayout> layoutStruct(std::string_view descriptor, const LayoutRules& rules,
                                                 const DescriptorLookup& lookup = {});

// The flags and element size of a member type text; nothing when invalid.
// A structure name (not `struct`) gives kStructNested with size 0: its layout
// comes from the lookup.
struct MemberType {
    uint32_t flags = 0;
    uint32_t baseFlags = 0;
    uint32_t size = 0;
    std::string structName; // a named structure type, without '*'
};
std::optional<MemberType> memberType(std::string_view typeText, const LayoutRules& rules);

// Whether `align` may be set to the value: 1, 2, 4 or a positive multiple of 8.
inline bool validAlignment(int64_t value) { return value == 1 || value == 2 || value == 4 || (value > 0 && value % 8 == 0 && value <= (int64_t(1) << 30)); }

} // namespace paloma::host
