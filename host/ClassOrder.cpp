// The registration order of every class of an engine.
#include "host/ClassOrder.h"

#ifdef _WIN32
#include "host/app/Application.h"
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
    {"Folder, File", nullptr},
    {"Drive", nullptr},
    {"Stream, FileStream", nullptr},
    {"StringStream", nullptr},
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
    {"RegKey", nullptr},
    {"RegValue", nullptr},
    {"Ini", nullptr},
    {"Dialogs", nullptr},
    {"FontObject", nullptr},
    {"Shell", nullptr},
    {"Shortcut", nullptr},
    {"URLShortcut", nullptr},
    {"MCI", nullptr},
    {"createControl, ActiveXControl", nullptr},
    {"FlashPlayer", nullptr},
    {"MovieClip", nullptr},
    // The global host functions; the URI functions are bound with them.
    {"encodeURI, encodeURIComponent, decodeURI, decodeURIComponent", builtin<G::UriFunctions>},
    {"getMainWnd, getAppDir, getExeName, getMovies, getAdditionalFile, readProfile, writeProfile, processMsg, "
     "invoke, _call",
     PALOMA_WIN_ONLY(registerHostFunctions)},
    {"Window", PALOMA_WIN_ONLY(registerWindowClass)},
    {"Mail", nullptr},
    {"SendMail", nullptr},
    {"RecvMail", nullptr},
    {"Inet", nullptr},
    {"IPConfig", nullptr},
    {"SysInfo", nullptr},
    {"Socket", nullptr},
    {"Menu", PALOMA_WIN_ONLY(registerMenuClass)},
    {"Application, _Preferences_", PALOMA_WIN_ONLY(registerApplicationClass)},
    {"Image", nullptr},
    {"DirectX", nullptr},
    {"DllParam, Dll", nullptr},
    {"Sound", nullptr},
    {"Encryption", nullptr},
    {"DiskInfo", nullptr},
    {"DataFile", nullptr},
    {"Form", nullptr},
    {"Struct", nullptr},
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
