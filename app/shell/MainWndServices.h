#pragma once
// What the main window needs from the rest of the runtime, as two small
// interfaces: the services of start-up and the package (player module, run
// folder, script resources, message boxes, program start) and the shell's
// script engine (running compiled images, source and files, menu commands and
// the ExternalInterface bridge). The services' own implementations are those
// of the runtime (the private player, the run folder, the program's QUILL
// resources, the shell's message boxes); tests replace them.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace paloma::shell {

class ShellServices {
public:
    virtual ~ShellServices() = default;

    // The private player module's path, prepared on the first request; empty
    // when the package carries no player.
    virtual std::wstring privatePlayerPath();
    // Keeps a player module loaded from a file so that exit can unload it.
    virtual void keepPlayerModule(HMODULE module);
    // The run folder, with a trailing backslash.
    virtual std::wstring runFolder();
    // The compiled script resource `name` of type QUILL, read as a resource
    // block. Empty with an empty `error` when there is no such resource; empty
    // with the block reader's message when the block is bad.
    virtual std::optional<std::vector<uint8_t>> readScriptResource(const std::wstring& name, std::wstring& error);
    // A message box owned by `owner`.
    virtual void showMessage(HWND owner, const std::wstring& text);
    // Starts a command line with the window shown normally.
    virtual void startProgram(const std::wstring& commandLine);
};

class ShellScripts {
public:
    virtual ~ShellScripts() = default;

    // Only a boolean false result matters to the shell (the start-up script
    // ending the run); every other outcome, errors included, is Other.
    enum class Result { Other, False };

    virtual bool hasEngine() const = 0;
    // "Quill_Quit": destroys the engine, if any; while a script is running on
    // it, once the outermost call into it has returned.
    virtual void destroyEngine() = 0;
    // Runs a compiled image, creating the engine first if needed. `state` is
    // the engine's per-image state, kept by the caller between runs of the
    // same image.
    virtual Result runImage(std::span<const uint8_t> image, std::shared_ptr<void>& state) = 0;
    virtual Result evalSource(const std::wstring& source) = 0;
    // A ".qsc" file is a compiled image, any other file script source.
    virtual Result runFile(const std::wstring& path, bool compiled) = 0;
    // A menu command for the script menus (IDs 47000 to 56999).
    virtual void menuCommand(unsigned id) = 0;
    // The ExternalInterface bridge: the XML answer, or nothing.
    virtual std::optional<std::wstring> flashCall(const std::wstring& request) = 0;
    // Releases the host's process-wide script state when the window closes.
    virtual void releaseGlobalState() {}
};

} // namespace paloma::shell
