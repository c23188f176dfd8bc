// Hands an address to the user's default browser: the shell's "open" verb on Windows
// (shell_win32.cpp); elsewhere the address is printed (shell_posix.cpp).
#pragma once
#include <string>
#include <vector>

namespace kv {

class Shell {
public:
    virtual ~Shell() = default;
    // Fire and forget: the outcome is not reported (nothing could be done about it).
    virtual void Open(const std::string& address) = 0;
};

Shell& SystemShell();

// Keeps the addresses it was asked to open (tests, tools).
class RecordingShell : public Shell {
public:
    void Open(const std::string& address) override { opened.push_back(address); }
    std::vector<std::string> opened;
};

}  // namespace kv
