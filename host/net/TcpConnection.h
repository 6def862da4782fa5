#pragma once
// A blocking TCP connection with send and receive time-outs, and the IPv4
// host lookup every network member shares (the name resolved by host lookup,
// else taken as a dotted address). TcpConnectionWin.cpp and
// TcpConnectionPosix.cpp implement it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace paloma::host::net {

// Starts the socket library once for the process (version 2.2); false when
// it cannot start. Always true outside Windows.
bool socketsReady();

// The IPv4 address of `host` in network byte order, or nullopt.
std::optional<uint32_t> resolveIPv4(const std::string& host);

// The system's text for the last socket error of the thread.
std::string lastSocketErrorText();

class TcpConnection {
public:
    // Null when the host cannot be resolved or the connection cannot be made.
    static std::unique_ptr<TcpConnection> connect(const std::string& host, uint16_t port, int timeoutMs);

    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Sends every byte; false on a failure.
    bool sendAll(std::string_view bytes);
    // Up to `capacity` bytes: the count, 0 when the peer closed, negative on
    // a failure or a time-out.
    long receive(char* buffer, size_t capacity);
    // Fills `buffer` completely; false when the connection ends first.
    bool receiveAll(char* buffer, size_t size);

private:
    explicit TcpConnection(intptr_t handle) : handle_(handle) {}
    intptr_t handle_;
};

} // namespace paloma::host::net
