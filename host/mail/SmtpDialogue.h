#pragma once
// The SMTP side of SendMail: reading replies, the command/expectation step,
// authentication (CRAM-MD5, LOGIN, PLAIN) and the whole sending dialogue.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/mail/MailTransport.h"

namespace paloma::host::mail {

constexpr size_t kSmtpReplyCapacity = 1024;
// Message lines are sent in batches of about this many bytes.
constexpr size_t kSmtpSendBatch = 64u << 10;
// A reply longer than the buffer is read on (and dropped) up to its final
// line; one that goes on past this many more bytes fails.
constexpr size_t kSmtpReplyDrainLimit = 256u << 10;

// True when `reply` holds a whole reply: it ends with CR LF and its last line
// has a space in its fourth position.
bool smtpReplyComplete(std::string_view reply);
// The leading three-digit number of a reply, or -1.
int smtpReplyCode(std::string_view reply);
// A reply ending with CR LF whose number n satisfies expected <= n < expected + 100.
bool smtpReplyIs(std::string_view reply, int expected);

// Reads one reply (multi-line replies collected) into `reply`, at most
// kSmtpReplyCapacity bytes plus the final line of a longer reply. Status 1
// with the reply; a closed or failed connection, or a reply that does not end
// within kSmtpReplyDrainLimit, reports status 0 and fails.
bool readSmtpReply(MailTransport& transport, std::string& reply, const MailStatusHandler& status);

enum AuthMechanism : unsigned { AuthLogin = 1, AuthPlain = 2, AuthCramMd5 = 4 };
// The mechanisms an EHLO reply offers (AUTH lines, words compared without case).
unsigned parseAuthMechanisms(std::string_view ehloReply);

// The addresses of a recipient list: split at ',' and ';', each piece the text
// after its first '<' (or the whole piece) up to the first '>'. Pieces are
// trimmed of spaces; empty ones are dropped.
std::vector<std::string> splitRecipients(std::string_view list);

// HMAC-MD5 (RFC 2104) as 32 lower-case hexadecimal digits.
std::string hmacMd5Hex(std::string_view key, std::string_view message);

// True when a message line starts with "BCC:" in any case.
bool isBccLine(std::string_view line);

struct SmtpEnvelope {
    std::string localName;  // for EHLO/HELO
    std::string user, password;
    std::string from, to, cc, bcc;
};

// Runs the dialogue on a connected transport: greeting, EHLO (HELO fallback),
// authentication, MAIL FROM, RCPT TO per recipient, DATA, the message line by
// line (BCC: lines left out), ".", QUIT. True when the final "." was accepted.
bool runSmtpSend(MailTransport& transport, const SmtpEnvelope& envelope, std::string_view message,
                 const MailStatusHandler& status);

// One command: sends `text`, reports it, reads the reply, checks its class.
bool smtpCommand(MailTransport& transport, std::string_view text, int expected, std::string& reply,
                 const MailStatusHandler& status);

} // namespace paloma::host::mail
