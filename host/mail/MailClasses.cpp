// Mail (one message as raw text in a temporary file), SendMail (SMTP) and
// RecvMail (POP3), on the portable cores of this folder.
#include "host/mail/MailClasses.h"

#include <fstream>
#include <iterator>

#include "base/HostPath.h"
#include "base/TextCodec.h"
#include "host/files/BufferedFile.h"
#include "host/framework/Arguments.h"
#include "host/framework/Events.h"
#include "host/framework/HostClass.h"
#include "host/mail/MailSocket.h"
#include "host/mail/MimeMessage.h"
#include "host/mail/Pop3Dialogue.h"
#include "host/mail/SmtpDialogue.h"
#include "script/Quill.h"

namespace paloma::host {

namespace {

using namespace mail;
using quill::Value;

std::filesystem::path pathFromAnsi(const std::string& ansi) { return hostPath(ansiToUtf16(ansi)); }

std::optional<std::string> readWholeFile(const std::string& ansiPath) {
    std::ifstream in(pathFromAnsi(ansiPath), std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool writeWholeFile(const std::string& ansiPath, std::string_view bytes) {
    std::ofstream out(pathFromAnsi(ansiPath), std::ios::binary | std::ios::trunc);
    return out && out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) && out.flush();
}

std::string fileName(const std::string& ansiPath) {
    size_t cut = ansiPath.find_last_of("\\/");
    return cut == std::string::npos ? ansiPath : ansiPath.substr(cut + 1);
}

// ---- Mail --------------------------------------------------------------------------------

struct MailMessage {
    std::unique_ptr<BufferedFile> file;
    ParsedMail parsed;
    MailHeaders headers;
    bool needsComposing = false;

    std::string raw() {
        file->flush();
        auto length = file->length();
        if (!length || !file->seek(0))
            return {};
        std::vector<uint8_t> bytes = file->read(static_cast<uint64_t>(*length));
        return std::string(bytes.begin(), bytes.end());
    }
    // Replaces the file's content and parses it.
    bool setRaw(std::string_view bytes) {
        bool ok = file->truncate(0) && file->write(bytes) && file->flush();
        parsed = parseMail(bytes);
        return ok;
    }
    std::string composed() {
        std::string text = raw();
        return composeHeaders(headers, mailCharset()) + composeBody(bodyOf(text, parsed), mailCharset(), mailBoundarySeed());
    }
    // The whole message with its current headers and `body`, written back.
    bool recompose(const MailBody& body) {
        bool ok = setRaw(composeHeaders(headers, mailCharset()) + composeBody(body, mailCharset(), mailBoundarySeed()));
        needsComposing = false;
        return ok;
    }
    MailBody body() { return bodyOf(raw(), parsed); }
    std::string decoded(long begin, long end, int encoding) {
        std::string text = raw();
        if (begin < 0 || end < begin || static_cast<size_t>(end) > text.size())
            return {};
        return decodeTransfer(std::string_view(text).substr(begin, end - begin), encoding);
    }
};

std::unique_ptr<MailMessage> newMessage() {
    auto file = BufferedFile::openTemporary();
    if (!file)
        return nullptr;
    auto message = std::make_unique<MailMessage>();
    message->file = std::move(file);
    return message;
}

// A new script Mail object holding `message`; null when the class is missing.
Value mailObject(quill::Engine& engine, std::unique_ptr<MailMessage> message) {
    auto handle = std::make_unique<NativeHandle<MailMessage>>();
    handle->object = std::move(message);
    Value out = Value::null();
    if (quill::newHostObject(engine, "Mail", handle.get(), out))
        handle.release();
    return out;
}

void mailConstruct(quill::Engine& engine, quill::NativeClass* cls, quill::ArgList, Value& result) {
    auto message = newMessage();
    if (!message) {
        result = nullResult();
        return;
    }
    bindHandle(engine, cls, std::move(message), result);
}

void mailCall(quill::Engine& engine, quill::NativeClass* cls, void*, Value& result, quill::ArgList args) {
    mailConstruct(engine, cls, args, result);
}

std::string MailHeaders::*const kHeaderFields[] = {&MailHeaders::from, &MailHeaders::replyTo, &MailHeaders::to,
                                                   &MailHeaders::subject, &MailHeaders::cc, &MailHeaders::bcc,
                                                   &MailHeaders::date};

void header(MailMessage& m, MemberCall& c) {
    std::string& field = m.headers.*kHeaderFields[c.member.tag];
    if (!c.put) {
        c.value = ansiTextResult(c.engine, field);
        return;
    }
    field = utf16ToAnsi(quill::toText(c.engine, c.value));
    m.needsComposing = true;
}

void priority(MailMessage& m, MemberCall& c) {
    if (!c.put) {
        c.value = integerResult(m.headers.priority);
    } else if (auto n = numberFrom(c.value)) {
        m.headers.priority = static_cast<int>(*n);
        m.needsComposing = true;
    }
}

void size(MailMessage& m, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(static_cast<int64_t>(m.needsComposing ? m.composed().size() : m.file->length().value_or(0)));
}

// text and html (tag 1).
void bodyText(MailMessage& m, MemberCall& c) {
    bool html = c.member.tag == 1;
    if (!c.put) {
        c.value = html ? ansiTextResult(c.engine, m.decoded(m.parsed.htmlBegin, m.parsed.htmlEnd, m.parsed.htmlEncoding))
                       : ansiTextResult(c.engine, m.decoded(m.parsed.textBegin, m.parsed.textEnd, m.parsed.textEncoding));
        return;
    }
    MailBody body = m.body();
    (html ? body.html : body.text) = utf16ToAnsi(quill::toText(c.engine, c.value));
    m.recompose(body);
}

void attachmentCount(MailMessage& m, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(static_cast<int64_t>(m.parsed.attachments.size()));
}

void htmlItemCount(MailMessage& m, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(static_cast<int64_t>(m.parsed.items.size()));
}

void asText(MailMessage& m, MemberCall& c) { c.result = ansiTextResult(c.engine, m.needsComposing ? m.composed() : m.raw()); }

// The row of an index argument (tag 0 attachments, 1 HTML items), or null.
const PartRow* rowAt(MailMessage& m, MemberCall& c, bool items) {
    auto index = c.number(1);
    const auto& rows = items ? m.parsed.items : m.parsed.attachments;
    if (!index || *index < 0 || static_cast<uint64_t>(*index) >= rows.size())
        return nullptr;
    return &rows[static_cast<size_t>(*index)];
}

void attachmentType(MailMessage& m, MemberCall& c) {
    if (const PartRow* row = rowAt(m, c, false))
        c.result = ansiTextResult(c.engine, row->contentType);
}

void attachmentName(MailMessage& m, MemberCall& c) {
    if (const PartRow* row = rowAt(m, c, false))
        c.result = ansiTextResult(c.engine, row->name);
}

void itemName(MailMessage& m, MemberCall& c) {
    if (const PartRow* row = rowAt(m, c, true))
        c.result = ansiTextResult(c.engine, row->name);
}

void itemId(MailMessage& m, MemberCall& c) {
    if (const PartRow* row = rowAt(m, c, true))
        c.result = ansiTextResult(c.engine, row->contentId);
}

// saveAttachment and saveHtmlItem (tag 1).
void savePart(MailMessage& m, MemberCall& c) {
    const PartRow* row = rowAt(m, c, c.member.tag == 1);
    auto path = c.string(2);
    if (!row || !path)
        return;
    PartRow copy = *row;
    c.result = booleanResult(writeWholeFile(*path, m.decoded(static_cast<long>(copy.begin), static_cast<long>(copy.end), copy.encoding)));
}

// addAttachment (path) and addHtmlItem (tag 1: path, Content-ID).
void addPart(MailMessage& m, MemberCall& c) {
    bool item = c.member.tag == 1;
    auto path = c.string(1);
    auto id = item ? c.string(2) : std::optional<std::string>("");
    if (!path || !id)
        return;
    auto data = readWholeFile(*path);
    if (!data)
        return;
    MailBody body = m.body();
    ComposePart part;
    part.name = fileName(*path);
    part.contentType = contentTypeForName(part.name);
    part.contentId = *id;
    part.data = std::move(*data);
    (item ? body.items : body.attachments).push_back(std::move(part));
    c.result = booleanResult(m.recompose(body));
}

// removeAttachment and removeHtmlItem (tag 1).
void removePart(MailMessage& m, MemberCall& c) {
    bool item = c.member.tag == 1;
    if (!rowAt(m, c, item))
        return;
    MailBody body = m.body();
    auto& parts = item ? body.items : body.attachments;
    parts.erase(parts.begin() + *c.number(1));
    c.result = booleanResult(m.recompose(body));
}

void save(MailMessage& m, MemberCall& c) {
    if (auto path = c.string(1))
        c.result = booleanResult(writeWholeFile(*path, m.composed()));
}

void load(MailMessage& m, MemberCall& c) {
    auto path = c.string(1);
    if (!path)
        return;
    auto data = readWholeFile(*path);
    if (!data)
        return;
    bool ok = m.setRaw(*data);
    m.headers = m.parsed.headers;
    m.needsComposing = false;
    c.result = booleanResult(ok);
}

constexpr Member withTag(Member m, int tag) {
    m.tag = tag;
    return m;
}

constexpr Member kMailMembers[] = {
    withTag(property<header>("from"), 0),
    withTag(property<header>("replyTo"), 1),
    withTag(property<header>("to"), 2),
    withTag(property<header>("subject"), 3),
    withTag(property<header>("cc"), 4),
    withTag(property<header>("bcc"), 5),
    withTag(property<header>("date"), 6),
    property<priority>("priority"),
    property<size>("size"),
    withTag(property<bodyText>("text"), 0),
    withTag(property<bodyText>("html"), 1),
    property<attachmentCount>("attachmentCount"),
    property<htmlItemCount>("htmlItemCount"),
    method<asText>("asText"),
    method<attachmentType>("getAttachmentContentType"),
    method<attachmentName>("getAttachmentName"),
    withTag(method<savePart>("saveAttachment", Fallback::False), 0),
    withTag(method<addPart>("addAttachment", Fallback::False), 0),
    withTag(method<removePart>("removeAttachment", Fallback::False), 0),
    method<itemName>("getHtmlItemName"),
    method<itemId>("getHtmlItemID"),
    withTag(method<savePart>("saveHtmlItem", Fallback::False), 1),
    withTag(method<addPart>("addHtmlItem", Fallback::False), 1),
    withTag(method<removePart>("removeHtmlItem", Fallback::False), 1),
    method<save>("save", Fallback::False),
    method<load>("load", Fallback::False),
};

// ---- connections -------------------------------------------------------------------------

struct MailConnection {
    explicit MailConnection(uint16_t defaultPort) : port(defaultPort) {}
    void markValues(quill::Engine& engine) const { events.mark(engine); }

    std::string server = "localhost", user, password; // ANSI
    uint16_t port;
    EventSlots<1> events;
    std::unique_ptr<MailSocket> socket;
};

// The status handler of a connection, called with no `this`. The handler
// Value is copied so that it stays the same even if the script replaces it.
MailStatusHandler statusHandler(quill::Engine& engine, const MailConnection& connection) {
    if (!connection.events.hasHandler(0))
        return {};
    Value handler = connection.events.handler(0);
    return [&engine, handler](int status, std::string_view text) {
        bool ok = fireHandler(engine, Value::undefined(), handler,
                              {integerResult(status), ansiTextResult(engine, std::string(text))});
        return ok && quill::toBoolean(engine.lastResult);
    };
}

void textProperty(MailConnection& m, MemberCall& c) {
    std::string& field = c.member.tag == 0 ? m.server : c.member.tag == 1 ? m.user : m.password;
    if (!c.put)
        c.value = ansiTextResult(c.engine, field);
    else if (auto text = stringFrom(c.value))
        field = *text;
}

void portProperty(MailConnection& m, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(m.port);
    else if (auto n = numberFrom(c.value))
        m.port = static_cast<uint16_t>(*n);
}

template <uint16_t Port>
void connectionConstruct(quill::Engine& engine, quill::NativeClass* cls, quill::ArgList, Value& result) {
    MailConnection* bound = bindHandle(engine, cls, std::make_unique<MailConnection>(Port), result);
    bound->events.setSelf(result);
}

template <uint16_t Port>
void connectionCall(quill::Engine& engine, quill::NativeClass* cls, void*, Value& result, quill::ArgList args) {
    connectionConstruct<Port>(engine, cls, args, result);
}

// The connection's socket is taken out for a dialogue (a status handler may
// close the object meanwhile) and put back when the object still lives.
void putBack(MemberCall& c, std::unique_ptr<MailSocket> socket) {
    if (auto* live = liveObject<MailConnection>(c.self))
        live->socket = std::move(socket);
}

// ---- SendMail ----------------------------------------------------------------------------

void sendMail(MailConnection& s, MemberCall& c) {
    auto* message = liveObject<MailMessage>(quill::instanceData(c.arg(1), c.engine, "Mail"));
    if (!message || message->headers.from.empty() || message->headers.to.empty())
        return;
    SmtpEnvelope envelope{MailSocket::localName(), s.user, s.password, message->headers.from,
                          message->headers.to, message->headers.cc, message->headers.bcc};
    bool composing = message->needsComposing;
    std::string text = composing ? message->composed() : message->raw();
    MailStatusHandler status = statusHandler(c.engine, s);
    auto socket = MailSocket::connect(s.server, s.port);
    if (!socket) {
        reportStatus(status, StatusError, "can't connect to the smtp server");
        return;
    }
    bool ok = runSmtpSend(*socket, envelope, text, status);
    socket.reset();
    if (composing) {
        // The handler may have closed the Mail: look it up again.
        if (auto* again = liveObject<MailMessage>(quill::instanceData(c.arg(1), c.engine, "Mail"))) {
            again->setRaw(text);
            again->needsComposing = false;
        }
    }
    c.result = booleanResult(ok);
}

void plainConnect(MailConnection& s, MemberCall& c) {
    s.socket = MailSocket::connect(s.server, s.port);
    c.result = booleanResult(s.socket != nullptr);
}

void plainCommand(MailConnection& s, MemberCall& c) {
    auto text = c.string(1);
    if (!text || !s.socket)
        return;
    MailStatusHandler status = statusHandler(c.engine, s);
    auto socket = std::move(s.socket);
    std::string reply;
    bool sent = socket->send(*text);
    if (sent)
        reportStatus(status, StatusSent, *text);
    else
        reportStatus(status, StatusError, socket->errorText());
    bool ok = sent && readSmtpReply(*socket, reply, status);
    putBack(c, std::move(socket));
    if (ok)
        c.result = ansiTextResult(c.engine, reply);
}

void plainWrite(MailConnection& s, MemberCall& c) {
    auto text = c.string(1);
    if (text && s.socket)
        c.result = booleanResult(s.socket->send(*text));
}

void closeConnection(MailConnection& s, MemberCall& c) {
    c.result = booleanResult(s.socket != nullptr);
    s.socket.reset();
}

template <int Tag, auto F>
constexpr Member taggedProperty(const char* name) {
    Member m = property<F>(name);
    m.tag = Tag;
    return m;
}

constexpr Member kSendMailMembers[] = {
    taggedProperty<0, textProperty>("server"),
    taggedProperty<1, textProperty>("username"),
    taggedProperty<2, textProperty>("password"),
    property<portProperty>("port"),
    event<MailConnection, 0>("onSend"),
    method<sendMail>("send", Fallback::False),
    method<plainConnect>("connect", Fallback::False),
    method<plainCommand>("command", Fallback::False),
    method<plainWrite>("write", Fallback::False),
    method<closeConnection>("close", Fallback::False),
};

// ---- RecvMail ----------------------------------------------------------------------------

void recvConnect(MailConnection& r, MemberCall& c) {
    r.socket.reset();
    MailStatusHandler status = statusHandler(c.engine, r);
    std::string user = r.user, password = r.password;
    auto socket = MailSocket::connect(r.server, r.port);
    if (!socket) {
        reportStatus(status, StatusError, MailSocket::lastErrorText());
        return;
    }
    std::string greeting;
    if (!readPop3Line(*socket, greeting, status) || !pop3Login(*socket, user, password, status))
        return;
    putBack(c, std::move(socket));
    c.result = booleanResult(true);
}

// A number argument when one is needed: an Integer only.
std::optional<int64_t> integerArgument(MemberCall& c, int64_t i) {
    Value v = c.arg(i);
    if (!v.isInteger())
        return std::nullopt;
    return v.asInteger();
}

// Runs a single-line command; the reply, or nullopt. An exchange that failed
// part-way (closed, timed out, an over-long line) leaves the connection out
// of step: it is closed.
std::optional<std::string> singleLine(MailConnection& r, MemberCall& c, const std::string& command) {
    if (!r.socket)
        return std::nullopt;
    MailStatusHandler status = statusHandler(c.engine, r);
    auto socket = std::move(r.socket);
    std::string reply;
    bool refused = false;
    bool ok = pop3Command(*socket, command, reply, status, &refused);
    if (ok || refused)
        putBack(c, std::move(socket));
    return ok ? std::optional(reply) : std::nullopt;
}

std::optional<std::string> multiLine(MailConnection& r, MemberCall& c, const std::string& command) {
    if (!r.socket)
        return std::nullopt;
    MailStatusHandler status = statusHandler(c.engine, r);
    auto socket = std::move(r.socket);
    std::string reply;
    bool ok = socket->send(command + "\r\n");
    if (ok)
        reportStatus(status, StatusSent, command + "\r\n");
    bool whole = ok && readPop3MultiLine(*socket, reply, status);
    ok = whole && reply.starts_with("+OK");
    if (whole && !ok)
        reportStatus(status, StatusReceived, reply);
    if (whole)
        putBack(c, std::move(socket));
    return ok ? std::optional(reply) : std::nullopt;
}

void stat(MailConnection& r, MemberCall& c) {
    if (auto reply = singleLine(r, c, "STAT"))
        c.result = ansiTextResult(c.engine, pop3StatText(*reply));
}

// list and uidl (tag 1).
void listing(MailConnection& r, MemberCall& c) {
    bool uidl = c.member.tag == 1;
    std::string verb = uidl ? "UIDL" : "LIST";
    if (c.has(1)) {
        auto n = integerArgument(c, 1);
        if (!n)
            return;
        auto reply = singleLine(r, c, verb + " " + std::to_string(*n));
        if (!reply)
            return;
        std::string rest = pop3StatText(*reply);
        size_t space = rest.find(' ');
        if (space == std::string::npos)
            return;
        std::string value = rest.substr(space + 1);
        if (uidl)
            c.result = ansiTextResult(c.engine, value);
        else if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos && value.size() < 19)
            c.result = integerResult(std::stoll(value));
        return;
    }
    auto reply = multiLine(r, c, verb);
    if (!reply)
        return;
    auto column = pop3ListColumn(*reply);
    if (!column)
        return;
    Value array = arrayResult(c.engine);
    for (const std::string& entry : *column) {
        if (uidl)
            appendElement(c.engine, array, ansiTextResult(c.engine, entry));
        else if (!entry.empty() && entry.find_first_not_of("0123456789") == std::string::npos && entry.size() < 19)
            appendElement(c.engine, array, integerResult(std::stoll(entry)));
        else
            return;
    }
    c.result = array;
}

// Downloads the answer to `command` into `message`'s file.
bool download(MailConnection& r, MemberCall& c, const std::string& command, MailMessage& message) {
    if (!r.socket)
        return false;
    MailStatusHandler status = statusHandler(c.engine, r);
    auto socket = std::move(r.socket);
    message.file->truncate(0);
    bool refused = false;
    bool ok = pop3Download(
        *socket, command, [&](std::string_view piece) { return message.file->write(piece); }, status, &refused);
    // A transfer stopped half-way leaves the connection out of step: it is closed.
    if (ok || refused)
        putBack(c, std::move(socket));
    return ok;
}

void retr(MailConnection& r, MemberCall& c) {
    auto n = integerArgument(c, 1);
    if (!n)
        return;
    auto message = newMessage();
    if (!message || !download(r, c, "RETR " + std::to_string(*n), *message))
        return;
    message->parsed = parseMail(message->raw());
    message->headers = message->parsed.headers;
    c.result = mailObject(c.engine, std::move(message));
}

void top(MailConnection& r, MemberCall& c) {
    auto n = integerArgument(c, 1), lines = integerArgument(c, 2);
    if (!n || !lines)
        return;
    auto message = newMessage();
    if (!message || !download(r, c, "TOP " + std::to_string(*n) + " " + std::to_string(*lines), *message))
        return;
    c.result = ansiTextResult(c.engine, message->raw());
}

void dele(MailConnection& r, MemberCall& c) {
    auto n = integerArgument(c, 1);
    if (n)
        c.result = booleanResult(singleLine(r, c, "DELE " + std::to_string(*n)).has_value());
}

// noop, rset, quit by tag.
void simple(MailConnection& r, MemberCall& c) {
    static const char* const kVerbs[] = {"NOOP", "RSET", "QUIT"};
    c.result = booleanResult(singleLine(r, c, kVerbs[c.member.tag]).has_value());
}

template <int Tag, auto F>
constexpr Member taggedMethod(const char* name, Fallback neutral) {
    Member m = method<F>(name, neutral);
    m.tag = Tag;
    return m;
}

constexpr Member kRecvMailMembers[] = {
    taggedProperty<0, textProperty>("server"),
    taggedProperty<1, textProperty>("username"),
    taggedProperty<2, textProperty>("password"),
    property<portProperty>("port"),
    event<MailConnection, 0>("onRecv"),
    method<recvConnect>("connect", Fallback::False),
    method<closeConnection>("close", Fallback::False),
    method<stat>("stat", Fallback::Null),
    taggedMethod<0, listing>("list", Fallback::Null),
    taggedMethod<1, listing>("uidl", Fallback::Null),
    method<retr>("retr", Fallback::Null),
    method<top>("top", Fallback::Null),
    method<dele>("dele", Fallback::False),
    taggedMethod<0, simple>("noop", Fallback::False),
    taggedMethod<1, simple>("rset", Fallback::False),
    taggedMethod<2, simple>("quit", Fallback::False),
};

} // namespace

void registerMailClass(quill::Engine& engine) {
    registerHostClass(engine, {.className = "Mail",
                               .members = kMailMembers,
                               .call = mailCall,
                               .construct = mailConstruct,
                               .destroyData = destroyHandle<MailMessage>});
}

void registerSendMailClass(quill::Engine& engine) {
    registerHostClass(engine, {.className = "SendMail",
                               .members = kSendMailMembers,
                               .call = connectionCall<25>,
                               .construct = connectionConstruct<25>,
                               .destroyData = destroyHandle<MailConnection>,
                               .markData = markHandle<MailConnection>});
}

void registerRecvMailClass(quill::Engine& engine) {
    registerHostClass(engine, {.className = "RecvMail",
                               .members = kRecvMailMembers,
                               .call = connectionCall<110>,
                               .construct = connectionConstruct<110>,
                               .destroyData = destroyHandle<MailConnection>,
                               .markData = markHandle<MailConnection>});
}

} // namespace paloma::host
