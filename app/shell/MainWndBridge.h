#pragma once
// Connects the shell's script engine and the movie through the bridge:
// ExternalInterface requests of the control answered by the engine, and
// forwarding functions of scripts calling the movie's CallFunction.

#include <functional>

namespace quill {
struct Engine;
}

namespace paloma::shell {

class QuillShellScripts;

// Installs the bridge into every engine the shell creates (then runs
// `onCreated`, when given) and answers the control's requests with it.
void connectBridge(QuillShellScripts& scripts, std::function<void(quill::Engine&)> onCreated = {});

} // namespace paloma::shell
