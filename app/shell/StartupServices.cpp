// What start-up hands the main window.
#include "app/shell/StartupServices.h"

#include "app/ResourceBlock.h"
#include "app/shell/ModuleResources.h"
#include "app/shell/PrivatePlayer.h"
#include "app/shell/RunFolder.h"
#include "app/shell/ShellMessageBox.h"
#include "base/WinText.h"

namespace paloma {

std::wstring StartupServices::privatePlayerPath() {
    return widen(privatePlayer().path());
}

void StartupServices::keepPlayerModule(HMODULE module) {
    privatePlayer().addModule(module);
}

std::wstring StartupServices::runFolder() {
    return widen(paloma::runFolder());
}

std::optional<std::vector<uint8_t>> StartupServices::readScriptResource(const std::wstring& name,
                                                                        std::wstring& error) {
    error.clear();
    auto block = readPlainResource(name.c_str(), kTypeQuill);
    if (!block)
        return std::nullopt; // a missing script is ignored silently
    std::vector<uint8_t> image;
    std::string message;
    if (!tryReadResourceBlock(*block, image, &message)) {
        error = widen(message);
        return std::nullopt;
    }
    return image;
}

void StartupServices::showMessage(HWND owner, const std::wstring& text) {
    wchar_t title[512] = {};
    if (owner)
        GetWindowTextW(owner, title, 512);
    showMessageBox(owner, text, title, MB_OK | MB_ICONERROR);
}

} // namespace paloma
