// The registration order of every class of an engine.
#include "host/ClassOrder.h"

#include "host/app/HostFunctions.h"
#include "host/crypto/EncryptionClass.h"
#include "host/files/FilesClasses.h"
#include "host/files/StringStreamClass.h"
#include "host/mail/MailClasses.h"
#include "host/system/IniClass.h"
#include "host/system/SystemClasses.h"
#include "host/native/DllClass.h"
#include "host/native/StructClass.h"
#ifdef _WIN32
#include "host/app/Application.h"
#include "host/flash/FlashClasses.h"
#include "host/window/Window.h"
#endif

namespace paloma::host {

namespace {

template <quill::BuiltinGroup Group>
void builtin(quill::Engine& engine) {
    quill::registerBuiltinGroup(engine, Group);
}

using G = quill::BuiltinGroup;

#ifdef _WIN32
#define PALOMA_WIN_ONLY(f) f
#else
#define PALOMA_WIN_ONLY(f) nullptr
#endif

// ORDER CLASSES. This file is portable: the register function of a class
// that exists only in the Windows build is filled in under #ifdef _WIN32
// (its entry stays null elsewhere).
constexpr ClassEntry kClassOrder[] = {
    {"NaN, Infinity", builtin<G::GlobalValues>},
    {"parseInt, parseFloat, escape, unescape, isNaN, isFinite, trace", builtin<G::GlobalFunctions>},
    {"Date", builtin<G::Date>},
    {"Folder, File", registerFolderClass},
#ifdef _WIN32
    {"Drive", registerDriveClass},
#else
    {"Drive", nullptr},
#endif
    {"Stream, FileStream", registerFileStreamClass},
    {"StringStream", registerStringStreamClass},
    {"Math", builtin<G::Math>},
    {"RegExp", builtin<G::RegExp>},
    {"Array", builtin<G::Array>},
    {"Boolean", builtin<G::Boolean>},
    {"Function", builtin<G::Function>},
    {"Number", builtin<G::Number>},
    {"String", builtin<G::String>},
    {"Object", builtin<G::Object>},
    {"ActiveXObject", nullptr},
    {"Enumerator", nullptr},
#ifdef _WIN32
    {"RegKey", registerRegKeyClass},
#else
    {"RegKey", nullptr},
#endif
#ifdef _WIN32
    {"RegValue", registerRegValueClass},
#else
    {"RegValue", nullptr},
#endif
    {"Ini", registerIniClass},
    {"Dialogs", nullptr},
    {"FontObject", nullptr},
#ifdef _WIN32
    {"Shell", registerShellClass},
#else
    {"Shell", nullptr},
#endif
#ifdef _WIN32
    {"Shortcut", registerShortcutClass},
#else
    {"Shortcut", nullptr},
#endif
#ifdef _WIN32
    {"URLShortcut", registerURLShortcutClass},
#else
    {"URLShortcut", nullptr},
#endif
    {"MCI", nullptr},
    {"createControl, ActiveXControl", nullptr},
    {"FlashPlayer", PALOMA_WIN_ONLY(registerFlashPlayerClass)},
    {"MovieClip", PALOMA_WIN_ONLY(registerMovieClipClass)},
    // The global host functions; the URI functions are bound with them.
    {"encodeURI, encodeURIComponent, decodeURI, decodeURIComponent", builtin<G::UriFunctions>},
    {"getMainWnd, getAppDir, getExeName, getMovies, getAdditionalFile, readProfile, writeProfile, processMsg, "
     "invoke, _call",
     registerHostFunctions},
    {"Window", PALOMA_WIN_ONLY(registerWindowClass)},
    {"Mail", registerMailClass},
    {"SendMail", registerSendMailClass},
    {"RecvMail", registerRecvMailClass},
    {"Inet", nullptr},
    {"IPConfig", nullptr},
#ifdef _WIN32
    {"SysInfo", registerSysInfoClass},
#else
    {"SysInfo", nullptr},
#endif
    {"Socket", nullptr},
    {"Menu", PALOMA_WIN_ONLY(registerMenuClass)},
    {"Application, _Preferences_", PALOMA_WIN_ONLY(registerApplicationClass)},
    {"Image", nullptr},
    {"DirectX", nullptr},
    {"DllParam, Dll", registerDllClasses},
    {"Sound", nullptr},
    {"Encryption", registerEncryptionClass},
    {"DiskInfo", nullptr},
    {"DataFile", nullptr},
    {"Form", PALOMA_WIN_ONLY(registerFormClass)},
    {"Struct, StructArray", registerStructClasses},
    {"ScriptHost", nullptr},
};

} // namespace

std::span<const ClassEntry> classOrder() { return kClassOrder; }

void registerAllClasses(quill::Engine& engine) {
    for (const ClassEntry& entry : kClassOrder)
        if (entry.registerClasses)
            entry.registerClasses(engine);
}

quill::EngineOptions hostEngineOptions(quill::EngineOptions options) {
    options.registerClasses = registerAllClasses;
    return options;
}

} // namespace paloma::host
