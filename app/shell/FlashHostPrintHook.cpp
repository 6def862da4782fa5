// Redirecting the control's print dialog import, and the hook itself.
#include "app/shell/FlashHostPrintHook.h"

#include <cstdint>
#include <cstring>

namespace paloma::shell {

PrintHookState& printHookState() {
    static PrintHookState state;
    return state;
}

bool redirectImport(HMODULE module, const char* dll, const char* function, void* replacement, void** original) {
    if (!module || !dll || !function)
        return false;
    auto* base = reinterpret_cast<uint8_t*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return false;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return false;
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0 || dir.Size == 0)
        return false;
    // A module bound by ordinal or without name thunks is matched by address.
    HMODULE target = GetModuleHandleA(dll);
    void* targetAddress = target ? reinterpret_cast<void*>(GetProcAddress(target, function)) : nullptr;

    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name; ++desc) {
        if (_stricmp(reinterpret_cast<const char*>(base + desc->Name), dll) != 0)
            continue;
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        auto* names = desc->OriginalFirstThunk ? reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk)
                                               : nullptr;
        for (size_t i = 0; addresses[i].u1.Function; ++i) {
            bool match = false;
            if (names && !IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) {
                auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
                match = std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0;
            } else if (targetAddress) {
                match = reinterpret_cast<void*>(addresses[i].u1.Function) == targetAddress;
            }
            if (!match)
                continue;
            void** slot = reinterpret_cast<void**>(&addresses[i].u1.Function);
            DWORD oldProtect = 0;
            if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &oldProtect))
                return false;
            if (original)
                *original = *slot;
            *slot = replacement;
            VirtualProtect(slot, sizeof(void*), oldProtect, &oldProtect);
            FlushInstructionCache(GetCurrentProcess(), slot, sizeof(void*));
            return true;
        }
    }
    return false;
}

bool installPrintHook(HMODULE controlModule) {
    // Loading the same module again finds its import already redirected.
    void* original = nullptr;
    if (!redirectImport(controlModule, "comdlg32.dll", "PrintDlgA", reinterpret_cast<void*>(&printHook), &original))
        return false;
    PrintHookState& state = printHookState();
    if (original != reinterpret_cast<void*>(&printHook))
        state.original = reinterpret_cast<BOOL(WINAPI*)(LPPRINTDLGA)>(original);
    return true;
}

void applyPrintSettings(const PrintSettings& settings, DEVMODEA& mode, PRINTDLGA& dialog) {
    if (settings.orientation) {
        mode.dmOrientation = short(*settings.orientation);
        mode.dmFields |= DM_ORIENTATION;
    }
    if (settings.copies) {
        if (dialog.Flags & PD_USEDEVMODECOPIESANDCOLLATE) {
            mode.dmCopies = short(*settings.copies);
        } else {
            dialog.nCopies = WORD(*settings.copies);
            mode.dmCopies = 1;
        }
        mode.dmFields |= DM_COPIES;
    }
    if (settings.paperSize) {
        mode.dmPaperSize = short(*settings.paperSize);
        mode.dmFields |= DM_PAPERSIZE;
    }
    if (settings.pageWidth) {
        mode.dmPaperWidth = short(*settings.pageWidth);
        mode.dmFields |= DM_PAPERWIDTH;
    }
    if (settings.pageHeight) {
        mode.dmPaperLength = short(*settings.pageHeight);
        mode.dmFields |= DM_PAPERLENGTH;
    }
}

BOOL WINAPI printHook(LPPRINTDLGA dialog) {
    PrintHookState& state = printHookState();
    ++state.calls;
    BOOL(WINAPI * system)(LPPRINTDLGA) = state.original ? state.original : &PrintDlgA;
    if (!dialog)
        return system(dialog);

    std::optional<PrintSettings> settings = state.settings ? state.settings() : std::nullopt;
    bool deferredDC = false;
    if (state.silent) {
        dialog->Flags |= PD_RETURNDEFAULT;
        if (settings && (dialog->Flags & PD_RETURNDC)) {
            dialog->Flags &= ~DWORD(PD_RETURNDC);
            deferredDC = true;
        }
    }
    BOOL ok = system(dialog);
    if (!ok)
        return ok;
    if (dialog->hDevMode && state.silent && settings) {
        if (auto* mode = static_cast<DEVMODEA*>(GlobalLock(dialog->hDevMode))) {
            applyPrintSettings(*settings, *mode, *dialog);
            GlobalUnlock(dialog->hDevMode);
        }
    }
    if (deferredDC) {
        dialog->Flags |= PD_RETURNDC;
        auto* names = dialog->hDevNames ? static_cast<DEVNAMES*>(GlobalLock(dialog->hDevNames)) : nullptr;
        auto* mode = dialog->hDevMode ? static_cast<DEVMODEA*>(GlobalLock(dialog->hDevMode)) : nullptr;
        if (names) {
            const char* text = reinterpret_cast<const char*>(names);
            dialog->hDC = CreateDCA(text + names->wDriverOffset, text + names->wDeviceOffset,
                                    text + names->wOutputOffset, mode);
        }
        if (mode)
            GlobalUnlock(dialog->hDevMode);
        if (names)
            GlobalUnlock(dialog->hDevNames);
    }
    return ok;
}

} // namespace paloma::shell
