// The Windows name lookup's time bound. This program's imports of getaddrinfo and freeaddrinfo
// are pointed at stand-ins that answer after a chosen delay, so a resolver that hangs can be
// played without a network: the caller must get its answer within the bound, and a lookup
// that answers after the caller gave up must end its thread cleanly.
#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Network.h"
#include "platform/WinHandles.h"
#include "tests/wine/support/ImportRedirect.h"

namespace kv {
namespace {

// What the stand-in resolver does next: wait delayMs, then answer with address (or fail).
std::atomic<DWORD> g_delayMs{0};
std::atomic<bool> g_answers{true};
std::atomic<int> g_calls{0};
std::atomic<HANDLE> g_lookupThread{nullptr};  // the thread of the last lookup, held open
const uint32_t kAnswer = 0x0302010A;          // 10.1.2.3 in network order

struct StandInAnswer {
    addrinfo info;
    sockaddr_in address;
};

int WSAAPI StandInGetAddrInfo(const char*, const char*, const addrinfo*, addrinfo** result) {
    ++g_calls;
    HANDLE self = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &self, SYNCHRONIZE, FALSE, 0);
    UniqueKernelHandle before(g_lookupThread.exchange(self));  // an earlier lookup's, not taken
    ::Sleep(g_delayMs.load());
    int rc = WSAHOST_NOT_FOUND;
    *result = nullptr;
    if (g_answers.load()) {
        auto* answer = new StandInAnswer{};
        answer->address.sin_family = AF_INET;
        answer->address.sin_addr.s_addr = kAnswer;
        answer->info.ai_family = AF_INET;
        answer->info.ai_socktype = SOCK_STREAM;
        answer->info.ai_addr = reinterpret_cast<sockaddr*>(&answer->address);
        answer->info.ai_addrlen = sizeof answer->address;
        *result = &answer->info;
        rc = 0;
    }
    return rc;
}

void WSAAPI StandInFreeAddrInfo(addrinfo* info) {
    delete reinterpret_cast<StandInAnswer*>(info);
}

// The thread that ran the last stand-in lookup, now the caller's to hold.
UniqueKernelHandle TakeLookupThread() {
    return UniqueKernelHandle(g_lookupThread.exchange(nullptr));
}

// Waits until the thread that ran the last stand-in lookup has ended.
bool LookupThreadEnded(DWORD limitMs) {
    const UniqueKernelHandle thread = TakeLookupThread();
    return thread && ::WaitForSingleObject(thread.get(), limitMs) == WAIT_OBJECT_0;
}

class Resolve : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        HMODULE self = ::GetModuleHandleW(nullptr);
        redirected_ =
            testing::RedirectImport(self, "ws2_32.dll", "getaddrinfo", reinterpret_cast<void*>(&StandInGetAddrInfo)) &&
            testing::RedirectImport(self, "ws2_32.dll", "freeaddrinfo", reinterpret_cast<void*>(&StandInFreeAddrInfo));
    }
    void SetUp() override {
        ASSERT_TRUE(redirected_) << "the program's resolver imports could not be pointed at the stand-in";
        ASSERT_TRUE(SystemNetwork().Start());
    }
    void TearDown() override { SystemNetwork().Stop(); }
    static bool redirected_;
};
bool Resolve::redirected_ = false;

TEST_F(Resolve, AnswersWithinItsBound) {
    struct Case {
        const char* name;
        const char* host;
        DWORD delayMs;
        bool answers;
        bool found;
        uint32_t addr;
        DWORD minMs, maxMs;  // how long the caller waits
        int calls;           // lookups started
    } const cases[] = {
        {"a quick answer", "templates.example", 100, true, true, kAnswer, 50, 1500, 1},
        {"a quick failure", "nowhere.example", 0, false, false, 0, 0, 1000, 1},
        {"a dotted address needs no lookup", "192.0.2.7", 0, true, true, 0x070200C0u, 0, 500, 0},
        {"an empty name", "", 0, true, false, 0, 0, 500, 0},
        {"an answer just inside the bound", "slowish.example", 2000, true, true, kAnswer, 1900, 3000, 1},
        // The resolver hangs: the caller goes on after the bound, the lookup finishes alone.
        {"a resolver that hangs", "hangs.example", 5000, true, false, 0, 2900, 4200, 1},
        {"a hanging failure", "hangs.example", 4500, false, false, 0, 2900, 4200, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_delayMs = c.delayMs;
        g_answers = c.answers;
        g_calls = 0;
        uint32_t addr = 0;
        const DWORD start = ::GetTickCount();
        const bool found = SystemNetwork().Resolve(c.host, &addr);
        const DWORD took = ::GetTickCount() - start;
        std::printf("%-34s found=%d in %5lu ms\n", c.name, found ? 1 : 0, static_cast<unsigned long>(took));
        EXPECT_EQ(found, c.found);
        if (c.found) {
            EXPECT_EQ(addr, c.addr);
        }
        EXPECT_GE(took, c.minMs);
        EXPECT_LE(took, c.maxMs);
        EXPECT_EQ(g_calls.load(), c.calls);
        // The lookup's thread ends, a late one after its answer (which nobody reads any more).
        if (c.calls > 0) {
            EXPECT_TRUE(LookupThreadEnded(c.delayMs + 5000));
        }
    }
}

// A caller that gave up on a hanging lookup can look up again at once, and is answered
// while the first lookup still hangs.
TEST_F(Resolve, NextLookupWhileOneHangs) {
    g_calls = 0;
    g_answers = true;
    g_delayMs = 5000;
    uint32_t addr = 0;
    EXPECT_FALSE(SystemNetwork().Resolve("hangs.example", &addr));
    const UniqueKernelHandle hanging = TakeLookupThread();
    g_delayMs = 50;
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(SystemNetwork().Resolve("templates.example", &addr));
    EXPECT_LT(::GetTickCount() - start, 1500u);
    EXPECT_EQ(addr, kAnswer);
    EXPECT_EQ(g_calls.load(), 2);
    EXPECT_TRUE(LookupThreadEnded(5000));
    ASSERT_TRUE(hanging);
    EXPECT_EQ(::WaitForSingleObject(hanging.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the first lookup still hangs";
    EXPECT_EQ(::WaitForSingleObject(hanging.get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
}

}  // namespace
}  // namespace kv
