// Native calls on Windows: modules through the loader, calls through
// function-pointer types generated over the argument word count.
#include "host/native/NativeCall.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace paloma::host {

namespace {

// Word i of the block as the parameter type of the pointer type.
template <size_t>
using Word = uintptr_t;

#if defined(_WIN64)

// ---- 64-bit: one convention ----------------------------------------------------------
// The first four words go as variadic doubles (placed in both register files);
// their bits are the word's bits.
template <size_t I>
auto slot(const uintptr_t* w) {
    if constexpr (I < 4) {
        double d;
        static_assert(sizeof d == sizeof w[I]);
        memcpy(&d, &w[I], sizeof d);
        return d;
    } else {
        return w[I];
    }
}

template <class R, size_t... I>
R callWords(void* p, const uintptr_t* w, std::index_sequence<I...>) {
    using F = R (*)(...);
    return reinterpret_cast<F>(p)(slot<I>(w)...);
}

template <class R, size_t N>
R callN(void* p, const uintptr_t* w) {
    return callWords<R>(p, w, std::make_index_sequence<N>());
}

template <class R, size_t... N>
constexpr auto tableOf(std::index_sequence<N...>) {
    return std::array<R (*)(void*, const uintptr_t*), sizeof...(N)>{callN<R, N>...};
}

template <class R>
R callAny(uint32_t, void* p, const uintptr_t* w, size_t n) {
    static constexpr auto table = tableOf<R>(std::make_index_sequence<kMaxArgumentWords + 1>());
    return table[n](p, w);
}

#else

// ---- 32-bit: cdecl, stdcall, fastcall ------------------------------------------------------
template <class R, size_t... I>
R cdeclWords(void* p, const uintptr_t* w, std::index_sequence<I...>) {
    using F = R(__cdecl*)(Word<I>...);
    return reinterpret_cast<F>(p)(w[I]...);
}
template <class R, size_t... I>
R stdcallWords(void* p, const uintptr_t* w, std::index_sequence<I...>) {
    using F = R(__stdcall*)(Word<I>...);
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

bool invokeNative(void* procedure, uint32_t convention, const uintptr_t* words, const bool* registerWord,
                  size_t count, NativeResultKind kind, NativeResult& out) {
    if (!procedure || count > kMaxArgumentWords)
        return false;
    std::array<uintptr_t, kMaxArgumentWords + 2> block{};
    std::copy(words, words + count, block.begin());
#if !defined(_WIN64)
    if (convention & kCallFastcall) {
        // The first two words that may travel in registers move to the
        // front (ECX, EDX); the others keep their order on the stack.
        std::array<uintptr_t, kMaxArgumentWords + 2> ordered{};
        size_t regs = 0, stack = 2;
        for (size_t i = 0; i < count; ++i) {
            if (registerWord[i] && regs < 2)
                ordered[regs++] = words[i];
            else
                ordered[stack++] = words[i];
        }
        block = ordered;
        count = stack - 2;
    }
#else
    (void)registerWord;
#endif
    switch (kind) {
    case NativeResultKind::Integer: out.integer = callAny<uint64_t>(convention, procedure, block.data(), count); break;
    case NativeResultKind::Float: out.floating = callAny<float>(convention, procedure, block.data(), count); break;
    case NativeResultKind::Double: out.floating = callAny<double>(convention, procedure, block.data(), count); break;
    }
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
