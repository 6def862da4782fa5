#pragma once
// The byte pipe the SMTP and POP3 dialogues talk over, and the status handler
// they report to. A socket implements the pipe in MailSocket; tests use any
// connected pipe.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace paloma::host::mail {

class MailTransport {
public:
    virtual ~MailTransport() = default;
    // Sends every byte; false on a failure.
    virtual bool send(std::string_view bytes) = 0;
    // Receives up to `capacity` bytes; the count, 0 when the peer closed,
    // negative on a failure.
    virtual long receive(char* buffer, size_t capacity) = 0;
    // The system's text for the last failure.
    virtual std::string errorText() = 0;
};

// Status codes of the handler: 0 error text, 1 text received from the server,
// 2 text sent to the server, 3 progress count. The answer matters only for
// status 3: false stops the transfer.
enum MailStatus { StatusError = 0, StatusReceived = 1, StatusSent = 2, StatusProgress = 3 };
using MailStatusHandler = std::function<bool(int status, std::string_view text)>;

inline bool reportStatus(const MailStatusHandler& handler, int status, std::string_view text) {
    return handler ? handler(status, text) : true;
}

} // namespace paloma::host::mail
