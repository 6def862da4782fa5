// Socket: an asynchronous Windows Sockets socket whose notifications arrive
// as messages of one hidden window and fire the object's on... handlers.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <map>
#include <vector>

#include "host/HostServices.h"
#include "host/files/MemoryStream.h"
#include "host/framework/Events.h"
#include "host/framework/HostClass.h"
#include "host/framework/WindowBase.h"
#include "host/net/NetClasses.h"
#include "host/net/TcpConnection.h"

namespace paloma::host {

namespace {

using quill::Value;

// Handler slots, in the order of the event bits FD_READ .. FD_CLOSE.
enum Slot : size_t { kReceive, kSend, kOOBData, kAccept, kConnect, kClose, kSlotCount };
constexpr long kAllEvents = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
// A receive takes at most this much per call (recv may always give less).
constexpr int64_t kMaxReceive = 1 << 20;

struct SocketObject;

// The hidden window that receives the notifications of every socket of the
// thread and routes them to their objects.
class SocketNotifier : public WindowBase {
public:
    static constexpr UINT kMessage = WM_APP + 0x51;

    static SocketNotifier& instance() {
        static SocketNotifier notifier;
        return notifier;
    }
    HWND window() {
        if (!hwnd() && registerClass(L"PalomaSocketNotify", 0))
            createWindow({.className = L"PalomaSocketNotify", .parent = HWND_MESSAGE});
        return hwnd();
    }
    void add(SOCKET s, SocketObject* object) { sockets_[s] = object; }
    void remove(SOCKET s, SocketObject* object) {
        auto it = sockets_.find(s);
        if (it != sockets_.end() && it->second == object)
            sockets_.erase(it);
    }

protected:
    LRESULT onMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::map<SOCKET, SocketObject*> sockets_;
};

struct SocketObject {
    explicit SocketObject(quill::Engine& e) : engine(&e) {}
    ~SocketObject() { closeSocket(); }
    SocketObject(const SocketObject&) = delete;
    SocketObject& operator=(const SocketObject&) = delete;

    void markValues(quill::Engine& e) const { events.mark(e); }

    void adopt(SOCKET s) {
        closeSocket();
        handle = s;
        SocketNotifier::instance().add(s, this);
    }
    void closeSocket() {
        if (handle == INVALID_SOCKET)
            return;
        SocketNotifier::instance().remove(handle, this);
        closesocket(handle);
        handle = INVALID_SOCKET;
    }
    bool select(long mask) {
        HWND window = SocketNotifier::instance().window();
        return window && WSAAsyncSelect(handle, window, SocketNotifier::kMessage, mask) == 0;
    }

    quill::Engine* engine;
    SOCKET handle = INVALID_SOCKET;
    EventSlots<kSlotCount> events;
};

LRESULT SocketNotifier::onMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != kMessage)
        return defaultProc(msg, wParam, lParam);
    auto it = sockets_.find(static_cast<SOCKET>(wParam));
    if (it == sockets_.end())
        return 0; // a notification still queued for a closed socket
    SocketObject& object = *it->second;
    int event = WSAGETSELECTEVENT(lParam);
    size_t slot = 0;
    while (slot < kSlotCount && event != (1 << slot))
        ++slot;
    if (slot == kSlotCount || !object.events.hasHandler(slot))
        return 0;
    quill::Engine& engine = *object.engine;
    ScriptCallScope scope;
    // The handler may close or release the object: fire works on copies and
    // nothing here touches the object afterwards.
    if (!object.events.fire(engine, slot, {Value::integer(WSAGETSELECTERROR(lParam))}) && engine.errorText[0])
        quill::writeTrace(engine, engine.errorText);
    return 0;
}

// ---- addresses ------------------------------------------------------------------------------

// The address for a port and a host text (empty: any address); nullopt when
// the host cannot be resolved.
std::optional<sockaddr_in> socketAddress(const std::string& host, int64_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    if (host.empty()) {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        return address;
    }
    auto resolved = net::resolveIPv4(host);
    if (!resolved)
        return std::nullopt;
    address.sin_addr.s_addr = *resolved;
    return address;
}

Value addressObject(quill::Engine& engine, const sockaddr_in& address) {
    quill::ValueRoot object(engine, objectResult(engine));
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&address.sin_addr.s_addr);
    std::string dotted = std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
                         std::to_string(b[3]);
    setField(engine, object.value, "address", ansiTextResult(engine, dotted));
    setField(engine, object.value, "port", integerResult(ntohs(address.sin_port)));
    return object.value;
}

MemoryStream* streamArg(MemberCall& c, int64_t i) {
    return liveObject<MemoryStream>(instanceData(c.arg(i), c.engine, "StringStream"));
}

// The bytes to send from the stream's read position: all that remain, or
// `count` when that is fewer.
std::string_view pendingBytes(const MemoryStream& stream, std::optional<int64_t> count) {
    const auto& content = stream.content();
    size_t start = std::min(stream.getPos(), content.size());
    size_t n = content.size() - start;
    if (count && *count >= 0 && static_cast<uint64_t>(*count) < n)
        n = static_cast<size_t>(*count);
    return {reinterpret_cast<const char*>(content.data()) + start, n};
}

// ---- members --------------------------------------------------------------------------------

void create(SocketObject& s, MemberCall& c) {
    int64_t port = c.has(1) ? c.number(1).value_or(0) : 0;
    int64_t type = c.has(2) ? c.number(2).value_or(SOCK_STREAM) : SOCK_STREAM;
    int64_t mask = c.has(3) ? c.number(3).value_or(kAllEvents) : kAllEvents;
    std::string host = c.has(4) ? c.string(4).value_or("") : "";
    if (!net::socketsReady())
        return;
    auto address = socketAddress(host, port);
    if (!address)
        return;
    SOCKET handle = ::socket(AF_INET, static_cast<int>(type), 0);
    if (handle == INVALID_SOCKET)
        return;
    s.adopt(handle);
    bool ok = ::bind(handle, reinterpret_cast<sockaddr*>(&*address), sizeof *address) == 0 &&
              s.select(static_cast<long>(mask));
    if (!ok) {
        int error = WSAGetLastError();
        s.closeSocket();
        WSASetLastError(error);
    }
    c.result = booleanResult(ok);
}

void bindTo(SocketObject& s, MemberCall& c) {
    auto port = c.number(1);
    if (!port)
        return;
    auto address = socketAddress(c.has(2) ? c.string(2).value_or("") : "", *port);
    c.result = booleanResult(address &&
                             ::bind(s.handle, reinterpret_cast<sockaddr*>(&*address), sizeof *address) == 0);
}

void connectTo(SocketObject& s, MemberCall& c) {
    auto host = c.string(1);
    auto port = c.number(2);
    if (!host || !port)
        return;
    auto address = socketAddress(*host, *port);
    c.result = booleanResult(address &&
                             ::connect(s.handle, reinterpret_cast<sockaddr*>(&*address), sizeof *address) == 0);
}

void listenOn(SocketObject& s, MemberCall& c) {
    int64_t backlog = c.has(1) ? c.number(1).value_or(5) : 5;
    c.result = booleanResult(::listen(s.handle, static_cast<int>(backlog)) == 0);
}

void acceptOne(SocketObject& s, MemberCall& c) {
    SOCKET accepted = ::accept(s.handle, nullptr, nullptr);
    if (accepted == INVALID_SOCKET)
        return;
    // The accepted socket keeps the listening socket's notifications; the
    // object gets its own handlers (none at first).
    auto object = std::make_unique<SocketObject>(c.engine);
    object->adopt(accepted);
    SocketObject* raw = object.get();
    auto handle = std::make_unique<NativeHandle<SocketObject>>();
    handle->object = std::move(object);
    Value out = Value::undefined();
    if (!newHostObject(c.engine, "Socket", handle.get(), out))
        return; // the handle (and the socket) go with it
    handle.release();
    raw->events.setSelf(out);
    c.result = out;
}

void asyncSelect(SocketObject& s, MemberCall& c) {
    if (!c.has(1)) {
        c.result = booleanResult(true);
        return;
    }
    if (auto mask = c.number(1))
        c.result = booleanResult(s.select(static_cast<long>(*mask)));
}

int64_t flagsArg(MemberCall& c, int64_t i) { return c.has(i) ? c.number(i).value_or(0) : 0; }

void sendData(SocketObject& s, MemberCall& c) {
    MemoryStream* stream = streamArg(c, 1);
    if (!stream)
        return;
    std::optional<int64_t> count = c.has(2) ? c.number(2) : std::nullopt;
    std::string_view bytes = pendingBytes(*stream, count);
    int sent = ::send(s.handle, bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX)),
                      static_cast<int>(flagsArg(c, 3)));
    if (sent > 0)
        stream->setGetPos(static_cast<int64_t>(stream->getPos() + static_cast<size_t>(sent)));
    c.result = integerResult32(sent);
}

void sendTo(SocketObject& s, MemberCall& c) {
    MemoryStream* stream = streamArg(c, 1);
    auto count = c.number(2), port = c.number(3);
    auto host = c.string(4);
    if (!stream || !count || !port || !host)
        return;
    auto address = socketAddress(*host, *port);
    if (!address) {
        c.result = integerResult32(SOCKET_ERROR);
        return;
    }
    std::string_view bytes = pendingBytes(*stream, count);
    int sent = ::sendto(s.handle, bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX)),
                        static_cast<int>(flagsArg(c, 5)), reinterpret_cast<sockaddr*>(&*address), sizeof *address);
    if (sent > 0)
        stream->setGetPos(static_cast<int64_t>(stream->getPos() + static_cast<size_t>(sent)));
    c.result = integerResult32(sent);
}

// Receives into `buffer` (sized from the count argument); the byte count of
// recv/recvfrom, or nullopt when the arguments do not fit.
void receiveData(SocketObject& s, MemberCall& c) {
    MemoryStream* stream = streamArg(c, 1);
    auto count = c.number(2);
    if (!stream || !count || *count < 0)
        return;
    std::vector<char> buffer(static_cast<size_t>(std::min(*count, kMaxReceive)));
    int got = ::recv(s.handle, buffer.data(), static_cast<int>(buffer.size()), static_cast<int>(flagsArg(c, 3)));
    if (got > 0 && !stream->write({reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<size_t>(got)}))
        got = SOCKET_ERROR;
    c.result = integerResult32(got);
}

void receiveFrom(SocketObject& s, MemberCall& c) {
    MemoryStream* stream = streamArg(c, 1);
    auto count = c.number(2);
    c.result = nullResult();
    if (!stream || !count || *count < 0)
        return;
    std::vector<char> buffer(static_cast<size_t>(std::min(*count, kMaxReceive)));
    sockaddr_in from{};
    int fromLength = sizeof from;
    int got = ::recvfrom(s.handle, buffer.data(), static_cast<int>(buffer.size()), static_cast<int>(flagsArg(c, 3)),
                         reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got == SOCKET_ERROR)
        return;
    if (got > 0 && !stream->write({reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<size_t>(got)}))
        return;
    quill::ValueRoot object(c.engine, addressObject(c.engine, from));
    setField(c.engine, object.value, "length", integerResult(got));
    c.result = object.value;
}

// getPeerName and getSockName (tag 1).
void socketName(SocketObject& s, MemberCall& c) {
    sockaddr_in address{};
    int length = sizeof address;
    int rc = c.member.tag == 1 ? getsockname(s.handle, reinterpret_cast<sockaddr*>(&address), &length)
                               : getpeername(s.handle, reinterpret_cast<sockaddr*>(&address), &length);
    c.result = rc == 0 && address.sin_family == AF_INET ? addressObject(c.engine, address) : nullResult();
}

void getSockOpt(SocketObject& s, MemberCall& c) {
    auto option = c.number(1);
    if (!option)
        return;
    int64_t level = c.has(2) ? c.number(2).value_or(SOL_SOCKET) : SOL_SOCKET;
    int32_t value = 0;
    int length = sizeof value;
    getsockopt(s.handle, static_cast<int>(level), static_cast<int>(*option), reinterpret_cast<char*>(&value), &length);
    c.result = integerResult32(value);
}

void setSockOpt(SocketObject& s, MemberCall& c) {
    auto option = c.number(1), value = c.number(2);
    if (!option || !value)
        return;
    int64_t level = c.has(3) ? c.number(3).value_or(SOL_SOCKET) : SOL_SOCKET;
    int32_t v = static_cast<int32_t>(*value);
    c.result = booleanResult(setsockopt(s.handle, static_cast<int>(level), static_cast<int>(*option),
                                        reinterpret_cast<const char*>(&v), sizeof v) == 0);
}

void ioctl(SocketObject& s, MemberCall& c) {
    auto command = c.number(1);
    if (!command)
        return;
    u_long argument = static_cast<u_long>(c.has(2) ? c.number(2).value_or(0) : 0);
    ioctlsocket(s.handle, static_cast<long>(*command), &argument);
    c.result = integerResult32(static_cast<int32_t>(argument));
}

void shutDown(SocketObject& s, MemberCall& c) {
    int64_t how = c.has(1) ? c.number(1).value_or(1) : 1;
    c.result = booleanResult(::shutdown(s.handle, static_cast<int>(how)) == 0);
}

void closeSocket(SocketObject& s, MemberCall&) { s.closeSocket(); }

// htonl, htons, ntohl, ntohs by tag.
void byteOrder(MemberCall& c) {
    auto n = c.number(1);
    if (!n)
        return;
    uint32_t v = static_cast<uint32_t>(*n);
    switch (c.member.tag) {
    case 0: c.result = integerResult32(static_cast<int32_t>(htonl(v))); break;
    case 1: c.result = integerResult(htons(static_cast<u_short>(v))); break;
    case 2: c.result = integerResult32(static_cast<int32_t>(ntohl(v))); break;
    default: c.result = integerResult(ntohs(static_cast<u_short>(v))); break;
    }
}

void lastError(MemberCall& c) {
    if (!c.put)
        c.value = integerResult32(WSAGetLastError());
}

constexpr Member tagged(Member m, int tag) {
    m.tag = tag;
    return m;
}

constexpr Member kSocketMembers[] = {
    method<create>("create", Fallback::False),
    method<bindTo>("bind", Fallback::False),
    method<connectTo>("connect", Fallback::False),
    method<listenOn>("listen", Fallback::False),
    method<acceptOne>("accept"),
    method<asyncSelect>("asyncSelect", Fallback::False),
    method<sendData>("send", Fallback::MinusOne, Fallback::MinusOne),
    method<sendTo>("sendTo", Fallback::MinusOne, Fallback::MinusOne),
    method<receiveData>("receive", Fallback::MinusOne, Fallback::MinusOne),
    method<receiveFrom>("receiveFrom", Fallback::Null, Fallback::Null),
    tagged(method<socketName>("getPeerName", Fallback::Null, Fallback::Null), 0),
    tagged(method<socketName>("getSockName", Fallback::Null, Fallback::Null), 1),
    method<getSockOpt>("getSockOpt"),
    method<setSockOpt>("setSockOpt", Fallback::False),
    method<ioctl>("ioctl"),
    method<shutDown>("shutDown", Fallback::False),
    method<closeSocket>("close"),
    tagged(classMethod<byteOrder>("htonl"), 0),
    tagged(classMethod<byteOrder>("htons"), 1),
    tagged(classMethod<byteOrder>("ntohl"), 2),
    tagged(classMethod<byteOrder>("ntohs"), 3),
    classProperty<lastError>("error"),
    event<SocketObject, kAccept>("onAccept"),
    event<SocketObject, kClose>("onClose"),
    event<SocketObject, kConnect>("onConnect"),
    event<SocketObject, kSend>("onSend"),
    event<SocketObject, kReceive>("onReceive"),
    event<SocketObject, kOOBData>("onOOBData"),
};

constexpr IntegerConstant kSocketConstants[] = {
    {"$FD_READ", FD_READ},       {"$FD_WRITE", FD_WRITE},     {"$FD_OOB", FD_OOB},
    {"$FD_ACCEPT", FD_ACCEPT},   {"$FD_CONNECT", FD_CONNECT}, {"$FD_CLOSE", FD_CLOSE},
    {"$SOCK_STREAM", SOCK_STREAM}, {"$SOCK_DGRAM", SOCK_DGRAM},
};

void socketConstruct(quill::Engine& engine, quill::NativeClass* cls, quill::ArgList, Value& result) {
    net::socketsReady();
    SocketObject* bound = bindHandle(engine, cls, std::make_unique<SocketObject>(engine), result);
    bound->events.setSelf(result);
}

void socketCall(quill::Engine& engine, quill::NativeClass* cls, void*, Value& result, quill::ArgList args) {
    socketConstruct(engine, cls, args, result);
}

} // namespace

void registerSocketClass(quill::Engine& engine) {
    registerHostClass(engine, {.className = "Socket",
                               .members = kSocketMembers,
                               .call = socketCall,
                               .construct = socketConstruct,
                               .destroyData = destroyHandle<SocketObject>,
                               .markData = markHandle<SocketObject>,
                               .constants = kSocketConstants});
}

} // namespace paloma::host
