// The installer hooks.
#include "app/shell/HookScript.h"

#include "app/ShellErrors.h"
#include "app/shell/ModuleResources.h"
#include "app/shell/WinText.h"
#include "host/framework/WinHandles.h"

#include <vector>

namespace paloma {

HookOutcome runImageInThrowawayEngine(std::span<const uint8_t> image) {
    (void)image;
    // The engine is linked in by a later step of the build-up; until then a
    // hook is read and checked but not run.
    return HookOutcome::NoEngine;
}

HookOutcome runInstallerHook(std::string_view hookName, HMODULE module) {
    std::wstring name = widen(hookName);
    std::vector<uint8_t> image;
    try {
        if (!readBlockResourceSilently(name.c_str(), kTypeQuill, image, module))
            return HookOutcome::BadBlock;
    } catch (const CKelBaseException&) {
        return HookOutcome::Missing;
    }
    ScopedWinsock sockets(MAKEWORD(1, 1));
    ScopedOleInit ole;
    return runImageInThrowawayEngine(image);
}

} // namespace paloma
