// Fuzz target: the SMTP and POP3 reply readers and the POP3 download, fed the
// input in pieces whose sizes come from its first byte. Memory stays bounded
// and the dialogues end (success or failure) when the peer closes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/mail/Pop3Dialogue.h"
#include "host/mail/SmtpDialogue.h"

using namespace paloma::host::mail;

namespace {

class Peer : public MailTransport {
public:
    Peer(std::string_view bytes, size_t piece) : bytes_(bytes), piece_(piece) {}
    bool send(std::string_view) override { return true; }
    long receive(char* buffer, size_t capacity) override {
        size_t n = std::min({capacity, piece_, bytes_.size()});
        std::copy_n(bytes_.data(), n, buffer);
        bytes_.remove_prefix(n);
        return static_cast<long>(n);
    }
    std::string errorText() override { return "closed"; }

private:
    std::string_view bytes_;
    size_t piece_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    size_t piece = 1 + data[0] % 64;
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string reply;
    {
        Peer peer(bytes, piece);
        // The buffer's whole lines and a final line of at most a buffer more.
        if (readSmtpReply(peer, reply, {}) && reply.size() > 2 * kSmtpReplyCapacity + 2)
            std::abort();
        parseAuthMechanisms(reply);
        smtpReplyIs(reply, 200);
    }
    {
        Peer peer(bytes, piece);
        SmtpEnvelope e{"me", "u", "p", "a@x", "b@x; c <d@e>", "f", "g"};
        runSmtpSend(peer, e, "Subject: x\r\n\r\nbody\r\n.\r\n", {});
    }
    {
        Peer peer(bytes, piece);
        if (readPop3Line(peer, reply, {}) && reply.size() > kPop3LineCapacity)
            std::abort();
    }
    {
        Peer peer(bytes, piece);
        if (readPop3MultiLine(peer, reply, {}))
            pop3ListColumn(reply);
    }
    {
        Peer peer(bytes, piece);
        size_t total = 0;
        pop3Download(peer, "RETR 1", [&](std::string_view s) { return (total += s.size()) <= bytes.size(); }, {});
        if (total > bytes.size())
            std::abort();
    }
    return 0;
}
