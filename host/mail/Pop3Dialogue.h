#pragma once
// The POP3 side of RecvMail: single- and multi-line replies, login, and the
// download of a message with the terminator found across receives.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/mail/MailTransport.h"

namespace paloma::host::mail {

constexpr size_t kPop3LineCapacity = 512;
// A multi-line reply (LIST, UIDL) larger than this fails instead of growing on.
constexpr size_t kPop3MultiLineLimit = 16u << 20;

// Reads until the data ends with CR LF or kPop3LineCapacity bytes arrived;
// a line that does not end within them fails (status 0).
bool readPop3Line(MailTransport& transport, std::string& reply, const MailStatusHandler& status);
// Reads until the reply is a single non-"+OK" line or ends with CR LF "." CR LF.
bool readPop3MultiLine(MailTransport& transport, std::string& reply, const MailStatusHandler& status);

// Sends a command (CR LF added) and reads a single-line reply; true on "+OK".
// `refused` tells a whole reply other than "+OK" (the connection stays in
// step) from a failed exchange.
bool pop3Command(MailTransport& transport, std::string_view command, std::string& reply,
                 const MailStatusHandler& status, bool* refused = nullptr);
// USER/PASS when both are set (after the greeting has been read).
bool pop3Login(MailTransport& transport, std::string_view user, std::string_view password,
               const MailStatusHandler& status);

// The text after "+OK " up to the line end.
std::string pop3StatText(std::string_view reply);
// The numbers or words of the lines of a multi-line LIST/UIDL reply, element
// n-1 for message n; nullopt when a line is malformed.
std::optional<std::vector<std::string>> pop3ListColumn(std::string_view reply);

// Sends `command` and downloads the multi-line answer into `sink` (the bytes
// after the first line, up to and including the CR LF before the "." line,
// with the server's dot doubling undone).
// Status 3 with the written size after each piece; a false answer fails.
// `refused` tells a "-ERR" answer (the connection stays usable) from a
// failure in the middle of the transfer.
bool pop3Download(MailTransport& transport, std::string_view command,
                  const std::function<bool(std::string_view)>& sink, const MailStatusHandler& status,
                  bool* refused = nullptr);

// Turns the bytes after a multi-line reply's first line into the content:
// a leading "." doubled by the server is removed, and the "." line ends it.
// Works across any split of the bytes into pieces.
class Pop3BodyDecoder {
public:
    // Appends the content found in `piece` to `out`; true once the end line
    // has been seen (bytes after it are ignored).
    bool feed(std::string_view piece, std::string& out);
    bool done() const { return done_; }

private:
    enum class State { LineStart, Dot, DotCr, InLine, Cr };
    State state_ = State::LineStart;
    bool done_ = false;
};

} // namespace paloma::host::mail
