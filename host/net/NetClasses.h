#pragma once
// Socket, Inet, IPConfig and Inet.Ftp: the network classes (Windows only).

#include "script/Quill.h"

namespace paloma::host {

void registerInetClasses(quill::Engine& engine); // Inet and Inet.Ftp (_InetFtp_)
void registerIPConfigClass(quill::Engine& engine);
void registerSocketClass(quill::Engine& engine);

} // namespace paloma::host
