// Starts the platform socket layer for a group of exchanges and stops it on scope exit.
#pragma once

namespace kv {

class Network;

class NetSession {
public:
    explicit NetSession(Network& net);
    ~NetSession();
    NetSession(const NetSession&) = delete;
    NetSession& operator=(const NetSession&) = delete;
    bool started() const { return started_; }

private:
    Network& net_;
    bool started_;
};

}  // namespace kv
