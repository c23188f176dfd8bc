// A scripted HTTP server on a free loopback port, run in a thread: it answers one request per
// connection from a handler and keeps every request head in arrival order. Stopped and joined
// by its destructor.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"

namespace kvtest {

struct ScriptedReply {
    enum Kind { Normal, CloseAtOnce } kind = Normal;
    std::string body;
};

class LoopbackServer {
public:
    using Handler = std::function<ScriptedReply(const std::string& target)>;

    explicit LoopbackServer(Handler handler) : handler_(std::move(handler)) {
        listen_.reset(::socket(AF_INET, SOCK_STREAM, 0));
        int one = 1;
        ::setsockopt(listen_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(listen_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listen_.get(), 16);
        socklen_t len = sizeof addr;
        ::getsockname(listen_.get(), reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        thread_.join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // Raw request heads, in arrival order.
    std::vector<std::string> heads() {
        std::lock_guard<std::mutex> lock(mutex_);
        return heads_;
    }
    // Waits until count request heads have been read; false after timeoutMs.
    bool WaitForHeads(size_t count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return heads_.size() >= count; });
    }
    // Request targets in arrival order.
    std::vector<std::string> targets() {
        std::vector<std::string> out;
        for (const std::string& head : heads()) out.push_back(TargetOf(head));
        return out;
    }
    static std::string TargetOf(const std::string& head) {
        size_t a = head.find(' ');
        size_t b = head.find(' ', a + 1);
        if (a == std::string::npos || b == std::string::npos) return head;
        return head.substr(a + 1, b - a - 1);
    }

private:
    void Run() {
        while (!stop_) {
            pollfd p{listen_.get(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            kv::UniqueFd fd(::accept(listen_.get(), nullptr, nullptr));
            if (!fd) continue;
            Serve(fd.get());
        }
    }
    void Serve(int fd) {
        std::string head;
        char buf[1024];
        while (head.find("\r\n\r\n") == std::string::npos) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) break;
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            head.append(buf, static_cast<size_t>(n));
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            heads_.push_back(head);
        }
        arrived_.notify_all();
        ScriptedReply reply = handler_(TargetOf(head));
        if (reply.kind == ScriptedReply::CloseAtOnce) return;
        std::string text =
            "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(reply.body.size()) +
            "\r\n\r\n" + reply.body;
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    }

    Handler handler_;
    kv::UniqueFd listen_;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> heads_;
    std::condition_variable arrived_;
    std::thread thread_;
};

}  // namespace kvtest
