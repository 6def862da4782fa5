// The registration order of every class of an engine.
#include "host/ClassOrder.h"

#include "host/app/HostFunctions.h"
#include "host/com/ActiveXControl.h"
#include "host/com/ActiveXObject.h"
#include "host/com/ScriptHost.h"
#include "host/crypto/EncryptionClass.h"
#include "host/files/FilesClasses.h"
#include "host/files/StringStreamClass.h"
#include "host/mail/MailClasses.h"
#include "host/net/NetClasses.h"
#include "host/system/IniClass.h"
#include "host/system/SystemClasses.h"
#include "host/native/DllClass.h"
#include "host/native/StructClass.h"
#ifdef _WIN32
#include "host/app/Application.h"
#include "host/dialogs/DialogsClasses.h"
#include "host/flash/FlashClasses.h"
#include "host/media/MediaClasses.h"
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
    {"ActiveXObject", PALOMA_WIN_ONLY(registerActiveXObjectClass)},
    {"Enumerator", PALOMA_WIN_ONLY(registerEnumeratorClass)},
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
    {"Dialogs", PALOMA_WIN_ONLY(registerDialogsClass)},
    {"FontObject", PALOMA_WIN_ONLY(registerFontObjectClass)},
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
    {"MCI", PALOMA_WIN_ONLY(registerMCIClass)},
    {"createControl, ActiveXControl", PALOMA_WIN_ONLY(registerActiveXControlClasses)},
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
    {"Inet, _InetFtp_", PALOMA_WIN_ONLY(registerInetClasses)},
    {"IPConfig", PALOMA_WIN_ONLY(registerIPConfigClass)},
#ifdef _WIN32
    {"SysInfo", registerSysInfoClass},
#else
    {"SysInfo", nullptr},
#endif
    {"Socket", PALOMA_WIN_ONLY(registerSocketClass)},
    {"Menu", PALOMA_WIN_ONLY(registerMenuClass)},
    {"Application, _Preferences_", PALOMA_WIN_ONLY(registerApplicationClass)},
    {"Image", nullptr},
    {"DirectX", nullptr},
    {"DllParam, Dll", registerDllClasses},
    {"Sound", PALOMA_WIN_ONLY(registerSoundClass)},
    {"Encryption", registerEncryptionClass},
    {"DiskInfo", nullptr},
    {"DataFile", nullptr},
    {"Form", PALOMA_WIN_ONLY(registerFormClass)},
    {"Struct, StructArray", registerStructClasses},
    {"ScriptHost", PALOMA_WIN_ONLY(registerScriptHostClass)},
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
