#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include "Console.h"

namespace kv {

// The narrow argv is already in the ANSI code page and may have lost characters; the wide
// command line has them all.
std::vector<std::string> Utf8Arguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return args;
    for (int i = 0; i < count; ++i) {
        int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(n > 0 ? static_cast<size_t>(n) : 1u, '\0');
        if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &arg[0], n, nullptr, nullptr);
        arg.resize(arg.size() - 1);  // the terminating NUL
        args.push_back(arg);
    }
    LocalFree(wide);
    return args;
}

// UTF-8 lines go out as they are: no LF to CR LF.
void SetBinaryStdout() { _setmode(_fileno(stdout), _O_BINARY); }

}  // namespace kv
