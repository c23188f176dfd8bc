// A stand-in for KVUpdater.exe in the host tests. Each start is noted in "updater_starts.txt"
// beside the program: how many lines the starting host had logged by then and the last of them
// (the host's log is KV_HOST_LOG, which the updater inherits from the host that starts it). It
// then stays 20 s, as an updater waiting for the library would, notes its end and ends.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/WinHandles.h"

namespace {

std::wstring OwnFolder() {
    std::vector<wchar_t> path(32768);
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring full(path.data(), n);
    const size_t cut = full.find_last_of(L"\\/");
    return cut == std::wstring::npos ? full : full.substr(0, cut);
}

std::string ReadShared(const std::wstring& path) {
    kv::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (file && ::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

void Note(const std::wstring& path, const std::string& line) {
    kv::UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring notes = OwnFolder() + L"\\updater_starts.txt";
    wchar_t logPath[MAX_PATH] = {};
    std::string log;
    if (::GetEnvironmentVariableW(L"KV_HOST_LOG", logPath, MAX_PATH) > 0) log = ReadShared(logPath);
    size_t lines = 0;
    std::string last;
    size_t begin = 0;
    for (size_t end; (end = log.find('\n', begin)) != std::string::npos; begin = end + 1) {
        ++lines;
        last = log.substr(begin, end - begin);
    }
    Note(notes, "start " + std::to_string(lines) + " " + last + "\n");
    ::Sleep(20000);
    Note(notes, "end\n");
    return 0;
}
