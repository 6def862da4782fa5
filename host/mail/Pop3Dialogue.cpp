#include "host/mail/Pop3Dialogue.h"

#include <array>

namespace paloma::host::mail {

bool readPop3Line(MailTransport& transport, std::string& reply, const MailStatusHandler& status) {
    reply.clear();
    std::array<char, kPop3LineCapacity> buffer;
    while (reply.size() < kPop3LineCapacity && !reply.ends_with("\r\n")) {
        long got = transport.receive(buffer.data(), kPop3LineCapacity - reply.size());
        if (got <= 0) {
            reportStatus(status, StatusError, transport.errorText());
            return false;
        }
        reply.append(buffer.data(), static_cast<size_t>(got));
    }
    if (!reply.ends_with("\r\n")) {
        // Longer than a POP3 line may be: what follows is out of step.
        reportStatus(status, StatusError, "reply line too long");
        return false;
    }
    return true;
}

bool readPop3MultiLine(MailTransport& transport, std::string& reply, const MailStatusHandler& status) {
    reply.clear();
    std::array<char, 512> buffer;
    for (;;) {
        if (reply.ends_with("\r\n") && !reply.starts_with("+OK"))
            return true; // a single error line
        if (reply.ends_with("\r\n.\r\n"))
            return true;
        if (reply.size() >= kPop3MultiLineLimit) {
            reportStatus(status, StatusError, "reply too long");
            return false;
        }
        long got = transport.receive(buffer.data(), buffer.size());
        if (got <= 0) {
            reportStatus(status, StatusError, transport.errorText());
            return false;
        }
        reply.append(buffer.data(), static_cast<size_t>(got));
    }
}

bool pop3Command(MailTransport& transport, std::string_view command, std::string& reply,
                 const MailStatusHandler& status, bool* refused) {
    if (refused)
        *refused = false;
    std::string line(command);
    line += "\r\n";
    if (!transport.send(line)) {
        reportStatus(status, StatusError, transport.errorText());
        return false;
    }
    reportStatus(status, StatusSent, line);
    if (!readPop3Line(transport, reply, status))
        return false;
    if (!reply.starts_with("+OK")) {
        reportStatus(status, StatusReceived, reply);
        if (refused)
            *refused = true;
        return false;
    }
    return true;
}

bool pop3Login(MailTransport& transport, std::string_view user, std::string_view password,
               const MailStatusHandler& status) {
    if (user.empty() || password.empty())
        return true;
    std::string reply;
    return pop3Command(transport, "USER " + std::string(user), reply, status) &&
           pop3Command(transport, "PASS " + std::string(password), reply, status);
}

std::string pop3StatText(std::string_view reply) {
    if (!reply.starts_with("+OK"))
        return {};
    std::string_view rest = reply.substr(3);
    if (rest.starts_with(' '))
        rest.remove_prefix(1);
    return std::string(rest.substr(0, rest.find_first_of("\r\n")));
}

std::optional<std::vector<std::string>> pop3ListColumn(std::string_view reply) {
    if (!reply.starts_with("+OK"))
        return std::nullopt;
    size_t pos = reply.find("\r\n");
    if (pos == std::string_view::npos)
        return std::nullopt;
    pos += 2;
    std::vector<std::string> out;
    while (pos < reply.size()) {
        size_t end = reply.find("\r\n", pos);
        if (end == std::string_view::npos)
            return std::nullopt;
        std::string_view line = reply.substr(pos, end - pos);
        pos = end + 2;
        if (line == ".")
            return out;
        size_t space = line.find(' ');
        if (space == std::string_view::npos || space == 0)
            return std::nullopt;
        size_t number = 0;
        for (char ch : line.substr(0, space)) {
            if (ch < '0' || ch > '9' || number > 1000000000)
                return std::nullopt;
            number = number * 10 + static_cast<size_t>(ch - '0');
        }
        if (number != out.size() + 1)
            return std::nullopt; // element n-1 must be message n
        out.emplace_back(line.substr(space + 1));
    }
    return std::nullopt;
}

bool Pop3BodyDecoder::feed(std::string_view piece, std::string& out) {
    for (char c : piece) {
        if (done_)
            break;
        switch (state_) {
        case State::LineStart:
            if (c == '.') {
                state_ = State::Dot;
                continue;
            }
            state_ = c == '\r' ? State::Cr : State::InLine;
            out += c;
            break;
        case State::Dot:
            if (c == '\r') {
                state_ = State::DotCr;
                continue;
            }
            if (c != '.')
                out += '.'; // a lone dot the server did not double: keep it
            out += c;
            state_ = State::InLine;
            break;
        case State::DotCr:
            if (c == '\n') {
                done_ = true;
                break;
            }
            out += ".\r";
            out += c;
            state_ = c == '\r' ? State::Cr : State::InLine;
            break;
        case State::InLine:
            out += c;
            if (c == '\r')
                state_ = State::Cr;
            break;
        case State::Cr:
            out += c;
            state_ = c == '\n' ? State::LineStart : c == '\r' ? State::Cr : State::InLine;
            break;
        }
    }
    return done_;
}

bool pop3Download(MailTransport& transport, std::string_view command,
                  const std::function<bool(std::string_view)>& sink, const MailStatusHandler& status,
                  bool* refused) {
    if (refused)
        *refused = false;
    std::string line(command);
    line += "\r\n";
    if (!transport.send(line)) {
        reportStatus(status, StatusError, transport.errorText());
        return false;
    }
    reportStatus(status, StatusSent, line);
    // The first line, at most 520 bytes before its CR LF (523 with it and a
    // byte of slack); what follows it in the same receive is content.
    constexpr size_t kFirstLineLimit = 523;
    std::string head;
    std::array<char, 520> buffer;
    size_t lineEnd;
    while ((lineEnd = head.find("\r\n")) == std::string::npos) {
        if (head.size() > kFirstLineLimit) {
            reportStatus(status, StatusError, "reply line too long");
            return false;
        }
        long got = transport.receive(buffer.data(), buffer.size());
        if (got <= 0) {
            reportStatus(status, StatusError, transport.errorText());
            return false;
        }
        head.append(buffer.data(), static_cast<size_t>(got));
    }
    if (!head.starts_with("+OK")) {
        reportStatus(status, StatusReceived, head.substr(0, lineEnd + 2));
        if (refused)
            *refused = true;
        return false;
    }
    Pop3BodyDecoder decoder;
    std::string out;
    uint64_t written = 0;
    std::string_view piece = std::string_view(head).substr(lineEnd + 2);
    std::array<char, 8192> chunk;
    for (;;) {
        out.clear();
        decoder.feed(piece, out);
        if (!out.empty() && !sink(out))
            return false;
        written += out.size();
        if (!piece.empty() && !reportStatus(status, StatusProgress, std::to_string(written)))
            return false;
        if (decoder.done())
            return true;
        long got = transport.receive(chunk.data(), chunk.size());
        if (got <= 0) {
            reportStatus(status, StatusError, transport.errorText());
            return false;
        }
        piece = std::string_view(chunk.data(), static_cast<size_t>(got));
    }
}

} // namespace paloma::host::mail
