// A real HTTP server on a free loopback port, run in a thread, that answers every connection
// with the same script of sends, pauses and closes: the misbehaving peer of the exchange tests.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"

namespace kv::test {

struct Step {
    enum Kind { Send, Pause, Drip, Hold } kind;
    std::string bytes;
    int ms = 0;
};

inline Step Send(std::string bytes) {
    return {Step::Send, std::move(bytes), 0};
}
inline Step Pause(int ms) {
    return {Step::Pause, {}, ms};
}
// One byte at a time with ms between them.
inline Step Drip(std::string bytes, int ms) {
    return {Step::Drip, std::move(bytes), ms};
}
// Keep the connection open, silent, until the server stops.
inline Step Hold() {
    return {Step::Hold, {}, 0};
}

class ScriptedServer {
public:
    // Without Hold the connection is closed after the last step.
    explicit ScriptedServer(std::vector<Step> script, bool readRequest = true);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return port_; }
    int connections() const { return connections_.load(); }
    // The request head of each connection, as received.
    std::vector<std::string> requests();
    // Waits until count request heads have been read; false after timeoutMs.
    bool WaitForRequests(size_t count, int timeoutMs);
    // Stops accepting, ends every connection and joins the thread; safe to call twice.
    void Stop();

private:
    void Run();
    void Serve(int fd);
    bool Sleep(int ms);  // false when stopping

    std::vector<Step> script_;
    bool readRequest_;
    kv::UniqueFd listen_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace kv::test
