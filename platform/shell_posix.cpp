// No desktop shell here: the address is printed so a tool run shows what would open.
#include <cstdio>

#include "platform/Shell.h"

namespace kv {
namespace {

class PrintingShell : public Shell {
public:
    void Open(const std::string& address) override { std::fprintf(stderr, "shell open: %s\n", address.c_str()); }
};

}  // namespace

Shell& SystemShell() {
    static PrintingShell shell;
    return shell;
}

}  // namespace kv
