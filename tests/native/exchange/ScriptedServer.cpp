#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace kv::test {

ScriptedServer::ScriptedServer(std::vector<Step> script, bool readRequest)
    : script_(std::move(script)), readRequest_(readRequest) {
    listen_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    int one = 1;
    ::setsockopt(listen_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = 0;
    if (::bind(listen_.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(listen_.get(), 8) != 0) {
        std::perror("ScriptedServer");
        return;
    }
    socklen_t len = sizeof sa;
    ::getsockname(listen_.get(), reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    thread_ = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
    Stop();
}

void ScriptedServer::Stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    listen_.reset();
}

std::vector<std::string> ScriptedServer::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool ScriptedServer::WaitForRequests(size_t count, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (requests().size() < count) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool ScriptedServer::Sleep(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (stopping_) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !stopping_;
}

void ScriptedServer::Run() {
    while (!stopping_) {
        pollfd p{listen_.get(), POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        kv::UniqueFd fd(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!fd) continue;
        ++connections_;
        Serve(fd.get());
    }
}

void ScriptedServer::Serve(int fd) {
    std::string head;
    if (readRequest_) {
        // Read up to the end of the request head (bounded by size and 5 s).
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 &&
               std::chrono::steady_clock::now() < end && !stopping_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buf[4096];
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            head.append(buf, static_cast<size_t>(n));
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(head);
    }
    for (const Step& step : script_) {
        switch (step.kind) {
            case Step::Send: ::send(fd, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL); break;
            case Step::Pause:
                if (!Sleep(step.ms)) return;
                break;
            case Step::Drip:
                for (char c : step.bytes) {
                    if (::send(fd, &c, 1, MSG_NOSIGNAL) != 1 || !Sleep(step.ms)) return;
                }
                break;
            case Step::Hold:
                while (Sleep(20)) {}
                return;
        }
    }
}

}  // namespace kv::test
