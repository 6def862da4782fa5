// Resources of the program's own file.
#include "app/shell/ModuleResources.h"

#include "app/ResourceBlock.h"
#include "app/shell/ShellContext.h"
#include "app/shell/ShellMessageBox.h"
#include "base/WinText.h"

#include <cstring>

namespace paloma {

std::vector<uint8_t> loadResourceBytes(const wchar_t* name, const wchar_t* type, HMODULE module) {
    if (!module)
        module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, name, type);
    DWORD size = found ? SizeofResource(module, found) : 0;
    HGLOBAL loaded = size ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        throw CKelBaseException();
    auto first = static_cast<const uint8_t*>(bytes);
    return std::vector<uint8_t>(first, first + size);
}

std::optional<std::vector<uint8_t>> readPlainResource(const wchar_t* name, const wchar_t* type, HMODULE module) {
    try {
        return loadResourceBytes(name, type, module);
    } catch (const CKelBaseException&) {
        return std::nullopt;
    }
}

void reportToMainWindow(const char* message) {
    HWND owner = shellMainWindow();
    if (!owner)
        return;
    wchar_t title[512] = {};
    GetWindowTextW(owner, title, 512);
    showMessageBox(owner, widen(message), title, MB_OK | MB_ICONERROR);
}

bool readBlockResource(const wchar_t* name, const wchar_t* type, std::vector<uint8_t>& out, HMODULE module) {
    std::vector<uint8_t> block = loadResourceBytes(name, type, module);
    try {
        out = readResourceBlock(block);
        return true;
    } catch (const CZipException& e) {
        out.clear();
        reportToMainWindow(e.what());
        return false;
    }
}

bool readBlockResourceSilently(const wchar_t* name, const wchar_t* type, std::vector<uint8_t>& out,
                               HMODULE module) {
    std::vector<uint8_t> block = loadResourceBytes(name, type, module);
    return tryReadResourceBlock(block, out);
}

} // namespace paloma
