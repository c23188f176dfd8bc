#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <stdio.h>

#include "Console.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace kv {

// The narrow argv is already in the ANSI code page and may have lost characters; the wide
// command line has them all.
bool Utf8Arguments(int, char**, std::vector<std::string>* args) {
    args->clear();
    int count = 0;
    UniqueLocal wide(reinterpret_cast<HLOCAL>(CommandLineToArgvW(GetCommandLineW(), &count)));
    if (!wide) return false;
    LPWSTR* argv = static_cast<LPWSTR*>(wide.get());
    for (int i = 0; i < count; ++i) {
        std::string arg;
        if (!WideToUtf8(argv[i], &arg)) {
            args->clear();
            return false;
        }
        args->push_back(std::move(arg));
    }
    return true;
}

// UTF-8 lines go out as they are: no LF to CR LF.
void SetBinaryStdout() {
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace kv
