// The swap's files and waits on Windows: wide-character file calls, and waits that keep the
// thread's messages running.
#pragma once
#include <string>

#include "updater/core/Swap.h"

namespace kv {

class Win32SwapSystem : public SwapSystem {
public:
    bool Exists(const std::wstring& path) override;
    bool Delete(const std::wstring& path) override;
    bool Rename(const std::wstring& from, const std::wstring& to) override;
    bool Movable(const std::wstring& path) override;
    void Sleep(int milliseconds) override;
};

// The running program's full path; empty when the system cannot give it.
std::wstring ProgramPath();

}  // namespace kv
