#pragma once
// Connects the shell's script engine and the movie through the bridge:
// ExternalInterface requests of the control answered by the engine, and
// forwarding functions of scripts calling the movie's CallFunction.

namespace paloma::shell {

class QuillShellScripts;

void connectBridge(QuillShellScripts& scripts);

} // namespace paloma::shell
