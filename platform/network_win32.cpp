// Winsock 2.2 for the Windows builds.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/Network.h"
#include "platform/WinHandles.h"

namespace kv {

namespace {

timeval ToTimeval(int ms) {
    if (ms < 0) ms = 0;
    timeval tv;
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

class WinSocket : public Socket {
public:
    explicit WinSocket(UniqueSocket s) : s_(std::move(s)) {}

    bool Connect(uint32_t addr, int port, int timeoutMs) override {
        if (port <= 0 || port > 65535) return false;
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<u_short>(port));
        sa.sin_addr.s_addr = addr;
        // Non-blocking connect so an unreachable host costs a bounded wait.
        u_long nonBlocking = 1;
        if (::ioctlsocket(s_.get(), FIONBIO, &nonBlocking) != 0) return false;
        if (::connect(s_.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s_.get(), &writable);
            FD_SET(s_.get(), &failed);
            timeval tv = ToTimeval(timeoutMs);
            if (::select(0, nullptr, &writable, &failed, &tv) <= 0) return false;
            if (FD_ISSET(s_.get(), &failed) || !FD_ISSET(s_.get(), &writable)) return false;
            int err = 0;
            int len = sizeof err;
            if (::getsockopt(s_.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0 || err != 0)
                return false;
        }
        u_long blocking = 0;
        if (::ioctlsocket(s_.get(), FIONBIO, &blocking) != 0) return false;
        // Sends block from here on; a peer that stops reading holds one no longer than a connect.
        const DWORD sendMs = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 1;
        ::setsockopt(s_.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendMs), sizeof sendMs);
        return true;
    }

    long Send(const char* data, size_t count) override {
        int n = ::send(s_.get(), data, count > INT_MAX ? INT_MAX : static_cast<int>(count), 0);
        return n == SOCKET_ERROR ? -1 : n;
    }

    int WaitReadable(int timeoutMs) override {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s_.get(), &readable);
        timeval tv = ToTimeval(timeoutMs);
        int r = ::select(0, &readable, nullptr, nullptr, &tv);
        if (r == SOCKET_ERROR) return -1;
        return r > 0 ? 1 : 0;
    }

    long Available() override {
        u_long count = 0;
        if (::ioctlsocket(s_.get(), FIONREAD, &count) != 0) return -1;
        return count > static_cast<u_long>(LONG_MAX) ? LONG_MAX : static_cast<long>(count);
    }

    long Receive(char* buffer, size_t count) override {
        int n = ::recv(s_.get(), buffer, count > INT_MAX ? INT_MAX : static_cast<int>(count), 0);
        return n == SOCKET_ERROR ? -1 : n;
    }

private:
    UniqueSocket s_;
};

class WinNetwork : public Network {
public:
    // Winsock counts its own starts, so nested sessions need no bookkeeping here.
    bool Start() override {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    void Stop() override { ::WSACleanup(); }

    bool Resolve(const std::string& host, uint32_t* addr) override {
        if (host.empty()) return false;
        uint32_t literal = 0;
        if (::inet_pton(AF_INET, host.c_str(), &literal) == 1) {  // no lookup for a dotted address
            *addr = literal;
            return true;
        }
        // The system resolver has no time limit of its own that we can set, and the caller is
        // the host's window thread: the lookup runs on a thread of its own and is waited for
        // up to kResolveTimeoutMs. A lookup that takes longer finishes (and frees its state)
        // by itself; it holds a reference on this module so that it never runs unloaded code.
        auto lookup = std::make_shared<Lookup>();
        lookup->host = host;
        lookup->done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!lookup->done) return false;
        HMODULE self = nullptr;
        if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                  reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&LookupThread)), &self))
            return false;
        auto* handoff = new (std::nothrow) LookupHandoff{lookup, self};
        if (!handoff) {
            ::FreeLibrary(self);
            return false;
        }
        UniqueKernelHandle thread(::CreateThread(nullptr, 0, &LookupThread, handoff, 0, nullptr));
        if (!thread) {
            delete handoff;
            ::FreeLibrary(self);
            return false;
        }
        if (::WaitForSingleObject(lookup->done.get(), kResolveTimeoutMs) != WAIT_OBJECT_0) return false;
        if (!lookup->found) return false;
        *addr = lookup->addr;
        return true;
    }

    std::unique_ptr<Socket> CreateSocket() override {
        UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (!s) return nullptr;
        // On a failed allocation the socket closes with s.
        return std::unique_ptr<Socket>(new (std::nothrow) WinSocket(std::move(s)));
    }

private:
    static constexpr DWORD kResolveTimeoutMs = 3000;

    struct Lookup {
        std::string host;
        UniqueKernelHandle done;
        bool found = false;
        uint32_t addr = 0;
    };
    struct LookupHandoff {
        std::shared_ptr<Lookup> lookup;
        HMODULE module;
    };

    static DWORD WINAPI LookupThread(void* param) {
        HMODULE module = static_cast<LookupHandoff*>(param)->module;
        {
            std::unique_ptr<LookupHandoff> handoff(static_cast<LookupHandoff*>(param));
            Lookup& lookup = *handoff->lookup;
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* list = nullptr;
            if (::getaddrinfo(lookup.host.c_str(), nullptr, &hints, &list) == 0 && list) {
                for (const addrinfo* a = list; a; a = a->ai_next) {
                    if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) continue;
                    lookup.addr = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
                    lookup.found = true;
                    break;
                }
            }
            if (list) ::freeaddrinfo(list);
            ::SetEvent(lookup.done.get());
        }  // the last owner of the lookup's state may be this thread: it goes before the module
        ::FreeLibraryAndExitThread(module, 0);
        return 0;
    }
};

}  // namespace

Network& SystemNetwork() {
    static WinNetwork network;
    return network;
}

}  // namespace kv
