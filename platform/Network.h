// Socket layer seen by the service client. One implementation per platform:
// network_posix.cpp (BSD sockets) and network_win32.cpp (Winsock 2.2).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kv {

// A connected-or-not IPv4 TCP stream socket; closed when the object goes away.
class Socket {
public:
    virtual ~Socket() = default;
    // addr is in network byte order. False when refused, unreachable, or not connected within
    // timeoutMs.
    virtual bool Connect(uint32_t addr, int port, int timeoutMs) = 0;
    // Bytes sent, or -1 on error.
    virtual long Send(const char* data, size_t count) = 0;
    // 1 readable, 0 time-out, -1 error.
    virtual int WaitReadable(int timeoutMs) = 0;
    // Bytes readable now (FIONREAD), or -1 when the question fails.
    virtual long Available() = 0;
    // Bytes received, 0 on orderly close, -1 on error.
    virtual long Receive(char* buffer, size_t count) = 0;
};

class Network {
public:
    virtual ~Network() = default;
    // Starts and stops the platform socket layer (WSAStartup 2.2 / WSACleanup); calls nest.
    virtual bool Start() = 0;
    virtual void Stop() = 0;
    // First IPv4 address of host (network order); false when the name does not resolve.
    virtual bool Resolve(const std::string& host, uint32_t* addr) = 0;
    // A new TCP socket, or nullptr when none can be created.
    virtual std::unique_ptr<Socket> CreateSocket() = 0;
};

// The real socket layer of this platform.
Network& SystemNetwork();

}  // namespace kv
