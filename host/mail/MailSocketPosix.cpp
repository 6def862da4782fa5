#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <ctime>
#include <unistd.h>

#include "host/mail/MailSocket.h"

namespace paloma::host::mail {

namespace {
constexpr int kTimeoutMs = 60000;
}

BoundarySeed mailBoundarySeed() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return {static_cast<uint32_t>(getpid()), static_cast<uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000)};
}

const char* mailCharset() { return charsetForCodePage(1252); }

std::unique_ptr<MailSocket> MailSocket::connect(const std::string& server, uint16_t port) {
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
    } else if (inet_pton(AF_INET, server.c_str(), &address.sin_addr) != 1) {
        return nullptr;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<MailSocket> socket(new MailSocket(fd));
    timeval timeout{kTimeoutMs / 1000, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return nullptr;
    return socket;
}

std::string MailSocket::localName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0 && name[0])
        return name;
    return "127.0.0.1";
}

std::string MailSocket::lastErrorText() { return std::strerror(errno); }

MailSocket::~MailSocket() { ::close(static_cast<int>(handle_)); }

bool MailSocket::send(std::string_view bytes) {
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

long MailSocket::receive(char* buffer, size_t capacity) {
    for (;;) {
        ssize_t got = ::recv(static_cast<int>(handle_), buffer, capacity, 0);
        if (got < 0 && errno == EINTR)
            continue;
        return static_cast<long>(got);
    }
}

} // namespace paloma::host::mail
