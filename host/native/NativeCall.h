#pragma once
// The platform side of a native call: loading modules and calling a
// procedure with an argument block of machine words.
//
// The argument block holds one word per 32-bit slot on the 32-bit build
// (64-bit values take two) and one word per parameter on the 64-bit build.
// A call goes through a function-pointer type with exactly that many word
// parameters, chosen from a table generated over the word count, so the
// compiler itself builds the frame for the convention:
//   - 32-bit: cdecl (caller removes the arguments), stdcall and pascal (the
//     callee removes them), fastcall (the first two register-sized
//     arguments in ECX and EDX, the rest on the stack, callee removes);
//   - 64-bit: the one convention; each of the first four words is typed as
//     an integer or a double in the pointer type, so it travels in the
//     integer or the XMM register of its position.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace paloma::host {

// Calling-convention flags of a registered function.
enum ConventionFlag : uint32_t {
    kCallCdecl = 4,
    kCallFloatResult = 8,
    kCallDoubleResult = 16,
    kCallStdcall = 32, // pascal too
    kCallFastcall = 64,
};

// The most argument words a call can have.
inline constexpr size_t kMaxArgumentWords = 48;

enum class NativeResultKind { Integer, Float, Double };

struct NativeResult {
    uint64_t integer = 0; // EAX:EDX on the 32-bit build, RAX on the 64-bit one
    double floating = 0;
};

// What the call needs to know of each argument word.
enum WordFlag : uint8_t {
    kWordInRegister = 1, // 32-bit fastcall: may travel in ECX or EDX
    kWordFloating = 2,   // 64-bit: a float or double (XMM register among the first four)
};

// Calls `procedure` with `count` words. False when the call cannot be made
// here (too many words, or no native calls on this platform).
bool invokeNative(void* procedure, uint32_t convention, const uintptr_t* words, const uint8_t* wordFlags,
                  size_t count, NativeResultKind kind, NativeResult& out);

// The most words of a call through invokeWords.
inline constexpr size_t kFewWords = 4;

// Calls `procedure` with up to kFewWords integer words (none a 32-bit
// fastcall register word or a 64-bit floating-point one) for an integer
// result: the path of the common small call, without an argument block.
// False when the call cannot be made here.
bool invokeWords(void* procedure, uint32_t convention, const uintptr_t (&words)[kFewWords], size_t count,
                 uint64_t& out);

// A loaded module, freed when the last holder lets go.
class NativeModule {
public:
    // Loads a module by name; null when it cannot be loaded.
    static std::unique_ptr<NativeModule> load(const std::string& name);
    ~NativeModule();
    NativeModule(const NativeModule&) = delete;
    NativeModule& operator=(const NativeModule&) = delete;

    // The exported procedure of that name, or null.
    void* procedure(const std::string& name) const;
    // The module's short path in lower case (the key of the module table).
    std::string key() const;

private:
    explicit NativeModule(void* handle) : handle_(handle) {}
    void* handle_;
};

// Raw memory reads for Dll.getPointer... (the address is the script's word).
inline const void* addressOf(int64_t address) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(address)); }

} // namespace paloma::host
