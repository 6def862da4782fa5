// The installer hooks.
#include "app/shell/HookScript.h"

#include "app/ShellErrors.h"
#include "app/shell/ModuleResources.h"
#include "base/WinText.h"
#include "host/ClassOrder.h"
#include "host/framework/WinHandles.h"
#include "script/Quill.h"

#include <memory>

#include <vector>

namespace paloma {

HookOutcome runImageInThrowawayEngine(std::span<const uint8_t> image, std::string* errorText) {
    std::string error;
    auto sections = quill::loadImage(image, &error);
    if (!sections || !quill::checkImage(*sections, &error)) {
        if (errorText)
            *errorText = error;
        return HookOutcome::BadImage;
    }
    // A fresh engine like the player's: every built-in and host class.
    std::unique_ptr<quill::Engine> engine = quill::createEngine(host::hostEngineOptions());
    if (!engine)
        return HookOutcome::Failed;
    if (quill::runImage(*engine, *sections))
        return HookOutcome::Ran;
    if (errorText)
        *errorText = engine->errorText;
    return HookOutcome::Failed;
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
