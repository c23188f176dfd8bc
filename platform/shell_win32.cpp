// The shell's "open" verb with the narrow (ANSI code page) address, shown normally.
#include <windows.h>
#include <shellapi.h>

#include "platform/Shell.h"

namespace kv {
namespace {

class DesktopShell : public Shell {
public:
    void Open(const std::string& address) override {
        // The address is ANSI text already; the result is deliberately not checked.
        ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
};

}  // namespace

Shell& SystemShell() {
    static DesktopShell shell;
    return shell;
}

}  // namespace kv
