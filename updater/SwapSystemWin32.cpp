#include "updater/SwapSystemWin32.h"

#include <vector>

#include "platform/WinHandles.h"

namespace kv {

// A file search, as the look-up for each library is; a folder of that name does not count.
bool Win32SwapSystem::Exists(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    UniqueFind search(::FindFirstFileW(path.c_str(), &found));
    return search && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32SwapSystem::Delete(const std::wstring& path) {
    return ::DeleteFileW(path.c_str()) != FALSE;
}

// MoveFileW never replaces an existing target; a file another process holds open without
// delete sharing cannot be renamed, which is what makes the swap wait.
bool Win32SwapSystem::Rename(const std::wstring& from, const std::wstring& to) {
    return ::MoveFileW(from.c_str(), to.c_str()) != FALSE;
}

// Renaming opens the file for deletion; so does this look, and lets it go at once. Another
// program's handle without delete sharing refuses both.
bool Win32SwapSystem::Movable(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

// The wait runs the thread's messages: a program that broadcasts with SendMessage (a settings
// change, for one) waits on every top-level window, the updater's hidden one included. The
// quit message that may come from a closed window is dropped here; the program ends after the
// swap in any case.
void Win32SwapSystem::Sleep(int milliseconds) {
    const DWORD total = milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0;
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        const DWORD elapsed = ::GetTickCount() - start;  // unsigned: right across the counter's wrap
        if (elapsed >= total) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, total - elapsed, QS_ALLINPUT);
    }
}

std::wstring ProgramPath() {
    // Long paths need more than MAX_PATH; the call truncates silently and returns the size.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), size);
        if (n == 0) return std::wstring();
        if (n < size) return std::wstring(buffer.data(), n);
    }
    return std::wstring();
}

}  // namespace kv
