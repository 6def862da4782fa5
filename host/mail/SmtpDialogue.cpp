#include "host/mail/SmtpDialogue.h"

#include <array>
#include <cctype>
#include <span>

#include "base/Base64.h"
#include "base/Md5.h"

namespace paloma::host::mail {

namespace {

std::string base64Of(std::string_view text) {
    return base64Encode(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

bool smtpReplyComplete(std::string_view reply) {
    if (reply.size() < 2 || !reply.ends_with("\r\n"))
        return false;
    std::string_view body = reply.substr(0, reply.size() - 2);
    size_t lineStart = body.rfind("\r\n");
    lineStart = lineStart == std::string_view::npos ? 0 : lineStart + 2;
    std::string_view last = body.substr(lineStart);
    return last.size() >= 4 && last[3] == ' ';
}

int smtpReplyCode(std::string_view reply) {
    if (reply.size() < 3)
        return -1;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (reply[i] < '0' || reply[i] > '9')
            return -1;
        code = code * 10 + (reply[i] - '0');
    }
    return code;
}

bool smtpReplyIs(std::string_view reply, int expected) {
    int code = smtpReplyCode(reply);
    return reply.ends_with("\r\n") && code >= expected && code < expected + 100;
}

bool readSmtpReply(MailTransport& transport, std::string& reply, const MailStatusHandler& status) {
    reply.clear();
    std::array<char, kSmtpReplyCapacity> buffer;
    while (reply.size() < kSmtpReplyCapacity) {
        long got = transport.receive(buffer.data(), kSmtpReplyCapacity - reply.size());
        if (got <= 0) {
            reportStatus(status, StatusError, transport.errorText());
            return false;
        }
        reply.append(buffer.data(), static_cast<size_t>(got));
        if (smtpReplyComplete(reply)) {
            reportStatus(status, StatusReceived, reply);
            return true;
        }
    }
    // The buffer is full and the reply goes on (a long EHLO list, or junk).
    // The rest is read and dropped up to the final line, so that the next
    // reply is read in step: the reply keeps its whole lines from the buffer
    // and gets the final line appended. Past kSmtpReplyDrainLimit it fails.
    size_t keep = reply.rfind("\r\n");
    keep = keep == std::string::npos ? 0 : keep + 2;
    std::string line = reply.substr(keep); // the current line, cut at kSmtpReplyCapacity bytes
    bool lineCr = reply.ends_with('\r');
    reply.resize(keep);
    for (size_t drained = 0;;) {
        long got = transport.receive(buffer.data(), buffer.size());
        if (got <= 0) {
            reportStatus(status, StatusError, transport.errorText());
            return false;
        }
        drained += static_cast<size_t>(got);
        if (drained > kSmtpReplyDrainLimit) {
            reportStatus(status, StatusError, "reply too long");
            return false;
        }
        for (long i = 0; i < got; ++i) {
            char c = buffer[static_cast<size_t>(i)];
            if (line.size() < kSmtpReplyCapacity)
                line += c;
            if (lineCr && c == '\n') {
                if (line.size() >= 4 && line[3] == ' ') {
                    while (line.ends_with('\r') || line.ends_with('\n'))
                        line.pop_back();
                    reply += line;
                    reply += "\r\n";
                    reportStatus(status, StatusReceived, reply);
                    return true;
                }
                line.clear();
            }
            lineCr = c == '\r';
        }
    }
}

unsigned parseAuthMechanisms(std::string_view reply) {
    unsigned flags = 0;
    size_t pos = 0;
    while (pos < reply.size()) {
        size_t end = reply.find("\r\n", pos);
        std::string_view line = reply.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? reply.size() : end + 2;
        if (line.size() < 9)
            continue;
        std::string_view head = line.substr(0, 9);
        if (head != "250 AUTH " && head != "250-AUTH " && head != "250 AUTH=" && head != "250-AUTH=")
            continue;
        std::string_view words = line.substr(9);
        while (!words.empty()) {
            size_t space = words.find(' ');
            std::string_view word = words.substr(0, space);
            words = space == std::string_view::npos ? std::string_view() : words.substr(space + 1);
            if (equalsNoCase(word, "LOGIN"))
                flags |= AuthLogin;
            else if (equalsNoCase(word, "PLAIN"))
                flags |= AuthPlain;
            else if (equalsNoCase(word, "CRAM-MD5"))
                flags |= AuthCramMd5;
        }
    }
    return flags;
}

std::vector<std::string> splitRecipients(std::string_view list) {
    std::vector<std::string> out;
    while (!list.empty()) {
        size_t cut = list.find_first_of(",;");
        std::string_view piece = list.substr(0, cut);
        list = cut == std::string_view::npos ? std::string_view() : list.substr(cut + 1);
        if (size_t open = piece.find('<'); open != std::string_view::npos)
            piece = piece.substr(open + 1);
        piece = piece.substr(0, piece.find('>'));
        piece = trimSpaces(piece);
        if (!piece.empty())
            out.emplace_back(piece);
    }
    return out;
}

std::string hmacMd5Hex(std::string_view keyText, std::string_view message) {
    std::array<uint8_t, 64> key{};
    if (keyText.size() > 64) {
        Md5Digest d = Md5::of(std::span(reinterpret_cast<const uint8_t*>(keyText.data()), keyText.size()));
        std::copy(d.begin(), d.end(), key.begin());
    } else {
        std::copy(keyText.begin(), keyText.end(), key.begin());
    }
    std::array<uint8_t, 64> pad;
    for (size_t i = 0; i < 64; ++i)
        pad[i] = key[i] ^ 0x36;
    Md5 inner;
    inner.update(pad);
    inner.update(std::span(reinterpret_cast<const uint8_t*>(message.data()), message.size()));
    Md5Digest innerDigest = inner.finish();
    for (size_t i = 0; i < 64; ++i)
        pad[i] = key[i] ^ 0x5C;
    Md5 outer;
    outer.update(pad);
    outer.update(innerDigest);
    Md5Digest digest = outer.finish();
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : digest) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

bool isBccLine(std::string_view line) {
    return line.size() >= 4 && equalsNoCase(line.substr(0, 4), "bcc:");
}

bool smtpCommand(MailTransport& transport, std::string_view text, int expected, std::string& reply,
                 const MailStatusHandler& status) {
    reply.clear();
    if (!transport.send(text)) {
        reportStatus(status, StatusError, transport.errorText());
        return false;
    }
    reportStatus(status, StatusSent, text);
    if (!readSmtpReply(transport, reply, status))
        return false;
    return smtpReplyIs(reply, expected);
}

namespace {

bool authenticate(MailTransport& t, const SmtpEnvelope& e, unsigned offered, const MailStatusHandler& status) {
    std::string reply;
    if (offered & AuthCramMd5) {
        if (!smtpCommand(t, "AUTH CRAM-MD5\r\n", 300, reply, status))
            return false;
        std::string_view text = reply.size() > 4 ? std::string_view(reply).substr(4) : std::string_view();
        if (text.ends_with("\r\n"))
            text.remove_suffix(2);
        std::vector<uint8_t> challenge = base64Decode(text);
        std::string digest =
            hmacMd5Hex(e.password, std::string_view(reinterpret_cast<const char*>(challenge.data()), challenge.size()));
        return smtpCommand(t, base64Of(e.user + " " + digest) + "\r\n", 200, reply, status);
    }
    if (offered & AuthLogin) {
        return smtpCommand(t, "AUTH LOGIN\r\n", 300, reply, status) &&
               smtpCommand(t, base64Of(e.user) + "\r\n", 300, reply, status) &&
               smtpCommand(t, base64Of(e.password) + "\r\n", 200, reply, status);
    }
    std::string plain;
    plain += '\0';
    plain += e.user;
    plain += '\0';
    plain += e.password;
    return smtpCommand(t, "AUTH PLAIN " + base64Of(plain) + "\r\n", 200, reply, status);
}

} // namespace

bool runSmtpSend(MailTransport& t, const SmtpEnvelope& e, std::string_view message, const MailStatusHandler& status) {
    std::string reply;
    if (!readSmtpReply(t, reply, status))
        return false;
    if (smtpCommand(t, "EHLO " + e.localName + "\r\n", 200, reply, status)) {
        unsigned offered = parseAuthMechanisms(reply);
        if (offered && !e.user.empty() && !e.password.empty() && !authenticate(t, e, offered, status))
            return false;
    } else if (!smtpCommand(t, "HELO " + e.localName + "\r\n", 200, reply, status)) {
        return false;
    }
    if (!smtpCommand(t, "MAIL FROM:<" + e.from + ">\r\n", 200, reply, status))
        return false;
    for (const std::string* list : {&e.to, &e.cc, &e.bcc})
        for (const std::string& address : splitRecipients(*list))
            if (!smtpCommand(t, "RCPT TO:<" + address + ">\r\n", 200, reply, status) && reply.empty())
                return false; // the connection failed; a refusal does not stop the dialogue
    if (!smtpCommand(t, "DATA\r\n", 300, reply, status))
        return false;
    // Lines go out in batches of about kSmtpSendBatch bytes (one system call
    // per line is slow); each line is reported once its batch is sent.
    std::string batch;
    std::vector<size_t> lineSizes;
    auto flush = [&] {
        if (!batch.empty() && !t.send(batch)) {
            reportStatus(status, StatusError, t.errorText());
            return false;
        }
        batch.clear();
        for (size_t n : lineSizes)
            if (!reportStatus(status, StatusProgress, std::to_string(n)))
                return false;
        lineSizes.clear();
        return true;
    };
    size_t pos = 0;
    while (pos < message.size()) {
        size_t end = message.find("\r\n", pos);
        size_t next = end == std::string_view::npos ? message.size() : end + 2;
        std::string_view body = message.substr(pos, (end == std::string_view::npos ? message.size() : end) - pos);
        pos = next;
        if (isBccLine(body))
            continue;
        // A line starting with "." gets a second one, so no message line can
        // end the data early; the server removes it again.
        size_t before = batch.size();
        if (body.starts_with('.'))
            batch += '.';
        batch += body;
        batch += "\r\n";
        lineSizes.push_back(batch.size() - before);
        if (batch.size() >= kSmtpSendBatch && !flush())
            return false;
    }
    if (!flush())
        return false;
    if (!smtpCommand(t, ".\r\n", 200, reply, status))
        return false;
    smtpCommand(t, "QUIT\r\n", 200, reply, status);
    return true;
}

} // namespace paloma::host::mail
