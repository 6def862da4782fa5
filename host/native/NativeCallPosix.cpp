// Native calls exist only on Windows: elsewhere nothing loads and nothing is
// called (the structure classes still work).
#include "host/native/NativeCall.h"

namespace paloma::host {

bool invokeNative(void*, uint32_t, const uintptr_t*, const uint8_t*, size_t, NativeResultKind, NativeResult&) {
    return false;
}

bool invokeWords(void*, uint32_t, const uintptr_t (&)[kFewWords], size_t, uint64_t&) { return false; }

std::unique_ptr<NativeModule> NativeModule::load(const std::string&) { return nullptr; }
NativeModule::~NativeModule() { handle_ = nullptr; } // never loaded here
void* NativeModule::procedure(const std::string&) const { return nullptr; }
std::string NativeModule::key() const { return {}; }

} // namespace paloma::host
