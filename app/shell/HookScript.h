#pragma once
// The installer hooks ("/AfterInstall", "/BeforeUninst"): the compiled script
// resource of type QUILL with the hook's name, run in a script engine created
// only for it, with the socket library (version 1.1) and the COM/OLE library
// started around the run. A missing resource or a failing script is ignored.

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace paloma {

// What became of the hook; the run ends either way.
enum class HookOutcome {
    Missing,     // no such resource
    BadBlock,    // the resource is not a readable block
    BadImage,    // the block holds no compiled image the engine accepts
    Ran,         // the script ran to its end
    Failed,      // the script ended with a runtime error
};

HookOutcome runInstallerHook(std::string_view hookName, HMODULE module = nullptr);

// Runs a compiled script image in a fresh engine that lives only for the
// call. `errorText`, when given, receives the engine's message of a failure.
HookOutcome runImageInThrowawayEngine(std::span<const uint8_t> image, std::string* errorText = nullptr);

} // namespace paloma
