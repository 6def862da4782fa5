#pragma once
// Mail, SendMail and RecvMail: the script classes over the mail cores.

#include "script/Quill.h"

namespace paloma::host {

void registerMailClass(quill::Engine& engine);
void registerSendMailClass(quill::Engine& engine);
void registerRecvMailClass(quill::Engine& engine);

} // namespace paloma::host
