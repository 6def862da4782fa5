// Native calls on Windows: modules through the loader, calls through
// function-pointer types generated over the argument word count.
#include "host/native/NativeCall.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <type_traits>
#include <utility>

namespace paloma::host {

namespace {

// Word i of the block as the parameter type of the pointer type.
template <size_t>
using Word = uintptr_t;

#if defined(_WIN64)

// ---- 64-bit: one convention ----------------------------------------------------------
// Each of the first four words travels in the integer or the XMM register of
// its position, by its type in the pointer type: `Mask` has bit i set for a
// floating-point word i. The caller owns the stack area and the callee reads
// only its own parameters, so a call may pass more words than the procedure
// takes: word counts are rounded up to a few sizes (zero words after the
// last), which keeps the table small.
template <size_t I, unsigned Mask>
using Slot = std::conditional_t<(I < 4 && ((Mask >> (I & 3)) & 1) != 0), double, uintptr_t>;

template <class T>
T slotValue(uintptr_t word) {
    T v;
    static_assert(sizeof v == sizeof word);
    memcpy(&v, &word, sizeof v);
    return v;
}

template <class R, unsigned Mask, size_t... I>
R callWords(void* p, const uintptr_t* w, std::index_sequence<I...>) {
    using F = R (*)(Slot<I, Mask>...);
    return reinterpret_cast<F>(p)(slotValue<Slot<I, Mask>>(w[I])...);
}

// How many words a call of n words passes.
constexpr size_t wordsPassed(size_t n) { return n <= 4 ? 4 : n <= 8 ? 8 : n <= 16 ? 16 : kMaxArgumentWords; }

template <class R, unsigned Mask>
R callMask(void* p, const uintptr_t* w, size_t n) {
    switch (wordsPassed(n)) {
    case 4: return callWords<R, Mask>(p, w, std::make_index_sequence<4>());
    case 8: return callWords<R, Mask>(p, w, std::make_index_sequence<8>());
    case 16: return callWords<R, Mask>(p, w, std::make_index_sequence<16>());
    default: return callWords<R, Mask>(p, w, std::make_index_sequence<kMaxArgumentWords>());
    }
}

template <class R, unsigned... M>
constexpr auto maskTable(std::integer_sequence<unsigned, M...>) {
    return std::array<R (*)(void*, const uintptr_t*, size_t), sizeof...(M)>{callMask<R, M>...};
}

template <class R>
R callAny(unsigned mask, void* p, const uintptr_t* w, size_t n) {
    static constexpr auto table = maskTable<R>(std::make_integer_sequence<unsigned, 16>());
    return table[mask & 15](p, w, n);
}

#else

// ---- 32-bit: cdecl, stdcall, fastcall ------------------------------------------------------
template <class R, size_t... I>
R cdeclWords(void* p, const uintptr_t* w, std::index_sequence<I...>) {
    using F = R(__cdecl*)(Word<I>...);
    (void)w;
    return reinterpret_cast<F>(p)(w[I]...);
}
template <class R, size_t... I>
R stdcallWords(void* p, const uintptr_t* w, std::index_sequence<I...>) {
    using F = R(__stdcall*)(Word<I>...);
    (void)w;
    return reinterpret_cast<F>(p)(w[I]...);
}
// w[0] and w[1] go to ECX and EDX.
template <class R, size_t... I>
R fastcallWords(void* p, const uintptr_t* w, std::index_sequence<I...>) {
    using F = R(__fastcall*)(uintptr_t, uintptr_t, Word<I>...);
    return reinterpret_cast<F>(p)(w[0], w[1], w[I + 2]...);
}

enum Convention { kCdecl, kStdcall, kFastcall };

template <class R, int C, size_t N>
R callN(void* p, const uintptr_t* w) {
    if constexpr (C == kCdecl)
        return cdeclWords<R>(p, w, std::make_index_sequence<N>());
    else if constexpr (C == kStdcall)
        return stdcallWords<R>(p, w, std::make_index_sequence<N>());
    else
        return fastcallWords<R>(p, w, std::make_index_sequence<N>());
}

template <class R, int C, size_t... N>
constexpr auto tableOf(std::index_sequence<N...>) {
    return std::array<R (*)(void*, const uintptr_t*), sizeof...(N)>{callN<R, C, N>...};
}

template <class R>
R callAny(uint32_t convention, void* p, const uintptr_t* w, size_t n) {
    static constexpr auto cdecls = tableOf<R, kCdecl>(std::make_index_sequence<kMaxArgumentWords + 1>());
    static constexpr auto stdcalls = tableOf<R, kStdcall>(std::make_index_sequence<kMaxArgumentWords + 1>());
    static constexpr auto fastcalls = tableOf<R, kFastcall>(std::make_index_sequence<kMaxArgumentWords + 1>());
    if (convention & kCallCdecl)
        return cdecls[n](p, w);
    if (convention & kCallFastcall)
        return fastcalls[n](p, w);
    return stdcalls[n](p, w);
}

#endif

} // namespace

bool invokeNative(void* procedure, uint32_t convention, const uintptr_t* words, const uint8_t* wordFlags,
                  size_t count, NativeResultKind kind, NativeResult& out) {
    if (!procedure || count > kMaxArgumentWords)
        return false;
    // The words, then zeros as far as the call passes words.
    std::array<uintptr_t, kMaxArgumentWords + 2> block;
    for (size_t i = 0; i < count; ++i)
        block[i] = words[i];
#if !defined(_WIN64)
    if (convention & kCallFastcall) {
        // The first two words that may travel in registers move to the
        // front (ECX, EDX); the others keep their order on the stack.
        std::array<uintptr_t, kMaxArgumentWords + 2> ordered;
        ordered[0] = ordered[1] = 0;
        size_t regs = 0, stack = 2;
        for (size_t i = 0; i < count; ++i) {
            if ((wordFlags[i] & kWordInRegister) && regs < 2)
                ordered[regs++] = words[i];
            else
                ordered[stack++] = words[i];
        }
        std::copy(ordered.begin(), ordered.begin() + stack, block.begin());
        count = stack - 2;
    }
    const uint32_t selector = convention;
#else
    // The floating-point words among the first four.
    unsigned selector = 0;
    for (size_t i = 0; i < count && i < 4; ++i)
        if (wordFlags[i] & kWordFloating)
            selector |= 1u << i;
    for (size_t i = count; i < wordsPassed(count); ++i)
        block[i] = 0;
    (void)convention;
#endif
    switch (kind) {
    case NativeResultKind::Integer: out.integer = callAny<uint64_t>(selector, procedure, block.data(), count); break;
    case NativeResultKind::Float: out.floating = callAny<float>(selector, procedure, block.data(), count); break;
    case NativeResultKind::Double: out.floating = callAny<double>(selector, procedure, block.data(), count); break;
    }
    return true;
}

bool invokeWords(void* procedure, uint32_t convention, const uintptr_t (&words)[kFewWords], size_t count,
                 uint64_t& out) {
    if (!procedure || count > kFewWords)
        return false;
#if defined(_WIN64)
    // All four register words: those past `count` are the caller's zeros.
    (void)convention;
    out = callWords<uint64_t, 0>(procedure, words, std::make_index_sequence<kFewWords>());
#else
    if (convention & kCallFastcall)
        return false;
    out = callAny<uint64_t>(convention, procedure, words, count);
#endif
    return true;
}

std::unique_ptr<NativeModule> NativeModule::load(const std::string& name) {
    HMODULE h = LoadLibraryA(name.c_str());
    if (!h)
        return nullptr;
    return std::unique_ptr<NativeModule>(new NativeModule(h));
}

NativeModule::~NativeModule() { FreeLibrary(static_cast<HMODULE>(handle_)); }

void* NativeModule::procedure(const std::string& name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name.c_str()));
}

std::string NativeModule::key() const {
    char path[MAX_PATH * 2], shortPath[MAX_PATH * 2];
    DWORD n = GetModuleFileNameA(static_cast<HMODULE>(handle_), path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return {};
    DWORD m = GetShortPathNameA(path, shortPath, sizeof shortPath);
    std::string key = (m > 0 && m < sizeof shortPath) ? std::string(shortPath, m) : std::string(path, n);
    for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

} // namespace paloma::host
