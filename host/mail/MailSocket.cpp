#include "host/mail/MailSocket.h"

namespace paloma::host::mail {

namespace {
constexpr int kTimeoutMs = 60000;
}

std::unique_ptr<MailSocket> MailSocket::connect(const std::string& server, uint16_t port) {
    auto connection = net::TcpConnection::connect(server, port, kTimeoutMs);
    if (!connection)
        return nullptr;
    return std::unique_ptr<MailSocket>(new MailSocket(std::move(connection)));
}

std::string MailSocket::lastErrorText() { return net::lastSocketErrorText(); }

} // namespace paloma::host::mail
