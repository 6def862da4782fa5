#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "host/framework/WinHandles.h"
#include "host/mail/MailSocket.h"

namespace paloma::host::mail {

namespace {

constexpr DWORD kTimeoutMs = 60000;

bool winsockReady() {
    static ScopedWinsock winsock(MAKEWORD(2, 2));
    return winsock.ok();
}

} // namespace

BoundarySeed mailBoundarySeed() { return {GetCurrentProcessId(), GetTickCount()}; }

const char* mailCharset() { return charsetForCodePage(GetACP()); }

std::unique_ptr<MailSocket> MailSocket::connect(const std::string& server, uint16_t port) {
    if (!winsockReady())
        return nullptr;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(server.c_str(), nullptr, &hints, &found) == 0 && found) {
        address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    } else {
        unsigned long dotted = inet_addr(server.c_str());
        if (dotted == INADDR_NONE)
            return nullptr;
        address.sin_addr.s_addr = dotted;
    }
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return nullptr;
    std::unique_ptr<MailSocket> socket(new MailSocket(static_cast<intptr_t>(s)));
    DWORD timeout = kTimeoutMs;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return nullptr;
    return socket;
}

std::string MailSocket::localName() {
    char name[256] = {};
    if (winsockReady() && gethostname(name, sizeof name - 1) == 0 && name[0])
        return name;
    return "127.0.0.1";
}

std::string MailSocket::lastErrorText() {
    int code = WSAGetLastError();
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "socket error " + std::to_string(code);
    if (text)
        LocalFree(text);
    return out;
}

MailSocket::~MailSocket() { closesocket(static_cast<SOCKET>(handle_)); }

bool MailSocket::send(std::string_view bytes) {
    while (!bytes.empty()) {
        int chunk = static_cast<int>(std::min<size_t>(bytes.size(), 1 << 20));
        int sent = ::send(static_cast<SOCKET>(handle_), bytes.data(), chunk, 0);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

long MailSocket::receive(char* buffer, size_t capacity) {
    int chunk = static_cast<int>(std::min<size_t>(capacity, 1 << 20));
    return ::recv(static_cast<SOCKET>(handle_), buffer, chunk, 0);
}

} // namespace paloma::host::mail
