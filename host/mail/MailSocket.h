#pragma once
// A blocking TCP connection for the mail dialogues (the shared
// net::TcpConnection with send and receive time-outs of 60 seconds).
// MailSocketPosix.cpp and MailSocketWin.cpp hold the platform parts.

#include <cstdint>
#include <memory>
#include <string>

#include "host/mail/MailTransport.h"
#include "host/mail/MimeMessage.h"
#include "host/net/TcpConnection.h"

namespace paloma::host::mail {

// The process id and the tick count, for message boundaries.
BoundarySeed mailBoundarySeed();
// The charset of the ANSI code page, for composed texts and subjects.
const char* mailCharset();

class MailSocket : public MailTransport {
public:
    // Null when the connection cannot be made.
    static std::unique_ptr<MailSocket> connect(const std::string& server, uint16_t port);
    // The host's own name, or the dotted address "localhost" resolves to.
    static std::string localName();
    // The system's text for the last socket error.
    static std::string lastErrorText();

    ~MailSocket() override = default;
    MailSocket(const MailSocket&) = delete;
    MailSocket& operator=(const MailSocket&) = delete;

    bool send(std::string_view bytes) override { return connection_->sendAll(bytes); }
    long receive(char* buffer, size_t capacity) override { return connection_->receive(buffer, capacity); }
    std::string errorText() override { return lastErrorText(); }

private:
    explicit MailSocket(std::unique_ptr<net::TcpConnection> connection) : connection_(std::move(connection)) {}
    std::unique_ptr<net::TcpConnection> connection_;
};

} // namespace paloma::host::mail
