#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "host/framework/WinHandles.h"
#include "host/net/TcpConnection.h"

namespace paloma::host::net {

bool socketsReady() {
    static ScopedWinsock winsock(MAKEWORD(2, 2));
    return winsock.ok();
}

std::optional<uint32_t> resolveIPv4(const std::string& host) {
    if (!socketsReady() || host.empty())
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found) {
        uint32_t address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
        freeaddrinfo(found);
        return address;
    }
    unsigned long dotted = inet_addr(host.c_str());
    if (dotted == INADDR_NONE)
        return std::nullopt;
    return static_cast<uint32_t>(dotted);
}

std::string lastSocketErrorText() {
    int code = WSAGetLastError();
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "socket error " + std::to_string(code);
    if (text)
        LocalFree(text);
    return out;
}

std::unique_ptr<TcpConnection> TcpConnection::connect(const std::string& host, uint16_t port, int timeoutMs) {
    auto resolved = resolveIPv4(host);
    if (!resolved)
        return nullptr;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = *resolved;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return nullptr;
    std::unique_ptr<TcpConnection> connection(new TcpConnection(static_cast<intptr_t>(s)));
    DWORD timeout = static_cast<DWORD>(timeoutMs);
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return nullptr;
    return connection;
}

TcpConnection::~TcpConnection() { closesocket(static_cast<SOCKET>(handle_)); }

bool TcpConnection::sendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        int chunk = static_cast<int>(std::min<size_t>(bytes.size(), 1 << 20));
        int sent = ::send(static_cast<SOCKET>(handle_), bytes.data(), chunk, 0);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

long TcpConnection::receive(char* buffer, size_t capacity) {
    int chunk = static_cast<int>(std::min<size_t>(capacity, 1 << 20));
    return ::recv(static_cast<SOCKET>(handle_), buffer, chunk, 0);
}

bool TcpConnection::receiveAll(char* buffer, size_t size) {
    while (size > 0) {
        long got = receive(buffer, size);
        if (got <= 0)
            return false;
        buffer += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

} // namespace paloma::host::net
