#pragma once
// Mail, SendMail and RecvMail: the script classes over the mail cores.

namespace quill {
class Engine;
}

namespace paloma::host {

void registerMailClass(quill::Engine& engine);
void registerSendMailClass(quill::Engine& engine);
void registerRecvMailClass(quill::Engine& engine);

} // namespace paloma::host
