#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "host/net/TcpConnection.h"

namespace paloma::host::net {

bool socketsReady() { return true; }

std::optional<uint32_t> resolveIPv4(const std::string& host) {
    if (host.empty())
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
    in_addr dotted{};
    if (inet_pton(AF_INET, host.c_str(), &dotted) != 1)
        return std::nullopt;
    return dotted.s_addr;
}

std::string lastSocketErrorText() { return std::strerror(errno); }

std::unique_ptr<TcpConnection> TcpConnection::connect(const std::string& host, uint16_t port, int timeoutMs) {
    auto resolved = resolveIPv4(host);
    if (!resolved)
        return nullptr;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = *resolved;
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<TcpConnection> connection(new TcpConnection(fd));
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return nullptr;
    return connection;
}

TcpConnection::~TcpConnection() { ::close(static_cast<int>(handle_)); }

bool TcpConnection::sendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t sent = ::send(static_cast<int>(handle_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

long TcpConnection::receive(char* buffer, size_t capacity) {
    for (;;) {
        ssize_t got = ::recv(static_cast<int>(handle_), buffer, capacity, 0);
        if (got < 0 && errno == EINTR)
            continue;
        return static_cast<long>(got);
    }
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
