// The SMTP and POP3 dialogues over a scripted peer (replies delivered in
// pieces of any size), and the MIME composer and parser.
#include <gtest/gtest.h>

#include <deque>

#include "base/Base64.h"
#include "host/mail/MimeMessage.h"
#include "host/mail/Pop3Dialogue.h"
#include "host/mail/SmtpDialogue.h"

using namespace paloma::host::mail;

namespace {

// Answers each receive with at most `piece` bytes of the current reply; what
// the client sends is recorded.
class ScriptedPeer : public MailTransport {
public:
    ScriptedPeer(std::deque<std::string> replies, size_t piece) : replies_(std::move(replies)), piece_(piece) {}
    bool send(std::string_view bytes) override {
        sent += bytes;
        return true;
    }
    long receive(char* buffer, size_t capacity) override {
        while (!replies_.empty() && replies_.front().empty())
            replies_.pop_front();
        if (replies_.empty())
            return 0;
        std::string& front = replies_.front();
        size_t n = std::min({capacity, piece_, front.size()});
        std::copy_n(front.data(), n, buffer);
        front.erase(0, n);
        return static_cast<long>(n);
    }
    std::string errorText() override { return "closed"; }
    std::string sent;

private:
    std::deque<std::string> replies_;
    size_t piece_;
};

std::string b64(std::string_view s) {
    return paloma::base64Encode(std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
}

} // namespace

TEST(SmtpDialogue, CramMd5PreferredRecipientsSplitBccLineDroppedDotsStuffed) {
    for (size_t piece : {1u, 3u, 1024u}) {
        std::string challenge = "<1896.697170952@postoffice.reston.mci.net>";
        ScriptedPeer peer({"220 hi\r\n", "250-host\r\n250-AUTH PLAIN LOGIN cram-md5\r\n250 OK\r\n",
                           "334 " + b64(challenge) + "\r\n", "235 ok\r\n", "250 ok\r\n", "250 ok\r\n",
                           "550 no such user\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n", "221 bye\r\n"},
                          piece);
        SmtpEnvelope e{"me.local", "tim", "tanstaaftanstaaf", "a@x", "b@x; Bob <c@y>", "", "d@z"};
        std::vector<std::string> progress;
        MailStatusHandler status = [&](int s, std::string_view t) {
            if (s == StatusProgress)
                progress.emplace_back(t);
            return true;
        };
        ASSERT_TRUE(runSmtpSend(peer, e, "Subject: s\r\nbcc: d@z\r\n\r\n.hidden\r\nlast", status));
        // RFC 2195's example digest for this challenge and secret.
        std::string expected = "EHLO me.local\r\nAUTH CRAM-MD5\r\n" +
                               b64("tim b913a602c7eda7a495b4e6e7334d3890") +
                               "\r\nMAIL FROM:<a@x>\r\nRCPT TO:<b@x>\r\nRCPT TO:<c@y>\r\nRCPT TO:<d@z>\r\nDATA\r\n"
                               "Subject: s\r\n\r\n..hidden\r\nlast\r\n.\r\nQUIT\r\n";
        EXPECT_EQ(peer.sent, expected) << piece;
        EXPECT_EQ(progress, (std::vector<std::string>{"12", "2", "10", "6"}));
    }
}

TEST(SmtpDialogue, MechanismChoiceAndHeloFallback) {
    ScriptedPeer plain({"220 hi\r\n", "250-h\r\n250 AUTH=PLAIN\r\n", "235 ok\r\n", "250 ok\r\n", "250 ok\r\n",
                        "354 go\r\n", "250 ok\r\n", "221 bye\r\n"},
                       7);
    SmtpEnvelope e{"me", "u", "p", "a@x", "b@x", "", ""};
    ASSERT_TRUE(runSmtpSend(plain, e, "x", {}));
    EXPECT_NE(plain.sent.find("AUTH PLAIN " + b64(std::string("\0u\0p", 4)) + "\r\n"), std::string::npos);

    ScriptedPeer helo({"220 hi\r\n", "502 what\r\n", "250 ok\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n",
                       "250 ok\r\n", "221 bye\r\n"},
                      2);
    ASSERT_TRUE(runSmtpSend(helo, e, "x\r\n", {}));
    EXPECT_TRUE(helo.sent.starts_with("EHLO me\r\nHELO me\r\nMAIL FROM:<a@x>\r\n"));

    ScriptedPeer login({"220 hi\r\n", "250-h\r\n250 AUTH LOGIN\r\n", "334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n",
                        "235 ok\r\n", "250 ok\r\n"},
                       1024);
    EXPECT_FALSE(runSmtpSend(login, e, "x", {})); // the peer closes after MAIL FROM's reply... before RCPT
    EXPECT_NE(login.sent.find("AUTH LOGIN\r\n" + b64("u") + "\r\n" + b64("p") + "\r\n"), std::string::npos);
}

TEST(SmtpDialogue, HostileReplies) {
    std::string reply;
    ScriptedPeer huge({std::string(100000, '2')}, 4096);
    EXPECT_FALSE(readSmtpReply(huge, reply, {}));
    ScriptedPeer endless({std::string(kSmtpReplyDrainLimit * 2, 'x') + "\r\n250 ok\r\n"}, 4096);
    EXPECT_FALSE(readSmtpReply(endless, reply, {}));
    // A reply longer than the buffer keeps its whole lines and its final
    // line; the next reply is read in step.
    std::string longEhlo = "250-host\r\n";
    while (longEhlo.size() < 3000)
        longEhlo += "250-X-EXTENSION-" + std::to_string(longEhlo.size()) + "\r\n";
    for (size_t piece : {1u, 7u, 4096u}) {
        ScriptedPeer longReply({longEhlo + "250 AUTH PLAIN\r\n", "354 go\r\n"}, piece);
        ASSERT_TRUE(readSmtpReply(longReply, reply, {})) << piece;
        EXPECT_TRUE(smtpReplyIs(reply, 200));
        EXPECT_LE(reply.size(), kSmtpReplyCapacity + 16);
        EXPECT_EQ(parseAuthMechanisms(reply), AuthPlain);
        ASSERT_TRUE(readSmtpReply(longReply, reply, {}));
        EXPECT_EQ(reply, "354 go\r\n");
    }
    EXPECT_FALSE(smtpReplyIs("2x0 ok\r\n", 200));
    EXPECT_FALSE(smtpReplyIs("250 ok", 200));
    EXPECT_TRUE(smtpReplyIs("354 go\r\n", 300));
    ScriptedPeer cut({"250-partial\r\n"}, 1);
    EXPECT_FALSE(readSmtpReply(cut, reply, {}));
    EXPECT_EQ(parseAuthMechanisms("250-x\r\n250 AUTH=login Plain\r\n"), AuthLogin | AuthPlain);
    EXPECT_EQ(parseAuthMechanisms("250 AUTHX LOGIN\r\n"), 0u);
    EXPECT_EQ(splitRecipients(" ; <a@b>,Name <c@d> ;e"), (std::vector<std::string>{"a@b", "c@d", "e"}));
    std::string longKey(100, 'k');
    EXPECT_EQ(hmacMd5Hex("Jefe", "what do ya want for nothing?"), "750c783e6ab0b503eaa86e310a5db738");
    EXPECT_EQ(hmacMd5Hex(std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First"),
              "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
}

TEST(Pop3Dialogue, DownloadTerminatorAcrossPiecesAndUnstuffing) {
    std::string body = "Subject: x\r\n\r\n..dot\r\nline\r\n.\r\n";
    for (size_t piece = 1; piece <= body.size() + 8; ++piece) {
        ScriptedPeer peer({"+OK 30 octets\r\n" + body}, piece);
        std::string got;
        int progressCalls = 0;
        ASSERT_TRUE(pop3Download(peer, "RETR 1", [&](std::string_view s) { return got.append(s), true; },
                                 [&](int s, std::string_view) { return s != StatusProgress || ++progressCalls; }));
        EXPECT_EQ(got, "Subject: x\r\n\r\n.dot\r\nline\r\n") << piece;
        EXPECT_EQ(peer.sent, "RETR 1\r\n");
    }
    ScriptedPeer refused({"-ERR no such message\r\n"}, 5);
    std::string seen;
    bool wasRefused = false;
    EXPECT_FALSE(pop3Download(
        refused, "RETR 9", [](std::string_view) { return true; },
        [&](int s, std::string_view t) { return s == StatusReceived ? (seen = t, true) : true; }, &wasRefused));
    EXPECT_TRUE(wasRefused);
    EXPECT_EQ(seen, "-ERR no such message\r\n");
    ScriptedPeer longLine({"+OK" + std::string(5000, 'x')}, 600);
    EXPECT_FALSE(pop3Download(longLine, "RETR 1", [](std::string_view) { return true; }, {}));
    ScriptedPeer closedMid({"+OK\r\nabc\r\n"}, 4);
    EXPECT_FALSE(pop3Download(closedMid, "RETR 1", [](std::string_view) { return true; }, {}));
    ScriptedPeer stopped({"+OK\r\nabc\r\n.\r\n"}, 4);
    EXPECT_FALSE(pop3Download(stopped, "RETR 1", [](std::string_view) { return true; },
                              [](int s, std::string_view) { return s != StatusProgress; }));
}

TEST(Pop3Dialogue, CommandsListsAndLogin) {
    ScriptedPeer peer({"+OK\r\n", "+OK\r\n", "+OK 2 320\r\n", "+OK\r\n1 120\r\n", "2 200\r\n.\r\n", "-ERR x\r\n"}, 3);
    ASSERT_TRUE(pop3Login(peer, "u", "p", {}));
    std::string reply;
    ASSERT_TRUE(pop3Command(peer, "STAT", reply, {}));
    EXPECT_EQ(pop3StatText(reply), "2 320");
    peer.send("LIST\r\n");
    ASSERT_TRUE(readPop3MultiLine(peer, reply, {}));
    EXPECT_EQ(pop3ListColumn(reply), (std::vector<std::string>{"120", "200"}));
    EXPECT_FALSE(pop3Command(peer, "DELE 3", reply, {}));
    EXPECT_EQ(peer.sent, "USER u\r\nPASS p\r\nSTAT\r\nLIST\r\nDELE 3\r\n");
    ScriptedPeer longLine({"+OK " + std::string(600, '9') + "\r\n"}, 100);
    bool refused = true;
    EXPECT_FALSE(pop3Command(longLine, "STAT", reply, {}, &refused));
    EXPECT_FALSE(refused);
    EXPECT_FALSE(pop3ListColumn("+OK\r\n1 5\r\n3 4\r\n.\r\n"));
    EXPECT_FALSE(pop3ListColumn("+OK\r\n1 5\r\n"));
}

TEST(Mime, ComposeAndParseEveryShape) {
    MailHeaders h;
    h.from = "a@x";
    h.to = "b@y";
    h.subject = "Gr\xfc\xdf";
    h.bcc = "hidden@z";
    h.priority = 1;
    std::string binary;
    for (int i = 0; i < 3000; ++i)
        binary += static_cast<char>(i * 7);
    MailBody body;
    body.text = "plain line\r\n.starts with dot\r\ntrailing space \r\n=equals";
    for (int shape = 0; shape < 5; ++shape) {
        MailBody b = body;
        if (shape >= 1)
            b.attachments.push_back({"application/octet-stream", "data.bin", "", binary});
        if (shape >= 2)
            b.html = "<p>caf\xe9</p>";
        if (shape >= 3)
            b.items.push_back({"image/png", "pic.png", "pic1@here", binary.substr(0, 100)});
        if (shape == 4)
            b.attachments.clear();
        std::string raw = composeHeaders(h, "iso-8859-1") + composeBody(b, "iso-8859-1", {0x12, 0x34});
        ParsedMail parsed = parseMail(raw);
        EXPECT_EQ(parsed.headers.subject, h.subject);
        EXPECT_EQ(parsed.headers.bcc, "hidden@z");
        EXPECT_EQ(parsed.headers.priority, 1);
        MailBody back = bodyOf(raw, parsed);
        EXPECT_EQ(back.text, b.text) << shape;
        EXPECT_EQ(back.html, b.html) << shape;
        ASSERT_EQ(back.attachments.size(), b.attachments.size()) << shape;
        ASSERT_EQ(back.items.size(), b.items.size()) << shape;
        for (size_t i = 0; i < b.attachments.size(); ++i) {
            EXPECT_EQ(back.attachments[i].data, binary);
            EXPECT_EQ(back.attachments[i].name, "data.bin");
        }
        for (size_t i = 0; i < b.items.size(); ++i) {
            EXPECT_EQ(back.items[i].contentId, "pic1@here");
            EXPECT_EQ(back.items[i].data, b.items[i].data);
        }
        for (size_t pos = 0; (pos = raw.find("\r\n.", pos)) != std::string::npos; ++pos)
            ADD_FAILURE() << "a line starts with a dot in shape " << shape;
    }
}

TEST(Mime, BrokenInput) {
    EXPECT_EQ(decodeEncodedWords("=?utf-8?Q?a_b=3D?= =?x?B?Yw==?= tail =?bad"), "a b=c tail =?bad");
    EXPECT_EQ(decodeQuotedPrintable("a=ZZb=\r\nc="), "a=ZZbc=");
    ParsedMail p = parseMail("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                             "Content-Type: text/plain\r\n\r\nhello\r\n--b\r\nContent-Type: image/gif\r\n"
                             "Content-Disposition: attachment\r\nContent-Transfer-Encoding: base64\r\n\r\n!!R0lG");
    EXPECT_EQ(bodyOf("", p).text, ""); // ranges outside the text give nothing
    ASSERT_EQ(p.attachments.size(), 1u);
    EXPECT_EQ(p.attachments[0].name, "attachment 1");
    std::string nested = "Content-Type: multipart/mixed; boundary=a\r\n\r\n";
    for (int i = 0; i < 100; ++i)
        nested += "--a\r\nContent-Type: multipart/mixed; boundary=a\r\n\r\n";
    parseMail(nested); // depth is bounded
}
