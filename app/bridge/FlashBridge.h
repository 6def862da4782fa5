#pragma once
// FlashBridge: how the movie and the scripts call each other.
//
// Movie -> scripts. The shell hands the XML of every ExternalInterface
// request (the control's FlashCall event) to answerFlashCall and gives the
// returned text to the control's SetReturnValue. The engine must exist: when
// a request arrives while there is none (after "Quill_Quit") the shell
// creates one first, as its FSCommand path does.
//
//     std::u16string answer = paloma::bridge::answerFlashCall(engine, requestXml, hooks);
//
// All XML texts are UTF-16 (a BSTR's units; wchar_t on Windows has the same
// width). The shell calls installBridge right after it creates an engine and
// removeBridge before it destroys it.
//
// Built-in request names (compared without regard to case): quill_new,
// quill_delete, quill_call, quill_call2, quill_getprop, quill_setprop,
// quill_run, quill_eval, exec, quill_seh; any other name calls the script
// global function of that name. A malformed request, a missing argument or
// one of the wrong kind answers "<undefined/>".
//
// Scripts -> movie. installBridge(engine, transport) registers the global
// function `_call` and sets the transport through which forwarding functions
// reach the movie: the shell passes a MovieTransport that hands the call XML
// to the control's CallFunction and returns its answer. Forwarding functions
// (registerForwardingFunction; the application object's registerASMethods
// and quill_seh use it) are script globals that call the movie function of
// their name through callMovieFunction.
//
// Host objects cross to the movie as Integer handles of pinned Values: every
// crossing pins anew; the movie releases a handle with quill_delete. A handle
// from the movie is only ever resolved against the engine's live pinned
// records.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "script/Quill.h"

namespace paloma::bridge {

// Sends call XML to the movie and returns its answer text, or nothing when
// the movie gave none.
using MovieTransport = std::function<std::optional<std::u16string>(std::u16string_view callXml)>;

// What the shell supplies for requests that are FSCommands in disguise.
struct BridgeHooks {
    // Dispatches "quill_run", "quill_eval" or "exec" (the request's name as
    // the movie spelled it) with its String argument as the shell's FSCommand
    // handler does. Without this hook "quill_eval" evaluates the text in the
    // engine and the other two do nothing.
    std::function<void(quill::Engine& engine, std::string_view command, std::u16string_view argument)> fsCommand;
};

// ---- movie -> scripts ------------------------------------------------------------

// The answer to one ExternalInterface request: the XML of the result Value,
// "<undefined/>" when there is none. Never throws.
std::u16string answerFlashCall(quill::Engine& engine, std::u16string_view requestXml, const BridgeHooks& hooks = {});

// The parsed form of a request (exposed for tests and the fuzz target).
struct FlashRequest {
    std::string name;                // ANSI
    std::vector<quill::Value> args;  // the value elements of "arguments", in order
};
// False when the text is not an "invoke" element with a "name" attribute.
// The argument Values must be rooted by the caller before the engine runs.
bool parseFlashRequest(quill::Engine& engine, std::u16string_view requestXml, FlashRequest& out);

// ---- scripts -> movie ------------------------------------------------------------

// Registers `_call` in the engine and makes `transport` the way forwarding
// functions of this engine reach the movie (replacing an earlier one).
void installBridge(quill::Engine& engine, MovieTransport transport);
// Forgets the engine's transport (call before the engine is destroyed).
void removeBridge(quill::Engine& engine);
// Whether a transport is registered for the engine at that address (the
// address is only compared, never read).
bool bridgeInstalled(const quill::Engine* engine);

// "<invoke name="F" returntype="xml"><arguments>...</arguments></invoke>".
std::u16string buildCallXml(quill::Engine& engine, std::string_view function, quill::ArgList args);

// Calls movie function `function` with the arguments through the engine's
// transport and reads its answer; Undefined without a transport, without an
// answer or when the answer is not one value element.
quill::Value callMovieFunction(quill::Engine& engine, std::string_view function, quill::ArgList args);

// Defines (or replaces) the script global `name` as a native function that
// calls the movie function of that name. False for an empty name.
bool registerForwardingFunction(quill::Engine& engine, std::string_view name);

} // namespace paloma::bridge
