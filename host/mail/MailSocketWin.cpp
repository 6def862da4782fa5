#include <winsock2.h>

#include "host/mail/MailSocket.h"

namespace paloma::host::mail {

BoundarySeed mailBoundarySeed() { return {GetCurrentProcessId(), GetTickCount()}; }

const char* mailCharset() { return charsetForCodePage(GetACP()); }

std::string MailSocket::localName() {
    char name[256] = {};
    if (net::socketsReady() && gethostname(name, sizeof name - 1) == 0 && name[0])
        return name;
    return "127.0.0.1";
}

} // namespace paloma::host::mail
