// The private player: control extraction from the packaged installer.
#include "app/shell/PrivatePlayer.h"

#include "app/NsisInstaller.h"
#include "app/PlayerInstaller.h"
#include "app/ShellErrors.h"
#include "app/TempPaths.h"
#include "app/shell/ModuleResources.h"
#include "app/shell/PackageFiles.h"
#include "app/shell/RunFolder.h"
#include "base/WinText.h"
#include "host/framework/WinHandles.h"

#include <fcntl.h>
#include <fdi.h>

#include <cstdio>
#include <cstring>

namespace paloma {

namespace {

// ---- Files, by wide path ----------------------------------------------------

bool fileExists(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void deleteFileForced(const std::string& path) {
    std::wstring w = widen(path);
    SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(w.c_str());
}

bool writeWholeFile(const std::string& path, const void* data, size_t size) {
    std::wstring w = widen(path);
    SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
    UniqueHandle file(CreateFileW(w.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    auto bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : DWORD(size), written = 0;
        if (!WriteFile(file.get(), bytes, chunk, &written, nullptr) || written != chunk)
            return false;
        bytes += chunk;
        size -= chunk;
    }
    return true;
}

std::optional<std::vector<uint8_t>> readWholeFile(const std::string& path) {
    UniqueHandle file(CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        uint64_t(size.QuadPart) > (uint64_t(1) << 31))
        return std::nullopt;
    std::vector<uint8_t> bytes(size_t(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        DWORD want = DWORD(bytes.size() - done > (1u << 30) ? (1u << 30) : bytes.size() - done);
        if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr) || got == 0)
            return std::nullopt;
        done += got;
    }
    return bytes;
}

// ---- The system's cabinet interface -----------------------------------------

FNALLOC(fdiAlloc) {
    return HeapAlloc(GetProcessHeap(), 0, cb);
}

FNFREE(fdiFree) {
    HeapFree(GetProcessHeap(), 0, pv);
}

FNOPEN(fdiOpen) {
    (void)pmode;
    DWORD access = GENERIC_READ, disposition = OPEN_EXISTING;
    if (oflag & (_O_WRONLY | _O_RDWR))
        access = (oflag & _O_RDWR) ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
    if (oflag & _O_CREAT)
        disposition = (oflag & _O_EXCL) ? CREATE_NEW : (oflag & _O_TRUNC) ? CREATE_ALWAYS : OPEN_ALWAYS;
    HANDLE h = CreateFileW(widen(pszFile).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : INT_PTR(h);
}

FNREAD(fdiRead) {
    DWORD got = 0;
    return ReadFile(HANDLE(hf), pv, cb, &got, nullptr) ? got : UINT(-1);
}

FNWRITE(fdiWrite) {
    DWORD written = 0;
    return WriteFile(HANDLE(hf), pv, cb, &written, nullptr) ? written : UINT(-1);
}

FNCLOSE(fdiClose) {
    return CloseHandle(HANDLE(hf)) ? 0 : -1;
}

FNSEEK(fdiSeek) {
    DWORD method = seektype == SEEK_CUR ? FILE_CURRENT : seektype == SEEK_END ? FILE_END : FILE_BEGIN;
    return __LONG32(SetFilePointer(HANDLE(hf), dist, nullptr, method));
}

struct CabinetCopy {
    std::string controlPath;
    int copied = 0;
};

bool endsWithOcx(const char* name) {
    size_t n = std::strlen(name);
    return n >= 4 && _stricmp(name + n - 4, ".ocx") == 0;
}

FNFDINOTIFY(fdiNotify) {
    auto* copy = static_cast<CabinetCopy*>(pfdin->pv);
    switch (fdint) {
    case fdintCOPY_FILE: {
        if (!endsWithOcx(pfdin->psz1))
            return 0; // skip
        std::wstring path = widen(copy->controlPath);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL); // a read-only earlier copy is replaced too
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        return h == INVALID_HANDLE_VALUE ? -1 : INT_PTR(h);
    }
    case fdintCLOSE_FILE_INFO: {
        HANDLE h = HANDLE(pfdin->hf);
        FILETIME local, utc;
        if (DosDateTimeToFileTime(pfdin->date, pfdin->time, &local) && LocalFileTimeToFileTime(&local, &utc))
            SetFileTime(h, &utc, nullptr, &utc);
        CloseHandle(h);
        DWORD keep = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
        DWORD attributes = pfdin->attribs & keep;
        SetFileAttributesW(widen(copy->controlPath).c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
        ++copy->copied;
        return TRUE;
    }
    default:
        return 0;
    }
}

// ---- Running the installer --------------------------------------------------

bool runInstallerSilently(const std::string& installerPath) {
    std::wstring commandLine = L"\"" + widen(installerPath) + L"\" /Q /S";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    WaitForSingleObject(processHandle.get(), INFINITE);
    return true;
}

} // namespace

bool copyControlFromCabinet(const std::string& cabinetPath, const std::string& controlPath) {
    ERF error = {};
    HFDI fdi = FDICreate(fdiAlloc, fdiFree, fdiOpen, fdiRead, fdiWrite, fdiClose, fdiSeek, cpuUNKNOWN, &error);
    if (!fdi)
        return false;
    // The interface takes the cabinet's name and its folder (with "\") apart.
    size_t cut = cabinetPath.find_last_of("\\/");
    std::string folder = cut == std::string::npos ? std::string() : cabinetPath.substr(0, cut + 1);
    std::string name = cut == std::string::npos ? cabinetPath : cabinetPath.substr(cut + 1);
    CabinetCopy copy{controlPath};
    BOOL ok = FDICopy(fdi, name.data(), folder.data(), 0, fdiNotify, nullptr, &copy);
    FDIDestroy(fdi);
    return ok && copy.copied > 0;
}

ControlSource takeControlFromInstaller(const std::string& installerPath, const std::string& controlPath) {
    UniqueModule installer(LoadLibraryExW(widen(installerPath).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HRSRC cabinet = installer ? FindResourceW(installer.get(), L"CABINET", MAKEINTRESOURCEW(10) /* RT_RCDATA */)
                              : nullptr;
    if (cabinet) {
        bool ok = false;
        DWORD size = SizeofResource(installer.get(), cabinet);
        HGLOBAL loaded = LoadResource(installer.get(), cabinet);
        const void* bytes = loaded ? LockResource(loaded) : nullptr;
        if (auto cabinetPath = temporaryFileName(kTempSuffixCab)) {
            if (bytes && size > 0 && writeWholeFile(*cabinetPath, bytes, size))
                ok = copyControlFromCabinet(*cabinetPath, controlPath);
            deleteFileForced(*cabinetPath);
        }
        installer.reset();
        if (ok)
            return ControlSource::Cabinet;
        if (fileExists(controlPath))
            deleteFileForced(controlPath);
        return ControlSource::None;
    }
    installer.reset();

    if (auto file = readWholeFile(installerPath)) {
        if (auto control = extractFirstOcxFromNsis(*file)) {
            if (writeWholeFile(controlPath, control->data(), control->size()))
                return ControlSource::Nsis;
        }
    }

    if (fileExists(controlPath))
        deleteFileForced(controlPath);
    return runInstallerSilently(installerPath) ? ControlSource::InstallerRun : ControlSource::None;
}

void PrivatePlayer::prepare() {
    // 1. The installer record, read silently; without one there is nothing to do.
    std::vector<uint8_t> data;
    try {
        if (!readBlockResourceSilently(L"FP", kTypePaloma, data))
            return;
    } catch (const CKelBaseException&) {
        return;
    }
    auto record = readPlayerInstallerRecord(data);
    if (!record)
        return;
    record_ = data;

    // 2. The future control file.
    auto control = temporaryFileName(kTempSuffixTmp);
    if (!control)
        return;

    // 3. The installer, from the package.
    std::wstring installer = resolvePackagePath(ansiToUtf16(record->fileName));
    if (installer.empty())
        return;

    // 4.-7.
    source_ = takeControlFromInstaller(narrow(installer), *control);
    if (source_ == ControlSource::Cabinet || source_ == ControlSource::Nsis) {
        path_ = *control;
        extracted_ = true;
    }
}

const std::string& PrivatePlayer::path() {
    if (!prepared_) {
        prepared_ = true;
        prepare();
    }
    return path_;
}

void PrivatePlayer::release() {
    for (HMODULE module : modules_)
        FreeLibrary(module);
    modules_.clear();
    if (extracted_ && !path_.empty())
        deleteFileForced(path_);
    extracted_ = false;
}

PrivatePlayer& privatePlayer() {
    static PrivatePlayer player;
    return player;
}

} // namespace paloma
