#include <ctime>
#include <unistd.h>

#include "host/mail/MailSocket.h"

namespace paloma::host::mail {

BoundarySeed mailBoundarySeed() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return {static_cast<uint32_t>(getpid()), static_cast<uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000)};
}

const char* mailCharset() { return charsetForCodePage(1252); }

std::string MailSocket::localName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0 && name[0])
        return name;
    return "127.0.0.1";
}

} // namespace paloma::host::mail
