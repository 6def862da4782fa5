// Drive: a logical drive of the system (Windows only).
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "host/files/FilesClasses.h"
#include "host/framework/Arguments.h"
#include "host/framework/HostClass.h"
#include "host/framework/NativeHandle.h"

namespace paloma::host {

namespace {

using quill::ArgList;
using quill::Engine;
using quill::NativeClass;
using quill::Value;

struct DriveRoot {
    std::string root; // "C:\"
};

bool letterPresent(char letter) {
    return letter >= 'A' && letter <= 'Z' && (GetLogicalDrives() >> (letter - 'A') & 1) != 0;
}

std::unique_ptr<DriveRoot> driveFor(char letter) {
    if (letter >= 'a' && letter <= 'z')
        letter = char(letter - 'a' + 'A');
    if (!letterPresent(letter))
        return nullptr;
    return std::make_unique<DriveRoot>(DriveRoot{std::string{letter, ':', '\\'}});
}

void construct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    result = nullResult();
    auto text = stringArg(args, 1);
    if (!text || text->size() < 2 || (*text)[1] != ':')
        return;
    if (auto drive = driveFor((*text)[0]))
        bindHandle(engine, cls, std::move(drive), result);
}

void call(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) { construct(engine, cls, args, result); }

struct Space {
    ULARGE_INTEGER available, total, free;
};

// The extended query, loaded by name; the classic one where it is missing.
bool querySpace(const std::string& root, Space& space) {
    using Query = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    if (query)
        return query(root.c_str(), &space.available, &space.total, &space.free) != 0;
    DWORD sectors, bytes, freeClusters, clusters;
    if (!GetDiskFreeSpaceA(root.c_str(), &sectors, &bytes, &freeClusters, &clusters))
        return false;
    uint64_t cluster = uint64_t(sectors) * bytes;
    space.total.QuadPart = clusters * cluster;
    space.free.QuadPart = space.available.QuadPart = freeClusters * cluster;
    return true;
}

template <int Which>
void space(DriveRoot& d, MemberCall& c) {
    if (c.put)
        return;
    Space s;
    if (!querySpace(d.root, s)) {
        c.value = Value::nan();
        return;
    }
    const ULARGE_INTEGER& v = Which == 0 ? s.available : Which == 1 ? s.free : s.total;
    c.value = integerResult(int64_t(v.QuadPart));
}

void driveLetter(DriveRoot& d, MemberCall& c) {
    if (!c.put)
        c.value = ansiTextResult(c.engine, d.root.substr(0, 1));
}

void driveType(DriveRoot& d, MemberCall& c) {
    if (c.put)
        return;
    const char* name;
    switch (GetDriveTypeA(d.root.c_str())) {
    case DRIVE_NO_ROOT_DIR: name = "no root dir"; break;
    case DRIVE_REMOVABLE: name = "removable"; break;
    case DRIVE_FIXED: name = "fixed"; break;
    case DRIVE_REMOTE: name = "network"; break;
    case DRIVE_CDROM: name = "cdrom"; break;
    case DRIVE_RAMDISK: name = "ram disk"; break;
    default: name = "unknown"; break;
    }
    c.value = ansiTextResult(c.engine, name);
}

struct VolumeInfo {
    char name[MAX_PATH + 1] = {};
    char fileSystem[MAX_PATH + 1] = {};
    DWORD serial = 0;
    bool ok = false;
};

VolumeInfo volumeInfo(const std::string& root) {
    VolumeInfo v;
    DWORD maxComponent, flags;
    v.ok = GetVolumeInformationA(root.c_str(), v.name, sizeof v.name, &v.serial, &maxComponent, &flags, v.fileSystem,
                                 sizeof v.fileSystem) != 0;
    return v;
}

void fileSystem(DriveRoot& d, MemberCall& c) {
    if (c.put)
        return;
    VolumeInfo v = volumeInfo(d.root);
    c.value = v.ok ? ansiTextResult(c.engine, v.fileSystem) : booleanResult(false);
}

void isReady(DriveRoot& d, MemberCall& c) {
    if (c.put)
        return;
    HANDLE h = CreateFileA(d.root.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    bool notReady = h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_NOT_READY;
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    c.value = booleanResult(!notReady);
}

void rootPath(DriveRoot& d, MemberCall& c) {
    if (!c.put)
        c.value = ansiTextResult(c.engine, d.root);
}

void serialNumber(DriveRoot& d, MemberCall& c) {
    if (c.put)
        return;
    VolumeInfo v = volumeInfo(d.root);
    char text[16] = "";
    if (v.ok)
        std::snprintf(text, sizeof text, "%u", unsigned(v.serial));
    c.value = ansiTextResult(c.engine, text);
}

void volumeName(DriveRoot& d, MemberCall& c) {
    if (!c.put) {
        VolumeInfo v = volumeInfo(d.root);
        c.value = ansiTextResult(c.engine, v.ok ? v.name : "");
        return;
    }
    std::string label = quill::valueToText(c.engine, c.value);
    SetVolumeLabelA(d.root.c_str(), label.c_str());
}

void drives(DriveRoot&, MemberCall& c) {
    if (c.put)
        return;
    c.value = arrayResult(c.engine);
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        auto drive = driveFor(letter);
        if (!drive)
            continue;
        Value object = nullResult();
        bindHandle(c.engine, c.cls, std::move(drive), object);
        appendElement(c.engine, c.value, object);
    }
}

constexpr Member kMembers[] = {
    property<space<0>>("availableSpace"),
    property<space<1>>("freeSpace"),
    property<space<2>>("totalSize"),
    property<driveLetter>("driveLetter"),
    property<driveType>("driveType"),
    property<fileSystem>("fileSystem"),
    property<isReady>("isReady"),
    property<rootPath>("path"),
    property<rootPath>("rootFolder"),
    property<serialNumber>("serialNumber"),
    property<volumeName>("volumeName"),
    property<drives>("drives"),
    // The class's own text has a capital O.
    Member::method("toString",
                   [](MemberCall& c) {
                       c.result = staticTextResult(c.engine, u"[Object Drive]");
                       return 1;
                   }),
};

} // namespace

void registerDriveClass(Engine& engine) {
    registerHostClass(engine, {.className = "Drive",
                               .members = kMembers,
                               .call = call,
                               .construct = construct,
                               .destroyData = destroyHandle<DriveRoot>});
}

} // namespace paloma::host
