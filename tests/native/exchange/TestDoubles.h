// Stand-ins for the platform: a cookie store with a fixed answer, a network that counts what
// the client asks of the real one and can map made-up names to loopback, and a loopback port
// that refuses connections.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <string>

#include "platform/CookieSource.h"
#include "platform/Network.h"
#include "platform/UniqueFd.h"

namespace kv::test {

class FixedCookies : public CookieSource {
public:
    FixedCookies(bool ok, std::string value) : ok_(ok), value_(std::move(value)) {}
    bool GetCookie(const std::string& url, std::string* cookies, size_t capacity) override {
        askedUrl = url;
        askedCapacity = capacity;
        if (!ok_) return false;
        *cookies = value_;
        return true;
    }
    std::string askedUrl;
    size_t askedCapacity = 0;

private:
    bool ok_;
    std::string value_;
};

class CountingNetwork : public Network {
public:
    explicit CountingNetwork(Network& real) : real_(real) {}
    bool Start() override {
        ++starts;
        return real_.Start();
    }
    void Stop() override {
        ++stops;
        real_.Stop();
    }
    bool Resolve(const std::string& host, uint32_t* addr) override {
        ++resolves;
        auto it = names.find(host);
        if (it != names.end()) {
            *addr = it->second;
            return true;
        }
        return real_.Resolve(host, addr);
    }
    std::unique_ptr<Socket> CreateSocket() override {
        ++sockets;
        return real_.CreateSocket();
    }

    std::map<std::string, uint32_t> names;
    int starts = 0, stops = 0, resolves = 0, sockets = 0;

private:
    Network& real_;
};

// A loopback port that is bound but never listens: connections to it are refused for as long
// as the object lives, and no other program can take the port meanwhile.
class RefusingPort {
public:
    RefusingPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ && ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int port() const { return port_; }

private:
    kv::UniqueFd fd_;
    int port_ = 0;
};

}  // namespace kv::test
