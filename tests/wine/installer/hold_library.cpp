// Keeps a library loaded, as a running host keeps the add-in, until told to let go.
//   hold_library DLLPATH READYFILE STOPFILE
// Writes READYFILE once the library is loaded and unloads it when STOPFILE appears (or after
// 300 s). Exit code 0, or 1 when the library does not load.
#include <windows.h>

#include <cstdio>

#include "platform/WinHandles.h"

namespace {

bool Exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: hold_library DLLPATH READYFILE STOPFILE\n");
        return 2;
    }
    kv::UniqueModule library(LoadLibraryW(argv[1]));
    if (!library) {
        std::fprintf(stderr, "hold_library: LoadLibrary failed (%lu)\n", GetLastError());
        return 1;
    }
    {
        kv::UniqueFile ready(CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!ready) return 1;
    }
    for (int i = 0; i < 3000 && !Exists(argv[3]); ++i) Sleep(100);
    return 0;
}
