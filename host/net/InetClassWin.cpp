// Inet (ping, MX lookup, DNS servers, HTTP download and header queries),
// IPConfig (the adapter table) and Inet.Ftp (FTP connections). The Internet
// and ICMP libraries are loaded by name on first use.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include <wininet.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <fstream>
#include <memory>
#include <vector>

#include "base/HostPath.h"
#include "base/TextCodec.h"
#include "host/framework/Events.h"
#include "host/framework/HostClass.h"
#include "host/framework/LazyApis.h"
#include "host/framework/WinHandles.h"
#include "host/net/DnsMessage.h"
#include "host/net/HttpFields.h"
#include "host/net/NetClasses.h"
#include "host/net/TcpConnection.h"

namespace paloma::host {

namespace {

using quill::Value;

constexpr Member tagged(Member m, int tag) {
    m.tag = tag;
    return m;
}

constexpr const wchar_t* kAgent = L"Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)";
constexpr const char* kDefaultConnectedHost = "www.wikipedia.org";
constexpr int kDnsTimeoutMs = 10000;

std::wstring wide(const std::string& ansi) {
    std::u16string w = ansiToUtf16(ansi);
    return std::wstring(w.begin(), w.end());
}

std::string narrow(const wchar_t* text, size_t length) {
    return utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}
std::string narrow(const std::wstring& text) { return narrow(text.data(), text.size()); }

std::string dotted(uint32_t networkOrder) {
    const auto* b = reinterpret_cast<const uint8_t*>(&networkOrder);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

// Milliseconds since 1970 (UTC) of a system time or a file time.
double dateOf(const FILETIME& time) {
    ULARGE_INTEGER t;
    t.LowPart = time.dwLowDateTime;
    t.HighPart = time.dwHighDateTime;
    return static_cast<double>(static_cast<int64_t>(t.QuadPart / 10000) - 11644473600000LL);
}
double dateOf(const SYSTEMTIME& time) {
    FILETIME file;
    return SystemTimeToFileTime(&time, &file) ? dateOf(file) : 0.0;
}

// The system's text for an error of the Internet library (or any other).
std::string internetErrorText(DWORD code) {
    wchar_t* text = nullptr;
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    HMODULE library = lazy::wininet.module();
    if (library)
        flags |= FORMAT_MESSAGE_FROM_HMODULE;
    DWORD n = FormatMessageW(flags, library, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n && text ? narrow(text, n) : "Error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// An Internet handle closed at the end of the scope.
class InternetHandle {
public:
    explicit InternetHandle(lazy::HInternet h = nullptr) : handle_(h) {}
    ~InternetHandle() { reset(); }
    InternetHandle(InternetHandle&& o) noexcept : handle_(o.handle_) { o.handle_ = nullptr; }
    InternetHandle& operator=(InternetHandle&& o) noexcept {
        if (this != &o) {
            reset();
            handle_ = o.handle_;
            o.handle_ = nullptr;
        }
        return *this;
    }
    void reset() {
        if (handle_)
            if (auto close = lazy::InternetCloseHandle.get())
                close(handle_);
        handle_ = nullptr;
    }
    lazy::HInternet get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    lazy::HInternet handle_;
};

// ---- ping ---------------------------------------------------------------------------------

// Reports a ping step; a null reporter stays silent.
using PingReport = std::function<void(int status, int value, const std::string& text)>;

template <class... A>
std::string format(const char* pattern, A... args) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

int pingWithLibrary(uint32_t address, int64_t count, const PingReport& report) {
    auto create = lazy::IcmpCreateFile.get();
    auto close = lazy::IcmpCloseHandle.get();
    auto send = lazy::IcmpSendEcho.get();
    HANDLE icmp = create();
    if (icmp == INVALID_HANDLE_VALUE)
        return -1;
    std::vector<uint8_t> data(32, 0xAA);
    std::vector<uint8_t> reply(sizeof(ICMP_ECHO_REPLY) + data.size() + 64);
    int replies = 0;
    for (int64_t i = 0; i < count; ++i) {
        DWORD n = send(icmp, address, data.data(), static_cast<WORD>(data.size()), nullptr, reply.data(),
                       static_cast<DWORD>(reply.size()), 5000);
        const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
        if (n > 0 && echo->Status == IP_SUCCESS) {
            const auto* b = reinterpret_cast<const uint8_t*>(&echo->Address);
            if (report)
                report(4, static_cast<int>(echo->RoundTripTime),
                       format("Reply from %d.%d.%d.%d: bytes=%d time=%dms TTL=%d", b[0], b[1], b[2], b[3],
                              static_cast<int>(echo->DataSize), static_cast<int>(echo->RoundTripTime),
                              static_cast<int>(echo->Options.Ttl)));
            ++replies;
        } else if (report) {
            report(1, 0, "Destination host unreachable");
        }
    }
    close(icmp);
    return replies;
}

uint16_t internetChecksum(const uint8_t* bytes, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<uint32_t>(bytes[i] | (bytes[i + 1] << 8));
    if (size & 1)
        sum += bytes[size - 1];
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

int pingWithRawSocket(const std::string& host, uint32_t address, int64_t count, const PingReport& report) {
    auto say = [&](int status, int value, const std::string& text) {
        if (report)
            report(status, value, text);
    };
    protoent* protocol = getprotobyname("icmp");
    if (!protocol) {
        say(2, 0, "getprotobyname error");
        return 0;
    }
    SOCKET s = ::socket(AF_INET, SOCK_RAW, protocol->p_proto);
    if (s == INVALID_SOCKET) {
        say(2, 0, "socket error");
        return 0;
    }
    paloma::UniqueSocket owned(s);
    DWORD timeout = 1000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    say(3, 0, format("Pinging %s [%s]: with %d bytes of data:\n\n", host.c_str(), dotted(address).c_str(), 32));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    uint16_t id = static_cast<uint16_t>(GetCurrentProcessId());
    int replies = 0;
    for (int64_t i = 0; i < count; ++i) {
        uint8_t packet[44] = {8, 0};
        packet[4] = static_cast<uint8_t>(id);
        packet[5] = static_cast<uint8_t>(id >> 8);
        packet[6] = static_cast<uint8_t>(i);
        packet[7] = static_cast<uint8_t>(i >> 8);
        DWORD sentAt = GetTickCount();
        std::memcpy(packet + 8, &sentAt, 4);
        for (int b = 0; b < 32; ++b)
            packet[12 + b] = static_cast<uint8_t>(32 + b);
        uint16_t sum = internetChecksum(packet, sizeof packet);
        std::memcpy(packet + 2, &sum, 2);
        if (::sendto(s, reinterpret_cast<const char*>(packet), sizeof packet, 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to) == SOCKET_ERROR) {
            say(1, 0, "Destination host unreachable");
            continue;
        }
        for (;;) {
            char answer[1024];
            sockaddr_in from{};
            int fromLength = sizeof from;
            int got = ::recvfrom(s, answer, sizeof answer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            // Other traffic does not extend the wait past the time-out.
            if (got == SOCKET_ERROR || GetTickCount() - sentAt > timeout) {
                say(0, 1000, "Request timed out");
                break;
            }
            size_t header = (static_cast<uint8_t>(answer[0]) & 0x0F) * 4u;
            if (got < 20 || static_cast<size_t>(got) < header + 8)
                continue;
            const auto* icmp = reinterpret_cast<const uint8_t*>(answer) + header;
            uint16_t replyId = static_cast<uint16_t>(icmp[4] | (icmp[5] << 8));
            if (icmp[0] != 0 || replyId != id)
                continue;
            int elapsed = static_cast<int>(GetTickCount() - sentAt);
            say(4, elapsed, format("Reply from %s: bytes=%d time=%dms TTL=%d icmp_seq=%u", dotted(from.sin_addr.s_addr).c_str(),
                                   got, elapsed, static_cast<uint8_t>(answer[8]), static_cast<unsigned>(i)));
            ++replies;
            break;
        }
    }
    return replies;
}

int ping(const std::string& host, int64_t count, const PingReport& report) {
    auto address = net::socketsReady() ? net::resolveIPv4(host) : std::nullopt;
    if (!address) {
        if (report)
            report(2, 0, format("Unkown host %s", host.c_str()));
        return 0;
    }
    if (lazy::IcmpCreateFile && lazy::IcmpCloseHandle && lazy::IcmpSendEcho) {
        int replies = pingWithLibrary(*address, count, report);
        if (replies >= 0)
            return replies;
    }
    return pingWithRawSocket(host, *address, count, report);
}

// ---- Inet ------------------------------------------------------------------------------------

enum InetSlot : size_t { kPinging, kGetUrl };

struct InetObject {
    void markValues(quill::Engine& e) const { events.mark(e); }
    EventSlots<2> events;
};

// Calls a handler with no `this`; its truth (false when it failed).
bool callHandler(quill::Engine& engine, const Value& handler, std::initializer_list<Value> args) {
    return fireHandler(engine, Value::undefined(), handler, args) && quill::toBoolean(engine.lastResult);
}

void pingMember(InetObject& inet, MemberCall& c) {
    auto host = c.string(1);
    auto count = c.number(2);
    if (!host || !count)
        return;
    PingReport report;
    if (inet.events.hasHandler(kPinging)) {
        Value handler = inet.events.handler(kPinging);
        report = [&c, handler](int status, int value, const std::string& text) {
            callHandler(c.engine, handler, {integerResult(status), integerResult(value), ansiTextResult(c.engine, text)});
        };
    }
    c.result = integerResult(ping(*host, *count, report));
}

void isInetConnected(InetObject&, MemberCall& c) {
    std::string host = c.has(1) ? c.string(1).value_or(kDefaultConnectedHost) : kDefaultConnectedHost;
    c.result = booleanResult(ping(host, 4, {}) > 0);
}

void mxfind(InetObject&, MemberCall& c) {
    auto domain = c.string(1), server = c.string(2);
    quill::ValueRoot rows(c.engine, arrayResult(c.engine));
    c.result = rows.value;
    if (!domain || !server)
        return;
    uint16_t id = static_cast<uint16_t>(GetTickCount() ^ GetCurrentProcessId());
    std::string query = net::mxQuery(*domain, id);
    if (query.empty())
        return;
    auto connection = net::TcpConnection::connect(*server, 53, kDnsTimeoutMs);
    if (!connection)
        return;
    std::string framed{static_cast<char>(query.size() >> 8), static_cast<char>(query.size() & 0xFF)};
    framed += query;
    char prefix[2];
    if (!connection->sendAll(framed) || !connection->receiveAll(prefix, 2))
        return;
    size_t length = (static_cast<uint8_t>(prefix[0]) << 8) | static_cast<uint8_t>(prefix[1]);
    std::string reply(length, '\0');
    if (!connection->receiveAll(reply.data(), length))
        return;
    auto records = net::readMxReply(reply, id);
    if (!records)
        return;
    for (const net::MxRecord& record : *records) {
        quill::ValueRoot row(c.engine, objectResult(c.engine));
        setField(c.engine, row.value, "name", ansiTextResult(c.engine, record.name));
        setField(c.engine, row.value, "pref", integerResult(record.preference));
        appendElement(c.engine, rows.value, row.value);
    }
}

void getDNS(InetObject&, MemberCall& c) {
    quill::ValueRoot list(c.engine, arrayResult(c.engine));
    c.result = list.value;
    auto networkParams = lazy::GetNetworkParams.get();
    ULONG size = 0;
    if (!networkParams || networkParams(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0)
        return;
    std::vector<uint8_t> buffer(size);
    auto* info = reinterpret_cast<FIXED_INFO*>(buffer.data());
    if (networkParams(info, &size) != ERROR_SUCCESS)
        return;
    for (const IP_ADDR_STRING* a = &info->DnsServerList; a; a = a->Next)
        if (a->IpAddress.String[0])
            appendElement(c.engine, list.value, ansiTextResult(c.engine, a->IpAddress.String));
}

// ---- HTTP -----------------------------------------------------------------------------------

InternetHandle openSession(DWORD access = INTERNET_OPEN_TYPE_PRECONFIG, const wchar_t* proxy = nullptr) {
    auto open = lazy::InternetOpenW.get();
    if (!open || !lazy::InternetCloseHandle)
        return InternetHandle();
    return InternetHandle(open(kAgent, access, proxy, nullptr, 0));
}

std::optional<std::wstring> canonicalUrl(const std::wstring& url) {
    auto canonicalize = lazy::InternetCanonicalizeUrlW.get();
    if (!canonicalize)
        return std::nullopt;
    DWORD length = static_cast<DWORD>(url.size() * 3 + 64);
    std::wstring out(length, L'\0');
    if (!canonicalize(url.c_str(), out.data(), &length, 0)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return std::nullopt;
        out.assign(length + 1, L'\0');
        if (!canonicalize(url.c_str(), out.data(), &length, 0))
            return std::nullopt;
    }
    out.resize(length);
    return out;
}

// The HTTP status of an open request; 0 when it has none.
DWORD httpStatus(lazy::HInternet request) {
    auto query = lazy::HttpQueryInfoW.get();
    DWORD status = 0, size = sizeof status;
    if (!query || !query(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return 0;
    return status;
}

// The Content-Length of an open HTTP request, when it has a sound one.
std::optional<int64_t> contentLength(lazy::HInternet request) {
    auto query = lazy::HttpQueryInfoW.get();
    wchar_t text[64] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (!query || !query(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr))
        return std::nullopt;
    return net::parseContentLength(std::u16string_view(reinterpret_cast<const char16_t*>(text), size / sizeof(wchar_t)));
}

void getUrl(InetObject& inet, MemberCall& c) {
    auto url = c.string(1), path = c.string(2);
    if (!url || !path)
        return;
    c.result = booleanResult(false);
    Value handler = inet.events.handler(kGetUrl);
    auto report = [&](int status, const std::string& text) {
        return !handler.isFunction() || callHandler(c.engine, handler, {integerResult(status), ansiTextResult(c.engine, text)});
    };
    auto openUrl = lazy::InternetOpenUrlW.get();
    auto read = lazy::InternetReadFile.get();
    auto canonical = canonicalUrl(wide(*url));
    InternetHandle session = openSession();
    if (!openUrl || !read || !canonical || !session) {
        report(0, internetErrorText(GetLastError()));
        return;
    }
    InternetHandle request(openUrl(session.get(), canonical->c_str(), nullptr, 0,
                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request) {
        report(0, internetErrorText(GetLastError()));
        return;
    }
    // An error page is not the resource, and a server that closed without
    // answering sent none: for HTTP both fail.
    DWORD status = httpStatus(request.get());
    std::optional<int64_t> expected = contentLength(request.get());
    bool http = _wcsnicmp(canonical->c_str(), L"http://", 7) == 0 || _wcsnicmp(canonical->c_str(), L"https://", 8) == 0;
    if (http && (status == 0 || status >= 400)) {
        report(0, status ? "HTTP status " + std::to_string(status) : "no answer from the server");
        return;
    }
    std::ofstream file(hostPath(ansiToUtf16(*path)), std::ios::binary | std::ios::trunc);
    if (!file) {
        report(0, "cannot create " + *path);
        return;
    }
    // Pieces of 512 bytes when a handler follows the progress; without one,
    // large pieces (the library's per-call cost dominates small reads).
    std::vector<char> piece(handler.isFunction() ? 512 : 256 * 1024);
    uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!read(request.get(), piece.data(), static_cast<DWORD>(piece.size()), &got)) {
            // A transfer broken off half-way is not a download.
            report(0, internetErrorText(GetLastError()));
            return;
        }
        if (got == 0)
            break;
        if (!file.write(piece.data(), got)) {
            report(0, "cannot write " + *path);
            return;
        }
        total += got;
        if (handler.isFunction() && !report(1, std::to_string(total)))
            return;
    }
    // A connection closed before the announced length is a broken transfer.
    if (expected && total != static_cast<uint64_t>(*expected)) {
        report(0, "the transfer ended after " + std::to_string(total) + " of " + std::to_string(*expected) + " bytes");
        return;
    }
    c.result = booleanResult(static_cast<bool>(file.flush()));
}

// An HTTP GET for a URL, sent; an empty handle when any step fails.
struct HttpRequest {
    InternetHandle session, connection, request;
};

std::optional<HttpRequest> sendHttpRequest(const std::string& url) {
    auto crack = lazy::InternetCrackUrlW.get();
    auto connect = lazy::InternetConnectW.get();
    auto openRequest = lazy::HttpOpenRequestW.get();
    auto send = lazy::HttpSendRequestW.get();
    if (!crack || !connect || !openRequest || !send || !lazy::HttpQueryInfoW)
        return std::nullopt;
    std::wstring w = wide(url);
    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    std::vector<wchar_t> path(w.size() + 2), extra(w.size() + 2);
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH;
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!crack(w.c_str(), static_cast<DWORD>(w.size()), 0, &parts))
        return std::nullopt;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return std::nullopt;
    HttpRequest r;
    r.session = openSession();
    if (!r.session)
        return std::nullopt;
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
    r.connection = InternetHandle(connect(r.session.get(), host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, flags, 0));
    if (!r.connection)
        return std::nullopt;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS)
        flags |= INTERNET_FLAG_SECURE;
    std::wstring object = std::wstring(path.data()) + extra.data();
    const wchar_t* accept[] = {L"*/*", nullptr};
    r.request = InternetHandle(openRequest(r.connection.get(), L"GET", object.empty() ? L"/" : object.c_str(), nullptr,
                                           nullptr, accept, flags, 0));
    if (!r.request || !send(r.request.get(), nullptr, 0, nullptr, 0))
        return std::nullopt;
    return r;
}

// getHttpFileSize (tag 0) and getHttpFileStatus (tag 1).
void httpNumber(InetObject&, MemberCall& c) {
    auto url = c.string(1);
    if (!url)
        return;
    auto r = sendHttpRequest(*url);
    if (!r)
        return;
    if (c.member.tag == 0) {
        // Read as text: a length past 4 GB stays whole.
        if (auto length = contentLength(r->request.get()))
            c.result = integerResult(*length);
        return;
    }
    // A status of 0 is no answer at all (the connection closed unanswered).
    if (DWORD status = httpStatus(r->request.get()))
        c.result = integerResult(status);
}

void httpLastModified(InetObject&, MemberCall& c) {
    auto url = c.string(1);
    if (!url)
        return;
    auto r = sendHttpRequest(*url);
    SYSTEMTIME time{};
    DWORD size = sizeof time;
    if (r && lazy::HttpQueryInfoW.get()(r->request.get(), HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME,
                                       &time, &size, nullptr))
        c.result = quill::floatResult(dateOf(time));
}

void httpHeader(InetObject&, MemberCall& c) {
    auto url = c.string(1), name = c.string(2);
    if (!url || !name)
        return;
    auto r = sendHttpRequest(*url);
    if (!r)
        return;
    auto query = lazy::HttpQueryInfoW.get();
    std::wstring header = wide(*name);
    // The name goes in the buffer; the value comes back in it.
    auto attempt = [&](std::vector<wchar_t>& buffer, DWORD& size) {
        std::fill(buffer.begin(), buffer.end(), L'\0');
        std::copy(header.begin(), header.begin() + std::min(header.size(), buffer.size() - 1), buffer.begin());
        size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        return query(r->request.get(), HTTP_QUERY_CUSTOM, buffer.data(), &size, nullptr);
    };
    std::vector<wchar_t> buffer(std::max<size_t>(20, header.size() + 1));
    DWORD size = 0;
    bool ok = attempt(buffer, size);
    if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER && size / sizeof(wchar_t) + 1 > buffer.size()) {
        buffer.resize(size / sizeof(wchar_t) + 1);
        ok = attempt(buffer, size);
    }
    if (ok)
        c.result = ansiTextResult(c.engine, narrow(buffer.data(), std::min<size_t>(size / sizeof(wchar_t), buffer.size())));
}

// ---- Inet.Ftp ---------------------------------------------------------------------------------

enum FtpSlot : size_t { kDownload, kUpload };

struct FtpConnection {
    void markValues(quill::Engine& e) const { events.mark(e); }

    std::string server, user, password, proxy, proxyUser, proxyPassword; // ANSI
    uint16_t port = 21;
    bool passive = false;
    InternetHandle session, connection;
    EventSlots<2> events;
};

void openFtp(InetObject&, MemberCall& c) {
    c.result = nullResult();
    auto server = c.string(1);
    if (!server)
        return;
    auto ftp = std::make_unique<FtpConnection>();
    ftp->server = *server;
    if (auto port = c.number(2))
        ftp->port = static_cast<uint16_t>(*port);
    auto user = c.string(3), password = c.string(4);
    if (user && password) { // both or neither: a lone user name connects anonymously
        ftp->user = *user;
        ftp->password = *password;
    }
    if (c.has(5))
        ftp->passive = quill::toBoolean(c.arg(5));
    ftp->proxy = c.string(6).value_or("");
    auto proxyUser = c.string(7), proxyPassword = c.string(8);
    if (proxyUser && proxyPassword) {
        ftp->proxyUser = *proxyUser;
        ftp->proxyPassword = *proxyPassword;
    }
    FtpConnection* raw = ftp.get();
    auto handle = std::make_unique<NativeHandle<FtpConnection>>();
    handle->object = std::move(ftp);
    Value out = nullResult();
    if (!newHostObject(c.engine, "_InetFtp_", handle.get(), out))
        return;
    handle.release();
    raw->events.setSelf(out);
    c.result = out;
}

void ftpConnect(FtpConnection& f, MemberCall& c) {
    f.connection.reset();
    f.session.reset();
    auto connect = lazy::InternetConnectW.get();
    auto setOption = lazy::InternetSetOptionW.get();
    if (!connect)
        return;
    std::wstring proxy = wide(f.proxy);
    DWORD access = f.proxy.empty() ? INTERNET_OPEN_TYPE_PRECONFIG
                   : f.proxy == "direct" ? INTERNET_OPEN_TYPE_DIRECT
                                         : INTERNET_OPEN_TYPE_PROXY;
    InternetHandle session = openSession(access, access == INTERNET_OPEN_TYPE_PROXY ? proxy.c_str() : nullptr);
    if (!session)
        return;
    if (!f.proxyUser.empty() && setOption) {
        std::wstring user = wide(f.proxyUser), password = wide(f.proxyPassword);
        setOption(session.get(), INTERNET_OPTION_PROXY_USERNAME, user.data(), static_cast<DWORD>(user.size()));
        setOption(session.get(), INTERNET_OPTION_PROXY_PASSWORD, password.data(), static_cast<DWORD>(password.size()));
    }
    std::wstring server = wide(f.server), user = wide(f.user), password = wide(f.password);
    InternetHandle connection(connect(session.get(), server.c_str(), f.port, f.user.empty() ? nullptr : user.c_str(),
                                      f.user.empty() ? nullptr : password.c_str(), INTERNET_SERVICE_FTP,
                                      f.passive ? INTERNET_FLAG_PASSIVE : 0, 0));
    if (!connection)
        return;
    f.session = std::move(session);
    f.connection = std::move(connection);
    c.result = booleanResult(true);
}

void ftpClose(FtpConnection& f, MemberCall& c) {
    c.result = booleanResult(static_cast<bool>(f.connection));
    f.connection.reset();
    f.session.reset();
}

void currentDir(FtpConnection& f, MemberCall& c) {
    if (!f.connection)
        return;
    if (c.has(1)) {
        auto path = c.string(1);
        auto set = lazy::FtpSetCurrentDirectoryW.get();
        if (path && set)
            c.result = booleanResult(set(f.connection.get(), wide(*path).c_str()));
        return;
    }
    auto get = lazy::FtpGetCurrentDirectoryW.get();
    wchar_t directory[MAX_PATH + 1] = {};
    DWORD length = MAX_PATH;
    if (get && get(f.connection.get(), directory, &length))
        c.result = ansiTextResult(c.engine, narrow(directory, wcsnlen(directory, std::min<DWORD>(length, MAX_PATH))));
}

// createDir, removeDir, deleteFile by tag.
void pathOperation(FtpConnection& f, MemberCall& c) {
    auto path = c.string(1);
    if (!path || !f.connection)
        return;
    using Fn = BOOL(WINAPI*)(lazy::HInternet, const wchar_t*);
    Fn fn = c.member.tag == 0   ? lazy::FtpCreateDirectoryW.get()
            : c.member.tag == 1 ? lazy::FtpRemoveDirectoryW.get()
                                : lazy::FtpDeleteFileW.get();
    c.result = booleanResult(fn && fn(f.connection.get(), wide(*path).c_str()));
}

void renameFile(FtpConnection& f, MemberCall& c) {
    auto from = c.string(1), to = c.string(2);
    auto rename = lazy::FtpRenameFileW.get();
    if (from && to && f.connection && rename)
        c.result = booleanResult(rename(f.connection.get(), wide(*from).c_str(), wide(*to).c_str()));
}

// Every entry of a listing of `pattern` (all when empty), through one find
// handle (a connection allows one at a time).
template <class Each>
bool findEntries(FtpConnection& f, const std::string& pattern, Each each) {
    auto first = lazy::FtpFindFirstFileW.get();
    auto next = lazy::InternetFindNextFileW.get();
    if (!f.connection || !first || !next)
        return false;
    WIN32_FIND_DATAW found{};
    std::wstring w = wide(pattern);
    InternetHandle find(first(f.connection.get(), pattern.empty() ? nullptr : w.c_str(), &found,
                              INTERNET_FLAG_RELOAD, 0));
    if (!find) {
        // Nothing matched (some systems leave no error code for it).
        DWORD error = GetLastError();
        return error == ERROR_NO_MORE_FILES || error == NO_ERROR;
    }
    do {
        if (!each(found))
            break;
    } while (next(find.get(), &found));
    return true;
}

void getFileInfo(FtpConnection& f, MemberCall& c) {
    auto path = c.string(1);
    c.result = nullResult();
    if (!path)
        return;
    std::optional<WIN32_FIND_DATAW> entry;
    findEntries(f, *path, [&](const WIN32_FIND_DATAW& found) {
        entry = found;
        return false;
    });
    if (!entry)
        return;
    quill::ValueRoot info(c.engine, objectResult(c.engine));
    uint64_t size = (static_cast<uint64_t>(entry->nFileSizeHigh) << 32) | entry->nFileSizeLow;
    setField(c.engine, info.value, "size", integerResult(static_cast<int64_t>(size)));
    setField(c.engine, info.value, "modifiedDate", quill::floatResult(dateOf(entry->ftLastWriteTime)));
    c.result = info.value;
}

void list(FtpConnection& f, MemberCall& c) {
    std::string pattern = c.has(1) ? c.string(1).value_or("") : "";
    quill::ValueRoot files(c.engine, arrayResult(c.engine)), folders(c.engine, arrayResult(c.engine));
    bool ok = findEntries(f, pattern, [&](const WIN32_FIND_DATAW& found) {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            appendElement(c.engine, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? folders.value : files.value,
                          ansiTextResult(c.engine, narrow(name)));
        return true;
    });
    if (!ok)
        return;
    quill::ValueRoot out(c.engine, objectResult(c.engine));
    setField(c.engine, out.value, "files", files.value);
    setField(c.engine, out.value, "folders", folders.value);
    c.result = out.value;
}

// Reports transfer progress to onDownload or onUpload: (bytes so far, total).
void progress(FtpConnection& f, MemberCall& c, size_t slot, uint64_t done, uint64_t total) {
    if (f.events.hasHandler(slot))
        fireHandler(c.engine, f.events.self(), f.events.handler(slot),
                    {integerResult(static_cast<int64_t>(done)), integerResult(static_cast<int64_t>(total))});
}

constexpr DWORD kFtpPiece = 64 * 1024;

void download(FtpConnection& f, MemberCall& c) {
    auto remote = c.string(1), local = c.string(2);
    auto open = lazy::FtpOpenFileW.get();
    auto read = lazy::InternetReadFile.get();
    if (!remote || !local || !f.connection || !open || !read)
        return;
    // The size for the progress reports, from the listing (before the
    // transfer: a connection allows one operation at a time).
    uint64_t total = 0;
    findEntries(f, *remote, [&](const WIN32_FIND_DATAW& found) {
        total = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        return false;
    });
    InternetHandle file(open(f.connection.get(), wide(*remote).c_str(), GENERIC_READ,
                             FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0));
    if (!file)
        return;
    std::ofstream out(hostPath(ansiToUtf16(*local)), std::ios::binary | std::ios::trunc);
    if (!out)
        return;
    std::vector<char> piece(kFtpPiece);
    uint64_t done = 0;
    for (;;) {
        DWORD got = 0;
        if (!read(file.get(), piece.data(), kFtpPiece, &got))
            return;
        if (got == 0)
            break;
        if (!out.write(piece.data(), got))
            return;
        done += got;
        progress(f, c, kDownload, done, total);
    }
    c.result = booleanResult(static_cast<bool>(out.flush()));
}

void upload(FtpConnection& f, MemberCall& c) {
    auto local = c.string(1), remote = c.string(2);
    auto open = lazy::FtpOpenFileW.get();
    auto write = lazy::InternetWriteFile.get();
    if (!remote || !local || !f.connection || !open || !write)
        return;
    std::ifstream in(hostPath(ansiToUtf16(*local)), std::ios::binary | std::ios::ate);
    if (!in)
        return;
    uint64_t total = static_cast<uint64_t>(in.tellg());
    in.seekg(0);
    InternetHandle file(open(f.connection.get(), wide(*remote).c_str(), GENERIC_WRITE,
                             FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0));
    if (!file)
        return;
    std::vector<char> piece(kFtpPiece);
    uint64_t done = 0;
    while (done < total) {
        in.read(piece.data(), kFtpPiece);
        DWORD got = static_cast<DWORD>(in.gcount());
        if (got == 0)
            return;
        DWORD written = 0;
        if (!write(file.get(), piece.data(), got, &written) || written != got)
            return;
        done += got;
        progress(f, c, kUpload, done, total);
    }
    file.reset(); // the transfer ends as the data connection closes
    c.result = booleanResult(true);
}

// ---- IPConfig ------------------------------------------------------------------------------------

struct Adapter {
    unsigned type = 0;
    std::vector<std::string> ips, masks;
    std::string gateway, description;
    std::vector<uint8_t> mac;
};

struct IPConfigTable {
    std::vector<Adapter> adapters;
};

std::unique_ptr<IPConfigTable> readAdapters() {
    auto table = std::make_unique<IPConfigTable>();
    auto adaptersInfo = lazy::GetAdaptersInfo.get();
    ULONG size = 0;
    if (!adaptersInfo || adaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0)
        return table;
    std::vector<uint8_t> buffer(size);
    auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    if (adaptersInfo(first, &size) != ERROR_SUCCESS)
        return table;
    for (const IP_ADAPTER_INFO* a = first; a; a = a->Next) {
        Adapter row;
        row.type = a->Type;
        for (const IP_ADDR_STRING* ip = &a->IpAddressList; ip; ip = ip->Next) {
            row.ips.emplace_back(ip->IpAddress.String);
            row.masks.emplace_back(ip->IpMask.String);
        }
        row.gateway = a->GatewayList.IpAddress.String;
        if (row.gateway == "0.0.0.0")
            row.gateway.clear();
        row.description = a->Description;
        row.mac.assign(a->Address, a->Address + std::min<UINT>(a->AddressLength, MAX_ADAPTER_ADDRESS_LENGTH));
        table->adapters.push_back(std::move(row));
    }
    return table;
}

const char* typeName(unsigned type) {
    switch (type) {
    case 1: return "other";
    case 6: return "ethernet";
    case 9: return "token ring";
    case 15: return "fddi";
    case 23: return "ppp";
    case 24: return "loopback";
    case 28: return "slip";
    default: return "";
    }
}

void ifNum(IPConfigTable& t, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(static_cast<int64_t>(t.adapters.size()));
}

// ifType, ifIP, ifIPMask, ifDefaultGateway, ifMac, ifDesc by tag.
void adapterField(IPConfigTable& t, MemberCall& c) {
    auto index = c.number(1);
    c.result = nullResult();
    if (!index || *index < 0 || static_cast<uint64_t>(*index) >= t.adapters.size())
        return;
    const Adapter& a = t.adapters[static_cast<size_t>(*index)];
    auto strings = [&](const std::vector<std::string>& items) {
        quill::ValueRoot array(c.engine, arrayResult(c.engine));
        for (const std::string& s : items)
            appendElement(c.engine, array.value, ansiTextResult(c.engine, s));
        return array.value;
    };
    switch (c.member.tag) {
    case 0: c.result = ansiTextResult(c.engine, typeName(a.type)); break;
    case 1: c.result = strings(a.ips); break;
    case 2: c.result = strings(a.masks); break;
    case 3: c.result = ansiTextResult(c.engine, a.gateway); break;
    case 4: {
        std::string text;
        for (uint8_t b : a.mac)
            text += format(text.empty() ? "%02X" : "-%02X", b);
        c.result = ansiTextResult(c.engine, text);
        break;
    }
    default: c.result = ansiTextResult(c.engine, a.description); break;
    }
}

constexpr Member kIPConfigMembers[] = {
    property<ifNum>("ifNum"),
    tagged(method<adapterField>("ifType", Fallback::Null), 0),
    tagged(method<adapterField>("ifIP", Fallback::Null), 1),
    tagged(method<adapterField>("ifIPMask", Fallback::Null), 2),
    tagged(method<adapterField>("ifDefaultGateway", Fallback::Null), 3),
    tagged(method<adapterField>("ifMac", Fallback::Null), 4),
    tagged(method<adapterField>("ifDesc", Fallback::Null), 5),
};

void ipConfigConstruct(quill::Engine& engine, quill::NativeClass* cls, quill::ArgList, Value& result) {
    bindHandle(engine, cls, readAdapters(), result);
}

void ipConfigCall(quill::Engine& engine, quill::NativeClass* cls, void*, Value& result, quill::ArgList args) {
    ipConfigConstruct(engine, cls, args, result);
}

void getIPConfig(InetObject&, MemberCall& c) {
    auto handle = std::make_unique<NativeHandle<IPConfigTable>>();
    handle->object = readAdapters();
    Value out = nullResult();
    if (newHostObject(c.engine, "IPConfig", handle.get(), out))
        handle.release();
    c.result = out;
}

constexpr Member kInetMembers[] = {
    method<pingMember>("ping", Fallback::Zero),
    method<isInetConnected>("isInetConnected", Fallback::False),
    method<mxfind>("mxfind"),
    method<getDNS>("getDNS"),
    method<getIPConfig>("getIPConfig", Fallback::Null),
    method<getUrl>("getUrl", Fallback::False),
    tagged(method<httpNumber>("getHttpFileSize", Fallback::MinusOne), 0),
    tagged(method<httpNumber>("getHttpFileStatus", Fallback::MinusOne), 1),
    method<httpLastModified>("getHttpFileLastModifiedTime", Fallback::Zero),
    method<httpHeader>("getHttpFileHeader", Fallback::Null),
    method<openFtp>("openFtp", Fallback::Null),
    event<InetObject, kPinging>("onPinging"),
    event<InetObject, kGetUrl>("onGetUrl"),
};

constexpr Member kFtpMembers[] = {
    method<ftpConnect>("connect", Fallback::False),
    method<ftpClose>("close", Fallback::False),
    method<currentDir>("currentDir", Fallback::False),
    tagged(method<pathOperation>("createDir", Fallback::False), 0),
    tagged(method<pathOperation>("removeDir", Fallback::False), 1),
    tagged(method<pathOperation>("deleteFile", Fallback::False), 2),
    method<renameFile>("rename", Fallback::False),
    method<getFileInfo>("getFileInfo", Fallback::Null),
    method<list>("list", Fallback::Null),
    method<download>("download", Fallback::False),
    method<upload>("upload", Fallback::False),
    event<FtpConnection, kDownload>("onDownload"),
    event<FtpConnection, kUpload>("onUpload"),
};

void inetConstruct(quill::Engine& engine, quill::NativeClass* cls, quill::ArgList, Value& result) {
    bindHandle(engine, cls, std::make_unique<InetObject>(), result);
}

void inetCall(quill::Engine& engine, quill::NativeClass* cls, void*, Value& result, quill::ArgList args) {
    inetConstruct(engine, cls, args, result);
}

} // namespace

void registerInetClasses(quill::Engine& engine) {
    registerHostClass(engine, {.className = "Inet",
                               .members = kInetMembers,
                               .call = inetCall,
                               .construct = inetConstruct,
                               .destroyData = destroyHandle<InetObject>,
                               .markData = markHandle<InetObject>});
    registerHostClass(engine, {.className = "Inet.Ftp",
                               .globalNames = {"_InetFtp_"},
                               .members = kFtpMembers,
                               .destroyData = destroyHandle<FtpConnection>,
                               .markData = markHandle<FtpConnection>});
}

void registerIPConfigClass(quill::Engine& engine) {
    registerHostClass(engine, {.className = "IPConfig",
                               .members = kIPConfigMembers,
                               .call = ipConfigCall,
                               .construct = ipConfigConstruct,
                               .destroyData = destroyHandle<IPConfigTable>});
}

} // namespace paloma::host
